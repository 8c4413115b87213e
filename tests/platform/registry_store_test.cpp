// The registry tree, its text form, and the store file: keys and values, damage refused, atomic
// changes under the lock.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/registry_store.h"
#include "test_support.h"

namespace pelmor::platform {
namespace {

using test::TempDir;
constexpr RegistryRoot kHKCR = RegistryRoot::kClassesRoot;
constexpr RegistryRoot kHKCU = RegistryRoot::kCurrentUser;

RegistryTree Sample() {
  RegistryTree t;
  t.SetValue(kHKCR, "CLSID\\{1}", "", "One");
  t.SetValue(kHKCR, "CLSID\\{1}\\InprocServer32", "", "/lib/a b.so");
  t.SetValue(kHKCR, "CLSID\\{1}\\InprocServer32", "ThreadingModel", "Apartment");
  t.CreateKey(kHKCR, "CLSID\\{1}\\Control");
  t.SetValue(kHKCU, "Software\\Odd", "quote\"back\\slash", std::string("new\nline\x01\x7f\xff", 11));
  return t;
}

TEST(RegistryTree, KeysAndValuesIgnoreCaseButKeepIt) {
  RegistryTree t = Sample();
  EXPECT_EQ(t.GetValue(kHKCR, "clsid\\{1}\\INPROCSERVER32", "threadingmodel"), "Apartment");
  EXPECT_EQ(t.GetValue(kHKCR, "CLSID\\{1}", ""), "One");
  EXPECT_TRUE(t.KeyExists(kHKCR, "CLSID"));  // parents are made with their children
  EXPECT_FALSE(t.GetValue(kHKCR, "CLSID\\{1}\\Control", "").has_value());
  EXPECT_FALSE(t.KeyExists(kHKCU, "CLSID"));  // the roots are apart
  EXPECT_EQ(t.SubKeyNames(kHKCR, "clsid\\{1}"),
            (std::vector<std::string>{"Control", "InprocServer32"}));
  t.SetValue(kHKCR, "CLSID\\{1}\\InprocServer32", "THREADINGMODEL", "Both");
  EXPECT_EQ(t.GetValue(kHKCR, "CLSID\\{1}\\InprocServer32", "ThreadingModel"), "Both");
}

TEST(RegistryTree, DeleteTakesTheWholeSubtreeAndNothingBeside) {
  RegistryTree t = Sample();
  t.SetValue(kHKCR, "CLSID\\{1}x", "", "neighbour");  // shares the prefix but not the parent
  EXPECT_TRUE(t.DeleteKey(kHKCR, "CLSID\\{1}"));
  EXPECT_FALSE(t.KeyExists(kHKCR, "CLSID\\{1}\\InprocServer32"));
  EXPECT_EQ(t.GetValue(kHKCR, "CLSID\\{1}x", ""), "neighbour");
  EXPECT_FALSE(t.DeleteKey(kHKCR, "CLSID\\{1}"));
}

TEST(RegistryTree, RefusesUnusableNames) {
  RegistryTree t;
  const std::vector<std::string> kBad = {"", "a\\\\b", "\\a", "a\\", "tab\there",
                                        std::string(256, 'k')};
  for (const std::string& bad : kBad) {
    EXPECT_FALSE(t.CreateKey(kHKCR, bad)) << bad;
    EXPECT_FALSE(t.SetValue(kHKCR, bad, "", "v")) << bad;
  }
  EXPECT_FALSE(t.SetValue(kHKCR, "k", std::string(kRegistryMaxValueName + 1, 'n'), ""));
  EXPECT_FALSE(t.SetValue(kHKCR, "k", "n", std::string(kRegistryMaxValueData + 1, 'd')));
  EXPECT_EQ(t.KeyCount(), 0u);
}

TEST(RegistryTree, TextFormRoundTripsAnyBytes) {
  const RegistryTree t = Sample();
  const std::string text = t.Serialize();
  std::string error;
  const auto back = RegistryTree::Parse(text, error);
  ASSERT_TRUE(back) << error;
  EXPECT_TRUE(*back == t);
  EXPECT_EQ(back->Serialize(), text);
  EXPECT_NE(text.find("\"quote\\\"back\\\\slash\"=\"new\\x0Aline\\x01\\x7F\xff\"\n"),
            std::string::npos)
      << text;
}

TEST(RegistryTree, DamagedTextIsRefusedWithTheLine) {
  const std::string good = Sample().Serialize();
  // Cut anywhere: never accepted.
  for (size_t n = 0; n < good.size(); ++n) {
    std::string error;
    EXPECT_FALSE(RegistryTree::Parse(good.substr(0, n), error)) << n;
    EXPECT_FALSE(error.empty());
  }
  const struct {
    const char* text;
    const char* reason;
  } kDamaged[] = {
      {"pelmor registry 2\nend 0\n", "line 1"},
      {"pelmor registry 1\n[HKEY_LOCAL_MACHINE\\X]\nend 1\n", "known roots"},
      {"pelmor registry 1\n[HKEY_CLASSES_ROOT\\A]\n[HKEY_CLASSES_ROOT\\a]\nend 2\n", "twice"},
      {"pelmor registry 1\n[HKEY_CLASSES_ROOT\\A\\B]\nend 1\n", "parent"},
      {"pelmor registry 1\n@=\"x\"\nend 0\n", "before the first key"},
      {"pelmor registry 1\n[HKEY_CLASSES_ROOT\\A]\n@=\"x\"\n@=\"y\"\nend 1\n", "twice"},
      {"pelmor registry 1\n[HKEY_CLASSES_ROOT\\A]\n\"n\"=\"x\"\n\"N\"=\"y\"\nend 1\n", "twice"},
      {"pelmor registry 1\n[HKEY_CLASSES_ROOT\\A]\n@=\"bad\\q\"\nend 1\n", "quoted"},
      {"pelmor registry 1\n[HKEY_CLASSES_ROOT\\A]\n@=\"x\" trailing\nend 1\n", "quoted"},
      {"pelmor registry 1\n[HKEY_CLASSES_ROOT\\A]\nend 2\n", "count"},
      {"pelmor registry 1\nend 0\n[HKEY_CLASSES_ROOT\\A]\n", "after the last line"},
  };
  for (const auto& d : kDamaged) {
    std::string error;
    EXPECT_FALSE(RegistryTree::Parse(d.text, error)) << d.text;
    EXPECT_NE(error.find(d.reason), std::string::npos) << d.text << " -> " << error;
  }
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.File("data/pelmor/registry"); }
  TempDir dir_;
};

TEST_F(RegistryStoreTest, ChangesReachTheFileAndAMissingFolderIsMade) {
  std::string error;
  auto empty = ReadRegistry(Path(), error);
  ASSERT_TRUE(empty) << error;
  EXPECT_EQ(empty->KeyCount(), 0u);
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.Begin(Path(), error)) << error;
    tx.Tree() = Sample();
    ASSERT_TRUE(tx.Commit(error)) << error;
  }
  const auto back = ReadRegistry(Path(), error);
  ASSERT_TRUE(back) << error;
  EXPECT_TRUE(*back == Sample());
  // Only the store and its lock are left in the folder: no temporary file.
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_.File("data/pelmor"))) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

