// A checked reading view of an uncompressed DIB, for the writers: its rows in picture order
// whatever the DIB's orientation, its colour table as 256 entries (black past the real table), and
// the colour fields of 16- and 32-bit pixels. Everything it points at lies inside the image block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "model/dib.h"
#include "model/dib_masks.h"

namespace pelmor {

struct DibView {
  int32_t width = 0;
  int32_t height = 0;  // always positive
  bool topDown = false;
  uint16_t bitCount = 0;
  uint32_t stride = 0;
  const uint8_t* bits = nullptr;
  std::array<RGBQUAD, 256> colors{};  // 1-, 4- and 8-bit images
  DibColorMasks masks;                // 16- and 32-bit images

  // Picture row y, 0 being the top.
  const uint8_t* Row(int32_t y) const {
    return bits + size_t{stride} * static_cast<size_t>(topDown ? y : height - 1 - y);
  }

  // The view of a DIB whose header, table and pixels must lie in [blockStart, blockEnd). Nothing
  // for depths other than 1, 4, 8, 16, 24 and 32, for run-length and other compressed rows, for
  // empty sizes, and when the pixels or masks reach outside the block. Table entries past the
  // block or past the header's colour count read as black.
  static std::optional<DibView> Of(const BITMAPINFOHEADER* header, const uint8_t* bits,
                                   const uint8_t* blockStart, const uint8_t* blockEnd);
};

}  // namespace pelmor
