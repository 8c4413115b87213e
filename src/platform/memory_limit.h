// The cap of an image document's memory budget (everything it holds at once while it opens,
// steps or saves), which also bounds single blocks of pixel memory read for drawing.
#pragma once

#include <cstdint>

namespace pelmor {

// 1 GiB, or PELMOR_MAX_ALLOC_MB mebibytes when that environment variable holds a positive number
// (tests and fuzzers lower it).
uint64_t ImageAllocationLimit();

}  // namespace pelmor
