#include "codecs/inflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "codecs/inflate_fixtures.h"
#include "test_support.h"

#if PELMOR_HAVE_ZLIB
#include <zlib.h>
#endif

namespace pelmor::test {
namespace {

// The inflated bytes, or nothing on failure. The output buffer has exactly capacity bytes.
std::optional<Bytes> Inflate(const Bytes& zlib, size_t capacity) {
  Bytes out(capacity);
  size_t produced = 12345;
  if (!InflateZlib(zlib.data(), zlib.size(), out.data(), out.size(), &produced)) {
    EXPECT_EQ(produced, 0u);
    return std::nullopt;
  }
  out.resize(produced);
  return out;
}

Bytes Repeat(uint8_t v, size_t n) { return Bytes(n, v); }

// The canonical codes of a set of lengths, as a decoder assigns them (over-subscribed sets get
// codes that no input can hold).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  int count[16] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int l = 1; l <= 15; ++l) {
    code = (code + uint32_t(count[l - 1])) << 1;
    next[l] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

// A dynamic block header whose code-length code gives every length 0-15 a 4-bit code (the code
// equals the length), followed by the given lengths one by one.
struct DynamicCodes {
  std::vector<uint8_t> literal;   // 257 ... 286 lengths
  std::vector<uint8_t> distance;  // 1 ... 32 lengths
  std::vector<uint32_t> literalCodes;
  std::vector<uint32_t> distanceCodes;

