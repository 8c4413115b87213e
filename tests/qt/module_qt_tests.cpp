// The components as Qt programs meet them, offscreen: the module's property pages shown inside a
// host's widget and applied to its controls through the loaded module's binary interfaces, and
// the Designer plugin (its widget and properties, a form loaded with QUiLoader, Designer itself).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPluginLoader>
#include <QProcess>
#include <QTemporaryDir>
#include <QUiLoader>
#include <QWidget>
#include <QtTest/QtTest>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <dlfcn.h>

#include <memory>
#include <string>

#include "pelmor/pelmor.h"

namespace {

struct Module {
  Module() : handle(dlopen(PELMOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) {
    if (handle == nullptr) return;
    getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
  }
  ~Module() {
    if (handle != nullptr) dlclose(handle);
  }
  // A new object of the class, as the interface asked for; null on failure.
  template <class T>
  T* Create(const CLSID& clsid, const IID& iid) {
    IClassFactory* factory = nullptr;
    if (getClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
      return nullptr;
    }
    void* object = nullptr;
    factory->lpVtbl->CreateInstance(factory, nullptr, &iid, &object);
    factory->lpVtbl->Release(factory);
    return static_cast<T*>(object);
  }
  void* handle;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;
};

// A property by name through IDispatch: an integer put, an integer (or truth value) get.
HRESULT PutLong(IDispatch* d, const char16_t* name, int32_t value) {
  DISPID id = 0;
  const OLECHAR* names[] = {name};
  HRESULT hr = d->lpVtbl->GetIDsOfNames(d, &IID_NULL, names, 1, 0, &id);
  if (FAILED(hr)) return hr;
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&v, &put, 1, 1};
  return d->lpVtbl->Invoke(d, id, &IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                           nullptr);
}
int32_t GetLong(IDispatch* d, const char16_t* name) {
  DISPID id = 0;
  const OLECHAR* names[] = {name};
  if (FAILED(d->lpVtbl->GetIDsOfNames(d, &IID_NULL, names, 1, 0, &id))) return INT32_MIN;
  VARIANT v;
  VariantInit(&v);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (FAILED(d->lpVtbl->Invoke(d, id, &IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr,
                               nullptr))) {
    return INT32_MIN;
  }
  switch (v.vt) {
    case VT_BOOL: return v.boolVal != 0 ? 1 : 0;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    default: VariantClear(&v); return INT32_MIN;
  }
}

// A 20 x 10 picture of one colour as a BMP file.
QString SolidBmp(const QTemporaryDir& dir, const QString& name, QColor color) {
  QImage image(20, 10, QImage::Format_RGB32);
  image.fill(color);
  const QString path = dir.filePath(name);
  return image.save(path, "BMP") ? path : QString();
}

constexpr char kWidgetClass[] = "pelmor::designer::PelmorWidget";

}  // namespace

