#include "codecs/tiff_strips.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "codecs/ccitt_fax.h"
#include "codecs/lzw_decoder.h"
#include "codecs/packbits.h"
#include "model/byte_reader.h"
#include "model/checked_size.h"
#include "model/image_block.h"
#include "model/image_doc.h"
#include "model/input_stream.h"
#include "platform/memory_limit.h"

namespace pelmor {

namespace {

constexpr uint32_t kCompressionNone = 1;
constexpr uint32_t kCompressionFaxT4 = 3;
constexpr uint32_t kCompressionFaxT6 = 4;
constexpr uint32_t kCompressionLzw = 5;
constexpr uint32_t kCompressionPackBits = 32773;

constexpr uint32_t kWhiteIsZero = 0;
constexpr uint32_t kBlackIsZero = 1;
constexpr uint32_t kRgb = 2;
constexpr uint32_t kPalette = 3;
constexpr uint32_t kSeparated = 5;

enum class TableKind { kNone, kWhiteIsZero, kBlackIsZero, kPalette };

// How a page becomes a DIB.
struct DibLayout {
  uint16_t depth;          // DIB bits per pixel
  uint32_t tableEntries;   // colour-table entries
  TableKind table;
};

bool IsFax(uint32_t compression) {
  return compression == kCompressionFaxT4 || compression == kCompressionFaxT6;
}

DibLayout LayoutOf(const TiffDirectory& dir) {
  const uint32_t bpp = dir.bitsPerSample;
  if (bpp > 8) return {24, 0, TableKind::kNone};
  DibLayout layout;
  // 2-bit rows are widened to 4 bits per pixel: the display has no 2-bit bitmaps.
  layout.depth = static_cast<uint16_t>(bpp == 2 ? 4 : bpp);
  layout.tableEntries = uint32_t{1} << layout.depth;
  if (dir.needsColorTable) {
    layout.table = dir.photometric == kPalette      ? TableKind::kPalette
                   : dir.photometric == kWhiteIsZero ? TableKind::kWhiteIsZero
                                                     : TableKind::kBlackIsZero;
  } else {
    // Photometric absent or RGB on a page of 8 bits or less: grey, white where the fax decoder
    // writes white (0 bits when the photometric tag is absent), black at 0 otherwise.
    const bool faxWhiteIsZero = IsFax(dir.compression) && dir.photometric == kWhiteIsZero;
    layout.table = faxWhiteIsZero ? TableKind::kWhiteIsZero : TableKind::kBlackIsZero;
  }
  return layout;
}

// Grey level of value j of a grey page of the given depth with black at 0.
uint8_t GreyLevel(uint32_t bpp, uint32_t j) {
  switch (bpp) {
    case 1: return j ? 255 : 0;
    case 2: return static_cast<uint8_t>(85 * j);
    // Steps of 16 with full white at the top, as the 4-bit tables have always been.
    case 4: return j == 15 ? 255 : static_cast<uint8_t>(16 * j);
    default: return static_cast<uint8_t>(j);
  }
}

bool FillColorTable(CTiffFile& file, const TiffDirectory& dir, const DibLayout& layout,
                    uint8_t* table) {
  const uint32_t bpp = dir.bitsPerSample;
  const uint32_t values = uint32_t{1} << bpp;  // entries the page can use; the rest stay 0
  if (layout.table == TableKind::kPalette) {
    // Red, green and blue arrays of 16-bit values in the file's byte order; the DIB keeps the
    // high bytes.
    std::vector<uint8_t> map(size_t{6} * values);
    if (!file.ReadAt(dir.colorMap->Offset(), map.data(), map.size())) return false;
    for (uint32_t j = 0; j < values; ++j) {
      table[4 * j + 0] = static_cast<uint8_t>(file.U16(&map[2 * (2 * values + j)]) >> 8);
      table[4 * j + 1] = static_cast<uint8_t>(file.U16(&map[2 * (values + j)]) >> 8);
      table[4 * j + 2] = static_cast<uint8_t>(file.U16(&map[2 * j]) >> 8);
    }
    return true;
  }
  for (uint32_t j = 0; j < values; ++j) {
    uint8_t level = GreyLevel(bpp, j);
    if (layout.table == TableKind::kWhiteIsZero) {
      // The mirror image of black at 0: 255 next to 224 at the bottom for 4 bits.
      level = bpp == 4 ? (j == 0 ? 255 : static_cast<uint8_t>((15 - j) * 16))
                       : GreyLevel(bpp, values - 1 - j);
    }
    table[4 * j + 0] = table[4 * j + 1] = table[4 * j + 2] = level;
  }
  return true;
}

// One array of the strip table (StripOffsets or StripByteCounts): SHORT or LONG values, held in
// the entry or at its offset in the file.
class StripArray {
 public:
  StripArray(CTiffFile& file, const TiffEntry& entry) : file_(file), entry_(entry) {}

