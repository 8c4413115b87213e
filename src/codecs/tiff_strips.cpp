#include "codecs/tiff_strips.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "codecs/ccitt_fax.h"
#include "codecs/lzw_decoder.h"
#include "codecs/packbits.h"
#include "platform/byte_reader.h"
#include "model/image_block.h"
#include "model/image_doc.h"
#include "model/input_stream.h"
#include "platform/checked_size.h"
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

// Where a page's strips go and how their rows become DIB rows.
struct StripTarget {
  uint8_t* bits;           // the DIB's rows
  uint32_t width;
  uint32_t height;
  uint32_t bpp;            // bits per pixel of the page
  uint64_t rowBytes;       // R: one packed row inside a strip
  uint64_t dibStride;      // S: one DIB row
  uint32_t predictorStep;  // 0: no predictor
  bool cmyk;

  // Rows no wider packed than in the DIB are decoded straight into the DIB rows they belong to.
  bool InPlace() const { return bpp <= 24; }
  uint8_t* DibRow(uint32_t pictureRow) const {
    return bits + (uint64_t{height} - 1 - pictureRow) * dibStride;
  }
};

// Swaps the bytes of two rows of n bytes that do not overlap, through the cache a piece at a time.
void SwapRows(uint8_t* a, uint8_t* b, uint64_t n) {
  uint8_t piece[4096];
  for (uint64_t at = 0; at < n; at += sizeof piece) {
    const size_t k = static_cast<size_t>(std::min<uint64_t>(sizeof piece, n - at));
    std::memcpy(piece, a + at, k);
    std::memcpy(a + at, b + at, k);
    std::memcpy(b + at, piece, k);
  }
}

// In-place forms of the row conversions of depths whose DIB rows are at least as wide as their
// packed rows: red-blue swaps for 24 bits, and 2-bit values widened to 4 bits (from the end, so
// that a DIB row starting at or after its packed row is written without losing a packed byte).
void SwapRedBlueInPlace(uint8_t* row, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x, row += 3) std::swap(row[0], row[2]);
}

void Widen2To4Backwards(const uint8_t* src, uint8_t* dst, uint32_t width) {
  for (uint64_t i = (uint64_t{width} + 1) / 2; i-- > 0;) {
    const uint8_t b = src[i / 2];
    const unsigned pair = (i & 1) ? (b & 0x0F) : (b >> 4);
    dst[i] = static_cast<uint8_t>((pair >> 2) << 4 | (pair & 3));
  }
}

// A strip of `rows` rows was decoded into the DIB rows it belongs to, packed: strip row k at
// k x R from `region`, the lowest of those DIB rows. Its first `dataRows` rows hold data (the rest
// are zero), and nothing at or past `touched` was written. Puts strip row k into DIB row
// rows - 1 - k of the region, converted, with its padding 0, and clears what the packed rows
// left below. The work follows the rows that hold data, not the strip's size.
void PlaceRows(const StripTarget& t, uint8_t* region, uint32_t rows, uint32_t dataRows,
               uint64_t touched) {
  const uint64_t R = t.rowBytes;
  const uint64_t S = t.dibStride;
  const uint64_t content = t.bpp == 2 ? (uint64_t{t.width} + 1) / 2 : R;
  // The data rows in reverse order: packed row i then holds strip row dataRows - 1 - i ...
  for (uint32_t i = 0; i < dataRows / 2; ++i) {
    SwapRows(region + i * R, region + (dataRows - 1 - i) * R, R);
  }
  // ... which belongs to DIB row rows - dataRows + i of the region. Going down from the top,
  // each row moves up (or stays), over packed rows already moved.
  const uint32_t first = rows - dataRows;
  for (uint32_t i = dataRows; i-- > 0;) {
    uint8_t* src = region + i * R;
    uint8_t* dst = region + (uint64_t{first} + i) * S;
    if (t.bpp == 2) {
      Widen2To4Backwards(src, dst, t.width);
    } else {
      if (dst != src) std::memmove(dst, src, R);
      if (t.bpp == 24) SwapRedBlueInPlace(dst, t.width);
    }
    std::memset(dst + content, 0, S - content);
  }
  // Below the placed rows, the region must be blank again.
  const uint64_t below = uint64_t{first} * S;
  std::memset(region, 0, static_cast<size_t>(std::min(touched, below)));
}

