#include "platform/dib_color.h"

#include <bit>

namespace pelmor {

DibColorField DibColorField::FromMask(uint32_t mask) {
  DibColorField f;
  f.mask = mask;
  if (mask != 0) {
    f.shift = static_cast<uint8_t>(std::countr_zero(mask));
    f.bits = static_cast<uint8_t>(32 - std::countl_zero(mask) - f.shift);
  }
  return f;
}

uint8_t DibColorField::Widen(uint32_t pixel) const {
  const uint32_t v = Value(pixel);
  if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
  if (bits == 0) return 0;
  const uint32_t top = v << (8 - bits);
  uint32_t out = top;
  for (int s = bits; s < 8; s += bits) out |= top >> s;
  return static_cast<uint8_t>(out);
}

bool DibColorMasks::IsDefaultFor(uint16_t bitCount) const {
  if (bitCount == 16) return red.mask == 0x7C00 && green.mask == 0x03E0 && blue.mask == 0x001F;
  if (bitCount == 32) return red.mask == 0xFF0000 && green.mask == 0xFF00 && blue.mask == 0xFF;
  return false;
}

}  // namespace pelmor
