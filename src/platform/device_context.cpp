#include "platform/device_context.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "platform/text_encoding.h"

namespace pelmor::platform {

namespace {

void Retain(GdiObject* o) {
  if (o != nullptr && !o->stock) ++o->selectCount;
}
void Release(GdiObject* o) {
  if (o != nullptr && !o->stock) --o->selectCount;
}

HDC NewContext() {
  auto* dc = new (std::nothrow) DeviceContext;
  if (dc == nullptr) return nullptr;
  dc->brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  dc->font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  dc->palette = DefaultPalette();
  return dc;
}

// One copied row between formats: colour to monochrome by the source's background colour,
// monochrome to colour by the destination's text (black) and background (white) colours.
void CopyRow(const uint32_t* src, uint32_t* dst, int32_t n, bool srcMono, bool dstMono,
             uint32_t srcBack, uint32_t dstText, uint32_t dstBack) {
  if (srcMono == dstMono) {
    std::memmove(dst, src, static_cast<size_t>(n) * 4);
  } else if (dstMono) {
    for (int32_t i = 0; i < n; ++i) dst[i] = src[i] == srcBack ? 0xFFFFFFu : 0u;
  } else {
    for (int32_t i = 0; i < n; ++i) dst[i] = src[i] != 0 ? dstBack : dstText;
  }
}

}  // namespace

Surface* DeviceContext::Target() {
  if (!memory) return display;
  if (bitmap == nullptr || bitmap->stock) return nullptr;
  return &bitmap->surface;
}

const Surface* DeviceContext::Source() const {
  if (!memory) return display;
  return bitmap != nullptr ? &bitmap->surface : nullptr;
}

uint32_t DeviceContext::ResolvePixel(COLORREF color) const {
  if ((color >> 24) == 0x01) {
    const HPALETTE p = palette != nullptr ? palette : DefaultPalette();
    size_t index = color & 0xFFFF;
    if (index >= p->entries.size()) index = 0;
    const PALETTEENTRY& e = p->entries[index];
    return uint32_t{e.peRed} << 16 | uint32_t{e.peGreen} << 8 | e.peBlue;
  }
  return PixelFromColor(color & 0xFFFFFF);
}

HDC CreateDisplayDC(Surface* surface) {
  if (surface == nullptr) return nullptr;
  HDC dc = NewContext();
  if (dc != nullptr) dc->display = surface;
  return dc;
}

HDC CreateCompatibleDC(HDC like) {
  HDC dc = NewContext();
  if (dc == nullptr) return nullptr;
  dc->memory = true;
  dc->bitmap = StockBitmap();
  if (like != nullptr) dc->fontEngine = like->fontEngine;
  return dc;
}

bool DeleteDC(HDC dc) {
  if (dc == nullptr) return false;
  if (dc->memory) Release(dc->bitmap);
  Release(dc->brush);
  Release(dc->font);
  Release(dc->palette);
  delete dc;
  return true;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int32_t width, int32_t height) {
  if (dc == nullptr || width < 0 || height < 0) return nullptr;
  if (width == 0 || height == 0) return StockBitmap();
  const bool mono = dc->memory && (dc->bitmap == nullptr || dc->bitmap->surface.Monochrome());
  auto* b = new (std::nothrow) GdiBitmap;
  if (b == nullptr) return nullptr;
  b->surface = Surface::Create(width, height, mono);
  if (!b->surface) {
    delete b;
    return nullptr;
  }
  return b;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (dc == nullptr || object == nullptr) return nullptr;
  if (auto* bitmap = dynamic_cast<HBITMAP>(object)) {
    if (!dc->memory) return nullptr;
    if (bitmap == dc->bitmap) return bitmap;
    if (!bitmap->stock && bitmap->selectCount > 0) return nullptr;  // in another context
    HBITMAP old = dc->bitmap;
    Retain(bitmap);
    Release(old);
    dc->bitmap = bitmap;
    return old;
  }
  if (auto* brush = dynamic_cast<HBRUSH>(object)) {
    HBRUSH old = dc->brush;
    Retain(brush);
    Release(old);
    dc->brush = brush;
    return old;
  }
  if (auto* font = dynamic_cast<HFONT>(object)) {
    HFONT old = dc->font;
    Retain(font);
    Release(old);
    dc->font = font;
    return old;
  }
  return nullptr;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground) {
  if (dc == nullptr || palette == nullptr) return nullptr;
  HPALETTE old = dc->palette;
  Retain(palette);
  Release(old);
  dc->palette = palette;
  dc->paletteBackground = forceBackground;
  return old;
}

int RealizePalette(HDC dc) {
  if (dc == nullptr) return -1;
  ++dc->realizations;
  return dc->palette != nullptr ? static_cast<int>(dc->palette->entries.size()) : 0;
}

int SetStretchBltMode(HDC dc, int mode) {
  if (dc == nullptr || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  return std::exchange(dc->stretchMode, mode);
}

int GetStretchBltMode(HDC dc) { return dc != nullptr ? dc->stretchMode : 0; }

bool SetBrushOrgEx(HDC dc, int32_t x, int32_t y, POINT* previous) {
  if (dc == nullptr) return false;
  if (previous != nullptr) *previous = dc->brushOrigin;
  dc->brushOrigin = {x, y};
  return true;
}

bool GetBrushOrgEx(HDC dc, POINT* origin) {
  if (dc == nullptr || origin == nullptr) return false;
  *origin = dc->brushOrigin;
  return true;
}

int SetBkMode(HDC dc, int mode) {
  if (dc == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->bkMode, mode);
}

int GetBkMode(HDC dc) { return dc != nullptr ? dc->bkMode : 0; }

COLORREF SetBkColor(HDC dc, COLORREF color) {
  return dc != nullptr ? std::exchange(dc->bkColor, color) : CLR_INVALID;
}

COLORREF GetBkColor(HDC dc) { return dc != nullptr ? dc->bkColor : CLR_INVALID; }

COLORREF SetTextColor(HDC dc, COLORREF color) {
  return dc != nullptr ? std::exchange(dc->textColor, color) : CLR_INVALID;
}

COLORREF GetTextColor(HDC dc) { return dc != nullptr ? dc->textColor : CLR_INVALID; }

void SetFontEngine(HDC dc, FontEngine* engine) {
  if (dc != nullptr) dc->fontEngine = engine;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (dc == nullptr || rect == nullptr || brush == nullptr) return 0;
  Surface* s = dc->Target();
  RECT r = *rect;
  if (brush->hollow || s == nullptr || !s->Clip(r)) return 1;
  uint32_t pixel = dc->ResolvePixel(brush->color);
  if (s->Monochrome()) pixel = MonochromePixel(pixel);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    std::fill(s->Row(y) + r.left, s->Row(y) + r.right, pixel);
  }
  return 1;
}

bool BitBlt(HDC dst, int32_t x, int32_t y, int32_t width, int32_t height, HDC src, int32_t xSrc,
            int32_t ySrc, uint32_t rop) {
  if (dst == nullptr || src == nullptr || rop != SRCCOPY) return false;
  Surface* to = dst->Target();
  const Surface* from = src->Source();
  if (to == nullptr || from == nullptr || !*from) return true;
  // Equal negative extents on both sides mirror nothing: the same block, counted from its end.
  int64_t w = width, h = height, dx = x, dy = y, sx = xSrc, sy = ySrc;
  if (w < 0) {
    w = -w;
    dx -= w - 1;
    sx -= w - 1;
  }
  if (h < 0) {
    h = -h;
    dy -= h - 1;
    sy -= h - 1;
  }
  // Cut the block to both surfaces.
  const int64_t left = std::max<int64_t>({0, -sx, -dx});
  const int64_t top = std::max<int64_t>({0, -sy, -dy});
  const int64_t right = std::min<int64_t>({w, from->Width() - sx, to->Width() - dx});
  const int64_t bottom = std::min<int64_t>({h, from->Height() - sy, to->Height() - dy});
  if (left >= right || top >= bottom) return true;
  const auto n = static_cast<int32_t>(right - left);
  const uint32_t srcBack = PixelFromColor(src->bkColor & 0xFFFFFF);
  const uint32_t dstText = dst->ResolvePixel(dst->textColor);
  const uint32_t dstBack = dst->ResolvePixel(dst->bkColor);
  auto copyRow = [&](int64_t r) {
    CopyRow(from->Row(static_cast<int32_t>(sy + r)) + sx + left,
            to->Row(static_cast<int32_t>(dy + r)) + dx + left, n, from->Monochrome(),
            to->Monochrome(), srcBack, dstText, dstBack);
  };
  // Within one surface, rows go in the order that reads each row before it is overwritten.
  if (from == to && dy > sy) {
    for (int64_t r = bottom - 1; r >= top; --r) copyRow(r);
  } else {
    for (int64_t r = top; r < bottom; ++r) copyRow(r);
  }
  return true;
}

bool ExchangeSurfaces(HDC dst, HDC src) {
  if (dst == nullptr || src == nullptr || dst == src) return false;
  Surface* to = dst->Target();
  Surface* from = src->Target();
  if (to == nullptr || from == nullptr || to == from || !*to || !*from) return false;
  if (to->Width() != from->Width() || to->Height() != from->Height() || to->Monochrome() ||
      from->Monochrome()) {
    return false;
  }
  std::swap(*to, *from);
  return true;
}

namespace {

std::shared_ptr<FontFace> SelectedFace(HDC dc) {
  FontEngine& engine = dc->fontEngine != nullptr ? *dc->fontEngine : DefaultFontEngine();
  const FontDescription description =
      dc->font != nullptr ? dc->font->description : FontDescription{};
  return engine.Face(description);
}

// Fills a rectangle of device pixels, cut to the surface.
void Fill(Surface& s, RECT r, uint32_t pixel) {
  if (!s.Clip(r)) return;
  for (int32_t y = r.top; y < r.bottom; ++y) std::fill(s.Row(y) + r.left, s.Row(y) + r.right, pixel);
}

uint32_t Blend(uint32_t under, uint32_t over, uint32_t alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t a = (under >> shift) & 0xFF, b = (over >> shift) & 0xFF;
    out |= ((a * (255 - alpha) + b * alpha + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

bool GetTextExtentPoint(HDC dc, const char* text, int32_t length, SIZE* size) {
  if (dc == nullptr || size == nullptr || length < 0 || (text == nullptr && length > 0)) {
    return false;
  }
  if (length == 0) {
    *size = {0, 0};
    return true;
  }
  std::shared_ptr<FontFace> face = SelectedFace(dc);
  if (!face) return false;
  int64_t cx = 0;
  for (char32_t c : DecodeText(std::string_view(text, static_cast<size_t>(length)))) {
    cx += face->Advance(c);
  }
  const FontMetrics m = face->Metrics();
  size->cx = static_cast<int32_t>(std::min<int64_t>(cx, INT32_MAX));
  size->cy = m.ascent + m.descent;
  return true;
}

bool TextOut(HDC dc, int32_t x, int32_t y, const char* text, int32_t length) {
  if (dc == nullptr || length < 0 || (text == nullptr && length > 0)) return false;
  if (length == 0) return true;
  std::shared_ptr<FontFace> face = SelectedFace(dc);
  if (!face) return false;
  Surface* s = dc->Target();
  const std::u32string chars = DecodeText(std::string_view(text, static_cast<size_t>(length)));
  const FontMetrics m = face->Metrics();
  int64_t cx = 0;
  for (char32_t c : chars) cx += face->Advance(c);
  if (s == nullptr) return true;

  const int64_t right64 = std::min<int64_t>(int64_t{x} + cx, INT32_MAX);
  const auto right = static_cast<int32_t>(right64);
  const int64_t baseline = int64_t{y} + m.ascent;
  RECT painted{x, y, right, static_cast<int32_t>(std::min<int64_t>(baseline + m.descent, INT32_MAX))};
  if (dc->bkMode == OPAQUE) Fill(*s, painted, dc->ResolvePixel(dc->bkColor));

  const uint32_t ink = dc->ResolvePixel(dc->textColor);
  // Glyphs far outside the surface are not rendered at all: at a huge size, or in a long line,
  // nearly all of them are, and each would cost its rendering for nothing. Ink lies within two
  // cell heights of the pen for any ordinary face.
  const int64_t margin = 2 * (int64_t{m.ascent} + m.descent) + 16;
  const bool rowsVisible = int64_t{y} - margin < s->Height() && baseline + m.descent + margin > 0;
  int64_t pen = x;
  for (char32_t c : chars) {
    const bool visible = rowsVisible && pen - margin < s->Width() && pen + margin > 0;
    if (std::shared_ptr<const GlyphBitmap> g = visible ? face->Glyph(c) : nullptr) {
      const int64_t gx = pen + g->left, gy = baseline - g->top;
      for (int32_t row = 0; row < g->height; ++row) {
        const int64_t py = gy + row;
        if (py < 0 || py >= s->Height()) continue;
        uint32_t* line = s->Row(static_cast<int32_t>(py));
        const uint8_t* cov = g->coverage.data() + static_cast<size_t>(row) * g->width;
        for (int32_t col = 0; col < g->width; ++col) {
          const int64_t px = gx + col;
          if (px < 0 || px >= s->Width() || cov[col] == 0) continue;
          line[px] = cov[col] == 255 ? ink : Blend(line[px], ink, cov[col]);
        }
      }
    }
    pen += face->Advance(c);
  }
  const FontDescription description = dc->font != nullptr ? dc->font->description : FontDescription{};
  auto line = [&](int64_t top, int32_t thickness) {
    RECT r{x, static_cast<int32_t>(std::clamp<int64_t>(top, INT32_MIN, INT32_MAX)), right,
           static_cast<int32_t>(std::clamp<int64_t>(top + thickness, INT32_MIN, INT32_MAX))};
    Fill(*s, r, ink);
  };
  if (description.underline) line(baseline + m.underlinePosition, m.underlineThickness);
  if (description.strikethrough) line(baseline - m.strikeoutPosition, m.strikeoutThickness);
  RECT all{x, y, right, painted.bottom};
  if (s->Clip(all)) s->Settle(all);
  return true;
}

}  // namespace pelmor::platform
