#include "codecs/png_codec.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "codecs/inflate.h"
#include "platform/byte_reader.h"
#include "model/image_block.h"
#include "model/image_doc.h"
#include "platform/buffered_file.h"
#include "platform/checked_size.h"
#include "platform/file.h"
#include "platform/memory_limit.h"

namespace pelmor {

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
// The PNG standard limits chunk lengths to 2^31 - 1.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
// The collected image data stays within the inflater's input limit and within what an image may
// take.
size_t MaxImageData() { return size_t(std::min<uint64_t>(0x7FFFFFFF, ImageAllocationLimit())); }

constexpr uint32_t ChunkType(const char (&name)[5]) {
  return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
         uint32_t(uint8_t(name[2])) << 8 | uint32_t(uint8_t(name[3]));
}

bool ReadU32(platform::BufferedFile& file, uint32_t& v) {
  uint8_t b[4];
  if (!file.Read(b, 4)) return false;
  v = LoadU32BE(b);
  return true;
}

constexpr uint8_t kPaletteFlag = 1;
constexpr uint8_t kColourFlag = 2;
constexpr uint8_t kAlphaFlag = 4;

}  // namespace

bool CPngCodec::Load(int32_t /*imageIndex*/) {
  platform::File file = platform::File::OpenRead(owner->fileName.c_str());
  if (!file) return false;
  owner->Clear();
  width = height = 0;
  bitDepth = colourType = compressionMethod = filterMethod = interlaceMethod = 0;
  headerSeen = false;
  dataSize = 0;
  pixelBytes = 0;
  indexed = false;
  hasAlpha = false;
  dibBitCount = 0;

  // Many small chunks cost few system calls; large payloads go straight to their destination.
  platform::BufferedFile chunks(file, 64 * 1024);
  const bool ok = ReadChunks(chunks);
  if (ok) {
    owner->currentImage = 0;
    owner->imageCount = 1;
  }
  return ok;
}

bool CPngCodec::ReadChunks(platform::BufferedFile& file) {
  uint8_t signature[8];
  if (!file.Read(signature, 8) || std::memcmp(signature, kSignature, 8) != 0) return false;
  ImageData imageData;
  for (;;) {
    uint32_t length, type;
    if (!ReadU32(file, length) || !ReadU32(file, type)) return false;
    if (length > kMaxChunkLength) return false;
    bool ok;
    switch (type) {
      case ChunkType("IHDR"): ok = ReadHeader(file, length); break;
      case ChunkType("PLTE"): ok = ReadPalette(file, length); break;
      case ChunkType("IDAT"): ok = AppendImageData(file, length, imageData); break;
      case ChunkType("tEXt"): ok = ReadText(file, length); break;
      case ChunkType("zTXt"): ok = ReadCompressedText(file, length); break;
      // Nothing of IEND is read: not its data, not its CRC, nothing after it.
      case ChunkType("IEND"): return FinishImage(imageData);
      // Every other chunk, critical or ancillary, is skipped with its CRC.
      default: ok = file.Skip(uint64_t(length) + 4); break;
    }
    if (!ok) return false;
  }
}

