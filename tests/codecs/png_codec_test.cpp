#include "codecs/png_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "codecs/inflate_fixtures.h"
#include "codecs/png_fixtures.h"
#include "model/image_doc.h"
#include "test_support.h"

#if PELMOR_HAVE_ZLIB
#include <zlib.h>
#endif

namespace pelmor::test {
namespace {

class PngCodecTest : public ::testing::Test {
 protected:
  bool Open(const Bytes& file, uint32_t backColor = 0xFFFFFF) {
    path_ = dir_.File("image.png");
    WriteFile(path_, file);
    doc_.backColor = backColor;
    return doc_.Open(path_.c_str(), 0);
  }
  const uint8_t* Table() const { return reinterpret_cast<const uint8_t*>(doc_.header) + 40; }

  TempDir dir_;
  std::string path_;
  CImageDoc doc_;
};

// What the document should show for a picture: blue, green, red, rows from the top.
Rgb Expected(const PngPicture& p, const Bytes& palette = {}, uint32_t back = 0xFFFFFF) {
  Rgb out{int(p.width), int(p.height), {}};
  const int channels = PngChannels(p.colourType);
  const uint32_t kr = back & 0xFF, kg = (back >> 8) & 0xFF, kb = (back >> 16) & 0xFF;
  auto high = [&](uint32_t v) { return p.depth == 16 ? v >> 8 : v; };
  for (size_t i = 0; i < size_t(p.width) * p.height; ++i) {
    const uint16_t* s = &p.samples[i * size_t(channels)];
    uint32_t r, g, b;
    if (p.colourType == 3) {
      const size_t k = s[0];
      r = 3 * k + 2 < palette.size() ? palette[3 * k] : 0;
      g = 3 * k + 2 < palette.size() ? palette[3 * k + 1] : 0;
      b = 3 * k + 2 < palette.size() ? palette[3 * k + 2] : 0;
    } else if (p.colourType == 0) {
      r = g = b = p.depth >= 8 ? high(s[0]) : s[0] * 255 / ((1u << p.depth) - 1);
    } else {
      r = high(s[0]);
      g = p.colourType == 4 ? r : high(s[1]);
      b = p.colourType == 4 ? r : high(s[2]);
      if (p.colourType == 4 || p.colourType == 6) {
        const uint32_t a = high(s[channels - 1]);
        r = (r * a + kr * (255 - a)) / 256;
        g = (g * a + kg * (255 - a)) / 256;
        b = (b * a + kb * (255 - a)) / 256;
      }
    }
    out.bgr.insert(out.bgr.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
  }
  return out;
}

PngPicture RandomPicture(uint32_t w, uint32_t h, uint8_t depth, uint8_t type, uint32_t seed) {
  PngPicture p{w, h, depth, type, false, {}, {}};
  std::mt19937 rng(seed);
  const uint32_t max = depth == 16 ? 0xFFFF : (1u << depth) - 1;
  p.samples.resize(size_t(w) * h * size_t(PngChannels(type)));
  // Smooth areas with noise, so that every filter has something to predict.
  for (size_t i = 0; i < p.samples.size(); ++i) {
    p.samples[i] = uint16_t(rng() % 4 == 0 ? rng() % (max + 1) : (i * 37 / 5) % (max + 1));
  }
  return p;
}

TEST_F(PngCodecTest, ChunkLoopSkipsUnknownChunksAndNeverChecksCrcs) {
  PngPicture p = RandomPicture(5, 4, 8, 2, 1);
  const Bytes data = ZlibStored(PngFilteredData(p));
  std::vector<Bytes> chunks{PngChunk("IHDR", {0, 0, 0, 5, 0, 0, 0, 4, 8, 2, 0, 0, 0}, false),
                            PngChunk("ABCD", {1, 2, 3}),       // unknown critical chunk
                            PngChunk("gAMA", {0, 1, 2, 3}, false),
                            PngChunk("IDAT", Bytes(data.begin(), data.begin() + 7), false),
                            PngChunk("IDAT", {}),
                            PngChunk("IDAT", {}, false),
                            PngChunk("IDAT", Bytes(data.begin() + 7, data.end())),
                            PngChunk("IEND", {}, false)};
  ASSERT_TRUE(Open(PngFile(chunks)));
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kPng));
  EXPECT_EQ(DocumentPixels(doc_), Expected(p));
  EXPECT_EQ(doc_.imageCount, 1);
  EXPECT_EQ(doc_.currentImage, 0);

