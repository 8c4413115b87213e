// Inside the TIFF reader: directory entries, the values of one page, and the file read at
// absolute offsets. Shared by the directory reader (tiff_codec.cpp) and the strip decoder
// (tiff_strips.cpp); nothing outside the TIFF reader and its tests needs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/file.h"

namespace pelmor {

// Field types the reader interprets; others are never looked at.
enum TiffType : uint16_t {
  kTiffByte = 1,
  kTiffAscii = 2,
  kTiffShort = 3,
  kTiffLong = 4,
};

// One directory entry. After NormalizeEntry the numbers held in `value` (one LONG, one or two
// SHORTs, or the file offset of values that do not fit) are stored little-endian, whatever the
// file's byte order; BYTE and ASCII values stay as they are.
struct TiffEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint8_t value[4] = {};

  // The values are held in `value` itself (count x size <= 4).
  bool FitsInEntry() const;
  // Size in bytes of one value of the entry's type (1 for BYTE and ASCII, 2, 4; 0 for others).
  uint32_t ValueSize() const;
  // The file offset of values that do not fit.
  uint32_t Offset() const;
  // The single value: a SHORT as its 16 bits, a LONG as its 32, a BYTE as its 8; any other type
  // as the whole field.
  uint32_t Value() const;
};

// The values of one page that decoding uses.
struct TiffDirectory {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerSample = 1;  // 1, 2, 4, 8, 24, 32 or 48 once resolved
  uint32_t compression = 1;
  uint32_t photometric = 0;
  bool photometricPresent = false;
  uint32_t fillOrder = 1;
  uint32_t rowsPerStrip = 0;
  uint32_t t4Options = 0;
  uint32_t predictor = 1;
  uint32_t inkSet = 1;
  uint32_t orientation = 1;
  bool faxTagsSeen = false;
  bool needsColorTable = false;
  std::optional<TiffEntry> bitsPerSampleEntry;
  std::optional<TiffEntry> photometricEntry;
  std::optional<TiffEntry> stripOffsets;
  std::optional<TiffEntry> stripByteCounts;
  std::optional<TiffEntry> colorMap;
  std::optional<TiffEntry> documentName;
  std::optional<TiffEntry> imageDescription;
  std::optional<TiffEntry> software;
  std::optional<TiffEntry> copyright;
};

// The open file of one load, read at absolute offsets with numbers in the file's byte order.
// Small reads (headers, counts, offsets) are served from a window of the file kept in memory, so
// that walking a long directory chain costs few system calls.
class CTiffFile {
 public:
  bool Open(const char* path);
  // Size in bytes, -1 when it cannot be had.
  int64_t Size() const { return size_; }
  // What tells this file's contents apart from others' (size, modification time, identity).
  platform::File::Stamp Stamp() const { return file_.GetStamp(); }
  // Reads exactly n bytes at offset; false when any of them lies outside the file.
  bool ReadAt(uint64_t offset, void* dst, size_t n);
  bool ReadU16(uint64_t offset, uint16_t& v);
  bool ReadU32(uint64_t offset, uint32_t& v);
  uint16_t U16(const uint8_t* p) const;
  uint32_t U32(const uint8_t* p) const;

  bool littleEndian = true;

 private:
  static constexpr size_t kWindow = 16 * 1024;
  platform::File file_;
  int64_t size_ = -1;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  size_t windowSize_ = 0;
};

}  // namespace pelmor
