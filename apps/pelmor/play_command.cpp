// pelmor play IN OUTDIR [--size WxH] [--frames N]
// Plays an animation in the second control inside a headless window and writes every frame as
// the control painted it, with OUTDIR/frames.json listing them.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli_options.h"
#include "commands.h"
#include "control/headless_control.h"
#include "platform/clock.h"
#include "window_image.h"

namespace pelmor::cli {

namespace {

constexpr int32_t kMaxFrames = 100000;
// Longer than any frame stays on screen (a GIF delay is at most 655.35 s): a worker that has
// painted nothing for this long of its own time is failing on every frame of the file.
constexpr int64_t kStallMilliseconds = 655350 + 1000;

struct PlayedFrame {
  std::string file;
  int32_t currentImage = 0;
  int64_t ms = 0;
};

std::string FrameJson(const PlayedFrame& f) {
  return "{\"file\": \"" + f.file + "\", \"currentImage\": " + std::to_string(f.currentImage) +
         ", \"ms\": " + std::to_string(f.ms) + "}";
}

std::string FrameFileName(size_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%04zu.bmp", number);
  return name;
}

// Takes the painted frames from whichever thread paints them, writes each into the folder at
// once, up to the number wanted, and wakes the thread waiting for them.
class FrameRecorder {
 public:
  enum class Outcome { kDone, kWriteFailed, kStalled };

  FrameRecorder(std::filesystem::path folder, size_t wanted, platform::Clock& clock)
      : folder_(std::move(folder)), wanted_(wanted), clock_(clock) {}

  // The window's pixels as the next frame; frames past the wanted number are dropped.
  void Record(const platform::Surface& pixels, int32_t currentImage) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (frames_.size() >= wanted_ || failed_) return;
    PlayedFrame f{FrameFileName(frames_.size() + 1), currentImage, clock_.NowMilliseconds()};
    lastFrameMs_ = f.ms;
    if (!WriteSurface(pixels, (folder_ / f.file).string(), 0.9f)) {
      failed_ = true;
    } else {
      frames_.push_back(std::move(f));
    }
    changed_.notify_all();
  }

  // Until the frames are in, a write failed, or the worker stopped painting.
  Outcome Wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      if (failed_) return Outcome::kWriteFailed;
      if (frames_.size() >= wanted_) return Outcome::kDone;
      if (clock_.NowMilliseconds() - lastFrameMs_ > kStallMilliseconds) return Outcome::kStalled;
      changed_.wait_for(hold, std::chrono::milliseconds(20));
    }
  }

  std::vector<PlayedFrame> Frames() {
    std::lock_guard<std::mutex> hold(mutex_);
    return frames_;
  }

 private:
  const std::filesystem::path folder_;
  const size_t wanted_;
  platform::Clock& clock_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<PlayedFrame> frames_;
  int64_t lastFrameMs_ = 0;
  bool failed_ = false;
};

// Lets the worker's clock run when the scope ends, so that a worker still waiting for it can be
// stopped.
struct ClockRunner {
  platform::VirtualClock& clock;
  ~ClockRunner() { clock.Run(); }
};

bool WriteFrameList(const std::filesystem::path& path, const std::vector<PlayedFrame>& frames) {
  FILE* f = std::fopen(path.string().c_str(), "wb");
  if (f == nullptr) return false;
  std::string text = "[\n";
  for (size_t i = 0; i < frames.size(); ++i) {
    text += "  " + FrameJson(frames[i]) + (i + 1 < frames.size() ? ",\n" : "\n");
  }
  text += "]\n";
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace

int RunPlay(const std::vector<std::string>& args) {
  const Arguments a(args, {"size", "frames"}, {});
  if (a.Positional().size() != 2) throw UsageError{"play needs IN and OUTDIR"};
  const std::string& in = a.Positional()[0];
  const std::filesystem::path folder = a.Positional()[1];
  int32_t width = 320, height = 240;
  const std::optional<std::string> size = a.Value("size");
  if (size && (!ParseWindowSize(*size, width, height) || width > platform::WindowModel::kMaxSide ||
               height > platform::WindowModel::kMaxSide)) {
    throw UsageError{"--size needs WxH with sides from 1 to 65535, not '" + *size + "'"};
  }
  const int32_t asked = a.IntOr("frames", 0);
  if (a.Has("frames") && (asked < 1 || asked > kMaxFrames)) {
    throw UsageError{"--frames needs a count from 1 to " + std::to_string(kMaxFrames)};
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "pelmor: %s is not a folder that can be written\n", folder.c_str());
    return kExitSaveFailed;
  }

  // Declared in this order so that they go in the reverse one: the clock runs, which lets a
  // waiting worker see its stop; the control goes with its worker; then what the worker used.
  platform::VirtualClock clock;
  std::optional<FrameRecorder> recorder;
  HeadlessControl hc;
  ClockRunner runner{clock};
  hc.host.ambientUserMode = true;
  hc.host.clock = &clock;
  hc.host.allowResize = false;
  if (!hc.Create(2, width, height)) {
    std::fprintf(stderr, "pelmor: the control's window could not be created\n");
    return kExitSaveFailed;
  }
  CPelmorCtrl& control = hc.Control();
  control.SetFileName(in);  // the worker starts, and waits for the clock to run
  bool animating = false;
  int32_t imageWidth = 0, imageHeight = 0, imageCount = 0, first = 0;
  {
    std::lock_guard<std::mutex> hold(control.lock);
    if (!control.DocumentOpen()) {
      std::fprintf(stderr, "pelmor: %s did not open\n", in.c_str());
      return kExitNotOpened;
    }
    animating = control.animating;
    imageWidth = control.doc.width;
    imageHeight = control.doc.height;
    imageCount = control.doc.imageCount;
    first = control.doc.currentImage;
  }
  if (!size) hc.host.Window().SetSize(std::max(imageWidth, 1), std::max(imageHeight, 1));
  const size_t wanted = a.Has("frames") ? static_cast<size_t>(asked)
                        : animating        ? static_cast<size_t>(std::min(imageCount, kMaxFrames - 1)) + 1
                                           : 1;
  recorder.emplace(folder, wanted, clock);

  // The first frame as the control paints itself after the open; the others as the worker
  // paints them (it holds the control's lock and the window's client context meanwhile).
  control.InvalidateControl(nullptr, false);
  hc.host.Paint();
  recorder->Record(hc.host.Window().BackingSurface(), first);
  hc.host.onPresent = [&](const platform::RECT&) {
    recorder->Record(hc.host.Window().BackingSurface(), control.doc.currentImage);
  };
  clock.Run();
  const FrameRecorder::Outcome outcome = animating ? recorder->Wait() : FrameRecorder::Outcome::kDone;
  hc.Destroy();

  const std::vector<PlayedFrame> frames = recorder->Frames();
  for (const PlayedFrame& f : frames) std::printf("%s\n", FrameJson(f).c_str());
  if (!WriteFrameList(folder / "frames.json", frames) ||
      outcome == FrameRecorder::Outcome::kWriteFailed) {
    std::fprintf(stderr, "pelmor: the frames could not be written to %s\n", folder.c_str());
    return kExitSaveFailed;
  }
  if (outcome == FrameRecorder::Outcome::kStalled) {
    std::fprintf(stderr, "pelmor: %s stopped showing frames after %zu\n", in.c_str(), frames.size());
    return kExitNotOpened;
  }
  if (frames.size() < wanted) {
    std::fprintf(stderr, "pelmor: %s is not animated; it has one frame\n", in.c_str());
  }
  return kExitOk;
}

}  // namespace pelmor::cli
