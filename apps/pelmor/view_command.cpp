// pelmor view [FILE]: the second control in a window of its own, with the things a person expects
// of a picture viewer: open (dialog, drag and drop, the command line), save as, frames and pages,
// the slide show, scrolling, stretching and alignment, the property frame, the About box, and a
// status line saying what is shown. Everything goes through the control's dispatch interface, as
// a script's calls would.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "control/headless_control.h"
#include "platform/ole/dispatch.h"
#include "platform/qt/qt_control_host.h"
#include "platform/text_encoding.h"
#include "view_command.h"

namespace pelmor::cli {

namespace {

using ole::InvokeByName;
using ole::Variant;

class ViewerWindow : public QMainWindow {
 public:
  ViewerWindow() {
    setWindowTitle("Pelmor");
    setAcceptDrops(true);
    host_ = new platform::qt::QtControlHost(this);
    setCentralWidget(host_);
    resize(900, 680);
    host_->Embed(CreatePelmorControl(2));
    host_->installEventFilter(this);
    SetText("Caption", "No picture: open one with Ctrl+O or drop a file here");
    BuildMenus();
    status_ = new QLabel(this);
    statusBar()->addWidget(status_, 1);
    // The frame shown changes while an animation plays; the status line follows it.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { UpdateStatus(); });
    timer->start(250);
    UpdateStatus();
  }

