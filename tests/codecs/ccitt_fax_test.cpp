#include "codecs/ccitt_fax.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <string>
#include <vector>

#include "codecs/ccitt_fax_reference.h"

namespace pelmor {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kPass = 0, kHorizontal = 1, kV0 = 2, kVR1 = 3, kVL1 = 6;

// Builds a coded strip bit by bit, most significant bit first.
class FaxBits {
 public:
  FaxBits& Put(const std::string& bits) {
    for (char c : bits) PutBit(c == '1');
    return *this;
  }
  FaxBits& Code(const FaxCodeTable& table, int value) {
    for (int i = 0; i < table.count; ++i) {
      const FaxCode& c = table.codes[i];
      if (c.value == value) {
        for (int b = c.length - 1; b >= 0; --b) PutBit((c.bits >> b) & 1);
        return *this;
      }
    }
    ADD_FAILURE() << "no code for " << value;
    return *this;
  }
  // A run as make-up codes (the largest first) and one terminating code.
  FaxBits& Run(bool white, int length) {
    const FaxCodeTable& table = white ? FaxWhiteCodes() : FaxBlackCodes();
    while (length >= 2560) {
      Code(table, 2560);
      length -= 2560;
    }
    if (length >= 64) Code(table, length / 64 * 64);
    return Code(table, length % 64);
  }
  FaxBits& Eol() { return Put("000000000001"); }
  FaxBits& Mode(int mode) { return Code(FaxModeCodes(), mode); }
  FaxBits& ZerosUntil(int bitInByte) {
    while (bits_ % 8 != static_cast<size_t>(bitInByte)) PutBit(false);
    return *this;
  }
  size_t Size() const { return bits_; }
  Bytes bytes() const { return bytes_; }

 private:
  void PutBit(bool bit) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
    ++bits_;
  }
  Bytes bytes_;
  size_t bits_ = 0;
};

struct FaxOptions {
  bool whiteIsZero = true;
  bool t6 = false;
  bool twoD = false;
  bool byteAligned = false;
  bool countTagBit = true;
  bool msbFirst = true;
};

struct Decoded {
  bool ok;
  Bytes out;
};

Decoded Decode(const Bytes& in, int width, int rows, FaxOptions o = {}, int outSize = -1) {
  if (outSize < 0) outSize = rows * ((width + 7) / 8);
  Bytes out(static_cast<size_t>(outSize), 0xEE);
  CTiffBitStream stream(in.data(), static_cast<int32_t>(in.size()), out.data(), outSize, o.msbFirst);
  CFaxDecoder fax(&stream, o.whiteIsZero, o.t6, o.twoD, o.byteAligned, o.countTagBit);
  const bool ok = fax.Decode(width, rows);
  return {ok, out};
}

// The code a table gives for the bits of `index` (longest bits) read one by one, comparing each
// length's codes in order: the way the tables are defined, without the lookup.
FaxCodeTable::Hit SlowLookup(const FaxCodeTable& t, uint32_t index) {
  uint32_t code = 0;
  for (int length = 1; length <= t.longest; ++length) {
    code = code * 2 + ((index >> (t.longest - length)) & 1);
    if (length < t.shortest) continue;
    for (int i = 0; i < t.count; ++i) {
      if (t.codes[i].length == length && t.codes[i].bits == code) {
        return {t.codes[i].value, static_cast<uint8_t>(length)};
      }
    }
  }
  return {0, 0};
}

