#include "platform/dib_reader.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/checked_size.h"
#include "platform/memory_limit.h"
#include "platform/pixel_loop.h"

namespace pelmor::platform {

namespace {

uint32_t LoadU16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
uint32_t LoadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

bool DibReader::Init(const BITMAPINFOHEADER* header, const void* bits, DibMemory memory) {
  if (header == nullptr || bits == nullptr) return false;
  const auto* base = reinterpret_cast<const uint8_t*>(header);
  const bool bounded = memory.begin != nullptr;
  // Whether n bytes at p lie inside the memory the caller named.
  auto inside = [&](const uint8_t* p, CheckedSize n) {
    if (!bounded) return true;
    return p >= memory.begin && p <= memory.end &&
           (CheckedSize(p - memory.begin) + n).AtMost(static_cast<uint64_t>(memory.end - memory.begin));
  };
  if (!inside(base, sizeof(BITMAPINFOHEADER))) return false;
  BITMAPINFOHEADER h;
  std::memcpy(&h, header, sizeof h);
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 ||
      h.biHeight == INT32_MIN) {
    return false;
  }
  switch (h.biBitCount) {
    case 1:
    case 24:
      if (h.biCompression != BI_RGB) return false;
      break;
    case 4:
      if (h.biCompression != BI_RGB && h.biCompression != BI_RLE4) return false;
      break;
    case 8:
      if (h.biCompression != BI_RGB && h.biCompression != BI_RLE8) return false;
      break;
    case 16:
    case 32:
      if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return false;
      break;
    default:
      return false;
  }
  bits_ = static_cast<const uint8_t*>(bits);
  width_ = h.biWidth;
  height_ = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  topDown_ = h.biHeight < 0;
  bitCount_ = h.biBitCount;
  compression_ = h.biCompression;
  auto stride = DibRowBytesChecked(static_cast<uint64_t>(width_), bitCount_);
  if (!stride) return false;
  stride_ = *stride;

  if (RunLength()) {
    if (topDown_ || h.biSizeImage == 0) return false;
    if (!inside(bits_, 0)) return false;
    runLengthBytes_ = h.biSizeImage;
    // Decoding stops where the data ends, and never reads past the memory it lies in.
    if (bounded) {
      runLengthBytes_ = std::min<size_t>(runLengthBytes_, static_cast<size_t>(memory.end - bits_));
    }
  } else if (!inside(bits_, CheckedSize(stride_) * height_)) {
    return false;
  }

