// StretchDIBits: pixel selection, the stretch modes, HALFTONE averaging, every DIB format, run
// lengths, orientation, mirroring and clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "platform/area_average.h"
#include "platform/drawing_fixtures.h"

namespace pelmor::test {
namespace {

using namespace platform;
using Rows = std::vector<std::vector<uint32_t>>;

// A one-row image whose pixel i is the colour i + 1 (so 0 is never a pixel value).
Dib Counting(int32_t width) {
  std::vector<uint32_t> row(static_cast<size_t>(width));
  std::iota(row.begin(), row.end(), 1u);
  return Dib(TrueColorSpec({row}));
}

TEST(StretchSelection, ClosedFormsForEnlargingAndShrinking) {
  struct Case {
    int64_t source, destination;
    std::vector<int64_t> expected;  // enlarge: source per destination; shrink: destination per source
  };
  const Case cases[] = {
      {2, 5, {0, 0, 0, 1, 1}},  // centre sampling
      {2, 4, {0, 0, 1, 1}},     // ties go down
      {3, 3, {0, 1, 2}},
      {1, 3, {0, 0, 0}},
      {5, 2, {0, 0, 0, 1, 1}},  // shrinking: groups {0,1,2} and {3,4}
      {4, 2, {0, 0, 1, 1}},
      {3, 2, {0, 0, 1}},
      {7, 3, {0, 0, 1, 1, 1, 2, 2}},
  };
  for (const Case& c : cases) {
    std::vector<int64_t> got;
    if (c.destination >= c.source) {
      for (int64_t i = 0; i < c.destination; ++i) {
        got.push_back(stretch::EnlargedSource(i, c.source, c.destination));
      }
    } else {
      for (int64_t j = 0; j < c.source; ++j) {
        got.push_back(stretch::ShrunkDestination(j, c.source, c.destination));
      }
    }
    EXPECT_EQ(got, c.expected) << c.source << " -> " << c.destination;
  }
  // Twice the size, with sums of every magnitude (up to past 64 bits): the first pixel reads the
  // first column, the middle one the middle column, the last one the last column.
  for (int64_t source : {int64_t{1000}, int64_t{1} << 30, int64_t{1} << 31, int64_t{1} << 40}) {
    const int64_t destination = 2 * source;
    EXPECT_EQ(stretch::EnlargedSource(0, source, destination), 0) << source;
    EXPECT_EQ(stretch::EnlargedSource(source, source, destination), source / 2) << source;
    EXPECT_EQ(stretch::EnlargedSource(destination - 1, source, destination), source - 1) << source;
    EXPECT_EQ(stretch::ShrunkDestination(source - 1, destination, source), source / 2 - 1) << source;
  }
  // Shrinking gives every destination pixel a non-empty run of source pixels, in order.
  for (int64_t s = 2; s <= 40; ++s) {
    for (int64_t d = 1; d < s; ++d) {
      int64_t previous = 0;
      for (int64_t j = 0; j < s; ++j) {
        const int64_t k = stretch::ShrunkDestination(j, s, d);
        ASSERT_TRUE(k == previous || k == previous + 1) << s << " " << d << " " << j;
        ASSERT_TRUE(j > 0 || k == 0);
        previous = k;
      }
      ASSERT_EQ(previous, d - 1) << s << " -> " << d;
    }
  }
}

TEST(StretchSelection, ColorOnColorKeepsTheLastColumnAndFirstRowOfEachGroup) {
  Rows picture(5, std::vector<uint32_t>(5));
  for (uint32_t y = 0; y < 5; ++y) {
    for (uint32_t x = 0; x < 5; ++x) picture[y][x] = 0x010000 * y + x + 1;
  }
  Dib dib(TrueColorSpec(picture));
  Canvas c(2, 2);
  SetStretchBltMode(c.Dc(), COLORONCOLOR);
  EXPECT_EQ(c.Stretch(dib, 0, 0, 2, 2, 0, 0, 5, 5), 5);
  // Groups {0,1,2} and {3,4} on both axes.
  EXPECT_EQ(c.Rows(0, 0, 2, 2), (Rows{{picture[0][2], picture[0][4]}, {picture[3][2], picture[3][4]}}));
}

TEST(StretchSelection, BlackOnWhiteAndsAndWhiteOnBlackOrsEachGroup) {
  const uint32_t a = 0x0F0F0F, b = 0xF0F0FF, cc = 0x3C3C3C, d = 0x81FF18;
  Dib dib(TrueColorSpec({{a, b}, {cc, d}}));
  struct Case {
    int mode;
    uint32_t expected;
  };
  for (const Case& k : {Case{BLACKONWHITE, a & b & cc & d}, Case{WHITEONBLACK, a | b | cc | d}}) {
    Canvas c(1, 1);
    SetStretchBltMode(c.Dc(), k.mode);
    EXPECT_EQ(c.Stretch(dib, 0, 0, 1, 1, 0, 0, 2, 2), 2);
    EXPECT_EQ(c.At(0, 0), k.expected) << k.mode;
  }
  // One axis shrinks, the other enlarges: rows combine, columns repeat.
  Canvas c(4, 1);
  EXPECT_EQ(GetStretchBltMode(c.Dc()), BLACKONWHITE);
  c.Stretch(dib, 0, 0, 4, 1, 0, 0, 2, 2);
  EXPECT_EQ(c.Rows(0, 0, 4, 1), (Rows{{a & cc, a & cc, b & d, b & d}}));
}

TEST(StretchSelection, EnlargingRepeatsPixelsByTheCentreRule) {
  Dib dib = Counting(2);
  for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR}) {
    Canvas c(5, 2);
    SetStretchBltMode(c.Dc(), mode);
    c.Stretch(dib, 0, 0, 5, 2, 0, 0, 2, 1);
    EXPECT_EQ(c.Rows(0, 0, 5, 2), (Rows{{1, 1, 1, 2, 2}, {1, 1, 1, 2, 2}})) << mode;
  }
}

