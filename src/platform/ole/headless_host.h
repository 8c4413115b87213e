// A container without a screen for one control: a headless window host and a site with settable
// ambient properties that records the sizes the control asks for (and grants them, or refuses
// when told to) and the dialogs it asks to run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ole/control_site.h"
#include "platform/ole/ole_control.h"
#include "platform/window/headless_window.h"

namespace pelmor::ole {

class HeadlessHost : public platform::HeadlessWindowHost, public ControlSite {
 public:
  struct SizeRequest {
    int32_t width;
    int32_t height;
    bool granted;
  };

  std::optional<OLE_COLOR> AmbientBackColor() override { return ambientBackColor; }
  std::optional<OLE_COLOR> AmbientForeColor() override { return ambientForeColor; }
  std::optional<FontDesc> AmbientFont() override { return ambientFont; }
  std::optional<bool> AmbientUserMode() override { return ambientUserMode; }
  const SystemColorTable& SystemColors() override { return systemColors; }
  platform::Clock& GetClock() override { return clock != nullptr ? *clock : platform::RealClock(); }
  // Granted when size requests are allowed and both sides are within maxSide: the window then
  // takes the new size at once.
  bool RequestControlSize(int32_t width, int32_t height) override;
  // Records the dialog's caption and ends it at once (result -1: nobody saw it).
  int32_t RunModalDialog(const platform::DialogTemplate& dialog, platform::DialogController&) override {
    dialogs.emplace_back(dialog.caption);
    return -1;
  }
  // Records the frame's caption and its pages' captions.
  bool RunPropertyFrame(PropertyFrame& frame) override;

  // Puts the control in this host: the site, a new instance's stock properties, then its window
  // of width x height. False when the window could not be created.
  bool Embed(COleControl& control, int32_t width, int32_t height);

  // Ambient properties (nothing: the container has none).
  std::optional<OLE_COLOR> ambientBackColor;
  std::optional<OLE_COLOR> ambientForeColor;
  std::optional<FontDesc> ambientFont;
  std::optional<bool> ambientUserMode;
  SystemColorTable systemColors = DefaultSystemColors();
  // The animation's clock; null for the real one.
  platform::Clock* clock = nullptr;
  // Size requests: whether they are granted, up to which side.
  bool allowResize = true;
  int32_t maxSide = 16384;
  std::vector<SizeRequest> sizeRequests;
  std::vector<std::string> dialogs;  // the captions of the dialogs asked for, in order
  std::vector<std::vector<std::string>> propertyFrames;  // per frame: its caption, then its pages'

};

}  // namespace pelmor::ole
