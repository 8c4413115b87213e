// The second half of reading a TIFF page: the bitmap and its colour table, the strip table, and
// every strip read, decompressed (none, LZW, PackBits, CCITT fax), un-predicted and converted
// into the bottom-up DIB rows.
#pragma once

#include <cstdint>

#include "codecs/tiff_directory.h"

namespace pelmor {

class CImageDoc;

struct StripReadResult {
  // False when the bitmap cannot be built (allocation, colour map) or the predictor does not fit
  // the depth.
  bool ok = false;
  // DIB rows filled; the page is complete only when this is its height.
  uint32_t rowsDone = 0;
};

// Builds the document's DIB for a page whose directory passed its checks and decodes the strips
// into it.
StripReadResult ReadStrips(CTiffFile& file, const TiffDirectory& dir, CImageDoc& doc);

// Bytes of one packed row of the given depth (1, 2, 4, 8, 24, 32, 48 bits) inside a strip.
uint64_t PackedRowBytes(uint64_t width, uint32_t bitsPerSample);

}  // namespace pelmor