// The source pixel each painted pixel shows along an axis in the modes that pick single pixels:
// the centre rule when enlarging; when shrinking, the last of its group (columns in
// COLORONCOLOR) or the first (rows).
std::vector<int32_t> PickedSource(int32_t source, int32_t destination, bool lastOfGroup) {
  std::vector<int32_t> shown(static_cast<size_t>(destination), -1);
  for (int32_t i = 0; destination >= source && i < destination; ++i) {
    shown[static_cast<size_t>(i)] = static_cast<int32_t>(stretch::EnlargedSource(i, source, destination));
  }
  for (int32_t j = 0; destination < source && j < source; ++j) {
    int32_t& k = shown[static_cast<size_t>(stretch::ShrunkDestination(j, source, destination))];
    if (lastOfGroup || k < 0) k = j;
  }
  return shown;
}

// The rows of a picture as 32-bit pixels whose top byte is noise, which painting ignores.
DibRecipe WordSpec(const Rows& rows, uint32_t seed) {
  DibRecipe s;
  s.width = static_cast<int32_t>(rows[0].size());
  s.height = static_cast<int32_t>(rows.size());
  s.bitCount = 32;
  for (size_t y = 0; y < rows.size(); ++y) {
    for (uint32_t pixel : rows[rows.size() - 1 - y]) {
      seed = seed * 1103515245u + 12345u;
      pixel |= (seed >> 16 & 0xFF) << 24;
      for (int shift = 0; shift < 32; shift += 8) s.pixels.push_back(static_cast<uint8_t>(pixel >> shift));
    }
  }
  return s;
}

// Picked rows go eight pixels at a time where the row allows, one at a time where it does not,
// doubled straight from the rows of 32-bit pictures at twice the size, and past the caches when
// the painting is large: every ratio, start and size, from a palette or from true colour of
// either width, lands as the selection rules say, and nothing beside it moves.
TEST(StretchSelection, PickedRowsOfEverySizeLandPixelForPixel) {
  struct Case {
    int32_t sw, sh, dw, dh, dx;
    int mode;
  };
  const Case cases[] = {
      {5, 3, 37, 7, 0, BLACKONWHITE},   {7, 2, 8, 3, 1, COLORONCOLOR},
      {16, 4, 33, 9, 3, WHITEONBLACK},  {40, 5, 41, 5, 5, COLORONCOLOR},
      {3, 2, 40, 2, 2, BLACKONWHITE},   {9, 6, 8, 5, 0, COLORONCOLOR},  // shrinking a little
      {50, 4, 9, 3, 1, COLORONCOLOR},   {501, 3, 1002, 6, 7, COLORONCOLOR},
      {500, 500, 1100, 1000, 0, BLACKONWHITE},  // over 4 MiB painted
      {500, 7, 1000, 14, 0, COLORONCOLOR},      {19, 3, 38, 6, 3, BLACKONWHITE},  // twice the size
      {8, 2, 16, 4, 1, WHITEONBLACK},           {4, 2, 8, 5, 2, COLORONCOLOR},
  };
  uint32_t seed = 99;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  std::vector<uint32_t> table(256);
  for (uint32_t& e : table) e = next() & 0xFFFFFF;
  for (const Case& k : cases) {
    Rows picture(static_cast<size_t>(k.sh), std::vector<uint32_t>(static_cast<size_t>(k.sw)));
    DibRecipe indexed;
    indexed.width = k.sw;
    indexed.height = k.sh;
    indexed.bitCount = 8;
    indexed.table = table;
    const size_t stride = (static_cast<size_t>(k.sw) + 3) & ~size_t{3};
    indexed.pixels.assign(stride * static_cast<size_t>(k.sh), 0);
    for (int32_t y = 0; y < k.sh; ++y) {
      for (int32_t x = 0; x < k.sw; ++x) {
        const uint8_t index = static_cast<uint8_t>(next());
        indexed.pixels[static_cast<size_t>(k.sh - 1 - y) * stride + static_cast<size_t>(x)] = index;
        picture[static_cast<size_t>(y)][static_cast<size_t>(x)] = table[index];
      }
    }
    const std::vector<int32_t> columns = PickedSource(k.sw, k.dw, k.mode == COLORONCOLOR);
    const std::vector<int32_t> rows = PickedSource(k.sh, k.dh, false);
    for (const Dib& dib : {Dib(indexed), Dib(TrueColorSpec(picture)), Dib(WordSpec(picture, next()))}) {
      Canvas c(k.dx + k.dw + 2, k.dh + 1, 0xABCDEF);
      SetStretchBltMode(c.Dc(), k.mode);
      ASSERT_NE(c.Stretch(dib, k.dx, 1, k.dw, k.dh, 0, 0, k.sw, k.sh), 0);
      size_t wrong = 0;
      for (int32_t y = 0; y < k.dh; ++y) {
        for (int32_t x = 0; x < k.dw; ++x) {
          const uint32_t expected = picture[static_cast<size_t>(rows[static_cast<size_t>(y)])]
                                           [static_cast<size_t>(columns[static_cast<size_t>(x)])];
          wrong += c.At(k.dx + x, y + 1) != expected;
        }
        wrong += c.At(k.dx + k.dw, y + 1) != 0xABCDEFu;
        wrong += k.dx > 0 && c.At(k.dx - 1, y + 1) != 0xABCDEFu;
      }
      wrong += c.At(k.dx, 0) != 0xABCDEFu;
      EXPECT_EQ(wrong, 0u) << k.sw << "x" << k.sh << " -> " << k.dw << "x" << k.dh << " at " << k.dx;
    }
  }
}

