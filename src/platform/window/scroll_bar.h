// The state of one of a window's two standard scroll bars and the rules by which it is set and
// read: the order in which fields are applied, the clamping of page and position, and when the
// bar asks to be shown or hidden.
#pragma once

#include <cstdint>

namespace pelmor::platform {

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;

constexpr uint32_t SIF_RANGE = 0x0001;
constexpr uint32_t SIF_PAGE = 0x0002;
constexpr uint32_t SIF_POS = 0x0004;
constexpr uint32_t SIF_DISABLENOSCROLL = 0x0008;
constexpr uint32_t SIF_TRACKPOS = 0x0010;
constexpr uint32_t SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
constexpr uint32_t SIF_RETURNPREV = 0x1000;

struct SCROLLINFO {
  uint32_t cbSize = sizeof(SCROLLINFO);
  uint32_t fMask = 0;
  int32_t nMin = 0;
  int32_t nMax = 0;
  uint32_t nPage = 0;
  int32_t nPos = 0;
  int32_t nTrackPos = 0;
};

class ScrollBar {
 public:
  // What a set asks of the window the bar belongs to.
  enum class Visibility { kUnchanged, kShow, kHide };
  struct SetResult {
    bool accepted = false;  // false: the call was refused and nothing was stored
    int32_t pos = 0;        // the position after the call (before it, with SIF_RETURNPREV)
    Visibility visibility = Visibility::kUnchanged;
  };

  // Page, then position, then range, as the mask says; page and position clamped afterwards.
  SetResult Set(const SCROLLINFO& info);
  // Fills the fields the mask names; false when the mask names none.
  bool Get(SCROLLINFO& info) const;

  // While the user drags the thumb, the track position is the thumb's; otherwise the position.
  void BeginTracking(int32_t trackPos);
  void EndTracking();

  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  uint32_t Page() const { return static_cast<uint32_t>(page_); }
  int32_t Pos() const { return pos_; }
  // True when the whole range is visible at once, so the bar has nothing to scroll.
  bool Unneeded() const;

 private:
  int32_t min_ = 0;
  int32_t max_ = 100;
  int32_t page_ = 0;
  int32_t pos_ = 0;
  bool tracking_ = false;
  int32_t trackPos_ = 0;
};

}  // namespace pelmor::platform
