#include "codecs/tiff_codec.h"
#include "codecs/tiff_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/tiff_fixtures.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

class TiffCodecTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& file, const std::string& name = "page.tif") {
    const std::string path = dir_.File(name);
    WriteFile(path, file);
    return path;
  }
  bool Open(const Bytes& file, int32_t index = 0) {
    path_ = Write(file);
    return doc_.Open(path_.c_str(), index);
  }
  bool Open(const TiffLayout& layout, int32_t index = 0) { return Open(MakeTiff(layout), index); }
  // Opens a file made of one page with this field added (or replacing the one with its tag).
  bool OpenWith(TiffPage page, const TiffField& field) {
    std::erase_if(page.fields, [&](const TiffField& f) { return f.tag == field.tag; });
    page.fields.push_back(field);
    return Open(TiffFile({page}));
  }

  TempDir dir_;
  std::string path_;
  CImageDoc doc_;
};

// An 8-bit grey page of 4 x 3 with the given first value.
TiffPage GreyPage(uint8_t start = 10, uint32_t width = 4, uint32_t height = 3) {
  return SimplePage(width, height, {8}, 1, Ramp(size_t{width} * height, start));
}

Rgb GreyPixels(uint32_t width, uint32_t height, uint8_t start) {
  Rgb px{static_cast<int>(width), static_cast<int>(height), {}};
  for (uint8_t v : Ramp(size_t{width} * height, start)) px.bgr.insert(px.bgr.end(), {v, v, v});
  return px;
}

TEST_F(TiffCodecTest, BothByteOrdersGiveTheSameImageAndTexts) {
  // Two strips whose SHORT offsets and counts are both held in their entries: in a big-endian
  // file each of the two values must come out in the right order.
  TiffPage page = GreyPage(40, 6, 4);
  page.fields.erase(page.fields.begin() + 5);  // RowsPerStrip 4
  page.fields.push_back(Short(278, {2}));
  page.strips = {Ramp(12, 40), Ramp(12, 52)};
  page.stripOffsetType = 3;
  page.byteCountType = 3;
  page.fields.push_back(Ascii(269, "abc"));
  page.fields.push_back(Ascii(270, "A description longer than four bytes"));
  page.fields.push_back(Ascii(305, "pelmor tests"));
  page.fields.push_back(Ascii(33432, "(c) nobody"));

  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    ASSERT_TRUE(Open(TiffFile({page}, big)));
    EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kTiff));
    EXPECT_EQ(CodecOf<CTiffCodec>(doc_, CodecId::kTiff).littleEndian, !big);
    EXPECT_EQ(DocumentPixels(doc_), GreyPixels(6, 4, 40));
    EXPECT_EQ(doc_.documentName, "abc");
    EXPECT_EQ(doc_.imageDescription, "A description longer than four bytes");
    EXPECT_EQ(doc_.software, "pelmor tests");
    EXPECT_EQ(doc_.imageCopyright, "(c) nobody");
    EXPECT_EQ(doc_.imageCount, 1);
    EXPECT_EQ(doc_.currentImage, 0);
  }
}

TEST_F(TiffCodecTest, NormalizeEntrySwapsEveryNumberTheFieldHolds) {
  TiffEntry twoShorts{0x0301, 0x0300, 0x02000000, {0x00, 0x08, 0x01, 0x02}};
  CTiffCodec::NormalizeEntry(twoShorts, false);
  EXPECT_EQ(twoShorts.tag, 0x0103);
  EXPECT_EQ(twoShorts.type, kTiffShort);
  EXPECT_EQ(twoShorts.count, 2u);
  EXPECT_EQ(twoShorts.value[0], 0x08);
  EXPECT_EQ(twoShorts.value[2], 0x02);
  EXPECT_EQ(twoShorts.Value(), 0x01020008u);  // 8, then 0x0102

  TiffEntry offset{0x0E01, 0x0200, 0x0A000000, {0x00, 0x00, 0x01, 0x02}};  // ASCII, 10 bytes
  CTiffCodec::NormalizeEntry(offset, false);
  EXPECT_EQ(offset.Offset(), 0x0102u);

  TiffEntry text{0x0E01, 0x0200, 0x03000000, {'a', 'b', 0, 0}};  // held in the entry
  CTiffCodec::NormalizeEntry(text, false);
  EXPECT_EQ(text.value[0], 'a');
  EXPECT_EQ(text.value[1], 'b');
}

