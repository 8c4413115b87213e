// A control as the module hands it out: the control of either generation in a headless
// container of its own (its window 320 x 240 pixels, user mode), reached through IDispatch for
// its members and IPelmorView for its window.
#pragma once

#include "module/automation_object.h"

namespace pelmor::module {

// Default outer size of a new control's window.
inline constexpr int32_t kDefaultViewWidth = 320;
inline constexpr int32_t kDefaultViewHeight = 240;
// The largest side SetSize accepts.
inline constexpr int32_t kMaxViewSide = 16384;

// A new control of generation 1 or 2 with one reference, as its IDispatch; E_FAIL when its window
// could not be made.
HRESULT NewControl(int generation, IDispatch** dispatch);

}  // namespace pelmor::module
