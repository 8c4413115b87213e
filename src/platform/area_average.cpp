#include "platform/area_average.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <system_error>
#include <thread>

#include "platform/pixel_loop.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace pelmor::platform {

namespace {

constexpr int64_t kFixedUnits = 4096;


// Rounded division by a constant through one multiplication: exact for every numerator below 2^32
// and divisor below 2^32, since the reciprocal's error stays below 2^-32 of a unit.
class RoundingDivider {
 public:
  explicit RoundingDivider(uint32_t d) : half_(d / 2), magic_(d > 1 ? UINT64_MAX / d + 1 : 0) {}
  uint32_t operator()(uint32_t v) const {
    const uint64_t n = uint64_t{v} + half_;
    if (magic_ == 0) return static_cast<uint32_t>(n);
    return static_cast<uint32_t>((static_cast<unsigned __int128>(n) * magic_) >> 64);
  }

 private:
  uint32_t half_;
  uint64_t magic_;
};

// acc (= when `First`, += otherwise) the weighted sum of up to four source rows, over n bytes, in
// one pass. Written as plain loops so that the compiler turns them into wide vector code; rows of
// weight 1 (every row of an integer reduction) skip the multiplications.
template <bool First, class Acc>
inline __attribute__((always_inline)) void AccumulateRowsBody(
    Acc* __restrict acc, const uint8_t* const* rows, const Acc* w, int count, size_t n) {
  const uint8_t* __restrict r0 = rows[0];
  const uint8_t* __restrict r1 = rows[count > 1 ? 1 : 0];
  const uint8_t* __restrict r2 = rows[count > 2 ? 2 : 0];
  const uint8_t* __restrict r3 = rows[count > 3 ? 3 : 0];
  const Acc w0 = w[0], w1 = count > 1 ? w[1] : 0, w2 = count > 2 ? w[2] : 0,
            w3 = count > 3 ? w[3] : 0;
  const bool ones = w0 == 1 && (count < 2 || w1 == 1) && (count < 3 || w2 == 1) &&
                    (count < 4 || w3 == 1);
  auto base = [acc](size_t i) -> Acc { return First ? Acc{0} : acc[i]; };
  switch (count) {
    case 4:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(base(i) + r0[i] + r1[i] + r2[i] + r3[i]);
      } else {
        for (size_t i = 0; i < n; ++i) {
          acc[i] = static_cast<Acc>(base(i) + r0[i] * w0 + r1[i] * w1 + r2[i] * w2 + r3[i] * w3);
        }
      }
      return;
    case 3:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(base(i) + r0[i] + r1[i] + r2[i]);
      } else {
        for (size_t i = 0; i < n; ++i) {
          acc[i] = static_cast<Acc>(base(i) + r0[i] * w0 + r1[i] * w1 + r2[i] * w2);
        }
      }
      return;
    case 2:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(base(i) + r0[i] + r1[i]);
      } else {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(base(i) + r0[i] * w0 + r1[i] * w1);
      }
      return;
    default:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(base(i) + r0[i]);
      } else {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(base(i) + r0[i] * w0);
      }
      return;
  }
}

template <class Acc>
inline __attribute__((always_inline)) void AccumulateRowsAny(
    Acc* acc, const uint8_t* const* rows, const Acc* w, int count, size_t n, bool first) {
  if (first) {
    AccumulateRowsBody<true, Acc>(acc, rows, w, count, n);
  } else {
    AccumulateRowsBody<false, Acc>(acc, rows, w, count, n);
  }
}

// The loops above compiled twice, for AVX2 and for any x86-64, chosen once at load time (see
// pixel_loop.h for the builds that have the portable loop only).
PELMOR_PIXEL_KERNEL void AccumulateRows16(
    uint16_t* acc, const uint8_t* const* rows, const uint16_t* w, int count, size_t n, bool first) {
  AccumulateRowsAny<uint16_t>(acc, rows, w, count, n, first);
}

PELMOR_PIXEL_KERNEL void AccumulateRows32(
    uint32_t* acc, const uint8_t* const* rows, const uint32_t* w, int count, size_t n, bool first) {
  AccumulateRowsAny<uint32_t>(acc, rows, w, count, n, first);
}

template <class Acc>
void AccumulateRows(Acc* acc, const uint8_t* const* rows, const Acc* w, int count, size_t n,
                    bool first) {
  if constexpr (sizeof(Acc) == 2) {
    AccumulateRows16(acc, rows, w, count, n, first);
  } else {
    AccumulateRows32(acc, rows, w, count, n, first);
  }
}

