#include "codecs/jpeg_codec.h"

// jpeglib.h needs FILE and size_t declared first.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

// Blue-green-red scan lines straight from and to the library are libjpeg-turbo's extension of the
// 6b interface (Debian's libjpeg62-turbo).
#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo's colour-space extensions are needed"
#endif

#include "platform/checked_size.h"
#include "platform/memory_budget.h"
#include "model/dib_view.h"
#include "model/image_doc.h"

namespace pelmor {

namespace {

// A file that a hostile stream can make the library spend hours on: progressive files may carry
// any number of scans, and each pass over the whole coefficient buffer. Real encoders write a
// dozen or so.
constexpr int kMaxScans = 1000;
// Rows handed to the library per call: enough for its largest row group.
constexpr JDIMENSION kRowBatch = 16;
// A scan whose data runs out still visits every block it covers, doing nothing (some 50 ns a
// block). Visits of that kind are allowed up to four passes over the picture's blocks, plus this
// many, and then the file is refused: hundreds of empty scans over a big picture would otherwise
// cost a full pass each.
constexpr uint64_t kFreeStarvedBlocks = uint64_t{1} << 21;
constexpr uint64_t kStarvedPasses = 4;
// A picture of several scans keeps all its coefficients (64 of two bytes per block) until the last
// scan is read. Every block costs at least one bit in its component's first scan, so a complete
// file holds at most 8 blocks per byte: a buffer above kFreeCoefficientBytes for more blocks than
// that is refused before the library asks for it (and before the picture is made).
constexpr uint64_t kFreeCoefficientBytes = uint64_t{64} << 20;
constexpr uint64_t kBlocksPerFileByte = 8;

// The library's error manager with the point that a fatal error jumps back to, and what one call
// keeps beside the library: the memory it lets the library take, and the blocks visited by scans
// without data. Nothing the library says is shown or kept: a component has no console.
struct JpegSession {
  jpeg_error_mgr pub;
  std::jmp_buf jump;

  // Every allocation the library makes through its memory manager is counted here first.
  MemoryBudget* budget = nullptr;
  BudgetCharge charge;
  void* (*allocSmall)(j_common_ptr, int, size_t) = nullptr;
  void* (*allocLarge)(j_common_ptr, int, size_t) = nullptr;
  JSAMPARRAY (*allocSarray)(j_common_ptr, int, JDIMENSION, JDIMENSION) = nullptr;
  JBLOCKARRAY (*allocBarray)(j_common_ptr, int, JDIMENSION, JDIMENSION) = nullptr;
  jvirt_sarray_ptr (*requestSarray)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION,
                                    JDIMENSION) = nullptr;
  jvirt_barray_ptr (*requestBarray)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION,
                                    JDIMENSION) = nullptr;

  uint64_t starvedBlocks = 0;
  uint64_t starvedLimit = 0;
  int starvedScan = 0;  // the scan whose starved rest is counted already
};

JpegSession& SessionOf(j_common_ptr cinfo) { return *reinterpret_cast<JpegSession*>(cinfo->err); }

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
  std::longjmp(SessionOf(cinfo).jump, 1);
}

[[noreturn]] void Fail(j_common_ptr cinfo, J_MESSAGE_CODE code) {
  cinfo->err->msg_code = code;
  cinfo->err->error_exit(cinfo);
  std::abort();  // error_exit does not return
}

void DropMessage(j_common_ptr /*cinfo*/) {}

// The blocks of one component of a decompression.
uint64_t ComponentBlocks(const jpeg_component_info& c) {
  return uint64_t{c.width_in_blocks} * c.height_in_blocks;
}

// Whether the coefficient buffer of a picture of several scans would be far beyond what a file of
// `fileBytes` can fill (see kFreeCoefficientBytes).
bool CoefficientsBeyondFile(j_decompress_ptr d, uint64_t fileBytes) {
  if (!jpeg_has_multiple_scans(d)) return false;
  uint64_t blocks = 0, bufferBlocks = 0;
  for (int c = 0; c < d->num_components; ++c) {
    const jpeg_component_info& comp = d->comp_info[c];
    blocks += ComponentBlocks(comp);
    // The library rounds each component up to whole MCUs.
    const uint64_t h = static_cast<uint64_t>(std::max(comp.h_samp_factor, 1));
    const uint64_t v = static_cast<uint64_t>(std::max(comp.v_samp_factor, 1));
    bufferBlocks += (comp.width_in_blocks + h - 1) / h * h * ((comp.height_in_blocks + v - 1) / v * v);
  }
  return bufferBlocks * sizeof(JBLOCK) > kFreeCoefficientBytes &&
         blocks > kBlocksPerFileByte * fileBytes;
}

