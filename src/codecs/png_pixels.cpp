// The pixel stage of the PNG reader: the output DIB, the row filters (filter method 0 of the PNG
// standard), the Adam7 passes, and the conversion of rows into DIB rows.
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codecs/png_codec.h"
#include "codecs/png_pixels.h"
#include "model/dib.h"
#include "model/image_doc.h"
#include "platform/checked_size.h"

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

// Paeth without branches: on photographs the choice is close to random, and mispredicted
// branches would cost more than the arithmetic.
inline uint8_t PaethSelect(uint32_t a, uint32_t b, uint32_t c) {
  const int pa = std::abs(int(b) - int(c));
  const int pb = std::abs(int(a) - int(c));
  const int pc = std::abs(int(a) + int(b) - 2 * int(c));
  const uint32_t bc = pb <= pc ? b : c;
  return uint8_t(((pa <= pb) & (pa <= pc)) ? a : bc);
}

#if defined(__SSE2__)
// Pixels of 3 to 8 bytes, one pixel per step, all of its bytes at once. Each pixel depends on the
// one to its left, so the parallelism is within the pixel.
// Exactly kBpp bytes are read and written, assembled in general registers: going through memory
// would stall on store forwarding in this dependent chain.
inline uint32_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

template <uint32_t kBpp>
inline __m128i LoadPixel(const uint8_t* p) {
  static_assert(kBpp == 3 || kBpp == 4 || kBpp == 6 || kBpp == 8);
  if constexpr (kBpp == 3) {
    return _mm_cvtsi32_si128(int(Load16(p) | uint32_t(p[2]) << 16));
  } else if constexpr (kBpp == 4) {
    return _mm_cvtsi32_si128(int(Load32(p)));
  } else if constexpr (kBpp == 6) {
    return _mm_cvtsi64_si128(int64_t(Load32(p) | uint64_t(Load16(p + 4)) << 32));
  } else {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return _mm_cvtsi64_si128(int64_t(v));
  }
}

template <uint32_t kBpp>
inline void StorePixel(uint8_t* p, __m128i v) {
  if constexpr (kBpp <= 4) {
    const auto x = uint32_t(_mm_cvtsi128_si32(v));
    if constexpr (kBpp == 3) {
      const auto low = uint16_t(x);
      std::memcpy(p, &low, 2);
      p[2] = uint8_t(x >> 16);
    } else {
      std::memcpy(p, &x, 4);
    }
  } else {
    const auto x = uint64_t(_mm_cvtsi128_si64(v));
    if constexpr (kBpp == 6) {
      const auto low = uint32_t(x);
      const auto high = uint16_t(x >> 32);
      std::memcpy(p, &low, 4);
      std::memcpy(p + 4, &high, 2);
    } else {
      std::memcpy(p, &x, 8);
    }
  }
}

inline __m128i Abs16(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }
inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <uint32_t kBpp>
void SubPixels(uint8_t* row, size_t n) {
  __m128i a = _mm_setzero_si128();
  for (size_t i = 0; i + kBpp <= n; i += kBpp) {
    a = _mm_add_epi8(LoadPixel<kBpp>(row + i), a);
    StorePixel<kBpp>(row + i, a);
  }
}

// prev null: the row above is zeros.
template <uint32_t kBpp>
void AveragePixels(uint8_t* row, const uint8_t* prev, size_t n) {
  const __m128i one = _mm_set1_epi8(1);
  __m128i a = _mm_setzero_si128();
  for (size_t i = 0; i + kBpp <= n; i += kBpp) {
    const __m128i b = prev != nullptr ? LoadPixel<kBpp>(prev + i) : _mm_setzero_si128();
    // floor((a + b) / 2): the rounded-up average less the odd bit.
    const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
    a = _mm_add_epi8(LoadPixel<kBpp>(row + i), mean);
    StorePixel<kBpp>(row + i, a);
  }
}

template <uint32_t kBpp>
void PaethPixels(uint8_t* row, const uint8_t* prev, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero;  // 16-bit lanes
  __m128i c = zero;
  for (size_t i = 0; i + kBpp <= n; i += kBpp) {
    const __m128i b = _mm_unpacklo_epi8(LoadPixel<kBpp>(prev + i), zero);
    const __m128i bc = _mm_sub_epi16(b, c);
    const __m128i ac = _mm_sub_epi16(a, c);
    const __m128i pa = Abs16(bc);
    const __m128i pb = Abs16(ac);
    const __m128i pc = Abs16(_mm_add_epi16(bc, ac));
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    // Ties go to a, then b, then c.
    __m128i nearest = Select(_mm_cmpeq_epi16(smallest, pb), b, c);
    nearest = Select(_mm_cmpeq_epi16(smallest, pa), a, nearest);
    const __m128i x = _mm_add_epi8(LoadPixel<kBpp>(row + i), _mm_packus_epi16(nearest, nearest));
    StorePixel<kBpp>(row + i, x);
    a = _mm_unpacklo_epi8(x, zero);
    c = b;
  }
}
#endif

