// Marks for the per-pixel loops of drawing.
#pragma once

#include <memory>
#include <utility>

// Per-pixel loops have no branches on the data worth a fuzzer's guidance, and its
// comparison tracing on every step slows them several times over: a coverage-traced build leaves
// them out of it (and, since the two cannot be combined, compiles them for one target only).
#if defined(__has_feature)
#if __has_feature(coverage_sanitizer)
#define PELMOR_COVERAGE_TRACED 1
#endif
#endif
#if defined(PELMOR_COVERAGE_TRACED)
#define PELMOR_PIXEL_LOOP __attribute__((no_sanitize("coverage")))
#define PELMOR_PIXEL_KERNEL PELMOR_PIXEL_LOOP
#else
#define PELMOR_PIXEL_LOOP
#define PELMOR_PIXEL_KERNEL __attribute__((target_clones("avx2", "default")))
#endif

namespace pelmor::platform {

// Leaves the elements a resize adds uninitialised: for buffers that are written whole right after,
// where zeroing tens of megabytes first would be work for nothing.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

}  // namespace pelmor::platform