TEST(FaxCodes, LookupAgreesWithReadingBitByBit) {
  for (const FaxCodeTable* t : {&FaxWhiteCodes(), &FaxBlackCodes(), &FaxModeCodes()}) {
    for (int i = 1; i < t->count; ++i) EXPECT_LE(t->codes[i - 1].length, t->codes[i].length);
    int claimed = 0;
    for (uint32_t index = 0; index < (1u << t->longest); ++index) {
      const FaxCodeTable::Hit slow = SlowLookup(*t, index);
      const FaxCodeTable::Hit fast = t->lookup[index];
      ASSERT_EQ(fast.length, slow.length) << index;
      if (fast.length != 0) {
        ASSERT_EQ(fast.value, slow.value) << index;
        ++claimed;
      }
    }
    // Each code claims 2^(longest - length) indexes: the codes are prefix-free exactly when the
    // claims add up without overlap.
    int expected = 0;
    for (int i = 0; i < t->count; ++i) expected += 1 << (t->longest - t->codes[i].length);
    EXPECT_EQ(claimed, expected);
  }
  // Both run tables hold terminating codes 0 ... 63 and make-up codes up to 2560, once each.
  for (const FaxCodeTable* t : {&FaxWhiteCodes(), &FaxBlackCodes()}) {
    std::vector<int> seen(2561, 0);
    for (int i = 0; i < t->count; ++i) {
      const int v = t->codes[i].value;
      if (v >= 0) ++seen[v];
    }
    for (int v = 0; v <= 2560; ++v) EXPECT_EQ(seen[v], (v < 64 || v % 64 == 0) ? 1 : 0) << v;
  }
  EXPECT_EQ(FaxWhiteCodes().eolLength, 12);
  EXPECT_EQ(FaxBlackCodes().eolLength, 11);
  EXPECT_EQ(FaxModeCodes().eolLength, -1);
}

TEST(FaxDecoder, T6AllOnesIsWhiteRowsEightToAByte) {
  FaxOptions o;
  o.t6 = true;
  const Decoded white0 = Decode({0xFF, 0xFF}, 12, 16, o);
  ASSERT_TRUE(white0.ok);
  EXPECT_EQ(white0.out, Bytes(32, 0x00));
  o.whiteIsZero = false;
  const Decoded white1 = Decode({0xFF, 0xFF}, 12, 16, o);
  ASSERT_TRUE(white1.ok);
  for (size_t r = 0; r < 16; ++r) {
    EXPECT_EQ(white1.out[2 * r], 0xFF);
    EXPECT_EQ(white1.out[2 * r + 1], 0xF0);  // the bits after the row stay 0
  }
  // A seventeenth row has no code.
  EXPECT_FALSE(Decode({0xFF, 0xFF}, 12, 17, o).ok);
}

TEST(FaxDecoder, OneDimensionalRows) {
  // A row ending in a white run needs no black run after it.
  const Decoded one = Decode(FaxBits().Eol().Run(true, 8).bytes(), 8, 1);
  ASSERT_TRUE(one.ok);
  EXPECT_EQ(one.out, Bytes{0x00});

  // White is 0 or 1 as the photometric interpretation says; width 10 takes two bytes a row.
  const Bytes rows = FaxBits().Eol().Run(true, 3).Run(false, 7).Eol().Run(true, 0).Run(false, 2)
                         .Run(true, 8).bytes();
  const Decoded wiz = Decode(rows, 10, 2);
  ASSERT_TRUE(wiz.ok);
  EXPECT_EQ(wiz.out, (Bytes{0x1F, 0xC0, 0xC0, 0x00}));
  FaxOptions bz;
  bz.whiteIsZero = false;
  const Decoded biz = Decode(rows, 10, 2, bz);
  ASSERT_TRUE(biz.ok);
  EXPECT_EQ(biz.out, (Bytes{0xE0, 0x00, 0x3F, 0xC0}));

  // Rows without EOLs decode too; a run past the width fails.
  EXPECT_TRUE(Decode(FaxBits().Run(true, 4).Run(false, 4).Run(true, 8).bytes(), 8, 2).ok);
  EXPECT_FALSE(Decode(FaxBits().Run(true, 4).Run(false, 5).bytes(), 8, 1).ok);
  // Data that ends before the rows do.
  EXPECT_FALSE(Decode(FaxBits().Eol().Run(true, 8).bytes(), 8, 2).ok);
}

TEST(FaxDecoder, LongRunsUseExtendedMakeUpCodes) {
  // 2000 = 1984 + 16.
  const Bytes coded = FaxBits().Run(true, 2000).bytes();
  EXPECT_EQ(coded, FaxBits().Put("000000010010").Put("101010").bytes());
  const Decoded d = Decode(coded, 2000, 1);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.out, Bytes(250, 0x00));
  // Several make-up codes in a row add up, in either colour.
  const Decoded black = Decode(FaxBits().Run(true, 0).Run(false, 6000).bytes(), 6000, 1);
  ASSERT_TRUE(black.ok);
  EXPECT_EQ(black.out, Bytes(750, 0xFF));
}