template <uint32_t kBpp>
void UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n) {
  // prev is null for the first row of a pass: a row of zeros, under which Up changes nothing,
  // Average adds half the left byte and Paeth always predicts the left byte.
  if (prev == nullptr) {
    if (type == 2) return;
    if (type == 4) type = 1;
  }
  if (type == 2) {
    for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
    return;
  }
#if defined(__SSE2__)
  if constexpr (kBpp >= 3) {
    switch (type) {
      case 1: SubPixels<kBpp>(row, n); return;
      case 3: AveragePixels<kBpp>(row, prev, n); return;
      case 4: PaethPixels<kBpp>(row, prev, n); return;
    }
    return;
  }
#endif
  switch (type) {
    case 1:
      for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - kBpp]);
      break;
    case 3: {
      const size_t lead = n < kBpp ? n : kBpp;
      if (prev == nullptr) {
        for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + (row[i - kBpp] >> 1));
        break;
      }
      for (size_t i = 0; i < lead; ++i) row[i] = uint8_t(row[i] + (prev[i] >> 1));
      for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + ((row[i - kBpp] + prev[i]) >> 1));
      break;
    }
    case 4: {
      const size_t lead = n < kBpp ? n : kBpp;
      for (size_t i = 0; i < lead; ++i) row[i] = uint8_t(row[i] + prev[i]);
      for (size_t i = kBpp; i < n; ++i) {
        row[i] = uint8_t(row[i] + PaethSelect(row[i - kBpp], prev[i], prev[i - kBpp]));
      }
      break;
    }
  }
}

}  // namespace

bool Unfilter(uint8_t type, uint8_t* row, const uint8_t* previous, size_t length, uint32_t bpp) {
  if (type > 4) return false;
  if (type == 0) return true;
  switch (bpp) {
    case 1: UnfilterRow<1>(type, row, previous, length); break;
    case 2: UnfilterRow<2>(type, row, previous, length); break;
    case 3: UnfilterRow<3>(type, row, previous, length); break;
    case 4: UnfilterRow<4>(type, row, previous, length); break;
    case 6: UnfilterRow<6>(type, row, previous, length); break;
    case 8: UnfilterRow<8>(type, row, previous, length); break;
    default: return false;
  }
  return true;
}

namespace {

// One 24-bit pixel per source pixel: kChannels samples of kSampleBytes bytes each (grey + alpha,
// RGB, RGBA), the first byte of a sample being its most significant. Returns blue | green << 8 |
// red << 16.
template <int kChannels, int kSampleBytes>
struct TrueColourPixel {
  static constexpr bool kGrey = kChannels <= 2;
  static constexpr bool kAlpha = kChannels == 2 || kChannels == 4;
  static constexpr int kBytes = kChannels * kSampleBytes;

  explicit TrueColourPixel(uint32_t backColor)
      // The background as three 16-bit lanes, blue lowest, to blend all channels in one multiply:
      // C x a + K x (255 - a) stays below 2^16 in each lane.
      : back(uint64_t((backColor >> 16) & 0xFF) | uint64_t((backColor >> 8) & 0xFF) << 16 |
             uint64_t(backColor & 0xFF) << 32) {}

  uint32_t operator()(const uint8_t* s) const {
    const uint32_t r = s[0];
    const uint32_t g = kGrey ? r : s[kSampleBytes];
    const uint32_t b = kGrey ? r : s[2 * kSampleBytes];
    if constexpr (!kAlpha) {
      return b | g << 8 | r << 16;
    } else {
      const uint64_t a = s[(kChannels - 1) * kSampleBytes];
      uint64_t v = (uint64_t(b) | uint64_t(g) << 16 | uint64_t(r) << 32) * a + back * (255 - a);
      v >>= 8;  // the divisor is 256
      return uint32_t((v & 0xFF) | ((v >> 8) & 0xFF00) | ((v >> 16) & 0xFF0000));
    }
  }

  uint64_t back;
};

template <int kChannels, int kSampleBytes>
void WriteTrueColour(const RowWriter& w, const uint8_t* src, uint8_t* dst) {
  const TrueColourPixel<kChannels, kSampleBytes> pixel(w.backColor);
  constexpr int kBytes = TrueColourPixel<kChannels, kSampleBytes>::kBytes;
  uint8_t* d = dst + size_t(w.x0) * 3;
  if (w.dx == 1 && w.width > 0) {
    // Whole rows: each pixel is stored as a 4-byte word whose last byte the next pixel overwrites;
    // the last pixel is stored byte by byte, so nothing past the row is touched.
    uint32_t i = 0;
    if constexpr (kChannels == 3 && kSampleBytes == 1) {
      for (; i + 1 < w.width; ++i, src += 3, d += 3) {
        uint32_t v;
        std::memcpy(&v, src, 4);  // red, green, blue and the next pixel's red
        v = __builtin_bswap32(v) >> 8;
        std::memcpy(d, &v, 4);
      }
    } else {
      for (; i + 1 < w.width; ++i, src += kBytes, d += 3) {
        const uint32_t v = pixel(src);
        std::memcpy(d, &v, 4);
      }
    }
    const uint32_t v = pixel(src);
    d[0] = uint8_t(v);
    d[1] = uint8_t(v >> 8);
    d[2] = uint8_t(v >> 16);
    return;
  }
  const size_t step = size_t(w.dx) * 3;
  for (uint32_t i = 0; i < w.width; ++i, src += kBytes, d += step) {
    const uint32_t v = pixel(src);
    d[0] = uint8_t(v);
    d[1] = uint8_t(v >> 8);
    d[2] = uint8_t(v >> 16);
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
  // The DIB is the one set up for this header.
  if (pass < 0 || pass > 7 || owner->bits == nullptr || owner->header == nullptr ||
      owner->header->biBitCount != dibBitCount || uint32_t(owner->header->biWidth) != width) {
    return false;
  }
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
