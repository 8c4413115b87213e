// The pixels the drawing layer paints on: 32-bit surfaces, rows from the top, each pixel
// 0x00RRGGBB (in memory blue, green, red, 0). A monochrome surface keeps the same layout but holds
// only black and white.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace pelmor::platform {

// A colour reference 0x00BBGGRR. A high byte of 0x01 asks for an entry of the device context's
// palette (PALETTEINDEX); 0x02 is a plain colour (PALETTERGB).
using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16;
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>(c >> 16); }

// Surface pixel (0x00RRGGBB) from a plain colour reference and back.
constexpr uint32_t PixelFromColor(COLORREF c) {
  return uint32_t{GetRValue(c)} << 16 | uint32_t{GetGValue(c)} << 8 | GetBValue(c);
}
constexpr COLORREF ColorFromPixel(uint32_t p) {
  return RGB(static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p));
}

// Right and bottom are exclusive.
struct RECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

struct POINT {
  int32_t x;
  int32_t y;
};

struct SIZE {
  int32_t cx;
  int32_t cy;
};

// The nearest of black and white, as a monochrome surface stores a colour.
constexpr uint32_t MonochromePixel(uint32_t p) {
  const uint32_t sum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
  return sum > 382 ? 0xFFFFFFu : 0u;
}

class Surface {
 public:
  Surface() = default;
  Surface(Surface&&) noexcept = default;
  Surface& operator=(Surface&&) noexcept = default;

  // A black surface of the given size; an empty one when a side is not positive, the pixels would
  // exceed the image allocation limit, or the memory cannot be had.
  static Surface Create(int32_t width, int32_t height, bool monochrome = false);

  explicit operator bool() const { return pixels_ != nullptr; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Monochrome() const { return monochrome_; }

  uint32_t* Row(int32_t y) { return pixels_.get() + static_cast<size_t>(y) * width_; }
  const uint32_t* Row(int32_t y) const { return pixels_.get() + static_cast<size_t>(y) * width_; }
  uint32_t Pixel(int32_t x, int32_t y) const { return Row(y)[x]; }
  void SetPixel(int32_t x, int32_t y, uint32_t p) { Row(y)[x] = monochrome_ ? MonochromePixel(p) : p; }

  // Cuts a rectangle to the surface; false when nothing of it is left.
  bool Clip(RECT& r) const;
  // After painting a rectangle (inside the surface) of a monochrome surface: every pixel becomes
  // black or white. Nothing happens on a colour surface.
  void Settle(const RECT& r);

 private:
  struct Free {
    void operator()(uint32_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint32_t[], Free> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool monochrome_ = false;
};

}  // namespace pelmor::platform
