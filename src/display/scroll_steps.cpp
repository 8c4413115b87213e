#include "display/scroll_steps.h"

#include <algorithm>
#include <limits>

namespace pelmor {

namespace {

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// pos - step unless that reaches min or beyond; pos + step unless that reaches max or beyond.
int32_t Back(const BarValues& bar, int64_t step) {
  return int64_t{bar.pos} > int64_t{bar.min} + step ? Saturate(bar.pos - step) : bar.min;
}
int32_t Forward(const BarValues& bar, int64_t step) {
  return int64_t{bar.pos} + step < int64_t{bar.max} ? Saturate(bar.pos + step) : bar.max;
}

}  // namespace

int64_t LineStep(uint32_t page, int32_t count) {
  return int64_t{std::max<uint32_t>(1, page / 30)} * count;
}

int32_t PageUpTarget(const BarValues& bar) { return Back(bar, bar.page); }
int32_t PageDownTarget(const BarValues& bar) { return Forward(bar, bar.page); }

int32_t ScrollTarget(const BarValues& bar, int code, int32_t count) {
  switch (code) {
    case kLineUp:
      return Back(bar, LineStep(bar.page, count));
    case kLineDown:
      return Forward(bar, LineStep(bar.page, count));
    case kPageUp:
      return PageUpTarget(bar);
    case kPageDown:
      return PageDownTarget(bar);
    case kThumbPosition:
    case kThumbTrack:
      return bar.trackPos;
    default:
      return bar.pos;
  }
}

WheelNotch CollectWheel(int32_t& accumulated, int32_t delta) {
  if (delta > 0) {
    if (accumulated < 0) accumulated = 0;
    accumulated = Saturate(int64_t{accumulated} + delta);
    if (accumulated < kWheelNotch) return WheelNotch::kNone;
    accumulated -= kWheelNotch;
    return WheelNotch::kUp;
  }
  if (delta < 0) {
    if (accumulated > 0) accumulated = 0;
    accumulated = Saturate(int64_t{accumulated} + delta);
    if (accumulated > -kWheelNotch) return WheelNotch::kNone;
    accumulated += kWheelNotch;
    return WheelNotch::kDown;
  }
  return WheelNotch::kNone;
}

}  // namespace pelmor
