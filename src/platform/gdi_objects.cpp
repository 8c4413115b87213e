#include "platform/gdi_objects.h"

#include <new>

namespace pelmor::platform {

namespace {

GdiBrush MakeStockBrush(COLORREF color, bool hollow = false) {
  GdiBrush b;
  b.stock = true;
  b.color = color;
  b.hollow = hollow;
  return b;
}

}  // namespace

HPALETTE CreatePalette(uint16_t version, const PALETTEENTRY* entries, uint32_t count) {
  if (entries == nullptr || count == 0) return nullptr;
  auto* p = new (std::nothrow) GdiPalette;
  if (p == nullptr) return nullptr;
  p->version = version;
  try {
    p->entries.assign(entries, entries + count);
  } catch (...) {
    delete p;
    return nullptr;
  }
  return p;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new (std::nothrow) GdiBrush;
  if (b != nullptr) b->color = color;
  return b;
}

HFONT CreateFontIndirect(const FontDescription& description) {
  auto* f = new (std::nothrow) GdiFont;
  if (f == nullptr) return nullptr;
  try {
    f->description = description;
  } catch (...) {
    delete f;
    return nullptr;
  }
  return f;
}

bool DeleteObject(HGDIOBJ object) {
  if (object == nullptr || object->selectCount > 0) return false;
  if (object->stock) return true;
  delete object;
  return true;
}

HPALETTE DefaultPalette() {
  static GdiPalette palette = [] {
    GdiPalette p;
    p.stock = true;
    p.entries = {
        {0x00, 0x00, 0x00, 0}, {0x80, 0x00, 0x00, 0}, {0x00, 0x80, 0x00, 0},
        {0x80, 0x80, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x80, 0x00, 0x80, 0},
        {0x00, 0x80, 0x80, 0}, {0xC0, 0xC0, 0xC0, 0}, {0xC0, 0xDC, 0xC0, 0},
        {0xA6, 0xCA, 0xF0, 0}, {0xFF, 0xFB, 0xF0, 0}, {0xA0, 0xA0, 0xA4, 0},
        {0x80, 0x80, 0x80, 0}, {0xFF, 0x00, 0x00, 0}, {0x00, 0xFF, 0x00, 0},
        {0xFF, 0xFF, 0x00, 0}, {0x00, 0x00, 0xFF, 0}, {0xFF, 0x00, 0xFF, 0},
        {0x00, 0xFF, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0},
    };
    return p;
  }();
  // Stock objects are never changed: selection does not count them and deletion skips them.
  return &palette;
}

HBITMAP StockBitmap() {
  static GdiBitmap bitmap = [] {
    GdiBitmap b;
    b.stock = true;
    b.surface = Surface::Create(1, 1, true);
    return b;
  }();
  return &bitmap;
}

HGDIOBJ GetStockObject(int index) {
  static GdiBrush white = MakeStockBrush(RGB(255, 255, 255));
  static GdiBrush ltgray = MakeStockBrush(RGB(192, 192, 192));
  static GdiBrush gray = MakeStockBrush(RGB(128, 128, 128));
  static GdiBrush dkgray = MakeStockBrush(RGB(64, 64, 64));
  static GdiBrush black = MakeStockBrush(RGB(0, 0, 0));
  static GdiBrush hollow = MakeStockBrush(0, true);
  static GdiFont systemFont = [] {
    GdiFont f;
    f.stock = true;
    return f;
  }();
  GdiObject* o = nullptr;
  switch (index) {
    case WHITE_BRUSH: o = &white; break;
    case LTGRAY_BRUSH: o = &ltgray; break;
    case GRAY_BRUSH: o = &gray; break;
    case DKGRAY_BRUSH: o = &dkgray; break;
    case BLACK_BRUSH: o = &black; break;
    case NULL_BRUSH: o = &hollow; break;
    case SYSTEM_FONT: o = &systemFont; break;
    case DEFAULT_PALETTE: return DefaultPalette();
    default: return nullptr;
  }
  return o;
}

}  // namespace pelmor::platform