// The widest pixel for which the reduction is unrolled.
constexpr uint32_t kUnrolledTaps = 8;

// Up to kUnrolledTaps weights per pixel, every destination pixel's weights are padded with zeros
// to the axis's widest pixel, so that the reduction runs a fixed number of steps per pixel
// (unrolled, without unpredictable branches). Wider pixels (large reductions) keep their own
// counts: padding would only add zeros.
struct PaddedTaps {
  uint32_t width = 0;             // the widest pixel's weights
  std::vector<uint32_t> weights;  // width per pixel; empty above kUnrolledTaps
};

PaddedTaps Pad(const AreaTaps& t) {
  PaddedTaps p;
  for (uint32_t c : t.count) p.width = std::max(p.width, c);
  if (p.width > kUnrolledTaps) return p;
  p.weights.assign(t.start.size() * p.width, 0);
  for (size_t x = 0; x < t.start.size(); ++x) {
    std::copy_n(t.weights.begin() + t.offset[x], t.count[x], p.weights.begin() + x * p.width);
  }
  return p;
}

// One destination row from the accumulated source rows: K weights per pixel.
template <int P, class Acc, int K>
PELMOR_PIXEL_LOOP void ReduceRow(const Acc* __restrict acc, const int32_t* __restrict starts,
                                 size_t n, const uint32_t* __restrict weights,
                                 const RoundingDivider& divide, uint32_t* __restrict out) {
  for (size_t x = 0; x < n; ++x) {
    const Acc* a = acc + static_cast<size_t>(starts[x]) * P;
    const uint32_t* w = weights + x * K;
    uint32_t b = 0, g = 0, r = 0;
    for (uint32_t t = 0; t < K; ++t) {
      b += w[t] * a[t * P];
      g += w[t] * a[t * P + 1];
      r += w[t] * a[t * P + 2];
    }
    out[x] = divide(r) << 16 | divide(g) << 8 | divide(b);
  }
}

// The same for pixels of any width, from the unpadded weights.
template <int P, class Acc>
PELMOR_PIXEL_LOOP void ReduceRowAnyWidth(const Acc* __restrict acc, const AreaTaps& columns,
                                         const RoundingDivider& divide, uint32_t* __restrict out) {
  const size_t n = columns.start.size();
  for (size_t x = 0; x < n; ++x) {
    const Acc* a = acc + static_cast<size_t>(columns.start[x]) * P;
    const uint32_t* w = columns.weights.data() + columns.offset[x];
    const uint32_t k = columns.count[x];
    uint32_t b = 0, g = 0, r = 0;
    for (uint32_t t = 0; t < k; ++t) {
      b += w[t] * a[t * P];
      g += w[t] * a[t * P + 1];
      r += w[t] * a[t * P + 2];
    }
    out[x] = divide(r) << 16 | divide(g) << 8 | divide(b);
  }
}

template <int P, class Acc>
void Reduce(const Acc* acc, const AreaTaps& columns, const PaddedTaps& padded,
            const RoundingDivider& divide, uint32_t* out) {
  const int32_t* s = columns.start.data();
  const size_t n = columns.start.size();
  const uint32_t* w = padded.weights.data();
  switch (padded.width) {
    case 1: return ReduceRow<P, Acc, 1>(acc, s, n, w, divide, out);
    case 2: return ReduceRow<P, Acc, 2>(acc, s, n, w, divide, out);
    case 3: return ReduceRow<P, Acc, 3>(acc, s, n, w, divide, out);
    case 4: return ReduceRow<P, Acc, 4>(acc, s, n, w, divide, out);
    case 5: return ReduceRow<P, Acc, 5>(acc, s, n, w, divide, out);
    case 6: return ReduceRow<P, Acc, 6>(acc, s, n, w, divide, out);
    case 7: return ReduceRow<P, Acc, 7>(acc, s, n, w, divide, out);
    case 8: return ReduceRow<P, Acc, 8>(acc, s, n, w, divide, out);
    default: return ReduceRowAnyWidth<P, Acc>(acc, columns, divide, out);
  }
}

#if defined(__x86_64__)
#define PELMOR_HAVE_AVX2_REDUCE 1

