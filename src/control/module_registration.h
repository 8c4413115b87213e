// The module's classes and what announcing them writes to the registry: the four classes in the
// order their factories are made, each factory's UpdateRegistry, the type library's entries, and
// self-registration as a whole over the registry store.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/ole/guid.h"
#include "platform/ole/hresult.h"
#include "platform/registry_tree.h"

namespace pelmor {

enum class ClassKind : uint8_t { kControl, kPropertyPage };

struct ModuleClass {
  const ole::GUID* clsid;
  const char* progId;   // property pages hold one but never register it
  uint32_t typeNameId;  // the module string with the user type name
  ClassKind kind;
  int generation;       // controls: 1 (CPelmorCtrl) or 2 (CPelmor2Ctrl); pages: the same for theirs
};

// CPelmorCtrl, CPelmor2Ctrl, CPelmorPropPage, CPelmor2PropPage, in that order.
std::span<const ModuleClass> ModuleClasses();
// The class with that identifier; null when the module has none.
const ModuleClass* FindModuleClass(const ole::GUID& clsid);

// The bitmap a toolbox shows for both controls, by its resource number.
inline constexpr uint32_t kToolboxBitmapId = 1;

// A factory's UpdateRegistry: registering writes the class's keys under the classes root (for
// controls also its ProgID); unregistering removes the class's CLSID key (and ProgID key), which
// is not an error when they are already gone. False when a key or value could not be written.
bool UpdateRegistry(const ModuleClass& cls, bool registering, platform::RegistryTree& tree,
                    const std::string& modulePath);

// The type library's entries: TypeLib\{LIBID}\1.0 with its flags, its location for locale 0 and
// its help folder, and Interface\{IID} for each of its dispatch interfaces. Unregistering is
// false when the library (this version) is not registered, and then changes nothing.
bool RegisterTypeLibrary(platform::RegistryTree& tree, const std::string& modulePath);
bool UnregisterTypeLibrary(platform::RegistryTree& tree);

// Self-registration against the store file: the type library first (0x80040200 when that step
// fails, the store's problems included), then every class (0x80040201). Unregistering stops at a
// failed type-library step without touching the classes. error receives the reason of a failure.
ole::HRESULT RegisterServer(const std::string& storePath, const std::string& modulePath,
                            std::string* error = nullptr);
ole::HRESULT UnregisterServer(const std::string& storePath, std::string* error = nullptr);

}  // namespace pelmor
