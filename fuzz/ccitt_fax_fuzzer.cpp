// The fax decoder alone, compared with the step-by-step algorithm of the tests: both must agree
// on success and, when they succeed, on every output byte; and neither may read or write outside
// its input and output.
#include <cstdlib>
#include <vector>

#include "../tests/codecs/ccitt_fax_reference.h"
#include "codecs/ccitt_fax.h"

// First byte: white is 0, T.6, two-dimensional T.4, byte-aligned EOLs, tag bit counted, bit
// order; second and third: width - 1 (up to 4096); fourth: rows - 1; fifth: output size (exact
// rows, rows rounded to four bytes, or shorter); the rest is the coded strip.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > (1u << 16)) return 0;
  const uint8_t flags = data[0];
  const int width = 1 + ((data[1] << 8 | data[2]) & 0x0FFF);
  const int rows = 1 + data[3];
  const int rowBytes = (width + 7) / 8;
  int outSize = rowBytes * rows;
  switch (data[4] % 3) {
    case 1: outSize = (rowBytes + 3) / 4 * 4 * rows; break;
    case 2: outSize = rowBytes * rows - data[4] / 3 % (rowBytes * rows); break;
  }
  // Copies of exactly the input's and output's sizes, so that any access past them is caught.
  const std::vector<uint8_t> in(data + 5, data + size);
  std::vector<uint8_t> fastOut(static_cast<size_t>(outSize), 0xA5);
  std::vector<uint8_t> slowOut(static_cast<size_t>(outSize), 0xA5);
  const bool whiteIsZero = flags & 1, t6 = flags & 2, twoD = flags & 4, aligned = flags & 8;
  const bool tagBit = flags & 16, msbFirst = (flags & 32) == 0;

  pelmor::CTiffBitStream fastStream(in.data(), static_cast<int32_t>(in.size()), fastOut.data(),
                                    outSize, msbFirst);
  pelmor::CFaxDecoder fast(&fastStream, whiteIsZero, t6, twoD, aligned, tagBit);
  const bool fastOk = fast.Decode(width, rows);

  pelmor::CTiffBitStream slowStream(in.data(), static_cast<int32_t>(in.size()), slowOut.data(),
                                    outSize, msbFirst);
  pelmor::test::FaxReference slow(&slowStream, whiteIsZero, t6, twoD, aligned, tagBit);
  const bool slowOk = slow.Decode(width, rows);

  if (fastOk != slowOk) std::abort();
  if (fastOk && fastOut != slowOut) std::abort();
  return 0;
}