// The 16-bit sums' reduction four channels at a time: for each weight, the pixel's channels (and
// the next value, weighted and then dropped) widened to 32 bits, multiplied and added. The sums
// stay below 2^28 (255 x 257 x 4096 at most), so the rounded division is exact in doubles:
// (v + d/2 + 1/2) / d lies at least 1/(2d) from the nearest integer, far above the rounding
// error, and truncating it gives the rounded quotient.
template <int P, int K>
__attribute__((target("avx2"))) PELMOR_PIXEL_LOOP void ReduceRowAvx2(
    const uint16_t* __restrict acc, const int32_t* __restrict starts, size_t n,
    const uint32_t* __restrict weights, uint32_t denominator, uint32_t* __restrict out) {
  const __m256d inverse = _mm256_set1_pd(1.0 / denominator);
  const __m256d offset = _mm256_set1_pd(static_cast<double>(denominator / 2) + 0.5);
  for (size_t x = 0; x < n; ++x) {
    const uint16_t* a = acc + static_cast<size_t>(starts[x]) * P;
    const uint32_t* w = weights + x * K;
    __m128i sum = _mm_setzero_si128();
    for (int t = 0; t < K; ++t) {
      const __m128i v = _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + t * P)));
      sum = _mm_add_epi32(sum, _mm_mullo_epi32(v, _mm_set1_epi32(static_cast<int>(w[t]))));
    }
    const __m256d q = _mm256_mul_pd(_mm256_add_pd(_mm256_cvtepi32_pd(sum), offset), inverse);
    const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(_mm256_cvttpd_epi32(q), sum), sum);
    out[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)) & 0xFFFFFF;
  }
}

template <int P>
void ReduceAvx2(const uint16_t* acc, const int32_t* starts, size_t n, uint32_t width,
                const uint32_t* weights, uint32_t denominator, uint32_t* out) {
  switch (width) {
    case 1: return ReduceRowAvx2<P, 1>(acc, starts, n, weights, denominator, out);
    case 2: return ReduceRowAvx2<P, 2>(acc, starts, n, weights, denominator, out);
    case 3: return ReduceRowAvx2<P, 3>(acc, starts, n, weights, denominator, out);
    case 4: return ReduceRowAvx2<P, 4>(acc, starts, n, weights, denominator, out);
    case 5: return ReduceRowAvx2<P, 5>(acc, starts, n, weights, denominator, out);
    case 6: return ReduceRowAvx2<P, 6>(acc, starts, n, weights, denominator, out);
    case 7: return ReduceRowAvx2<P, 7>(acc, starts, n, weights, denominator, out);
    default: return ReduceRowAvx2<P, 8>(acc, starts, n, weights, denominator, out);
  }
}

bool HaveAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}
#endif

// Whether destination pixels a and b of an axis combine the same source pixels with the same
// weights.
bool SameTaps(const AreaTaps& t, size_t a, size_t b) {
  if (t.start[a] != t.start[b] || t.count[a] != t.count[b]) return false;
  const auto wa = t.weights.begin() + t.offset[a];
  return std::equal(wa, wa + t.count[a], t.weights.begin() + t.offset[b]);
}

// Destination rows [first, last) of the average. Each call has its own accumulator, so calls on
// disjoint rows may run at once.
template <int P, class Acc>
bool RunRows(const AreaTaps& columns, const AreaTaps& rows, const PaddedTaps& padded,
             int32_t spanPixels, AreaRows& source, Surface& target, int32_t x0, int32_t y0,
             size_t first, size_t last) {
  // Padded weights may reach past the last source pixel: those sums stay zero. The vector
  // reduction reads one value past a pixel's last one.
  const size_t span = static_cast<size_t>(spanPixels) * P;
  const size_t room =
      span + (padded.weights.empty() ? 0 : static_cast<size_t>(padded.width) * P + 1);
  std::unique_ptr<Acc[]> accumulated;
  const uint32_t denominator = columns.denominator * rows.denominator;
  const RoundingDivider divide(denominator);
#if defined(PELMOR_HAVE_AVX2_REDUCE)
  [[maybe_unused]] const bool fast = sizeof(Acc) == 2 && !padded.weights.empty() && HaveAvx2();
#endif
  // A row of one source row has the weight rows.denominator, which cancels out of the division
  // exactly (round(w * s / (w * d)) = round(s / d) for rounding half up).
  const RoundingDivider divideColumns(columns.denominator);
  for (size_t k = first; k < last; ++k) {
    uint32_t* out = target.Row(y0 + static_cast<int32_t>(k)) + x0;
    // An enlarged row repeats the one before it until its source rows or weights change: copying
    // it keeps the work to the source rows, not the destination rows times the source width. The
    // first row of a band is painted, since the row before it may belong to another band.
    if (k > first && SameTaps(rows, k - 1, k)) {
      std::memcpy(out, target.Row(y0 + static_cast<int32_t>(k) - 1) + x0,
                  columns.start.size() * sizeof(uint32_t));
      continue;
    }
    const uint32_t* w = rows.weights.data() + rows.offset[k];
    const uint32_t taps = rows.count[k];
    // One source row and unpadded weights (which read no pixel past the row): straight from it.
    if (taps == 1 && padded.weights.empty()) {
      ReduceRowAnyWidth<P, uint8_t>(source.Row(rows.start[k]), columns, divideColumns, out);
      continue;
    }
    if (!accumulated) {
      // Left uninitialised: each row's first group writes [0, span); the padding stays zero.
      accumulated.reset(new (std::nothrow) Acc[room]);
      if (!accumulated) return false;
      std::fill(accumulated.get() + span, accumulated.get() + room, Acc{0});
    }
    Acc* acc = accumulated.get();
    for (uint32_t t = 0; t < taps; t += 4) {
      const uint8_t* group[4];
      Acc weights[4];
      const int n = static_cast<int>(std::min<uint32_t>(4, taps - t));
      for (int i = 0; i < n; ++i) {
        group[i] = source.Row(rows.start[k] + static_cast<int32_t>(t) + i);
        weights[i] = static_cast<Acc>(w[t + i]);
      }
      AccumulateRows<Acc>(acc, group, weights, n, span, t == 0);
    }
#if defined(PELMOR_HAVE_AVX2_REDUCE)
    if constexpr (sizeof(Acc) == 2) {
      if (fast) {
        ReduceAvx2<P>(acc, columns.start.data(), columns.start.size(), padded.width,
                      padded.weights.data(), denominator, out);
        continue;
      }
    }
#endif
    Reduce<P, Acc>(acc, columns, padded, divide, out);
  }
  return true;
}

