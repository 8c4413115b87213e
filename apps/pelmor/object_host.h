// How a host makes an object from its programmatic identifier, as the component system does:
// the registry store maps the ProgID to a class identifier and the class to the module file
// (InprocServer32), the module is loaded once and asked for the class's factory
// (DllGetClassObject), and the factory makes the object (CreateInstance), handed out as its
// IDispatch. Modules stay loaded until they say they may go (DllCanUnloadNow).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pelmor/pelmor.h"

namespace pelmor::cli {

// Codes of the steps that can fail before the module has a say.
inline const HRESULT kClassStringError = static_cast<HRESULT>(0x800401F3u);   // CO_E_CLASSSTRING
inline const HRESULT kClassNotRegistered = static_cast<HRESULT>(0x80040154u); // REGDB_E_CLASSNOTREG
inline const HRESULT kRegistryReadError = static_cast<HRESULT>(0x80040150u);  // REGDB_E_READREGDB
inline const HRESULT kModuleNotFound = static_cast<HRESULT>(0x800401F8u);     // CO_E_DLLNOTFOUND
inline const HRESULT kModuleError = static_cast<HRESULT>(0x800401F9u);        // CO_E_ERRORINDLL

class ObjectHost {
 public:
  // The registry store file the host looks classes up in.
  explicit ObjectHost(std::string registryPath) : registryPath_(std::move(registryPath)) {}
  ~ObjectHost();
  ObjectHost(const ObjectHost&) = delete;
  ObjectHost& operator=(const ObjectHost&) = delete;

  // A new object of the class named by progId (any letter case), as IDispatch with one
  // reference. On failure the result code, and in why what went wrong.
  HRESULT CreateObject(std::string_view progId, IDispatch** object, std::string& why);

  // Unloads every loaded module that answers DllCanUnloadNow with S_OK; true when none is left.
  bool UnloadModules();
  size_t LoadedModules() const { return modules_.size(); }

 private:
  struct Module {
    std::string path;
    void* handle;
    LPFNGETCLASSOBJECT getClassObject;
    LPFNCANUNLOADNOW canUnloadNow;
  };
  // The module at path, loaded now or before; null with a code and reason when it cannot be.
  const Module* Load(const std::string& path, HRESULT& hr, std::string& why);

  std::string registryPath_;
  std::vector<Module> modules_;
};

// "0x80020006"
std::string HresultText(HRESULT hr);

}  // namespace pelmor::cli
