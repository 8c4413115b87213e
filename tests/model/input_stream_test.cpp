#include "model/input_stream.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelmor {
namespace {

std::vector<int> Bits(CInputStream& s, int n) {
  std::vector<int> out;
  for (int i = 0; i < n; ++i) out.push_back(s.ReadBit());
  return out;
}

TEST(InputStream, LsbFirstReadsBitZeroFirstAndEndsWithMinusOne) {
  const uint8_t data[] = {0x01};
  CInputStream s(data, 1, nullptr, 0, false);
  EXPECT_EQ(Bits(s, 9), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, -1}));
  EXPECT_EQ(s.ReadBit(), -1);
}

TEST(InputStream, MsbFirstReadsBitSevenFirst) {
  const uint8_t data[] = {0x80, 0x01};
  CInputStream s(data, 2, nullptr, 0, true);
  EXPECT_EQ(Bits(s, 8), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0}));
  // After eight bits the position still names the first byte.
  EXPECT_EQ(s.pos, 0);
  EXPECT_EQ(s.bitPos, 8);
  EXPECT_EQ(s.PeekByte(), -1);  // the byte after the next one to be read does not exist
  EXPECT_EQ(Bits(s, 8), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(InputStream, ReadByteIgnoresTheBitPosition) {
  const uint8_t data[] = {0xF0, 0x0F, 0x55};
  CInputStream s(data, 3, nullptr, 0, false);
  EXPECT_EQ(Bits(s, 3), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(s.ReadByte(), 0xF0);  // the byte the bits came from
  EXPECT_EQ(s.pos, 1);
  EXPECT_EQ(s.bitPos, 3);
  // The next bit is bit 3 (in LSB-first order) of 0x0F.
  EXPECT_EQ(s.ReadBit(), 1);
  EXPECT_EQ(s.ReadBit(), 0);
  EXPECT_EQ(s.PeekByte(), 0x55);
  EXPECT_TRUE(s.AlignInput());
  EXPECT_EQ(s.pos, 2);
  EXPECT_EQ(s.ReadByte(), 0x55);
  EXPECT_EQ(s.ReadByte(), -1);
}

TEST(TiffBitStream, WritesRunsWithoutPriorClearing) {
  uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  CTiffBitStream s(nullptr, 0, out, 4, true);
  EXPECT_TRUE(s.WriteBits(3, 1));
  EXPECT_TRUE(s.WriteBits(7, 0));
  EXPECT_TRUE(s.WriteBits(6, 1));
  EXPECT_EQ(out[0], 0xE0);
  EXPECT_EQ(out[1], 0x3F);
  EXPECT_EQ(s.outPos, 2);
  EXPECT_EQ(s.outBitPos, 0);
  EXPECT_EQ(out[2], 0xAA);  // not reached yet
}

TEST(TiffBitStream, NineOnesSpanTwoBytes) {
  uint8_t out[2] = {0, 0x55};
  CTiffBitStream s(nullptr, 0, out, 2, true);
  EXPECT_TRUE(s.WriteBits(9, 1));
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0x80);
  EXPECT_EQ(s.outPos, 1);
  EXPECT_EQ(s.outBitPos, 1);
  EXPECT_TRUE(s.AlignOutput());
  EXPECT_EQ(s.outPos, 2);
}

TEST(TiffBitStream, AFullBufferFailsAfterWritingWhatFits) {
  uint8_t out[2] = {0, 0};
  CTiffBitStream s(nullptr, 0, out, 2, true);
  EXPECT_TRUE(s.WriteBits(0, 1));
  EXPECT_FALSE(s.WriteBits(20, 1));
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0xFF);
  EXPECT_FALSE(s.WriteBits(1, 0));
  // A zero run inside a begun byte only advances.
  uint8_t two[2] = {0, 0};
  CTiffBitStream z(nullptr, 0, two, 2, true);
  EXPECT_TRUE(z.WriteBits(1, 1));
  EXPECT_TRUE(z.WriteBits(2, 0));
  EXPECT_TRUE(z.WriteBits(5, 1));
  EXPECT_EQ(two[0], 0x9F);
  EXPECT_EQ(z.outPos, 1);
}

}  // namespace
}  // namespace pelmor
