#include "script_host.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJSEngine>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <thread>
#include <vector>

#include "control_window.h"
#include "dispatch_bridge.h"
#include "object_host.h"

namespace pelmor::script {

namespace {

// Ends a script that runs too long: after the time limit the engine is interrupted, which stops
// the script at its next step (a sleep in progress ends too).
class Watchdog {
 public:
  Watchdog(QJSEngine& engine, double seconds) : engine_(engine) {
    if (seconds <= 0) return;
    deadline_ = std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(seconds));
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> hold(mutex_);
      if (!done_.wait_until(hold, deadline_, [this] { return stopped_; })) {
        fired_ = true;
        engine_.setInterrupted(true);
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopped_ = true;
    }
    done_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  bool Fired() const { return fired_; }
  // Milliseconds left before the limit; -1 without one.
  int64_t RemainingMs() const {
    if (!thread_.joinable()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    return std::max<int64_t>(left.count(), 0);
  }

 private:
  QJSEngine& engine_;
  std::chrono::steady_clock::time_point deadline_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool stopped_ = false;
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

// Objects a script sees made at most this many times before the engine is asked to collect
// the ones it dropped, so that a script making controls in a loop does not pile them up.
constexpr size_t kCollectAbove = 32;

class Host : public QObject {
  Q_OBJECT

 public:
  Host(QJSEngine& engine, DispatchBridge& bridge, cli::ObjectHost& objects,
       const ScriptOptions& options, const Watchdog& watchdog, std::FILE* out)
      : engine_(engine),
        bridge_(bridge),
        objects_(objects),
        options_(options),
        watchdog_(watchdog),
        out_(out) {}

  Q_INVOKABLE QJSValue createObject(const QString& progId) {
    bridge_.Collect(kCollectAbove);
    IDispatch* object = nullptr;
    std::string why;
    const HRESULT hr = objects_.CreateObject(progId.toStdString(), &object, why);
    if (FAILED(hr)) {
      bridge_.Throw(hr, "createObject(\"" + progId + "\"): " + QString::fromStdString(why));
      return {};
    }
    if (options_.width != 320 || options_.height != 240) Resize(object, options_.width, options_.height);
    if (options_.show) Show(object, progId);
    return bridge_.Wrap(object, progId);
  }

  // Shows the windows until each is closed or the time limit is reached.
  void WaitForWindows() {
    bool open = false;
    for (const auto& w : windows_) open = open || w->isVisible();
    if (!open || watchdog_.Fired()) return;
    QTimer limit;
    const int64_t left = watchdog_.RemainingMs();
    if (left >= 0) {
      limit.setSingleShot(true);
      QObject::connect(&limit, &QTimer::timeout, qApp, &QCoreApplication::quit);
      limit.start(static_cast<int>(std::min<int64_t>(left, INT32_MAX)));
    }
    QApplication::exec();
  }
  // Closes the windows and lets their controls go.
  void CloseWindows() { windows_.clear(); }

  Q_INVOKABLE void log(const QJSValue& args) {
    QString line;
    const int n = args.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < n; ++i) {
      if (i > 0) line += ' ';
      line += args.property(static_cast<quint32>(i)).toString();
    }
    std::fprintf(out_, "%s\n", line.toUtf8().constData());
    std::fflush(out_);
  }

  Q_INVOKABLE void paint(const QJSValue& object, const QString& file) {
    IPelmorView* view = View(object, QStringLiteral("host.paint"));
    if (view == nullptr) return;
    int32_t w = 0, h = 0;
    bool ok = view->lpVtbl->Update(view) == S_OK && view->lpVtbl->GetSize(view, &w, &h) == S_OK;
    QImage image(w, h, QImage::Format_RGB32);
    ok = ok && !image.isNull() &&
         view->lpVtbl->CopyPixels(view, reinterpret_cast<uint32_t*>(image.bits()), w, h,
                                  static_cast<int32_t>(image.bytesPerLine())) == S_OK;
    view->lpVtbl->Release(view);
    if (!ok || !image.save(file)) bridge_.Throw(E_FAIL, "host.paint: cannot write " + file);
  }

  Q_INVOKABLE void resize(const QJSValue& object, double width, double height) {
    IPelmorView* view = View(object, QStringLiteral("host.resize"));
    if (view == nullptr) return;
    const bool whole = width == static_cast<int32_t>(width) && height == static_cast<int32_t>(height);
    const HRESULT hr = whole ? view->lpVtbl->SetSize(view, static_cast<int32_t>(width),
                                                      static_cast<int32_t>(height))
                             : E_INVALIDARG;
    if (SUCCEEDED(hr)) {
      for (const auto& w : windows_) {
        if (w->View() == view) w->FollowViewSize();
      }
    }
    view->lpVtbl->Release(view);
    if (FAILED(hr)) bridge_.Throw(hr, QStringLiteral("host.resize: sides from 1 to 16384"));
  }

  // Waits, letting an animation play; a time limit reached ends the wait.
  Q_INVOKABLE void sleep(double ms) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration<double, std::milli>(std::max(ms, 0.0));
    while (!watchdog_.Fired() && std::chrono::steady_clock::now() < end) {
      if (options_.show) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

 private:
  void Show(IDispatch* object, const QString& title) {
    IPelmorView* view = nullptr;
    if (object->lpVtbl->QueryInterface(object, &IID_IPelmorView, reinterpret_cast<void**>(&view)) !=
        S_OK) {
      return;  // not a control: nothing to show
    }
    windows_.push_back(std::make_unique<ControlWindow>(view, title));
    view->lpVtbl->Release(view);
    windows_.back()->show();
  }

  void Resize(IDispatch* object, int32_t w, int32_t h) {
    IPelmorView* view = nullptr;
    if (object->lpVtbl->QueryInterface(object, &IID_IPelmorView,
                                       reinterpret_cast<void**>(&view)) == S_OK) {
      view->lpVtbl->SetSize(view, w, h);
      view->lpVtbl->Release(view);
    }
  }

  IPelmorView* View(const QJSValue& object, const QString& what) {
    DispatchHandle* handle = bridge_.HandleOf(object);
    IPelmorView* view = nullptr;
    if (handle == nullptr || handle->Dispatch() == nullptr ||
        handle->Dispatch()->lpVtbl->QueryInterface(handle->Dispatch(), &IID_IPelmorView,
                                                   reinterpret_cast<void**>(&view)) != S_OK) {
      bridge_.Throw(E_NOINTERFACE, what + QStringLiteral(": not a control"));
      return nullptr;
    }
    return view;
  }

  QJSEngine& engine_;
  DispatchBridge& bridge_;
  cli::ObjectHost& objects_;
  const ScriptOptions& options_;
  const Watchdog& watchdog_;
  std::FILE* out_;
  std::vector<std::unique_ptr<ControlWindow>> windows_;
};

// The globals, made from the native host object.
constexpr char kGlobals[] = R"JS(
(function (global, native, args, scriptDir) {
  'use strict';
  global.createObject = function (progId) { return native.createObject(String(progId)); };
  global.console = {
    log: function () { native.log(Array.prototype.slice.call(arguments)); },
  };
  global.host = Object.freeze({
    args: Object.freeze(args),
    scriptDir: scriptDir,
    paint: function (control, file) { native.paint(control, String(file)); },
    resize: function (control, width, height) { native.resize(control, +width, +height); },
    sleep: function (ms) { native.sleep(+ms); },
  });
})
)JS";

}  // namespace

int RunScriptFile(const ScriptOptions& options, std::FILE* out, std::FILE* err) {
  QFile file(QString::fromStdString(options.file));
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(err, "pelmor script: cannot read %s\n", options.file.c_str());
    return kScriptUnreadable;
  }
  const QString source = QString::fromUtf8(file.readAll());
  const QString name = QFileInfo(file).fileName();

