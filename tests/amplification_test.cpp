// Small files that once made a reader take far more memory than the picture they describe: the
// most the document holds while it opens (or steps through, or saves) each of them stays within
// the picture plus a quarter and a small constant, beside what decoding such a file inherently
// needs; and a budget one byte short of that makes the same operation fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>

#include "amplification_fixtures.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

// Work buffers that do not grow with the picture (a GIF line, the TIFF read window, the JPEG
// library's rows).
constexpr uint64_t kSmallConstant = uint64_t{4} << 20;

class AmplificationTest : public ::testing::TestWithParam<Amplifier> {
 protected:
  // Runs the case's operation on a document whose budget is capped at `cap` (0: the default);
  // returns whether it succeeded and the most held at once.
  std::pair<bool, uint64_t> Run(const std::string& path, uint64_t cap) {
    CImageDoc doc;
    if (cap != 0) doc.budget.SetCap(cap);
    const Amplifier& a = GetParam();
    bool ok = doc.Open(path.c_str(), 0);
    uint64_t peak = doc.budget.Peak();
    if (ok && a.action == Amplifier::kOpenAndStepThrough) {
      while (ok && doc.currentImage + 1 < doc.imageCount) {
        ok = doc.NextImage();
        peak = std::max(peak, doc.budget.Peak());
      }
    } else if (ok && a.action == Amplifier::kOpenAndSaveJpeg) {
      ok = doc.Save(dir_.File("out.jpg").c_str());
      peak = std::max(peak, doc.budget.Peak());
    }
    return {ok, peak};
  }

  TempDir dir_;
};

TEST_P(AmplificationTest, HoldsThePictureAndLittleElse) {
  const Amplifier& a = GetParam();
  const Bytes file = a.make(a.testSize);
  if (std::string(a.name) != "tiff-page-chain.tif") {
    EXPECT_LE(file.size(), 4096u);
  }
  const std::string path = dir_.File(a.name);
  WriteFile(path, file);

  const auto [ok, peak] = Run(path, 0);
  EXPECT_EQ(ok, a.opens);
  const uint64_t picture = a.picture(a.testSize);
  EXPECT_LE(peak, picture + picture / 4 + a.inherent(a.testSize) + kSmallConstant)
      << "picture " << picture;

  // One byte short of that, the same operation fails, and nothing more than the cap is held.
  const auto [shortOk, shortPeak] = Run(path, peak - 1);
  EXPECT_FALSE(shortOk);
  EXPECT_LE(shortPeak, peak - 1);
}

INSTANTIATE_TEST_SUITE_P(Generators, AmplificationTest, ::testing::ValuesIn(Amplifiers()),
                         [](const ::testing::TestParamInfo<Amplifier>& info) {
                           std::string name = info.param.name;
                           name = name.substr(0, name.find('.'));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace pelmor::test
