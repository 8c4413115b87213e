#include "codecs/bmp_codec.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/bmp_fixtures.h"
#include "platform/byte_reader.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

class BmpCodecTest : public ::testing::Test {
 protected:
  bool Open(const Bytes& file, const std::string& name = "image.bmp") {
    path_ = dir_.File(name);
    WriteFile(path_, file);
    return doc_.Open(path_.c_str(), 0);
  }
  // Saves the open image, reads the file back into a second document.
  Bytes SaveAndReopen(CImageDoc& again) {
    const std::string out = dir_.File("saved.bmp");
    EXPECT_TRUE(doc_.Save(out.c_str()));
    EXPECT_TRUE(again.Open(out.c_str(), 0));
    return ReadFile(out);
  }

  TempDir dir_;
  std::string path_;
  CImageDoc doc_;
};

Bytes GreyTable(size_t entries, size_t entrySize) {
  Bytes t;
  for (size_t i = 0; i < entries; ++i) {
    for (size_t k = 0; k < 3; ++k) t.push_back(static_cast<uint8_t>(255 - i));
    if (entrySize == 4) t.push_back(0);
  }
  return t;
}

TEST_F(BmpCodecTest, CoreHeaderIsExpandedWithFourByteEntries) {
  BmpRecipe s;
  s.headerSize = 12;
  s.width = 3;
  s.height = 2;
  s.bitCount = 8;
  s.table = GreyTable(256, 3);
  s.table[0] = 1;  // entry 0 is blue 1, green 255, red 255
  s.pixels = {0, 1, 2, 0, 3, 4, 5, 0};
  ASSERT_TRUE(Open(MakeBmp(s)));
  ASSERT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kBmp));
  EXPECT_EQ(+doc_.header->biSize, 40u);
  EXPECT_EQ(+doc_.header->biClrUsed, 256u);
  EXPECT_EQ(+doc_.header->biHeight, 2);
  EXPECT_EQ(doc_.bits, reinterpret_cast<uint8_t*>(doc_.header) + 40 + 1024);
  const auto* table = reinterpret_cast<const uint8_t*>(doc_.header) + 40;
  EXPECT_EQ(table[0], 1);
  EXPECT_EQ(table[3], 0);
  EXPECT_EQ(table[4 * 5 + 2], 250);
  EXPECT_EQ(table[4 * 5 + 3], 0);
  // Bottom row first in the file: the picture's top row is 3, 4, 5.
  Rgb px = DocumentPixels(doc_);
  EXPECT_EQ(px.bgr[0], 252);
  EXPECT_EQ(px.bgr[9], 1);
  ASSERT_NE(doc_.palette, nullptr);
  EXPECT_EQ(doc_.palette->entries.size(), 256u);
  EXPECT_EQ(doc_.palette->entries[0].peBlue, 1);
  EXPECT_EQ(doc_.palette->entries[0].peRed, 255);
}

TEST_F(BmpCodecTest, CoreHeaderRefusesOtherDepthsAndShortData) {
  BmpRecipe s;
  s.headerSize = 12;
  s.width = 20;
  s.height = 4;
  s.bitCount = 16;
  EXPECT_FALSE(Open(MakeBmp(s)));
  s.bitCount = 24;
  EXPECT_TRUE(Open(MakeBmp(s)));
  EXPECT_EQ(doc_.ColorCount(), 0);
  Bytes cut = MakeBmp(s);
  cut.pop_back();
  EXPECT_FALSE(Open(cut));
}

TEST_F(BmpCodecTest, ZeroOffsetPutsPixelsAfterHeaderAndTable) {
  BmpRecipe s;
  s.width = 4;
  s.height = 1;
  s.bitCount = 8;
  s.table = GreyTable(256, 4);
  s.pixels = {9, 8, 7, 6};
  s.offBits = 0;
  ASSERT_TRUE(Open(MakeBmp(s)));
  EXPECT_EQ(doc_.bits - doc_.block.Data(), 54 + 1024);
  EXPECT_EQ(doc_.bits[0], 9);
}

TEST_F(BmpCodecTest, SizeCheckCountsEveryByte) {
  BmpRecipe s;
  s.width = 5;
  s.height = 3;
  s.bitCount = 24;
  Bytes file = MakeBmp(s);
  ASSERT_TRUE(Open(file));
  file.pop_back();
  EXPECT_FALSE(Open(file));
  EXPECT_EQ(doc_.block.Data(), nullptr);
  EXPECT_EQ(doc_.fileName, path_);
}

TEST_F(BmpCodecTest, HeaderSizesOutsideTheKnownRangeFail) {
  for (uint32_t size : {39u, 0u, 13u}) {
    BmpRecipe s;
    s.headerSize = 40;
    Bytes file = MakeBmp(s);
    StoreU32LE(file.data() + 14, size);
    EXPECT_FALSE(Open(file)) << size;
  }
  // A header claiming the whole file (or more) is refused too.
  BmpRecipe s;
  Bytes file = MakeBmp(s);
  StoreU32LE(file.data() + 14, static_cast<uint32_t>(file.size()));
  EXPECT_FALSE(Open(file));
}

