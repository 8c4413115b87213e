#include "codecs/inflate.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "model/image_block.h"

namespace pelmor {

namespace {

// RFC 1951 section 3.2.5: base lengths and extra bits of literal/length symbols 257 to 285.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Base distances and extra bits of distance codes 0 to 29. Codes 30 and 31 have no base; their
// entries are invalid, and the zeros only keep a lookup by code & 31 inside the table.
constexpr uint16_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,  33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769, 1025,
                                        1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the code lengths of the code-length alphabet.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr int kLiteralLengthSymbols = 288;
constexpr int kMaxSymbols = kLiteralLengthSymbols;
constexpr int kMaxPrimaryBits = 11;  // the literal/length table's
constexpr int kDistancePrimaryBits = 8;

// Room the fast path needs past the output position at the top of a round: up to two literals
// stored before a match, the longest match, and the bytes that the copies below may read and write
// past its end.
constexpr uint32_t kCopySlack = 32;
constexpr ptrdiff_t kLiteralsBeforeMatch = 2;
constexpr ptrdiff_t kFastOutputRoom = kLiteralsBeforeMatch + 258 + kCopySlack;
// Input the fast path needs: one unaligned 64-bit load.
constexpr ptrdiff_t kFastInputRoom = 8;  // per refill

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;  // little-endian hosts only, as the bit order of the stream requires
}
inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
constexpr uint64_t LowBits(uint32_t n) { return (uint64_t{1} << n) - 1; }

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the bit buffer assumes little-endian loads");

uint32_t ReverseBits(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

int PrimaryBitsFor(CHuffmanTable::Alphabet alphabet) {
  switch (alphabet) {
    case CHuffmanTable::Alphabet::kLiteralLength: return kMaxPrimaryBits;
    case CHuffmanTable::Alphabet::kDistance: return kDistancePrimaryBits;
    case CHuffmanTable::Alphabet::kCodeLength: return 7;
  }
  return 8;
}

// Copies a match of length bytes from distance bytes back, in words. Needs distance <= the output
// so far and kFastOutputRoom bytes of buffer from out. The copies may write up to kCopySlack bytes
// past the match. With kKeepAfter those bytes are read first and put back, so nothing beyond the
// match changes; without it they are left as the copies wrote them, for a buffer whose bytes past
// the output are nobody else's.
template <bool kKeepAfter>
[[gnu::always_inline]] inline void CopyMatchFast(uint8_t* out, uint32_t distance, uint32_t length) {
  uint8_t* const end = out + length;
  __m128i after0, after1;
  if constexpr (kKeepAfter) {
    after0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end));
    after1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end + 16));
  }
  if (__builtin_expect(distance >= 8, 1)) {
    // Two words, then 16-byte copies. Below 16 the output repeats with twice the distance too,
    // which is at least 16 and lies behind the first 16 bytes once they are written.
    const uint8_t* src = out - distance;
    Store64(out, Load64(src));
    Store64(out + 8, Load64(src + 8));
    const uint32_t stride = distance < 16 ? 2 * distance : distance;
    uint8_t* dst = out + 16;
    src = dst - stride;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
    dst += 16;
    src += 16;
    while (dst < end) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
      dst += 16;
      src += 16;
    }
  } else if (distance == 1) {
    const __m128i v = _mm_set1_epi8(char(out[-1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), v);
    for (uint8_t* dst = out + 32; dst < end; dst += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
  } else {
    // The output repeats with the period `distance`, and so with any multiple of it: once a
    // multiple of at least 8 bytes lies behind the write position, whole words can be copied.
    const uint32_t period = (8 + distance - 1) / distance * distance;
    const uint32_t lead = length < period - distance ? length : period - distance;
    const uint8_t* from = out - distance;
    for (uint32_t i = 0; i < lead; ++i) out[i] = from[i];
    uint8_t* dst = out + lead;
    const uint8_t* src = dst - period;
    while (dst < end) {
      Store64(dst, Load64(src));
      dst += 8;
      src += 8;
    }
  }
  if constexpr (kKeepAfter) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(end), after0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(end + 16), after1);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The stream

int32_t CInflateStream::ReadBitsLsbFirst(int32_t n) {
  int32_t value = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t bit = ReadBit();
    if (bit < 0) return -1;
    value |= bit << i;
  }
  return value;
}

