#include "codecs/ccitt_fax.h"

#include <algorithm>
#include <cstring>

namespace pelmor {

namespace {

// A code written as its bit string, so that the lists below read like the tables of T.4.
constexpr FaxCode C(int16_t value, const char* bits) {
  uint16_t code = 0;
  uint8_t length = 0;
  for (; bits[length] != '\0'; ++length) code = static_cast<uint16_t>(code * 2 + (bits[length] - '0'));
  return {value, length, code};
}

constexpr FaxCode kWhiteCodes[] = {
    // Terminating codes.
    C(0, "00110101"), C(1, "000111"), C(2, "0111"), C(3, "1000"), C(4, "1011"), C(5, "1100"),
    C(6, "1110"), C(7, "1111"), C(8, "10011"), C(9, "10100"), C(10, "00111"), C(11, "01000"),
    C(12, "001000"), C(13, "000011"), C(14, "110100"), C(15, "110101"), C(16, "101010"),
    C(17, "101011"), C(18, "0100111"), C(19, "0001100"), C(20, "0001000"), C(21, "0010111"),
    C(22, "0000011"), C(23, "0000100"), C(24, "0101000"), C(25, "0101011"), C(26, "0010011"),
    C(27, "0100100"), C(28, "0011000"), C(29, "00000010"), C(30, "00000011"), C(31, "00011010"),
    C(32, "00011011"), C(33, "00010010"), C(34, "00010011"), C(35, "00010100"),
    C(36, "00010101"), C(37, "00010110"), C(38, "00010111"), C(39, "00101000"),
    C(40, "00101001"), C(41, "00101010"), C(42, "00101011"), C(43, "00101100"),
    C(44, "00101101"), C(45, "00000100"), C(46, "00000101"), C(47, "00001010"),
    C(48, "00001011"), C(49, "01010010"), C(50, "01010011"), C(51, "01010100"),
    C(52, "01010101"), C(53, "00100100"), C(54, "00100101"), C(55, "01011000"),
    C(56, "01011001"), C(57, "01011010"), C(58, "01011011"), C(59, "01001010"),
    C(60, "01001011"), C(61, "00110010"), C(62, "00110011"), C(63, "00110100"),
    // Make-up codes.
    C(64, "11011"), C(128, "10010"), C(192, "010111"), C(256, "0110111"), C(320, "00110110"),
    C(384, "00110111"), C(448, "01100100"), C(512, "01100101"), C(576, "01101000"),
    C(640, "01100111"), C(704, "011001100"), C(768, "011001101"), C(832, "011010010"),
    C(896, "011010011"), C(960, "011010100"), C(1024, "011010101"), C(1088, "011010110"),
    C(1152, "011010111"), C(1216, "011011000"), C(1280, "011011001"), C(1344, "011011010"),
    C(1408, "011011011"), C(1472, "010011000"), C(1536, "010011001"), C(1600, "010011010"),
    C(1664, "011000"), C(1728, "010011011"),
    // Extended make-up codes, the same for both colours.
    C(1792, "00000001000"), C(1856, "00000001100"), C(1920, "00000001101"),
    C(1984, "000000010010"), C(2048, "000000010011"), C(2112, "000000010100"),
    C(2176, "000000010101"), C(2240, "000000010110"), C(2304, "000000010111"),
    C(2368, "000000011100"), C(2432, "000000011101"), C(2496, "000000011110"),
    C(2560, "000000011111"),
    // End of line.
    C(-1, "000000000001"),
};

constexpr FaxCode kBlackCodes[] = {
    // Terminating codes.
    C(0, "0000110111"), C(1, "010"), C(2, "11"), C(3, "10"), C(4, "011"), C(5, "0011"),
    C(6, "0010"), C(7, "00011"), C(8, "000101"), C(9, "000100"), C(10, "0000100"),
    C(11, "0000101"), C(12, "0000111"), C(13, "00000100"), C(14, "00000111"),
    C(15, "000011000"), C(16, "0000010111"), C(17, "0000011000"), C(18, "0000001000"),
    C(19, "00001100111"), C(20, "00001101000"), C(21, "00001101100"), C(22, "00000110111"),
    C(23, "00000101000"), C(24, "00000010111"), C(25, "00000011000"), C(26, "000011001010"),
    C(27, "000011001011"), C(28, "000011001100"), C(29, "000011001101"),
    C(30, "000001101000"), C(31, "000001101001"), C(32, "000001101010"),
    C(33, "000001101011"), C(34, "000011010010"), C(35, "000011010011"),
    C(36, "000011010100"), C(37, "000011010101"), C(38, "000011010110"),
    C(39, "000011010111"), C(40, "000001101100"), C(41, "000001101101"),
    C(42, "000011011010"), C(43, "000011011011"), C(44, "000001010100"),
    C(45, "000001010101"), C(46, "000001010110"), C(47, "000001010111"),
    C(48, "000001100100"), C(49, "000001100101"), C(50, "000001010010"),
    C(51, "000001010011"), C(52, "000000100100"), C(53, "000000110111"),
    C(54, "000000111000"), C(55, "000000100111"), C(56, "000000101000"),
    C(57, "000001011000"), C(58, "000001011001"), C(59, "000000101011"),
    C(60, "000000101100"), C(61, "000001011010"), C(62, "000001100110"),
    C(63, "000001100111"),
    // Make-up codes.
    C(64, "0000001111"), C(128, "000011001000"), C(192, "000011001001"),
    C(256, "000001011011"), C(320, "000000110011"), C(384, "000000110100"),
    C(448, "000000110101"), C(512, "0000001101100"), C(576, "0000001101101"),
    C(640, "0000001001010"), C(704, "0000001001011"), C(768, "0000001001100"),
    C(832, "0000001001101"), C(896, "0000001110010"), C(960, "0000001110011"),
    C(1024, "0000001110100"), C(1088, "0000001110101"), C(1152, "0000001110110"),
    C(1216, "0000001110111"), C(1280, "0000001010010"), C(1344, "0000001010011"),
    C(1408, "0000001010100"), C(1472, "0000001010101"), C(1536, "0000001011010"),
    C(1600, "0000001011011"), C(1664, "0000001100100"), C(1728, "0000001100101"),
    // Extended make-up codes.
    C(1792, "00000001000"), C(1856, "00000001100"), C(1920, "00000001101"),
    C(1984, "000000010010"), C(2048, "000000010011"), C(2112, "000000010100"),
    C(2176, "000000010101"), C(2240, "000000010110"), C(2304, "000000010111"),
    C(2368, "000000011100"), C(2432, "000000011101"), C(2496, "000000011110"),
    C(2560, "000000011111"),
    // End of line as the black table knows it: eleven 0 bits (the final 1 of a real EOL is
    // left in the input).
    C(-1, "00000000000"),
};

constexpr FaxCode kModeCodes[] = {
    C(0, "0001"),     // pass
    C(1, "001"),      // horizontal
    C(2, "1"),        // vertical 0
    C(3, "011"),      // vertical right 1
    C(4, "000011"),   // vertical right 2
    C(5, "0000011"),  // vertical right 3
    C(6, "010"),      // vertical left 1
    C(7, "000010"),   // vertical left 2
    C(8, "0000010"),  // vertical left 3
};

template <size_t N>
constexpr std::array<FaxCode, N> SortedByLength(const FaxCode (&codes)[N]) {
  std::array<FaxCode, N> sorted{};
  for (size_t i = 0; i < N; ++i) sorted[i] = codes[i];
  // Insertion sort: stable, and usable at compile time.
  for (size_t i = 1; i < N; ++i) {
    const FaxCode c = sorted[i];
    size_t j = i;
    for (; j > 0 && sorted[j - 1].length > c.length; --j) sorted[j] = sorted[j - 1];
    sorted[j] = c;
  }
  return sorted;
}

template <size_t N>
constexpr int32_t Longest(const FaxCode (&codes)[N]) {
  int32_t n = 0;
  for (const FaxCode& c : codes) n = std::max<int32_t>(n, c.length);
  return n;
}

template <size_t N>
constexpr int32_t Shortest(const FaxCode (&codes)[N]) {
  int32_t n = 99;
  for (const FaxCode& c : codes) n = std::min<int32_t>(n, c.length);
  return n;
}

template <size_t N>
constexpr int32_t EolLength(const FaxCode (&codes)[N]) {
  for (const FaxCode& c : codes) {
    if (c.value < 0) return c.length;
  }
  return -1;
}

// Every index whose top bits are a code maps to that code; the others stay at length 0. The sets
// are prefix-free, so no index is claimed twice.
template <int32_t Bits, size_t N>
constexpr std::array<FaxCodeTable::Hit, (size_t{1} << Bits)> BuildLookup(const FaxCode (&codes)[N]) {
  std::array<FaxCodeTable::Hit, (size_t{1} << Bits)> lookup{};
  for (const FaxCode& c : codes) {
    const uint32_t spread = uint32_t{1} << (Bits - c.length);
    const uint32_t base = uint32_t{c.bits} << (Bits - c.length);
    for (uint32_t i = 0; i < spread; ++i) lookup[base + i] = {c.value, c.length};
  }
  return lookup;
}

constexpr auto kWhiteSorted = SortedByLength(kWhiteCodes);
constexpr auto kBlackSorted = SortedByLength(kBlackCodes);
constexpr auto kModeSorted = SortedByLength(kModeCodes);
constexpr int32_t kWhiteBits = Longest(kWhiteCodes);
constexpr int32_t kBlackBits = Longest(kBlackCodes);
constexpr int32_t kModeBits = Longest(kModeCodes);
constexpr auto kWhiteLookup = BuildLookup<kWhiteBits>(kWhiteCodes);
constexpr auto kBlackLookup = BuildLookup<kBlackBits>(kBlackCodes);
constexpr auto kModeLookup = BuildLookup<kModeBits>(kModeCodes);

constexpr FaxCodeTable kWhiteTable = {kWhiteSorted.data(), static_cast<int32_t>(kWhiteSorted.size()),
                                      Shortest(kWhiteCodes), kWhiteBits, EolLength(kWhiteCodes),
                                      kWhiteLookup.data()};
constexpr FaxCodeTable kBlackTable = {kBlackSorted.data(), static_cast<int32_t>(kBlackSorted.size()),
                                      Shortest(kBlackCodes), kBlackBits, EolLength(kBlackCodes),
                                      kBlackLookup.data()};
constexpr FaxCodeTable kModeTable = {kModeSorted.data(), static_cast<int32_t>(kModeSorted.size()),
                                     Shortest(kModeCodes), kModeBits, EolLength(kModeCodes),
                                     kModeLookup.data()};

static_assert(kWhiteTable.count == 105 && kWhiteTable.shortest == 4 && kWhiteTable.longest == 12 &&
              kWhiteTable.eolLength == 12);
static_assert(kBlackTable.count == 105 && kBlackTable.shortest == 2 && kBlackTable.longest == 13 &&
              kBlackTable.eolLength == 11);
static_assert(kModeTable.count == 9 && kModeTable.shortest == 1 && kModeTable.longest == 7 &&
              kModeTable.eolLength == -1);

// The top n bits of a byte set, n = 0 ... 8.
constexpr uint8_t kTopBits[9] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};

constexpr uint8_t ReverseByte(uint8_t b) {
  b = static_cast<uint8_t>((b >> 1 & 0x55) | (b & 0x55) << 1);
  b = static_cast<uint8_t>((b >> 2 & 0x33) | (b & 0x33) << 2);
  return static_cast<uint8_t>(b >> 4 | b << 4);
}

// Reverses the bit order inside each byte of a word.
constexpr uint64_t ReverseBitsInBytes(uint64_t w) {
  w = (w >> 1 & 0x5555555555555555ULL) | (w & 0x5555555555555555ULL) << 1;
  w = (w >> 2 & 0x3333333333333333ULL) | (w & 0x3333333333333333ULL) << 2;
  return (w >> 4 & 0x0F0F0F0F0F0F0F0FULL) | (w & 0x0F0F0F0F0F0F0F0FULL) << 4;
}

inline uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return __builtin_bswap64(w);
}

}  // namespace

