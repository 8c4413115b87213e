// Reading the pixels of a device-independent bitmap for drawing: which headers are drawable, where
// the colour table and masks are, and every row converted to 32-bit pixels (0x00RRGGBB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/dib_color.h"
#include "platform/dib_format.h"

namespace pelmor::platform {

// The memory a DIB's header, table, masks and pixels must lie in; both null when the caller
// vouches for them.
struct DibMemory {
  const uint8_t* begin = nullptr;
  const uint8_t* end = nullptr;
};

class DibReader {
 public:
  // False when the DIB cannot be drawn: no pixels, width not positive, height 0, a bit count and
  // compression that do not go together (1/4/8/24 bits take BI_RGB only, 16/32 bits BI_RGB or
  // BI_BITFIELDS, BI_RLE8 and BI_RLE4 need 8 and 4 bits, a bottom-up image and a non-zero
  // biSizeImage), or anything the header points to lying outside memory.
  bool Init(const BITMAPINFOHEADER* header, const void* bits, DibMemory memory);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool TopDown() const { return topDown_; }
  bool RunLength() const { return compression_ == BI_RLE8 || compression_ == BI_RLE4; }

  // For 24-bit images and 32-bit images with the standard masks the rows can be read in place:
  // 3 or 4 bytes per pixel, blue first. 0 for every other format.
  int DirectBytesPerPixel() const { return direct_; }
  // Start of a picture row (0 = top) of such an image.
  const uint8_t* DirectRow(int32_t y) const { return bits_ + RowOffset(y); }

  // Run-length images decode before reading: the rows [y0, y1) and columns [x0, x1) that will be
  // read (picture rows, 0 = top). False when that much memory cannot be had.
  bool Expand(int32_t y0, int32_t y1, int32_t x0, int32_t x1);

  // Pixels [x0, x1) of picture row y (0 = top) as 0x00RRGGBB. For run-length images the columns
  // must lie in the expanded area, and pixels the data never wrote take colour-table entry 0; when
  // `written` is given it receives 1 for every pixel the data wrote and 0 for the others.
  void ConvertRow(int32_t y, int32_t x0, int32_t x1, uint32_t* out, uint8_t* written = nullptr) const;
  // The same for a row of a large surface that nothing reads soon, painted from the top down:
  // 24-bit pixels are stored past the caches, which saves reading the destination in first, and
  // the row below is fetched meanwhile. FinishUncachedRows must follow the last such row before
  // its pixels are used.
  void ConvertRowUncached(int32_t y, int32_t x0, int32_t x1, uint32_t* out) const;
  static void FinishUncachedRows();

 private:
  size_t RowOffset(int32_t y) const {
    const int32_t memoryRow = topDown_ ? y : height_ - 1 - y;
    return static_cast<size_t>(memoryRow) * stride_;
  }
  void DecodeRunLength(int32_t memoryRow0, int32_t memoryRow1, int32_t x0, int32_t x1);

  const uint8_t* bits_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool topDown_ = false;
  uint16_t bitCount_ = 0;
  uint32_t compression_ = BI_RGB;
  uint32_t stride_ = 0;
  size_t runLengthBytes_ = 0;
  int direct_ = 0;
  uint32_t colors_[256] = {};  // the table as pixels; entries past the count are black
  DibColorMasks masks_;
  // The decoded run-length area: palette indices and written flags.
  int32_t expandedRow0_ = 0;  // first memory row held
  int32_t expandedRows_ = 0;
  int32_t expandedX0_ = 0;
  int32_t expandedColumns_ = 0;
  std::vector<uint8_t> indices_;
  std::vector<uint8_t> written_;
};

}  // namespace pelmor::platform