  // The file may stop right after the IEND type; without IEND it fails.
  Bytes file = PngFile(chunks);
  file.resize(file.size() - 4);
  EXPECT_TRUE(Open(file));
  file.resize(file.size() - 8);
  EXPECT_FALSE(Open(file));
  EXPECT_EQ(doc_.block.Data(), nullptr);

  // IDAT before IHDR is collected like any other.
  std::vector<Bytes> early{chunks[3], chunks[6], chunks[0], chunks[7]};
  ASSERT_TRUE(Open(PngFile(early)));
  EXPECT_EQ(DocumentPixels(doc_), Expected(p));
}

TEST_F(PngCodecTest, HeaderAndChunkRulesRefuseBadFiles) {
  const Bytes idat = PngChunk("IDAT", ZlibStored(Bytes(2 * 4, 0)));
  const Bytes iend = PngChunk("IEND", {});
  auto file = [&](const Bytes& header, std::vector<Bytes> more = {}) {
    std::vector<Bytes> chunks{header};
    chunks.insert(chunks.end(), more.begin(), more.end());
    chunks.push_back(idat);
    chunks.push_back(iend);
    return PngFile(chunks);
  };
  // 3x2 grey, 8 bits: two rows of a filter byte and three samples.
  ASSERT_TRUE(Open(file(PngHeaderChunk(3, 2, 8, 0))));
  // Colour types 1 and 5 (palette without colour) and 7, and depths outside the table.
  for (uint8_t type : {1, 5, 7}) EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 8, type)))) << int(type);
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 16, 3))));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 4, 2))));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 3, 0))));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 2, 4))));
  // Zero sizes, interlace 2, filter method 1; compression method 1 fails at the inflate.
  EXPECT_FALSE(Open(file(PngHeaderChunk(0, 2, 8, 0))));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 0, 8, 0))));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 8, 0, 2))));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 8, 0, 0, 0, 1))));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 8, 0, 0, 1))));
  // A second IHDR; an IHDR of the wrong length.
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 8, 0), {PngHeaderChunk(3, 2, 8, 0)})));
  EXPECT_FALSE(Open(PngFile({PngChunk("IHDR", Bytes(14, 1)), idat, iend})));
  // No IHDR, or no IDAT.
  EXPECT_FALSE(Open(PngFile({idat, iend})));
  EXPECT_FALSE(Open(PngFile({PngHeaderChunk(3, 2, 8, 0), iend})));
  // A bad signature.
  Bytes bad = file(PngHeaderChunk(3, 2, 8, 0));
  bad[1] = 'p';
  EXPECT_FALSE(Open(bad));
  // A PLTE with a 16-bit image, whatever its colour type; a PLTE before IHDR longer than one
  // colour; an empty PLTE. A suggested palette for an 8-bit RGB image is read and dropped.
  const Bytes rgbData = PngChunk("IDAT", ZlibStored(Bytes(2 * 7, 0)));
  EXPECT_FALSE(Open(PngFile({PngHeaderChunk(1, 2, 16, 2), PngChunk("PLTE", {1, 2, 3}), rgbData, iend})));
  EXPECT_FALSE(Open(PngFile({PngChunk("PLTE", {1, 2, 3, 4, 5, 6}), PngHeaderChunk(3, 2, 8, 0), idat, iend})));
  EXPECT_TRUE(Open(PngFile({PngChunk("PLTE", {1, 2, 3}), PngHeaderChunk(3, 2, 8, 0), idat, iend})));
  EXPECT_FALSE(Open(file(PngHeaderChunk(3, 2, 8, 0), {PngChunk("PLTE", {})})));
  const Bytes rgb8 = PngChunk("IDAT", ZlibStored(Bytes(2 * 10, 0)));
  EXPECT_TRUE(Open(PngFile({PngHeaderChunk(3, 2, 8, 2), PngChunk("PLTE", Bytes(30, 9)), rgb8, iend})));
  EXPECT_EQ(+doc_.header->biBitCount, 24);
}

