// Drawing objects handed out by handle, as the drawing layer's callers expect: created by one call,
// released by DeleteObject.
#pragma once

#include <cstdint>
#include <vector>

namespace pelmor::platform {

class GdiObject {
 public:
  virtual ~GdiObject() = default;
  // How many device contexts have this object selected; such an object cannot be deleted.
  int selectCount = 0;
};

using HGDIOBJ = GdiObject*;

struct PALETTEENTRY {
  uint8_t peRed;
  uint8_t peGreen;
  uint8_t peBlue;
  uint8_t peFlags;
};

class GdiPalette : public GdiObject {
 public:
  uint16_t version = 0x300;
  std::vector<PALETTEENTRY> entries;
};

using HPALETTE = GdiPalette*;

// A logical palette with a copy of the given entries; null when count is 0 or entries is null.
HPALETTE CreatePalette(uint16_t version, const PALETTEENTRY* entries, uint32_t count);

// Releases an object; false for null or for an object still selected into a device context.
bool DeleteObject(HGDIOBJ object);

}  // namespace pelmor::platform
