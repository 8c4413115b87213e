#include "model/image_block.h"

#include <sys/mman.h>

#include <cstdlib>
#include <utility>

namespace pelmor {

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kHugePage = size_t{2} << 20;
// Below this the heap is as good as a fresh mapping. Under AddressSanitizer every block comes from
// the heap, so that reads past its end are caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kMapThreshold = SIZE_MAX;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t kMapThreshold = SIZE_MAX;
#else
constexpr size_t kMapThreshold = size_t{1} << 20;
#endif
#else
constexpr size_t kMapThreshold = size_t{1} << 20;
#endif

}  // namespace

ImageBlock::ImageBlock(ImageBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mappingSize_(std::exchange(other.mappingSize_, 0)),
      charge_(std::move(other.charge_)) {}

ImageBlock& ImageBlock::operator=(ImageBlock&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapping_ = std::exchange(other.mapping_, nullptr);
    mappingSize_ = std::exchange(other.mappingSize_, 0);
    charge_ = std::move(other.charge_);
  }
  return *this;
}

ImageBlock ImageBlock::Allocate(MemoryBudget& budget, uint64_t size) {
  ImageBlock b;
  if (size == 0 || size > SIZE_MAX - 2 * kHugePage) return b;
  const auto n = static_cast<size_t>(size);
  if (n < kMapThreshold) {
    if (!b.charge_.Add(budget, n)) return b;
    b.data_ = static_cast<uint8_t*>(std::calloc(1, n));
    if (b.data_ != nullptr) {
      b.size_ = n;
    } else {
      b.charge_.Release();
    }
    return b;
  }
  // The block keeps whole huge pages from a huge-page boundary on: a little more is mapped so that
  // such a start exists, and what lies before it and past the end is given back at once. A partial
  // huge page at the end is backed by small pages, each first touch a fault of its own (hundreds
  // for a 1 MiB picture, which then opens several times slower); the whole one costs at most
  // 2 MiB more, charged with the block. When the budget cannot spare that, the block keeps only
  // whole small pages.
  size_t kept = (n + kHugePage - 1) / kHugePage * kHugePage;
  if (!b.charge_.Add(budget, kept)) {
    kept = (n + kPage - 1) / kPage * kPage;
    if (!b.charge_.Add(budget, kept)) return b;
  }
  const size_t mapSize = kept + kHugePage;
  void* m = ::mmap(nullptr, mapSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) {
    b.charge_.Release();
    return b;
  }
  const auto base = reinterpret_cast<uintptr_t>(m);
  const uintptr_t aligned = (base + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  if (aligned > base) ::munmap(m, aligned - base);
  const uintptr_t end = base + mapSize;
  if (end > aligned + kept) ::munmap(reinterpret_cast<void*>(aligned + kept), end - aligned - kept);
  ::madvise(reinterpret_cast<void*>(aligned), kept, MADV_HUGEPAGE);
  b.data_ = reinterpret_cast<uint8_t*>(aligned);
  b.size_ = n;
  b.mapping_ = b.data_;
  b.mappingSize_ = kept;
  return b;
}

void ImageBlock::Reset() {
  if (mapping_ != nullptr) {
    ::munmap(mapping_, mappingSize_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  size_ = 0;
  mapping_ = nullptr;
  mappingSize_ = 0;
  charge_.Release();
}

}  // namespace pelmor
