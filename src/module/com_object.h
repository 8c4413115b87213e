// What every object the module hands out through the binary interfaces shares: an interface
// slot (the C structure a host holds, with the owning C++ object right after its table pointer),
// the module-wide counts of live objects and of locks that decide whether the module may be
// unloaded, and the way an entry point turns a thrown exception into a result code.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "pelmor/pelmor.h"
#include "platform/ole/guid.h"

namespace pelmor::module {

// An interface as a host sees it (a pointer to its function table), followed by the object that
// implements it: a function of the table gets the interface pointer and finds its owner here.
template <class Interface, class Owner>
struct Slot : Interface {
  Owner* owner;
  static Owner& Of(Interface* self) { return *static_cast<Slot*>(self)->owner; }
};

// The same identifier in the framework's type and in the host's.
inline ole::GUID ToOle(const GUID& g) {
  ole::GUID o;
  o.Data1 = g.Data1;
  o.Data2 = g.Data2;
  o.Data3 = g.Data3;
  for (int i = 0; i < 8; ++i) o.Data4[i] = g.Data4[i];
  return o;
}
inline bool SameGuid(const GUID* a, const ole::GUID& b) { return a != nullptr && ToOle(*a) == b; }

// Objects alive (controls, fonts, type information) and LockServer locks held.
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
bool ModuleCanUnload();

// Counts an object for as long as it lives.
class CountedObject {
 public:
  CountedObject() { ObjectCreated(); }
  ~CountedObject() { ObjectDestroyed(); }
  CountedObject(const CountedObject&) = delete;
  CountedObject& operator=(const CountedObject&) = delete;
};

// A reference count; Release returns the new count (the caller deletes at 0).
class RefCount {
 public:
  ULONG AddRef() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<ULONG> count_{1};
};

// Runs f, turning an escaping exception into a result code: no exception crosses the interface.
template <class F>
HRESULT Guarded(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The text as a new string; null when memory runs out.
BSTR NewBstr(const std::u16string& text);

}  // namespace pelmor::module
