// The container's side of a control: the ambient properties it offers, the size it lets the
// control have, the notifications of bound properties, and the dialogs it runs for the control.
// Every member has the default of a container that offers nothing.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/clock.h"
#include "platform/ole/hresult.h"
#include "platform/ole/ole_color.h"
#include "platform/ole/ole_font.h"
#include "platform/window/dialog_window.h"

namespace pelmor::ole {

class COleControl;
class PropertyFrame;

class ControlSite {
 public:
  virtual ~ControlSite() = default;

  // Ambient properties; nothing when the container has no value (the control then uses its own
  // fallback: the system window and window-text colours, the default font, user mode).
  virtual std::optional<OLE_COLOR> AmbientBackColor() { return std::nullopt; }
  virtual std::optional<OLE_COLOR> AmbientForeColor() { return std::nullopt; }
  virtual std::optional<FontDesc> AmbientFont() { return std::nullopt; }
  // False in a designer (design mode), true when the control runs for a user.
  virtual std::optional<bool> AmbientUserMode() { return std::nullopt; }

  // The clock the control's animation runs by (the real one unless the container has its own).
  virtual platform::Clock& GetClock() { return platform::RealClock(); }

  // The colours system colour indices stand for on the container's platform.
  virtual const SystemColorTable& SystemColors() { return DefaultSystemColors(); }

  // The control asks to be width x height pixels (its outer size). True when the container made it
  // so (it resizes the window itself); false when it refuses.
  virtual bool RequestControlSize(int32_t /*width*/, int32_t /*height*/) { return false; }

  // A property marked request-edit is about to change: false forbids the change.
  virtual bool OnRequestEdit(DISPID /*id*/) { return true; }
  // A bindable property changed.
  virtual void OnChanged(DISPID /*id*/) {}

  // Runs a dialog of the control modally over the container's window; the dialog's result, or -1
  // when the container cannot show dialogs.
  virtual int32_t RunModalDialog(const platform::DialogTemplate& /*dialog*/,
                                 platform::DialogController& /*controller*/) {
    return -1;
  }
  // Shows a property frame modally (the Properties verb); false when the container cannot.
  virtual bool RunPropertyFrame(PropertyFrame& /*frame*/) { return false; }
};

}  // namespace pelmor::ole
