#include "platform/ole/dispatch.h"

#include <new>
#include <vector>

namespace pelmor::ole {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, const char* b) {
  size_t i = 0;
  for (; b[i] != '\0'; ++i) {
    if (i >= a.size() || Lower(a[i]) != Lower(b[i])) return false;
  }
  return i == a.size();
}

HRESULT Raise(const DispatchTable& table, HRESULT scode, ExcepInfo* excep) {
  if (excep != nullptr) {
    try {
      *excep = ExcepInfo{};
      excep->source = table.name;
      excep->description = AutomationErrorText(scode);
    } catch (...) {
      // The texts are a courtesy; the code is what counts.
    }
    excep->scode = scode;
  }
  return DISP_E_EXCEPTION;
}

// The declared type of an argument, or the failure to convert it.
HRESULT Convert(const Variant& in, VARTYPE type, Variant& out) {
  if (in.IsMissing()) return DISP_E_PARAMNOTOPTIONAL;
  return ChangeType(in, type, out);
}

HRESULT ConvertColor(const Variant& in, Variant& out) {
  if (in.Type() == VT_I4) {
    out = Variant::UI4(static_cast<uint32_t>(in.GetI4()));
    return S_OK;
  }
  if (in.Type() == VT_I2) {
    out = Variant::UI4(static_cast<uint32_t>(int32_t{in.GetI2()}));
    return S_OK;
  }
  return Convert(in, VT_UI4, out);
}

}  // namespace

void ThrowError(HRESULT scode) { throw AutomationError{scode}; }

const char* AutomationErrorText(HRESULT scode) {
  switch (scode) {
    case CTL_E_INVALIDPROPERTYVALUE: return "Invalid property value";
    case CTL_E_SETNOTSUPPORTED: return "Set not supported (read-only property)";
    case CTL_E_SETNOTPERMITTED: return "Set not permitted";
    case E_OUTOFMEMORY: return "Out of memory";
    default: return "Unexpected failure";
  }
}

const DispEntry* DispatchTable::Find(DISPID id) const {
  for (const DispEntry& e : Entries()) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

const DispEntry* DispatchTable::FindName(std::string_view name) const {
  for (const DispEntry& e : Entries()) {
    if (SameName(name, e.name)) return &e;
  }
  return nullptr;
}

HRESULT DispatchObject::GetIDsOfNames(std::string_view name, DISPID& id) const {
  const DispEntry* e = GetDispatchTable().FindName(name);
  if (e == nullptr) {
    id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  id = e->id;
  return S_OK;
}

HRESULT DispatchObject::Invoke(DISPID id, uint16_t flags, std::span<const Variant> args,
                               Variant* result, ExcepInfo* excep, uint32_t* argErr) noexcept {
  const DispatchTable& table = GetDispatchTable();
  const DispEntry* e = table.Find(id);
  if (e == nullptr) return DISP_E_MEMBERNOTFOUND;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const bool read = (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0;
  try {
    Variant value;
    HRESULT hr = S_OK;
    if (put) {
      if (e->kind != MemberKind::kProperty) return DISP_E_MEMBERNOTFOUND;
      // Only an object-valued property is set by reference.
      if ((flags & DISPATCH_PROPERTYPUTREF) && !(flags & DISPATCH_PROPERTYPUT) &&
          e->type != VT_DISPATCH) {
        return DISP_E_MEMBERNOTFOUND;
      }
      if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
      if (e->put == nullptr) return Raise(table, CTL_E_SETNOTSUPPORTED, excep);
      Variant converted;
      hr = (e->flags & kMemberColor) ? ConvertColor(args[0], converted)
                                     : Convert(args[0], e->type, converted);
      if (FAILED(hr)) {
        if (argErr != nullptr) *argErr = 0;
        return hr;
      }
      hr = e->put(*this, converted);
    } else if (read && e->kind == MemberKind::kProperty) {
      if (!args.empty()) return DISP_E_BADPARAMCOUNT;
      hr = e->get(*this, value);
    } else if (read && e->kind == MemberKind::kMethod) {
      if (args.size() != e->paramCount) return DISP_E_BADPARAMCOUNT;
      std::vector<Variant> converted(args.size());
      for (size_t i = 0; i < args.size(); ++i) {
        hr = Convert(args[i], e->params[i].type, converted[i]);
        if (FAILED(hr)) {
          if (argErr != nullptr) *argErr = static_cast<uint32_t>(i);
          return hr;
        }
      }
      hr = e->call(*this, converted.data(), value);
    } else {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (SUCCEEDED(hr) && result != nullptr) *result = std::move(value);
    return hr;
  } catch (const AutomationError& error) {
    return Raise(table, error.scode, excep);
  } catch (const std::bad_alloc&) {
    return Raise(table, E_OUTOFMEMORY, excep);
  } catch (...) {
    return Raise(table, E_FAIL, excep);
  }
}

InvokeResult InvokeByName(DispatchObject& object, std::string_view name, uint16_t flags,
                          std::span<const Variant> args) {
  InvokeResult r;
  DISPID id = DISPID_UNKNOWN;
  r.hr = object.GetIDsOfNames(name, id);
  if (SUCCEEDED(r.hr)) r.hr = object.Invoke(id, flags, args, &r.value, &r.excep, &r.argErr);
  return r;
}

}  // namespace pelmor::ole
