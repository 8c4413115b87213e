// The animation worker and scrolling. The worker plays the 100-frame animation (each frame the
// document's next image, painted straight onto a 1000x1000 window and handed to the host), its
// clock moving on by each wait at once, against the decode of the same frames alone by a document
// that stays from run to run, as the control's does (the target: within 1.25 times). Both sides
// open the file and decode the same 100 frames in each run, timed by the process's CPU time: the
// worker's thread does the work while the bench's thread waits for it, and on a loaded machine
// the CPU time is far steadier than the wall clock. The same decode with each frame painted on
// the bench's thread, and the paint alone, show where the worker's time goes. A scroll step
// (ScrollBar one line down or up and the repaint it causes) of the 4000x3000 picture in a
// 1920x1080 window, against one window-sized copy (the target: within 1.5 times), both on the
// bench's thread and timed by CPU time as well.
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "bench.h"
#include "control/headless_control.h"
#include "control/pelmor2_ctrl.h"
#include "display/scroll_steps.h"
#include "platform/clock.h"
#include "platform/device_context.h"
#include "platform/surface.h"

namespace pelmor::bench {

namespace {

using namespace platform;

constexpr int kFrames = 100;

// A control playing one file on a clock that never waits; each run starts the file again and
// returns once the worker has painted every further frame.
struct Player {
  VirtualClock clock;
  HeadlessControl hc;
  std::string path;
  std::mutex mutex;
  std::condition_variable painted;
  int frames = 0;

  ~Player() { hc.Destroy(); }

  bool Open(const std::string& file) {
    path = file;
    clock.Run();
    hc.host.clock = &clock;
    hc.host.ambientUserMode = true;
    hc.host.allowResize = false;
    if (!hc.Create(2, 1000, 1000)) return false;
    hc.host.onPresent = [this](const RECT&) {
      std::lock_guard<std::mutex> hold(mutex);
      // The worker stops itself at the last frame of the file, so that a run paints exactly the
      // frames it counts however late the waiting thread wakes. Present comes from inside the
      // worker's step, which holds the control's lock.
      // Only the last frame wakes the waiting thread: a wake per frame would bill the bench's own
      // thread switches to the worker.
      if (++frames >= kFrames - 1) {
        hc.Control().animating = false;
        painted.notify_all();
      }
    };
    return Play() != 0;
  }

  // The size of every frame decoded, for the copy floor.
  size_t DecodedBytes() {
    std::lock_guard<std::mutex> hold(hc.Control().lock);
    return static_cast<size_t>(hc.Control().doc.block.Size()) * kFrames;
  }

  size_t Play() {
    {
      std::lock_guard<std::mutex> hold(mutex);
      frames = 0;
    }
    CPelmorCtrl& c = hc.Control();
    c.SetFileName(path);  // stops the last run's worker, opens at frame 0, starts a new one
    std::unique_lock<std::mutex> hold(mutex);
    painted.wait(hold, [this] { return frames >= kFrames - 1; });
    hold.unlock();
    c.StopAnimation();
    return size_t{1000} * 1000 * 4 * kFrames;
  }
};

struct Scroller {
  static constexpr int32_t kWidth = 1920, kHeight = 1080;
  static constexpr size_t kWindowBytes = size_t{kWidth} * kHeight * 4;
  HeadlessControl hc;
  std::vector<uint8_t> from = std::vector<uint8_t>(kWindowBytes, 0x5A);
  std::vector<uint8_t> to = std::vector<uint8_t>(kWindowBytes, 0);
  bool down = true;

  bool Open(const std::string& file) {
    hc.host.allowResize = false;
    if (!hc.Create(2, kWidth, kHeight)) return false;
    auto& c = static_cast<CPelmor2Ctrl&>(hc.Control());
    c.SetScrolling(1);
    c.SetFileName(file);
    if (!c.IsOpen()) return false;
    hc.host.Paint();
    return true;
  }