  void WriteHeader(DeflateWriter& w, bool final) {
    literalCodes = CanonicalCodes(literal);
    distanceCodes = CanonicalCodes(distance);
    w.Header(final, 2).Bits(uint32_t(literal.size() - 257), 5).Bits(uint32_t(distance.size() - 1), 5);
    w.Bits(15, 4);  // all 19 code-length lengths follow
    const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int s : order) w.Bits(s < 16 ? 4 : 0, 3);
    for (uint8_t l : literal) w.Code(l, 4);
    for (uint8_t l : distance) w.Code(l, 4);
  }
  void Literal(DeflateWriter& w, int symbol) { w.Code(literalCodes[size_t(symbol)], literal[size_t(symbol)]); }
  void Distance(DeflateWriter& w, int code) { w.Code(distanceCodes[size_t(code)], distance[size_t(code)]); }
};

TEST(Inflate, StoredBlocksCopyBytesAndRefuseWhatDoesNotFit) {
  Bytes a = {1, 2, 3}, b(70000 % 65536, 0x5A), empty;
  const Bytes z = ZlibWrap(DeflateWriter().Stored(false, a).Stored(false, empty).Stored(true, b).Finish());
  Bytes all = a;
  all.insert(all.end(), b.begin(), b.end());
  EXPECT_EQ(Inflate(z, all.size()), all);
  EXPECT_EQ(Inflate(z, all.size() + 10), all);  // fewer bytes than the buffer holds
  EXPECT_FALSE(Inflate(z, all.size() - 1));     // one byte too many
  // LEN and NLEN must be complements.
  Bytes bad = z;
  bad[2 + 1 + 2] ^= 1;  // NLEN of the first block
  EXPECT_FALSE(Inflate(bad, 100000));
  // The stored bytes must all be there: the four trailer bytes are not data.
  Bytes cut = ZlibWrap(DeflateWriter().Stored(true, a).Finish());
  cut.resize(cut.size() - 4);
  EXPECT_FALSE(Inflate(cut, 10));
  // Nothing past the final block is read.
  Bytes more = DeflateWriter().Stored(true, a).Finish();
  more.push_back(0xFF);
  EXPECT_EQ(Inflate(ZlibWrap(more), 3), a);
}

TEST(Inflate, FixedMatchesRepeatAndReachBackToTheFirstByteOnly) {
  // 'x', then length 258 (symbol 285) at distance 1: 259 times 'x'.
  DeflateWriter w;
  w.Header(true, 1).FixedSymbol('x').FixedSymbol(285).FixedDistance(0).FixedSymbol(256);
  const Bytes z = ZlibWrap(w.Finish());
  EXPECT_EQ(Inflate(z, 259), Repeat('x', 259));
  EXPECT_FALSE(Inflate(z, 258));

  // "abc" then a match at distance 3 (code 2): allowed, it starts at the first byte.
  DeflateWriter ok;
  ok.Header(true, 1).FixedSymbol('a').FixedSymbol('b').FixedSymbol('c');
  ok.FixedSymbol(257).FixedDistance(2).FixedSymbol(256);
  EXPECT_EQ(Inflate(ZlibWrap(ok.Finish()), 6), (Bytes{'a', 'b', 'c', 'a', 'b', 'c'}));
  // Distance 4 (code 3) reaches one byte before the output.
  DeflateWriter far;
  far.Header(true, 1).FixedSymbol('a').FixedSymbol('b').FixedSymbol('c');
  far.FixedSymbol(257).FixedDistance(3).FixedSymbol(256);
  EXPECT_FALSE(Inflate(ZlibWrap(far.Finish()), 100));

  // Literal/length symbols 286 and 287 and distance codes 30 and 31 have fixed codes but fail.
  for (int symbol : {286, 287}) {
    DeflateWriter s;
    s.Header(true, 1).FixedSymbol('a').FixedSymbol(symbol).FixedDistance(0).FixedSymbol(256);
    EXPECT_FALSE(Inflate(ZlibWrap(s.Finish()), 100)) << symbol;
  }
  for (int code : {30, 31}) {
    DeflateWriter s;
    s.Header(true, 1).FixedSymbol('a').FixedSymbol(257).FixedDistance(code).FixedSymbol(256);
    EXPECT_FALSE(Inflate(ZlibWrap(s.Finish()), 100000)) << code;
  }
  // Block type 3 fails.
  EXPECT_FALSE(Inflate(ZlibWrap(DeflateWriter().Header(true, 3).Bits(0, 16).Finish()), 10));
}

// A round of the fast path may store two literals and then copy the longest match: with the output
// buffer exactly as long as the data (so that a sanitizer sees any access past it), every position
// of that round relative to the buffer's end must stay inside. Empty stored blocks after the match
// keep enough input behind it for the fast path to be taken.
TEST(Inflate, LiteralsThenTheLongestMatchStayInsideAnExactBuffer) {
  for (size_t prefix = 300; prefix < 306; ++prefix) {
    DeflateWriter w;
    w.Header(false, 1);
    Bytes expected;
    for (size_t i = 0; i < prefix + 2; ++i) {
      w.FixedSymbol('a' + int(i % 7));
      expected.push_back(uint8_t('a' + i % 7));
    }
    w.FixedSymbol(285).FixedDistance(0).FixedSymbol(256);  // 258 copies of the last literal
    expected.insert(expected.end(), 258, expected.back());
    for (int i = 0; i < 40; ++i) w.Stored(false, {});
    w.Stored(true, {});
    const Bytes z = ZlibWrap(w.Finish());
    for (size_t extra = 0; extra < 40; ++extra) {
      EXPECT_EQ(Inflate(z, expected.size() + extra), expected) << prefix << " " << extra;
    }
  }
}

TEST(Inflate, DistanceCodesNeedAtLeastOneCodeAndFailOnlyOnUnusedPatterns) {
  DynamicCodes c;
  c.literal.assign(257, 0);
  c.literal['a'] = 1;
  c.literal[256] = 1;
  c.distance = {0};
  {
    // No distance code at all: the block fails, even though it holds no match.
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'a');
    c.Literal(w, 256);
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 10));
  }
  c.literal.assign(258, 0);
  c.literal['a'] = 1;
  c.literal[256] = 2;
  c.literal[257] = 2;  // length 3
  c.distance = {1};    // distance 1 has the code 0; the pattern 1 is unused
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'a');
    c.Literal(w, 257);
    c.Distance(w, 0);
    c.Literal(w, 256);
    EXPECT_EQ(Inflate(ZlibWrap(w.Finish()), 10), Repeat('a', 4));
  }
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'a');
    c.Literal(w, 257);
    w.Code(1, 1);  // the unused distance pattern
    c.Literal(w, 256);
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 10));
  }
}

