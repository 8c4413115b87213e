#include "codecs/lzw_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <unordered_map>
#include <vector>

#include "codecs/lzw_reference.h"

namespace pelmor {
namespace {

using Bytes = LzwBytes;
using Lines = LzwLines;
using Outcome = LzwOutcome;

// Packs codes of given sizes in either bit order.
class CodeWriter {
 public:
  explicit CodeWriter(bool msb) : msb_(msb) {}
  CodeWriter& Put(int code, int size) {
    for (int i = 0; i < size; ++i) {
      const int bit = msb_ ? (code >> (size - 1 - i)) & 1 : (code >> i) & 1;
      if (used_ % 8 == 0) bytes_.push_back(0);
      if (bit) bytes_.back() |= static_cast<uint8_t>(msb_ ? 0x80 >> (used_ % 8) : 1 << (used_ % 8));
      ++used_;
    }
    return *this;
  }
  Bytes bytes() const { return bytes_; }

 private:
  bool msb_;
  Bytes bytes_;
  size_t used_ = 0;
};

// Records lines; `statuses` gives the PutLine results in turn (0 once they run out).
struct Recorder {
  Lines lines;
  std::vector<int16_t> statuses;
  int16_t Put(const uint8_t* line, int32_t n) {
    lines.emplace_back(line, line + n);
    return lines.size() <= statuses.size() ? statuses[lines.size() - 1] : 0;
  }
};

// A sink that fetches every byte through GetByte, counting the calls.
class ByteSink : public CPixelSink {
 public:
  explicit ByteSink(const Bytes& in) : CPixelSink(in.data(), int32_t(in.size()), nullptr, 0) {}
  int32_t GetByte() override {
    ++gets;
    return inPos < inSize ? inData[inPos++] : -1;
  }
  int16_t PutLine(const uint8_t* line, int32_t n) override { return rec.Put(line, n); }
  Recorder rec;
  int gets = 0;
};

// A sink the decoder reads directly.
class ArraySink : public CPlainPixelSink {
 public:
  explicit ArraySink(const Bytes& in) : CPlainPixelSink(in.data(), int32_t(in.size()), nullptr, 0) {}
  int16_t PutLine(const uint8_t* line, int32_t n) override { return rec.Put(line, n); }
  Recorder rec;
};

template <class Sink>
Outcome Run(const Bytes& in, int root, bool msb, bool early, int width,
            std::vector<int16_t> statuses = {}) {
  Sink sink(in);
  sink.rec.statuses = std::move(statuses);
  CLzwDecoder d(int16_t(root), msb ? CLzwDecoder::kMsbFirst : CLzwDecoder::kLsbFirst, early,
                &sink);
  Outcome o;
  o.result = d.Decode(width, &o.bad);
  o.lines = sink.rec.lines;
  return o;
}

// Both kinds of sink must see exactly the same decoding.
Outcome Both(const Bytes& in, int root, bool msb, bool early, int width,
             std::vector<int16_t> statuses = {}) {
  Outcome a = Run<ByteSink>(in, root, msb, early, width, statuses);
  Outcome b = Run<ArraySink>(in, root, msb, early, width, statuses);
  EXPECT_EQ(a, b);
  return b;
}

// A plain LZW encoder for round trips: clears when the dictionary is full unless told to keep
// going with 12-bit codes (which decoders must accept).
Bytes Encode(const Bytes& data, int root, bool msb, bool early, bool clearWhenFull) {
  CodeWriter w(msb);
  const int clear = 1 << root;
  int size = root + 1, slot = clear + 2;
  std::unordered_map<int, int> dict;  // (code << 8 | symbol) -> code
  w.Put(clear, size);
  int cur = -1;
  for (uint8_t c : data) {
    if (cur < 0) {
      cur = c;
      continue;
    }
    if (auto it = dict.find(cur << 8 | c); it != dict.end()) {
      cur = it->second;
      continue;
    }
    w.Put(cur, size);
    if (slot < 4096) {
      dict[cur << 8 | c] = slot++;
      // The decoder assigns each entry one code later than the encoder.
      if (size < 12 && slot > (1 << size) - (early ? 1 : 0)) ++size;
    } else if (clearWhenFull) {
      w.Put(clear, size);
      dict.clear();
      size = root + 1, slot = clear + 2;
    }
    cur = c;
  }
  if (cur >= 0) w.Put(cur, size);
  w.Put(clear + 1, size);
  return w.bytes();
}

Lines Split(const Bytes& data, size_t width) {
  Lines out;
  for (size_t i = 0; i < data.size(); i += width) {
    out.emplace_back(data.begin() + i, data.begin() + std::min(data.size(), i + width));
  }
  return out;
}

TEST(LzwDecoder, RefusesRootSizesOutsideTwoToNineWithoutReading) {
  const Bytes in = {0x4C, 0x5C};
  for (int root : {1, 10}) {
    ByteSink sink(in);
    CLzwDecoder d(int16_t(root), CLzwDecoder::kLsbFirst, false, &sink);
    int32_t bad = 99;
    EXPECT_EQ(d.Decode(4, &bad), CLzwDecoder::kBadRootSize);
    EXPECT_EQ(sink.gets, 0);
    EXPECT_EQ(bad, 0);
  }
  EXPECT_EQ(Both(in, 2, false, false, 0).result, CLzwDecoder::kNoLineBuffer);
}

TEST(LzwDecoder, WorkedExampleGrowsToFourBitsWhenSlotSevenIsAssigned) {
  // Codes 4 (clear), 1, 1, 6 in 3 bits, then 5 (end) in 4 bits.
  Outcome o = Both({0x4C, 0x5C}, 2, false, false, 4);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.lines, (Lines{{1, 1, 1, 1}}));
  // With a line of 3 the fourth symbol is a partial line delivered at the end code.
  EXPECT_EQ(Both({0x4C, 0x5C}, 2, false, false, 3).lines, (Lines{{1, 1, 1}, {1}}));
}

TEST(LzwDecoder, CodeLengthGrowsAt511WithEarlyChangeAnd512Without) {
  // 254 codes after the clear assign entries 258 ... 510; with early change the next code is
  // already 10 bits long, without it one more 9-bit code follows.
  for (bool early : {true, false}) {
    const int nine = early ? 254 : 255;
    for (bool msb : {true, false}) {
      CodeWriter w(msb);
      w.Put(256, 9);
      Bytes expected;
      for (int i = 0; i < nine; ++i) w.Put(i % 200, 9), expected.push_back(uint8_t(i % 200));
      w.Put(77, 10).Put(257, 10);
      expected.push_back(77);
      const Outcome right{0, 0, Lines{expected}};
      EXPECT_EQ(Both(w.bytes(), 8, msb, early, int(expected.size())), right);
      // The other growth rule misreads the same stream.
      EXPECT_NE(Both(w.bytes(), 8, msb, !early, int(expected.size())), right);
    }
  }
}

TEST(LzwDecoder, CodeAtNextSlotIsNormalAndAboveItIsCountedButDecodedAlike) {
  // 1; 6 = "1 1" (equal to the next slot); 7 = "1 1 1"; then, in 4 bits, 8 or 9 = "1 1 1 1".
  for (int last : {8, 9}) {
    CodeWriter w(false);
    w.Put(4, 3).Put(1, 3).Put(6, 3).Put(7, 3).Put(last, 4).Put(5, 4);
    Outcome o = Both(w.bytes(), 2, false, false, 10);
    EXPECT_EQ(o.lines, (Lines{Bytes(10, 1)}));
    EXPECT_EQ(o.bad, last == 9 ? 1 : 0);
    EXPECT_EQ(o.result, 0);
  }
}

TEST(LzwDecoder, FirstCodeWithoutClearAddsNoEntry) {
  // 1, then 6 must be "1 1": the stream starts as if a clear code had just been read.
  CodeWriter w(false);
  w.Put(1, 3).Put(6, 3).Put(5, 3);
  EXPECT_EQ(Both(w.bytes(), 2, false, false, 3).lines, (Lines{{1, 1, 1}}));
}

TEST(LzwDecoder, InputEndingMidLineDropsThePartialLine) {
  CodeWriter w(false);
  w.Put(256, 9);
  for (int i = 0; i < 25; ++i) w.Put(i, 9);
  Outcome o = Both(w.bytes(), 8, false, false, 10);
  EXPECT_EQ(o.result, 0);
  ASSERT_EQ(o.lines.size(), 2u);
  EXPECT_EQ(o.lines[1][9], 19);
  // Ending right after a clear code gives the last line's status, or -1 before any line.
  CodeWriter c(false);
  c.Put(4, 3).Put(4, 3);
  EXPECT_EQ(Both(c.bytes(), 2, false, false, 1).result, -1);
  c.Put(2, 3).Put(4, 3);
  EXPECT_EQ(Both(c.bytes(), 2, false, false, 1).result, 0);
}

TEST(LzwDecoder, SinkStatusesStopDecodingOrBecomeTheResult) {
  CodeWriter w(false);
  w.Put(4, 3);
  for (int i = 0; i < 7; ++i) w.Put(i % 4, i < 3 ? 3 : 4);
  w.Put(5, 4);
  // A negative status stops at once.
  Outcome stop = Both(w.bytes(), 2, false, false, 2, {0, -7});
  EXPECT_EQ(stop.result, -7);
  EXPECT_EQ(stop.lines.size(), 2u);
  // The partial last line's status is the result.
  Outcome partial = Both(w.bytes(), 2, false, false, 2, {0, 0, 0, 42});
  EXPECT_EQ(partial.lines.size(), 4u);
  EXPECT_EQ(partial.result, 42);

  // The same in the middle of a long stream, and a sink that has all it needs there.
  std::mt19937 rng(3);
  Bytes data(50000);
  for (size_t i = 1; i < data.size(); ++i) data[i] = rng() % 4 == 0 ? uint8_t(rng()) : data[i - 1];
  const Bytes in = Encode(data, 8, true, true, true);
  for (int width : {3, 700}) {
    const Lines all = Split(data, width);
    std::vector<int16_t> statuses(40, 0);
    statuses.back() = -3;
    const Outcome o = Both(in, 8, true, true, width, statuses);
    EXPECT_EQ(o.result, -3);
    EXPECT_EQ(o.lines, Lines(all.begin(), all.begin() + 40));

    class DoneAfter40 : public ArraySink {
     public:
      using ArraySink::ArraySink;
      int16_t PutLine(const uint8_t* line, int32_t n) override {
        ignoreFurtherLines = rec.lines.size() + 1 >= 40;
        return ArraySink::PutLine(line, n);
      }
    };
    DoneAfter40 sink(in);
    CLzwDecoder d(8, CLzwDecoder::kMsbFirst, true, &sink);
    EXPECT_EQ(d.Decode(width, nullptr), 0);
    // Lines already decoded when the sink said so may still arrive, but no more.
    ASSERT_GE(sink.rec.lines.size(), 40u);
    EXPECT_LE(sink.rec.lines.size(), 40u + 4096 / width);
    EXPECT_EQ(sink.rec.lines, Lines(all.begin(), all.begin() + sink.rec.lines.size()));
  }
}

TEST(LzwDecoder, ChainsThroughBadCodesEndInMinusOneNotALoop) {
  // After the bad code 7, entry 7 is made its own prefix; decoding 7 again would never end.
  CodeWriter w(false);
  w.Put(4, 3).Put(0, 3).Put(7, 3).Put(7, 3).Put(7, 4).Put(5, 4);
  Outcome o = Both(w.bytes(), 2, false, false, 1000);
  EXPECT_EQ(o.result, CLzwDecoder::kBadChain);
  EXPECT_EQ(o, LzwReference(w.bytes(), 2, false, false, 1000));

  // A sink that ignores further lines after the first gets no more, and the result is still
  // what the whole stream gives.
  class DoneAfterOneLine : public ArraySink {
   public:
    using ArraySink::ArraySink;
    int16_t PutLine(const uint8_t* line, int32_t n) override {
      ignoreFurtherLines = true;
      return ArraySink::PutLine(line, n);
    }
  };
  for (bool cycle : {true, false}) {
    CodeWriter c(false);
    c.Put(4, 3).Put(0, 3).Put(7, 3).Put(7, 3).Put(cycle ? 7 : 1, 4).Put(5, 4);
    const Bytes in = c.bytes();
    DoneAfterOneLine sink(in);
    CLzwDecoder d(2, CLzwDecoder::kLsbFirst, false, &sink);
    EXPECT_EQ(d.Decode(2, nullptr), cycle ? CLzwDecoder::kBadChain : 0);
    EXPECT_EQ(sink.rec.lines, (Lines{{0, 0}}));
  }
}

TEST(LzwDecoder, CheckingTheRestOfAStreamNobodyReadsIsBounded) {
  // Root 3. A bad code, then codes that each stand for the previous one's string plus one symbol
  // build a chain through the whole dictionary; `repeats` codes then follow it, about 4080 steps
  // each; a clear code and a self-referencing entry end it with -1.
  auto stream = [](int repeats) {
    CodeWriter w(false);
    int size = 4, next = 10;
    auto put = [&](int code, bool adds) {
      w.Put(code, size);
      if (adds && next < 4096 && ++next == (1 << size) && size < 12) ++size;
    };
    put(8, false);
    put(0, false);
    put(15, true);
    put(1, true);
    while (next < 4096) put(next, true);
    for (int i = 0; i < repeats; ++i) put(4094, false);
    put(8, false);
    size = 4, next = 10;
    put(0, false);
    for (int i = 0; i < 3; ++i) put(11, true);
    put(9, false);
    return w.bytes();
  };
  class DoneAfterOneLine : public ArraySink {
   public:
    using ArraySink::ArraySink;
    int16_t PutLine(const uint8_t* line, int32_t n) override {
      ignoreFurtherLines = true;
      return ArraySink::PutLine(line, n);
    }
  };
  for (int repeats : {2, 9000}) {
    const Bytes in = stream(repeats);
    DoneAfterOneLine quiet(in);
    CLzwDecoder d(3, CLzwDecoder::kLsbFirst, false, &quiet);
    // Beyond about 2^25 steps the complete picture stands.
    EXPECT_EQ(d.Decode(4096, nullptr), repeats == 2 ? CLzwDecoder::kBadChain : 0) << repeats;
    ArraySink all(in);
    CLzwDecoder e(3, CLzwDecoder::kLsbFirst, false, &all);
    EXPECT_EQ(e.Decode(4096, nullptr), CLzwDecoder::kBadChain) << repeats;
  }
}

TEST(LzwDecoder, RoundTripsEncodedDataInBothBitOrders) {
  std::mt19937 rng(7);
  for (int root = 2; root <= 8; root += 3) {
    for (int mode = 0; mode < 4; ++mode) {
      const bool msb = mode & 1, early = msb, clearWhenFull = mode & 2;
      Bytes data(60000 + rng() % 5000);
      // Runs and repeats make long strings and fill the dictionary several times.
      for (size_t i = 0; i < data.size(); ++i) {
        data[i] = rng() % 4 == 0 ? uint8_t(rng() % (1 << root)) : data[i ? i - 1 : 0];
      }
      const int width = 1 + int(rng() % 700);
      Outcome o = Both(Encode(data, root, msb, early, clearWhenFull), root, msb, early, width);
      EXPECT_EQ(o.result, 0);
      EXPECT_EQ(o.bad, 0);
      EXPECT_EQ(o.lines, Split(data, width)) << root << " " << mode;
    }
  }
}

TEST(LzwDecoder, MatchesTheStepByStepAlgorithmOnDamagedStreams) {
  std::mt19937 rng(11);
  for (int round = 0; round < 400; ++round) {
    const int root = 2 + int(rng() % 7);
    const bool msb = rng() & 1, early = rng() & 1;
    Bytes data(1 + rng() % 3000);
    for (auto& b : data) b = uint8_t(rng() % (1 << root));
    Bytes in = Encode(data, root, msb, early, rng() & 1);
    // Flip a few bits, cut the end, or use plain noise.
    if (round % 3 == 0) {
      for (auto& b : in) b = uint8_t(rng());
    } else {
      for (int k = 0; k < 1 + round % 5; ++k) in[rng() % in.size()] ^= uint8_t(1 << rng() % 8);
      if (round % 3 == 2) in.resize(rng() % in.size());
    }
    const int width = 1 + int(rng() % 64);
    EXPECT_EQ(Both(in, root, msb, early, width), LzwReference(in, root, msb, early, width))
        << "round " << round;
  }
}

TEST(LzwDecoder, ASecondDecodeGoesOnFromTheBitsTheFirstLeft) {
  // Two streams back to back; the first ends mid-byte, so the second starts with four bits left
  // over: one whole code, then a code that takes one more leftover bit (a 1) and two new ones:
  // 6 ("1 1") most significant bit first, 3 least significant bit first.
  for (bool msb : {true, false}) {
    CodeWriter w(msb);
    w.Put(4, 3).Put(1, 3).Put(2, 3).Put(5, 3);
    w.Put(1, 3).Put(msb ? 6 : 3, 3).Put(5, 3);
    const Bytes in = w.bytes();
    ByteSink bytes(in);
    ArraySink array(in);
    CLzwDecoder a(2, msb ? CLzwDecoder::kMsbFirst : CLzwDecoder::kLsbFirst, false, &bytes);
    CLzwDecoder b(2, msb ? CLzwDecoder::kMsbFirst : CLzwDecoder::kLsbFirst, false, &array);
    for (int call = 0; call < 2; ++call) {
      EXPECT_EQ(a.Decode(3, nullptr), 0);
      EXPECT_EQ(b.Decode(3, nullptr), 0);
      EXPECT_EQ(bytes.inPos, array.inPos);
      EXPECT_EQ(a.bitsLeft, b.bitsLeft);
      EXPECT_EQ(a.curByte, b.curByte);
    }
    EXPECT_EQ(array.rec.lines, msb ? (Lines{{1, 2}, {1, 1, 1}}) : (Lines{{1, 2}, {1, 3}}));
    EXPECT_EQ(bytes.rec.lines, array.rec.lines);
  }
}

// A sink that only appends lines to its pixels has them written in place. Whatever the stream,
// its pixels, pixelsPos, ignoreFurtherLines and the result must be what handing it every line
// would have given: on intact, damaged and cut streams, with room to spare, with room running
// out mid-stream (the decoder goes on through its line buffer near the end), and from an offset.
TEST(LzwDecoder, AppendingSinkGetsInPlaceWhatItsLinesWouldHaveGiven) {
  auto check = [](const Bytes& in, int root, bool msb, bool early, int width, size_t room,
                  int32_t start) {
    const Outcome want = LzwReference(in, root, msb, early, width);
    Bytes expected;
    for (const Bytes& l : want.lines) expected.insert(expected.end(), l.begin(), l.end());
    Bytes pixels(start + room, 0xEE);
    CAppendingPixelSink sink(in.data(), int32_t(in.size()), pixels.data(), int32_t(pixels.size()));
    sink.pixelsPos = start;
    CLzwDecoder d(int16_t(root), msb ? CLzwDecoder::kMsbFirst : CLzwDecoder::kLsbFirst, early,
                  &sink);
    int32_t bad = -1;
    EXPECT_EQ(d.Decode(width, &bad), want.result);
    EXPECT_EQ(bad, want.bad);
    const size_t n = std::min(expected.size(), room);
    EXPECT_EQ(size_t(sink.pixelsPos), start + n);
    EXPECT_EQ(sink.ignoreFurtherLines, expected.size() >= room);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + n, pixels.begin() + start));
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.begin() + start,
                            [](uint8_t b) { return b == 0xEE; }));
  };

  std::mt19937 rng(5);
  for (int round = 0; round < 40; ++round) {
    const int root = round % 2 ? 8 : 2 + int(rng() % 7);
    const bool msb = rng() & 1, early = rng() & 1;
    Bytes data(20000 + rng() % 30000);
    for (size_t i = 0; i < data.size(); ++i) {
      data[i] = rng() % 3 == 0 ? uint8_t(rng() % (1 << root)) : data[i ? i - 1 : 0];
    }
    Bytes in = Encode(data, root, msb, early, rng() & 1);
    if (round % 4 == 1) {
      for (int k = 0; k < 3; ++k) in[rng() % in.size()] ^= uint8_t(1 << rng() % 8);
    } else if (round % 4 == 2) {
      in.resize(in.size() / 3 + rng() % (in.size() / 2));
    }
    const int width = round % 5 == 0 ? 1 + int(rng() % 3) : 1 + int(rng() % 5000);
    SCOPED_TRACE(round);
    check(in, root, msb, early, width, data.size() / 2, 0);
    check(in, root, msb, early, width, data.size() + 9000, 3);
  }

  // Input ending right after a clear code: -1 before any complete line, 0 after one.
  CodeWriter w(true);
  w.Put(256, 9);
  for (int i = 0; i < 250; ++i) w.Put(i % 7, 9);
  w.Put(256, 9);
  for (int width : {300, 100}) check(w.bytes(), 8, true, true, width, 20000, 0);
}

}  // namespace
}  // namespace pelmor
