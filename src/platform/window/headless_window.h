// A window host without a screen: it keeps the window model, records what the window asks of it
// (invalidations, frames presented, scroll-bar changes) and paints when told to. Tests and the
// command line use it; a widget host does the same things on a real screen.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/window/window_model.h"

namespace pelmor::platform {

class HeadlessWindowHost : public WindowHost {
 public:
  struct Invalidation {
    RECT rect;
    bool erase;
  };

  HeadlessWindowHost() : window_(this) {}
  WindowModel& Window() { return window_; }

  int32_t ScrollBarThickness() const override { return barThickness; }
  void OnInvalidated(const RECT& rect, bool erase) override { invalidations.push_back({rect, erase}); }
  void OnScrollBarChanged(int bar) override { scrollBarChanges.push_back(bar); }
  // Counts the frames handed over from other threads.
  void Present(const RECT& rect) override;
  FontEngine* TextEngine() override { return fontEngine; }
  std::optional<int32_t> WheelScrollLines() const override { return wheelScrollLines; }

  // Paints whatever is invalid (as a host's paint event would).
  void Paint() { window_.UpdateWindow(); }
  int PresentCount() const { return presents_.load(); }

  // Settings a test or command may change before creating a control.
  int32_t barThickness = 17;
  FontEngine* fontEngine = nullptr;  // null: the default engine
  std::optional<int32_t> wheelScrollLines;
  // What the window asked for, in order (host thread only).
  std::vector<Invalidation> invalidations;
  std::vector<int> scrollBarChanges;

 private:
  std::atomic<int> presents_{0};
  WindowModel window_;
};

}  // namespace pelmor::platform
