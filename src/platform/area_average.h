// The HALFTONE stretch: every destination pixel is the average of the source area it covers, each
// source pixel weighted by how much of it lies inside (a box filter with exact overlap weights,
// rounded to nearest). Shrinking and enlarging use the same rule; axes are independent.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/pixel_loop.h"
#include "platform/surface.h"

namespace pelmor::platform {

// The weights of one axis: for each destination pixel, the source pixels it covers.
struct AreaTaps {
  std::vector<int32_t> start;    // first source pixel, counted from the first one read
  std::vector<uint32_t> offset;  // where its weights begin in `weights`
  std::vector<uint32_t> count;   // how many source pixels
  std::vector<uint32_t, UninitialisedAllocator<uint32_t>> weights;  // written whole by Build
  uint32_t denominator = 1;      // the sum of every destination pixel's weights

  // The taps of destination pixels [first, first + n) when `source` pixels are spread over
  // `destination` ones (counted in logical order, before any mirroring), keeping only the source
  // pixels [low, high): the weight of pixels outside goes to the nearest one inside. Every pixel
  // gets weights that sum to `denominator`: exact overlaps for up to 4096 units per pixel,
  // otherwise overlaps rescaled to 4096.
  void Build(int64_t source, int64_t destination, int64_t low, int64_t high,
             const std::vector<int64_t>& logicalIndices);
};

// Hands out source rows for the average: a pointer to the first byte read of the row (3 or 4 bytes
// per pixel, blue, green, red first).
class AreaRows {
 public:
  virtual ~AreaRows() = default;
  virtual const uint8_t* Row(int32_t y) = 0;
  // A reader of the same rows for another thread to use at the same time as this one; null when
  // the rows cannot be read from two threads at once (the average then stays on one thread).
  virtual std::unique_ptr<AreaRows> ForAnotherThread() const { return nullptr; }
};

// Paints destination rows: row k of `rows` taps goes to surface row y0 + k, column k of `columns`
// to x0 + k. `spanPixels` is the number of pixels each source row holds from the first one read.
// False when working memory cannot be had. A large average is split into bands of destination rows
// painted on several threads at once; every band writes rows of its own, and the result is the same
// whatever the split.
bool AreaAverage(const AreaTaps& columns, const AreaTaps& rows, int bytesPerPixel, int32_t spanPixels,
                 AreaRows& source, Surface& target, int32_t x0, int32_t y0);

// How many threads a large average may use: 0 (the default) as many as the processor runs, up to 4.
// A count set here also splits small averages, so that tests can compare splits. Process-wide.
void SetAreaAverageThreads(int threads);

}  // namespace pelmor::platform