class ModuleQtTests : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY2(module_.handle != nullptr, dlerror()); }

  void ThePageShowsInTheHostsWidgetAndAppliesOnlyWhatChanged() {
    IDispatch* control = module_.Create<IDispatch>(CLSID_Pelmor2, IID_IDispatch);
    QVERIFY(control != nullptr);
    QCOMPARE(PutLong(control, u"HAlignment", 2), S_OK);
    QCOMPARE(PutLong(control, u"VAlignment", 0), S_OK);
    auto* page = module_.Create<IPelmorPropertyPage>(CLSID_Pelmor2PropPage, IID_IPelmorPropertyPage);
    QVERIFY(page != nullptr);
    IUnknown* objects[] = {reinterpret_cast<IUnknown*>(control)};
    QCOMPARE(page->lpVtbl->SetObjects(page, 1, objects), S_OK);

    auto parent = std::make_unique<QWidget>();
    parent->resize(500, 260);
    parent->show();
    QCOMPARE(page->lpVtbl->Activate(page, parent.get()), S_OK);
    QCOMPARE(page->lpVtbl->Activate(page, parent.get()), E_UNEXPECTED);
    QCOMPARE(page->lpVtbl->SetObjects(page, 0, nullptr), E_UNEXPECTED);
    QCOMPARE(parent->findChild<QComboBox*>("203")->currentText(), QString("2 - Right"));
    QCOMPARE(parent->findChild<QComboBox*>("204")->currentText(), QString("0 - Top"));
    QVERIFY(parent->findChild<QCheckBox*>("212") != nullptr);
    if (qEnvironmentVariableIsSet("PELMOR_SHOT")) parent->grab().save(qgetenv("PELMOR_SHOT"));
    QCOMPARE(page->lpVtbl->IsPageDirty(page), S_FALSE);

    const int32_t slideShow = GetLong(control, u"SlideShow");
    parent->findChild<QCheckBox*>("209")->click();
    QCOMPARE(page->lpVtbl->IsPageDirty(page), S_OK);
    QCOMPARE(page->lpVtbl->Apply(page), S_OK);
    QCOMPARE(page->lpVtbl->IsPageDirty(page), S_FALSE);
    QCOMPARE(GetLong(control, u"SlideShow"), slideShow == 0 ? 1 : 0);

    // A change not applied goes with the page's widgets.
    parent->findChild<QComboBox*>("203")->setCurrentIndex(0);
    QCOMPARE(page->lpVtbl->Deactivate(page), S_OK);
    QVERIFY(parent->findChild<QComboBox*>("203") == nullptr);
    QCOMPARE(page->lpVtbl->IsPageDirty(page), S_FALSE);
    QCOMPARE(page->lpVtbl->Apply(page), S_OK);
    QCOMPARE(GetLong(control, u"HAlignment"), 2);

    // Shown again, then the host drops its widget first: the page notices.
    QCOMPARE(page->lpVtbl->Activate(page, parent.get()), S_OK);
    parent->findChild<QCheckBox*>("205")->click();
    parent.reset();
    QCOMPARE(page->lpVtbl->IsPageDirty(page), S_FALSE);
    QCOMPARE(page->lpVtbl->Deactivate(page), S_OK);

    QCOMPARE(module_.canUnloadNow(), S_FALSE);
    page->lpVtbl->Release(page);
    QCOMPARE(module_.canUnloadNow(), S_FALSE);  // the control is still held
    control->lpVtbl->Release(control);
    QCOMPARE(module_.canUnloadNow(), S_OK);
  }

  void TheFirstControlsPageHasNoScrollingBox() {
    IDispatch* control = module_.Create<IDispatch>(CLSID_Pelmor, IID_IDispatch);
    auto* page = module_.Create<IPelmorPropertyPage>(CLSID_PelmorPropPage, IID_IPelmorPropertyPage);
    QVERIFY(control != nullptr && page != nullptr);
    IUnknown* objects[] = {reinterpret_cast<IUnknown*>(control)};
    QCOMPARE(page->lpVtbl->SetObjects(page, 1, objects), S_OK);
    QWidget parent;
    QCOMPARE(page->lpVtbl->Activate(page, &parent), S_OK);
    QVERIFY(parent.findChild<QLineEdit*>("201") != nullptr);
    QVERIFY(parent.findChild<QCheckBox*>("209") != nullptr);
    QVERIFY(parent.findChild<QCheckBox*>("212") == nullptr);
    page->lpVtbl->Release(page);  // releasing a shown page closes it
    QVERIFY(parent.findChild<QLineEdit*>("201") == nullptr);
    control->lpVtbl->Release(control);
    QCOMPARE(module_.canUnloadNow(), S_OK);
  }

  void TheDesignerPluginMakesTheWidgetWithTheControlsProperties() {
    QPluginLoader loader(PELMOR_DESIGNER_PLUGIN);
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
    QVERIFY(plugin != nullptr);
    QCOMPARE(plugin->name(), QString(kWidgetClass));
    QVERIFY(plugin->domXml().contains(kWidgetClass));
    QCOMPARE(plugin->icon().availableSizes().value(0), QSize(16, 16));

    // Made outside a form editor, the control runs for the user.
    std::unique_ptr<QWidget> widget(plugin->createWidget(nullptr));
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->property("FileName"), QVariant(QString()));
    QCOMPARE(widget->property("HAlignment"), QVariant(0));
    QCOMPARE(widget->property("StretchImage").typeId(), QMetaType::Bool);
    QCOMPARE(widget->property("BackColor").typeId(), QMetaType::QColor);
    QVERIFY(!widget->property("NImages").isValid());  // read-only: not offered
    QVERIFY(!widget->property("Font").isValid());

    widget->setProperty("HAlignment", 2);
    QCOMPARE(widget->property("HAlignment"), QVariant(2));
    widget->setProperty("BorderStyle", 1);
    widget->setProperty("BorderStyle", 7);  // refused by the control: the old value stays
    QCOMPARE(widget->property("BorderStyle"), QVariant(1));
    widget->setProperty("BackColor", QColor(10, 20, 30));
    QCOMPARE(widget->property("BackColor").value<QColor>(), QColor(10, 20, 30));

    QTemporaryDir dir;
    const QString red = SolidBmp(dir, "red.bmp", Qt::red);
    widget->setProperty("StretchImage", true);
    widget->setProperty("FileName", red);
    QCOMPARE(widget->property("FileName"), QVariant(red));
    widget->resize(200, 100);
    QCOMPARE(widget->grab().toImage().pixelColor(100, 50), QColor(Qt::red));

    // Made for a form editor, it runs in design mode: no animation.
    plugin->initialize(nullptr);
    QVERIFY(plugin->isInitialized());
    std::unique_ptr<QWidget> designed(plugin->createWidget(nullptr));
    designed->setProperty("FileName", QString(PELMOR_SOURCE_DIR "/samples/anim-disposal.gif"));
    const QImage first = designed->grab().toImage();
    QTest::qWait(600);  // the sample's frames are 200 ms apart
    QCOMPARE(designed->grab().toImage(), first);
  }

  void AFormWithTheWidgetLoadsWithItsValues() {
    QTemporaryDir dir;
    const QString blue = SolidBmp(dir, "blue.bmp", Qt::blue);
    QFile form(dir.filePath("form.ui"));
    QVERIFY(form.open(QIODevice::WriteOnly));
    form.write(QStringLiteral(
        "<ui version=\"4.0\"><class>Form</class>"
        "<widget class=\"QWidget\" name=\"Form\">"
        "<property name=\"geometry\"><rect><x>0</x><y>0</y><width>300</width><height>200</height></rect></property>"
        "<widget class=\"%1\" name=\"viewer\">"
        "<property name=\"geometry\"><rect><x>0</x><y>0</y><width>300</width><height>200</height></rect></property>"
        "<property name=\"StretchImage\" stdset=\"0\"><bool>true</bool></property>"
        "<property name=\"FileName\" stdset=\"0\"><string>%2</string></property>"
        "</widget></widget><resources/><connections/></ui>")
                   .arg(kWidgetClass, blue.toHtmlEscaped())
                   .toUtf8());
    form.close();

    QUiLoader loader;
    loader.clearPluginPaths();
    loader.addPluginPath(QFileInfo(PELMOR_DESIGNER_PLUGIN).absolutePath());
    QVERIFY(loader.availableWidgets().contains(kWidgetClass));
    QVERIFY(form.open(QIODevice::ReadOnly));
    std::unique_ptr<QWidget> loaded(loader.load(&form));
    QVERIFY2(loaded != nullptr, qPrintable(loader.errorString()));
    QWidget* viewer = loaded->findChild<QWidget*>("viewer");
    QVERIFY(viewer != nullptr);
    QCOMPARE(viewer->property("FileName"), QVariant(blue));
    QCOMPARE(viewer->property("StretchImage"), QVariant(true));
    QCOMPARE(viewer->grab().toImage().pixelColor(150, 100), QColor(Qt::blue));
  }

  void DesignerLoadsThePlugin() {
    QString designer = QStandardPaths::findExecutable("designer");
    if (designer.isEmpty()) designer = QStandardPaths::findExecutable("designer", {"/usr/lib/qt6/bin"});
    if (designer.isEmpty()) QSKIP("designer is not installed");
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_DEBUG_PLUGINS", "1");
    env.insert("QT_PLUGIN_PATH", QFileInfo(PELMOR_DESIGNER_PLUGIN).absolutePath() + "/..");
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path());
#ifdef PELMOR_SANITIZER_RUNTIMES
    // This build's plugin is sanitized; Designer is not, so it gets the runtimes first.
    if (QString(PELMOR_SANITIZER_RUNTIMES).isEmpty()) QSKIP("the sanitizer runtimes were not found");
    env.insert("LD_PRELOAD", PELMOR_SANITIZER_RUNTIMES);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
