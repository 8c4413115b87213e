#include "codecs/tiff_fixtures.h"

#include <algorithm>
#include <map>
#include <utility>

namespace pelmor::test {

namespace {

class Out {
 public:
  explicit Out(bool bigEndian) : big_(bigEndian) {}
  void U16(uint32_t v) { Put(v, 2); }
  void U32(uint32_t v) { Put(v, 4); }
  void Bytes_(const Bytes& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void PadEven() {
    if (bytes_.size() % 2) bytes_.push_back(0);
  }
  void Patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (big_ ? 24 - 8 * i : 8 * i));
  }
  size_t Size() const { return bytes_.size(); }
  Bytes Take() { return std::move(bytes_); }

  // The bytes of values of a type in this byte order.
  Bytes Encode(uint16_t type, const std::vector<uint32_t>& values) const {
    Bytes b;
    const int size = type == 3 ? 2 : type == 4 ? 4 : 1;
    for (uint32_t v : values) {
      for (int i = 0; i < size; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (big_ ? 8 * (size - 1 - i) : 8 * i)));
      }
    }
    return b;
  }

 private:
  void Put(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (big_ ? 8 * (n - 1 - i) : 8 * i)));
  }
  bool big_;
  Bytes bytes_;
};

}  // namespace

TiffField Short(uint16_t tag, std::vector<uint32_t> values) {
  TiffField f;
  f.tag = tag;
  f.type = 3;
  f.values = std::move(values);
  return f;
}

TiffField Long(uint16_t tag, std::vector<uint32_t> values) {
  TiffField f;
  f.tag = tag;
  f.type = 4;
  f.values = std::move(values);
  return f;
}

TiffField AsciiBytes(uint16_t tag, const Bytes& bytes) {
  TiffField f;
  f.tag = tag;
  f.type = 2;
  f.bytes = bytes;
  return f;
}

TiffField Ascii(uint16_t tag, const std::string& text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return AsciiBytes(tag, b);
}

