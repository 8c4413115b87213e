#include "fuzz_driver.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/image_doc.h"

namespace pelmor::fuzz {

namespace {

// The document's memory budget: what an open holds at once beyond this fails as a clean refusal.
// Keep it below libFuzzer's -malloc_limit_mb so that the document, not the fuzzer, says no.
constexpr const char* kAllocationLimitMb = "64";

// The most any operation of any input held at once, told when the fuzzer ends.
uint64_t largestPeak = 0;

void ReportPeak() {
  std::fprintf(stderr, "pelmor: largest budget peak %llu bytes (cap %s MiB)\n",
               static_cast<unsigned long long>(largestPeak), kAllocationLimitMb);
}

std::string ScratchPath(const char* extension) {
  const char* dir = std::getenv("TMPDIR");
  std::string base = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  return base + "/pelmor-fuzz-" + std::to_string(::getpid()) + "." + extension;
}

bool WriteAll(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

void LimitImageAllocations() {
  ::setenv("PELMOR_MAX_ALLOC_MB", kAllocationLimitMb, 1);
  std::atexit(ReportPeak);
}

int FuzzImageFile(const uint8_t* data, size_t size, const char* extension) {
  const std::string in = ScratchPath(extension);
  if (!WriteAll(in, data, size)) return 0;
  {
    CImageDoc doc;
    const bool opened = doc.Open(in.c_str(), 0);
    largestPeak = std::max(largestPeak, doc.budget.Peak());
    if (opened) {
      for (int step = 0; step < 2 && doc.currentImage + 1 < doc.imageCount; ++step) {
        const bool stepped = doc.NextImage();
        largestPeak = std::max(largestPeak, doc.budget.Peak());
        if (!stepped) break;
      }
      const std::string out = ScratchPath("bmp") + ".out.bmp";
      doc.Save(out.c_str());
      largestPeak = std::max(largestPeak, doc.budget.Peak());
      std::remove(out.c_str());
    }
  }
  std::remove(in.c_str());
  return 0;
}

}  // namespace pelmor::fuzz
