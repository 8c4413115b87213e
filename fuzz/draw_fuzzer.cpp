// Drawing whatever DIB a bitmap file can put in the document: the document's Draw (halftone on and
// off, stretched and not, the cached copy reused), then StretchDIBits in every stretch mode with
// source and destination rectangles that reach outside, mirror and cut. The rectangles and sizes
// come from a hash of the input, so that every seed is a plain bitmap file.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_driver.h"
#include "model/image_doc.h"
#include "platform/stretch_dib.h"

namespace {

std::string Scratch() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/pelmor-draw-" +
         std::to_string(::getpid()) + ".bmp";
}

// Small signed values drawn from the hash, a few bits at a time.
class Choices {
 public:
  Choices(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) hash_ = (hash_ ^ data[i]) * 0x100000001B3ull;
  }
  // A value in [low, high], cut to 32 bits.
  int32_t Next(int64_t low, int64_t high) {
    hash_ = hash_ * 6364136223846793005ull + 1442695040888963407ull;
    const int64_t v = low + static_cast<int64_t>((hash_ >> 33) % static_cast<uint64_t>(high - low + 1));
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  }

 private:
  uint64_t hash_ = 0xCBF29CE484222325ull;
};

void Exercise(pelmor::CImageDoc& doc, Choices& pick) {
  using namespace pelmor::platform;
  Surface surface = Surface::Create(pick.Next(1, 48), pick.Next(1, 48), pick.Next(0, 7) == 0);
  HDC dc = CreateDisplayDC(&surface);
  for (int i = 0; i < 3; ++i) {
    doc.halftoneStretch = pick.Next(0, 1) == 1;
    const auto w = static_cast<uint32_t>(pick.Next(-2, 60));
    const auto h = static_cast<uint32_t>(pick.Next(-2, 60));
    const int32_t x = pick.Next(-20, 20), y = pick.Next(-20, 20);
    const bool stretch = pick.Next(0, 3) != 0;
    doc.Draw(dc, x, y, w, h, stretch);
    doc.Draw(dc, x, y, w, h, stretch);  // the second paint of a size reuses the copy
  }
  for (int mode = BLACKONWHITE; mode <= HALFTONE; ++mode) {
    SetStretchBltMode(dc, mode);
    const int64_t W = doc.width, H = doc.height;
    StretchDIBits(dc, pick.Next(-20, 20), pick.Next(-20, 20), pick.Next(-60, 60),
                  pick.Next(-60, 60), pick.Next(-4, 4) + (pick.Next(0, 1) ? W / 2 : 0),
                  pick.Next(-4, 4) + (pick.Next(0, 1) ? H / 2 : 0),
                  pick.Next(-W - 4, W + 4), pick.Next(-H - 4, H + 4), doc.bits, doc.header,
                  DIB_RGB_COLORS, SRCCOPY, DibMemory{doc.block.Data(), doc.BlockEnd()});
  }
  DeleteDC(dc);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pelmor::fuzz::LimitImageAllocations();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in = Scratch();
  FILE* f = std::fopen(in.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) return 0;
  {
    pelmor::CImageDoc doc;
    if (doc.Open(in.c_str(), 0)) {
      Choices pick(data, size);
      Exercise(doc, pick);
    }
  }
  std::remove(in.c_str());
  return 0;
}
