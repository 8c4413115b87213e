// Sequential reading of an open file through a buffer of its own: small reads cost no system call,
// large ones go straight to their destination, and the next bytes can be looked at in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/file.h"

namespace pelmor::platform {

class BufferedFile {
 public:
  // Reads from the file's current position on; the file must outlive the reader.
  BufferedFile(File& file, size_t capacity);

  // Exactly n bytes, or false.
  bool Read(void* dst, size_t n);
  // Moves forward by n bytes; false when that passes the end of the file.
  bool Skip(uint64_t n);
  // Bytes between the read position and the end of the file.
  uint64_t Remaining() const;

  // Makes at least `want` bytes (at most the capacity) available at Data() unless the file ends
  // first; returns how many are.
  size_t Fill(size_t want);
  const uint8_t* Data() const { return buffer_.get() + pos_; }
  void Consume(size_t n) { pos_ += n; }

 private:
  File& file_;
  size_t capacity_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  uint64_t fileSize_ = 0;
  uint64_t filePos_ = 0;  // file offset of the byte after the buffered ones
  bool atEnd_ = false;
};

}  // namespace pelmor::platform
