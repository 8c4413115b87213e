// Window messages as the control's window receives them: the message numbers, their parameters
// packed as the window system packs them, and the receiver of a window's messages.
#pragma once

#include <cstdint>

namespace pelmor::platform {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_ERASEBKGND = 0x0014;
constexpr uint32_t WM_SETTINGCHANGE = 0x001A;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_HSCROLL = 0x0114;
constexpr uint32_t WM_VSCROLL = 0x0115;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;

// WM_SIZE kinds (wParam).
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// Window styles the control's window can have.
constexpr uint32_t WS_BORDER = 0x00800000;
constexpr uint32_t WS_VSCROLL = 0x00200000;
constexpr uint32_t WS_HSCROLL = 0x00100000;
constexpr uint32_t WS_CHILD = 0x40000000;
constexpr uint32_t WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;

constexpr uint16_t LOWORD(uintptr_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
constexpr uint16_t HIWORD(uintptr_t v) { return static_cast<uint16_t>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(uint16_t low, uint16_t high) {
  return static_cast<LPARAM>(static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16);
}
constexpr WPARAM MAKEWPARAM(uint16_t low, uint16_t high) {
  return static_cast<WPARAM>(static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16);
}
// The signed rotation of a WM_MOUSEWHEEL message, in 120ths of a notch.
constexpr int16_t GET_WHEEL_DELTA_WPARAM(WPARAM w) { return static_cast<int16_t>(HIWORD(w)); }

struct Message {
  uint32_t message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// What WM_CREATE carries (its lParam points to one): the window's size and styles.
struct CREATESTRUCT {
  int32_t cx = 0;
  int32_t cy = 0;
  uint32_t style = 0;
};

// The object a window hands its messages to (the window procedure).
class MessageTarget {
 public:
  virtual LRESULT WindowProc(const Message& message) = 0;

 protected:
  ~MessageTarget() = default;
};

}  // namespace pelmor::platform
