// The second control scrolling: the ranges and the client area (the size change re-entering the
// ranges from inside the bar's set call), every scroll request code, the keys, the wheel and its
// setting, and what opening a file or turning Scrolling off does to the bars.
#include <gtest/gtest.h>

#include <algorithm>

#include "control/control_fixtures.h"
#include "control/pelmor2_ctrl.h"
#include "display/scroll_steps.h"

namespace pelmor::test {
namespace {

using namespace ole;
using namespace platform;

class ScrollingTest : public ::testing::Test {
 protected:
  void Make(int32_t w, int32_t h) {
    ASSERT_TRUE(c_.Create(2, w, h));
    c_.Put("Scrolling", Variant::Bool(true));
  }
  CPelmor2Ctrl& Ctl() { return static_cast<CPelmor2Ctrl&>(c_.Control()); }
  WindowModel& Window() { return c_.Host().Window(); }
  void Open(int32_t w, int32_t h) { c_.PutText("FileName", SolidBmp(dir_, "i.bmp", w, h, 0x336699)); }
  RECT Client() {
    RECT r{};
    Window().GetClientRect(&r);
    return r;
  }
  LRESULT Send(uint32_t message, WPARAM wParam) { return Ctl().SendMessage(message, wParam); }
  LRESULT Wheel(int16_t delta) {
    return Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<uint16_t>(delta)));
  }
  int32_t Pos(int bar) { return Window().Bar(bar).Pos(); }

  ControlHarness c_;
  TempDir dir_;
};

TEST_F(ScrollingTest, RangesAndTheClientAreaFollowTheImage) {
  struct Case {
    const char* name;
    int32_t w, h;  // image, in a window of 200 x 100
    bool horizontal, vertical;
    int32_t clientW, clientH;
    int32_t hMax;
    uint32_t hPage;
    int32_t vMax;
    uint32_t vPage;
  };
  const Case cases[] = {
      // Both bars appear in turn, and the horizontal page follows the narrower client.
      {"both", 300, 250, true, true, 183, 83, 300, 183, 250, 83},
      // An empty range reads back a page of 1 (clamped to max - min + 1).
      {"horizontal only", 300, 50, true, false, 200, 83, 300, 200, 0, 1},
      {"none", 150, 50, false, false, 200, 100, 0, 1, 0, 1},
      // Showing the vertical bar makes the client narrower than the image: the horizontal bar
      // is set a second time and appears.
      {"vertical narrows below the width", 190, 250, true, true, 183, 83, 190, 183, 250, 83},
      {"exactly the client", 200, 100, false, false, 200, 100, 0, 1, 0, 1},
  };
  for (const Case& c : cases) {
    Make(200, 100);
    Open(c.w, c.h);
    EXPECT_EQ(Window().BarVisible(SB_HORZ), c.horizontal) << c.name;
    EXPECT_EQ(Window().BarVisible(SB_VERT), c.vertical) << c.name;
    EXPECT_EQ(Client().right, c.clientW) << c.name;
    EXPECT_EQ(Client().bottom, c.clientH) << c.name;
    EXPECT_EQ(Window().Bar(SB_HORZ).Max(), c.hMax) << c.name;
    EXPECT_EQ(Window().Bar(SB_HORZ).Page(), c.hPage) << c.name;
    EXPECT_EQ(Window().Bar(SB_VERT).Max(), c.vMax) << c.name;
    EXPECT_EQ(Window().Bar(SB_VERT).Page(), c.vPage) << c.name;
    EXPECT_EQ(Window().Size().cx, 200) << c.name;  // the window itself keeps its size
  }
}