bool CInflateStream::PutByte(uint8_t b) {
  if (outPos >= outSize) return false;
  outBuf[outPos++] = b;
  return true;
}

bool CInflateStream::CopyMatch(int32_t distance, int32_t length) {
  if (distance <= 0 || outPos < distance) return false;
  for (int32_t i = 0; i < length; ++i) {
    if (outPos >= outSize) return false;
    outBuf[outPos] = outBuf[outPos - distance];
    ++outPos;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Huffman tables

uint32_t CHuffmanTable::BaseDistance(uint32_t entry) { return kDistanceBase[Value(entry) & 31]; }

uint32_t CHuffmanTable::EntryFor(int symbol, int length) const {
  const uint32_t codeBits = uint32_t(length) << 16 | uint32_t(length);
  // The index bits of the lookup that may follow.
  constexpr uint32_t kThenLiteralLength = uint32_t{kMaxPrimaryBits} << 8;
  constexpr uint32_t kThenDistance = uint32_t{kDistancePrimaryBits} << 8;
  switch (alphabet_) {
    case Alphabet::kCodeLength:
      return uint32_t(symbol) << 24 | kLiteral | codeBits;
    case Alphabet::kLiteralLength:
      if (symbol < 256) return uint32_t(symbol) << 24 | kLiteral | kThenDistance | codeBits;
      if (symbol == 256) return kEndOfBlock | kThenDistance | codeBits;
      if (symbol <= 285) {
        const int row = symbol - 257;
        return uint32_t(kLengthBase[row] - 3) << 24 | kThenDistance | (codeBits + kLengthExtra[row]);
      }
      return kInvalid | kThenDistance | codeBits;  // 286 and 287 have a code but no meaning
    case Alphabet::kDistance:
      if (symbol < 30) return uint32_t(symbol) << 24 | kThenLiteralLength | (codeBits + kDistanceExtra[symbol]);
      return kInvalid | kThenLiteralLength | codeBits;  // 30 and 31 likewise
  }
  return kInvalid;
}

bool CHuffmanTable::Build(const uint8_t* lengths, int count) {
  if (count < 0 || count > kMaxSymbols) return false;
  int lengthCount[16] = {};
  for (int i = 0; i < count; ++i) {
    if (lengths[i] > 15) return false;
    ++lengthCount[lengths[i]];
  }
  lengthCount[0] = 0;
  shortest = 15;
  longest = 0;
  for (int length = 1; length <= 15; ++length) {
    if (lengthCount[length] == 0) continue;
    if (length < shortest) shortest = length;
    longest = length;
  }
  if (shortest >= 15 || shortest <= 0 || longest <= 0) return false;

  // Canonical codes: the first code of each length. For an over-subscribed set these run past
  // 2^length; such codes can never be read, and neither can any longer code after them.
  uint32_t nextCode[16] = {};
  uint32_t code = 0;
  for (int length = 1; length <= 15; ++length) {
    code = (code + uint32_t(lengthCount[length - 1])) << 1;
    nextCode[length] = code;
  }

  // Symbols in canonical order (by length, then by symbol), with their codes. In this order the
  // codes read as left-aligned 15-bit numbers only grow, so the codes that share a primary index
  // are neighbours.
  int offset[16] = {};
  for (int length = 2; length <= 15; ++length) offset[length] = offset[length - 1] + lengthCount[length - 1];
  uint16_t sorted[kMaxSymbols];
  int used = 0;
  for (int symbol = 0; symbol < count; ++symbol) {
    if (lengths[symbol] != 0) {
      sorted[offset[lengths[symbol]]++] = uint16_t(symbol);
      ++used;
    }
  }

  // Always the full primary size, so that the fast path can index it with a constant mask.
  primaryBits_ = PrimaryBitsFor(alphabet_);
  const uint32_t primarySize = 1u << primaryBits_;
  primaryMask_ = primarySize - 1;
  entries_.assign(primarySize, kInvalid);
  linkStarts_.resize(primarySize);

  // Codes as read (first bit in bit 0), and the longest code behind each primary index.
  uint32_t reversed[kMaxSymbols];
  uint8_t prefixLongest[1u << kMaxPrimaryBits] = {};
  for (int i = 0; i < used; ++i) {
    const int length = lengths[sorted[i]];
    const uint32_t c = nextCode[length]++;
    if (c >= (1u << length)) {
      reversed[i] = UINT32_MAX;  // cannot occur in the input
      continue;
    }
    reversed[i] = ReverseBits(c, length);
    if (length > primaryBits_) {
      uint8_t& longestHere = prefixLongest[reversed[i] & primaryMask_];
      if (length > longestHere) longestHere = uint8_t(length);
    }
  }

  for (int i = 0; i < used; ++i) {
    if (reversed[i] == UINT32_MAX) continue;
    const int symbol = sorted[i];
    const int length = lengths[symbol];
    const uint32_t entry = EntryFor(symbol, length);
    if (length <= primaryBits_) {
      for (uint32_t k = reversed[i]; k < primarySize; k += 1u << length) entries_[k] = entry;
      continue;
    }
    const uint32_t prefix = reversed[i] & primaryMask_;
    if (!(entries_[prefix] & kSubtable)) {
      const uint32_t subBits = prefixLongest[prefix] - uint32_t(primaryBits_);
      const size_t start = entries_.size();
      entries_.resize(start + (size_t{1} << subBits), kInvalid);
      entries_[prefix] = kSubtable | uint32_t(primaryBits_) << 16 | subBits << 8 | uint32_t(primaryBits_);
      linkStarts_[prefix] = uint16_t(start);
    }
    // In the subtable the code is what follows the primary bits.
    const uint32_t subEntry = EntryFor(symbol, length - primaryBits_);
    const uint32_t link = entries_[prefix];
    const uint32_t subSize = 1u << NextBits(link);
    for (uint32_t k = reversed[i] >> primaryBits_; k < subSize; k += 1u << (length - primaryBits_)) {
      entries_[linkStarts_[prefix] + k] = subEntry;
    }
  }
  return true;
}

uint32_t CHuffmanTable::Decode(CInflateStream& stream) const {
  const uint64_t bit = stream.BitOffset();
  const uint64_t total = uint64_t(uint32_t(stream.size)) * 8;
  if (bit >= total) return kInvalid;
  const size_t byte = size_t(bit >> 3);
  uint32_t window = 0;
  for (size_t k = 0; k < 3 && byte + k < size_t(stream.size); ++k) {
    window |= uint32_t(stream.data[byte + k]) << (8 * k);
  }
  window >>= bit & 7;
  uint32_t e = entries_[window & primaryMask_];
  uint32_t codeLength = CodeLength(e);
  if (e & kSubtable) {
    e = entries_[linkStarts_[window & primaryMask_] + ((window >> primaryBits_) & ((1u << NextBits(e)) - 1))];
    codeLength = uint32_t(primaryBits_) + CodeLength(e);
  }
  if ((e & kInvalid) || codeLength > total - bit) return kInvalid;
  stream.SetBitOffset(bit + codeLength);
  return e;
}

// ---------------------------------------------------------------------------------------------
// Blocks

bool CInflater::InflateBlocks() {
  for (;;) {
    const int32_t final = stream.ReadBit();
    if (final < 0) return false;
    const int32_t type = stream.ReadBitsLsbFirst(2);
    bool ok;
    switch (type) {
      case 0: ok = StoredBlock(); break;
      case 1: ok = FixedBlock(); break;
      case 2: ok = DynamicBlock(); break;
      default: return false;  // 3, or the end of the input
    }
    if (!ok) return false;
    if (final == 1) return true;
  }
}

uint64_t CInflater::OutputLeft() const {
  const uint64_t inBuffer = uint64_t(stream.outSize - stream.outPos);
  if (window == nullptr) return inBuffer;
  return window->limit - window->base - uint64_t(stream.outPos);
}

bool CInflater::MakeRoom(int32_t room) {
  if (window == nullptr || stream.outSize - stream.outPos >= room) return true;
  // The buffer already reaches the end of the output: nothing more could be written.
  if (window->base + uint64_t(stream.outSize) >= window->limit) return true;
  uint8_t* const buffer = stream.outBuf;
  size_t used = 0;
  const size_t offered = size_t(stream.outPos - window->untaken);
  if (!window->sink->Take(buffer + window->untaken, offered, false, used) || used > offered) return false;
  window->untaken += int32_t(used);
  if (stream.outPos - window->untaken > window->maxLeft) return false;
  // Keep what the sink left and the reach of a match; drop the rest.
  constexpr int32_t kReach = 32768;
  const int32_t keepFrom = std::min(window->untaken, std::max(stream.outPos - kReach, 0));
  std::memmove(buffer, buffer + keepFrom, size_t(stream.outPos - keepFrom));
  window->base += uint64_t(keepFrom);
  window->untaken -= keepFrom;
  stream.outPos -= keepFrom;
  stream.outSize = int32_t(std::min<uint64_t>(uint64_t(window->capacity), window->limit - window->base));
  return true;
}

bool CInflater::StoredBlock() {
  stream.AlignInput();
  const int64_t pos = stream.pos;
  if (int64_t{stream.size} - pos < 4) return false;
  const uint8_t* p = stream.data + pos;
  const uint32_t len = p[0] | uint32_t(p[1]) << 8;
  const uint32_t nlen = p[2] | uint32_t(p[3]) << 8;
  if (len + nlen != 0xFFFF) return false;
  // Running out of input or of output part way fails just the same, so both are checked first.
  if (int64_t{stream.size} - (pos + 4) < len) return false;
  if (OutputLeft() < len) return false;
  const uint8_t* from = p + 4;
  uint32_t left = len;
  while (left > 0) {
    if (!MakeRoom(int32_t(std::min<uint32_t>(left, 1u << 16)))) return false;
    const uint32_t n = std::min<uint32_t>(left, uint32_t(stream.outSize - stream.outPos));
    if (n == 0) return false;
    std::memcpy(stream.outBuf + stream.outPos, from, n);
    stream.outPos += int32_t(n);
    from += n;
    left -= n;
  }
  stream.pos = int32_t(pos + 4 + len);
  return true;
}

bool CInflater::FixedBlock() {
  // RFC 1951 section 3.2.6. Literal/length symbols 286 and 287 and distance codes 30 and 31 have
  // codes, and fail when they are met.
  uint8_t lengths[kLiteralLengthSymbols];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  uint8_t distanceLengths[32];
  std::memset(distanceLengths, 5, sizeof distanceLengths);
  if (!literals.Build(lengths, kLiteralLengthSymbols) || !distances.Build(distanceLengths, 32)) {
    return false;
  }
  return BlockData();
}

bool CInflater::DynamicBlock() {
  const int32_t hlit = stream.ReadBitsLsbFirst(5);
  if (hlit < 0 || hlit + 257 > 286) return false;
  const int32_t hdist = stream.ReadBitsLsbFirst(5);
  if (hdist < 0) return false;  // 31 and 32 codes are accepted
  const int32_t hclen = stream.ReadBitsLsbFirst(4);
  if (hclen < 0) return false;

  uint8_t codeLengthLengths[19] = {};
  for (int32_t i = 0; i < hclen + 4; ++i) {
    const int32_t v = stream.ReadBitsLsbFirst(3);
    if (v < 0) return false;
    codeLengthLengths[kCodeLengthOrder[i]] = uint8_t(v);
  }
  if (!codeLengths.Build(codeLengthLengths, 19)) return false;

  const int32_t literalCount = hlit + 257;
  const int32_t total = literalCount + hdist + 1;
  uint8_t lengths[286 + 32];
  int32_t i = 0;
  while (i < total) {
    const uint32_t e = codeLengths.Decode(stream);
    if (e & CHuffmanTable::kInvalid) return false;
    const uint32_t symbol = CHuffmanTable::Value(e);
    if (symbol < 16) {
      lengths[i++] = uint8_t(symbol);
      continue;
    }
    uint8_t value = 0;
    int32_t repeat;
    if (symbol == 16) {
      if (i < 1) return false;
      value = lengths[i - 1];
      repeat = stream.ReadBitsLsbFirst(2);
      if (repeat < 0) return false;
      repeat += 3;
    } else if (symbol == 17) {
      repeat = stream.ReadBitsLsbFirst(3);
      if (repeat < 0) return false;
      repeat += 3;
    } else {
      repeat = stream.ReadBitsLsbFirst(7);
      if (repeat < 0) return false;
      repeat += 11;
    }
    // Repeats may run from the literal/length lengths into the distance lengths, not past them.
    if (repeat > total - i) return false;
    std::memset(lengths + i, value, size_t(repeat));
    i += repeat;
  }
  if (!literals.Build(lengths, literalCount) || !distances.Build(lengths + literalCount, hdist + 1)) {
    return false;
  }
  return BlockData();
}

bool CInflater::BlockData() {
  for (;;) {
    Outcome outcome = FastBlockData();
    if (outcome == Outcome::kNeedCare) {
      // Short of buffer but not of output: slide the window and go on fast. After a slide the
      // buffer has room to spare, so this happens once per stretch.
      if (window != nullptr && stream.outSize - stream.outPos < int32_t(kFastOutputRoom) &&
          window->base + uint64_t(stream.outSize) < window->limit) {
        if (!MakeRoom(int32_t(kFastOutputRoom))) return false;
        continue;
      }
      outcome = CarefulSymbol();
    }
    if (outcome == Outcome::kEndOfBlock) return true;
    if (outcome == Outcome::kFailed) return false;
  }
}

CInflater::Outcome CInflater::CarefulSymbol() {
  using T = CHuffmanTable;
  const uint32_t e = literals.Decode(stream);
  if (e & T::kInvalid) return Outcome::kFailed;
  if (e & T::kLiteral) return stream.PutByte(uint8_t(T::Value(e))) ? Outcome::kNeedCare : Outcome::kFailed;
  if (e & T::kEndOfBlock) return Outcome::kEndOfBlock;
  const int32_t lengthExtra = stream.ReadBitsLsbFirst(int32_t(T::ExtraBits(e)));
  if (lengthExtra < 0) return Outcome::kFailed;
  const uint32_t d = distances.Decode(stream);
  if (d & T::kInvalid) return Outcome::kFailed;
  const int32_t distanceExtra = stream.ReadBitsLsbFirst(int32_t(T::ExtraBits(d)));
  if (distanceExtra < 0) return Outcome::kFailed;
  const int32_t length = int32_t(T::BaseLength(e)) + lengthExtra;
  const int32_t distance = int32_t(T::BaseDistance(d)) + distanceExtra;
  return stream.CopyMatch(distance, length) ? Outcome::kNeedCare : Outcome::kFailed;
}

namespace {

// The extra bits of a length or distance entry: those after its code, taken from the bits as they
// were before the entry was consumed. The code length sits in bits 16-19 with the invalid and
// end-of-block flags above it, which are clear in such entries, so a shift by the bits from 16 up
// (of which shifts use six) needs no mask; BZHI keeps the low bits in one step.
template <bool kBmi2>
[[gnu::always_inline]] inline uint32_t EntryExtra(uint32_t entry, uint64_t bitsBefore) {
  uint64_t extra;
  if constexpr (kBmi2) {
#if defined(__x86_64__) && defined(__GNUC__)
    // Only reached from the BMI2 copy of the fast path.
    asm("bzhi %2, %1, %0" : "=r"(extra) : "r"(bitsBefore), "r"(uint64_t{entry}));
#else
    extra = bitsBefore & LowBits(CHuffmanTable::Consumed(entry));
#endif
  } else {
    extra = bitsBefore & LowBits(CHuffmanTable::Consumed(entry));
  }
  return uint32_t(extra >> ((entry >> 16) & 63));
}

// The index of the lookup that may follow an entry, from the bits as they were before the entry
// was consumed: the entry's next index bits after its consumed ones. One BEXTR, where shifting and
// masking would put two steps between one table load and the next.
template <bool kBmi2>
[[gnu::always_inline]] inline uint64_t NextIndex(uint32_t entry, uint64_t bitsBefore) {
#if defined(__x86_64__) && defined(__GNUC__)
  if constexpr (kBmi2) {
    uint64_t index;
    asm("bextr %2, %1, %0" : "=r"(index) : "r"(bitsBefore), "r"(uint64_t{entry}));
    return index;
  }
#endif
  return (bitsBefore >> (entry & 63)) & LowBits(CHuffmanTable::NextBits(entry));
}

// The fast path's body, compiled for any x86-64 and with BMI1 and BMI2's bit-field instructions
// and shifts, which do not tie up the count register; each either keeps the bytes past the output
// as they were or not (kKeepAfter).
template <bool kBmi2, bool kKeepAfter>
[[gnu::always_inline]] inline CInflater::Outcome FastBlockDataBody(CInflateStream& stream,
                                                                   const CHuffmanTable& literals,
                                                                   const CHuffmanTable& distances) {
  using T = CHuffmanTable;
  using Outcome = CInflater::Outcome;
  const uint8_t* const data = stream.data;
  const uint8_t* const inEnd = data + stream.size;
  uint8_t* const outStart = stream.outBuf;
  uint8_t* const outEnd = outStart + stream.outSize;
  const uint64_t startBit = stream.BitOffset();
  const uint8_t* in = data + (startBit >> 3);
  uint8_t* out = outStart + stream.outPos;
  if (inEnd - in < 2 * kFastInputRoom || outEnd - out < kFastOutputRoom) return Outcome::kNeedCare;

  // Local copies: the byte stores below may alias anything, which would make the compiler reload
  // members after every literal.
  const uint32_t* const litTable = literals.Entries();
  const uint16_t* const litLinks = literals.LinkStarts();
  constexpr uint64_t litMask = LowBits(kMaxPrimaryBits);
  const uint32_t* const distTable = distances.Entries();
  const uint16_t* const distLinks = distances.LinkStarts();
  constexpr uint64_t distMask = LowBits(kDistancePrimaryBits);

  // Bits [0, bitsLeft) of bitBuffer are the input bits just before `in`. Bits above them are
  // either zero or the true next bits, so a lookup may look past bitsLeft as long as the code it
  // finds lies within. A refill leaves at least 56 bits: a length code, a distance code and their
  // extra bits take at most 48.
  // Only the low byte of bitsLeft counts: whole entries are subtracted from it (their low byte is
  // the count consumed, below 64), which leaves that byte right and saves masking the count out on
  // the path from one lookup to the next. Shifts by it take its low six bits.
  uint64_t bitBuffer = 0;
  uint32_t bitsLeft = 0;
  auto refill = [&] {
    bitBuffer |= Load64(in) << (bitsLeft & 63);
    in += 7 - ((bitsLeft >> 3) & 7);
    bitsLeft |= 56;
  };
  auto consume = [&](uint32_t entry) {
    bitBuffer >>= (entry & 63);
    bitsLeft -= entry;
  };
  refill();
  bitBuffer >>= startBit & 7;
  bitsLeft -= uint32_t(startBit & 7);

  // e is the primary entry for the bits at hand, looked up with enough real bits for any code the
  // primary table holds. A refill leaves 64 real input bits in the buffer and bitsLeft at 56 to 63;
  // both go down by what is consumed, so the real bits are always more than bitsLeft, and no more
  // than bitsLeft are consumed before the next refill. Between two refills: up to three literals
  // from the primary table (11 bits each) and a length (16 bits, or 20 through a subtable), at most
  // 42 bits; then a distance of up to 21 bits (28 through a subtable) when that leaves the 11 bits
  // of the next lookup, else a refill first.
  // From a length to its distance and from a distance to the next entry, the index comes out of the
  // entry and the bits before it was consumed (`saved`) in one step.
  uint32_t e = litTable[bitBuffer & litMask];
  Outcome outcome = Outcome::kNeedCare;
  // A round refills at most twice. (Both ends were checked above to lie past these limits.)
  const uint8_t* const inLimit = inEnd - 2 * kFastInputRoom;
  uint8_t* const outLimit = outEnd - kFastOutputRoom;
  while (in <= inLimit && out <= outLimit) {
    uint64_t saved = bitBuffer;
    consume(e);
    // The distance entry that follows if e is a length, looked up before e is tested: when the
    // literal-or-length branch goes the other way than predicted, the lookup is already under way.
    // The empty asm keeps the compiler from moving the load behind the test. (Doing the same after
    // each literal below costs more on literal-rich streams than it saves.)
    uint32_t d = distTable[NextIndex<kBmi2>(e, saved)];
#if defined(__GNUC__)
    asm("" : "+r"(d));
#endif
    if (e & T::kLiteral) {
      // Up to three literals in a row without a refill; each next entry is looked up before the
      // byte is stored.
      uint32_t literal = T::Value(e);
      e = litTable[bitBuffer & litMask];
      saved = bitBuffer;
      consume(e);
      *out++ = uint8_t(literal);
      if (e & T::kLiteral) {
        literal = T::Value(e);
        e = litTable[bitBuffer & litMask];
        saved = bitBuffer;
        consume(e);
        *out++ = uint8_t(literal);
        if (e & T::kLiteral) {
          literal = T::Value(e);
          e = litTable[bitBuffer & litMask];
          refill();
          *out++ = uint8_t(literal);
          continue;
        }
      }
      d = distTable[NextIndex<kBmi2>(e, saved)];
    }
    if (__builtin_expect((e & T::kExceptional) != 0, 0)) {
      if (e & T::kSubtable) {
        // The link consumed the primary bits; the subtable entry takes the rest of the code.
        e = litTable[litLinks[saved & litMask] + NextIndex<kBmi2>(e, saved)];
        saved = bitBuffer;
        consume(e);
        d = distTable[NextIndex<kBmi2>(e, saved)];
        if (e & T::kLiteral) {
          const uint32_t literal = T::Value(e);
          e = litTable[bitBuffer & litMask];
          refill();
          *out++ = uint8_t(literal);
          continue;
        }
      }
      if (e & T::kInvalid) return Outcome::kFailed;
      if (e & T::kEndOfBlock) {
        outcome = Outcome::kEndOfBlock;
        break;
      }
    }
    const uint32_t length = T::BaseLength(e) + EntryExtra<kBmi2>(e, saved);
    if (__builtin_expect((d & T::kSubtable) != 0, 0)) {
      if ((bitsLeft & 0xFF) < 38) refill();
      const uint32_t link = d;
      d = distTable[distLinks[bitBuffer & distMask] + NextIndex<kBmi2>(link, bitBuffer)];
      consume(link);
    } else if ((bitsLeft & 0xFF) < 31) {
      refill();
    }
    if (__builtin_expect((d & T::kInvalid) != 0, 0)) return Outcome::kFailed;
    saved = bitBuffer;
    consume(d);
    e = litTable[NextIndex<kBmi2>(d, saved)];
    const uint32_t distance = T::BaseDistance(d) + EntryExtra<kBmi2>(d, saved);
    if (__builtin_expect(distance > size_t(out - outStart), 0)) return Outcome::kFailed;
    refill();
    CopyMatchFast<kKeepAfter>(out, distance, length);
    out += length;
  }
  stream.SetBitOffset(uint64_t(in - data) * 8 - (bitsLeft & 0xFF));
  stream.outPos = int32_t(out - outStart);
  return outcome;
}

#if defined(__x86_64__) && defined(__GNUC__)
template <bool kKeepAfter>
[[gnu::target("bmi,bmi2")]] CInflater::Outcome FastBlockDataBmi2(CInflateStream& stream,
                                                             const CHuffmanTable& literals,
                                                             const CHuffmanTable& distances) {
  return FastBlockDataBody<true, kKeepAfter>(stream, literals, distances);
}
#endif

template <bool kKeepAfter>
CInflater::Outcome FastBlockDataPlain(CInflateStream& stream, const CHuffmanTable& literals,
                                      const CHuffmanTable& distances) {
  return FastBlockDataBody<false, kKeepAfter>(stream, literals, distances);
}

template <bool kKeepAfter>
CInflater::Outcome FastBlockDataAny(CInflateStream& stream, const CHuffmanTable& literals,
                                    const CHuffmanTable& distances) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (__builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2")) {
    return FastBlockDataBmi2<kKeepAfter>(stream, literals, distances);
  }
#endif
  return FastBlockDataPlain<kKeepAfter>(stream, literals, distances);
}

}  // namespace

CInflater::Outcome CInflater::FastBlockData() {
  // A window's buffer is the inflater's own: what lies past its output is never handed on.
  if (window != nullptr) return FastBlockDataAny<false>(stream, literals, distances);
  return FastBlockDataAny<true>(stream, literals, distances);
}

namespace {

// The zlib wrapper's checks; the deflate data is in[2, inSize - 4).
bool ZlibHeaderAccepted(const uint8_t* in, size_t inSize) {
  if (in == nullptr || inSize < 6) return false;
  if (in[1] & 0x20) return false;         // preset dictionary
  if ((in[0] & 0x0F) != 8) return false;  // only deflate
  return inSize - 6 <= size_t(std::numeric_limits<int32_t>::max());
}

}  // namespace

bool InflateZlib(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t* produced) {
  if (produced != nullptr) *produced = 0;
  if (in == nullptr || inSize == 0 || out == nullptr || outSize == 0) return false;
  if (!ZlibHeaderAccepted(in, inSize)) return false;
  if (outSize > size_t(std::numeric_limits<int32_t>::max())) return false;
  CInflateStream stream(in + 2, int32_t(inSize - 6), out, int32_t(outSize));
  CInflater inflater(stream);
  if (!inflater.InflateBlocks()) return false;
  if (produced != nullptr) *produced = size_t(stream.outPos);
  return true;
}

bool InflateZlibToSink(const uint8_t* in, size_t inSize, uint64_t outLimit, CInflateSink& sink,
                       size_t maxLeft, MemoryBudget& budget, uint64_t* produced, size_t stretch) {
  if (produced != nullptr) *produced = 0;
  if (in == nullptr || inSize == 0 || outLimit == 0) return false;
  if (!ZlibHeaderAccepted(in, inSize)) return false;
  // The buffer: the reach of a match, what the sink may leave, and the stretch decoded between two
  // hand-overs, which must hold the longest match and the fast path's slack.
  constexpr uint64_t kReach = 32768;
  stretch = std::max<size_t>(stretch, 512);
  if (maxLeft > uint64_t(std::numeric_limits<int32_t>::max()) ||
      stretch > uint64_t(std::numeric_limits<int32_t>::max()) ||
      kReach + uint64_t(maxLeft) + stretch > uint64_t(std::numeric_limits<int32_t>::max())) {
    return false;
  }
  const uint64_t capacity = std::min<uint64_t>(kReach + uint64_t(maxLeft) + stretch, outLimit);
  ImageBlock buffer = ImageBlock::Allocate(budget, capacity);
  if (!buffer) return false;
  InflateWindow window;
  window.sink = &sink;
  window.limit = outLimit;
  window.capacity = int32_t(capacity);
  window.maxLeft = int32_t(maxLeft);
  CInflateStream stream(in + 2, int32_t(inSize - 6), buffer.Data(), int32_t(capacity));
  CInflater inflater(stream, &window);
  if (!inflater.InflateBlocks()) return false;
  size_t used = 0;
  const size_t offered = size_t(stream.outPos - window.untaken);
  if (!sink.Take(buffer.Data() + window.untaken, offered, true, used) || used != offered) return false;
  if (produced != nullptr) *produced = window.base + uint64_t(stream.outPos);
  return true;
}

}  // namespace pelmor