  if (bitCount_ <= 8) {
    const uint32_t full = 1u << bitCount_;
    const uint32_t count = h.biClrUsed != 0 ? std::min(h.biClrUsed, full) : full;
    const uint8_t* table = base + h.biSize;
    if (!inside(table, CheckedSize(count) * 4)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = table + 4 * i;
      colors_[i] = uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
    }
  } else if (bitCount_ == 16 || bitCount_ == 32) {
    uint32_t masks[3];
    if (h.biCompression == BI_BITFIELDS) {
      // The three masks are at byte 40 whatever the header's length: inside a longer header, or
      // right after a 40-byte one.
      if (!inside(base + 40, 12)) return false;
      for (int i = 0; i < 3; ++i) masks[i] = LoadU32(base + 40 + 4 * i);
    } else if (bitCount_ == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    } else {
      masks[0] = 0xFF0000;
      masks[1] = 0x00FF00;
      masks[2] = 0x0000FF;
    }
    masks_ = DibColorMasks{DibColorField::FromMask(masks[0]), DibColorField::FromMask(masks[1]),
                           DibColorField::FromMask(masks[2])};
    if (masks_.IsDefaultFor(32) && bitCount_ == 32) direct_ = 4;
  }
  if (bitCount_ == 24) direct_ = 3;
  return true;
}

bool DibReader::Expand(int32_t y0, int32_t y1, int32_t x0, int32_t x1) {
  if (!RunLength()) return true;
  const int32_t m0 = height_ - y1, m1 = height_ - y0;
  const CheckedSize cells = CheckedSize(m1 - m0) * (x1 - x0);
  if (!(cells * 2).AtMost(ImageAllocationLimit())) return false;
  try {
    indices_.assign(static_cast<size_t>(cells.Value()), 0);
    written_.assign(static_cast<size_t>(cells.Value()), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  expandedRow0_ = m0;
  expandedRows_ = m1 - m0;
  expandedX0_ = x0;
  expandedColumns_ = x1 - x0;
  DecodeRunLength(m0, m1, x0, x1);
  return true;
}

void DibReader::DecodeRunLength(int32_t m0, int32_t m1, int32_t x0, int32_t x1) {
  const uint8_t* p = bits_;
  const uint8_t* const end = bits_ + runLengthBytes_;
  const bool four = compression_ == BI_RLE4;
  int32_t x = 0;
  int32_t row = 0;  // memory row: 0 is the bottom of the picture
  auto put = [&](uint8_t index) {
    if (row >= m0 && x >= x0 && x < x1) {
      const size_t at = static_cast<size_t>(row - m0) * expandedColumns_ + (x - x0);
      indices_[at] = index;
      written_[at] = 1;
    }
    ++x;
  };
  while (end - p >= 2 && row < m1) {
    const uint8_t n = p[0], c = p[1];
    p += 2;
    if (n > 0) {
      // A run is cut at the end of its row.
      for (int k = 0; k < n && x < width_; ++k) {
        put(four ? static_cast<uint8_t>(k & 1 ? c & 15 : c >> 4) : c);
      }
      continue;
    }
    switch (c) {
      case 0:  // end of line
        x = 0;
        ++row;
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta
        if (end - p < 2) return;
        x = static_cast<int32_t>(std::min<int64_t>(int64_t{x} + p[0], width_));
        row += p[1];
        p += 2;
        break;
      }
      default: {  // literal pixels, padded to an even byte count
        const size_t bytes = four ? (c + 1u) / 2 : c;
        for (int k = 0; k < c; ++k) {
          const size_t at = four ? static_cast<size_t>(k) / 2 : static_cast<size_t>(k);
          if (at >= static_cast<size_t>(end - p)) return;
          if (x < width_) put(four ? static_cast<uint8_t>(k & 1 ? p[at] & 15 : p[at] >> 4) : p[at]);
        }
        const size_t skip = bytes + (bytes & 1);
        if (skip > static_cast<size_t>(end - p)) return;
        p += skip;
        break;
      }
    }
  }
}

namespace {

// Blue, green, red bytes to 0x00RRGGBB pixels, four at a time from three little-endian words
// (B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3).
void Convert24Words(const uint8_t* p, uint32_t* out, int32_t n) {
  int32_t i = 0;
  for (; i + 4 <= n; i += 4, p += 12) {
    const uint32_t w0 = LoadU32(p), w1 = LoadU32(p + 4), w2 = LoadU32(p + 8);
    out[i] = w0 & 0xFFFFFF;
    out[i + 1] = w0 >> 24 | (w1 & 0xFFFF) << 8;
    out[i + 2] = w1 >> 16 | (w2 & 0xFF) << 16;
    out[i + 3] = w2 >> 8;
  }
  for (; i < n; ++i, p += 3) out[i] = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// The same with a byte shuffle, four pixels per 16-byte load; a load reads four bytes past the
// four pixels, so the last pixels of the row go the other way.
[[gnu::target("ssse3")]] void Convert24Shuffle(const uint8_t* p, uint32_t* out, int32_t n) {
  const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int32_t i = 0;
  for (; i + 6 <= n; i += 4, p += 12) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_shuffle_epi8(v, order));
  }
  Convert24Words(p, out + i, n - i);
}

// Eight pixels per step: two groups of four, one in each half of a 32-byte register.
[[gnu::target("avx2")]] void Convert24Shuffle8(const uint8_t* p, uint32_t* out, int32_t n) {
  const __m256i order = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                         0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int32_t i = 0;
  for (; i + 10 <= n; i += 8, p += 24) {
    const __m256i v = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_shuffle_epi8(v, order));
  }
  Convert24Words(p, out + i, n - i);
}

// Single pixels stored past the caches, so that they complete the cache lines the wide stores
// around them fill (a line written partly past the caches and partly through them costs a read of
// it and a second write).
void Convert24Uncached(const uint8_t* p, uint32_t* out, int32_t n) {
  for (int32_t i = 0; i < n; ++i, p += 3) {
    const uint32_t pixel = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    _mm_stream_si32(reinterpret_cast<int*>(out + i), static_cast<int>(pixel));
  }
}

// The shuffle with every store bypassing the caches: single pixels up to the first 64-byte
// boundary of out, then a whole cache line (16 pixels, two 32-byte stores) per step, then single
// pixels again (the caller fences them once its rows are done). `next`, when given, is the same
// span of the row to be converted next, fetched a line per step meanwhile (the hardware
// prefetcher follows a row once it is being read, not the jump to the next one), so that it is in
// the cache when its turn comes.
[[gnu::target("avx2")]] void Convert24Stream16(const uint8_t* p, uint32_t* out, int32_t n,
                                                const uint8_t* next) {
  const __m256i order = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                         0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const auto misalign = static_cast<int32_t>((reinterpret_cast<uintptr_t>(out) / 4) % 16);
  int32_t i = std::min(n, misalign == 0 ? 0 : 16 - misalign);
  Convert24Uncached(p, out, i);
  p += size_t(i) * 3;
  size_t ahead = size_t(i) * 3;
  // The last load of a step reads 16 bytes from 36 on, four past its 48: two pixels to spare.
  for (; i + 18 <= n; i += 16, p += 48, ahead += 48) {
    if (next != nullptr) _mm_prefetch(reinterpret_cast<const char*>(next + ahead), _MM_HINT_T0);
    const __m256i a = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    const __m256i b = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 24))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 36)), 1);
    _mm256_stream_si256(reinterpret_cast<__m256i*>(out + i), _mm256_shuffle_epi8(a, order));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(out + i + 8), _mm256_shuffle_epi8(b, order));
  }
  Convert24Uncached(p, out + i, n - i);
}

