#include "control/module_registration.h"

#include "control/pelmor_ids.h"
#include "control/type_library.h"
#include "platform/registry_store.h"

namespace pelmor {

using platform::RegistryRoot;
using platform::RegistryTree;

namespace {

constexpr RegistryRoot kClasses = RegistryRoot::kClassesRoot;

constexpr ModuleClass kClasses4[] = {
    {&CLSID_PelmorCtrl, kProgIdPelmorCtrl, IDS_PELMOR, ClassKind::kControl, 1},
    {&CLSID_Pelmor2Ctrl, kProgIdPelmor2Ctrl, IDS_PELMOR2, ClassKind::kControl, 2},
    {&CLSID_PelmorPropPage, kProgIdPelmorPropPage, IDS_PELMOR_PPG, ClassKind::kPropertyPage, 1},
    {&CLSID_Pelmor2PropPage, kProgIdPelmor2PropPage, IDS_PELMOR2_PPG, ClassKind::kPropertyPage, 2},
};

// The dispatch interfaces are marshalled by the automation marshaller.
constexpr const char* kDispatchProxyStub = "{00020420-0000-0000-C000-000000000046}";

std::string Version() {
  return std::to_string(kTypeLibMajor) + "." + std::to_string(kTypeLibMinor);
}

std::string TypeLibKey() { return "TypeLib\\" + ole::GuidToString(LIBID_PELMORLib); }

// The platform a library's location is registered for, as the window system names win32/win64.
constexpr const char* kPlatformKey = sizeof(void*) == 8 ? "linux64" : "linux32";

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Removes a key left with nothing in it, so that unregistering leaves the store as registering
// found it even when it made the containers (CLSID, Interface, TypeLib).
void DeleteIfEmpty(RegistryTree& tree, const std::string& key) {
  if (tree.KeyIsEmpty(kClasses, key)) tree.DeleteKey(kClasses, key);
}

}  // namespace

std::span<const ModuleClass> ModuleClasses() { return kClasses4; }

const ModuleClass* FindModuleClass(const ole::GUID& clsid) {
  for (const ModuleClass& c : kClasses4) {
    if (*c.clsid == clsid) return &c;
  }
  return nullptr;
}

bool UpdateRegistry(const ModuleClass& cls, bool registering, RegistryTree& tree,
                    const std::string& modulePath) {
  const std::string key = "CLSID\\" + ole::GuidToString(*cls.clsid);
  const bool control = cls.kind == ClassKind::kControl;
  if (!registering) {
    tree.DeleteKey(kClasses, key);
    DeleteIfEmpty(tree, "CLSID");
    if (control) tree.DeleteKey(kClasses, cls.progId);
    return true;
  }
  const std::string typeName = LoadModuleString(cls.typeNameId);
  bool ok = tree.SetValue(kClasses, key, "", typeName) &&
            tree.SetValue(kClasses, key + "\\InprocServer32", "", modulePath);
  if (!control) return ok;
  ok = ok && tree.SetValue(kClasses, key + "\\InprocServer32", "ThreadingModel", "Apartment") &&
       tree.SetValue(kClasses, key + "\\ProgID", "", cls.progId) &&
       tree.SetValue(kClasses, key + "\\ToolboxBitmap32", "",
                     modulePath + ", " + std::to_string(kToolboxBitmapId)) &&
       tree.SetValue(kClasses, key + "\\MiscStatus", "", "0") &&
       tree.SetValue(kClasses, key + "\\MiscStatus\\1", "", std::to_string(kPelmorMiscStatus)) &&
       tree.CreateKey(kClasses, key + "\\Control") &&
       tree.SetValue(kClasses, key + "\\TypeLib", "", ole::GuidToString(LIBID_PELMORLib)) &&
       tree.SetValue(kClasses, key + "\\Version", "", Version()) &&
       tree.SetValue(kClasses, cls.progId, "", typeName) &&
       tree.SetValue(kClasses, std::string(cls.progId) + "\\CLSID", "",
                     ole::GuidToString(*cls.clsid));
  return ok;
}

bool RegisterTypeLibrary(RegistryTree& tree, const std::string& modulePath) {
  const TypeLibrary& lib = PelmorTypeLibrary();
  const std::string key = TypeLibKey() + "\\" + Version();
  bool ok = tree.SetValue(kClasses, key, "", lib.help) &&
            tree.SetValue(kClasses, key + "\\FLAGS", "", std::to_string(lib.flags)) &&
            tree.SetValue(kClasses, key + "\\0\\" + kPlatformKey, "", modulePath) &&
            tree.SetValue(kClasses, key + "\\HELPDIR", "", FolderOf(modulePath));
  for (const TypeDesc& t : lib.types) {
    if (t.kind != TypeKind::kDispatch || !ok) continue;
    const std::string iface = "Interface\\" + ole::GuidToString(*t.guid);
    ok = tree.SetValue(kClasses, iface, "", t.name) &&
         tree.SetValue(kClasses, iface + "\\ProxyStubClsid32", "", kDispatchProxyStub) &&
         tree.SetValue(kClasses, iface + "\\TypeLib", "", ole::GuidToString(lib.libid)) &&
         tree.SetValue(kClasses, iface + "\\TypeLib", "Version", Version());
  }
  return ok;
}

bool UnregisterTypeLibrary(RegistryTree& tree) {
  const TypeLibrary& lib = PelmorTypeLibrary();
  const std::string key = TypeLibKey() + "\\" + Version();
  if (!tree.KeyExists(kClasses, key)) return false;
  for (const TypeDesc& t : lib.types) {
    if (t.kind != TypeKind::kDispatch) continue;
    const std::string iface = "Interface\\" + ole::GuidToString(*t.guid);
    // Only an interface entry that names this library is ours to remove.
    if (tree.GetValue(kClasses, iface + "\\TypeLib", "") == ole::GuidToString(lib.libid)) {
      tree.DeleteKey(kClasses, iface);
    }
  }
  DeleteIfEmpty(tree, "Interface");
  tree.DeleteKey(kClasses, key);
  DeleteIfEmpty(tree, TypeLibKey());
  DeleteIfEmpty(tree, "TypeLib");
  return true;
}

ole::HRESULT RegisterServer(const std::string& storePath, const std::string& modulePath,
                            std::string* error) {
  std::string why;
  auto fail = [&](ole::HRESULT hr) {
    if (error != nullptr) *error = why;
    return hr;
  };
  platform::RegistryTransaction tx;
  if (!tx.Begin(storePath, why)) return fail(ole::SELFREG_E_TYPELIB);
  if (!RegisterTypeLibrary(tx.Tree(), modulePath)) {
    why = "the type library's entries could not be made";
    return fail(ole::SELFREG_E_TYPELIB);
  }
  if (!tx.Commit(why)) return fail(ole::SELFREG_E_TYPELIB);
  for (const ModuleClass& c : kClasses4) {
    if (!UpdateRegistry(c, true, tx.Tree(), modulePath)) {
      why = "the entries of " + ole::GuidToString(*c.clsid) + " could not be made";
      return fail(ole::SELFREG_E_CLASS);
    }
  }
  if (!tx.Commit(why)) return fail(ole::SELFREG_E_CLASS);
  return ole::S_OK;
}

ole::HRESULT UnregisterServer(const std::string& storePath, std::string* error) {
  std::string why;
  auto fail = [&](ole::HRESULT hr) {
    if (error != nullptr) *error = why;
    return hr;
  };
  platform::RegistryTransaction tx;
  if (!tx.Begin(storePath, why)) return fail(ole::SELFREG_E_TYPELIB);
  if (!UnregisterTypeLibrary(tx.Tree())) {
    why = "the type library " + ole::GuidToString(LIBID_PELMORLib) + " " + Version() +
          " is not registered";
    return fail(ole::SELFREG_E_TYPELIB);
  }
  if (!tx.Commit(why)) return fail(ole::SELFREG_E_TYPELIB);
  for (const ModuleClass& c : kClasses4) UpdateRegistry(c, false, tx.Tree(), "");
  if (!tx.Commit(why)) return fail(ole::SELFREG_E_CLASS);
  return ole::S_OK;
}

}  // namespace pelmor