TEST(Inflate, IncompleteAndOverSubscribedCodesDecodeWhatTheyCan) {
  // Over-subscribed: 'a' 0, end of block 1, and 'b' would be 2, which one bit cannot hold; 'c'
  // at two bits gets 4, out of reach too.
  DynamicCodes c;
  c.literal.assign(257, 0);
  c.literal['a'] = 1;
  c.literal['b'] = 1;
  c.literal['c'] = 2;
  c.literal[256] = 1;
  c.distance = {1};
  c.literalCodes = CanonicalCodes(c.literal);
  ASSERT_EQ(c.literalCodes['b'], 1u);    // 'b' takes code 1 (symbol order) ...
  ASSERT_EQ(c.literalCodes[256], 2u);    // ... and the end of block is unreachable
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    w.Code(0, 1).Code(1, 1).Code(0, 1);  // a b a, then no way to end the block
    w.Bits(0xFFFF, 16);                  // b b b ... until the input ends
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 1000));
  }
  // Incomplete: one literal-length code of length 2 is unused.
  c.literal.assign(257, 0);
  c.literal['a'] = 2;
  c.literal['b'] = 2;
  c.literal[256] = 2;
  c.distance = {0, 2};
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'b');
    c.Literal(w, 'a');
    c.Literal(w, 256);
    EXPECT_EQ(Inflate(ZlibWrap(w.Finish()), 10), (Bytes{'b', 'a'}));
  }
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'b');
    w.Code(3, 2);  // the unused pattern
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 10));
  }
  // A code whose every symbol is 15 bits long fails to build, so the block fails at its header.
  c.literal.assign(257, 0);
  c.literal['a'] = 15;
  c.literal[256] = 15;
  c.distance = {1};
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'a');
    c.Literal(w, 256);
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 10));
  }
  // With one shorter code beside them, 15-bit codes are fine.
  c.literal['b'] = 14;
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'a');
    c.Literal(w, 'b');
    c.Literal(w, 256);
    EXPECT_EQ(Inflate(ZlibWrap(w.Finish()), 10), (Bytes{'a', 'b'}));
  }
}

