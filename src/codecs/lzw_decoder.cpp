#include "codecs/lzw_decoder.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace pelmor {

namespace {

constexpr int kTableSize = 4096;
constexpr int kMaxCodeSize = 12;
// What the bit readers return when the input ends before a whole code: above every code.
constexpr int kEndOfInput = 0x10000;
// Bytes written past the end of a string by its eight-byte pieces.
constexpr int kOverhang = 8;
// Chain steps spent, after the sink has stopped taking lines, on following chains through stale
// dictionary entries (about a tenth of a second).
constexpr int64_t kCheckBudget = int64_t{1} << 25;

inline void Store64LE(uint8_t* p, uint64_t v) {
  if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

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

  // The next code of `size` bits, or kEndOfInput when the input ends first.
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
          if (p_ == end_) return kEndOfInput;
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
      if (b < 0) return kEndOfInput;
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
  for (int i = 0; i < clearCode; ++i) {
    length[i] = 1;
    tail[i] = static_cast<uint8_t>(i);
    firstOf[i] = static_cast<uint8_t>(i);
  }
}

int16_t CLzwDecoder::Decode(int32_t lineWidth, int32_t* badCodeCount) {
  int32_t badCodes = 0;
  if (badCodeCount != nullptr) *badCodeCount = 0;
  if (rootSize < 2 || rootSize > 9) return kBadRootSize;
  if (lineWidth < 1 || sink == nullptr) return kNoLineBuffer;
  // Room for one line plus the longest string a code can stand for, so that a string that
  // crosses the end of a line is written in one piece and the overhang moved down afterwards.
  std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[size_t(lineWidth) + kTableSize + kOverhang]);
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
      result = Run<true>(in, line.get(), lineWidth, &plain->ignoreFurtherLines, &badCodes);
      finish(in.Pos(), in.Count());
    } else {
      PlainBits<false> in(begin, end);
      in.Preload(curByte, bitsLeft);
      result = Run<false>(in, line.get(), lineWidth, &plain->ignoreFurtherLines, &badCodes);
      finish(in.Pos(), in.Count());
    }
  } else if (msb) {
    SinkBits<true> in(sink);
    in.Preload(curByte, bitsLeft);
    result = Run<true>(in, line.get(), lineWidth, nullptr, &badCodes);
    bitsLeft = static_cast<int16_t>(in.Count());
    curByte = in.Last();
  } else {
    SinkBits<false> in(sink);
    in.Preload(curByte, bitsLeft);
    result = Run<false>(in, line.get(), lineWidth, nullptr, &badCodes);
    bitsLeft = static_cast<int16_t>(in.Count());
    curByte = in.Last();
  }
  if (badCodeCount != nullptr) *badCodeCount = badCodes;
  return result;
}

// The code count at which the code length grows next (never once it is 12 bits).
inline int GrowthPoint(int size, int top, bool early) {
  return size < kMaxCodeSize ? (early ? top - 1 : top) : INT32_MAX;
}

int32_t CLzwDecoder::Deliver(uint8_t* line, int32_t pos, int32_t lineWidth, int16_t* status) {
  int32_t off = 0;
  while (pos - off >= lineWidth) {
    *status = sink->PutLine(line + off, lineWidth);
    if (*status < 0) return -1;
    off += lineWidth;
  }
  if (off > 0) {
    pos -= off;
    std::memmove(line, line + off, static_cast<size_t>(pos));
  }
  return pos;
}

// Delivers the complete lines (see Deliver), or, once the sink ignores further lines, drops what
// is stored. False when the sink said stop (lastStatus holds its status).
inline bool CLzwDecoder::DeliverOrDiscard(uint8_t* line, int32_t& pos, int32_t lineWidth,
                                          const bool* ignoreLines, int32_t& deliverAt,
                                          int16_t& lastStatus) {
  if (deliverAt == 0) {
    pos = 0;
    return true;
  }
  pos = Deliver(line, pos, lineWidth, &lastStatus);
  if (pos < 0) return false;
  if (ignoreLines != nullptr && *ignoreLines) {
    deliverAt = 0;
    pos = 0;
  }
  return true;
}

