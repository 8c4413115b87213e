// Conversions between variant types as a scripting host relies on them.
#include <gtest/gtest.h>

#include <limits>

#include "platform/ole/variant.h"

namespace pelmor::ole {
namespace {

// The converted value as text ("I4 -3", "BOOL -1", ...) or the failure code.
std::string Convert(const Variant& in, VARTYPE to) {
  Variant out;
  const HRESULT hr = ChangeType(in, to, out);
  if (hr == DISP_E_OVERFLOW) return "overflow";
  if (hr == DISP_E_TYPEMISMATCH) return "mismatch";
  if (FAILED(hr)) return "failed";
  std::string value;
  switch (out.Type()) {
    case VT_I2: value = std::to_string(out.GetI2()); break;
    case VT_I4: value = std::to_string(out.GetI4()); break;
    case VT_UI4: value = std::to_string(out.GetUI4()); break;
    case VT_R4: value = std::to_string(out.GetR4()); break;
    case VT_R8: value = std::to_string(out.GetR8()); break;
    case VT_BOOL: value = std::to_string(out.GetBool()); break;
    case VT_BSTR: value = std::string(out.GetBstr().begin(), out.GetBstr().end()); break;
    default: break;
  }
  return std::string(VarTypeName(out.Type())) + " " + value;
}

TEST(Variant, ConversionsAHostReliesOn) {
  struct Case {
    Variant in;
    VARTYPE to;
    const char* expected;
  };
  const Case cases[] = {
      {Variant::I4(7), VT_I2, "I2 7"},
      {Variant::I4(40000), VT_I2, "overflow"},
      {Variant::I4(-1), VT_UI4, "overflow"},
      {Variant::UI4(4294967295u), VT_I4, "overflow"},
      {Variant::UI4(4294967295u), VT_R8, "R8 4294967295.000000"},
      {Variant::R8(2.5), VT_I4, "I4 2"},  // ties go to even
      {Variant::R8(3.5), VT_I4, "I4 4"},
      {Variant::R8(-2.5), VT_I2, "I2 -2"},
      {Variant::R8(std::numeric_limits<double>::quiet_NaN()), VT_I4, "overflow"},
      {Variant::R8(1e39), VT_R4, "overflow"},
      {Variant::R4(0.5f), VT_R8, "R8 0.500000"},
      {Variant::Bool(true), VT_I4, "I4 -1"},
      {Variant::I2(2), VT_BOOL, "BOOL -1"},
      {Variant::R8(0.0), VT_BOOL, "BOOL 0"},
      {Variant(), VT_I4, "I4 0"},
      {Variant(), VT_BSTR, "BSTR "},
      {Variant::Bstr(u" 42 "), VT_I4, "I4 42"},
      {Variant::Bstr(u"+1e3"), VT_I2, "I2 1000"},
      {Variant::Bstr(u"-0.75"), VT_R4, "R4 -0.750000"},
      {Variant::Bstr(u"True"), VT_BOOL, "BOOL -1"},
      {Variant::Bstr(u"false"), VT_I4, "I4 0"},
      {Variant::Bstr(u"0"), VT_BOOL, "BOOL 0"},
      {Variant::Bstr(u"12abc"), VT_I4, "mismatch"},
      {Variant::Bstr(u""), VT_I4, "mismatch"},
      {Variant::Bstr(u"inf"), VT_R8, "mismatch"},
      {Variant::Bstr(u"99999999999"), VT_I4, "overflow"},
      {Variant::I4(-12), VT_BSTR, "BSTR -12"},
      {Variant::R4(0.9f), VT_BSTR, "BSTR 0.9"},
      {Variant::Bool(false), VT_BSTR, "BSTR False"},
      {Variant::Dispatch(nullptr), VT_I4, "mismatch"},
      {Variant::Dispatch(nullptr), VT_BSTR, "mismatch"},
      {Variant::Missing(), VT_I4, "mismatch"},
      {Variant::I4(1), VT_DISPATCH, "mismatch"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Convert(c.in, c.to), c.expected)
        << VarTypeName(c.in.Type()) << " to " << VarTypeName(c.to);
  }
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_EQ(Variant::Text("caf\xE9").GetBstr(), u"caf\xDCE9");
  // Asking a variant for another type's value gives zero, not garbage.
  EXPECT_EQ(Variant::Bstr(u"x").GetI4(), 0);
  EXPECT_TRUE(Variant::I4(1).GetBstr().empty());
}

}  // namespace
}  // namespace pelmor::ole
