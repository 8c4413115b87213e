// Where the colour fields of a 16- or 32-bit DIB are. The fields themselves (DibColorField) live
// with the drawing layer, which reads them too.
#pragma once

#include <cstdint>
#include <optional>

#include "model/dib.h"
#include "platform/dib_color.h"  // DibColorField, DibColorMasks

namespace pelmor {

// The colour fields of a 16- or 32-bit DIB: 5-5-5 or 8-8-8 for BI_RGB, the three words at header
// byte 40 for BI_BITFIELDS and BI_ALPHABITFIELDS (after a 40-byte header, or inside a longer one).
// Nothing for other depths or compressions, or when the words would lie at or past `end`.
std::optional<DibColorMasks> DibMasksOf(const BITMAPINFOHEADER* header, const uint8_t* end);

}  // namespace pelmor
