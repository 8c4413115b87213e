// The pieces of a control's paint, on plain inputs: an off-screen bitmap copied in one block, the
// background, the image placed by display/placement and drawn by the document, and the caption
// shown when there is no image.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "display/placement.h"
#include "model/image_doc.h"
#include "platform/device_context.h"

namespace pelmor {

// The bitmap an off-screen paint draws on, kept from one paint to the next while its size stays
// the same: a fresh one would cost its first touch on every paint.
class OffscreenBitmap {
 public:
  OffscreenBitmap() = default;
  ~OffscreenBitmap() { Release(); }
  OffscreenBitmap(const OffscreenBitmap&) = delete;
  OffscreenBitmap& operator=(const OffscreenBitmap&) = delete;
  // A bitmap compatible with dc of that size (the kept one when it fits), or null.
  platform::HBITMAP Get(platform::HDC dc, int32_t width, int32_t height);
  void Release();

 private:
  platform::HBITMAP bitmap_ = nullptr;
};

// Paints through a memory context holding a bitmap of area's size (area is passed to paint as its
// rectangle), then copies the bitmap to dc at bounds in one block. False, with nothing painted,
// when the context or the bitmap cannot be had. The bitmap comes from `keep` when one is given;
// paint must then set every pixel of area, for when the block is the whole of dc's surface the
// kept bitmap and the surface exchange their pixels instead of copying them, and the bitmap comes
// back to the next paint holding what the surface showed before.
bool PaintOffscreen(platform::HDC dc, const platform::RECT& bounds, const platform::RECT& area,
                    const std::function<void(platform::HDC, const platform::RECT&)>& paint,
                    OffscreenBitmap* keep = nullptr);

// Fills a rectangle with a solid colour (a colour reference).
void FillBackground(platform::HDC dc, const platform::RECT& rect, platform::COLORREF color);

struct CaptionStyle {
  std::string_view text;
  platform::HFONT font = nullptr;  // null: the context's font
  platform::COLORREF color = 0;
  int32_t hAlignment = 0;  // 1 center, 2 right, anything else left
  int32_t vAlignment = 0;  // 1 center, 2 bottom, anything else top
};

// Draws the text as one line, aligned in rect by its measured extent, without a background; the
// context's font, text colour and background mode are as before afterwards. Nothing is drawn when
// the text cannot be measured.
void DrawCaption(platform::HDC dc, const platform::RECT& rect, const CaptionStyle& style);

// The document's image at the size and place the request works out (always a stretching Draw).
// With a background colour the request's bounds are filled with it first, only where the image
// will not cover them: under the image too when the document may leave pixels of its rectangle
// unpainted, and after the draw what it was to cover when it painted nothing. Returns what Draw
// returns. `drawn`, when given, receives the part of the bounds the image was drawn into (empty
// when nothing was painted).
int32_t DrawPlacedImage(CImageDoc& doc, platform::HDC dc, const PlacementRequest& request,
                        const platform::COLORREF* background = nullptr,
                        platform::RECT* drawn = nullptr);

}  // namespace pelmor