#endif
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(designer, {});
    QVERIFY(process.waitForStarted(10000));
    // Wait for Designer to load ours (at most 60 s), then end it.
    const QString name = QFileInfo(PELMOR_DESIGNER_PLUGIN).fileName();
    QByteArray log;
    QDeadlineTimer deadline(60000);
    // Qt's plugin log has a line '"PATH" loaded library' for each library it loads.
    const auto Loaded = [](const QByteArray& text) {
      const QByteArray path = QFileInfo(PELMOR_DESIGNER_PLUGIN).absoluteFilePath().toUtf8();
      for (const QByteArray& line : text.split('\n')) {
        if (line.contains('"' + path + '"') && line.contains("loaded library")) return true;
      }
      return false;
    };
    while (!deadline.hasExpired() && process.state() == QProcess::Running && !Loaded(log)) {
      process.waitForReadyRead(500);
      log += process.readAll();
    }
    const bool running = process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished(10000);
    log += process.readAll();
    QVERIFY2(running, log.right(2000).constData());
    QVERIFY2(Loaded(log), log.right(2000).constData());
    for (const QByteArray& line : log.split('\n')) {
      QVERIFY2(!(line.contains(name.toUtf8()) && line.contains("failed")), line.constData());
    }
  }

 private:
  Module module_;
};

QTEST_MAIN(ModuleQtTests)
#include "module_qt_tests.moc"
