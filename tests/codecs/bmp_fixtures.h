// Bitmap files built byte by byte for the tests.
#pragma once

#include "test_support.h"

namespace pelmor::test {

struct BmpRecipe {
  int32_t width = 2;
  int32_t height = 2;  // negative: top-down
  uint16_t bitCount = 24;
  uint32_t headerSize = 40;  // 40 or longer (the tail is zero-filled), or 12 for a core header
  uint32_t compression = BI_RGB;
  uint32_t clrUsed = 0;
  Bytes masks;          // written right after a 40-byte header
  Bytes table;          // 4-byte entries (3-byte for a core header)
  Bytes pixels;         // as stored; zero-filled to stride x |height| when empty
  int64_t offBits = -1;  // -1: where the pixels really start
  size_t gapBeforePixels = 0;
};

Bytes MakeBmp(const BmpRecipe& recipe);

}  // namespace pelmor::test