TEST(FaxDecoder, RandomRowsRoundTrip) {
  // Rows of random runs, short and long, coded one-dimensionally: every code of both tables
  // comes up.
  std::mt19937 rng(7);
  for (int width : {1, 9, 64, 1728, 5000}) {
    const int rows = 12;
    FaxBits bits;
    Bytes expected;
    for (int r = 0; r < rows; ++r) {
      bits.Eol();
      std::vector<bool> row;
      bool white = true;
      while (static_cast<int>(row.size()) < width) {
        const int left = width - static_cast<int>(row.size());
        int run = rng() % 3 == 0 ? static_cast<int>(rng() % 64) : static_cast<int>(rng() % 3000);
        run = std::min(run, left);
        bits.Run(white, run);
        row.insert(row.end(), run, !white);
        white = !white;
      }
      Bytes packed((width + 7) / 8, 0);
      for (int x = 0; x < width; ++x) {
        if (row[x]) packed[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      expected.insert(expected.end(), packed.begin(), packed.end());
    }
    const Decoded d = Decode(bits.bytes(), width, rows);
    ASSERT_TRUE(d.ok) << width;
    EXPECT_EQ(d.out, expected) << width;
  }
}

TEST(FaxDecoder, ByteAlignedEolFill) {
  // Fill bytes 00 00 before 00 01: the EOL ends on a byte boundary.
  FaxOptions o;
  o.byteAligned = true;
  const Decoded d = Decode({0x00, 0x00, 0x00, 0x01, 0x98}, 8, 1, o);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.out, Bytes{0x00});
  // A 1 among the fill bits fails.
  EXPECT_FALSE(Decode({0x10, 0x00, 0x00, 0x01, 0x98}, 8, 1, o).ok);
  // An EOL that does not end on a byte boundary is not found.
  EXPECT_FALSE(Decode(FaxBits().Eol().Run(true, 8).bytes(), 8, 1, o).ok);

  // Two-dimensional coding: the tag bit after the EOL counts for the alignment unless the page
  // has the fax tags, in which case the EOL alone ends on the boundary.
  o.twoD = true;
  const Bytes counted = FaxBits().ZerosUntil(3).Eol().Put("1").Run(true, 8).bytes();
  EXPECT_TRUE(Decode(counted, 8, 1, o).ok);
  const Bytes eolOnly = FaxBits().ZerosUntil(4).Eol().Put("1").Run(true, 8).bytes();
  EXPECT_FALSE(Decode(eolOnly, 8, 1, o).ok);
  o.countTagBit = false;
  EXPECT_TRUE(Decode(eolOnly, 8, 1, o).ok);
  EXPECT_FALSE(Decode(counted, 8, 1, o).ok);
}

TEST(FaxDecoder, TwoDimensionalModes) {
  // Row 0: white 2, black 2, white 4. Row 1 copies it with three vertical-0 codes. Row 2: pass
  // (white to b2 = 4), vertical left 1 (white to 7), vertical 0 (black to 8). Row 3: horizontal
  // white 3 + black 0, which leaves the colour white, then horizontal white 2 + black 3. Row 4:
  // vertical right 1 (white to 6), vertical 0 (black to 8).
  auto rows = [](FaxBits& b, bool t4) -> FaxBits& {
    auto line = [&](bool twoD) -> FaxBits& { return t4 ? b.Eol().Put(twoD ? "0" : "1") : b; };
    if (t4) {
      line(false).Run(true, 2).Run(false, 2).Run(true, 4);
    } else {
      b.Mode(kHorizontal).Run(true, 2).Run(false, 2).Mode(kV0);
    }
    line(true).Mode(kV0).Mode(kV0).Mode(kV0);
    line(true).Mode(kPass).Code(FaxModeCodes(), 7 - 1).Mode(kV0);
    line(true).Mode(kHorizontal).Run(true, 3).Run(false, 0).Mode(kHorizontal).Run(true, 2)
        .Run(false, 3);
    return line(true).Mode(kVR1).Mode(kV0);
  };
  const Bytes expected = {0x30, 0x30, 0x01, 0x07, 0x03};
  FaxOptions t4;
  t4.twoD = true;
  FaxBits a;
  const Decoded d4 = Decode(rows(a, true).bytes(), 8, 5, t4);
  ASSERT_TRUE(d4.ok);
  EXPECT_EQ(d4.out, expected);
  FaxOptions t6;
  t6.t6 = true;
  FaxBits b;
  const Decoded d6 = Decode(rows(b, false).bytes(), 8, 5, t6);
  ASSERT_TRUE(d6.ok);
  EXPECT_EQ(d6.out, expected);

  // A two-dimensional line before any row of the strip is complete has no reference.
  EXPECT_FALSE(Decode(FaxBits().Eol().Put("0").Mode(kV0).bytes(), 8, 1, t4).ok);
  // Vertical codes that would go left of a0 or past the width, an EOL inside a horizontal
  // run, and output that does not fit, all fail.
  EXPECT_FALSE(Decode(FaxBits().Mode(kHorizontal).Run(true, 6).Run(false, 0).Code(FaxModeCodes(), 8)
                          .bytes(), 8, 1, t6).ok);
  EXPECT_FALSE(Decode(FaxBits().Mode(kVR1).bytes(), 8, 1, t6).ok);
  EXPECT_FALSE(Decode(FaxBits().Mode(kHorizontal).Eol().bytes(), 8, 1, t6).ok);
  EXPECT_FALSE(Decode(FaxBits().Mode(kHorizontal).Run(true, 6).Run(false, 3).bytes(), 8, 1, t6).ok);
  EXPECT_FALSE(Decode({0xFF}, 8, 2, t6, 1).ok);
}

TEST(FaxDecoder, FillOrderTwoReadsEachByteFromItsLowBit) {
  FaxOptions o;
  o.t6 = true;
  FaxBits bits;
  bits.Mode(kHorizontal).Run(true, 3).Run(false, 9).Mode(kV0);  // white to the end
  bits.Mode(kV0).Mode(kV0).Mode(kV0);                            // the same row again
  Bytes reversed = bits.bytes();
  for (uint8_t& v : reversed) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r |= static_cast<uint8_t>(((v >> i) & 1) << (7 - i));
    v = r;
  }
  o.msbFirst = false;
  const Decoded d = Decode(reversed, 16, 2, o);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.out, (Bytes{0x1F, 0xF0, 0x1F, 0xF0}));
}

