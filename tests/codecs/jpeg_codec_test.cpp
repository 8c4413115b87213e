#include "codecs/jpeg_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <vector>

#include <jpeglib.h>

#include "platform/byte_reader.h"
#include "model/image_doc.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

namespace fs = std::filesystem;

struct Color {
  uint8_t r, g, b;
};

// The number of file descriptors this process holds.
size_t OpenDescriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// The number of components of a JPEG's first frame header, or -1.
int FrameComponents(const Bytes& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return jpeg[i + 9];
  }
  return -1;
}

// A JPEG written by libjpeg itself from grey rows, with a scan script of its own.
Bytes EncodeWithScans(int width, int height, const std::vector<jpeg_scan_info>& scans) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  cinfo.scan_info = scans.data();
  cinfo.num_scans = static_cast<int>(scans.size());
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(size_t(width) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * 3; ++x) row[x] = static_cast<JSAMPLE>(x * 7 + y * 13);
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&cinfo, &p, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes bytes(out, out + size);
  std::free(out);
  return bytes;
}

// A progressive script: the DC of all three components, then every AC coefficient of every
// component alone, with `refinements` successive-approximation passes after its first.
std::vector<jpeg_scan_info> ManyScans(int refinements) {
  std::vector<jpeg_scan_info> scans;
  scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
  for (int c = 0; c < 3; ++c) {
    for (int k = 1; k < 64; ++k) {
      scans.push_back({1, {c, 0, 0, 0}, k, k, 0, refinements});
      for (int al = refinements - 1; al >= 0; --al) {
        scans.push_back({1, {c, 0, 0, 0}, k, k, al + 1, al});
      }
    }
  }
  return scans;
}

class JpegCodecTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }
  bool Make(const std::string& options, const std::string& name) {
    return RunCommand("convert " + options + " " + Path(name));
  }
  // What ImageMagick (over the same library) decodes a file to.
  Rgb DecodedByImageMagick(const std::string& name) {
    const std::string bmp = Path("reference.bmp");
    EXPECT_TRUE(RunCommand("convert " + Path(name) + " -compress none BMP3:" + bmp));
    CImageDoc reference;
    EXPECT_TRUE(reference.Open(bmp.c_str(), 0));
    return DocumentPixels(reference);
  }
  // A fresh DIB in `doc`, every pixel from `at` (x, y from the top): the picture in 24 bits.
  static void FillTrueColor(CImageDoc& doc, int w, int h, const std::function<Color(int, int)>& at) {
    ASSERT_TRUE(doc.CreateDib(w, h, 24, 0));
    const uint32_t stride = DibRowBytes(w, 24);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint8_t* p = doc.bits + size_t(h - 1 - y) * stride + 3 * x;
        const Color c = at(x, y);
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      }
    }
  }
  // The JPEG our writer makes of a document.
  Bytes Written(CImageDoc& doc, int quality = 75) {
    const std::string out = Path("written.jpg");
    fs::remove(out);
    EXPECT_TRUE(CodecOf<CJpegCodec>(doc, CodecId::kJpeg).WriteJpeg(out.c_str(), quality));
    return ReadFile(out);
  }

  TempDir dir_;
  CImageDoc doc_;
};