TEST(StretchHalftone, AveragesByAreaRoundedToNearest) {
  struct Case {
    std::vector<uint32_t> row;
    int32_t width;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {{0, 100, 200, 40}, 2, {50, 120}},
      {{0, 90, 180}, 2, {30, 150}},           // weights 2:1 and 1:2
      {{0, 1}, 1, {1}},                       // 0.5 rounds up
      {{0, 0, 1}, 1, {0}},                    // 1/3 rounds down
      {{0, 90}, 3, {0, 45, 90}},              // enlarging blends where a pixel straddles two
      {{10, 20, 30, 40, 50}, 5, {10, 20, 30, 40, 50}},
  };
  for (const Case& k : cases) {
    Dib dib(TrueColorSpec({k.row}));
    Canvas c(k.width, 1);
    SetStretchBltMode(c.Dc(), HALFTONE);
    c.Stretch(dib, 0, 0, k.width, 1, 0, 0, static_cast<int32_t>(k.row.size()), 1);
    EXPECT_EQ(c.Rows(0, 0, k.width, 1)[0], k.expected);
  }
}

TEST(StretchHalftone, KeepsFlatColourExactAndTurnsACheckerboardGrey) {
  Rows flat(23, std::vector<uint32_t>(37, 0x7B2DF1));
  Dib flatDib(TrueColorSpec(flat));
  Rows checker(8, std::vector<uint32_t>(8));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) checker[y][x] = (x + y) % 2 ? 0xFFFFFF : 0;
  }
  Dib checkerDib(TrueColorSpec(checker));
  for (auto [w, h] : {std::pair{5, 3}, {13, 7}, {36, 22}, {50, 40}, {1, 1}}) {
    Canvas c(w, h);
    SetStretchBltMode(c.Dc(), HALFTONE);
    c.Stretch(flatDib, 0, 0, w, h, 0, 0, 37, 23);
    for (const auto& row : c.Rows(0, 0, w, h)) {
      for (uint32_t p : row) ASSERT_EQ(p, 0x7B2DF1u) << w << "x" << h;
    }
  }
  Canvas c(4, 4);
  SetStretchBltMode(c.Dc(), HALFTONE);
  c.Stretch(checkerDib, 0, 0, 4, 4, 0, 0, 8, 8);
  for (const auto& row : c.Rows(0, 0, 4, 4)) {
    for (uint32_t p : row) {
      for (int shift : {0, 8, 16}) {
        const int v = (p >> shift) & 0xFF;
        EXPECT_GE(v, 127);
        EXPECT_LE(v, 128);
      }
    }
  }
}

TEST(StretchHalftone, LargeRatiosStayWithinTheSourceRange) {
  // 5000 columns onto 3: more than 4096 units per pixel, so the weights are rescaled.
  std::vector<uint32_t> row(5000);
  for (size_t i = 0; i < row.size(); ++i) row[i] = i < 2500 ? 0x404040 : 0xC0C0C0;
  Dib dib(TrueColorSpec({row}));
  Canvas c(3, 1);
  SetStretchBltMode(c.Dc(), HALFTONE);
  c.Stretch(dib, 0, 0, 3, 1, 0, 0, 5000, 1);
  EXPECT_EQ(c.At(0, 0), 0x404040u);
  EXPECT_EQ(c.At(1, 0), 0x808080u);  // half of each
  EXPECT_EQ(c.At(2, 0), 0xC0C0C0u);
}

// Source rows of 4 bytes per pixel whose bytes follow from (row, byte), counting every read.
class CountedRows : public AreaRows {
 public:
  CountedRows(int32_t rows, int32_t pixels) : bytes_(static_cast<size_t>(rows * pixels * 4)), pixels_(pixels) {
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>(i * 37 + i / 7);
  }
  const uint8_t* Row(int32_t y) override {
    ++reads;
    return bytes_.data() + static_cast<size_t>(y) * pixels_ * 4;
  }
  int reads = 0;

 private:
  std::vector<uint8_t> bytes_;
  int32_t pixels_;
};

std::vector<int64_t> Indices(int64_t first, int64_t count) {
  std::vector<int64_t> v(static_cast<size_t>(count));
  std::iota(v.begin(), v.end(), first);
  return v;
}

TEST(StretchHalftone, EnlargedRowsReadEachSourceRowOnlyWhereTheirWeightsChange) {
  // 3 rows onto 31: rows 10 and 20 straddle two source rows, every other row repeats its
  // neighbour, so 7 reads (1 + 2 + 1 + 2 + 1) instead of one per destination row.
  AreaTaps columns, rows;
  columns.Build(5, 4, 0, 5, Indices(0, 4));
  rows.Build(3, 31, 0, 3, Indices(0, 31));
  CountedRows source(3, 5);
  Surface whole = Surface::Create(4, 31);
  ASSERT_TRUE(AreaAverage(columns, rows, 4, 5, source, whole, 0, 0));
  EXPECT_EQ(source.reads, 7);
  // Every row equals the same row painted on its own.
  for (int64_t k = 0; k < 31; ++k) {
    AreaTaps one;
    one.Build(3, 31, 0, 3, Indices(k, 1));
    Surface row = Surface::Create(4, 1);
    ASSERT_TRUE(AreaAverage(columns, one, 4, 5, source, row, 0, 0));
    for (int32_t x = 0; x < 4; ++x) {
      ASSERT_EQ(whole.Pixel(x, static_cast<int32_t>(k)), row.Pixel(x, 0)) << x << "," << k;
    }
  }
}