TEST(FaxDecoder, FindChangingElement) {
  // Reference row of 100 pixels (whiteIsZero): black at 4 ... 11, then white, black again at 90.
  Bytes ref(13, 0);
  ref[0] = 0x0F;
  ref[1] = 0xF0;
  ref[11] = 0x20;  // pixel 90
  CTiffBitStream stream(nullptr, 0, ref.data(), static_cast<int32_t>(ref.size()), true);
  CFaxDecoder fax(&stream, true, true, false, false, true);
  EXPECT_EQ(fax.FindChangingElement(nullptr, -1, 100, 1), 100);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), -1, 100, 1), 4);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 4, 100, -1), 12);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 4, 100, 1), 90);  // skips the white bytes
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 12, 100, -1), 90);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 90, 100, -1), 91);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 91, 100, 1), 100);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 100, 100, 1), 100);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 0, 90, 1), 4);
  EXPECT_EQ(fax.FindChangingElement(ref.data(), 12, 90, 1), 90);  // a change past the width
  // White is 1: the start colour at -1 is white, so the first 0 (black) is found.
  CFaxDecoder blackIsZero(&stream, false, true, false, false, true);
  EXPECT_EQ(blackIsZero.FindChangingElement(ref.data(), -1, 100, 0), 0);
}

using Row = std::vector<int>;  // 0 white, 1 black

// The changing element after pixel x (x = -1 before the row) of the given colour (-1: any); the
// pixel before the row counts as white. width when there is none.
int NextChange(const Row& row, int x, int colour) {
  const int width = static_cast<int>(row.size());
  for (int p = x + 1; p < width; ++p) {
    const int before = p == 0 ? 0 : row[p - 1];
    if (row[p] != before && (colour < 0 || row[p] == colour)) return p;
  }
  return width;
}