TEST_F(JpegCodecTest, GreyFilesLoadAsEightBitWithAGreyTable) {
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ASSERT_TRUE(Make("-size 37x21 gradient: -type Grayscale", "grey.jpg"));
  ASSERT_EQ(FrameComponents(ReadFile(Path("grey.jpg"))), 1);
  ASSERT_TRUE(doc_.Open(Path("grey.jpg").c_str(), 0));
  EXPECT_EQ(doc_.currentCodec, doc_.Codec(CodecId::kJpeg));
  EXPECT_EQ(+doc_.header->biBitCount, 8);
  EXPECT_EQ(+doc_.header->biClrUsed, 256u);
  EXPECT_EQ(+doc_.header->biClrImportant, 256u);
  EXPECT_EQ(+doc_.header->biSizeImage, 40u * 21u);
  EXPECT_EQ(doc_.bits, doc_.block.Data() + 40 + 1024);
  const auto* table = reinterpret_cast<const uint8_t*>(doc_.header) + 40;
  for (int i : {0, 1, 128, 255}) {
    EXPECT_EQ(Bytes(table + 4 * i, table + 4 * i + 4),
              (Bytes{uint8_t(i), uint8_t(i), uint8_t(i), 0}));
  }
  ASSERT_NE(doc_.palette, nullptr);
  EXPECT_EQ(doc_.palette->entries.size(), 256u);
  EXPECT_TRUE(DocumentPixels(doc_) == DecodedByImageMagick("grey.jpg"));
}

TEST_F(JpegCodecTest, ColourFilesLoadAsTwentyFourBitWithTheTopScanLineLast) {
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ASSERT_TRUE(Make("rose: -quality 85", "rose.jpg"));
  ASSERT_TRUE(doc_.Open(Path("rose.jpg").c_str(), 0));
  EXPECT_EQ(+doc_.header->biBitCount, 24);
  EXPECT_EQ(+doc_.header->biClrUsed, 0u);
  EXPECT_EQ(doc_.ColorCount(), 0);
  EXPECT_EQ(doc_.palette, nullptr);
  EXPECT_EQ(doc_.bits, doc_.block.Data() + 40);
  EXPECT_TRUE(DocumentPixels(doc_) == DecodedByImageMagick("rose.jpg"));
  // A progressive file of the same picture gives the same kind of image.
  ASSERT_TRUE(Make("rose: -interlace JPEG", "progressive.jpg"));
  ASSERT_TRUE(doc_.Open(Path("progressive.jpg").c_str(), 0));
  EXPECT_TRUE(DocumentPixels(doc_) == DecodedByImageMagick("progressive.jpg"));

  // 3 x 2: rows of 9 bytes padded to 12; the top (red) scan line is the last row in memory.
  ASSERT_TRUE(Make("-size 3x1 xc:red xc:blue -append -quality 100 -sampling-factor 1x1",
                   "small.jpg"));
  ASSERT_TRUE(doc_.Open(Path("small.jpg").c_str(), 0));
  EXPECT_EQ(+doc_.header->biSizeImage, 24u);
  EXPECT_EQ(doc_.block.Size(), 40u + 24u);
  const uint8_t* top = doc_.bits + 12;
  const uint8_t* bottom = doc_.bits;
  for (int x = 0; x < 3; ++x) {
    EXPECT_GT(top[3 * x + 2], 200);  // red
    EXPECT_LT(top[3 * x], 60);
    EXPECT_GT(bottom[3 * x], 200);  // blue
    EXPECT_LT(bottom[3 * x + 2], 60);
  }
}

TEST_F(JpegCodecTest, RefusesCmykAndFilesThatAreNoJpeg) {
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ASSERT_TRUE(Make("rose: -colorspace CMYK", "cmyk.jpg"));
  ASSERT_EQ(FrameComponents(ReadFile(Path("cmyk.jpg"))), 4);
  EXPECT_FALSE(doc_.Open(Path("cmyk.jpg").c_str(), 0));
  doc_.fileName = Path("cmyk.jpg");
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Load(0));
  EXPECT_EQ(doc_.width, 0);
  EXPECT_EQ(doc_.block.Data(), nullptr);

  WriteFile(Path("text.jpg"), Bytes(100, 'x'));
  EXPECT_FALSE(doc_.Open(Path("text.jpg").c_str(), 0));
  // Cut inside the headers: an error. Cut inside the picture data: the library pads the rest and
  // the picture opens.
  ASSERT_TRUE(Make("rose:", "whole.jpg"));
  const Bytes whole = ReadFile(Path("whole.jpg"));
  WriteFile(Path("headers.jpg"), Bytes(whole.begin(), whole.begin() + 100));
  EXPECT_FALSE(doc_.Open(Path("headers.jpg").c_str(), 0));
  WriteFile(Path("half.jpg"), Bytes(whole.begin(), whole.begin() + long(whole.size() / 2)));
  EXPECT_TRUE(doc_.Open(Path("half.jpg").c_str(), 0));
  EXPECT_EQ(doc_.width, 70);
}

