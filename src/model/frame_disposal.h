// What must happen to an animation's canvas before its next frame is drawn.
#pragma once

#include <cstdint>

#include "platform/memory_budget.h"

namespace pelmor {

struct FrameDisposal {
  enum Mode : int32_t { kNone = 0, kRestoreBackground = 1, kRestorePrevious = 2 };

  int32_t mode = kNone;
  // The rectangle in canvas pixels, top-down coordinates, cut to the canvas.
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  // For kRestorePrevious: the rows of the rectangle as they were before the frame first wrote
  // them, `width` pixels each, in the order they were first written; rowSlot[j] is the slot of
  // rectangle row j, or -1 while the frame has not touched it (restoring it needs nothing). The
  // buffers outlive Reset, so that an animation reuses them from frame to frame.
  BudgetBuffer<uint32_t> saved;
  BudgetBuffer<int32_t> rowSlot;
  int32_t savedRows = 0;

  // Nothing to do; the buffers are kept.
  void Reset() {
    mode = kNone;
    left = top = width = height = 0;
    savedRows = 0;
  }
  // Nothing to do and nothing kept.
  void Release() {
    Reset();
    saved.Reset();
    rowSlot.Reset();
  }
};

}  // namespace pelmor