TEST_F(PngCodecTest, SizesThatCannotBeHeldFailCleanly) {
  const Bytes iend = PngChunk("IEND", {});
  // Chunk lengths above 2^31 - 1, on a skipped chunk and on IDAT: no allocation, no seek past
  // the file.
  for (const char* type : {"zzzz", "IDAT", "tEXt", "zTXt"}) {
    ByteWriter w;
    w.Append(PngHeaderChunk(3, 2, 8, 0)).U32BE(0x80000000).Text(type).Fill(16, 0).Append(iend);
    EXPECT_FALSE(Open(PngFile({w.Take()}))) << type;
    ByteWriter v;  // a legal length that runs past the end of the file
    v.Append(PngHeaderChunk(3, 2, 8, 0)).U32BE(0x7FFFFFFF).Text(type).Fill(16, 0).Append(iend);
    EXPECT_FALSE(Open(PngFile({v.Take()}))) << type;
  }
  // Image data of more than 2^32 bytes, and a DIB beyond the allocation limit.
  const Bytes idat = PngChunk("IDAT", ZlibStored(Bytes(16, 0)));
  EXPECT_FALSE(Open(PngFile({PngHeaderChunk(0x7FFFFFFF, 0x7FFFFFFF, 16, 6), idat, iend})));
  EXPECT_FALSE(Open(PngFile({PngHeaderChunk(0x80000000, 1, 8, 0), idat, iend})));
  EXPECT_FALSE(Open(PngFile({PngHeaderChunk(30000, 30000, 8, 2), idat, iend})));
  EXPECT_EQ(doc_.block.Data(), nullptr);
  // Image data beyond the image allocation limit, in one chunk or in many: a 1x1 image whose
  // stream is followed by 3 MiB that the inflater would ignore.
  Bytes stored = ZlibStored({0, 0x80});
  stored.resize(stored.size() + (3 << 20), 0x55);
  const Bytes head = PngHeaderChunk(1, 1, 8, 0);
  const Bytes half1(stored.begin(), stored.begin() + long(stored.size() / 2));
  const Bytes half2(stored.begin() + long(stored.size() / 2), stored.end());
  EXPECT_TRUE(Open(PngFile({head, PngChunk("IDAT", stored), iend})));
  EXPECT_TRUE(Open(PngFile({head, PngChunk("IDAT", half1), PngChunk("IDAT", half2), iend})));
  setenv("PELMOR_MAX_ALLOC_MB", "2", 1);
  const bool whole = Open(PngFile({head, PngChunk("IDAT", stored), iend}));
  const bool split = Open(PngFile({head, PngChunk("IDAT", half1), PngChunk("IDAT", half2), iend}));
  unsetenv("PELMOR_MAX_ALLOC_MB");
  EXPECT_FALSE(whole);
  EXPECT_FALSE(split);
}

TEST_F(PngCodecTest, TextChunksFillTheFourMetadataFields) {
  PngPicture p = RandomPicture(2, 2, 8, 0, 3);
  ASSERT_TRUE(Open(PngEncode(p, {PngTextChunk("Title", "Sunset"), PngTextChunk("Author", "Me"),
                                 PngTextChunk("description", "Evening"),
                                 PngTextChunk("COPYRIGHT", "(c) us"),
                                 PngTextChunk("Software", std::string("tool\0junk", 9)),
                                 PngTextChunk("title", "Sunrise")})));
  EXPECT_EQ(doc_.documentName, "Sunrise");  // a later chunk replaces the earlier text
  EXPECT_EQ(doc_.imageDescription, "Evening");
  EXPECT_EQ(doc_.imageCopyright, "(c) us");
  EXPECT_EQ(doc_.software, "tool");  // the field ends at a zero byte
  EXPECT_EQ(DocumentPixels(doc_), Expected(p));

  // A keyword whose zero is the last byte gives an empty text; a chunk without a zero fails.
  ASSERT_TRUE(Open(PngEncode(p, {PngTextChunk("Title", "")})));
  EXPECT_EQ(doc_.documentName, "");
  EXPECT_FALSE(Open(PngEncode(p, {PngChunk("tEXt", {'T', 'i', 't', 'l', 'e'})})));
  // Empty text chunks are skipped with their CRCs.
  ASSERT_TRUE(Open(PngEncode(p, {PngChunk("tEXt", {}), PngChunk("zTXt", {}), PngTextChunk("Title", "x")})));
  EXPECT_EQ(doc_.documentName, "x");
}

