// A scroll bar's set and get rules: what is applied, how page and position are clamped, and when
// the bar asks to be shown or hidden.
#include <gtest/gtest.h>

#include "platform/window/scroll_bar.h"

namespace pelmor::platform {
namespace {

using V = ScrollBar::Visibility;

SCROLLINFO Info(uint32_t mask, int32_t min = 0, int32_t max = 0, uint32_t page = 0, int32_t pos = 0) {
  SCROLLINFO i;
  i.fMask = mask;
  i.nMin = min;
  i.nMax = max;
  i.nPage = page;
  i.nPos = pos;
  return i;
}

TEST(ScrollBar, SetClampsAndDecidesVisibility) {
  ScrollBar bar;
  EXPECT_EQ(bar.Max(), 100);  // a new bar's range is 0 ... 100

  // Range and page of an image 300 wide in 200: positions 0 ... 101, the bar wanted.
  auto r = bar.Set(Info(SIF_RANGE | SIF_PAGE, 0, 300, 200));
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.visibility, V::kShow);
  r = bar.Set(Info(SIF_POS, 0, 0, 0, 500));
  EXPECT_EQ(r.pos, 101);
  EXPECT_EQ(r.visibility, V::kUnchanged);  // a position alone never shows or hides
  r = bar.Set(Info(SIF_POS | SIF_RETURNPREV, 0, 0, 0, -5));
  EXPECT_EQ(r.pos, 101);  // the previous position
  EXPECT_EQ(bar.Pos(), 0);

  // The same values again change nothing, so nothing is shown or hidden.
  EXPECT_EQ(bar.Set(Info(SIF_RANGE | SIF_PAGE, 0, 300, 200)).visibility, V::kUnchanged);
  // Page alone never shows the bar, but may hide it.
  EXPECT_EQ(bar.Set(Info(SIF_PAGE, 0, 0, 150)).visibility, V::kUnchanged);
  EXPECT_EQ(bar.Set(Info(SIF_PAGE, 0, 0, 400)).visibility, V::kHide);
  EXPECT_EQ(bar.Page(), 301u);  // clamped to max - min + 1

  // An empty range: page clamped to 1, the bar hidden; a reversed range stores 0 ... 0.
  EXPECT_EQ(bar.Set(Info(SIF_RANGE | SIF_PAGE, 0, 0, 100)).visibility, V::kHide);
  EXPECT_EQ(bar.Page(), 1u);
  bar.Set(Info(SIF_RANGE, 10, 5));
  EXPECT_EQ(bar.Min(), 0);
  EXPECT_EQ(bar.Max(), 0);
  // A page above INT_MAX counts as negative: 0.
  bar.Set(Info(SIF_RANGE | SIF_PAGE, 0, 50, 0x80000000u));
  EXPECT_EQ(bar.Page(), 0u);
  // With SIF_DISABLENOSCROLL an unneeded bar stays.
  EXPECT_EQ(bar.Set(Info(SIF_RANGE | SIF_DISABLENOSCROLL, 0, 0)).visibility, V::kUnchanged);

  // Refused calls store nothing.
  SCROLLINFO bad = Info(SIF_RANGE, 0, 9);
  bad.cbSize = 12;
  EXPECT_FALSE(bar.Set(bad).accepted);
  EXPECT_FALSE(bar.Set(Info(0x20 | SIF_RANGE, 0, 9)).accepted);
  EXPECT_EQ(bar.Max(), 0);
}

TEST(ScrollBar, GetFillsWhatTheMaskNames) {
  ScrollBar bar;
  bar.Set(Info(SIF_ALL, 0, 300, 200, 40));
  SCROLLINFO out = Info(SIF_POS | SIF_TRACKPOS);
  out.nMax = 77;
  ASSERT_TRUE(bar.Get(out));
  EXPECT_EQ(out.nPos, 40);
  EXPECT_EQ(out.nTrackPos, 40);
  EXPECT_EQ(out.nMax, 77);  // not asked for
  bar.BeginTracking(90);
  ASSERT_TRUE(bar.Get(out));
  EXPECT_EQ(out.nTrackPos, 90);
  EXPECT_EQ(out.nPos, 40);
  SCROLLINFO none = Info(SIF_DISABLENOSCROLL);
  EXPECT_FALSE(bar.Get(none));
}

}  // namespace
}  // namespace pelmor::platform
