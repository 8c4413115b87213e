#include <string>

#include "module/com_object.h"

namespace pelmor::module {

namespace {

// The module's only mutable state: how many objects are alive and how many locks are held,
// which is what the platform asks before it unloads the module.
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

}  // namespace

void ObjectCreated() { gObjects.fetch_add(1, std::memory_order_relaxed); }
void ObjectDestroyed() { gObjects.fetch_sub(1, std::memory_order_acq_rel); }

void LockModule(bool lock) {
  if (lock) {
    gLocks.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  // An unlock without a lock is the host's mistake; the count never goes below zero.
  long n = gLocks.load(std::memory_order_relaxed);
  while (n > 0 && !gLocks.compare_exchange_weak(n, n - 1, std::memory_order_acq_rel)) {
  }
}

bool ModuleCanUnload() {
  return gObjects.load(std::memory_order_acquire) == 0 && gLocks.load(std::memory_order_acquire) == 0;
}

BSTR NewBstr(const std::u16string& text) {
  if (text.size() > UINT32_MAX / 4) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace pelmor::module
