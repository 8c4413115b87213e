// The small library that puts dialog panels inside a host's own widgets (libpelmor-qtpanels.so,
// next to the module). The module loads it only when a host shows a property page, so that the
// module itself needs no window system. The library makes a panel from a template as a child of
// the host's widget, with the controller behind it, and starts it; it is closed by the same
// library.
#pragma once

#include "platform/window/dialog_window.h"

namespace pelmor::platform {

inline constexpr char kPanelLibraryName[] = "libpelmor-qtpanels.so";
inline constexpr char kOpenPanelSymbol[] = "PelmorOpenDialogPanel";
inline constexpr char kClosePanelSymbol[] = "PelmorCloseDialogPanel";

// Called with its context when a panel is destroyed, by the close below or with the host's widget
// it lives in; the panel must not be used after that.
using PanelGoneFn = void (*)(void* context);
// Opens the panel inside parent (the host's widget) and runs the controller's OnInitDialog; null
// when parent is null or there is no running application to show it in.
using OpenPanelFn = DialogWindow* (*)(const DialogTemplate* dialog, DialogController* controller,
                                      void* parent, PanelGoneFn gone, void* context);
// Closes and destroys a panel the library opened.
using ClosePanelFn = void (*)(DialogWindow* panel);

}  // namespace pelmor::platform
