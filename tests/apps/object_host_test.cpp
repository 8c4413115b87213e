// Making objects by ProgID as a host does: each step of the lookup, and what each failure gives.
#include <gtest/gtest.h>

#include <filesystem>

#include "object_host.h"
#include "platform/registry_store.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

using platform::RegistryRoot;
constexpr RegistryRoot kHKCR = RegistryRoot::kClassesRoot;
constexpr const char* kClsid2 = "{D7F3A25C-1E84-4B6A-A0C3-6E1B9D24F871}";

class ObjectHostTest : public ::testing::Test {
 protected:
  // The store with ProgID -> clsid -> module.
  void Store(const std::string& progId, const std::string& clsid, const std::string& module) {
    platform::RegistryTransaction tx;
    std::string error;
    ASSERT_TRUE(tx.Begin(store_, error)) << error;
    tx.Tree().SetValue(kHKCR, progId + "\\CLSID", "", clsid);
    if (!module.empty()) tx.Tree().SetValue(kHKCR, "CLSID\\" + clsid + "\\InprocServer32", "", module);
    ASSERT_TRUE(tx.Commit(error)) << error;
  }
  TempDir dir_;
  std::string store_ = dir_.File("registry");
};

TEST_F(ObjectHostTest, MakesTheObjectAndKeepsTheModuleWhileItLives) {
  Store("PELMOR.PelmorCtrl.2", kClsid2, PELMOR_MODULE_PATH);
  cli::ObjectHost host(store_);
  IDispatch* object = nullptr;
  std::string why;
  ASSERT_EQ(host.CreateObject("pelmor.pelmorctrl.2", &object, why), S_OK) << why;
  ASSERT_NE(object, nullptr);
  IDispatch* second = nullptr;
  ASSERT_EQ(host.CreateObject("PELMOR.PelmorCtrl.2", &second, why), S_OK) << why;
  EXPECT_EQ(host.LoadedModules(), 1u);  // loaded once
  second->lpVtbl->Release(second);
  EXPECT_FALSE(host.UnloadModules());
  object->lpVtbl->Release(object);
  EXPECT_TRUE(host.UnloadModules());
  EXPECT_EQ(host.LoadedModules(), 0u);
}

TEST_F(ObjectHostTest, EachFailingStepHasItsCode) {
  const struct {
    const char* progId;
    const char* clsid;
    const char* module;
    HRESULT expected;
  } kCases[] = {
      {"Other.Class", kClsid2, PELMOR_MODULE_PATH, cli::kClassStringError},     // no such ProgID
      {"Bad.Clsid", "{not-a-guid}", PELMOR_MODULE_PATH, cli::kClassStringError},
      {"No.Server", kClsid2, "", cli::kClassNotRegistered},                      // no InprocServer32
      {"Missing.File", kClsid2, "/nonexistent/libpelmor.so", cli::kModuleNotFound},
      {"Not.A.Module", kClsid2, "libm.so.6", cli::kModuleError},                 // no exports
      {"Unknown.Class", "{00000000-1111-2222-3333-444444444444}", PELMOR_MODULE_PATH,
       CLASS_E_CLASSNOTAVAILABLE},
      {"Property.Page", "{6F0AD14B-C853-4E29-B7D6-18E4F3A9C20B}", PELMOR_MODULE_PATH,
       E_NOINTERFACE},  // a page is made, but is no automation object
  };
  for (const auto& c : kCases) {
    std::filesystem::remove(store_);
    Store(c.progId, c.clsid, c.module);
    cli::ObjectHost host(store_);
    IDispatch* object = reinterpret_cast<IDispatch*>(1);
    std::string why;
    const std::string asked = std::string(c.progId) == "Other.Class" ? "Not.Registered" : c.progId;
    EXPECT_EQ(host.CreateObject(asked, &object, why), c.expected) << c.progId;
    EXPECT_EQ(object, nullptr);
    EXPECT_FALSE(why.empty()) << c.progId;
  }
}

TEST_F(ObjectHostTest, ADamagedStoreIsReported) {
  WriteFile(store_, {'x', '\n'});
  cli::ObjectHost host(store_);
  IDispatch* object = nullptr;
  std::string why;
  EXPECT_EQ(host.CreateObject("PELMOR.PelmorCtrl.2", &object, why), cli::kRegistryReadError);
  EXPECT_NE(why.find("damaged"), std::string::npos) << why;
}

}  // namespace
}  // namespace pelmor::test
