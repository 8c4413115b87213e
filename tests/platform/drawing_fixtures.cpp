#include "platform/drawing_fixtures.h"

#include <algorithm>
#include <cstring>

namespace pelmor::test {

Dib::Dib(const DibRecipe& s) {
  ByteWriter w;
  const bool bitfields = s.compression == BI_BITFIELDS;
  w.U32(s.headerSize).U32(static_cast<uint32_t>(s.width)).U32(static_cast<uint32_t>(s.height));
  w.U16(1).U16(s.bitCount).U32(s.compression);
  const bool runLength = s.compression == BI_RLE8 || s.compression == BI_RLE4;
  w.U32(s.sizeImage != 0 ? s.sizeImage : runLength ? static_cast<uint32_t>(s.pixels.size()) : 0);
  w.U32(2835).U32(2835).U32(s.clrUsed).U32(0);
  if (s.headerSize > 40) {
    // Longer headers hold the masks at byte 40.
    for (size_t i = 0; i < 3; ++i) w.U32(bitfields && i < s.masks.size() ? s.masks[i] : 0);
    w.Fill(s.headerSize - 52, 0);
  } else if (bitfields) {
    for (uint32_t m : s.masks) w.U32(m);
  }
  for (uint32_t c : s.table) w.U32(c);
  bitsOffset_ = w.Size();
  w.Append(s.pixels);
  memory_ = w.Take();
}

DibRecipe TrueColorSpec(const std::vector<std::vector<uint32_t>>& rows, bool topDown) {
  DibRecipe s;
  s.height = static_cast<int32_t>(rows.size());
  s.width = static_cast<int32_t>(rows[0].size());
  if (topDown) s.height = -s.height;
  const uint32_t stride = DibRowBytes(static_cast<uint32_t>(s.width), 24);
  s.pixels.assign(static_cast<size_t>(stride) * rows.size(), 0);
  for (size_t y = 0; y < rows.size(); ++y) {
    const size_t memoryRow = topDown ? y : rows.size() - 1 - y;
    for (size_t x = 0; x < rows[y].size(); ++x) {
      uint8_t* p = s.pixels.data() + memoryRow * stride + 3 * x;
      p[0] = static_cast<uint8_t>(rows[y][x]);
      p[1] = static_cast<uint8_t>(rows[y][x] >> 8);
      p[2] = static_cast<uint8_t>(rows[y][x] >> 16);
    }
  }
  return s;
}

Canvas::Canvas(int32_t width, int32_t height, uint32_t fill)
    : surface_(platform::Surface::Create(width, height)) {
  for (int32_t y = 0; y < height; ++y) std::fill_n(surface_.Row(y), width, fill);
  dc_ = platform::CreateDisplayDC(&surface_);
}

Canvas::~Canvas() { platform::DeleteDC(dc_); }

std::vector<std::vector<uint32_t>> Canvas::Rows(int32_t x, int32_t y, int32_t w, int32_t h) const {
  std::vector<std::vector<uint32_t>> out;
  for (int32_t r = 0; r < h; ++r) {
    out.emplace_back(surface_.Row(y + r) + x, surface_.Row(y + r) + x + w);
  }
  return out;
}

}  // namespace pelmor::test