const FaxCodeTable& FaxWhiteCodes() { return kWhiteTable; }
const FaxCodeTable& FaxBlackCodes() { return kBlackTable; }
const FaxCodeTable& FaxModeCodes() { return kModeTable; }

// Reads the stream's input bits through a 64-bit window instead of one bit per call. The window
// holds the next bits most significant first, in the stream's bit order; past the end of the input
// it reads as 0 bits, which Available() tells apart.
class CFaxDecoder::BitReader {
 public:
  BitReader(const uint8_t* data, int32_t size, bool msbFirst, int64_t startBit)
      : data_(data), size_(size > 0 ? size : 0), reverse_(!msbFirst) {
    next_ = std::min<int64_t>(startBit >> 3, size_);
    Refill();
    const int skip = static_cast<int>(startBit & 7);
    if (skip > 0 && accBits_ >= skip) Skip(skip);
  }

  // Bits consumed so far.
  int64_t Position() const { return next_ * 8 - accBits_; }
  // Bits left in the input.
  int64_t Available() const { return accBits_ + (size_ - next_) * 8; }
  // Bits in the window: a lower bound of Available() that costs nothing.
  int Buffered() const { return accBits_; }
  // The next n bits (1 ... 32), 0 bits past the end of the input.
  uint32_t Peek(int n) {
    if (accBits_ < n) Refill();
    return static_cast<uint32_t>(acc_ >> (64 - n));
  }
  // Consumes n bits that Peek has shown (n <= bits available).
  void Skip(int n) {
    acc_ <<= n;
    accBits_ -= n;
  }
  // The input byte after the one the next bit comes from; -1 past the end.
  int32_t PeekByte() const {
    const int64_t index = (Position() >> 3) + 1;
    return index < size_ ? data_[index] : -1;
  }

