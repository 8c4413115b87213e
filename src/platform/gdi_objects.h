// Drawing objects handed out by handle, as the drawing layer's callers expect: created by one call,
// released by DeleteObject.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/font_engine.h"
#include "platform/surface.h"

namespace pelmor::platform {

class GdiObject {
 public:
  virtual ~GdiObject() = default;
  // How many device contexts have this object selected; such an object cannot be deleted.
  int selectCount = 0;
  // Stock objects belong to the system: selecting them counts nothing and deleting them does
  // nothing, so one stock object serves every device context and thread without changing.
  bool stock = false;
};

using HGDIOBJ = GdiObject*;

struct PALETTEENTRY {
  uint8_t peRed;
  uint8_t peGreen;
  uint8_t peBlue;
  uint8_t peFlags;
};

class GdiPalette : public GdiObject {
 public:
  uint16_t version = 0x300;
  std::vector<PALETTEENTRY> entries;
};

// A bitmap that a memory device context draws on.
class GdiBitmap : public GdiObject {
 public:
  Surface surface;
};

class GdiBrush : public GdiObject {
 public:
  COLORREF color = 0;
  bool hollow = false;  // paints nothing
};

class GdiFont : public GdiObject {
 public:
  FontDescription description;
};

using HPALETTE = GdiPalette*;
using HBITMAP = GdiBitmap*;
using HBRUSH = GdiBrush*;
using HFONT = GdiFont*;

// A logical palette with a copy of the given entries; null when count is 0 or entries is null.
HPALETTE CreatePalette(uint16_t version, const PALETTEENTRY* entries, uint32_t count);

HBRUSH CreateSolidBrush(COLORREF color);

HFONT CreateFontIndirect(const FontDescription& description);

// Releases an object; false for null or for an object still selected into a device context.
// Stock objects are never released (true).
bool DeleteObject(HGDIOBJ object);

// Stock objects by their system index.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_PALETTE = 15;

// A stock object, or null for an index that names none.
HGDIOBJ GetStockObject(int index);

// The 1x1 monochrome bitmap every new memory device context holds. Drawing on it changes nothing.
HBITMAP StockBitmap();

// The default palette's twenty static colours.
HPALETTE DefaultPalette();

}  // namespace pelmor::platform
