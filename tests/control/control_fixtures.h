// A control in a headless container for the tests, driven by name as a script would, and bitmap
// files to show in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "control/headless_control.h"
#include "platform/font_engine.h"
#include "test_support.h"

namespace pelmor::test {

// A 24-bit bitmap file of the given rows (0x00RRGGBB, top row first).
std::string WriteBmp(const TempDir& dir, const std::string& name,
                     const std::vector<std::vector<uint32_t>>& rows);
// A w x h bitmap file of one colour.
std::string SolidBmp(const TempDir& dir, const std::string& name, int32_t w, int32_t h,
                     uint32_t color);

class ControlHarness {
 public:
  // The host draws text with the fixed test font; set host options before Create.
  ControlHarness() { hc.host.fontEngine = &font; }
  bool Create(int generation, int32_t width, int32_t height) {
    return hc.Create(generation, width, height);
  }
  CPelmorCtrl& Control() { return hc.Control(); }
  ole::HeadlessHost& Host() { return hc.host; }

  ole::InvokeResult Get(const std::string& name);
  ole::InvokeResult Put(const std::string& name, ole::Variant value);
  ole::InvokeResult Call(const std::string& name, std::vector<ole::Variant> args = {});
  // Puts a text (bytes in the module's narrow encoding).
  ole::InvokeResult PutText(const std::string& name, const std::string& bytes) {
    return Put(name, ole::Variant::Text(bytes));
  }
  // A property read as bytes, as a number, as a truth value.
  std::string GetText(const std::string& name);
  int64_t GetNumber(const std::string& name);
  bool GetBool(const std::string& name);

  // Paints what is invalid and returns the client area's pixel at (x, y).
  void Paint() { hc.host.Paint(); }
  uint32_t Pixel(int32_t x, int32_t y) { return hc.host.Window().BackingSurface().Pixel(x, y); }
  // The smallest rectangle holding every client pixel that differs from `background`.
  platform::RECT Extent(uint32_t background);

  platform::FixedFontEngine font;
  HeadlessControl hc;
};

}  // namespace pelmor::test