TEST_F(PngCodecTest, CompressedTextIsInflatedOrFailsTheLoad) {
  PngPicture p = RandomPicture(2, 2, 8, 0, 4);
  auto ztxt = [](const std::string& keyword, uint8_t method, const Bytes& zlib) {
    ByteWriter w;
    w.Text(keyword).U8(0).U8(method).Append(zlib);
    return PngChunk("zTXt", w.Take());
  };
  const std::string text = "A long evening over the sea";
  const Bytes packed = ZlibStored(Bytes(text.begin(), text.end()));
  ASSERT_TRUE(Open(PngEncode(p, {ztxt("Copyright", 0, packed)})));
  EXPECT_EQ(doc_.imageCopyright, text);

  // Text that inflates to nothing leaves the field as it was.
  ASSERT_TRUE(Open(PngEncode(p, {PngTextChunk("Title", "Kept"), ztxt("Title", 0, ZlibStored({}))})));
  EXPECT_EQ(doc_.documentName, "Kept");
  // Method 1 fails the whole load, as does text that does not inflate or inflates to more than
  // ten times its compressed size. A keyword alone is ignored.
  EXPECT_FALSE(Open(PngEncode(p, {ztxt("Title", 1, packed)})));
  EXPECT_FALSE(Open(PngEncode(p, {ztxt("Title", 0, Bytes{1, 2, 3})})));
  EXPECT_FALSE(Open(PngEncode(p, {ztxt("Title", 0, {})})));
  DeflateWriter runs;
  runs.Header(true, 1).FixedSymbol('x');
  for (int i = 0; i < 10; ++i) runs.FixedSymbol(285).FixedDistance(0);
  runs.FixedSymbol(256);
  EXPECT_FALSE(Open(PngEncode(p, {ztxt("Title", 0, ZlibWrap(runs.Finish()))})));
  ASSERT_TRUE(Open(PngEncode(p, {PngChunk("zTXt", {'T', 'i', 't', 'l', 'e', 0})})));
  EXPECT_FALSE(doc_.documentName.has_value());

  // A compressed text whose ten-fold buffer is beyond the image allocation limit fails the load.
  Bytes big(300 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
  const Bytes chunk = ztxt("Title", 0, ZlibStored(big));
  ASSERT_TRUE(Open(PngEncode(p, {chunk})));
  // So does a plain text chunk beyond that limit.
  const Bytes longText = PngTextChunk("Title", std::string(3 << 20, 'x'));
  ASSERT_TRUE(Open(PngEncode(p, {longText})));
  setenv("PELMOR_MAX_ALLOC_MB", "2", 1);
  const bool openedCompressed = Open(PngEncode(p, {chunk}));
  const bool openedPlain = Open(PngEncode(p, {longText}));
  unsetenv("PELMOR_MAX_ALLOC_MB");
  EXPECT_FALSE(openedCompressed);
  EXPECT_FALSE(openedPlain);
}

TEST_F(PngCodecTest, AlphaIsCompositedOverTheBackgroundWithDivisor256) {
  // RGBA 8: alpha 0 over white, alpha 255, alpha 128; grey + alpha 16 bits.
  PngPicture rgba{3, 1, 8, 6, false, {10, 20, 30, 0, 200, 100, 50, 255, 200, 100, 50, 128}, {}};
  ASSERT_TRUE(Open(PngEncode(rgba)));
  EXPECT_EQ(+doc_.header->biBitCount, 24);
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{254, 254, 254, 49, 99, 199, 151, 176, 226}));
  ASSERT_TRUE(Open(PngEncode(rgba), 0x336699));  // red 0x99, green 0x66, blue 0x33
  EXPECT_EQ(DocumentPixels(doc_).bgr[0], 0x33 * 255 / 256);
  EXPECT_EQ(DocumentPixels(doc_).bgr[2], 0x99 * 255 / 256);

  PngPicture greyAlpha{2, 1, 16, 4, false, {0x1234, 0xFFFF, 0xFF00, 0x00FF}, {}};
  ASSERT_TRUE(Open(PngEncode(greyAlpha), 0x000000));
  EXPECT_EQ(+doc_.header->biBitCount, 24);
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0x12 * 255 / 256, 0x12 * 255 / 256, 0x12 * 255 / 256, 0, 0, 0}));

  // 16-bit RGB keeps the high bytes.
  PngPicture rgb16{1, 1, 16, 2, false, {0x1234, 0xABCD, 0xFFFF}, {}};
  ASSERT_TRUE(Open(PngEncode(rgb16)));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{0xFF, 0xAB, 0x12}));
}

