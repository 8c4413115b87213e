#include "codecs/gif_codec.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/gif_fixtures.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
constexpr uint32_t kBack = 0x336699;  // the document's background, as 0xRRGGBB

class GifCodecTest : public ::testing::Test {
 protected:
  GifCodecTest() { doc_.backColor = 0x996633; }  // colour reference 0x00BBGGRR of kBack

  bool Open(const Bytes& file, int index = 0, const std::string& name = "image.gif") {
    path_ = dir_.File(name);
    WriteFile(path_, file);
    return doc_.Open(path_.c_str(), index);
  }
  // Pixel (x, y) of the canvas, top-down, as 0xRRGGBB.
  uint32_t At(int x, int y) const {
    const Rgb p = DocumentPixels(doc_);
    const size_t i = (size_t(y) * p.width + x) * 3;
    return uint32_t(p.bgr[i + 2]) << 16 | uint32_t(p.bgr[i + 1]) << 8 | p.bgr[i];
  }
  // The whole canvas row by row, as 0xRRGGBB.
  std::vector<uint32_t> Canvas() const {
    std::vector<uint32_t> out;
    for (int y = 0; y < doc_.height; ++y) {
      for (int x = 0; x < doc_.width; ++x) out.push_back(At(x, y));
    }
    return out;
  }

  TempDir dir_;
  std::string path_;
  CImageDoc doc_;
};

// A 4-entry table: red, green, blue, white.
const Bytes kTable = GifTable({kRed, kGreen, kBlue, kWhite});

TEST_F(GifCodecTest, FrameIsPlacedOnABackgroundFilledScreen) {
  Bytes indices;
  for (int i = 0; i < 16; ++i) indices.push_back(uint8_t(i % 3));
  ASSERT_TRUE(Open(GifBuilder(10, 10, kTable).Frame(3, 3, 4, 4, indices).Trailer().Take()));
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kGif));
  EXPECT_EQ(doc_.width, 10);
  EXPECT_EQ(doc_.height, 10);
  EXPECT_EQ(+doc_.header->biBitCount, 32);
  EXPECT_EQ(+doc_.header->biSizeImage, 400u);
  EXPECT_EQ(doc_.imageCount, 1);
  EXPECT_EQ(doc_.currentImage, 0);
  EXPECT_EQ(doc_.palette, nullptr);
  const uint32_t colours[] = {kRed, kGreen, kBlue};
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 3 && x < 7 && y >= 3 && y < 7;
      const uint32_t want = inside ? colours[((y - 3) * 4 + (x - 3)) % 3] : kBack;
      ASSERT_EQ(At(x, y), want) << x << "," << y;
    }
  }
  // The fourth byte of every pixel is 0.
  EXPECT_EQ(doc_.bits[3], 0);
}

TEST_F(GifCodecTest, TransparencyAndDelayCarryOverToFramesWithoutTheirOwnControl) {
  GifBuilder gif(2, 2, kTable);
  gif.Control(0, -1, 7).Frame(0, 0, 2, 2, {0, 0, 0, 0});
  gif.Control(0, 1, 12).Frame(0, 0, 2, 2, {2, 1, 1, 2});
  gif.Frame(0, 0, 2, 2, {1, 3, 1, 1});  // no control of its own: index 1 is still transparent
  ASSERT_TRUE(Open(gif.Trailer().Take()));
  EXPECT_EQ(doc_.delayTime, 70);
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kBlue, kRed, kRed, kBlue}));
  EXPECT_EQ(doc_.delayTime, 120);
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kBlue, kWhite, kRed, kBlue}));
  EXPECT_EQ(doc_.delayTime, 120);
  EXPECT_FALSE(doc_.NextImage());  // the last frame: nothing changes
  EXPECT_EQ(doc_.currentImage, 2);
}

TEST_F(GifCodecTest, DisposalRestoresTheBackgroundOrWhatWasUnderneath) {
  GifBuilder gif(3, 1, kTable);
  gif.Frame(0, 0, 3, 1, {0, 0, 0});
  gif.Control(2).Frame(0, 0, 2, 1, {1, 1});    // to be cleared to the background
  gif.Control(0).Frame(2, 0, 1, 1, {2});
  gif.Control(3).Frame(1, 0, 2, 1, {3, 3});    // to be undone
  gif.Control(0).Frame(0, 0, 1, 1, {2});
  ASSERT_TRUE(Open(gif.Trailer().Take(), 1));
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kGreen, kGreen, kRed}));
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kBack, kBack, kBlue}));
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kBack, kWhite, kWhite}));
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kBlue, kBack, kBlue}));
}

