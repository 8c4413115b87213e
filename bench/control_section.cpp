// The control's paint: OnDraw of a 1920x1080 window showing the 4000x3000 picture (stretched,
// halftone), against the document's Draw alone into a surface of the same size and against Draw
// plus one window-sized copy (the target: OnDraw within 1.15 times that); and a repaint of the
// unchanged window through the down-scaled copy the document caches, against two window-sized
// copies (the target: within them).
#include <cstring>
#include <memory>
#include <vector>

#include "bench.h"
#include "control/headless_control.h"

namespace pelmor::bench {

namespace {

using namespace platform;
using namespace ole;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr size_t kWindowBytes = size_t{kWidth} * kHeight * 4;

struct Window {
  HeadlessControl hc;
  std::vector<uint8_t> from = std::vector<uint8_t>(kWindowBytes, 0x5A);
  std::vector<uint8_t> to = std::vector<uint8_t>(kWindowBytes, 0);
  Surface surface = Surface::Create(kWidth, kHeight);
};

std::shared_ptr<Window> Open(const std::string& path, bool halftone) {
  auto w = std::make_shared<Window>();
  w->hc.host.allowResize = false;
  if (!w->hc.Create(2, kWidth, kHeight)) return nullptr;
  CPelmorCtrl& c = w->hc.Control();
  const Variant off[] = {Variant::Bool(false)};
  InvokeByName(c, "SlideShow", DISPATCH_PROPERTYPUT, off);
  const Variant name[] = {Variant::Text(path)};
  InvokeByName(c, "FileName", DISPATCH_PROPERTYPUT, name);
  if (!c.IsOpen()) return nullptr;
  c.doc.halftoneStretch = halftone;
  return w;
}

size_t Paint(Window& w) {
  w.hc.Control().InvalidateControl(nullptr, false);
  w.hc.host.Paint();
  return w.hc.host.Window().BackingSurface() ? kWindowBytes : 0;
}

// The document's Draw alone, at the place and size the paint uses (the picture fills the height).
size_t DrawOnly(Window& w) {
  HDC dc = CreateDisplayDC(&w.surface);
  CImageDoc& doc = w.hc.Control().doc;
  const uint32_t h = kHeight, width = static_cast<uint32_t>(int64_t{doc.width} * kHeight / doc.height);
  doc.Draw(dc, 0, 0, width, h, true);
  DeleteDC(dc);
  return kWindowBytes;
}

size_t Copy(Window& w, int times) {
  for (int i = 0; i < times; ++i) std::memcpy(w.to.data(), w.from.data(), kWindowBytes);
  return w.to[kWindowBytes - 1] == 0x5A ? kWindowBytes : 0;
}

void Control(Session& s) {
  const std::string path = s.Image("rgb24.bmp");
  if (path.empty()) return;
  auto halftone = Open(path, true);
  auto cached = Open(path, false);
  if (halftone == nullptr || cached == nullptr) {
    s.Skip("control", "rgb24.bmp does not open in a control");
    return;
  }
  Case c;
  c.label = "control ondraw 1920x1080";
  c.floorBytes = kWindowBytes;
  c.ours = [halftone] { return Paint(*halftone); };
  c.peers.push_back({"draw", [halftone] { return DrawOnly(*halftone); }, {}});
  c.peers.push_back(
      {"draw+memcpy", [halftone] { return DrawOnly(*halftone) + Copy(*halftone, 1); }, {}});
  s.Add(std::move(c));

  Case r;
  r.label = "control repaint cached 1920x1080";
  r.floorBytes = kWindowBytes;
  r.ours = [cached] { return Paint(*cached); };
  r.peers.push_back({"2x-memcpy", [cached] { return Copy(*cached, 2); }, {}});
  r.peers.push_back({"first-paint",
                     [cached] {
                       cached->hc.Control().doc.FreeScaledCache();
                       return Paint(*cached);
                     },
                     {}});
  s.Add(std::move(r));
}

const Section kControl("control", Control);

}  // namespace

}  // namespace pelmor::bench
