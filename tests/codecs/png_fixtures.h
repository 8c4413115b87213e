// PNG fixtures built byte by byte: chunks with real or damaged CRCs, and a small encoder that
// packs samples, splits Adam7 passes and applies a chosen filter to every row, independently of
// the reader under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace pelmor::test {

uint32_t Crc32(const uint8_t* data, size_t n);

// One chunk: length, type, data and CRC (or a damaged CRC).
Bytes PngChunk(const std::string& type, const Bytes& data, bool goodCrc = true);
Bytes PngHeaderChunk(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                     uint8_t interlace = 0, uint8_t compression = 0, uint8_t filter = 0);
Bytes PngTextChunk(const std::string& keyword, const std::string& text);
// A signature followed by the chunks.
Bytes PngFile(const std::vector<Bytes>& chunks);
// A zlib stream of stored blocks only.
Bytes ZlibStored(const Bytes& data);

struct PngPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t depth = 8;
  uint8_t colourType = 2;
  bool interlaced = false;
  // width x height x channels sample values, row by row (channels from the colour type).
  std::vector<uint16_t> samples;
  // The filter type of row k (of every pass) is filters[k % size]; empty means None.
  std::vector<uint8_t> filters;
};

int PngChannels(uint8_t colourType);
// The filtered image data (filter-type bytes included), before compression.
Bytes PngFilteredData(const PngPicture& p);
// A whole file: IHDR, the extra chunks, one IDAT with the stored data, IEND.
Bytes PngEncode(const PngPicture& p, const std::vector<Bytes>& extraChunks = {});

}  // namespace pelmor::test
