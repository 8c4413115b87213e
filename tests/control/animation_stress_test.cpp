// Two controls, each with an animation playing on a clock that never waits, take thousands of
// randomly drawn calls on the host thread while their workers step and paint. Run under
// ThreadSanitizer this finds unguarded sharing; a watchdog turns a deadlock into a failure; and
// afterwards each document must be what its file says.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

#include "codecs/gif_fixtures.h"
#include "control/control_fixtures.h"
#include "control/pelmor2_ctrl.h"
#include "platform/clock_fixtures.h"

namespace pelmor::test {
namespace {

using namespace ole;

// Aborts the process when the counter it watches stops moving for a minute: a deadlock then fails
// the test instead of hanging it.
class Watchdog {
 public:
  explicit Watchdog(const std::atomic<uint64_t>& progress)
      : progress_(progress), thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> hold(mutex_);
    uint64_t seen = progress_.load();
    auto lastMove = std::chrono::steady_clock::now();
    while (!wake_.wait_for(hold, std::chrono::seconds(1), [this] { return done_; })) {
      const uint64_t now = progress_.load();
      if (now != seen) {
        seen = now;
        lastMove = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - lastMove > std::chrono::seconds(60)) {
        std::fprintf(stderr, "watchdog: no call finished for 60 s after %llu calls: deadlock\n",
                     static_cast<unsigned long long>(now));
        std::abort();
      }
    }
  }

  const std::atomic<uint64_t>& progress_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// n frames of w x h, each one colour, each with the given disposal and no delay.
std::string Animation(const TempDir& dir, const std::string& name, int w, int h, int n, int disposal) {
  GifBuilder g(w, h, GifTable({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}));
  for (int i = 0; i < n; ++i) {
    // Each frame covers a different part, so disposal and the background colour matter.
    const int fw = w - i, fh = h - i;
    g.Control(disposal, i == 1 ? 0 : -1, 0).Frame(i, i, fw, fh, Bytes(static_cast<size_t>(fw * fh), static_cast<uint8_t>(i % 4)));
  }
  const std::string path = dir.File(name);
  WriteFile(path, g.Trailer().Take());
  return path;
}

TEST(AnimationStress, TwoControlsTakeRandomCallsWhileTheirWorkersPlay) {
  TempDir dir;
  const std::array<std::string, 6> files = {
      Animation(dir, "a.gif", 40, 30, 3, 2), Animation(dir, "b.gif", 24, 36, 4, 3),
      SamplePath("anim-disposal.gif"),       SamplePath("rose-24bit.bmp"),
      SamplePath("pages-mixed.tif"),         dir.File("missing.gif")};
  InstantClock clock;
  std::array<ControlHarness, 2> controls;
  std::array<std::string, 2> names;
  for (int i = 0; i < 2; ++i) {
    controls[i].Host().clock = &clock;
    ASSERT_TRUE(controls[i].Create(i + 1, 120, 90));
    names[i] = files[static_cast<size_t>(i)];
    controls[i].PutText("FileName", names[i]);
    ASSERT_TRUE(controls[i].Control().thread.joinable());
  }

  std::mt19937 random(14);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
  std::atomic<uint64_t> progress{0};
  {
    Watchdog watchdog(progress);
    for (int call = 0; call < 10000; ++call) {
      const int which = pick(2);
      ControlHarness& c = controls[static_cast<size_t>(which)];
      switch (pick(8)) {
        case 0:
          names[static_cast<size_t>(which)] = files[static_cast<size_t>(pick(6))];
          c.PutText("FileName", names[static_cast<size_t>(which)]);
          break;
        case 1:
          c.Put("SlideShow", Variant::Bool(pick(4) != 0));
          break;
        case 2:
          c.Call("ShowImageN", {Variant::I4(pick(5))});
          break;
        case 3:
          c.Put("CurrentImage", Variant::I4(pick(5)));
          break;
        case 4:
          c.Put("BackColor", Variant::UI4(pick(3) == 0 ? 0x80000005u : static_cast<uint32_t>(random()) & 0xFFFFFF));
          break;
        case 5:
          c.Call("Save", {Variant::Text(dir.File("out" + std::to_string(which) + ".bmp"))});
          break;
        case 6:
          c.Put("Scrolling", Variant::Bool(pick(2) != 0));
          break;
        default:
          c.Host().Window().SetSize(20 + pick(200), 20 + pick(150));
          break;
      }
      c.Paint();
      progress.fetch_add(1);
    }
    for (ControlHarness& c : controls) c.Put("SlideShow", Variant::Bool(false));
  }

  for (int i = 0; i < 2; ++i) {
    ControlHarness& c = controls[static_cast<size_t>(i)];
    CPelmorCtrl& ctl = c.Control();
    SCOPED_TRACE("control " + std::to_string(i + 1) + ", " + names[static_cast<size_t>(i)]);
    EXPECT_FALSE(ctl.thread.joinable());
    EXPECT_EQ(c.GetText("FileName"), names[static_cast<size_t>(i)]);
    CImageDoc& doc = ctl.doc;
    CImageDoc fresh;
    fresh.backColor = doc.backColor;
    const bool opens = fresh.Open(names[static_cast<size_t>(i)].c_str(), 0);
    EXPECT_EQ(c.Call("IsOpen").value.GetBool() != 0, opens);
    if (!opens) continue;
    EXPECT_EQ(doc.imageCount, fresh.imageCount);
    EXPECT_GE(doc.currentImage, 0);
    EXPECT_LT(doc.currentImage, doc.imageCount);
    ASSERT_TRUE(fresh.ShowImage(doc.currentImage));
    EXPECT_EQ(doc.width, fresh.width);
    EXPECT_EQ(doc.height, fresh.height);
    // The second control decodes its current frame again whenever BackColor changes, so its
    // picture is exactly the file's; the first one may keep older colours in disposed areas.
    if (i == 1) {
      EXPECT_TRUE(DocumentPixels(doc) == DocumentPixels(fresh));
    }
    // The worker really played meanwhile. How many frames it showed depends on how much of a
    // core it got next to the calls, so only that it showed some is asked.
    EXPECT_GT(c.Host().PresentCount(), 0);
    // The bars are empty whenever Scrolling is off.
    if (!c.GetBool("Scrolling")) {
      EXPECT_FALSE(c.Host().Window().BarVisible(platform::SB_HORZ));
      EXPECT_FALSE(c.Host().Window().BarVisible(platform::SB_VERT));
    }
  }
}

}  // namespace
}  // namespace pelmor::test
