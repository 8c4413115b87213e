// The window a control lives in, as the control sees it: an outer size and styles, a client
// rectangle that loses the border and the visible scroll bars, a backing surface the paints go to,
// an invalid region, a client device context for painting outside the paint cycle, the two
// standard scroll bars, and the messages it sends its control (WM_CREATE, WM_SIZE, WM_PAINT).
// Whoever shows the window (a headless host, a widget) implements WindowHost.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/device_context.h"
#include "platform/font_engine.h"
#include "platform/surface.h"
#include "platform/window/scroll_bar.h"
#include "platform/window/window_message.h"

namespace pelmor::platform {

// What a window asks of the host that shows it. Every member has a sensible default, so a host
// overrides only what it does differently.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // Width of a vertical bar and height of a horizontal one, in pixels.
  virtual int32_t ScrollBarThickness() const { return 17; }
  // Part of the client area needs painting (the host schedules a WM_PAINT through UpdateWindow).
  virtual void OnInvalidated(const RECT& /*rect*/, bool /*erase*/) {}
  // A scroll bar's state or visibility changed; a host with real bars mirrors it.
  virtual void OnScrollBarChanged(int /*bar*/) {}
  // The client area moved or changed size inside the window (a border or a bar came or went, the
  // window was resized); a host with real bars places them again.
  virtual void OnClientAreaChanged() {}
  // Something was painted through the client device context outside the paint cycle (from any
  // thread); the host shows it when it can. Must not wait for the host's own thread.
  virtual void Present(const RECT& /*rect*/) {}
  // The window system's default processing of a message the control passes on.
  virtual LRESULT DefWindowProc(const Message& /*message*/) { return 0; }
  // The engine text is drawn with in this window; null for the default.
  virtual FontEngine* TextEngine() { return nullptr; }
  // The user's wheel setting: lines per notch, -1 for a page per notch; nothing when the platform
  // has no such setting.
  virtual std::optional<int32_t> WheelScrollLines() const { return std::nullopt; }
};

class WindowModel {
 public:
  // A border drawn by the window around its client area (WS_BORDER), in pixels per side.
  static constexpr int32_t kBorderWidth = 1;
  // The largest outer side a window takes (what WM_SIZE can carry); larger sizes are cut to it.
  static constexpr int32_t kMaxSide = 65535;

  explicit WindowModel(WindowHost* host = nullptr);
  ~WindowModel();
  WindowModel(const WindowModel&) = delete;
  WindowModel& operator=(const WindowModel&) = delete;

  // Creates the window with the given styles and outer size: sends WM_CREATE (lParam points to a
  // CREATESTRUCT), then WM_SIZE with the client size. False, and no window, when the target
  // answers WM_CREATE with -1.
  bool Create(MessageTarget* target, uint32_t style, int32_t width, int32_t height);
  // Ends the window: WM_DESTROY goes to the target, and then no more messages. The window's
  // destructor does the same.
  void Destroy();
  bool Exists() const { return target_ != nullptr; }
  // A number that identifies this window while it exists (0 when it does not).
  uint32_t Handle() const { return Exists() ? handle_ : 0; }
  WindowHost* Host() const { return host_; }

  uint32_t Style() const { return style_; }
  // Changes style bits (WS_BORDER, WS_HSCROLL, WS_VSCROLL); the client area follows, with a
  // WM_SIZE when its size changed.
  void ModifyStyle(uint32_t remove, uint32_t add);
  // A new outer size (each side cut to 0 ... kMaxSide); WM_SIZE when the client size changed.
  void SetSize(int32_t width, int32_t height);
  // Minimising sends WM_SIZE with SIZE_MINIMIZED and leaves the client size as it was;
  // restoring sends SIZE_RESTORED.
  void SetMinimized(bool minimized);
  bool Minimized() const { return minimized_; }
  SIZE Size() const { return {width_, height_}; }
  // (0, 0, client width, client height); false, and nothing written, without a window.
  bool GetClientRect(RECT* rect) const;
  // Where the client area lies inside the outer window.
  RECT ClientArea() const;

  // Marks a rectangle of the client area (all of it for null) as needing a paint.
  void Invalidate(const RECT* rect, bool erase);
  bool NeedsPaint() const { return invalid_.has_value(); }
  // The invalid rectangle and whether an erase was asked for, without changing them.
  std::optional<RECT> InvalidRect() const { return invalid_; }
  bool EraseRequested() const { return erase_; }
  // Sends WM_PAINT when something is invalid.
  void UpdateWindow();
  // Inside WM_PAINT: a context on the backing surface and the invalid rectangle, which becomes
  // valid. EndPaint frees the context.
  HDC BeginPaint(RECT* invalid);
  void EndPaint(HDC dc);

  // A context on the backing surface for painting outside the paint cycle, from any thread; the
  // surface keeps its size until ReleaseDC. One at a time. Null without a window.
  HDC GetDC();
  void ReleaseDC(HDC dc);
  // The client area's pixels. Use from the thread that owns the window, or between GetDC and
  // ReleaseDC.
  Surface& BackingSurface() { return backing_; }
  const Surface& BackingSurface() const { return backing_; }
  // Hands a rectangle painted outside the paint cycle to the host to show.
  void Present(const RECT& rect);

  // The bar's state, with the visibility it asks for applied to the window's styles. Reading a
  // bar is safe from any thread; setting it belongs to the window's own thread.
  int SetScrollInfo(int bar, const SCROLLINFO& info, bool redraw);
  bool GetScrollInfo(int bar, SCROLLINFO& info) const;
  // A copy of a bar's state (SB_HORZ or SB_VERT).
  ScrollBar Bar(int bar) const;
  // Starts or ends a thumb drag on a bar (the track position follows the thumb meanwhile).
  void TrackThumb(int bar, std::optional<int32_t> trackPos);
  bool BarVisible(int bar) const { return (style_ & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)) != 0; }

  LRESULT SendMessage(const Message& message);
  LRESULT DefWindowProc(const Message& message);

  struct FrameColors {
    uint32_t frame = 0x646464;   // the border (0x00RRGGBB)
    uint32_t track = 0xC8C8C8;   // a scroll bar's track
    uint32_t thumb = 0xA0A0A0;   // its thumb
    uint32_t corner = 0xF0F0F0;  // the square between two bars
  };
  // The whole window as it looks: border, scroll bars (track and thumb) and the client pixels.
  // Safe while another thread paints through a client context (it waits for ReleaseDC).
  Surface Compose(const FrameColors& colors) const;
  Surface Compose() const { return Compose(FrameColors{}); }

 private:
  void Relayout();  // client size from outer size and styles; WM_SIZE when it changed
  HDC NewContext();

  WindowHost* host_;
  WindowHost defaultHost_;
  MessageTarget* target_ = nullptr;
  uint32_t handle_ = 0;
  uint32_t style_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t clientWidth_ = 0;
  int32_t clientHeight_ = 0;
  bool minimized_ = false;
  std::optional<RECT> invalid_;
  bool erase_ = false;
  mutable std::mutex barMutex_;  // guards the two bars' state
  ScrollBar horizontal_;
  ScrollBar vertical_;
  // Held from GetDC to ReleaseDC, while the surface is replaced, and while Compose reads it.
  mutable std::mutex surfaceMutex_;
  Surface backing_;
};

}  // namespace pelmor::platform
