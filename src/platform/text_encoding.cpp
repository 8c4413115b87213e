#include "platform/text_encoding.h"

#include <algorithm>
#include <cstdint>

namespace pelmor::platform {

namespace {

// Length of the sequence starting at i and its code point; 0 when it is not well-formed.
size_t Sequence(std::string_view bytes, size_t i, char32_t& out) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  const uint8_t c = p[i];
  if (c < 0x80) {
    out = c;
    return 1;
  }
  size_t len;
  uint32_t cp;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > n) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((p[i + k] & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (p[i + k] & 0x3F);
  }
  static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  out = cp;
  return len;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  char32_t c = 0;
  for (size_t i = 0; i < bytes.size();) {
    const size_t len = Sequence(bytes, i, c);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string_view CutAtCharacter(std::string_view bytes, size_t limit) {
  if (bytes.size() <= limit) return bytes;
  char32_t c = 0;
  size_t i = 0;
  for (;;) {
    const size_t len = std::max<size_t>(Sequence(bytes, i, c), 1);
    if (i + len > limit) return bytes.substr(0, i);
    i += len;
  }
}

std::u32string DecodeText(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  if (IsValidUtf8(bytes)) {
    char32_t c = 0;
    for (size_t i = 0; i < bytes.size();) {
      i += Sequence(bytes, i, c);
      out.push_back(c);
    }
  } else {
    for (unsigned char b : bytes) out.push_back(b);
  }
  return out;
}

std::u16string Utf16FromBytes(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  char32_t c = 0;
  for (size_t i = 0; i < bytes.size();) {
    const size_t len = Sequence(bytes, i, c);
    if (len == 0) {
      out.push_back(static_cast<char16_t>(0xDC00 | static_cast<uint8_t>(bytes[i])));
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | c >> 6));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | c >> 12));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | c >> 18));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string BytesFromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  auto put = [&out](char32_t c) { AppendUtf8(out, c); };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      put(0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (u >= 0xDC80 && u <= 0xDCFF) {
      out.push_back(static_cast<char>(u & 0xFF));  // a byte that was not UTF-8
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      put(0xFFFD);
    } else {
      put(u);
    }
  }
  return out;
}

}  // namespace pelmor::platform
