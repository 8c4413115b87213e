#include "model/image_doc.h"

#include <cstring>
#include <iterator>
#include <new>
#include <vector>

#include "codecs/codec_table.h"
#include "platform/checked_size.h"
#include "platform/system_info.h"

namespace pelmor {

CImageDoc::CImageDoc() : halftoneStretch(platform::HalftoneStretchAvailable()) {
  for (const CodecEntry& c : Codecs()) codecs_[static_cast<size_t>(c.id)] = c.make(this);
}

CImageDoc::~CImageDoc() { Clear(); }

bool CImageDoc::Open(const char* name, int32_t imageIndex) {
  currentCodec = nullptr;
  Clear();
  // The whole path is kept: a shortened path would name another file.
  fileName = name != nullptr ? name : "";
  budget.ResetPeak();
  bool ok = false;
  try {
    ok = SelectAndLoad(imageIndex) && BuildPalette();
  } catch (...) {
    // An allocation failure (or anything else thrown) inside a codec is a failed open.
    ok = false;
  }
  if (!ok) Clear();
  return ok;
}

void CImageDoc::Clear() {
  width = 0;
  height = 0;
  delayTime = 0;
  currentImage = 0;
  imageCount = 0;
  FreeScaledCache();
  block.Reset();
  bits = nullptr;
  header = nullptr;
  if (palette != nullptr) {
    platform::DeleteObject(palette);
    palette = nullptr;
  }
  disposal.Release();
  documentName.reset();
  imageDescription.reset();
  imageCopyright.reset();
  software.reset();
}

bool CImageDoc::NextImage() {
  if (currentCodec == nullptr || imageCount <= 0 || !HasImage() || currentImage + 1 >= imageCount) {
    return false;
  }
  FreeScaledCache();
  budget.ResetPeak();
  if (currentCodec->LoadNext()) return true;
  Clear();
  return false;
}

bool CImageDoc::ShowImage(int32_t imageIndex) {
  if (currentCodec == nullptr || imageCount <= 0 || !HasImage() || imageIndex >= imageCount) {
    return false;
  }
  FreeScaledCache();
  budget.ResetPeak();
  if (currentCodec->GoToImage(imageIndex)) return true;
  Clear();
  return false;
}

bool CImageDoc::Save(const char* name) {
  budget.ResetPeak();
  return SaveByExtension(name);
}

bool CImageDoc::BuildPalette() {
  int32_t n = ColorCount();
  if (n < 0) return false;
  // The table must lie inside the image block: a header may claim far more colours than the
  // file holds.
  if (n > 0) {
    auto start = reinterpret_cast<const uint8_t*>(header) + DibColorTableOffset(header);
    CheckedSize end = CheckedSize(start - block.Data()) + CheckedSize(n) * 4;
    if (!end.AtMost(block.Size())) return false;
  }
  if (palette != nullptr) {
    if (!platform::DeleteObject(palette)) return false;
    palette = nullptr;
  }
  if (n == 0) return true;
  const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(header) +
                                                       DibColorTableOffset(header));
  std::vector<platform::PALETTEENTRY> entries(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    entries[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
  }
  palette = platform::CreatePalette(0x300, entries.data(), static_cast<uint32_t>(n));
  return palette != nullptr;
}

void CImageDoc::FreeScaledCache() {
  scaledBlock.Reset();
  scaledBits = nullptr;
  scaledHeader = nullptr;
  scaledWidth = 0;
  scaledHeight = 0;
}

uint8_t* CImageDoc::AllocateBlock(uint64_t size) {
  FreeScaledCache();
  block.Reset();
  header = nullptr;
  bits = nullptr;
  block = ImageBlock::Allocate(budget, size);
  return block.Data();
}

bool CImageDoc::CreateDib(int32_t dibWidth, int32_t dibHeight, uint16_t bitCount,
                          uint32_t tableEntries) {
  if (dibWidth <= 0 || dibHeight <= 0) return false;
  auto stride = DibRowBytesChecked(static_cast<uint64_t>(dibWidth), bitCount);
  if (!stride) return false;
  CheckedSize imageBytes = CheckedSize(*stride) * dibHeight;
  CheckedSize total = CheckedSize(sizeof(BITMAPINFOHEADER)) + CheckedSize(tableEntries) * 4 +
                      imageBytes;
  if (!imageBytes.FitsIn<uint32_t>() || !total.AtMost(budget.Cap())) return false;
  if (AllocateBlock(total.Value()) == nullptr) return false;
  header = reinterpret_cast<BITMAPINFOHEADER*>(block.Data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = dibWidth;
  header->biHeight = dibHeight;
  header->biPlanes = 1;
  header->biBitCount = bitCount;
  header->biCompression = BI_RGB;
  header->biSizeImage = static_cast<uint32_t>(imageBytes.Value());
  bits = block.Data() + sizeof(BITMAPINFOHEADER) + size_t{tableEntries} * 4;
  width = dibWidth;
  height = dibHeight;
  return true;
}

CImageCodec* CImageDoc::Codec(CodecId id) const {
  const auto i = static_cast<size_t>(id);
  return i < codecs_.size() ? codecs_[i].get() : nullptr;
}

std::optional<CodecId> CImageDoc::CurrentCodecId() const {
  if (currentCodec == nullptr) return std::nullopt;
  for (const CodecEntry& c : Codecs()) {
    if (Codec(c.id) == currentCodec) return c.id;
  }
  return std::nullopt;
}

bool CImageDoc::SelectAndLoad(int32_t imageIndex) {
  // A name without a dot opens with no codec at all.
  if (std::strrchr(fileName.c_str(), '.') == nullptr) return false;

  CImageCodec* tried = nullptr;
  if (auto id = CodecForExtension(fileName.c_str())) {
    tried = Codec(*id);
    if (tried != nullptr && tried->Load(imageIndex)) {
      currentCodec = tried;
      return true;
    }
  }
  // The document is not emptied between attempts: the readers that need an empty document
  // refuse one that a failed attempt left filled.
  for (const CodecEntry& c : Codecs()) {
    CImageCodec* codec = Codec(c.id);
    if (codec == nullptr || codec == tried) continue;
    if (codec->Load(imageIndex)) {
      currentCodec = codec;
      return true;
    }
  }
  return false;
}

bool CImageDoc::SaveByExtension(const char* name) {
  if (currentCodec == nullptr || imageCount <= 0 || !HasImage()) return false;
  auto id = WriterForExtension(name);
  CImageCodec* writer = id ? Codec(*id) : nullptr;
  if (writer == nullptr) return false;
  // The BMP writer takes no ratio.
  return writer->Save(name, *id == CodecId::kBmp ? 0.0f : compressionRatio);
}

}  // namespace pelmor
