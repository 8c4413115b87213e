#include "module/automation_object.h"

#include <string>
#include <vector>

#include "module/abi_variant.h"
#include "module/type_info_object.h"
#include "platform/text_encoding.h"

namespace pelmor::module {

namespace {

AutomationObject& Self(IDispatch* self) { return Slot<IDispatch, AutomationObject>::Of(self); }

HRESULT QueryInterfaceFn(IDispatch* self, REFIID iid, void** object) {
  return Guarded([&] { return Self(self).QueryInterface(iid, object); });
}
ULONG AddRefFn(IDispatch* self) { return Self(self).AddRef(); }
ULONG ReleaseFn(IDispatch* self) { return Self(self).Release(); }

HRESULT GetTypeInfoCountFn(IDispatch* self, uint32_t* count) {
  if (count == nullptr) return E_POINTER;
  *count = Self(self).Type() != nullptr ? 1 : 0;
  return S_OK;
}

HRESULT GetTypeInfoFn(IDispatch* self, uint32_t index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  const TypeDesc* type = Self(self).Type();
  if (index != 0 || type == nullptr) return DISP_E_BADINDEX;
  return Guarded([&] {
    *info = NewTypeInfo(*type);
    return S_OK;
  });
}

HRESULT GetIDsOfNamesFn(IDispatch* self, REFIID, const OLECHAR* const* names, uint32_t count,
                        LCID, DISPID* ids) {
  return Guarded([&] { return Self(self).GetIDsOfNames(names, count, ids); });
}

HRESULT InvokeFn(IDispatch* self, DISPID member, REFIID iid, LCID, uint16_t flags,
                 DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, uint32_t* argErr) {
  if (iid != nullptr && !IsEqualGUID(iid, &IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return Guarded([&] { return Self(self).Invoke(member, flags, params, result, excep, argErr); });
}

constexpr IDispatchVtbl kDispatchVtbl = {QueryInterfaceFn, AddRefFn,        ReleaseFn,
                                         GetTypeInfoCountFn, GetTypeInfoFn, GetIDsOfNamesFn,
                                         InvokeFn};

std::string Narrow(const OLECHAR* text) {
  std::u16string wide;
  if (text != nullptr) {
    // Names are short; a name longer than any member's is simply unknown.
    for (size_t i = 0; text[i] != 0 && i < 4096; ++i) wide.push_back(text[i]);
  }
  return platform::BytesFromUtf16(wide);
}

bool SameName(const std::string& a, const char* b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  size_t i = 0;
  for (; b[i] != '\0'; ++i) {
    if (i >= a.size() || lower(a[i]) != lower(b[i])) return false;
  }
  return i == a.size();
}

class SharedObject final : public AutomationObject {
 public:
  explicit SharedObject(ole::DispatchPtr target) : target_(std::move(target)) {}
  ole::DispatchObject& Target() override { return *target_; }
  ole::DispatchPtr Shared() const override { return target_; }

 private:
  ole::DispatchPtr target_;
};

// Fills the host's EXCEPINFO for an automation error. wCode stays 0: the code is in scode.
void FillExcepInfo(const ole::ExcepInfo& from, EXCEPINFO& to) {
  to = EXCEPINFO{};
  to.bstrSource = NewBstr(platform::Utf16FromBytes(from.source));
  to.bstrDescription = NewBstr(platform::Utf16FromBytes(from.description));
  to.scode = from.scode;
}

}  // namespace

AutomationObject::AutomationObject() {
  dispatch_.lpVtbl = &kDispatchVtbl;
  dispatch_.owner = this;
}

ULONG AutomationObject::Release() {
  const ULONG n = refs_.Release();
  if (n == 0) delete this;
  return n;
}

HRESULT AutomationObject::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == nullptr) return E_INVALIDARG;
  if (!IsEqualGUID(iid, &IID_IUnknown) && !IsEqualGUID(iid, &IID_IDispatch)) {
    return E_NOINTERFACE;
  }
  AddRef();
  *object = &dispatch_;
  return S_OK;
}

AutomationObject* AutomationObject::FromDispatch(IDispatch* dispatch) {
  if (dispatch == nullptr || dispatch->lpVtbl != &kDispatchVtbl) return nullptr;
  return &Self(dispatch);
}

HRESULT AutomationObject::GetIDsOfNames(const OLECHAR* const* names, uint32_t count, DISPID* ids) {
  if (count == 0) return S_OK;
  if (names == nullptr || ids == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  const ole::DispatchObject& target = Target();
  if (FAILED(target.GetIDsOfNames(Narrow(names[0]), ids[0]))) {
    ids[0] = DISPID_UNKNOWN;
    hr = DISP_E_UNKNOWNNAME;
  }
  // The names after the first are the member's parameters, numbered in their order.
  const ole::DispEntry* entry = hr == S_OK ? target.GetDispatchTable().Find(ids[0]) : nullptr;
  for (uint32_t i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    const std::string name = Narrow(names[i]);
    for (size_t p = 0; entry != nullptr && p < entry->paramCount; ++p) {
      if (SameName(name, entry->params[p].name)) ids[i] = static_cast<DISPID>(p);
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT AutomationObject::Invoke(DISPID member, uint16_t flags, const DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* excep, uint32_t* argErr) {
  static const DISPPARAMS kNoArgs{};
  if (params == nullptr) params = &kNoArgs;
  if ((params->cArgs > 0 && params->rgvarg == nullptr) || params->cNamedArgs > params->cArgs ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  // The only named argument understood is a property's new value.
  if (params->cNamedArgs > 1 ||
      (params->cNamedArgs == 1 && (!put || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))) {
    return DISP_E_NONAMEDARGS;
  }
  // The host's arguments come last first; the dispatch table takes them in parameter order.
  const uint32_t n = params->cArgs;
  std::vector<ole::Variant> args(n);
  for (uint32_t i = 0; i < n; ++i) {
    const HRESULT hr = FromAbi(params->rgvarg[n - 1 - i], args[i]);
    if (FAILED(hr)) {
      if (argErr != nullptr) *argErr = n - 1 - i;
      return hr == DISP_E_BADVARTYPE ? hr : DISP_E_TYPEMISMATCH;
    }
  }
  ole::Variant value;
  ole::ExcepInfo error;
  uint32_t badArg = 0;
  const HRESULT hr = Target().Invoke(member, flags, args, &value, &error, &badArg);
  if (hr == DISP_E_EXCEPTION && excep != nullptr) FillExcepInfo(error, *excep);
  if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTOPTIONAL) &&
      argErr != nullptr && badArg < n) {
    *argErr = n - 1 - badArg;
  }
  if (FAILED(hr)) return hr;
  if (result != nullptr) return ToAbi(value, *result);
  return hr;
}

IDispatch* WrapDispatch(ole::DispatchPtr target) {
  return (new SharedObject(std::move(target)))->Dispatch();
}

}  // namespace pelmor::module