TEST_F(BmpCodecTest, ShortFilesAndWrongSignaturesFail) {
  BmpRecipe s;
  Bytes file = MakeBmp(s);
  for (size_t len : {size_t{0}, size_t{10}, size_t{14}, size_t{53}}) {
    EXPECT_FALSE(Open(Bytes(file.begin(), file.begin() + static_cast<long>(len)))) << len;
  }
  file[1] = 'N';
  EXPECT_FALSE(Open(file));
}

TEST_F(BmpCodecTest, TopDownLoadsWithPositiveHeightAndKeepsItsOrientation) {
  BmpRecipe s;
  s.width = 1;
  s.height = -2;
  s.bitCount = 24;
  s.pixels = {1, 2, 3, 0, 4, 5, 6, 0};  // first stored row is the top
  ASSERT_TRUE(Open(MakeBmp(s)));
  EXPECT_EQ(doc_.height, 2);
  EXPECT_EQ(+doc_.header->biHeight, -2);
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(BmpCodecTest, WriterPutsThePixelsAfterHeaderAndTable) {
  BmpRecipe s;
  s.width = 3;
  s.height = 2;
  s.bitCount = 24;
  s.pixels = Ramp(24, 0, 7);
  ASSERT_TRUE(Open(MakeBmp(s)));
  CImageDoc again;
  Bytes saved = SaveAndReopen(again);
  ASSERT_GE(saved.size(), 54u);
  EXPECT_EQ(LoadU32LE(saved.data() + 10), 54u);
  EXPECT_EQ(LoadU32LE(saved.data() + 2), 54u + 24u);
  EXPECT_EQ(saved.size(), 54u + 24u);
  EXPECT_EQ(DocumentPixels(again), DocumentPixels(doc_));

  s.bitCount = 8;
  s.table = GreyTable(256, 4);
  s.pixels = Ramp(8, 0, 7);
  ASSERT_TRUE(Open(MakeBmp(s)));
  CImageDoc again8;
  saved = SaveAndReopen(again8);
  EXPECT_EQ(LoadU32LE(saved.data() + 10), 1078u);
  EXPECT_EQ(DocumentPixels(again8), DocumentPixels(doc_));
}

TEST_F(BmpCodecTest, LaterHeaderVersionsAreWrittenAsCorrectFiles) {
  // A 124-byte header with a 16-entry table, pixels after a gap, read in place.
  BmpRecipe s;
  s.headerSize = 124;
  s.width = 5;
  s.height = 3;
  s.bitCount = 4;
  s.clrUsed = 16;
  s.table = GreyTable(16, 4);
  s.pixels = Ramp(12, 3, 7);
  s.gapBeforePixels = 6;
  ASSERT_TRUE(Open(MakeBmp(s)));
  EXPECT_EQ(+doc_.header->biSize, 124u);
  ASSERT_NE(doc_.palette, nullptr);
  EXPECT_EQ(doc_.palette->entries[1].peRed, 254);  // the table after the long header
  CImageDoc again;
  Bytes saved = SaveAndReopen(again);
  EXPECT_EQ(LoadU32LE(saved.data() + 14), 40u);
  EXPECT_EQ(LoadU32LE(saved.data() + 10), 54u + 64u);
  EXPECT_EQ(DocumentPixels(again), DocumentPixels(doc_));
}

TEST_F(BmpCodecTest, BitFieldMasksAndTopDownRowsSurviveSaving) {
  BmpRecipe s;
  s.width = 2;
  s.height = -2;
  s.bitCount = 16;
  s.compression = BI_BITFIELDS;
  s.masks = ByteWriter().U32(0xF800).U32(0x07E0).U32(0x001F).Take();
  s.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF};
  ASSERT_TRUE(Open(MakeBmp(s)));
  CImageDoc again;
  Bytes saved = SaveAndReopen(again);
  ASSERT_EQ(saved.size(), 14u + 40u + 12u + 8u);
  EXPECT_EQ(LoadU32LE(saved.data() + 10), 66u);
  EXPECT_EQ(LoadU32LE(saved.data() + 54), 0xF800u);
  EXPECT_EQ(LoadU32LE(saved.data() + 62), 0x001Fu);
  EXPECT_EQ(+again.header->biHeight, -2);
  EXPECT_EQ(+again.header->biCompression, BI_BITFIELDS);
  EXPECT_EQ(Bytes(again.bits, again.bits + 8), s.pixels);

  // The same masks inside a 56-byte header come out after a 40-byte one.
  BmpRecipe v3 = s;
  v3.headerSize = 56;
  v3.masks.clear();
  Bytes file = MakeBmp(v3);
  StoreU32LE(file.data() + 54, 0xF800);
  StoreU32LE(file.data() + 58, 0x07E0);
  StoreU32LE(file.data() + 62, 0x001F);
  ASSERT_TRUE(Open(file));
  CImageDoc again3;
  saved = SaveAndReopen(again3);
  EXPECT_EQ(LoadU32LE(saved.data() + 14), 40u);
  EXPECT_EQ(LoadU32LE(saved.data() + 58), 0x07E0u);
  EXPECT_EQ(Bytes(again3.bits, again3.bits + 8), s.pixels);
}

