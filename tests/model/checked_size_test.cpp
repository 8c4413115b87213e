#include "platform/checked_size.h"

#include <gtest/gtest.h>

namespace pelmor {
namespace {

TEST(CheckedSize, ProductsAndSumsThatFitAreExact) {
  CheckedSize s = CheckedSize(uint32_t{12000}) * 3000 + 40;
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.Value(), 36000040u);
  EXPECT_TRUE(s.FitsIn<uint32_t>());
  EXPECT_TRUE(s.AtMost(36000040));
  EXPECT_FALSE(s.AtMost(36000039));
}

TEST(CheckedSize, A32BitWrapIsSeenAsTooLarge) {
  // 65535 x 65535 x 4 bytes wraps to a small number in 32 bits.
  CheckedSize canvas = CheckedSize(65535) * 65535 * 4;
  ASSERT_TRUE(canvas.Ok());
  EXPECT_FALSE(canvas.FitsIn<uint32_t>());
  EXPECT_FALSE(canvas.FitsIn<int32_t>());
}

TEST(CheckedSize, OverflowAndNegativeInputsPoisonEveryLaterStep) {
  CheckedSize big = CheckedSize(UINT64_MAX) * 2;
  EXPECT_FALSE(big.Ok());
  EXPECT_FALSE((big + 1).Ok());
  EXPECT_FALSE((CheckedSize(0) * big).Ok());
  EXPECT_FALSE(big.AtMost(UINT64_MAX));
  EXPECT_FALSE((CheckedSize(UINT64_MAX) + 1).Ok());
  EXPECT_FALSE((CheckedSize(-1) + 5).Ok());
  EXPECT_FALSE(CheckedSize(int32_t{-40}).FitsIn<uint64_t>());
}

TEST(CheckedSize, RawHelpersReportOverflow) {
  uint32_t out = 0;
  EXPECT_TRUE(CheckedMul<uint32_t>(65536, 65535, out));
  EXPECT_EQ(out, 65536u * 65535u);
  EXPECT_FALSE(CheckedMul<uint32_t>(65536, 65536, out));
  EXPECT_FALSE(CheckedAdd<uint32_t>(UINT32_MAX, 1, out));
  int32_t s = 0;
  EXPECT_FALSE(CheckedAdd<int32_t>(INT32_MAX, 1, s));
}

}  // namespace
}  // namespace pelmor
