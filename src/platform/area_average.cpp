#include "platform/area_average.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>

#include "platform/pixel_loop.h"

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

// Whether destination pixels a and b of an axis combine the same source pixels with the same
// weights.
bool SameTaps(const AreaTaps& t, size_t a, size_t b) {
  if (t.start[a] != t.start[b] || t.count[a] != t.count[b]) return false;
  const auto wa = t.weights.begin() + t.offset[a];
  return std::equal(wa, wa + t.count[a], t.weights.begin() + t.offset[b]);
}

template <int P, class Acc>
bool Run(const AreaTaps& columns, const AreaTaps& rows, int32_t spanPixels, AreaRows& source,
         Surface& target, int32_t x0, int32_t y0) {
  const PaddedTaps padded = Pad(columns);
  // Padded weights may reach past the last source pixel: those sums stay zero.
  const size_t span = static_cast<size_t>(spanPixels) * P;
  const size_t room = span + (padded.weights.empty() ? 0 : static_cast<size_t>(padded.width) * P);
  std::unique_ptr<Acc[]> accumulated;
  const RoundingDivider divide(columns.denominator * rows.denominator);
  // A row of one source row has the weight rows.denominator, which cancels out of the division
  // exactly (round(w * s / (w * d)) = round(s / d) for rounding half up).
  const RoundingDivider divideColumns(columns.denominator);
  for (size_t k = 0; k < rows.start.size(); ++k) {
    uint32_t* out = target.Row(y0 + static_cast<int32_t>(k)) + x0;
    // An enlarged row repeats the one before it until its source rows or weights change: copying
    // it keeps the work to the source rows, not the destination rows times the source width.
    if (k > 0 && SameTaps(rows, k - 1, k)) {
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
    Reduce<P, Acc>(acc, columns, padded, divide, out);
  }
  return true;
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

}  // namespace pelmor::platform
