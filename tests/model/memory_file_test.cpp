#include "model/memory_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "test_support.h"

namespace pelmor::test {
namespace {

// Gives a file a fixed modification time.
void SetTime(const std::string& path, time_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(MemoryFile, SeekAcceptsTheEndAndReadCountsWholeItems) {
  TempDir dir;
  const std::string path = dir.File("f.bin");
  WriteFile(path, {1, 2, 3, 4, 5});
  MemoryBudget budget;
  MemoryFile f(budget);
  ASSERT_TRUE(f.OpenCached(path.c_str()));
  EXPECT_EQ(f.Seek(5, 0), 0);  // the end of the data
  EXPECT_EQ(f.Tell(), 5);
  EXPECT_EQ(f.Seek(6, 0), -1);
  EXPECT_EQ(f.Seek(-1, 0), -1);
  EXPECT_EQ(f.Tell(), 5);
  EXPECT_EQ(f.Seek(-1, 1), 0);
  EXPECT_EQ(f.Tell(), 4);
  EXPECT_EQ(f.Seek(-2, 2), 0);  // from the last byte
  EXPECT_EQ(f.Tell(), 2);
  uint8_t buf[8] = {};
  EXPECT_EQ(f.Read(buf, 2, 4), 1);  // three bytes left: one whole pair
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(buf[1], 4);
  EXPECT_EQ(f.Tell(), 4);
  EXPECT_EQ(f.Read(buf, 1, 4), 1);
  EXPECT_EQ(f.Read(buf, 1, 1), 0);
  EXPECT_EQ(f.Read(nullptr, 1, 1), 0);
  EXPECT_EQ(f.Read(buf, 0, 1), 0);
}

TEST(MemoryFile, KeepsAnUnchangedFileAndRereadsAChangedOne) {
  TempDir dir;
  const std::string path = dir.File("f.gif");
  WriteFile(path, {'a', 'b'});
  SetTime(path, 1000000);
  MemoryBudget budget;
  MemoryFile f(budget);
  ASSERT_TRUE(f.OpenCached(path.c_str()));
  uint8_t b = 0;
  ASSERT_EQ(f.Read(&b, 1, 1), 1);

  // Same size, same time, same file: the held copy is used (the disk is not read).
  WriteFile(path, {'x', 'y'});
  SetTime(path, 1000000);
  ASSERT_TRUE(f.OpenCached(path.c_str()));
  EXPECT_EQ(f.Tell(), 0);
  ASSERT_EQ(f.Read(&b, 1, 1), 1);
  EXPECT_EQ(b, 'a');

  // Another modification time: read again.
  SetTime(path, 2000000);
  ASSERT_TRUE(f.OpenCached(path.c_str()));
  ASSERT_EQ(f.Read(&b, 1, 1), 1);
  EXPECT_EQ(b, 'x');

  // A failed read forgets what was held, name included.
  EXPECT_FALSE(f.OpenCached(dir.File("missing.gif").c_str()));
  EXPECT_EQ(f.size, 0);
  EXPECT_TRUE(f.name.empty());
  EXPECT_EQ(f.Read(&b, 1, 1), 0);
  ASSERT_TRUE(f.OpenCached(path.c_str()));
  EXPECT_EQ(f.size, 2);

  // A file that vanished is not served from memory.
  std::filesystem::remove(path);
  EXPECT_FALSE(f.OpenCached(path.c_str()));
}

}  // namespace
}  // namespace pelmor::test
