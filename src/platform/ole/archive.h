// The archive a control's state is written to and read back from: little-endian integers and
// length-prefixed strings over a stream of bytes.
//
// Strings are written as their byte count followed by the bytes, no terminator. The count takes
// the first form that fits:
//   n < 0xFF               one byte n
//   n < 0xFFFE             FF, then n as uint16
//   n < 0xFFFFFFFF         FF FF FF, then n as uint32
//   otherwise              FF FF FF FF FF FF FF, then n as uint64
// Reading also accepts strings of 16-bit characters: FF FE FF, then the character count again in
// the forms above (starting from one byte; a second FF FE there is the count 65534), then 2n bytes
// of UTF-16LE, which become UTF-8. Text ends at the first NUL character; the bytes after it are
// read and dropped.
//
// Every count is checked against the bytes left in the stream before anything is allocated, so a
// stream claiming a huge string fails at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/ole/hresult.h"

namespace pelmor::ole {

enum class ArchiveError {
  kGeneric,    // a value the archive cannot represent (a 64-bit string count above 0x7FFFFFFF)
  kEndOfFile,  // the stream ended inside a value
  kBadFormat,  // the bytes are there but do not form the state (unknown layout, bad value)
};

// What a failed load reports to its caller. The codes are ours, in the interface facility:
//   0x80040201 generic archive error, 0x80040202 end of file, 0x80040203 bad format.
HRESULT ArchiveErrorCode(ArchiveError error);

// Thrown by the archive and by whatever reads state through it; the load that started the
// reading catches it and fails with ArchiveErrorCode(Cause()).
class ArchiveException : public std::exception {
 public:
  explicit ArchiveException(ArchiveError cause, std::string detail = {});
  ArchiveError Cause() const { return cause_; }
  // What was wrong, for people (may be empty).
  const std::string& Detail() const { return detail_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  ArchiveError cause_;
  std::string detail_;
  std::string what_;
};

class Archive {
 public:
  // Loads from `in`, from its position on; `in` moves past what is read.
  explicit Archive(CByteReader& in) : in_(&in) {}
  // Stores by appending to `out`.
  explicit Archive(std::vector<uint8_t>& out) : out_(&out) {}

  bool IsLoading() const { return in_ != nullptr; }
  bool IsStoring() const { return out_ != nullptr; }

  // Loading. Each throws ArchiveException(kEndOfFile) when the stream ends inside the value.
  uint8_t ReadU8();
  uint16_t ReadU16();
  uint32_t ReadU32();
  uint64_t ReadU64();
  std::string ReadString();
  // The next n bytes as a reader of their own (end of file when fewer remain).
  CByteReader ReadBlock(uint64_t n);
  // Bytes left in the stream.
  size_t Remaining() const;

  // Storing.
  void WriteU8(uint8_t v);
  void WriteU16(uint16_t v);
  void WriteU32(uint32_t v);
  void WriteU64(uint64_t v);
  void WriteBytes(const void* data, size_t n);
  void WriteString(std::string_view text);
  // The count prefix alone, in the first form that fits.
  void WriteStringLength(uint64_t n);

  Archive& operator>>(uint8_t& v) { return v = ReadU8(), *this; }
  Archive& operator>>(int16_t& v) { return v = static_cast<int16_t>(ReadU16()), *this; }
  Archive& operator>>(uint16_t& v) { return v = ReadU16(), *this; }
  Archive& operator>>(int32_t& v) { return v = static_cast<int32_t>(ReadU32()), *this; }
  Archive& operator>>(uint32_t& v) { return v = ReadU32(), *this; }
  Archive& operator>>(int64_t& v) { return v = static_cast<int64_t>(ReadU64()), *this; }
  Archive& operator>>(std::string& v) { return v = ReadString(), *this; }

  Archive& operator<<(uint8_t v) { return WriteU8(v), *this; }
  Archive& operator<<(int16_t v) { return WriteU16(static_cast<uint16_t>(v)), *this; }
  Archive& operator<<(uint16_t v) { return WriteU16(v), *this; }
  Archive& operator<<(int32_t v) { return WriteU32(static_cast<uint32_t>(v)), *this; }
  Archive& operator<<(uint32_t v) { return WriteU32(v), *this; }
  Archive& operator<<(int64_t v) { return WriteU64(static_cast<uint64_t>(v)), *this; }
  Archive& operator<<(std::string_view v) { return WriteString(v), *this; }

 private:
  CByteReader& In();
  std::vector<uint8_t>& Out();
  const uint8_t* Take(uint64_t n);
  // The character count of the next string; sets `wide` for the 16-bit form.
  uint64_t ReadStringLength(bool& wide);

  CByteReader* in_ = nullptr;
  std::vector<uint8_t>* out_ = nullptr;
};

}  // namespace pelmor::ole
