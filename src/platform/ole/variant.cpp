#include "platform/ole/variant.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/text_encoding.h"

namespace pelmor::ole {

namespace {

const std::u16string kNoString;
const DispatchPtr kNoObject;

// The number a string holds: optional blanks, an optional sign, a decimal number with an optional
// fraction and exponent, optional blanks. Infinities and NaN are not numbers here.
bool ParseNumber(const std::u16string& text, double& out) {
  std::string s;
  s.reserve(text.size());
  for (char16_t c : text) {
    if (c >= 0x80) return false;
    s.push_back(static_cast<char>(c));
  }
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  size_t e = s.find_last_not_of(" \t") + 1;
  if (s[b] == '+') ++b;
  if (b >= e || (s[b] != '-' && s[b] != '.' && (s[b] < '0' || s[b] > '9'))) return false;
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data() + b, s.data() + e, v);
  if (end != s.data() + e) return false;
  if (ec == std::errc::result_out_of_range) {
    v = s[b] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc()) {
    return false;
  }
  out = v;
  return true;
}

bool EqualsIgnoringCase(const std::u16string& text, const char* word) {
  size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    char16_t c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c - 'A' + 'a');
    if (c != static_cast<char16_t>(word[i])) return false;
  }
  return i == text.size();
}

// A numeric value of a variant, or a failure code.
HRESULT NumberOf(const Variant& in, double& out) {
  switch (in.Type()) {
    case VT_EMPTY: out = 0; return S_OK;
    case VT_I2: out = in.GetI2(); return S_OK;
    case VT_I4: out = in.GetI4(); return S_OK;
    case VT_UI4: out = in.GetUI4(); return S_OK;
    case VT_R4: out = in.GetR4(); return S_OK;
    case VT_R8: out = in.GetR8(); return S_OK;
    case VT_BOOL: out = in.GetBool() != 0 ? -1 : 0; return S_OK;
    case VT_BSTR:
      if (EqualsIgnoringCase(in.GetBstr(), "true")) {
        out = -1;
        return S_OK;
      }
      if (EqualsIgnoringCase(in.GetBstr(), "false")) {
        out = 0;
        return S_OK;
      }
      return ParseNumber(in.GetBstr(), out) ? S_OK : DISP_E_TYPEMISMATCH;
    default: return DISP_E_TYPEMISMATCH;
  }
}

template <class T>
HRESULT ToInteger(double v, T& out) {
  const double r = std::nearbyint(v);  // ties to even in the default rounding mode
  if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) &&
        r <= static_cast<double>(std::numeric_limits<T>::max()))) {
    return DISP_E_OVERFLOW;  // also NaN
  }
  out = static_cast<T>(r);
  return S_OK;
}

template <class T>
std::u16string Format(T v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  std::u16string out;
  if (ec == std::errc()) out.assign(buf, end);
  return out;
}

}  // namespace

const char* VarTypeName(VARTYPE type) {
  switch (type) {
    case VT_EMPTY: return "EMPTY";
    case VT_I2: return "I2";
    case VT_I4: return "I4";
    case VT_R4: return "R4";
    case VT_R8: return "R8";
    case VT_BSTR: return "BSTR";
    case VT_DISPATCH: return "DISPATCH";
    case VT_ERROR: return "ERROR";
    case VT_BOOL: return "BOOL";
    case VT_UI4: return "UI4";
  }
  return "?";
}

Variant Variant::Text(std::string_view bytes) { return Bstr(platform::Utf16FromBytes(bytes)); }

VARTYPE Variant::Type() const {
  static constexpr VARTYPE kTypes[] = {VT_EMPTY, VT_I2,   VT_I4,   VT_UI4,      VT_R4,
                                       VT_R8,    VT_BOOL, VT_BSTR, VT_DISPATCH, VT_ERROR};
  return kTypes[value_.index()];
}

const std::u16string& Variant::GetBstr() const {
  const auto* p = std::get_if<kBstr>(&value_);
  return p != nullptr ? *p : kNoString;
}

const DispatchPtr& Variant::GetDispatch() const {
  const auto* p = std::get_if<kDispatch>(&value_);
  return p != nullptr ? *p : kNoObject;
}

HRESULT ChangeType(const Variant& in, VARTYPE to, Variant& out) {
  if (in.Type() == to) {
    out = in;
    return S_OK;
  }
  if (in.Type() == VT_DISPATCH || in.Type() == VT_ERROR) return DISP_E_TYPEMISMATCH;
  double v = 0;
  HRESULT hr = S_OK;
  switch (to) {
    case VT_EMPTY:
      out = Variant();
      return S_OK;
    case VT_I2: {
      int16_t n = 0;
      if (FAILED(hr = NumberOf(in, v)) || FAILED(hr = ToInteger(v, n))) return hr;
      out = Variant::I2(n);
      return S_OK;
    }
    case VT_I4: {
      int32_t n = 0;
      if (FAILED(hr = NumberOf(in, v)) || FAILED(hr = ToInteger(v, n))) return hr;
      out = Variant::I4(n);
      return S_OK;
    }
    case VT_UI4: {
      uint32_t n = 0;
      if (FAILED(hr = NumberOf(in, v)) || FAILED(hr = ToInteger(v, n))) return hr;
      out = Variant::UI4(n);
      return S_OK;
    }
    case VT_R4: {
      if (FAILED(hr = NumberOf(in, v))) return hr;
      if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return DISP_E_OVERFLOW;
      out = Variant::R4(static_cast<float>(v));
      return S_OK;
    }
    case VT_R8:
      if (FAILED(hr = NumberOf(in, v))) return hr;
      out = Variant::R8(v);
      return S_OK;
    case VT_BOOL:
      if (FAILED(hr = NumberOf(in, v))) return hr;
      out = Variant::Bool(v != 0);
      return S_OK;
    case VT_BSTR:
      switch (in.Type()) {
        case VT_EMPTY: out = Variant::Bstr(u""); return S_OK;
        case VT_I2: out = Variant::Bstr(Format(in.GetI2())); return S_OK;
        case VT_I4: out = Variant::Bstr(Format(in.GetI4())); return S_OK;
        case VT_UI4: out = Variant::Bstr(Format(in.GetUI4())); return S_OK;
        case VT_R4: out = Variant::Bstr(Format(in.GetR4())); return S_OK;
        case VT_R8: out = Variant::Bstr(Format(in.GetR8())); return S_OK;
        case VT_BOOL: out = Variant::Bstr(in.GetBool() != 0 ? u"True" : u"False"); return S_OK;
        default: return DISP_E_TYPEMISMATCH;
      }
    case VT_DISPATCH:
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
  }
  return DISP_E_TYPEMISMATCH;
}

}  // namespace pelmor::ole
