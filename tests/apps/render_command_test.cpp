// pelmor render: the painted window, checked pixel by pixel against what is worked out by hand.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "codecs/bmp_fixtures.h"
#include "platform/drawing_fixtures.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

int Render(const std::string& args) {
  const std::string cmd = std::string(PELMOR_CLI_PATH) + " render " + args + " >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A written render as rows of 0x00RRGGBB from the top.
std::vector<std::vector<uint32_t>> ReadRender(const std::string& path) {
  CImageDoc doc;
  std::vector<std::vector<uint32_t>> rows;
  if (!doc.Open(path.c_str(), 0)) return rows;
  const Rgb rgb = DocumentPixels(doc);
  for (int y = 0; y < rgb.height; ++y) {
    rows.emplace_back();
    for (int x = 0; x < rgb.width; ++x) {
      const uint8_t* p = &rgb.bgr[(static_cast<size_t>(y) * rgb.width + x) * 3];
      rows.back().push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
  }
  return rows;
}

class RenderTest : public ::testing::Test {
 protected:
  std::string Bmp(const std::vector<std::vector<uint32_t>>& picture) {
    const DibRecipe d = TrueColorSpec(picture);
    BmpRecipe s;
    s.width = d.width;
    s.height = d.height;
    s.pixels = d.pixels;
    const std::string path = dir_.File("in" + std::to_string(++count_) + ".bmp");
    WriteFile(path, MakeBmp(s));
    return path;
  }
  TempDir dir_;
  int count_ = 0;
};

TEST_F(RenderTest, AStretchedImageIsCentredOnTheAmbientColour) {
  const uint32_t A = 0x102030, B = 0x405060, C = 0x708090, D = 0xA0B0C0, E = 0x010203,
                 F = 0x040506, G = 0x070809, H = 0x0A0B0C, Z = 0x0000FF;
  const std::string in = Bmp({{A, B, C, D}, {E, F, G, H}});
  const std::string out = dir_.File("out.bmp");
  // 4 x 2 stretched into 10 x 4 keeps its aspect: 8 x 4 at x = 1, each pixel doubled.
  ASSERT_EQ(Render(in + " " + out + " --size 10x4 --halign 1 --ambient 0000FF"), 0);
  const std::vector<uint32_t> top{Z, A, A, B, B, C, C, D, D, Z}, bottom{Z, E, E, F, F, G, G, H, H, Z};
  EXPECT_EQ(ReadRender(out), (std::vector<std::vector<uint32_t>>{top, top, bottom, bottom}));

  // Not stretched, it keeps its size at the bottom right of a white window.
  ASSERT_EQ(Render(in + " " + out + " --size 7x3 --no-stretch --halign 2 --valign 2"), 0);
  const uint32_t W = 0xFFFFFF;
  EXPECT_EQ(ReadRender(out), (std::vector<std::vector<uint32_t>>{
                                 {W, W, W, W, W, W, W}, {W, W, W, A, B, C, D}, {W, W, W, E, F, G, H}}));
}

TEST_F(RenderTest, AShrunkImageIsAveraged) {
  const std::string in = Bmp({{0x000000, 0x646464, 0x101010, 0x101010},
                              {0xC8C8C8, 0x0A0A0A, 0x101010, 0x303030},
                              {0xFF0000, 0xFF0000, 0x00FF00, 0x0000FF},
                              {0xFF0000, 0xFF0000, 0x0000FF, 0x00FF00}});
  const std::string out = dir_.File("small.bmp");
  ASSERT_EQ(Render(in + " " + out + " --size 2x2"), 0);
  EXPECT_EQ(ReadRender(out), (std::vector<std::vector<uint32_t>>{
                                 {0x4E4E4E, 0x181818},  // 77.5 rounds up; (16*3 + 48) / 4 = 24
                                 {0xFF0000, 0x008080}}));  // 127.5 rounds up
}

TEST_F(RenderTest, EveryReaderAndWriterTakesPart) {
  // A TGA file (uncompressed, 24 bits, rows from the bottom) in, a TGA file out: exact.
  ByteWriter tga;
  tga.U8(0).U8(0).U8(2).Fill(5, 0).U16(0).U16(0).U16(2).U16(2).U8(24).U8(0);
  tga.U8(0x30).U8(0x20).U8(0x10).U8(0x60).U8(0x50).U8(0x40);  // bottom row
  tga.U8(0x90).U8(0x80).U8(0x70).U8(0xC0).U8(0xB0).U8(0xA0);  // top row
  const std::string in = dir_.File("in.tga");
  WriteFile(in, tga.Take());
  const std::string out = dir_.File("out.tga");
  // 2 x 2 fits 8 x 4 as 4 x 4, at the right.
  ASSERT_EQ(Render(in + " " + out + " --size 8x4 --halign 2 --ambient 000000"), 0);
  const uint32_t K = 0;
  const std::vector<uint32_t> top{K, K, K, K, 0x708090, 0x708090, 0xA0B0C0, 0xA0B0C0};
  const std::vector<uint32_t> bottom{K, K, K, K, 0x102030, 0x102030, 0x405060, 0x405060};
  EXPECT_EQ(ReadRender(out), (std::vector<std::vector<uint32_t>>{top, top, bottom, bottom}));

  // A flat JPEG in, a JPEG out: the colour survives both lossy steps within a few levels.
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string jpeg = dir_.File("flat.jpg");
  ASSERT_TRUE(RunCommand("convert -size 32x16 xc:#3366CC -quality 95 " + jpeg));
  const std::string jpegOut = dir_.File("out.jpg");
  ASSERT_EQ(Render(jpeg + " " + jpegOut + " --size 16x8"), 0);
  const auto rows = ReadRender(jpegOut);
  ASSERT_EQ(rows.size(), 8u);
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 16u);
    for (uint32_t p : row) {
      EXPECT_NEAR(static_cast<int>(p >> 16), 0x33, 3);
      EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 0x66, 3);
      EXPECT_NEAR(static_cast<int>(p & 0xFF), 0xCC, 3);
    }
  }
}

TEST_F(RenderTest, ExitCodes) {
  const std::string in = Bmp({{1, 2}});
  EXPECT_EQ(Render(dir_.File("missing.bmp") + " " + dir_.File("o.bmp") + " --size 4x4"), 1);
  EXPECT_EQ(Render(in + " " + dir_.File("o.png") + " --size 4x4"), 3);
  EXPECT_EQ(Render(in + " " + dir_.File("o") + " --size 4x4"), 3);
  for (const char* bad : {"", " --size 0x4", " --size 4", " --size 4x4x4", " --size -4x4",
                          " --size 4x4 --stretch --no-stretch", " --size 4x4 --ambient red",
                          " --size 4x4 --halign x"}) {
    EXPECT_EQ(Render(in + " " + dir_.File("o.bmp") + bad), 2) << bad;
  }
  EXPECT_EQ(Render(in + " " + dir_.File("o.bmp") + " --size 4x4 --halign 2 --valign 1 --frame 0"), 0);
}

}  // namespace
}  // namespace pelmor::test