std::atomic<int> threadsSet{0};

constexpr int kMaxThreads = 4;
// Below this many bytes read and pixels written a band's thread costs more than it saves.
constexpr uint64_t kWorkPerThread = uint64_t{1} << 21;

// How many bands the average is split into.
int Bands(const AreaTaps& columns, const AreaTaps& rows, int bytesPerPixel, int32_t spanPixels) {
  const size_t n = rows.start.size();
  if (n < 2) return 1;
  uint64_t threads = static_cast<uint64_t>(threadsSet.load(std::memory_order_relaxed));
  if (threads == 0) {
    threads = std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMaxThreads);
    // The source rows read (a shrink reads each once) and the pixels written.
    const uint64_t sourceRows = uint64_t(rows.start[n - 1]) + rows.count[n - 1] - uint64_t(rows.start[0]);
    const uint64_t work = sourceRows * uint64_t(spanPixels) * uint64_t(bytesPerPixel) +
                          uint64_t(n) * columns.start.size();
    threads = std::min(threads, work / kWorkPerThread);
  }
  return static_cast<int>(std::clamp<uint64_t>(threads, 1, n));
}

template <int P, class Acc>
bool Run(const AreaTaps& columns, const AreaTaps& rows, int32_t spanPixels, AreaRows& source,
         Surface& target, int32_t x0, int32_t y0) {
  const PaddedTaps padded = Pad(columns);
  const size_t n = rows.start.size();
  const int bands = Bands(columns, rows, P, spanPixels);
  auto paint = [&](AreaRows& rowsRead, int band) {
    return RunRows<P, Acc>(columns, rows, padded, spanPixels, rowsRead, target, x0, y0,
                           n * static_cast<size_t>(band) / static_cast<size_t>(bands),
                           n * static_cast<size_t>(band + 1) / static_cast<size_t>(bands));
  };
  // Bands 1.. on threads of their own, each with its own reader, band 0 here; a band whose thread
  // or reader cannot be had is painted here too, afterwards.
  struct Helper {
    std::unique_ptr<AreaRows> reader;
    std::thread thread;
    bool ok = false;
  };
  std::array<Helper, kMaxThreads - 1> helpers;
  for (int b = 1; b < bands; ++b) {
    Helper& h = helpers[static_cast<size_t>(b - 1)];
    h.reader = source.ForAnotherThread();
    if (!h.reader) continue;
    try {
      h.thread = std::thread([&h, &paint, b] { h.ok = paint(*h.reader, b); });
    } catch (const std::system_error&) {
    }
  }
  bool ok = paint(source, 0);
  for (int b = 1; b < bands; ++b) {
    Helper& h = helpers[static_cast<size_t>(b - 1)];
    if (h.thread.joinable()) {
      h.thread.join();
    } else {
      h.ok = paint(source, b);
    }
    ok = ok && h.ok;
  }
  return ok;
}

}  // namespace

