// TIFF files built byte by byte for the reader's tests: pages of entries in any order, strips, and
// the directory chain, in either byte order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace pelmor::test {

// One directory entry. Values are written in the file's byte order, in the entry when they fit
// and after the strips otherwise; `raw` replaces the four value bytes verbatim.
struct TiffField {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;  // 0: the number of values (or text bytes)
  std::vector<uint32_t> values;
  Bytes bytes;  // BYTE and ASCII values
  std::optional<Bytes> raw;
};

TiffField Short(uint16_t tag, std::vector<uint32_t> values);
TiffField Long(uint16_t tag, std::vector<uint32_t> values);
// ASCII with the terminating 0 added.
TiffField Ascii(uint16_t tag, const std::string& text);
// ASCII bytes exactly as given.
TiffField AsciiBytes(uint16_t tag, const Bytes& bytes);

struct TiffPage {
  std::vector<TiffField> fields;  // written in this order
  std::vector<Bytes> strips;      // StripOffsets and StripByteCounts are added for them
  uint16_t stripOffsetType = 4;  // LONG
  uint16_t byteCountType = 4;        // LONG
  bool withByteCounts = true;
  // Entries appended to the strip table (offset, byte count), and an offset for the first strip
  // in place of its real one.
  std::vector<std::pair<uint32_t, uint32_t>> extraStrips;
  std::optional<uint32_t> firstStripOffset;
  // Next-directory offset to write instead of the real one: a raw value, or another page.
  std::optional<uint32_t> nextOffset;
  std::optional<size_t> nextPage;
};

struct TiffLayout {
  bool bigEndian = false;
  uint16_t magic = 42;
  std::optional<uint32_t> firstOffset;  // instead of the first page's
  std::vector<TiffPage> pages;
};

Bytes MakeTiff(const TiffLayout& layout);
TiffLayout TiffFile(std::vector<TiffPage> pages, bool bigEndian = false);

// A page of the given size and form with one strip per `rowsPerStrip` rows cut from `pixels`
// (packed rows, no padding). photometric < 0 leaves the tag out.
TiffPage SimplePage(uint32_t width, uint32_t height, std::vector<uint32_t> bitsPerSample,
                    int photometric, const Bytes& pixels, uint32_t rowsPerStrip = 0,
                    uint32_t compression = 1);

// PackBits-compresses bytes (literal runs only).
Bytes PackBitsLiterals(const Bytes& data);

// LZW-compresses bytes as TIFF writes them (codes most significant bit first, early change),
// with a clear code first and an end code last.
Bytes LzwCompress(const Bytes& data);

}  // namespace pelmor::test
