// The module's exports: self-registration, the class objects, whether the module may be
// unloaded, and its bitmaps.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "control/module_registration.h"
#include "control/toolbox_bitmap.h"
#include "module/class_factory.h"
#include "module/com_object.h"
#include "platform/registry_store.h"

namespace {

using namespace pelmor;

// The module file's full path, as the registry records it.
std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

HRESULT SelfRegistration(bool registering) {
  std::string error;
  const auto store = platform::DefaultRegistryPath(error);
  if (!store) return SELFREG_E_TYPELIB;
  return registering ? RegisterServer(*store, ModulePath()) : UnregisterServer(*store);
}

}  // namespace

extern "C" {

PELMOR_API HRESULT DllRegisterServer(void) {
  return module::Guarded([] { return SelfRegistration(true); });
}

PELMOR_API HRESULT DllUnregisterServer(void) {
  return module::Guarded([] { return SelfRegistration(false); });
}

PELMOR_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid == nullptr || iid == nullptr) return E_INVALIDARG;
  IClassFactory* factory = module::FindClassFactory(module::ToOle(*clsid));
  if (factory == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->lpVtbl->QueryInterface(factory, iid, object);
}

PELMOR_API HRESULT DllCanUnloadNow(void) { return module::ModuleCanUnload() ? S_OK : S_FALSE; }

PELMOR_API HRESULT PelmorGetBitmap(uint32_t id, const uint8_t** bytes, uint32_t* size) {
  if (bytes == nullptr || size == nullptr) return E_POINTER;
  const auto bitmap = ModuleBitmap(id);
  *bytes = bitmap.data();
  *size = static_cast<uint32_t>(bitmap.size());
  return bitmap.empty() ? E_INVALIDARG : S_OK;
}

}  // extern "C"
