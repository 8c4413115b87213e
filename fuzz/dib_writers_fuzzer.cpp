// The JPEG and TGA writers over whatever DIB a bitmap file can put in the document: every header
// version, depth, colour-table size, bit-field mask, compression and row order.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_driver.h"
#include "model/image_doc.h"

namespace {

std::string Scratch(const char* suffix) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/pelmor-writers-" +
         std::to_string(::getpid()) + suffix;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pelmor::fuzz::LimitImageAllocations();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in = Scratch(".bmp");
  FILE* f = std::fopen(in.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) return 0;
  {
    pelmor::CImageDoc doc;
    // The writers' work per pixel is the same at any size, so a huge picture only spends the
    // input's time budget; the document's own limits are tested elsewhere.
    constexpr int64_t kMaxPixels = int64_t{1} << 24;
    if (doc.Open(in.c_str(), 0) && int64_t{doc.width} * doc.height <= kMaxPixels) {
      for (const char* suffix : {".out.jpg", ".out.tga"}) {
        const std::string out = Scratch(suffix);
        doc.Save(out.c_str());
        std::remove(out.c_str());
      }
    }
  }
  std::remove(in.c_str());
  return 0;
}
