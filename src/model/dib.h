// The device-independent bitmap: the one in-memory image format. A 40-byte BITMAPINFOHEADER, an
// optional colour table of 4-byte entries (blue, green, red, 0), then rows bottom-up, each
// DibRowBytes(width, bitCount) bytes long.
#pragma once

#include <cstdint>

#include "platform/dib_format.h"  // BITMAPINFOHEADER, RGBQUAD, BI_*, DibRowBytes

namespace pelmor {

// Colour-table size of a header: biClrUsed when non-zero, else 2/16/256 for 1/4/8 bits, 0 for
// 16/24/32 bits and -1 for any other depth. 0 without a header.
int32_t ColorCountOf(const BITMAPINFOHEADER* header);

// Byte offset of the colour table from the header start: the table follows the header whatever
// its version, after the three (or four) mask words when a 40-byte header uses bit fields.
uint32_t DibColorTableOffset(const BITMAPINFOHEADER* header);

// Bytes of mask words that follow a 40-byte header (12 for BI_BITFIELDS, 16 for
// BI_ALPHABITFIELDS, 0 otherwise or for longer headers, which hold the masks themselves).
uint32_t DibTrailingMaskBytes(const BITMAPINFOHEADER* header);

}  // namespace pelmor
