#include "codecs/tiff_codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

#include "codecs/tiff_directory.h"
#include "codecs/tiff_strips.h"
#include "platform/byte_reader.h"
#include "model/image_block.h"
#include "model/image_doc.h"
#include "platform/checked_size.h"

namespace pelmor {

// ---------------------------------------------------------------------------------------------
// Entries

bool TiffEntry::FitsInEntry() const {
  return (CheckedSize(count) * ValueSize()).AtMost(4);
}

uint32_t TiffEntry::ValueSize() const {
  switch (type) {
    case kTiffByte:
    case kTiffAscii: return 1;
    case kTiffShort: return 2;
    case kTiffLong: return 4;
    default: return 0;
  }
}

uint32_t TiffEntry::Offset() const { return LoadU32LE(value); }

uint32_t TiffEntry::Value() const {
  // A single SHORT is its 16 bits: the two bytes after it are padding, which not every writer
  // clears.
  if (type == kTiffShort && count == 1) return LoadU16LE(value);
  return LoadU32LE(value);
}

void CTiffCodec::NormalizeEntry(TiffEntry& entry, bool littleEndian) {
  if (littleEndian) return;
  entry.tag = __builtin_bswap16(entry.tag);
  entry.type = __builtin_bswap16(entry.type);
  entry.count = __builtin_bswap32(entry.count);
  uint8_t* v = entry.value;
  if (entry.type == kTiffLong || !entry.FitsInEntry()) {
    std::reverse(v, v + 4);
  } else if (entry.type == kTiffShort) {
    // Both SHORTs the field can hold, so that a two-value array reads right afterwards.
    std::swap(v[0], v[1]);
    std::swap(v[2], v[3]);
  }
}

// ---------------------------------------------------------------------------------------------
// File access

bool CTiffFile::Open(const char* path) {
  file_ = platform::File::OpenRead(path);
  if (!file_) return false;
  size_ = file_.Size();
  windowSize_ = 0;
  return true;
}

bool CTiffFile::ReadAt(uint64_t offset, void* dst, size_t n) {
  if (size_ < 0 || !(CheckedSize(offset) + n).AtMost(static_cast<uint64_t>(size_))) return false;
  if (n == 0) return true;
  if (n <= 64) {
    if (offset < windowStart_ || offset + n > windowStart_ + windowSize_) {
      windowStart_ = offset & ~uint64_t{4095};
      windowSize_ = static_cast<size_t>(
          std::min<uint64_t>(kWindow, static_cast<uint64_t>(size_) - windowStart_));
      window_.resize(kWindow);
      if (!file_.Seek(static_cast<int64_t>(windowStart_)) ||
          !file_.ReadExact(window_.data(), windowSize_)) {
        windowSize_ = 0;
        return false;
      }
    }
    std::memcpy(dst, window_.data() + (offset - windowStart_), n);
    return true;
  }
  return file_.Seek(static_cast<int64_t>(offset)) && file_.ReadExact(dst, n);
}

uint16_t CTiffFile::U16(const uint8_t* p) const { return littleEndian ? LoadU16LE(p) : LoadU16BE(p); }
uint32_t CTiffFile::U32(const uint8_t* p) const { return littleEndian ? LoadU32LE(p) : LoadU32BE(p); }

bool CTiffFile::ReadU16(uint64_t offset, uint16_t& v) {
  uint8_t b[2];
  if (!ReadAt(offset, b, 2)) return false;
  v = U16(b);
  return true;
}

bool CTiffFile::ReadU32(uint64_t offset, uint32_t& v) {
  uint8_t b[4];
  if (!ReadAt(offset, b, 4)) return false;
  v = U32(b);
  return true;
}

std::optional<std::string> CTiffCodec::ReadAsciiValue(CTiffFile& file, const TiffEntry& entry) {
  if (entry.type != kTiffAscii || entry.count == 0) return std::nullopt;
  // Values held elsewhere must lie in the file before anything is allocated for them: a count
  // claims any size it likes.
  if (entry.count > 4 && (file.Size() < 0 || !(CheckedSize(entry.Offset()) + entry.count)
                                                   .AtMost(static_cast<uint64_t>(file.Size())))) {
    return std::nullopt;
  }
  std::string text(entry.count, '\0');
  if (entry.count <= 4) {
    std::memcpy(text.data(), entry.value, entry.count);
  } else if (!file.ReadAt(entry.Offset(), text.data(), entry.count)) {
    return std::nullopt;
  }
  // The text ends at its first 0 byte; the last byte counts as one.
  text.back() = '\0';
  text.resize(std::strlen(text.c_str()));
  return text;
}

// ---------------------------------------------------------------------------------------------
// The tags the reader understands

namespace {

enum class TagEffect : uint8_t {
  kWidth,
  kHeight,
  kBitsPerSample,
  kCompression,
  kPhotometric,
  kFillOrder,
  kDocumentName,
  kImageDescription,
  kStripOffsets,
  kOrientation,
  kRowsPerStrip,
  kStripByteCounts,
  kT4Options,
  kSoftware,
  kPredictor,
  kColorMap,
  kFaxTag,
  kInkSet,
  kCopyright,
  kCheckOnly,  // the rule is all there is to it
};

// Types a rule accepts, as a mask of 1 << type; 0 accepts any.
constexpr uint8_t kShort = 1 << kTiffShort;
constexpr uint8_t kLong = 1 << kTiffLong;
constexpr uint8_t kShortOrLong = kShort | kLong;
constexpr uint8_t kAnyType = 0;

struct TagRule {
  uint16_t tag;
  uint8_t types;
  bool single;  // the count must be 1
  std::array<uint32_t, 5> allowed;
  uint8_t allowedCount;  // 0: any value
  TagEffect effect;
};

// Compressions: none, CCITT T.4, CCITT T.6, LZW, PackBits.
constexpr TagRule kTagRules[] = {
    {256, kShortOrLong, true, {}, 0, TagEffect::kWidth},           // ImageWidth
    {257, kShortOrLong, true, {}, 0, TagEffect::kHeight},          // ImageLength
    {258, kAnyType, false, {}, 0, TagEffect::kBitsPerSample},      // BitsPerSample
    {259, kShortOrLong, true, {1, 3, 4, 5, 32773}, 5, TagEffect::kCompression},
    {262, kAnyType, false, {}, 0, TagEffect::kPhotometric},        // PhotometricInterpretation
    {266, kShortOrLong, true, {}, 0, TagEffect::kFillOrder},       // FillOrder
    {269, kAnyType, false, {}, 0, TagEffect::kDocumentName},       // DocumentName
    {270, kAnyType, false, {}, 0, TagEffect::kImageDescription},   // ImageDescription
    {273, kAnyType, false, {}, 0, TagEffect::kStripOffsets},       // StripOffsets
    {274, kShort, true, {}, 0, TagEffect::kOrientation},           // Orientation
    {277, kShortOrLong, true, {}, 0, TagEffect::kCheckOnly},       // SamplesPerPixel
    {278, kShortOrLong, true, {}, 0, TagEffect::kRowsPerStrip},    // RowsPerStrip
    {279, kAnyType, false, {}, 0, TagEffect::kStripByteCounts},    // StripByteCounts
    {284, kShortOrLong, true, {1}, 1, TagEffect::kCheckOnly},      // PlanarConfiguration
    {292, kLong, true, {}, 0, TagEffect::kT4Options},              // T4Options
    {305, kAnyType, false, {}, 0, TagEffect::kSoftware},           // Software
    {317, kShortOrLong, true, {1, 2}, 2, TagEffect::kPredictor},   // Predictor
    {320, kAnyType, false, {}, 0, TagEffect::kColorMap},           // ColorMap
    {326, kAnyType, false, {}, 0, TagEffect::kFaxTag},             // BadFaxLines
    {327, kAnyType, false, {}, 0, TagEffect::kFaxTag},             // CleanFaxData
    {328, kAnyType, false, {}, 0, TagEffect::kFaxTag},             // ConsecutiveBadFaxLines
    {332, kShortOrLong, true, {}, 0, TagEffect::kInkSet},          // InkSet
    {339, kShortOrLong, true, {1}, 1, TagEffect::kCheckOnly},      // SampleFormat
    {33432, kAnyType, false, {}, 0, TagEffect::kCopyright},        // Copyright
};

const TagRule* FindRule(uint16_t tag) {
  for (const TagRule& rule : kTagRules) {
    if (rule.tag == tag) return &rule;
  }
  return nullptr;
}

bool Obeys(const TagRule& rule, const TiffEntry& e) {
  if (rule.single && e.count != 1) return false;
  if (rule.types != kAnyType && (e.type > 7 || (rule.types & (1 << e.type)) == 0)) return false;
  if (rule.allowedCount == 0) return true;
  const uint32_t v = e.Value();
  const auto* end = rule.allowed.begin() + rule.allowedCount;
  return std::find(rule.allowed.begin(), end, v) != end;
}

bool IsShortOrLong(const TiffEntry& e) { return e.type == kTiffShort || e.type == kTiffLong; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pages

bool CTiffCodec::Load(int32_t imageIndex) {
  CTiffFile file;
  if (!file.Open(owner->fileName.c_str())) return false;
  owner->Clear();
  return ReadPage(file, imageIndex);
}

bool CTiffCodec::LoadNext() {
  if (owner->currentImage >= owner->imageCount) return false;
  return Load(owner->currentImage + 1);
}

bool CTiffCodec::GoToImage(int32_t imageIndex) {
  if (imageIndex == owner->currentImage) return true;
  return Load(imageIndex);
}

bool CTiffCodec::Save(const char* /*fileName*/, float /*compressionRatio*/) { return CannotSave(); }

bool CTiffCodec::NextDirectoryOffset(CTiffFile& file, uint32_t& offset) {
  if (offset == 0) return false;
  uint16_t count;
  if (!file.ReadU16(offset, count)) return false;
  return file.ReadU32(uint64_t{offset} + 2 + uint64_t{12} * count, offset);
}

bool CTiffCodec::CountPages(CTiffFile& file, uint32_t firstOffset, std::vector<uint32_t>& pages) {
  owner->imageCount = 0;
  pages.clear();
  // A chain that comes back to a directory already seen ends there: the pages before stay
  // readable.
  std::unordered_set<uint32_t> visited;
  uint32_t offset = firstOffset;
  while (offset != 0 && pages.size() < kMaxPages && visited.insert(offset).second) {
    pages.push_back(offset);
    ++owner->imageCount;
    if (!NextDirectoryOffset(file, offset)) return false;
  }
  return true;
}

bool CTiffCodec::ReadPage(CTiffFile& file, int32_t imageIndex) {
  const int64_t fileSize = file.Size();
  if (fileSize < 0) return false;
  uint8_t header[8];
  if (!file.ReadAt(0, header, sizeof header)) return false;
  if (header[0] == 'I' && header[1] == 'I') {
    littleEndian = true;
  } else if (header[0] == 'M' && header[1] == 'M') {
    littleEndian = false;
  } else {
    return false;
  }
  file.littleEndian = littleEndian;
  const uint16_t magic = file.U16(header + 2);
  const uint32_t firstOffset = file.U32(header + 4);
  if (magic != 42 || firstOffset < 8 || firstOffset >= fileSize) return false;

  // The chain is counted once per file; a chain that could not be counted is counted again.
  const platform::File::Stamp stamp = file.Stamp();
  if (chain_.path != owner->fileName || !(chain_.stamp == stamp) ||
      chain_.firstOffset != firstOffset || chain_.pages.empty()) {
    chain_ = PageChain();
    if (!CountPages(file, firstOffset, chain_.pages)) {
      chain_ = PageChain();
      return false;
    }
    chain_.path = owner->fileName;
    chain_.stamp = stamp;
    chain_.firstOffset = firstOffset;
  }
  const std::vector<uint32_t>& pages = chain_.pages;
  owner->imageCount = static_cast<int32_t>(pages.size());
  const size_t page = imageIndex < 0 ? 0 : static_cast<size_t>(imageIndex);
  if (page >= pages.size()) return false;
  const uint32_t offset = pages[page];
  if (offset < 8 || offset >= fileSize) return false;

  TiffDirectory dir;
  if (!ReadDirectory(file, offset, dir) || !CheckDirectory(file, dir)) return false;

  const StripReadResult strips = ReadStrips(file, dir, *owner);
  if (!strips.ok || strips.rowsDone != dir.height) return false;

  auto text = [&](const std::optional<TiffEntry>& entry) -> std::optional<std::string> {
    return entry ? ReadAsciiValue(file, *entry) : std::nullopt;
  };
  owner->documentName = text(dir.documentName);
  owner->imageDescription = text(dir.imageDescription);
  owner->imageCopyright = text(dir.copyright);
  owner->software = text(dir.software);
  owner->currentImage = static_cast<int32_t>(page);
  return true;
}

bool CTiffCodec::ReadDirectory(CTiffFile& file, uint32_t offset, TiffDirectory& dir) {
  uint16_t count;
  if (!file.ReadU16(offset, count)) return false;
  std::vector<uint8_t> raw(size_t{12} * count);
  if (!file.ReadAt(uint64_t{offset} + 2, raw.data(), raw.size())) return false;

  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + 12 * i;
    TiffEntry e;
    e.tag = LoadU16LE(p);
    e.type = LoadU16LE(p + 2);
    e.count = LoadU32LE(p + 4);
    std::memcpy(e.value, p + 8, 4);
    NormalizeEntry(e, littleEndian);

    const TagRule* rule = FindRule(e.tag);
    if (rule == nullptr) continue;  // not a tag this reader needs
    if (!Obeys(*rule, e)) return false;
    const uint32_t v = e.Value();
    switch (rule->effect) {
      case TagEffect::kWidth:
        dir.width = v;
        owner->width = static_cast<int32_t>(v);
        break;
      case TagEffect::kHeight:
        dir.height = v;
        owner->height = static_cast<int32_t>(v);
        break;
      case TagEffect::kBitsPerSample: dir.bitsPerSampleEntry = e; break;
      case TagEffect::kCompression: dir.compression = v; break;
      case TagEffect::kPhotometric:
        dir.photometric = v;
        dir.photometricPresent = true;
        dir.photometricEntry = e;
        break;
      case TagEffect::kFillOrder: dir.fillOrder = v; break;
      case TagEffect::kDocumentName: dir.documentName = e; break;
      case TagEffect::kImageDescription: dir.imageDescription = e; break;
      case TagEffect::kStripOffsets: dir.stripOffsets = e; break;
      case TagEffect::kOrientation: dir.orientation = v; break;
      case TagEffect::kRowsPerStrip: dir.rowsPerStrip = v; break;
      case TagEffect::kStripByteCounts: dir.stripByteCounts = e; break;
      case TagEffect::kT4Options: dir.t4Options = v; break;
      case TagEffect::kSoftware: dir.software = e; break;
      case TagEffect::kPredictor: dir.predictor = v; break;
      case TagEffect::kColorMap: dir.colorMap = e; break;
      case TagEffect::kFaxTag: dir.faxTagsSeen = true; break;
      case TagEffect::kInkSet: dir.inkSet = v; break;
      case TagEffect::kCopyright: dir.copyright = e; break;
      case TagEffect::kCheckOnly: break;
    }
  }
  return true;
}

bool CTiffCodec::CheckDirectory(CTiffFile& file, TiffDirectory& dir) {
  if (dir.width == 0 || dir.height == 0) return false;

  if (!dir.stripOffsets || !IsShortOrLong(*dir.stripOffsets)) return false;
  const TiffEntry& offsets = *dir.stripOffsets;
  if (dir.stripByteCounts) {
    if (!IsShortOrLong(*dir.stripByteCounts) || dir.stripByteCounts->count != offsets.count) {
      return false;
    }
  } else {
    // One strip without a byte count runs to the end of the file.
    const int64_t fileSize = file.Size();
    if (offsets.count != 1 || offsets.type != kTiffLong) return false;
    if (fileSize < 0 || fileSize >= (int64_t{1} << 32) || fileSize <= offsets.Value()) return false;
    TiffEntry counts;
    counts.tag = 279;
    counts.type = kTiffLong;
    counts.count = 1;
    StoreU32LE(counts.value, static_cast<uint32_t>(fileSize - offsets.Value()));
    dir.stripByteCounts = counts;
  }

  if (dir.rowsPerStrip == 0) {
    if (offsets.count == 0 || dir.height % offsets.count != 0) return false;
    dir.rowsPerStrip = dir.height / offsets.count;
  }

  if (!dir.bitsPerSampleEntry) {
    dir.bitsPerSample = 1;
  } else {
    const TiffEntry& bps = *dir.bitsPerSampleEntry;
    if (bps.count == 1) {
      const uint32_t v = bps.Value();
      if (v != 1 && v != 2 && v != 4 && v != 8) return false;
      dir.bitsPerSample = v;
    } else if (bps.count == 3 || bps.count == 4) {
      if (bps.type != kTiffShort) return false;
      uint8_t raw[8];
      if (!file.ReadAt(bps.Offset(), raw, 2 * bps.count)) return false;
      const uint16_t first = file.U16(raw);
      for (uint32_t i = 1; i < bps.count; ++i) {
        if (file.U16(raw + 2 * i) != first) return false;
      }
      if (bps.count == 3 && first == 8) {
        dir.bitsPerSample = 24;
      } else if (bps.count == 3 && first == 16) {
        dir.bitsPerSample = 48;
      } else if (bps.count == 4 && first == 8) {
        dir.bitsPerSample = 32;
      } else {
        return false;
      }
    } else {
      return false;
    }
  }

  if (dir.photometricPresent) {
    if (!IsShortOrLong(*dir.photometricEntry)) return false;
    const uint32_t bpp = dir.bitsPerSample;
    switch (dir.photometric) {
      case 0:  // WhiteIsZero
      case 1:  // BlackIsZero
        if (bpp != 1 && bpp != 4 && bpp != 8) return false;
        dir.needsColorTable = true;
        break;
      case 2: break;  // RGB
      case 3:         // palette
        // A colour map belongs to pages of up to 8 bits; deeper pages would ask for tables of
        // millions of entries that no pixel could use.
        if (bpp > 8 || !dir.colorMap || dir.colorMap->count == 0 ||
            dir.colorMap->count != 3 * (uint32_t{1} << bpp)) {
          return false;
        }
        dir.needsColorTable = true;
        break;
      case 5:  // separated (CMYK)
        if (dir.inkSet != 1 || bpp != 32) return false;
        break;
      default: return false;
    }
  }

  if (dir.orientation != 1) return false;

  // The fax decoders write one bit per pixel; a deeper page would get rows of the wrong size.
  if ((dir.compression == 3 || dir.compression == 4) && dir.bitsPerSample != 1) return false;
  return true;
}

}  // namespace pelmor