TEST_F(ScrollingTest, TheSizeChangeReachesTheRangesFromInsideTheSetCall) {
  Make(200, 100);
  c_.Host().scrollBarChanges.clear();
  Open(300, 250);
  // The reset (H, V), then: H shown -> WM_SIZE 200x83 -> nested ranges: H unchanged, V shown ->
  // WM_SIZE 183x83 -> nested again: H page 183, V; back in the first nesting the client differs,
  // so H once more; back outside, V.
  EXPECT_EQ(c_.Host().scrollBarChanges, (std::vector<int>{0, 1, 0, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(Window().Bar(SB_HORZ).Page(), 183u);
  EXPECT_EQ(Client().right, 183);
  EXPECT_EQ(Client().bottom, 83);
}

TEST_F(ScrollingTest, ScrollMessagesAndKeys) {
  // Both bars shown, the client 200 x 100: H 0..300 page 200 (line 6), V 0..500 page 100 (line 3).
  Make(217, 117);
  Open(300, 500);
  ASSERT_EQ(Client().right, 200);
  ASSERT_EQ(Client().bottom, 100);
  struct Step {
    const char* name;
    uint32_t message;
    WPARAM wParam;
    int32_t h, v;  // positions afterwards
    std::optional<int32_t> thumb = std::nullopt;  // the user drags the horizontal thumb here
  };
  const Step steps[] = {
      {"line right", WM_HSCROLL, kLineDown, 6, 0},
      {"page right, clamped to 300 - 200 + 1", WM_HSCROLL, kPageDown, 101, 0},
      {"line left", WM_HSCROLL, kLineUp, 95, 0},
      {"page left stops at min", WM_HSCROLL, kPageUp, 0, 0},
      {"thumb track", WM_HSCROLL, MAKEWPARAM(kThumbTrack, 42), 42, 0, 42},
      {"thumb position", WM_HSCROLL, MAKEWPARAM(kThumbPosition, 60), 60, 0, 60},
      {"end scroll", WM_HSCROLL, kEndScroll, 60, 0},
      {"line down", WM_VSCROLL, kLineDown, 60, 3},
      {"Page Down", WM_KEYDOWN, 0x22, 60, 103},
      {"End: max - 1, clamped to the bottom", WM_KEYDOWN, 0x23, 60, 401},
      {"Page Down at the bottom", WM_KEYDOWN, 0x22, 60, 401},
      {"Page Up", WM_KEYDOWN, 0x21, 60, 301},
      {"Home", WM_KEYDOWN, 0x24, 60, 0},
      {"Down", WM_KEYDOWN, 0x28, 60, 3},
      {"Up", WM_KEYDOWN, 0x26, 60, 0},
      {"Right", WM_KEYDOWN, 0x27, 66, 0},
      {"Left", WM_KEYDOWN, 0x25, 60, 0},
      {"another key", WM_KEYDOWN, 0x41, 60, 0},
  };
  for (const Step& s : steps) {
    if (s.thumb) Window().TrackThumb(SB_HORZ, *s.thumb);
    c_.Host().invalidations.clear();
    c_.Host().defaultMessages.clear();
    Send(s.message, s.wParam);
    if (s.thumb) Window().TrackThumb(SB_HORZ, std::nullopt);
    EXPECT_EQ(Pos(SB_HORZ), s.h) << s.name;
    EXPECT_EQ(Pos(SB_VERT), s.v) << s.name;
    // Every message goes on to the default processing; a move repaints without erase.
    EXPECT_EQ(c_.Host().defaultMessages, std::vector<uint32_t>{s.message}) << s.name;
    if (s.wParam != 0x41) {
      ASSERT_FALSE(c_.Host().invalidations.empty()) << s.name;
      EXPECT_FALSE(c_.Host().invalidations.back().erase) << s.name;
    }
  }

  // A new file starts at position 0; turning Scrolling off empties the bars; then the messages
  // move nothing but still reach the default processing.
  Send(WM_KEYDOWN, 0x22);
  Open(300, 400);
  EXPECT_EQ(Pos(SB_HORZ), 0);
  EXPECT_EQ(Pos(SB_VERT), 0);
  Send(WM_KEYDOWN, 0x22);
  c_.Put("Scrolling", Variant::Bool(false));
  EXPECT_FALSE(Window().BarVisible(SB_HORZ) || Window().BarVisible(SB_VERT));
  EXPECT_EQ(Window().Bar(SB_VERT).Max(), 0);
  EXPECT_EQ(Pos(SB_VERT), 0);
  c_.Host().invalidations.clear();
  c_.Host().defaultMessages.clear();
  for (WPARAM key : {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28}) Send(WM_KEYDOWN, key);
  Send(WM_HSCROLL, kLineDown);
  Send(WM_VSCROLL, kPageDown);
  EXPECT_EQ(c_.Host().defaultMessages.size(), 10u);
  EXPECT_TRUE(c_.Host().invalidations.empty());
}

TEST_F(ScrollingTest, TheWheelMovesTheVerticalBarByItsSetting) {
  c_.Host().wheelScrollLines = 3;  // read when the window is created
  // V 0..900 with a page of 300 (a line of 10); no horizontal bar.
  Make(317, 300);
  EXPECT_EQ(Ctl().wheelLines, 3);
  Open(300, 900);
  ASSERT_EQ(Window().Bar(SB_VERT).Page(), 300u);
  struct Step {
    int16_t delta;
    int32_t pos;
    bool repainted;
  };
  const Step notches[] = {
      {-120, 30, true}, {-120, 60, true}, {60, 60, false},  // the change of direction discards
      {60, 30, true},   {240, 0, true},   {1, 0, true},      // the second notch of 240 waits
      {-60, 0, false},
  };
  for (const Step& s : notches) {
    c_.Host().invalidations.clear();
    EXPECT_EQ(Wheel(s.delta), 1);
    EXPECT_EQ(Pos(SB_VERT), s.pos) << s.delta;
    EXPECT_EQ(!c_.Host().invalidations.empty(), s.repainted) << s.delta;
  }
  EXPECT_EQ(Ctl().wheelDelta, -60);

  // A page per notch, read again when the setting changes.
  c_.Host().wheelScrollLines = -1;
  Ctl().SendMessage(WM_SETTINGCHANGE);
  ASSERT_EQ(Ctl().wheelLines, -1);
  Wheel(-120);  // -60 - 120: a notch, -60 left
  EXPECT_EQ(Pos(SB_VERT), 300);
  Wheel(-120);
  EXPECT_EQ(Pos(SB_VERT), 600);
  Wheel(120);
  EXPECT_EQ(Pos(SB_VERT), 300);
  Wheel(120);
  EXPECT_EQ(Pos(SB_VERT), 0);
  // A host without a setting means 3 lines.
  c_.Host().wheelScrollLines.reset();
  Ctl().SendMessage(WM_SETTINGCHANGE);
  EXPECT_EQ(Ctl().wheelLines, 3);

  // Opening clears what was collected; with Scrolling off the wheel finds an empty range.
  Wheel(60);
  Open(300, 900);
  EXPECT_EQ(Ctl().wheelDelta, 0);
  c_.Put("Scrolling", Variant::Bool(false));
  c_.Host().invalidations.clear();
  Wheel(-120);
  EXPECT_EQ(Pos(SB_VERT), 0);
  EXPECT_FALSE(c_.Host().invalidations.empty());
  EXPECT_FALSE(Window().BarVisible(SB_VERT));
}

}  // namespace
}  // namespace pelmor::test
