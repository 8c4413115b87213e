#include "model/dib_masks.h"

#include <bit>

#include "model/byte_reader.h"

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


std::optional<DibColorMasks> DibMasksOf(const BITMAPINFOHEADER* header, const uint8_t* end) {
  if (header == nullptr) return std::nullopt;
  const uint16_t bitCount = header->biBitCount;
  if (bitCount != 16 && bitCount != 32) return std::nullopt;
  uint32_t r, g, b;
  switch (header->biCompression) {
    case BI_RGB:
      if (bitCount == 16) {
        r = 0x7C00, g = 0x03E0, b = 0x001F;
      } else {
        r = 0xFF0000, g = 0xFF00, b = 0xFF;
      }
      break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS: {
      const auto* words = reinterpret_cast<const uint8_t*>(header) + sizeof(BITMAPINFOHEADER);
      if (end == nullptr || words > end || end - words < 12) return std::nullopt;
      r = LoadU32LE(words);
      g = LoadU32LE(words + 4);
      b = LoadU32LE(words + 8);
      break;
    }
    default:
      return std::nullopt;
  }
  return DibColorMasks{DibColorField::FromMask(r), DibColorField::FromMask(g),
                       DibColorField::FromMask(b)};
}

}  // namespace pelmor
