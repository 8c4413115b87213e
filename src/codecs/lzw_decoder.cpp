#include "codecs/lzw_decoder.h"

#include <cstring>
#include <memory>
#include <new>

namespace pelmor {

namespace {

constexpr int kTableSize = 4096;
constexpr int kMaxCodeSize = 12;

inline uint64_t Load64LE(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) v = __builtin_bswap64(v);
  return v;
}

inline uint64_t Load64BE(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) v = __builtin_bswap64(v);
  return v;
}

// Bit readers. Both keep unread bits in a 64-bit accumulator: least significant bit first, the
// next bit is bit 0 of `bits`; most significant bit first, the next bit is bit 63. `count` is the
// number of valid bits. Past the valid bits the accumulator may hold copies of the bytes that
// follow, which a later refill ORs in again unchanged.
//
// PlainBits reads an array directly, eight bytes at a time while eight remain; SinkBits asks the
// sink for one byte at a time, only when a code needs it.
template <bool kMsb>
class PlainBits {
 public:
  PlainBits(const uint8_t* p, const uint8_t* end) : p_(p), end_(end) {}

  void Preload(uint8_t byte, int bitsLeft) { Preload(bits_, count_, byte, bitsLeft); }

  // The next code of `size` bits, or -1 when the input ends first.
  inline int Next(int size) {
    if (count_ < size) {
      if (end_ - p_ >= 8) {
        if constexpr (kMsb) {
          bits_ |= Load64BE(p_) >> count_;
        } else {
          bits_ |= Load64LE(p_) << count_;
        }
        p_ += (63 - count_) >> 3;
        count_ |= 56;
      } else {
        do {
          if (p_ == end_) return -1;
          const uint64_t b = *p_++;
          bits_ |= kMsb ? b << (56 - count_) : b << count_;
          count_ += 8;
        } while (count_ < size);
      }
    }
    int code;
    if constexpr (kMsb) {
      code = static_cast<int>(bits_ >> (64 - size));
      bits_ <<= size;
    } else {
      code = static_cast<int>(bits_ & ((1u << size) - 1));
      bits_ >>= size;
    }
    count_ -= size;
    return code;
  }

  const uint8_t* Pos() const { return p_; }
  int Count() const { return count_; }

  static void Preload(uint64_t& bits, int& count, uint8_t byte, int bitsLeft) {
    if (bitsLeft <= 0 || bitsLeft > 8) return;
    if constexpr (kMsb) {
      bits = static_cast<uint64_t>(static_cast<uint8_t>(byte << (8 - bitsLeft))) << 56;
    } else {
      bits = static_cast<uint64_t>(byte >> (8 - bitsLeft));
    }
    count = bitsLeft;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
  uint64_t bits_ = 0;
  int count_ = 0;
};

template <bool kMsb>
class SinkBits {
 public:
  explicit SinkBits(CPixelSink* sink) : sink_(sink) {}

  void Preload(uint8_t byte, int bitsLeft) {
    PlainBits<kMsb>::Preload(bits_, count_, byte, bitsLeft);
    last_ = byte;
  }

  inline int Next(int size) {
    while (count_ < size) {
      const int32_t b = sink_->GetByte();
      if (b < 0) return -1;
      last_ = static_cast<uint8_t>(b);
      const uint64_t v = static_cast<uint8_t>(b);
      bits_ |= kMsb ? v << (56 - count_) : v << count_;
      count_ += 8;
    }
    int code;
    if constexpr (kMsb) {
      code = static_cast<int>(bits_ >> (64 - size));
      bits_ <<= size;
    } else {
      code = static_cast<int>(bits_ & ((1u << size) - 1));
      bits_ >>= size;
    }
    count_ -= size;
    return code;
  }

  int Count() const { return count_; }
  uint8_t Last() const { return last_; }

 private:
  CPixelSink* sink_;
  uint64_t bits_ = 0;
  int count_ = 0;
  uint8_t last_ = 0;
};

}  // namespace