TEST_F(BmpCodecTest, SizesThatWrapIn32BitsFailCleanly) {
  // stride 0x40000 x 0x4000 rows is 2^32: zero in 32-bit arithmetic.
  BmpRecipe s;
  s.width = 0x10000;
  s.height = 0x4000;
  s.bitCount = 32;
  s.pixels = {0, 0, 0, 0};
  EXPECT_FALSE(Open(MakeBmp(s)));
  // The same with the row stride itself wrapping.
  s.width = 0x40000000;
  s.height = 1;
  EXPECT_FALSE(Open(MakeBmp(s)));
  // A pixel offset near 2^32 must not wrap the sum.
  s.width = 1;
  s.height = 1;
  s.offBits = 0xFFFFFFF0;
  EXPECT_FALSE(Open(MakeBmp(s)));
  // Core header: 65535 x 65535 at 24 bits is far above any sane allocation.
  BmpRecipe core;
  core.headerSize = 12;
  core.width = 65535;
  core.height = 65535;
  core.bitCount = 24;
  core.pixels = Bytes(64, 0);
  EXPECT_FALSE(Open(MakeBmp(core)));
}

TEST_F(BmpCodecTest, ImpossibleDimensionsFail) {
  for (int32_t w : {0, -5, INT32_MIN}) {
    BmpRecipe s;
    s.width = w;
    s.pixels = Bytes(16, 0);
    EXPECT_FALSE(Open(MakeBmp(s))) << w;
  }
  for (int32_t h : {0, INT32_MIN}) {
    BmpRecipe s;
    s.height = h;
    s.pixels = Bytes(16, 0);
    EXPECT_FALSE(Open(MakeBmp(s))) << h;
  }
}

TEST_F(BmpCodecTest, AColourCountBeyondTheFileFailsTheOpen) {
  BmpRecipe s;
  s.width = 4;
  s.height = 1;
  s.bitCount = 8;
  s.table = GreyTable(4, 4);
  s.clrUsed = 305402420;
  s.pixels = {0, 1, 2, 3};
  EXPECT_FALSE(Open(MakeBmp(s)));
  EXPECT_EQ(doc_.block.Data(), nullptr);
  // Entries reaching past the end of the file are already too many.
  s.clrUsed = 6;
  s.pixels.clear();
  s.offBits = 14 + 40 + 16;
  Bytes file = MakeBmp(s);
  file.resize(14 + 40 + 16 + 4);
  EXPECT_FALSE(Open(file));
  s.clrUsed = 4;
  EXPECT_TRUE(Open(MakeBmp(s)));
  EXPECT_EQ(doc_.palette->entries.size(), 4u);
}

TEST_F(BmpCodecTest, TwoBitImagesHaveNoValidColourCount) {
  BmpRecipe s;
  s.width = 4;
  s.height = 1;
  s.bitCount = 2;
  s.table = GreyTable(4, 4);
  EXPECT_FALSE(Open(MakeBmp(s)));
  EXPECT_EQ(doc_.header, nullptr);
  EXPECT_EQ(doc_.imageCount, 0);
}

TEST_F(BmpCodecTest, ReaderRefusesADocumentThatHoldsAnImage) {
  BmpRecipe s;
  ASSERT_TRUE(Open(MakeBmp(s)));
  BITMAPINFOHEADER* before = doc_.header;
  EXPECT_FALSE(CodecOf<CBmpCodec>(doc_, CodecId::kBmp).Load(0));
  EXPECT_EQ(doc_.header, before);
  EXPECT_EQ(doc_.width, 2);
}

TEST_F(BmpCodecTest, PathsLongerThan259CharactersOpenTheRightFile) {
  std::filesystem::path deep = dir_.Path();
  for (int i = 0; i < 8; ++i) deep /= std::string(40, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  const std::string path = (deep / "picture.bmp").string();
  ASSERT_GT(path.size(), 300u);
  WriteFile(path, MakeBmp(BmpRecipe{}));
  ASSERT_TRUE(doc_.Open(path.c_str(), 0));
  EXPECT_EQ(doc_.fileName, path);
}

}  // namespace
}  // namespace pelmor::test
