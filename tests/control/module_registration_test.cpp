// Self-registration against a store file: the entries written, what unregistering removes, and
// the result codes when the store or the library's state does not allow the step.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "control/module_registration.h"
#include "control/pelmor_ids.h"
#include "platform/registry_store.h"
#include "test_support.h"

namespace pelmor {
namespace {

using platform::RegistryRoot;
using platform::RegistryTree;
using test::TempDir;
constexpr RegistryRoot kHKCR = RegistryRoot::kClassesRoot;
constexpr const char* kModule = "/opt/pelmor lib/libpelmor.so";

RegistryTree Read(const std::string& path) {
  std::string error;
  auto tree = platform::ReadRegistry(path, error);
  EXPECT_TRUE(tree) << error;
  return tree ? *tree : RegistryTree{};
}

void Write(const std::string& path, const RegistryTree& tree) {
  platform::RegistryTransaction tx;
  std::string error;
  ASSERT_TRUE(tx.Begin(path, error)) << error;
  tx.Tree() = tree;
  ASSERT_TRUE(tx.Commit(error)) << error;
}

// Entries of other classes and of the user, which registration must leave alone.
RegistryTree Foreign() {
  RegistryTree t;
  t.SetValue(kHKCR, "CLSID\\{11111111-2222-3333-4444-555555555555}", "", "Other Control");
  t.SetValue(kHKCR, "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "",
             "/usr/lib/other.so");
  t.SetValue(kHKCR, "Other.Control.1\\CLSID", "", "{11111111-2222-3333-4444-555555555555}");
  t.SetValue(kHKCR, "Interface\\{99999999-2222-3333-4444-555555555555}", "", "_DOther");
  t.SetValue(RegistryRoot::kCurrentUser, "Software\\Microsoft\\Internet Explorer\\Settings",
             "Anchor Color", "0,0,255");
  return t;
}

class ModuleRegistrationTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string store_ = dir_.File("pelmor/registry");
};

TEST_F(ModuleRegistrationTest, WritesTheClassesTheirProgIdsAndTheTypeLibrary) {
  ASSERT_EQ(RegisterServer(store_, kModule), ole::S_OK);
  const RegistryTree t = Read(store_);
  const std::string c2 = "CLSID\\{D7F3A25C-1E84-4B6A-A0C3-6E1B9D24F871}";
  const std::string lib = "TypeLib\\{5C13B0E2-7A41-11D3-9F2E-0040C7A91B35}\\1.0";
  const struct {
    std::string key, name, value;
  } kEntries[] = {
      {"PELMOR.PelmorCtrl.2\\CLSID", "", "{D7F3A25C-1E84-4B6A-A0C3-6E1B9D24F871}"},
      {"PELMOR.PelmorCtrl.2", "", "Pelmor2 Control"},
      {c2, "", "Pelmor2 Control"},
      {c2 + "\\ProgID", "", "PELMOR.PelmorCtrl.2"},
      {c2 + "\\InprocServer32", "", kModule},
      {c2 + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {c2 + "\\ToolboxBitmap32", "", std::string(kModule) + ", 1"},
      {c2 + "\\MiscStatus", "", "0"},
      {c2 + "\\MiscStatus\\1", "", "131473"},
      {c2 + "\\TypeLib", "", "{5C13B0E2-7A41-11D3-9F2E-0040C7A91B35}"},
      {c2 + "\\Version", "", "1.0"},
      {"PELMOR.PelmorCtrl.1\\CLSID", "", "{5C13B0E6-7A41-11D3-9F2E-0040C7A91B35}"},
      {"CLSID\\{5C13B0E6-7A41-11D3-9F2E-0040C7A91B35}", "", "Pelmor Control"},
      {"CLSID\\{5C13B0E7-7A41-11D3-9F2E-0040C7A91B35}", "", "Pelmor Property Page"},
      {"CLSID\\{6F0AD14B-C853-4E29-B7D6-18E4F3A9C20B}\\InprocServer32", "", kModule},
      {lib, "", "Pelmor ActiveX Control module"},
      {lib + "\\FLAGS", "", "2"},
      {lib + "\\0\\linux64", "", kModule},
      {lib + "\\HELPDIR", "", "/opt/pelmor lib"},
      {"Interface\\{3B8E61D0-9C27-4F15-8E4A-B27C05D3E96A}", "", "_DPelmor2"},
      {"Interface\\{3B8E61D0-9C27-4F15-8E4A-B27C05D3E96A}\\TypeLib", "Version", "1.0"},
  };
  for (const auto& e : kEntries) {
    EXPECT_EQ(t.GetValue(kHKCR, e.key, e.name), e.value) << e.key << " " << e.name;
  }
  EXPECT_TRUE(t.KeyExists(kHKCR, c2 + "\\Control"));
  EXPECT_FALSE(t.GetValue(kHKCR, c2 + "\\Control", ""));
  // Property pages: no ProgID anywhere, no threading model, no control keys.
  for (const char* page : {"{5C13B0E7-7A41-11D3-9F2E-0040C7A91B35}",
                           "{6F0AD14B-C853-4E29-B7D6-18E4F3A9C20B}"}) {
    const std::string key = std::string("CLSID\\") + page;
    EXPECT_EQ(t.SubKeyNames(kHKCR, key), std::vector<std::string>{"InprocServer32"}) << page;
    EXPECT_FALSE(t.GetValue(kHKCR, key + "\\InprocServer32", "ThreadingModel"));
  }
  EXPECT_FALSE(t.KeyExists(kHKCR, "PELMOR.PelmorPropPage.1"));
  EXPECT_FALSE(t.KeyExists(kHKCR, "PELMOR.PelmorPropPage.2"));
  EXPECT_FALSE(t.KeyExists(kHKCR, c2 + "\\Insertable"));
}

TEST_F(ModuleRegistrationTest, UnregisteringRemovesExactlyWhatRegisteringWrote) {
  for (const RegistryTree& before : {RegistryTree{}, Foreign()}) {
    std::filesystem::remove(store_);
    Write(store_, before);
    ASSERT_EQ(RegisterServer(store_, kModule), ole::S_OK);
    const RegistryTree once = Read(store_);
    ASSERT_EQ(RegisterServer(store_, kModule), ole::S_OK);  // twice: the same entries
    EXPECT_TRUE(Read(store_) == once);
    ASSERT_EQ(UnregisterServer(store_), ole::S_OK);
    EXPECT_TRUE(Read(store_) == before) << Read(store_).Serialize();
  }
}

TEST_F(ModuleRegistrationTest, UnregisteringWhatIsNotRegisteredFailsAtTheTypeLibrary) {
  Write(store_, Foreign());
  std::string error;
  EXPECT_EQ(UnregisterServer(store_, &error), ole::SELFREG_E_TYPELIB);
  EXPECT_NE(error.find("not registered"), std::string::npos) << error;
  EXPECT_TRUE(Read(store_) == Foreign());
  ASSERT_EQ(RegisterServer(store_, kModule), ole::S_OK);
  ASSERT_EQ(UnregisterServer(store_), ole::S_OK);
  EXPECT_EQ(UnregisterServer(store_), ole::SELFREG_E_TYPELIB);  // twice
  EXPECT_TRUE(Read(store_) == Foreign());
}

TEST_F(ModuleRegistrationTest, AnInterfaceKeyOfAnotherLibraryStays) {
  RegistryTree t;
  const std::string iface = "Interface\\{3B8E61D0-9C27-4F15-8E4A-B27C05D3E96A}";
  ASSERT_EQ(RegisterServer(store_, kModule), ole::S_OK);
  t = Read(store_);
  t.SetValue(kHKCR, iface + "\\TypeLib", "", "{00000000-0000-0000-0000-00000000000A}");
  Write(store_, t);
  ASSERT_EQ(UnregisterServer(store_), ole::S_OK);
  EXPECT_TRUE(Read(store_).KeyExists(kHKCR, iface));
}

TEST_F(ModuleRegistrationTest, ADamagedStoreIsNeitherUsedNorReplaced) {
  ASSERT_EQ(RegisterServer(store_, kModule), ole::S_OK);
  const test::Bytes whole = test::ReadFile(store_);
  const test::Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 2 / 3));
  test::WriteFile(store_, cut);
  std::string error;
  EXPECT_EQ(RegisterServer(store_, kModule, &error), ole::SELFREG_E_TYPELIB);
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
  EXPECT_EQ(UnregisterServer(store_, &error), ole::SELFREG_E_TYPELIB);
  EXPECT_EQ(test::ReadFile(store_), cut);
}

