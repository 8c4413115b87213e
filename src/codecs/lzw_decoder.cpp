#include "codecs/lzw_decoder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace pelmor {

namespace {

constexpr int kTableSize = 4096;
constexpr int kMaxCodeSize = 12;
// What the bit readers return when the input ends before a whole code: above every code.
constexpr int kEndOfInput = 0x10000;
// Bytes written past the end of a string by its eight-byte pieces.
constexpr int kOverhang = CLzwDecoder::kStringSlack;
// The part of the line buffer an appending sink's output passes through near its end.
constexpr int kTailPiece = 4096;
// Room one code's string may need from the output position: the longest string (the whole
// stack) and the overhang.
constexpr int kStringRoom = kTableSize + kOverhang;
// The fast loop is entered only when the input it may read holds at least this many codes; the
// last few codes go the general way one at a time.
constexpr int64_t kMinFastCodes = 16;
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

// Bit readers. PlainBits reads an array directly: a code is cut from the eight bytes at its
// first bit. SinkBits asks the sink for one byte at a time, only when a code needs it, and keeps
// unread bits in a 64-bit accumulator: least significant bit first, the next bit is bit 0;
// most significant bit first, the next bit is bit 63.
//
// Both may start with up to eight bits left over from a previous Decode (`bitsLeft` of
// `curByte`), which come before the input's bytes.

// The code of `size` bits starting at bit `pos` of data, when data holds eight bytes from
// pos / 8 on.
template <bool kMsb>
inline int CodeAt(const uint8_t* data, uint64_t pos, int size) {
  const uint8_t* p = data + (pos >> 3);
  if constexpr (kMsb) {
    return static_cast<int>((Load64BE(p) << (pos & 7)) >> (64 - size));
  } else {
    return static_cast<int>((Load64LE(p) >> (pos & 7)) & ((uint64_t{1} << size) - 1));
  }
}

template <bool kMsb>
struct PlainBits {
  PlainBits(const uint8_t* begin, const uint8_t* end)
      : data(begin), bytes(static_cast<uint64_t>(end - begin)) {}

  void Preload(uint8_t byte, int bitsLeft) {
    if (bitsLeft <= 0 || bitsLeft > 8) return;
    pre = kMsb ? byte & ((1u << bitsLeft) - 1) : byte >> (8 - bitsLeft);
    preCount = bitsLeft;
  }

  // The next code of `size` bits, or kEndOfInput when the input ends first.
  inline int Next(int size) {
    if (preCount != 0) return NextAfterPreload(size);
    return Take(size);
  }

  int Take(int size) {
    if (pos + size > bytes * 8) return kEndOfInput;
    int code;
    if ((pos >> 3) + 8 <= bytes) {
      code = CodeAt<kMsb>(data, pos, size);
    } else {
      uint8_t last[8] = {};
      std::memcpy(last, data + (pos >> 3), static_cast<size_t>(bytes - (pos >> 3)));
      code = CodeAt<kMsb>(last, pos & 7, size);
    }
    pos += size;
    return code;
  }

  int NextAfterPreload(int size) {
    if (preCount >= size) {
      int code;
      if constexpr (kMsb) {
        code = static_cast<int>(pre >> (preCount - size));
      } else {
        code = static_cast<int>(pre & ((1u << size) - 1));
        pre >>= size;
      }
      preCount -= size;
      pre &= (1u << preCount) - 1;
      return code;
    }
    const int more = size - preCount;
    const int rest = Take(more);
    if (rest == kEndOfInput) return kEndOfInput;
    const int code =
        kMsb ? static_cast<int>(pre << more) | rest : static_cast<int>(pre) | rest << preCount;
    pre = 0;
    preCount = 0;
    return code;
  }

  const uint8_t* data;
  uint64_t bytes;
  uint64_t pos = 0;  // bits of data taken
  uint32_t pre = 0;  // bits left over from a previous Decode, taken first
  int preCount = 0;
};

template <bool kMsb>
class SinkBits {
 public:
  explicit SinkBits(CPixelSink* sink) : sink_(sink) {}

