// How the document picks a codec: by the file name's extension first, then by trying every codec
// in member order; and how it picks a writer: by the target's extension alone.
#include <strings.h>

#include <cstring>
#include <iterator>

#include "model/image_doc.h"

namespace pelmor {

namespace {

struct ExtensionRule {
  const char* text;
  size_t chars;  // only this many characters are compared, so "bmpx" counts as bmp
  CodecId codec;
};

constexpr ExtensionRule kOpenRules[] = {
    {"bmp", 3, CodecId::kBmp}, {"jpg", 3, CodecId::kJpeg}, {"jpeg", 4, CodecId::kJpeg},
    {"gif", 3, CodecId::kGif}, {"tif", 3, CodecId::kTiff}, {"png", 3, CodecId::kPng},
    {"tga", 3, CodecId::kTga},
};

constexpr CodecId kMemberOrder[] = {CodecId::kBmp,  CodecId::kJpeg, CodecId::kGif,
                                    CodecId::kTiff, CodecId::kPng,  CodecId::kTga};

struct SaveRule {
  const char* extension;  // compared whole
  CodecId codec;
};

constexpr SaveRule kSaveRules[] = {
    {"bmp", CodecId::kBmp},
    {"jpg", CodecId::kJpeg},
    {"jpeg", CodecId::kJpeg},
    {"tga", CodecId::kTga},
};

// The text after the last dot, or null when there is no dot.
const char* ExtensionOf(const char* name) {
  const char* dot = name != nullptr ? std::strrchr(name, '.') : nullptr;
  return dot != nullptr ? dot + 1 : nullptr;
}

}  // namespace

std::optional<CodecId> CodecForExtension(const char* fileName) {
  const char* ext = ExtensionOf(fileName);
  if (ext == nullptr) return std::nullopt;
  for (const ExtensionRule& rule : kOpenRules) {
    if (strncasecmp(ext, rule.text, rule.chars) == 0) return rule.codec;
  }
  return std::nullopt;
}

std::optional<CodecId> WriterForExtension(const char* fileName) {
  const char* ext = ExtensionOf(fileName);
  if (ext == nullptr) return std::nullopt;
  for (const SaveRule& rule : kSaveRules) {
    if (strcasecmp(ext, rule.extension) == 0) return rule.codec;
  }
  return std::nullopt;
}

const char* CodecName(CodecId id) {
  switch (id) {
    case CodecId::kBmp: return "bmp";
    case CodecId::kJpeg: return "jpeg";
    case CodecId::kGif: return "gif";
    case CodecId::kTiff: return "tiff";
    case CodecId::kPng: return "png";
    case CodecId::kTga: return "tga";
  }
  return "";
}

CImageCodec* CImageDoc::Codec(CodecId id) {
  switch (id) {
    case CodecId::kBmp: return &bmpCodec;
    case CodecId::kJpeg: return &jpegCodec;
    case CodecId::kGif: return &gifCodec;
    case CodecId::kTiff: return &tiffCodec;
    case CodecId::kPng: return &pngCodec;
    case CodecId::kTga: return &tgaCodec;
    default: return nullptr;
  }
}

std::optional<CodecId> CImageDoc::CurrentCodecId() const {
  if (currentCodec == nullptr) return std::nullopt;
  for (CodecId id : kMemberOrder) {
    if (const_cast<CImageDoc*>(this)->Codec(id) == currentCodec) return id;
  }
  return std::nullopt;
}

bool CImageDoc::SelectAndLoad(int32_t imageIndex) {
  if (ExtensionOf(fileName.c_str()) == nullptr) return false;

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
  for (CodecId id : kMemberOrder) {
    CImageCodec* codec = Codec(id);
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
