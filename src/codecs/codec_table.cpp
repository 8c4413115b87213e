#include "codecs/codec_table.h"

#include <strings.h>

#include <cstring>

#include "codecs/bmp_codec.h"
#include "codecs/gif_codec.h"
#include "codecs/jpeg_codec.h"
#include "codecs/png_codec.h"
#include "codecs/tga_codec.h"
#include "codecs/tiff_codec.h"

namespace pelmor {

namespace {

template <class T>
std::unique_ptr<CImageCodec> Make(CImageDoc* owner) {
  return std::make_unique<T>(owner);
}

constexpr CodecEntry kCodecs[] = {
    {CodecId::kBmp, "bmp", {"bmp", nullptr}, true, Make<CBmpCodec>},
    {CodecId::kJpeg, "jpeg", {"jpg", "jpeg"}, true, Make<CJpegCodec>},
    {CodecId::kGif, "gif", {"gif", nullptr}, false, Make<CGifCodec>},
    {CodecId::kTiff, "tiff", {"tif", nullptr}, false, Make<CTiffCodec>},
    {CodecId::kPng, "png", {"png", nullptr}, false, Make<CPngCodec>},
    {CodecId::kTga, "tga", {"tga", nullptr}, true, Make<CTgaCodec>},
};
static_assert(std::size(kCodecs) == kCodecCount);

// The text after the last dot, or null when there is no dot.
const char* ExtensionOf(const char* name) {
  const char* dot = name != nullptr ? std::strrchr(name, '.') : nullptr;
  return dot != nullptr ? dot + 1 : nullptr;
}

}  // namespace

std::span<const CodecEntry> Codecs() { return kCodecs; }

const char* CodecName(CodecId id) {
  for (const CodecEntry& c : kCodecs) {
    if (c.id == id) return c.name;
  }
  return "";
}

std::optional<CodecId> CodecForExtension(const char* fileName) {
  const char* ext = ExtensionOf(fileName);
  if (ext == nullptr) return std::nullopt;
  for (const CodecEntry& c : kCodecs) {
    for (const char* e : c.extensions) {
      if (e != nullptr && strncasecmp(ext, e, std::strlen(e)) == 0) return c.id;
    }
  }
  return std::nullopt;
}

std::optional<CodecId> WriterForExtension(const char* fileName) {
  const char* ext = ExtensionOf(fileName);
  if (ext == nullptr) return std::nullopt;
  for (const CodecEntry& c : kCodecs) {
    if (!c.writes) continue;
    for (const char* e : c.extensions) {
      if (e != nullptr && strcasecmp(ext, e) == 0) return c.id;
    }
  }
  return std::nullopt;
}

}  // namespace pelmor
