// The animation worker on a clock the test steps: the display times and their slices, the frames
// painted where OnDraw puts them, the re-open after the last frame, every way of stopping it,
// designer mode, files that are not animated, a file that goes away, and destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "codecs/gif_fixtures.h"
#include "control/control_fixtures.h"
#include "control/pelmor2_ctrl.h"
#include "platform/clock_fixtures.h"

namespace pelmor::test {
namespace {

using namespace ole;
using namespace platform;

// Three 40 x 30 frames of one colour each (red, green, blue), delays in hundredths of a second.
Bytes ThreeFrames(int d0, int d1, int d2) {
  GifBuilder g(40, 30, GifTable({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
  int index = 0;
  for (int delay : {d0, d1, d2}) {
    g.Control(1, -1, delay).Frame(0, 0, 40, 30, Bytes(40 * 30, static_cast<uint8_t>(index++)));
  }
  return g.Trailer().Take();
}

std::vector<uint32_t> Pixels(const Surface& s) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < s.Height(); ++y) out.insert(out.end(), s.Row(y), s.Row(y) + s.Width());
  return out;
}

class AnimationTest : public ::testing::Test {
 protected:
  void SetUp() override { c_.Host().clock = &clock_; }
  // A worker sleeping on the manual clock would never see the stop: let every sleep go.
  void TearDown() override {
    clock_.ReleaseAll(true);
    c_.hc.Destroy();
  }
  void Make(int generation = 2, int32_t w = 100, int32_t h = 60) {
    clock_.ReleaseAll(true);  // the control made before goes first
    const bool made = c_.Create(generation, w, h);
    clock_.ReleaseAll(false);
    ASSERT_TRUE(made);
    next_ = clock_.SleepCount();
  }
  CPelmor2Ctrl& Ctl() { return static_cast<CPelmor2Ctrl&>(c_.Control()); }
  std::string Gif(const std::string& name, int d0 = 12, int d1 = 0, int d2 = 3) {
    const std::string path = dir_.File(name);
    WriteFile(path, ThreeFrames(d0, d1, d2));
    return path;
  }
  int32_t Current() {
    std::lock_guard<std::mutex> hold(Ctl().lock);
    return Ctl().doc.currentImage;
  }
  bool Animating() {
    std::lock_guard<std::mutex> hold(Ctl().lock);
    return Ctl().animating;
  }
  bool WorkerExists() { return Ctl().thread.joinable(); }
  // Runs a host call that stops the worker (which is sleeping): the worker is let go, and a worker
  // the call starts sleeps as usual.
  void Stopping(const std::function<void()>& call) {
    const size_t recorded = clock_.SleepCount();
    clock_.ReleaseSleepers();
    call();
    next_ = recorded;
  }
  uint32_t BackColorOfDocument() {
    std::lock_guard<std::mutex> hold(Ctl().lock);
    return Ctl().doc.backColor;
  }
  // Expects the next sleeps to be these, letting each pass.
  void Pass(std::initializer_list<uint32_t> slices) {
    for (uint32_t slice : slices) {
      const size_t index = next_++;
      ASSERT_EQ(clock_.WaitForSleep(index), slice) << "sleep " << index;
      clock_.Advance(slice);
    }
  }
  // Waits for the next sleep to begin (the worker is then between frames).
  uint32_t NextSleep() {
    const auto slice = clock_.WaitForSleep(next_);
    EXPECT_TRUE(slice.has_value());
    return slice.value_or(0);
  }

  ManualClock clock_;  // outlives the control
  ControlHarness c_;
  TempDir dir_;
  size_t next_ = 0;
};

TEST_F(AnimationTest, FramesFollowTheirDelaysAndStartOverAfterTheLast) {
  Make();
  c_.PutText("FileName", Gif("a.gif"));
  c_.Paint();
  ASSERT_TRUE(WorkerExists());
  EXPECT_EQ(c_.Host().PresentCount(), 0);
  // Frame 0 (120 ms) in three slices, frame 1 (no delay: 100 ms), frame 2 (30 ms), then the file is
  // opened again at frame 0.
  Pass({50, 50, 20});
  EXPECT_EQ(NextSleep(), 50u);
  EXPECT_EQ(Current(), 1);
  EXPECT_EQ(c_.Host().PresentCount(), 1);
  EXPECT_EQ(c_.Pixel(10, 10), 0x00FF00u);
  // The worker paints exactly what OnDraw paints.
  const std::vector<uint32_t> byWorker = Pixels(c_.Host().Window().BackingSurface());
  c_.Control().InvalidateControl();
  c_.Paint();
  EXPECT_EQ(Pixels(c_.Host().Window().BackingSurface()), byWorker);

  Pass({50, 50});
  EXPECT_EQ(NextSleep(), 30u);
  EXPECT_EQ(Current(), 2);
  Pass({30});
  EXPECT_EQ(NextSleep(), 50u);
  EXPECT_EQ(Current(), 0);
  EXPECT_EQ(c_.GetNumber("DelayTime"), 120);
  EXPECT_EQ(c_.Pixel(10, 10), 0xFF0000u);
  EXPECT_EQ(c_.Host().PresentCount(), 3);
  // While it plays, frames are not chosen by hand.
  EXPECT_FALSE(c_.Call("ShowImageN", {Variant::I4(2)}).value.GetBool());
}

// A frame changes only the part of the window the image covers, and only that part is handed
// to the host.
TEST_F(AnimationTest, TheWorkerPresentsWhatTheFrameCovered) {
  struct Case {
    bool stretch;
    int16_t alignment;  // both axes
    RECT expected;
  };
  const Case cases[] = {
      {true, 0, {0, 0, 80, 60}},     // 40 x 30 fitted into 100 x 60
      {false, 1, {30, 15, 70, 45}},  // its own size, centred
  };
  // Shared with the worker, which may present once more while the control goes.
  struct Presented {
    std::mutex mutex;
    std::vector<RECT> rects;
  };
  auto presented = std::make_shared<Presented>();
  c_.Host().onPresent = [presented](const RECT& r) {
    std::lock_guard<std::mutex> hold(presented->mutex);
    presented->rects.push_back(r);
  };
  for (const Case& k : cases) {
    Make();  // the last case's worker has gone
    {
      std::lock_guard<std::mutex> hold(presented->mutex);
      presented->rects.clear();
    }
    c_.Put("StretchImage", Variant::Bool(k.stretch));
    c_.Put("HAlignment", Variant::I2(k.alignment));
    c_.Put("VAlignment", Variant::I2(k.alignment));
    c_.PutText("FileName", Gif("a.gif"));
    Pass({50, 50, 20});
    NextSleep();
    std::lock_guard<std::mutex> hold(presented->mutex);
    ASSERT_EQ(presented->rects.size(), 1u) << k.stretch;
    const RECT& r = presented->rects[0];
    EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
              std::tie(k.expected.left, k.expected.top, k.expected.right, k.expected.bottom))
        << k.stretch;
  }
}

TEST_F(AnimationTest, SlideShowOffEndsTheWorkerWithinASliceAndKeepsTheFrame) {
  struct Case {
    const char* name;
    std::initializer_list<uint32_t> before;  // slices passed before the stop
    int32_t frame;                           // the frame left showing
  };
  const Case cases[] = {
      {"during a wait", {50, 50, 20}, 1},
      // Even during the last slice of a frame's wait, the next frame is not shown any more.
      {"during the last slice", {50, 50}, 0},
  };
  for (const Case& c : cases) {
    Make();
    c_.PutText("FileName", Gif("a.gif"));
    Pass(c.before);
    NextSleep();
    const size_t sleeps = clock_.SleepCount();
    std::thread host([&] { c_.Put("SlideShow", Variant::Bool(false)); });
    ASSERT_TRUE(WaitUntil([&] { return !Animating(); }));
    clock_.WakeNext();  // the slice in progress ends; nothing is slept after it
    host.join();
    EXPECT_FALSE(WorkerExists()) << c.name;
    EXPECT_EQ(clock_.SleepCount(), sleeps) << c.name;
    EXPECT_EQ(Current(), c.frame) << c.name;
    EXPECT_TRUE(c_.Call("ShowImageN", {Variant::I4(2)}).value.GetBool()) << c.name;
    // On again: the animation goes on from the frame showing.
    next_ = clock_.SleepCount();
    c_.Put("SlideShow", Variant::Bool(true));
    EXPECT_TRUE(WorkerExists()) << c.name;
    EXPECT_EQ(NextSleep(), 30u) << c.name;
  }
}

TEST_F(AnimationTest, NoWorkerInADesignerOrForFilesThatDoNotAnimate) {
  c_.Host().ambientUserMode = false;
  Make();
  c_.PutText("FileName", Gif("a.gif"));
  EXPECT_FALSE(WorkerExists());
  EXPECT_EQ(Current(), 0);
  EXPECT_TRUE(c_.GetBool("SupportsAnimation"));
  c_.Host().ambientUserMode = true;
  for (const char* sample : {"pages-mixed.tif", "rose-interlaced.gif", "rose.jpg"}) {
    c_.PutText("FileName", SamplePath(sample));
    EXPECT_TRUE(c_.Call("IsOpen").value.GetBool()) << sample;
    EXPECT_FALSE(WorkerExists()) << sample;
    c_.Put("SlideShow", Variant::Bool(false));
    c_.Put("SlideShow", Variant::Bool(true));
    EXPECT_FALSE(WorkerExists()) << sample;
  }
  EXPECT_EQ(clock_.SleepCount(), 0u);
}

TEST_F(AnimationTest, EveryWayInStopsTheWorkerFirstAndLeavesOne) {
  Make();
  const std::string a = Gif("a.gif"), b = Gif("b.gif", 7, 7, 7);
  c_.PutText("FileName", a);
  Pass({50, 50, 20});
  NextSleep();
  // A second file while the first plays: the first worker ends, one plays the second.
  Stopping([&] { c_.PutText("FileName", b); });
  EXPECT_EQ(c_.GetText("FileName"), b);
  for (uint32_t slice : {50u, 20u, 50u, 20u}) {
    EXPECT_EQ(NextSleep(), slice);
    EXPECT_EQ(clock_.Sleepers(), 1u);
    Pass({slice});
  }
  NextSleep();
  // OpenImage at frame 2, and the BackColor change of the second control, restart from the frame
  // asked for and from the frame showing.
  Stopping([&] { c_.Call("OpenImage", {Variant::Text(a), Variant::I4(2)}); });
  EXPECT_EQ(Current(), 2);
  ASSERT_TRUE(WorkerExists());
  Pass({30});  // then the file is opened again at frame 0
  EXPECT_EQ(NextSleep(), 50u);
  EXPECT_EQ(Current(), 0);
  Stopping([&] { c_.Put("BackColor", Variant::UI4(0x0000FF)); });
  EXPECT_EQ(BackColorOfDocument(), 0x0000FFu);
  EXPECT_TRUE(WorkerExists());
  EXPECT_EQ(NextSleep(), 50u);
  EXPECT_EQ(clock_.Sleepers(), 1u);
  EXPECT_EQ(Current(), 0);

  // The first control only repaints with the new colour: its worker goes on.
  Make(1);
  c_.PutText("FileName", a);
  NextSleep();
  const std::thread::id worker = c_.Control().thread.get_id();
  c_.Put("BackColor", Variant::UI4(0x00FF00));
  EXPECT_EQ(c_.Control().thread.get_id(), worker);
}

TEST_F(AnimationTest, ANegativeDelayIsNoDelay) {
  Make();
  c_.Put("SlideShow", Variant::Bool(false));
  c_.PutText("FileName", Gif("a.gif"));
  {
    std::lock_guard<std::mutex> hold(Ctl().lock);
    Ctl().doc.delayTime = -1;  // as unsigned, seven weeks
  }
  c_.Put("SlideShow", Variant::Bool(true));
  Pass({50, 50});
  EXPECT_EQ(NextSleep(), 50u);
  EXPECT_EQ(Current(), 1);
}

TEST_F(AnimationTest, AFileThatGoesAwayKeepsTheWorkerCyclingWithoutPainting) {
  Make();
  const std::string path = Gif("gone.gif");
  c_.PutText("FileName", path);
  Pass({50, 50, 20, 50, 50});
  EXPECT_EQ(NextSleep(), 30u);
  const int presents = c_.Host().PresentCount();
  std::filesystem::remove(path);
  // After the last frame the re-open fails: the document is empty (no delay: 100 ms) and the
  // worker goes on trying without painting.
  Pass({30, 50, 50, 50, 50});
  EXPECT_EQ(NextSleep(), 50u);
  EXPECT_FALSE(c_.Call("IsOpen").value.GetBool());
  EXPECT_EQ(c_.Host().PresentCount(), presents);
  EXPECT_TRUE(WorkerExists());
  // Until it is stopped.
  Stopping([&] { c_.Put("SlideShow", Variant::Bool(false)); });
  EXPECT_FALSE(WorkerExists());
}

TEST_F(AnimationTest, DestructionAndAVanishedWindowWithAWorkerRunning) {
  const std::string path = Gif("a.gif");
  for (int generation : {1, 2}) {
    HeadlessHost host;
    host.clock = &clock_;
    std::unique_ptr<CPelmorCtrl> control = CreatePelmorControl(generation);
    ASSERT_TRUE(host.Embed(*control, 80, 60));
    next_ = clock_.SleepCount();
    control->SetFileName(path);
    Pass({50, 50, 20});
    NextSleep();
    // The window goes without the control closing: the worker goes on, painting nothing.
    host.Window().Destroy();
    const int presents = host.PresentCount();
    Pass({50, 50});
    NextSleep();
    EXPECT_EQ(host.PresentCount(), presents);
    Stopping([&] { control.reset(); });  // without Close: the destructor stops the worker
  }
}

}  // namespace
}  // namespace pelmor::test
