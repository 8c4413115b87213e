// The pixel stage of the PNG reader: the output DIB, the row filters (filter method 0 of the PNG
// standard), the Adam7 passes, and the conversion of rows into DIB rows.
#include <cstdlib>
#include <cstring>

#include "codecs/png_codec.h"
#include "codecs/png_pixels.h"
#include "model/checked_size.h"
#include "model/dib.h"
#include "model/image_doc.h"

namespace pelmor {

namespace {

constexpr uint8_t kPaletteFlag = 1;
constexpr uint8_t kColourFlag = 2;

struct PassLayout {
  uint32_t x0, dx, y0, dy;
};
// Pass 0 is a whole image stored without interlacing; 1 to 7 are the Adam7 passes.
constexpr PassLayout kPasses[8] = {{0, 1, 0, 1}, {0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8},
                                   {2, 4, 0, 4}, {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};

}  // namespace

namespace png_pixels {

namespace {

template <uint32_t kBpp>
void UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n) {
  switch (type) {
    case 1:
      for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - kBpp]);
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
      break;
    case 3: {
      const size_t lead = n < kBpp ? n : kBpp;
      for (size_t i = 0; i < lead; ++i) row[i] = uint8_t(row[i] + (prev[i] >> 1));
      for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + ((row[i - kBpp] + prev[i]) >> 1));
      break;
    }
    case 4: {
      const size_t lead = n < kBpp ? n : kBpp;
      for (size_t i = 0; i < lead; ++i) row[i] = uint8_t(row[i] + prev[i]);
      for (size_t i = kBpp; i < n; ++i) {
        row[i] = uint8_t(row[i] + Paeth(row[i - kBpp], prev[i], prev[i - kBpp]));
      }
      break;
    }
  }
}

// The first row of a pass: the row above is zeros, so Up changes nothing, Average adds half the
// left byte and Paeth always predicts the left byte.
template <uint32_t kBpp>
void UnfilterFirstRow(uint8_t type, uint8_t* row, size_t n) {
  switch (type) {
    case 1:
    case 4:
      for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - kBpp]);
      break;
    case 3:
      for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + (row[i - kBpp] >> 1));
      break;
  }
}

template <uint32_t kBpp>
void UnfilterAny(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n) {
  if (prev == nullptr) {
    UnfilterFirstRow<kBpp>(type, row, n);
  } else {
    UnfilterRow<kBpp>(type, row, prev, n);
  }
}

}  // namespace

bool Unfilter(uint8_t type, uint8_t* row, const uint8_t* previous, size_t length, uint32_t bpp) {
  if (type > 4) return false;
  if (type == 0) return true;
  switch (bpp) {
    case 1: UnfilterAny<1>(type, row, previous, length); break;
    case 2: UnfilterAny<2>(type, row, previous, length); break;
    case 3: UnfilterAny<3>(type, row, previous, length); break;
    case 4: UnfilterAny<4>(type, row, previous, length); break;
    case 6: UnfilterAny<6>(type, row, previous, length); break;
    case 8: UnfilterAny<8>(type, row, previous, length); break;
    default: return false;
  }
  return true;
}

