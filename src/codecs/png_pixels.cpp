// The pixel stage of the PNG reader: the output DIB, the row filters (filter method 0 of the PNG
// standard), the Adam7 passes, and the conversion of rows into DIB rows.
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codecs/inflate.h"
#include "codecs/png_codec.h"
#include "codecs/png_pixels.h"
#include "model/dib.h"
#include "model/image_block.h"
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
void SubPixels(const uint8_t* raw, uint8_t* out, size_t n) {
  __m128i a = _mm_setzero_si128();
  for (size_t i = 0; i + kBpp <= n; i += kBpp) {
    a = _mm_add_epi8(LoadPixel<kBpp>(raw + i), a);
    StorePixel<kBpp>(out + i, a);
  }
}

// prev null: the row above is zeros.
template <uint32_t kBpp>
void AveragePixels(const uint8_t* raw, uint8_t* out, const uint8_t* prev, size_t n) {
  const __m128i one = _mm_set1_epi8(1);
  __m128i a = _mm_setzero_si128();
  for (size_t i = 0; i + kBpp <= n; i += kBpp) {
    const __m128i b = prev != nullptr ? LoadPixel<kBpp>(prev + i) : _mm_setzero_si128();
    // floor((a + b) / 2): the rounded-up average less the odd bit.
    const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
    a = _mm_add_epi8(LoadPixel<kBpp>(raw + i), mean);
    StorePixel<kBpp>(out + i, a);
  }
}

template <uint32_t kBpp>
void PaethPixels(const uint8_t* raw, uint8_t* out, const uint8_t* prev, size_t n) {
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
    const __m128i x = _mm_add_epi8(LoadPixel<kBpp>(raw + i), _mm_packus_epi16(nearest, nearest));
    StorePixel<kBpp>(out + i, x);
    a = _mm_unpacklo_epi8(x, zero);
    c = b;
  }
}

// Up, sixteen bytes at a time: each byte needs only the one above it.
void UpBytes(const uint8_t* raw, uint8_t* out, const uint8_t* prev, size_t n) {
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_add_epi8(r, b));
  }
  for (; i < n; ++i) out[i] = uint8_t(raw[i] + prev[i]);
}
#else
void UpBytes(const uint8_t* raw, uint8_t* out, const uint8_t* prev, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(raw[i] + prev[i]);
}
#endif

// Units of 1 and 2 bytes, a byte at a time. Every byte of prev is read before the byte of out at
// the same place is written, and the upper-left bytes are kept from those reads, so out may be
// prev itself.
template <uint32_t kBpp>
void UnfilterNarrow(uint8_t type, const uint8_t* raw, uint8_t* out, const uint8_t* prev, size_t n) {
  const size_t lead = n < kBpp ? n : kBpp;
  switch (type) {
    case 1:
      for (size_t i = 0; i < lead; ++i) out[i] = raw[i];
      for (size_t i = kBpp; i < n; ++i) out[i] = uint8_t(raw[i] + out[i - kBpp]);
      break;
    case 3:
      if (prev == nullptr) {
        for (size_t i = 0; i < lead; ++i) out[i] = raw[i];
        for (size_t i = kBpp; i < n; ++i) out[i] = uint8_t(raw[i] + (out[i - kBpp] >> 1));
        break;
      }
      for (size_t i = 0; i < lead; ++i) out[i] = uint8_t(raw[i] + (prev[i] >> 1));
      for (size_t i = kBpp; i < n; ++i) out[i] = uint8_t(raw[i] + ((out[i - kBpp] + prev[i]) >> 1));
      break;
    case 4: {
      // upperLeft[k] holds prev[i - kBpp] for i % kBpp == k.
      uint32_t upperLeft[kBpp];
      for (size_t i = 0; i < lead; ++i) {
        upperLeft[i] = prev[i];
        out[i] = uint8_t(raw[i] + prev[i]);
      }
      for (size_t i = kBpp; i < n; i += kBpp) {
        for (size_t k = 0; k < kBpp && i + k < n; ++k) {
          const uint32_t b = prev[i + k];
          out[i + k] = uint8_t(raw[i + k] + PaethSelect(out[i + k - kBpp], b, upperLeft[k]));
          upperLeft[k] = b;
        }
      }
      break;
    }
  }
}

template <uint32_t kBpp>
void UnfilterRow(uint8_t type, const uint8_t* raw, uint8_t* out, const uint8_t* prev, size_t n) {
  // prev is null for the first row of a pass: a row of zeros, under which Up changes nothing,
  // Average adds half the left byte and Paeth always predicts the left byte.
  if (prev == nullptr) {
    if (type == 2) type = 0;
    if (type == 4) type = 1;
  }
  if (type == 0) {
    std::memmove(out, raw, n);
    return;
  }
  if (type == 2) {
    UpBytes(raw, out, prev, n);
    return;
  }
#if defined(__SSE2__)
  if constexpr (kBpp >= 3) {
    switch (type) {
      case 1: SubPixels<kBpp>(raw, out, n); return;
      case 3: AveragePixels<kBpp>(raw, out, prev, n); return;
      case 4: PaethPixels<kBpp>(raw, out, prev, n); return;
    }
    return;
  } else {
    UnfilterNarrow<kBpp>(type, raw, out, prev, n);
  }
#else
  UnfilterNarrow<kBpp>(type, raw, out, prev, n);
#endif
}

}  // namespace

