#include "codecs/tga_codec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "codecs/bmp_fixtures.h"
#include "platform/byte_reader.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

struct TgaSpec {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 2;
  uint16_t width = 3;
  uint16_t height = 2;
  uint8_t depth = 24;
  uint8_t descriptor = 0;
  Bytes data;  // pixel data (or packets) as stored
};

Bytes MakeTga(const TgaSpec& s) {
  ByteWriter w;
  w.U8(s.idLength).U8(s.colorMapType).U8(s.imageType).U16(0).U16(0).U8(0);
  w.U16(0).U16(0).U16(s.width).U16(s.height).U8(s.depth).U8(s.descriptor);
  w.Fill(s.idLength, 'i').Append(s.data);
  return w.Take();
}

// A picture of w x h pixels whose bytes all differ: file row r, pixel i, byte k.
Bytes Numbered(int w, int h, int bytesPerPixel) {
  Bytes b;
  for (int i = 0; i < w * h * bytesPerPixel; ++i) b.push_back(static_cast<uint8_t>(i + 1));
  return b;
}

class TgaCodecTest : public ::testing::Test {
 protected:
  bool Open(const Bytes& file, const std::string& name = "image.tga") {
    path_ = dir_.File(name);
    WriteFile(path_, file);
    return doc_.Open(path_.c_str(), 0);
  }
  // Runs the reader alone on a document that holds nothing, as the fallback order can.
  bool LoadDirectly(const Bytes& file) {
    path_ = dir_.File("direct.tga");
    WriteFile(path_, file);
    doc_.fileName = path_;
    return CodecOf<CTgaCodec>(doc_, CodecId::kTga).Load(0);
  }
  std::string Saved(const std::string& name = "saved.tga") { return dir_.File(name); }

  TempDir dir_;
  std::string path_;
  CImageDoc doc_;
};

TEST_F(TgaCodecTest, TopLeftOriginPutsTheFirstFileRowOnTopWithPaddedRows) {
  TgaSpec s;
  s.descriptor = 0x20;
  s.data = Numbered(3, 2, 3);
  ASSERT_TRUE(Open(MakeTga(s)));
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kTga));
  EXPECT_EQ(+doc_.header->biBitCount, 24);
  EXPECT_EQ(+doc_.header->biHeight, 2);
  EXPECT_EQ(+doc_.header->biSizeImage, 24u);
  EXPECT_EQ(doc_.imageCount, 1);
  EXPECT_EQ(doc_.ColorCount(), 0);
  // File row 0 (bytes 1..9) is the top: memory row 1. Padding stays zero.
  EXPECT_EQ(Bytes(doc_.bits, doc_.bits + 24),
            (Bytes{10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}));
}

TEST_F(TgaCodecTest, EveryOriginAndDepthLandsRightWayUp) {
  // The same 3 x 2 picture (as 16-bit words or blue, green, red) stored four ways.
  for (uint8_t depth : {16, 24, 32}) {
    const int bpp = depth / 8;
    const Bytes top = Numbered(3, 1, bpp);
    Bytes bottom = top;
    for (auto& b : bottom) b = static_cast<uint8_t>(b + 100);
    const auto pixel = [&](const Bytes& row, int x) {
      return Bytes(row.begin() + x * bpp, row.begin() + (x + 1) * bpp);
    };
    for (uint8_t descriptor : {0x00, 0x10, 0x20, 0x30}) {
      SCOPED_TRACE(testing::Message() << "depth " << int(depth) << " descriptor " << int(descriptor));
      const bool rightToLeft = descriptor & 0x10;
      const bool topFirst = descriptor & 0x20;
      TgaSpec s;
      s.depth = depth;
      s.descriptor = descriptor;
      const Bytes* first = topFirst ? &top : &bottom;
      const Bytes* second = topFirst ? &bottom : &top;
      for (const Bytes* row : {first, second}) {
        for (int i = 0; i < 3; ++i) {
          const Bytes px = pixel(*row, rightToLeft ? 2 - i : i);
          s.data.insert(s.data.end(), px.begin(), px.end());
        }
      }
      ASSERT_TRUE(Open(MakeTga(s)));
      const int outBpp = depth == 16 ? 2 : 3;
      EXPECT_EQ(+doc_.header->biBitCount, outBpp * 8);
      const uint32_t stride = DibRowBytes(3, outBpp * 8);
      for (int x = 0; x < 3; ++x) {
        // Memory row 1 is the top; a 32-bit pixel's fourth byte is dropped.
        EXPECT_EQ(Bytes(doc_.bits + stride + x * outBpp, doc_.bits + stride + (x + 1) * outBpp),
                  Bytes(top.begin() + x * bpp, top.begin() + x * bpp + outBpp));
        EXPECT_EQ(Bytes(doc_.bits + x * outBpp, doc_.bits + (x + 1) * outBpp),
                  Bytes(bottom.begin() + x * bpp, bottom.begin() + x * bpp + outBpp));
      }
    }
  }
}