TEST_F(PngCodecTest, IndexedImagesKeepTheirValuesAndGetZeroFilledTables) {
  // 2-bit grey of odd width: a 4-bit DIB, the last byte's low nibble 0, the ramp 0, 85, 170, 255
  // and zeros after it.
  PngPicture grey2{5, 2, 2, 0, false, {0, 1, 2, 3, 3, 2, 1, 0, 1, 2}, {}};
  ASSERT_TRUE(Open(PngEncode(grey2)));
  EXPECT_EQ(+doc_.header->biBitCount, 4);
  const int32_t height = doc_.header->biHeight;
  EXPECT_EQ(height, 2);
  EXPECT_EQ(doc_.ColorCount(), 16);
  const uint8_t* top = doc_.bits + 4;  // bottom-up: the top row is the second in memory
  EXPECT_EQ(top[0], 0x01);
  EXPECT_EQ(top[1], 0x23);
  EXPECT_EQ(top[2], 0x30);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Table()[4 * i], 85 * i);
  for (int i = 4 * 4; i < 16 * 4; ++i) EXPECT_EQ(Table()[i], 0);
  EXPECT_EQ(DocumentPixels(doc_), Expected(grey2));

  // A 2-bit palette image: PLTE fills entries 0 and 1, entries 2 to 15 stay zero.
  PngPicture pal2{4, 1, 2, 3, false, {0, 1, 2, 3}, {}};
  const Bytes plte = {10, 20, 30, 40, 50, 60, 7};  // two colours and a stray byte
  ASSERT_TRUE(Open(PngEncode(pal2, {PngChunk("PLTE", plte)})));
  EXPECT_EQ(doc_.ColorCount(), 16);
  EXPECT_EQ(Bytes(Table(), Table() + 12), (Bytes{30, 20, 10, 0, 60, 50, 40, 0, 0, 0, 0, 0}));
  EXPECT_EQ(DocumentPixels(doc_).bgr, (Bytes{30, 20, 10, 60, 50, 40, 0, 0, 0, 0, 0, 0}));
  // Without PLTE the table is all zero.
  ASSERT_TRUE(Open(PngEncode(pal2)));
  EXPECT_TRUE(std::all_of(Table(), Table() + 64, [](uint8_t b) { return b == 0; }));

  // 16-bit grey becomes its high byte in an 8-bit DIB with the identity ramp; 1-bit grey black
  // and white.
  PngPicture grey16{2, 1, 16, 0, false, {0x12FF, 0xAB00}, {}};
  ASSERT_TRUE(Open(PngEncode(grey16)));
  EXPECT_EQ(+doc_.header->biBitCount, 8);
  EXPECT_EQ(doc_.bits[0], 0x12);
  EXPECT_EQ(doc_.bits[1], 0xAB);
  EXPECT_EQ(Table()[4 * 200], 200);
  PngPicture grey1 = RandomPicture(19, 3, 1, 0, 5);
  ASSERT_TRUE(Open(PngEncode(grey1)));
  EXPECT_EQ(+doc_.header->biBitCount, 1);
  EXPECT_EQ(DocumentPixels(doc_), Expected(grey1));
}

TEST_F(PngCodecTest, InterlacedImagesDecodeLikeTheirPlainTwins) {
  struct Format {
    uint8_t depth, type;
  };
  const Format formats[] = {{1, 0}, {2, 0}, {4, 3}, {8, 3}, {16, 0}, {8, 2},
                            {16, 2}, {8, 4}, {16, 4}, {8, 6}, {16, 6}};
  Bytes palette(3 * 256);
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = uint8_t(i * 13);
  uint32_t seed = 10;
  for (const Format& f : formats) {
    for (auto [w, h] : {std::pair{13u, 11u}, std::pair{1u, 1u}, std::pair{3u, 9u}, std::pair{9u, 2u}}) {
      PngPicture p = RandomPicture(w, h, f.depth, f.type, ++seed);
      // Every pass starts with an Up, Average or Paeth row, and all five filters occur.
      p.filters = {uint8_t(2 + seed % 3), 1, 3, 4, 0, 2};
      const Bytes plte(palette.begin(), palette.begin() + 3 * (1 << std::min<int>(f.depth, 8)));
      const std::vector<Bytes> extra = f.type == 3 ? std::vector<Bytes>{PngChunk("PLTE", plte)}
                                                   : std::vector<Bytes>{};
      const std::string what = "depth " + std::to_string(f.depth) + " type " + std::to_string(f.type) +
                               " " + std::to_string(w) + "x" + std::to_string(h);
      ASSERT_TRUE(Open(PngEncode(p, extra), 0x102030)) << what;
      const Rgb plain = DocumentPixels(doc_);
      EXPECT_EQ(plain, Expected(p, palette, 0x102030)) << what;
      p.interlaced = true;
      ASSERT_TRUE(Open(PngEncode(p, extra), 0x102030)) << what;
      EXPECT_EQ(DocumentPixels(doc_), plain) << what;
    }
  }
}

