// Dispatch interfaces as plain data: each object class has one table of members (identifier,
// name, property or method, type, parameters, accessors, help string, marks), and Invoke runs a
// member by identifier with arguments of any type, converting them to the declared ones. A type
// library, a C binding or a script host reads the same tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/ole/hresult.h"
#include "platform/ole/variant.h"

namespace pelmor::ole {

// What a member reports when it fails with an automation error (Invoke then returns
// DISP_E_EXCEPTION): the error code and a short text.
struct ExcepInfo {
  uint16_t wCode = 0;
  std::string source;
  std::string description;
  HRESULT scode = S_OK;
};

// A member raises an automation error by throwing this; Invoke turns it into DISP_E_EXCEPTION.
struct AutomationError {
  HRESULT scode;
};
[[noreturn]] void ThrowError(HRESULT scode);

// The short text of an automation error code.
const char* AutomationErrorText(HRESULT scode);

enum class MemberKind : uint8_t { kProperty, kMethod };

// Marks a type library carries for a member.
enum MemberFlag : uint32_t {
  kMemberHidden = 0x1,
  kMemberBindable = 0x2,
  kMemberRequestEdit = 0x4,
  kMemberStock = 0x8,  // a stock property or method of the control framework
  // An OLE colour (declared unsigned): a 16- or 32-bit signed value is taken as its bit pattern,
  // so 0x80000005 arrives the same from hosts with signed and with unsigned integers.
  kMemberColor = 0x10,
};

struct ParamInfo {
  const char* name;
  VARTYPE type;
  const char* idlType;  // the type as a type library declares it ("unsigned long", "BSTR", ...)
};

class DispatchObject;

// Accessors. Arguments arrive already converted to the declared types.
using PropertyGetter = HRESULT (*)(DispatchObject& self, Variant& value);
using PropertySetter = HRESULT (*)(DispatchObject& self, const Variant& value);
using MethodCall = HRESULT (*)(DispatchObject& self, const Variant* args, Variant& result);

struct DispEntry {
  DISPID id;
  const char* name;
  MemberKind kind;
  VARTYPE type;          // of the property, or of a method's result (VT_EMPTY: none)
  const char* idlType;   // the same as a type library declares it ("OLE_COLOR", "IFontDisp*", ...)
  const ParamInfo* params;
  uint8_t paramCount;
  PropertyGetter get;    // properties
  PropertySetter put;    // properties; null for a read-only one (setting it raises 0x800A017F)
  MethodCall call;       // methods
  const char* help;      // help string, "" for none
  uint32_t flags;        // MemberFlag bits

  std::span<const ParamInfo> Params() const { return {params, paramCount}; }
  bool ReadOnly() const { return kind == MemberKind::kProperty && put == nullptr; }
};

struct DispatchTable {
  const char* name;  // the interface, e.g. "_DPelmor"
  const DispEntry* entries;
  size_t count;

  std::span<const DispEntry> Entries() const { return {entries, count}; }
  const DispEntry* Find(DISPID id) const;
  // Names compare without regard to ASCII case.
  const DispEntry* FindName(std::string_view name) const;
};

class DispatchObject {
 public:
  virtual ~DispatchObject() = default;
  virtual const DispatchTable& GetDispatchTable() const = 0;

  // The identifier of a member name (any ASCII case); DISP_E_UNKNOWNNAME when there is none.
  HRESULT GetIDsOfNames(std::string_view name, DISPID& id) const;

  // Runs a member. flags: DISPATCH_METHOD, DISPATCH_PROPERTYGET (either or both for a read or a
  // call), DISPATCH_PROPERTYPUT (DISPATCH_PROPERTYPUTREF too for an object-valued property).
  // args in the order of the member's parameters (a put takes the new value as its one argument).
  // Failures: DISP_E_MEMBERNOTFOUND (no such member, or a kind of access it does not have),
  // DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTOPTIONAL (an omitted argument), DISP_E_TYPEMISMATCH or
  // DISP_E_OVERFLOW (argErr: the argument's index), and DISP_E_EXCEPTION with excep filled for an
  // automation error (a read-only property set, an invalid value, memory that cannot be had).
  // Never throws.
  HRESULT Invoke(DISPID id, uint16_t flags, std::span<const Variant> args, Variant* result,
                 ExcepInfo* excep = nullptr, uint32_t* argErr = nullptr) noexcept;

  // The code a script sees: the automation error's code for DISP_E_EXCEPTION, else hr itself.
  static HRESULT EffectiveResult(HRESULT hr, const ExcepInfo& excep) {
    return hr == DISP_E_EXCEPTION ? excep.scode : hr;
  }
};

// What one call by name gave: the result code, the value, the automation error's details and the
// index of an argument that did not convert.
struct InvokeResult {
  HRESULT hr = S_OK;
  Variant value;
  ExcepInfo excep;
  uint32_t argErr = 0;
  // The code a script sees (the automation error's for DISP_E_EXCEPTION).
  HRESULT Effective() const { return DispatchObject::EffectiveResult(hr, excep); }
};

// GetIDsOfNames, then Invoke.
InvokeResult InvokeByName(DispatchObject& object, std::string_view name, uint16_t flags,
                          std::span<const Variant> args = {});

}  // namespace pelmor::ole
