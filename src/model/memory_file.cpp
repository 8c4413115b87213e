#include "model/memory_file.h"

#include <cstring>
#include <limits>

namespace pelmor {

bool MemoryFile::OpenCached(const char* path) {
  pos = 0;
  if (path == nullptr) {
    Forget();
    return false;
  }
  if (data && name == path) {
    // Paths are compared exactly, as the file system does. The same name may meanwhile stand for
    // other contents: the file's stamp tells.
    platform::File f = platform::File::OpenRead(path);
    if (f && f.GetStamp() == stamp_) return true;
  }
  Forget();
  if (!ReadWhole(path)) {
    Forget();
    return false;
  }
  name = path;
  return true;
}

void MemoryFile::Forget() {
  data.Reset();
  size = 0;
  pos = 0;
  name.clear();
  stamp_ = {};
}

bool MemoryFile::ReadWhole(const char* path) {
  platform::File f = platform::File::OpenRead(path);
  if (!f) return false;
  const platform::File::Stamp stamp = f.GetStamp();
  const int64_t length = stamp.size;
  if (length <= 0 || length > std::numeric_limits<int32_t>::max()) return false;
  // The cache counts against the same budget as the image.
  data = ImageBlock::Allocate(budget_, static_cast<uint64_t>(length));
  if (!data || !f.ReadExact(data.Data(), static_cast<size_t>(length))) return false;
  size = static_cast<int32_t>(length);
  stamp_ = stamp;
  return true;
}

int32_t MemoryFile::Seek(int64_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = int64_t{pos} + offset; break;
    case 2: target = int64_t{size} - 1 + offset; break;
    default: return -1;
  }
  if (target < 0 || target > size) return -1;
  pos = static_cast<int32_t>(target);
  return 0;
}

int32_t MemoryFile::Read(void* dst, int32_t itemSize, int32_t count) {
  if (itemSize <= 0 || dst == nullptr || count <= 0 || !data) return 0;
  const int64_t left = int64_t{size} - pos;
  if (int64_t{itemSize} * count > left) count = static_cast<int32_t>(left / itemSize);
  if (count > 0) {
    const size_t n = size_t(itemSize) * size_t(count);
    std::memcpy(dst, data.Data() + pos, n);
    pos += static_cast<int32_t>(n);
  }
  return count;
}

}  // namespace pelmor
