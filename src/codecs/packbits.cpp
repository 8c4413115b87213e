#include "codecs/packbits.h"

#include <cstring>

namespace pelmor {

size_t UnpackBits(const uint8_t* in, size_t n, uint8_t* out, size_t outSize) {
  size_t p = 0;
  size_t o = 0;
  while (o < outSize && p < n) {
    const auto h = static_cast<int8_t>(in[p++]);
    if (h >= 0) {
      const size_t len = static_cast<size_t>(h) + 1;
      if (len > outSize - o || len > n - p) break;
      std::memcpy(out + o, in + p, len);
      p += len;
      o += len;
    } else if (h != -128) {
      const auto len = static_cast<size_t>(1 - h);  // 2 ... 128
      if (len > outSize - o || p >= n) break;
      std::memset(out + o, in[p], len);
      ++p;
      o += len;
    }
  }
  return o;
}

}  // namespace pelmor