Bytes MakeTiff(const TiffLayout& layout) {
  Out out(layout.bigEndian);
  if (layout.bigEndian) {
    out.Bytes_({'M', 'M'});
  } else {
    out.Bytes_({'I', 'I'});
  }
  out.U16(layout.magic);
  out.U32(0);  // first directory, patched below

  std::vector<size_t> ifdAt(layout.pages.size());
  std::vector<size_t> nextAt(layout.pages.size());
  for (size_t p = 0; p < layout.pages.size(); ++p) {
    const TiffPage& page = layout.pages[p];
    std::vector<uint32_t> stripOffsets, stripCounts;
    for (const Bytes& s : page.strips) {
      stripOffsets.push_back(static_cast<uint32_t>(out.Size()));
      stripCounts.push_back(static_cast<uint32_t>(s.size()));
      out.Bytes_(s);
      out.PadEven();
    }
    for (const auto& [offset, count] : page.extraStrips) {
      stripOffsets.push_back(offset);
      stripCounts.push_back(count);
    }
    if (page.firstStripOffset && !stripOffsets.empty()) stripOffsets[0] = *page.firstStripOffset;
    std::vector<TiffField> fields = page.fields;
    if (!page.strips.empty()) {
      TiffField offsets;
      offsets.tag = 273;
      offsets.type = page.stripOffsetType;
      offsets.values = stripOffsets;
      fields.push_back(offsets);
      if (page.withByteCounts) {
        TiffField counts;
        counts.tag = 279;
        counts.type = page.byteCountType;
        counts.values = stripCounts;
        fields.push_back(counts);
      }
    }
    // Values that do not fit in their entry go after the strips.
    std::vector<std::pair<uint32_t, Bytes>> entries;  // (count, the four value bytes)
    for (const TiffField& f : fields) {
      Bytes data = (f.type == 1 || f.type == 2) ? f.bytes : out.Encode(f.type, f.values);
      const uint32_t count = f.count != 0 ? f.count
                             : (f.type == 1 || f.type == 2) ? static_cast<uint32_t>(f.bytes.size())
                                                             : static_cast<uint32_t>(f.values.size());
      Bytes field(4, 0);
      if (f.raw) {
        field = *f.raw;
      } else if (data.size() <= 4) {
        std::copy(data.begin(), data.end(), field.begin());
      } else {
        const uint32_t at = static_cast<uint32_t>(out.Size());
        out.Bytes_(data);
        out.PadEven();
        field = out.Encode(4, {at});
      }
      entries.emplace_back(count, field);
    }
    ifdAt[p] = out.Size();
    out.U16(static_cast<uint32_t>(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) {
      out.U16(fields[i].tag);
      out.U16(fields[i].type);
      out.U32(entries[i].first);
      out.Bytes_(entries[i].second);
    }
    nextAt[p] = out.Size();
    out.U32(0);
  }
  out.Patch32(4, layout.firstOffset ? *layout.firstOffset
                                  : (layout.pages.empty() ? 0 : static_cast<uint32_t>(ifdAt[0])));
  for (size_t p = 0; p < layout.pages.size(); ++p) {
    const TiffPage& page = layout.pages[p];
    uint32_t next = p + 1 < layout.pages.size() ? static_cast<uint32_t>(ifdAt[p + 1]) : 0;
    if (page.nextPage) next = static_cast<uint32_t>(ifdAt[*page.nextPage]);
    if (page.nextOffset) next = *page.nextOffset;
    out.Patch32(nextAt[p], next);
  }
  return out.Take();
}

TiffLayout TiffFile(std::vector<TiffPage> pages, bool bigEndian) {
  TiffLayout layout;
  layout.bigEndian = bigEndian;
  layout.pages = std::move(pages);
  return layout;
}

Bytes PackBitsLiterals(const Bytes& data) {
  Bytes out;
  for (size_t i = 0; i < data.size(); i += 128) {
    const size_t n = std::min<size_t>(128, data.size() - i);
    out.push_back(static_cast<uint8_t>(n - 1));
    out.insert(out.end(), data.begin() + i, data.begin() + i + n);
  }
  return out;
}

Bytes LzwCompress(const Bytes& data) {
  Bytes out;
  uint64_t acc = 0;
  int accBits = 0;
  int width = 9;
  auto put = [&](uint32_t code) {
    acc = acc << width | code;
    accBits += width;
    while (accBits >= 8) {
      out.push_back(static_cast<uint8_t>(acc >> (accBits - 8)));
      accBits -= 8;
    }
  };
  std::map<std::pair<int, uint8_t>, int> dict;
  int nextCode = 258;
  put(256);
  int prefix = -1;
  auto added = [&] {
    // The decoder adds each entry one code later and widens one code early, so both widen
    // when this count reaches the next power of two.
    ++nextCode;
    if (nextCode == 4094) {
      put(256);
      dict.clear();
      nextCode = 258;
      width = 9;
    } else if (nextCode >= (1 << width)) {
      ++width;
    }
  };
  for (uint8_t c : data) {
    if (prefix < 0) {
      prefix = c;
      continue;
    }
    auto it = dict.find({prefix, c});
    if (it != dict.end()) {
      prefix = it->second;
      continue;
    }
    put(static_cast<uint32_t>(prefix));
    dict[{prefix, c}] = nextCode;
    added();
    prefix = c;
  }
  if (prefix >= 0) {
    put(static_cast<uint32_t>(prefix));
    added();
  }
  put(257);
  if (accBits > 0) out.push_back(static_cast<uint8_t>(acc << (8 - accBits)));
  return out;
}

TiffPage SimplePage(uint32_t width, uint32_t height, std::vector<uint32_t> bitsPerSample,
                    int photometric, const Bytes& pixels, uint32_t rowsPerStrip,
                    uint32_t compression) {
  TiffPage page;
  uint32_t bits = 0;
  for (uint32_t b : bitsPerSample) bits += b;
  const size_t rowBytes = (size_t{width} * bits + 7) / 8;
  if (rowsPerStrip == 0) rowsPerStrip = height;
  page.fields = {Long(256, {width}), Long(257, {height}), Short(258, bitsPerSample),
                 Short(259, {compression}), Short(277, {static_cast<uint32_t>(bitsPerSample.size())}),
                 Long(278, {rowsPerStrip})};
  if (photometric >= 0) page.fields.push_back(Short(262, {static_cast<uint32_t>(photometric)}));
  for (uint32_t y = 0; y < height; y += rowsPerStrip) {
    const size_t from = std::min(pixels.size(), y * rowBytes);
    const size_t to = std::min(pixels.size(), std::min<size_t>(height, y + size_t{rowsPerStrip}) * rowBytes);
    Bytes strip(pixels.begin() + from, pixels.begin() + to);
    if (compression == 5) strip = LzwCompress(strip);
    if (compression == 32773) strip = PackBitsLiterals(strip);
    page.strips.push_back(strip);
  }
  return page;
}

}  // namespace pelmor::test
