// One limit for every large block of pixel memory: decoded images and drawing surfaces alike.
#pragma once

#include <cstdint>

namespace pelmor {

// The largest single image allocation: 1 GiB, or PELMOR_MAX_ALLOC_MB mebibytes when that
// environment variable holds a positive number (tests and fuzzers lower it).
uint64_t ImageAllocationLimit();

}  // namespace pelmor
