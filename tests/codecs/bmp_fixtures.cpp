#include "codecs/bmp_fixtures.h"

#include <cstdlib>

namespace pelmor::test {

Bytes MakeBmp(const BmpRecipe& s) {
  const uint32_t absHeight = static_cast<uint32_t>(std::abs(s.height));
  Bytes pixels = s.pixels;
  if (pixels.empty()) {
    pixels.assign(size_t{DibRowBytes(static_cast<uint32_t>(s.width), s.bitCount)} * absHeight, 0);
  }
  const size_t pixelStart =
      14 + s.headerSize + s.masks.size() + s.table.size() + s.gapBeforePixels;
  ByteWriter w;
  w.U16(0x4D42).U32(static_cast<uint32_t>(pixelStart + pixels.size())).U16(0).U16(0);
  w.U32(s.offBits >= 0 ? static_cast<uint32_t>(s.offBits) : static_cast<uint32_t>(pixelStart));
  if (s.headerSize == 12) {
    w.U32(12).U16(static_cast<uint32_t>(s.width)).U16(static_cast<uint32_t>(s.height));
    w.U16(1).U16(s.bitCount);
  } else {
    w.U32(s.headerSize).U32(static_cast<uint32_t>(s.width)).U32(static_cast<uint32_t>(s.height));
    w.U16(1).U16(s.bitCount).U32(s.compression).U32(0).U32(2835).U32(2835);
    w.U32(s.clrUsed).U32(0);
    w.Fill(s.headerSize - 40, 0);
  }
  w.Append(s.masks).Append(s.table).Fill(s.gapBeforePixels, 0xEE).Append(pixels);
  return w.Take();
}

}  // namespace pelmor::test