 private:
  void Refill() {
    if (size_ - next_ >= 8) {
      uint64_t w = LoadBigEndian64(data_ + next_);
      if (reverse_) w = ReverseBitsInBytes(w);
      // Bits of a byte only partly taken in are the true input bits and get ORed in again, in
      // the same place, when that byte is taken in whole.
      acc_ |= w >> accBits_;
      const int take = (63 - accBits_) >> 3;
      next_ += take;
      accBits_ += 8 * take;
      return;
    }
    while (accBits_ <= 56 && next_ < size_) {
      const uint8_t b = reverse_ ? ReverseByte(data_[next_]) : data_[next_];
      acc_ |= uint64_t{b} << (56 - accBits_);
      ++next_;
      accBits_ += 8;
    }
  }

  const uint8_t* data_;
  int64_t size_;
  bool reverse_;
  uint64_t acc_ = 0;
  int accBits_ = 0;
  int64_t next_ = 0;
};

CFaxDecoder::CFaxDecoder(CTiffBitStream* stream, bool whiteIsZero, bool t6, bool twoDimensional,
                         bool byteAlignedEol, bool countTagBit, MemoryBudget* budget)
    : stream(stream),
      budget(budget),
      t6(t6),
      twoD(twoDimensional || t6),
      byteAligned(byteAlignedEol || t6),
      countTagBit(countTagBit),
      whiteBit(whiteIsZero ? 0 : 1),
      blackBit(whiteIsZero ? 1 : 0) {}

