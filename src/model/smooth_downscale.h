// The document's own down-scale of a true-colour image, for systems whose stretching does not
// average: each destination pixel is the truncated mean of a block of source pixels.
#pragma once

#include <cstdint>

namespace pelmor {

// Shrinks a 24- or 32-bit image (bytesPerPixel 3 or 4; blue, green, red first) of width x height
// to a 24-bit one of w x h, both 0 < w < width and 0 < h < height. Rows are taken and written in
// memory order. Every destination row takes height / h source rows, plus one whenever a running
// remainder passes h; every destination pixel takes width / w columns, plus one whenever the
// column remainder passes w. The column remainder carries on from one row to the next, so the
// column blocks shift from row to row.
void SmoothDownscale(const uint8_t* source, uint32_t sourceStride, uint32_t width, uint32_t height,
                     uint32_t bytesPerPixel, uint8_t* destination, uint32_t destinationStride,
                     uint32_t w, uint32_t h);

}  // namespace pelmor
