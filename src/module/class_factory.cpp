#include "module/class_factory.h"

#include <array>
#include <cstring>

#include "module/com_object.h"
#include "module/control_object.h"
#include "module/page_object.h"

namespace pelmor::module {

namespace {

class ClassFactory {
 public:
  explicit ClassFactory(const ModuleClass& cls) : cls_(cls) {
    slot_.lpVtbl = &kVtbl;
    slot_.owner = this;
  }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  const ModuleClass& Class() const { return cls_; }
  IClassFactory* Interface() { return &slot_; }

 private:
  static ClassFactory& Self(IClassFactory* f) { return Slot<IClassFactory, ClassFactory>::Of(f); }

  static HRESULT QueryInterface(IClassFactory* f, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == nullptr) return E_INVALIDARG;
    if (!IsEqualGUID(iid, &IID_IUnknown) && !IsEqualGUID(iid, &IID_IClassFactory)) {
      return E_NOINTERFACE;
    }
    *object = f;
    return S_OK;
  }
  // The factories live as long as the module; their references are not counted.
  static ULONG AddRef(IClassFactory*) { return 2; }
  static ULONG Release(IClassFactory*) { return 1; }

  static HRESULT CreateInstance(IClassFactory* f, IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == nullptr) return E_INVALIDARG;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const ModuleClass& cls = Self(f).cls_;
    if (cls.kind != ClassKind::kControl) {
      IPelmorPropertyPage* page = nullptr;
      const HRESULT made = NewPropertyPage(cls.generation, &page);
      if (FAILED(made)) return made;
      const HRESULT hr = page->lpVtbl->QueryInterface(page, iid, object);
      page->lpVtbl->Release(page);
      return hr;
    }
    return Guarded([&] {
      IDispatch* control = nullptr;
      const HRESULT made = NewControl(cls.generation, &control);
      if (FAILED(made)) return made;
      const HRESULT hr = control->lpVtbl->QueryInterface(control, iid, object);
      control->lpVtbl->Release(control);
      return hr;
    });
  }

  static HRESULT LockServer(IClassFactory*, int32_t lock) {
    LockModule(lock != 0);
    return S_OK;
  }

  static constexpr IClassFactoryVtbl kVtbl = {QueryInterface, AddRef, Release, CreateInstance,
                                              LockServer};

  const ModuleClass& cls_;
  Slot<IClassFactory, ClassFactory> slot_;
};

// The application object: made first when the module loads and gone last. Making the factories
// known is all its start-up does; here that is their being members.
class CPelmorApp {
 public:
  CPelmorApp()
      : factories_{ClassFactory(ModuleClasses()[0]), ClassFactory(ModuleClasses()[1]),
                   ClassFactory(ModuleClasses()[2]), ClassFactory(ModuleClasses()[3])} {}

  IClassFactory* Find(const ole::GUID& clsid) {
    for (ClassFactory& f : factories_) {
      if (*f.Class().clsid == clsid) return f.Interface();
    }
    return nullptr;
  }

 private:
  std::array<ClassFactory, 4> factories_;
};

CPelmorApp theApp;

}  // namespace

IClassFactory* FindClassFactory(const ole::GUID& clsid) { return theApp.Find(clsid); }

}  // namespace pelmor::module