TEST_F(ModuleRegistrationTest, AMissingFolderIsMadeAndAnImpossibleOneIsAnError) {
  const std::string deep = dir_.File("a/b/c/registry");
  EXPECT_EQ(RegisterServer(deep, kModule), ole::S_OK);
  EXPECT_TRUE(Read(deep).KeyExists(kHKCR, "PELMOR.PelmorCtrl.2"));
  test::WriteFile(dir_.File("file"), {1});
  std::string error;
  EXPECT_EQ(RegisterServer(dir_.File("file/registry"), kModule, &error), ole::SELFREG_E_TYPELIB);
  EXPECT_NE(error.find("folder"), std::string::npos) << error;
}

// Runs f where the file permissions apply: in a child without root's privileges when the tests
// run as root. Returns what f returned.
int Unprivileged(const std::function<int()>& f) {
  if (geteuid() != 0) return f();
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(f());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ModuleRegistrationTest, AReadOnlyFolderFailsAndKeepsTheStore) {
  Write(store_, Foreign());
  ASSERT_EQ(RegisterServer(store_, kModule), ole::S_OK);
  const test::Bytes before = test::ReadFile(store_);
  const auto folder = std::filesystem::path(store_).parent_path();
  std::filesystem::permissions(dir_.Path(), std::filesystem::perms(0755));
  std::filesystem::permissions(folder, std::filesystem::perms(0555));
  std::filesystem::permissions(store_, std::filesystem::perms(0644));
  std::filesystem::permissions(store_ + ".lock", std::filesystem::perms(0666));
  // Exit codes: 1 register failed as it should, 2 unregister did too, 0 both.
  const int code = Unprivileged([this] {
    const bool reg = RegisterServer(store_, kModule) == ole::SELFREG_E_TYPELIB;
    const bool unreg = UnregisterServer(store_) == ole::SELFREG_E_TYPELIB;
    return (reg ? 0 : 1) | (unreg ? 0 : 2);
  });
  std::filesystem::permissions(folder, std::filesystem::perms(0755));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(test::ReadFile(store_), before);
}

