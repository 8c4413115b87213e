// The timing of a playing animation, apart from what it plays: wait the display time of the
// frame on screen in short slices, asking before each whether to go on, then step to the next
// frame; again and again until told to stop.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace pelmor {

// A frame without a display time of its own stays this long (milliseconds).
constexpr uint32_t kDefaultFrameTime = 100;
// The longest single wait, so that a stop request is noticed soon.
constexpr uint32_t kFrameWaitSlice = 50;

// How long a frame with the stored delay stays on screen: the delay in milliseconds, or
// kDefaultFrameTime when it is 0. A negative delay (which, read as an unsigned count, would be a
// wait of about seven weeks) counts as no delay.
uint32_t FrameDisplayTime(int32_t delayTime);

// What the player drives. Each call is made on the player's thread, one at a time; the object
// takes whatever lock its state needs inside each.
class FrameSequence {
 public:
  // Whether to go on; asked before every wait slice and every step.
  virtual bool KeepPlaying() = 0;
  // The stored delay of the frame on screen, in milliseconds.
  virtual int32_t FrameDelay() = 0;
  // Puts the next frame on screen (the first again after the last).
  virtual void ShowNextFrame() = 0;

 protected:
  ~FrameSequence() = default;
};

// Plays until KeepPlaying answers false.
void PlayFrames(FrameSequence& frames, platform::Clock& clock);

}  // namespace pelmor