namespace {

// One 24-bit pixel per source pixel: kChannels samples of kSampleBytes bytes each (grey, grey +
// alpha, RGB, RGBA), the first byte of a sample being its most significant.
template <int kChannels, int kSampleBytes>
void WriteTrueColour(const RowWriter& w, const uint8_t* src, uint8_t* dst) {
  constexpr bool kGrey = kChannels <= 2;
  constexpr bool kAlpha = kChannels == 2 || kChannels == 4;
  constexpr int kPixelBytes = kChannels * kSampleBytes;
  const uint32_t kr = w.backColor & 0xFF;
  const uint32_t kg = (w.backColor >> 8) & 0xFF;
  const uint32_t kb = (w.backColor >> 16) & 0xFF;
  uint8_t* d = dst + size_t(w.x0) * 3;
  const size_t step = size_t(w.dx) * 3;
  for (uint32_t i = 0; i < w.width; ++i, src += kPixelBytes, d += step) {
    uint32_t r = src[0];
    uint32_t g = kGrey ? r : src[kSampleBytes];
    uint32_t b = kGrey ? r : src[2 * kSampleBytes];
    if constexpr (kAlpha) {
      const uint32_t a = src[(kChannels - 1) * kSampleBytes];
      r = (r * a + kr * (255 - a)) >> 8;
      g = (g * a + kg * (255 - a)) >> 8;
      b = (b * a + kb * (255 - a)) >> 8;
    }
    d[0] = uint8_t(b);
    d[1] = uint8_t(g);
    d[2] = uint8_t(r);
  }
}

void WriteIndexed(const RowWriter& w, const uint8_t* src, uint8_t* dst) {
  const uint32_t n = w.width;
  if (!w.interlaced) {
    switch (w.bitDepth) {
      case 1: std::memcpy(dst, src, (size_t(n) + 7) / 8); return;
      case 4: std::memcpy(dst, src, (size_t(n) + 1) / 2); return;
      case 8: std::memcpy(dst, src, n); return;
      case 2: {
        // Four 2-bit values per source byte become two bytes of two nibbles.
        const uint32_t whole = n / 4;
        for (uint32_t k = 0; k < whole; ++k) {
          const uint32_t v = src[k];
          dst[2 * k] = uint8_t((v >> 6) << 4 | ((v >> 4) & 3));
          dst[2 * k + 1] = uint8_t(((v >> 2) & 3) << 4 | (v & 3));
        }
        for (uint32_t i = whole * 4; i < n; ++i) {
          const uint32_t v = (src[i / 4] >> (6 - 2 * (i % 4))) & 3;
          if (i % 2 == 0) {
            dst[i / 2] = uint8_t(v << 4);
          } else {
            dst[i / 2] = uint8_t(dst[i / 2] | v);
          }
        }
        return;
      }
      case 16:
        for (uint32_t i = 0; i < n; ++i) dst[i] = src[2 * i];
        return;
    }
    return;
  }
  uint32_t x = w.x0;
  switch (w.bitDepth) {
    case 1:
      for (uint32_t i = 0; i < n; ++i, x += w.dx) {
        const uint32_t v = (src[i / 8] >> (7 - i % 8)) & 1;
        dst[x / 8] = uint8_t(dst[x / 8] | v << (7 - x % 8));
      }
      return;
    case 2:
    case 4: {
      const uint32_t depth = w.bitDepth;
      const uint32_t perByte = 8 / depth;
      const uint32_t mask = (1u << depth) - 1;
      for (uint32_t i = 0; i < n; ++i, x += w.dx) {
        const uint32_t v = (src[i / perByte] >> (8 - depth * (i % perByte + 1))) & mask;
        dst[x / 2] = uint8_t(dst[x / 2] | (x % 2 == 0 ? v << 4 : v));
      }
      return;
    }
    case 8:
      for (uint32_t i = 0; i < n; ++i, x += w.dx) dst[x] = src[i];
      return;
    case 16:
      for (uint32_t i = 0; i < n; ++i, x += w.dx) dst[x] = src[2 * i];
      return;
  }
}

}  // namespace

void RowWriter::Write(const uint8_t* src, uint8_t* dst) const {
  if (indexed) {
    WriteIndexed(*this, src, dst);
    return;
  }
  const bool grey = !(colourType & 2);
  const bool wide = bitDepth == 16;
  if (grey) {
    // Grey without alpha always takes the indexed rule; grey here carries alpha.
    if (wide) {
      WriteTrueColour<2, 2>(*this, src, dst);
    } else {
      WriteTrueColour<2, 1>(*this, src, dst);
    }
  } else if (hasAlpha) {
    if (wide) {
      WriteTrueColour<4, 2>(*this, src, dst);
    } else {
      WriteTrueColour<4, 1>(*this, src, dst);
    }
  } else if (wide) {
    WriteTrueColour<3, 2>(*this, src, dst);
  } else {
    WriteTrueColour<3, 1>(*this, src, dst);
  }
}

}  // namespace png_pixels

