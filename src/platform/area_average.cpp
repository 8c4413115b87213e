#include "platform/area_average.h"

#include <algorithm>
#include <new>
#include <numeric>

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

// acc (=|+=) the weighted sum of up to four source rows, over n bytes, in one pass. Written as plain
// loops so that the compiler turns them into wide vector code; rows of weight 1 (every row of an
// integer reduction) skip the multiplications.
template <class Acc>
inline __attribute__((always_inline)) void AccumulateRowsBody(
    Acc* __restrict acc, const uint8_t* const* rows, const Acc* w, int count, size_t n,
    bool first) {
  const uint8_t* __restrict r0 = rows[0];
  const uint8_t* __restrict r1 = rows[count > 1 ? 1 : 0];
  const uint8_t* __restrict r2 = rows[count > 2 ? 2 : 0];
  const uint8_t* __restrict r3 = rows[count > 3 ? 3 : 0];
  const Acc w0 = w[0], w1 = count > 1 ? w[1] : 0, w2 = count > 2 ? w[2] : 0,
            w3 = count > 3 ? w[3] : 0;
  const bool ones = w0 == 1 && (count < 2 || w1 == 1) && (count < 3 || w2 == 1) &&
                    (count < 4 || w3 == 1);
  if (first) {
    for (size_t i = 0; i < n; ++i) acc[i] = 0;
  }
  switch (count) {
    case 4:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(acc[i] + r0[i] + r1[i] + r2[i] + r3[i]);
      } else {
        for (size_t i = 0; i < n; ++i) {
          acc[i] = static_cast<Acc>(acc[i] + r0[i] * w0 + r1[i] * w1 + r2[i] * w2 + r3[i] * w3);
        }
      }
      return;
    case 3:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(acc[i] + r0[i] + r1[i] + r2[i]);
      } else {
        for (size_t i = 0; i < n; ++i) {
          acc[i] = static_cast<Acc>(acc[i] + r0[i] * w0 + r1[i] * w1 + r2[i] * w2);
        }
      }
      return;
    case 2:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(acc[i] + r0[i] + r1[i]);
      } else {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(acc[i] + r0[i] * w0 + r1[i] * w1);
      }
      return;
    default:
      if (ones) {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(acc[i] + r0[i]);
      } else {
        for (size_t i = 0; i < n; ++i) acc[i] = static_cast<Acc>(acc[i] + r0[i] * w0);
      }
      return;
  }
}

// The loops above compiled twice, for AVX2 and for any x86-64, chosen once at load time. Under
// ThreadSanitizer the load-time chooser would itself be instrumented and run before the sanitizer
// is ready, so that build has the portable loop only.
#if defined(__SANITIZE_THREAD__)
#define PELMOR_AVX2_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PELMOR_AVX2_CLONES
#endif
#endif
#ifndef PELMOR_AVX2_CLONES
#define PELMOR_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#endif

PELMOR_AVX2_CLONES void AccumulateRows16(
    uint16_t* acc, const uint8_t* const* rows, const uint16_t* w, int count, size_t n, bool first) {
  AccumulateRowsBody<uint16_t>(acc, rows, w, count, n, first);
}

