// The TIFF reader against files written by independent encoders (ImageMagick and the libtiff
// tools) from the same source pictures, compared with what ImageMagick itself reads from them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "codecs/tiff_codec.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

class TiffEncodersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("convert") || !HaveProgram("tiffcp")) GTEST_SKIP() << "no ImageMagick or tiffcp";
    // A colour picture of odd width, and a bilevel one with white as 0 as fax pages have it.
    ASSERT_TRUE(Run("convert rose: -resize 151x97! " + F("src.ppm")));
    ASSERT_TRUE(Run("convert rose: -resize 333x211! -colorspace gray -threshold 50% -type bilevel -depth 1 "
                    "-define quantum:polarity=min-is-white -compress none " + F("bw.tif")));
  }

  bool Run(const std::string& command) { return RunCommand(command); }
  std::string F(const std::string& name) const { return "'" + dir_.File(name) + "'"; }

  // What ImageMagick reads from a page, as blue, green, red rows.
  Bytes Reference(const std::string& name, int page = 0) {
    const std::string raw = dir_.File("reference.rgb");
    if (!Run("convert '" + dir_.File(name) + "[" + std::to_string(page) + "]' -depth 8 rgb:'" + raw +
             "'")) {
      return {};
    }
    Bytes rgb = ReadFile(raw);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
    return rgb;
  }

  // Opens page `page` of a file made by the command and compares it with ImageMagick's reading,
  // after `adjust` has been applied to each reference byte.
  void Check(const std::string& name, const std::string& command, int page = 0,
             int tolerance = 0, const std::function<uint8_t(uint8_t)>& adjust = nullptr) {
    SCOPED_TRACE(name);
    if (!command.empty()) {
      ASSERT_TRUE(Run(command)) << command;
    }
    const std::string path = dir_.File(name);
    ASSERT_TRUE(doc_.Open(path.c_str(), page));
    const Rgb ours = DocumentPixels(doc_);
    Bytes want = Reference(name, page);
    ASSERT_EQ(want.size(), ours.bgr.size());
    if (adjust) {
      for (uint8_t& v : want) v = adjust(v);
    }
    int worst = 0;
    for (size_t i = 0; i < want.size(); ++i) worst = std::max(worst, std::abs(want[i] - ours.bgr[i]));
    EXPECT_LE(worst, tolerance);
  }

  TempDir dir_;
  CImageDoc doc_;
};

TEST_F(TiffEncodersTest, ColourPages) {
  Check("rgb.tif", "convert " + F("src.ppm") + " -compress none " + F("rgb.tif"));
  Check("rgb-be-lzw.tif", "convert " + F("src.ppm") + " -endian MSB -compress lzw " + F("rgb-be-lzw.tif"));
  Check("rgb-lzw2.tif", "tiffcp -c lzw:2 -r 9 " + F("rgb.tif") + " " + F("rgb-lzw2.tif"));
  Check("rgb-packbits.tif", "tiffcp -c packbits -r 5 " + F("rgb.tif") + " " + F("rgb-packbits.tif"));
  Check("rgb-strips.tif", "tiffcp -c none -r 4 " + F("rgb.tif") + " " + F("rgb-strips.tif"));
  Check("rgba.tif", "convert " + F("src.ppm") + " -alpha set -channel A -evaluate set 40% +channel "
                    "-compress lzw " + F("rgba.tif"));
  Check("rgba-lzw2.tif", "tiffcp -c lzw:2 " + F("rgba.tif") + " " + F("rgba-lzw2.tif"));
  Check("rgb48.tif", "convert " + F("src.ppm") + " -depth 16 -compress none " + F("rgb48.tif"));
  Check("rgb48-be.tif", "convert " + F("src.ppm") + " -depth 16 -endian MSB -compress none " +
                            F("rgb48-be.tif"));
  Check("rgb48-lzw.tif", "tiffcp -c lzw " + F("rgb48-be.tif") + " " + F("rgb48-lzw.tif"));
  // CMYK to RGB is rounded differently by ImageMagick.
  Check("cmyk.tif", "convert " + F("src.ppm") + " -colorspace cmyk -compress lzw " + F("cmyk.tif"), 0, 1);
  Check("cmyk-lzw2.tif", "tiffcp -c lzw:2 " + F("cmyk.tif") + " " + F("cmyk-lzw2.tif"), 0, 1);
}

TEST_F(TiffEncodersTest, GreyAndPalettePages) {
  Check("grey.tif", "convert " + F("src.ppm") + " -colorspace gray -compress none " + F("grey.tif"));
  Check("grey-lzw2.tif", "tiffcp -c lzw:2 -r 3 " + F("grey.tif") + " " + F("grey-lzw2.tif"));
  Check("grey-packbits.tif", "tiffcp -c packbits " + F("grey.tif") + " " + F("grey-packbits.tif"));
  Check("grey-miw.tif", "convert " + F("src.ppm") + " -colorspace gray -compress lzw "
                        "-define quantum:polarity=min-is-white " + F("grey-miw.tif"));
  // Four-bit grey levels are 16 apart with white at 255 here, 17 apart in ImageMagick.
  auto fourBit = [](uint8_t v) { return static_cast<uint8_t>(v == 255 ? 255 : v / 17 * 16); };
  Check("grey4.tif", "convert " + F("src.ppm") + " -colorspace gray -depth 4 -compress none " +
                         F("grey4.tif"), 0, 0, fourBit);

  // Palettes of 8, 4 and 2 bits from pictures that already have that few colours, so that the
  // 16-bit colour map holds the 8-bit colours exactly.
  for (int bits : {8, 4, 2}) {
    const std::string png = "p" + std::to_string(bits) + ".png";
    const std::string tif = "palette" + std::to_string(bits) + ".tif";
    ASSERT_TRUE(Run("convert " + F("src.ppm") + " -colors " + std::to_string(1 << bits) + " PNG8:" + F(png)));
    Check(tif, "convert " + F(png) + " -type palette -depth " + std::to_string(bits) +
                   " -compress lzw " + F(tif));
  }
  Check("palette-packbits.tif", "tiffcp -c packbits " + F("palette8.tif") + " " + F("palette-packbits.tif"));
}