uint64_t CPngCodec::RowBytes(uint64_t w) const {
  uint64_t bytes;
  if ((colourType & kColourFlag) && bitDepth >= 8 && !indexed) {
    bytes = w * 3 * (bitDepth / 8);
  } else {
    bytes = (w * bitDepth + 7) / 8;
  }
  if (hasAlpha) {
    bytes += w;
    if (bitDepth == 16) bytes += w;
  }
  return bytes;
}

std::array<std::pair<uint32_t, uint32_t>, 7> CPngCodec::PassGeometry() const {
  const uint64_t w = width;
  const uint64_t h = height;
  return {{{uint32_t((w + 7) / 8), uint32_t((h + 7) / 8)},
           {uint32_t((w + 3) / 8), uint32_t((h + 7) / 8)},
           {uint32_t((w + 3) / 4), uint32_t((h + 3) / 8)},
           {uint32_t((w + 1) / 4), uint32_t((h + 3) / 4)},
           {uint32_t((w + 1) / 2), uint32_t((h + 1) / 4)},
           {uint32_t(w / 2), uint32_t((h + 1) / 2)},
           {uint32_t(w), uint32_t(h / 2)}}};
}

uint32_t CPngCodec::ImageRow(uint32_t r, int pass) const {
  if (pass <= 0 || pass > 7 || interlaceMethod != 1) return r;
  return kPasses[pass].y0 + r * kPasses[pass].dy;
}

uint8_t CPngCodec::PaethPredictor(uint8_t a, uint8_t b, uint8_t c) {
  return png_pixels::Paeth(a, b, c);
}

bool CPngCodec::SetUpOutputImage() {
  const uint32_t tableEntries = indexed ? 1u << dibBitCount : 0;
  if (!owner->CreateDib(int32_t(width), int32_t(height), dibBitCount, tableEntries)) return false;
  // The DIB comes zero-filled: padding, rows the data never reaches, the colour table of a palette
  // image until its PLTE arrives, and the table entries no pixel can use.
  if (indexed && !(colourType & kColourFlag)) {
    const uint32_t n = bitDepth == 16 ? 256 : 1u << bitDepth;
    auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(owner->header) + 40);
    for (uint32_t i = 0; i < n; ++i) {
      const auto v = uint8_t(i * 255 / (n - 1));
      table[i] = {v, v, v, 0};
    }
  }
  return true;
}

bool CPngCodec::DecodePass(uint8_t* data, uint32_t w, uint32_t h, int pass, uint64_t& position) {
  if (w == 0 || h == 0) return true;
  const uint64_t rowBytes = RowBytes(w);
  if (filterMethod != 0) return false;
  const CheckedSize passEnd = CheckedSize(position) + CheckedSize(h) * (CheckedSize(rowBytes) + 1);
  if (!passEnd.AtMost(dataSize)) return false;

  const bool indexedRule = (colourType & (kColourFlag | kPaletteFlag)) != kColourFlag &&
                           (dibBitCount == 1 || dibBitCount == 4 || dibBitCount == 8);
  if (!indexedRule && dibBitCount != 24) return false;

  png_pixels::RowWriter writer;
  writer.bitDepth = bitDepth;
  writer.colourType = colourType;
  writer.hasAlpha = hasAlpha;
  writer.indexed = indexedRule;
  writer.interlaced = pass != 0;
  writer.width = w;
  writer.x0 = kPasses[pass].x0;
  writer.dx = kPasses[pass].dx;
  writer.backColor = owner->backColor;

  const uint32_t stride = DibRowBytes(uint32_t(owner->header->biWidth), dibBitCount);
  const size_t rowStep = size_t(rowBytes) + 1;
  uint8_t* row = data + position;
  const uint8_t* previous = nullptr;  // the first row of a pass sees a row of zeros above it
  for (uint32_t r = 0; r < h; ++r, row += rowStep) {
    if (!png_pixels::Unfilter(row[0], row + 1, previous, size_t(rowBytes), pixelBytes)) return false;
    const uint32_t y = ImageRow(r, pass);
    writer.Write(row + 1, owner->bits + size_t(height - 1 - y) * stride);
    previous = row + 1;
  }
  position = passEnd.Value();
  return true;
}

}  // namespace pelmor