CLzwDecoder::CLzwDecoder(int16_t rootSize, int32_t bitOrder, bool earlyChange, CPixelSink* sink)
    : rootSize(rootSize), sink(sink), bitOrder(bitOrder), earlyChange(earlyChange) {
  // Sizes outside 2 ... 9 are refused by Decode; keep the derived fields harmless meanwhile.
  const int root = rootSize >= 2 && rootSize <= 9 ? rootSize : 2;
  codeSize = static_cast<int16_t>(root + 1);
  topSlot = static_cast<int16_t>(1 << (root + 1));
  clearCode = static_cast<int16_t>(1 << root);
  endCode = static_cast<int16_t>(clearCode + 1);
  firstFree = static_cast<int16_t>(clearCode + 2);
  nextSlot = firstFree;
  for (int i = 0; i < firstFree; ++i) length[i] = 1;
}

int16_t CLzwDecoder::Decode(int32_t lineWidth, int32_t* badCodeCount) {
  int32_t badCodes = 0;
  if (badCodeCount != nullptr) *badCodeCount = 0;
  if (rootSize < 2 || rootSize > 9) return kBadRootSize;
  if (lineWidth < 1 || sink == nullptr) return kNoLineBuffer;
  // Room for one line plus the longest string a code can stand for, so that a string that
  // crosses the end of a line is written in one piece and the overhang moved down afterwards.
  std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[size_t(lineWidth) + kTableSize]);
  if (!line) return kNoLineBuffer;

  int16_t result;
  const bool msb = bitOrder != kLsbFirst;
  if (auto* plain = dynamic_cast<CPlainPixelSink*>(sink)) {
    const int32_t start = plain->inPos < 0 ? 0 : plain->inPos;
    const uint8_t* data = plain->inData;
    const uint8_t* begin = data + (start < plain->inSize ? start : plain->inSize);
    const uint8_t* end = data + plain->inSize;
    auto finish = [&](const uint8_t* pos, int count) {
      // Give back the whole bytes still unread, so that inPos names the byte after the last one
      // a code took bits from, and keep the bits left in that byte.
      const int32_t consumed = static_cast<int32_t>(pos - data) - count / 8;
      plain->inPos = consumed;
      bitsLeft = static_cast<int16_t>(count % 8);
      if (consumed > start) curByte = data[consumed - 1];
    };
    if (msb) {
      PlainBits<true> in(begin, end);
      in.Preload(curByte, bitsLeft);
      result = Run<true>(in, line.get(), lineWidth, &badCodes);
      finish(in.Pos(), in.Count());
    } else {
      PlainBits<false> in(begin, end);
      in.Preload(curByte, bitsLeft);
      result = Run<false>(in, line.get(), lineWidth, &badCodes);
      finish(in.Pos(), in.Count());
    }
  } else if (msb) {
    SinkBits<true> in(sink);
    in.Preload(curByte, bitsLeft);
    result = Run<true>(in, line.get(), lineWidth, &badCodes);
    bitsLeft = static_cast<int16_t>(in.Count());
    curByte = in.Last();
  } else {
    SinkBits<false> in(sink);
    in.Preload(curByte, bitsLeft);
    result = Run<false>(in, line.get(), lineWidth, &badCodes);
    bitsLeft = static_cast<int16_t>(in.Count());
    curByte = in.Last();
  }
  if (badCodeCount != nullptr) *badCodeCount = badCodes;
  return result;
}