TEST_F(ModuleRegistrationTest, AClassStepFailureWritesNoClassAndReportsIt) {
  // A module path that fits a value but not with the toolbox bitmap's ", 1" after it.
  const std::string path(platform::kRegistryMaxValueData - 1, 'p');
  std::string error;
  EXPECT_EQ(RegisterServer(store_, path, &error), ole::SELFREG_E_CLASS);
  const RegistryTree t = Read(store_);
  EXPECT_TRUE(t.KeyExists(kHKCR, "TypeLib\\{5C13B0E2-7A41-11D3-9F2E-0040C7A91B35}\\1.0"));
  EXPECT_FALSE(t.KeyExists(kHKCR, "CLSID"));
}

TEST(ModuleClasses, TheFourFactoriesInOrder) {
  const auto classes = ModuleClasses();
  ASSERT_EQ(classes.size(), 4u);
  EXPECT_EQ(*classes[0].clsid, CLSID_PelmorCtrl);
  EXPECT_EQ(*classes[1].clsid, CLSID_Pelmor2Ctrl);
  EXPECT_EQ(*classes[2].clsid, CLSID_PelmorPropPage);
  EXPECT_EQ(*classes[3].clsid, CLSID_Pelmor2PropPage);
  EXPECT_STREQ(classes[3].progId, "PELMOR.PelmorPropPage.2");
  EXPECT_EQ(FindModuleClass(CLSID_Pelmor2Ctrl), &classes[1]);
  EXPECT_EQ(FindModuleClass(LIBID_PELMORLib), nullptr);
}

}  // namespace
}  // namespace pelmor
