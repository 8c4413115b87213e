#include "platform/row_picker.h"

#include <immintrin.h>

#include <algorithm>

#include "platform/pixel_loop.h"

namespace pelmor::platform {

namespace {

constexpr int32_t kGroup = 8;

bool HasAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

// Each group of eight: one load of the eight source pixels it reads, rearranged into its lanes.
[[gnu::target("avx2")]] void PickGroups(const uint32_t* src, const int32_t* start, const int32_t* lane,
                                        size_t groups, uint32_t keep, uint32_t* out) {
  const __m256i mask = _mm256_set1_epi32(static_cast<int>(keep));
  for (size_t g = 0; g < groups; ++g) {
    const __m256i from = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + start[g]));
    const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane + g * kGroup));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + g * kGroup),
                        _mm256_and_si256(_mm256_permutevar8x32_epi32(from, order), mask));
  }
}

// out[i] = src[i / 2] & keep for n pixels: eight source pixels loaded, sixteen stored, per step.
// A step reads up to src[i / 2 + 7] with i + 16 <= n, never past src[(n - 1) / 2].
[[gnu::target("avx2")]] void DoublePixels(const uint32_t* src, uint32_t keep, size_t n, uint32_t* out) {
  const __m256i mask = _mm256_set1_epi32(static_cast<int>(keep));
  const __m256i low = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
  const __m256i high = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
  size_t i = 0;
  for (; i + 2 * kGroup <= n; i += 2 * kGroup) {
    const __m256i v = _mm256_and_si256(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i / 2)), mask);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permutevar8x32_epi32(v, low));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + kGroup),
                        _mm256_permutevar8x32_epi32(v, high));
  }
  for (; i < n; ++i) out[i] = src[i / 2] & keep;
}

}  // namespace

void RowPicker::Plan(const std::vector<int32_t>& columns, int32_t first, int32_t span) {
  const size_t n = columns.size();
  index_.resize(n);
  for (size_t i = 0; i < n; ++i) index_[i] = columns[i] - first;
  groupStart_.clear();
  lane_.clear();
  doubled_ = false;
  if (span < kGroup || !HasAvx2()) return;
  doubled_ = n > 0;
  for (size_t i = 0; i < n && doubled_; ++i) {
    doubled_ = index_[i] == index_[0] + static_cast<int32_t>(i / 2);
  }
  if (doubled_) return;
  const size_t groups = n / kGroup;
  groupStart_.resize(groups);
  lane_.resize(groups * kGroup);
  for (size_t g = 0; g < groups; ++g) {
    const int32_t* at = index_.data() + g * kGroup;
    const auto [low, high] = std::minmax_element(at, at + kGroup);
    // Near the row's end the eight pixels read end at the row's last one.
    const int32_t start = std::min(*low, span - kGroup);
    if (*high - start >= kGroup) {
      groupStart_.clear();
      lane_.clear();
      return;
    }
    groupStart_[g] = start;
    for (int32_t k = 0; k < kGroup; ++k) lane_[g * kGroup + static_cast<size_t>(k)] = at[k] - start;
  }
}

PELMOR_PIXEL_LOOP void RowPicker::Pick(const uint32_t* src, uint32_t* out, uint32_t keep) const {
  if (doubled_) {
    DoublePixels(src + index_[0], keep, index_.size(), out);
    return;
  }
  size_t i = 0;
  if (!groupStart_.empty()) {
    PickGroups(src, groupStart_.data(), lane_.data(), groupStart_.size(), keep, out);
    i = groupStart_.size() * kGroup;
  }
  for (; i < index_.size(); ++i) out[i] = src[index_[i]] & keep;
}

}  // namespace pelmor::platform
