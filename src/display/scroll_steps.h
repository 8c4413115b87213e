// The arithmetic of scrolling, on plain numbers: how far one line moves, where a scroll request
// code takes a bar, and how the wheel's rotation collects into notches. The window's bar clamps
// whatever position comes out of here.
#pragma once

#include <cstdint>

namespace pelmor {

// Scroll request codes as the window's scroll messages carry them.
enum ScrollCode : int {
  kLineUp = 0,
  kLineDown = 1,
  kPageUp = 2,
  kPageDown = 3,
  kThumbPosition = 4,
  kThumbTrack = 5,
  kScrollTop = 6,
  kScrollBottom = 7,
  kEndScroll = 8,
};

// What a bar holds (as read back from the window).
struct BarValues {
  int32_t min = 0;
  int32_t max = 0;
  uint32_t page = 0;
  int32_t pos = 0;
  int32_t trackPos = 0;
};

// One line is a thirtieth of the page (at least one pixel); `count` lines, in 64 bits so that a
// large page times a large count cannot wrap.
int64_t LineStep(uint32_t page, int32_t count);

// The position a request asks for: lines and pages towards min or max (stopping there), the
// thumb's position for the two thumb codes, and the current position for any other code.
int32_t ScrollTarget(const BarValues& bar, int code, int32_t count);
// One page towards min or max, stopping there (Page Up/Down and a page-wise wheel notch).
int32_t PageUpTarget(const BarValues& bar);
int32_t PageDownTarget(const BarValues& bar);

// Rotation in 120ths of a notch; one notch is used per message at most, the rest waits for the
// next message in the same direction, and a change of direction discards what was collected.
constexpr int32_t kWheelNotch = 120;
enum class WheelNotch { kNone, kUp, kDown };
// Adds one message's rotation to `accumulated` (which saturates instead of wrapping) and takes a
// notch from it when a whole one has collected.
WheelNotch CollectWheel(int32_t& accumulated, int32_t delta);

}  // namespace pelmor
