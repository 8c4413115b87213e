#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace pelmor::platform {

namespace {

class SteadyClock final : public Clock {
 public:
  int64_t NowMilliseconds() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void Sleep(uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

Clock& RealClock() {
  static SteadyClock clock;
  return clock;
}

int64_t VirtualClock::NowMilliseconds() {
  std::lock_guard<std::mutex> hold(mutex_);
  return now_;
}

void VirtualClock::Sleep(uint32_t milliseconds) {
  std::unique_lock<std::mutex> hold(mutex_);
  running_.wait(hold, [this] { return run_; });
  now_ += milliseconds;
}

void VirtualClock::Run() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    run_ = true;
  }
  running_.notify_all();
}

}  // namespace pelmor::platform