TEST(Inflate, DynamicHeaderLimitsAndRepeats) {
  // HLIT 287 and 288 fail; HDIST 31 and 32 are accepted.
  for (uint32_t hlit : {30u, 31u}) {
    DeflateWriter w;
    w.Header(true, 2).Bits(hlit, 5).Bits(0, 5).Bits(0, 4).Bits(0, 64);
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 10));
  }
  DynamicCodes c;
  c.literal.assign(257, 0);
  c.literal['a'] = 1;
  c.literal[256] = 1;
  c.distance.assign(32, 0);
  c.distance[31] = 1;
  {
    DeflateWriter w;
    c.WriteHeader(w, true);
    c.Literal(w, 'a');
    c.Literal(w, 256);
    EXPECT_EQ(Inflate(ZlibWrap(w.Finish()), 10), (Bytes{'a'}));
  }
  // Repeat codes: a code-length code with 1 and 16, 17, 18.
  auto header = [](DeflateWriter& w, int literalCount, int distanceCount) {
    w.Header(true, 2).Bits(uint32_t(literalCount - 257), 5).Bits(uint32_t(distanceCount - 1), 5);
    w.Bits(15, 4);
    // Code lengths 1, 16, 17 and 18 get 2-bit codes, in symbol order: 00, 01, 10, 11.
    const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int s : order) w.Bits(s == 1 || s >= 16 ? 2 : 0, 3);
  };
  const uint32_t kOne = 0, kSixteen = 1, kSeventeen = 2, kEighteen = 3;
  {
    // 16 as the very first length has nothing to repeat.
    DeflateWriter w;
    header(w, 257, 1);
    w.Code(kSixteen, 2).Bits(0, 2).Bits(0, 64);
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 10));
  }
  {
    // 257 + 2 lengths: 97 zeros, a 1 for 'a', 138 + 10 + 10 zeros, a 1 for symbol 256; then a repeat
    // of that 1 three times would fill lengths 257 to 259, one more than there are.
    DeflateWriter w;
    header(w, 257, 2);
    w.Code(kEighteen, 2).Bits(97 - 11, 7);
    w.Code(kOne, 2);
    w.Code(kEighteen, 2).Bits(127, 7).Code(kSeventeen, 2).Bits(7, 3).Code(kSeventeen, 2).Bits(7, 3);
    w.Code(kOne, 2);
    w.Code(kSixteen, 2).Bits(0, 2);  // three more: 256 + 3 > 257 + 2 - 1 ...
    w.Bits(0, 64);
    EXPECT_FALSE(Inflate(ZlibWrap(w.Finish()), 10));
  }
  {
    // With 258 + 2 lengths the same repeat fits: it gives symbol 257 and both distance codes the
    // length 1, crossing from the literal/length lengths into the distance lengths.
    DeflateWriter w;
    header(w, 258, 2);
    w.Code(kEighteen, 2).Bits(97 - 11, 7);
    w.Code(kOne, 2);
    w.Code(kEighteen, 2).Bits(127, 7).Code(kSeventeen, 2).Bits(7, 3).Code(kSeventeen, 2).Bits(7, 3);
    w.Code(kOne, 2);
    w.Code(kSixteen, 2).Bits(0, 2);
    // Three literal/length codes of one bit: 'a' is 0, the end of block 1, and 257 out of reach.
    w.Code(0, 1).Code(1, 1);
    EXPECT_EQ(Inflate(ZlibWrap(w.Finish()), 10), (Bytes{'a'}));
  }
}

TEST(Inflate, ZlibWrapperRules) {
  const Bytes deflate = DeflateWriter().Stored(true, {7, 8, 9}).Finish();
  EXPECT_EQ(Inflate(ZlibWrap(deflate), 3), (Bytes{7, 8, 9}));
  // Window size, header check and trailer are not examined.
  EXPECT_EQ(Inflate(ZlibWrap(deflate, 0xF8, 0x00), 3), (Bytes{7, 8, 9}));
  Bytes badTrailer = ZlibWrap(deflate);
  badTrailer.back() ^= 0xFF;
  EXPECT_EQ(Inflate(badTrailer, 3), (Bytes{7, 8, 9}));
  // A preset dictionary or a method other than 8 fails at once.
  EXPECT_FALSE(Inflate(ZlibWrap(deflate, 0x78, 0x20), 3));
  EXPECT_FALSE(Inflate(ZlibWrap(deflate, 0x7F, 0x01), 3));
  // Empty input or output, and input shorter than header plus trailer.
  EXPECT_FALSE(Inflate({}, 3));
  EXPECT_FALSE(Inflate(ZlibWrap(deflate), 0));
  EXPECT_FALSE(Inflate(Bytes{0x78, 0x01, 0x03, 0x00, 0x00}, 3));
  EXPECT_FALSE(Inflate(Bytes{0x78, 0x01, 0, 0, 0, 0}, 3));
}

