// Byte files as Linux has them: paths are byte strings, no length limit beyond the system's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelmor::platform {

// One open file descriptor, closed when the object goes away. Every operation reports failure as
// false (or -1); nothing throws.
class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Opens an existing file for reading.
  static File OpenRead(const char* path);
  // Creates the file for writing, replacing any existing one.
  static File Create(const char* path);

  bool IsOpen() const { return fd_ >= 0; }
  explicit operator bool() const { return IsOpen(); }

  // Size in bytes, or -1.
  int64_t Size() const;
  // Absolute position from the start; false when it fails or is negative.
  bool Seek(int64_t offset);
  // The current position, or -1.
  int64_t Tell() const;
  // Reads up to n bytes; returns the count read (short only at the end of the file), or -1.
  int64_t Read(void* dst, size_t n);
  // True only when exactly n bytes were read.
  bool ReadExact(void* dst, size_t n);
  // Reads into several places in turn, as one ReadExact of their total length would (the system
  // copies straight into each); true only when every byte was read.
  struct Piece {
    void* data;
    size_t size;
  };
  bool ReadExactScattered(const Piece* pieces, size_t count);
  // True only when all n bytes were written.
  bool Write(const void* src, size_t n);
  // Closes now; false when the close reported an error (for writers: data may be lost).
  bool Close();

  // Size and modification time of an open file, for cache validation.
  struct Stamp {
    int64_t size = -1;
    int64_t mtimeNs = 0;
    uint64_t inode = 0;
    bool operator==(const Stamp&) const = default;
  };
  Stamp GetStamp() const;

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Reads a whole file into a string; false when it cannot be opened or read.
bool ReadWholeFile(const char* path, std::string& out);

enum class FileReadStatus { kOk, kUnreadable, kTooLarge };
// Reads a whole file of at most maxSize bytes into a string; a larger file is refused before
// anything is allocated for it.
FileReadStatus ReadWholeFile(const char* path, std::string& out, uint64_t maxSize);

}  // namespace pelmor::platform
