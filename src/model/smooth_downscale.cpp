#include "model/smooth_downscale.h"

#include <algorithm>
#include <vector>

namespace pelmor {

namespace {

// Truncating division by a divisor fixed for many numerators, through one multiplication: exact
// for numerators below 2^32; larger ones divide the plain way.
class Divider {
 public:
  explicit Divider(uint64_t d) : d_(d), magic_(d > 1 && d < (uint64_t{1} << 32) ? UINT64_MAX / d + 1 : 0) {}
  uint64_t operator()(uint64_t v) const {
    if (d_ == 1) return v;
    if (magic_ != 0 && v < (uint64_t{1} << 32)) {
      return static_cast<uint64_t>((static_cast<unsigned __int128>(v) * magic_) >> 64);
    }
    return v / d_;
  }
  uint64_t Divisor() const { return d_; }

 private:
  uint64_t d_;
  uint64_t magic_;
};

}  // namespace

void SmoothDownscale(const uint8_t* source, uint32_t sourceStride, uint32_t width, uint32_t height,
                     uint32_t p, uint8_t* destination, uint32_t destinationStride, uint32_t w,
                     uint32_t h) {
  const uint32_t qx = width / w, rx = width % w, qy = height / h, ry = height % h;
  uint32_t ax = 0, ay = 0, y0 = 0;
  // Per row, the sums of each source column over the row's block of source rows.
  std::vector<uint64_t> columns(static_cast<size_t>(width) * 3);
  for (uint32_t row = 0; row < h; ++row) {
    ay += ry;
    uint32_t n = qy;
    while (ay > h) {
      ay -= h;
      ++n;
    }
    std::fill(columns.begin(), columns.end(), 0);
    for (uint32_t k = 0; k < n; ++k) {
      const uint8_t* s = source + static_cast<size_t>(y0 + k) * sourceStride;
      uint64_t* c = columns.data();
      for (uint32_t x = 0; x < width; ++x, s += p, c += 3) {
        c[0] += s[0];
        c[1] += s[1];
        c[2] += s[2];
      }
    }
    // Blocks are qx or qx + 1 columns wide: two divisors serve the whole row.
    const Divider narrow(uint64_t{qx} * n), wide(uint64_t{qx + 1} * n);
    uint8_t* out = destination + static_cast<size_t>(row) * destinationStride;
    const uint64_t* c = columns.data();
    for (uint32_t x = 0; x < w; ++x, out += 3) {
      ax += rx;
      uint32_t m = qx;
      while (ax > w) {
        ax -= w;
        ++m;
      }
      uint64_t b = 0, g = 0, r = 0;
      for (uint32_t k = 0; k < m; ++k, c += 3) {
        b += c[0];
        g += c[1];
        r += c[2];
      }
      const Divider& divide = m == qx ? narrow : wide;
      out[0] = static_cast<uint8_t>(divide(b));
      out[1] = static_cast<uint8_t>(divide(g));
      out[2] = static_cast<uint8_t>(divide(r));
    }
    y0 += n;
  }
}

}  // namespace pelmor
