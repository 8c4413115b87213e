#include "model/image_doc.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/bmp_fixtures.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

class ImageDocTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    std::string p = dir_.File(name);
    WriteFile(p, bytes);
    return p;
  }
  static Bytes Palette8() {
    BmpRecipe s;
    s.width = 3;
    s.height = 2;
    s.bitCount = 8;
    s.clrUsed = 3;
    s.table = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
    s.pixels = {0, 1, 2, 0, 2, 1, 0, 0};
    return MakeBmp(s);
  }

  TempDir dir_;
  CImageDoc doc_;
};

TEST_F(ImageDocTest, StartsEmptyWithItsDefaults) {
  EXPECT_EQ(doc_.currentImage, -1);
  EXPECT_EQ(doc_.imageCount, 0);
  EXPECT_EQ(doc_.backColor, 0xFFFFFFu);
  EXPECT_FLOAT_EQ(doc_.compressionRatio, 0.9f);
  EXPECT_TRUE(doc_.halftoneStretch);
  EXPECT_EQ(doc_.currentCodec, nullptr);
  EXPECT_EQ(doc_.block.Data(), nullptr);
  EXPECT_EQ(doc_.ColorCount(), 0);
}

TEST_F(ImageDocTest, PaletteIsBuiltFromTheColourTableInRgbOrder) {
  ASSERT_TRUE(doc_.Open(Write("p.bmp", Palette8()).c_str(), 0));
  ASSERT_NE(doc_.palette, nullptr);
  EXPECT_EQ(doc_.palette->version, 0x300);
  ASSERT_EQ(doc_.palette->entries.size(), 3u);
  EXPECT_EQ(doc_.palette->entries[1].peRed, 60);
  EXPECT_EQ(doc_.palette->entries[1].peGreen, 50);
  EXPECT_EQ(doc_.palette->entries[1].peBlue, 40);
  EXPECT_EQ(doc_.palette->entries[1].peFlags, 0);
  EXPECT_EQ(doc_.imageCount, 1);
  EXPECT_EQ(doc_.currentImage, 0);

  // A true-colour image has no palette, and opening it drops the old one.
  ASSERT_TRUE(doc_.Open(Write("t.bmp", MakeBmp(BmpRecipe{})).c_str(), 0));
  EXPECT_EQ(doc_.palette, nullptr);
}

TEST_F(ImageDocTest, NavigationOnASingleImage) {
  ASSERT_TRUE(doc_.Open(Write("p.bmp", Palette8()).c_str(), 0));
  uint8_t* bits = doc_.bits;
  EXPECT_FALSE(doc_.NextImage());  // already the last image
  EXPECT_EQ(doc_.bits, bits);
  EXPECT_FALSE(doc_.ShowImage(1));  // = imageCount: refused before the codec
  EXPECT_EQ(doc_.bits, bits);
  EXPECT_TRUE(doc_.ShowImage(0));
  EXPECT_EQ(doc_.bits, bits);

  // A negative index passes the document's test; the codec refuses it and the document empties.
  EXPECT_FALSE(doc_.ShowImage(-1));
  EXPECT_EQ(doc_.bits, nullptr);
  EXPECT_EQ(doc_.header, nullptr);
  EXPECT_EQ(doc_.imageCount, 0);
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kBmp));
  // Every later navigation fails on the image count until the next open.
  EXPECT_FALSE(doc_.ShowImage(0));
  EXPECT_FALSE(doc_.NextImage());
}

TEST_F(ImageDocTest, FailedOpenLeavesTheDocumentEmptyWithTheName) {
  ASSERT_TRUE(doc_.Open(Write("p.bmp", Palette8()).c_str(), 0));
  const std::string bad = Write("bad.bmp", Bytes{'B', 'M', 1, 2, 3});
  EXPECT_FALSE(doc_.Open(bad.c_str(), 0));
  EXPECT_EQ(doc_.fileName, bad);
  EXPECT_EQ(doc_.currentCodec, nullptr);
  EXPECT_EQ(doc_.block.Data(), nullptr);
  EXPECT_EQ(doc_.palette, nullptr);
  EXPECT_EQ(doc_.width, 0);
  EXPECT_EQ(doc_.currentImage, 0);
  EXPECT_FALSE(doc_.Open((dir_.Path() / "missing.bmp").c_str(), 0));
  EXPECT_FALSE(doc_.Open(nullptr, 0));
}