// One code: a lookup of the next `longest` bits. Fails when no code starts there or the input
// ends inside the code.
inline bool CFaxDecoder::NextCode(BitReader& in, const FaxCodeTable& table, int32_t& value) const {
  const FaxCodeTable::Hit hit = table.lookup[in.Peek(table.longest)];
  if (hit.length == 0 || (hit.length > in.Buffered() && hit.length > in.Available())) return false;
  in.Skip(hit.length);
  value = hit.value;
  return true;
}

bool CFaxDecoder::DecodeCode(BitReader& in, const FaxCodeTable& table, bool atLineStart,
                             int32_t& value) const {
  if (atLineStart && byteAligned) {
    // Fill bits in front of an EOL that ends on a byte boundary: the 0 bits that make the EOL
    // (and the tag bit, when it counts) end there, then any whole 0 bytes.
    const int64_t eol = table.eolLength + (twoD && countTagBit ? 1 : 0);
    int pad = static_cast<int>((in.Position() + eol) & 7);
    if (pad > 0) pad = 8 - pad;
    if (pad > 0) {
      if (in.Available() < pad || in.Peek(pad) != 0) return false;
      in.Skip(pad);
    }
    while (in.PeekByte() == 0) {
      if (in.Available() < 8 || in.Peek(8) != 0) return false;
      in.Skip(8);
    }
  }
  return NextCode(in, table, value);
}

inline bool CFaxDecoder::ReadRun(BitReader& in, const FaxCodeTable& table, int64_t& length) const {
  length = 0;
  for (;;) {
    int32_t v;
    if (!NextCode(in, table, v) || v < 0) return false;
    length += v;
    if (v < 64) return true;
  }
}

// The output is written as CTiffBitStream::WriteBits writes it: a run's bits take their value,
// the rest of a byte first reached becomes 0, and bytes not reached keep what they held. Here the
// bits of the current 64-bit word are gathered in `word` first; nothing reads the output before
// Sync or StoreWord has put them there.
void CFaxDecoder::StartOutput() {
  outLimit = int64_t{stream->outSize} * 8;
  wordStart = (outBit >> 6) << 3;
  word = 0;
  // Bits already written before the position in its word.
  const int64_t reached = outBit >> 3;
  for (int64_t i = wordStart; i <= reached && i < stream->outSize; ++i) {
    word |= uint64_t{stream->outBuf[i]} << (56 - 8 * (i - wordStart));
  }
  const int used = static_cast<int>(outBit & 63);
  word &= used > 0 ? ~uint64_t{0} << (64 - used) : 0;
}

inline void CFaxDecoder::StoreWord() {
  const uint64_t w = __builtin_bswap64(word);
  std::memcpy(stream->outBuf + wordStart, &w, 8);
}

void CFaxDecoder::Sync() {
  const int64_t end = std::min<int64_t>((outBit + 7) >> 3, stream->outSize);
  for (int64_t i = wordStart; i < end; ++i) {
    stream->outBuf[i] = static_cast<uint8_t>(word >> (56 - 8 * (i - wordStart)));
  }
}

