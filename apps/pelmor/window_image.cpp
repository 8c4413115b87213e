#include "window_image.h"

#include <cstdlib>

#include "codecs/codec_table.h"
#include "model/image_doc.h"
#include "platform/window/window_model.h"

namespace pelmor::cli {

bool ParseWindowSize(const std::string& text, int32_t& width, int32_t& height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  auto side = [](const std::string& s, int32_t& out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 9) {
      return false;
    }
    out = static_cast<int32_t>(std::strtol(s.c_str(), nullptr, 10));
    return out > 0;
  };
  return side(text.substr(0, x), width) && side(text.substr(x + 1), height);
}

bool WriteSurface(const platform::Surface& surface, const std::string& path, float compressionRatio) {
  const auto id = WriterForExtension(path.c_str());
  if (!id || !surface) return false;
  CImageDoc out;
  CImageCodec* writer = out.Codec(*id);
  if (writer == nullptr || !out.CreateDib(surface.Width(), surface.Height(), 24, 0)) return false;
  const uint32_t stride = DibRowBytes(static_cast<uint32_t>(surface.Width()), 24);
  for (int32_t y = 0; y < surface.Height(); ++y) {
    const uint32_t* src = surface.Row(y);
    uint8_t* dst = out.bits + static_cast<size_t>(surface.Height() - 1 - y) * stride;
    for (int32_t x = 0; x < surface.Width(); ++x, dst += 3) {
      dst[0] = static_cast<uint8_t>(src[x]);
      dst[1] = static_cast<uint8_t>(src[x] >> 8);
      dst[2] = static_cast<uint8_t>(src[x] >> 16);
    }
  }
  return writer->Save(path.c_str(), compressionRatio);
}

}  // namespace pelmor::cli
