// pelmor register, unregister, typelib and script as the command line runs them: output, exit
// codes, the registry store they use, the example scripts, and scripts that fail, loop, or make
// many controls.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

namespace fs = std::filesystem;

struct CommandRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class ModuleCommandsTest : public ::testing::Test {
 protected:
  // Runs pelmor with the arguments in the temporary folder, with its own registry store.
  CommandRun Pelmor(const std::string& args) {
    CommandRun r;
    const std::string errFile = dir_.File("stderr.txt");
    const std::string cmd = "cd '" + dir_.Path().string() + "' && PELMOR_REGISTRY='" + store_ +
                            "' " + PELMOR_CLI_PATH + " " + args + " 2>'" + errFile + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes err = ReadFile(errFile);
    r.err.assign(err.begin(), err.end());
    return r;
  }
  std::string Script(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    WriteFile(path, Bytes(text.begin(), text.end()));
    return path;
  }
  TempDir dir_;
  std::string store_ = dir_.File("store/registry");
};

TEST_F(ModuleCommandsTest, RegisterAndUnregisterPrintTheResultCode) {
  const std::string module = " " + std::string(PELMOR_MODULE_PATH);
  const struct {
    std::string args;
    int exitCode;
    const char* printed;
  } kSteps[] = {
      {"unregister" + module, 1, "DllUnregisterServer " PELMOR_MODULE_PATH ": 0x80040200 (SELFREG_E_TYPELIB)\n"},
      {"register" + module, 0, "DllRegisterServer " PELMOR_MODULE_PATH ": 0x00000000 (S_OK)\n"},
      {"register" + module, 0, "DllRegisterServer " PELMOR_MODULE_PATH ": 0x00000000 (S_OK)\n"},
      {"unregister" + module, 0, "DllUnregisterServer " PELMOR_MODULE_PATH ": 0x00000000 (S_OK)\n"},
      {"unregister" + module, 1, "DllUnregisterServer " PELMOR_MODULE_PATH ": 0x80040200 (SELFREG_E_TYPELIB)\n"},
  };
  for (const auto& s : kSteps) {
    const CommandRun r = Pelmor(s.args);
    EXPECT_EQ(r.exitCode, s.exitCode) << s.args;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), s.printed) << s.args;
  }
  EXPECT_EQ(Pelmor("register /nonexistent/libpelmor.so").exitCode, 1);
  EXPECT_EQ(Pelmor("register a b").exitCode, 2);
}

TEST_F(ModuleCommandsTest, ADamagedStoreIsNamedAndKept) {
  fs::create_directories(fs::path(store_).parent_path());
  WriteFile(store_, {'p', 'e', 'l'});
  const CommandRun r = Pelmor(std::string("register ") + PELMOR_MODULE_PATH);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("0x80040200"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(store_), (Bytes{'p', 'e', 'l'}));
}

TEST_F(ModuleCommandsTest, TypelibPrintsTheLibrary) {
  const CommandRun r = Pelmor("typelib");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("// PELMORLib 1.0\n", 0), 0u);
  EXPECT_NE(r.out.find("\tcoclass Pelmor2\n"), std::string::npos);
  EXPECT_EQ(Pelmor("typelib extra").exitCode, 2);
}

#ifdef PELMOR_SCRIPT_HOST

class ScriptTest : public ModuleCommandsTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Pelmor(std::string("register ") + PELMOR_MODULE_PATH).exitCode, 0);
  }
};

TEST_F(ScriptTest, EveryExampleRuns) {
  size_t examples = 0;
  for (const auto& e : fs::directory_iterator(fs::path(PELMOR_SOURCE_DIR) / "examples")) {
    if (e.path().extension() != ".js") continue;
    ++examples;
    const CommandRun r = Pelmor("script " + e.path().string());
    EXPECT_EQ(r.exitCode, 0) << e.path() << "\n" << r.err;
    EXPECT_FALSE(r.out.empty()) << e.path();
  }
  EXPECT_GE(examples, 3u);
  // frames.js painted every frame and saved the last one as a JPEG.
  for (const char* f : {"frame0.png", "frame3.png"}) EXPECT_TRUE(fs::exists(dir_.File(f))) << f;
  CImageDoc jpeg;
  ASSERT_TRUE(jpeg.Open(dir_.File("last-frame.jpg").c_str(), 0));
  EXPECT_EQ(jpeg.width, 70);
  EXPECT_EQ(jpeg.height, 46);
}