// Receives a strip's decoded bytes in order, a row of them at a time, and converts each complete
// row into its DIB row: the way for pages whose packed rows are wider than their DIB rows, with
// only one row in flight.
class RowFeeder {
 public:
  RowFeeder(const StripTarget& t, const RowConverter& convert, uint32_t firstRow, uint32_t rows)
      : t_(t), convert_(convert), firstRow_(firstRow), rows_(rows) {}

  bool Start(MemoryBudget& budget) { return row_.Allocate(budget, t_.rowBytes); }
  bool Full() const { return done_ == rows_; }
  uint64_t Taken() const { return uint64_t{done_} * t_.rowBytes + fill_; }
  // Takes up to n bytes; what lies past the strip's rows is dropped.
  void Append(const uint8_t* p, uint64_t n) {
    while (n > 0 && done_ < rows_) {
      const uint64_t k = std::min(n, t_.rowBytes - fill_);
      std::memcpy(row_.Data() + fill_, p, static_cast<size_t>(k));
      fill_ += k;
      p += k;
      n -= k;
      if (fill_ == t_.rowBytes) FinishRow();
    }
  }
  // The rest of the strip reads as 0 bytes.
  void Finish() {
    if (fill_ > 0) {
      std::memset(row_.Data() + fill_, 0, static_cast<size_t>(t_.rowBytes - fill_));
      FinishRow();
    }
    if (!t_.cmyk) return;  // 0 samples give 0 pixels: the blank DIB rows are right as they are
    std::memset(row_.Data(), 0, static_cast<size_t>(t_.rowBytes));
    while (done_ < rows_) FinishRow();
  }

 private:
  void FinishRow() {
    if (t_.predictorStep != 0) UndoDifferencing(row_.Data(), 1, t_.rowBytes, t_.predictorStep);
    convert_(row_.Data(), t_.DibRow(firstRow_ + done_));
    ++done_;
    fill_ = 0;
  }

  const StripTarget& t_;
  const RowConverter& convert_;
  uint32_t firstRow_;
  uint32_t rows_;
  BudgetBuffer<uint8_t> row_;
  uint64_t fill_ = 0;
  uint32_t done_ = 0;
};

// An LZW sink that appends the decoded bytes to a RowFeeder, as CAppendingPixelSink appends them
// to a buffer of the strip's size.
class FeederSink final : public CPlainPixelSink {
 public:
  FeederSink(const uint8_t* in, int32_t size, RowFeeder& feeder)
      : CPlainPixelSink(in, size, nullptr, 0), feeder_(feeder) {}
  int16_t PutLine(const uint8_t* line, int32_t count) override {
    feeder_.Append(line, static_cast<uint64_t>(count));
    if (feeder_.Full()) ignoreFurtherLines = true;
    return 0;
  }

 private:
  RowFeeder& feeder_;
};

// The compressed bytes of one strip, drawn from the budget.
bool ReadStripBytes(CTiffFile& file, uint32_t offset, uint32_t count, MemoryBudget& budget,
                    BudgetBuffer<uint8_t>& in) {
  return count <= INT32_MAX && in.Allocate(budget, count) &&
         file.ReadAt(offset, in.Data(), count);
}

CFaxDecoder MakeFaxDecoder(const TiffDirectory& dir, CTiffBitStream& stream, MemoryBudget& budget) {
  const bool t6 = dir.compression == kCompressionFaxT6;
  const bool t4 = dir.compression == kCompressionFaxT4;
  return CFaxDecoder(&stream, dir.photometric == kWhiteIsZero, t6, t4 && (dir.t4Options & 1) != 0,
                     t4 && (dir.t4Options & 4) != 0, !dir.faxTagsSeen, &budget);
}

