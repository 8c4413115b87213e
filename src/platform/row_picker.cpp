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
                                        size_t groups, uint32_t* out) {
  for (size_t g = 0; g < groups; ++g) {
    const __m256i from = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + start[g]));
    const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane + g * kGroup));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + g * kGroup),
                        _mm256_permutevar8x32_epi32(from, order));
  }
}

}  // namespace

void RowPicker::Plan(const std::vector<int32_t>& columns, int32_t first, int32_t span) {
  const size_t n = columns.size();
  index_.resize(n);
  for (size_t i = 0; i < n; ++i) index_[i] = columns[i] - first;
  groupStart_.clear();
  lane_.clear();
  if (span < kGroup || !HasAvx2()) return;
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

PELMOR_PIXEL_LOOP void RowPicker::Pick(const uint32_t* src, uint32_t* out) const {
  size_t i = 0;
  if (!groupStart_.empty()) {
    PickGroups(src, groupStart_.data(), lane_.data(), groupStart_.size(), out);
    i = groupStart_.size() * kGroup;
  }
  for (; i < index_.size(); ++i) out[i] = src[index_[i]];
}

}  // namespace pelmor::platform
