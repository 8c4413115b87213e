// The animation's timing: display times, the wait cut into slices with a stop check before each,
// and a step after the wait.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "display/frame_player.h"

namespace pelmor {
namespace {

// Writes down every call in order, and says stop at a chosen check.
class Script final : public FrameSequence, public platform::Clock {
 public:
  Script(std::vector<int32_t> delays, int stopAtCheck) : delays_(std::move(delays)), stopAt_(stopAtCheck) {}
  bool KeepPlaying() override {
    log.push_back("check");
    return ++checks_ < stopAt_;
  }
  int32_t FrameDelay() override { return delays_[frame_ % delays_.size()]; }
  void ShowNextFrame() override {
    ++frame_;
    log.push_back("step");
  }
  int64_t NowMilliseconds() override { return 0; }
  void Sleep(uint32_t ms) override { log.push_back(std::to_string(ms)); }

  std::vector<std::string> log;

 private:
  std::vector<int32_t> delays_;
  int stopAt_;
  int checks_ = 0;
  size_t frame_ = 0;
};

using Log = std::vector<std::string>;

TEST(FramePlayer, WaitsInSlicesCheckingBeforeEachThenSteps) {
  struct Case {
    const char* name;
    std::vector<int32_t> delays;
    int stopAtCheck;  // the check (counting from 1) that says stop
    Log expected;
  };
  const Case cases[] = {
      {"120 ms as 50 + 50 + 20", {120}, 5,
       {"check", "check", "50", "check", "50", "check", "20", "step", "check"}},
      {"no delay: 100 ms", {0}, 4, {"check", "check", "50", "check", "50", "step", "check"}},
      {"a negative delay counts as none", {-1}, 4, {"check", "check", "50", "check", "50", "step", "check"}},
      {"each frame its own delay", {30, 70}, 6,
       {"check", "check", "30", "step", "check", "check", "50", "check", "20", "step", "check"}},
      {"a stop between slices: no more sleeping, no step", {120}, 3, {"check", "check", "50", "check"}},
      {"stopped before anything", {120}, 1, {"check"}},
  };
  for (const Case& c : cases) {
    Script s(c.delays, c.stopAtCheck);
    PlayFrames(s, s);
    EXPECT_EQ(s.log, c.expected) << c.name;
  }
  EXPECT_EQ(FrameDisplayTime(655350), 655350u);
  EXPECT_EQ(FrameDisplayTime(std::numeric_limits<int32_t>::min()), kDefaultFrameTime);
}

}  // namespace
}  // namespace pelmor