TEST_F(GifCodecTest, InterlacedRowsArriveInPassOrderAndSurplusLinesAreIgnored) {
  EXPECT_EQ(InterlacedRows(5), (std::vector<int>{0, 4, 2, 1, 3}));
  const Bytes table = GifTable({0x000000, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555,
                                0x666666, 0x777777});
  // Rows stored in the order 0, 4, 2, 1, 3, each filled with its own number, then two more
  // lines that belong to no row.
  Bytes stored;
  for (int y : InterlacedRows(5)) stored.insert(stored.end(), 2, uint8_t(y));
  stored.insert(stored.end(), 4, 7);
  ASSERT_TRUE(Open(GifBuilder(2, 5, table).Frame(0, 0, 2, 5, stored, {}, true, 3).Trailer().Take()));
  for (int y = 0; y < 5; ++y) EXPECT_EQ(At(1, y), 0x111111u * y) << y;
}

TEST_F(GifCodecTest, GraphicControlOfAnyOtherLengthFailsTheFrame) {
  for (int length : {0, 3, 5}) {
    GifBuilder gif(1, 1, kTable);
    gif.Control(0, -1, 0, length).Frame(0, 0, 1, 1, {1}).Trailer();
    Bytes file = gif.Take();
    if (length < 4) {  // the builder always writes four bytes; keep the file well framed
      file.erase(file.begin() + 13 + 12 + 3 + length, file.begin() + 13 + 12 + 3 + 4);
    }
    EXPECT_FALSE(Open(file)) << length;
    EXPECT_EQ(doc_.block.Data(), nullptr);
  }
}

TEST_F(GifCodecTest, LoadDecodesUpToTheIndexAndGoingBackStartsOver) {
  GifBuilder gif(1, 1, kTable);
  for (int i = 0; i < 6; ++i) gif.Frame(0, 0, 1, 1, {uint8_t(i % 4)});
  const Bytes six = gif.Trailer().Take();
  ASSERT_TRUE(Open(six, 2));
  EXPECT_EQ(doc_.currentImage, 2);
  EXPECT_EQ(doc_.imageCount, 6);
  EXPECT_EQ(At(0, 0), kBlue);
  ASSERT_TRUE(doc_.ShowImage(5));
  EXPECT_EQ(At(0, 0), kGreen);
  ASSERT_TRUE(doc_.ShowImage(2));
  EXPECT_EQ(doc_.currentImage, 2);
  EXPECT_EQ(At(0, 0), kBlue);
  ASSERT_TRUE(doc_.ShowImage(2));
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(At(0, 0), kWhite);

  GifBuilder three(1, 1, kTable);
  for (int i = 0; i < 3; ++i) three.Frame(0, 0, 1, 1, {uint8_t(i)});
  const Bytes file = three.Trailer().Take();
  ASSERT_TRUE(Open(file, 2, "three.gif"));
  EXPECT_EQ(doc_.currentImage, 2);
  EXPECT_EQ(At(0, 0), kBlue);
  EXPECT_FALSE(Open(file, 3, "three.gif"));  // the trailer comes first
  EXPECT_EQ(doc_.block.Data(), nullptr);
}

TEST_F(GifCodecTest, FramesAreClippedToTheScreen) {
  GifBuilder gif(3, 3, kTable);
  gif.Frame(0, 0, 3, 3, Bytes(9, 0));
  gif.Control(3).Frame(1, 2, 4, 2, {1, 2, 2, 2, 3, 3, 3, 3});  // overhangs right and bottom
  gif.Control(0).Frame(40, 40, 2, 2, {1, 1, 1, 1});           // entirely off the screen
  ASSERT_TRUE(Open(gif.Trailer().Take(), 1));
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kRed, kRed, kRed, kRed, kRed, kRed, kRed, kGreen,
                                              kBlue}));
  ASSERT_TRUE(doc_.NextImage());  // the clipped part is undone, nothing else drawn
  EXPECT_EQ(Canvas(), std::vector<uint32_t>(9, kRed));
}

