#include "platform/memory_limit.h"

#include <cstdlib>

namespace pelmor {

namespace {

constexpr uint64_t kDefaultLimit = uint64_t{1} << 30;

}  // namespace

uint64_t ImageAllocationLimit() {
  if (const char* env = std::getenv("PELMOR_MAX_ALLOC_MB")) {
    char* end = nullptr;
    unsigned long long mb = std::strtoull(env, &end, 10);
    if (end != env && *end == '\0' && mb > 0 && mb < (uint64_t{1} << 40)) return mb << 20;
  }
  return kDefaultLimit;
}

}  // namespace pelmor
