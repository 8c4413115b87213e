// The document's Draw: palette selection, halftone or the document's own down-scale, its cache,
// and the no-stretch source rectangle.
#include <gtest/gtest.h>

#include "codecs/bmp_fixtures.h"
#include "model/smooth_downscale.h"
#include "platform/drawing_fixtures.h"

namespace pelmor::test {
namespace {

using namespace platform;
using Rows = std::vector<std::vector<uint32_t>>;

// 24-bit pixels of a picture (rows from the top, 0x00RRGGBB) in a BMP file's row order.
BmpRecipe TrueColorBmp(const Rows& picture, bool topDown = false) {
  BmpRecipe s;
  const DibRecipe d = TrueColorSpec(picture, topDown);
  s.width = d.width;
  s.height = d.height;
  s.bitCount = 24;
  s.pixels = d.pixels;
  return s;
}

class DrawTest : public ::testing::Test {
 protected:
  void OpenBmp(const BmpRecipe& recipe) {
    const std::string path = dir_.File("image.bmp");
    WriteFile(path, MakeBmp(recipe));
    ASSERT_TRUE(doc_.Open(path.c_str(), 0));
  }
  TempDir dir_;
  CImageDoc doc_;
};

TEST_F(DrawTest, PaletteIsSelectedForTheCallAndTheOldOneRealisedAfter) {
  Canvas c(4, 4, 0);
  EXPECT_EQ(doc_.Draw(c.Dc(), 0, 0, 4, 4, true), 0);  // nothing open
  EXPECT_EQ(c.At(0, 0), 0u);

  OpenBmp(TrueColorBmp({{0x102030, 0x405060}}));
  EXPECT_EQ(doc_.palette, nullptr);
  EXPECT_EQ(doc_.Draw(c.Dc(), 0, 0, 2, 1, true), 0);
  EXPECT_EQ(c.Dc()->realizations, 0);
  EXPECT_EQ(c.At(1, 0), 0x405060u);

  BmpRecipe s;
  s.width = 2;
  s.height = 1;
  s.bitCount = 8;
  s.clrUsed = 2;
  s.table = {0x30, 0x20, 0x10, 0, 0x60, 0x50, 0x40, 0};
  s.pixels = {1, 0, 0, 0};
  OpenBmp(s);
  ASSERT_NE(doc_.palette, nullptr);
  // The default palette comes back and is realised: its 20 entries.
  EXPECT_EQ(doc_.Draw(c.Dc(), 0, 0, 2, 1, true), 20);
  EXPECT_EQ(c.Dc()->palette, DefaultPalette());
  EXPECT_TRUE(c.Dc()->paletteBackground);
  EXPECT_EQ(c.Dc()->realizations, 2);
  EXPECT_EQ(doc_.palette->selectCount, 0);
  EXPECT_EQ(c.Rows(0, 0, 2, 1), (Rows{{0x405060, 0x102030}}));
  doc_.Clear();  // the palette can go
  EXPECT_EQ(doc_.palette, nullptr);
}

TEST_F(DrawTest, HalftoneIsSetOnlyForAShrinkingCall) {
  OpenBmp(TrueColorBmp({{0x000000, 0x646464}, {0xC8C8C8, 0x0A0A0A}}));
  Canvas c(4, 4, 0);
  SetStretchBltMode(c.Dc(), COLORONCOLOR);
  SetBrushOrgEx(c.Dc(), 5, 5, nullptr);
  doc_.Draw(c.Dc(), 0, 0, 1, 1, true);
  EXPECT_EQ(c.At(0, 0), 0x4E4E4Eu);  // (0 + 100 + 200 + 10) / 4 = 77.5, rounded up
  EXPECT_EQ(GetStretchBltMode(c.Dc()), COLORONCOLOR);
  POINT origin;
  GetBrushOrgEx(c.Dc(), &origin);
  EXPECT_EQ(origin.x, 0);
  // Enlarging keeps the context's mode and brush origin.
  SetBrushOrgEx(c.Dc(), 5, 5, nullptr);
  doc_.Draw(c.Dc(), 0, 0, 4, 4, true);
  GetBrushOrgEx(c.Dc(), &origin);
  EXPECT_EQ(origin.x, 5);
  EXPECT_EQ(c.At(3, 3), 0x0A0A0Au);
}

TEST(SmoothDownscale, BlocksFollowTheCarriedRemainders) {
  // Five columns onto two: qx 2, rx 1. The first row takes {0,1} {2,3}; the remainder carries over,
  // so the second takes {0,1,2} {3,4}. Three rows onto two uses rows 0 and 1 only: the row
  // remainder never passes h.
  const uint8_t columns[5] = {10, 20, 33, 40, 91};
  std::vector<uint8_t> source(16 * 4, 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      for (int c = 0; c < 3; ++c) source[y * 16 + x * 3 + c] = static_cast<uint8_t>(columns[x] + y + c);
    }
  }
  std::vector<uint8_t> out(8 * 2, 0xEE);
  SmoothDownscale(source.data(), 16, 5, 4, 3, out.data(), 8, 2, 2);
  // Row 0 averages source rows 0 and 1, row 1 rows 2 and 3; sums are truncated. Channel c of
  // source row y, column x holds columns[x] + y + c.
  EXPECT_EQ(out[0], (10 + 11 + 20 + 21) / 4);               // 15.5
  EXPECT_EQ(out[3], (33 + 34 + 40 + 41) / 4);               // 37
  EXPECT_EQ(out[8], (12 + 13 + 22 + 23 + 35 + 36) / 6);     // 23.5
  EXPECT_EQ(out[10], (14 + 15 + 24 + 25 + 37 + 38) / 6);    // red: 25.5
  EXPECT_EQ(out[11], (42 + 43 + 93 + 94) / 4);              // 68