  cli::ObjectHost objects(options.registryPath);
  int code = kScriptDone;
  {
    QJSEngine engine;
    DispatchBridge bridge(engine);
    QString error;
    if (!bridge.Install(error)) {
      std::fprintf(err, "pelmor script: %s\n", error.toUtf8().constData());
      return kScriptThrew;
    }
    Watchdog watchdog(engine, options.timeoutSeconds);
    Host host(engine, bridge, objects, options, watchdog, out);
    QJSEngine::setObjectOwnership(&host, QJSEngine::CppOwnership);
    QJSValue args = engine.newArray(static_cast<uint32_t>(options.args.size()));
    for (size_t i = 0; i < options.args.size(); ++i) {
      args.setProperty(static_cast<quint32>(i), QString::fromStdString(options.args[i]));
    }
    engine.evaluate(QString::fromUtf8(kGlobals))
        .call({engine.globalObject(), engine.newQObject(&host), args, QFileInfo(file).absolutePath()});

    const QJSValue result = engine.evaluate(source, name, 1);
    if (watchdog.Fired()) {
      std::fprintf(err, "pelmor script: %s ran longer than %g s and was stopped\n",
                   options.file.c_str(), options.timeoutSeconds);
      code = kScriptTimedOut;
    } else if (result.isError()) {
      std::fprintf(err, "%s:%d: %s\n", options.file.c_str(),
                   result.property(QStringLiteral("lineNumber")).toInt(),
                   result.toString().toUtf8().constData());
      code = kScriptThrew;
    }
    if (code == kScriptDone && options.show) host.WaitForWindows();
    host.CloseWindows();
    // The script is over: whatever it still holds goes now, before the engine.
    bridge.DropAll();
  }
  if (!objects.UnloadModules()) {
    std::fprintf(err, "pelmor script: a module still has live objects after the script\n");
    code = kScriptThrew;
  }
  return code;
}

}  // namespace pelmor::script

#include "script_host.moc"
