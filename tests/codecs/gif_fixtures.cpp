#include "codecs/gif_fixtures.h"

namespace pelmor::test {

namespace {

int TableBits(size_t tableBytes) {
  int bits = 0;
  while ((size_t{2} << bits) * 3 < tableBytes) ++bits;
  return bits;
}

}  // namespace

Bytes GifTable(std::initializer_list<uint32_t> rgb) {
  Bytes t;
  for (uint32_t c : rgb) {
    t.push_back(uint8_t(c >> 16));
    t.push_back(uint8_t(c >> 8));
    t.push_back(uint8_t(c));
  }
  return t;
}

Bytes GifLzw(const Bytes& indices, int codeSize) {
  Bytes out;
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](int code, int size) {
    acc |= uint32_t(code) << bits;
    bits += size;
    while (bits >= 8) {
      out.push_back(uint8_t(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  const int clear = 1 << codeSize;
  int size = codeSize + 1;
  int next = clear + 2;
  bool first = true;
  put(clear, size);
  for (uint8_t v : indices) {
    put(v, size);
    if (first) {
      first = false;
      continue;
    }
    // The decoder assigns an entry for every code after the first.
    ++next;
    if (next == (1 << size) && size < 12) ++size;
    if (next == 4096) {
      put(clear, size);
      size = codeSize + 1;
      next = clear + 2;
      first = true;
    }
  }
  put(clear + 1, size);
  if (bits > 0) out.push_back(uint8_t(acc));
  return out;
}

std::vector<int> InterlacedRows(int height) {
  std::vector<int> rows;
  const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = starts[pass]; y < height; y += steps[pass]) rows.push_back(y);
  }
  return rows;
}

GifBuilder::GifBuilder(int width, int height, const Bytes& globalTable, const char* version) {
  w_.Text("GIF").Text(version).U16(width).U16(height);
  w_.U8(globalTable.empty() ? 0 : 0x80 | TableBits(globalTable.size())).U8(0).U8(0);
  w_.Append(globalTable);
}

GifBuilder& GifBuilder::Control(int disposal, int transparent, int delay, int length) {
  w_.U8(0x21).U8(0xF9).U8(length);
  w_.U8(disposal << 2 | (transparent >= 0 ? 1 : 0)).U16(delay).U8(transparent >= 0 ? transparent : 0);
  for (int i = 4; i < length; ++i) w_.U8(0);
  w_.U8(0);
  return *this;
}

GifBuilder& GifBuilder::Frame(int left, int top, int width, int height, const Bytes& indices,
                              const Bytes& localTable, bool interlaced, int codeSize) {
  w_.U8(0x2C).U16(left).U16(top).U16(width).U16(height);
  w_.U8((localTable.empty() ? 0 : 0x80 | TableBits(localTable.size())) | (interlaced ? 0x40 : 0));
  w_.Append(localTable);
  w_.U8(codeSize);
  SubBlocks(GifLzw(indices, codeSize));
  return *this;
}

GifBuilder& GifBuilder::RawFrame(int left, int top, int width, int height, int codeSize,
                                 const Bytes& lzw) {
  w_.U8(0x2C).U16(left).U16(top).U16(width).U16(height).U8(0).U8(codeSize);
  SubBlocks(lzw);
  return *this;
}

GifBuilder& GifBuilder::Comment(const std::string& text) {
  w_.U8(0x21).U8(0xFE);
  SubBlocks(Bytes(text.begin(), text.end()));
  return *this;
}

GifBuilder& GifBuilder::Trailer() {
  w_.U8(0x3B);
  return *this;
}

void GifBuilder::SubBlocks(const Bytes& data) {
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    w_.U8(uint32_t(n)).Append(Bytes(data.begin() + i, data.begin() + i + n));
  }
  w_.U8(0);
}

}  // namespace pelmor::test
