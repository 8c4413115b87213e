// pelmor control and the control-driven pelmor render: the JSON lines, the values a step takes,
// usage errors, painted windows.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "control/control_fixtures.h"
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

std::string Line(int step, const char* op, const std::string& name, const char* hr,
                 const std::string& value) {
  return "{\"step\": " + std::to_string(step) + ", \"op\": \"" + op + "\", \"name\": \"" + name +
         "\", \"hr\": \"" + hr + "\", \"value\": " + value + "}\n";
}

TEST(ControlCommand, OneJsonLinePerStep) {
  const std::string gif = SamplePath("anim-disposal.gif");
  const CliRun r = Pelmor("control --control 2 set FileName " + gif +
                          " get NImages get SupportsAnimation set ImageWidth 5 get nothing"
                          " get FileName");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, Line(1, "set", "FileName", "0x00000000", "null") +
                       Line(2, "get", "NImages", "0x00000000", "4") +
                       Line(3, "get", "SupportsAnimation", "0x00000000", "true") +
                       Line(4, "set", "ImageWidth", "0x800A017F", "null") +
                       Line(5, "get", "nothing", "0x80020006", "null") +
                       Line(6, "get", "FileName", "0x00000000", "\"" + gif + "\""));
}

TEST(ControlCommand, ValuesAndNames) {
  TempDir dir;
  const std::string latin1 = dir.File("caf\xE9.bmp");
  WriteFile(latin1, ReadFile(SamplePath("rose-24bit.bmp")));
  const CliRun r = Pelmor("control set FileName '" + latin1 + "' get FileName call IsOpen" +
                          " set BackColor 0x80000005 get BackColor set ForeColor -2147483640" +
                          " get ForeColor set HAlignment 2.5 get HAlignment set StretchImage false" +
                          " get StretchImage set Font.Name 'DejaVu Serif' get Font.Size" +
                          " set CompressionRatio 0.5 get CompressionRatio set Caption 12abc get Caption");
  EXPECT_EQ(r.exitCode, 0);
  const std::string escaped = dir.File("caf") + "\\udce9.bmp";
  EXPECT_EQ(r.out, Line(1, "set", "FileName", "0x00000000", "null") +
                       Line(2, "get", "FileName", "0x00000000", "\"" + escaped + "\"") +
                       Line(3, "call", "IsOpen", "0x00000000", "true") +
                       Line(4, "set", "BackColor", "0x00000000", "null") +
                       Line(5, "get", "BackColor", "0x00000000", "2147483653") +
                       Line(6, "set", "ForeColor", "0x00000000", "null") +
                       Line(7, "get", "ForeColor", "0x00000000", "2147483656") +
                       Line(8, "set", "HAlignment", "0x00000000", "null") +
                       Line(9, "get", "HAlignment", "0x00000000", "2") +
                       Line(10, "set", "StretchImage", "0x00000000", "null") +
                       Line(11, "get", "StretchImage", "0x00000000", "false") +
                       Line(12, "set", "Font.Name", "0x00000000", "null") +
                       Line(13, "get", "Font.Size", "0x00000000", "12") +
                       Line(14, "set", "CompressionRatio", "0x00000000", "null") +
                       Line(15, "get", "CompressionRatio", "0x00000000", "0.5") +
                       Line(16, "set", "Caption", "0x00000000", "null") +
                       Line(17, "get", "Caption", "0x00000000", "\"12abc\""));
}

TEST(ControlCommand, UsageErrors) {
  for (const char* args : {"", "get", "set Caption", "call OpenImage x.gif", "jump 3",
                           "--control 3 get IsOpen", "--size 0x10 get IsOpen", "--size 70000x1 get IsOpen",
                           "--user-mode 2 get IsOpen", "--bogus 1 get IsOpen", "wait soon", "paint",
                           "save-stream", "load-bag"}) {
    EXPECT_EQ(Pelmor(std::string("control ") + args).exitCode, 2) << args;
  }
}

