#include "codecs/png_fixtures.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace pelmor::test {

uint32_t Crc32(const uint8_t* data, size_t n) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
  return ~crc;
}

Bytes PngChunk(const std::string& type, const Bytes& data, bool goodCrc) {
  ByteWriter w;
  w.U32BE(uint32_t(data.size())).Text(type).Append(data);
  const uint32_t crc = Crc32(w.Get().data() + 4, w.Size() - 4);
  w.U32BE(goodCrc ? crc : ~crc);
  return w.Take();
}

Bytes PngHeaderChunk(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                     uint8_t interlace, uint8_t compression, uint8_t filter) {
  ByteWriter w;
  w.U32BE(width).U32BE(height).U8(depth).U8(colourType).U8(compression).U8(filter).U8(interlace);
  return PngChunk("IHDR", w.Take());
}

Bytes PngTextChunk(const std::string& keyword, const std::string& text) {
  ByteWriter w;
  w.Text(keyword).U8(0).Text(text);
  return PngChunk("tEXt", w.Take());
}

Bytes PngFile(const std::vector<Bytes>& chunks) {
  ByteWriter w;
  w.Append({137, 80, 78, 71, 13, 10, 26, 10});
  for (const Bytes& c : chunks) w.Append(c);
  return w.Take();
}

Bytes ZlibStored(const Bytes& data) {
  ByteWriter w;
  w.U8(0x78).U8(0x01);
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(data.size() - at, 65535);
    const bool final = at + n == data.size();
    w.U8(final ? 1 : 0).U16(uint32_t(n)).U16(uint32_t(~n & 0xFFFF));
    w.Append(Bytes(data.begin() + long(at), data.begin() + long(at + n)));
    at += n;
  } while (at < data.size());
  w.U32BE(0);  // the trailer is not checked
  return w.Take();
}

int PngChannels(uint8_t colourType) {
  switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

namespace {

struct Pass {
  uint32_t x0, dx, y0, dy;
};
constexpr Pass kAdam7[7] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                            {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};

uint8_t Predict(uint8_t type, int a, int b, int c) {
  switch (type) {
    case 1: return uint8_t(a);
    case 2: return uint8_t(b);
    case 3: return uint8_t((a + b) / 2);
    case 4: {
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      if (pa <= pb && pa <= pc) return uint8_t(a);
      return uint8_t(pb <= pc ? b : c);
    }
    default: return 0;
  }
}

}  // namespace

Bytes PngFilteredData(const PngPicture& p) {
  const int channels = PngChannels(p.colourType);
  const uint32_t bitsPerPixel = uint32_t(channels) * p.depth;
  const uint32_t unit = std::max<uint32_t>(1, bitsPerPixel / 8);
  std::vector<Pass> passes;
  if (p.interlaced) {
    passes.assign(std::begin(kAdam7), std::end(kAdam7));
  } else {
    passes.push_back({0, 1, 0, 1});
  }
  Bytes out;
  for (const Pass& pass : passes) {
    const uint32_t w = p.width > pass.x0 ? (p.width - pass.x0 + pass.dx - 1) / pass.dx : 0;
    const uint32_t h = p.height > pass.y0 ? (p.height - pass.y0 + pass.dy - 1) / pass.dy : 0;
    if (w == 0 || h == 0) continue;
    const size_t rowBytes = (size_t(w) * bitsPerPixel + 7) / 8;
    Bytes previous(rowBytes, 0);
    for (uint32_t r = 0; r < h; ++r) {
      Bytes raw(rowBytes, 0);
      const uint32_t y = pass.y0 + r * pass.dy;
      size_t bit = 0;
      for (uint32_t i = 0; i < w; ++i) {
        const uint32_t x = pass.x0 + i * pass.dx;
        for (int ch = 0; ch < channels; ++ch) {
          const uint32_t v = p.samples[(size_t(y) * p.width + x) * size_t(channels) + size_t(ch)];
          if (p.depth == 16) {
            raw[bit / 8] = uint8_t(v >> 8);
            raw[bit / 8 + 1] = uint8_t(v);
          } else if (p.depth == 8) {
            raw[bit / 8] = uint8_t(v);
          } else {
            raw[bit / 8] = uint8_t(raw[bit / 8] | (v << (8 - p.depth - bit % 8)));
          }
          bit += p.depth;
        }
      }
      const uint8_t type = p.filters.empty() ? 0 : p.filters[r % p.filters.size()];
      out.push_back(type);
      for (size_t i = 0; i < rowBytes; ++i) {
        const int a = i >= unit ? raw[i - unit] : 0;
        const int c = i >= unit ? previous[i - unit] : 0;
        out.push_back(uint8_t(raw[i] - Predict(type, a, previous[i], c)));
      }
      previous = raw;
    }
  }
  return out;
}

Bytes PngEncode(const PngPicture& p, const std::vector<Bytes>& extraChunks) {
  std::vector<Bytes> chunks{PngHeaderChunk(p.width, p.height, p.depth, p.colourType, p.interlaced ? 1 : 0)};
  chunks.insert(chunks.end(), extraChunks.begin(), extraChunks.end());
  chunks.push_back(PngChunk("IDAT", ZlibStored(PngFilteredData(p))));
  chunks.push_back(PngChunk("IEND", {}));
  return PngFile(chunks);
}

}  // namespace pelmor::test
