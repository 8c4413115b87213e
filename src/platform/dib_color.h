// The colour fields of 16- and 32-bit DIB pixels: where red, green and blue sit in a pixel word,
// and how a field is widened to 8 bits. Used by the writers, which must turn any true-colour DIB
// into plain colour samples, and by drawing, which converts every DIB to 32-bit pixels.
#pragma once

#include <cstdint>

namespace pelmor {

struct DibColorField {
  uint32_t mask = 0;
  uint8_t shift = 0;  // position of the mask's lowest bit
  uint8_t bits = 0;   // from the lowest to the highest bit of the mask

  static DibColorField FromMask(uint32_t mask);
  // The field's value, right-aligned.
  uint32_t Value(uint32_t pixel) const { return (pixel & mask) >> shift; }
  // The field widened to 8 bits: a field of 8 bits or more gives its top 8 bits, a shorter one
  // is left-aligned and its top bits repeated below (5-bit 31 -> 255, 6-bit 1 -> 4).
  uint8_t Widen(uint32_t pixel) const;
};

struct DibColorMasks {
  DibColorField red;
  DibColorField green;
  DibColorField blue;

  // 5-5-5 for 16 bits, 8-8-8 for 32 bits: what an uncompressed DIB means.
  bool IsDefaultFor(uint16_t bitCount) const;
};

}  // namespace pelmor
