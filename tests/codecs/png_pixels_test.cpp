#include "codecs/png_pixels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace pelmor::png_pixels {
namespace {

// The predictor written as the PNG standard states it.
uint8_t StandardPaeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  if (pb <= pc) return uint8_t(b);
  return uint8_t(c);
}

TEST(PngPixels, PaethBreaksTiesTowardsLeftThenUp) {
  EXPECT_EQ(Paeth(0, 3, 2), 0);  // pa = pc = 1 < pb: left
  EXPECT_EQ(Paeth(1, 4, 2), 4);  // pb = pc = 1 < pa: up
  EXPECT_EQ(Paeth(3, 0, 2), 0);  // pb = pc = 1 < pa: up again
  EXPECT_EQ(Paeth(10, 200, 250), 10);
  for (int a = 0; a < 256; a += 3) {
    for (int b = 0; b < 256; b += 5) {
      for (int c = 0; c < 256; c += 7) ASSERT_EQ(Paeth(uint8_t(a), uint8_t(b), uint8_t(c)), StandardPaeth(a, b, c));
    }
  }
}

// Every filter type and filter unit against the standard's definitions, on rows of random bytes
// drawn from small ranges (many predictor ties) and from the full range, into a row of its own and
// over the previous row in place.
TEST(PngPixels, UnfilterUndoesEveryFilterForEveryUnit) {
  std::mt19937 rng(5);
  for (uint32_t bpp : {1u, 2u, 3u, 4u, 6u, 8u}) {
    for (int round = 0; round < 400; ++round) {
      const size_t n = bpp * (1 + rng() % 40);
      const uint32_t range = round % 2 ? 256 : 4;
      std::vector<uint8_t> prev(n), raw(n);
      for (auto& v : prev) v = uint8_t(rng() % range);
      for (auto& v : raw) v = uint8_t(rng() % range);
      const bool firstRow = round % 5 == 0;
      if (firstRow) std::fill(prev.begin(), prev.end(), 0);
      for (uint8_t type = 0; type <= 4; ++type) {
        std::vector<uint8_t> row(n);
        for (size_t i = 0; i < n; ++i) {
          const int a = i >= bpp ? raw[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
          const int predicted = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : type == 4 ? StandardPaeth(a, b, c) : 0;
          row[i] = uint8_t(raw[i] - predicted);
        }
        std::vector<uint8_t> out(n, 0xEE);
        ASSERT_TRUE(Unfilter(type, row.data(), out.data(), firstRow ? nullptr : prev.data(), n, bpp));
        ASSERT_EQ(out, raw) << "unit " << bpp << " type " << int(type) << " round " << round;
        std::vector<uint8_t> replaced = prev;
        ASSERT_TRUE(Unfilter(type, row.data(), replaced.data(), firstRow ? nullptr : replaced.data(), n, bpp));
        ASSERT_EQ(replaced, raw) << "in place, unit " << bpp << " type " << int(type) << " round " << round;
      }
    }
  }
  uint8_t row[4] = {}, out[4] = {};
  EXPECT_FALSE(Unfilter(5, row, out, nullptr, 4, 1));
  EXPECT_FALSE(Unfilter(255, row, out, nullptr, 4, 1));
}

}  // namespace
}  // namespace pelmor::png_pixels
