// Makes memory allocation fail on purpose, to test what code does when it cannot have memory.
#pragma once

#include <cstddef>

namespace pelmor::test {

// While one exists, every operator new on this thread asking for at least minBytes throws
// std::bad_alloc.
class ScopedAllocationFailure {
 public:
  explicit ScopedAllocationFailure(size_t minBytes);
  ~ScopedAllocationFailure();
  ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
  ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;
  // How many allocations failed so far.
  static size_t Failures();

 private:
  size_t previous_;
};

}  // namespace pelmor::test
