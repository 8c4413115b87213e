// Dialogs as data: a template names the dialog's caption, font, size and items (kind, id, text,
// position and size in dialog units, styles), in tab order. Dialog units follow the dialog's font:
// a horizontal unit is a quarter of the font's average character width, a vertical one an eighth
// of its character height, so a dialog keeps its proportions whatever font the system gives it.
#pragma once

#include <cstdint>
#include <span>

#include "platform/surface.h"
#include "platform/window/window_message.h"

namespace pelmor::platform {

enum class DialogItemKind : uint8_t {
  kText,           // static text
  kIcon,           // static icon (the text names the icon)
  kFrame,          // static rectangle: a separator line, a sample area
  kEdit,           // one-line edit field
  kButton,         // push button
  kDefaultButton,  // push button that Enter presses
  kCheckBox,       // automatic check box
  kDropList,       // drop-down list combo box (pick only)
  kDropDown,       // drop-down combo box with an edit field (type or pick)
  kList,           // list box
};

// Item and dialog styles, with the window system's values.
constexpr uint32_t SS_LEFT = 0x0000;
constexpr uint32_t SS_CENTER = 0x0001;
constexpr uint32_t SS_RIGHT = 0x0002;
constexpr uint32_t SS_NOTIFY = 0x0100;
constexpr uint32_t SS_SUNKEN = 0x1000;
constexpr uint32_t ES_AUTOHSCROLL = 0x0080;
constexpr uint32_t WS_TABSTOP = 0x00010000;
constexpr uint32_t WS_GROUP = 0x00020000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_POPUP = 0x80000000;
constexpr uint32_t DS_MODALFRAME = 0x0080;
constexpr uint32_t DS_SETFONT = 0x0040;
constexpr uint32_t DS_FIXEDSYS = 0x0008;
// WS_BORDER, WS_VSCROLL, WS_CHILD and WS_VISIBLE are in window_message.h.

// The id of an item nobody refers to (IDC_STATIC).
constexpr int32_t kNoItemId = -1;
// The ids of the standard buttons.
constexpr int32_t IDOK = 1;
constexpr int32_t IDCANCEL = 2;

struct DialogItem {
  int32_t id;
  DialogItemKind kind;
  const char* text;  // "" for none
  int16_t x, y, cx, cy;  // dialog units
  uint32_t style;
  // Entries a combo or list box is given when the dialog is made, in order.
  std::span<const char* const> entries = {};
};

struct DialogTemplate {
  const char* caption;   // "" for none (a child page has none)
  const char* fontName;  // the dialog font's face
  int16_t pointSize;
  int16_t x, y, cx, cy;  // dialog units
  uint32_t style;
  std::span<const DialogItem> items;  // in tab order

  const DialogItem* Find(int32_t id) const;
};

// The size of one dialog unit pair, from the dialog font: cx the average character width, cy
// the character height, in pixels.
struct DialogBaseUnits {
  int32_t cx = 0;
  int32_t cy = 0;
};

// The base units of a font from the width of "A...Za...z" (the 52 letters) and the character
// height, as the window system computes them: cx = (width / 26 + 1) / 2.
DialogBaseUnits BaseUnitsFromFont(int32_t alphabetWidth, int32_t charHeight);

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// A rectangle in dialog units (x, y, width, height) as pixels: x * cx / 4 and y * cy / 8, each
// edge rounded as MulDiv rounds.
RECT MapDialogRect(int32_t x, int32_t y, int32_t cx, int32_t cy, DialogBaseUnits units);
inline RECT MapDialogRect(const DialogItem& item, DialogBaseUnits units) {
  return MapDialogRect(item.x, item.y, item.cx, item.cy, units);
}

}  // namespace pelmor::platform