TEST_F(TiffCodecTest, HeaderChecks) {
  TiffLayout layout = TiffFile({GreyPage()});
  ASSERT_TRUE(Open(layout));

  layout.magic = 43;
  EXPECT_FALSE(Open(layout));
  layout.magic = 42;

  Bytes bad = MakeTiff(layout);
  bad[0] = bad[1] = 'X';
  EXPECT_FALSE(Open(bad));

  layout.firstOffset = 4;
  EXPECT_FALSE(Open(layout));
  layout.firstOffset = static_cast<uint32_t>(MakeTiff(TiffFile({GreyPage()})).size());
  EXPECT_FALSE(Open(layout));
  EXPECT_FALSE(Open(Bytes{'I', 'I', 42, 0}));
}

TEST_F(TiffCodecTest, PagesAreCountedAndReachedByIndex) {
  const TiffLayout layout = TiffFile({GreyPage(10), GreyPage(20, 5, 2), GreyPage(30, 2, 6)});
  ASSERT_TRUE(Open(layout, 2));
  EXPECT_EQ(doc_.imageCount, 3);
  EXPECT_EQ(doc_.currentImage, 2);
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(2, 6, 30));

  EXPECT_TRUE(doc_.ShowImage(1));
  EXPECT_EQ(doc_.currentImage, 1);
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(5, 2, 20));
  EXPECT_TRUE(doc_.NextImage());
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(2, 6, 30));
  EXPECT_FALSE(doc_.NextImage());  // the document knows there is no fourth page

  // The current page again is a no-op: the file is not even read.
  std::filesystem::remove(path_);
  EXPECT_TRUE(CodecOf<CTiffCodec>(doc_, CodecId::kTiff).GoToImage(2));
  EXPECT_EQ(doc_.currentImage, 2);
  EXPECT_FALSE(CodecOf<CTiffCodec>(doc_, CodecId::kTiff).GoToImage(0));  // the file is gone: the document is untouched
  EXPECT_EQ(doc_.currentImage, 2);

  // A page past the last fails and empties the document, leaving the page count.
  WriteFile(path_, MakeTiff(layout));
  EXPECT_FALSE(CodecOf<CTiffCodec>(doc_, CodecId::kTiff).Load(3));
  EXPECT_EQ(doc_.imageCount, 3);
  EXPECT_EQ(doc_.block.Data(), nullptr);
  EXPECT_EQ(doc_.currentImage, 0);
  EXPECT_EQ(doc_.documentName, std::nullopt);

  // A negative index shows the first page.
  ASSERT_TRUE(CodecOf<CTiffCodec>(doc_, CodecId::kTiff).Load(-1));
  EXPECT_EQ(doc_.currentImage, 0);
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(4, 3, 10));
}

TEST_F(TiffCodecTest, ANextOffsetPastTheEndFailsEveryPage) {
  TiffLayout layout = TiffFile({GreyPage(10), GreyPage(20)});
  layout.pages[1].nextOffset = 1 << 20;
  EXPECT_FALSE(Open(layout, 0));
  EXPECT_FALSE(Open(layout, 1));
}

TEST_F(TiffCodecTest, AChainBackToAnEarlierPageEndsThere) {
  TiffLayout layout = TiffFile({GreyPage(10), GreyPage(20), GreyPage(30)});
  layout.pages[2].nextPage = 1;
  ASSERT_TRUE(Open(layout, 2));
  EXPECT_EQ(doc_.imageCount, 3);
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(4, 3, 30));
  EXPECT_FALSE(Open(layout, 3));

  TiffLayout self = TiffFile({GreyPage(10)});
  self.pages[0].nextPage = 0;
  ASSERT_TRUE(Open(self));
  EXPECT_EQ(doc_.imageCount, 1);
}

TEST_F(TiffCodecTest, ALongChainEndsAfterTheLastPageCounted) {
  // A first page, then directories without entries, each pointing to the next.
  Bytes file = MakeTiff(TiffFile({GreyPage(10)}));
  const size_t last = file.size() - 4;  // the first page's next-directory offset
  const size_t extra = CTiffCodec::kMaxPages + 5;
  for (size_t i = 0; i < extra; ++i) {
    const uint32_t at = static_cast<uint32_t>(file.size());
    for (int b = 0; b < 4; ++b) file[(i == 0 ? last : at - 4) + b] = static_cast<uint8_t>(at >> (8 * b));
    file.insert(file.end(), {0, 0, 0, 0, 0, 0});  // no entries, next offset 0 for now
  }
  ASSERT_TRUE(Open(file));
  EXPECT_EQ(doc_.imageCount, static_cast<int32_t>(CTiffCodec::kMaxPages));
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(4, 3, 10));
  EXPECT_FALSE(Open(file, 1));  // a page without entries
}

