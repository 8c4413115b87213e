// Every input that once hurt a codec, opened again the way a viewer would: the result does not
// matter, only that nothing crashes, hangs or reads out of bounds (the sanitizer build checks).
#include <gtest/gtest.h>

#include <filesystem>

#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

TEST(Regressions, EveryKeptInputOpensHarmlessly) {
  const std::filesystem::path dir = std::filesystem::path(PELMOR_SOURCE_DIR) / "tests" / "regressions";
  TempDir out;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().filename().string());
    CImageDoc doc;
    if (doc.Open(entry.path().c_str(), 0)) {
      EXPECT_GE(doc.imageCount, 1);
      for (int i = 0; i < 2 && doc.currentImage + 1 < doc.imageCount; ++i) doc.NextImage();
      doc.Save(out.File("again.bmp").c_str());
    } else {
      EXPECT_EQ(doc.block.Data(), nullptr);
    }
    ++count;
  }
  // A folder that went missing, or a filter that matches nothing, replays nothing.
  EXPECT_GT(count, 0);
  RecordProperty("files", count);
}

}  // namespace
}  // namespace pelmor::test
