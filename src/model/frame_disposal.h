// What must happen to an animation's canvas before its next frame is drawn.
#pragma once

#include <cstdint>
#include <vector>

namespace pelmor {

struct FrameDisposal {
  enum Mode : int32_t { kNone = 0, kRestoreBackground = 1, kRestorePrevious = 2 };

  int32_t mode = kNone;
  // The rectangle in canvas pixels, top-down coordinates.
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  // For kRestorePrevious: width x height 32-bit pixels, row after row from the top.
  std::vector<uint32_t> saved;

  void Reset() { *this = FrameDisposal(); }
};

}  // namespace pelmor