  // The whole array must be in the file, even the values never used.
  bool Check() const {
    if (entry_.FitsInEntry()) return true;
    const CheckedSize end = CheckedSize(entry_.Offset()) + CheckedSize(entry_.count) * entry_.ValueSize();
    return file_.Size() >= 0 && end.AtMost(static_cast<uint64_t>(file_.Size()));
  }

  bool Get(uint32_t i, uint32_t& v) const {
    const bool isShort = entry_.type == kTiffShort;
    if (entry_.FitsInEntry()) {
      v = isShort ? LoadU16LE(entry_.value + 2 * i) : LoadU32LE(entry_.value);
      return true;
    }
    const uint64_t at = uint64_t{entry_.Offset()} + uint64_t{i} * (isShort ? 2 : 4);
    if (isShort) {
      uint16_t s;
      if (!file_.ReadU16(at, s)) return false;
      v = s;
      return true;
    }
    return file_.ReadU32(at, v);
  }

 private:
  CTiffFile& file_;
  const TiffEntry& entry_;
};

// Memory for one strip at a time, reused from strip to strip. Its contents are not cleared:
// every user clears what it does not fill.
class Scratch {
 public:
  uint8_t* Get(uint64_t n) {
    if (n > ImageAllocationLimit()) return nullptr;
    if (n > size_) {
      data_.reset();
      data_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(n));
      size_ = static_cast<size_t>(n);
    }
    return data_.get();
  }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
};

// Undoes horizontal differencing on rows of rowBytes bytes: each byte adds the byte kStep places
// before it (one pixel back), modulo 256. The running sum of each sample stays in a register.
template <uint32_t kStep>
void UndoDifferencing(uint8_t* rows, uint64_t count, uint64_t rowBytes) {
  for (uint64_t r = 0; r < count; ++r) {
    uint8_t* row = rows + r * rowBytes;
    if (rowBytes <= kStep) continue;
    uint8_t sum[kStep];
    std::memcpy(sum, row, kStep);
    uint64_t x = kStep;
    for (; x + kStep <= rowBytes; x += kStep) {
      for (uint32_t c = 0; c < kStep; ++c) {
        row[x + c] = sum[c] = static_cast<uint8_t>(sum[c] + row[x + c]);
      }
    }
    for (; x < rowBytes; ++x) row[x] = static_cast<uint8_t>(row[x] + row[x - kStep]);
  }
}

void UndoDifferencing(uint8_t* rows, uint64_t count, uint64_t rowBytes, uint32_t step) {
  switch (step) {
    case 1: UndoDifferencing<1>(rows, count, rowBytes); break;
    case 3: UndoDifferencing<3>(rows, count, rowBytes); break;
    case 4: UndoDifferencing<4>(rows, count, rowBytes); break;
  }
}

// Bytes per pixel the predictor steps by, or 0 when the predictor does not fit the page.
uint32_t PredictorStep(const TiffDirectory& dir) {
  const uint32_t bpp = dir.bitsPerSample;
  switch (dir.photometric) {
    case kWhiteIsZero:
    case kBlackIsZero:
    case kPalette: return bpp == 8 ? 1 : 0;
    case kRgb: return bpp == 24 ? 3 : bpp == 32 ? 4 : 0;
    case kSeparated: return bpp == 32 ? 4 : 0;
    default: return 0;
  }
}

// Red, green, blue pixels to blue, green, red. Four bytes are moved per pixel, the fourth being
// overwritten by the next pixel, except for the last pixel, so nothing outside the two rows is
// read or written.
void SwapRedBlue(const uint8_t* src, uint8_t* dst, uint32_t width) {
  uint32_t x = 0;
  for (; x + 1 < width; ++x, src += 3, dst += 3) {
    uint32_t v;
    std::memcpy(&v, src, 4);
    if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
      v = __builtin_bswap32(v) >> 8;  // bytes R G B x become B G R 0
    } else {
      v = __builtin_bswap32(v << 8);
    }
    std::memcpy(dst, &v, 4);
  }
  if (x < width) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}

