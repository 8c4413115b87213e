// A window host without a screen: it keeps the window model, records what the window asks of it
// (invalidations, frames presented, scroll-bar changes) and paints when told to. Tests and the
// command line use it; a widget host does the same things on a real screen.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
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
  // Counts the frames handed over from other threads, and passes them to onPresent.
  void Present(const RECT& rect) override;
  LRESULT DefWindowProc(const Message& message) override {
    defaultMessages.push_back(message.message);
    return 0;
  }
  FontEngine* TextEngine() override { return fontEngine; }
  std::optional<int32_t> WheelScrollLines() const override { return wheelScrollLines; }

  // Paints whatever is invalid (as a host's paint event would).
  void Paint() { window_.UpdateWindow(); }
  int PresentCount() const { return presents_.load(); }

  // Settings a test or command may change before creating a control.
  int32_t barThickness = 17;
  FontEngine* fontEngine = nullptr;  // null: the default engine
  std::optional<int32_t> wheelScrollLines;
  // Called on the painting thread for each frame presented, while the painter still holds the
  // client context (the backing surface may be read) and its own lock; must not wait for the
  // host's thread.
  std::function<void(const RECT&)> onPresent;
  // What the window asked for, in order (host thread only).
  std::vector<Invalidation> invalidations;
  std::vector<int> scrollBarChanges;
  std::vector<uint32_t> defaultMessages;  // the messages handed to the default processing

 private:
  std::atomic<int> presents_{0};
  WindowModel window_;
};

}  // namespace pelmor::platform
