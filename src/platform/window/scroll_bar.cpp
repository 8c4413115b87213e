#include "platform/window/scroll_bar.h"

#include <algorithm>

namespace pelmor::platform {

namespace {

// max - max(page - 1, 0): the highest position, in 64 bits so that extreme ranges do not wrap.
int64_t HighestPos(int32_t max, int32_t page) { return int64_t{max} - std::max(int64_t{page} - 1, int64_t{0}); }

}  // namespace

bool ScrollBar::Unneeded() const { return int64_t{min_} >= HighestPos(max_, page_); }

ScrollBar::SetResult ScrollBar::Set(const SCROLLINFO& info) {
  SetResult result;
  if ((info.cbSize != sizeof(SCROLLINFO) && info.cbSize != sizeof(SCROLLINFO) - 4) ||
      (info.fMask & ~(SIF_ALL | SIF_DISABLENOSCROLL | SIF_RETURNPREV)) != 0) {
    return result;
  }
  result.accepted = true;
  const int32_t previousPos = pos_;
  bool changed = false;
  if (info.fMask & SIF_PAGE) {
    // A page above INT_MAX is stored as the negative number it reads as, and clamped to 0 below.
    const auto page = static_cast<int32_t>(info.nPage);
    changed |= page != page_;
    page_ = page;
  }
  if (info.fMask & SIF_POS) {
    changed |= info.nPos != pos_;
    pos_ = info.nPos;
  }
  if (info.fMask & SIF_RANGE) {
    if (info.nMin > info.nMax ||
        static_cast<uint32_t>(info.nMax) - static_cast<uint32_t>(info.nMin) >= 0x80000000u) {
      changed = true;
      min_ = 0;
      max_ = 0;
    } else if (info.nMin != min_ || info.nMax != max_) {
      changed = true;
      min_ = info.nMin;
      max_ = info.nMax;
    }
  }
  const int64_t range = int64_t{max_} - min_ + 1;
  page_ = static_cast<int32_t>(std::clamp<int64_t>(page_, 0, range));
  const int64_t highest = HighestPos(max_, page_);
  if (pos_ < min_) {
    pos_ = min_;
  } else if (pos_ > highest) {
    pos_ = static_cast<int32_t>(highest);
  }
  result.pos = (info.fMask & SIF_RETURNPREV) ? previousPos : pos_;

  // A call with nothing but SIF_DISABLENOSCROLL (or SIF_RETURNPREV) leaves the bar as it is, and
  // so does a call that changes nothing.
  if ((info.fMask & SIF_ALL) == 0) return result;
  if ((info.fMask & (SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL)) == 0) return result;
  if (Unneeded()) {
    // With SIF_DISABLENOSCROLL the bar stays (disabled) instead of going.
    if (!(info.fMask & SIF_DISABLENOSCROLL) && changed) result.visibility = Visibility::kHide;
  } else if (info.fMask != SIF_PAGE && changed) {
    result.visibility = Visibility::kShow;
  }
  return result;
}

bool ScrollBar::Get(SCROLLINFO& info) const {
  if ((info.fMask & SIF_ALL) == 0) return false;
  if (info.fMask & SIF_RANGE) {
    info.nMin = min_;
    info.nMax = max_;
  }
  if (info.fMask & SIF_PAGE) info.nPage = static_cast<uint32_t>(page_);
  if (info.fMask & SIF_POS) info.nPos = pos_;
  if (info.fMask & SIF_TRACKPOS) info.nTrackPos = tracking_ ? trackPos_ : pos_;
  return true;
}

void ScrollBar::BeginTracking(int32_t trackPos) {
  tracking_ = true;
  trackPos_ = trackPos;
}

void ScrollBar::EndTracking() { tracking_ = false; }

}  // namespace pelmor::platform
