// The device-independent bitmap's header and stride rule, as the drawing layer reads them: a
// BITMAPINFOHEADER (of 40 bytes or a later, longer version), an optional colour table of 4-byte
// entries (blue, green, red, 0), then rows each DibRowBytes(width, bitCount) bytes long.
#pragma once

#include <cstdint>
#include <optional>

namespace pelmor {

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

struct RGBQUAD {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
};
#pragma pack(pop)

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

// Row stride: the row length in bytes rounded up to a multiple of 4, in unsigned 32-bit
// arithmetic (so it wraps for absurd sizes; size checks use DibRowBytesChecked).
constexpr uint32_t DibRowBytes(uint32_t width, uint32_t bitCount) {
  return ((width * bitCount + 31) >> 3) & 0x1FFFFFFCu;
}

// The same stride, or nothing when width x bitCount does not fit 32 bits.
constexpr std::optional<uint32_t> DibRowBytesChecked(uint64_t width, uint64_t bitCount) {
  uint64_t bitsPerRow = width * bitCount;  // both come from 32-bit fields: cannot wrap 64 bits
  if (width > UINT32_MAX || bitCount > UINT32_MAX || bitsPerRow + 31 > UINT32_MAX) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(((bitsPerRow + 31) >> 3) & 0x1FFFFFFCu);
}

}  // namespace pelmor