  std::vector<uint8_t> three(12 * 3);
  for (int y = 0; y < 3; ++y) {
    for (int i = 0; i < 12; ++i) three[y * 12 + i] = static_cast<uint8_t>(100 * y);
  }
  std::vector<uint8_t> two(4 * 2);
  SmoothDownscale(three.data(), 12, 4, 3, 3, two.data(), 4, 1, 2);
  EXPECT_EQ(two[0], 0);
  EXPECT_EQ(two[4], 100);  // row 2 (200) is never read
}

TEST_F(DrawTest, WithoutHalftoneTheCopyIsBuiltOncePerSizeAndShownUpright) {
  Rows picture(4, std::vector<uint32_t>(5));
  const uint32_t columns[5] = {10, 20, 33, 40, 91};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) picture[y][x] = columns[x] * 0x010101;
  }
  for (bool topDown : {false, true}) {
    OpenBmp(TrueColorBmp(picture, topDown));
    doc_.halftoneStretch = false;
    Canvas c(2, 2, 0);
    doc_.Draw(c.Dc(), 0, 0, 2, 2, true);
    ASSERT_NE(doc_.scaledBits, nullptr);
    EXPECT_EQ(doc_.scaledWidth, 2);
    EXPECT_EQ(doc_.scaledHeight, 2);
    // The first block row built is the first in memory: the bottom of a bottom-up image, the top
    // of a top-down one, which the copy keeps.
    const Rows carried{{(10 + 20 + 33) / 3 * 0x010101u, (40 + 91) / 2 * 0x010101u}};
    const Rows first{{15 * 0x010101u, (33 + 40) / 2 * 0x010101u}};
    EXPECT_EQ(c.Rows(0, topDown ? 1 : 0, 2, 1), carried) << topDown;
    EXPECT_EQ(c.Rows(0, topDown ? 0 : 1, 2, 1), first) << topDown;

    // Drawn again at the same size: the same copy (marked here) is shown.
    uint8_t* cached = doc_.scaledBits;
    cached[0] = cached[1] = cached[2] = 0x77;
    doc_.Draw(c.Dc(), 0, 0, 2, 2, true);
    EXPECT_EQ(doc_.scaledBits, cached);
    EXPECT_TRUE(c.At(0, topDown ? 0 : 1) == 0x777777u) << topDown;
    // Stretch off never uses it.
    Canvas plain(2, 2, 0);
    doc_.Draw(plain.Dc(), 0, 0, 2, 2, false);
    EXPECT_EQ(plain.At(0, 0), 10 * 0x010101u);
    // Another size builds another copy.
    doc_.Draw(c.Dc(), 0, 0, 1, 1, true);
    EXPECT_EQ(doc_.scaledWidth, 1);
    // Moving to an image and clearing free it.
    EXPECT_TRUE(doc_.ShowImage(0));
    EXPECT_EQ(doc_.scaledBits, nullptr);
    doc_.Draw(c.Dc(), 0, 0, 1, 1, true);
    EXPECT_NE(doc_.scaledBits, nullptr);
    doc_.Clear();
    EXPECT_EQ(doc_.scaledBits, nullptr);
    EXPECT_EQ(doc_.scaledWidth, 0);
  }
}

TEST_F(DrawTest, NoStretchShowsTheTopRows) {
  const Rows picture{{1, 2}, {3, 4}, {5, 6}, {7, 8}};
  for (bool topDown : {false, true}) {
    OpenBmp(TrueColorBmp(picture, topDown));
    Canvas c(2, 2, 0);
    doc_.Draw(c.Dc(), 0, 0, 2, 2, false);
    EXPECT_EQ(c.Rows(0, 0, 2, 2), (Rows{{1, 2}, {3, 4}})) << topDown;
    // A rectangle larger than the image still receives the whole image stretched over it.
    Canvas big(4, 8, 0);
    doc_.Draw(big.Dc(), 0, 0, 4, 8, false);
    EXPECT_EQ(big.At(3, 7), 8u);
    EXPECT_EQ(big.At(1, 1), 1u);
  }
}

TEST_F(DrawTest, WithoutHalftoneAPaletteImageShrinksInTheContextsMode) {
  BmpRecipe s;
  s.width = 2;
  s.height = 1;
  s.bitCount = 8;
  s.clrUsed = 2;
  s.table = {0xF0, 0x0F, 0xFF, 0, 0x3C, 0xFF, 0x0F, 0};
  s.pixels = {0, 1, 0, 0};
  OpenBmp(s);
  doc_.halftoneStretch = false;
  Canvas c(1, 1, 0);
  doc_.Draw(c.Dc(), 0, 0, 1, 1, true);  // one axis only: not a shrink for the own down-scale
  EXPECT_EQ(c.At(0, 0), 0xFF0FF0u & 0x0FFF3Cu);  // BLACKONWHITE: the AND of the two
  EXPECT_EQ(doc_.scaledBits, nullptr);
}

}  // namespace
}  // namespace pelmor::test