TEST_F(ImageDocTest, ANameWithoutADotNeverOpens) {
  const std::string p = Write("picture", MakeBmp(BmpRecipe{}));
  EXPECT_FALSE(doc_.Open(p.c_str(), 0));
  // Any extension at all lets the readers try their luck.
  EXPECT_TRUE(doc_.Open(Write("picture.txt", MakeBmp(BmpRecipe{})).c_str(), 0));
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kBmp));
}

TEST_F(ImageDocTest, ClearKeepsSettingsAndTheCodec) {
  doc_.backColor = 0x123456;
  doc_.compressionRatio = 0.5f;
  const std::string p = Write("p.bmp", Palette8());
  ASSERT_TRUE(doc_.Open(p.c_str(), 0));
  doc_.documentName = "name";
  doc_.Clear();
  EXPECT_EQ(doc_.bits, nullptr);
  EXPECT_EQ(doc_.palette, nullptr);
  EXPECT_FALSE(doc_.documentName.has_value());
  EXPECT_EQ(doc_.imageCount, 0);
  EXPECT_EQ(doc_.fileName, p);
  EXPECT_EQ(doc_.backColor, 0x123456u);
  EXPECT_FLOAT_EQ(doc_.compressionRatio, 0.5f);
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kBmp));
}

TEST_F(ImageDocTest, SaveChoosesTheWriterByTheTargetNameOnly) {
  const std::string none = dir_.File("none.bmp");
  EXPECT_FALSE(doc_.Save(none.c_str()));  // nothing open
  EXPECT_FALSE(std::filesystem::exists(none));

  ASSERT_TRUE(doc_.Open(Write("p.bmp", Palette8()).c_str(), 0));
  EXPECT_TRUE(doc_.Save(dir_.File("out.Bmp").c_str()));
  EXPECT_EQ(ReadFile(dir_.File("out.Bmp"))[0], 'B');
  for (const char* name : {"out.bmpx", "out.gif", "out.png", "out.tif", "out", "out.bm"}) {
    EXPECT_FALSE(doc_.Save(dir_.File(name).c_str())) << name;
    EXPECT_FALSE(std::filesystem::exists(dir_.File(name))) << name;
  }
  EXPECT_FALSE(doc_.Save(dir_.File("no-such-folder/out.bmp").c_str()));
}

TEST_F(ImageDocTest, BuildPaletteKeepsTheOldPaletteWhenTheCountIsInvalid) {
  ASSERT_TRUE(doc_.Open(Write("p.bmp", Palette8()).c_str(), 0));
  platform::HPALETTE before = doc_.palette;
  doc_.header->biClrUsed = 0;
  doc_.header->biBitCount = 2;
  EXPECT_FALSE(doc_.BuildPalette());
  EXPECT_EQ(doc_.palette, before);
  doc_.header->biBitCount = 24;
  EXPECT_TRUE(doc_.BuildPalette());
  EXPECT_EQ(doc_.palette, nullptr);
}

TEST_F(ImageDocTest, CreateDibLaysOutHeaderTableAndRows) {
  ASSERT_TRUE(doc_.CreateDib(5, 3, 8, 256));
  EXPECT_EQ(doc_.width, 5);
  EXPECT_EQ(doc_.height, 3);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(doc_.header), doc_.block.Data());
  EXPECT_EQ(doc_.bits, doc_.block.Data() + 40 + 1024);
  EXPECT_EQ(+doc_.header->biSizeImage, 24u);
  EXPECT_EQ(doc_.block.Size(), 40u + 1024u + 24u);
  EXPECT_EQ(+doc_.header->biClrUsed, 0u);
  uint8_t* old = doc_.block.Data();
  // Refused sizes leave the image alone.
  EXPECT_FALSE(doc_.CreateDib(0, 3, 8, 0));
  EXPECT_FALSE(doc_.CreateDib(65535, 65535, 32, 0));
  EXPECT_FALSE(doc_.CreateDib(INT32_MAX, 1, 32, 0));
  EXPECT_EQ(doc_.block.Data(), old);
}

}  // namespace
}  // namespace pelmor::test