// floor(v / 255) for v <= 255 * 255.
inline uint8_t DivideBy255(uint32_t v) { return static_cast<uint8_t>((v * 0x8081u) >> 23); }

// Converts one strip row into a DIB row.
class RowConverter {
 public:
  RowConverter(const TiffDirectory& dir, uint32_t width, bool littleEndian)
      : bpp_(dir.bitsPerSample),
        width_(width),
        cmyk_(dir.photometric == kSeparated),
        highByte_(littleEndian ? 1 : 0),
        packedBytes_(PackedRowBytes(width, dir.bitsPerSample)) {}

  void operator()(const uint8_t* src, uint8_t* dst) const {
    switch (bpp_) {
      case 1:
      case 4:
      case 8: std::memcpy(dst, src, packedBytes_); break;
      case 2: Widen2To4(src, dst); break;
      case 24: SwapRedBlue(src, dst, width_); break;
      case 32:
        if (cmyk_) {
          for (uint32_t x = 0; x < width_; ++x, src += 4, dst += 3) {
            const uint32_t k = 255u - src[3];
            dst[0] = DivideBy255((255u - src[2]) * k);
            dst[1] = DivideBy255((255u - src[1]) * k);
            dst[2] = DivideBy255((255u - src[0]) * k);
          }
        } else {
          for (uint32_t x = 0; x < width_; ++x, src += 4, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
          }
        }
        break;
      case 48:
        for (uint32_t x = 0; x < width_; ++x, src += 6, dst += 3) {
          dst[0] = src[4 + highByte_];
          dst[1] = src[2 + highByte_];
          dst[2] = src[0 + highByte_];
        }
        break;
    }
  }

 private:
  // Each 2-bit value v becomes the 4-bit value v, high nibble first.
  void Widen2To4(const uint8_t* src, uint8_t* dst) const {
    const uint64_t outBytes = (uint64_t{width_} + 1) / 2;
    for (uint64_t i = 0; i < outBytes; ++i) {
      const uint8_t b = src[i / 2];
      const unsigned pair = (i & 1) ? (b & 0x0F) : (b >> 4);
      dst[i] = static_cast<uint8_t>((pair >> 2) << 4 | (pair & 3));
    }
  }

  uint32_t bpp_;
  uint32_t width_;
  bool cmyk_;
  uint32_t highByte_;
  uint64_t packedBytes_;
};

}  // namespace

uint64_t PackedRowBytes(uint64_t width, uint32_t bitsPerSample) {
  switch (bitsPerSample) {
    case 1: return (width + 7) / 8;
    case 2: return (width + 3) / 4;
    case 4: return (width + 1) / 2;
    default: return width * (bitsPerSample / 8);
  }
}

