#include "control/control_fixtures.h"

#include <algorithm>

#include "codecs/bmp_fixtures.h"
#include "platform/drawing_fixtures.h"
#include "platform/text_encoding.h"

namespace pelmor::test {

using namespace ole;

std::string WriteBmp(const TempDir& dir, const std::string& name,
                     const std::vector<std::vector<uint32_t>>& rows) {
  const DibRecipe d = TrueColorSpec(rows);
  BmpRecipe s;
  s.width = d.width;
  s.height = d.height;
  s.pixels = d.pixels;
  const std::string path = dir.File(name);
  WriteFile(path, MakeBmp(s));
  return path;
}

std::string SolidBmp(const TempDir& dir, const std::string& name, int32_t w, int32_t h,
                     uint32_t color) {
  return WriteBmp(dir, name, std::vector<std::vector<uint32_t>>(
                                 static_cast<size_t>(h), std::vector<uint32_t>(static_cast<size_t>(w), color)));
}

InvokeResult ControlHarness::Get(const std::string& name) {
  return InvokeByName(Control(), name, DISPATCH_PROPERTYGET);
}

InvokeResult ControlHarness::Put(const std::string& name, Variant value) {
  const Variant args[] = {std::move(value)};
  return InvokeByName(Control(), name, DISPATCH_PROPERTYPUT, args);
}

InvokeResult ControlHarness::Call(const std::string& name, std::vector<Variant> args) {
  return InvokeByName(Control(), name, DISPATCH_METHOD, args);
}

std::string ControlHarness::GetText(const std::string& name) {
  return platform::BytesFromUtf16(Get(name).value.GetBstr());
}

int64_t ControlHarness::GetNumber(const std::string& name) {
  Variant out;
  if (FAILED(ChangeType(Get(name).value, VT_R8, out))) return -999999;
  return static_cast<int64_t>(out.GetR8());
}

bool ControlHarness::GetBool(const std::string& name) { return Get(name).value.GetBool() != 0; }

platform::RECT ControlHarness::Extent(uint32_t background) {
  const platform::Surface& s = hc.host.Window().BackingSurface();
  platform::RECT r{s.Width(), s.Height(), 0, 0};
  for (int32_t y = 0; y < s.Height(); ++y) {
    for (int32_t x = 0; x < s.Width(); ++x) {
      if (s.Pixel(x, y) == background) continue;
      r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1), std::max(r.bottom, y + 1)};
    }
  }
  return r;
}

}  // namespace pelmor::test
