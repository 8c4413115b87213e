// The clock that moves on by its sleeps: nothing passes before it runs, then every sleep adds its
// length at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"

namespace pelmor::test {
namespace {

TEST(VirtualClock, SleepersWaitForRunThenTimeIsTheSumOfTheirSleeps) {
  platform::VirtualClock clock;
  std::atomic<int> slept{0};
  std::thread sleeper([&] {
    for (uint32_t ms : {50u, 50u, 20u}) {
      clock.Sleep(ms);
      slept.fetch_add(1);
    }
  });
  std::this_thread::yield();
  EXPECT_EQ(slept.load(), 0);
  EXPECT_EQ(clock.NowMilliseconds(), 0);
  clock.Run();
  sleeper.join();
  EXPECT_EQ(slept.load(), 3);
  EXPECT_EQ(clock.NowMilliseconds(), 120);
  clock.Sleep(4294967295u);  // the longest sleep returns at once and is counted in full
  EXPECT_EQ(clock.NowMilliseconds(), 120 + 4294967295LL);
}

}  // namespace
}  // namespace pelmor::test
