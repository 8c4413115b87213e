// One account for all the memory an image document holds: the image, the caches beside it and
// every buffer a codec needs while it opens, steps through or saves a file. Whatever a file asks
// for is drawn from the account first; a request that would take the total past the cap is
// refused, and the caller fails cleanly instead of growing without bound.
//
//   MemoryBudget budget;                        // cap: ImageAllocationLimit()
//   BudgetBuffer<uint8_t> rows;
//   if (!rows.Allocate(budget, n)) return false;  // refused or not to be had
//
// Address space counts as used from the moment it is reserved, touched or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace pelmor {

class MemoryBudget {
 public:
  // The cap follows ImageAllocationLimit() (1 GiB, or PELMOR_MAX_ALLOC_MB) as it is at each
  // request.
  MemoryBudget() = default;
  // A fixed cap.
  explicit MemoryBudget(uint64_t cap) : cap_(cap) {}
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // Counts n more bytes as used; false, with nothing counted, when that would pass the cap.
  [[nodiscard]] bool Take(uint64_t n);
  // Gives back bytes taken earlier.
  void Give(uint64_t n);

  uint64_t Cap() const;
  // Fixes the cap (0: ImageAllocationLimit() again). Memory already taken stays taken.
  void SetCap(uint64_t cap) { cap_ = cap; }
  uint64_t Used() const { return used_; }
  // The most ever used at once since construction or the last ResetPeak.
  uint64_t Peak() const { return peak_; }
  void ResetPeak() { peak_ = used_; }

 private:
  uint64_t cap_ = 0;  // 0: ImageAllocationLimit()
  uint64_t used_ = 0;
  uint64_t peak_ = 0;
};

// Bytes taken from a budget for as long as the object lives: the account of memory held
// elsewhere (a container, a library's pool).
class BudgetCharge {
 public:
  BudgetCharge() = default;
  ~BudgetCharge() { Release(); }
  BudgetCharge(BudgetCharge&& o) noexcept
      : budget_(std::exchange(o.budget_, nullptr)), bytes_(std::exchange(o.bytes_, 0)) {}
  BudgetCharge& operator=(BudgetCharge&& o) noexcept {
    if (this != &o) {
      Release();
      budget_ = std::exchange(o.budget_, nullptr);
      bytes_ = std::exchange(o.bytes_, 0);
    }
    return *this;
  }

  // Takes n more bytes (from the same budget as before, if any); false when refused.
  [[nodiscard]] bool Add(MemoryBudget& budget, uint64_t n);
  // Gives everything back.
  void Release();
  uint64_t Bytes() const { return bytes_; }

 private:
  MemoryBudget* budget_ = nullptr;
  uint64_t bytes_ = 0;
};

// An owned array of count elements drawn from a budget. The contents start uninitialised unless
// Allocate is asked to zero them.
template <class T>
class BudgetBuffer {
 public:
  BudgetBuffer() = default;

  // Replaces the array by one of `count` elements; false (and empty) when the budget refuses or
  // the memory cannot be had.
  [[nodiscard]] bool Allocate(MemoryBudget& budget, size_t count, bool zeroed = false) {
    Reset();
    if (count == 0) return true;
    if (count > SIZE_MAX / sizeof(T) || !charge_.Add(budget, uint64_t{count} * sizeof(T))) {
      return false;
    }
    data_.reset(zeroed ? new (std::nothrow) T[count]() : new (std::nothrow) T[count]);
    if (!data_) {
      charge_.Release();
      return false;
    }
    size_ = count;
    return true;
  }
  // Keeps the array when it already holds at least count elements (contents kept), otherwise
  // allocates a new one (contents not kept).
  [[nodiscard]] bool AtLeast(MemoryBudget& budget, size_t count) {
    return count <= size_ || Allocate(budget, count);
  }
  // Uses only the first count elements from now on; the memory and its charge stay until Reset.
  void Shrink(size_t count) {
    if (count < size_) size_ = count;
  }
  void Reset() {
    data_.reset();
    size_ = 0;
    charge_.Release();
  }

  T* Data() const { return data_.get(); }
  size_t Size() const { return size_; }
  T& operator[](size_t i) const { return data_[i]; }

 private:
  std::unique_ptr<T[]> data_;
  size_t size_ = 0;
  BudgetCharge charge_;
};

}  // namespace pelmor
