// Software device contexts: the state a drawing call reads (stretch mode, colours, brush origin,
// selected objects) and the surface it paints. A display context paints a surface its owner keeps
// (a window's backing store); a memory context paints the bitmap selected into it.
#pragma once

#include <cstdint>

#include "platform/gdi_objects.h"
#include "platform/surface.h"

namespace pelmor::platform {

// Stretch modes.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

class DeviceContext {
 public:
  // The surface drawing goes to; null while a memory context holds the stock bitmap.
  Surface* Target();
  // The surface a copy reads from (the stock bitmap's single black pixel included).
  const Surface* Source() const;
  // A colour reference as this context paints it: palette indices (high byte 0x01) pick an entry of
  // the selected palette (entry 0 when out of range); anything else is taken as red, green, blue.
  uint32_t ResolvePixel(COLORREF color) const;

  bool memory = false;
  Surface* display = nullptr;  // not owned
  HBITMAP bitmap = nullptr;
  HBRUSH brush = nullptr;
  HFONT font = nullptr;
  HPALETTE palette = nullptr;
  bool paletteBackground = false;
  int stretchMode = BLACKONWHITE;
  int bkMode = OPAQUE;
  COLORREF bkColor = RGB(255, 255, 255);
  COLORREF textColor = RGB(0, 0, 0);
  POINT brushOrigin{0, 0};
  int realizations = 0;  // how often a palette was realised in this context
  FontEngine* fontEngine = nullptr;
};

using HDC = DeviceContext*;

// A context painting a surface the caller keeps, in the state every new context starts in
// (BLACKONWHITE, opaque white background, black text, brush origin 0,0, white brush, system font,
// default palette). Null when surface is null. Freed by DeleteDC.
HDC CreateDisplayDC(Surface* surface);
// A memory context like dc, holding the stock 1x1 monochrome bitmap.
HDC CreateCompatibleDC(HDC dc);
// Deselects everything and frees the context.
bool DeleteDC(HDC dc);

// A bitmap of the device's format: 32 bits for a display context, the format of the selected
// bitmap for a memory context (monochrome while it holds the stock bitmap). A side of 0 gives the
// stock bitmap; a negative side, or a size above the allocation limit, gives null.
HBITMAP CreateCompatibleBitmap(HDC dc, int32_t width, int32_t height);

// Selects a bitmap (memory contexts only, and only one context at a time), brush or font; returns
// the previous one, or null on failure. Palettes go through SelectPalette.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
// Maps the selected palette's entries to the device; a 32-bit surface needs no change of pixels.
// Returns the number of entries mapped, or -1 without a context.
int RealizePalette(HDC dc);

// The old mode, or 0 when the mode is not one of the four.
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
bool SetBrushOrgEx(HDC dc, int32_t x, int32_t y, POINT* previous);
bool GetBrushOrgEx(HDC dc, POINT* origin);
// The old mode, or 0 for a mode other than TRANSPARENT and OPAQUE.
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
// The engine a context draws text with; null restores the default.
void SetFontEngine(HDC dc, FontEngine* engine);

// Fills a rectangle (right and bottom excluded) with a brush's colour. 0 on failure.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// Copies a block from src to dst (SRCCOPY only). Only the part that lies inside both surfaces is
// copied. Colour to monochrome: the source's background colour becomes white, every other colour
// black; monochrome to colour: black takes dst's text colour, white its background colour.
bool BitBlt(HDC dst, int32_t x, int32_t y, int32_t width, int32_t height, HDC src, int32_t xSrc,
            int32_t ySrc, uint32_t rop);
// What a whole-surface BitBlt from src to dst shows, without copying: dst's surface and src's
// bitmap exchange their pixels, src's bitmap keeping dst's previous ones. Only for two colour
// surfaces of the same size; false, with nothing changed, otherwise.
bool ExchangeSurfaces(HDC dst, HDC src);

// The width (advances) and height (ascent + descent) of one line of text in the selected font;
// (0, 0) for an empty string. The bytes are UTF-8 when they form it, Latin-1 otherwise.
bool GetTextExtentPoint(HDC dc, const char* text, int32_t length, SIZE* size);
// Draws one line with the top-left of its cell at (x, y): with an opaque background the cell is
// filled with the background colour first, then the glyphs are blended in the text colour.
bool TextOut(HDC dc, int32_t x, int32_t y, const char* text, int32_t length);

}  // namespace pelmor::platform