TEST_F(JpegCodecTest, HoldsExactlyOneImage) {
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ASSERT_TRUE(Make("rose:", "rose.jpg"));
  ASSERT_TRUE(doc_.Open(Path("rose.jpg").c_str(), 5));
  EXPECT_EQ(doc_.currentImage, 0);
  EXPECT_EQ(doc_.imageCount, 1);
  EXPECT_TRUE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).GoToImage(0));
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).GoToImage(1));
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).LoadNext());
  EXPECT_FALSE(doc_.NextImage());
  EXPECT_NE(doc_.block.Data(), nullptr);

  // A document that already holds an image is left exactly as it is.
  const BITMAPINFOHEADER* before = doc_.header;
  ASSERT_TRUE(Make("-size 9x4 xc:gray", "other.jpg"));
  doc_.fileName = Path("other.jpg");
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Load(0));
  EXPECT_EQ(doc_.header, before);
  EXPECT_EQ(doc_.width, 70);
  EXPECT_EQ(doc_.height, 46);
}

TEST_F(JpegCodecTest, HostileFilesAreRefusedCheaply) {
  // A progressive file claiming 60000 x 60000 pixels would make the library hold gigabytes of
  // coefficients: the picture is refused before decompression starts.
  Bytes huge = EncodeWithScans(16, 16, ManyScans(0));
  for (size_t i = 2; i + 8 < huge.size(); ++i) {
    if (huge[i] == 0xFF && huge[i + 1] == 0xC2) {
      huge[i + 5] = 0xEA, huge[i + 6] = 0x60;  // height 60000
      huge[i + 7] = 0xEA, huge[i + 8] = 0x60;  // width 60000
      break;
    }
  }
  WriteFile(Path("huge.jpg"), huge);
  EXPECT_FALSE(doc_.Open(Path("huge.jpg").c_str(), 0));

  // More than a thousand scans is a file built to keep the decoder busy; fewer is fine.
  const std::vector<jpeg_scan_info> many = ManyScans(5);
  ASSERT_GT(many.size(), 1000u);
  WriteFile(Path("many.jpg"), EncodeWithScans(16, 16, many));
  EXPECT_FALSE(doc_.Open(Path("many.jpg").c_str(), 0));
  WriteFile(Path("some.jpg"), EncodeWithScans(16, 16, ManyScans(4)));
  EXPECT_TRUE(doc_.Open(Path("some.jpg").c_str(), 0));
}

TEST_F(JpegCodecTest, QualityIsTheRatioTimesHundredTruncated) {
  const std::pair<float, std::optional<int32_t>> cases[] = {
      {0.9f, 89},   {1.0f, 100},         {1.01f, 100},         {1.02f, std::nullopt},
      {0.75f, 75},  {0.7f, 69},          {0.29f, 28},          {0.0f, 0},
      {-0.005f, 0}, {-0.02f, std::nullopt}, {-1.0f, std::nullopt},
      {std::numeric_limits<float>::quiet_NaN(), std::nullopt},
      {std::numeric_limits<float>::infinity(), std::nullopt},
      {1e30f, std::nullopt},
  };
  for (const auto& [ratio, quality] : cases) {
    EXPECT_EQ(CJpegCodec::QualityForRatio(ratio), quality) << ratio;
  }

  FillTrueColor(doc_, 16, 16, [](int x, int y) {
    return Color{uint8_t(x * 16), uint8_t(y * 16), uint8_t(x * y)};
  });
  const std::string out = Path("ratio.jpg");
  ASSERT_TRUE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Save(out.c_str(), 0.9f));
  const Bytes saved = ReadFile(out);
  EXPECT_EQ(saved, Written(doc_, 89));
  EXPECT_NE(saved, Written(doc_, 90));
  ASSERT_TRUE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Save(out.c_str(), 1.01f));
  EXPECT_EQ(ReadFile(out), Written(doc_, 100));
  ASSERT_TRUE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Save(out.c_str(), -0.005f));
  EXPECT_EQ(ReadFile(out), Written(doc_, 0));

  fs::remove(out);
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Save(out.c_str(), 1.02f));
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Save(out.c_str(), -0.02f));
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).WriteJpeg(out.c_str(), 101));
  EXPECT_FALSE(fs::exists(out));
  CImageDoc empty;
  EXPECT_FALSE(CodecOf<CJpegCodec>(empty, CodecId::kJpeg).Save(out.c_str(), 0.9f));
  EXPECT_FALSE(fs::exists(out));
}

