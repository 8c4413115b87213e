// The control in Qt's widget against what Qt itself offers. Paint: one full paint of a 1920x1080
// host showing the 4000x3000 picture stretched (the halftone stretch, an exact area average),
// against a widget whose paint event draws the same picture, loaded into a QImage, with
// QPainter::drawImage and SmoothPixmapTransform into the same rectangle. Animation: the process's
// CPU time while the 100-frame animation plays in a 1000x1000 host at its own pace, against
// QMovie playing the same file into a QLabel of that size.
//
// Everything Qt is made in the case's own process at its first (warm-up) run, never in the
// section's process that forks it: Qt may start threads (its image scaling uses a thread pool),
// and a forked child would inherit them dead. The windows are offscreen unless QT_QPA_PLATFORM
// says otherwise.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "bench.h"
#include "control/headless_control.h"
#include "control/pelmor_ctrl.h"
#include "platform/qt/qt_control_host.h"

namespace pelmor::bench {

namespace {

using platform::qt::QtControlHost;

constexpr int kPaintWidth = 1920, kPaintHeight = 1080;
constexpr int kFrames = 100;
constexpr int kMovieSide = 1000;

QApplication& App() {
  static int argc = 1;
  static char name[] = "pelmor_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A host showing our control, shown at the given size, opened on path with Stretch as asked and
// the slide show as asked. Null when the file does not open.
std::unique_ptr<QtControlHost> OurWindow(const std::string& path, int width, int height,
                                         bool stretch, bool slideShow) {
  App();
  auto host = std::make_unique<QtControlHost>();
  host->resize(width, height);
  if (!host->Embed(CreatePelmorControl(2))) return nullptr;
  auto& c = static_cast<CPelmorCtrl&>(*host->Control());
  c.SetStretchImage(stretch ? 1 : 0);
  c.SetSlideShow(slideShow ? 1 : 0);
  c.SetFileName(path);
  if (!c.IsOpen()) return nullptr;
  host->show();
  QApplication::processEvents();
  return host;
}

// Runs the event loop, asleep between events, until done() answers true after an event. Both
// players are driven this way: the overload of processEvents with a time limit never sleeps (it
// drops WaitForMoreEvents), and a loop around it would burn the core it measures. The slow timer
// wakes the loop even when a player has stopped producing events (a movie that failed, a document
// that closed), so that the run ends.
template <class Done>
void RunEventsUntil(Done done) {
  QTimer wake;
  wake.start(100);
  do {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  } while (!done());
}

// --- Paint ---

// Draws the picture as a Qt program would: smooth, into the rectangle our control uses (the
// picture's aspect kept, filling the height, at the left).
class SmoothImageWidget : public QWidget {
 public:
  explicit SmoothImageWidget(QImage image) : image_(std::move(image)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const int w = static_cast<int>(int64_t{image_.width()} * height() / image_.height());
    p.drawImage(QRect(0, 0, w, height()), image_);
  }

 private:
  QImage image_;
};

struct PaintCase {
  std::string path;
  std::unique_ptr<QtControlHost> ours;
  std::unique_ptr<SmoothImageWidget> theirs;

  size_t PaintOurs() {
    if (!ours) ours = OurWindow(path, kPaintWidth, kPaintHeight, true, false);
    if (!ours) return 0;
    ours->Control()->InvalidateControl(nullptr, false);
    ours->repaint();
    return size_t{kPaintWidth} * kPaintHeight * 4;
  }

  size_t PaintTheirs() {
    if (!theirs) {
      App();
      QImage image(QString::fromStdString(path));
      if (image.isNull()) return 0;
      theirs = std::make_unique<SmoothImageWidget>(std::move(image));
      theirs->resize(kPaintWidth, kPaintHeight);
      theirs->show();
      QApplication::processEvents();
    }
    theirs->repaint();
    return size_t{kPaintWidth} * kPaintHeight * 4;
  }
};

// --- Animation ---

struct AnimationCase {
  std::string path;
  std::unique_ptr<QtControlHost> ours;
  std::unique_ptr<QLabel> label;

  // Opens the file again (the worker starts at its first frame) and runs the event loop until the
  // worker has moved to the last of the hundred frames.
  size_t PlayOurs() {
    if (!ours) ours = OurWindow(path, kMovieSide, kMovieSide, false, true);
    if (!ours) return 0;
    auto& c = static_cast<CPelmorCtrl&>(*ours->Control());
    c.SetFileName(path);
    int32_t last = -1;
    RunEventsUntil([&c, &last] {
      std::lock_guard<std::mutex> hold(c.lock);
      const int32_t now = c.doc.currentImage;
      if (!c.DocumentOpen() || now >= kFrames - 1 || now < last) return true;  // the last, or past it
      last = now;
      return false;
    });
    c.StopAnimation();
    QApplication::processEvents();
    return c.IsOpen() ? size_t{kFrames} : 0;
  }

  // A new movie on the same label each run, played until it shows the last of the hundred frames.
  size_t PlayTheirs() {
    if (!label) {
      App();
      label = std::make_unique<QLabel>();
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->resize(kMovieSide, kMovieSide);
      label->show();
      QApplication::processEvents();
    }
    QMovie movie(QString::fromStdString(path));
    if (!movie.isValid()) return 0;
    label->setMovie(&movie);
    bool failed = false, done = false;
    QObject::connect(&movie, &QMovie::error, [&failed] { failed = true; });
    QObject::connect(&movie, &QMovie::frameChanged,
                     [&done](int frame) { done |= frame >= kFrames - 1; });
    movie.start();
    RunEventsUntil([&] { return failed || done || movie.state() != QMovie::Running; });
    movie.stop();
    label->setMovie(nullptr);
    QApplication::processEvents();
    return failed ? 0 : size_t{kFrames};
  }
};

void QtPaint(Session& s) {
  const std::string path = s.Image("rgb24.bmp");
  if (path.empty()) return;
  auto paint = std::make_shared<PaintCase>();
  paint->path = path;
  Case c;
  c.label = "paint 4000x3000 in 1920x1080";
  c.floorBytes = size_t{kPaintWidth} * kPaintHeight * 4;
  c.ours = [paint] { return paint->PaintOurs(); };
  c.peers.push_back({"QPainter smooth", [paint] { return paint->PaintTheirs(); }, {}});
  s.Add(std::move(c));
}

void QtAnimation(Session& s) {
  const std::string path = s.Image("anim.gif");
  if (path.empty()) return;
  auto play = std::make_shared<AnimationCase>();
  play->path = path;
  Case c;
  c.label = "widget anim.gif cpu/100 frames";
  c.cpuTime = true;
  c.ours = [play] { return play->PlayOurs(); };
  c.peers.push_back({"QMovie+QLabel", [play] { return play->PlayTheirs(); }, {}});
  s.Add(std::move(c));
}

const Section kPaint("paint", QtPaint);
const Section kWidgetAnimation("widget animation", QtAnimation);

}  // namespace

}  // namespace pelmor::bench