inline bool CFaxDecoder::WriteRun(int64_t count, int32_t bit) {
  if (count <= 0) return true;
  if (outBit + count > outLimit) return false;
  const int pos = static_cast<int>(outBit & 63);
  if (pos + count < 64) {
    if (bit) word |= (~uint64_t{0} >> pos) & ~(~uint64_t{0} >> (pos + count));
    outBit += count;
    return true;
  }
  // The run fills this word (which lies inside the output, as the run's end does) and goes on.
  if (bit) word |= ~uint64_t{0} >> pos;
  StoreWord();
  const int64_t rest = count - (64 - pos);
  wordStart += 8;
  const int64_t words = rest >> 6;
  if (words > 0) {
    std::memset(stream->outBuf + wordStart, bit ? 0xFF : 0x00, static_cast<size_t>(words * 8));
    wordStart += words * 8;
  }
  const int tail = static_cast<int>(rest & 63);
  word = bit && tail > 0 ? ~(~uint64_t{0} >> tail) : 0;
  outBit += count;
  return true;
}

void CFaxDecoder::AlignOutput() {
  const int64_t aligned = (outBit + 7) & ~int64_t{7};
  if ((outBit & 63) != 0 && (aligned & 63) == 0) {
    // The word's last byte has been begun, so the whole word lies inside the output.
    StoreWord();
    wordStart += 8;
    word = 0;
  }
  outBit = aligned;
}

int64_t CFaxDecoder::FindBit(const uint8_t* refLine, int64_t from, int64_t limit,
                             int32_t bit) const {
  if (from >= limit) return limit;
  const int64_t bytes = (limit + 7) >> 3;
  const uint64_t flip = bit ? 0 : ~uint64_t{0};
  auto load = [&](int64_t at) {
    if (bytes - at >= 8) return LoadBigEndian64(refLine + at);
    uint64_t w = 0;
    for (int64_t i = at; i < bytes; ++i) w |= uint64_t{refLine[i]} << (56 - 8 * (i - at));
    return w;
  };
  int64_t at = from >> 3;
  // Whole bytes (eight at a time) of the other colour are passed over without looking at bits.
  uint64_t w = (load(at) ^ flip) & (~uint64_t{0} >> (from & 7));
  for (;;) {
    if (w != 0) return std::min<int64_t>(at * 8 + __builtin_clzll(w), limit);
    at += 8;
    if (at >= bytes) return limit;
    w = load(at) ^ flip;
  }
}

int32_t CFaxDecoder::FindChangingElement(const uint8_t* refLine, int32_t start, int32_t width,
                                         int32_t target) const {
  if (refLine == nullptr) return width;
  // Only the bytes inside the output can be looked at. A reference row that runs past its end
  // belongs to a strip that cannot complete any more rows, so what is found there is moot.
  const int64_t room = (stream->outBuf + stream->outSize - refLine) * int64_t{8};
  const int64_t limit = std::min<int64_t>(width, room);
  int32_t startBit;
  int64_t scan;
  if (start < 0) {
    startBit = whiteBit;
    scan = 0;
  } else {
    if (start >= limit) return width;
    startBit = refLine[start >> 3] >> (7 - (start & 7)) & 1;
    scan = int64_t{start} + 1;
  }
  if (target == -1) target = 1 - startBit;
  const int64_t change = FindBit(refLine, scan, limit, 1 - startBit);
  if (change >= limit) return width;
  const int64_t found = target == 1 - startBit ? change : FindBit(refLine, change, limit, target);
  return found >= limit ? width : static_cast<int32_t>(found);
}

// The same search over the changing elements of a reference row known in full. The colour
// after change i is black for even i (the pixel before the row counts as white).
inline int32_t CFaxDecoder::FindInChanges(const Changes& ref, size_t& hint, int32_t start,
                                          int32_t width, int32_t target) const {
  if (start >= width) return width;
  const int32_t* c = ref.at;
  size_t i = hint;
  while (i > 0 && c[i - 1] > start) --i;
  while (c[i] <= start) ++i;  // the sentinels stop this
  hint = i;
  // Change i is the first after start, to black when i is even. The one of the target colour
  // is this one or the next.
  size_t j = i;
  if (target != -1 && (target == blackBit) == ((i & 1) != 0)) ++j;
  return j < ref.count ? c[j] : width;
}