void Convert24(const uint8_t* p, uint32_t* out, int32_t n) {
  static const int level = __builtin_cpu_supports("avx2") ? 2 : __builtin_cpu_supports("ssse3") ? 1 : 0;
  if (level == 2) {
    Convert24Shuffle8(p, out, n);
  } else if (level == 1) {
    Convert24Shuffle(p, out, n);
  } else {
    Convert24Words(p, out, n);
  }
}

}  // namespace

PELMOR_PIXEL_LOOP void DibReader::ConvertRowUncached(int32_t y, int32_t x0, int32_t x1,
                                                      uint32_t* out) const {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (RunLength() || bitCount_ != 24 || !avx2) {
    ConvertRow(y, x0, x1, out);
    return;
  }
  const size_t start = static_cast<size_t>(x0) * 3;
  const uint8_t* next = y + 1 < height_ ? bits_ + RowOffset(y + 1) + start : nullptr;
  Convert24Stream16(bits_ + RowOffset(y) + start, out, x1 - x0, next);
}

void DibReader::FinishUncachedRows() { _mm_sfence(); }

PELMOR_PIXEL_LOOP void DibReader::ConvertRow(int32_t y, int32_t x0, int32_t x1, uint32_t* out,
                           uint8_t* written) const {
  const int32_t n = x1 - x0;
  if (RunLength()) {
    const int32_t memoryRow = height_ - 1 - y;
    const size_t at = static_cast<size_t>(memoryRow - expandedRow0_) * expandedColumns_ +
                      (x0 - expandedX0_);
    const uint8_t* idx = indices_.data() + at;
    const uint8_t* wr = written_.data() + at;
    for (int32_t i = 0; i < n; ++i) out[i] = colors_[idx[i]];
    if (written != nullptr) std::memcpy(written, wr, static_cast<size_t>(n));
    return;
  }
  if (written != nullptr) std::memset(written, 1, static_cast<size_t>(n));
  const uint8_t* row = bits_ + RowOffset(y);
  switch (bitCount_) {
    case 1:
      for (int32_t i = 0; i < n; ++i) {
        const int32_t x = x0 + i;
        out[i] = colors_[(row[x >> 3] >> (7 - (x & 7))) & 1];
      }
      return;
    case 4:
      for (int32_t i = 0; i < n; ++i) {
        const int32_t x = x0 + i;
        out[i] = colors_[x & 1 ? row[x >> 1] & 15 : row[x >> 1] >> 4];
      }
      return;
    case 8:
      for (int32_t i = 0; i < n; ++i) out[i] = colors_[row[x0 + i]];
      return;
    case 24:
      Convert24(row + static_cast<size_t>(x0) * 3, out, n);
      return;
    default:
      break;
  }
  if (direct_ == 4) {
    const uint8_t* p = row + static_cast<size_t>(x0) * 4;
    for (int32_t i = 0; i < n; ++i) out[i] = LoadU32(p + 4 * i) & 0xFFFFFF;
    return;
  }
  const int bytes = bitCount_ / 8;
  const uint8_t* p = row + static_cast<size_t>(x0) * bytes;
  for (int32_t i = 0; i < n; ++i, p += bytes) {
    const uint32_t v = bytes == 2 ? LoadU16(p) : LoadU32(p);
    out[i] = uint32_t{masks_.red.Widen(v)} << 16 | uint32_t{masks_.green.Widen(v)} << 8 |
             masks_.blue.Widen(v);
  }
}

}  // namespace pelmor::platform
