#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <utility>

namespace pelmor::platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

File File::OpenRead(const char* path) {
  if (path == nullptr) return File();
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return File();
  // A directory opens fine on Linux but is no image file.
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return File();
  }
  return File(fd);
}

File File::Create(const char* path) {
  if (path == nullptr || *path == '\0') return File();
  int fd;
  do {
    fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? File() : File(fd);
}

int64_t File::Size() const {
  if (fd_ < 0) return -1;
  struct stat st;
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool File::Seek(int64_t offset) {
  if (fd_ < 0 || offset < 0) return false;
  return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int64_t File::Tell() const {
  if (fd_ < 0) return -1;
  return static_cast<int64_t>(::lseek(fd_, 0, SEEK_CUR));
}

int64_t File::Read(void* dst, size_t n) {
  if (fd_ < 0) return -1;
  auto* out = static_cast<char*>(dst);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(fd_, out + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(done);
}

bool File::ReadExact(void* dst, size_t n) { return Read(dst, n) == static_cast<int64_t>(n); }

bool File::ReadExactScattered(const Piece* pieces, size_t count) {
  if (fd_ < 0) return false;
  constexpr size_t kBatch = 1024;  // IOV_MAX on Linux
  iovec iov[kBatch];
  size_t next = 0;       // first piece not yet handed to the system
  size_t doneInNext = 0;  // bytes of that piece already read
  while (true) {
    while (next < count && pieces[next].size == doneInNext) {
      ++next;
      doneInNext = 0;
    }
    if (next == count) break;
    size_t n = 0;
    for (size_t i = next; i < count && n < kBatch; ++i, ++n) {
      const size_t skip = i == next ? doneInNext : 0;
      iov[n].iov_base = static_cast<char*>(pieces[i].data) + skip;
      iov[n].iov_len = pieces[i].size - skip;
    }
    ssize_t r = ::readv(fd_, iov, static_cast<int>(n));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;  // the file ended first
    // Move past what was read, which may end inside a piece.
    auto left = static_cast<size_t>(r);
    while (left > 0 && left >= pieces[next].size - doneInNext) {
      left -= pieces[next].size - doneInNext;
      ++next;
      doneInNext = 0;
    }
    doneInNext += left;
  }
  return true;
}

bool File::Write(const void* src, size_t n) {
  if (fd_ < 0) return false;
  const auto* in = static_cast<const char*>(src);
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd_, in + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(w);
  }
  return true;
}

bool File::Close() {
  if (fd_ < 0) return true;
  int r = ::close(std::exchange(fd_, -1));
  return r == 0;
}

File::Stamp File::GetStamp() const {
  Stamp s;
  struct stat st;
  if (fd_ >= 0 && ::fstat(fd_, &st) == 0) {
    s.size = static_cast<int64_t>(st.st_size);
    s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = static_cast<uint64_t>(st.st_ino);
  }
  return s;
}

bool ReadWholeFile(const char* path, std::string& out) {
  return ReadWholeFile(path, out, UINT64_MAX) == FileReadStatus::kOk;
}

FileReadStatus ReadWholeFile(const char* path, std::string& out, uint64_t maxSize) {
  File f = File::OpenRead(path);
  if (!f) return FileReadStatus::kUnreadable;
  const int64_t size = f.Size();
  if (size < 0) return FileReadStatus::kUnreadable;
  if (static_cast<uint64_t>(size) > maxSize) return FileReadStatus::kTooLarge;
  out.resize(static_cast<size_t>(size));
  return f.ReadExact(out.data(), out.size()) ? FileReadStatus::kOk : FileReadStatus::kUnreadable;
}

}  // namespace pelmor::platform
