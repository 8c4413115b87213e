// pelmor render IN OUT --size WxH [--stretch|--no-stretch] [--halign N] [--valign N] [--frame N]
//                      [--back-color RRGGBB] [--ambient RRGGBB]
// Paints what the control shows in a window of that size, as its paint does: into an off-screen
// bitmap filled with the ambient colour, the image placed by alignment and stretching and drawn by
// the document, then copied to the window; the window's pixels are written as a 24-bit image.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli_options.h"
#include "codecs/codec_table.h"
#include "commands.h"
#include "display/placement.h"
#include "platform/device_context.h"

namespace pelmor::cli {

namespace {

struct RenderOptions {
  int32_t width = 0;
  int32_t height = 0;
  bool stretch = true;
  int32_t hAlignment = 0;
  int32_t vAlignment = 0;
  uint32_t ambient = 0xFFFFFF;  // colour reference
};

// "WxH" with both sides positive.
bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
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

// The paint of one window: the ambient background, then the image, off screen, then one copy.
bool Paint(CImageDoc& doc, const RenderOptions& o, platform::Surface& window) {
  using namespace platform;
  HDC screen = CreateDisplayDC(&window);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, o.width, o.height);
  bool ok = screen != nullptr && memory != nullptr && bitmap != nullptr;
  if (ok) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const RECT r{0, 0, o.width, o.height};
    HBRUSH brush = CreateSolidBrush(o.ambient);
    FillRect(memory, &r, brush);
    PlacementRequest request;
    request.bounds = r;
    request.imageWidth = doc.width;
    request.imageHeight = doc.height;
    request.hAlignment = o.hAlignment;
    request.vAlignment = o.vAlignment;
    request.stretchImage = o.stretch;
    const ImagePlacement p = PlaceImage(request);
    doc.Draw(memory, p.x, p.y, static_cast<uint32_t>(p.width), static_cast<uint32_t>(p.height),
             true);
    ok = BitBlt(screen, 0, 0, o.width, o.height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(brush);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  if (screen != nullptr) DeleteDC(screen);
  return ok;
}

// Writes the window through the document's writers: the extension picks one.
bool Write(const platform::Surface& window, const std::string& path, float compressionRatio) {
  const auto id = WriterForExtension(path.c_str());
  if (!id) return false;
  CImageDoc out;
  CImageCodec* writer = out.Codec(*id);
  if (writer == nullptr || !out.CreateDib(window.Width(), window.Height(), 24, 0)) return false;
  const uint32_t stride = DibRowBytes(static_cast<uint32_t>(window.Width()), 24);
  for (int32_t y = 0; y < window.Height(); ++y) {
    const uint32_t* src = window.Row(y);
    uint8_t* dst = out.bits + static_cast<size_t>(window.Height() - 1 - y) * stride;
    for (int32_t x = 0; x < window.Width(); ++x, dst += 3) {
      dst[0] = static_cast<uint8_t>(src[x]);
      dst[1] = static_cast<uint8_t>(src[x] >> 8);
      dst[2] = static_cast<uint8_t>(src[x] >> 16);
    }
  }
  return writer->Save(path.c_str(), compressionRatio);
}

}  // namespace

int RunRender(const std::vector<std::string>& args) {
  Arguments a(args, {"size", "halign", "valign", "frame", "back-color", "ambient"},
              {"stretch", "no-stretch"});
  if (a.Positional().size() != 2) throw UsageError{"render takes an input and an output file"};
  const std::string& in = a.Positional()[0];
  const std::string& out = a.Positional()[1];
  RenderOptions o;
  const auto size = a.Value("size");
  if (!size) throw UsageError{"render needs --size WxH"};
  if (!ParseSize(*size, o.width, o.height)) {
    throw UsageError{"--size needs WxH with positive sides, not '" + *size + "'"};
  }
  if (a.Has("stretch") && a.Has("no-stretch")) {
    throw UsageError{"--stretch and --no-stretch exclude each other"};
  }
  o.stretch = !a.Has("no-stretch");
  o.hAlignment = a.IntOr("halign", 0);
  o.vAlignment = a.IntOr("valign", 0);
  o.ambient = a.ColorOr("ambient", 0xFFFFFF);
  const int32_t frame = a.IntOr("frame", 0);
  const uint32_t back = a.ColorOr("back-color", 0xFFFFFF);

  CImageDoc doc;
  if (!OpenDocument(doc, in, frame, back)) {
    std::fprintf(stderr, "pelmor: %s cannot be opened as an image\n", in.c_str());
    return kExitNotOpened;
  }
  platform::Surface window = platform::Surface::Create(o.width, o.height);
  if (!window || !Paint(doc, o, window)) {
    std::fprintf(stderr, "pelmor: a window of %dx%d cannot be painted\n", o.width, o.height);
    return kExitSaveFailed;
  }
  if (!Write(window, out, doc.compressionRatio)) {
    std::fprintf(stderr, "pelmor: %s could not be written (the extension picks bmp, jpg/jpeg or tga)\n",
                 out.c_str());
    return kExitSaveFailed;
  }
  return kExitOk;
}

}  // namespace pelmor::cli
