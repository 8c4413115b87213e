// DIBs and surfaces for the drawing tests.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/device_context.h"
#include "platform/stretch_dib.h"
#include "test_support.h"

namespace pelmor::test {

// A DIB laid out in one piece of memory: header (40 bytes or longer), the three masks after a
// 40-byte header that uses bit fields, the colour table, then the pixels.
struct DibRecipe {
  int32_t width = 1;
  int32_t height = 1;  // negative: top-down
  uint16_t bitCount = 24;
  uint32_t compression = BI_RGB;
  uint32_t headerSize = 40;
  uint32_t clrUsed = 0;
  uint32_t sizeImage = 0;       // 0: the pixel bytes' length for run-length data, else 0
  std::vector<uint32_t> masks;  // red, green, blue
  std::vector<uint32_t> table;  // entries as 0x00RRGGBB
  Bytes pixels;                 // as stored (rows padded by the caller)
};

class Dib {
 public:
  explicit Dib(const DibRecipe& recipe);
  const BITMAPINFOHEADER* Header() const {
    return reinterpret_cast<const BITMAPINFOHEADER*>(memory_.data());
  }
  const uint8_t* Bits() const { return memory_.data() + bitsOffset_; }
  platform::DibMemory Memory() const {
    return {memory_.data(), memory_.data() + memory_.size()};
  }

 private:
  Bytes memory_;
  size_t bitsOffset_ = 0;
};

// Rows of 24-bit pixels (0x00RRGGBB, picture rows from the top) as a bottom-up (or top-down) DIB.
DibRecipe TrueColorSpec(const std::vector<std::vector<uint32_t>>& rows, bool topDown = false);

// A surface with a display context on it, filled with one colour.
class Canvas {
 public:
  Canvas(int32_t width, int32_t height, uint32_t fill = 0x123456);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  platform::HDC Dc() const { return dc_; }
  platform::Surface& Surface() { return surface_; }
  uint32_t At(int32_t x, int32_t y) const { return surface_.Pixel(x, y); }
  // The pixels of a rectangle, rows from the top.
  std::vector<std::vector<uint32_t>> Rows(int32_t x, int32_t y, int32_t w, int32_t h) const;
  int Stretch(const Dib& dib, int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx, int32_t sy,
              int32_t sw, int32_t sh) const {
    return platform::StretchDIBits(dc_, x, y, w, h, sx, sy, sw, sh, dib.Bits(), dib.Header(),
                                   platform::DIB_RGB_COLORS, platform::SRCCOPY, dib.Memory());
  }

 private:
  platform::Surface surface_;
  platform::HDC dc_ = nullptr;
};

}  // namespace pelmor::test