TEST(StretchHalftone, RescaledWeightsFollowTheRoundedRunningSumOfOverlaps) {
  // Above 4096 units per destination pixel the overlaps are rescaled: weight j is
  // round(4096 * (overlaps up to j) / units) less the same up to j - 1, with the overlap of
  // pixels that cannot be read given to the nearest one that can.
  struct Case {
    int64_t source, destination, low, high;
  };
  for (const Case& c : {Case{5000, 3, 0, 5000}, Case{9001, 7, 13, 8000}, Case{123457, 10, 0, 123457},
                        Case{70000, 9, 5000, 5001}}) {
    AreaTaps t;
    t.Build(c.source, c.destination, c.low, c.high, Indices(0, c.destination));
    ASSERT_EQ(t.denominator, 4096u);
    const int64_t g = std::gcd(c.source, c.destination);
    const int64_t units = c.source / g, su = c.destination / g;
    for (int64_t i = 0; i < c.destination; ++i) {
      const int64_t begin = i * units, end = begin + units;
      const int64_t lo = t.start[i], hi = lo + t.count[i] - 1;
      int64_t sum = 0, previous = 0, total = 0;
      for (int64_t j = lo; j <= hi; ++j) {
        int64_t w = std::max<int64_t>(0, std::min(end, (j + 1) * su) - std::max(begin, j * su));
        if (j == lo) w += std::max<int64_t>(0, std::min(end, lo * su) - begin);
        if (j == hi) w += std::max<int64_t>(0, end - std::max(begin, (hi + 1) * su));
        sum += w;
        const int64_t scaled = (sum * 4096 + units / 2) / units;
        ASSERT_EQ(t.weights[t.offset[i] + (j - lo)], scaled - previous) << c.source << " " << i << " " << j;
        total += scaled - previous;
        previous = scaled;
      }
      ASSERT_EQ(total, 4096);
    }
  }
}

// Source rows of 3 or 4 bytes per pixel whose bytes follow from their position.
class PatternRows : public AreaRows {
 public:
  PatternRows(int32_t rows, int32_t pixels, int bytesPerPixel)
      : bytes_(static_cast<size_t>(rows) * pixels * bytesPerPixel),
        stride_(static_cast<size_t>(pixels) * bytesPerPixel) {
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  }
  const uint8_t* Row(int32_t y) override { return bytes_.data() + static_cast<size_t>(y) * stride_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t stride_;
};

TEST(StretchHalftone, EveryPathOfTheAverageAgreesWithTheWeightedSum) {
  // Wide and narrow reductions (unrolled and not), one-row and many-row groups, weights that
  // need 16 and 32-bit sums, odd and even denominators.
  struct Case {
    int32_t sw, sh, dw, dh;
  };
  const Case cases[] = {{5, 2, 3, 3},   {40, 3, 3, 7},  {7, 23, 5, 3},  {100, 1, 7, 5},
                        {9, 600, 2, 1}, {3, 7, 11, 13}, {50, 10, 4, 10}, {5000, 2, 3, 9}};
  for (const Case& c : cases) {
    for (int bpp : {3, 4}) {
      AreaTaps columns, rows;
      columns.Build(c.sw, c.dw, 0, c.sw, Indices(0, c.dw));
      rows.Build(c.sh, c.dh, 0, c.sh, Indices(0, c.dh));
      PatternRows source(c.sh, c.sw, bpp);
      Surface got = Surface::Create(c.dw, c.dh);
      ASSERT_TRUE(AreaAverage(columns, rows, bpp, c.sw, source, got, 0, 0));
      const uint64_t d = uint64_t{columns.denominator} * rows.denominator;
      for (int32_t k = 0; k < c.dh; ++k) {
        for (int32_t x = 0; x < c.dw; ++x) {
          uint32_t expected = 0;
          for (int channel = 0; channel < 3; ++channel) {
            uint64_t sum = 0;
            for (uint32_t t = 0; t < rows.count[k]; ++t) {
              const uint8_t* row = source.Row(rows.start[k] + static_cast<int32_t>(t));
              for (uint32_t u = 0; u < columns.count[x]; ++u) {
                sum += uint64_t{rows.weights[rows.offset[k] + t]} *
                       columns.weights[columns.offset[x] + u] *
                       row[(static_cast<size_t>(columns.start[x]) + u) * bpp + channel];
              }
            }
            expected |= static_cast<uint32_t>((sum + d / 2) / d) << (8 * channel);
          }
          ASSERT_EQ(got.Pixel(x, k), expected)
              << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " bpp " << bpp << " at "
              << x << "," << k;
        }
      }
    }
  }
}

// The picture as a 24-bit DIB and as an 8-bit one whose palette holds the same colours (rows
// read straight from the bits, and rows converted first).
std::vector<Dib> TrueColourAndPalette(int32_t width, int32_t height) {
  Rows picture(static_cast<size_t>(height), std::vector<uint32_t>(static_cast<size_t>(width)));
  DibRecipe indexed;
  indexed.width = width;
  indexed.height = height;
  indexed.bitCount = 8;
  for (uint32_t i = 0; i < 256; ++i) indexed.table.push_back((i * 0x9E3779B1u >> 8) & 0xFFFFFF);
  const size_t stride = (static_cast<size_t>(width) + 3) / 4 * 4;
  indexed.pixels.assign(stride * static_cast<size_t>(height), 0);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const auto index = static_cast<uint8_t>(x * 7 + y * 13 + (x * y) % 5);
      picture[static_cast<size_t>(y)][static_cast<size_t>(x)] = indexed.table[index];
      // Bottom-up: picture row y is stored last-first.
      indexed.pixels[static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x)] = index;
    }
  }
  std::vector<Dib> dibs;
  dibs.emplace_back(TrueColorSpec(picture));
  dibs.emplace_back(indexed);
  return dibs;
}

