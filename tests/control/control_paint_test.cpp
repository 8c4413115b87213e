// The paint, through a real OnDraw in a headless window: where and how large the image lands
// (sizes, fit, alignment, scroll offsets), the ambient background around it and under what the
// image leaves out, every pixel set afresh by each paint, the Caption when nothing is open, and
// the border.
#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/bmp_fixtures.h"
#include "control/control_fixtures.h"
#include "display/content_paint.h"

namespace pelmor::test {
namespace {

using namespace ole;
using platform::RECT;

constexpr uint32_t kAmbient = 0x00FF00;  // 0x00RRGGBB in the surface; green
constexpr uint32_t kImage = 0x3060C0;

std::string Describe(const RECT& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ") " +
         std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top);
}

// A 6 x 4 run-length bitmap file in the image colour that leaves pixels out: the right half of
// the bottom row, two pixels at each end of the second row and the whole top row.
std::string SparseRunLengthBmp(const TempDir& dir) {
  BmpRecipe r;
  r.width = 6;
  r.height = 4;
  r.bitCount = 8;
  r.compression = BI_RLE8;
  r.clrUsed = 2;
  r.table = {0, 0, 0, 0, 0xC0, 0x60, 0x30, 0};  // blue, green, red, 0: entry 1 is kImage
  r.pixels = {3, 1, 0, 0,              // bottom row: three pixels, end of line
              0, 2, 2, 0, 2, 1, 0, 0,  // two skipped, two pixels, end of line
              6, 1, 0, 0,              // a whole row
              0, 1};                   // end of the bitmap: the top row is never written
  r.pixels.resize(8 * 4, 0);  // a file holds at least the rows' uncompressed size
  const std::string path = dir.File("sparse.bmp");
  WriteFile(path, MakeBmp(r));
  return path;
}

class PaintTest : public ::testing::Test {
 protected:
  void Make(int generation, int32_t w, int32_t h) {
    c_.Host().ambientBackColor = platform::RGB(0, 255, 0);
    ASSERT_TRUE(c_.Create(generation, w, h));
    // The control's own BackColor never fills the window.
    c_.Put("BackColor", Variant::UI4(platform::RGB(255, 0, 0)));
    c_.Put("SlideShow", Variant::Bool(false));
  }
  // The client area as filling it with the ambient colour and drawing the image over it, where
  // the control's settings and bars place it, leaves it.
  platform::Surface FilledThenDrawn() {
    CPelmorCtrl& c = c_.Control();
    platform::RECT client{0, 0, 0, 0};
    c.GetWindow()->GetClientRect(&client);
    platform::Surface s = platform::Surface::Create(client.right, client.bottom);
    for (int32_t y = 0; y < s.Height(); ++y) std::fill(s.Row(y), s.Row(y) + s.Width(), kAmbient);
    PlacementRequest r;
    r.bounds = client;
    r.imageWidth = c.doc.width;
    r.imageHeight = c.doc.height;
    r.hAlignment = c.hAlignment;
    r.vAlignment = c.vAlignment;
    r.stretchImage = c.stretchImage != 0;
    r.scrolling = c.scrolling != 0;
    r.scrollX = c.ScrollPos(platform::SB_HORZ);
    r.scrollY = c.ScrollPos(platform::SB_VERT);
    platform::HDC dc = platform::CreateDisplayDC(&s);
    DrawPlacedImage(c.doc, dc, r);
    platform::DeleteDC(dc);
    return s;
  }
  // Pixels of the window that differ from `expected`, and the first of them.
  std::string Differences(const platform::Surface& expected) {
    const platform::Surface& got = c_.Host().Window().BackingSurface();
    if (got.Width() != expected.Width() || got.Height() != expected.Height()) return "size";
    size_t count = 0;
    std::string first;
    for (int32_t y = 0; y < got.Height(); ++y) {
      for (int32_t x = 0; x < got.Width(); ++x) {
        if (got.Pixel(x, y) == expected.Pixel(x, y)) continue;
        if (count++ == 0) first = " first at " + std::to_string(x) + ", " + std::to_string(y);
      }
    }
    return count == 0 ? "" : std::to_string(count) + " pixels" + first;
  }
  ControlHarness c_;
  TempDir dir_;
};

// Each paint sets every pixel as filling the window and then drawing the image would, whatever
// the paints before left: the cases follow each other in one window, the image covering all of
// the client area, part of it or (its draw failing) none of it, with and without scroll offsets.
TEST_F(PaintTest, EveryPaintLeavesWhatFillingAndThenDrawingLeaves) {
  std::vector<std::vector<uint32_t>> ramp(250, std::vector<uint32_t>(400));
  for (size_t y = 0; y < ramp.size(); ++y) {
    for (size_t x = 0; x < ramp[y].size(); ++x) ramp[y][x] = 0x010000u * (x & 0xFF) + 0x101u * (y & 0x7F);
  }
  const std::string big = WriteBmp(dir_, "ramp.bmp", ramp);
  const std::string wide = WriteBmp(dir_, "wide.bmp", {ramp.begin(), ramp.begin() + 50});
  const std::string small = SolidBmp(dir_, "small.bmp", 50, 40, kImage);
  const std::string exact = SolidBmp(dir_, "exact.bmp", 200, 100, 0x102030);
  const std::string exact2 = SolidBmp(dir_, "exact2.bmp", 200, 100, 0x405060);
  const std::string sparse = SparseRunLengthBmp(dir_);
  struct Case {
    const char* what;
    const std::string& file;
    bool stretch, scrolling;
    int align;
    int32_t scrollX, scrollY;
    bool drawFails;
  };
  // A paint may start from what the one before the last left, so the run-length image and the
  // failing draw come after two images that cover the window.
  const Case cases[] = {
      {"small, bottom right", small, false, false, 2, 0, 0, false},
      {"shrunk through the cached copy", big, true, false, 1, 0, 0, false},
      {"exactly the window", exact, false, false, 0, 0, 0, false},
      {"small after a covering image", small, false, false, 1, 0, 0, false},
      {"exactly the window", exact, false, false, 0, 0, 0, false},
      {"exactly the window, another colour", exact2, false, false, 0, 0, 0, false},
      {"run-length with skipped pixels", sparse, true, false, 1, 0, 0, false},
      {"a draw that paints nothing", big, true, false, 1, 0, 0, true},
      {"scrolled sideways, lower than the window", wide, false, true, 1, 40, 0, false},
      {"scrolled both ways, covering", big, false, true, 1, 40, 30, false},
      {"scrolled to the last column and row", big, false, true, 1, 1000, 1000, false},
  };
  c_.Host().allowResize = false;
  Make(2, 200, 100);
  for (const Case& t : cases) {
    c_.Put("Scrolling", Variant::Bool(t.scrolling));
    c_.Put("StretchImage", Variant::Bool(t.stretch));
    c_.Put("HAlignment", Variant::I4(t.align));
    c_.Put("VAlignment", Variant::I4(t.align));
    c_.Control().doc.halftoneStretch = false;
    c_.PutText("FileName", t.file);
    ASSERT_TRUE(c_.Control().IsOpen()) << t.what;
    platform::SCROLLINFO pos;
    pos.fMask = platform::SIF_POS;
    pos.nPos = t.scrollX;
    c_.Control().GetWindow()->SetScrollInfo(platform::SB_HORZ, pos, true);
    pos.nPos = t.scrollY;
    c_.Control().GetWindow()->SetScrollInfo(platform::SB_VERT, pos, true);
    // No room for the down-scaled copy: the document draws nothing.
    if (t.drawFails) c_.Control().doc.budget.SetCap(1);
    c_.Control().InvalidateControl();
    c_.Paint();
    EXPECT_EQ(Differences(FilledThenDrawn()), "") << t.what;
    if (t.drawFails) {
      EXPECT_EQ(c_.Extent(kAmbient).right, 0);  // the background alone
    }
    c_.Control().doc.budget.SetCap(0);
  }
  // The last case showed the image's far corner with the column and row of background beyond it.
  EXPECT_EQ(c_.Pixel(0, 0), ramp[250 - 82][400 - 182]);
  EXPECT_EQ(c_.Pixel(182, 82), kAmbient);
}

TEST_F(PaintTest, PlacementInA200By100Window) {
  struct Case {
    int32_t w, h;
    bool stretch;
    int hAlign, vAlign;
    RECT expected;  // left, top, right, bottom in the client area
  };
  const Case cases[] = {
      {50, 40, false, 2, 2, {150, 60, 200, 100}},
      {50, 40, true, 1, 1, {37, 0, 162, 100}},   // 125 x 100
      {400, 100, false, 1, 1, {0, 25, 200, 75}},  // shrunk to 200 x 50
      {30, 90, true, 0, 0, {0, 0, 33, 100}},      // 30 x 100 / 90, truncated
      {200, 100, false, 0, 0, {0, 0, 200, 100}},
      {50, 40, false, 7, 0, {0, 0, 50, 40}},      // HAlignment 7 draws as left
  };
  // The container keeps the window at 200 x 100 whatever size the control asks for.
  c_.Host().allowResize = false;
  Make(2, 200, 100);
  for (const Case& t : cases) {
    c_.Put("StretchImage", Variant::Bool(t.stretch));
    c_.Put("HAlignment", Variant::I4(t.hAlign));
    c_.Put("VAlignment", Variant::I4(t.vAlign));
    c_.PutText("FileName", SolidBmp(dir_, "i.bmp", t.w, t.h, kImage));
    c_.Paint();
    EXPECT_EQ(Describe(c_.Extent(kAmbient)), Describe(t.expected)) << t.w << "x" << t.h;
    EXPECT_EQ(c_.Pixel(t.expected.left, t.expected.top), kImage);
  }
}

TEST_F(PaintTest, ScrollingShowsTheImageAtItsSizeShiftedByTheBars) {
  // 117 high: with the horizontal bar shown the client area is 200 x 100.
  Make(2, 200, 117);
  c_.Put("Scrolling", Variant::Bool(true));
  c_.Put("HAlignment", Variant::I4(1));
  c_.Put("VAlignment", Variant::I4(1));
  std::vector<std::vector<uint32_t>> ramp(50, std::vector<uint32_t>(300));
  for (auto& row : ramp) {
    for (size_t x = 0; x < row.size(); ++x) row[x] = 0x010000u * (x & 0xFF) + 0x40u;
  }
  c_.PutText("FileName", WriteBmp(dir_, "ramp.bmp", ramp));
  platform::RECT client;
  ASSERT_TRUE(c_.Control().GetWindow()->GetClientRect(&client));
  EXPECT_EQ(Describe(client), Describe({0, 0, 200, 100}));
  platform::SCROLLINFO pos;
  pos.fMask = platform::SIF_POS;
  pos.nPos = 40;
  c_.Control().GetWindow()->SetScrollInfo(platform::SB_HORZ, pos, true);
  c_.Control().InvalidateControl();
  c_.Paint();
  // x = -40 from the window's origin; y = (0 + 100 - 50) / 2.
  EXPECT_EQ(Describe(c_.Extent(kAmbient)), Describe({0, 25, 200, 75}));
  EXPECT_EQ(c_.Pixel(0, 25), ramp[0][40]);
  EXPECT_EQ(c_.Pixel(199, 74), ramp[0][239]);

  // An image smaller than the window ignores the positions and aligns (no bar is left: the window
  // becomes 200 x 100 again).
  c_.Host().Window().SetSize(200, 100);
  c_.Put("HAlignment", Variant::I4(2));
  c_.Put("VAlignment", Variant::I4(2));
  c_.PutText("FileName", SolidBmp(dir_, "small.bmp", 120, 80, kImage));
  c_.Paint();
  EXPECT_EQ(Describe(c_.Extent(kAmbient)), Describe({80, 20, 200, 100}));
}

TEST_F(PaintTest, TheCaptionWhenNothingIsOpen) {
  Make(1, 200, 100);
  c_.Put("ForeColor", Variant::UI4(platform::RGB(0, 0, 255)));
  c_.PutText("Caption", "Hello");
  struct Case {
    int align;
    int32_t x, y;  // the text cell's top-left
  };
  // Five characters of the test font: 40 x 16; each paints a 6 x 9 box from (1, 3) in its cell.
  for (const Case& t : {Case{1, 80, 42}, Case{2, 160, 84}, Case{0, 0, 0}}) {
    c_.Put("HAlignment", Variant::I4(t.align));
    c_.Put("VAlignment", Variant::I4(t.align));
    c_.Paint();
    EXPECT_EQ(Describe(c_.Extent(kAmbient)), Describe({t.x + 1, t.y + 3, t.x + 39, t.y + 12}))
        << "alignment " << t.align;
    EXPECT_EQ(c_.Pixel(t.x + 1, t.y + 3), 0x0000FFu);  // ForeColor
    EXPECT_EQ(c_.Pixel(t.x + 7, t.y + 3), kAmbient);   // between two letters: transparent
  }
  // A file that does not open shows the Caption too; an empty Caption leaves the background.
  c_.PutText("FileName", dir_.File("missing.png"));
  c_.PutText("Caption", "");
  c_.Paint();
  EXPECT_EQ(c_.Extent(kAmbient).right, 0);
}

TEST_F(PaintTest, ABorderTakesItsWidthFromTheClientArea) {
  Make(2, 200, 100);
  c_.Put("StretchImage", Variant::Bool(false));
  c_.Put("HAlignment", Variant::I4(2));
  c_.Put("VAlignment", Variant::I4(2));
  c_.PutText("FileName", SolidBmp(dir_, "i.bmp", 50, 40, kImage));
  ASSERT_EQ(c_.Put("BorderStyle", Variant::I2(1)).hr, S_OK);
  c_.Paint();
  EXPECT_EQ(Describe(c_.Extent(kAmbient)), Describe({148, 58, 198, 98}));
  // The whole window: the frame around, the client area inside it.
  const platform::Surface window = c_.Host().Window().Compose();
  EXPECT_EQ(window.Pixel(0, 0), 0x646464u);
  EXPECT_EQ(window.Pixel(149, 59), kImage);
  EXPECT_EQ(window.Pixel(148, 59), kAmbient);
  c_.Put("BorderStyle", Variant::I2(0));
  c_.Paint();
  EXPECT_EQ(Describe(c_.Extent(kAmbient)), Describe({150, 60, 200, 100}));
}

}  // namespace
}  // namespace pelmor::test