// State saved by one run loads in the next (a bag leaves FileName as it is); refused state and
// missing files report their codes.
TEST(ControlCommand, SavesAndLoadsStreamsAndBags) {
  TempDir dir;
  const std::string gif = SamplePath("anim-disposal.gif");
  const std::string stream = dir.File("state.bin"), bag = dir.File("state.txt");
  CliRun r = Pelmor("control --control 1 set FileName " + gif + " set Caption Hall save-stream " +
                    stream + " save-bag " + bag);
  EXPECT_EQ(r.out, Line(1, "set", "FileName", "0x00000000", "null") +
                       Line(2, "set", "Caption", "0x00000000", "null") +
                       Line(3, "save-stream", stream, "0x00000000", "null") +
                       Line(4, "save-bag", bag, "0x00000000", "null"));
  const Bytes bagBytes = ReadFile(bag);
  const std::string bagText(bagBytes.begin(), bagBytes.end());
  EXPECT_NE(bagText.find("Caption = \"Hall\""), std::string::npos);

  const std::string trailing = dir.File("trailing.bin"), broken = dir.File("broken.txt");
  Bytes extended = ReadFile(stream);
  extended.push_back('x');
  WriteFile(trailing, extended);
  const std::string unterminated = "Caption = \"unterminated\n";
  WriteFile(broken, Bytes(unterminated.begin(), unterminated.end()));
  r = Pelmor("control --control 1 load-stream " + stream + " get FileName get Caption load-bag " +
             bag + " get FileName load-stream " + trailing + " load-bag " + broken +
             " load-stream " + dir.File("missing.bin") + " save-bag " +
             dir.File("no/such/dir.txt"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, Line(1, "load-stream", stream, "0x00000000", "null") +
                       Line(2, "get", "FileName", "0x00000000", "\"" + gif + "\"") +
                       Line(3, "get", "Caption", "0x00000000", "\"Hall\"") +
                       Line(4, "load-bag", bag, "0x00000000", "null") +
                       Line(5, "get", "FileName", "0x00000000", "\"" + gif + "\"") +
                       Line(6, "load-stream", trailing, "0x80040203", "null") +
                       Line(7, "load-bag", broken, "0x80040203", "null") +
                       Line(8, "load-stream", dir.File("missing.bin"), "0x80004005", "null") +
                       Line(9, "save-bag", dir.File("no/such/dir.txt"), "0x80004005", "null"));

  // The second control's block is one int32 longer.
  r = Pelmor("control --control 2 load-stream " + stream);
  EXPECT_EQ(r.out, Line(1, "load-stream", stream, "0x80040202", "null"));
}

TEST(ControlCommand, PaintWritesTheWholeWindow) {
  TempDir dir;
  const std::string image = SolidBmp(dir, "i.bmp", 50, 40, 0x3060C0);
  const std::string out = dir.File("w.bmp");
  const CliRun r = Pelmor("control --size 60x50 set StretchImage false set FileName " + image +
                          " set BorderStyle 1 paint " + out + " paint " + dir.File("w.png"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("\"op\": \"paint\", \"name\": \"" + out + "\", \"hr\": \"0x00000000\""),
            std::string::npos);
  EXPECT_NE(r.out.find("\"hr\": \"0x80004005\""), std::string::npos);  // no PNG writer
  CImageDoc doc;
  ASSERT_TRUE(doc.Open(out.c_str(), 0));
  const Rgb pixels = DocumentPixels(doc);
  ASSERT_EQ(pixels.width, 60);
  ASSERT_EQ(pixels.height, 50);
  auto at = [&](int x, int y) {
    const uint8_t* p = &pixels.bgr[(static_cast<size_t>(y) * 60 + x) * 3];
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  };
  EXPECT_EQ(at(0, 0), 0x646464u);  // the border
  EXPECT_EQ(at(1, 1), 0x3060C0u);  // the image at the client area's origin
  EXPECT_EQ(at(51, 1), 0xFFFFFFu);  // the ambient background beside it
}

TEST(ControlCommand, RenderShowsTheCaptionWhenNothingOpens) {
  TempDir dir;
  const std::string out = dir.File("caption.bmp");
  const std::string args = dir.File("missing.gif") + " " + out +
                           " --size 120x40 --caption Hi --fore-color FF0000 --ambient 000000";
  EXPECT_EQ(Pelmor("render " + args).exitCode, 1);
  CImageDoc doc;
  ASSERT_TRUE(doc.Open(out.c_str(), 0));
  const Rgb pixels = DocumentPixels(doc);
  int red = 0;
  for (size_t i = 0; i + 2 < pixels.bgr.size(); i += 3) {
    red += pixels.bgr[i] == 0 && pixels.bgr[i + 1] == 0 && pixels.bgr[i + 2] == 0xFF;
  }
  EXPECT_GT(red, 20);  // the text, in the fore colour, at the top left
  for (const char* bad : {" --control 0", " --fore-color red"}) {
    EXPECT_EQ(Pelmor("render " + args + bad).exitCode, 2) << bad;
  }
  // Both controls paint an image alike.
  const std::string one = dir.File("one.bmp"), two = dir.File("two.bmp");
  const std::string rose = SamplePath("rose-24bit.bmp");
  ASSERT_EQ(Pelmor("render " + rose + " " + one + " --size 90x50 --halign 1 --control 1").exitCode, 0);
  ASSERT_EQ(Pelmor("render " + rose + " " + two + " --size 90x50 --halign 1").exitCode, 0);
  EXPECT_EQ(ReadFile(one), ReadFile(two));
}

}  // namespace
}  // namespace pelmor::test
