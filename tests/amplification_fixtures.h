// Small files that ask for far more memory or time than the picture they produce: one generator
// per way a reader was once made to amplify its input. The files are built at test time; their
// moderate forms are also kept in tests/regressions/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace pelmor::test {

struct Amplifier {
  enum Action { kOpen, kOpenAndStepThrough, kOpenAndSaveJpeg };

  const char* name;  // also the regression file's name: <format>-<what>.<ext>
  // The file for a size parameter n (a width, a side, a count: each generator says).
  Bytes (*make)(uint32_t n);
  // The bytes of the DIB the file describes for n, and the working set that decoding such a file
  // needs on top of it whatever the reader does (0 for most).
  uint64_t (*picture)(uint32_t n);
  uint64_t (*inherent)(uint32_t n);
  uint32_t testSize;  // n for the unit test and the kept regression file
  bool opens;         // whether the file opens (the action after it succeeds too)
  Action action;
};

// Every generator. Each file is at most 4 KiB, except the page chain, whose cost is in its length.
const std::vector<Amplifier>& Amplifiers();

}  // namespace pelmor::test
