// Device contexts: the state of a new context, memory contexts and bitmaps, object selection,
// brushes, BitBlt, palettes and text.
#include <gtest/gtest.h>

#include "platform/drawing_fixtures.h"
#include "platform/font_engine.h"
#include "platform/text_encoding.h"

namespace pelmor::test {
namespace {

using namespace platform;
using Rows = std::vector<std::vector<uint32_t>>;

TEST(DeviceContext, NewContextsStartInTheDefaultState) {
  Canvas window(4, 4);
  HDC memory = CreateCompatibleDC(window.Dc());
  for (HDC dc : {window.Dc(), memory}) {
    EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    POINT origin{7, 7};
    EXPECT_TRUE(GetBrushOrgEx(dc, &origin));
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(dc->palette, DefaultPalette());
  }
  EXPECT_EQ(memory->bitmap, StockBitmap());
  EXPECT_TRUE(StockBitmap()->surface.Monochrome());

  // Modes 1 to 4 only; the old mode comes back.
  EXPECT_EQ(SetStretchBltMode(memory, HALFTONE), BLACKONWHITE);
  EXPECT_EQ(SetStretchBltMode(memory, 0), 0);
  EXPECT_EQ(SetStretchBltMode(memory, 5), 0);
  EXPECT_EQ(GetStretchBltMode(memory), HALFTONE);
  EXPECT_EQ(SetBkMode(memory, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(memory, 3), 0);
  POINT previous;
  EXPECT_TRUE(SetBrushOrgEx(memory, 3, 4, &previous));
  EXPECT_TRUE(SetBrushOrgEx(memory, 0, 0, &previous));
  EXPECT_EQ(previous.x, 3);
  EXPECT_EQ(previous.y, 4);
  EXPECT_TRUE(DeleteDC(memory));
}

TEST(DeviceContext, CompatibleBitmapsFollowTheContext) {
  Canvas window(4, 4);
  HDC memory = CreateCompatibleDC(window.Dc());
  HBITMAP colour = CreateCompatibleBitmap(window.Dc(), 3, 2);
  HBITMAP mono = CreateCompatibleBitmap(memory, 3, 2);  // like the stock bitmap it holds
  ASSERT_NE(colour, nullptr);
  ASSERT_NE(mono, nullptr);
  EXPECT_FALSE(colour->surface.Monochrome());
  EXPECT_TRUE(mono->surface.Monochrome());
  EXPECT_EQ(CreateCompatibleBitmap(window.Dc(), 0, 5), StockBitmap());
  EXPECT_EQ(CreateCompatibleBitmap(window.Dc(), -1, 5), nullptr);

  // A bitmap lives in one memory context at a time and cannot be deleted while it is there.
  EXPECT_EQ(SelectObject(window.Dc(), colour), nullptr);
  EXPECT_EQ(SelectObject(memory, colour), StockBitmap());
  HDC other = CreateCompatibleDC(window.Dc());
  EXPECT_EQ(SelectObject(other, colour), nullptr);
  EXPECT_FALSE(DeleteObject(colour));
  HBITMAP colour2 = CreateCompatibleBitmap(memory, 2, 2);  // now the format of `colour`
  EXPECT_FALSE(colour2->surface.Monochrome());
  EXPECT_EQ(SelectObject(memory, StockBitmap()), colour);
  EXPECT_TRUE(DeleteObject(colour));
  EXPECT_TRUE(DeleteObject(colour2));
  EXPECT_TRUE(DeleteObject(mono));
  EXPECT_TRUE(DeleteObject(StockBitmap()));  // stock objects stay
  EXPECT_TRUE(StockBitmap()->surface);
  DeleteDC(other);
  DeleteDC(memory);
}

TEST(DeviceContext, FillRectPaintsTheRectangleCutToTheSurface) {
  Canvas c(4, 3, 0);
  HBRUSH brush = CreateSolidBrush(RGB(0x10, 0x20, 0x30));
  RECT r{-2, 1, 2, 9};  // right and bottom excluded
  EXPECT_NE(FillRect(c.Dc(), &r, brush), 0);
  const uint32_t f = 0x102030;
  EXPECT_EQ(c.Rows(0, 0, 4, 3), (Rows{{0, 0, 0, 0}, {f, f, 0, 0}, {f, f, 0, 0}}));
  // A palette index picks an entry of the selected palette; out of range, entry 0.
  HBRUSH indexed = CreateSolidBrush(0x01000000 | 13);
  RECT all{0, 0, 4, 3};
  FillRect(c.Dc(), &all, indexed);
  EXPECT_EQ(c.At(0, 0), 0xFF0000u);
  HBRUSH outside = CreateSolidBrush(0x01000000 | 300);
  FillRect(c.Dc(), &all, outside);
  EXPECT_EQ(c.At(0, 0), 0u);
  FillRect(c.Dc(), &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(c.At(0, 0), 0u);
  for (HBRUSH b : {brush, indexed, outside}) EXPECT_TRUE(DeleteObject(b));
}

TEST(DeviceContext, BitBltCopiesOnlyWhatLiesInBothSurfaces) {
  Canvas src(3, 2, 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) src.Surface().SetPixel(x, y, static_cast<uint32_t>(10 * y + x + 1));
  }
  Canvas dst(4, 3, 0xEEEEEE);
  const uint32_t e = 0xEEEEEE;
  // Source block (-1, 0)-(2, 2) onto (1, 0): the column left of the source stays as it was.
  EXPECT_TRUE(BitBlt(dst.Dc(), 1, 0, 3, 3, src.Dc(), -1, 0, SRCCOPY));
  EXPECT_EQ(dst.Rows(0, 0, 4, 3), (Rows{{e, e, 1, 2}, {e, e, 11, 12}, {e, e, e, e}}));
  EXPECT_FALSE(BitBlt(dst.Dc(), 0, 0, 1, 1, src.Dc(), 0, 0, 0x00EE0086));
  // Overlapping copies within one surface read before they write.
  Canvas one(1, 4, 0);
  for (int y = 0; y < 4; ++y) one.Surface().SetPixel(0, y, static_cast<uint32_t>(y + 1));
  BitBlt(one.Dc(), 0, 1, 1, 3, one.Dc(), 0, 0, SRCCOPY);
  EXPECT_EQ(one.Rows(0, 0, 1, 4), (Rows{{1}, {1}, {2}, {3}}));
}

TEST(DeviceContext, ExchangeSurfacesSwapsTheWholePixelsOfTwoColourSurfacesOfOneSize) {
  Canvas window(3, 2, 0x111111);
  HDC memory = CreateCompatibleDC(window.Dc());
  EXPECT_FALSE(ExchangeSurfaces(window.Dc(), memory));  // the stock bitmap is never given away
  HBITMAP same = CreateCompatibleBitmap(window.Dc(), 3, 2);
  HBITMAP smaller = CreateCompatibleBitmap(window.Dc(), 2, 2);
  HBITMAP mono = CreateCompatibleBitmap(memory, 3, 2);
  for (HBITMAP refused : {smaller, mono}) {
    SelectObject(memory, refused);
    EXPECT_FALSE(ExchangeSurfaces(window.Dc(), memory));
    EXPECT_EQ(window.At(2, 1), 0x111111u);
  }
  SelectObject(memory, same);
  same->surface.SetPixel(2, 1, 0x222222);
  EXPECT_TRUE(ExchangeSurfaces(window.Dc(), memory));
  EXPECT_EQ(window.At(2, 1), 0x222222u);
  EXPECT_EQ(window.Surface().Width(), 3);
  EXPECT_EQ(same->surface.Pixel(0, 0), 0x111111u);
  SelectObject(memory, StockBitmap());
  for (HBITMAP b : {same, smaller, mono}) DeleteObject(b);
  DeleteDC(memory);
}

TEST(DeviceContext, BitBltBetweenColourAndMonochrome) {
  Canvas window(2, 1, 0);
  window.Surface().SetPixel(0, 0, 0x00FF00);
  window.Surface().SetPixel(1, 0, 0xFFFFFF);
  HDC memory = CreateCompatibleDC(window.Dc());
  HBITMAP mono = CreateCompatibleBitmap(memory, 2, 1);
  SelectObject(memory, mono);
  // To monochrome: the source's background colour becomes white, everything else black.
  SetBkColor(window.Dc(), RGB(0, 255, 0));
  BitBlt(memory, 0, 0, 2, 1, window.Dc(), 0, 0, SRCCOPY);
  EXPECT_EQ(mono->surface.Pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(mono->surface.Pixel(1, 0), 0u);
  // From monochrome: black takes the text colour, white the background colour.
  SetTextColor(window.Dc(), RGB(1, 2, 3));
  SetBkColor(window.Dc(), RGB(4, 5, 6));
  BitBlt(window.Dc(), 0, 0, 2, 1, memory, 0, 0, SRCCOPY);
  EXPECT_EQ(window.At(0, 0), 0x040506u);
  EXPECT_EQ(window.At(1, 0), 0x010203u);
  SelectObject(memory, StockBitmap());
  DeleteObject(mono);
  DeleteDC(memory);
}

TEST(DeviceContext, PalettesSelectAndRealiseWithoutChangingPixels) {
  Canvas c(2, 1, 0x445566);
  const PALETTEENTRY entries[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  HPALETTE p = CreatePalette(0x300, entries, 3);
  EXPECT_EQ(SelectPalette(c.Dc(), p, false), DefaultPalette());
  EXPECT_EQ(RealizePalette(c.Dc()), 3);
  EXPECT_FALSE(DeleteObject(p));  // still selected
  EXPECT_EQ(SelectPalette(c.Dc(), DefaultPalette(), true), p);
  EXPECT_EQ(RealizePalette(c.Dc()), 20);
  EXPECT_EQ(c.Dc()->realizations, 2);
  EXPECT_EQ(c.At(0, 0), 0x445566u);
  EXPECT_TRUE(DeleteObject(p));
  EXPECT_EQ(SelectPalette(c.Dc(), nullptr, false), nullptr);
}

class TextTest : public ::testing::Test {
 protected:
  TextTest() : c_(40, 20, 0x0000FF) { SetFontEngine(c_.Dc(), &fixed_); }
  FixedFontEngine fixed_;  // 8 pixels a character, cell 16 high, a 6x9 box from 9 above the baseline
  Canvas c_;
};

TEST_F(TextTest, ExtentIsTheAdvancesAndTheCellHeight) {
  SIZE size{-1, -1};
  EXPECT_TRUE(GetTextExtentPoint(c_.Dc(), "ab c", 4, &size));
  EXPECT_EQ(size.cx, 32);
  EXPECT_EQ(size.cy, 16);
  EXPECT_TRUE(GetTextExtentPoint(c_.Dc(), "", 0, &size));
  EXPECT_EQ(size.cx, 0);
  EXPECT_EQ(size.cy, 0);
  // UTF-8 counts characters, not bytes; other bytes are one character each.
  EXPECT_TRUE(GetTextExtentPoint(c_.Dc(), "\xC3\xA9", 2, &size));
  EXPECT_EQ(size.cx, 8);
  EXPECT_TRUE(GetTextExtentPoint(c_.Dc(), "\xE9\xE9", 2, &size));
  EXPECT_EQ(size.cx, 16);
  EXPECT_EQ(DecodeText("caf\xC3\xA9"), U"caf\u00E9");
  EXPECT_EQ(DecodeText("caf\xE9"), U"caf\u00E9");
}

TEST_F(TextTest, TextOutDrawsFromTheCellsTopLeft) {
  SetTextColor(c_.Dc(), RGB(0, 0, 0));
  SetBkColor(c_.Dc(), RGB(255, 255, 255));
  EXPECT_TRUE(TextOut(c_.Dc(), 2, 1, "x ", 2));
  // Opaque: the cell (2,1)-(18,17) is white, the glyph box (3,4)-(9,13) black.
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool cell = x >= 2 && x < 18 && y >= 1 && y < 17;
      const bool ink = x >= 3 && x < 9 && y >= 4 && y < 13;
      const uint32_t expected = ink ? 0x000000 : cell ? 0xFFFFFF : 0x0000FF;
      ASSERT_EQ(c_.At(x, y), expected) << x << "," << y;
    }
  }
  // Transparent: only the glyph's pixels change.
  Canvas t(20, 20, 0x0000FF);
  SetFontEngine(t.Dc(), &fixed_);
  SetBkMode(t.Dc(), TRANSPARENT);
  SetTextColor(t.Dc(), RGB(0, 255, 0));
  TextOut(t.Dc(), 0, 0, "x", 1);
  EXPECT_EQ(t.At(0, 0), 0x0000FFu);
  EXPECT_EQ(t.At(1, 3), 0x00FF00u);
  EXPECT_EQ(t.At(7, 3), 0x0000FFu);
}

TEST_F(TextTest, UnderlineAndStrikeOutSpanTheText) {
  FontDescription d;
  d.underline = true;
  d.strikethrough = true;
  HFONT font = CreateFontIndirect(d);
  HGDIOBJ old = SelectObject(c_.Dc(), font);
  SetBkMode(c_.Dc(), TRANSPARENT);
  TextOut(c_.Dc(), 0, 0, "  ", 2);
  // Baseline at 12: underline one row below it, strike-out 4 rows above.
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(c_.At(x, 13), 0u) << x;
    EXPECT_EQ(c_.At(x, 8), 0u) << x;
  }
  EXPECT_EQ(c_.At(16, 13), 0x0000FFu);
  EXPECT_EQ(c_.At(0, 12), 0x0000FFu);
  EXPECT_FALSE(DeleteObject(font));
  SelectObject(c_.Dc(), old);
  EXPECT_TRUE(DeleteObject(font));
}

// Only glyphs that can reach the surface are rendered, so a long line or a huge font costs no more
// than what shows.
TEST_F(TextTest, GlyphsFarOutsideTheSurfaceAreNotRendered) {
  struct Counting : FontEngine {
    struct Face : FontFace {
      std::shared_ptr<FontFace> inner;
      int* glyphs;
      FontMetrics Metrics() const override { return inner->Metrics(); }
      int32_t Advance(char32_t c) override { return inner->Advance(c); }
      std::shared_ptr<const GlyphBitmap> Glyph(char32_t c) override {
        ++*glyphs;
        return inner->Glyph(c);
      }
    };
    std::shared_ptr<FontFace> Face(const FontDescription& d) override {
      auto f = std::make_shared<struct Face>();
      f->inner = fixed.Face(d);
      f->glyphs = &glyphs;
      return f;
    }
    FixedFontEngine fixed;
    int glyphs = 0;
  } counting;
  SetFontEngine(c_.Dc(), &counting);
  const std::string line(10000, 'x');
  ASSERT_TRUE(TextOut(c_.Dc(), -4000, 0, line.data(), static_cast<int32_t>(line.size())));
  // 40 pixels of surface and a margin of 2 x 16 + 16 on either side: about 17 characters of 8.
  EXPECT_LE(counting.glyphs, 20);
  EXPECT_GE(counting.glyphs, 5);
  EXPECT_EQ(c_.At(1, 3), 0x000000u);  // still drawn where it shows
  counting.glyphs = 0;
  ASSERT_TRUE(TextOut(c_.Dc(), 0, 5000, line.data(), static_cast<int32_t>(line.size())));
  EXPECT_EQ(counting.glyphs, 0);
}

TEST(FreeTypeText, TheDefaultFaceMeasuresAndDraws) {
  FontDescription d;
  d.pointSize = 12;  // 16 pixels an em
  std::shared_ptr<FontFace> face = DefaultFontEngine().Face(d);
  if (!face) GTEST_SKIP() << "no font installed";
  Canvas c(120, 40, 0xFFFFFF);
  SIZE narrow, wide, bold;
  ASSERT_TRUE(GetTextExtentPoint(c.Dc(), "iii", 3, &narrow));
  ASSERT_TRUE(GetTextExtentPoint(c.Dc(), "WWW", 3, &wide));
  EXPECT_GT(wide.cx, narrow.cx);
  EXPECT_GE(narrow.cy, 16);
  EXPECT_LE(narrow.cy, 24);
  d.weight = FW_BOLD;
  HFONT font = CreateFontIndirect(d);
  SelectObject(c.Dc(), font);
  ASSERT_TRUE(GetTextExtentPoint(c.Dc(), "WWW", 3, &bold));
  EXPECT_GE(bold.cx, wide.cx);
  SetBkMode(c.Dc(), TRANSPARENT);
  ASSERT_TRUE(TextOut(c.Dc(), 4, 4, "Hello", 5));
  // Ink inside the text's box, none outside it.
  SIZE box;
  GetTextExtentPoint(c.Dc(), "Hello", 5, &box);
  int inside = 0, outside = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 120; ++x) {
      if (c.At(x, y) == 0xFFFFFF) continue;
      const bool in = x >= 4 && x < 4 + box.cx + 2 && y >= 4 && y < 4 + box.cy;
      (in ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
  SelectObject(c.Dc(), GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
}

}  // namespace
}  // namespace pelmor::test