TEST_F(ScriptTest, FailedCallsThrowWithTheirCodes) {
  const CommandRun r = Pelmor("script " + std::string(PELMOR_SOURCE_DIR) + "/examples/errors.js");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "set ImageWidth: code 383, hresult 0x800A017F\n"
            "read NoSuchProperty: code 2147614726, hresult 0x80020006\n"
            "set NoSuchProperty: code 2147614726, hresult 0x80020006\n"
            "set BackColor to an invalid colour: code 380, hresult 0x800A017C\n"
            "call ShowImageN without its argument: code 2147614734, hresult 0x8002000E\n"
            "create Nobody.Nothing: code 2147746291, hresult 0x800401F3\n"
            "read NImages of the first control: code 2147614726, hresult 0x80020006\n");
}

TEST_F(ScriptTest, ValuesCrossBothWays) {
  const CommandRun r = Pelmor("script " + Script("values.js", R"JS(
var c = createObject("PELMOR.PelmorCtrl.2");
c.HAlignment = 7;                       // stored as it is
c.CompressionRatio = 0.5;
c.Caption = "héllo";
c.StretchImage = 0;
console.log(c.HAlignment, c.CompressionRatio, c.Caption, c.StretchImage, c.CurrentImage);
var f = c.Font;
f.Size = 20;
c.Font = f;                             // an object handed back
console.log(c.Font.Size, "Bold" in c.Font, "Nothing" in c, String(c));
console.log(c.OpenImage(host.scriptDir + "/missing.bmp", 0), c.IsOpen(), c.filename.slice(-11));
)JS"));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "7 0.5 héllo false 4294967295\n"
            "20 true false [object PELMOR.PelmorCtrl.2]\n"
            "true false missing.bmp\n");
}

TEST_F(ScriptTest, AnUncaughtErrorEndsTheScriptWithItsLine) {
  const CommandRun r = Pelmor("script " + Script("throws.js", "var c = createObject(\"PELMOR.PelmorCtrl.1\");\n"
                                                       "c.NImages;\nconsole.log('not reached');\n"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("throws.js:2: Error: PELMOR.PelmorCtrl.1.NImages: no such member "
                       "(0x80020006)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("live objects"), std::string::npos) << r.err;  // all released after all
}

TEST_F(ScriptTest, ATimeLimitEndsAScriptThatLoops) {
  const CommandRun r = Pelmor("script " + Script("loop.js", "var c = createObject('PELMOR.PelmorCtrl.2');\n"
                                                     "for (;;) { c.HAlignment = 1; }\n") +
                       " --timeout 0.5");
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("ran longer than 0.5 s"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("live objects"), std::string::npos) << r.err;
}

TEST_F(ScriptTest, AThousandDroppedControlsLeaveNothingBehind) {
  // The host releases everything at the end and fails when the module still counts an object.
  const std::string bmp = SamplePath("rose-8bit.bmp");
  const CommandRun r = Pelmor("script " + Script("many.js", "for (var i = 0; i < 1000; ++i) {\n"
                                                     "  var c = createObject('PELMOR.PelmorCtrl.2');\n"
                                                     "  if (i % 10 == 0) c.FileName = '" + bmp + "';\n"
                                                     "  var font = c.Font;\n"
                                                     "}\nconsole.log(c.IsOpen());\n"));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "false\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(ScriptTest, UsageErrors) {
  EXPECT_EQ(Pelmor("script").exitCode, 2);
  EXPECT_EQ(Pelmor("script nothere.js").exitCode, 2);
  EXPECT_EQ(Pelmor("script x.js --timeout -1").exitCode, 2);
  EXPECT_EQ(Pelmor("script x.js --size 0x5").exitCode, 2);
}

#endif  // PELMOR_SCRIPT_HOST

}  // namespace
}  // namespace pelmor::test
