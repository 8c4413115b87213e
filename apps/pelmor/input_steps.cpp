#include "input_steps.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "cli_options.h"
#include "platform/window/scroll_bar.h"
#include "platform/window/window_message.h"
#include "window_image.h"

namespace pelmor::cli {

namespace {

using namespace platform;

// A decimal integer (with an optional sign) or 0x and hex digits, within [low, high].
std::optional<int64_t> ParseInteger(const std::string& text, int64_t low, int64_t high) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  int64_t v = 0;
  std::from_chars_result r{};
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    r = std::from_chars(begin + 2, end, v, 16);
  } else {
    r = std::from_chars(begin + (text.size() > 1 && text[0] == '+' ? 1 : 0), end, v);
  }
  if (text.empty() || r.ec != std::errc() || r.ptr != end || v < low || v > high) return std::nullopt;
  return v;
}

int64_t Integer(const std::string& op, const std::string& text, int64_t low, int64_t high) {
  const std::optional<int64_t> v = ParseInteger(text, low, high);
  if (!v) {
    throw UsageError{op + " needs a number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + text + "'"};
  }
  return *v;
}

std::string BarJson(const WindowModel& window, int bar) {
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  if (!window.GetScrollInfo(bar, info)) return "null";
  return "{\"min\": " + std::to_string(info.nMin) + ", \"max\": " + std::to_string(info.nMax) +
         ", \"page\": " + std::to_string(info.nPage) + ", \"pos\": " + std::to_string(info.nPos) +
         ", \"visible\": " + (window.BarVisible(bar) ? "true" : "false") + "}";
}

// A scroll message with the request code; with a position the thumb is dragged there first and,
// unless the code says the drag goes on, let go afterwards.
void SendScroll(WindowModel& window, int bar, const std::string& codeText,
                const std::vector<std::string>& rest) {
  const auto code = static_cast<uint16_t>(*ParseInteger(codeText, 0, 0xFFFF));
  const std::optional<int64_t> pos =
      rest.empty() ? std::nullopt : ParseInteger(rest[0], INT32_MIN, INT32_MAX);
  constexpr uint16_t kThumbTrack = 5, kEndScroll = 8;
  if (pos) window.TrackThumb(bar, static_cast<int32_t>(*pos));
  Message m;
  m.message = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
  m.wParam = MAKEWPARAM(code, pos ? static_cast<uint16_t>(*pos) : 0);
  window.SendMessage(m);
  if ((pos && code != kThumbTrack) || code == kEndScroll) window.TrackThumb(bar, std::nullopt);
}

}  // namespace

bool ParseInputStep(const std::string& op, const std::vector<std::string>& args, size_t& i,
                    std::string& name, std::vector<std::string>& rest) {
  auto next = [&](const char* what) -> std::string {
    if (i >= args.size()) throw UsageError{op + " needs " + what};
    return args[i++];
  };
  if (op == "key") {
    name = next("a virtual-key code");
    Integer(op, name, 0, 0xFFFF);
  } else if (op == "wheel") {
    name = next("a rotation in 120ths of a notch");
    Integer(op, name, INT16_MIN, INT16_MAX);
  } else if (op == "hscroll" || op == "vscroll") {
    name = next("a scroll request code");
    Integer(op, name, 0, 0xFFFF);
    // An optional thumb position: the next argument when it is a number.
    if (i < args.size() && ParseInteger(args[i], INT32_MIN, INT32_MAX)) rest.push_back(args[i++]);
  } else if (op == "resize") {
    name = next("WxH");
    int32_t w = 0, h = 0;
    if (!ParseWindowSize(name, w, h) || w > WindowModel::kMaxSide || h > WindowModel::kMaxSide) {
      throw UsageError{"resize needs WxH with sides from 1 to 65535, not '" + name + "'"};
    }
  } else if (op == "scrollinfo") {
    name.clear();
  } else {
    return false;
  }
  return true;
}

std::string RunInputStep(HeadlessControl& hc, const std::string& op, const std::string& name,
                         const std::vector<std::string>& rest) {
  WindowModel& window = hc.host.Window();
  if (op == "key") {
    Message m;
    m.message = WM_KEYDOWN;
    m.wParam = static_cast<WPARAM>(*ParseInteger(name, 0, 0xFFFF));
    window.SendMessage(m);
  } else if (op == "wheel") {
    Message m;
    m.message = WM_MOUSEWHEEL;
    m.wParam = MAKEWPARAM(0, static_cast<uint16_t>(*ParseInteger(name, INT16_MIN, INT16_MAX)));
    window.SendMessage(m);
  } else if (op == "hscroll" || op == "vscroll") {
    SendScroll(window, op == "hscroll" ? SB_HORZ : SB_VERT, name, rest);
  } else if (op == "resize") {
    int32_t w = 0, h = 0;
    ParseWindowSize(name, w, h);
    window.SetSize(w, h);
  } else if (op == "scrollinfo") {
    return ScrollInfoJson(window);
  }
  return "null";
}

std::string ScrollInfoJson(const WindowModel& window) {
  RECT client{0, 0, 0, 0};
  window.GetClientRect(&client);
  return "{\"horizontal\": " + BarJson(window, SB_HORZ) + ", \"vertical\": " +
         BarJson(window, SB_VERT) + ", \"client\": [" + std::to_string(client.right) + ", " +
         std::to_string(client.bottom) + "]}";
}

}  // namespace pelmor::cli
