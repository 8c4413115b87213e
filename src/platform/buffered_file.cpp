#include "platform/buffered_file.h"

#include <algorithm>
#include <cstring>

namespace pelmor::platform {

BufferedFile::BufferedFile(File& file, size_t capacity)
    : file_(file), capacity_(std::max<size_t>(capacity, 1)),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(capacity_)) {
  const int64_t size = file.Size();
  fileSize_ = size > 0 ? uint64_t(size) : 0;
  const int64_t at = file.Tell();
  filePos_ = at > 0 ? uint64_t(at) : 0;
}

size_t BufferedFile::Fill(size_t want) {
  if (end_ - pos_ >= want || atEnd_) return end_ - pos_;
  std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
  end_ -= pos_;
  pos_ = 0;
  const int64_t got = file_.Read(buffer_.get() + end_, capacity_ - end_);
  if (got < static_cast<int64_t>(capacity_ - end_)) atEnd_ = true;  // the end, or an error
  if (got > 0) {
    end_ += static_cast<size_t>(got);
    filePos_ += static_cast<uint64_t>(got);
  }
  return end_ - pos_;
}

bool BufferedFile::Read(void* dst, size_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  const size_t fromBuffer = std::min(n, end_ - pos_);
  if (fromBuffer != 0) std::memcpy(out, buffer_.get() + pos_, fromBuffer);
  pos_ += fromBuffer;
  out += fromBuffer;
  n -= fromBuffer;
  if (n == 0) return true;
  if (n >= capacity_) {
    if (!file_.ReadExact(out, n)) return false;
    filePos_ += n;
    return true;
  }
  if (Fill(n) < n) return false;
  std::memcpy(out, buffer_.get() + pos_, n);
  pos_ += n;
  return true;
}

bool BufferedFile::Skip(uint64_t n) {
  const size_t inBuffer = end_ - pos_;
  if (n <= inBuffer) {
    pos_ += size_t(n);
    return true;
  }
  const uint64_t target = filePos_ + (n - inBuffer);
  if (target > fileSize_ || !file_.Seek(int64_t(target))) return false;
  filePos_ = target;
  pos_ = end_ = 0;
  atEnd_ = false;
  return true;
}

uint64_t BufferedFile::Remaining() const {
  const uint64_t at = filePos_ - (end_ - pos_);
  return fileSize_ > at ? fileSize_ - at : 0;
}

}  // namespace pelmor::platform