namespace {

// The weights of one destination pixel covering the units [begin, end), from source pixels
// [lo, hi] of sourceUnits units each: exact overlaps, or rescaled to 4096 in all through the
// running sum. Source pixels strictly inside overlap whole.
PELMOR_PIXEL_LOOP void FillWeights(uint32_t* out, int64_t lo, int64_t hi, int64_t begin,
                                   int64_t end, int64_t sourceUnits, bool exact) {
  const int64_t units = end - begin;
  auto overlap = [&](int64_t j) {
    if (j != lo && j != hi) return sourceUnits;
    int64_t w = std::max<int64_t>(
        0, std::min(end, (j + 1) * sourceUnits) - std::max(begin, j * sourceUnits));
    // What lies outside the pixels that can be read counts for the nearest one that can.
    if (j == lo) w += std::max<int64_t>(0, std::min(end, lo * sourceUnits) - begin);
    if (j == hi) w += std::max<int64_t>(0, end - std::max(begin, (hi + 1) * sourceUnits));
    return w;
  };
  if (exact) {
    for (int64_t j = lo; j <= hi; ++j) *out++ = static_cast<uint32_t>(overlap(j));
    return;
  }
  // scaled = (sum * 4096 + units / 2) / units, carried as quotient and remainder.
  const int64_t wholeStep = sourceUnits * kFixedUnits;
  const int64_t wholeQuotient = wholeStep / units, wholeRemainder = wholeStep % units;
  int64_t quotient = 0, remainder = units / 2, previous = 0;
  for (int64_t j = lo; j <= hi; ++j) {
    if (j != lo && j != hi) {
      quotient += wholeQuotient;
      remainder += wholeRemainder;
    } else {
      const int64_t step = overlap(j) * kFixedUnits;
      quotient += step / units;
      remainder += step % units;
    }
    if (remainder >= units) {
      remainder -= units;
      ++quotient;
    }
    *out++ = static_cast<uint32_t>(quotient - previous);
    previous = quotient;
  }
}

}  // namespace

void AreaTaps::Build(int64_t source, int64_t destination, int64_t low, int64_t high,
                     const std::vector<int64_t>& logicalIndices) {
  const int64_t g = std::gcd(source, destination);
  const int64_t units = source / g;       // one destination pixel, in units
  const int64_t sourceUnits = destination / g;  // one source pixel, in units
  const bool exact = units <= kFixedUnits;
  denominator = static_cast<uint32_t>(exact ? units : kFixedUnits);
  // The source pixels of each destination pixel first, so that the weights are sized once.
  const size_t n = logicalIndices.size();
  start.resize(n);
  offset.resize(n);
  count.resize(n);
  size_t total = 0;
  for (size_t i = 0; i < n; ++i) {
    const int64_t begin = logicalIndices[i] * units, end = begin + units;
    int64_t lo = std::max(begin / sourceUnits, low);
    int64_t hi = std::min((end - 1) / sourceUnits, high - 1);
    if (lo > hi) lo = hi = std::clamp(begin / sourceUnits, low, high - 1);
    start[i] = static_cast<int32_t>(lo);
    offset[i] = static_cast<uint32_t>(total);
    count[i] = static_cast<uint32_t>(hi - lo + 1);
    total += count[i];
  }
  weights.resize(total);
  for (size_t i = 0; i < n; ++i) {
    const int64_t begin = logicalIndices[i] * units;
    FillWeights(weights.data() + offset[i], start[i], start[i] + count[i] - 1, begin, begin + units,
                sourceUnits, exact);
  }
}

bool AreaAverage(const AreaTaps& columns, const AreaTaps& rows, int bytesPerPixel,
                 int32_t spanPixels, AreaRows& source, Surface& target, int32_t x0, int32_t y0) {
  // 16-bit sums hold up to 257 rows of weight 1 (255 x 257 < 65536).
  const bool narrow = rows.denominator <= 257;
  if (bytesPerPixel == 3) {
    return narrow ? Run<3, uint16_t>(columns, rows, spanPixels, source, target, x0, y0)
                  : Run<3, uint32_t>(columns, rows, spanPixels, source, target, x0, y0);
  }
  return narrow ? Run<4, uint16_t>(columns, rows, spanPixels, source, target, x0, y0)
                : Run<4, uint32_t>(columns, rows, spanPixels, source, target, x0, y0);
}

void SetAreaAverageThreads(int threads) {
  threadsSet.store(std::clamp(threads, 0, kMaxThreads), std::memory_order_relaxed);
}

}  // namespace pelmor::platform
