// A whole file held in memory with a read position: the document keeps the last GIF file it read
// this way, so that stepping back through an animation does not read the disk again.
#pragma once

#include <cstdint>
#include <string>

#include "model/image_block.h"
#include "platform/file.h"

namespace pelmor {

class MemoryFile {
 public:
  // The contents are drawn from the budget, which must outlive the object.
  explicit MemoryFile(MemoryBudget& budget) : budget_(budget) {}
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Makes the file at path the one held, reading it unless it is already held and unchanged on
  // disk (same size, modification time and file). The position goes to 0. On failure nothing is
  // held any more.
  bool OpenCached(const char* path);
  // Lets go of the contents and the name.
  void Forget();

  int32_t Tell() const { return pos; }
  // Moves to offset from the start (origin 0), the current position (1) or the last byte (2).
  // Positions 0 ... size are accepted (size being the end of the data); others give -1 and leave
  // the position alone. 0 on success.
  int32_t Seek(int64_t offset, int origin);
  // Reads up to count items of itemSize bytes, as many whole items as remain; returns how many.
  int32_t Read(void* dst, int32_t itemSize, int32_t count);
  // Bytes from the position to the end.
  int32_t Remaining() const { return size - pos; }
  // The contents (null when nothing is held).
  const uint8_t* Data() const { return data.Data(); }

  ImageBlock data;
  int32_t pos = 0;
  int32_t size = 0;
  std::string name;  // the path whose contents are held; empty when none

 private:
  bool ReadWhole(const char* path);
  MemoryBudget& budget_;
  platform::File::Stamp stamp_;
};

}  // namespace pelmor
