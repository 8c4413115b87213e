#include "variant_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/ole/dispatch.h"
#include "platform/text_encoding.h"

namespace pelmor::cli {

using namespace ole;

namespace {

void PutEscape(std::string& out, char16_t u) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(u));
  out += buf;
}

template <class T>
std::string Number(T v) {
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(v)) return "null";
  }
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : "null";
}

std::string ObjectJson(DispatchObject& object, int depth) {
  std::string out = "{";
  bool first = true;
  for (const DispEntry& e : object.GetDispatchTable().Entries()) {
    if (e.kind != MemberKind::kProperty) continue;
    Variant value;
    if (FAILED(object.Invoke(e.id, DISPATCH_PROPERTYGET, {}, &value))) continue;
    if (!first) out += ", ";
    first = false;
    out += JsonUtf16(std::u16string(e.name, e.name + std::char_traits<char>::length(e.name)));
    out += ": ";
    out += value.Type() == VT_DISPATCH && depth > 0 ? "null" : VariantJson(value);
  }
  return out + "}";
}

}  // namespace

std::string JsonUtf16(std::u16string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      platform::AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      PutEscape(out, u);
    } else if (u == '"') {
      out += "\\\"";
    } else if (u == '\\') {
      out += "\\\\";
    } else if (u == '\n') {
      out += "\\n";
    } else if (u == '\r') {
      out += "\\r";
    } else if (u == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      PutEscape(out, u);
    } else {
      platform::AppendUtf8(out, u);
    }
  }
  return out + "\"";
}

std::string VariantJson(const Variant& value) {
  switch (value.Type()) {
    case VT_I2: return Number(value.GetI2());
    case VT_I4: return Number(value.GetI4());
    case VT_UI4: return Number(value.GetUI4());
    case VT_R4: return Number(value.GetR4());
    case VT_R8: return Number(value.GetR8());
    case VT_BOOL: return value.GetBool() != 0 ? "true" : "false";
    case VT_BSTR: return JsonUtf16(value.GetBstr());
    case VT_DISPATCH:
      return value.GetDispatch() != nullptr ? ObjectJson(*value.GetDispatch(), 1) : "null";
    default: return "null";
  }
}

std::string HresultText(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(hr));
  return buf;
}

}  // namespace pelmor::cli
