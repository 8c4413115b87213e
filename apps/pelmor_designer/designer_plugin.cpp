// The Qt Designer plugin: PelmorWidget in the widget box, with the module's toolbox bitmap as its
// icon. Widgets made for a form editor (after initialize) run in design mode; widgets made for
// a form loaded at run time (QUiLoader does not initialize plugins) run for the user.
#include <QIcon>
#include <QPixmap>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include "control/module_registration.h"
#include "control/toolbox_bitmap.h"
#include "pelmor_widget.h"

namespace pelmor::designer {

class PelmorDesignerPlugin : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetInterface")
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  explicit PelmorDesignerPlugin(QObject* parent = nullptr) : QObject(parent) {}

  QString name() const override { return QStringLiteral("pelmor::designer::PelmorWidget"); }
  QString group() const override { return QStringLiteral("Display Widgets"); }
  QIcon icon() const override {
    const auto bytes = ModuleBitmap(kToolboxBitmapId);
    QPixmap pixmap;
    pixmap.loadFromData(bytes.data(), static_cast<uint>(bytes.size()), "BMP");
    return QIcon(pixmap);
  }
  QString toolTip() const override { return QStringLiteral("Pelmor2 Control"); }
  QString whatsThis() const override {
    return QStringLiteral("Shows a BMP, JPEG, GIF, TIFF, PNG or TGA image, animated or paged");
  }
  bool isContainer() const override { return false; }
  QString includeFile() const override { return QStringLiteral("pelmor_widget.h"); }
  QString domXml() const override {
    return QStringLiteral(
        "<ui language=\"c++\">\n"
        " <widget class=\"pelmor::designer::PelmorWidget\" name=\"pelmorWidget\">\n"
        "  <property name=\"geometry\"><rect><x>0</x><y>0</y><width>320</width>"
        "<height>240</height></rect></property>\n"
        " </widget>\n"
        "</ui>\n");
  }
  bool isInitialized() const override { return initialized_; }
  void initialize(QDesignerFormEditorInterface*) override { initialized_ = true; }
  QWidget* createWidget(QWidget* parent) override { return new PelmorWidget(parent, initialized_); }

 private:
  bool initialized_ = false;
};

}  // namespace pelmor::designer

#include "designer_plugin.moc"
