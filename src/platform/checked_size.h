// Size arithmetic that cannot wrap. Every stride x height, count x size and offset + length that
// comes from a file goes through here: an overflow poisons the result instead of wrapping.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

namespace pelmor {

template <class T>
[[nodiscard]] constexpr bool CheckedMul(T a, T b, T& out) {
  static_assert(std::is_integral_v<T>);
  return !__builtin_mul_overflow(a, b, &out);
}

template <class T>
[[nodiscard]] constexpr bool CheckedAdd(T a, T b, T& out) {
  static_assert(std::is_integral_v<T>);
  return !__builtin_add_overflow(a, b, &out);
}

// An unsigned 64-bit quantity that remembers whether any step of its computation overflowed or
// started from a negative value:
//   CheckedSize total = CheckedSize(stride) * height + 40;
//   if (!total.FitsIn<uint32_t>()) return false;
class CheckedSize {
 public:
  constexpr CheckedSize() = default;
  template <class T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
  constexpr CheckedSize(T v) {  // NOLINT: implicit by design, so that literals mix in
    if constexpr (std::is_signed_v<T>) {
      if (v < 0) {
        ok_ = false;
        return;
      }
    }
    value_ = static_cast<uint64_t>(v);
  }

  constexpr CheckedSize operator*(CheckedSize o) const {
    CheckedSize r;
    r.ok_ = ok_ && o.ok_ && CheckedMul(value_, o.value_, r.value_);
    return r;
  }
  constexpr CheckedSize operator+(CheckedSize o) const {
    CheckedSize r;
    r.ok_ = ok_ && o.ok_ && CheckedAdd(value_, o.value_, r.value_);
    return r;
  }
  constexpr CheckedSize& operator*=(CheckedSize o) { return *this = *this * o; }
  constexpr CheckedSize& operator+=(CheckedSize o) { return *this = *this + o; }

  constexpr bool Ok() const { return ok_; }
  // Valid only when Ok().
  constexpr uint64_t Value() const { return value_; }

  template <class T>
  constexpr bool FitsIn() const {
    return ok_ && value_ <= static_cast<uint64_t>(std::numeric_limits<T>::max());
  }
  // True when the value is valid and does not exceed limit.
  constexpr bool AtMost(uint64_t limit) const { return ok_ && value_ <= limit; }

 private:
  uint64_t value_ = 0;
  bool ok_ = true;
};

}  // namespace pelmor