TEST(Inflate, OutputThatDoesNotFitFailsWhateverTheBlockType) {
  DeflateWriter fixed;
  fixed.Header(true, 1);
  for (char ch : std::string("hello")) fixed.FixedSymbol(ch);
  fixed.FixedSymbol(256);
  EXPECT_EQ(Inflate(ZlibWrap(fixed.Finish()), 5), (Bytes{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_FALSE(Inflate(ZlibWrap(fixed.Finish()), 4));

  DynamicCodes c;
  c.literal.assign(258, 0);
  c.literal['z'] = 1;
  c.literal[256] = 2;
  c.literal[257] = 2;
  c.distance = {1};
  DeflateWriter w;
  c.WriteHeader(w, true);
  c.Literal(w, 'z');
  for (int i = 0; i < 200; ++i) {
    c.Literal(w, 257);
    c.Distance(w, 0);
  }
  c.Literal(w, 256);
  const Bytes z = ZlibWrap(w.Finish());
  EXPECT_EQ(Inflate(z, 601), Repeat('z', 601));
  for (size_t capacity : {600u, 300u, 2u, 1u}) EXPECT_FALSE(Inflate(z, capacity)) << capacity;
}

// Damaged streams: the fast decoder must accept exactly what the plain one accepts and produce the
// same bytes. The bytes past the produced length must stay as they were.
void ExpectSameAsPlain(const Bytes& z, size_t capacity, const std::string& what) {
  Bytes fast(capacity + 64, 0xA5), plain(capacity, 0xA5);
  size_t produced = 0;
  const bool ok = InflateZlib(z.data(), z.size(), fast.data(), capacity, &produced);
  const auto reference = ReferenceInflate(z, plain.data(), capacity);
  ASSERT_EQ(ok, reference.has_value()) << what;
  if (!ok) return;
  ASSERT_EQ(produced, *reference) << what;
  ASSERT_TRUE(std::equal(plain.begin(), plain.begin() + long(produced), fast.begin())) << what;
  ASSERT_TRUE(std::all_of(fast.begin() + long(produced), fast.end(), [](uint8_t b) { return b == 0xA5; }))
      << what;
}

Bytes SampleData(std::mt19937& rng, size_t n) {
  Bytes d(n);
  switch (rng() % 5) {
    case 0:
      for (auto& b : d) b = uint8_t(rng());
      break;
    case 1: {  // short periods
      const size_t period = 1 + rng() % 9;
      for (size_t i = 0; i < n; ++i) d[i] = uint8_t(i % period == 0 ? rng() % 4 : d[i - 1] + 1);
      break;
    }
    case 2: {  // words from a small vocabulary
      static const char* words[] = {"pixel ", "row ", "filter ", "deflate ", "a ", "the ", "\n"};
      std::string s;
      while (s.size() < n) s += words[rng() % 7];
      std::copy_n(s.begin(), n, d.begin());
      break;
    }
    case 3:  // smooth rows, as images have
      for (size_t i = 0; i < n; ++i) d[i] = uint8_t((i % 97) * 3 + (i / 291) + (rng() % 3));
      break;
    default:  // long runs
      for (size_t i = 0; i < n;) {
        const size_t run = 1 + rng() % 600;
        const uint8_t v = uint8_t(rng());
        for (size_t k = 0; k < run && i < n; ++k) d[i++] = v;
      }
  }
  return d;
}

#if PELMOR_HAVE_ZLIB

Bytes Compress(const Bytes& data, int level, int windowBits, int memLevel, int strategy) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK) return {};
  Bytes out(deflateBound(&zs, uLong(data.size())) + 64);
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = uInt(data.size());
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  // Feed in pieces with occasional flushes, so that streams hold many blocks of each type.
  int rc = deflate(&zs, Z_FINISH);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) return {};
  out.resize(zs.total_out);
  return out;
}