// Decodes one strip of a page of 24 bits or less into its DIB rows. False when the strip cannot
// be read or its data is bad.
bool DecodeStripInPlace(CTiffFile& file, const TiffDirectory& dir, const StripTarget& t,
                        uint32_t rowsDone, uint32_t rows, uint32_t offset, uint32_t count,
                        MemoryBudget& budget) {
  const uint64_t needed = rows * t.rowBytes;
  uint8_t* const region = t.DibRow(rowsDone + rows - 1);
  const uint64_t regionSize = uint64_t{rows} * t.dibStride;
  // Bytes the page's own depth takes per row: the unit of the PackBits and fax buffers.
  const uint64_t workStride = (uint64_t{t.width} * t.bpp + 31) / 32 * 4;
  uint64_t produced = 0;  // bytes of the strip's rows the data supplied
  uint64_t touched = 0;   // nothing at or past this was written

  if (dir.compression == kCompressionNone) {
    // Rows the strip has no bytes for stay blank.
    produced = std::min<uint64_t>(count, needed);
    if (!file.ReadAt(offset, region, static_cast<size_t>(produced))) return false;
    touched = produced;
  } else {
    BudgetBuffer<uint8_t> in;
    if (!ReadStripBytes(file, offset, count, budget, in)) return false;
    if (dir.compression == kCompressionLzw) {
      if (needed > INT32_MAX) return false;
      // The decoded bytes fill the strip's rows from their start, whatever the line length, and
      // what does not fit is dropped.
      CAppendingPixelSink sink(in.Data(), static_cast<int32_t>(count), region,
                               static_cast<int32_t>(needed));
      CLzwDecoder lzw(8, CLzwDecoder::kMsbFirst, true, &sink, &budget);
      int32_t badCodes = 0;
      if (lzw.Decode(static_cast<int32_t>(t.width), &badCodes) != 0 || badCodes != 0) return false;
      produced = static_cast<uint64_t>(sink.pixelsPos);
      // Past the bytes delivered, the decoder may have written an unfinished line.
      touched = static_cast<uint64_t>(std::max(sink.pixelsPos, sink.pixelsReached));
    } else if (dir.compression == kCompressionPackBits) {
      // A run that would overflow a buffer of a full strip (of at most the page's height) ends
      // the expansion; of that buffer only the strip's rows are kept.
      PackBitsStream stream(in.Data(), count, workStride * std::min(dir.rowsPerStrip, t.height));
      produced = stream.Read(region, static_cast<size_t>(needed));
      touched = produced;
    } else {  // CCITT
      // The decoder's output is rows of (width + 7) / 8 bytes (R), in a buffer of the working
      // stride per row, which is the region itself: the page is 1 bit deep.
      if (regionSize > INT32_MAX) return false;
      CTiffBitStream stream(in.Data(), static_cast<int32_t>(count), region,
                            static_cast<int32_t>(regionSize), dir.fillOrder == 1);
      if (!MakeFaxDecoder(dir, stream, budget).Decode(static_cast<int32_t>(t.width),
                                                       static_cast<int32_t>(rows))) {
        return false;
      }
      produced = needed;
      touched = std::min<uint64_t>(regionSize, uint64_t(stream.outPos) + 1);
    }
  }

  // The last row with data is blank past the data, which the predictor sees as zero differences.
  const auto dataRows = static_cast<uint32_t>((produced + t.rowBytes - 1) / t.rowBytes);
  const uint64_t dataEnd = dataRows * t.rowBytes;
  if (touched > produced) {
    std::memset(region + produced, 0, static_cast<size_t>(std::min(touched, dataEnd) - produced));
  }
  touched = std::max(touched, dataEnd);
  if (t.predictorStep != 0) UndoDifferencing(region, dataRows, t.rowBytes, t.predictorStep);
  PlaceRows(t, region, rows, dataRows, touched);
  return true;
}