StripReadResult ReadStrips(CTiffFile& file, const TiffDirectory& dir, CImageDoc& doc) {
  StripReadResult result;
  const uint32_t width = dir.width;
  const uint32_t height = dir.height;
  const uint32_t bpp = dir.bitsPerSample;
  if (width > INT32_MAX || height > INT32_MAX) return result;

  // The bitmap and its colour table.
  const DibLayout layout = LayoutOf(dir);
  if (!doc.CreateDib(static_cast<int32_t>(width), static_cast<int32_t>(height), layout.depth,
                     layout.tableEntries)) {
    return result;
  }
  doc.header->biClrUsed = layout.tableEntries;
  if (layout.tableEntries > 0 &&
      !FillColorTable(file, dir, layout, reinterpret_cast<uint8_t*>(doc.header) + 40)) {
    return result;
  }
  const uint64_t dibStride = DibRowBytes(width, layout.depth);

  uint32_t predictorStep = 0;
  if (dir.predictor == 2) {
    predictorStep = PredictorStep(dir);
    if (predictorStep == 0) return result;
  }

  // The strip table. Strips past those the page's rows need are never read.
  const StripArray offsets(file, *dir.stripOffsets);
  const StripArray byteCounts(file, *dir.stripByteCounts);
  if (!offsets.Check() || !byteCounts.Check()) return result;
  result.ok = true;

  // Row sizes: R, a packed row inside a strip, and S, the DIB stride of the page's own depth,
  // which sizes the PackBits and fax buffers. The bitmap exists, so neither they nor any strip's
  // rows times R can exceed twice its size.
  const uint64_t rowBytes = PackedRowBytes(width, bpp);
  const uint64_t workStride = (uint64_t{width} * bpp + 31) / 32 * 4;
  const uint32_t rowsPerStrip = dir.rowsPerStrip;
  const uint64_t fileSize = static_cast<uint64_t>(std::max<int64_t>(file.Size(), 0));
  const RowConverter convert(dir, width, file.littleEndian);
  Scratch packed;    // compressed bytes
  Scratch unpacked;  // decompressed rows

  for (uint32_t strip = 0; strip < dir.stripOffsets->count && result.rowsDone < height; ++strip) {
    const uint32_t rows = std::min(rowsPerStrip, height - result.rowsDone);
    const uint64_t needed = rows * rowBytes;  // bytes of this strip's rows
    uint32_t offset, count;
    if (!offsets.Get(strip, offset) || !byteCounts.Get(strip, count)) break;
    if (count > 0 && !(CheckedSize(offset) + count).AtMost(fileSize)) break;

    uint8_t* data = nullptr;
    if (dir.compression == kCompressionNone) {
      // Rows the strip has no bytes for stay blank.
      data = unpacked.Get(needed);
      if (data == nullptr) break;
      const uint64_t take = std::min<uint64_t>(count, needed);
      if (!file.ReadAt(offset, data, static_cast<size_t>(take))) break;
      std::memset(data + take, 0, static_cast<size_t>(needed - take));
    } else {
      uint8_t* in = packed.Get(count);
      if (in == nullptr || count > INT32_MAX || !file.ReadAt(offset, in, count)) break;
      if (dir.compression == kCompressionLzw) {
        if (needed > INT32_MAX) break;
        data = unpacked.Get(needed);
        if (data == nullptr) break;
        // The decoded bytes fill the strip buffer from its start, whatever the line length, and
        // what does not fit is dropped.
        CAppendingPixelSink sink(in, static_cast<int32_t>(count), data,
                                 static_cast<int32_t>(needed));
        CLzwDecoder lzw(8, CLzwDecoder::kMsbFirst, true, &sink);
        int32_t badCodes = 0;
        if (lzw.Decode(static_cast<int32_t>(width), &badCodes) != 0 || badCodes != 0) break;
        std::memset(data + sink.pixelsPos, 0, static_cast<size_t>(needed) - sink.pixelsPos);
      } else if (dir.compression == kCompressionPackBits) {
        // The run that would overflow the buffer is dropped whole, so the buffer keeps the size
        // of a full strip (of at most the page's height).
        const uint64_t bufferSize = workStride * std::min(rowsPerStrip, height);
        data = unpacked.Get(bufferSize);
        if (data == nullptr) break;
        const size_t filled = UnpackBits(in, count, data, static_cast<size_t>(bufferSize));
        if (filled < needed) std::memset(data + filled, 0, static_cast<size_t>(needed - filled));
      } else {  // CCITT
        // The decoder's output is rows of (width + 7) / 8 bytes, in a buffer of the working
        // stride per row, whose end it must not pass.
        const uint64_t bufferSize = workStride * rows;
        if (bufferSize > INT32_MAX) break;
        data = unpacked.Get(bufferSize);
        if (data == nullptr) break;
        std::memset(data, 0, static_cast<size_t>(bufferSize));
        CTiffBitStream stream(in, static_cast<int32_t>(count), data,
                              static_cast<int32_t>(bufferSize), dir.fillOrder == 1);
        const bool t6 = dir.compression == kCompressionFaxT6;
        const bool t4 = dir.compression == kCompressionFaxT4;
        CFaxDecoder fax(&stream, dir.photometric == kWhiteIsZero, t6,
                        t4 && (dir.t4Options & 1) != 0, t4 && (dir.t4Options & 4) != 0,
                        !dir.faxTagsSeen);
        if (!fax.Decode(static_cast<int32_t>(width), static_cast<int32_t>(rows))) break;
      }
    }

    if (predictorStep != 0) UndoDifferencing(data, rows, rowBytes, predictorStep);

    for (uint32_t k = 0; k < rows; ++k) {
      uint8_t* dst = doc.bits + (uint64_t{height} - 1 - result.rowsDone) * dibStride;
      convert(data + k * rowBytes, dst);
      ++result.rowsDone;
    }
  }
  return result;
}

}  // namespace pelmor
