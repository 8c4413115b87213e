// The window model: creation messages, the client area under borders and scroll bars, WM_SIZE sent
// from inside the call that changes it, invalidation, painting, client contexts and the picture
// of the whole window.
#include <gtest/gtest.h>

#include <vector>

#include "platform/window/headless_window.h"

namespace pelmor::platform {
namespace {

// Records every message; answers WM_CREATE with a chosen result and can act on WM_SIZE.
class Recorder : public MessageTarget {
 public:
  LRESULT WindowProc(const Message& m) override {
    if (m.message == WM_CREATE) created = *reinterpret_cast<const CREATESTRUCT*>(m.lParam);
    messages.push_back(m);
    if (m.message == WM_SIZE && onSize) onSize(m);
    return m.message == WM_CREATE ? createResult : 0;
  }
  std::vector<std::pair<int, int>> Sizes() const {
    std::vector<std::pair<int, int>> out;
    for (const Message& m : messages) {
      if (m.message == WM_SIZE) out.emplace_back(LOWORD(m.lParam), HIWORD(m.lParam));
    }
    return out;
  }
  std::vector<Message> messages;
  CREATESTRUCT created;
  LRESULT createResult = 0;
  std::function<void(const Message&)> onSize;
};

TEST(WindowModel, ClientAreaLosesTheBorderAndVisibleBars) {
  Recorder r;  // outlives the window, which sends it WM_DESTROY when it goes
  HeadlessWindowHost host;
  WindowModel& w = host.Window();
  ASSERT_TRUE(w.Create(&r, WS_BORDER | WS_HSCROLL | WS_VSCROLL, 200, 100));
  EXPECT_EQ(r.messages[0].message, WM_CREATE);
  EXPECT_EQ(r.created.cx, 200);
  // Both bars show their initial range; the border takes a pixel on each side.
  RECT c;
  ASSERT_TRUE(w.GetClientRect(&c));
  EXPECT_EQ(c.right, 200 - 2 - 17);
  EXPECT_EQ(c.bottom, 100 - 2 - 17);
  EXPECT_EQ(r.Sizes(), (std::vector<std::pair<int, int>>{{181, 81}}));
  EXPECT_EQ(w.BackingSurface().Width(), 181);

  // Hiding a bar through its range sends WM_SIZE from inside the call.
  SCROLLINFO empty;
  empty.fMask = SIF_ALL;
  int sizesSeen = 0;
  r.onSize = [&](const Message&) { ++sizesSeen; };
  w.SetScrollInfo(SB_VERT, empty, true);
  EXPECT_EQ(sizesSeen, 1);
  EXPECT_EQ(r.Sizes().back(), (std::pair<int, int>{198, 81}));
  w.ModifyStyle(WS_BORDER, 0);
  EXPECT_EQ(r.Sizes().back(), (std::pair<int, int>{200, 83}));
  // A window narrower than a bar keeps its width; one exactly as high as a bar keeps its height.
  w.SetSize(16, 17);
  w.ModifyStyle(0, WS_VSCROLL);
  ASSERT_TRUE(w.GetClientRect(&c));
  EXPECT_EQ(c.right, 16);
  EXPECT_EQ(c.bottom, 17);
  // Minimising tells the control without changing the client area.
  w.SetMinimized(true);
  EXPECT_EQ(r.messages.back().wParam, SIZE_MINIMIZED);

  Recorder refusing;
  refusing.createResult = -1;
  WindowModel other;
  EXPECT_FALSE(other.Create(&refusing, 0, 10, 10));
  EXPECT_FALSE(other.Exists());
  EXPECT_FALSE(other.GetClientRect(&c));
}

TEST(WindowModel, InvalidationPaintingAndTheWholeWindow) {
  Recorder r;
  HeadlessWindowHost host;
  WindowModel& w = host.Window();
  ASSERT_TRUE(w.Create(&r, WS_BORDER | WS_VSCROLL, 40, 20));
  RECT invalid;
  HDC dc = w.BeginPaint(&invalid);
  EXPECT_EQ(invalid.right, 40 - 2 - 17);
  FillRect(dc, &invalid, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  w.EndPaint(dc);
  EXPECT_FALSE(w.NeedsPaint());

  const RECT a{2, 2, 4, 4}, b{10, 1, 12, 3};
  w.Invalidate(&a, false);
  w.Invalidate(&b, true);
  ASSERT_TRUE(w.InvalidRect().has_value());
  EXPECT_EQ(w.InvalidRect()->left, 2);
  EXPECT_EQ(w.InvalidRect()->right, 12);
  EXPECT_TRUE(w.EraseRequested());
  ASSERT_GE(host.invalidations.size(), 2u);
  EXPECT_TRUE(host.invalidations.back().erase);
  r.messages.clear();
  w.UpdateWindow();
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].message, WM_PAINT);

  // A client context paints the backing surface, which the whole window shows inside its frame.
  HDC client = w.GetDC();
  ASSERT_NE(client, nullptr);
  const RECT dot{0, 0, 1, 1};
  FillRect(client, &dot, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  w.ReleaseDC(client);
  const Surface whole = w.Compose();
  ASSERT_EQ(whole.Width(), 40);
  EXPECT_EQ(whole.Pixel(0, 0), 0x646464u);   // frame
  EXPECT_EQ(whole.Pixel(1, 1), 0xFFFFFFu);   // the client's first pixel
  EXPECT_EQ(whole.Pixel(2, 1), 0x000000u);
  EXPECT_EQ(whole.Pixel(38, 1), 0xC8C8C8u);  // the vertical bar's track

  r.messages.clear();
  w.Destroy();
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].message, WM_DESTROY);
  EXPECT_EQ(w.GetDC(), nullptr);
  EXPECT_EQ(w.Handle(), 0u);
}

}  // namespace
}  // namespace pelmor::platform