// Decodes one strip of a 32- or 48-bit page through a row in flight.
bool DecodeStripByRows(CTiffFile& file, const TiffDirectory& dir, const StripTarget& t,
                       const RowConverter& convert, uint32_t rowsDone, uint32_t rows,
                       uint32_t offset, uint32_t count, MemoryBudget& budget) {
  RowFeeder feeder(t, convert, rowsDone, rows);
  if (!feeder.Start(budget)) return false;
  const uint64_t needed = rows * t.rowBytes;
  if (dir.compression == kCompressionNone) {
    BudgetBuffer<uint8_t> piece;
    const uint64_t take = std::min<uint64_t>(count, needed);
    const size_t pieceSize = static_cast<size_t>(std::min<uint64_t>(take, 256 << 10));
    if (!piece.Allocate(budget, pieceSize)) return false;
    for (uint64_t at = 0; at < take; at += pieceSize) {
      const size_t k = static_cast<size_t>(std::min<uint64_t>(pieceSize, take - at));
      if (!file.ReadAt(offset + at, piece.Data(), k)) return false;
      feeder.Append(piece.Data(), k);
    }
  } else {
    BudgetBuffer<uint8_t> in;
    if (!ReadStripBytes(file, offset, count, budget, in)) return false;
    if (dir.compression == kCompressionLzw) {
      FeederSink sink(in.Data(), static_cast<int32_t>(count), feeder);
      CLzwDecoder lzw(8, CLzwDecoder::kMsbFirst, true, &sink, &budget);
      int32_t badCodes = 0;
      if (lzw.Decode(static_cast<int32_t>(t.width), &badCodes) != 0 || badCodes != 0) return false;
    } else if (dir.compression == kCompressionPackBits) {
      const uint64_t workStride = (uint64_t{t.width} * t.bpp + 31) / 32 * 4;
      PackBitsStream stream(in.Data(), count, workStride * std::min(dir.rowsPerStrip, t.height));
      uint8_t piece[16384];
      while (!feeder.Full()) {
        const size_t k = stream.Read(piece, sizeof piece);
        feeder.Append(piece, k);
        if (k < sizeof piece) break;
      }
    } else {
      return false;  // the fax decoders write 1-bit rows only (refused with the directory)
    }
  }
  feeder.Finish();
  return true;
}

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

  StripTarget target{doc.bits, width, height, dir.bitsPerSample,
                     PackedRowBytes(width, dir.bitsPerSample), DibRowBytes(width, layout.depth),
                     0, dir.photometric == kSeparated};
  if (dir.predictor == 2) {
    target.predictorStep = PredictorStep(dir);
    if (target.predictorStep == 0) return result;
  }

  // The strip table. Strips past those the page's rows need are never read.
  const StripArray offsets(file, *dir.stripOffsets);
  const StripArray byteCounts(file, *dir.stripByteCounts);
  if (!offsets.Check() || !byteCounts.Check()) return result;
  result.ok = true;

  const uint64_t fileSize = static_cast<uint64_t>(std::max<int64_t>(file.Size(), 0));
  const RowConverter convert(dir, width, file.littleEndian);
  for (uint32_t strip = 0; strip < dir.stripOffsets->count && result.rowsDone < height; ++strip) {
    const uint32_t rows = std::min(dir.rowsPerStrip, height - result.rowsDone);
    uint32_t offset, count;
    if (!offsets.Get(strip, offset) || !byteCounts.Get(strip, count)) break;
    if (count > 0 && !(CheckedSize(offset) + count).AtMost(fileSize)) break;
    const bool ok =
        target.InPlace()
            ? DecodeStripInPlace(file, dir, target, result.rowsDone, rows, offset, count,
                                 doc.budget)
            : DecodeStripByRows(file, dir, target, convert, result.rowsDone, rows, offset, count,
                                doc.budget);
    if (!ok) break;
    result.rowsDone += rows;
  }
  return result;
}

}  // namespace pelmor