// Warnings are dropped, but one is counted: the data of a scan running out. The rest of that scan
// is then visited block by block for nothing.
void OnJpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  if (!cinfo->is_decompressor || cinfo->err->msg_code != JWRN_HIT_MARKER) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  JpegSession& session = SessionOf(cinfo);
  if (session.starvedScan == d->input_scan_number || d->total_iMCU_rows == 0) return;
  session.starvedScan = d->input_scan_number;
  const uint64_t rowsLeft = d->total_iMCU_rows - std::min(d->input_iMCU_row, d->total_iMCU_rows);
  const uint64_t scanBlocks =
      uint64_t{d->MCU_rows_in_scan} * d->MCUs_per_row * static_cast<uint64_t>(d->blocks_in_MCU);
  session.starvedBlocks += scanBlocks / d->total_iMCU_rows * rowsLeft;
  if (session.starvedBlocks > session.starvedLimit) Fail(cinfo, JERR_OUT_OF_MEMORY);
}

void LimitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->error_exit(cinfo);
  }
}

// Takes `bytes` (poisoned sizes refused) from the budget before the library allocates them.
void Charge(j_common_ptr cinfo, CheckedSize bytes) {
  JpegSession& session = SessionOf(cinfo);
  if (!bytes.Ok() || !session.charge.Add(*session.budget, bytes.Value())) {
    Fail(cinfo, JERR_OUT_OF_MEMORY);
  }
}

void* CountedSmall(j_common_ptr cinfo, int pool, size_t size) {
  Charge(cinfo, size);
  return SessionOf(cinfo).allocSmall(cinfo, pool, size);
}

void* CountedLarge(j_common_ptr cinfo, int pool, size_t size) {
  Charge(cinfo, size);
  return SessionOf(cinfo).allocLarge(cinfo, pool, size);
}

JSAMPARRAY CountedSarray(j_common_ptr cinfo, int pool, JDIMENSION samples, JDIMENSION rows) {
  Charge(cinfo, CheckedSize(rows) * (CheckedSize(samples) * sizeof(JSAMPLE) + sizeof(JSAMPROW)));
  return SessionOf(cinfo).allocSarray(cinfo, pool, samples, rows);
}

JBLOCKARRAY CountedBarray(j_common_ptr cinfo, int pool, JDIMENSION blocks, JDIMENSION rows) {
  Charge(cinfo, CheckedSize(rows) * (CheckedSize(blocks) * sizeof(JBLOCK) + sizeof(JBLOCKROW)));
  return SessionOf(cinfo).allocBarray(cinfo, pool, blocks, rows);
}

// Whole-image arrays (the coefficients of a progressive file) are counted when they are asked
// for, before any scan is read, and held in memory as a whole.
jvirt_sarray_ptr CountedVirtualSarray(j_common_ptr cinfo, int pool, boolean preZero,
                                      JDIMENSION samples, JDIMENSION rows, JDIMENSION access) {
  Charge(cinfo, CheckedSize(rows) * (CheckedSize(samples) * sizeof(JSAMPLE) + sizeof(JSAMPROW)));
  return SessionOf(cinfo).requestSarray(cinfo, pool, preZero, samples, rows, access);
}

jvirt_barray_ptr CountedVirtualBarray(j_common_ptr cinfo, int pool, boolean preZero,
                                      JDIMENSION blocks, JDIMENSION rows, JDIMENSION access) {
  Charge(cinfo, CheckedSize(rows) * (CheckedSize(blocks) * sizeof(JBLOCK) + sizeof(JBLOCKROW)));
  return SessionOf(cinfo).requestBarray(cinfo, pool, preZero, blocks, rows, access);
}

