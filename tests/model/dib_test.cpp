#include "model/dib.h"

#include <gtest/gtest.h>

namespace pelmor {
namespace {

TEST(Dib, RowBytesRoundUpToFourBytes) {
  EXPECT_EQ(DibRowBytes(1, 1), 4u);
  EXPECT_EQ(DibRowBytes(32, 1), 4u);
  EXPECT_EQ(DibRowBytes(33, 1), 8u);
  EXPECT_EQ(DibRowBytes(3, 24), 12u);
  EXPECT_EQ(DibRowBytes(5, 24), 16u);
  EXPECT_EQ(DibRowBytes(7, 4), 4u);
  EXPECT_EQ(DibRowBytes(9, 4), 8u);
  EXPECT_EQ(DibRowBytes(3, 16), 8u);
  for (uint32_t w : {1u, 2u, 3u, 1000u, 4000u}) EXPECT_EQ(DibRowBytes(w, 32), 4 * w);
}

TEST(Dib, CheckedRowBytesRefusesWidthsThatWrap) {
  EXPECT_EQ(DibRowBytesChecked(4000, 24), std::optional<uint32_t>(12000));
  EXPECT_EQ(DibRowBytesChecked(0x7FFFFFFF, 24), std::nullopt);
  EXPECT_EQ(DibRowBytesChecked(0x7FFFFFFF, 1), std::optional<uint32_t>(0x10000000));
  EXPECT_EQ(DibRowBytesChecked(uint64_t{1} << 32, 1), std::nullopt);
  // The unchecked rule wraps where the checked one refuses.
  EXPECT_EQ(DibRowBytes(0x40000000, 32), 0u);
}

TEST(Dib, ColorCountFollowsBitCountUnlessClrUsedIsSet) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  const std::pair<uint16_t, int32_t> rules[] = {{1, 2},  {4, 16}, {8, 256}, {16, 0},
                                                {24, 0}, {32, 0}, {2, -1},  {0, -1}, {48, -1}};
  for (auto [bits, count] : rules) {
    h.biBitCount = bits;
    EXPECT_EQ(ColorCountOf(&h), count) << bits << " bits";
  }
  h.biBitCount = 24;
  h.biClrUsed = 7;
  EXPECT_EQ(ColorCountOf(&h), 7);
  h.biBitCount = 2;
  EXPECT_EQ(ColorCountOf(&h), 7);
  EXPECT_EQ(ColorCountOf(nullptr), 0);
}

TEST(Dib, ColourTableSitsAfterHeaderAndMasks) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  EXPECT_EQ(DibColorTableOffset(&h), 40u);
  h.biCompression = BI_BITFIELDS;
  EXPECT_EQ(DibColorTableOffset(&h), 52u);
  h.biCompression = BI_ALPHABITFIELDS;
  EXPECT_EQ(DibColorTableOffset(&h), 56u);
  h.biSize = 124;  // later headers hold their masks themselves
  EXPECT_EQ(DibColorTableOffset(&h), 124u);
}

}  // namespace
}  // namespace pelmor
