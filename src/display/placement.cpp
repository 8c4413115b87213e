#include "display/placement.h"

#include <algorithm>

namespace pelmor {

namespace {

// The control's rectangle arithmetic is 32-bit: differences and sums wrap as such.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// a x b / c, truncated toward zero. The product is taken in 64 bits: in 32 bits an image a few
// hundred thousand pixels wide would wrap to a negative size.
int32_t Scale(int32_t a, int32_t b, int32_t c) {
  const int64_t v = int64_t{a} * b / c;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int32_t Align(int32_t alignment, int32_t low, int32_t high, int32_t size) {
  if (alignment == 1) return Wrap((int64_t{low} + high - size) / 2);
  if (alignment == 2) return Wrap(int64_t{high} - size);
  return low;
}

}  // namespace

ImagePlacement PlaceImage(const PlacementRequest& r) {
  const int32_t W = r.imageWidth, H = r.imageHeight;
  const int32_t boundsWidth = Wrap(int64_t{r.bounds.right} - r.bounds.left);
  const int32_t boundsHeight = Wrap(int64_t{r.bounds.bottom} - r.bounds.top);
  int32_t w, h;
  if (r.scrolling) {
    w = W;
    h = H;
  } else {
    w = boundsWidth;
    h = boundsHeight;
    const auto uW = static_cast<uint32_t>(W), uH = static_cast<uint32_t>(H);
    if (!r.stretchImage && uW <= static_cast<uint32_t>(w) && uH <= static_cast<uint32_t>(h)) {
      w = W;
      h = H;
    }
    if ((r.stretchImage && w > 0 && h > 0) || uW > static_cast<uint32_t>(w) ||
        uH > static_cast<uint32_t>(h)) {
      // The largest size inside (w, h) with the image's aspect ratio; a step whose divisor is not
      // positive is skipped.
      int32_t fw = w, fh = h;
      if (H > W) {
        if (H > 0) fw = Scale(W, h, H);
        if (fw > w) {
          fw = w;
          if (W > 0) fh = Scale(H, w, W);
        }
      } else {
        if (W > 0) fh = Scale(H, w, W);
        if (fh > h) {
          fh = h;
          if (H > 0) fw = Scale(W, h, H);
        }
      }
      w = fw;
      h = fh;
    }
  }
  ImagePlacement p;
  p.width = w;
  p.height = h;
  p.x = r.scrolling && boundsWidth < w ? Wrap(-int64_t{r.scrollX})
                                       : Align(r.hAlignment, r.bounds.left, r.bounds.right, w);
  p.y = r.scrolling && boundsHeight < h ? Wrap(-int64_t{r.scrollY})
                                        : Align(r.vAlignment, r.bounds.top, r.bounds.bottom, h);
  return p;
}

}  // namespace pelmor