TEST_F(GifCodecTest, HeaderChecks) {
  GifBuilder odd(1, 1, kTable, "12z");
  EXPECT_TRUE(Open(odd.Frame(0, 0, 1, 1, {2}).Trailer().Take()));
  Bytes notGif = GifBuilder(1, 1, kTable).Frame(0, 0, 1, 1, {2}).Trailer().Take();
  notGif[0] = 'g';
  EXPECT_FALSE(Open(notGif));
  // No frame at all.
  EXPECT_FALSE(Open(GifBuilder(1, 1, kTable).Trailer().Take()));
  // A screen whose 32-bit canvas would need 16 GiB is refused, not attempted.
  EXPECT_FALSE(Open(GifBuilder(65535, 65535, kTable).Frame(0, 0, 1, 1, {2}).Trailer().Take()));
  EXPECT_EQ(doc_.block.Data(), nullptr);
  // An LZW code size outside 2 ... 9 fails the frame.
  EXPECT_FALSE(Open(GifBuilder(1, 1, kTable).RawFrame(0, 0, 1, 1, 12, {0x00}).Trailer().Take()));
}

TEST_F(GifCodecTest, FoundUnderAnotherExtensionAndSavedAsBitmap) {
  ASSERT_TRUE(Open(GifBuilder(2, 1, kTable).Frame(0, 0, 2, 1, {1, 2}).Trailer().Take(), 0,
                   "picture.bmp"));
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kGif));
  const std::string out = dir_.File("out.bmp");
  ASSERT_TRUE(doc_.Save(out.c_str()));
  EXPECT_FALSE(doc_.Save(dir_.File("out.gif").c_str()));
  CImageDoc again;
  ASSERT_TRUE(again.Open(out.c_str(), 0));
  EXPECT_EQ(DocumentPixels(again), DocumentPixels(doc_));
}

TEST_F(GifCodecTest, ATruncatedFileShowsWhatItHas) {
  GifBuilder gif(4, 4, kTable);
  gif.Frame(0, 0, 4, 4, Bytes(16, 0));
  // Enough data for several sub-blocks: a 4 x 200 strip drawn over the screen's left edge.
  Bytes strip(800);
  for (size_t i = 0; i < strip.size(); ++i) strip[i] = uint8_t(1 + (i / 4) % 2);
  gif.Frame(0, 0, 4, 200, strip);
  Bytes file = gif.Trailer().Take();
  // Cut inside the second frame's first data sub-block, 30 bytes in.
  const size_t secondFrame = 13 + 12 + 3 + 10 + GifLzw(Bytes(16, 0), 2).size() + 2;
  file.resize(secondFrame + 10 + 1 + 30);
  ASSERT_TRUE(Open(file));
  EXPECT_EQ(doc_.imageCount, 2);
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(At(0, 0), kGreen);
  EXPECT_EQ(At(3, 1), kBlue);
  EXPECT_EQ(At(3, 3), kBlue);
}

TEST_F(GifCodecTest, FrameWithoutWidthOrHeightCountsAndDrawsNothing) {
  GifBuilder gif(2, 1, kTable);
  gif.Frame(0, 0, 2, 1, {0, 0});
  // Its data would not even decode (code size 0); it is skipped. Its disposal still applies.
  gif.Control(2).RawFrame(0, 0, 0, 1, 0, {0xFF, 0xFF});
  gif.Control(0).Frame(1, 0, 1, 1, {2});
  // An interlaced frame without rows but with lines of data.
  gif.Frame(0, 0, 2, 0, {1, 1, 1, 1}, {}, true);
  ASSERT_TRUE(Open(gif.Trailer().Take()));
  EXPECT_EQ(doc_.imageCount, 4);
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kRed, kRed}));
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kRed, kBlue}));
  ASSERT_TRUE(doc_.NextImage());
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kRed, kBlue}));
}

TEST_F(GifCodecTest, IndicesBeyondTheTableAreWhiteWithTransparencyElseBlack) {
  // With a transparent index the entries past the table are white...
  const Bytes two = GifTable({kRed, kGreen});
  ASSERT_TRUE(Open(GifBuilder(2, 1, two).Control(0, 0).Frame(0, 0, 2, 1, {3, 0}).Trailer().Take()));
  EXPECT_EQ(Canvas(), (std::vector<uint32_t>{kWhite, kBack}));
  // ... and without one they are black, whatever an earlier file left in the palette.
  ASSERT_TRUE(Open(GifBuilder(1, 1, two).Frame(0, 0, 1, 1, {3}).Trailer().Take(), 0, "b.gif"));
  EXPECT_EQ(At(0, 0), 0u);
}

