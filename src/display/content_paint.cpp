#include "display/content_paint.h"

#include <algorithm>
#include <cstdint>

namespace pelmor {

using namespace platform;

HBITMAP OffscreenBitmap::Get(HDC dc, int32_t width, int32_t height) {
  if (bitmap_ != nullptr && !bitmap_->stock && bitmap_->surface.Width() == width &&
      bitmap_->surface.Height() == height && !bitmap_->surface.Monochrome()) {
    return bitmap_;
  }
  Release();
  bitmap_ = CreateCompatibleBitmap(dc, width, height);
  return bitmap_;
}

void OffscreenBitmap::Release() {
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  bitmap_ = nullptr;
}

bool PaintOffscreen(HDC dc, const RECT& bounds, const RECT& area,
                    const std::function<void(HDC, const RECT&)>& paint, OffscreenBitmap* keep) {
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return false;
  const int32_t width = area.right - area.left, height = area.bottom - area.top;
  HBITMAP bitmap = keep != nullptr ? keep->Get(dc, width, height)
                                   : CreateCompatibleBitmap(dc, width, height);
  const bool painted = bitmap != nullptr;
  if (painted) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    paint(memory, area);
    BitBlt(dc, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
           memory, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    if (keep == nullptr) DeleteObject(bitmap);
  }
  DeleteDC(memory);
  return painted;
}

void FillBackground(HDC dc, const RECT& rect, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  if (brush == nullptr) return;
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

namespace {

// The rectangle arithmetic is 32-bit: sums and differences wrap as such.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

int32_t AlignText(int32_t alignment, int32_t low, int32_t high, int32_t extent) {
  if (alignment == 1) return Wrap((int64_t{high} + low - extent) / 2);
  if (alignment == 2) return Wrap(int64_t{high} - extent);
  return low;
}

}  // namespace

void DrawCaption(HDC dc, const RECT& rect, const CaptionStyle& style) {
  HGDIOBJ previousFont = style.font != nullptr ? SelectObject(dc, style.font) : nullptr;
  const auto length = static_cast<int32_t>(std::min<size_t>(style.text.size(), INT32_MAX));
  SIZE extent{0, 0};
  if (GetTextExtentPoint(dc, style.text.data(), length, &extent)) {
    const int32_t x = AlignText(style.hAlignment, rect.left, rect.right, extent.cx);
    const int32_t y = AlignText(style.vAlignment, rect.top, rect.bottom, extent.cy);
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColor = SetTextColor(dc, style.color);
    TextOut(dc, x, y, style.text.data(), length);
    SetTextColor(dc, previousColor);
    SetBkMode(dc, previousMode);
  }
  if (previousFont != nullptr) SelectObject(dc, previousFont);
}

int32_t DrawPlacedImage(CImageDoc& doc, HDC dc, const PlacementRequest& request) {
  const ImagePlacement p = PlaceImage(request);
  return doc.Draw(dc, p.x, p.y, static_cast<uint32_t>(p.width), static_cast<uint32_t>(p.height),
                  true);
}

}  // namespace pelmor