bool Unfilter(uint8_t type, const uint8_t* raw, uint8_t* out, const uint8_t* previous, size_t length,
              uint32_t bpp) {
  if (type > 4) return false;
  switch (bpp) {
    case 1: UnfilterRow<1>(type, raw, out, previous, length); break;
    case 2: UnfilterRow<2>(type, raw, out, previous, length); break;
    case 3: UnfilterRow<3>(type, raw, out, previous, length); break;
    case 4: UnfilterRow<4>(type, raw, out, previous, length); break;
    case 6: UnfilterRow<6>(type, raw, out, previous, length); break;
    case 8: UnfilterRow<8>(type, raw, out, previous, length); break;
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

// 1-bit pixels of an Adam7 pass, a DIB byte at a time. The pass's columns are x0 + i x dx with x0 <
// dx and dx one of 1, 2, 4, 8, so DIB byte k holds the 8 / dx pixels from k x 8 / dx on, dx bits
// apart and x0 bits in; being a power of two, such a group never straddles a source byte.
void PlaceInterlacedBits(const uint8_t* src, uint32_t n, uint32_t x0, uint32_t dx, uint8_t* dst) {
  // Four bits b3 b2 b1 b0 placed at bits 7, 5, 3 and 1.
  static constexpr uint8_t kSpread2[16] = {0x00, 0x02, 0x08, 0x0A, 0x20, 0x22, 0x28, 0x2A,
                                           0x80, 0x82, 0x88, 0x8A, 0xA0, 0xA2, 0xA8, 0xAA};
  const uint32_t per = 8 / dx;
  const uint32_t groupMask = (1u << per) - 1;
  const uint32_t bytes = (n + per - 1) / per;
  for (uint32_t k = 0; k < bytes; ++k) {
    const uint32_t first = k * per;
    uint32_t group = (uint32_t(src[first / 8]) >> (8 - per - first % 8)) & groupMask;
    // The last group may run into the padding bits of the source row, which can hold anything.
    if (n - first < per) group &= groupMask << (per - (n - first));
    uint32_t spread;
    switch (dx) {
      case 8: spread = group << 7; break;
      case 4: spread = (group & 2) << 6 | (group & 1) << 3; break;
      case 2: spread = kSpread2[group]; break;
      default: spread = group; break;
    }
    dst[k] = uint8_t(dst[k] | spread >> x0);
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
      PlaceInterlacedBits(src, n, w.x0, w.dx, dst);
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

namespace {

// Takes the inflated image data as the inflater produces it: each complete row is unfiltered and
// written into the DIB at once, while it is still in cache. Only the previous row of the pass is
// kept (in rowBuffer, replaced by each new one), except for 1-, 4- and 8-bit indexed images
// without interlacing, whose DIB rows are their unfiltered rows: those are unfiltered straight
// into the DIB against the DIB row above.
class CPngRowSink : public CInflateSink {
 public:
  CPngRowSink(const CPngCodec& codec, CImageDoc& doc) : codec_(codec), doc_(doc) {}

  // False when the DIB is not the one set up for the header, or memory cannot be had.
  bool Start();
  bool Take(const uint8_t* data, size_t n, bool last, size_t& used) override;
  // The most the sink leaves untaken: a row short of its last byte.
  size_t MaxLeft() const { return size_t(codec_.RowBytes(codec_.width)); }

 private:
  // Moves to the next pass that has rows; done_ when there is none.
  void NextPass();
  // One row: its filter-type byte, then rowBytes_ filtered bytes.
  bool Row(const uint8_t* filtered);
  uint8_t* DibRow(uint32_t y) const { return doc_.bits + size_t(codec_.height - 1 - y) * stride_; }

  const CPngCodec& codec_;
  CImageDoc& doc_;
  std::array<std::pair<uint32_t, uint32_t>, 7> passes_{};
  int pass_ = 0;  // 0: not interlaced; 1 to 7: the Adam7 pass
  uint32_t passHeight_ = 0;
  uint32_t row_ = 0;  // row within the pass
  size_t rowBytes_ = 0;
  size_t stride_ = 0;
  bool direct_ = false;
  bool done_ = false;
  png_pixels::RowWriter writer_;
  ImageBlock rowBuffer_;  // the current row, unfiltered; the previous one until it is replaced
  ImageBlock zeroRow_;    // a filter-type byte and a row of zeros, for rows the data does not reach
};

bool CPngRowSink::Start() {
  const uint8_t bitCount = uint8_t(codec_.dibBitCount);
  if (codec_.filterMethod != 0 || doc_.bits == nullptr || doc_.header == nullptr ||
      doc_.header->biBitCount != bitCount || uint32_t(doc_.header->biWidth) != codec_.width ||
      uint32_t(doc_.header->biHeight) != codec_.height) {
    return false;
  }
  const bool indexedRule = (codec_.colourType & (kColourFlag | kPaletteFlag)) != kColourFlag &&
                           (bitCount == 1 || bitCount == 4 || bitCount == 8);
  if (!indexedRule && bitCount != 24) return false;
  writer_.bitDepth = codec_.bitDepth;
  writer_.colourType = codec_.colourType;
  writer_.hasAlpha = codec_.hasAlpha;
  writer_.indexed = indexedRule;
  writer_.backColor = doc_.backColor;
  stride_ = DibRowBytes(codec_.width, bitCount);
  const bool interlaced = codec_.interlaceMethod == 1;
  direct_ = indexedRule && !interlaced && codec_.bitDepth == bitCount;
  if (!direct_) {
    rowBuffer_ = ImageBlock::Allocate(doc_.budget, codec_.RowBytes(codec_.width));
    if (!rowBuffer_) return false;
  }
  if (interlaced) {
    passes_ = codec_.PassGeometry();
    pass_ = 0;
    NextPass();
  } else {
    pass_ = 0;
    passHeight_ = codec_.height;
    rowBytes_ = size_t(codec_.RowBytes(codec_.width));
    writer_.width = codec_.width;
    writer_.interlaced = false;
  }
  return true;
}

void CPngRowSink::NextPass() {
  // An empty pass has no rows and so no filter-type bytes in the data.
  while (++pass_ <= 7) {
    const auto [w, h] = passes_[size_t(pass_ - 1)];
    if (w == 0 || h == 0) continue;
    passHeight_ = h;
    row_ = 0;
    rowBytes_ = size_t(codec_.RowBytes(w));
    writer_.width = w;
    writer_.interlaced = true;
    writer_.x0 = kPasses[pass_].x0;
    writer_.dx = kPasses[pass_].dx;
    return;
  }
  done_ = true;
}

bool CPngRowSink::Row(const uint8_t* filtered) {
  const uint32_t y = codec_.ImageRow(row_, pass_);
  if (direct_) {
    uint8_t* out = DibRow(y);
    const uint8_t* previous = row_ > 0 ? DibRow(y - 1) : nullptr;
    if (!png_pixels::Unfilter(filtered[0], filtered + 1, out, previous, rowBytes_, codec_.pixelBytes)) {
      return false;
    }
  } else {
    uint8_t* out = rowBuffer_.Data();
    if (!png_pixels::Unfilter(filtered[0], filtered + 1, out, row_ > 0 ? out : nullptr, rowBytes_,
                              codec_.pixelBytes)) {
      return false;
    }
    writer_.Write(out, DibRow(y));
  }
  if (++row_ == passHeight_) {
    if (pass_ == 0) {
      done_ = true;
    } else {
      NextPass();
    }
  }
  return true;
}

bool CPngRowSink::Take(const uint8_t* data, size_t n, bool last, size_t& used) {
  size_t pos = 0;
  while (!done_ && n - pos > rowBytes_) {
    const size_t step = rowBytes_ + 1;  // before Row moves to the next pass
    if (!Row(data + pos)) return false;
    pos += step;
  }
  used = pos;
  if (!last || done_) {
    // Data past the last row cannot come: the inflater's limit is the rows' size.
    if (last) used = n;
    return true;
  }
  // The data ends here. The rest of a started row reads as zeros; every later row is a None row of
  // zeros. Zero samples give zero DIB bytes, which the DIB already holds, except where alpha
  // composites them into the background colour.
  zeroRow_ = ImageBlock::Allocate(doc_.budget, codec_.RowBytes(codec_.width) + 1);
  if (!zeroRow_) return false;
  if (pos < n) {
    std::memcpy(zeroRow_.Data(), data + pos, n - pos);
    if (!Row(zeroRow_.Data())) return false;
    std::memset(zeroRow_.Data(), 0, n - pos);
  }
  used = n;
  if (!codec_.hasAlpha || done_) return true;
  if (pass_ == 0) {
    // Every later row of an image without interlacing comes out the same: write one, copy it.
    const uint8_t* first = DibRow(codec_.ImageRow(row_, 0));
    if (!Row(zeroRow_.Data())) return false;
    for (; row_ < passHeight_; ++row_) std::memcpy(DibRow(row_), first, stride_);
    done_ = true;
    return true;
  }
  while (!done_) {
    if (!Row(zeroRow_.Data())) return false;
  }
  return true;
}

}  // namespace

bool CPngCodec::DecodeImageData(const uint8_t* data, size_t size) {
  if (compressionMethod != 0) return false;
  CPngRowSink sink(*this, *owner);
  if (!sink.Start()) return false;
  return InflateZlibToSink(data, size, dataSize, sink, sink.MaxLeft(), owner->budget, nullptr);
}

}  // namespace pelmor