TEST_F(TiffEncodersTest, BilevelPagesInEveryCompression) {
  for (const char* c : {"none", "lzw", "packbits", "g3", "g3:2d", "g3:fill", "g4"}) {
    const std::string name = std::string("bw-") + c + ".tif";
    Check(name, std::string("tiffcp -c ") + c + " -r 16 " + F("bw.tif") + " " + F(name));
  }
  // One strip for the whole page, and the other fill order.
  Check("bw-g4-one.tif", "tiffcp -c g4 -r 1000 " + F("bw.tif") + " " + F("bw-g4-one.tif"));
  Check("bw-g4-lsb.tif", "tiffcp -c g4 -f lsb2msb " + F("bw.tif") + " " + F("bw-g4-lsb.tif"));
  Check("bw-g3-lsb.tif", "tiffcp -c g3:2d -f lsb2msb " + F("bw.tif") + " " + F("bw-g3-lsb.tif"));
  // Two-dimensional lines with fill: libtiff aligns the EOL alone, which the reader expects of
  // pages that carry the fax tags.
  if (HaveProgram("tiffset")) {
    Check("bw-g3-2d-fill.tif", "tiffcp -c g3:2d:fill " + F("bw.tif") + " " + F("bw-g3-2d-fill.tif") +
                                   " && tiffset -s 327 0 " + F("bw-g3-2d-fill.tif"));
  }
  // With black as 0 the fax codes still mean white and black: the picture ImageMagick shows
  // inverted is shown the right way round.
  ASSERT_TRUE(Run("convert " + F("bw.tif") + " -define quantum:polarity=min-is-black -compress none " +
                  F("bw-mib.tif")));
  Check("bw-mib-g4.tif", "tiffcp -c g4 " + F("bw-mib.tif") + " " + F("bw-mib-g4.tif"), 0, 0,
        [](uint8_t v) { return static_cast<uint8_t>(255 - v); });
  Check("bw-mib-lzw.tif", "tiffcp -c lzw " + F("bw-mib.tif") + " " + F("bw-mib-lzw.tif"));
}

TEST_F(TiffEncodersTest, FaxPagesWithRunsOfEveryLength) {
  // Random runs up to 3000 pixels, so that long make-up codes of both colours appear.
  const int width = 3001, height = 48;
  std::mt19937 rng(11);
  const size_t rowBytes = (width + 7) / 8;
  Bytes pbm;
  const std::string header = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
  pbm.insert(pbm.end(), header.begin(), header.end());
  for (int y = 0; y < height; ++y) {
    Bytes row(rowBytes, 0);
    int x = 0;
    bool black = false;
    while (x < width) {
      const int run = rng() % 4 == 0 ? static_cast<int>(rng() % 3000) : static_cast<int>(rng() % 70);
      for (int i = 0; i < run && x < width; ++i, ++x) {
        if (black) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      black = !black;
    }
    pbm.insert(pbm.end(), row.begin(), row.end());
  }
  WriteFile(dir_.File("runs.pbm"), pbm);
  ASSERT_TRUE(Run("convert " + F("runs.pbm") + " -define quantum:polarity=min-is-white -compress none " +
                  F("runs.tif")));
  for (const char* c : {"g3", "g3:2d", "g3:fill", "g4"}) {
    const std::string name = std::string("runs-") + c + ".tif";
    Check(name, std::string("tiffcp -c ") + c + " -r 7 " + F("runs.tif") + " " + F(name));
  }
}

TEST_F(TiffEncodersTest, PagesOfOneFileMixCompressions) {
  ASSERT_TRUE(Run("convert " + F("src.ppm") + " -compress lzw -define tiff:predictor=2 " + F("a.tif")));
  ASSERT_TRUE(Run("tiffcp -c g4 " + F("bw.tif") + " " + F("b.tif")));
  ASSERT_TRUE(Run("convert " + F("src.ppm") + " -colorspace cmyk -compress none " + F("c.tif")));
  ASSERT_TRUE(Run("convert " + F("src.ppm") + " -colorspace gray -compress rle " + F("d.tif")));
  ASSERT_TRUE(Run("tiffcp " + F("a.tif") + " " + F("b.tif") + " " + F("c.tif") + " " + F("d.tif") +
                  " " + F("pages.tif")));
  for (int page = 0; page < 4; ++page) Check("pages.tif", "", page, page == 2 ? 1 : 0);
  EXPECT_EQ(doc_.imageCount, 4);
  EXPECT_EQ(doc_.currentImage, 3);
  // Stepping through the pages gives the same images as opening each.
  ASSERT_TRUE(doc_.Open(dir_.File("pages.tif").c_str(), 0));
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(+doc_.header->biBitCount, 1);
  EXPECT_EQ(DocumentPixels(doc_).bgr, Reference("pages.tif", 1));
}

}  // namespace
}  // namespace pelmor::test
