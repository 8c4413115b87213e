// pelmor info IN [--frame N] [--back-color RRGGBB] [--json]
#include <cstdio>
#include <string>

#include "cli_options.h"
#include "codecs/codec_table.h"
#include "commands.h"
#include "json_text.h"

namespace pelmor::cli {

namespace {

std::string CodecText(const CImageDoc& doc) {
  auto id = doc.CurrentCodecId();
  return id ? CodecName(*id) : "";
}

void PrintJson(const CImageDoc& doc, bool ok) {
  const std::string codec = CodecText(doc);
  std::printf(
      "{\"ok\": %s, \"codec\": %s, \"width\": %d, \"height\": %d, \"bitCount\": %s, "
      "\"imageCount\": %d, \"currentImage\": %d, \"delayTime\": %d, \"documentName\": %s, "
      "\"imageDescription\": %s, \"imageCopyright\": %s, \"software\": %s}\n",
      ok ? "true" : "false", ok ? JsonString(codec).c_str() : "null", doc.width, doc.height,
      doc.header != nullptr ? std::to_string(doc.header->biBitCount).c_str() : "null",
      doc.imageCount, doc.currentImage, doc.delayTime, JsonString(doc.documentName).c_str(),
      JsonString(doc.imageDescription).c_str(), JsonString(doc.imageCopyright).c_str(),
      JsonString(doc.software).c_str());
}

void PrintText(const std::string& path, const CImageDoc& doc, bool ok) {
  if (!ok) {
    std::printf("%s: cannot be opened\n", path.c_str());
    return;
  }
  std::printf("%s\n", path.c_str());
  std::printf("  format        %s\n", CodecText(doc).c_str());
  std::printf("  size          %d x %d, %u bits per pixel\n", doc.width, doc.height,
              doc.header->biBitCount);
  std::printf("  image         %d of %d\n", doc.currentImage + 1, doc.imageCount);
  if (doc.delayTime != 0) std::printf("  delay         %d ms\n", doc.delayTime);
  const std::pair<const char*, const std::optional<std::string>*> texts[] = {
      {"document name", &doc.documentName},
      {"description", &doc.imageDescription},
      {"copyright", &doc.imageCopyright},
      {"software", &doc.software},
  };
  for (const auto& [label, value] : texts) {
    if (*value) std::printf("  %-13s %s\n", label, BytesAsUtf8(**value).c_str());
  }
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  Arguments a(args, {"frame", "back-color"}, {"json"});
  if (a.Positional().size() != 1) throw UsageError{"info takes one input file"};
  const std::string& path = a.Positional()[0];
  const int32_t frame = a.IntOr("frame", 0);
  const uint32_t back = a.ColorOr("back-color", 0xFFFFFF);

  CImageDoc doc;
  const bool ok = OpenDocument(doc, path, frame, back);
  if (a.Has("json")) {
    PrintJson(doc, ok);
  } else {
    PrintText(path, doc, ok);
  }
  return ok ? kExitOk : kExitNotOpened;
}

int PrintFormats() {
  CImageDoc doc;
  for (CodecId id : {CodecId::kBmp, CodecId::kJpeg, CodecId::kGif, CodecId::kTiff, CodecId::kPng,
                     CodecId::kTga}) {
    if (doc.Codec(id) != nullptr) std::printf("%s\n", CodecName(id));
  }
  return kExitOk;
}

bool OpenDocument(CImageDoc& doc, const std::string& path, int32_t frame, uint32_t backColor) {
  doc.backColor = backColor;
  return doc.Open(path.c_str(), frame);
}

}  // namespace pelmor::cli
