// Owned, zero-filled memory for decoded images and whole files, drawn from the document's memory
// budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/memory_budget.h"

namespace pelmor {

class ImageBlock {
 public:
  ImageBlock() = default;
  ~ImageBlock() { Reset(); }
  ImageBlock(const ImageBlock&) = delete;
  ImageBlock& operator=(const ImageBlock&) = delete;
  ImageBlock(ImageBlock&& other) noexcept;
  ImageBlock& operator=(ImageBlock&& other) noexcept;

  // Zero-filled memory of the given size, counted against the budget for as long as the block
  // holds it; an empty block when the size is 0, the budget refuses or the system does. Large
  // blocks are mapped fresh and asked for huge pages, which makes the first touch of a big canvas
  // much cheaper than 4 KiB page faults; the whole mapping is what the budget counts.
  static ImageBlock Allocate(MemoryBudget& budget, uint64_t size);

  uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }
  void Reset();

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  // Mapping to release when the block was mapped directly (null for heap blocks).
  void* mapping_ = nullptr;
  size_t mappingSize_ = 0;
  BudgetCharge charge_;
};

}  // namespace pelmor
