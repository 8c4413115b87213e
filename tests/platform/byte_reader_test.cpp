#include "platform/byte_reader.h"

#include <gtest/gtest.h>

namespace pelmor {
namespace {

TEST(ByteReader, ReadsBothByteOrders) {
  const uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C};
  CByteReader r(data, sizeof data);
  uint16_t a = 0, b = 0;
  uint32_t c = 0, d = 0;
  ASSERT_TRUE(r.ReadU16LE(a));
  ASSERT_TRUE(r.ReadU16BE(b));
  ASSERT_TRUE(r.ReadU32LE(c));
  ASSERT_TRUE(r.ReadU32BE(d));
  EXPECT_EQ(a, 0x0201);
  EXPECT_EQ(b, 0x0304);
  EXPECT_EQ(c, 0x08070605u);
  EXPECT_EQ(d, 0x090A0B0Cu);
  EXPECT_TRUE(r.AtEnd());
}

TEST(ByteReader, AReadPastTheEndFailsWithoutMovingOrWriting) {
  const uint8_t data[] = {0xAA, 0xBB, 0xCC};
  CByteReader r(data, sizeof data);
  ASSERT_TRUE(r.Skip(2));
  uint32_t v = 0x12345678;
  EXPECT_FALSE(r.ReadU32LE(v));
  EXPECT_EQ(v, 0x12345678u);
  uint16_t w = 0;
  EXPECT_FALSE(r.ReadU16LE(w));
  EXPECT_EQ(r.Pos(), 2u);
  uint8_t buf[2] = {0, 0};
  EXPECT_FALSE(r.ReadBytes(buf, 2));
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(r.Take(2), nullptr);
  EXPECT_FALSE(r.Skip(2));
  EXPECT_FALSE(r.Seek(4));
  EXPECT_TRUE(r.Seek(3));  // the end itself is a position
  EXPECT_NE(r.Take(0), nullptr);
  EXPECT_FALSE(r.ReadU8(buf[0]));
}

TEST(ByteReader, HugeLengthsDoNotWrapThePosition) {
  const uint8_t data[] = {1, 2, 3, 4};
  CByteReader r(data, sizeof data);
  ASSERT_TRUE(r.Skip(1));
  EXPECT_EQ(r.Take(SIZE_MAX), nullptr);
  EXPECT_FALSE(r.Skip(SIZE_MAX));
  EXPECT_FALSE(r.SubReader(SIZE_MAX - 1).has_value());
  EXPECT_EQ(r.Pos(), 1u);
}

TEST(ByteReader, SubReaderIsConfinedToItsSlice) {
  const uint8_t data[] = {1, 2, 3, 4, 5};
  CByteReader r(data, sizeof data);
  auto sub = r.SubReader(2);
  ASSERT_TRUE(sub.has_value());
  EXPECT_EQ(r.Pos(), 2u);
  uint16_t v = 0;
  ASSERT_TRUE(sub->ReadU16LE(v));
  EXPECT_EQ(v, 0x0201);
  uint8_t b = 0;
  EXPECT_FALSE(sub->ReadU8(b));
  ASSERT_TRUE(r.ReadU8(b));
  EXPECT_EQ(b, 3);
  EXPECT_FALSE(r.SubReader(3).has_value());
}

TEST(ByteReader, NullDataIsAnEmptyReader) {
  CByteReader r(nullptr, 100);
  EXPECT_EQ(r.Size(), 0u);
  uint8_t b;
  EXPECT_FALSE(r.ReadU8(b));
}

}  // namespace
}  // namespace pelmor