TEST(StretchHalftone, BandsOnSeveralThreadsPaintWhatOneThreadPaints) {
  struct ThreadsSet {
    ~ThreadsSet() { SetAreaAverageThreads(0); }
  } restore;
  struct Case {
    const char* what;
    int32_t sw, sh;              // the picture
    int32_t x, y, w, h;          // the destination rectangle
    int32_t canvasW, canvasH;
  };
  const Case cases[] = {
      {"shrink", 301, 203, 0, 0, 97, 61, 97, 61},
      {"shrink to 2 rows", 41, 203, 1, 1, 13, 2, 15, 4},
      {"32-bit sums", 50, 1000, 0, 0, 7, 3, 7, 3},
      {"enlarge", 37, 29, 0, 0, 131, 83, 131, 83},
      {"enlarge one axis", 9, 200, 0, 0, 31, 45, 31, 45},
      {"mirrored", 301, 203, 96, 60, -97, -61, 97, 61},
      {"cut by the surface", 211, 157, -13, -7, 120, 90, 100, 70},
      {"one row", 77, 5, 0, 0, 23, 1, 23, 1},
  };
  for (const Case& c : cases) {
    const std::vector<Dib> dibs = TrueColourAndPalette(c.sw, c.sh);
    for (size_t d = 0; d < dibs.size(); ++d) {
      Rows expected;
      for (int threads : {1, 2, 3, 4}) {
        SetAreaAverageThreads(threads);
        Canvas canvas(c.canvasW, c.canvasH);
        SetStretchBltMode(canvas.Dc(), HALFTONE);
        ASSERT_NE(canvas.Stretch(dibs[d], c.x, c.y, c.w, c.h, 0, 0, c.sw, c.sh), 0) << c.what;
        const Rows got = canvas.Rows(0, 0, c.canvasW, c.canvasH);
        if (threads == 1) {
          expected = got;
        } else {
          ASSERT_EQ(got, expected) << c.what << ", source " << d << ", " << threads << " threads";
        }
      }
    }
  }
}

struct FormatCase {
  const char* name;
  DibRecipe recipe;
  std::vector<uint32_t> expected;  // the first picture row
};

DibRecipe Recipe(uint16_t bits, uint32_t compression, int32_t width, Bytes pixels) {
  DibRecipe s;
  s.width = width;
  s.bitCount = bits;
  s.compression = compression;
  s.pixels = std::move(pixels);
  return s;
}

TEST(StretchFormats, EveryPixelFormatConvertsBeforeDrawing) {
  std::vector<FormatCase> cases;
  {
    DibRecipe s = Recipe(1, BI_RGB, 10, {0b10110000, 0b01000000, 0, 0});
    s.table = {0x112233, 0xAABBCC};
    cases.push_back({"1 bit, leftmost pixel in bit 7", s,
                     {0xAABBCC, 0x112233, 0xAABBCC, 0xAABBCC, 0x112233, 0x112233, 0x112233,
                      0x112233, 0x112233, 0xAABBCC}});
  }
  {
    DibRecipe s = Recipe(4, BI_RGB, 3, {0x21, 0x30, 0, 0});
    s.table = {0x000001, 0x000002, 0x000003, 0x000004};
    s.clrUsed = 3;  // index 3 is past the table: black
    cases.push_back({"4 bits, high nibble first, past the count black", s, {0x000003, 0x000002, 0}});
  }
  {
    DibRecipe s = Recipe(8, BI_RGB, 3, {2, 0, 1, 0});
    s.table = {0x0A0B0C, 0x102030, 0xFFEEDD};
    s.clrUsed = 3;
    cases.push_back({"8 bits", s, {0xFFEEDD, 0x0A0B0C, 0x102030}});
  }
  cases.push_back({"16 bits 5-5-5, bit 15 ignored", Recipe(16, BI_RGB, 4, {0xFF, 0x7F, 0x10, 0x42, 0x00, 0x80, 0x1F, 0x00}),
                   {0xFFFFFF, 0x848484, 0x000000, 0x0000FF}});
  {
    DibRecipe s = Recipe(16, BI_BITFIELDS, 2, {0x00, 0xF8, 0xE0, 0x07});
    s.masks = {0xF800, 0x07E0, 0x001F};
    cases.push_back({"16 bits 5-6-5 bit fields", s, {0xFF0000, 0x00FF00}});
  }
  {
    DibRecipe s = Recipe(16, BI_BITFIELDS, 2, {0x21, 0x08, 0x00, 0x00});
    s.masks = {0x0F00, 0x00F0, 0x000F};  // 4 bits each: 0x8 -> 0x88, 0x2 -> 0x22, 0x1 -> 0x11
    cases.push_back({"16 bits 4-4-4", s, {0x882211, 0}});
  }
  cases.push_back({"24 bits", Recipe(24, BI_RGB, 2, {1, 2, 3, 4, 5, 6, 0, 0}), {0x030201, 0x060504}});
  cases.push_back({"32 bits, top byte ignored", Recipe(32, BI_RGB, 2, {1, 2, 3, 0xFF, 4, 5, 6, 7}),
                   {0x030201, 0x060504}});
  {
    DibRecipe s = Recipe(32, BI_BITFIELDS, 1, {0x00, 0x33, 0x22, 0x11});
    s.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
    cases.push_back({"32 bits with shifted fields", s, {0x112233}});
  }
  {
    DibRecipe s = Recipe(32, BI_BITFIELDS, 1, {0x00, 0x33, 0x22, 0x11});
    s.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
    s.headerSize = 124;  // masks inside the header
    cases.push_back({"32 bits, masks in a long header", s, {0x112233}});
  }
  {
    DibRecipe s = Recipe(8, BI_RGB, 2, {1, 0, 0, 0});
    s.table = {0x010203, 0x0A0B0C};
    s.headerSize = 108;  // the table follows the longer header
    s.clrUsed = 2;
    cases.push_back({"8 bits after a 108-byte header", s, {0x0A0B0C, 0x010203}});
  }
  for (const FormatCase& k : cases) {
    Dib dib(k.recipe);
    const auto w = static_cast<int32_t>(k.expected.size());
    Canvas c(w, 1);
    EXPECT_EQ(c.Stretch(dib, 0, 0, w, 1, 0, 0, w, 1), 1) << k.name;
    EXPECT_EQ(c.Rows(0, 0, w, 1)[0], k.expected) << k.name;
  }
}