  size_t Step() {
    auto& c = static_cast<CPelmor2Ctrl&>(hc.Control());
    c.ScrollBar(SB_VERT, down ? kLineDown : kLineUp, 1);
    down = !down;
    hc.host.Paint();
    return kWindowBytes;
  }

  size_t Copy() {
    std::memcpy(to.data(), from.data(), kWindowBytes);
    return to[kWindowBytes - 1] == 0x5A ? kWindowBytes : 0;
  }
};

void Animation(Session& s) {
  const std::string anim = s.Image("anim.gif");
  if (!anim.empty()) {
    auto player = std::make_shared<Player>();
    if (!player->Open(anim)) {
      s.Skip("animation", "anim.gif does not play in a control");
    } else {
      Case c;
      c.label = "animation worker anim.gif 1000x1000";
      c.floorBytes = player->DecodedBytes();
      c.cpuTime = true;
      c.ours = [player] { return player->Play(); };
      // The frames decoded alone by one document that stays. Not a new document per run: that
      // pays the first touch of all its memory (the whole-file copy and the frame blocks, some
      // 3800 page faults where huge pages cannot be had), which the control's document, kept
      // from run to run, never does; the decode then looked slower than decoding and painting.
      auto kept = std::make_shared<CImageDoc>();
      c.peers.push_back({"decode", [kept, anim] {
                           if (!kept->Open(anim.c_str(), 0)) return size_t{0};
                           size_t produced = kept->block.Size();
                           while (kept->currentImage + 1 < kept->imageCount && kept->NextImage()) {
                             produced += kept->block.Size();
                           }
                           return produced;
                         }, {}});
      // The worker's time split: the same decode with each frame painted as the worker paints
      // it, on the bench's thread (the worker's own cost is what this leaves over), and the paint
      // alone, one frame a hundred times.
      auto surface = std::make_shared<Surface>(Surface::Create(1000, 1000));
      auto painted = std::make_shared<CImageDoc>();
      c.peers.push_back({"decode+paint", [painted, surface, anim] {
                           if (!*surface || !painted->Open(anim.c_str(), 0)) return size_t{0};
                           HDC dc = CreateDisplayDC(surface.get());
                           painted->Draw(dc, 0, 0, 1000, 1000, true);
                           size_t produced = painted->block.Size();
                           while (painted->currentImage + 1 < painted->imageCount && painted->NextImage()) {
                             painted->Draw(dc, 0, 0, 1000, 1000, true);
                             produced += painted->block.Size();
                           }
                           DeleteDC(dc);
                           return produced;
                         }, {}});
      auto still = std::make_shared<CImageDoc>();
      c.peers.push_back({"paint", [still, surface, anim] {
                           if (!*surface || (still->imageCount == 0 && !still->Open(anim.c_str(), 0))) {
                             return size_t{0};
                           }
                           HDC dc = CreateDisplayDC(surface.get());
                           for (int i = 0; i < kFrames; ++i) still->Draw(dc, 0, 0, 1000, 1000, true);
                           DeleteDC(dc);
                           return still->block.Size() * kFrames;
                         }, {}});
      s.Add(std::move(c));
    }
  }
  const std::string photo = s.Image("rgb24.bmp");
  if (photo.empty()) return;
  auto scroller = std::make_shared<Scroller>();
  if (!scroller->Open(photo)) {
    s.Skip("scroll", "rgb24.bmp does not open in a control");
    return;
  }
  Case c;
  c.label = "scroll step 4000x3000 in 1920x1080";
  c.floorBytes = Scroller::kWindowBytes;
  c.cpuTime = true;
  c.ours = [scroller] { return scroller->Step(); };
  c.peers.push_back({"memcpy", [scroller] { return scroller->Copy(); }, {}});
  s.Add(std::move(c));
}

const Section kAnimation("animation", Animation);

}  // namespace

}  // namespace pelmor::bench
