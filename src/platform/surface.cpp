#include "platform/surface.h"

#include <algorithm>

#include "platform/checked_size.h"
#include "platform/memory_limit.h"

namespace pelmor::platform {

Surface Surface::Create(int32_t width, int32_t height, bool monochrome) {
  Surface s;
  if (width <= 0 || height <= 0) return s;
  const CheckedSize bytes = CheckedSize(width) * height * 4;
  if (!bytes.AtMost(ImageAllocationLimit())) return s;
  // calloc hands out fresh zero pages for large sizes, so a new surface costs nothing until drawn.
  s.pixels_.reset(static_cast<uint32_t*>(std::calloc(static_cast<size_t>(bytes.Value()), 1)));
  if (!s.pixels_) return s;
  s.width_ = width;
  s.height_ = height;
  s.monochrome_ = monochrome;
  return s;
}

bool Surface::Clip(RECT& r) const {
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, width_);
  r.bottom = std::min(r.bottom, height_);
  return r.left < r.right && r.top < r.bottom;
}

void Surface::Settle(const RECT& r) {
  if (!monochrome_) return;
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint32_t* row = Row(y);
    for (int32_t x = r.left; x < r.right; ++x) row[x] = MonochromePixel(row[x]);
  }
}

}  // namespace pelmor::platform