// 24-bit rows go through several conversion loops (eight, four and one pixel at a time, by what
// the processor has); every width and start column must come out the same as pixel by pixel.
TEST(StretchFormats, TrueColourRowsOfEveryWidthAndStart) {
  uint32_t seed = 12345;
  for (int32_t width = 1; width <= 40; ++width) {
    std::vector<uint32_t> row(static_cast<size_t>(width));
    for (uint32_t& p : row) p = (seed = seed * 1103515245u + 12345u) >> 8 & 0xFFFFFF;
    const Dib dib(TrueColorSpec({row, row}));
    for (int32_t start : {0, 1, 3, width / 2}) {
      if (start >= width) continue;
      Canvas c(width, 2, 0xABCDEF);
      ASSERT_NE(c.Stretch(dib, 0, 0, width - start, 2, start, 0, width - start, 2), 0);
      for (int32_t x = 0; x < width - start; ++x) {
        ASSERT_EQ(c.At(x, 0), row[static_cast<size_t>(start + x)]) << width << " from " << start;
      }
      EXPECT_EQ(c.At(width - 1, 0), start == 0 ? row.back() : 0xABCDEFu);
    }
  }
}

// A copy larger than the caches goes its own way (stored past them, the next row fetched ahead):
// every pixel lands as in a small copy, whatever the rows' alignment, and nothing beside it moves.
TEST(StretchFormats, LargeTrueColourCopiesLandPixelForPixel) {
  // Each over 4 MiB painted: long rows of odd length, and rows too short to fill a cache line
  // (all of them single pixels) or just long enough for one wide step.
  const std::pair<int32_t, int32_t> sizes[] = {{1203, 1001}, {18, 60000}, {5, 220000}};
  for (const auto& [width, height] : sizes) {
    uint32_t seed = 777;
    std::vector<std::vector<uint32_t>> rows(height, std::vector<uint32_t>(width));
    for (auto& row : rows) {
      for (uint32_t& p : row) p = (seed = seed * 1103515245u + 12345u) >> 8 & 0xFFFFFF;
    }
    const Dib dib(TrueColorSpec(rows));
    for (int32_t offset : {0, 1, 5}) {
      Canvas c(width + 8, height + 1, 0xABCDEF);
      ASSERT_NE(c.Stretch(dib, offset, 1, width, height, 0, 0, width, height), 0);
      size_t wrong = 0;
      for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) wrong += c.At(offset + x, y + 1) != rows[y][x];
      }
      EXPECT_EQ(wrong, 0u) << width << "x" << height << " at " << offset;
      EXPECT_EQ(c.At(offset + width, height), 0xABCDEFu);
      EXPECT_EQ(c.At(offset, 0), 0xABCDEFu);
      EXPECT_EQ(c.At(offset == 0 ? width + 7 : offset - 1, 1), 0xABCDEFu);
    }
  }
}

TEST(StretchFormats, UndrawableHeadersPaintNothing) {
  auto base = [] { return Recipe(24, BI_RGB, 1, {1, 2, 3, 0}); };
  std::vector<std::pair<const char*, DibRecipe>> cases;
  DibRecipe s = base();
  s.width = 0;
  cases.emplace_back("zero width", s);
  s = base();
  s.height = 0;
  cases.emplace_back("zero height", s);
  s = base();
  s.bitCount = 2;
  cases.emplace_back("2 bits", s);
  s = base();
  s.compression = BI_BITFIELDS;
  s.masks = {0xFF0000, 0xFF00, 0xFF};
  cases.emplace_back("24 bits with bit fields", s);
  s = Recipe(4, BI_RLE8, 2, {2, 1, 0, 1});
  s.table = std::vector<uint32_t>(16, 0xFFFFFF);
  cases.emplace_back("RLE8 at 4 bits", s);
  s = Recipe(8, BI_RLE8, 2, {2, 1, 0, 1});
  s.table = std::vector<uint32_t>(256, 0xFFFFFF);
  s.height = -1;
  cases.emplace_back("top-down run lengths", s);
  s = base();
  s.headerSize = 12;
  cases.emplace_back("header shorter than 40 bytes", s);
  s = Recipe(8, BI_RGB, 1, {0, 0, 0, 0});
  s.clrUsed = 200;  // the table is not there
  cases.emplace_back("colour table past the memory", s);
  s = Recipe(24, BI_RGB, 4, {1, 2, 3});  // rows need 16 bytes
  cases.emplace_back("pixels past the memory", s);
  s = Recipe(16, BI_BITFIELDS, 1, {});
  cases.emplace_back("masks past the memory", s);
  for (const auto& [name, recipe] : cases) {
    Dib dib(recipe);
    Canvas c(2, 2, 0xABCDEF);
    EXPECT_EQ(c.Stretch(dib, 0, 0, 2, 2, 0, 0, 1, 1), 0) << name;
    EXPECT_EQ(c.At(0, 0), 0xABCDEFu) << name;
  }
  // An RLE DIB with biSizeImage 0 reads no data at all.
  Dib fine(base());
  Canvas c(1, 1, 0xABCDEF);
  EXPECT_EQ(StretchDIBits(c.Dc(), 0, 0, 1, 1, 0, 0, 1, 1, fine.Bits(), fine.Header(), 1, SRCCOPY,
                          fine.Memory()),
            0) << "palette indices are not supported";
  EXPECT_EQ(StretchDIBits(c.Dc(), 0, 0, 1, 1, 0, 0, 1, 1, fine.Bits(), fine.Header(),
                          DIB_RGB_COLORS, 0x00EE0086, fine.Memory()),
            0) << "only SRCCOPY";
  EXPECT_EQ(c.At(0, 0), 0xABCDEFu);
}