// Codes one row two-dimensionally against a reference row, as T.4 and T.6 encoders do.
void CodeTwoD(FaxBits& bits, const Row& ref, const Row& cur) {
  const int width = static_cast<int>(cur.size());
  int a0 = -1;
  int colour = 0;
  for (;;) {
    const int a1 = NextChange(cur, a0, -1);
    const int b1 = NextChange(ref, a0, 1 - colour);
    const int b2 = NextChange(ref, b1, -1);
    if (b2 < a1) {
      bits.Mode(kPass);
      a0 = b2;
    } else if (std::abs(a1 - b1) <= 3) {
      const int d = a1 - b1;
      bits.Mode(d == 0 ? kV0 : d > 0 ? kV0 + d : 5 - d);
      a0 = a1;
      colour = 1 - colour;
      if (a0 >= width) return;
    } else {
      const int a2 = NextChange(cur, a1, -1);
      bits.Mode(kHorizontal).Run(colour == 0, a1 - std::max(a0, 0)).Run(colour != 0, a2 - a1);
      a0 = a2;
      if (a0 >= width) return;
    }
  }
}

void CodeOneD(FaxBits& bits, const Row& cur) {
  const int width = static_cast<int>(cur.size());
  int x = 0;
  int colour = 0;
  while (x < width) {
    int end = x;
    while (end < width && cur[end] == colour) ++end;
    bits.Run(colour == 0, end - x);
    x = end;
    colour = 1 - colour;
  }
}

// Rows that mostly follow the row above with small shifts, now and then new runs.
std::vector<Row> RandomPicture(std::mt19937& rng, int width, int height) {
  std::vector<Row> rows;
  Row prev(static_cast<size_t>(width), 0);
  for (int y = 0; y < height; ++y) {
    Row row = prev;
    if (rng() % 4 == 0) {
      int x = 0, colour = static_cast<int>(rng() % 2);
      while (x < width) {
        const int run = 1 + static_cast<int>(rng() % (rng() % 5 == 0 ? 300 : 12));
        for (int i = 0; i < run && x < width; ++i) row[x++] = colour;
        colour = 1 - colour;
      }
    } else {
      for (int k = 0; k < 4; ++k) {
        const int x = static_cast<int>(rng() % width);
        const int len = 1 + static_cast<int>(rng() % 6);
        const int colour = static_cast<int>(rng() % 2);
        for (int i = x; i < std::min(width, x + len); ++i) row[i] = colour;
      }
    }
    rows.push_back(row);
    prev = row;
  }
  return rows;
}