  void Open(const QString& path) {
    const std::string name = path.toStdString();
    SetText("FileName", name);
    const bool open = Get("IsOpen", true).GetBool();
    if (!open) SetText("Caption", "Cannot open " + QFileInfo(path).fileName().toStdString());
    failed_ = open ? QString() : path;
    setWindowTitle((open ? QFileInfo(path).fileName() : QString("Pelmor")) + " - Pelmor");
    UpdateStatus();
  }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
  }
  void dropEvent(QDropEvent* event) override {
    for (const QUrl& url : event->mimeData()->urls()) {
      if (url.isLocalFile()) {
        Open(url.toLocalFile());
        break;
      }
    }
  }
  // Without scrolling, the arrows and page keys step through the frames.
  bool eventFilter(QObject* object, QEvent* event) override {
    if (object == host_ && event->type() == QEvent::KeyPress && !Number("Scrolling")) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Left || key == Qt::Key_Up || key == Qt::Key_PageUp) {
        Step(-1);
        return true;
      }
      if (key == Qt::Key_Right || key == Qt::Key_Down || key == Qt::Key_PageDown) {
        Step(1);
        return true;
      }
    }
    return QMainWindow::eventFilter(object, event);
  }

 private:
  ole::COleControl& Control() { return *host_->Control(); }

  Variant Get(const char* name, bool method = false) {
    return InvokeByName(Control(), name, method ? ole::DISPATCH_METHOD : ole::DISPATCH_PROPERTYGET).value;
  }
  int64_t Number(const char* name) {
    Variant v;
    if (ole::FAILED(ole::ChangeType(Get(name), ole::VT_R8, v))) return 0;
    return static_cast<int64_t>(v.GetR8());
  }
  std::string Text(const char* name) {
    Variant v;
    if (ole::FAILED(ole::ChangeType(Get(name), ole::VT_BSTR, v))) return {};
    return platform::BytesFromUtf16(v.GetBstr());
  }
  void Put(const char* name, Variant value) {
    InvokeByName(Control(), name, ole::DISPATCH_PROPERTYPUT, std::span<const Variant>(&value, 1));
  }
  void SetText(const char* name, const std::string& text) { Put(name, Variant::Text(text)); }
  bool Call(const char* name, std::vector<Variant> args = {}) {
    const ole::InvokeResult r = InvokeByName(Control(), name, ole::DISPATCH_METHOD, args);
    return ole::SUCCEEDED(r.hr) && (r.value.Type() != ole::VT_BOOL || r.value.GetBool());
  }

  QAction* Add(QMenu* menu, const QString& text, QKeySequence keys, std::function<void()> run) {
    QAction* action = menu->addAction(text);
    if (!keys.isEmpty()) action->setShortcut(keys);
    connect(action, &QAction::triggered, this, std::move(run));
    return action;
  }
  QAction* Toggle(QMenu* menu, const QString& text, QKeySequence keys, const char* property) {
    QAction* action = Add(menu, text, keys, nullptr);
    action->setCheckable(true);
    action->setChecked(Number(property) != 0);
    disconnect(action, &QAction::triggered, this, nullptr);
    connect(action, &QAction::toggled, this, [this, property](bool on) {
      Put(property, Variant::Bool(on));
      UpdateStatus();
    });
    toggles_.push_back({action, property});
    return action;
  }
  void Alignment(QMenu* menu, const char* property, const QStringList& names) {
    auto* group = new QActionGroup(menu);
    for (int i = 0; i < names.size(); ++i) {
      QAction* action = menu->addAction(names[i]);
      action->setCheckable(true);
      action->setChecked(Number(property) == i);
      group->addAction(action);
      connect(action, &QAction::triggered, this, [this, property, i] { Put(property, Variant::I4(i)); });
    }
  }

  void BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    Add(file, "&Open...", QKeySequence::Open, [this] { OpenDialog(); });
    Add(file, "Save &as...", QKeySequence(Qt::CTRL | Qt::Key_S), [this] { SaveDialog(); });
    file->addSeparator();
    Add(file, "&Properties...", QKeySequence(Qt::ALT | Qt::Key_Return), [this] {
      Control().OnProperties();
      SyncToggles();
      UpdateStatus();
    });
    file->addSeparator();
    Add(file, "E&xit", QKeySequence::Quit, [this] { close(); });

    QMenu* view = menuBar()->addMenu("&View");
    Add(view, "&Previous frame", QKeySequence(), [this] { Step(-1); });
    Add(view, "&Next frame", QKeySequence(), [this] { Step(1); });
    view->addSeparator();
    Toggle(view, "&Slide show", QKeySequence(Qt::Key_F5), "SlideShow");
    Toggle(view, "S&crolling", QKeySequence(Qt::CTRL | Qt::Key_L), "Scrolling");
    Toggle(view, "S&tretch", QKeySequence(Qt::CTRL | Qt::Key_T), "StretchImage");
    Alignment(view->addMenu("&Horizontal alignment"), "HAlignment", {"&Left", "&Center", "&Right"});
    Alignment(view->addMenu("&Vertical alignment"), "VAlignment", {"&Top", "&Center", "&Bottom"});
    view->addSeparator();
    Add(view, "&Full screen", QKeySequence(Qt::Key_F11), [this] {
      isFullScreen() ? showNormal() : showFullScreen();
    });

    QMenu* help = menuBar()->addMenu("&Help");
    Add(help, "&About Pelmor...", QKeySequence(Qt::Key_F1), [this] { Call("AboutBox"); });
  }

  void SyncToggles() {
    for (const auto& [action, property] : toggles_) {
      const QSignalBlocker block(action);
      action->setChecked(Number(property) != 0);
    }
  }

  void OpenDialog() {
    const QString filters =
        "All pictures (*.bmp *.jpg *.jpeg *.gif *.tif *.tiff *.png *.tga);;Bitmap files (*.bmp);;"
        "JPEG files (*.jpg *.jpeg);;GIF files (*.gif);;TIFF files (*.tif *.tiff);;PNG files (*.png);;"
        "Targa files (*.tga);;All files (*)";
    const QString path = QFileDialog::getOpenFileName(this, "Open picture", lastFolder_, filters);
    if (path.isEmpty()) return;
    lastFolder_ = QFileInfo(path).path();
    Open(path);
  }

  void SaveDialog() {
    if (!Get("IsOpen", true).GetBool()) {
      status_->setText("Nothing to save: no picture is open");
      return;
    }
    QString selected;
    QString path = QFileDialog::getSaveFileName(this, "Save picture as", lastFolder_,
                                                "Bitmap (*.bmp);;JPEG (*.jpg *.jpeg);;Targa (*.tga)", &selected);
    if (path.isEmpty()) return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != "bmp" && suffix != "jpg" && suffix != "jpeg" && suffix != "tga") {
      path += selected.startsWith("JPEG") ? ".jpg" : selected.startsWith("Targa") ? ".tga" : ".bmp";
    }
    if (path.endsWith(".jpg", Qt::CaseInsensitive) || path.endsWith(".jpeg", Qt::CaseInsensitive)) {
      Variant ratio;
      ole::ChangeType(Get("CompressionRatio"), ole::VT_R8, ratio);
      bool ok = false;
      const double chosen = QInputDialog::getDouble(this, "JPEG quality", "Quality (0 to 1):",
                                                    ratio.GetR8(), 0.0, 1.0, 2, &ok);
      if (!ok) return;
      Put("CompressionRatio", Variant::R4(static_cast<float>(chosen)));
    }
    const bool saved = Call("Save", {Variant::Text(path.toStdString())});
    status_->setText(saved ? "Saved " + path : "Could not save " + path);
    statusHold_ = 8;  // the message stays a couple of seconds
  }

  void Step(int delta) {
    const int64_t count = Number("NImages");
    if (count <= 0) return;
    const int64_t next = ((Number("CurrentImage") + delta) % count + count) % count;
    Call("ShowImageN", {Variant::UI4(static_cast<uint32_t>(next))});
    UpdateStatus();
  }

  void UpdateStatus() {
    if (statusHold_ > 0) {
      --statusHold_;
      return;
    }
    if (!failed_.isEmpty()) {
      status_->setText("Cannot open " + failed_);
      return;
    }
    if (!Get("IsOpen", true).GetBool()) {
      status_->setText("No picture open");
      return;
    }
    QStringList parts;
    parts << QString("%1 x %2").arg(Number("ImageWidth")).arg(Number("ImageHeight"));
    const int64_t count = Number("NImages");
    parts << QString("frame %1 of %2").arg(Number("CurrentImage") + 1).arg(count);
    if (count > 1) parts << QString("delay %1 ms").arg(Number("DelayTime"));
    for (const char* name : {"DocumentName", "ImageDescription", "ImageCopyright", "Software"}) {
      const std::string value = Text(name);
      if (!value.empty()) parts << QString::fromStdString(value).simplified().left(80);
    }
    status_->setText(parts.join("   |   "));
  }

  platform::qt::QtControlHost* host_;
  QLabel* status_;
  QString lastFolder_;
  QString failed_;
  int statusHold_ = 0;
  std::vector<std::pair<QAction*, const char*>> toggles_;
};

}  // namespace

int RunView(const std::vector<std::string>& args, const char* program) {
  if (args.size() > 1) {
    std::fputs("pelmor: view takes at most one FILE (see pelmor --help)\n", stderr);
    return 2;
  }
  int argc = 1;
  char* argv[] = {const_cast<char*>(program), nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pelmor");
  ViewerWindow window;
  window.show();
  if (!args.empty()) window.Open(QString::fromStdString(args[0]));
  return app.exec();
}

}  // namespace pelmor::cli