TEST_F(TgaCodecTest, PacketsReachingPastARowAreCutAtItsEnd) {
  TgaSpec s;
  s.imageType = 10;
  s.width = 5;
  s.height = 2;
  s.descriptor = 0x20;
  // Row 0: three raw pixels, then a run of five of which only two fit; the other three are lost
  // and row 1 comes from the next packet.
  ByteWriter w;
  w.U8(0x02).Append({1, 1, 1, 2, 2, 2, 3, 3, 3});
  w.U8(0x84).Append({9, 9, 9});
  w.U8(0x04).Append(Numbered(5, 1, 3));
  s.data = w.Take();
  ASSERT_TRUE(Open(MakeTga(s)));
  const uint32_t stride = DibRowBytes(5, 24);
  EXPECT_EQ(Bytes(doc_.bits + stride, doc_.bits + stride + 15),
            (Bytes{1, 1, 1, 2, 2, 2, 3, 3, 3, 9, 9, 9, 9, 9, 9}));
  EXPECT_EQ(Bytes(doc_.bits, doc_.bits + 15), Numbered(5, 1, 3));

  // A raw packet of four with room for two: only two are read, and the byte after them is the
  // next row's first packet header (here a run of two).
  s.width = 2;
  w.U8(0x03).Append({1, 1, 1, 2, 2, 2}).Append({0x81, 7, 7, 7});
  s.data = w.Take();
  ASSERT_TRUE(Open(MakeTga(s)));
  EXPECT_EQ(Bytes(doc_.bits + 8, doc_.bits + 14), (Bytes{1, 1, 1, 2, 2, 2}));
  EXPECT_EQ(Bytes(doc_.bits, doc_.bits + 6), (Bytes{7, 7, 7, 7, 7, 7}));

  // Right to left, 32 bits: a run fills from the right; alpha is dropped.
  s.width = 3;
  s.height = 1;
  s.depth = 32;
  s.descriptor = 0x10;
  w.U8(0x80).Append({1, 2, 3, 4}).U8(0x01).Append({5, 6, 7, 8, 9, 10, 11, 12});
  s.data = w.Take();
  ASSERT_TRUE(Open(MakeTga(s)));
  EXPECT_EQ(Bytes(doc_.bits, doc_.bits + 9), (Bytes{9, 10, 11, 5, 6, 7, 1, 2, 3}));
}

TEST_F(TgaCodecTest, RefusesOtherKindsOfFile) {
  TgaSpec good;
  good.data = Numbered(3, 2, 3);
  ASSERT_TRUE(Open(MakeTga(good)));
  for (uint8_t type : {0, 1, 3, 9, 11, 32}) {
    TgaSpec s = good;
    s.imageType = type;
    EXPECT_FALSE(Open(MakeTga(s))) << int(type);
  }
  TgaSpec mapped = good;
  mapped.colorMapType = 1;
  EXPECT_FALSE(Open(MakeTga(mapped)));
  for (uint8_t depth : {0, 8, 15, 31}) {
    TgaSpec s = good;
    s.depth = depth;
    EXPECT_FALSE(Open(MakeTga(s))) << int(depth);
  }
  for (auto [w, h] : {std::pair{0, 2}, std::pair{3, 0}}) {
    TgaSpec s = good;
    s.width = static_cast<uint16_t>(w);
    s.height = static_cast<uint16_t>(h);
    EXPECT_FALSE(Open(MakeTga(s)));
  }
  EXPECT_EQ(doc_.block.Data(), nullptr);
}

