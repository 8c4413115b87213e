#include <gtest/gtest.h>

#include "codecs/codec_table.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor {
namespace {

TEST(CodecChoice, ExtensionsCompareOnlyTheirListedLength) {
  const std::pair<const char*, std::optional<CodecId>> cases[] = {
      {"photo.JPG", CodecId::kJpeg},  {"photo.jpeg", CodecId::kJpeg}, {"photo.Jpe", std::nullopt},
      {"x.bmpx", CodecId::kBmp},      {"x.tiff", CodecId::kTiff},     {"x.TIF", CodecId::kTiff},
      {"a.gif", CodecId::kGif},       {"a.png", CodecId::kPng},       {"a.tga", CodecId::kTga},
      {"a.bm", std::nullopt},         {"noext", std::nullopt},        {"x.txt", std::nullopt},
      {"a.png.gif", CodecId::kGif},   {"trailing.", std::nullopt},
  };
  for (const auto& [name, codec] : cases) EXPECT_EQ(CodecForExtension(name), codec) << name;
}

TEST(CodecChoice, WritersNeedTheWholeExtension) {
  const std::pair<const char*, std::optional<CodecId>> cases[] = {
      {"out.Bmp", CodecId::kBmp}, {"out.JPG", CodecId::kJpeg},   {"out.jpeg", CodecId::kJpeg},
      {"out.tga", CodecId::kTga}, {"out.bmpx", std::nullopt},    {"out.gif", std::nullopt},
      {"out.png", std::nullopt},  {"out.tif", std::nullopt},     {"out", std::nullopt},
  };
  for (const auto& [name, codec] : cases) EXPECT_EQ(WriterForExtension(name), codec) << name;
}

TEST(CodecChoice, NamesOfTheFormats) {
  EXPECT_STREQ(CodecName(CodecId::kJpeg), "jpeg");
  EXPECT_STREQ(CodecName(CodecId::kTiff), "tiff");
}

}  // namespace
}  // namespace pelmor

namespace pelmor::test {
namespace {

// A sample file copied under another name.
std::string CopySample(const TempDir& dir, const char* sample, const char* name) {
  const std::string to = dir.File(name);
  WriteFile(to, ReadFile(std::string(PELMOR_SOURCE_DIR) + "/samples/" + sample));
  return to;
}

TEST(CodecChoice, AFileWhoseExtensionLiesIsFoundByTheFallback) {
  TempDir dir;
  const struct {
    const char* sample;
    const char* name;
    CodecId codec;
  } cases[] = {
      {"rose-interlaced.gif", "image.bmp", CodecId::kGif},  // BMP fails, is not tried again
      {"rose-titled.png", "x.txt", CodecId::kPng},          // found at the fifth attempt
      {"rose-24bit.bmp", "photo.JPG", CodecId::kBmp},
      {"rose.jpg", "photo.jpeg", CodecId::kJpeg},
      {"rose-topleft.tga", "picture.gif", CodecId::kTga},
  };
  for (const auto& c : cases) {
    CImageDoc doc;
    ASSERT_TRUE(doc.Open(CopySample(dir, c.sample, c.name).c_str(), 0)) << c.name;
    EXPECT_EQ(doc.CurrentCodecId(), c.codec) << c.name;
  }
  // Without a dot no reader is asked at all.
  CImageDoc doc;
  EXPECT_FALSE(doc.Open(CopySample(dir, "rose-24bit.bmp", "rose").c_str(), 0));
}

}  // namespace
}  // namespace pelmor::test
