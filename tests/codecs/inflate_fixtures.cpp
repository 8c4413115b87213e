#include "codecs/inflate_fixtures.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "model/input_stream.h"

namespace pelmor::test {

DeflateWriter& DeflateWriter::Bits(uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    if (used_ == 8) {
      bytes_.push_back(0);
      used_ = 0;
    }
    const uint32_t bit = i < 32 ? (value >> i) & 1 : 0;
    bytes_.back() = uint8_t(bytes_.back() | bit << used_);
    ++used_;
  }
  return *this;
}

DeflateWriter& DeflateWriter::Code(uint32_t code, int length) {
  for (int i = length - 1; i >= 0; --i) Bits((code >> i) & 1, 1);
  return *this;
}

DeflateWriter& DeflateWriter::FixedSymbol(int symbol) {
  if (symbol < 144) return Code(uint32_t(0x30 + symbol), 8);
  if (symbol < 256) return Code(uint32_t(0x190 + symbol - 144), 9);
  if (symbol < 280) return Code(uint32_t(symbol - 256), 7);
  return Code(uint32_t(0xC0 + symbol - 280), 8);
}

DeflateWriter& DeflateWriter::Align() {
  used_ = 8;
  return *this;
}

DeflateWriter& DeflateWriter::Stored(bool final, const Bytes& data) {
  Header(final, 0).Align();
  const auto len = uint32_t(data.size());
  Byte(uint8_t(len)).Byte(uint8_t(len >> 8)).Byte(uint8_t(~len)).Byte(uint8_t(~len >> 8));
  for (uint8_t b : data) Byte(b);
  return *this;
}

Bytes DeflateWriter::Finish() { return bytes_; }

uint32_t Adler32(const Bytes& data) {
  uint32_t a = 1, b = 0;
  for (uint8_t v : data) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

Bytes ZlibWrap(const Bytes& deflate, uint8_t cmf, uint8_t flg) {
  Bytes out(deflate.size() + 2);
  out[0] = cmf;
  out[1] = flg;
  std::copy(deflate.begin(), deflate.end(), out.begin() + 2);
  // The trailer is not checked by the readers under test; a fixed value keeps fixtures simple.
  const uint32_t adler = 0x01020304;
  for (int i = 3; i >= 0; --i) out.push_back(uint8_t(adler >> (8 * i)));
  return out;
}

namespace {

// --- The plain inflater -------------------------------------------------------------------

struct Entry {
  int length = 0;
  int code = 0;
  int symbol = 0;
};

class PlainStream : public CInputStream {
 public:
  using CInputStream::CInputStream;

  int ReadLsb(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
      int bit = ReadBit();
      if (bit < 0) return -1;
      v |= bit << i;
    }
    return v;
  }
  int ReadMsb(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
      int bit = ReadBit();
      if (bit < 0) return -1;
      v = v * 2 + bit;
    }
    return v;
  }
  bool Put(int b) {
    if (outPos >= outSize) return false;
    outBuf[outPos++] = uint8_t(b);
    return true;
  }
  bool Copy(int distance, int length) {
    if (outPos < distance) return false;
    for (int i = 0; i < length; ++i) {
      if (outPos >= outSize) return false;
      outBuf[outPos] = outBuf[outPos - distance];
      ++outPos;
    }
    return true;
  }
};

class PlainTable {
 public:
  explicit PlainTable(int count) : entries(size_t(count)) {
    for (int i = 0; i < count; ++i) entries[size_t(i)].symbol = i;
  }

  bool Build() {
    int count[16] = {};
    for (const Entry& e : entries) {
      if (e.length >= 16) return false;
      ++count[e.length];
    }
    count[0] = 0;
    int next[16] = {};
    int code = 0;
    for (int l = 1; l <= 15; ++l) {
      code = (code + count[l - 1]) * 2;
      next[l] = code;
    }
    for (Entry& e : entries) {
      if (e.length > 0) e.code = next[e.length]++;
    }
    shortest = 15;
    longest = 0;
    for (const Entry& e : entries) {
      if (e.length == 0) continue;
      if (e.length < shortest) shortest = e.length;
      if (e.length > longest) longest = e.length;
    }
    if (shortest >= 15 || shortest <= 0 || longest <= 0) return false;
    // Selection sort by length, unused entries last.
    auto key = [](const Entry& e) { return e.length == 0 ? 99 : e.length; };
    for (size_t i = 0; i < entries.size(); ++i) {
      size_t best = i;
      for (size_t j = i + 1; j < entries.size(); ++j) {
        if (key(entries[j]) < key(entries[best])) best = j;
      }
      if (best != i) std::swap(entries[i], entries[best]);
    }
    for (int l = shortest; l < longest; ++l) {
      size_t k = 0;
      while (k < entries.size() && key(entries[k]) < l) ++k;
      first[l - shortest] = int(k);
    }
    return true;
  }

  int Decode(PlainStream& s) const {
    int code = s.ReadMsb(shortest - 1);
    if (code < 0) return -1;
    for (int l = shortest;; ++l) {
      int bit = s.ReadBit();
      if (bit < 0) return -1;
      code = code * 2 + bit;
      for (size_t k = size_t(first[l - shortest]); k < entries.size(); ++k) {
        const Entry& e = entries[k];
        if (e.length > l) break;
        if (e.length == l && e.code == code) return e.symbol;
      }
      if (l >= longest) return -1;
    }
  }

