// IDispatch for the module's objects: a control, or an object a control hands out (its font).
// GetIDsOfNames and Invoke go to the object's dispatch table; GetTypeInfo serves the type
// library's description of the interface, when the object has one there.
#pragma once

#include "control/type_library.h"
#include "module/com_object.h"
#include "platform/ole/dispatch.h"

namespace pelmor::module {

class AutomationObject : private CountedObject {
 public:
  AutomationObject();
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;

  // The object as the host holds it (no new reference).
  IDispatch* Dispatch() { return &dispatch_; }
  ULONG AddRef() { return refs_.AddRef(); }
  ULONG Release();
  // IUnknown and IDispatch; a derived object adds its own interfaces.
  virtual HRESULT QueryInterface(REFIID iid, void** object);

  // The object the calls go to, shared when others may hold it too (null for a control, which
  // only its host holds).
  virtual ole::DispatchObject& Target() = 0;
  virtual ole::DispatchPtr Shared() const { return nullptr; }
  // The type library's description of the interface; null when it has none.
  virtual const TypeDesc* Type() const { return nullptr; }

  // The object behind an IDispatch this module handed out; null for anybody else's.
  static AutomationObject* FromDispatch(IDispatch* dispatch);

  HRESULT GetIDsOfNames(const OLECHAR* const* names, uint32_t count, DISPID* ids);
  HRESULT Invoke(DISPID member, uint16_t flags, const DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, uint32_t* argErr);

 protected:
  virtual ~AutomationObject() = default;

 private:
  Slot<IDispatch, AutomationObject> dispatch_;
  RefCount refs_;
};

// A new IDispatch, with one reference, for an object shared with its owner.
IDispatch* WrapDispatch(ole::DispatchPtr target);

}  // namespace pelmor::module
