#include "platform/window/window_model.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace pelmor::platform {

namespace {

uint32_t NewHandle() {
  static std::atomic<uint32_t> next{0x10};
  uint32_t h = next.fetch_add(4);
  if (h == 0) h = next.fetch_add(4);
  return h;
}

RECT Union(const RECT& a, const RECT& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

void FillArea(Surface& s, RECT r, uint32_t pixel) {
  if (!s.Clip(r)) return;
  for (int32_t y = r.top; y < r.bottom; ++y) std::fill(s.Row(y) + r.left, s.Row(y) + r.right, pixel);
}

// The thumb of a bar along a track of `length` pixels: its offset and size.
std::pair<int32_t, int32_t> Thumb(const ScrollBar& bar, int32_t length) {
  const int64_t range = int64_t{bar.Max()} - bar.Min() + 1;
  if (range <= 0 || length <= 0) return {0, 0};
  const int64_t page = bar.Page() == 0 ? 1 : bar.Page();
  const int64_t size = std::clamp<int64_t>(length * page / range, std::min<int64_t>(8, length), length);
  const int64_t travel = range - std::max<int64_t>(page, 1);
  const int64_t offset = travel > 0 ? (length - size) * (int64_t{bar.Pos()} - bar.Min()) / travel : 0;
  return {static_cast<int32_t>(std::clamp<int64_t>(offset, 0, length - size)),
          static_cast<int32_t>(size)};
}

}  // namespace

WindowModel::WindowModel(WindowHost* host) : host_(host != nullptr ? host : &defaultHost_) {}

WindowModel::~WindowModel() { Destroy(); }

bool WindowModel::Create(MessageTarget* target, uint32_t style, int32_t width, int32_t height) {
  if (target == nullptr || Exists()) return false;
  handle_ = NewHandle();
  style_ = style;
  width_ = std::clamp(width, 0, kMaxSide);
  height_ = std::clamp(height, 0, kMaxSide);
  minimized_ = false;
  invalid_.reset();
  erase_ = false;
  {
    std::lock_guard<std::mutex> hold(barMutex_);
    horizontal_ = ScrollBar();
    vertical_ = ScrollBar();
  }
  // The client area is sized before WM_CREATE, and nobody is told: the target is not set yet.
  clientWidth_ = -1;
  clientHeight_ = -1;
  Relayout();
  target_ = target;
  CREATESTRUCT cs{width_, height_, style_};
  if (SendMessage({WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)}) == -1) {
    target_ = nullptr;
    return false;
  }
  SendMessage({WM_SIZE, SIZE_RESTORED,
               MAKELPARAM(static_cast<uint16_t>(clientWidth_), static_cast<uint16_t>(clientHeight_))});
  Invalidate(nullptr, true);
  return true;
}

void WindowModel::Destroy() {
  if (target_ != nullptr) {
    // The last message: after it the target hears nothing more from this window.
    MessageTarget* target = target_;
    target->WindowProc({WM_DESTROY, 0, 0});
    target_ = nullptr;
  }
  invalid_.reset();
}

void WindowModel::ModifyStyle(uint32_t remove, uint32_t add) {
  const uint32_t style = (style_ & ~remove) | add;
  if (style == style_) return;
  style_ = style;
  Relayout();
}

void WindowModel::SetSize(int32_t width, int32_t height) {
  width_ = std::clamp(width, 0, kMaxSide);
  height_ = std::clamp(height, 0, kMaxSide);
  Relayout();
}

void WindowModel::SetMinimized(bool minimized) {
  if (minimized == minimized_) return;
  minimized_ = minimized;
  SendMessage({WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
               MAKELPARAM(static_cast<uint16_t>(clientWidth_), static_cast<uint16_t>(clientHeight_))});
}

RECT WindowModel::ClientArea() const {
  const int32_t b = (style_ & WS_BORDER) ? kBorderWidth : 0;
  return {b, b, b + std::max(clientWidth_, 0), b + std::max(clientHeight_, 0)};
}

bool WindowModel::GetClientRect(RECT* rect) const {
  if (rect == nullptr || !Exists()) return false;
  *rect = {0, 0, std::max(clientWidth_, 0), std::max(clientHeight_, 0)};
  return true;
}

void WindowModel::Relayout() {
  int32_t w = width_, h = height_;
  if (style_ & WS_BORDER) {
    w = std::max(w - 2 * kBorderWidth, 0);
    h = std::max(h - 2 * kBorderWidth, 0);
  }
  const int32_t thickness = std::max(host_->ScrollBarThickness(), 0);
  if ((style_ & WS_VSCROLL) && w >= thickness) w -= thickness;
  if ((style_ & WS_HSCROLL) && h > thickness) h -= thickness;
  if (w == clientWidth_ && h == clientHeight_) return;
  {
    std::lock_guard<std::mutex> hold(surfaceMutex_);
    Surface next = Surface::Create(w, h);
    if (next && backing_) {
      // Keep what both sizes show, so a host shows no hole until the next paint.
      const int32_t cw = std::min(w, backing_.Width()), ch = std::min(h, backing_.Height());
      for (int32_t y = 0; y < ch; ++y) {
        std::memcpy(next.Row(y), backing_.Row(y), static_cast<size_t>(cw) * 4);
      }
    }
    backing_ = std::move(next);
    clientWidth_ = w;
    clientHeight_ = h;
  }
  host_->OnClientAreaChanged();
  if (!Exists()) return;
  Invalidate(nullptr, true);
  SendMessage({WM_SIZE, minimized_ ? SIZE_MINIMIZED : SIZE_RESTORED,
               MAKELPARAM(static_cast<uint16_t>(w), static_cast<uint16_t>(h))});
}