  std::vector<Entry> entries;
  int shortest = 0;
  int longest = 0;
  int first[16] = {};
};

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

int FixedLiteral(PlainStream& s) {
  int v = s.ReadMsb(6);
  if (v < 0) return -1;
  for (int bits = 7; bits <= 9; ++bits) {
    int bit = s.ReadBit();
    if (bit < 0) return -1;
    v = v * 2 + bit;
    if (bits == 7 && v <= 23) return 256 + v;
    if (bits == 8 && v >= 48 && v <= 191) return v - 48;
    if (bits == 8 && v >= 192 && v <= 199) return v + 88;
    if (bits == 9 && v >= 400 && v <= 511) return v - 256;
  }
  return -1;
}

template <class LitFn, class DistFn>
bool BlockData(PlainStream& s, LitFn lit, DistFn dist) {
  for (;;) {
    int sym = lit();
    if (sym < 0) return false;
    if (sym < 256) {
      if (!s.Put(sym)) return false;
      continue;
    }
    if (sym == 256) return true;
    if (sym > 285) return false;
    int extra = s.ReadLsb(kLengthExtra[sym - 257]);
    if (extra < 0) return false;
    int length = kLengthBase[sym - 257] + extra;
    int dcode = dist();
    if (dcode < 0 || dcode >= 30) return false;
    int dextra = s.ReadLsb(kDistanceExtra[dcode]);
    if (dextra < 0) return false;
    if (!s.Copy(kDistanceBase[dcode] + dextra, length)) return false;
  }
}

bool Dynamic(PlainStream& s) {
  int hlit = s.ReadLsb(5);
  if (hlit < 0 || hlit + 257 > 286) return false;
  hlit += 257;
  int hdist = s.ReadLsb(5);
  if (hdist < 0) return false;
  hdist += 1;
  int hclen = s.ReadLsb(4);
  if (hclen < 0) return false;
  hclen += 4;
  PlainTable codeLengths(19);
  for (int i = 0; i < hclen; ++i) {
    int v = s.ReadLsb(3);
    if (v < 0) return false;
    codeLengths.entries[size_t(kOrder[i])].length = v;
  }
  if (!codeLengths.Build()) return false;
  std::vector<int> lengths(size_t(hlit + hdist));
  int i = 0;
  while (i < hlit + hdist) {
    int sym = codeLengths.Decode(s);
    if (sym < 0) return false;
    if (sym < 16) {
      lengths[size_t(i++)] = sym;
      continue;
    }
    int value = 0, repeat;
    if (sym == 16) {
      if (i < 1) return false;
      value = lengths[size_t(i - 1)];
      repeat = s.ReadLsb(2);
      if (repeat < 0) return false;
      repeat += 3;
    } else if (sym == 17) {
      repeat = s.ReadLsb(3);
      if (repeat < 0) return false;
      repeat += 3;
    } else if (sym == 18) {
      repeat = s.ReadLsb(7);
      if (repeat < 0) return false;
      repeat += 11;
    } else {
      return false;
    }
    for (int k = 0; k < repeat; ++k) {
      if (i >= hlit + hdist) return false;
      lengths[size_t(i++)] = value;
    }
  }
  PlainTable lit(hlit), dist(hdist);
  for (int k = 0; k < hlit; ++k) lit.entries[size_t(k)].length = lengths[size_t(k)];
  for (int k = 0; k < hdist; ++k) dist.entries[size_t(k)].length = lengths[size_t(hlit + k)];
  if (!lit.Build() || !dist.Build()) return false;
  return BlockData(s, [&] { return lit.Decode(s); }, [&] { return dist.Decode(s); });
}

bool Blocks(PlainStream& s) {
  for (;;) {
    int final = s.ReadBit();
    if (final < 0) return false;
    int type = s.ReadLsb(2);
    bool ok;
    if (type == 0) {
      s.AlignInput();
      int b[4];
      for (int& v : b) {
        v = s.ReadByte();
        if (v < 0) return false;
      }
      int len = b[0] | b[1] << 8, nlen = b[2] | b[3] << 8;
      if (len + nlen != 0xFFFF) return false;
      ok = true;
      for (int k = 0; k < len && ok; ++k) {
        int v = s.ReadByte();
        ok = v >= 0 && s.Put(v);
      }
    } else if (type == 1) {
      ok = BlockData(s, [&] { return FixedLiteral(s); }, [&] { return s.ReadMsb(5); });
    } else if (type == 2) {
      ok = Dynamic(s);
    } else {
      return false;
    }
    if (!ok) return false;
    if (final) return true;
  }
}

}  // namespace

std::optional<size_t> ReferenceInflate(const Bytes& zlib, uint8_t* out, size_t outSize) {
  if (zlib.empty() || outSize == 0 || zlib.size() < 6) return std::nullopt;
  if (zlib[1] & 0x20) return std::nullopt;
  if ((zlib[0] & 0x0F) != 8) return std::nullopt;
  PlainStream s(zlib.data() + 2, int32_t(zlib.size() - 6), out, int32_t(outSize), false);
  if (!Blocks(s)) return std::nullopt;
  return size_t(s.outPos);
}

}  // namespace pelmor::test
