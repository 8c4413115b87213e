// The scroll arithmetic: line steps, where each request code goes, and the wheel's collection
// into notches.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "display/scroll_steps.h"

namespace pelmor {
namespace {

TEST(ScrollSteps, TargetOfEveryCode) {
  struct Case {
    const char* name;
    BarValues bar;  // min, max, page, pos, trackPos
    int code;
    int32_t count;
    int32_t expected;
  };
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const Case cases[] = {
      // A page of 200 makes a line of 6; the bar clamps 103 to 101 later.
      {"line down", {0, 300, 200, 97, 0}, kLineDown, 1, 103},
      {"line down stops at max", {0, 300, 200, 296, 0}, kLineDown, 1, 300},
      {"line up", {0, 300, 200, 40, 0}, kLineUp, 1, 34},
      {"line up stops at min", {0, 300, 200, 6, 0}, kLineUp, 1, 0},
      {"a small page still moves a pixel", {0, 300, 20, 10, 0}, kLineDown, 1, 11},
      {"three lines of a 300 page", {0, 900, 300, 0, 0}, kLineDown, 3, 30},
      {"page down", {0, 500, 83, 100, 0}, kPageDown, 1, 183},
      {"page down stops at max", {0, 300, 200, 100, 0}, kPageDown, 1, 300},
      {"page up", {0, 500, 83, 100, 0}, kPageUp, 1, 17},
      {"page up stops at min", {0, 500, 83, 83, 0}, kPageUp, 1, 0},
      {"thumb position", {0, 300, 200, 10, 77}, kThumbPosition, 1, 77},
      {"thumb track", {0, 300, 200, 10, 55}, kThumbTrack, 1, 55},
      {"top changes nothing", {0, 300, 200, 10, 55}, kScrollTop, 1, 10},
      {"bottom changes nothing", {0, 300, 200, 10, 55}, kScrollBottom, 1, 10},
      {"end scroll changes nothing", {0, 300, 200, 10, 55}, kEndScroll, 1, 10},
      {"an unknown code changes nothing", {0, 300, 200, 10, 55}, 99, 1, 10},
      // Huge pages and counts go to the ends instead of wrapping.
      {"huge step down", {0, kMax, 0x7FFFFFFF, 5, 0}, kLineDown, kMax, kMax},
      {"huge step up", {-5, kMax, 0x7FFFFFFF, kMax, 0}, kLineUp, kMax, -5},
      {"huge page down", {0, kMax, 0xFFFFFFFF, kMax - 1, 0}, kPageDown, 1, kMax},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScrollTarget(c.bar, c.code, c.count), c.expected) << c.name;
  }
  EXPECT_EQ(LineStep(200, 1), 6);
  EXPECT_EQ(LineStep(20, 1), 1);
  EXPECT_EQ(LineStep(300, 3), 30);
  EXPECT_EQ(LineStep(0, 2), 2);
}

TEST(ScrollSteps, WheelCollectsWholeNotches) {
  using N = WheelNotch;
  struct Case {
    const char* name;
    int32_t start;
    std::vector<int32_t> deltas;
    std::vector<N> notches;
    int32_t left;  // what is collected afterwards
  };
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const Case cases[] = {
      {"two halves make a notch up", 0, {60, 60}, {N::kNone, N::kUp}, 0},
      {"one notch per message", 0, {240, 1}, {N::kUp, N::kUp}, 1},
      {"a change of direction discards", 0, {60, -60}, {N::kNone, N::kNone}, -60},
      {"down", 0, {-120, -119}, {N::kDown, N::kNone}, -119},
      {"down discards what went up", 100, {-30}, {N::kNone}, -30},
      {"no rotation", 77, {0}, {N::kNone}, 77},
      // Saturates instead of wrapping into the other direction.
      {"full up", kMax - 10, {32767}, {N::kUp}, kMax - 120},
      {"full down", kMin + 10, {-32768}, {N::kDown}, kMin + 120},
  };
  for (const Case& c : cases) {
    int32_t collected = c.start;
    std::vector<N> notches;
    for (int32_t d : c.deltas) notches.push_back(CollectWheel(collected, d));
    EXPECT_EQ(notches, c.notches) << c.name;
    EXPECT_EQ(collected, c.left) << c.name;
  }
}

}  // namespace
}  // namespace pelmor
