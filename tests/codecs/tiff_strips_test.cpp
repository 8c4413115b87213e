#include "codecs/tiff_strips.h"

#include <gtest/gtest.h>

#include "codecs/tiff_fixtures.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

class TiffStripsTest : public ::testing::Test {
 protected:
  bool Open(const TiffLayout& layout) {
    path_ = dir_.File("strips.tif");
    WriteFile(path_, MakeTiff(layout));
    return doc_.Open(path_.c_str(), 0);
  }
  bool Open(const TiffPage& page, bool bigEndian = false) {
    return Open(TiffFile({page}, bigEndian));
  }
  // Colour-table entry i as blue, green, red.
  Bytes Entry(uint32_t i) const {
    const auto* t = reinterpret_cast<const uint8_t*>(doc_.header) + 40 + 4 * i;
    return {t[0], t[1], t[2]};
  }
  Bytes Grey(uint8_t v) const { return {v, v, v}; }
  // Row y of the picture (top first) as the DIB holds it.
  const uint8_t* Row(int y) const {
    const uint32_t stride = DibRowBytes(doc_.header->biWidth, doc_.header->biBitCount);
    return doc_.bits + size_t(doc_.height - 1 - y) * stride;
  }

  TempDir dir_;
  std::string path_;
  CImageDoc doc_;
};

TEST_F(TiffStripsTest, BilevelRowsAndTheirTables) {
  // Width 10: two bytes a row in the strip, four in the DIB; the padding is left alone.
  const Bytes rows = {0xA5, 0xC0, 0x5A, 0x40};
  ASSERT_TRUE(Open(SimplePage(10, 2, {1}, 1, rows)));
  EXPECT_EQ(+doc_.header->biBitCount, 1);
  EXPECT_EQ(+doc_.header->biClrUsed, 2u);
  EXPECT_EQ(+doc_.header->biSizeImage, 8u);
  EXPECT_EQ(Entry(0), Grey(0));
  EXPECT_EQ(Entry(1), Grey(255));
  EXPECT_EQ(Bytes(Row(0), Row(0) + 4), (Bytes{0xA5, 0xC0, 0, 0}));
  EXPECT_EQ(Bytes(Row(1), Row(1) + 4), (Bytes{0x5A, 0x40, 0, 0}));

  ASSERT_TRUE(Open(SimplePage(10, 2, {1}, 0, rows)));
  EXPECT_EQ(Entry(0), Grey(255));
  EXPECT_EQ(Entry(1), Grey(0));
}

TEST_F(TiffStripsTest, GreyTablesOfFourAndEightBits) {
  ASSERT_TRUE(Open(SimplePage(2, 1, {4}, 0, {0x01})));
  EXPECT_EQ(+doc_.header->biClrUsed, 16u);
  EXPECT_EQ(Entry(0), Grey(255));
  EXPECT_EQ(Entry(1), Grey(224));
  EXPECT_EQ(Entry(14), Grey(16));
  EXPECT_EQ(Entry(15), Grey(0));

  ASSERT_TRUE(Open(SimplePage(2, 1, {4}, 1, {0x01})));
  EXPECT_EQ(Entry(0), Grey(0));
  EXPECT_EQ(Entry(1), Grey(16));
  EXPECT_EQ(Entry(14), Grey(224));
  EXPECT_EQ(Entry(15), Grey(255));

  ASSERT_TRUE(Open(SimplePage(2, 1, {8}, 0, {0, 1})));
  EXPECT_EQ(+doc_.header->biClrUsed, 256u);
  EXPECT_EQ(Entry(0), Grey(255));
  EXPECT_EQ(Entry(200), Grey(55));
  ASSERT_TRUE(Open(SimplePage(2, 1, {8}, 1, {0, 1})));
  EXPECT_EQ(Entry(200), Grey(200));
}

TEST_F(TiffStripsTest, PaletteTakesTheHighBytesInTheFilesByteOrder) {
  std::vector<uint32_t> map(768, 0);
  map[5] = 0xFF00;             // red 5
  map[256 + 5] = 0x1234;       // green 5
  map[512 + 5] = 0x00FF;       // blue 5
  map[255] = map[511] = map[767] = 0xFFFF;
  for (bool big : {false, true}) {
    TiffPage page = SimplePage(2, 1, {8}, 3, {5, 255});
    page.fields.push_back(Short(320, map));
    ASSERT_TRUE(Open(page, big)) << big;
    EXPECT_EQ(Entry(5), (Bytes{0x00, 0x12, 0xFF}));
    EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0x00, 0x12, 0xFF, 255, 255, 255}));
  }
}

