// Time as the animation sees it: a monotonic millisecond count and a way to wait. The real clock
// is the system's steady clock; a host may hand a control another one (tests step a clock by
// hand instead of sleeping).
#pragma once

#include <cstdint>

namespace pelmor::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; never goes back.
  virtual int64_t NowMilliseconds() = 0;
  // Blocks the calling thread for at least `milliseconds`. May be called from any thread.
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// The system's steady clock; one object shared by everyone.
Clock& RealClock();

}  // namespace pelmor::platform