// Every source depth must give exactly the file its 24-bit equivalent gives.
TEST_F(JpegCodecTest, EveryDepthIsWrittenAsThePictureItHolds) {
  CImageDoc doc;
  const auto reference = [&](int w, int h, const std::function<Color(int, int)>& at) {
    CImageDoc truth;
    FillTrueColor(truth, w, h, at);
    return Written(truth);
  };
  const auto stride = [](int w, int bits) { return DibRowBytes(w, bits); };

  // 1 bit, width 10: rows of 4 bytes, 8 pixels from the first byte and 2 from the top of the
  // second; the bits after them and the padding are ignored.
  {
    const Color c0{200, 10, 30}, c1{5, 90, 250};
    ASSERT_TRUE(doc.CreateDib(10, 3, 1, 2));
    doc.header->biClrUsed = 2;
    auto* table = reinterpret_cast<uint8_t*>(doc.header) + 40;
    const uint8_t entries[] = {c0.b, c0.g, c0.r, 0, c1.b, c1.g, c1.r, 0};
    std::memcpy(table, entries, 8);
    const auto bit = [](int x, int y) { return (x * 3 + y) % 4 == 0 || x == 9; };
    for (int y = 0; y < 3; ++y) {
      uint8_t* row = doc.bits + size_t(2 - y) * 4;
      std::memset(row, 0xFF, 4);
      row[0] = 0;
      row[1] &= 0x3F;
      for (int x = 0; x < 10; ++x) {
        if (bit(x, y)) row[x / 8] |= uint8_t(0x80 >> (x % 8));
      }
    }
    EXPECT_EQ(Written(doc), reference(10, 3, [&](int x, int y) { return bit(x, y) ? c1 : c0; }));
  }
  // 4 bits, odd width.
  {
    ASSERT_TRUE(doc.CreateDib(5, 2, 4, 16));
    auto* table = reinterpret_cast<uint8_t*>(doc.header) + 40;
    for (int i = 0; i < 16; ++i) {
      table[4 * i] = uint8_t(i * 16), table[4 * i + 1] = uint8_t(255 - i), table[4 * i + 2] = uint8_t(i);
    }
    const auto index = [](int x, int y) { return (x + 5 * y) % 16; };
    for (int y = 0; y < 2; ++y) {
      uint8_t* row = doc.bits + size_t(1 - y) * stride(5, 4);
      std::memset(row, 0xAB, stride(5, 4));
      for (int x = 0; x < 5; ++x) {
        uint8_t& byte = row[x / 2];
        byte = x % 2 ? uint8_t((byte & 0xF0) | index(x, y)) : uint8_t((byte & 0x0F) | index(x, y) << 4);
      }
    }
    EXPECT_EQ(Written(doc), reference(5, 2, [&](int x, int y) {
                const int i = index(x, y);
                return Color{uint8_t(i), uint8_t(255 - i), uint8_t(i * 16)};
              }));
  }
  // 8 bits with a table of four colours: indices past it are black.
  {
    ASSERT_TRUE(doc.CreateDib(6, 2, 8, 4));
    doc.header->biClrUsed = 4;
    const uint8_t entries[] = {1, 2, 3, 0, 40, 50, 60, 0, 70, 80, 90, 0, 255, 255, 255, 0};
    std::memcpy(reinterpret_cast<uint8_t*>(doc.header) + 40, entries, sizeof entries);
    const uint8_t pixels[] = {0, 1, 2, 3, 200, 5, 0, 0, 3, 2, 1, 0, 4, 255, 0, 0};  // bottom row first
    std::memcpy(doc.bits, pixels, sizeof pixels);
    const Color colors[] = {{3, 2, 1}, {60, 50, 40}, {90, 80, 70}, {255, 255, 255}};
    EXPECT_EQ(Written(doc), reference(6, 2, [&](int x, int y) {
                const uint8_t i = pixels[(1 - y) * 8 + x];
                return i < 4 ? colors[i] : Color{0, 0, 0};
              }));
  }
  // 16 bits 5-5-5, odd width (rows of 8 bytes): 0 -> 0, 31 -> 255, v -> 8v + 8; bit 15 ignored.
  {
    const uint16_t words[2][3] = {{0x7FFF, 0x0000, 0x0421}, {0xFFFF, 0x7C00, 0x3DEF}};
    const Color colors[2][3] = {{{255, 255, 255}, {0, 0, 0}, {16, 16, 16}},
                                {{255, 255, 255}, {255, 0, 0}, {128, 128, 128}}};
    ASSERT_TRUE(doc.CreateDib(3, 2, 16, 0));
    for (int y = 0; y < 2; ++y) {
      uint8_t* row = doc.bits + size_t(1 - y) * 8;
      std::memset(row, 0x5A, 8);
      for (int x = 0; x < 3; ++x) StoreU16LE(row + 2 * x, words[y][x]);
    }
    EXPECT_EQ(Written(doc), reference(3, 2, [&](int x, int y) { return colors[y][x]; }));
    // The same words as bit fields 5-6-5: red and blue through the same levels, green widened.
    ASSERT_TRUE(doc.CreateDib(3, 2, 16, 3));
    doc.header->biCompression = BI_BITFIELDS;
    auto* masks = reinterpret_cast<uint8_t*>(doc.header) + 40;
    StoreU32LE(masks, 0xF800), StoreU32LE(masks + 4, 0x07E0), StoreU32LE(masks + 8, 0x001F);
    const uint16_t w565[3] = {0xF800, 0x07E0, 0x0841};  // red 31; green 63; 1, 2, 1
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) StoreU16LE(doc.bits + size_t(y) * 8 + 2 * x, w565[x]);
    }
    const Color c565[3] = {{255, 0, 0}, {0, 255, 0}, {16, 8, 16}};
    EXPECT_EQ(Written(doc), reference(3, 2, [&](int x, int) { return c565[x]; }));
  }
  // 32 bits: the fourth byte is ignored; bit fields in another order are honoured.
  {
    ASSERT_TRUE(doc.CreateDib(3, 2, 32, 3));
    const auto at = [](int x, int y) { return Color{uint8_t(x * 80), uint8_t(y * 90), uint8_t(7)}; };
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const Color c = at(x, y);
        uint8_t* p = doc.bits + size_t(1 - y) * 12 + 4 * x;
        p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 0xEE;
      }
    }
    EXPECT_EQ(Written(doc), reference(3, 2, at));
    doc.header->biCompression = BI_BITFIELDS;
    auto* masks = reinterpret_cast<uint8_t*>(doc.header) + 40;
    StoreU32LE(masks, 0x0000FF00), StoreU32LE(masks + 4, 0x00FF0000), StoreU32LE(masks + 8, 0xFF000000);
    EXPECT_EQ(Written(doc), reference(3, 2, [&](int x, int y) {
                const Color c = at(x, y);
                return Color{c.g, c.r, 0xEE};
              }));
  }
  // A top-down image comes out the right way up.
  {
    const auto at = [](int x, int y) { return Color{uint8_t(x * 30), uint8_t(y * 60), 99}; };
    FillTrueColor(doc, 5, 4, at);
    const uint32_t s = stride(5, 24);
    std::vector<uint8_t> flipped(doc.bits, doc.bits + s * 4);
    for (int m = 0; m < 4; ++m) std::memcpy(doc.bits + m * s, flipped.data() + (3 - m) * s, s);
    doc.header->biHeight = -4;
    EXPECT_EQ(Written(doc), reference(5, 4, at));
  }
}

