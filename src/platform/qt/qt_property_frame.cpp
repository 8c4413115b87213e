#include "platform/qt/qt_property_frame.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/qt/qt_dialog.h"

namespace pelmor::platform::qt {

QtPropertyFrame::QtPropertyFrame(ole::PropertyFrame& frame, QWidget* parent) : QDialog(parent), frame_(frame) {
  setWindowTitle(QString::fromStdString(frame.Caption()));
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  layout->addWidget(tabs_);
  for (size_t i = 0; i < frame.PageCount(); ++i) {
    ole::COlePropertyPage& page = frame.Page(i);
    auto* panel = new QtDialogPanel(page.Template(), page, tabs_);
    tabs_->addTab(panel, QString::fromStdString(page.Caption()));
    panels_.push_back(panel);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  layout->addWidget(buttons);
  apply_ = buttons->button(QDialogButtonBox::Apply);
  apply_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    frame_.Apply();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { frame_.Apply(); });
  frame_.SetStatusListener([this] { apply_->setEnabled(frame_.AnyDirty()); });
  for (QtDialogPanel* panel : panels_) panel->Start();
}

bool RunPropertyFrame(ole::PropertyFrame& frame, QWidget* parent) {
  QtPropertyFrame dialog(frame, parent);
  const bool ok = dialog.exec() == QDialog::Accepted;
  frame.SetStatusListener(nullptr);
  return ok;
}

}  // namespace pelmor::platform::qt