PELMOR_AVX2_CLONES void AccumulateRows32(
    uint32_t* acc, const uint8_t* const* rows, const uint32_t* w, int count, size_t n, bool first) {
  AccumulateRowsBody<uint32_t>(acc, rows, w, count, n, first);
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

// Every destination pixel's weights padded with zeros to the axis's widest pixel, so that the
// reduction runs a fixed number of steps per pixel (unrolled, without unpredictable branches).
struct PaddedTaps {
  uint32_t width = 0;             // weights per pixel
  std::vector<uint32_t> weights;  // width per pixel
};

PaddedTaps Pad(const AreaTaps& t) {
  PaddedTaps p;
  for (uint32_t c : t.count) p.width = std::max(p.width, c);
  p.weights.assign(t.start.size() * p.width, 0);
  for (size_t x = 0; x < t.start.size(); ++x) {
    std::copy_n(t.weights.begin() + t.offset[x], t.count[x], p.weights.begin() + x * p.width);
  }
  return p;
}

// One destination row from the accumulated source rows: K weights per pixel (0 = any).
template <int P, class Acc, int K>
void ReduceRow(const Acc* __restrict acc, const int32_t* __restrict starts, size_t n,
               const uint32_t* __restrict weights, uint32_t width, const RoundingDivider& divide,
               uint32_t* __restrict out) {
  const uint32_t k = K != 0 ? K : width;
  for (size_t x = 0; x < n; ++x) {
    const Acc* a = acc + static_cast<size_t>(starts[x]) * P;
    const uint32_t* w = weights + x * k;
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
    case 1: return ReduceRow<P, Acc, 1>(acc, s, n, w, 1, divide, out);
    case 2: return ReduceRow<P, Acc, 2>(acc, s, n, w, 2, divide, out);
    case 3: return ReduceRow<P, Acc, 3>(acc, s, n, w, 3, divide, out);
    case 4: return ReduceRow<P, Acc, 4>(acc, s, n, w, 4, divide, out);
    case 5: return ReduceRow<P, Acc, 5>(acc, s, n, w, 5, divide, out);
    case 6: return ReduceRow<P, Acc, 6>(acc, s, n, w, 6, divide, out);
    case 7: return ReduceRow<P, Acc, 7>(acc, s, n, w, 7, divide, out);
    case 8: return ReduceRow<P, Acc, 8>(acc, s, n, w, 8, divide, out);
    default: return ReduceRow<P, Acc, 0>(acc, s, n, w, padded.width, divide, out);
  }
}

template <int P, class Acc>
bool Run(const AreaTaps& columns, const AreaTaps& rows, int32_t spanPixels, AreaRows& source,
         Surface& target, int32_t x0, int32_t y0) {
  const PaddedTaps padded = Pad(columns);
  // Padded weights may reach past the last source pixel: those sums stay zero.
  const size_t span = static_cast<size_t>(spanPixels) * P;
  const size_t room = span + static_cast<size_t>(padded.width) * P;
  Acc* acc = new (std::nothrow) Acc[room]();
  if (acc == nullptr) return false;
  const RoundingDivider divide(columns.denominator * rows.denominator);
  for (size_t k = 0; k < rows.start.size(); ++k) {
    const uint32_t* w = rows.weights.data() + rows.offset[k];
    const uint32_t taps = rows.count[k];
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
    Reduce<P, Acc>(acc, columns, padded, divide, target.Row(y0 + static_cast<int32_t>(k)) + x0);
  }
  delete[] acc;
  return true;
}

}  // namespace

void AreaTaps::Build(int64_t source, int64_t destination, int64_t low, int64_t high,
                     const std::vector<int64_t>& logicalIndices) {
  const int64_t g = std::gcd(source, destination);
  const int64_t units = source / g;       // one destination pixel, in units
  const int64_t sourceUnits = destination / g;  // one source pixel, in units
  const bool exact = units <= kFixedUnits;
  denominator = static_cast<uint32_t>(exact ? units : kFixedUnits);
  start.clear();
  offset.clear();
  count.clear();
  weights.clear();
  std::vector<int64_t> raw;
  for (int64_t li : logicalIndices) {
    const int64_t begin = li * units, end = begin + units;
    int64_t lo = std::max(begin / sourceUnits, low);
    int64_t hi = std::min((end - 1) / sourceUnits, high - 1);
    if (lo > hi) lo = hi = std::clamp(begin / sourceUnits, low, high - 1);
    raw.clear();
    for (int64_t j = lo; j <= hi; ++j) {
      raw.push_back(std::max<int64_t>(
          0, std::min(end, (j + 1) * sourceUnits) - std::max(begin, j * sourceUnits)));
    }
    // What lies outside the pixels that can be read counts for the nearest one that can.
    raw.front() += std::max<int64_t>(0, std::min(end, lo * sourceUnits) - begin);
    raw.back() += std::max<int64_t>(0, end - std::max(begin, (hi + 1) * sourceUnits));
    start.push_back(static_cast<int32_t>(lo));
    offset.push_back(static_cast<uint32_t>(weights.size()));
    count.push_back(static_cast<uint32_t>(raw.size()));
    if (exact) {
      for (int64_t w : raw) weights.push_back(static_cast<uint32_t>(w));
    } else {
      // Rescale through the running sum, so that the weights add up to exactly 4096.
      int64_t sum = 0, previous = 0;
      for (int64_t w : raw) {
        sum += w;
        const int64_t scaled = (sum * kFixedUnits + units / 2) / units;
        weights.push_back(static_cast<uint32_t>(scaled - previous));
        previous = scaled;
      }
    }
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

}  // namespace pelmor::platform