void WindowModel::Invalidate(const RECT* rect, bool erase) {
  if (!Exists()) return;
  RECT r{0, 0, std::max(clientWidth_, 0), std::max(clientHeight_, 0)};
  if (rect != nullptr) {
    r = {std::max(rect->left, 0), std::max(rect->top, 0), std::min(rect->right, r.right),
         std::min(rect->bottom, r.bottom)};
  }
  erase_ = erase_ || erase;
  if (r.left < r.right && r.top < r.bottom) {
    invalid_ = invalid_ ? Union(*invalid_, r) : r;
  }
  host_->OnInvalidated(r, erase);
}

void WindowModel::UpdateWindow() {
  if (Exists() && invalid_) SendMessage({WM_PAINT, 0, 0});
}

HDC WindowModel::NewContext() {
  HDC dc = CreateDisplayDC(&backing_);
  if (dc != nullptr) SetFontEngine(dc, host_->TextEngine());
  return dc;
}

HDC WindowModel::BeginPaint(RECT* invalid) {
  if (invalid != nullptr) *invalid = invalid_.value_or(RECT{0, 0, 0, 0});
  invalid_.reset();
  erase_ = false;
  return Exists() ? NewContext() : nullptr;
}

void WindowModel::EndPaint(HDC dc) {
  if (dc != nullptr) DeleteDC(dc);
}

HDC WindowModel::GetDC() {
  if (!Exists()) return nullptr;
  surfaceMutex_.lock();
  HDC dc = NewContext();
  if (dc == nullptr) surfaceMutex_.unlock();
  return dc;
}

void WindowModel::ReleaseDC(HDC dc) {
  if (dc == nullptr) return;
  DeleteDC(dc);
  surfaceMutex_.unlock();
}

void WindowModel::Present(const RECT& rect) { host_->Present(rect); }

int WindowModel::SetScrollInfo(int bar, const SCROLLINFO& info, bool /*redraw*/) {
  if (bar != SB_HORZ && bar != SB_VERT) return 0;
  ScrollBar::SetResult r;
  {
    std::lock_guard<std::mutex> hold(barMutex_);
    r = (bar == SB_VERT ? vertical_ : horizontal_).Set(info);
  }
  if (!r.accepted) return 0;
  const uint32_t flag = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
  host_->OnScrollBarChanged(bar);
  // Showing or hiding a bar changes the client area, and WM_SIZE goes out from inside this call.
  if (r.visibility == ScrollBar::Visibility::kShow) ModifyStyle(0, flag);
  if (r.visibility == ScrollBar::Visibility::kHide) ModifyStyle(flag, 0);
  return r.pos;
}

bool WindowModel::GetScrollInfo(int bar, SCROLLINFO& info) const {
  if (bar != SB_HORZ && bar != SB_VERT) return false;
  std::lock_guard<std::mutex> hold(barMutex_);
  return (bar == SB_VERT ? vertical_ : horizontal_).Get(info);
}

ScrollBar WindowModel::Bar(int bar) const {
  std::lock_guard<std::mutex> hold(barMutex_);
  return bar == SB_VERT ? vertical_ : horizontal_;
}

void WindowModel::TrackThumb(int bar, std::optional<int32_t> trackPos) {
  {
    std::lock_guard<std::mutex> hold(barMutex_);
    ScrollBar& b = bar == SB_VERT ? vertical_ : horizontal_;
    if (trackPos) {
      b.BeginTracking(*trackPos);
    } else {
      b.EndTracking();
    }
  }
  host_->OnScrollBarChanged(bar);
}

LRESULT WindowModel::SendMessage(const Message& message) {
  return target_ != nullptr ? target_->WindowProc(message) : 0;
}

LRESULT WindowModel::DefWindowProc(const Message& message) { return host_->DefWindowProc(message); }

Surface WindowModel::Compose(const FrameColors& colors) const {
  Surface out = Surface::Create(width_, height_);
  if (!out) return out;
  FillArea(out, {0, 0, width_, height_}, colors.frame);
  const RECT client = ClientArea();
  {
    std::lock_guard<std::mutex> hold(surfaceMutex_);
    for (int32_t y = 0; y < backing_.Height() && client.top + y < height_; ++y) {
      const int32_t n = std::min(backing_.Width(), width_ - client.left);
      if (n > 0) std::memcpy(out.Row(client.top + y) + client.left, backing_.Row(y), static_cast<size_t>(n) * 4);
    }
  }
  const int32_t thickness = std::max(host_->ScrollBarThickness(), 0);
  const bool vertical = BarVisible(SB_VERT) && client.right + thickness <= width_;
  const bool horizontal = BarVisible(SB_HORZ) && client.bottom + thickness <= height_;
  if (vertical) {
    const RECT track{client.right, client.top, client.right + thickness, client.bottom};
    FillArea(out, track, colors.track);
    const auto [offset, size] = Thumb(Bar(SB_VERT), client.bottom - client.top);
    FillArea(out, {track.left + 2, client.top + offset, track.right - 2, client.top + offset + size},
             colors.thumb);
  }
  if (horizontal) {
    const RECT track{client.left, client.bottom, client.right, client.bottom + thickness};
    FillArea(out, track, colors.track);
    const auto [offset, size] = Thumb(Bar(SB_HORZ), client.right - client.left);
    FillArea(out, {client.left + offset, track.top + 2, client.left + offset + size, track.bottom - 2},
             colors.thumb);
  }
  if (vertical && horizontal) {
    FillArea(out, {client.right, client.bottom, client.right + thickness, client.bottom + thickness},
             colors.corner);
  }
  return out;
}

}  // namespace pelmor::platform
