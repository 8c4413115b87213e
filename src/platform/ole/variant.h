// The values that cross a dispatch interface: empty, 16- and 32-bit integers, unsigned 32-bit
// integers, single and double reals, booleans (-1 true, 0 false), UTF-16 strings, objects (a
// font), and error codes (an omitted argument is the error DISP_E_PARAMNOTFOUND), with the
// conversions between them that a scripting host relies on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "platform/ole/hresult.h"

namespace pelmor::ole {

enum VARTYPE : uint16_t {
  VT_EMPTY = 0,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UI4 = 19,
};

using VARIANT_BOOL = int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// The short type name used in messages and tables ("I2", "BSTR", ...).
const char* VarTypeName(VARTYPE type);

class DispatchObject;
using DispatchPtr = std::shared_ptr<DispatchObject>;

class Variant {
  enum : size_t { kEmpty, kI2, kI4, kUI4, kR4, kR8, kBool, kBstr, kDispatch, kError };
  using Storage = std::variant<std::monostate, int16_t, int32_t, uint32_t, float, double,
                               VARIANT_BOOL, std::u16string, DispatchPtr, HRESULT>;

 public:
  Variant() = default;
  static Variant I2(int16_t v) { return Variant(Storage(std::in_place_index<kI2>, v)); }
  static Variant I4(int32_t v) { return Variant(Storage(std::in_place_index<kI4>, v)); }
  static Variant UI4(uint32_t v) { return Variant(Storage(std::in_place_index<kUI4>, v)); }
  static Variant R4(float v) { return Variant(Storage(std::in_place_index<kR4>, v)); }
  static Variant R8(double v) { return Variant(Storage(std::in_place_index<kR8>, v)); }
  static Variant Bool(bool v) {
    return Variant(Storage(std::in_place_index<kBool>, v ? VARIANT_TRUE : VARIANT_FALSE));
  }
  static Variant Bstr(std::u16string v) {
    return Variant(Storage(std::in_place_index<kBstr>, std::move(v)));
  }
  // A string from bytes in the module's narrow encoding (see platform::Utf16FromBytes).
  static Variant Text(std::string_view bytes);
  static Variant Dispatch(DispatchPtr v) {
    return Variant(Storage(std::in_place_index<kDispatch>, std::move(v)));
  }
  static Variant Error(HRESULT code) { return Variant(Storage(std::in_place_index<kError>, code)); }
  // What a host passes for an argument it leaves out.
  static Variant Missing() { return Error(DISP_E_PARAMNOTFOUND); }

  VARTYPE Type() const;
  bool IsMissing() const { return Type() == VT_ERROR && GetError() == DISP_E_PARAMNOTFOUND; }

  // The value of a variant of that type (a zero value for any other type).
  int16_t GetI2() const { return Get<kI2>(); }
  int32_t GetI4() const { return Get<kI4>(); }
  uint32_t GetUI4() const { return Get<kUI4>(); }
  float GetR4() const { return Get<kR4>(); }
  double GetR8() const { return Get<kR8>(); }
  VARIANT_BOOL GetBool() const { return Get<kBool>(); }
  HRESULT GetError() const { return Get<kError>(); }
  const std::u16string& GetBstr() const;
  const DispatchPtr& GetDispatch() const;

 private:
  explicit Variant(Storage s) : value_(std::move(s)) {}
  template <size_t I>
  std::variant_alternative_t<I, Storage> Get() const {
    const auto* p = std::get_if<I>(&value_);
    return p != nullptr ? *p : std::variant_alternative_t<I, Storage>{};
  }
  Storage value_;
};

// Converts a value to another type as an automation host does: numbers to numbers (reals rounded
// to even; out of range DISP_E_OVERFLOW), strings to numbers and booleans ("true"/"false" or a
// number), numbers to booleans (non-zero is true), anything but objects and errors to strings,
// empty to zero, false or "". Everything else is DISP_E_TYPEMISMATCH. May throw std::bad_alloc.
HRESULT ChangeType(const Variant& in, VARTYPE to, Variant& out);

}  // namespace pelmor::ole
