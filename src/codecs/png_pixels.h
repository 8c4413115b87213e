// Row-level pieces of the PNG pixel stage: the five filters of filter method 0 and the writers
// that put one unfiltered row into a DIB row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmor::png_pixels {

// The PNG standard's predictor with its tie order: a (left), then b (up), then c (upper left).
inline uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  const int pa = b > c ? b - c : c - b;  // |p - a| with p = a + b - c
  const int pb = a > c ? a - c : c - a;  // |p - b|
  const int pc = (a + b - 2 * c) < 0 ? 2 * c - a - b : a + b - 2 * c;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Reverses the filter of one row: raw holds its length filtered bytes (without the type byte), out
// receives them unfiltered. previous is the row above, already unfiltered, or null for the first
// row of an image or pass (a row of zeros); out may be previous itself, which is then replaced row
// by row. raw must not overlap out. bpp is the filter unit. False for a filter type above 4.
bool Unfilter(uint8_t type, const uint8_t* raw, uint8_t* out, const uint8_t* previous, size_t length,
              uint32_t bpp);

// Writes unfiltered rows of one image or pass into DIB rows.
struct RowWriter {
  uint8_t bitDepth = 8;
  uint8_t colourType = 0;
  bool hasAlpha = false;
  bool indexed = false;     // rows of indices or grey levels into a 1-, 4- or 8-bit DIB
  bool interlaced = false;  // pixels land at x0, x0 + dx, ... and are OR-ed in below 8 bits
  uint32_t width = 0;       // pixels in the row
  uint32_t x0 = 0;
  uint32_t dx = 1;
  uint32_t backColor = 0xFFFFFF;  // 0x00BBGGRR, under alpha

  // Indexed rows keep their values (2-bit values become nibbles, 16-bit grey its high byte).
  // Other rows become blue, green, red, 16-bit samples cut to their high byte, alpha composited
  // over backColor as (C x a + K x (255 - a)) / 256.
  void Write(const uint8_t* src, uint8_t* dst) const;
};

}  // namespace pelmor::png_pixels
