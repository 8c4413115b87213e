#include "platform/stretch_dib.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/area_average.h"
#include "platform/checked_size.h"
#include "platform/memory_limit.h"
#include "platform/row_picker.h"

namespace pelmor::platform {

namespace stretch {

namespace {

using Wide = __int128;

bool FitsInt64(Wide v) { return v >= INT64_MIN && v <= INT64_MAX; }

// Floor of n / d, in 64-bit division when both fit and d > 0 (a 128-bit division is a library
// call, and the plans of a paint make thousands).
int64_t FloorDiv(Wide n, Wide d) {
  if (d > 0 && FitsInt64(n) && FitsInt64(d)) {
    const auto n64 = static_cast<int64_t>(n), d64 = static_cast<int64_t>(d);
    int64_t q = n64 / d64;
    if (n64 % d64 != 0 && n64 < 0) --q;
    return q;
  }
  Wide q = n / d;
  if (n % d != 0 && n < 0) --q;
  return static_cast<int64_t>(q);
}

int64_t CeilDiv(Wide n, Wide d) { return -FloorDiv(-n, d); }

}  // namespace

int64_t EnlargedSource(int64_t i, int64_t source, int64_t destination) {
  return FloorDiv(Wide(2 * i + 1) * source - 1, Wide(2) * destination);
}

int64_t ShrunkDestination(int64_t j, int64_t source, int64_t destination) {
  return FloorDiv(Wide(2 * j + 1) * destination - 1, Wide(2) * source);
}

// One axis of a call: which destination pixels get painted and from which source pixels.
struct Axis {
  int64_t sourceStart = 0;  // picture coordinates of the source rectangle's first pixel
  int64_t source = 0;       // its extent, positive
  int64_t destStart = 0;    // device coordinate of the destination rectangle's first pixel
  int64_t destination = 0;  // its extent, positive
  bool mirror = false;

  // Source pixels that can be read, relative to sourceStart: [low, high).
  int64_t low = 0;
  int64_t high = 0;
  // The painted device pixels [first, first + count) and their logical indices in the
  // destination rectangle (after mirroring).
  int32_t first = 0;
  int32_t count = 0;
  std::vector<int64_t> logical;

  // A destination pixel is painted when the source pixel under its centre can be read, and only
  // where the surface is; so a cut call paints exactly its part of the uncut result.
  bool Plan(int32_t sourceLimit, int32_t surfaceLimit) {
    low = std::max<int64_t>(0, -sourceStart);
    high = std::min<int64_t>(source, int64_t{sourceLimit} - sourceStart);
    if (low >= high) return false;
    const int64_t lmin = std::max<int64_t>(
        0, CeilDiv(Wide(2) * low * destination - source + 1, Wide(2) * source));
    const int64_t lmax = std::min<int64_t>(
        destination - 1, FloorDiv(Wide(2) * high * destination - source, Wide(2) * source));
    if (lmin > lmax) return false;
    const int64_t pmin = mirror ? destination - 1 - lmax : lmin;
    const int64_t pmax = mirror ? destination - 1 - lmin : lmax;
    const int64_t d0 = std::max<int64_t>(destStart + pmin, 0);
    const int64_t d1 = std::min<int64_t>(destStart + pmax + 1, surfaceLimit);
    if (d0 >= d1) return false;
    first = static_cast<int32_t>(d0);
    count = static_cast<int32_t>(d1 - d0);
    logical.resize(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) {
      const int64_t p = d0 + k - destStart;
      logical[static_cast<size_t>(k)] = mirror ? destination - 1 - p : p;
    }
    return true;
  }

  // The source pixels each painted pixel combines in the non-halftone modes, in picture
  // coordinates: one when enlarging, the group that shrinks onto it otherwise.
  void Groups(std::vector<int32_t>& groupFirst, std::vector<int32_t>& groupLast) const {
    groupFirst.resize(static_cast<size_t>(count));
    groupLast.resize(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) {
      const int64_t li = logical[static_cast<size_t>(k)];
      const int64_t centre = std::clamp(EnlargedSource(li, source, destination), low, high - 1);
      int64_t f = centre, l = centre;
      if (source > destination) {
        f = CeilDiv(Wide(2) * source * li + 1 - destination, Wide(2) * destination);
        l = CeilDiv(Wide(2) * source * (li + 1) + 1 - destination, Wide(2) * destination) - 1;
        f = std::clamp(f, low, high - 1);
        l = std::clamp(l, low, high - 1);
        if (f > l) f = l = centre;
      }
      groupFirst[static_cast<size_t>(k)] = static_cast<int32_t>(sourceStart + f);
      groupLast[static_cast<size_t>(k)] = static_cast<int32_t>(sourceStart + l);
    }
  }
};

}  // namespace stretch

namespace {

using stretch::Axis;

// A signed extent as a start and a positive count: a negative one covers pos + extent + 1 to pos.
void Normalise(int64_t pos, int64_t extent, int64_t& start, int64_t& count, bool& flipped) {
  flipped = extent < 0;
  count = flipped ? -extent : extent;
  start = flipped ? pos + extent + 1 : pos;
}

// Converted rows, with the last two kept: consecutive destination rows mostly read the same or
// neighbouring source rows.
class ConvertedRows : public AreaRows {
 public:
  ConvertedRows(const DibReader& dib, int32_t x0, int32_t x1, bool monochrome)
      : dib_(dib), x0_(x0), x1_(x1), monochrome_(monochrome) {}

