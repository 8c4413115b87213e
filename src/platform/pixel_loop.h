// Marks for the per-pixel loops of drawing.
#pragma once

#include <memory>
#include <utility>

// Per-pixel loops have no branches on the data worth a fuzzer's guidance, and its comparison
// tracing on every step slows them several times over: a coverage-traced build leaves them out of
// it. PELMOR_PIXEL_KERNEL also compiles a loop twice, for AVX2 and for any x86-64, chosen once at
// load time; a coverage-traced build cannot combine that with leaving the loop out, and under
// ThreadSanitizer the load-time chooser would itself be instrumented and run before the sanitizer
// is ready, so those builds have the portable loop only.
#if defined(__has_feature)
#if __has_feature(coverage_sanitizer)
#define PELMOR_COVERAGE_TRACED 1
#endif
#if __has_feature(thread_sanitizer)
#define PELMOR_THREAD_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define PELMOR_THREAD_SANITIZED 1
#endif
#if defined(PELMOR_COVERAGE_TRACED)
#define PELMOR_PIXEL_LOOP __attribute__((no_sanitize("coverage")))
#define PELMOR_PIXEL_KERNEL PELMOR_PIXEL_LOOP
#elif defined(PELMOR_THREAD_SANITIZED)
#define PELMOR_PIXEL_LOOP
#define PELMOR_PIXEL_KERNEL
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