Bytes Pack(const std::vector<Row>& rows, bool whiteIsZero) {
  Bytes out;
  for (const Row& r : rows) {
    Bytes b((r.size() + 7) / 8, 0);
    for (size_t x = 0; x < r.size(); ++x) {
      if ((r[x] == 1) == whiteIsZero) b[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

struct Coding {
  const char* name;
  FaxOptions options;
};

std::vector<Coding> Codings() {
  std::vector<Coding> c;
  FaxOptions o;
  c.push_back({"T.4 1-D", o});
  o.byteAligned = true;
  c.push_back({"T.4 1-D aligned", o});
  o = FaxOptions();
  o.twoD = true;
  c.push_back({"T.4 2-D", o});
  o.byteAligned = true;
  c.push_back({"T.4 2-D aligned with tag", o});
  o.countTagBit = false;
  c.push_back({"T.4 2-D aligned", o});
  o = FaxOptions();
  o.t6 = true;
  c.push_back({"T.6", o});
  return c;
}

// Codes a picture the way the options say (every K-th T.4 row one-dimensional).
Bytes CodePicture(const std::vector<Row>& rows, const FaxOptions& o, int k = 3) {
  FaxBits bits;
  const int width = static_cast<int>(rows[0].size());
  Row ref(static_cast<size_t>(width), 0);
  for (size_t y = 0; y < rows.size(); ++y) {
    if (o.t6) {
      CodeTwoD(bits, ref, rows[y]);
    } else {
      const bool oneD = !o.twoD || y % k == 0;
      if (o.byteAligned) {
        // Fill so that the EOL (and the tag bit when it counts) ends on a byte boundary.
        const int n = 12 + (o.twoD && o.countTagBit ? 1 : 0);
        while ((bits.Size() + n) % 8 != 0) bits.Put("0");
        if (y % 5 == 4) bits.Put("00000000");  // now and then a whole fill byte
      }
      bits.Eol();
      if (o.twoD) bits.Put(oneD ? "1" : "0");
      if (oneD) {
        CodeOneD(bits, rows[y]);
      } else {
        CodeTwoD(bits, ref, rows[y]);
      }
    }
    ref = rows[y];
  }
  return bits.bytes();
}

Decoded DecodeReference(const Bytes& in, int width, int rows, const FaxOptions& o, int outSize) {
  Bytes out(static_cast<size_t>(outSize), 0xEE);
  CTiffBitStream stream(in.data(), static_cast<int32_t>(in.size()), out.data(), outSize, o.msbFirst);
  test::FaxReference fax(&stream, o.whiteIsZero, o.t6, o.twoD, o.byteAligned, o.countTagBit);
  const bool ok = fax.Decode(width, rows);
  return {ok, out};
}

TEST(FaxDecoder, CodedPicturesDecodeAsTheStepByStepAlgorithmDoes) {
  std::mt19937 rng(2024);
  for (const Coding& coding : Codings()) {
    for (int width : {5, 64, 333, 1728}) {
      SCOPED_TRACE(std::string(coding.name) + " width " + std::to_string(width));
      const int height = 40;
      const std::vector<Row> picture = RandomPicture(rng, width, height);
      FaxOptions o = coding.options;
      o.whiteIsZero = rng() % 2 == 0;
      const Bytes coded = CodePicture(picture, o);
      const int rowBytes = (width + 7) / 8;
      const Decoded fast = Decode(coded, width, height, o, rowBytes * height);
      ASSERT_TRUE(fast.ok);
      EXPECT_EQ(fast.out, Pack(picture, o.whiteIsZero));
      const Decoded slow = DecodeReference(coded, width, height, o, rowBytes * height);
      ASSERT_TRUE(slow.ok);
      EXPECT_EQ(fast.out, slow.out);
    }
  }
}

TEST(FaxDecoder, DamagedStreamsFailOrDecodeAsTheStepByStepAlgorithmDoes) {
  // Flipped bits, lost bytes and stray EOLs: EOLs inside rows, lines marked two-dimensional
  // against rows cut short, rows that overflow the output. Both must agree on success, and on
  // every byte when they succeed.
  std::mt19937 rng(99);
  int agreedSuccesses = 0;
  for (int round = 0; round < 6000; ++round) {
    const Coding coding = Codings()[rng() % Codings().size()];
    const int width = 1 + static_cast<int>(rng() % 80);
    const int height = 1 + static_cast<int>(rng() % 12);
    FaxOptions o = coding.options;
    o.whiteIsZero = rng() % 2 == 0;
    o.msbFirst = rng() % 4 != 0;
    Bytes coded = CodePicture(RandomPicture(rng, width, height), o);
    const int damage = static_cast<int>(rng() % 4);
    for (int d = 0; d < damage && !coded.empty(); ++d) {
      const size_t at = rng() % coded.size();
      switch (rng() % 4) {
        case 0: coded[at] ^= static_cast<uint8_t>(1 << (rng() % 8)); break;
        case 1: coded.erase(coded.begin() + static_cast<std::ptrdiff_t>(at)); break;
        case 2: coded.insert(coded.begin() + static_cast<std::ptrdiff_t>(at), {0x00, 0x10}); break;
        default: coded[at] = static_cast<uint8_t>(rng()); break;
      }
    }
    const int rowBytes = (width + 7) / 8;
    const int outSize = rng() % 3 == 0 ? rowBytes * height : (rowBytes + 3) / 4 * 4 * height;
    const int rows = rng() % 5 == 0 ? height + 1 : height;
    const Decoded fast = Decode(coded, width, rows, o, outSize);
    const Decoded slow = DecodeReference(coded, width, rows, o, outSize);
    ASSERT_EQ(fast.ok, slow.ok) << "round " << round;
    if (fast.ok) {
      ASSERT_EQ(fast.out, slow.out) << "round " << round;
      ++agreedSuccesses;
    }
  }
  EXPECT_GT(agreedSuccesses, 800);
}

}  // namespace
}  // namespace pelmor
