// OLE colours to colour references, by high byte, and the system colour table.
#include <gtest/gtest.h>

#include "platform/ole/ole_color.h"

namespace pelmor::ole {
namespace {

TEST(OleColor, TranslationByHighByte) {
  struct Case {
    OLE_COLOR in;
    HRESULT hr;
    COLORREF out;
  };
  const Case cases[] = {
      {0x00123456, S_OK, 0x00123456},
      {0x01000007, S_OK, 0x01000007},  // palette index, not checked without a palette
      {0x02ABCDEF, S_OK, 0x02ABCDEF},
      {0x80000005, S_OK, 0x00FFFFFF},  // the window colour
      {0x80000008, S_OK, 0x00000000},  // window text
      {0x8000000D, S_OK, 0x00FF9933},  // highlight, 3399FF as blue-green-red
      {0x8000001E, S_OK, 0x00F0F0F0},  // index 30
      {0x80FFFF0F, S_OK, 0x00F0F0F0},  // only the low byte is the index: 15, button face
      {0x8000001F, E_INVALIDARG, 0},
      {0x800000FF, E_INVALIDARG, 0},
      {0x03000000, E_INVALIDARG, 0},
      {0x7F000000, E_INVALIDARG, 0},
      {0xFFFFFFFF, E_INVALIDARG, 0},
  };
  for (const Case& c : cases) {
    COLORREF out = 0xDEAD;
    EXPECT_EQ(OleTranslateColor(c.in, DefaultSystemColors(), &out), c.hr) << std::hex << c.in;
    EXPECT_EQ(out, c.hr == S_OK ? c.out : 0xDEAD) << std::hex << c.in;
  }
  // A host may bring its own scheme.
  SystemColorTable mine = DefaultSystemColors();
  mine[COLOR_WINDOW] = 0x00010203;
  COLORREF out = 0;
  ASSERT_EQ(OleTranslateColor(SystemColor(COLOR_WINDOW), mine, &out), S_OK);
  EXPECT_EQ(out, 0x00010203u);
}

}  // namespace
}  // namespace pelmor::ole
