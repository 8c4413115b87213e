#include "module/control_object.h"

#include <cstring>
#include <memory>

#include "control/headless_control.h"
#include "control/pelmor_ids.h"
#include "platform/window/window_message.h"

namespace pelmor::module {

namespace {

class ControlObject final : public AutomationObject {
 public:
  ControlObject() {
    view_.lpVtbl = &kViewVtbl;
    view_.owner = this;
  }
  bool Create(int generation) {
    control_.host.ambientUserMode = true;
    if (!control_.Create(generation, kDefaultViewWidth, kDefaultViewHeight)) return false;
    type_ = PelmorTypeLibrary().Find(*control_.Control().GetDispatchIID());
    return true;
  }

  ole::DispatchObject& Target() override { return control_.Control(); }
  const TypeDesc* Type() const override { return type_; }
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == nullptr) return E_INVALIDARG;
    if (IsEqualGUID(iid, &IID_IPelmorView)) {
      AddRef();
      *object = &view_;
      return S_OK;
    }
    // The control answers for its own dispatch interface as for IDispatch.
    const ole::GUID* own = control_.Control().GetDispatchIID();
    if (own != nullptr && SameGuid(iid, *own)) {
      AddRef();
      *object = Dispatch();
      return S_OK;
    }
    return AutomationObject::QueryInterface(iid, object);
  }

 private:
  ~ControlObject() override = default;  // the control closes and goes before the count drops

  static ControlObject& Self(IPelmorView* v) { return Slot<IPelmorView, ControlObject>::Of(v); }
  platform::WindowModel& Window() { return control_.host.Window(); }

  static HRESULT QueryInterfaceFn(IPelmorView* v, REFIID iid, void** object) {
    return Guarded([&] { return Self(v).QueryInterface(iid, object); });
  }
  static ULONG AddRefFn(IPelmorView* v) { return Self(v).AddRef(); }
  static ULONG ReleaseFn(IPelmorView* v) { return Self(v).Release(); }

  static HRESULT SetSize(IPelmorView* v, int32_t width, int32_t height) {
    if (width < 1 || height < 1 || width > kMaxViewSide || height > kMaxViewSide) {
      return E_INVALIDARG;
    }
    return Guarded([&] {
      Self(v).Window().SetSize(width, height);
      return S_OK;
    });
  }
  static HRESULT GetSize(IPelmorView* v, int32_t* width, int32_t* height) {
    if (width == nullptr || height == nullptr) return E_POINTER;
    const platform::SIZE size = Self(v).Window().Size();
    *width = size.cx;
    *height = size.cy;
    return S_OK;
  }
  static HRESULT SetUserMode(IPelmorView* v, int32_t userMode) {
    Self(v).control_.host.ambientUserMode = userMode != 0;
    return S_OK;
  }
  static HRESULT Update(IPelmorView* v) {
    return Guarded([&] {
      Self(v).control_.host.Paint();
      return S_OK;
    });
  }
  static HRESULT CopyPixels(IPelmorView* v, uint32_t* pixels, int32_t width, int32_t height,
                            int32_t stride) {
    if (pixels == nullptr) return E_POINTER;
    platform::WindowModel& window = Self(v).Window();
    const platform::SIZE size = window.Size();
    if (width != size.cx || height != size.cy || stride < 0 ||
        static_cast<int64_t>(stride) < static_cast<int64_t>(width) * 4) {
      return E_INVALIDARG;
    }
    return Guarded([&] {
      // Compose holds the surface's lock while it copies, so a frame the animation paints from
      // its own thread is never read half done.
      const platform::Surface image = window.Compose();
      if (!image) return E_OUTOFMEMORY;
      for (int32_t y = 0; y < height; ++y) {
        std::memcpy(reinterpret_cast<uint8_t*>(pixels) + static_cast<size_t>(y) * stride,
                    image.Row(y), static_cast<size_t>(width) * 4);
      }
      return S_OK;
    });
  }
  static HRESULT SendMessageFn(IPelmorView* v, uint32_t message, uintptr_t wParam,
                               intptr_t lParam, intptr_t* result) {
    // Only messages whose parameters are plain values: a pointer in a host's message would be
    // followed blindly.
    switch (message) {
      case platform::WM_KEYDOWN:
      case platform::WM_HSCROLL:
      case platform::WM_VSCROLL:
      case platform::WM_MOUSEWHEEL:
      case platform::WM_SETTINGCHANGE: break;
      default: return E_INVALIDARG;
    }
    return Guarded([&] {
      const platform::LRESULT r = Self(v).control_.Control().SendMessage(
          message, static_cast<platform::WPARAM>(wParam), static_cast<platform::LPARAM>(lParam));
      if (result != nullptr) *result = static_cast<intptr_t>(r);
      return S_OK;
    });
  }

  static constexpr IPelmorViewVtbl kViewVtbl = {QueryInterfaceFn, AddRefFn,   ReleaseFn,
                                                SetSize,          GetSize,    SetUserMode,
                                                Update,           CopyPixels, SendMessageFn};

  HeadlessControl control_;
  const TypeDesc* type_ = nullptr;
  Slot<IPelmorView, ControlObject> view_;
};

}  // namespace

HRESULT NewControl(int generation, IDispatch** dispatch) {
  *dispatch = nullptr;
  auto* object = new ControlObject();
  if (!object->Create(generation)) {
    object->Release();
    return E_FAIL;
  }
  *dispatch = object->Dispatch();
  return S_OK;
}

}  // namespace pelmor::module
