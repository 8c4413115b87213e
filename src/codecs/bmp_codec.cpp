#include "codecs/bmp_codec.h"

#include <cstdlib>
#include <cstring>

#include "platform/byte_reader.h"
#include "model/image_doc.h"
#include "platform/checked_size.h"
#include "platform/file.h"

namespace pelmor {

namespace {

constexpr uint16_t kSignature = 0x4D42;  // "BM"
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;

// A header of 40 bytes or more: the whole file becomes the image block and the header is used in
// place, whatever its version.
bool LoadInPlace(CImageDoc& doc, platform::File& file, int64_t fileSize, uint32_t offBits) {
  if (doc.block) return false;
  if (!file.Seek(0)) return false;
  uint8_t* block = doc.AllocateBlock(static_cast<uint64_t>(fileSize));
  if (block == nullptr || !file.ReadExact(block, static_cast<size_t>(fileSize))) return false;

  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block + kFileHeaderSize);
  // An image without width or height has nothing to show; INT32_MIN as height has no positive
  // magnitude.
  if (header->biWidth <= 0 || header->biHeight == 0 || header->biHeight == INT32_MIN) return false;
  doc.width = header->biWidth;
  doc.height = std::abs(header->biHeight);
  doc.header = header;

  CheckedSize pixelOffset = offBits;
  if (offBits == 0) {
    int32_t colors = ColorCountOf(header);
    if (colors < 0) return false;
    pixelOffset = CheckedSize(kFileHeaderSize + kInfoHeaderSize) + CheckedSize(colors) * 4;
  }
  auto stride = DibRowBytesChecked(static_cast<uint64_t>(doc.width), header->biBitCount);
  if (!stride) return false;
  CheckedSize end = pixelOffset + CheckedSize(*stride) * doc.height;
  if (!end.AtMost(static_cast<uint64_t>(fileSize))) return false;
  doc.bits = block + pixelOffset.Value();
  return true;
}

// The older 12-byte core header: expanded into a 40-byte header with a 4-byte-entry table.
bool LoadCore(CImageDoc& doc, platform::File& file) {
  uint8_t core[kCoreHeaderSize];
  if (!file.Seek(kFileHeaderSize) || !file.ReadExact(core, sizeof core)) return false;
  const uint16_t coreWidth = LoadU16LE(core + 4);
  const uint16_t coreHeight = LoadU16LE(core + 6);
  const uint16_t planes = LoadU16LE(core + 8);
  const uint16_t bitCount = LoadU16LE(core + 10);
  uint32_t colors;
  switch (bitCount) {
    case 1: colors = 2; break;
    case 4: colors = 16; break;
    case 8: colors = 256; break;
    case 24: colors = 0; break;
    default: return false;
  }
  if (doc.block) return false;
  if (!doc.CreateDib(coreWidth, coreHeight, bitCount, colors)) return false;
  doc.header->biPlanes = planes;
  doc.header->biSizeImage = 0;
  doc.header->biClrUsed = colors;
  doc.header->biClrImportant = colors;

  auto* table = reinterpret_cast<uint8_t*>(doc.header) + kInfoHeaderSize;
  for (uint32_t i = 0; i < colors; ++i) {
    uint8_t bgr[3];
    if (!file.ReadExact(bgr, 3)) return false;
    std::memcpy(table + 4 * i, bgr, 3);
    table[4 * i + 3] = 0;
  }
  const size_t pixelBytes = size_t{DibRowBytes(coreWidth, bitCount)} * coreHeight;
  return file.ReadExact(doc.bits, pixelBytes);
}

}  // namespace

