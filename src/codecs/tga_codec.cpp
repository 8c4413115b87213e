#include "codecs/tga_codec.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/byte_reader.h"
#include "model/dib_view.h"
#include "model/image_doc.h"
#include "platform/buffered_file.h"
#include "platform/checked_size.h"
#include "platform/file.h"

namespace pelmor {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr uint8_t kUncompressedTrueColor = 2;
constexpr uint8_t kRunLengthTrueColor = 10;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;
// The file is read in pieces of this size (or a whole row's worst case, if that is larger): big
// enough that system calls cost nothing, small enough to stay in the cache between the read and
// the conversion.
constexpr size_t kChunk = size_t{256} << 10;

// One file pixel of In bytes (blue, green, red, maybe alpha; or a 16-bit word) as a DIB pixel of
// Out bytes: a 16-bit word is kept, alpha is dropped.
template <int In, int Out>
inline void PutPixel(uint8_t* d, const uint8_t* s) {
  static_assert((In == 2 && Out == 2) || (In >= 3 && Out == 3));
  d[0] = s[0];
  d[1] = s[1];
  if constexpr (Out == 3) d[2] = s[2];
}

// Decodes one file row into a DIB row; returns the bytes of the file it took, or -1 when the data
// ends first.
using RowDecoder = ptrdiff_t (*)(const uint8_t* src, size_t avail, uint8_t* row, int32_t width);

template <int In, int Out, bool RightToLeft>
ptrdiff_t RawRow(const uint8_t* src, size_t avail, uint8_t* row, int32_t width) {
  const size_t n = size_t(width) * In;
  if (avail < n) return -1;
  if constexpr (In == Out && !RightToLeft) {
    std::memcpy(row, src, n);
  } else {
    uint8_t* d = RightToLeft ? row + size_t(width - 1) * Out : row;
    constexpr ptrdiff_t step = RightToLeft ? -Out : Out;
    for (int32_t x = 0; x < width; ++x, d += step, src += In) PutPixel<In, Out>(d, src);
  }
  return static_cast<ptrdiff_t>(n);
}

// Packets are meant to end with the row. One that reaches past it is cut: the rest of a run is
// dropped, and of a raw packet only the pixels that fit are read, so the next row starts with the
// byte after them.
template <int In, int Out, bool RightToLeft>
ptrdiff_t RunLengthRow(const uint8_t* src, size_t avail, uint8_t* row, int32_t width) {
  const uint8_t* p = src;
  const uint8_t* const end = src + avail;
  uint8_t* d = RightToLeft ? row + size_t(width - 1) * Out : row;
  constexpr ptrdiff_t step = RightToLeft ? -Out : Out;
  int32_t left = width;
  while (left > 0) {
    if (p == end) return -1;
    const unsigned packet = *p++;
    const int32_t count = std::min(static_cast<int32_t>(packet & 0x7F) + 1, left);
    if (packet & 0x80) {
      if (end - p < In) return -1;
      for (int32_t i = 0; i < count; ++i, d += step) PutPixel<In, Out>(d, p);
      p += In;
    } else {
      const size_t n = size_t(count) * In;
      if (static_cast<size_t>(end - p) < n) return -1;
      if constexpr (In == Out && !RightToLeft) {
        std::memcpy(d, p, n);
        d += n;
        p += n;
      } else {
        for (int32_t i = 0; i < count; ++i, d += step, p += In) PutPixel<In, Out>(d, p);
      }
    }
    left -= count;
  }
  return p - src;
}

template <int In, int Out>
RowDecoder PickFor(bool runLength, bool rightToLeft) {
  if (runLength) {
    return rightToLeft ? RunLengthRow<In, Out, true> : RunLengthRow<In, Out, false>;
  }
  return rightToLeft ? RawRow<In, Out, true> : RawRow<In, Out, false>;
}

RowDecoder PickRowDecoder(int bytesPerPixel, bool runLength, bool rightToLeft) {
  switch (bytesPerPixel) {
    case 2: return PickFor<2, 2>(runLength, rightToLeft);
    case 3: return PickFor<3, 3>(runLength, rightToLeft);
    default: return PickFor<4, 3>(runLength, rightToLeft);
  }
}

// Uncompressed rows that need no conversion go from the file straight into their places in the
// image, without passing through a buffer.
bool ReadRowsInPlace(platform::File& file, uint8_t* bits, size_t stride, int32_t height,
                     size_t rowBytes, bool topToBottom) {
  constexpr int32_t kRowsPerRead = 1024;
  platform::File::Piece pieces[kRowsPerRead];
  for (int32_t r = 0; r < height;) {
    const int32_t n = std::min(kRowsPerRead, height - r);
    for (int32_t i = 0; i < n; ++i) {
      const int32_t memoryRow = topToBottom ? height - 1 - (r + i) : r + i;
      pieces[i] = {bits + stride * size_t(memoryRow), rowBytes};
    }
    if (!file.ReadExactScattered(pieces, size_t(n))) return false;
    r += n;
  }
  return true;
}

// Every other kind of file: read in large pieces, each row converted into its place.
bool DecodeRows(platform::File& file, int64_t dataBytes, uint8_t* bits, size_t stride,
                int32_t width, int32_t height, int bytesPerPixel, bool runLength,
                bool rightToLeft, bool topToBottom) {
  // The most file bytes one row can take: a packet for every pixel.
  const size_t rowMax = size_t(width) * (runLength ? bytesPerPixel + 1 : bytesPerPixel);
  size_t capacity = std::max(kChunk, 2 * rowMax);
  capacity = static_cast<size_t>(std::min<int64_t>(capacity, dataBytes));
  platform::BufferedFile reader(file, capacity);
  const RowDecoder decodeRow = PickRowDecoder(bytesPerPixel, runLength, rightToLeft);
  for (int32_t r = 0; r < height; ++r) {
    const size_t available = reader.Fill(rowMax);
    const int32_t memoryRow = topToBottom ? height - 1 - r : r;
    const ptrdiff_t used = decodeRow(reader.Data(), available, bits + stride * size_t(memoryRow), width);
    if (used < 0) return false;
    reader.Consume(static_cast<size_t>(used));
  }
  return true;
}

}  // namespace