// The decoding loop. While the stream is well formed every string is written straight into the
// line buffer, eight symbols at a time from its end backwards (see `tail`). A code above the next
// free one can point chains at entries never assigned (or at stale ones, even in a cycle); from
// such a code until the next clear code the loop follows the chains one symbol at a time through
// the bounded stack instead, as the general algorithm does. (No lambdas here: they would keep the
// loop's variables in memory.)
template <bool kMsb, class Source>
int16_t CLzwDecoder::Run(Source& in, uint8_t* line, int32_t lineWidth, const bool* ignoreLines,
                         int32_t* badCodes) {
  const int clear = clearCode;
  const int end = endCode;
  const int first = firstFree;
  const bool early = earlyChange;
  int size = rootSize + 1;
  int top = 1 << size;
  int next = first;
  int growAt = GrowthPoint(size, top, early);

  // The first code of the stream, and the first after a clear code, stands for itself alone and
  // adds no entry. When the input ends instead, the result differs: 0 at the start, the last
  // line's status after a clear code.
  enum { kInString, kAtStart, kAfterClear } fresh = kAtStart;
  // Codes below fastEnd with a known length are written directly: the literals and, while no
  // bad code has been seen since the last clear, the entries assigned so far (the clear and end
  // codes have length 0). 0 sends every code the long way, as do ignored lines.
  int fastEnd = 0;
  bool tainted = false;
  bool fastOk = true;  // fastEnd follows next: not tainted, lines wanted
  int oldCode = 0;
  uint8_t firstSymbol = 0;  // the first symbol of oldCode's string
  int32_t pos = 0;          // symbols in the current line
  int16_t lastStatus = -1;  // of the last PutLine
  int16_t result = 0;
  int32_t bad = 0;
  bool atEndCode = false;
  // Lines are handed over when this many symbols are stored; 0 once the sink has said it ignores
  // further lines: from then on each string overwrites the last and only the result is sought.
  int32_t deliverAt = lineWidth;
  int64_t checkBudget = kCheckBudget;

  int v = in.Next(size);
  for (;;) {
    uint8_t* const out = line + pos;
    int len;
    uint8_t symbol;  // the first symbol of v's string
    if (v < fastEnd && (len = length[v]) != 0) {
      WriteString(out, v, len);
      symbol = *out;
    } else if (v == clear) {
      size = rootSize + 1;
      top = 1 << size;
      growAt = GrowthPoint(size, top, early);
      next = first;
      fastEnd = 0;
      tainted = false;
      fastOk = deliverAt != 0;
      fresh = kAfterClear;
      v = in.Next(size);
      continue;
    } else if (v == end) {
      atEndCode = true;
      break;
    } else if (v == kEndOfInput) {
      // Input that ends without an end code counts as success; the incomplete line is dropped.
      result = fresh == kAfterClear ? lastStatus : 0;
      break;
    } else if (fresh != kInString) {
      if (v >= next) v = 0;
      oldCode = v;
      firstSymbol = static_cast<uint8_t>(v);
      *out = static_cast<uint8_t>(v);
      fresh = kInString;
      fastEnd = fastOk ? next : 0;
      if (++pos >= deliverAt) {
        if (!DeliverOrDiscard(line, pos, lineWidth, ignoreLines, deliverAt, lastStatus)) {
          result = lastStatus;
          break;
        }
        if (deliverAt == 0) fastOk = false, fastEnd = 0;
      }
      v = in.Next(size);
      continue;
    } else if (v < next && !tainted) {
      // Lines are ignored (fastEnd is 0): only the first symbol is needed.
      len = 0;
      symbol = firstOf[v];
    } else if (v == next && !tainted) {
      // The string of the previous code followed by its own first symbol.
      len = length[oldCode] + 1;
      if (deliverAt != 0) {
        WriteString(out, oldCode, len - 1);
        out[len - 1] = firstSymbol;
      }
      symbol = firstSymbol;
    } else {
      tainted = true;
      fastOk = false;
      fastEnd = 0;
      int sp = 0;
      int code = v;
      if (v >= next) {
        if (v > next) ++bad;
        stack[sp++] = firstSymbol;
        code = oldCode;
      }
      while (code >= first && code < kTableSize && sp < kTableSize) {
        stack[sp++] = suffix[code];
        code = prefix[code];
      }
      if (code >= first || sp >= kTableSize) {
        result = kBadChain;
        break;
      }
      // Once lines are ignored, only how the stream ends is sought. Chains through stale entries
      // can make every code cost thousands of steps; past a generous bound the complete picture
      // stands and the rest of the stream is left unread.
      if (deliverAt == 0 && (checkBudget -= sp) < 0) break;
      stack[sp++] = static_cast<uint8_t>(code);
      symbol = static_cast<uint8_t>(code);
      len = sp;
      if (deliverAt != 0) {
        for (int i = 0; i < sp; ++i) out[i] = stack[sp - 1 - i];
      }
    }
    if (next < top) {
      // The new entry: the previous code's string followed by this one's first symbol.
      suffix[next] = symbol;
      prefix[next] = static_cast<int16_t>(oldCode);
      firstOf[next] = firstSymbol;
      const unsigned oldLength = length[oldCode];
      length[next] = static_cast<uint16_t>(oldLength + 1);
      if (oldLength % 8 == 0) {
        tail[next] = symbol;
        chunkPrefix[next] = static_cast<uint16_t>(oldCode);
      } else {
        tail[next] = tail[oldCode] | uint64_t{symbol} << (8 * (oldLength % 8));
        chunkPrefix[next] = chunkPrefix[oldCode];
      }
      firstSymbol = symbol;
      ++next;
      if (fastOk) fastEnd = next;
      oldCode = v;
    }
    if (next >= growAt) {
      top <<= 1;
      ++size;
      growAt = GrowthPoint(size, top, early);
    }
    pos += len;
    if (pos >= deliverAt) {
      if (!DeliverOrDiscard(line, pos, lineWidth, ignoreLines, deliverAt, lastStatus)) {
        result = lastStatus;
        break;
      }
      if (deliverAt == 0) fastOk = false, fastEnd = 0;
    }
    v = in.Next(size);
  }
  codeSize = static_cast<int16_t>(size);
  topSlot = static_cast<int16_t>(top);
  nextSlot = static_cast<int16_t>(next);
  *badCodes = bad;
  // At the end code a partial last line is delivered and its status is the result (0 from a
  // sink that ignores further lines).
  if (atEndCode && pos > 0 && deliverAt > 0) return sink->PutLine(line, pos);
  return result;
}

inline void CLzwDecoder::WriteString(uint8_t* out, int code, int len) {
  uint8_t* q = out + len - (((len - 1) & 7) + 1);
  Store64LE(q, tail[code]);
  code = chunkPrefix[code];
  while (q > out) {
    q -= 8;
    Store64LE(q, tail[code]);
    code = chunkPrefix[code];
  }
}

}  // namespace pelmor
