#include "codecs/packbits.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelmor {
namespace {

using Bytes = std::vector<uint8_t>;

// Unpacks into a buffer of the given size pre-filled with 0xEE, so untouched bytes show.
Bytes Unpack(const Bytes& in, size_t outSize, size_t* written = nullptr) {
  Bytes out(outSize, 0xEE);
  const size_t n = UnpackBits(in.data(), in.size(), out.data(), out.size());
  if (written != nullptr) *written = n;
  return out;
}

TEST(PackBits, RunsLiteralsAndTheNoOp) {
  // -3 then 7: four 7s. -128: nothing. 2: a literal of three bytes. -127: 128 copies.
  size_t n = 0;
  EXPECT_EQ(Unpack({0xFD, 7, 0x80, 2, 1, 2, 3}, 7, &n), (Bytes{7, 7, 7, 7, 1, 2, 3}));
  EXPECT_EQ(n, 7u);
  EXPECT_EQ(Unpack({0x81, 5}, 128), Bytes(128, 5));
  EXPECT_EQ(Unpack({0x7F}, 0), Bytes{});
}

TEST(PackBits, StopsAtTheFirstRunThatDoesNotFit) {
  size_t n = 0;
  // The literal of three would pass the end of a 4-byte output: nothing of it is written.
  EXPECT_EQ(Unpack({0xFF, 1, 2, 7, 8, 9}, 4, &n), (Bytes{1, 1, 0xEE, 0xEE}));
  EXPECT_EQ(n, 2u);
  // A repeat that would overflow.
  EXPECT_EQ(Unpack({0x00, 4, 0xFC, 6}, 4, &n), (Bytes{4, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(n, 1u);
  // Input that runs out in the middle of a literal, or before the byte a repeat needs.
  EXPECT_EQ(Unpack({0x00, 4, 0x03, 1, 2}, 8, &n), (Bytes{4, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(Unpack({0xFE}, 3, &n), (Bytes{0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(n, 0u);
  // Output full: the rest of the input is not looked at.
  EXPECT_EQ(Unpack({0x01, 1, 2, 0xFE}, 2, &n), (Bytes{1, 2}));
  EXPECT_EQ(n, 2u);
}

}  // namespace
}  // namespace pelmor
