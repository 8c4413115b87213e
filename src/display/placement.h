// Where and at what size the control shows its image: the alignment, stretch and fit arithmetic
// of the paint, on plain integers, independent of any drawing platform.
#pragma once

#include <cstdint>

#include "platform/surface.h"

namespace pelmor {

struct PlacementRequest {
  platform::RECT bounds{0, 0, 0, 0};  // the area painted (the client rectangle)
  int32_t imageWidth = 0;
  int32_t imageHeight = 0;
  int32_t hAlignment = 0;   // 1 center, 2 right, anything else left
  int32_t vAlignment = 0;   // 1 center, 2 bottom, anything else top
  bool stretchImage = false;
  bool scrolling = false;
  int32_t scrollX = 0;      // scroll positions, used only while scrolling
  int32_t scrollY = 0;
};

struct ImagePlacement {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const ImagePlacement&) const = default;
};

// Not scrolling: the bounds' size; an image that fits keeps its own size unless it is stretched;
// then, when stretching or when the image does not fit, the largest size inside that keeps the
// image's aspect ratio; then aligned. Scrolling: the image's own size, aligned, or shifted by the
// scroll position along an axis where it is larger than the bounds.
ImagePlacement PlaceImage(const PlacementRequest& request);

}  // namespace pelmor
