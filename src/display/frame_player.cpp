#include "display/frame_player.h"

#include <algorithm>

namespace pelmor {

uint32_t FrameDisplayTime(int32_t delayTime) {
  return delayTime > 0 ? static_cast<uint32_t>(delayTime) : kDefaultFrameTime;
}

void PlayFrames(FrameSequence& frames, platform::Clock& clock) {
  while (frames.KeepPlaying()) {
    uint32_t remaining = FrameDisplayTime(frames.FrameDelay());
    while (remaining > 0) {
      if (!frames.KeepPlaying()) return;
      const uint32_t slice = std::min(remaining, kFrameWaitSlice);
      clock.Sleep(slice);
      remaining -= slice;
    }
    frames.ShowNextFrame();
  }
}

}  // namespace pelmor