// Routes the library's allocations through the budget; called right after the object is created.
// Its own limit is what the budget has left, so whole-image arrays beyond it fail at once.
void CountLibraryMemory(j_common_ptr cinfo, MemoryBudget& budget) {
  JpegSession& session = SessionOf(cinfo);
  session.budget = &budget;
  jpeg_memory_mgr& mem = *cinfo->mem;
  session.allocSmall = mem.alloc_small;
  session.allocLarge = mem.alloc_large;
  session.allocSarray = mem.alloc_sarray;
  session.allocBarray = mem.alloc_barray;
  session.requestSarray = mem.request_virt_sarray;
  session.requestBarray = mem.request_virt_barray;
  mem.alloc_small = CountedSmall;
  mem.alloc_large = CountedLarge;
  mem.alloc_sarray = CountedSarray;
  mem.alloc_barray = CountedBarray;
  mem.request_virt_sarray = CountedVirtualSarray;
  mem.request_virt_barray = CountedVirtualBarray;
  const uint64_t left = budget.Cap() - std::min(budget.Used(), budget.Cap());
  mem.max_memory_to_use = static_cast<long>(std::min<uint64_t>(std::max<uint64_t>(left, 1), LONG_MAX));
}

void InitSession(JpegSession& session) {
  jpeg_std_error(&session.pub);
  session.pub.error_exit = OnJpegError;
  // Warnings (extraneous bytes, data ending early, which the library pads) do not stop decoding.
  session.pub.output_message = DropMessage;
  session.pub.emit_message = OnJpegMessage;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The library objects of one call, released on every way out of it. Zero-filled, so destroying
// an object that was never created does nothing.
struct Decompressor {
  jpeg_decompress_struct cinfo{};
  JpegSession session{};
  jpeg_progress_mgr progress{};
  Decompressor() {
    InitSession(session);
    cinfo.err = &session.pub;
    progress.progress_monitor = LimitScans;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
};

struct Compressor {
  jpeg_compress_struct cinfo{};
  JpegSession session{};
  Compressor() {
    InitSession(session);
    cinfo.err = &session.pub;
  }
  ~Compressor() { jpeg_destroy_compress(&cinfo); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
};

// Everything of Load after the jump point is armed. Only plain locals live here: a library error
// leaves this frame by a long jump.
bool Decode(CImageDoc& doc, Decompressor& d, std::FILE* file, uint64_t fileBytes) {
  jpeg_decompress_struct& cinfo = d.cinfo;
  jpeg_create_decompress(&cinfo);
  CountLibraryMemory(reinterpret_cast<j_common_ptr>(&cinfo), doc.budget);
  cinfo.progress = &d.progress;
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);

  const J_COLOR_SPACE space = cinfo.jpeg_color_space;
  if (space == JCS_UNKNOWN || space == JCS_CMYK || space == JCS_YCCK) return false;
  const bool grey = space == JCS_GRAYSCALE;
  // The library writes blue, green, red itself: the same bytes as swapping its RGB output.
  if (!grey) cinfo.out_color_space = JCS_EXT_BGR;
  if (doc.block) return false;

  if (CoefficientsBeyondFile(&cinfo, fileBytes)) return false;

  // The image is allocated before decompression starts, so that a file claiming a huge picture is
  // refused before the library builds its buffers for it.
  jpeg_calc_output_dimensions(&cinfo);
  const int components = grey ? 1 : 3;
  const JDIMENSION width = cinfo.output_width;
  const JDIMENSION height = cinfo.output_height;
  if (cinfo.output_components != components || width == 0 || height == 0 ||
      width > INT32_MAX || height > INT32_MAX) {
    return false;
  }
  if (!doc.CreateDib(static_cast<int32_t>(width), static_cast<int32_t>(height),
                     static_cast<uint16_t>(8 * components), grey ? 256 : 0)) {
    return false;
  }
  if (grey) {
    doc.header->biClrUsed = 256;
    doc.header->biClrImportant = 256;
    auto* table = reinterpret_cast<RGBQUAD*>(doc.header + 1);
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<uint8_t>(i);
      table[i] = {v, v, v, 0};
    }
  }

  uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c) blocks += ComponentBlocks(cinfo.comp_info[c]);
  d.session.starvedLimit = kFreeStarvedBlocks + kStarvedPasses * blocks;

  jpeg_start_decompress(&cinfo);
  if (cinfo.output_width != width || cinfo.output_height != height ||
      cinfo.output_components != components) {
    return false;
  }
  // Each scan line goes straight into its final row: the top of the picture is the last row.
  const size_t stride = DibRowBytes(width, 8 * components);
  JSAMPROW rows[kRowBatch];
  while (cinfo.output_scanline < height) {
    const JDIMENSION first = cinfo.output_scanline;
    const JDIMENSION count = height - first < kRowBatch ? height - first : kRowBatch;
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = doc.bits + (height - 1 - first - i) * stride;
    if (jpeg_read_scanlines(&cinfo, rows, count) == 0) return false;
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

// 5-bit to 8-bit expansion of 16-bit pixels: 0 and 31 give black and full intensity, the values
// in between 8v + 8.
constexpr std::array<uint8_t, 32> kFiveBitLevels = [] {
  std::array<uint8_t, 32> t{};
  for (int v = 1; v < 31; ++v) t[v] = static_cast<uint8_t>(8 * v + 8);
  t[31] = 255;
  return t;
}();

uint8_t Expand(const DibColorField& field, uint32_t pixel) {
  return field.bits == 5 ? kFiveBitLevels[field.Value(pixel)] : field.Widen(pixel);
}

// One picture row of the DIB as red, green, blue samples.
void ConvertRow(const DibView& v, int32_t y, JSAMPLE* out) {
  const uint8_t* row = v.Row(y);
  const auto put = [&out](uint8_t r, uint8_t g, uint8_t b) {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out += 3;
  };
  const auto putIndex = [&](unsigned index) {
    const RGBQUAD& c = v.colors[index];
    put(c.rgbRed, c.rgbGreen, c.rgbBlue);
  };
  const int32_t w = v.width;
  switch (v.bitCount) {
    case 1:
      for (int32_t x = 0; x < w; ++x) putIndex((row[x >> 3] >> (7 - (x & 7))) & 1);
      break;
    case 4:
      for (int32_t x = 0; x < w; ++x) putIndex(x & 1 ? row[x >> 1] & 15 : row[x >> 1] >> 4);
      break;
    case 8:
      for (int32_t x = 0; x < w; ++x) putIndex(row[x]);
      break;
    case 16:
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t p = static_cast<uint32_t>(row[2 * x] | row[2 * x + 1] << 8);
        put(Expand(v.masks.red, p), Expand(v.masks.green, p), Expand(v.masks.blue, p));
      }
      break;
    case 24:
      for (int32_t x = 0; x < w; ++x) put(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
      break;
    case 32:
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t p = static_cast<uint32_t>(row[4 * x]) | row[4 * x + 1] << 8 |
                           row[4 * x + 2] << 16 | static_cast<uint32_t>(row[4 * x + 3]) << 24;
        put(Expand(v.masks.red, p), Expand(v.masks.green, p), Expand(v.masks.blue, p));
      }
      break;
  }
}

// 24-bit rows and 32-bit rows of the usual layout are handed to the library as they are (it reads
// blue, green, red and skips the fourth byte itself); every other depth is converted first.
std::optional<J_COLOR_SPACE> DirectSpace(const DibView& v) {
  if (v.bitCount == 24) return JCS_EXT_BGR;
  if (v.bitCount == 32 && v.masks.IsDefaultFor(32)) return JCS_EXT_BGRX;
  return std::nullopt;
}

// Rows converted per call of the writer: a band of at least 16 rows and about 256 KiB, so that
// the copy stays small and in cache whatever the picture's size.
JDIMENSION BandRows(int32_t width, JDIMENSION height) {
  const uint64_t rowBytes = uint64_t{static_cast<uint32_t>(width)} * 3;
  const uint64_t rows = std::max<uint64_t>(kRowBatch, (uint64_t{256} << 10) / rowBytes);
  return static_cast<JDIMENSION>(std::min<uint64_t>(rows, height));
}

// Everything of WriteJpeg after the jump point is armed (plain locals only, as in Decode). Rows
// go to the library band by band; what it writes does not depend on how the rows are handed over.
bool Encode(Compressor& c, FilePtr& file, const char* fileName, int32_t quality,
            const DibView& v, MemoryBudget& budget) {
  jpeg_compress_struct& cinfo = c.cinfo;
  jpeg_create_compress(&cinfo);
  CountLibraryMemory(reinterpret_cast<j_common_ptr>(&cinfo), budget);
  file.reset(std::fopen(fileName, "wb"));
  if (!file) return false;
  jpeg_stdio_dest(&cinfo, file.get());

  const std::optional<J_COLOR_SPACE> direct = DirectSpace(v);
  cinfo.image_width = static_cast<JDIMENSION>(v.width);
  cinfo.image_height = static_cast<JDIMENSION>(v.height);
  cinfo.input_components = direct == JCS_EXT_BGRX ? 4 : 3;
  cinfo.in_color_space = direct ? *direct : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);

  const auto height = static_cast<JDIMENSION>(v.height);
  const JDIMENSION band = BandRows(v.width, height);
  auto* common = reinterpret_cast<j_common_ptr>(&cinfo);
  JSAMPARRAY rows = direct ? static_cast<JSAMPARRAY>(cinfo.mem->alloc_small(
                                 common, JPOOL_IMAGE, sizeof(JSAMPROW) * band))
                           : cinfo.mem->alloc_sarray(common, JPOOL_IMAGE,
                                                     static_cast<JDIMENSION>(v.width) * 3, band);
  for (JDIMENSION first = 0; first < height; first += band) {
    const JDIMENSION count = std::min(band, height - first);
    for (JDIMENSION i = 0; i < count; ++i) {
      const auto y = static_cast<int32_t>(first + i);
      if (direct) {
        rows[i] = const_cast<JSAMPROW>(v.Row(y));
      } else {
        ConvertRow(v, y, rows[i]);
      }
    }
    if (jpeg_write_scanlines(&cinfo, rows, count) != count) return false;
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

}  // namespace

bool CJpegCodec::Load(int32_t /*imageIndex*/) {
  CImageDoc& doc = *owner;
  FilePtr file(std::fopen(doc.fileName.c_str(), "rb"));
  if (!file) return false;
  Decompressor d;
  struct stat info {};
  if (::fstat(::fileno(file.get()), &info) != 0 || info.st_size < 0) return false;
  const auto fileBytes = static_cast<uint64_t>(info.st_size);
  if (setjmp(d.session.jump) != 0) return false;  // the library gave up; d and file clean up
  if (!Decode(doc, d, file.get(), fileBytes)) return false;
  doc.imageCount = 1;
  doc.currentImage = 0;
  return true;
}

std::optional<int32_t> CJpegCodec::QualityForRatio(float compressionRatio) {
  const double quality = static_cast<double>(compressionRatio) * 100.0;
  // Truncation toward zero: anything above -1 and below 101 lands in 0..100.
  if (!(quality > -1.0 && quality < 101.0)) return std::nullopt;
  return static_cast<int32_t>(quality);
}

bool CJpegCodec::Save(const char* fileName, float compressionRatio) {
  const std::optional<int32_t> quality = QualityForRatio(compressionRatio);
  return quality && WriteJpeg(fileName, *quality);
}

bool CJpegCodec::WriteJpeg(const char* fileName, int32_t quality) {
  const CImageDoc& doc = *owner;
  if (!doc.block || doc.header == nullptr || doc.bits == nullptr || quality < 0 ||
      quality > 100 || fileName == nullptr) {
    return false;
  }
  // Everything that can be refused is refused before the file is created.
  const std::optional<DibView> view =
      DibView::Of(doc.header, doc.bits, doc.block.Data(), doc.BlockEnd());
  if (!view || view->width > JPEG_MAX_DIMENSION || view->height > JPEG_MAX_DIMENSION) return false;

  FilePtr file;
  Compressor c;
  if (setjmp(c.session.jump) != 0) return false;  // a partial file may remain, as with any write
  if (!Encode(c, file, fileName, quality, *view, owner->budget)) return false;
  jpeg_destroy_compress(&c.cinfo);
  return std::fclose(file.release()) == 0;
}

}  // namespace pelmor
