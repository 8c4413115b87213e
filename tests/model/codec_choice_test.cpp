#include <gtest/gtest.h>

#include "model/image_doc.h"

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
