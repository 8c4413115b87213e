// Dialogs at run time, as the code behind them sees them. A window system (the Qt one, or a test
// double) makes a dialog from a DialogTemplate and implements DialogWindow; the code behind it is a
// DialogController that hears when the dialog starts and what its items report. An item can be
// taken over by an ItemHandler (the window system's subclassing), which then paints it and hears
// its mouse, through ItemWindow and ItemPainter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/font_engine.h"
#include "platform/surface.h"
#include "platform/window/dialog_template.h"

namespace pelmor::platform {

// Notification codes an item sends with its id.
constexpr uint32_t BN_CLICKED = 0;
constexpr uint32_t CBN_SELCHANGE = 1;
constexpr uint32_t CBN_EDITCHANGE = 5;
constexpr uint32_t LBN_SELCHANGE = 1;
constexpr uint32_t EN_CHANGE = 0x0300;

// Check box states.
constexpr int32_t BST_UNCHECKED = 0;
constexpr int32_t BST_CHECKED = 1;

// Flags of the file-open dialog.
constexpr uint32_t OFN_HIDEREADONLY = 0x0004;
constexpr uint32_t OFN_PATHMUSTEXIST = 0x0800;
constexpr uint32_t OFN_FILEMUSTEXIST = 0x1000;

// What the file-open dialog is asked for.
struct OpenFileRequest {
  // (description, patterns separated by ';') pairs, in order; the first is preselected.
  std::vector<std::pair<std::string, std::string>> filters;
  std::string initialName;  // the name the dialog starts with (may hold a folder)
  uint32_t flags = 0;
  std::string title;  // "" for the dialog's own
};

// System cursors by their window-system numbers; 0 is no cursor.
using CursorHandle = uint32_t;
constexpr CursorHandle IDC_ARROW = 32512;
constexpr CursorHandle IDC_HAND = 32649;

class ItemHandler;

// A dialog made from a template. Item ids are the template's; an id the dialog does not have makes
// a call do nothing (and read empty, unchecked, no selection).
class DialogWindow {
 public:
  virtual ~DialogWindow() = default;

  virtual std::string GetItemText(int32_t id) = 0;
  // Setting an edit field's text sends its EN_CHANGE, as typing does.
  virtual void SetItemText(int32_t id, std::string_view text) = 0;
  virtual int32_t GetCheck(int32_t id) = 0;
  virtual void SetCheck(int32_t id, int32_t state) = 0;
  // Combo and list boxes: add an entry at the end (its index, or -1), read or set the selected
  // index (-1 for none; setting an index out of range clears the selection).
  virtual int32_t AddString(int32_t id, std::string_view text) = 0;
  virtual void ResetContent(int32_t id) = 0;
  virtual int32_t GetCurSel(int32_t id) = 0;
  virtual void SetCurSel(int32_t id, int32_t index) = 0;
  virtual void EnableItem(int32_t id, bool enable) = 0;
  // Hands an item's painting and mouse to handler (which must outlive the dialog); false when the
  // item does not exist or is already taken over.
  virtual bool SubclassItem(int32_t id, ItemHandler& handler) = 0;
  // Runs the file-open dialog over this one; the chosen path, or nothing when the user cancels or
  // the dialog fails.
  virtual std::optional<std::string> GetOpenFileName(const OpenFileRequest& request) = 0;
  // Runs a colour chooser starting at initial (0x00BBGGRR); nothing when cancelled.
  virtual std::optional<COLORREF> ChooseColor(COLORREF initial) = 0;
  // Ends a modal dialog with a result.
  virtual void EndDialog(int32_t result) = 0;
};

// The code behind a dialog.
class DialogController {
 public:
  virtual ~DialogController() = default;
  // The items exist, filled from the template. True lets the default focus apply.
  virtual bool OnInitDialog(DialogWindow& /*dialog*/) { return true; }
  // An item reports a click or a change (the codes above).
  virtual void OnCommand(DialogWindow& /*dialog*/, int32_t /*id*/, uint32_t /*code*/) {}
  // OK (IDOK) or Enter, and Cancel (IDCANCEL) or Escape, end a modal dialog unless these
  // return false.
  virtual bool OnOK(DialogWindow& /*dialog*/) { return true; }
  virtual bool OnCancel(DialogWindow& /*dialog*/) { return true; }
  // The picture an icon item names (its template text); null for none.
  virtual const Surface* Icon(std::string_view /*name*/) { return nullptr; }
};

// Drawing inside an item's paint.
class ItemPainter {
 public:
  virtual ~ItemPainter() = default;
  virtual void FillRect(const RECT& rect, COLORREF color) = 0;
  // One line of text with its cell's top-left at (x, y), clipped to clip; the cell is filled with
  // background first when there is one (opaque mode).
  virtual void TextOut(int32_t x, int32_t y, std::string_view text, const FontDescription& font,
                       COLORREF color, std::optional<COLORREF> background, const RECT& clip) = 0;
};

// What an item taken over by a handler offers it: its window's text, size, style and font,
// text measurement, the cursor, the mouse capture, repainting, a tooltip, and the shell.
class ItemWindow {
 public:
  virtual ~ItemWindow() = default;
  virtual std::string Text() = 0;
  // (0, 0, width, height).
  virtual RECT ClientRect() = 0;
  // The template's style bits (SS_CENTER, SS_RIGHT, ...).
  virtual uint32_t Style() = 0;
  // A system colour (COLOR_BTNFACE, ...) as this item's window system shows it.
  virtual COLORREF SystemColor(int index) = 0;
  // The item's font; nothing when it has none.
  virtual std::optional<FontDescription> Font() = 0;
  // The extent of one line of text in font (cy: the font's cell height whatever the text);
  // nothing when no measuring context can be had.
  virtual std::optional<SIZE> MeasureText(std::string_view text, const FontDescription& font) = 0;
  // The cursor position in screen coordinates, and client coordinates as screen ones.
  virtual std::optional<POINT> CursorPos() = 0;
  virtual POINT ClientToScreen(POINT point) = 0;
  // A system cursor (0 when the system lacks it); setting one returns the one it replaced.
  virtual CursorHandle LoadSystemCursor(CursorHandle id) = 0;
  virtual CursorHandle SetCursor(CursorHandle cursor) = 0;
  // The mouse capture: while it is held every mouse move reaches this item. Losing it, by
  // ReleaseCapture or to another window, sends the handler OnCaptureChanged.
  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
  virtual bool HasCapture() = 0;
  // Repaints now (invalidate with erase, then paint).
  virtual void RedrawNow() = 0;
  // Adds a tooltip showing text while the mouse rests over rect (client coordinates); false when
  // no tooltip can be made.
  virtual bool AddTooltip(const RECT& rect, std::string_view text) = 0;
  // Hands a target (a URL) to the desktop's default action; false when nothing took it.
  virtual bool ShellOpen(std::string_view target) = 0;
};

// The code behind an item taken over from the window system (a subclassed static).
class ItemHandler {
 public:
  virtual ~ItemHandler() = default;
  // The item joins its window (SubclassItem); the window lives as long as the dialog.
  virtual void Attach(ItemWindow& window) = 0;
  virtual void Detach() = 0;
  virtual void OnPaint(ItemPainter& painter) = 0;
  virtual void OnMouseMove() {}
  virtual void OnLButtonDown() {}
  // The capture moved: toSelf when this item took it, false when it went elsewhere or nowhere.
  virtual void OnCaptureChanged(bool /*toSelf*/) {}
  virtual void OnSettingChange() {}
};

}  // namespace pelmor::platform