TEST_F(JpegCodecTest, GreyImagesAreWrittenAsThreeComponentsOfTheirTableValues) {
  ASSERT_TRUE(doc_.CreateDib(16, 16, 8, 256));
  auto* table = reinterpret_cast<uint8_t*>(doc_.header) + 40;
  for (int i = 0; i < 256; ++i) table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = uint8_t(255 - i);
  std::memset(doc_.bits, 10, doc_.header->biSizeImage);
  const Bytes jpeg = Written(doc_, 100);
  EXPECT_EQ(FrameComponents(jpeg), 3);
  WriteFile(Path("grey-out.jpg"), jpeg);
  CImageDoc again;
  ASSERT_TRUE(again.Open(Path("grey-out.jpg").c_str(), 0));
  EXPECT_EQ(+again.header->biBitCount, 24);
  for (uint8_t v : DocumentPixels(again).bgr) EXPECT_NEAR(v, 245, 1);
}

TEST_F(JpegCodecTest, RoundTripAtFullQualityStaysClose) {
  if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ASSERT_TRUE(RunCommand("convert rose: BMP3:" + Path("rose.bmp")));
  ASSERT_TRUE(doc_.Open(Path("rose.bmp").c_str(), 0));
  doc_.compressionRatio = 1.0f;
  ASSERT_TRUE(doc_.Save(Path("rose.jpg").c_str()));
  CImageDoc again;
  ASSERT_TRUE(again.Open(Path("rose.jpg").c_str(), 0));
  const Rgb a = DocumentPixels(doc_), b = DocumentPixels(again);
  ASSERT_EQ(a.bgr.size(), b.bgr.size());
  double total = 0;
  for (size_t i = 0; i < a.bgr.size(); ++i) total += std::abs(int(a.bgr[i]) - int(b.bgr[i]));
  // Chroma is stored at half resolution, so colour edges cost a little even at quality 100.
  EXPECT_LT(total / double(a.bgr.size()), 4.0);
}

TEST_F(JpegCodecTest, FailuresLeaveNoFileBehindAndNothingOpen) {
  const size_t before = OpenDescriptors();
  // Run-length rows cannot be written: refused before the file is created.
  ASSERT_TRUE(doc_.CreateDib(4, 2, 8, 256));
  doc_.header->biCompression = BI_RLE8;
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).WriteJpeg(Path("rle.jpg").c_str(), 75));
  EXPECT_FALSE(fs::exists(Path("rle.jpg")));
  doc_.header->biCompression = BI_RGB;
  // A file that cannot be created.
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).WriteJpeg(Path("missing/dir/x.jpg").c_str(), 75));
  EXPECT_TRUE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).WriteJpeg(Path("fine.jpg").c_str(), 75));
  // Reading: a library error half-way, and a file that is not there.
  Bytes cut = ReadFile(Path("fine.jpg"));
  cut.resize(30);
  WriteFile(Path("cut.jpg"), cut);
  doc_.Clear();
  doc_.fileName = Path("cut.jpg");
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Load(0));
  doc_.fileName = Path("absent.jpg");
  EXPECT_FALSE(CodecOf<CJpegCodec>(doc_, CodecId::kJpeg).Load(0));
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace pelmor::test
