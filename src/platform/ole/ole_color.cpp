#include "platform/ole/ole_color.h"

namespace pelmor::ole {

namespace {

constexpr COLORREF Rgb(uint32_t rrggbb) {
  return platform::RGB(static_cast<uint8_t>(rrggbb >> 16), static_cast<uint8_t>(rrggbb >> 8),
                       static_cast<uint8_t>(rrggbb));
}

}  // namespace

const SystemColorTable& DefaultSystemColors() {
  static constexpr SystemColorTable kTable = {
      Rgb(0xC8C8C8), Rgb(0x000000), Rgb(0x99B4D1), Rgb(0xBFCDDB), Rgb(0xF0F0F0), Rgb(0xFFFFFF),
      Rgb(0x646464), Rgb(0x000000), Rgb(0x000000), Rgb(0x000000), Rgb(0xB4B4B4), Rgb(0xF4F7FC),
      Rgb(0xABABAB), Rgb(0x3399FF), Rgb(0xFFFFFF), Rgb(0xF0F0F0), Rgb(0xA0A0A0), Rgb(0x6D6D6D),
      Rgb(0x000000), Rgb(0x000000), Rgb(0xFFFFFF), Rgb(0x696969), Rgb(0xE3E3E3), Rgb(0x000000),
      Rgb(0xFFFFE1), Rgb(0x000000), Rgb(0x0066CC), Rgb(0xB9D1EA), Rgb(0xD7E4F2), Rgb(0x3399FF),
      Rgb(0xF0F0F0),
  };
  return kTable;
}

HRESULT OleTranslateColor(OLE_COLOR color, const SystemColorTable& table, COLORREF* out) {
  switch (color >> 24) {
    case 0x00:
    case 0x01:
    case 0x02:
      *out = color;
      return S_OK;
    case 0x80: {
      const uint32_t index = color & 0xFF;
      if (index >= table.size()) return E_INVALIDARG;
      *out = table[index];
      return S_OK;
    }
    default:
      return E_INVALIDARG;
  }
}

}  // namespace pelmor::ole