TEST_F(TgaCodecTest, ShortFilesAreRefusedBeforeAnythingIsAllocated) {
  TgaSpec s;
  s.idLength = 40;
  s.data = Numbered(3, 2, 3);
  Bytes file = MakeTga(s);
  ASSERT_TRUE(LoadDirectly(file));
  doc_.Clear();
  // Shorter than the header and its ID.
  EXPECT_FALSE(LoadDirectly(Bytes(file.begin(), file.begin() + 18 + 39)));
  EXPECT_FALSE(LoadDirectly(Bytes(file.begin(), file.begin() + 17)));
  // Pixel data short by one byte, raw and run-length.
  EXPECT_FALSE(LoadDirectly(Bytes(file.begin(), file.end() - 1)));
  // A tiny file claiming 65535 x 65535 pixels: nothing is allocated for it.
  s.width = 0xFFFF;
  s.height = 0xFFFF;
  EXPECT_FALSE(LoadDirectly(MakeTga(s)));
  s.imageType = 10;
  s.data = Bytes(2000, 0xFF);  // runs of 128 cover the claimed width only 2000 / 4 / 512 times
  EXPECT_FALSE(LoadDirectly(MakeTga(s)));
  EXPECT_EQ(doc_.block.Data(), nullptr);
  // A run-length file ending inside its last packet.
  s.width = 4;
  s.height = 1;
  s.data = {0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  EXPECT_FALSE(LoadDirectly(MakeTga(s)));
  s.data.push_back(12);
  EXPECT_TRUE(LoadDirectly(MakeTga(s)));
}

TEST_F(TgaCodecTest, AnEarlierImageInTheDocumentIsReplaced) {
  BmpRecipe bmp;
  bmp.width = 7;
  bmp.bitCount = 8;
  bmp.table = Bytes(1024, 0);
  ASSERT_TRUE(Open(MakeBmp(bmp), "first.bmp"));
  TgaSpec s;
  s.data = Numbered(3, 2, 3);
  ASSERT_TRUE(LoadDirectly(MakeTga(s)));
  EXPECT_EQ(doc_.width, 3);
  EXPECT_EQ(+doc_.header->biBitCount, 24);
  EXPECT_EQ(doc_.bits, doc_.block.Data() + 40);
}

TEST_F(TgaCodecTest, ThirtyTwoBitFilesComeBackAsTwentyFourBit) {
  TgaSpec s;
  s.depth = 32;
  s.data = Numbered(3, 2, 4);
  ASSERT_TRUE(Open(MakeTga(s)));
  ASSERT_TRUE(doc_.Save(Saved().c_str()));
  const Bytes saved = ReadFile(Saved());
  ASSERT_EQ(saved.size(), 18u + 18u);
  EXPECT_EQ(saved[2], 2);
  EXPECT_EQ(saved[16], 24);
  EXPECT_EQ(saved[17], 0);
  EXPECT_EQ(LoadU16LE(saved.data() + 12), 3);
  EXPECT_EQ(LoadU16LE(saved.data() + 14), 2);
  // Bottom row first (file row 0 of a bottom-up file), no padding, alpha gone.
  EXPECT_EQ(Bytes(saved.begin() + 18, saved.begin() + 27), (Bytes{1, 2, 3, 5, 6, 7, 9, 10, 11}));
}

TEST_F(TgaCodecTest, SixteenBitImagesSaveAsSixteenBitWords) {
  TgaSpec s;
  s.depth = 16;
  s.width = 3;
  s.height = 1;
  s.data = {0xFF, 0x7F, 0x21, 0x84, 0x00, 0x00};  // bit 15 of the second word is kept
  ASSERT_TRUE(Open(MakeTga(s)));
  ASSERT_TRUE(doc_.Save(Saved().c_str()));
  const Bytes saved = ReadFile(Saved());
  EXPECT_EQ(saved[16], 16);
  EXPECT_EQ(Bytes(saved.begin() + 18, saved.end()), s.data);

  // A 5-6-5 bit-field image is repacked as 5-5-5: pure red, green and blue stay pure.
  BmpRecipe bmp;
  bmp.width = 3;
  bmp.height = 1;
  bmp.bitCount = 16;
  bmp.compression = BI_BITFIELDS;
  bmp.masks = ByteWriter().U32(0xF800).U32(0x07E0).U32(0x001F).Take();
  bmp.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0};
  ASSERT_TRUE(Open(MakeBmp(bmp), "bitfields.bmp"));
  ASSERT_TRUE(doc_.Save(Saved().c_str()));
  const Bytes repacked = ReadFile(Saved());
  EXPECT_EQ(Bytes(repacked.begin() + 18, repacked.end()),
            (Bytes{0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}));
}