// 4 columns x 3 rows of 8-bit run-length data, colours = index * 0x10101 except entry 0.
DibRecipe RunLengthSpec(uint32_t compression, Bytes data) {
  DibRecipe s;
  s.width = 4;
  s.height = 3;
  s.bitCount = compression == BI_RLE8 ? 8 : 4;
  s.compression = compression;
  for (uint32_t i = 0; i < (compression == BI_RLE8 ? 256u : 16u); ++i) s.table.push_back(i * 0x10101);
  s.table[0] = 0xFF00FF;
  s.pixels = std::move(data);
  return s;
}

TEST(StretchRunLength, RunsLiteralsEndOfLineDeltaAndEndOfBitmap) {
  const uint32_t bg = 0x123456, e0 = 0xFF00FF;
  auto px = [](uint32_t i) { return i * 0x10101; };
  struct Case {
    const char* name;
    DibRecipe recipe;
    Rows expected;  // picture rows from the top, as copied 1:1 from (0, 0)
  };
  const Case cases[] = {
      {"RLE8 runs cut at the row end, end of line",
       RunLengthSpec(BI_RLE8, {6, 7, 0, 0, 1, 9, 0, 3, 1, 2, 3, 0, 0, 1}),
       {{bg, bg, bg, bg}, {px(9), px(1), px(2), px(3)}, {px(7), px(7), px(7), px(7)}}},
      {"RLE8 delta skips pixels, end of bitmap stops",
       RunLengthSpec(BI_RLE8, {1, 5, 0, 2, 2, 1, 1, 6, 0, 1, 2, 8}),
       {{bg, bg, bg, bg}, {bg, bg, bg, px(6)}, {px(5), bg, bg, bg}}},
      {"RLE4 alternates nibbles, literal padded",
       RunLengthSpec(BI_RLE4, {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 0, 2, 0xAB, 0, 1}),
       {{px(10), px(11), bg, bg}, {px(3), px(4), px(5), bg}, {px(1), px(2), px(1), px(2)}}},
      {"data ending early", RunLengthSpec(BI_RLE8, {2, 4, 0}),
       {{bg, bg, bg, bg}, {bg, bg, bg, bg}, {px(4), px(4), bg, bg}}},
  };
  for (const Case& k : cases) {
    Dib dib(k.recipe);
    Canvas c(4, 3, bg);
    EXPECT_EQ(c.Stretch(dib, 0, 0, 4, 3, 0, 0, 4, 3), 3) << k.name;
    EXPECT_EQ(c.Rows(0, 0, 4, 3), k.expected) << k.name;
    // Wherever it lands, a plain copy from (0, 0) leaves them alone.
    Canvas moved(5, 3, bg);
    moved.Stretch(dib, 1, 0, 4, 3, 0, 0, 4, 3);
    EXPECT_EQ(moved.Rows(1, 0, 4, 3), k.expected) << k.name;
    // Any other call paints the unwritten pixels with colour-table entry 0.
    Canvas stretched(8, 3, bg);
    stretched.Stretch(dib, 0, 0, 8, 3, 0, 0, 4, 3);
    Rows expected;
    for (const auto& row : k.expected) {
      expected.emplace_back();
      for (uint32_t p : row) expected.back().insert(expected.back().end(), 2, p == bg ? e0 : p);
    }
    EXPECT_EQ(stretched.Rows(0, 0, 8, 3), expected) << k.name;
  }
}

