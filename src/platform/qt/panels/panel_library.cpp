// libpelmor-qtpanels.so: dialog panels as Qt widgets inside a host's widget, for the module's
// property pages.
#include <QApplication>

#include "platform/qt/qt_dialog.h"
#include "platform/window/panel_library.h"

using namespace pelmor::platform;

extern "C" {

__attribute__((visibility("default"))) DialogWindow* PelmorOpenDialogPanel(
    const DialogTemplate* dialog, DialogController* controller, void* parent, PanelGoneFn gone,
    void* context) {
  if (dialog == nullptr || controller == nullptr || parent == nullptr || gone == nullptr ||
      qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return nullptr;
  }
  auto* panel = new qt::QtDialogPanel(*dialog, *controller, static_cast<QWidget*>(parent));
  QObject::connect(panel, &QObject::destroyed, [gone, context] { gone(context); });
  panel->resize(panel->TemplateSize());
  panel->show();
  panel->Start();
  return panel;
}

__attribute__((visibility("default"))) void PelmorCloseDialogPanel(DialogWindow* panel) {
  delete static_cast<qt::QtDialogPanel*>(panel);
}

}  // extern "C"