TEST_F(TiffStripsTest, SeparatedPagesBecomeRgb) {
  const Bytes cmyk = {0, 0, 0, 255,  255, 0, 0, 0,  100, 50, 0, 30,  0, 0, 0, 0};
  ASSERT_TRUE(Open(SimplePage(4, 1, {8, 8, 8, 8}, 5, cmyk)));
  EXPECT_EQ(+doc_.header->biBitCount, 24);
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0, 0, 0,  255, 255, 0,
                                             225, 180, 136,  255, 255, 255}));
}

TEST_F(TiffStripsTest, SixteenBitSamplesKeepTheirHighBytesInBothByteOrders) {
  // Two pixels of 16-bit samples, written in each byte order; the DIB matches a 24-bit page of
  // the high bytes.
  const std::vector<uint16_t> samples = {0x1234, 0xABCD, 0x00FF, 0xFF00, 0x8080, 0x0102};
  for (bool big : {false, true}) {
    Bytes raw;
    for (uint16_t s : samples) {
      if (big) raw.insert(raw.end(), {uint8_t(s >> 8), uint8_t(s)});
      else raw.insert(raw.end(), {uint8_t(s), uint8_t(s >> 8)});
    }
    ASSERT_TRUE(Open(SimplePage(2, 1, {16, 16, 16}, 2, raw), big)) << big;
    EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0x00, 0xAB, 0x12, 0x01, 0x80, 0xFF}));
  }
  ASSERT_TRUE(Open(SimplePage(2, 1, {8, 8, 8}, 2, {0x12, 0xAB, 0x00, 0xFF, 0x80, 0x01})));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0x00, 0xAB, 0x12, 0x01, 0x80, 0xFF}));
}

TEST_F(TiffStripsTest, RgbRowsAreReorderedAndPadded) {
  // Width 3 at 24 bits: DIB rows of 12 bytes, blue first.
  ASSERT_TRUE(Open(SimplePage(3, 2, {8, 8, 8}, 2, Ramp(18, 1))));
  EXPECT_EQ(+doc_.header->biSizeImage, 24u);
  EXPECT_EQ(Bytes(Row(0), Row(0) + 9), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7}));
  EXPECT_EQ(Bytes(Row(1), Row(1) + 3), (Bytes{12, 11, 10}));
  // With an alpha sample the colour shows and the alpha is dropped.
  ASSERT_TRUE(Open(SimplePage(2, 1, {8, 8, 8, 8}, 2, {10, 20, 30, 0, 40, 50, 60, 128})));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{30, 20, 10, 60, 50, 40}));
}

TEST_F(TiffStripsTest, PredictorUndoesHorizontalDifferences) {
  // 8-bit grey: each row's bytes are running sums, per row.
  TiffPage grey = SimplePage(4, 2, {8}, 1, {10, 1, 2, 250, 5, 5, 5, 5}, 0, 5);
  grey.fields.push_back(Short(317, {2}));
  ASSERT_TRUE(Open(grey));
  EXPECT_EQ(Bytes(Row(0), Row(0) + 4), (Bytes{10, 11, 13, 7}));
  EXPECT_EQ(Bytes(Row(1), Row(1) + 4), (Bytes{5, 10, 15, 20}));

  // RGB: per sample, one pixel back.
  TiffPage rgb = SimplePage(3, 1, {8, 8, 8}, 2, {10, 20, 30, 1, 2, 3, 255, 0, 1}, 0, 5);
  rgb.fields.push_back(Short(317, {2}));
  ASSERT_TRUE(Open(rgb));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{30, 20, 10, 33, 22, 11, 34, 22, 10}));

  // RGBA and CMYK step by four bytes.
  TiffPage cmyk = SimplePage(2, 1, {8, 8, 8, 8}, 5, {0, 0, 0, 0, 255, 0, 0, 0}, 0, 32773);
  cmyk.fields.push_back(Short(317, {2}));
  ASSERT_TRUE(Open(cmyk));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{255, 255, 255, 255, 255, 0}));

  for (const TiffPage& unfit : {SimplePage(8, 1, {1}, 1, {0x0F}), SimplePage(2, 1, {4}, 1, {0x12}),
                                SimplePage(2, 1, {16, 16, 16}, 2, Ramp(12)),
                                SimplePage(2, 1, {8}, 2, Ramp(2))}) {
    TiffPage page = unfit;
    page.fields.push_back(Short(317, {2}));
    EXPECT_FALSE(Open(page));
  }
}