bool CPngCodec::ReadHeader(platform::BufferedFile& file, uint32_t length) {
  if (headerSeen || length != 13) return false;
  uint8_t b[13];
  uint32_t crc;  // read, never checked
  if (!file.Read(b, 13) || !ReadU32(file, crc)) return false;
  width = LoadU32BE(b);
  height = LoadU32BE(b + 4);
  bitDepth = b[8];
  colourType = b[9];
  compressionMethod = b[10];
  filterMethod = b[11];
  interlaceMethod = b[12];
  headerSeen = true;
  // The document's dimensions are signed; a width or height above 2^31 - 1 is refused below.
  owner->width = int32_t(std::min<uint32_t>(width, 0x7FFFFFFF));
  owner->height = int32_t(std::min<uint32_t>(height, 0x7FFFFFFF));
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;

  const uint32_t samplesBytes = bitDepth == 16 ? 2 : 1;
  switch (colourType) {
    case kColourFlag | kPaletteFlag:  // 3
      if (bitDepth != 1 && bitDepth != 2 && bitDepth != 4 && bitDepth != 8) return false;
      indexed = true;
      dibBitCount = bitDepth == 2 ? 4 : bitDepth;
      pixelBytes = 1;
      break;
    case kColourFlag:  // 2
      if (bitDepth != 8 && bitDepth != 16) return false;
      dibBitCount = 24;
      pixelBytes = 3 * samplesBytes;
      break;
    case kColourFlag | kAlphaFlag:  // 6
      if (bitDepth != 8 && bitDepth != 16) return false;
      hasAlpha = true;
      dibBitCount = 24;
      pixelBytes = 4 * samplesBytes;
      break;
    case 0:
      if (bitDepth != 1 && bitDepth != 2 && bitDepth != 4 && bitDepth != 8 && bitDepth != 16) {
        return false;
      }
      indexed = true;
      dibBitCount = bitDepth == 2 ? 4 : bitDepth == 16 ? 8 : bitDepth;
      pixelBytes = samplesBytes;
      break;
    case kAlphaFlag:  // 4
      if (bitDepth != 8 && bitDepth != 16) return false;
      hasAlpha = true;
      dibBitCount = 24;
      pixelBytes = 2 * samplesBytes;
      break;
    default:
      // 7, and 1 and 5 (a palette without colour), which are not PNG: a palette image always has
      // a colour table to receive its PLTE.
      return false;
  }

  if (filterMethod != 0) return false;
  CheckedSize total;
  if (interlaceMethod == 0) {
    total = CheckedSize(height) * (CheckedSize(RowBytes(width)) + 1);
  } else if (interlaceMethod == 1) {
    // An empty pass has no filter-type bytes in the data, but its height is counted here all the
    // same, which only leaves room that is never read.
    for (const auto& [w, h] : PassGeometry()) total += CheckedSize(h) * (CheckedSize(RowBytes(w)) + 1);
  } else {
    return false;
  }
  if (!total.FitsIn<uint32_t>()) return false;
  dataSize = uint32_t(total.Value());
  return SetUpOutputImage();
}

bool CPngCodec::ReadPalette(platform::BufferedFile& file, uint32_t length) {
  if (length == 0) return false;
  const uint32_t entries = bitDepth < 9 ? 1u << bitDepth : 0x10000;
  if (entries > 256 || length > 3 * entries) return false;
  uint8_t rgb[3 * 256];
  uint32_t crc;
  if (!file.Read(rgb, length) || !ReadU32(file, crc)) return false;
  if (!(colourType & kPaletteFlag)) return true;  // a suggested palette: read and dropped
  // Only palette images get here (types 1, 5 and 7 are refused), and they have a colour table of
  // 2^dibBitCount >= entries colours.
  if (owner->header == nullptr || owner->header->biBitCount != dibBitCount || !indexed) return false;
  auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(owner->header) + 40);
  const uint32_t given = length / 3;
  for (uint32_t k = 0; k < entries; ++k) {
    if (k < given) {
      table[k] = {rgb[3 * k + 2], rgb[3 * k + 1], rgb[3 * k], 0};
    } else {
      table[k] = {0, 0, 0, 0};
    }
  }
  return true;
}

bool CPngCodec::AppendImageData(platform::BufferedFile& file, uint32_t length, ImageData& imageData) {
  if (length > 0) {
    // A length the file cannot hold fails before anything is allocated for it.
    const size_t limit = MaxImageData();
    if (length > file.Remaining() || imageData.size > limit || length > limit - imageData.size) return false;
    if (!imageData.block) {
      imageData.block = ImageBlock::Allocate(owner->budget, std::min<uint64_t>(file.Remaining(), limit));
      if (!imageData.block) return false;
    }
    if (length > imageData.block.Size() - imageData.size) return false;  // the file grew meanwhile
    if (!file.Read(imageData.block.Data() + imageData.size, length)) return false;
    imageData.size += length;
  }
  uint32_t crc;
  return ReadU32(file, crc);
}