TEST_F(TiffCodecTest, EntriesThatBreakTheirRuleFailThePage) {
  const TiffPage page = GreyPage();
  ASSERT_TRUE(OpenWith(page, Short(274, {1})));
  ASSERT_TRUE(OpenWith(page, Short(284, {1})));
  ASSERT_TRUE(OpenWith(page, Long(339, {1})));
  ASSERT_TRUE(OpenWith(page, Short(317, {1})));
  ASSERT_TRUE(OpenWith(page, Long(292, {0})));

  EXPECT_FALSE(OpenWith(page, Long(256, {4, 4})));   // ImageWidth with two values
  EXPECT_FALSE(OpenWith(page, Long(274, {1})));      // Orientation as LONG
  EXPECT_FALSE(OpenWith(page, Short(292, {0})));     // T4Options as SHORT
  EXPECT_FALSE(OpenWith(page, Short(284, {2})));     // separate planes
  EXPECT_FALSE(OpenWith(page, Short(339, {3})));     // floating-point samples
  EXPECT_FALSE(OpenWith(page, Short(317, {3})));     // floating-point predictor
  EXPECT_FALSE(OpenWith(page, Short(274, {3})));     // rotated
  EXPECT_FALSE(OpenWith(page, AsciiBytes(256, {4})));  // ImageWidth as text
  for (uint32_t compression : {2u, 6u, 7u, 8u, 32946u}) {
    EXPECT_FALSE(OpenWith(page, Short(259, {compression}))) << compression;
  }
}

TEST_F(TiffCodecTest, EveryCompressionTheReaderKnowsIsAccepted) {
  // One white row of eight pixels, coded each way.
  const std::pair<uint32_t, Bytes> coded[] = {
      {1, {0x00}},
      {3, {0x98}},                    // white 8
      {4, {0x80}},                    // vertical 0 against the imaginary white row
      {5, {0x80, 0x00, 0x20, 0x20}},  // clear, 0, end
      {32773, {0x00, 0x00}},          // a literal of one byte
  };
  for (const auto& [compression, strip] : coded) {
    SCOPED_TRACE(compression);
    TiffPage page = SimplePage(8, 1, {1}, 0, {0x00}, 0, compression);
    page.strips = {strip};
    ASSERT_TRUE(Open(TiffFile({page})));
    EXPECT_EQ(DocumentPixels(doc_).bgr, Bytes(24, 255));
  }
}

TEST_F(TiffCodecTest, RowsPerStripIsDerivedFromTheStripCount) {
  auto page = [](uint32_t height, int strips) {
    TiffPage p = GreyPage(0, 2, height);
    std::erase_if(p.fields, [](const TiffField& f) { return f.tag == 278; });
    const Bytes all = Ramp(2 * height);
    p.strips.clear();
    const uint32_t rows = (height + strips - 1) / strips;
    for (int s = 0; s < strips; ++s) {
      const size_t from = std::min<size_t>(all.size(), 2 * rows * s);
      p.strips.emplace_back(all.begin() + from,
                            all.begin() + std::min<size_t>(all.size(), from + 2 * rows));
    }
    return p;
  };
  EXPECT_FALSE(Open(TiffFile({page(10, 3)})));
  ASSERT_TRUE(Open(TiffFile({page(9, 3)})));
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(2, 9, 0));
  ASSERT_TRUE(Open(TiffFile({page(7, 1)})));
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(2, 7, 0));
  // RowsPerStrip 0 counts as absent.
  TiffPage zero = page(9, 3);
  zero.fields.push_back(Long(278, {0}));
  ASSERT_TRUE(Open(TiffFile({zero})));
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(2, 9, 0));
}

