#include "amplification_fixtures.h"

#include "codecs/gif_fixtures.h"
#include "codecs/png_fixtures.h"
#include "codecs/tiff_fixtures.h"
#include "model/dib.h"

namespace pelmor::test {

namespace {

uint64_t Dib(uint64_t width, uint64_t height, uint32_t bits, uint32_t colours) {
  return 40 + 4 * uint64_t{colours} + uint64_t{DibRowBytes(static_cast<uint32_t>(width), bits)} * height;
}

uint64_t Nothing(uint32_t) { return 0; }

// A TIFF page of the given size and depth whose single strip holds the given bytes.
Bytes TiffWithStrip(uint32_t width, uint32_t height, std::vector<uint32_t> bitsPerSample,
                    uint32_t photometric, uint32_t compression, Bytes strip,
                    std::vector<TiffField> extra = {}) {
  TiffPage page;
  page.fields = {Long(256, {width}), Long(257, {height}), Short(258, std::move(bitsPerSample)),
                 Short(259, {compression}), Short(262, {photometric}), Long(278, {height})};
  for (TiffField& f : extra) page.fields.push_back(std::move(f));
  page.strips = {std::move(strip)};
  return MakeTiff(TiffFile({page}));
}

// A text tag claiming n bytes at an offset inside a tiny file.
Bytes TextCount(uint32_t n) {
  TiffField text;
  text.tag = 270;
  text.type = 2;
  text.count = n;
  text.raw = Bytes{8, 0, 0, 0};
  return TiffWithStrip(1, 1, {8}, 1, 1, {0x80}, {text});
}
uint64_t TextCountPicture(uint32_t) { return Dib(1, 1, 8, 256); }

// A T.6 page n pixels wide and one row high: one vertical-0 code makes the row white.
Bytes FaxWide(uint32_t n) { return TiffWithStrip(n, 1, {1}, 0, 4, {0x80}); }
uint64_t FaxWidePicture(uint32_t n) { return Dib(n, 1, 1, 2); }

// 48-bit pages n x n whose one strip is almost empty (none, LZW, PackBits), and a 1-bit fax page
// whose strip fails at its first code.
Bytes StripTinyNone(uint32_t n) { return TiffWithStrip(n, n, {16, 16, 16}, 2, 1, {7}); }
Bytes StripTinyLzw(uint32_t n) { return TiffWithStrip(n, n, {16, 16, 16}, 2, 5, LzwCompress({7})); }
Bytes StripTinyPackBits(uint32_t n) {
  return TiffWithStrip(n, n, {16, 16, 16}, 2, 32773, PackBitsLiterals({7}));
}
Bytes StripTinyFax(uint32_t n) { return TiffWithStrip(n, n, {1}, 0, 4, {0x00, 0x00}); }
uint64_t StripTinyPicture(uint32_t n) { return Dib(n, n, 24, 0); }
uint64_t StripTinyFaxPicture(uint32_t n) { return Dib(n, n, 1, 2); }

// An LZW page n pixels wide and one row high, 1 bit deep.
Bytes LzwWide(uint32_t n) { return TiffWithStrip(n, 1, {1}, 1, 5, LzwCompress(Bytes(64, 0x55))); }
uint64_t LzwWidePicture(uint32_t n) { return Dib(n, 1, 1, 2); }

// 180 frames covering an n x n canvas, each restored to the previous picture afterwards, and each
// drawing nothing (a clear code and the end code).
Bytes GifRestorePrevious(uint32_t n) {
  GifBuilder gif(static_cast<int>(n), static_cast<int>(n), GifTable({0x000000, 0xFFFFFF}));
  for (int i = 0; i < 180; ++i) {
    gif.Control(3).RawFrame(0, 0, static_cast<int>(n), static_cast<int>(n), 2, GifLzw({}, 2));
  }
  return gif.Trailer().Take();
}
uint64_t GifPicture(uint32_t n) { return Dib(n, n, 32, 0); }

// A progressive grey JPEG of n x n whose scans carry no data at all.
Bytes JpegEmptyScans(uint32_t n) {
  ByteWriter w;
  w.U16BE(0xFFD8);
  w.U16BE(0xFFDB).U16BE(67).U8(0).Fill(64, 1);
  w.U16BE(0xFFC2).U16BE(11).U8(8).U16BE(n).U16BE(n).U8(1).U8(1).U8(0x11).U8(0);
  for (uint8_t tableClass : {0x00, 0x10}) {  // DC and AC: one symbol of one bit each
    w.U16BE(0xFFC4).U16BE(20).U8(tableClass).U8(1).Fill(15, 0).U8(0);
  }
  w.U16BE(0xFFDA).U16BE(8).U8(1).U8(1).U8(0).U8(0).U8(0).U8(0);  // DC first
  while (w.Size() + 12 <= 4096) {
    w.U16BE(0xFFDA).U16BE(8).U8(1).U8(1).U8(0).U8(1).U8(63).U8(0);  // AC first
  }
  w.U16BE(0xFFD9);
  return w.Take();
}
uint64_t JpegPicture(uint32_t n) { return Dib(n, n, 8, 256); }
// A progressive file keeps every coefficient (two bytes each) until its last scan is read.
uint64_t JpegCoefficients(uint32_t n) { return uint64_t{(n + 7) / 8} * ((n + 7) / 8) * 128; }

// A blank 1-bit page of n x n, to be saved as JPEG.
Bytes BilevelPage(uint32_t n) { return TiffWithStrip(n, n, {1}, 1, 1, {0}); }
uint64_t BilevelPicture(uint32_t n) { return Dib(n, n, 1, 2); }

// n one-pixel pages in a chain.
Bytes PageChain(uint32_t n) {
  std::vector<TiffPage> pages;
  for (uint32_t i = 0; i < n; ++i) {
    TiffPage page;
    page.fields = {Long(256, {1}), Long(257, {1}), Short(258, {8}), Short(262, {1})};
    page.strips = {{0}};
    pages.push_back(std::move(page));
  }
  return MakeTiff(TiffFile(std::move(pages)));
}
uint64_t PageChainPicture(uint32_t) { return Dib(1, 1, 8, 256); }

// PNG pictures n x n whose image data stops inside the first row: a 16-bit RGBA one, whose
// inflated rows are 2.7 times its picture, and an interlaced 1-bit one, whose rows were once placed
// pixel by pixel.
Bytes PngTinyData(uint32_t n, uint8_t depth, uint8_t colourType, uint8_t interlace) {
  return PngFile({PngHeaderChunk(n, n, depth, colourType, interlace),
                  PngChunk("IDAT", ZlibStored(Bytes{1, 0x40, 0x80, 0xC0, 0xFF})), PngChunk("IEND", {})});
}
Bytes PngRgba16TinyData(uint32_t n) { return PngTinyData(n, 16, 6, 0); }
Bytes PngInterlacedBitsTinyData(uint32_t n) { return PngTinyData(n, 1, 0, 1); }
uint64_t PngRgbaPicture(uint32_t n) { return Dib(n, n, 24, 0); }
uint64_t PngBitsPicture(uint32_t n) { return Dib(n, n, 1, 2); }

}  // namespace

const std::vector<Amplifier>& Amplifiers() {
  static const std::vector<Amplifier> kAll = {
      {"tiff-text-count.tif", TextCount, TextCountPicture, Nothing, 1u << 30, true,
       Amplifier::kOpen},
      {"tiff-fax-wide.tif", FaxWide, FaxWidePicture, Nothing, 1u << 24, true, Amplifier::kOpen},
      {"tiff-strip-tiny-none.tif", StripTinyNone, StripTinyPicture, Nothing, 1024, true,
       Amplifier::kOpen},
      {"tiff-strip-tiny-lzw.tif", StripTinyLzw, StripTinyPicture, Nothing, 1024, true,
       Amplifier::kOpen},
      {"tiff-strip-tiny-packbits.tif", StripTinyPackBits, StripTinyPicture, Nothing, 1024, true,
       Amplifier::kOpen},
      {"tiff-strip-tiny-fax.tif", StripTinyFax, StripTinyFaxPicture, Nothing, 4096, false,
       Amplifier::kOpen},
      {"tiff-lzw-wide.tif", LzwWide, LzwWidePicture, Nothing, 1u << 24, true, Amplifier::kOpen},
      {"gif-restore-previous.gif", GifRestorePrevious, GifPicture, Nothing, 1024, true,
       Amplifier::kOpenAndStepThrough},
      {"jpeg-empty-scans.jpg", JpegEmptyScans, JpegPicture, JpegCoefficients, 2048, false,
       Amplifier::kOpen},
      // Above 64 MiB of coefficients for more blocks than the file could code, refused at once.
      {"jpeg-coefficients-beyond-file.jpg", JpegEmptyScans, JpegPicture, Nothing, 16000, false,
       Amplifier::kOpen},
      {"tiff-bilevel-to-jpeg.tif", BilevelPage, BilevelPicture, Nothing, 4096, true,
       Amplifier::kOpenAndSaveJpeg},
      {"tiff-page-chain.tif", PageChain, PageChainPicture, Nothing, 200, true,
       Amplifier::kOpenAndStepThrough},
      {"png-tiny-data-16bit-rgba-header.png", PngRgba16TinyData, PngRgbaPicture, Nothing, 2048, true,
       Amplifier::kOpen},
      {"png-tiny-data-interlaced-1bit-header.png", PngInterlacedBitsTinyData, PngBitsPicture, Nothing,
       16384, true, Amplifier::kOpen},
  };
  return kAll;
}

}  // namespace pelmor::test