bool CPngCodec::ReadKeywordChunk(platform::BufferedFile& file, uint32_t length, std::vector<uint8_t>& data,
                                 size_t& keywordLength) {
  data.clear();
  keywordLength = 0;
  uint32_t crc;
  if (length == 0) return ReadU32(file, crc);
  // Read whole into memory: it must be in the file and no larger than an image may be.
  if (length > file.Remaining() || length > ImageAllocationLimit()) return false;
  data.resize(length);
  if (!file.Read(data.data(), length) || !ReadU32(file, crc)) return false;
  const auto zero = std::find(data.begin(), data.end(), 0);
  if (zero == data.end()) return false;
  keywordLength = size_t(zero - data.begin());
  return true;
}

bool CPngCodec::ReadText(platform::BufferedFile& file, uint32_t length) {
  std::vector<uint8_t> data;
  size_t keywordLength;
  if (!ReadKeywordChunk(file, length, data, keywordLength)) return false;
  if (data.empty()) return true;
  StoreTextField(std::string(data.begin(), data.begin() + long(keywordLength)),
                 data.data() + keywordLength + 1, length - keywordLength - 1);
  return true;
}

bool CPngCodec::ReadCompressedText(platform::BufferedFile& file, uint32_t length) {
  std::vector<uint8_t> data;
  size_t keywordLength;
  if (!ReadKeywordChunk(file, length, data, keywordLength)) return false;
  if (data.empty()) return true;
  if (keywordLength + 1 == length) return true;  // no method byte: ignored
  if (data[keywordLength + 1] != 0) return false;
  const size_t compressed = length - keywordLength - 2;
  // The text may inflate to ten times its compressed size. The buffer comes from the image
  // allocator, whose limit refuses sizes no text needs.
  ImageBlock output = ImageBlock::Allocate(owner->budget, uint64_t(compressed) * 10);
  if (!output) return false;
  size_t produced = 0;
  if (!Inflate(data.data() + keywordLength + 2, compressed, output.Data(), output.Size(), &produced)) {
    return false;
  }
  if (produced > 0) {
    StoreTextField(std::string(data.begin(), data.begin() + long(keywordLength)), output.Data(),
                   produced);
  }
  return true;
}

void CPngCodec::StoreTextField(const std::string& keyword, const uint8_t* text, size_t textLength) {
  std::optional<std::string>* field = nullptr;
  if (strcasecmp(keyword.c_str(), "Title") == 0) {
    field = &owner->documentName;
  } else if (strcasecmp(keyword.c_str(), "Description") == 0) {
    field = &owner->imageDescription;
  } else if (strcasecmp(keyword.c_str(), "Copyright") == 0) {
    field = &owner->imageCopyright;
  } else if (strcasecmp(keyword.c_str(), "Software") == 0) {
    field = &owner->software;
  } else {
    return;
  }
  // The fields are zero-terminated strings to their readers: a zero byte inside the text ends it.
  const auto* end = static_cast<const uint8_t*>(std::memchr(text, 0, textLength));
  const size_t n = end != nullptr ? size_t(end - text) : textLength;
  field->emplace(reinterpret_cast<const char*>(text), n);
}

bool CPngCodec::Inflate(const uint8_t* input, size_t inputSize, uint8_t* output, size_t outputSize,
                        size_t* producedLength) const {
  if (producedLength != nullptr) *producedLength = 0;
  if (compressionMethod != 0) return false;
  return InflateZlib(input, inputSize, output, outputSize, producedLength);
}

bool CPngCodec::FinishImage(const ImageData& imageData) {
  // Without a header there is no DIB to decode into, and without image data nothing to inflate:
  // either way the inflate fails, and so does the load.
  if (!headerSeen || imageData.size == 0) return false;
  return DecodeImageData(imageData.block.Data(), imageData.size);
}

}  // namespace pelmor