TEST_F(TiffCodecTest, OneStripWithoutByteCountsRunsToTheEndOfTheFile) {
  // The strip is the last thing in the file when the directory comes first.
  TiffPage page = GreyPage(5);
  page.withByteCounts = false;
  Bytes file = MakeTiff(TiffFile({page}));
  ASSERT_TRUE(Open(file));
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(4, 3, 5));

  page.stripOffsetType = 3;  // the single offset must be a LONG
  EXPECT_FALSE(Open(TiffFile({page})));

  TiffPage two = GreyPage(5, 4, 2);
  two.strips = {Ramp(4, 5), Ramp(4, 9)};
  two.withByteCounts = false;
  EXPECT_FALSE(Open(TiffFile({two})));

  TiffPage mismatch = GreyPage(5, 4, 2);
  mismatch.strips = {Ramp(4, 5), Ramp(4, 9)};
  mismatch.fields.push_back(Long(279, {4}));
  mismatch.withByteCounts = false;
  EXPECT_FALSE(Open(TiffFile({mismatch})));
}

TEST_F(TiffCodecTest, BitsPerSampleIsResolvedToOneDepth) {
  const Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(Open(TiffFile({SimplePage(2, 1, {8, 8, 8, 8}, 2, rgba)})));
  EXPECT_EQ(+doc_.header->biBitCount, 24);
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{3, 2, 1, 7, 6, 5}));

  ASSERT_TRUE(Open(TiffFile({SimplePage(1, 1, {16, 16, 16}, 2, Ramp(6, 1))})));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{6, 4, 2}));

  EXPECT_FALSE(Open(TiffFile({SimplePage(1, 1, {16}, 1, Ramp(2))})));
  EXPECT_FALSE(Open(TiffFile({SimplePage(1, 1, {8, 8}, 1, Ramp(2))})));
  EXPECT_FALSE(Open(TiffFile({SimplePage(1, 1, {8, 8, 16}, 2, Ramp(4))})));
  EXPECT_FALSE(Open(TiffFile({SimplePage(1, 1, {4, 4, 4, 4}, 2, Ramp(2))})));
  TiffPage longs = SimplePage(1, 1, {8, 8, 8}, 2, Ramp(3));
  longs.fields[2] = Long(258, {8, 8, 8});
  EXPECT_FALSE(Open(TiffFile({longs})));
  // No BitsPerSample at all: one bit.
  TiffPage bilevel = SimplePage(8, 1, {1}, 1, {0x0F});
  bilevel.fields.erase(bilevel.fields.begin() + 2);
  ASSERT_TRUE(Open(TiffFile({bilevel})));
  EXPECT_EQ(+doc_.header->biBitCount, 1);
}

TEST_F(TiffCodecTest, PhotometricRules) {
  EXPECT_FALSE(Open(TiffFile({SimplePage(4, 1, {2}, 0, {0x1B})})));
  EXPECT_FALSE(Open(TiffFile({SimplePage(4, 1, {2}, 1, {0x1B})})));
  EXPECT_FALSE(Open(TiffFile({SimplePage(4, 1, {8}, 4, Ramp(4))})));
  EXPECT_FALSE(Open(TiffFile({SimplePage(4, 1, {8}, 6, Ramp(4))})));
  // Separated needs four 8-bit inks of the CMYK set.
  EXPECT_FALSE(Open(TiffFile({SimplePage(1, 1, {8, 8, 8}, 5, Ramp(3))})));
  TiffPage inks = SimplePage(1, 1, {8, 8, 8, 8}, 5, Ramp(4));
  ASSERT_TRUE(Open(TiffFile({inks})));
  inks.fields.push_back(Short(332, {2}));
  EXPECT_FALSE(Open(TiffFile({inks})));

  // Palette pages need a colour map of exactly 3 x 2^bits values.
  TiffPage palette = SimplePage(4, 1, {2}, 3, {0x1B});
  EXPECT_FALSE(Open(TiffFile({palette})));
  palette.fields.push_back(Short(320, std::vector<uint32_t>(12, 0x8000)));
  EXPECT_TRUE(Open(TiffFile({palette})));
  palette.fields.back().values.resize(9);
  EXPECT_FALSE(Open(TiffFile({palette})));
  // Photometric as text is refused.
  TiffPage text = SimplePage(4, 1, {8}, -1, Ramp(4));
  text.fields.push_back(AsciiBytes(262, {1}));
  EXPECT_FALSE(Open(TiffFile({text})));
}

