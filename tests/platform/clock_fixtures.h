// Clocks for the tests: one a test steps by hand while threads sleep on it, and one that never
// waits (each sleep moves its time on at once).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/clock.h"

namespace pelmor::test {

class ManualClock final : public platform::Clock {
 public:
  int64_t NowMilliseconds() override;
  // Records the request, then blocks until the test has moved the time far enough; a released
  // thread returns at once and its sleep is not recorded.
  void Sleep(uint32_t milliseconds) override;

  // Waits until the sleep with this index (counting from 0 since the clock was made) has been
  // asked for and returns its length; nothing if that has not happened within a generous real
  // time (a guard against a hang, not a measurement).
  std::optional<uint32_t> WaitForSleep(size_t index);
  // Moves the time on, waking the sleepers whose time has come.
  void Advance(uint32_t milliseconds);
  // Moves the time on to the end of the earliest sleep in progress (nothing when none is).
  void WakeNext();
  // Lets the threads sleeping now go, and every later sleep of theirs return at once (a worker
  // being stopped then ends without the time moving; a new worker sleeps as usual).
  void ReleaseSleepers();
  // Every sleep of every thread returns at once while this is on.
  void ReleaseAll(bool on);
  size_t SleepCount();
  // How many threads are sleeping on the clock now.
  size_t Sleepers();
  std::vector<uint32_t> Sleeps();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t now_ = 0;
  std::vector<uint32_t> requests_;
  std::vector<int64_t> wakeTimes_;    // of the sleeps in progress
  std::vector<uint64_t> sleeping_;    // the threads in those sleeps (by the clock's own numbers)
  std::set<uint64_t> released_;
  bool releaseAll_ = false;
};

// Polls until the condition holds; false if it has not within a generous real time (a guard
// against a hang, not a measurement).
bool WaitUntil(const std::function<bool()>& condition);

class InstantClock final : public platform::Clock {
 public:
  int64_t NowMilliseconds() override;
  // Moves the time on and yields the processor instead of waiting.
  void Sleep(uint32_t milliseconds) override;

 private:
  std::mutex mutex_;
  int64_t now_ = 0;
};

}  // namespace pelmor::test