TEST_F(RegistryStoreTest, ADamagedStoreIsRefusedAndLeftAsItIs) {
  std::filesystem::create_directories(dir_.File("data/pelmor"));
  const std::string full = Sample().Serialize();
  const test::Bytes cut(full.begin(), full.begin() + static_cast<long>(full.size() / 2));
  test::WriteFile(Path(), cut);
  std::string error;
  EXPECT_FALSE(ReadRegistry(Path(), error));
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
  RegistryTransaction tx;
  EXPECT_FALSE(tx.Begin(Path(), error));
  EXPECT_EQ(test::ReadFile(Path()), cut);
}

TEST_F(RegistryStoreTest, AStoreThatIsNoFileOrTooBigIsRefused) {
  std::filesystem::create_directories(Path());  // a folder where the file should be
  std::string error;
  EXPECT_FALSE(ReadRegistry(Path(), error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  std::filesystem::remove(Path());
  ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);  // and a pipe must not hang the reader
  EXPECT_FALSE(ReadRegistry(Path(), error));
  std::filesystem::remove(Path());
  test::WriteFile(Path(), {});
  ASSERT_EQ(truncate(Path().c_str(), kRegistryMaxFileSize + 1), 0);
  EXPECT_FALSE(ReadRegistry(Path(), error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
}

TEST_F(RegistryStoreTest, AFolderThatCannotBeMadeIsAClearError) {
  test::WriteFile(dir_.File("data"), {1});  // a file where a folder is needed
  RegistryTransaction tx;
  std::string error;
  EXPECT_FALSE(tx.Begin(Path(), error));
  EXPECT_NE(error.find("registry folder"), std::string::npos) << error;
}

TEST_F(RegistryStoreTest, TheLockKeepsASecondChangeOut) {
  RegistryTransaction first;
  std::string error;
  ASSERT_TRUE(first.Begin(Path(), error)) << error;
  RegistryTransaction second;
  EXPECT_FALSE(second.Begin(Path(), error, 0));
  EXPECT_NE(error.find("locked"), std::string::npos) << error;
}

TEST_F(RegistryStoreTest, ConcurrentChangesAreSerialised) {
  // Two threads count up one value; a change lost between a read and a write would show.
  auto bump = [this] {
    for (int i = 0; i < 25; ++i) {
      RegistryTransaction tx;
      std::string error;
      ASSERT_TRUE(tx.Begin(Path(), error)) << error;
      const auto v = tx.Tree().GetValue(kHKCU, "Counter", "");
      tx.Tree().SetValue(kHKCU, "Counter", "", std::to_string(v ? std::stoi(*v) + 1 : 1));
      ASSERT_TRUE(tx.Commit(error)) << error;
    }
  };
  std::thread a(bump), b(bump);
  a.join();
  b.join();
  std::string error;
  EXPECT_EQ(ReadRegistry(Path(), error)->GetValue(kHKCU, "Counter", ""), "50");
}

TEST(RegistryLocation, TheVariableThenXdgThenHome) {
  struct Env {
    const char* registry;
    const char* xdg;
    const char* home;
    const char* want;  // nullptr: no location
  };
  const Env kCases[] = {
      {"/r/reg", "/x", "/h", "/r/reg"},
      {"", "/x", "/h", "/x/pelmor/registry"},
      {nullptr, "relative", "/h", "/h/.local/share/pelmor/registry"},
      {nullptr, nullptr, nullptr, nullptr},
  };
  const char* names[] = {kRegistryPathVariable, "XDG_DATA_HOME", "HOME"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
  }
  for (const Env& e : kCases) {
    const char* values[] = {e.registry, e.xdg, e.home};
    for (int i = 0; i < 3; ++i) {
      values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
    }
    std::string error;
    const auto path = DefaultRegistryPath(error);
    if (e.want == nullptr) {
      EXPECT_FALSE(path);
      EXPECT_FALSE(error.empty());
    } else {
      EXPECT_EQ(path, e.want);
    }
  }
  for (int i = 0; i < 3; ++i) {
    saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
  }
}

}  // namespace
}  // namespace pelmor::platform