TEST_F(GifCodecTest, FramesWithoutAnyTableKeepThePaletteOfTheFrameBefore) {
  GifBuilder gif(1, 1);
  gif.Frame(0, 0, 1, 1, {1}, GifTable({kRed, kBlue}));
  gif.Frame(0, 0, 1, 1, {0});
  ASSERT_TRUE(Open(gif.Trailer().Take(), 1));
  EXPECT_EQ(At(0, 0), kRed);
}

TEST_F(GifCodecTest, ReopeningAPathThatChangedOnDiskShowsTheNewPicture) {
  ASSERT_TRUE(Open(GifBuilder(1, 1, kTable).Frame(0, 0, 1, 1, {0}).Trailer().Take()));
  EXPECT_EQ(At(0, 0), kRed);
  // A different picture under the same name (and of another size).
  ASSERT_TRUE(Open(GifBuilder(1, 1, kTable).Comment("x").Frame(0, 0, 1, 1, {2}).Trailer().Take()));
  EXPECT_EQ(At(0, 0), kBlue);
}

// Pictures made by an independent encoder, compared with that tool's own decoding of them.
class GifCrossCheck : public GifCodecTest {
 protected:
  void SetUp() override {
    if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  }
  // Frame i of the file as the tool composes it over the background colour, as 0xRRGGBB.
  std::vector<uint32_t> ToolFrame(const std::string& gif, int frame) {
    const std::string out = dir_.File("frame.rgb");
    std::filesystem::remove(out);
    if (!RunCommand("convert '" + gif + "' -coalesce -background '#336699' -alpha remove " +
                    "-alpha off -depth 8 'rgb:" + out + "'")) {
      return {};
    }
    const Bytes all = ReadFile(out);
    const size_t frameBytes = size_t(doc_.width) * doc_.height * 3;
    if (all.size() < (frame + 1) * frameBytes) return {};
    return FromRgb(Bytes(all.begin() + frame * frameBytes, all.begin() + (frame + 1) * frameBytes));
  }
  static std::vector<uint32_t> FromRgb(const Bytes& rgb) {
    std::vector<uint32_t> px;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
      px.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
    }
    return px;
  }
};

TEST_F(GifCrossCheck, InterlacedPictureMatchesTheEncodersDecoding) {
  const std::string gif = dir_.File("rose.gif");
  ASSERT_TRUE(RunCommand("convert rose: -interlace GIF '" + gif + "'"));
  const std::string rgb = dir_.File("rose.rgb");
  ASSERT_TRUE(RunCommand("convert '" + gif + "' -depth 8 'rgb:" + rgb + "'"));
  ASSERT_TRUE(doc_.Open(gif.c_str(), 0));
  EXPECT_EQ(Canvas(), FromRgb(ReadFile(rgb)));
}

TEST_F(GifCrossCheck, AnimationWithDisposalAndTransparencyMatchesTheEncodersComposition) {
  const std::string gif = dir_.File("anim.gif");
  ASSERT_TRUE(RunCommand(
      "convert -delay 10 -dispose none -size 20x16 gradient:red-yellow "
      "-dispose background -page +2+3 -size 8x6 xc:blue "
      "-dispose previous -page +10+5 \\( -size 7x7 xc:none -fill green -draw 'circle 3,3 3,0' \\) "
      "-dispose none -page +15+12 -size 9x9 xc:white "
      "-dispose none -page +0+0 -size 5x5 xc:black -loop 0 '" + gif + "'"));
  ASSERT_TRUE(doc_.Open(gif.c_str(), 0));
  ASSERT_EQ(doc_.imageCount, 5);
  for (int i = 0; i < doc_.imageCount; ++i) {
    if (i > 0) {
      ASSERT_TRUE(doc_.NextImage());
    }
    EXPECT_EQ(Canvas(), ToolFrame(gif, i)) << "frame " << i;
  }
}

TEST_F(GifCrossCheck, SamplesMatchTheEncodersComposition) {
  int seen = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(PELMOR_SOURCE_DIR) / "samples")) {
    if (entry.path().extension() != ".gif") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string gif = entry.path().string();
    ASSERT_TRUE(doc_.Open(gif.c_str(), 0));
    for (int i = 0; i < doc_.imageCount; ++i) {
      if (i > 0) {
        ASSERT_TRUE(doc_.NextImage());
      }
      EXPECT_EQ(Canvas(), ToolFrame(gif, i)) << "frame " << i;
    }
    ++seen;
  }
  EXPECT_GE(seen, 2);
}

}  // namespace
}  // namespace pelmor::test
