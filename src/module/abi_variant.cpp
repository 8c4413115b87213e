#include "module/abi_variant.h"

#include <string>

#include "module/automation_object.h"
#include "module/com_object.h"

namespace pelmor::module {

HRESULT FromAbi(const VARIANT& in, ole::Variant& out) {
  switch (in.vt) {
    case VT_EMPTY:
    case VT_NULL: out = ole::Variant(); return S_OK;
    case VT_I2: out = ole::Variant::I2(in.iVal); return S_OK;
    case VT_I4: out = ole::Variant::I4(in.lVal); return S_OK;
    case VT_UI4: out = ole::Variant::UI4(in.ulVal); return S_OK;
    case VT_R4: out = ole::Variant::R4(in.fltVal); return S_OK;
    case VT_R8: out = ole::Variant::R8(in.dblVal); return S_OK;
    case VT_BOOL: out = ole::Variant::Bool(in.boolVal != VARIANT_FALSE); return S_OK;
    case VT_ERROR: out = ole::Variant::Error(in.scode); return S_OK;
    case VT_BSTR:
      out = ole::Variant::Bstr(in.bstrVal != nullptr
                                   ? std::u16string(in.bstrVal, SysStringLen(in.bstrVal))
                                   : std::u16string());
      return S_OK;
    case VT_DISPATCH: {
      if (in.pdispVal == nullptr) {
        out = ole::Variant::Dispatch(nullptr);
        return S_OK;
      }
      const AutomationObject* object = AutomationObject::FromDispatch(in.pdispVal);
      ole::DispatchPtr shared = object != nullptr ? object->Shared() : nullptr;
      if (shared == nullptr) return DISP_E_TYPEMISMATCH;
      out = ole::Variant::Dispatch(std::move(shared));
      return S_OK;
    }
    default: return DISP_E_BADVARTYPE;
  }
}

HRESULT ToAbi(const ole::Variant& in, VARIANT& out) {
  VariantInit(&out);
  switch (in.Type()) {
    case ole::VT_EMPTY: break;
    case ole::VT_I2: out.iVal = in.GetI2(); break;
    case ole::VT_I4: out.lVal = in.GetI4(); break;
    case ole::VT_UI4: out.ulVal = in.GetUI4(); break;
    case ole::VT_R4: out.fltVal = in.GetR4(); break;
    case ole::VT_R8: out.dblVal = in.GetR8(); break;
    case ole::VT_BOOL: out.boolVal = in.GetBool(); break;
    case ole::VT_ERROR: out.scode = in.GetError(); break;
    case ole::VT_BSTR:
      out.bstrVal = NewBstr(in.GetBstr());
      if (out.bstrVal == nullptr) return E_OUTOFMEMORY;
      break;
    case ole::VT_DISPATCH:
      if (in.GetDispatch() != nullptr) out.pdispVal = WrapDispatch(in.GetDispatch());
      break;
  }
  out.vt = in.Type();
  return S_OK;
}

}  // namespace pelmor::module
