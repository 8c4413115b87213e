// pelmor render IN OUT --size WxH [--stretch|--no-stretch] [--halign N] [--valign N] [--frame N]
//                      [--back-color RRGGBB] [--ambient RRGGBB] [--caption TEXT]
//                      [--fore-color RRGGBB] [--control 1|2]
// Puts a control in a headless window of that size (a container that keeps the size), opens IN in
// it and lets its paint run; the window's pixels are written as a 24-bit image.
#include <cstdio>
#include <optional>
#include <string>

#include "cli_options.h"
#include "commands.h"
#include "control/headless_control.h"
#include "window_image.h"

namespace pelmor::cli {

namespace {

using namespace ole;

struct RenderOptions {
  int32_t width = 0;
  int32_t height = 0;
  int generation = 2;
  bool stretch = true;
  int32_t hAlignment = 0;
  int32_t vAlignment = 0;
  int32_t frame = 0;
  uint32_t back = 0xFFFFFF;     // colour references
  uint32_t ambient = 0xFFFFFF;
  std::optional<uint32_t> fore;
  std::optional<std::string> caption;
};

RenderOptions ParseOptions(const Arguments& a) {
  RenderOptions o;
  const auto size = a.Value("size");
  if (!size) throw UsageError{"render needs --size WxH"};
  if (!ParseWindowSize(*size, o.width, o.height)) {
    throw UsageError{"--size needs WxH with positive sides, not '" + *size + "'"};
  }
  if (a.Has("stretch") && a.Has("no-stretch")) {
    throw UsageError{"--stretch and --no-stretch exclude each other"};
  }
  o.stretch = !a.Has("no-stretch");
  o.hAlignment = a.IntOr("halign", 0);
  o.vAlignment = a.IntOr("valign", 0);
  o.frame = a.IntOr("frame", 0);
  o.back = a.ColorOr("back-color", 0xFFFFFF);
  o.ambient = a.ColorOr("ambient", 0xFFFFFF);
  if (a.Has("fore-color")) o.fore = a.ColorOr("fore-color", 0);
  o.caption = a.Value("caption");
  const int32_t control = a.IntOr("control", 2);
  if (control != 1 && control != 2) throw UsageError{"--control needs 1 or 2"};
  o.generation = control;
  return o;
}

// A property set by name; the values here are always accepted.
void Put(CPelmorCtrl& control, const char* name, Variant value) {
  const Variant args[] = {std::move(value)};
  InvokeByName(control, name, DISPATCH_PROPERTYPUT, args);
}

}  // namespace

int RunRender(const std::vector<std::string>& args) {
  Arguments a(args,
              {"size", "halign", "valign", "frame", "back-color", "ambient", "caption", "fore-color",
               "control"},
              {"stretch", "no-stretch"});
  if (a.Positional().size() != 2) throw UsageError{"render takes an input and an output file"};
  const std::string& in = a.Positional()[0];
  const std::string& out = a.Positional()[1];
  const RenderOptions o = ParseOptions(a);
  if (o.width > platform::WindowModel::kMaxSide || o.height > platform::WindowModel::kMaxSide) {
    std::fprintf(stderr, "pelmor: a window of %dx%d cannot be painted\n", o.width, o.height);
    return kExitSaveFailed;
  }

  HeadlessControl hc;
  hc.host.ambientBackColor = o.ambient;
  hc.host.allowResize = false;  // the window keeps the size asked for
  if (!hc.Create(o.generation, o.width, o.height)) {
    std::fprintf(stderr, "pelmor: a window of %dx%d cannot be painted\n", o.width, o.height);
    return kExitSaveFailed;
  }
  CPelmorCtrl& control = hc.Control();
  Put(control, "SlideShow", Variant::Bool(false));  // one still picture
  Put(control, "StretchImage", Variant::Bool(o.stretch));
  Put(control, "HAlignment", Variant::I2(static_cast<int16_t>(o.hAlignment)));
  Put(control, "VAlignment", Variant::I2(static_cast<int16_t>(o.vAlignment)));
  Put(control, "BackColor", Variant::UI4(o.back));
  if (o.fore) Put(control, "ForeColor", Variant::UI4(*o.fore));
  if (o.caption) Put(control, "Caption", Variant::Text(*o.caption));
  // As OpenImage does, for either control: the path, then the image asked for.
  control.StopAnimation();
  control.filePath = in;
  control.LoadFile(control.filePath, o.frame);
  const bool opened = control.IsOpen();

  hc.host.Paint();
  const platform::Surface& client = hc.host.Window().BackingSurface();
  if (!client || client.Width() != o.width || client.Height() != o.height) {
    std::fprintf(stderr, "pelmor: a window of %dx%d cannot be painted\n", o.width, o.height);
    return opened ? kExitSaveFailed : kExitNotOpened;
  }
  const bool written = WriteSurface(hc.host.Window().Compose(), out, control.doc.compressionRatio);
  if (!opened) {
    std::fprintf(stderr, "pelmor: %s cannot be opened as an image\n", in.c_str());
    return kExitNotOpened;
  }
  if (!written) {
    std::fprintf(stderr, "pelmor: %s could not be written (the extension picks bmp, jpg/jpeg or tga)\n",
                 out.c_str());
    return kExitSaveFailed;
  }
  return kExitOk;
}

}  // namespace pelmor::cli