TEST_F(PngCodecTest, FilterTypeFiveFailsAndShortDataLeavesZeroRows) {
  PngPicture p = RandomPicture(4, 3, 8, 6, 7);
  p.filters = {1, 4, 5};
  EXPECT_FALSE(Open(PngEncode(p)));

  // Data that stops after the first row: the rest reads as filter None and samples 0, which for
  // an alpha image is the background scaled by 255/256.
  p.filters = {0};
  Bytes rows = PngFilteredData(p);
  rows.resize(1 + 4 * 4);
  ASSERT_TRUE(Open(PngFile({PngHeaderChunk(4, 3, 8, 6), PngChunk("IDAT", ZlibStored(rows)),
                            PngChunk("IEND", {})}),
                   0xFFFFFF));
  const Rgb px = DocumentPixels(doc_);
  const Rgb full = Expected(p);
  EXPECT_TRUE(std::equal(full.bgr.begin(), full.bgr.begin() + 12, px.bgr.begin()));
  EXPECT_TRUE(std::all_of(px.bgr.begin() + 12, px.bgr.end(), [](uint8_t b) { return b == 254; }));

  // Data longer than the image fails.
  rows = PngFilteredData(p);
  rows.push_back(0);
  EXPECT_FALSE(Open(PngFile({PngHeaderChunk(4, 3, 8, 6), PngChunk("IDAT", ZlibStored(rows)),
                             PngChunk("IEND", {})})));
}

