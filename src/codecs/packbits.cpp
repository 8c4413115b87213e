#include "codecs/packbits.h"

#include <algorithm>
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

size_t PackBitsStream::Read(uint8_t* dst, size_t room) {
  size_t done = 0;
  while (done < room) {
    if (literal_ > 0) {
      const size_t k = std::min(literal_, room - done);
      std::memcpy(dst + done, in_ + p_, k);
      p_ += k;
      literal_ -= k;
      done += k;
      continue;
    }
    if (repeat_ > 0) {
      const size_t k = std::min(repeat_, room - done);
      std::memset(dst + done, value_, k);
      repeat_ -= k;
      done += k;
      continue;
    }
    if (ended_ || o_ >= outSize_ || p_ >= n_) {
      ended_ = true;
      break;
    }
    const auto h = static_cast<int8_t>(in_[p_++]);
    if (h >= 0) {
      const size_t len = static_cast<size_t>(h) + 1;
      if (len > outSize_ - o_ || len > n_ - p_) {
        ended_ = true;
        break;
      }
      literal_ = len;
      o_ += len;
    } else if (h != -128) {
      const auto len = static_cast<size_t>(1 - h);
      if (len > outSize_ - o_ || p_ >= n_) {
        ended_ = true;
        break;
      }
      value_ = in_[p_++];
      repeat_ = len;
      o_ += len;
    }
  }
  return done;
}

}  // namespace pelmor
