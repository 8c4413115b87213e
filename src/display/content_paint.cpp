#include "display/content_paint.h"

#include <algorithm>
#include <cstdint>
#include <optional>

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
    const bool whole = keep != nullptr && area.left == 0 && area.top == 0 && bounds.left == 0 &&
                       bounds.top == 0 && bounds.right == width && bounds.bottom == height;
    // A kept bitmap is painted afresh every time, so handing its pixels over loses nothing.
    if (!whole || !ExchangeSurfaces(dc, memory)) {
      BitBlt(dc, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
             memory, area.left, area.top, SRCCOPY);
    }
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

namespace {

// The part of the bounds the placed image covers, if any.
std::optional<RECT> CoveredPart(const RECT& bounds, const ImagePlacement& p) {
  if (p.width <= 0 || p.height <= 0) return std::nullopt;
  const RECT r{std::max(bounds.left, p.x), std::max(bounds.top, p.y),
               static_cast<int32_t>(std::min<int64_t>(bounds.right, int64_t{p.x} + p.width)),
               static_cast<int32_t>(std::min<int64_t>(bounds.bottom, int64_t{p.y} + p.height))};
  if (r.left >= r.right || r.top >= r.bottom) return std::nullopt;
  return r;
}

// The bounds less an inner rectangle: the bands above and below it, then the sides.
void FillAround(HDC dc, const RECT& bounds, const RECT& inner, COLORREF color) {
  const RECT parts[] = {{bounds.left, bounds.top, bounds.right, inner.top},
                        {bounds.left, inner.bottom, bounds.right, bounds.bottom},
                        {bounds.left, inner.top, inner.left, inner.bottom},
                        {inner.right, inner.top, bounds.right, inner.bottom}};
  for (const RECT& r : parts) {
    if (r.left < r.right && r.top < r.bottom) FillBackground(dc, r, color);
  }
}

}  // namespace

int32_t DrawPlacedImage(CImageDoc& doc, HDC dc, const PlacementRequest& request,
                        const COLORREF* background, RECT* drawn) {
  const ImagePlacement p = PlaceImage(request);
  std::optional<RECT> covered;
  if (background != nullptr) {
    if (doc.DrawCoversRectangle()) covered = CoveredPart(request.bounds, p);
    if (covered) {
      FillAround(dc, request.bounds, *covered, *background);
    } else {
      FillBackground(dc, request.bounds, *background);
    }
  }
  bool painted = false;
  const int32_t result = doc.Draw(dc, p.x, p.y, static_cast<uint32_t>(p.width),
                                  static_cast<uint32_t>(p.height), true, &painted);
  if (covered && !painted) FillBackground(dc, *covered, *background);
  if (drawn != nullptr) {
    const std::optional<RECT> part = painted ? CoveredPart(request.bounds, p) : std::nullopt;
    *drawn = part.value_or(RECT{0, 0, 0, 0});
  }
  return result;
}

}  // namespace pelmor
