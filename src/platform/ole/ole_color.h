// OLE colours: a colour reference (high byte 0x00), a palette index (0x01) or palette-relative
// colour (0x02), or a system colour (0x80 and an index 0 ... 30 in the low byte), turned into
// colour references for drawing. System colours come from a table the host may replace; the
// default is today's desktop scheme.
#pragma once

#include <array>
#include <cstdint>

#include "platform/ole/hresult.h"
#include "platform/surface.h"

namespace pelmor::ole {

using platform::COLORREF;

constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_MENUBAR = 30;
constexpr int kSystemColorCount = 31;

constexpr OLE_COLOR SystemColor(int index) { return 0x80000000u | static_cast<uint32_t>(index); }

// Colour references (0x00BBGGRR) of the system colours, by index.
using SystemColorTable = std::array<COLORREF, kSystemColorCount>;
const SystemColorTable& DefaultSystemColors();

// The colour reference an OLE colour stands for when no palette is given: 0x00, 0x01 and 0x02
// colours as they are, system colours from the table (index = low byte; above 30 refused); any
// other high byte refused. E_INVALIDARG when refused, and *out is not written.
HRESULT OleTranslateColor(OLE_COLOR color, const SystemColorTable& table, COLORREF* out);

}  // namespace pelmor::ole
