// Dialog templates as Qt widgets: a panel holds a template's items as Qt widgets (object names are
// the item ids, "201", ...), placed by converting dialog units with the dialog font's base units,
// and reports what the user does to the code behind it. A modal dialog wraps one panel; an item
// handed to an ItemHandler becomes a widget the handler paints and that relays its mouse.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QWidget>
#include <functional>
#include <map>
#include <utility>
#include <vector>
#include <memory>
#include <optional>
#include <string>

#include "platform/window/dialog_window.h"

namespace pelmor::platform::qt {

// Hands targets (URLs) to the desktop. Tests put their own in place to record instead.
class DesktopOpener {
 public:
  virtual ~DesktopOpener() = default;
  virtual bool Open(const std::string& target) = 0;
};
// The opener in use (QDesktopServices by default); SetDesktopOpener(nullptr) restores it.
DesktopOpener& CurrentDesktopOpener();
void SetDesktopOpener(DesktopOpener* opener);

// The Qt font a template's font name and size stand for: the platform's dialog faces become the
// application's font family at the template's size.
QFont DialogFont(const char* faceName, int pointSize);
// The base units of a Qt font: the average width of the 52 letters and the line height.
DialogBaseUnits BaseUnitsOf(const QFont& font);
QColor QColorFrom(COLORREF color);
COLORREF ColorRefFrom(const QColor& color);
QFont QFontFrom(const FontDescription& font);
FontDescription FontDescriptionFrom(const QFont& font);

class QtItemWidget;

class QtDialogPanel : public QWidget, public DialogWindow {
 public:
  // Makes the items; the controller hears OnInitDialog from Start().
  QtDialogPanel(const DialogTemplate& dialog, DialogController& controller, QWidget* parent = nullptr);
  ~QtDialogPanel() override;
  // Runs OnInitDialog (once the panel is where it will be shown).
  void Start();
  DialogBaseUnits Units() const { return units_; }
  // The size the template asks for, in pixels.
  QSize TemplateSize() const { return templateSize_; }
  // Where EndDialog goes (the modal dialog around the panel).
  void SetEndHandler(std::function<void(int32_t)> end) { end_ = std::move(end); }
  QWidget* Item(int32_t id) const;

  std::string GetItemText(int32_t id) override;
  void SetItemText(int32_t id, std::string_view text) override;
  int32_t GetCheck(int32_t id) override;
  void SetCheck(int32_t id, int32_t state) override;
  int32_t AddString(int32_t id, std::string_view text) override;
  void ResetContent(int32_t id) override;
  int32_t GetCurSel(int32_t id) override;
  void SetCurSel(int32_t id, int32_t index) override;
  void EnableItem(int32_t id, bool enable) override;
  bool SubclassItem(int32_t id, ItemHandler& handler) override;
  std::optional<std::string> GetOpenFileName(const OpenFileRequest& request) override;
  std::optional<COLORREF> ChooseColor(COLORREF initial) override;
  void EndDialog(int32_t result) override;

 private:
  QWidget* MakeItem(const DialogItem& item);
  // Lets each left-aligned static text one line high show its whole line, as far as the room to
  // its right allows.
  void FitOneLineLabels(const std::vector<std::pair<QLabel*, uint32_t>>& labels);
  void Command(int32_t id, uint32_t code);

  const DialogTemplate& template_;
  DialogController& controller_;
  DialogBaseUnits units_;
  QSize templateSize_;
  std::map<int32_t, QWidget*> items_;
  std::map<int32_t, DialogItemKind> kinds_;
  std::function<void(int32_t)> end_;
  bool started_ = false;
};

// Runs a template's dialog modally over parent; the result EndDialog gave (IDOK, IDCANCEL, ...).
int32_t RunModalDialog(const DialogTemplate& dialog, DialogController& controller, QWidget* parent);

}  // namespace pelmor::platform::qt
