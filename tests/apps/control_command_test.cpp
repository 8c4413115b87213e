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
                           "key", "key 0x10000", "key up", "wheel 32768", "wheel -32769",
                           "hscroll", "vscroll line", "resize 0x9", "resize 10",
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

// The walk-through of the bars appearing in turn, then the user's input moving them.
TEST(ControlCommand, InputStepsMoveTheBarsAndScrollinfoReportsThem) {
  TempDir dir;
  const std::string image = SolidBmp(dir, "i.bmp", 300, 250, 0x3060C0);
  const CliRun r = Pelmor("control --size 200x100 set Scrolling true set FileName " + image +
                          " scrollinfo vscroll 3 key 0x23 wheel 120 hscroll 5 40 scrollinfo" +
                          " hscroll 4 60 key 0x24 resize 400x300 scrollinfo");
  EXPECT_EQ(r.exitCode, 0);
  auto info = [](int hPos, int vPos, uint32_t hPage, uint32_t vPage, int w, int h) {
    const std::string v = "true";
    return "{\"horizontal\": {\"min\": 0, \"max\": 300, \"page\": " + std::to_string(hPage) +
           ", \"pos\": " + std::to_string(hPos) + ", \"visible\": " + v +
           "}, \"vertical\": {\"min\": 0, \"max\": 250, \"page\": " + std::to_string(vPage) +
           ", \"pos\": " + std::to_string(vPos) + ", \"visible\": " + v + "}, \"client\": [" +
           std::to_string(w) + ", " + std::to_string(h) + "]}";
  };
  const char* ok = "0x00000000";
  EXPECT_EQ(r.out,
            Line(1, "set", "Scrolling", ok, "null") + Line(2, "set", "FileName", ok, "null") +
                Line(3, "scrollinfo", "", ok, info(0, 0, 183, 83, 183, 83)) +
                Line(4, "vscroll", "3", ok, "null") + Line(5, "key", "0x23", ok, "null") +
                Line(6, "wheel", "120", ok, "null") + Line(7, "hscroll", "5", ok, "null") +
                // Page down to 83, End to the bottom (168), a notch up three lines of 2.
                Line(8, "scrollinfo", "", ok, info(40, 162, 183, 83, 183, 83)) +
                Line(9, "hscroll", "4", ok, "null") + Line(10, "key", "0x24", ok, "null") +
                Line(11, "resize", "400x300", ok, "null") +
                // The image fits: both ranges are cleared and the bars hidden.
                Line(12, "scrollinfo", "", ok,
                     "{\"horizontal\": {\"min\": 0, \"max\": 0, \"page\": 1, \"pos\": 0, "
                     "\"visible\": false}, \"vertical\": {\"min\": 0, \"max\": 0, \"page\": 1, "
                     "\"pos\": 0, \"visible\": false}, \"client\": [400, 300]}"));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string FrameLine(int number, int image, int ms) {
  char line[96];
  std::snprintf(line, sizeof line, "{\"file\": \"frame-%04d.bmp\", \"currentImage\": %d, \"ms\": %d}",
                number, image, ms);
  return line;
}

// The sample's four frames of 200 ms each, twice round and into a third; every frame written is
// the control's own paint of that image.
TEST(PlayCommand, FramesComeInOrderAtTheFilesDelaysAsTheControlPaintsThem) {
  TempDir dir;
  const std::string gif = SamplePath("anim-disposal.gif");
  const std::string out = dir.File("out");
  const CliRun r = Pelmor("play " + gif + " " + out + " --frames 10");
  ASSERT_EQ(r.exitCode, 0);
  std::vector<std::string> expected;
  std::string json = "[\n";
  for (int k = 0; k < 10; ++k) {
    expected.push_back(FrameLine(k + 1, k % 4, 200 * k));
    json += "  " + expected.back() + (k < 9 ? ",\n" : "\n");
  }
  EXPECT_EQ(Lines(r.out), expected);
  const Bytes list = ReadFile(out + "/frames.json");
  EXPECT_EQ(std::string(list.begin(), list.end()), json + "]\n");
  for (int k = 0; k < 4; ++k) {
    const std::string rendered = dir.File("r" + std::to_string(k) + ".bmp");
    ASSERT_EQ(Pelmor("render " + gif + " " + rendered + " --size 70x46 --frame " +
                     std::to_string(k)).exitCode, 0);
    char name[32];
    for (int round = 0; round < 2; ++round) {
      std::snprintf(name, sizeof name, "/frame-%04d.bmp", 4 * round + k + 1);
      EXPECT_EQ(ReadFile(out + name), ReadFile(rendered)) << name;
    }
  }
  // Without --frames: every image and the first again.
  EXPECT_EQ(Lines(Pelmor("play " + gif + " " + dir.File("round")).out).size(), 5u);
}

TEST(PlayCommand, StillImagesMissingFilesAndUsage) {
  TempDir dir;
  const CliRun still = Pelmor("play " + SamplePath("rose-24bit.bmp") + " " + dir.File("s") +
                              " --frames 3 --size 40x30");
  EXPECT_EQ(still.exitCode, 0);
  EXPECT_EQ(still.out, FrameLine(1, 0, 0) + "\n");
  CImageDoc doc;
  ASSERT_TRUE(doc.Open(dir.File("s/frame-0001.bmp").c_str(), 0));
  EXPECT_EQ(doc.width, 40);
  EXPECT_EQ(doc.height, 30);
  EXPECT_EQ(Pelmor("play " + dir.File("none.gif") + " " + dir.File("m")).exitCode, 1);
  WriteFile(dir.File("file"), Bytes{'x'});
  EXPECT_EQ(Pelmor("play " + SamplePath("anim-disposal.gif") + " " + dir.File("file")).exitCode, 3);
  for (const char* args : {"", "a.gif", "a.gif out --frames 0", "a.gif out --frames 100001",
                           "a.gif out --size 5", "a.gif out b"}) {
    EXPECT_EQ(Pelmor(std::string("play ") + args).exitCode, 2) << args;
  }
}

}  // namespace
}  // namespace pelmor::test