// 1-bit pass rows are placed a DIB byte at a time; the padding bits at the end of each pass row
// may hold anything and must not reach the DIB, whose bytes equal those of the same picture stored
// plainly with clean padding.
TEST_F(PngCodecTest, InterlacedBitsIgnoreThePaddingOfPassRows) {
  const uint32_t adam7[7][4] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                                {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
  for (uint32_t w = 1; w <= 19; ++w) {
    PngPicture p = RandomPicture(w, 9, 1, 0, 100 + w);
    p.interlaced = true;
    p.filters = {0};
    Bytes rows = PngFilteredData(p);
    size_t at = 0;
    for (const auto& pass : adam7) {
      const uint32_t pw = w > pass[0] ? (w - pass[0] + pass[1] - 1) / pass[1] : 0;
      const uint32_t ph = 9 > pass[2] ? (9 - pass[2] + pass[3] - 1) / pass[3] : 0;
      if (pw == 0) continue;
      const size_t bytes = (pw + 7) / 8;
      for (uint32_t r = 0; r < ph; ++r, at += 1 + bytes) rows[at + bytes] |= uint8_t((1u << (8 * bytes - pw)) - 1);
    }
    ASSERT_EQ(at, rows.size());
    p.interlaced = false;
    ASSERT_TRUE(Open(PngEncode(p)));
    const Bytes plain(doc_.bits, doc_.bits + 9 * DibRowBytes(w, 1));
    ASSERT_TRUE(Open(PngFile({PngHeaderChunk(w, 9, 1, 0, 1), PngChunk("IDAT", ZlibStored(rows)),
                              PngChunk("IEND", {})})));
    EXPECT_EQ(Bytes(doc_.bits, doc_.bits + plain.size()), plain) << w;
  }
}

// Pictures whose data is several times the inflater's window, so that rows are decoded while the
// data streams through it: in each way the reader works (1-, 4- and 8-bit rows unfiltered straight
// into the DIB, the others through a row buffer, interlaced passes), from stored and from
// compressed data. Data cut short decodes as the same data padded with zeros.
TEST_F(PngCodecTest, LargePicturesDecodeAsTheirDataStreamsThrough) {
  struct Format {
    uint8_t depth, type;
  };
  const Format formats[] = {{1, 0}, {8, 3}, {2, 0}, {8, 2}, {8, 6}, {16, 6}};
  Bytes palette(3 * 256);
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = uint8_t(i * 7);
  const uint32_t back = 0x336699, w = 801, h = 453;
  uint32_t seed = 40;
  for (const Format& f : formats) {
    for (bool interlaced : {false, true}) {
      PngPicture p = RandomPicture(w, h, f.depth, f.type, ++seed);
      p.interlaced = interlaced;
      p.filters = {0, 1, 2, 3, 4, 4, 2};
      const Bytes rows = PngFilteredData(p);
      const Bytes plte(palette.begin(), palette.begin() + 3 * (1 << std::min<int>(f.depth, 8)));
      auto file = [&](const Bytes& zlib) {
        std::vector<Bytes> chunks{PngHeaderChunk(w, h, f.depth, f.type, interlaced ? 1 : 0)};
        if (f.type == 3) chunks.push_back(PngChunk("PLTE", plte));
        chunks.push_back(PngChunk("IDAT", zlib));
        chunks.push_back(PngChunk("IEND", {}));
        return PngFile(chunks);
      };
      const std::string what = "depth " + std::to_string(f.depth) + " type " + std::to_string(f.type) +
                               (interlaced ? " interlaced" : "");
      ASSERT_TRUE(Open(file(ZlibStored(rows)), back)) << what;
      const Rgb want = Expected(p, palette, back);
      EXPECT_EQ(DocumentPixels(doc_), want) << what;
#if PELMOR_HAVE_ZLIB
      Bytes z(compressBound(uLong(rows.size())));
      uLongf zSize = uLongf(z.size());
      ASSERT_EQ(compress2(z.data(), &zSize, rows.data(), uLong(rows.size()), 1), Z_OK);
      z.resize(zSize);
      ASSERT_TRUE(Open(file(z), back)) << what;
      EXPECT_EQ(DocumentPixels(doc_), want) << what;
#endif
      Bytes cut(rows.begin(), rows.begin() + long(rows.size() * 3 / 5 + 7));
      ASSERT_TRUE(Open(file(ZlibStored(cut)), back)) << what;
      const Rgb shortData = DocumentPixels(doc_);
      cut.resize(rows.size(), 0);
      ASSERT_TRUE(Open(file(ZlibStored(cut)), back)) << what;
      EXPECT_EQ(shortData, DocumentPixels(doc_)) << what;
    }
  }
}

TEST_F(PngCodecTest, GoToImageReadsTheFileAgain) {
  PngPicture p = RandomPicture(3, 3, 8, 2, 8);
  ASSERT_TRUE(Open(PngEncode(p)));
  EXPECT_TRUE(CodecOf<CPngCodec>(doc_, CodecId::kPng).GoToImage(5));
  EXPECT_EQ(DocumentPixels(doc_), Expected(p));
  EXPECT_FALSE(CodecOf<CPngCodec>(doc_, CodecId::kPng).LoadNext());
  EXPECT_FALSE(CodecOf<CPngCodec>(doc_, CodecId::kPng).Save(dir_.File("x.png").c_str(), 0.5f));
  WriteFile(path_, Bytes{1, 2, 3});
  EXPECT_FALSE(CodecOf<CPngCodec>(doc_, CodecId::kPng).GoToImage(0));
}

}  // namespace
}  // namespace pelmor::test