  void Preload(uint8_t byte, int bitsLeft) {
    last_ = byte;
    if (bitsLeft <= 0 || bitsLeft > 8) return;
    if constexpr (kMsb) {
      bits_ = static_cast<uint64_t>(static_cast<uint8_t>(byte << (8 - bitsLeft))) << 56;
    } else {
      bits_ = static_cast<uint64_t>(byte >> (8 - bitsLeft));
    }
    count_ = bitsLeft;
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

// The code count at which the code length grows next (never once it is 12 bits).
inline int GrowthPoint(int size, int top, bool early) {
  return size < kMaxCodeSize ? (early ? top - 1 : top) : INT32_MAX;
}

// 256^k: places a symbol at byte k of a piece by multiplication.
constexpr uint64_t kBytePlace[8] = {1,
                                    uint64_t{1} << 8,
                                    uint64_t{1} << 16,
                                    uint64_t{1} << 24,
                                    uint64_t{1} << 32,
                                    uint64_t{1} << 40,
                                    uint64_t{1} << 48,
                                    uint64_t{1} << 56};

}  // namespace

int16_t CAppendingPixelSink::PutLine(const uint8_t* line, int32_t count) {
  const int32_t n = std::min(count, pixelsSize - pixelsPos);
  if (n > 0) {
    std::memcpy(pixels + pixelsPos, line, static_cast<size_t>(n));
    pixelsPos += n;
  }
  if (pixelsPos >= pixelsSize) ignoreFurtherLines = true;
  return 0;
}

// What the fast loop works on: the input, the output and the dictionary's state.
struct CLzwDecoder::FastState {
  enum Lines { kHandOver, kDrop, kInPlace };
  const uint8_t* data;
  uint64_t pos;   // bits of data taken
  uint8_t* out;
  // kHandOver: the lines in the line buffer go to PutLine when out reaches stop (the line's
  // end). kDrop: they are dropped there. kInPlace: the loop ends there.
  Lines lines;
  uint8_t* stop;
  uint8_t* line;
  int32_t lineWidth;
  int size;
  int next;
  int nextStop;      // the loop ends once next reaches it
  int64_t codesLeft;  // codes the input holds eight bytes from the first bit of
  int oldCode;
  int pending;       // a code read but left to the general way, or -1
  int16_t lastStatus;
  bool stopped;      // PutLine returned a negative status (lastStatus)
};

CLzwDecoder::CLzwDecoder(int16_t rootSize, int32_t bitOrder, bool earlyChange, CPixelSink* sink,
                         MemoryBudget* budget)
    : rootSize(rootSize), sink(sink), budget(budget), bitOrder(bitOrder), earlyChange(earlyChange) {
  // Sizes outside 2 ... 9 are refused by Decode; keep the derived fields harmless meanwhile.
  const int root = rootSize >= 2 && rootSize <= 9 ? rootSize : 2;
  codeSize = static_cast<int16_t>(root + 1);
  topSlot = static_cast<int16_t>(1 << (root + 1));
  clearCode = static_cast<int16_t>(1 << root);
  endCode = static_cast<int16_t>(clearCode + 1);
  firstFree = static_cast<int16_t>(clearCode + 2);
  nextSlot = firstFree;
  for (int i = 0; i < clearCode; ++i) {
    length_[i] = 1;
    tail_[i] = static_cast<uint8_t>(i);
  }
}

int16_t CLzwDecoder::Decode(int32_t lineWidth, int32_t* badCodeCount) {
  int32_t badCodes = 0;
  if (badCodeCount != nullptr) *badCodeCount = 0;
  if (rootSize < 2 || rootSize > 9) return kBadRootSize;
  if (lineWidth < 1 || sink == nullptr) return kNoLineBuffer;
  auto* plain = dynamic_cast<CPlainPixelSink*>(sink);
  // A sink that only appends lines gets them written into its pixels, and past the room for that
  // through a small buffer (see Run); it never needs a whole line held.
  const bool appending = dynamic_cast<CAppendingPixelSink*>(sink) != nullptr &&
                         plain->pixels != nullptr && plain->pixelsPos >= 0 &&
                         plain->pixelsPos <= plain->pixelsSize;
  // Room for one line (or a piece of the appended output) plus the longest string a code can
  // stand for, so that a string that crosses the end of a line is written in one piece and the
  // overhang moved down afterwards.
  MemoryBudget unbounded(UINT64_MAX);
  BudgetBuffer<uint8_t> lineBuffer;
  if (!lineBuffer.Allocate(budget != nullptr ? *budget : unbounded,
                           size_t(appending ? kTailPiece : lineWidth) + kStringRoom)) {
    return kNoLineBuffer;
  }
  uint8_t* const line = lineBuffer.Data();

  int16_t result;
  const bool msb = bitOrder != kLsbFirst;
  if (plain != nullptr) {
    const int32_t start = plain->inPos < 0 ? 0 : plain->inPos;
    const uint8_t* data = plain->inData;
    const uint8_t* begin = data + (start < plain->inSize ? start : plain->inSize);
    const uint8_t* end = data + plain->inSize;
    auto finish = [&](uint64_t pos, int preCount) {
      // inPos names the byte after the last one a code took bits from; the bits left in that
      // byte are kept for a later Decode.
      if (preCount != 0) {
        // Nothing was taken from data: a whole unread leftover byte is given back as well.
        plain->inPos = start - preCount / 8;
        bitsLeft = static_cast<int16_t>(preCount % 8);
        return;
      }
      const int32_t consumed =
          static_cast<int32_t>(begin - data + static_cast<int64_t>((pos + 7) / 8));
      plain->inPos = consumed;
      bitsLeft = static_cast<int16_t>((0 - pos) & 7);
      if (consumed > start) curByte = data[consumed - 1];
    };
    if (msb) {
      PlainBits<true> in(begin, end);
      in.Preload(curByte, bitsLeft);
      result = Run<true, true>(in, line, lineWidth, plain, appending, &badCodes);
      finish(in.pos, in.preCount);
    } else {
      PlainBits<false> in(begin, end);
      in.Preload(curByte, bitsLeft);
      result = Run<false, true>(in, line, lineWidth, plain, appending, &badCodes);
      finish(in.pos, in.preCount);
    }
  } else if (msb) {
    SinkBits<true> in(sink);
    in.Preload(curByte, bitsLeft);
    result = Run<true, false>(in, line, lineWidth, nullptr, false, &badCodes);
    bitsLeft = static_cast<int16_t>(in.Count());
    curByte = in.Last();
  } else {
    SinkBits<false> in(sink);
    in.Preload(curByte, bitsLeft);
    result = Run<false, false>(in, line, lineWidth, nullptr, false, &badCodes);
    bitsLeft = static_cast<int16_t>(in.Count());
    curByte = in.Last();
  }
  if (badCodeCount != nullptr) *badCodeCount = badCodes;
  return result;
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

inline void CLzwDecoder::WriteString(uint8_t* out, int code, int len) const {
  uint8_t* q = out + len - (((len - 1) & 7) + 1);
  Store64LE(q, tail_[code]);
  code = chunkPrefix_[code];
  while (q > out) {
    q -= 8;
    Store64LE(q, tail_[code]);
    code = chunkPrefix_[code];
  }
}

inline uint8_t CLzwDecoder::FirstSymbol(int code) const {
  while (length_[code] > 8) code = chunkPrefix_[code];
  return static_cast<uint8_t>(tail_[code]);
}

inline uint64_t CLzwDecoder::AddEntry(int code, int old, unsigned oldLength, uint64_t oldTail,
                                      uint8_t symbol) {
  // A string whose length is a multiple of eight starts a new piece.
  const unsigned k = oldLength % 8;
  const uint64_t tail = (k != 0 ? oldTail : 0) | symbol * kBytePlace[k];
  tail_[code] = tail;
  length_[code] = static_cast<uint16_t>(oldLength + 1);
  chunkPrefix_[code] = k != 0 ? chunkPrefix_[old] : static_cast<uint16_t>(old);
  prefix_[code] = static_cast<uint16_t>(old);
  suffix_[code] = symbol;
  return tail;
}

// Where a fast loop's output reaches s.stop. In the line buffer the complete lines go to the sink
// (or are dropped) and what follows them moves to the front; the loop goes on from the position
// returned. nullptr: the loop ends, written in place (s.out stays) or stopped by the sink.
__attribute__((always_inline)) inline uint8_t* CLzwDecoder::LineEnd(FastState& s, uint8_t* out) {
  if (s.lines == FastState::kInPlace) {
    s.out = out;
    return nullptr;
  }
  uint8_t* const line = s.line;
  if (s.lines == FastState::kDrop) return line;
  const int32_t width = s.lineWidth;
  uint8_t* from = line;
  do {
    const int16_t status = sink->PutLine(from, width);
    s.lastStatus = status;
    if (status < 0) {
      s.stopped = true;
      s.out = out;
      return nullptr;
    }
    from += width;
  } while (out - from >= width);
  const size_t left = static_cast<size_t>(out - from);
  if (left <= 8) {
    // The buffer has room for eight bytes past any string.
    Store64LE(line, Load64LE(from));
  } else {
    std::memmove(line, from, left);
  }
  // A sink that has all it needs gets no more lines.
  if (static_cast<CPlainPixelSink*>(sink)->ignoreFurtherLines) {
    s.lines = FastState::kDrop;
    return line;
  }
  return line + left;
}

// The loop for well-formed streams: each string is written straight to the output, eight symbols
// at a time from its end backwards. It leaves to the general way the clear and end codes and
// codes above the next free one (all of length 0), and stops where the code length grows, the
// dictionary is full, or the input it may read eight bytes at a time ends (all in nextStop:
// every code here assigns an entry). Lines in the line buffer are handed over (or dropped) here;
// in place, it stops where the room for a string in the sink's pixels ends.
//
// Mostly strings are short: while the previous string is shorter than eight symbols, the new
// entry's string still fits one piece, whose chunkPrefix nobody reads, and the first loop does
// only that. The second loop takes every other case.
template <bool kMsb, int kSize>
void CLzwDecoder::RunFast(FastState& s) {
  const uint8_t* const data = s.data;
  uint64_t pos = s.pos;
  uint8_t* out = s.out;
  uint8_t* const stop = s.stop;
  const unsigned size = kSize != 0 ? kSize : static_cast<unsigned>(s.size);
  size_t next = static_cast<size_t>(s.next);
  const size_t nextStop = static_cast<size_t>(s.nextStop);
  size_t old = static_cast<size_t>(s.oldCode);
  unsigned oldLength = length_[old];
  uint64_t oldTail = tail_[old];
  size_t v;
  unsigned len;
  uint64_t tail;
  if (oldLength >= 8) goto longPrevious;
shortPrevious:
  for (;;) {
    v = static_cast<size_t>(CodeAt<kMsb>(data, pos, static_cast<int>(size)));
    pos += size;
    len = length_[v];
    if (len - 1 >= 7) goto decoded;
    tail = tail_[v];
    Store64LE(out, tail);
    {
      const uint8_t symbol = static_cast<uint8_t>(tail);
      tail_[next] = oldTail | symbol * kBytePlace[oldLength];
      length_[next] = static_cast<uint16_t>(oldLength + 1);
      prefix_[next] = static_cast<uint16_t>(old);
      suffix_[next] = symbol;
    }
    old = v;
    oldLength = len;
    oldTail = tail;
    out += len;
    if (++next >= nextStop) goto done;
    if (out >= stop) goto lineEnd;
  }
longPrevious:
  for (;;) {
    v = static_cast<size_t>(CodeAt<kMsb>(data, pos, static_cast<int>(size)));
    pos += size;
    len = length_[v];
  decoded:
    if (len - 1 < 8) {
      tail = tail_[v];
      Store64LE(out, tail);
      AddEntry(static_cast<int>(next), static_cast<int>(old), oldLength, oldTail,
               static_cast<uint8_t>(tail));
    } else if (len != 0) {
      tail = tail_[v];
      WriteString(out, static_cast<int>(v), static_cast<int>(len));
      AddEntry(static_cast<int>(next), static_cast<int>(old), oldLength, oldTail, *out);
    } else if (v == next) {
      // The previous string followed by its own first symbol: the entry being assigned.
      tail = AddEntry(static_cast<int>(next), static_cast<int>(old), oldLength, oldTail,
                      FirstSymbol(static_cast<int>(old)));
      len = oldLength + 1;
      WriteString(out, static_cast<int>(v), static_cast<int>(len));
    } else {
      s.pending = static_cast<int>(v);
      goto done;
    }
    old = v;
    oldLength = len;
    oldTail = tail;
    out += len;
    if (++next >= nextStop) goto done;
    if (out >= stop) goto lineEnd;
    if (oldLength < 8) goto shortPrevious;
  }
lineEnd:
  out = LineEnd(s, out);
  if (out == nullptr) goto done;
  if (oldLength >= 8) goto longPrevious;
  goto shortPrevious;
done:
  s.pos = pos;
  if (out != nullptr) s.out = out;
  s.next = static_cast<int>(next);
  s.oldCode = static_cast<int>(old);
}

// The fast loop once the dictionary is full: codes assign nothing and the previous code stays
// what it was, so a code is its string, or a clear or end code (length 0) left to the general
// way. Codes are 12 bits; s.codesLeft bounds the input read.
template <bool kMsb>
void CLzwDecoder::RunFull(FastState& s) {
  const uint8_t* const data = s.data;
  uint64_t pos = s.pos;
  uint8_t* out = s.out;
  uint8_t* const stop = s.stop;
  for (int64_t codes = s.codesLeft; codes > 0; --codes) {
    const size_t v = static_cast<size_t>(CodeAt<kMsb>(data, pos, kMaxCodeSize));
    pos += kMaxCodeSize;
    const unsigned len = length_[v];
    if (len - 1 < 8) {
      Store64LE(out, tail_[v]);
    } else if (len != 0) {
      WriteString(out, static_cast<int>(v), static_cast<int>(len));
    } else {
      s.pending = static_cast<int>(v);
      break;
    }
    out += len;
    if (out >= stop) {
      out = LineEnd(s, out);
      if (out == nullptr) break;
    }
  }
  s.pos = pos;
  if (out != nullptr) s.out = out;
}

// Where Run's symbols go. In the line buffer, complete lines are handed over (or dropped) once out
// reaches lineEnd. A sink that only appends lines never sees PutLine: the output goes straight into
// its pixels ("direct", in place from directBase; the lines complete so far end at
// CompleteLines(out), and lineEnd is never reached) until their end is near, then ("tail")
// through the first kTailPiece bytes of the line buffer, whose bytes are copied to what is left
// of the pixels while the lines are only counted. Its pixelsPos ends after the lines it would have
// been handed.
struct CLzwDecoder::LineOutput {
  LineOutput(CLzwDecoder& decoder, CPlainPixelSink* plain, uint8_t* line, int32_t lineWidth,
             bool appending)
      : decoder(decoder), plain(plain), line(line), lineWidth(lineWidth), out(line),
        lineEnd(line + lineWidth) {
    if (!appending) return;
    directBase = plain->pixels + plain->pixelsPos;
    room = plain->pixelsSize - plain->pixelsPos;
    if (room > 2 * kStringRoom) {
      direct = true;
      directSafe = directBase + room - kStringRoom;
      out = directBase;
      lineEnd = directBase + room;
    } else {
      tail = true;
      lineEnd = line + kTailPiece;
    }
  }

  uint8_t* CompleteLines(uint8_t* at) const {
    return directBase + (at - directBase) / lineWidth * int64_t{lineWidth};
  }

  // Tail: the line buffer's bytes go to the pixels as far as they reach; a sink whose pixels are
  // full once a line is complete takes no more lines.
  void FlushTail() {
    const int64_t n = out - line;
    if (written < room && !ignoring) {
      std::memcpy(directBase + written, line, static_cast<size_t>(std::min(n, room - written)));
    }
    written += n;
    out = line;
    const int64_t lines = written / lineWidth;
    if (lines > 0) {
      lastStatus = 0;
      if (lines * lineWidth >= room) ignoring = true;
    }
  }

  // Before each code: hands over the complete lines once out reaches lineEnd, and switches from
  // direct to tail near the end of the pixels, so that the longest string fits where out is.
  // False when the sink said stop (lastStatus holds its status).
  bool MakeRoom() {
    if (tail && out >= lineEnd) {
      FlushTail();
    } else if (out >= lineEnd) {
      if (ignoring) {
        // Nobody reads these symbols: each line overwrites the last.
        out = line;
      } else {
        const int32_t left =
            decoder.Deliver(line, static_cast<int32_t>(out - line), lineWidth, &lastStatus);
        if (left < 0) return false;
        out = line + left;
        if (plain != nullptr && plain->ignoreFurtherLines) {
          ignoring = true;
          out = line;
        }
      }
    }
    if (direct && out >= directSafe) {
      // Near the end of the sink's pixels: what is written is in place, the rest goes through
      // the line buffer.
      written = out - directBase;
      if (written >= lineWidth) lastStatus = 0;
      direct = false;
      tail = true;
      out = line;
      lineEnd = line + kTailPiece;
    }
    return true;
  }

  // The input ran out without an end code: the incomplete line is dropped.
  void InputEnded() {
    if (direct && CompleteLines(out) > directBase) lastStatus = 0;
    if (tail) FlushTail();
  }

  // Delivers what the decoding left and gives Decode's result, `result` unless the delivery of a
  // partial last line decides it.
  int16_t Finish(bool atEndCode, int16_t result) {
    if (direct) {
      // The lines written in place are delivered; at the end code so is the partial last one.
      plain->pixelsPos = static_cast<int32_t>((atEndCode ? out : CompleteLines(out)) - plain->pixels);
      static_cast<CAppendingPixelSink*>(plain)->pixelsReached = static_cast<int32_t>(
          std::min<int64_t>(plain->pixelsSize, out + kOverhang - plain->pixels));
      return result;
    }
    if (tail) {
      if (out > line) FlushTail();
      const int64_t delivered = atEndCode ? written : written / lineWidth * lineWidth;
      plain->pixelsPos =
          static_cast<int32_t>(directBase + std::min(room, delivered) - plain->pixels);
      static_cast<CAppendingPixelSink*>(plain)->pixelsReached = plain->pixelsSize;
      if (plain->pixelsPos >= plain->pixelsSize && delivered > 0) plain->ignoreFurtherLines = true;
      return result;
    }
    // At the end code a partial last line is delivered and its status is the result (0 from a
    // sink that ignores further lines).
    if (atEndCode && out > line && !ignoring) {
      return decoder.sink->PutLine(line, static_cast<int32_t>(out - line));
    }
    return result;
  }

  CLzwDecoder& decoder;
  CPlainPixelSink* plain;
  uint8_t* const line;
  const int32_t lineWidth;
  uint8_t* out;
  uint8_t* lineEnd;
  uint8_t* directBase = nullptr;
  uint8_t* directSafe = nullptr;  // a string written from below here fits in the pixels
  bool direct = false;
  bool tail = false;
  bool ignoring = false;    // the sink ignores further lines: only the result is sought
  int64_t room = 0;         // appending: bytes the pixels can still take
  int64_t written = 0;      // tail: symbols of this Decode before those in the line buffer
  int16_t lastStatus = -1;  // of the last PutLine
};

// Where the codes stand: the code size, the dictionary's next entry and the previous code.
struct CLzwDecoder::CodeState {
  int size;
  int top;
  int next;
  int growAt;
  int oldCode = 0;
  uint8_t firstSymbol = 0;  // the first symbol of oldCode's string
  int pending = -1;         // a code the fast loop read and left to Run

  void Grow(bool early) {
    top <<= 1;
    ++size;
    growAt = GrowthPoint(size, top, early);
  }
};

template <bool kMsb, class Source>
CLzwDecoder::FastOutcome CLzwDecoder::RunFastLoops(Source& in, LineOutput& o, CodeState& c) {
  // The fast loops read eight bytes from each code's first, one code per entry at most.
  const uint64_t limit = in.bytes >= 8 ? (in.bytes - 8) * 8 : 0;
  const int64_t codesLeft =
      in.pos < limit ? static_cast<int64_t>((limit - in.pos) / kMaxCodeSize) : 0;
  if (codesLeft < kMinFastCodes) return FastOutcome::kNotRun;
  FastState s;
  s.data = in.data;
  s.pos = in.pos;
  s.out = o.out;
  s.lines = o.direct     ? FastState::kInPlace
            : o.ignoring ? FastState::kDrop
                         : FastState::kHandOver;
  // Strings of up to kStringRoom bytes are written from anywhere below stop.
  s.stop = o.direct ? o.directSafe : o.lineEnd;
  s.line = o.line;
  s.lineWidth = o.lineWidth;
  s.size = c.size;
  s.next = c.next;
  s.nextStop =
      static_cast<int>(std::min<int64_t>(std::min(c.growAt, kTableSize), c.next + codesLeft));
  s.codesLeft = codesLeft;
  s.oldCode = c.oldCode;
  s.pending = -1;
  s.lastStatus = o.lastStatus;
  s.stopped = false;
  if (c.next >= kTableSize) {
    RunFull<kMsb>(s);
  } else {
    switch (c.size) {
      case 9: RunFast<kMsb, 9>(s); break;
      case 10: RunFast<kMsb, 10>(s); break;
      case 11: RunFast<kMsb, 11>(s); break;
      case 12: RunFast<kMsb, 12>(s); break;
      default: RunFast<kMsb, 0>(s); break;
    }
  }
  in.pos = s.pos;
  o.out = s.out;
  c.next = s.next;
  c.oldCode = s.oldCode;
  c.firstSymbol = FirstSymbol(c.oldCode);
  c.pending = s.pending;
  o.lastStatus = s.lastStatus;
  if (s.stopped) return FastOutcome::kStopped;
  o.ignoring = s.lines == FastState::kDrop;
  if (c.next >= c.growAt) c.Grow(earlyChange);
  return FastOutcome::kRan;
}

int CLzwDecoder::ChainToStack(int v, const CodeState& c, int32_t& bad) {
  int sp = 0;
  int code = v;
  if (v >= c.next) {
    if (v > c.next) ++bad;
    stack[sp++] = c.firstSymbol;
    code = c.oldCode;
  }
  while (code >= firstFree && code < kTableSize && sp < kTableSize) {
    stack[sp++] = suffix_[code];
    code = prefix_[code];
  }
  if (code >= firstFree || sp >= kTableSize) return -1;
  stack[sp++] = static_cast<uint8_t>(code);
  return sp;
}

// The decoding loop. While the stream is well formed, codes go through the fast loops; the clear
// and end codes, the first code after a clear code, a full dictionary and the end of the input are
// taken here one code at a time. A code above the next free one can point chains at entries
// never assigned (or at stale ones, even in a cycle); from such a code until the next clear code
// the loop follows the chains one symbol at a time through the bounded stack instead, as the
// general algorithm does. Output goes through LineOutput.
template <bool kMsb, bool kPlain, class Source>
int16_t CLzwDecoder::Run(Source& in, uint8_t* line, int32_t lineWidth, CPlainPixelSink* plain,
                         bool appending, int32_t* badCodes) {
  const int clear = clearCode;
  const int end = endCode;
  const int first = firstFree;
  const bool early = earlyChange;
  CodeState c;
  c.size = rootSize + 1;
  c.top = 1 << c.size;
  c.next = first;
  c.growAt = GrowthPoint(c.size, c.top, early);
  // Entries left by an earlier Decode are stale now.
  std::memset(length_ + first, 0, sizeof(length_[0]) * (kTableSize - first));

  // The first code of the stream, and the first after a clear code, stands for itself alone and
  // adds no entry. When the input ends instead, the result differs: 0 at the start, the last
  // line's status after a clear code.
  enum { kInString, kAtStart, kAfterClear } fresh = kAtStart;
  bool tainted = false;  // a bad code was seen since the last clear code
  int16_t result = 0;
  int32_t bad = 0;
  bool atEndCode = false;
  int64_t checkBudget = kCheckBudget;
  LineOutput o(*this, plain, line, lineWidth, appending);

  for (;;) {
    if (!o.MakeRoom()) {
      result = o.lastStatus;
      break;
    }
    if constexpr (kPlain) {
      if (c.pending < 0 && fresh == kInString && !tainted && in.preCount == 0 &&
          (!o.tail || o.ignoring)) {
        const FastOutcome fast = RunFastLoops<kMsb>(in, o, c);
        if (fast == FastOutcome::kStopped) {
          result = o.lastStatus;
          break;
        }
        if (fast == FastOutcome::kRan) continue;
      }
    }

    int v = c.pending;
    if (v >= 0) {
      c.pending = -1;
    } else {
      v = in.Next(c.size);
    }
    uint8_t* const out = o.out;
    int len;
    uint8_t symbol;  // the first symbol of v's string
    if (v == clear) {
      c.size = rootSize + 1;
      c.top = 1 << c.size;
      c.growAt = GrowthPoint(c.size, c.top, early);
      std::memset(length_ + first, 0, sizeof(length_[0]) * (c.next - first));
      c.next = first;
      tainted = false;
      fresh = kAfterClear;
      continue;
    } else if (v == end) {
      atEndCode = true;
      break;
    } else if (v == kEndOfInput) {
      o.InputEnded();
      result = fresh == kAfterClear ? o.lastStatus : 0;
      break;
    } else if (fresh != kInString) {
      if (v >= c.next) v = 0;
      c.oldCode = v;
      c.firstSymbol = static_cast<uint8_t>(v);
      *o.out++ = static_cast<uint8_t>(v);
      fresh = kInString;
      continue;
    } else if (v < c.next && !tainted) {
      len = length_[v];
      WriteString(out, v, len);
      symbol = *out;
    } else if (v == c.next && !tainted) {
      // The string of the previous code followed by its own first symbol.
      len = length_[c.oldCode] + 1;
      symbol = c.firstSymbol;
      WriteString(out, c.oldCode, len - 1);
      out[len - 1] = symbol;
    } else {
      tainted = true;
      const int sp = ChainToStack(v, c, bad);
      if (sp < 0) {
        result = kBadChain;
        break;
      }
      // Once lines are ignored, only how the stream ends is sought. Chains through stale entries
      // can make every code cost thousands of steps; past a generous bound the complete picture
      // stands and the rest of the stream is left unread.
      if (o.ignoring && (checkBudget -= sp - 1) < 0) break;
      symbol = stack[sp - 1];
      len = 0;
      if (!o.ignoring) {
        len = sp;
        for (int i = 0; i < sp; ++i) out[i] = stack[sp - 1 - i];
      }
    }
    if (c.next < c.top) {
      // The new entry: the previous code's string followed by this one's first symbol.
      AddEntry(c.next, c.oldCode, length_[c.oldCode], tail_[c.oldCode], symbol);
      c.firstSymbol = symbol;
      ++c.next;
      c.oldCode = v;
    }
    if (c.next >= c.growAt) c.Grow(early);
    o.out += len;
  }
  codeSize = static_cast<int16_t>(c.size);
  topSlot = static_cast<int16_t>(c.top);
  nextSlot = static_cast<int16_t>(c.next);
  *badCodes = bad;
  return o.Finish(atEndCode, result);
}

}  // namespace pelmor