Bytes CompressInPieces(const Bytes& data, std::mt19937& rng) {
  z_stream zs{};
  if (deflateInit2(&zs, int(rng() % 10), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  Bytes out(deflateBound(&zs, uLong(data.size())) * 2 + 4096);
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  size_t at = 0;
  while (at < data.size()) {
    const size_t n = std::min<size_t>(data.size() - at, 1 + rng() % 5000);
    zs.next_in = const_cast<Bytef*>(data.data() + at);
    zs.avail_in = uInt(n);
    at += n;
    const int flush = at == data.size() ? Z_FINISH : (rng() % 3 == 0 ? Z_FULL_FLUSH : Z_NO_FLUSH);
    if (rng() % 4 == 0) deflateParams(&zs, int(rng() % 10), int(rng() % 5));
    deflate(&zs, flush);
  }
  deflateEnd(&zs);
  out.resize(zs.total_out);
  return out;
}

TEST(Inflate, MatchesZlibOnGeneratedStreams) {
  std::mt19937 rng(1234);
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  int streams = 0;
  for (int round = 0; round < 400; ++round) {
    const size_t n = round % 10 == 0 ? 1 + rng() % 300000 : 1 + rng() % 20000;
    const Bytes data = SampleData(rng, n);
    const Bytes z = round % 7 == 0 ? CompressInPieces(data, rng)
                                   : Compress(data, int(rng() % 10), 9 + int(rng() % 7),
                                              1 + int(rng() % 9), strategies[rng() % 5]);
    ASSERT_FALSE(z.empty());
    ++streams;
    ASSERT_EQ(Inflate(z, n), data) << "round " << round;
    // A larger buffer: same bytes, the rest untouched.
    Bytes roomy(n + 300, 0x3C);
    size_t produced = 0;
    ASSERT_TRUE(InflateZlib(z.data(), z.size(), roomy.data(), roomy.size(), &produced));
    ASSERT_EQ(produced, n);
    ASSERT_TRUE(std::equal(data.begin(), data.end(), roomy.begin()));
    ASSERT_TRUE(std::all_of(roomy.begin() + long(n), roomy.end(), [](uint8_t b) { return b == 0x3C; }));
    // One byte short fails.
    ASSERT_FALSE(Inflate(z, n - 1)) << "round " << round;
    if (n < 5000) ExpectSameAsPlain(z, n, "zlib round " + std::to_string(round));
  }
  EXPECT_EQ(streams, 400);
}

TEST(Inflate, MatchesThePlainDecoderOnDamagedStreams) {
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    const size_t n = 1 + rng() % 3000;
    const Bytes data = SampleData(rng, n);
    Bytes z = Compress(data, int(rng() % 10), 15, 8, round % 3 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY);
    ASSERT_FALSE(z.empty());
    switch (rng() % 4) {
      case 0: {  // flip a few bits
        const int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i) z[2 + rng() % (z.size() - 2)] ^= uint8_t(1u << (rng() % 8));
        break;
      }
      case 1:  // cut short
        z.resize(2 + rng() % (z.size() - 1));
        break;
      case 2:  // random bytes after a valid start
        for (size_t i = 2 + rng() % (z.size() - 2); i < z.size(); ++i) z[i] = uint8_t(rng());
        break;
      default:  // a dynamic block header of random bits
        z[2] = uint8_t((z[2] & ~6) | 4);
        for (size_t i = 3; i < z.size() && i < 40; ++i) z[i] = uint8_t(rng());
        break;
    }
    const size_t capacity = rng() % 4 == 0 ? 1 + rng() % (n + 10) : n;
    ExpectSameAsPlain(z, capacity, "round " + std::to_string(round));
  }
}

// Collects what a streaming inflate hands over, leaving a random part of each offer (up to
// maxLeft bytes) for the next call, as a reader of rows leaves a partial row.
class CollectingSink : public CInflateSink {
 public:
  CollectingSink(uint32_t seed, size_t maxLeft, int failAtCall = -1)
      : rng_(seed), maxLeft_(maxLeft), failAtCall_(failAtCall) {}
  bool Take(const uint8_t* data, size_t n, bool last, size_t& used) override {
    if (calls_++ == failAtCall_) return false;
    const size_t leave = last ? 0 : std::min<size_t>(n, rng_() % (maxLeft_ + 1));
    used = n - leave;
    got.insert(got.end(), data, data + used);
    return true;
  }
  Bytes got;
  int Calls() const { return calls_; }