// One two-dimensional row against a complete reference row, as the general loop in Decode
// decodes it, producing only the row's list of changes (colour 0 white, 1 black here).
bool CFaxDecoder::DecodeTwoDRow(BitReader& in, const Changes& ref, Changes& row,
                                int32_t width) const {
  static constexpr int32_t kVerticalOffset[9] = {0, 0, 0, 1, 2, 3, -1, -2, -3};
  const int32_t* c = ref.at;
  int32_t* d = row.at;
  size_t count = 0;
  int last = 0;  // colour of the last pixel so far (white before the row)
  auto run = [&](int64_t at, int64_t n, int colour) {
    if (n > 0 && colour != last) {
      d[count++] = static_cast<int32_t>(at);
      last = colour;
    }
  };
  // b1: the first change after a0 whose colour is `colour` (black after even indexes); `i`
  // stays near it from one search to the next.
  // Within a row a0 never decreases (and a pass leaves i at the change after b1, below b2), so
  // i only moves forward.
  size_t i = 0;
  auto next = [&](int64_t a0, int target) -> int32_t {
    if (a0 >= width) return width;
    while (c[i] <= a0) ++i;
    // The change to the target colour (to black after an even index) is this one or the next.
    const size_t j = i + ((i ^ static_cast<size_t>(target ^ 1)) & 1);
    return j < ref.count ? c[j] : width;
  };
  int64_t a0 = 0;
  int colour = 0;
  int32_t b1 = ref.count > 0 ? c[0] : width;  // the first change, which is to black
  const FaxCodeTable& modeCodes = kModeTable;
  for (;;) {
    int32_t mode;
    if (!NextCode(in, modeCodes, mode)) return false;
    if (mode >= 2) {
      const int64_t a1 = int64_t{b1} + kVerticalOffset[mode];
      if (a1 < a0 || a1 > width) return false;
      run(a0, a1 - a0, colour);
      a0 = a1;
      colour ^= 1;
    } else if (mode == 0) {
      // b2, the change after b1, is of either colour.
      int32_t b2 = width;
      if (b1 < width) {
        while (c[i] <= b1) ++i;
        b2 = i < ref.count ? c[i] : width;
      }
      if (b2 < a0) return false;
      run(a0, b2 - a0, colour);
      a0 = b2;
    } else {
      int64_t r1, r2;
      if (!ReadRun(in, colour == 0 ? kWhiteTable : kBlackTable, r1) ||
          !ReadRun(in, colour == 0 ? kBlackTable : kWhiteTable, r2) || a0 + r1 + r2 > width) {
        return false;
      }
      run(a0, r1, colour);
      run(a0 + r1, r2, colour ^ 1);
      a0 += r1 + r2;
    }
    if (a0 == width) break;
    b1 = next(a0, colour ^ 1);
  }
  d[count] = d[count + 1] = INT32_MAX;
  row.count = count;
  row.complete = true;
  return true;
}

// Writes a row from its changes at the output position (a byte boundary): pixels of colour
// whose bit is 1 set, everything else, the bits after the row in its last byte included, 0.
void CFaxDecoder::FillRow(const Changes& row, int32_t width) {
  uint8_t* out = stream->outBuf + (outBit >> 3);
  const size_t bytes = (size_t(width) + 7) / 8;
  std::memset(out, 0, bytes);
  auto setBits = [&](int64_t from, int64_t to) {  // [from, to), not empty
    const int64_t first = from >> 3;
    const int offset = static_cast<int>(from & 7);
    const int64_t n = to - from;
    if (offset + n <= 64 && first + 8 <= static_cast<int64_t>(bytes)) {
      // One read-modify-write of eight bytes.
      uint64_t w = LoadBigEndian64(out + first);
      w |= (~uint64_t{0} >> offset) & ~(offset + n < 64 ? ~uint64_t{0} >> (offset + n) : 0);
      w = __builtin_bswap64(w);
      std::memcpy(out + first, &w, 8);
      return;
    }
    const int64_t last = (to - 1) >> 3;
    if (first == last) {
      out[first] |= static_cast<uint8_t>(kTopBits[n] >> offset);
      return;
    }
    out[first] |= static_cast<uint8_t>(0xFF >> offset);
    if (last > first + 1) std::memset(out + first + 1, 0xFF, static_cast<size_t>(last - first - 1));
    out[last] |= kTopBits[((to - 1) & 7) + 1];
  };
  // Runs between changes alternate white, black, white, ... from pixel 0.
  int64_t start = 0;
  int colour = 0;
  const int onesColour = whiteBit == 1 ? 0 : 1;
  for (size_t k = 0; k <= row.count; ++k) {
    const int64_t end = k < row.count ? row.at[k] : width;
    if (colour == onesColour && end > start) setBits(start, end);
    start = end;
    colour ^= 1;
  }
}

// One call of Decode: the input, the rows at `cur` and `ref` as lists of changing elements, and
// where the row being decoded stands. A row is made of codes of three kinds (end of line, the modes
// of a two-dimensional row, the runs of a one-dimensional one); each has its step below.
//
// The lists are kept while the row at `cur` is decoded in full from a byte boundary: a complete
// reference row is then searched in its list rather than bit by bit. Any other reference (a row
// cut short by an EOL, or none decoded yet) is searched in the output as it stands.
//
// The steps are inlined into one loop, as one function would be, so that the compiler keeps the
// state in registers.
class CFaxDecoder::RowDecoder {
 public:
  // The lists and the search hint are the caller's: they are handed to the decoder's searches by
  // reference, and an object whose address is taken would stay in memory as a whole.
  RowDecoder(CFaxDecoder& d, BitReader& in, int32_t width, Changes& cur, Changes& ref, size_t& hint)
      : d_(d), in_(in), width_(width), cur_(cur), ref_(ref), hint_(hint), twoDLine_(d.t6),
        atLineStart_(!d.t6), b1_(width), table_(d.t6 ? &kModeTable : &kWhiteTable) {
    curRow_ = OutputPosition();
    StartRow();
  }

