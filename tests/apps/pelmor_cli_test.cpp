// The command-line contract: exit codes, the JSON fields and the written files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "codecs/bmp_fixtures.h"
#include "json_text.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

struct CliRun {
  int exitCode = -1;
  std::string out;
};

CliRun Pelmor(const std::string& args) {
  CliRun r;
  const std::string cmd = std::string(PELMOR_CLI_PATH) + " " + args + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class PelmorCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BmpRecipe s;
    s.width = 3;
    s.height = 2;
    s.bitCount = 8;
    s.clrUsed = 2;
    s.table = {0, 0, 255, 0, 255, 0, 0, 0};
    s.pixels = {0, 1, 0, 0, 1, 1, 1, 0};
    image_ = dir_.File("small.bmp");
    WriteFile(image_, MakeBmp(s));
  }
  TempDir dir_;
  std::string image_;
};

TEST_F(PelmorCliTest, InfoPrintsOneJsonObject) {
  CliRun r = Pelmor("info " + image_ + " --json --back-color 102030");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "{\"ok\": true, \"codec\": \"bmp\", \"width\": 3, \"height\": 2, \"bitCount\": 8, "
            "\"imageCount\": 1, \"currentImage\": 0, \"delayTime\": 0, \"documentName\": null, "
            "\"imageDescription\": null, \"imageCopyright\": null, \"software\": null}\n");
}

TEST_F(PelmorCliTest, InfoOnAFileThatDoesNotOpen) {
  const std::string bad = dir_.File("bad.bmp");
  WriteFile(bad, Bytes{1, 2, 3});
  CliRun r = Pelmor("info " + bad + " --json");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("\"ok\": false, \"codec\": null"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"bitCount\": null"), std::string::npos);
  EXPECT_EQ(Pelmor("info " + bad).exitCode, 1);
  EXPECT_EQ(Pelmor("info " + image_).exitCode, 0);
}

TEST_F(PelmorCliTest, UsageErrorsExitWithTwo) {
  for (const char* args : {"", "info", "info a b", "info x.bmp --frame", "info x.bmp --frame x",
                           "info x.bmp --back-color 12345", "info x.bmp --bogus",
                           "convert x.bmp", "convert a b --ratio nan", "frobnicate"}) {
    EXPECT_EQ(Pelmor(args).exitCode, 2) << args;
  }
  CliRun help = Pelmor("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("pelmor convert IN OUT"), std::string::npos);
}

TEST_F(PelmorCliTest, ConvertExitCodesAndOutput) {
  const std::string out = dir_.File("copy.bmp");
  EXPECT_EQ(Pelmor("convert " + image_ + " " + out).exitCode, 0);
  CImageDoc doc;
  ASSERT_TRUE(doc.Open(out.c_str(), 0));
  EXPECT_EQ(doc.width, 3);
  EXPECT_EQ(DocumentPixels(doc).bgr[0], 255);

  EXPECT_EQ(Pelmor("convert " + dir_.File("missing.bmp") + " " + out).exitCode, 1);
  EXPECT_EQ(Pelmor("convert " + image_ + " " + dir_.File("copy.png")).exitCode, 3);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("copy.png")));
}

TEST(JsonText, MetadataBytesAreUtf8WhenValidElseLatin1) {
  using cli::JsonString;
  EXPECT_EQ(JsonString(std::nullopt), "null");
  EXPECT_EQ(JsonString(std::string("plain \"quoted\" \\ text\n")),
            "\"plain \\\"quoted\\\" \\\\ text\\n\"");
  EXPECT_EQ(JsonString(std::string("caf\xC3\xA9")), "\"caf\xC3\xA9\"");
  EXPECT_EQ(JsonString(std::string("caf\xE9")), "\"caf\xC3\xA9\"");
  EXPECT_EQ(JsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
  EXPECT_FALSE(cli::IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(cli::IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(cli::IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
  EXPECT_TRUE(cli::IsValidUtf8("\xF0\x9F\x98\x80"));
}

}  // namespace
}  // namespace pelmor::test