TEST_F(TiffStripsTest, PackBitsStrips) {
  // A run of -3 makes four bytes; -128 is skipped; a literal count of 2 copies three bytes.
  TiffPage page = SimplePage(8, 1, {8}, 1, {}, 0, 32773);
  page.strips = {{0xFD, 7, 0x80, 2, 1, 2, 3, 0x00, 9}};
  ASSERT_TRUE(Open(page));
  EXPECT_EQ(Bytes(Row(0), Row(0) + 8), (Bytes{7, 7, 7, 7, 1, 2, 3, 9}));
  // A run that would pass the end of the strip's buffer is dropped whole.
  page.strips = {{0xFD, 7, 0x80, 2, 1, 2, 3, 0xFF, 9}};
  ASSERT_TRUE(Open(page));
  EXPECT_EQ(Bytes(Row(0), Row(0) + 8), (Bytes{7, 7, 7, 7, 1, 2, 3, 0}));
  // Data that runs out leaves the rest of the strip 0.
  page.strips = {{0xFE, 7, 5, 1, 2}};
  ASSERT_TRUE(Open(page));
  EXPECT_EQ(Bytes(Row(0), Row(0) + 8), (Bytes{7, 7, 7, 0, 0, 0, 0, 0}));
}

TEST_F(TiffStripsTest, StripsCoverThePageInOrder) {
  // Height 10 in strips of 4 rows: the last strip gives 2 rows.
  ASSERT_TRUE(Open(SimplePage(3, 10, {8}, 1, Ramp(30), 4)));
  EXPECT_EQ(Bytes(Row(9), Row(9) + 3), (Bytes{27, 28, 29}));
  EXPECT_EQ(Bytes(Row(4), Row(4) + 3), (Bytes{12, 13, 14}));

  // The same over LZW, PackBits, and with the strip table's values in SHORT arrays.
  for (uint32_t compression : {5u, 32773u}) {
    TiffPage page = SimplePage(3, 10, {8}, 1, Ramp(30), 4, compression);
    page.stripOffsetType = 3;
    page.byteCountType = 3;
    for (bool big : {false, true}) {
      ASSERT_TRUE(Open(page, big)) << compression << big;
      EXPECT_EQ(Bytes(Row(9), Row(9) + 3), (Bytes{27, 28, 29}));
      EXPECT_EQ(Bytes(Row(4), Row(4) + 3), (Bytes{12, 13, 14}));
    }
  }
}

TEST_F(TiffStripsTest, UnreadableStripsFailOnlyWhenRowsAreMissing) {
  TiffPage page = SimplePage(2, 4, {8}, 1, Ramp(8), 2);
  // A third strip past the end of the file, after the page is complete: it does not matter.
  page.extraStrips = {{0x00FFFFFF, 4}};
  ASSERT_TRUE(Open(page));
  EXPECT_EQ(Bytes(Row(3), Row(3) + 2), (Bytes{6, 7}));
  // The first strip unreadable: the page fails.
  page.firstStripOffset = 0x00FFFFFF;
  EXPECT_FALSE(Open(page));
  // Too few strips for the rows.
  TiffPage shortTable = SimplePage(2, 4, {8}, 1, Ramp(8), 2);
  shortTable.strips.pop_back();
  EXPECT_FALSE(Open(shortTable));
}

TEST_F(TiffStripsTest, MissingDataLeavesRowsBlank) {
  // An uncompressed strip with bytes for one and a half of its three rows.
  TiffPage page = SimplePage(4, 3, {8}, 1, Ramp(12, 1));
  page.strips = {Ramp(6, 1)};
  ASSERT_TRUE(Open(page));
  EXPECT_EQ(Bytes(Row(1), Row(1) + 4), (Bytes{5, 6, 0, 0}));
  EXPECT_EQ(Bytes(Row(2), Row(2) + 4), (Bytes{0, 0, 0, 0}));

  // LZW data that ends early: what it does not fill is 0, not what an earlier strip left.
  TiffPage lzw = SimplePage(4, 2, {8}, 1, Ramp(8, 1), 1, 5);
  lzw.strips[1] = LzwCompress({9});
  ASSERT_TRUE(Open(lzw));
  EXPECT_EQ(Bytes(Row(1), Row(1) + 4), (Bytes{9, 0, 0, 0}));
}

