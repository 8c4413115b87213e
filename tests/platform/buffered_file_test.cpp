#include "platform/buffered_file.h"

#include <gtest/gtest.h>

#include <numeric>

#include "test_support.h"

namespace pelmor::test {
namespace {

TEST(BufferedFile, ReadsSkipsAndWindowsAgreeWithTheFile) {
  TempDir dir;
  Bytes bytes(100);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0});
  WriteFile(dir.File("f"), bytes);
  platform::File file = platform::File::OpenRead(dir.File("f").c_str());
  ASSERT_TRUE(file.Seek(3));
  platform::BufferedFile in(file, 8);  // starts where the file stands
  EXPECT_EQ(in.Remaining(), 97u);

  uint8_t small[5];
  ASSERT_TRUE(in.Read(small, 5));  // through the buffer
  EXPECT_EQ(small[0], 3);
  EXPECT_EQ(small[4], 7);
  uint8_t large[20];
  ASSERT_TRUE(in.Read(large, 20));  // the buffered rest, then straight from the file
  EXPECT_EQ(large[0], 8);
  EXPECT_EQ(large[19], 27);
  EXPECT_EQ(in.Remaining(), 72u);

  ASSERT_TRUE(in.Skip(2));
  ASSERT_GE(in.Fill(4), 4u);
  EXPECT_EQ(in.Data()[0], 30);
  in.Consume(4);
  EXPECT_EQ(in.Remaining(), 66u);
  ASSERT_TRUE(in.Skip(60));  // beyond the buffer: a seek
  EXPECT_EQ(in.Remaining(), 6u);
  EXPECT_FALSE(in.Skip(7));
  EXPECT_EQ(in.Fill(8), 6u);  // the file ends first
  EXPECT_EQ(in.Data()[5], 99);
  uint8_t rest[7];
  EXPECT_FALSE(in.Read(rest, 7));
}

}  // namespace
}  // namespace pelmor::test
