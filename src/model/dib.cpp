#include "model/dib.h"

namespace pelmor {

int32_t ColorCountOf(const BITMAPINFOHEADER* header) {
  if (header == nullptr) return 0;
  if (header->biClrUsed != 0) return static_cast<int32_t>(header->biClrUsed);
  switch (header->biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    case 16:
    case 24:
    case 32: return 0;
    default: return -1;
  }
}

uint32_t DibTrailingMaskBytes(const BITMAPINFOHEADER* header) {
  if (header == nullptr || header->biSize != 40) return 0;
  if (header->biCompression == BI_BITFIELDS) return 12;
  if (header->biCompression == BI_ALPHABITFIELDS) return 16;
  return 0;
}

uint32_t DibColorTableOffset(const BITMAPINFOHEADER* header) {
  return header->biSize + DibTrailingMaskBytes(header);
}

}  // namespace pelmor