bool CBmpCodec::Load(int32_t /*imageIndex*/) {
  CImageDoc& doc = *owner;
  platform::File file = platform::File::OpenRead(doc.fileName.c_str());
  if (!file) return false;

  uint8_t fileHeader[kFileHeaderSize];
  if (!file.ReadExact(fileHeader, sizeof fileHeader)) return false;
  const int64_t fileSize = file.Size();
  if (fileSize <= 0) return false;
  if (LoadU16LE(fileHeader) != kSignature) return false;
  const uint32_t offBits = LoadU32LE(fileHeader + 10);

  uint8_t info[kInfoHeaderSize];
  if (!file.Seek(kFileHeaderSize) || !file.ReadExact(info, sizeof info)) return false;
  const uint32_t headerSize = LoadU32LE(info);

  bool ok;
  if (headerSize >= kInfoHeaderSize && headerSize < static_cast<uint64_t>(fileSize)) {
    ok = LoadInPlace(doc, file, fileSize, offBits);
  } else if (headerSize == kCoreHeaderSize) {
    ok = LoadCore(doc, file);
  } else {
    return false;
  }
  if (ok) {
    doc.currentImage = 0;
    doc.imageCount = 1;
  }
  return ok;
}

bool CBmpCodec::Save(const char* fileName, float /*compressionRatio*/) {
  const CImageDoc& doc = *owner;
  if (!doc.block || doc.header == nullptr || doc.bits == nullptr) return false;
  const BITMAPINFOHEADER* header = doc.header;
  const int32_t colors = doc.ColorCount();
  if (colors < 0 || header->biWidth <= 0 || header->biHeight == INT32_MIN) return false;

  // Whatever header version the image came with, the file gets a 40-byte header; mask words and
  // the colour table are taken from where they really are, and so are the pixels (which need not
  // follow the table, and keep their orientation: a top-down image stays top-down).
  const auto* base = reinterpret_cast<const uint8_t*>(header);
  const uint8_t* blockStart = doc.block.Data();
  const uint8_t* blockEnd = doc.BlockEnd();
  uint32_t maskBytes = 0;
  if (header->biCompression == BI_BITFIELDS) maskBytes = 12;
  if (header->biCompression == BI_ALPHABITFIELDS) maskBytes = 16;
  const uint8_t* masks = base + kInfoHeaderSize;
  const uint8_t* table = base + DibColorTableOffset(header);

  auto stride = DibRowBytesChecked(static_cast<uint64_t>(header->biWidth), header->biBitCount);
  if (!stride) return false;
  CheckedSize pixelBytes = CheckedSize(*stride) * std::abs(header->biHeight);
  // A run-length image may hold more bytes than its uncompressed size.
  const bool runLength = header->biCompression == BI_RLE8 || header->biCompression == BI_RLE4;
  if (runLength && pixelBytes.Ok() && header->biSizeImage > pixelBytes.Value() &&
      (CheckedSize(doc.bits - blockStart) + header->biSizeImage).AtMost(blockEnd - blockStart)) {
    pixelBytes = header->biSizeImage;
  }
  // Everything written must come from inside the image block.
  auto inside = [&](const uint8_t* p, CheckedSize n) {
    return p >= blockStart && (CheckedSize(p - blockStart) + n).AtMost(blockEnd - blockStart);
  };
  const CheckedSize tableBytes = CheckedSize(colors) * 4;
  if (!inside(base, kInfoHeaderSize) || !inside(masks, maskBytes) || !inside(table, tableBytes) ||
      !inside(doc.bits, pixelBytes)) {
    return false;
  }
  const CheckedSize offBits = CheckedSize(kFileHeaderSize + kInfoHeaderSize) + maskBytes + tableBytes;
  const CheckedSize fileSize = offBits + pixelBytes;
  if (!fileSize.FitsIn<uint32_t>()) return false;

  uint8_t fileHeader[kFileHeaderSize] = {};
  StoreU16LE(fileHeader, kSignature);
  StoreU32LE(fileHeader + 2, static_cast<uint32_t>(fileSize.Value()));
  StoreU32LE(fileHeader + 10, static_cast<uint32_t>(offBits.Value()));
  BITMAPINFOHEADER info;
  std::memcpy(&info, header, sizeof info);
  info.biSize = kInfoHeaderSize;

  platform::File file = platform::File::Create(fileName);
  if (!file) return false;
  bool ok = file.Write(fileHeader, sizeof fileHeader) && file.Write(&info, sizeof info) &&
            file.Write(masks, maskBytes) && file.Write(table, static_cast<size_t>(tableBytes.Value())) &&
            file.Write(doc.bits, static_cast<size_t>(pixelBytes.Value()));
  return file.Close() && ok;
}

}  // namespace pelmor
