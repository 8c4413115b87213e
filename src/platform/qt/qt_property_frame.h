// The property frame on screen: a tab per page (each page's dialog template as a panel), with OK,
// Cancel and Apply below. Apply is enabled while a page holds a change; OK applies and closes,
// Cancel closes without writing.
#pragma once

#include <QDialog>
#include <vector>

#include "platform/ole/property_page.h"

class QPushButton;
class QTabWidget;

namespace pelmor::platform::qt {

class QtDialogPanel;

class QtPropertyFrame : public QDialog {
 public:
  QtPropertyFrame(ole::PropertyFrame& frame, QWidget* parent);
  ~QtPropertyFrame() override { frame_.SetStatusListener(nullptr); }
  QtDialogPanel& PagePanel(size_t i) { return *panels_[i]; }
  QPushButton* ApplyButton() const { return apply_; }
  QTabWidget* Tabs() const { return tabs_; }

 private:
  ole::PropertyFrame& frame_;
  std::vector<QtDialogPanel*> panels_;
  QTabWidget* tabs_ = nullptr;
  QPushButton* apply_ = nullptr;
};

// Shows the frame modally; true when it was closed with OK.
bool RunPropertyFrame(ole::PropertyFrame& frame, QWidget* parent);

}  // namespace pelmor::platform::qt
