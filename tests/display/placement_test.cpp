// Where the image goes: size, fit and alignment.
#include <gtest/gtest.h>

#include "display/placement.h"

namespace pelmor {
namespace {

struct PlacementCase {
  const char* name;
  int32_t imageWidth, imageHeight;
  bool stretch;
  int32_t hAlignment, vAlignment;
  ImagePlacement expected;
  bool scrolling = false;
  int32_t scrollX = 0, scrollY = 0;
};

TEST(Placement, SizeFitAndAlignmentInA200By100Window) {
  const PlacementCase cases[] = {
      {"fits, bottom right", 50, 40, false, 2, 2, {150, 60, 50, 40}},
      {"stretched to the height, centred", 50, 40, true, 1, 1, {37, 0, 125, 100}},
      {"too wide: shrunk to the width", 400, 100, false, 1, 1, {0, 25, 200, 50}},
      {"portrait stretched, truncated width", 30, 90, true, 0, 0, {0, 0, 33, 100}},
      {"exactly the window", 200, 100, false, 0, 0, {0, 0, 200, 100}},
      {"too high: shrunk to the height", 100, 400, false, 2, 0, {175, 0, 25, 100}},
      {"other alignment codes mean left and top", 50, 40, false, 7, -1, {0, 0, 50, 40}},
      {"square stretched into a wide window", 10, 10, true, 1, 2, {50, 0, 100, 100}},
      {"scrolling, wider than the window", 300, 50, false, 1, 1, {-40, 25, 300, 50}, true, 40, 9},
      {"scrolling, smaller: aligned, own size", 120, 80, true, 2, 2, {80, 20, 120, 80}, true, 40, 9},
  };
  for (const PlacementCase& c : cases) {
    PlacementRequest r;
    r.bounds = {0, 0, 200, 100};
    r.imageWidth = c.imageWidth;
    r.imageHeight = c.imageHeight;
    r.stretchImage = c.stretch;
    r.hAlignment = c.hAlignment;
    r.vAlignment = c.vAlignment;
    r.scrolling = c.scrolling;
    r.scrollX = c.scrollX;
    r.scrollY = c.scrollY;
    const ImagePlacement p = PlaceImage(r);
    EXPECT_EQ(p, c.expected) << c.name << ": got " << p.x << "," << p.y << " " << p.width << "x"
                             << p.height;
  }
}

TEST(Placement, OffsetBoundsAndExtremeSizes) {
  PlacementRequest r;
  r.bounds = {10, 20, 110, 70};  // 100 x 50
  r.imageWidth = 30;
  r.imageHeight = 10;
  r.hAlignment = 1;
  r.vAlignment = 2;
  EXPECT_EQ(PlaceImage(r), (ImagePlacement{45, 60, 30, 10}));
  // Centring divides toward zero: (-3 + 0 - 0) / 2 = -1.
  r.bounds = {-3, 0, 0, 10};
  r.imageWidth = 0;
  r.imageHeight = 0;
  r.hAlignment = 1;
  EXPECT_EQ(PlaceImage(r).x, -1);
  // A very wide window: H x w = 4 x 10^9 does not fit 32 bits, and wrapped it would give a
  // negative height.
  r.bounds = {0, 0, 200000000, 1};
  r.imageWidth = 30;
  r.imageHeight = 20;
  r.hAlignment = 0;
  r.vAlignment = 0;
  r.stretchImage = true;
  EXPECT_EQ(PlaceImage(r), (ImagePlacement{0, 0, 1, 1}));
  r.imageWidth = 2;
  r.imageHeight = 1;
  r.bounds = {0, 0, 2000000, 1500000};
  EXPECT_EQ(PlaceImage(r), (ImagePlacement{0, 0, 2000000, 1000000}));
  // An empty window with stretching on: no fit, the window's size.
  r.bounds = {0, 0, 0, 0};
  EXPECT_EQ(PlaceImage(r), (ImagePlacement{0, 0, 0, 0}));
}

}  // namespace
}  // namespace pelmor
