// 128-bit identifiers of classes, interfaces and type libraries, written in their usual text
// form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmor::ole {

struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};

  bool operator==(const GUID&) const = default;
};

namespace detail {

constexpr int HexDigit(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}

// The value of n hex digits at text[at]; -1 when one is not a digit.
constexpr int64_t Hex(std::string_view text, size_t at, size_t n) {
  int64_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    const int d = HexDigit(text[at + i]);
    if (d < 0) return -1;
    v = v << 4 | d;
  }
  return v;
}

}  // namespace detail

// Parses the braced text form; false for anything else.
constexpr bool ParseGuid(std::string_view text, GUID& out) {
  if (text.size() != 38 || text[0] != '{' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-' || text[37] != '}') {
    return false;
  }
  GUID g;
  const int64_t d1 = detail::Hex(text, 1, 8), d2 = detail::Hex(text, 10, 4),
                d3 = detail::Hex(text, 15, 4);
  if (d1 < 0 || d2 < 0 || d3 < 0) return false;
  g.Data1 = static_cast<uint32_t>(d1);
  g.Data2 = static_cast<uint16_t>(d2);
  g.Data3 = static_cast<uint16_t>(d3);
  constexpr size_t kAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    const int64_t b = detail::Hex(text, kAt[i], 2);
    if (b < 0) return false;
    g.Data4[i] = static_cast<uint8_t>(b);
  }
  out = g;
  return true;
}

// A constant from its text form; a malformed literal does not compile.
consteval GUID MakeGuid(std::string_view text) {
  GUID g;
  if (!ParseGuid(text, g)) throw "malformed GUID literal";
  return g;
}

// "{5C13B0E6-7A41-11D3-9F2E-0040C7A91B35}": upper-case hex, with braces.
std::string GuidToString(const GUID& g);

}  // namespace pelmor::ole
