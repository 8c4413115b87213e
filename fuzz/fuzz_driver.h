// The one driver every image fuzz target shares: the input becomes a file, the document opens it
// as a viewer would, steps through a couple of images, and saves what it shows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmor::fuzz {

// Opens the bytes as a file named with the given extension (which picks the codec tried first),
// then, when it opened, moves to the next two images where there are more and saves the image as
// BMP. Always returns 0.
int FuzzImageFile(const uint8_t* data, size_t size, const char* extension);

// Caps every document's memory budget for the fuzzing process and reports, at exit, the most any
// input made a document hold (called from LLVMFuzzerInitialize).
void LimitImageAllocations();

}  // namespace pelmor::fuzz

// Defines the libFuzzer entry points of a target that feeds files with the given extension to the
// document.
#define PELMOR_IMAGE_FUZZER(extension)                                                  \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {                                  \
    pelmor::fuzz::LimitImageAllocations();                                              \
    return 0;                                                                           \
  }                                                                                     \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {             \
    return pelmor::fuzz::FuzzImageFile(data, size, extension);                          \
  }