TEST_F(TiffCodecTest, TextTags) {
  TiffPage page = GreyPage();
  page.fields.push_back(AsciiBytes(269, {'a', 'b', 'c', 'd'}));  // no terminating 0
  page.fields.push_back(Short(270, {65, 66}));                    // not ASCII
  TiffField unreadable = Ascii(305, "somewhere else");
  unreadable.raw = Bytes{0, 0, 0, 0x40};                          // offset far past the end
  page.fields.push_back(unreadable);
  page.fields.push_back(AsciiBytes(33432, {'x', 0, 'y', 0}));
  ASSERT_TRUE(Open(TiffFile({page})));
  EXPECT_EQ(doc_.documentName, "abc");
  EXPECT_EQ(doc_.imageDescription, std::nullopt);
  EXPECT_EQ(doc_.software, std::nullopt);
  EXPECT_EQ(doc_.imageCopyright, "x");

  // Texts belong to the page shown.
  TiffPage second = GreyPage(20);
  second.fields.push_back(Ascii(269, "second"));
  ASSERT_TRUE(Open(TiffFile({page, second}), 1));
  EXPECT_EQ(doc_.documentName, "second");
  EXPECT_EQ(doc_.imageCopyright, std::nullopt);
}

TEST_F(TiffCodecTest, UnknownTagsAndAnyEntryOrderAreAccepted) {
  TiffPage page = GreyPage(7);
  std::reverse(page.fields.begin(), page.fields.end());
  page.fields.push_back(Long(65000, {1, 2, 3}));
  page.fields.push_back(Short(297, {0, 1}));  // PageNumber
  TiffField rational;
  rational.tag = 282;  // XResolution
  rational.type = 5;
  rational.count = 1;
  rational.raw = Bytes{0, 0, 0, 0};
  page.fields.push_back(rational);
  ASSERT_TRUE(Open(TiffFile({page})));
  EXPECT_EQ(DocumentPixels(doc_), GreyPixels(4, 3, 7));
  // A tag given twice takes its last entry.
  page.fields.push_back(Long(256, {2}));
  page.fields.push_back(Long(257, {2}));
  ASSERT_TRUE(Open(TiffFile({page})));
  EXPECT_EQ(doc_.width, 2);
}

TEST_F(TiffCodecTest, ASingleShortIsItsSixteenBitsWhateverThePaddingHolds) {
  for (bool big : {false, true}) {
    TiffPage page = GreyPage(3);
    TiffField width = Short(256, {4});
    width.raw = big ? Bytes{0, 4, 0xAB, 0xCD} : Bytes{4, 0, 0xAB, 0xCD};
    page.fields[0] = width;
    ASSERT_TRUE(Open(TiffFile({page}, big))) << big;
    EXPECT_EQ(DocumentPixels(doc_), GreyPixels(4, 3, 3));
  }
}

TEST_F(TiffCodecTest, HostileSizesFailCleanly) {
  // Huge dimensions: the bitmap is refused before anything is read.
  TiffPage huge = GreyPage();
  huge.fields[0] = Long(256, {0xFFFFFFFF});
  huge.fields[1] = Long(257, {0xFFFFFFFF});
  EXPECT_FALSE(Open(TiffFile({huge})));
  // Zero dimensions.
  TiffPage empty = GreyPage();
  empty.fields[0] = Long(256, {0});
  EXPECT_FALSE(Open(TiffFile({empty})));
  // Strip offsets far past the end of the file, and a strip table that is not in the file.
  TiffPage far = GreyPage();
  far.strips.clear();
  far.fields.push_back(Long(273, {0x7FFFFFF0}));
  far.fields.push_back(Long(279, {12}));
  EXPECT_FALSE(Open(TiffFile({far})));
  TiffPage table = GreyPage(0, 4, 3);
  table.strips.clear();
  TiffField offsets = Long(273, {8, 8, 8});
  offsets.raw = Bytes{0, 0, 0, 0x70};
  table.fields.push_back(offsets);
  table.fields.push_back(Long(279, {4, 4, 4}));
  table.fields.push_back(Long(278, {1}));
  EXPECT_FALSE(Open(TiffFile({table})));
  // A directory claiming more entries than the file holds.
  Bytes truncated = MakeTiff(TiffFile({GreyPage()}));
  truncated.erase(truncated.end() - 20, truncated.end());
  EXPECT_FALSE(Open(truncated));
}

}  // namespace
}  // namespace pelmor::test
