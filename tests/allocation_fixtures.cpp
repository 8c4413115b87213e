// The replaceable global allocation functions, with a per-thread switch that makes large requests
// fail. Everything else behaves as the standard library's own: memory from malloc, freed by free.
#include <cstdlib>
#include <new>

#include "allocation_failure.h"

namespace {

constexpr size_t kNoLimit = static_cast<size_t>(-1);
thread_local size_t failFrom = kNoLimit;
thread_local size_t failures = 0;

void* Allocate(size_t size) {
  if (size >= failFrom) {
    ++failures;
    throw std::bad_alloc();
  }
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace pelmor::test {

ScopedAllocationFailure::ScopedAllocationFailure(size_t minBytes) : previous_(failFrom) {
  failFrom = minBytes;
}

ScopedAllocationFailure::~ScopedAllocationFailure() { failFrom = previous_; }

size_t ScopedAllocationFailure::Failures() { return failures; }

}  // namespace pelmor::test
