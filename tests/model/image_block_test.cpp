#include "model/image_block.h"
#include "platform/memory_limit.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace pelmor {
namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_.empty()) {
      ::unsetenv(name_);
    } else {
      ::setenv(name_, old_.c_str(), 1);
    }
  }

 private:
  const char* name_;
  std::string old_;
};

TEST(ImageBlock, SmallAndLargeBlocksAreZeroFilledAndMovable) {
  MemoryBudget budget;
  for (uint64_t size : {uint64_t{1}, uint64_t{4096}, uint64_t{5} << 20}) {
    ImageBlock b = ImageBlock::Allocate(budget, size);
    ASSERT_TRUE(b);
    ASSERT_EQ(b.Size(), size);
    uint64_t sum = 0;
    for (size_t i = 0; i < b.Size(); i += 997) sum += b.Data()[i];
    sum += b.Data()[b.Size() - 1];
    EXPECT_EQ(sum, 0u);
    b.Data()[b.Size() - 1] = 7;
    ImageBlock moved = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(moved.Data()[moved.Size() - 1], 7);
    // The budget counts the block (whole huge pages of it when mapped) until it is let go.
    EXPECT_GE(budget.Used(), size);
    EXPECT_LT(budget.Used(), size + (uint64_t{2} << 20));
  }
  EXPECT_EQ(budget.Used(), 0u);
}

TEST(ImageBlock, BlocksShareOneBudget) {
  MemoryBudget budget(uint64_t{3} << 20);
  ImageBlock a = ImageBlock::Allocate(budget, uint64_t{2} << 20);
  ASSERT_TRUE(a);
  EXPECT_FALSE(ImageBlock::Allocate(budget, uint64_t{2} << 20));
  // A whole huge page for this one would pass the limit: it keeps only its own pages.
  ImageBlock b = ImageBlock::Allocate(budget, uint64_t{1} << 20);
  EXPECT_TRUE(b);
  EXPECT_EQ(budget.Used(), uint64_t{3} << 20);
  a.Reset();
  EXPECT_TRUE(ImageBlock::Allocate(budget, uint64_t{2} << 20));
  EXPECT_EQ(budget.Peak(), uint64_t{3} << 20);
}

TEST(ImageBlock, TheLimitRefusesOversizedRequestsAtOnce) {
  MemoryBudget budget;
  {
    ScopedEnv env("PELMOR_MAX_ALLOC_MB", "0");  // not a limit: the default applies
    EXPECT_FALSE(ImageBlock::Allocate(budget, 0));
    EXPECT_EQ(ImageAllocationLimit(), uint64_t{1} << 30);
    EXPECT_FALSE(ImageBlock::Allocate(budget, (uint64_t{1} << 30) + 1));
    EXPECT_FALSE(ImageBlock::Allocate(budget, UINT64_MAX));
  }
  {
    ScopedEnv env("PELMOR_MAX_ALLOC_MB", "2");
    EXPECT_EQ(ImageAllocationLimit(), uint64_t{2} << 20);
    EXPECT_TRUE(ImageBlock::Allocate(budget, uint64_t{2} << 20));
    EXPECT_FALSE(ImageBlock::Allocate(budget, (uint64_t{2} << 20) + 1));
  }
  {
    ScopedEnv env("PELMOR_MAX_ALLOC_MB", "lots");
    EXPECT_EQ(ImageAllocationLimit(), uint64_t{1} << 30);
  }
}

}  // namespace
}  // namespace pelmor
