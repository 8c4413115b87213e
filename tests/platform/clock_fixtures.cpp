#include "platform/clock_fixtures.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace pelmor::test {

namespace {
// How long a test waits for another thread before it gives up instead of hanging.
constexpr auto kHangGuard = std::chrono::seconds(30);
}  // namespace

int64_t ManualClock::NowMilliseconds() {
  std::lock_guard<std::mutex> hold(mutex_);
  return now_;
}

void ManualClock::Sleep(uint32_t milliseconds) {
  // Threads are told apart by a number of their own: a new thread may reuse an old one's id.
  static std::atomic<uint64_t> threads{0};
  thread_local const uint64_t self = ++threads;
  std::unique_lock<std::mutex> hold(mutex_);
  auto released = [&] { return releaseAll_ || released_.count(self) != 0; };
  if (released()) {
    hold.unlock();
    std::this_thread::yield();
    return;
  }
  const int64_t wake = now_ + milliseconds;
  requests_.push_back(milliseconds);
  wakeTimes_.push_back(wake);
  sleeping_.push_back(self);
  changed_.notify_all();
  changed_.wait(hold, [&] { return now_ >= wake || released(); });
  const auto at = std::find(sleeping_.begin(), sleeping_.end(), self) - sleeping_.begin();
  sleeping_.erase(sleeping_.begin() + at);
  wakeTimes_.erase(wakeTimes_.begin() + at);
}

void ManualClock::ReleaseSleepers() {
  std::lock_guard<std::mutex> hold(mutex_);
  released_.insert(sleeping_.begin(), sleeping_.end());
  changed_.notify_all();
}

void ManualClock::ReleaseAll(bool on) {
  std::lock_guard<std::mutex> hold(mutex_);
  releaseAll_ = on;
  changed_.notify_all();
}

std::optional<uint32_t> ManualClock::WaitForSleep(size_t index) {
  std::unique_lock<std::mutex> hold(mutex_);
  if (!changed_.wait_for(hold, kHangGuard, [&] { return requests_.size() > index; })) {
    return std::nullopt;
  }
  return requests_[index];
}

void ManualClock::Advance(uint32_t milliseconds) {
  std::lock_guard<std::mutex> hold(mutex_);
  now_ += milliseconds;
  changed_.notify_all();
}

void ManualClock::WakeNext() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (wakeTimes_.empty()) return;
  now_ = std::max(now_, *std::min_element(wakeTimes_.begin(), wakeTimes_.end()));
  changed_.notify_all();
}

size_t ManualClock::SleepCount() {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_.size();
}

size_t ManualClock::Sleepers() {
  std::lock_guard<std::mutex> hold(mutex_);
  return wakeTimes_.size();
}

std::vector<uint32_t> ManualClock::Sleeps() {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_;
}

bool WaitUntil(const std::function<bool()>& condition) {
  const auto giveUp = std::chrono::steady_clock::now() + kHangGuard;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::yield();
  }
  return true;
}

int64_t InstantClock::NowMilliseconds() {
  std::lock_guard<std::mutex> hold(mutex_);
  return now_;
}

void InstantClock::Sleep(uint32_t milliseconds) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    now_ += milliseconds;
  }
  std::this_thread::yield();
}

}  // namespace pelmor::test