bool CTgaCodec::Load(int32_t /*imageIndex*/) {
  CImageDoc& doc = *owner;
  platform::File file = platform::File::OpenRead(doc.fileName.c_str());
  if (!file) return false;
  uint8_t h[kHeaderSize];
  if (!file.ReadExact(h, sizeof h)) return false;
  const uint8_t idLength = h[0];
  const uint8_t colorMapType = h[1];
  const uint8_t imageType = h[2];
  const uint16_t fileWidth = LoadU16LE(h + 12);
  const uint16_t fileHeight = LoadU16LE(h + 14);
  const uint8_t depth = h[16];
  const uint8_t descriptor = h[17];
  if (colorMapType != 0 || (imageType != kUncompressedTrueColor && imageType != kRunLengthTrueColor)
      || (depth != 16 && depth != 24 && depth != 32)) {
    return false;
  }
  const bool runLength = imageType == kRunLengthTrueColor;
  const bool rightToLeft = (descriptor & kRightToLeft) != 0;
  const bool topToBottom = (descriptor & kTopToBottom) != 0;

  const int64_t fileSize = file.Size();
  const int64_t dataStart = int64_t{kHeaderSize} + idLength;
  if (fileSize < dataStart || !file.Seek(dataStart)) return false;
  // A picture without pixels shows nothing.
  if (fileWidth == 0 || fileHeight == 0) return false;

  // Refuse a file too short for its picture before allocating the picture: raw rows are all
  // there, and a run-length row needs at least one packet per 128 pixels.
  const int in = depth / 8;
  const CheckedSize rowBytes = runLength ? CheckedSize((fileWidth + 127) / 128) * (1 + in)
                                         : CheckedSize(fileWidth) * in;
  if (!(rowBytes * fileHeight).AtMost(static_cast<uint64_t>(fileSize - dataStart))) return false;

  // Replaces any image the document holds.
  const uint16_t bitCount = depth == 16 ? 16 : 24;
  if (!doc.CreateDib(fileWidth, fileHeight, bitCount, 0)) return false;

  const size_t stride = DibRowBytes(fileWidth, bitCount);
  const bool ok = !runLength && !rightToLeft && depth == bitCount
                      ? ReadRowsInPlace(file, doc.bits, stride, fileHeight, size_t{fileWidth} * in,
                                        topToBottom)
                      : DecodeRows(file, fileSize - dataStart, doc.bits, stride, fileWidth,
                                   fileHeight, in, runLength, rightToLeft, topToBottom);
  if (!ok) return false;
  doc.currentImage = 0;
  doc.imageCount = 1;
  return true;
}

bool CTgaCodec::Save(const char* fileName, float /*compressionRatio*/) {
  const CImageDoc& doc = *owner;
  if (!doc.block || doc.header == nullptr || doc.bits == nullptr) return false;
  const std::optional<DibView> view =
      DibView::Of(doc.header, doc.bits, doc.block.Data(), doc.BlockEnd());
  if (!view || (view->bitCount != 16 && view->bitCount != 24) || view->width > 0xFFFF ||
      view->height > 0xFFFF) {
    return false;
  }
  const DibView& v = *view;

  uint8_t h[kHeaderSize] = {};
  h[2] = kUncompressedTrueColor;
  StoreU16LE(h + 12, static_cast<uint16_t>(v.width));
  StoreU16LE(h + 14, static_cast<uint16_t>(v.height));
  h[16] = static_cast<uint8_t>(v.bitCount);
  h[17] = 0;  // rows bottom to top, pixels left to right

  platform::File file = platform::File::Create(fileName);
  if (!file || !file.Write(h, sizeof h)) return false;

  // Rows go out from the bottom of the picture, whatever the DIB's own row order, gathered into
  // large writes.
  const size_t rowSize = size_t(v.width) * (v.bitCount / 8);
  const size_t rowsPerWrite = std::max<size_t>(1, kChunk / rowSize);
  const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(rowsPerWrite * rowSize);
  // 16-bit pixels with other colour fields than 5-5-5 are repacked as 5-5-5.
  const bool repack = v.bitCount == 16 && !v.masks.IsDefaultFor(16);
  size_t filled = 0;
  for (int32_t y = v.height - 1; y >= 0; --y) {
    uint8_t* out = buffer.get() + filled;
    const uint8_t* row = v.Row(y);
    if (repack) {
      for (int32_t x = 0; x < v.width; ++x) {
        const uint32_t p = LoadU16LE(row + 2 * x);
        StoreU16LE(out + 2 * x, static_cast<uint16_t>((v.masks.red.Widen(p) >> 3) << 10 |
                                                      (v.masks.green.Widen(p) >> 3) << 5 |
                                                      v.masks.blue.Widen(p) >> 3));
      }
    } else {
      std::memcpy(out, row, rowSize);
    }
    filled += rowSize;
    if (filled == rowsPerWrite * rowSize || y == 0) {
      if (!file.Write(buffer.get(), filled)) return false;
      filled = 0;
    }
  }
  return file.Close();
}

}  // namespace pelmor