  // True when `rows` rows are complete.
  [[gnu::always_inline]] bool DecodeRows(int32_t rows) {
    rowsLeft_ = rows;
    for (;;) {
      Step step;
      int32_t v;
      if (twoDLine_ && ref_.complete && recording_ && d_.outBit + width_ <= d_.outLimit) {
        step = WholeTwoDRow();
      } else if (atLineStart_ ? !d_.DecodeCode(in_, *table_, true, v)
                              : !d_.NextCode(in_, *table_, v)) {
        return false;
      } else if (v == -1) {
        step = EndOfLine();
      } else {
        step = twoDLine_ ? ModeCode(v) : RunCode(v);
      }
      if (step == Step::kStop) return false;
      if (step == Step::kRowEnds && EndRow()) return true;
    }
  }

 private:
  enum class Step { kGoOn, kRowEnds, kStop };

  [[gnu::always_inline]] const uint8_t* OutputPosition() const {
    return d_.stream->outBuf + (d_.outBit >> 3);
  }

  [[gnu::always_inline]] void StartRow() {
    cur_.count = 0;
    cur_.complete = false;
    recording_ = (d_.outBit & 7) == 0;
    lastBit_ = d_.whiteBit;
  }

  // The row just decoded becomes the reference of the next.
  [[gnu::always_inline]] void MoveReference() {
    refRow_ = curRow_;
    std::swap(ref_, cur_);
    hint_ = 0;
    curRow_ = OutputPosition();
    StartRow();
  }

  // Writes a run of n pixels starting at pixel `at` of the row.
  [[gnu::always_inline]] bool Emit(int64_t at, int64_t n, int32_t bit) {
    if (n <= 0) return true;
    if (recording_ && bit != lastBit_) {
      if (at < width_) {
        cur_.at[cur_.count++] = static_cast<int32_t>(at);
      } else {
        recording_ = false;  // past the row: it cannot complete
      }
      lastBit_ = bit;
    }
    return d_.WriteRun(n, bit);
  }

  [[gnu::always_inline]] int32_t Find(int32_t start, int32_t target) {
    if (ref_.complete) return d_.FindInChanges(ref_, hint_, start, width_, target);
    d_.Sync();  // the search reads the output
    return d_.FindChangingElement(refRow_, start, width_, target);
  }

  // The usual two-dimensional row: against a reference row known as a list of changes, starting
  // on a byte boundary with room for the whole row. Its changes are decoded first and its bytes
  // written from them afterwards.
  [[gnu::always_inline]] Step WholeTwoDRow() {
    d_.Sync();
    if (!d_.DecodeTwoDRow(in_, ref_, cur_, width_)) return Step::kStop;
    d_.FillRow(cur_, width_);
    d_.outBit += (int64_t{width_} + 7) & ~int64_t{7};
    d_.StartOutput();
    return Step::kRowEnds;
  }

  // End of line. The output position stays: a row cut short is not completed by it.
  [[gnu::always_inline]] Step EndOfLine() {
    recording_ = false;
    atLineStart_ = false;
    white_ = true;
    table_ = &kWhiteTable;
    a0_ = 0;
    if (d_.twoD) {
      if (in_.Available() < 1) return Step::kStop;
      twoDLine_ = in_.Peek(1) == 0;
      in_.Skip(1);
      if (twoDLine_) table_ = &kModeTable;
      MoveReference();
    }
    if (twoDLine_) {
      if (rowsCompleted_ == 0) return Step::kStop;
      b1_ = Find(-1, d_.blackBit);
    }
    return Step::kGoOn;
  }