TEST(StretchOrientation, SourceRowsCountFromTheBottom) {
  const Rows picture{{1, 2}, {3, 4}, {5, 6}, {7, 8}};
  Dib up(TrueColorSpec(picture)), down(TrueColorSpec(picture, true));
  // The whole picture is the same either way.
  for (const Dib* d : {&up, &down}) {
    Canvas c(2, 4);
    c.Stretch(*d, 0, 0, 2, 4, 0, 0, 2, 4);
    EXPECT_EQ(c.Rows(0, 0, 2, 4), picture);
  }
  struct Case {
    const Dib* dib;
    int32_t ySrc, destWidth;
    Rows expected;
  };
  const Case cases[] = {
      // Bottom-up: ySrc 0 with height 2 is the bottom two rows of the picture.
      {&up, 0, 2, {{5, 6}, {7, 8}}},
      {&up, 2, 2, {{1, 2}, {3, 4}}},
      // Top-down, plain copy from (0, 0): counted from the top.
      {&down, 0, 2, {{1, 2}, {3, 4}}},
      // Top-down otherwise: counted from the bottom like a bottom-up DIB.
      {&down, 1, 2, {{3, 4}, {5, 6}}},
      {&down, 0, 4, {{5, 5, 6, 6}, {7, 7, 8, 8}}},
  };
  for (const Case& k : cases) {
    Canvas c(k.destWidth, 2);
    c.Stretch(*k.dib, 0, 0, k.destWidth, 2, 0, k.ySrc, 2, 2);
    EXPECT_EQ(c.Rows(0, 0, k.destWidth, 2), k.expected) << k.ySrc << " " << k.destWidth;
  }
}

TEST(StretchGeometry, NegativeExtentsMirror) {
  Dib dib = Counting(3);
  struct Case {
    int32_t x, w, sx, sw;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {2, -3, 0, 3, {3, 2, 1}},   // covers 0..2, the first source column on x = 2
      {0, 3, 2, -3, {3, 2, 1}},   // a negative source extent mirrors too
      {2, -3, 2, -3, {1, 2, 3}},  // both negative: upright
  };
  for (const Case& k : cases) {
    Canvas c(3, 1);
    EXPECT_EQ(c.Stretch(dib, k.x, 0, k.w, 1, k.sx, 0, k.sw, 1), 1);
    EXPECT_EQ(c.Rows(0, 0, 3, 1)[0], k.expected);
  }
  Dib column(TrueColorSpec({{1}, {2}, {3}}));
  Canvas c(1, 3);
  c.Stretch(column, 0, 2, 1, -3, 0, 0, 1, 3);
  EXPECT_EQ(c.Rows(0, 0, 1, 3), (Rows{{3}, {2}, {1}}));
}

// A negative destination extent paints the upright result reversed, for enlargements and
// reductions by any ratio, on either axis, in every mode that picks pixels.
TEST(StretchGeometry, MirroringReversesTheUprightResult) {
  Rows picture(5, std::vector<uint32_t>(7));
  for (uint32_t y = 0; y < 5; ++y) {
    for (uint32_t x = 0; x < 7; ++x) picture[y][x] = 0x010000 * (y + 1) + x + 1;
  }
  Dib dib(TrueColorSpec(picture));
  for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR}) {
    for (auto [w, h] : {std::pair{7, 5}, {17, 11}, {14, 10}, {29, 3}, {3, 2}, {6, 4}, {2, 13}}) {
      Canvas upright(w, h), mirrored(w, h);
      SetStretchBltMode(upright.Dc(), mode);
      SetStretchBltMode(mirrored.Dc(), mode);
      upright.Stretch(dib, 0, 0, w, h, 0, 0, 7, 5);
      mirrored.Stretch(dib, w - 1, h - 1, -w, -h, 0, 0, 7, 5);
      Rows reversed = upright.Rows(0, 0, w, h);
      std::reverse(reversed.begin(), reversed.end());
      for (auto& row : reversed) std::reverse(row.begin(), row.end());
      EXPECT_EQ(mirrored.Rows(0, 0, w, h), reversed) << mode << " " << w << "x" << h;
    }
  }
}

TEST(StretchGeometry, ACutCallPaintsExactlyItsPartOfTheWholeResult) {
  Rows picture(9, std::vector<uint32_t>(11));
  for (uint32_t y = 0; y < 9; ++y) {
    for (uint32_t x = 0; x < 11; ++x) picture[y][x] = (x * 37 + y * 91) * 0x010307 & 0xFFFFFF;
  }
  Dib dib(TrueColorSpec(picture));
  for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
    for (auto [w, h] : {std::pair{7, 5}, {23, 17}, {11, 9}, {-7, 5}}) {
      const int32_t aw = std::abs(w);
      Canvas whole(aw, h);
      SetStretchBltMode(whole.Dc(), mode);
      whole.Stretch(dib, w < 0 ? aw - 1 : 0, 0, w, h, 0, 0, 11, 9);
      // The same call 3 pixels to the left and 2 up: the surface cuts it.
      Canvas cut(aw, h, 0);
      SetStretchBltMode(cut.Dc(), mode);
      cut.Stretch(dib, (w < 0 ? aw - 1 : 0) - 3, -2, w, h, 0, 0, 11, 9);
      EXPECT_EQ(cut.Rows(0, 0, aw - 3, h - 2), whole.Rows(3, 2, aw - 3, h - 2)) << mode << " " << w;
      EXPECT_EQ(cut.At(aw - 1, 0), 0u);  // right of the cut image: untouched
    }
  }
}

TEST(StretchGeometry, SourceRectanglesAreCutToTheImage) {
  Dib dib = Counting(4);
  Canvas c(6, 1, 0);
  // Source columns -1..4 onto 6 pixels: the pixels whose centre falls outside stay as they were.
  EXPECT_EQ(c.Stretch(dib, 0, 0, 6, 1, -1, 0, 6, 1), 1);
  EXPECT_EQ(c.Rows(0, 0, 6, 1)[0], (std::vector<uint32_t>{0, 1, 2, 3, 4, 0}));
  Canvas none(2, 1, 0);
  EXPECT_EQ(none.Stretch(dib, 0, 0, 2, 1, 4, 0, 2, 1), 0);
  EXPECT_EQ(none.Stretch(dib, 5, 0, 2, 1, 0, 0, 2, 1), 0);  // off the surface
}

}  // namespace
}  // namespace pelmor::test