namespace pelmor::test {
namespace {

// Every colour type, bit depth and interlace method, written by ImageMagick and compared with
// the samples ImageMagick itself reads back (as 16-bit RGBA: the high byte is what the document
// keeps, and alpha is composited over the background).
TEST(PngCrossCheck, EveryColourTypeDepthAndInterlaceMatchesAnIndependentEncoder) {
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  struct Variant {
    const char* options;
    int depth;
    int type;
  };
  const std::string alpha = " \\( +clone -fx 'i/w' \\) -alpha off -compose CopyOpacity -composite";
  const Variant variants[] = {
      {"-colorspace Gray -threshold 50%", 1, 0}, {"-colorspace Gray -posterize 4", 2, 0},
      {"-colorspace Gray -posterize 16", 4, 0},  {"-colorspace Gray", 8, 0},
      {"-colorspace Gray -depth 16", 16, 0},     {"+dither -colors 2", 1, 3},
      {"+dither -colors 4", 2, 3},               {"+dither -colors 16", 4, 3},
      {"+dither -colors 200", 8, 3},             {"", 8, 2},
      {"-depth 16", 16, 2},                      {"-colorspace Gray", 8, 4},
      {"-colorspace Gray -depth 16", 16, 4},     {"", 8, 6},
      {"-depth 16", 16, 6}};
  TempDir dir;
  const uint32_t back = 0x4080C0;
  for (const Variant& v : variants) {
    for (bool interlaced : {false, true}) {
      const std::string name = "t" + std::to_string(v.type) + "d" + std::to_string(v.depth) + (interlaced ? "i" : "");
      const std::string png = dir.File(name + ".png");
      const std::string raw = dir.File(name + ".rgba");
      std::string command = "convert rose: " + std::string(v.options);
      if (v.type == 4 || v.type == 6) command += alpha;
      command += " -define png:exclude-chunks=bKGD -define png:color-type=" + std::to_string(v.type) +
                 " -define png:bit-depth=" + std::to_string(v.depth) + " -interlace " +
                 (interlaced ? "PNG " : "none ") + png;
      ASSERT_TRUE(RunCommand(command)) << command;
      const Bytes file = ReadFile(png);
      ASSERT_GT(file.size(), 29u);
      ASSERT_EQ(file[24], v.depth) << name;
      ASSERT_EQ(file[25], v.type) << name;
      ASSERT_EQ(file[28], interlaced ? 1 : 0) << name;
      ASSERT_TRUE(RunCommand("convert " + png + " -depth 16 -endian MSB rgba:" + raw));
      const Bytes samples = ReadFile(raw);

      CImageDoc doc;
      doc.backColor = back;
      ASSERT_TRUE(doc.Open(png.c_str(), 0)) << name;
      const Rgb got = DocumentPixels(doc);
      ASSERT_EQ(samples.size(), size_t(got.width) * got.height * 8) << name;
      Bytes want;
      const bool hasAlpha = v.type == 4 || v.type == 6;
      for (size_t i = 0; i < samples.size(); i += 8) {
        uint32_t r = samples[i], g = samples[i + 2], b = samples[i + 4];
        if (hasAlpha) {
          const uint32_t a = samples[i + 6];
          r = (r * a + (back & 0xFF) * (255 - a)) / 256;
          g = (g * a + ((back >> 8) & 0xFF) * (255 - a)) / 256;
          b = (b * a + ((back >> 16) & 0xFF) * (255 - a)) / 256;
        }
        want.insert(want.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
      }
      EXPECT_EQ(got.bgr, want) << name;
      EXPECT_EQ(+doc.header->biBitCount,
                hasAlpha || v.type == 2 ? 24 : v.depth == 2 ? 4 : v.depth == 16 ? 8 : v.depth)
          << name;
    }
  }
}

}  // namespace
}  // namespace pelmor::test

namespace pelmor::test {
namespace {

TEST(PngSamples, OpenWithTheirTextAndInterlacedEqualsPlain) {
  const std::filesystem::path dir = std::filesystem::path(PELMOR_SOURCE_DIR) / "samples";
  CImageDoc titled, interlaced;
  ASSERT_TRUE(titled.Open((dir / "rose-titled.png").c_str(), 0));
  EXPECT_EQ(titled.documentName, "Rose");
  EXPECT_EQ(titled.imageCopyright, "Public domain, made with ImageMagick's built-in rose");
  EXPECT_FALSE(titled.software.has_value());
  ASSERT_TRUE(interlaced.Open((dir / "rose-interlaced.png").c_str(), 0));
  EXPECT_EQ(DocumentPixels(interlaced), DocumentPixels(titled));
  for (const char* name : {"rose-palette.png", "granite-grey.png", "logo-rgba.png"}) {
    CImageDoc doc;
    EXPECT_TRUE(doc.Open((dir / name).c_str(), 0)) << name;
    EXPECT_EQ(doc.currentCodec, doc.Codec(CodecId::kPng)) << name;
  }
}

}  // namespace
}  // namespace pelmor::test