  // A mode code of a two-dimensional row: pass, horizontal or one of the vertical modes.
  [[gnu::always_inline]] Step ModeCode(int32_t v) {
    // Offsets of a1 from b1 for the vertical modes 2 ... 8.
    static constexpr int32_t kVerticalOffset[9] = {0, 0, 0, 1, 2, 3, -1, -2, -3};
    if (v > 8) return Step::kStop;
    const int32_t colourBit = white_ ? d_.whiteBit : d_.blackBit;
    const int32_t otherBit = white_ ? d_.blackBit : d_.whiteBit;
    if (v >= 2) {  // vertical
      const int64_t a1 = int64_t{b1_} + kVerticalOffset[v];
      if (a1 < a0_ || a1 > width_ || !Emit(a0_, a1 - a0_, colourBit)) return Step::kStop;
      a0_ = a1;
      white_ = !white_;
    } else if (v == 0) {  // pass
      const int32_t b2 = Find(b1_, -1);
      if (b2 < a0_ || !Emit(a0_, b2 - a0_, colourBit)) return Step::kStop;
      a0_ = b2;
    } else {  // horizontal
      int64_t r1, r2;
      if (!d_.ReadRun(in_, white_ ? kWhiteTable : kBlackTable, r1) ||
          !d_.ReadRun(in_, white_ ? kBlackTable : kWhiteTable, r2)) {
        return Step::kStop;
      }
      if (a0_ + r1 + r2 > width_) return Step::kStop;
      if (!Emit(a0_, r1, colourBit) || !Emit(a0_ + r1, r2, otherBit)) return Step::kStop;
      a0_ += r1 + r2;
    }
    if (a0_ == width_) return Step::kRowEnds;
    b1_ = Find(static_cast<int32_t>(a0_), white_ ? d_.blackBit : d_.whiteBit);
    return Step::kGoOn;
  }

  // A run of a one-dimensional row: a make-up code, which the terminating code of the same colour
  // follows, or a terminating code, after which the colour changes.
  [[gnu::always_inline]] Step RunCode(int32_t v) {
    if (!Emit(a0_, v, white_ ? d_.whiteBit : d_.blackBit)) return Step::kStop;
    a0_ += v;
    if (v >= 64) return Step::kGoOn;
    if (a0_ > width_) return Step::kStop;
    if (a0_ == width_) return Step::kRowEnds;
    white_ = !white_;
    atLineStart_ = false;
    table_ = white_ ? &kWhiteTable : &kBlackTable;
    return Step::kGoOn;
  }

  // Closes a complete row; true when it was the last one wanted.
  [[gnu::always_inline]] bool EndRow() {
    if (recording_) {
      // The row at `cur` is complete: close its list with two sentinels.
      cur_.at[cur_.count] = INT32_MAX;
      cur_.at[cur_.count + 1] = INT32_MAX;
      cur_.complete = true;
      recording_ = false;
    }
    --rowsLeft_;
    ++rowsCompleted_;
    a0_ = 0;
    d_.AlignOutput();
    if (rowsLeft_ == 0) return true;
    white_ = true;
    if (d_.t6) {
      MoveReference();
      b1_ = Find(-1, d_.blackBit);
    } else {
      atLineStart_ = true;
      twoDLine_ = false;
      table_ = &kWhiteTable;
    }
    return false;
  }

  CFaxDecoder& d_;
  BitReader& in_;
  const int32_t width_;
  Changes& cur_;
  Changes& ref_;
  size_t& hint_;
  const uint8_t* curRow_ = nullptr;
  const uint8_t* refRow_ = nullptr;
  bool recording_ = false;
  int32_t lastBit_ = 0;  // colour of the last pixel recorded
  bool white_ = true;
  bool twoDLine_;
  bool atLineStart_;
  int64_t a0_ = 0;
  int32_t b1_ = 0;
  const FaxCodeTable* table_;
  int32_t rowsLeft_ = 0;
  int32_t rowsCompleted_ = 0;
};

bool CFaxDecoder::Decode(int32_t width, int32_t rows) {
  if (rows <= 0) return true;
  if (width <= 0 || stream == nullptr) return false;
  BitReader in(stream->data, stream->size, stream->msbFirst,
               int64_t{stream->pos} * 8 + stream->bitPos);
  outBit = int64_t{stream->outPos} * 8 + stream->outBitPos;
  StartOutput();

  // A row has at most one change per pixel, and each change costs at least one bit of input (a
  // vertical-mode code is the shortest), so the lists of changes never need more than the smaller
  // of the two, and two sentinels.
  const size_t listSize = static_cast<size_t>(std::min<int64_t>(width, in.Available())) + 2;
  MemoryBudget unbounded(UINT64_MAX);
  BudgetBuffer<int32_t> changeRoom;
  if (!changeRoom.Allocate(budget != nullptr ? *budget : unbounded, 2 * listSize)) return false;
  Changes cur, ref;
  cur.at = changeRoom.Data();
  ref.at = changeRoom.Data() + listSize;
  size_t hint = 0;
  RowDecoder rowDecoder(*this, in, width, cur, ref, hint);
  const bool ok = rowDecoder.DecodeRows(rows);

  // Leave the stream where decoding stopped, with every byte reached stored.
  Sync();
  const int64_t inBit = in.Position();
  stream->pos = static_cast<int32_t>(inBit >> 3);
  stream->bitPos = static_cast<int32_t>(inBit & 7);
  stream->outPos = static_cast<int32_t>(std::min<int64_t>(outBit >> 3, stream->outSize));
  stream->outBitPos = static_cast<int32_t>(outBit & 7);
  return ok;
}

}  // namespace pelmor