  // The first slot; the second is made when a second row is asked for (a one-row picture never
  // needs it), and throws std::bad_alloc when it cannot be.
  bool Init() {
    try {
      slots_[0].pixels.resize(static_cast<size_t>(x1_ - x0_));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  const uint32_t* Pixels(int32_t y) {
    for (auto& slot : slots_) {
      if (slot.y == y) return slot.pixels.data();
    }
    Slot& slot = slots_[next_];
    next_ ^= 1;
    slot.pixels.resize(static_cast<size_t>(x1_ - x0_));
    slot.y = y;
    dib_.ConvertRow(y, x0_, x1_, slot.pixels.data());
    if (monochrome_) {
      for (uint32_t& p : slot.pixels) p = MonochromePixel(p);
    }
    return slot.pixels.data();
  }

  const uint8_t* Row(int32_t y) override { return reinterpret_cast<const uint8_t*>(Pixels(y)); }

  // Converting reads the DIB only, so another thread's rows need only slots of their own.
  std::unique_ptr<AreaRows> ForAnotherThread() const override {
    auto other = std::unique_ptr<ConvertedRows>(new (std::nothrow) ConvertedRows(dib_, x0_, x1_, monochrome_));
    if (!other || !other->Init()) return nullptr;
    return other;
  }

 private:
  struct Slot {
    int32_t y = -1;
    std::vector<uint32_t, UninitialisedAllocator<uint32_t>> pixels;  // converted whole per row
  };
  const DibReader& dib_;
  int32_t x0_, x1_;
  bool monochrome_;
  Slot slots_[2];
  int next_ = 0;
};

class DirectRows : public AreaRows {
 public:
  DirectRows(const DibReader& dib, int32_t x0) : DirectRows(dib, size_t(x0) * dib.DirectBytesPerPixel()) {}
  DirectRows(const DibReader& dib, size_t offset) : dib_(dib), offset_(offset) {}
  const uint8_t* Row(int32_t y) override { return dib_.DirectRow(y) + offset_; }
  std::unique_ptr<AreaRows> ForAnotherThread() const override {
    return std::unique_ptr<AreaRows>(new (std::nothrow) DirectRows(dib_, offset_));
  }

 private:
  const DibReader& dib_;
  size_t offset_;
};

// Painted blocks from this size on are larger than the caches keep, so their pixels go past them.
constexpr int64_t kUncachedPaintBytes = int64_t{4} << 20;

// Unstretched, unmirrored: each row converted straight into the surface. Pixels a run-length
// image never wrote are left alone when `keepUnwritten` is set.
bool PaintOneToOne(const DibReader& dib, const Axis& x, const Axis& y, bool keepUnwritten,
                   Surface& s) {
  const int32_t sx = static_cast<int32_t>(x.sourceStart + x.logical[0]);
  const bool uncached = int64_t{x.count} * y.count * 4 >= kUncachedPaintBytes;
  std::vector<uint32_t> row;
  std::vector<uint8_t> written;
  if (keepUnwritten) {
    try {
      row.resize(static_cast<size_t>(x.count));
      written.resize(static_cast<size_t>(x.count));
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  for (int32_t k = 0; k < y.count; ++k) {
    const int32_t sy = static_cast<int32_t>(y.sourceStart + y.logical[static_cast<size_t>(k)]);
    uint32_t* out = s.Row(y.first + k) + x.first;
    if (!keepUnwritten) {
      if (uncached) {
        dib.ConvertRowUncached(sy, sx, sx + x.count, out);
      } else {
        dib.ConvertRow(sy, sx, sx + x.count, out);
      }
      continue;
    }
    dib.ConvertRow(sy, sx, sx + x.count, row.data(), written.data());
    for (int32_t i = 0; i < x.count; ++i) {
      if (written[static_cast<size_t>(i)]) out[i] = row[static_cast<size_t>(i)];
    }
  }
  if (uncached) DibReader::FinishUncachedRows();
  return true;
}

// Whether pixels can be picked from the DIB's rows as they lie: 32-bit words 0xXXRRGGBB (the
// default masks), whose top byte dropped is the converted pixel, with no need to convert whole
// rows first. The rows must lie on 4-byte boundaries (they are whole words long, so all do when
// the first does).
bool PicksFromRawRows(const DibReader& dib) {
  if (dib.DirectBytesPerPixel() != 4 || dib.Height() <= 0) return false;
  return reinterpret_cast<uintptr_t>(dib.DirectRow(0)) % alignof(uint32_t) == 0;
}

// Each painted pixel a single source pixel: one picked row per source row, repeated onto every
// painted row that shows it.
bool PaintPicked(const DibReader& dib, ConvertedRows& rows, const std::vector<int32_t>& pick,
                 int32_t x0, int32_t x1, const Axis& x, const Axis& y,
                 const std::vector<int32_t>& yFirst, Surface& s) {
  RowPicker picker;
  picker.Plan(pick, x0, x1 - x0);
  const bool raw = PicksFromRawRows(dib);
  for (int32_t k = 0; k < y.count; ++k) {
    uint32_t* out = s.Row(y.first + k) + x.first;
    const auto ky = static_cast<size_t>(k);
    // A repeated row is copied from the row above, unless doubling its source row again (read
    // from the cache, and half the size) is the quicker way to it.
    if (k > 0 && yFirst[ky] == yFirst[ky - 1] && !picker.Doubles()) {
      std::memcpy(out, s.Row(y.first + k - 1) + x.first, static_cast<size_t>(x.count) * 4);
    } else if (raw) {
      const auto* row = reinterpret_cast<const uint32_t*>(dib.DirectRow(yFirst[ky]));
      picker.Pick(row + x0, out, 0xFFFFFF);
    } else {
      picker.Pick(rows.Pixels(yFirst[ky]), out);
    }
  }
  return true;
}

// BLACKONWHITE, WHITEONBLACK and COLORONCOLOR: enlarging repeats pixels; shrinking keeps, of each
// group, the AND of the pixel values (BLACKONWHITE), their OR (WHITEONBLACK), or the last column
// of the first row (COLORONCOLOR).
bool PaintSelected(const DibReader& dib, const Axis& x, const Axis& y, int mode, Surface& s) {
  std::vector<int32_t> xFirst, xLast, yFirst, yLast;
  x.Groups(xFirst, xLast);
  y.Groups(yFirst, yLast);
  const int32_t x0 = *std::min_element(xFirst.begin(), xFirst.end());
  const int32_t x1 = *std::max_element(xLast.begin(), xLast.end()) + 1;
  auto single = [](const std::vector<int32_t>& f, const std::vector<int32_t>& l) { return f == l; };
  const bool pure = mode == COLORONCOLOR || (single(xFirst, xLast) && single(yFirst, yLast));
  // Pixel values combine in the destination's format: black and white for a monochrome surface.
  const bool monochromeFirst = s.Monochrome() && !pure;
  ConvertedRows rows(dib, x0, x1, monochromeFirst);
  std::vector<uint32_t> combined;
  try {
    if (!rows.Init()) return false;
    if (!pure) combined.resize(static_cast<size_t>(x1 - x0));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::vector<int32_t>& pick = mode == COLORONCOLOR ? xLast : xFirst;
  const bool andMode = mode == BLACKONWHITE;
  if (pure) return PaintPicked(dib, rows, pick, x0, x1, x, y, yFirst, s);
  for (int32_t k = 0; k < y.count; ++k) {
    uint32_t* out = s.Row(y.first + k) + x.first;
    const auto ky = static_cast<size_t>(k);
    if (k > 0 && yFirst[ky] == yFirst[ky - 1] && yLast[ky] == yLast[ky - 1]) {
      std::memcpy(out, s.Row(y.first + k - 1) + x.first, static_cast<size_t>(x.count) * 4);
      continue;
    }
    const uint32_t init = andMode ? 0xFFFFFFFFu : 0u;
    std::fill(combined.begin(), combined.end(), init);
    for (int32_t sy = yFirst[ky]; sy <= yLast[ky]; ++sy) {
      const uint32_t* src = rows.Pixels(sy);
      if (andMode) {
        for (size_t i = 0; i < combined.size(); ++i) combined[i] &= src[i];
      } else {
        for (size_t i = 0; i < combined.size(); ++i) combined[i] |= src[i];
      }
    }
    for (int32_t i = 0; i < x.count; ++i) {
      const auto ki = static_cast<size_t>(i);
      uint32_t v = init;
      for (int32_t sx = xFirst[ki]; sx <= xLast[ki]; ++sx) {
        v = andMode ? v & combined[static_cast<size_t>(sx - x0)] : v | combined[static_cast<size_t>(sx - x0)];
      }
      out[i] = v & 0xFFFFFF;
    }
  }
  return true;
}

bool PaintHalftone(const DibReader& dib, const Axis& x, const Axis& y, Surface& s) {
  AreaTaps columns, rows;
  try {
    columns.Build(x.source, x.destination, x.low, x.high, x.logical);
    rows.Build(y.source, y.destination, y.low, y.high, y.logical);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Columns count from the first one read; rows are picture rows.
  int64_t x0 = INT64_MAX, x1 = INT64_MIN;
  for (size_t i = 0; i < columns.start.size(); ++i) {
    x0 = std::min<int64_t>(x0, columns.start[i]);
    x1 = std::max<int64_t>(x1, int64_t{columns.start[i]} + columns.count[i]);
  }
  for (int32_t& v : columns.start) v = static_cast<int32_t>(v - x0);
  for (int32_t& v : rows.start) v = static_cast<int32_t>(v + y.sourceStart);
  x0 += x.sourceStart;
  x1 += x.sourceStart;
  const auto span = static_cast<int32_t>(x1 - x0);
  if (dib.DirectBytesPerPixel() != 0) {
    DirectRows direct(dib, static_cast<int32_t>(x0));
    return AreaAverage(columns, rows, dib.DirectBytesPerPixel(), span, direct, s, x.first, y.first);
  }
  ConvertedRows converted(dib, static_cast<int32_t>(x0), static_cast<int32_t>(x1), false);
  if (!converted.Init()) return false;
  return AreaAverage(columns, rows, 4, span, converted, s, x.first, y.first);
}

}  // namespace

int StretchDIBits(HDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                  int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits,
                  const BITMAPINFOHEADER* info, uint32_t usage, uint32_t rop, DibMemory memory) {
  if (dc == nullptr || usage != DIB_RGB_COLORS || rop != SRCCOPY) return 0;
  DibReader dib;
  if (!dib.Init(info, bits, memory)) return 0;
  Surface* s = dc->Target();
  if (s == nullptr || !*s) return 0;
  if (destWidth == 0 || destHeight == 0 || srcWidth == 0 || srcHeight == 0) return 0;

  // A top-down DIB counts its source rows from the top only in a plain copy from (0, 0).
  const bool fromOrigin =
      srcWidth == destWidth && srcHeight == destHeight && xSrc == 0 && ySrc == 0;
  const bool fromBottom = !dib.TopDown() || !fromOrigin;

  Axis x, y;
  bool flipSource, flipDest;
  Normalise(xSrc, srcWidth, x.sourceStart, x.source, flipSource);
  Normalise(xDest, destWidth, x.destStart, x.destination, flipDest);
  x.mirror = flipSource != flipDest;
  Normalise(ySrc, srcHeight, y.sourceStart, y.source, flipSource);
  if (fromBottom) y.sourceStart = int64_t{dib.Height()} - y.sourceStart - y.source;
  Normalise(yDest, destHeight, y.destStart, y.destination, flipDest);
  y.mirror = flipSource != flipDest;

  try {
    if (!x.Plan(dib.Width(), s->Width()) || !y.Plan(dib.Height(), s->Height())) return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const bool identity = x.source == x.destination && y.source == y.destination && !x.mirror &&
                        !y.mirror;
  const int mode = dc->stretchMode;

  if (dib.RunLength()) {
    // Decode the part of the image that will be read.
    int64_t r0 = y.sourceStart + y.low, r1 = y.sourceStart + y.high;
    int64_t c0 = x.sourceStart + x.low, c1 = x.sourceStart + x.high;
    if (identity) {
      r0 = y.sourceStart + y.logical.front();
      r1 = r0 + y.count;
      c0 = x.sourceStart + x.logical.front();
      c1 = c0 + x.count;
    }
    if (!dib.Expand(static_cast<int32_t>(r0), static_cast<int32_t>(r1), static_cast<int32_t>(c0),
                    static_cast<int32_t>(c1))) {
      return 0;
    }
  }

  bool ok;
  try {
    if (identity) {
      ok = PaintOneToOne(dib, x, y, dib.RunLength() && fromOrigin, *s);
    } else if (mode == HALFTONE) {
      ok = PaintHalftone(dib, x, y, *s);
    } else {
      ok = PaintSelected(dib, x, y, mode, *s);
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) return 0;
  s->Settle(RECT{x.first, y.first, x.first + x.count, y.first + y.count});
  return dib.Height();
}

}  // namespace pelmor::platform
