#include "model/dib_masks.h"

#include "platform/byte_reader.h"

namespace pelmor {

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