TEST_F(TiffStripsTest, OneStripForAnyNumberOfRows) {
  // RowsPerStrip 2^32 - 1 means one strip for the whole page: buffers follow the page's height.
  for (uint32_t compression : {1u, 5u, 32773u}) {
    TiffPage page = SimplePage(5, 3, {8}, 1, Ramp(15, 2), 0, compression);
    page.fields[5] = Long(278, {0xFFFFFFFF});
    ASSERT_TRUE(Open(page)) << compression;
    EXPECT_EQ(Bytes(Row(2), Row(2) + 5), (Bytes{12, 13, 14, 15, 16}));
  }
}

TEST_F(TiffStripsTest, PagesWithoutAToneGetGreyTables) {
  // Photometric absent or RGB on 8 bits or less: black at 0 ...
  ASSERT_TRUE(Open(SimplePage(2, 1, {8}, -1, {0, 200})));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0, 0, 0, 200, 200, 200}));
  ASSERT_TRUE(Open(SimplePage(2, 1, {4}, 2, {0x0F})));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0, 0, 0, 255, 255, 255}));
  // ... except fax pages without the tag, whose decoder writes white as 0.
  TiffPage fax = SimplePage(8, 1, {1}, -1, {}, 0, 4);
  fax.strips = {{0x80}};  // a white row
  ASSERT_TRUE(Open(fax));
  EXPECT_EQ(DocumentPixels(doc_).bgr, Bytes(24, 255));
  // A fax page said to be RGB writes white as 1, and shows it as white.
  fax.fields.push_back(Short(262, {2}));
  ASSERT_TRUE(Open(fax));
  EXPECT_EQ(DocumentPixels(doc_).bgr, Bytes(24, 255));
}

TEST_F(TiffStripsTest, TwoBitPagesAreWidenedToFourBits) {
  // Values 0, 1, 2, 3, 3 and 3, 2, 1, 0, 0 over two rows of five pixels.
  const Bytes rows = {0x1B, 0xC0, 0xE4, 0x00};
  std::vector<uint32_t> map(12, 0);
  for (int i = 0; i < 4; ++i) {
    map[i] = 0x1000u * (i + 1) << 2;  // red 0x40, 0x80, 0xC0, 0x00 (wraps)
    map[4 + i] = 0x0100u * i;          // green 0, 1, 2, 3
    map[8 + i] = 0xFF00;               // blue 255
  }
  TiffPage palette = SimplePage(5, 2, {2}, 3, rows);
  palette.fields.push_back(Short(320, map));
  ASSERT_TRUE(Open(palette));
  EXPECT_EQ(+doc_.header->biBitCount, 4);
  EXPECT_EQ(+doc_.header->biClrUsed, 16u);
  EXPECT_EQ(Bytes(Row(0), Row(0) + 3), (Bytes{0x01, 0x23, 0x30}));
  EXPECT_EQ(Bytes(Row(1), Row(1) + 3), (Bytes{0x32, 0x10, 0x00}));
  EXPECT_EQ(Entry(1), (Bytes{255, 1, 0x80}));
  EXPECT_EQ(Entry(4), (Bytes{0, 0, 0}));
  EXPECT_EQ(Entry(15), (Bytes{0, 0, 0}));

  ASSERT_TRUE(Open(SimplePage(5, 2, {2}, -1, rows)));
  const Bytes& px = DocumentPixels(doc_).bgr;
  EXPECT_EQ(Bytes(px.begin(), px.begin() + 15),
            (Bytes{0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255, 255, 255, 255}));
  // The document builds its palette from the 16 entries.
  ASSERT_NE(doc_.palette, nullptr);
  EXPECT_EQ(doc_.palette->entries.size(), 16u);
}

TEST_F(TiffStripsTest, FaxPagesMustBeBilevel) {
  TiffPage page = SimplePage(2, 1, {4}, 0, {}, 0, 4);
  page.strips = {{0x80}};
  EXPECT_FALSE(Open(page));
  page = SimplePage(8, 1, {1}, 0, {}, 0, 4);
  page.strips = {{0x80}};
  EXPECT_TRUE(Open(page));
}

}  // namespace
}  // namespace pelmor::test
