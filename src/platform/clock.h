// Time as the animation sees it: a monotonic millisecond count and a way to wait. The real clock
// is the system's steady clock; a host may hand a control another one (tests step a clock by
// hand instead of sleeping).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

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

// Time that passes only as its sleepers ask: once running, Sleep(ms) moves the time on by ms and
// returns at once, so a player steps through its frames as fast as it can paint them with
// timestamps that are exactly its waits. Before Run() a sleeper waits (the owner can finish what
// must come first); Run() also lets a waiting sleeper go, so call it before stopping the sleeper.
// Meant for one sleeping thread; the time may be read from any.
class VirtualClock final : public Clock {
 public:
  int64_t NowMilliseconds() override;
  void Sleep(uint32_t milliseconds) override;
  void Run();

 private:
  std::mutex mutex_;
  std::condition_variable running_;
  bool run_ = false;
  int64_t now_ = 0;
};

}  // namespace pelmor::platform