 private:
  std::mt19937 rng_;
  size_t maxLeft_;
  int failAtCall_;
  int calls_ = 0;
};

// The sink form against the buffer form: the same success, the same bytes, the same count, over
// streams long enough to slide the window many times (stored, fixed and dynamic blocks, and
// damaged ones), with small stretches and with the default one.
TEST(Inflate, TheSinkFormMatchesTheBufferForm) {
  std::mt19937 rng(77);
  for (int round = 0; round < 120; ++round) {
    const size_t n = round % 4 == 0 ? 1 + rng() % 900000 : 40000 + rng() % 120000;
    const Bytes data = SampleData(rng, n);
    Bytes z = round % 3 == 0 ? CompressInPieces(data, rng)
                             : Compress(data, int(rng() % 10), 15, 8, round % 5 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY);
    ASSERT_FALSE(z.empty());
    if (round % 6 == 5) z[2 + rng() % (z.size() - 2)] ^= uint8_t(1u << (rng() % 8));
    const size_t capacity = round % 7 == 3 ? n - 1 - rng() % std::min<size_t>(n, 300) : n + rng() % 3;
    Bytes whole(capacity);
    size_t produced = 0;
    const bool ok = capacity > 0 && InflateZlib(z.data(), z.size(), whole.data(), capacity, &produced);
    const size_t maxLeft = rng() % 20000;
    const size_t stretch = round % 2 ? 512 + rng() % 4000 : kInflateStretch;
    CollectingSink sink(uint32_t(round), maxLeft);
    uint64_t streamed = 99;
    MemoryBudget budget;
    const bool streamOk =
        InflateZlibToSink(z.data(), z.size(), capacity, sink, maxLeft, budget, &streamed, stretch);
    // The window is all it holds, and it is given back.
    EXPECT_LE(budget.Peak(), 32768 + maxLeft + stretch + (2u << 20));
    EXPECT_EQ(budget.Used(), 0u);
    const std::string what = "round " + std::to_string(round);
    ASSERT_EQ(streamOk, ok) << what;
    if (!ok) {
      EXPECT_EQ(streamed, 0u) << what;
      continue;
    }
    ASSERT_EQ(streamed, produced) << what;
    whole.resize(produced);
    ASSERT_EQ(sink.got, whole) << what;
  }
}

TEST(Inflate, TheSinkCanStopTheInflate) {
  std::mt19937 rng(3);
  const Bytes data = SampleData(rng, 300000);
  const Bytes z = Compress(data, 6, 15, 8, Z_DEFAULT_STRATEGY);
  MemoryBudget budget;
  CollectingSink counting(1, 100);
  ASSERT_TRUE(InflateZlibToSink(z.data(), z.size(), data.size(), counting, 100, budget, nullptr, 1000));
  ASSERT_GT(counting.Calls(), 3);
  for (int call : {0, 2, counting.Calls() - 1}) {
    CollectingSink failing(1, 100, call);
    uint64_t produced = 5;
    EXPECT_FALSE(InflateZlibToSink(z.data(), z.size(), data.size(), failing, 100, budget, &produced, 1000))
        << call;
    EXPECT_EQ(produced, 0u);
  }
  // A sink that leaves more than it said it would stops the inflate too.
  CollectingSink greedy(1, 5000);
  EXPECT_FALSE(InflateZlibToSink(z.data(), z.size(), data.size(), greedy, 100, budget, nullptr, 1000));
  // A window the budget refuses fails the inflate before anything is decoded.
  MemoryBudget small(1000);
  CollectingSink refused(1, 100);
  EXPECT_FALSE(InflateZlibToSink(z.data(), z.size(), data.size(), refused, 100, small, nullptr, 1000));
  EXPECT_EQ(refused.Calls(), 0);
}

#endif  // PELMOR_HAVE_ZLIB

}  // namespace
}  // namespace pelmor::test
