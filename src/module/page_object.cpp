#include "module/page_object.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control/pelmor_prop_page.h"
#include "module/automation_object.h"
#include "module/com_object.h"
#include "platform/text_encoding.h"
#include "platform/window/panel_library.h"

namespace pelmor::module {

namespace {

// The panel library's entry points, loaded once from the module's own folder and kept for the
// life of the process (a window-system library is not unloaded under a running application).
struct PanelLibrary {
  platform::OpenPanelFn open = nullptr;
  platform::ClosePanelFn close = nullptr;
};

const PanelLibrary& LoadPanelLibrary() {
  static PanelLibrary library;
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&NewPropertyPage), &info) == 0 || info.dli_fname == nullptr) {
      return;
    }
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           platform::kPanelLibraryName;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    auto open = reinterpret_cast<platform::OpenPanelFn>(dlsym(handle, platform::kOpenPanelSymbol));
    auto close =
        reinterpret_cast<platform::ClosePanelFn>(dlsym(handle, platform::kClosePanelSymbol));
    if (open != nullptr && close != nullptr) library = {open, close};
  });
  return library;
}

// The control behind an interface a host passes: one of this module's controls (the only objects
// that answer IPelmorView), as its IDispatch with a new reference; null for anything else.
IDispatch* ControlDispatch(IUnknown* object) {
  if (object == nullptr) return nullptr;
  IPelmorView* view = nullptr;
  if (object->lpVtbl->QueryInterface(object, &IID_IPelmorView, reinterpret_cast<void**>(&view)) !=
      S_OK) {
    return nullptr;
  }
  IDispatch* dispatch = nullptr;
  const HRESULT hr =
      view->lpVtbl->QueryInterface(view, &IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  view->lpVtbl->Release(view);
  if (hr != S_OK) return nullptr;
  if (AutomationObject::FromDispatch(dispatch) == nullptr) {
    dispatch->lpVtbl->Release(dispatch);
    return nullptr;
  }
  return dispatch;
}

class PageObject : private CountedObject {
 public:
  explicit PageObject(int generation)
      : page_(generation == 2 ? std::make_unique<CPelmor2PropPage>()
                              : std::make_unique<CPelmorPropPage>()) {
    slot_.lpVtbl = &kVtbl;
    slot_.owner = this;
  }
  IPelmorPropertyPage* Interface() { return &slot_; }

 private:
  ~PageObject() {
    CloseDialog();
    page_->SetObjects({});
    ReleaseObjects();
  }

  static PageObject& Self(IPelmorPropertyPage* p) {
    return Slot<IPelmorPropertyPage, PageObject>::Of(p);
  }

  // Closes the panel; PanelGone follows from its destruction.
  void CloseDialog() {
    if (panel_ != nullptr) LoadPanelLibrary().close(panel_);
  }
  // The panel is gone, closed here or with the host's widget.
  static void PanelGone(void* context) {
    auto& self = *static_cast<PageObject*>(context);
    self.panel_ = nullptr;
    self.page_->DialogClosed();
  }
  void ReleaseObjects() {
    for (IDispatch* d : objects_) d->lpVtbl->Release(d);
    objects_.clear();
  }

  static HRESULT QueryInterface(IPelmorPropertyPage* p, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == nullptr) return E_INVALIDARG;
    if (!IsEqualGUID(iid, &IID_IUnknown) && !IsEqualGUID(iid, &IID_IPelmorPropertyPage)) {
      return E_NOINTERFACE;
    }
    AddRef(p);
    *object = p;
    return S_OK;
  }
  static ULONG AddRef(IPelmorPropertyPage* p) { return Self(p).refs_.AddRef(); }
  static ULONG Release(IPelmorPropertyPage* p) {
    const ULONG n = Self(p).refs_.Release();
    if (n == 0) delete &Self(p);
    return n;
  }

  static HRESULT GetPageInfo(IPelmorPropertyPage* p, BSTR* title, int32_t* width,
                             int32_t* height) {
    if (title == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    const ole::COlePropertyPage& page = *Self(p).page_;
    *title = NewBstr(platform::Utf16FromBytes(page.Caption()));
    if (*title == nullptr) return E_OUTOFMEMORY;
    *width = page.Template().cx;
    *height = page.Template().cy;
    return S_OK;
  }

  static HRESULT SetObjects(IPelmorPropertyPage* p, uint32_t count, IUnknown* const* objects) {
    if (count != 0 && objects == nullptr) return E_POINTER;
    PageObject& self = Self(p);
    if (self.panel_ != nullptr) return E_UNEXPECTED;
    return Guarded([&] {
      std::vector<IDispatch*> controls;
      std::vector<ole::DispatchObject*> targets;
      for (uint32_t i = 0; i < count; ++i) {
        IDispatch* control = ControlDispatch(objects[i]);
        if (control == nullptr) {
          for (IDispatch* d : controls) d->lpVtbl->Release(d);
          return E_INVALIDARG;
        }
        controls.push_back(control);
        targets.push_back(&AutomationObject::FromDispatch(control)->Target());
      }
      self.page_->SetObjects(std::move(targets));
      self.ReleaseObjects();
      self.objects_ = std::move(controls);
      return S_OK;
    });
  }

  static HRESULT Activate(IPelmorPropertyPage* p, void* parent) {
    PageObject& self = Self(p);
    if (self.panel_ != nullptr || self.objects_.empty()) return E_UNEXPECTED;
    if (parent == nullptr) return E_POINTER;
    const PanelLibrary& library = LoadPanelLibrary();
    if (library.open == nullptr) return E_FAIL;
    return Guarded([&] {
      self.panel_ = library.open(&self.page_->Template(), self.page_.get(), parent, PanelGone, &self);
      return self.panel_ != nullptr ? S_OK : E_FAIL;
    });
  }

  static HRESULT Deactivate(IPelmorPropertyPage* p) {
    Self(p).CloseDialog();
    return S_OK;
  }

  static HRESULT IsPageDirty(IPelmorPropertyPage* p) {
    return Self(p).page_->IsDirty() ? S_OK : S_FALSE;
  }

  static HRESULT Apply(IPelmorPropertyPage* p) {
    ole::COlePropertyPage& page = *Self(p).page_;
    return Guarded([&] {
      if (page.Apply()) return S_OK;
      for (const auto& write : page.LastApply()) {
        if (FAILED(write.hr)) return write.hr;
      }
      return E_FAIL;
    });
  }

  static constexpr IPelmorPropertyPageVtbl kVtbl = {QueryInterface, AddRef,     Release,
                                                    GetPageInfo,    SetObjects, Activate,
                                                    Deactivate,     IsPageDirty, Apply};

  Slot<IPelmorPropertyPage, PageObject> slot_;
  RefCount refs_;
  std::unique_ptr<CPelmorPropPage> page_;
  std::vector<IDispatch*> objects_;  // held while the page edits them
  platform::DialogWindow* panel_ = nullptr;
};

}  // namespace

HRESULT NewPropertyPage(int generation, IPelmorPropertyPage** page) {
  *page = nullptr;
  return Guarded([&] {
    *page = (new PageObject(generation))->Interface();
    return S_OK;
  });
}

}  // namespace pelmor::module