// The decoding loop. While the stream is well formed every string is written straight into the
// line buffer, back to front along its prefix chain, its length known from `length`. A code above
// the next free one can point chains at entries never assigned (or at stale ones, even in a
// cycle); from such a code until the next clear code the loop follows the chains one symbol at a
// time through the bounded stack, as the general algorithm does.
template <bool kMsb, class Source>
int16_t CLzwDecoder::Run(Source& in, uint8_t* line, int32_t lineWidth, int32_t* badCodes) {
  int size = rootSize + 1;
  int top = 1 << size;
  int next = firstFree;
  const int clear = clearCode;
  const int end = endCode;
  const int first = firstFree;
  const bool early = earlyChange;

  int16_t lastStatus = -1;  // of the last PutLine; returned when the input ends after a clear
  int oldCode = 0;
  uint8_t firstSymbol = 0;
  bool tainted = false;
  int32_t pos = 0;  // symbols in the current line
  int16_t result = 0;

  auto saveState = [&]() {
    codeSize = static_cast<int16_t>(size);
    topSlot = static_cast<int16_t>(top);
    nextSlot = static_cast<int16_t>(next);
  };

  // Hands every complete line in the buffer to the sink and moves the overhang to the front.
  // False when the sink asked to stop (its status is in `result`).
  auto deliver = [&]() -> bool {
    int32_t off = 0;
    while (pos - off >= lineWidth) {
      const int16_t status = sink->PutLine(line + off, lineWidth);
      if (status < 0) {
        result = status;
        return false;
      }
      lastStatus = status;
      off += lineWidth;
    }
    if (off > 0) {
      pos -= off;
      std::memmove(line, line + off, static_cast<size_t>(pos));
    }
    return true;
  };

  // The first code of the stream is treated like the first code after a clear code.
  bool afterClear = true;
  int v = in.Next(size);
  while (v != end) {
    if (v < 0) {
      // Input that ends without an end code counts as success; the incomplete line is dropped.
      saveState();
      return 0;
    }
    if (v == clear || afterClear) {
      if (v == clear) {
        size = rootSize + 1;
        top = 1 << size;
        next = first;
        tainted = false;
        do {
          v = in.Next(size);
        } while (v == clear);
        if (v == end) break;
        if (v < 0) {
          saveState();
          return lastStatus;
        }
      }
      afterClear = false;
      if (v >= next) v = 0;
      oldCode = v;
      firstSymbol = static_cast<uint8_t>(v);
      line[pos++] = static_cast<uint8_t>(v);
      if (pos >= lineWidth && !deliver()) break;
      v = in.Next(size);
      continue;
    }

    int len;
    if (!tainted && v <= next) {
      int code = v;
      if (v < next) {
        len = length[v];
      } else {  // the string of the previous code plus its own first symbol
        len = length[oldCode] + 1;
        line[pos + len - 1] = firstSymbol;
        code = oldCode;
      }
      uint8_t* q = line + pos + length[code] - 1;
      while (code >= first) {
        *q-- = suffix[code];
        code = prefix[code];
      }
      *q = static_cast<uint8_t>(code);
      if (next < top) {
        suffix[next] = static_cast<uint8_t>(code);
        prefix[next] = static_cast<int16_t>(oldCode);
        length[next] = static_cast<uint16_t>(length[oldCode] + 1);
        firstSymbol = static_cast<uint8_t>(code);
        ++next;
        oldCode = v;
      }
    } else {
      tainted = true;
      int sp = 0;
      int code = v;
      if (v >= next) {
        if (v > next) ++*badCodes;
        stack[sp++] = firstSymbol;
        code = oldCode;
      }
      while (code >= first) {
        if (code >= kTableSize || sp >= kTableSize) {
          result = kBadChain;
          break;
        }
        stack[sp++] = suffix[code];
        code = prefix[code];
      }
      if (result == 0 && sp >= kTableSize) result = kBadChain;
      if (result != 0) break;
      stack[sp++] = static_cast<uint8_t>(code);
      if (next < top) {
        suffix[next] = static_cast<uint8_t>(code);
        prefix[next] = static_cast<int16_t>(oldCode);
        firstSymbol = static_cast<uint8_t>(code);
        ++next;
        oldCode = v;
      }
      len = sp;
      uint8_t* q = line + pos;
      for (int i = 0; i < sp; ++i) q[i] = stack[sp - 1 - i];
    }
    if (size < kMaxCodeSize && next >= (early ? top - 1 : top)) {
      top <<= 1;
      ++size;
    }
    pos += len;
    if (pos >= lineWidth && !deliver()) break;
    v = in.Next(size);
  }
  saveState();
  if (result != 0) return result;
  // The end code: a partial last line is delivered and its status is the result.
  if (pos > 0) return sink->PutLine(line, pos);
  return 0;
}

}  // namespace pelmor
