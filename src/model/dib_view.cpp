#include "model/dib_view.h"

#include <algorithm>
#include <cstring>

#include "platform/checked_size.h"

namespace pelmor {

std::optional<DibView> DibView::Of(const BITMAPINFOHEADER* header, const uint8_t* bits,
                                   const uint8_t* blockStart, const uint8_t* blockEnd) {
  if (header == nullptr || bits == nullptr || blockStart == nullptr || blockEnd <= blockStart) {
    return std::nullopt;
  }
  const auto* base = reinterpret_cast<const uint8_t*>(header);
  const auto inside = [&](const uint8_t* p, CheckedSize n) {
    return p >= blockStart && p <= blockEnd &&
           (CheckedSize(p - blockStart) + n).AtMost(static_cast<uint64_t>(blockEnd - blockStart));
  };
  if (!inside(base, sizeof(BITMAPINFOHEADER))) return std::nullopt;

  DibView v;
  const int32_t w = header->biWidth;
  const int32_t h = header->biHeight;
  if (w <= 0 || h == 0 || h == INT32_MIN) return std::nullopt;
  v.width = w;
  v.height = h < 0 ? -h : h;
  v.topDown = h < 0;
  v.bitCount = header->biBitCount;
  const uint32_t compression = header->biCompression;
  switch (v.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
      if (compression != BI_RGB) return std::nullopt;
      break;
    case 16:
    case 32: {
      auto masks = DibMasksOf(header, blockEnd);
      if (!masks) return std::nullopt;
      v.masks = *masks;
      break;
    }
    default:
      return std::nullopt;
  }
  const auto stride = DibRowBytesChecked(static_cast<uint64_t>(w), v.bitCount);
  if (!stride || !inside(bits, CheckedSize(*stride) * v.height)) return std::nullopt;
  v.stride = *stride;
  v.bits = bits;

  if (v.bitCount <= 8) {
    // Only the first 2^depth entries can be indexed; an index past the table draws black.
    const int32_t count = ColorCountOf(header);
    const auto* table = base + DibColorTableOffset(header);
    int64_t usable = std::min<int64_t>(count, int64_t{1} << v.bitCount);
    if (table < blockStart || table >= blockEnd) {
      usable = 0;
    } else {
      usable = std::min<int64_t>(usable, (blockEnd - table) / 4);
    }
    if (usable > 0) std::memcpy(v.colors.data(), table, static_cast<size_t>(usable) * 4);
  }
  return v;
}

}  // namespace pelmor