TEST_F(TgaCodecTest, WriterRefusesWhatItCannotWriteAndKeepsPicturesUpright) {
  const std::string out = Saved();
  EXPECT_FALSE(CodecOf<CTgaCodec>(doc_, CodecId::kTga).Save(out.c_str(), 0.9f));  // no image
  BmpRecipe bmp;
  bmp.bitCount = 8;
  bmp.table = Bytes(1024, 0);
  ASSERT_TRUE(Open(MakeBmp(bmp), "palette.bmp"));
  EXPECT_FALSE(doc_.Save(out.c_str()));
  bmp.bitCount = 32;
  bmp.table.clear();
  ASSERT_TRUE(Open(MakeBmp(bmp), "deep.bmp"));
  EXPECT_FALSE(doc_.Save(out.c_str()));
  EXPECT_FALSE(std::filesystem::exists(out));

  // A top-down bitmap is written bottom row first like any other.
  bmp.bitCount = 24;
  bmp.width = 1;
  bmp.height = -2;
  bmp.pixels = {1, 2, 3, 0, 4, 5, 6, 0};  // top row first
  ASSERT_TRUE(Open(MakeBmp(bmp), "topdown.bmp"));
  ASSERT_TRUE(doc_.Save(out.c_str()));
  const Bytes upright = ReadFile(out);
  EXPECT_EQ(Bytes(upright.begin() + 18, upright.end()), (Bytes{4, 5, 6, 1, 2, 3}));
  CImageDoc again;
  ASSERT_TRUE(again.Open(out.c_str(), 0));
  EXPECT_EQ(DocumentPixels(again), DocumentPixels(doc_));
}

TEST_F(TgaCodecTest, ReadsWhatAnIndependentEncoderWrites) {
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  // ImageMagick stores rows in its own order and records the origin bits as the picture's
  // orientation; -auto-orient turns what it reads into the picture the file describes.
  const auto reference = [&](const std::string& file) {
    const std::string bmp = dir_.File("reference.bmp");
    EXPECT_TRUE(RunCommand("convert " + file + " -auto-orient -compress none BMP3:" + bmp));
    CImageDoc expected;
    EXPECT_TRUE(expected.Open(bmp.c_str(), 0));
    return DocumentPixels(expected);
  };
  const char* variants[] = {
      "-orient BottomLeft", "-orient TopLeft", "-orient TopRight", "-orient BottomRight",
      "-compress RLE", "-orient TopLeft -compress RLE", "-orient TopRight -compress RLE",
      "-alpha set -orient BottomRight -compress RLE",
      "-resize 16x1100! -orient TopLeft",  // more rows than one scattered read takes
  };
  for (const char* options : variants) {
    SCOPED_TRACE(options);
    const std::string tga = dir_.File("rose.tga");
    ASSERT_TRUE(RunCommand(std::string("convert rose: ") + options + " " + tga));
    ASSERT_TRUE(doc_.Open(tga.c_str(), 0));
    const Rgb ours = DocumentPixels(doc_);
    EXPECT_GT(ours.width, 0);
    EXPECT_TRUE(ours == reference(tga));
    // And our own file reads back the same through the other decoder.
    const std::string mine = dir_.File("mine.tga");
    ASSERT_TRUE(doc_.Save(mine.c_str()));
    EXPECT_TRUE(ours == reference(mine));
  }
}

}  // namespace
}  // namespace pelmor::test
