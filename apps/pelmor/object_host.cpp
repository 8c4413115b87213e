#include "object_host.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "platform/ole/guid.h"
#include "platform/registry_store.h"

namespace pelmor::cli {

using platform::RegistryRoot;

ObjectHost::~ObjectHost() { UnloadModules(); }

const ObjectHost::Module* ObjectHost::Load(const std::string& path, HRESULT& hr,
                                           std::string& why) {
  for (const Module& m : modules_) {
    if (m.path == path) return &m;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* e = dlerror();
    why = "cannot load the module " + path + (e != nullptr ? std::string(": ") + e : "");
    hr = kModuleNotFound;
    return nullptr;
  }
  Module m{path, handle,
           reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject")),
           reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"))};
  if (m.getClassObject == nullptr || m.canUnloadNow == nullptr) {
    dlclose(handle);
    why = "the module " + path + " has no DllGetClassObject or DllCanUnloadNow";
    hr = kModuleError;
    return nullptr;
  }
  modules_.push_back(m);
  return &modules_.back();
}

HRESULT ObjectHost::CreateObject(std::string_view progId, IDispatch** object, std::string& why) {
  *object = nullptr;
  std::string error;
  const auto tree = platform::ReadRegistry(registryPath_, error);
  if (!tree) {
    why = error;
    return kRegistryReadError;
  }
  const auto clsidText = progId.empty() || progId.find('\\') != std::string_view::npos
                             ? std::nullopt
                             : tree->GetValue(RegistryRoot::kClassesRoot,
                                              std::string(progId) + "\\CLSID", "");
  ole::GUID clsid;
  if (!clsidText || !ole::ParseGuid(*clsidText, clsid)) {
    why = "no class is registered as \"" + std::string(progId) + "\"";
    return kClassStringError;
  }
  const auto path = tree->GetValue(RegistryRoot::kClassesRoot,
                                   "CLSID\\" + *clsidText + "\\InprocServer32", "");
  if (!path || path->empty()) {
    why = "the class " + *clsidText + " has no module registered";
    return kClassNotRegistered;
  }
  HRESULT hr = S_OK;
  const Module* module = Load(*path, hr, why);
  if (module == nullptr) return hr;
  CLSID wanted;
  static_assert(sizeof wanted == sizeof clsid);
  std::memcpy(&wanted, &clsid, sizeof wanted);
  IClassFactory* factory = nullptr;
  hr = module->getClassObject(&wanted, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr) || factory == nullptr) {
    why = "the module " + *path + " has no class object for " + *clsidText;
    return FAILED(hr) ? hr : E_POINTER;
  }
  hr = factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IDispatch,
                                       reinterpret_cast<void**>(object));
  factory->lpVtbl->Release(factory);
  if (FAILED(hr)) why = "the class " + *clsidText + " did not make an object";
  return hr;
}

bool ObjectHost::UnloadModules() {
  for (auto it = modules_.begin(); it != modules_.end();) {
    if (it->canUnloadNow() == S_OK) {
      dlclose(it->handle);
      it = modules_.erase(it);
    } else {
      ++it;
    }
  }
  return modules_.empty();
}

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace pelmor::cli
