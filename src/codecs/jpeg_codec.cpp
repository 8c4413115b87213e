#include "codecs/jpeg_codec.h"

// jpeglib.h needs FILE and size_t declared first.
#include <array>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

// Blue-green-red scan lines straight from and to the library are libjpeg-turbo's extension of the
// 6b interface (Debian's libjpeg62-turbo).
#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo's colour-space extensions are needed"
#endif

#include "model/checked_size.h"
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

// The library's error manager with the point that a fatal error jumps back to. Nothing the
// library says is shown or kept: a component has no console.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

void DropMessage(j_common_ptr /*cinfo*/) {}

void InitErrorManager(JpegErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = OnJpegError;
  // Warnings (extraneous bytes, data ending early, which the library pads) do not stop decoding.
  err.pub.output_message = DropMessage;
}

void LimitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->error_exit(cinfo);
  }
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The library objects of one call, released on every way out of it. Zero-filled, so destroying
// an object that was never created does nothing.
struct Decompressor {
  jpeg_decompress_struct cinfo{};
  JpegErrorManager err{};
  jpeg_progress_mgr progress{};
  Decompressor() {
    InitErrorManager(err);
    cinfo.err = &err.pub;
    progress.progress_monitor = LimitScans;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
};

struct Compressor {
  jpeg_compress_struct cinfo{};
  JpegErrorManager err{};
  Compressor() {
    InitErrorManager(err);
    cinfo.err = &err.pub;
  }
  ~Compressor() { jpeg_destroy_compress(&cinfo); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
};

// Memory the library may take for whole-image buffers (progressive files keep every coefficient,
// two bytes a sample): twice the largest image the document accepts, and a little more.
long LibraryMemoryLimit() {
  const uint64_t limit = ImageAllocationLimit() * 2 + (uint64_t{64} << 20);
  return limit > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(limit);
}

// Everything of Load after the jump point is armed. Only plain locals live here: a library error
// leaves this frame by a long jump.
bool Decode(CImageDoc& doc, Decompressor& d, std::FILE* file) {
  jpeg_decompress_struct& cinfo = d.cinfo;
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = LibraryMemoryLimit();
  cinfo.progress = &d.progress;
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);

  const J_COLOR_SPACE space = cinfo.jpeg_color_space;
  if (space == JCS_UNKNOWN || space == JCS_CMYK || space == JCS_YCCK) return false;
  const bool grey = space == JCS_GRAYSCALE;
  // The library writes blue, green, red itself: the same bytes as swapping its RGB output.
  if (!grey) cinfo.out_color_space = JCS_EXT_BGR;
  if (doc.block) return false;

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

// Everything of WriteJpeg after the jump point is armed (plain locals only, as in Decode).
bool Encode(Compressor& c, FilePtr& file, const char* fileName, int32_t quality,
            const DibView& v) {
  jpeg_compress_struct& cinfo = c.cinfo;
  jpeg_create_compress(&cinfo);
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
  JSAMPARRAY rows;
  if (direct) {
    rows = static_cast<JSAMPARRAY>(
        cinfo.mem->alloc_small(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                               sizeof(JSAMPROW) * height));
    for (int32_t y = 0; y < v.height; ++y) rows[y] = const_cast<JSAMPROW>(v.Row(y));
  } else {
    rows = cinfo.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                   static_cast<JDIMENSION>(v.width) * 3, height);
    for (int32_t y = 0; y < v.height; ++y) ConvertRow(v, y, rows[y]);
  }
  if (jpeg_write_scanlines(&cinfo, rows, height) != height) return false;
  jpeg_finish_compress(&cinfo);
  return true;
}

}  // namespace

bool CJpegCodec::Load(int32_t /*imageIndex*/) {
  CImageDoc& doc = *owner;
  FilePtr file(std::fopen(doc.fileName.c_str(), "rb"));
  if (!file) return false;
  Decompressor d;
  if (setjmp(d.err.jump) != 0) return false;  // the library gave up; d and file clean up
  if (!Decode(doc, d, file.get())) return false;
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
  if (!DirectSpace(*view) &&
      !(CheckedSize(view->width) * 3 * view->height).AtMost(ImageAllocationLimit())) {
    return false;
  }

  FilePtr file;
  Compressor c;
  if (setjmp(c.err.jump) != 0) return false;  // a partial file may remain, as with any write
  if (!Encode(c, file, fileName, quality, *view)) return false;
  jpeg_destroy_compress(&c.cinfo);
  return std::fclose(file.release()) == 0;
}

}  // namespace pelmor
