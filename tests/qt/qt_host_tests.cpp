// The Qt side, offscreen: the host widget (paint, resize, scroll bars, keys and wheel, frames from
// another thread, size requests, settings), the property frame on a real control, the About box
// and its links.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest/QtTest>
#include <thread>

#include "control/about_dlg.h"
#include "control/control_fixtures.h"
#include "control/pelmor2_ctrl.h"
#include "control/pelmor_prop_page.h"
#include "platform/ole/dispatch.h"
#include "platform/qt/qt_control_host.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_property_frame.h"

using namespace pelmor;
using namespace pelmor::platform;
using namespace pelmor::platform::qt;

namespace {

// The second control, keeping the messages its window sends it.
class RecordingControl : public CPelmor2Ctrl {
 public:
  LRESULT WindowProc(const Message& m) override {
    if (m.message == WM_KEYDOWN || m.message == WM_MOUSEWHEEL || m.message == WM_VSCROLL || m.message == WM_HSCROLL) {
      messages.push_back(m);
    }
    return CPelmor2Ctrl::WindowProc(m);
  }
  std::vector<Message> messages;
};

class RecordingOpener : public DesktopOpener {
 public:
  bool Open(const std::string& target) override {
    opened.push_back(target);
    return true;
  }
  std::vector<std::string> opened;
};

// The rectangles of the paint events a widget receives.
class PaintRecorder : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted |= static_cast<QPaintEvent*>(event)->rect();
    return false;
  }
  QRegion painted;
};

void Put(ole::COleControl& c, const char* name, ole::Variant v) {
  ole::InvokeByName(c, name, ole::DISPATCH_PROPERTYPUT, std::span<const ole::Variant>(&v, 1));
}
bool GetBool(ole::COleControl& c, const char* name) {
  return ole::InvokeByName(c, name, ole::DISPATCH_PROPERTYGET).value.GetBool();
}

// Runs `inspect` on the modal dialog that the next call opens, then closes it.
void WhenModal(std::function<void(QWidget&)> inspect) {
  QTimer::singleShot(0, [inspect] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal != nullptr);
    inspect(*modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal); dialog != nullptr && dialog->isVisible()) dialog->reject();
  });
}

}  // namespace

class QtHostTests : public QObject {
  Q_OBJECT

 private:
  test::TempDir dir_;
  RecordingControl* control_ = nullptr;

  std::unique_ptr<QtControlHost> MakeHost(int w, int h) {
    auto host = std::make_unique<QtControlHost>();
    host->resize(w, h);
    auto control = std::make_unique<RecordingControl>();
    control_ = control.get();
    if (!host->Embed(std::move(control))) return nullptr;
    return host;
  }

 private slots:
  void PaintsThePictureAndFollowsTheSize() {
    auto host = MakeHost(200, 100);
    QVERIFY(host != nullptr);
    host->show();
    Put(*control_, "FileName", ole::Variant::Text(test::SolidBmp(dir_, "red.bmp", 20, 10, 0xFF0000)));
    Put(*control_, "StretchImage", ole::Variant::Bool(true));
    const QImage shot = host->grab().toImage();
    QCOMPARE(shot.pixelColor(100, 50), QColor(255, 0, 0));  // stretched 20x10 fills 200x100
    QCOMPARE(shot.pixelColor(2, 98), QColor(255, 0, 0));

    host->resize(300, 120);
    QCOMPARE(host->Window().Size().cx, 300);
    RECT client{};
    QVERIFY(host->Window().GetClientRect(&client));
    QCOMPARE(client.right, 300);
    const QImage wide = host->grab().toImage();
    QCOMPARE(wide.pixelColor(150, 60), QColor(255, 0, 0));
    QVERIFY(wide.pixelColor(297, 60) != QColor(255, 0, 0));  // 240 x 120, placed on the left
  }

  void ScrollBarsMirrorTheWindow() {
    auto host = MakeHost(200, 150);
    host->show();
    SCROLLINFO info;
    info.fMask = SIF_ALL;
    info.nMin = 0;
    info.nMax = 999;
    info.nPage = 100;
    info.nPos = 250;
    host->Window().SetScrollInfo(SB_VERT, info, true);
    QScrollBar* bar = host->Bar(SB_VERT);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 900);
    QCOMPARE(bar->pageStep(), 100);
    QCOMPARE(bar->value(), 250);
    const int thickness = host->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, host.get());
    RECT client{};
    host->Window().GetClientRect(&client);
    QCOMPARE(client.right, 200 - thickness);
    QCOMPARE(bar->geometry(), QRect(200 - thickness, 0, thickness, 150));
    QVERIFY(!host->Bar(SB_HORZ)->isVisible());

    // Dragging the thumb: thumb-track with the position, the window tracks it, then thumb-position.
    control_->messages.clear();
    bar->setSliderDown(true);
    bar->setSliderPosition(400);
    QCOMPARE(host->Window().Bar(SB_VERT).Pos(), 250);  // nothing moved but the thumb
    bar->setSliderDown(false);
    QVERIFY(control_->messages.size() >= 3);
    QCOMPARE(control_->messages[0].message, WM_VSCROLL);
    QCOMPARE(control_->messages[0].wParam, MAKEWPARAM(SB_THUMBTRACK, 400));
    QCOMPARE(control_->messages[1].wParam, MAKEWPARAM(SB_THUMBPOSITION, 400));
    QCOMPARE(control_->messages.back().wParam, MAKEWPARAM(SB_ENDSCROLL, 0));

    control_->messages.clear();
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(control_->messages.at(0).wParam, MAKEWPARAM(SB_PAGEDOWN, 0));

    info.fMask = SIF_RANGE;
    info.nMax = 50;  // all of it fits the page: the bar goes
    host->Window().SetScrollInfo(SB_VERT, info, true);
    QVERIFY(!bar->isVisible());
  }

  void KeysAndTheWheelReachTheControl() {
    auto host = MakeHost(200, 100);
    QTest::keyClick(host.get(), Qt::Key_PageDown);
    QTest::keyClick(host.get(), Qt::Key_Left);
    QCOMPARE(control_->messages.size(), size_t{2});
    QCOMPARE(control_->messages[0].wParam, WPARAM{0x22});
    QCOMPARE(control_->messages[1].wParam, WPARAM{0x25});
    control_->messages.clear();
    // A smooth wheel sends a notch in three parts; the control hears one notch, downwards.
    for (int i = 0; i < 3; ++i) {
      QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -40), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(host.get(), &wheel);
    }
    QCOMPARE(control_->messages.size(), size_t{1});
    QCOMPARE(GET_WHEEL_DELTA_WPARAM(control_->messages[0].wParam), int16_t{-120});

    QApplication::setWheelScrollLines(5);
    host->NotifySettingChange();
    QCOMPARE(control_->wheelLines, 5);
    QApplication::setWheelScrollLines(3);
  }

  void AFrameFromAnotherThreadIsShownWithoutWaiting() {
    auto host = MakeHost(100, 80);
    host->show();
    QApplication::processEvents();
    const int before = host->PresentedFrames();
    // The worker paints and hands over while this thread is busy (it is waiting in join): the
    // worker must finish without this thread's help.
    std::thread worker([&] {
      for (int i = 0; i < 50; ++i) {
        HDC dc = host->Window().GetDC();
        Surface& s = host->Window().BackingSurface();
        for (int32_t y = 0; y < s.Height(); ++y) {
          for (int32_t x = 0; x < s.Width(); ++x) s.SetPixel(x, y, 0x0000FF);
        }
        host->Window().ReleaseDC(dc);
        host->Window().Present({0, 0, 100, 80});
      }
    });
    worker.join();
    QTRY_VERIFY(host->PresentedFrames() > before);
    QVERIFY(host->PresentedFrames() - before <= 50);
    // The frame the worker drew is on screen (the control has nothing open, so its own paint
    // would not be blue).
    QCOMPARE(host->grab().toImage().pixelColor(50, 40), QColor(0, 0, 255));
  }

  // Frames presented before the host thread gets round to them merge into one update, and only
  // what they covered is painted again.
  void PresentedRectanglesMergeAndRepaintOnlyThemselves() {
    auto host = MakeHost(120, 90);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    QApplication::processEvents();
    PaintRecorder recorder;
    host->installEventFilter(&recorder);
    const int before = host->PresentedFrames();
    std::thread worker([&] {
      host->Window().Present({10, 5, 30, 25});
      host->Window().Present({50, 40, 70, 60});
      host->Window().Present({20, 20, 20, 60});  // empty: nothing to show
    });
    worker.join();
    QTRY_VERIFY(!recorder.painted.isEmpty());
    QApplication::processEvents();
    QCOMPARE(host->PresentedFrames() - before, 1);
    QCOMPARE(recorder.painted.boundingRect(), QRect(QPoint(10, 5), QPoint(69, 59)));
    // A later frame brings a later update of its own rectangle.
    recorder.painted = QRegion();
    host->Window().Present({100, 0, 120, 10});
    QTRY_VERIFY(!recorder.painted.isEmpty());
    QCOMPARE(recorder.painted.boundingRect(), QRect(100, 0, 20, 10));
    QCOMPARE(host->PresentedFrames() - before, 2);
  }

  void SizeRequestsBecomeTheHint() {
    QWidget parent;
    auto* layout = new QVBoxLayout(&parent);
    auto* host = new QtControlHost(&parent);
    layout->addWidget(host);
    QVERIFY(!host->RequestControlSize(321, 123));  // the layout decides
    QCOMPARE(host->sizeHint(), QSize(321, 123));
    QtControlHost top;
    QVERIFY(top.RequestControlSize(150, 90));
    QCOMPARE(top.size(), QSize(150, 90));
    QVERIFY(!top.RequestControlSize(0, 90));
  }

  void AmbientsComeFromThePalette() {
    auto host = MakeHost(50, 50);
    QPalette p = host->palette();
    p.setColor(QPalette::Window, QColor(1, 2, 3));
    host->setPalette(p);
    QCOMPARE(host->AmbientBackColor().value(), RGB(1, 2, 3));
    QVERIFY(host->AmbientUserMode().value());
    host->SetUserMode(false);
    QVERIFY(!host->AmbientUserMode().value());
  }

  void ThePropertyFrameEditsTheControl() {
    auto host = MakeHost(200, 100);
    Put(*control_, "HAlignment", ole::Variant::I4(2));
    std::vector<std::unique_ptr<ole::COlePropertyPage>> pages;
    pages.push_back(std::make_unique<CPelmor2PropPage>());
    ole::PropertyFrame frame("Properties", std::move(pages), {control_});
    QtPropertyFrame shown(frame, nullptr);
    QtDialogPanel& panel = shown.PagePanel(0);
    auto* halign = panel.findChild<QComboBox*>("203");
    QVERIFY(halign != nullptr);
    QCOMPARE(halign->currentText(), QString("2 - Right"));
    QCOMPARE(panel.findChild<QComboBox*>("204")->currentText(), QString("0 - Top"));
    // Positions from dialog units and the panel font's base units.
    const DialogBaseUnits units = panel.Units();
    const RECT edit = MapDialogRect(7, 18, 214, 14, units);
    QCOMPARE(panel.findChild<QLineEdit*>("201")->geometry(),
             QRect(edit.left, edit.top, edit.right - edit.left, edit.bottom - edit.top));
    const RECT scrolling = MapDialogRect(140, 56, 42, 10, units);
    QCOMPARE(panel.findChild<QCheckBox*>("212")->pos(), QPoint(scrolling.left, scrolling.top));

    QVERIFY(!shown.ApplyButton()->isEnabled());
    QVERIFY(GetBool(*control_, "SlideShow"));
    panel.findChild<QCheckBox*>("209")->click();
    QVERIFY(shown.ApplyButton()->isEnabled());
    shown.ApplyButton()->click();
    QVERIFY(!GetBool(*control_, "SlideShow"));
    QCOMPARE(frame.Page(0).LastApply().size(), size_t{1});  // only SlideShow
    QVERIFY(!shown.ApplyButton()->isEnabled());

    // "..." with a file chosen in the dialog, then OK: the control opens it.
    const std::string path = test::SolidBmp(dir_, "blue.bmp", 6, 4, 0x0000FF);
    WhenModal([&](QWidget& modal) {
      auto* files = qobject_cast<QFileDialog*>(&modal);
      QVERIFY(files != nullptr);
      QVERIFY(files->nameFilters().first().startsWith("All files (*.bmp *.jpg"));
      files->selectFile(QString::fromStdString(path));
      QMetaObject::invokeMethod(files, "accept");
    });
    panel.findChild<QPushButton*>("202")->click();
    QCOMPARE(panel.findChild<QLineEdit*>("201")->text().toStdString(), path);
    frame.Apply();
    QVERIFY(ole::InvokeByName(*control_, "IsOpen", ole::DISPATCH_METHOD).value.GetBool());
  }

  void OneLineLabelsShowTheirWholeLine() {
    const char* text = "Horizontal alignment :";
    const DialogItem items[] = {
        {kNoItemId, DialogItemKind::kText, text, 7, 7, 20, 8, SS_LEFT},    // room up to the edge
        {kNoItemId, DialogItemKind::kText, text, 7, 30, 20, 8, SS_LEFT},   // a box beside it
        {301, DialogItemKind::kEdit, "", 40, 28, 50, 14, 0},
        {kNoItemId, DialogItemKind::kText, text, 7, 50, 20, 8, SS_CENTER},
        {kNoItemId, DialogItemKind::kText, text, 7, 70, 20, 24, SS_LEFT},  // three lines high
    };
    const DialogTemplate dialog{"", "MS Sans Serif", 8, 0, 0, 200, 100, 0, items};
    DialogController controller;
    QtDialogPanel panel(dialog, controller);
    const QList<QLabel*> labels = panel.findChildren<QLabel*>();
    QCOMPARE(labels.size(), 4);
    auto templateRect = [&](const DialogItem& item) {
      const RECT r = MapDialogRect(item, panel.Units());
      return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    };
    const int textWidth = QFontMetrics(panel.font()).horizontalAdvance(text);
    QVERIFY(textWidth > templateRect(items[0]).width());
    QVERIFY(!labels[0]->wordWrap());
    QCOMPARE(labels[0]->geometry(), templateRect(items[0]).adjusted(0, 0, textWidth - templateRect(items[0]).width(), 0));
    QVERIFY(!labels[1]->wordWrap());
    QCOMPARE(labels[1]->geometry().right() + 1, panel.findChild<QLineEdit*>("301")->geometry().left());
    QVERIFY(!labels[2]->wordWrap());
    QCOMPARE(labels[2]->geometry(), templateRect(items[3]));
    QVERIFY(labels[3]->wordWrap());
    QCOMPARE(labels[3]->geometry(), templateRect(items[4]));
  }

  void TheAboutBoxAndItsLinks() {
    RecordingOpener opener;
    SetDesktopOpener(&opener);
    test::TempDir settingsDir;
    MemoryUserSettings settings;
    settings.Set(std::string(kLinkColourKey), "Anchor Color", "0,0,128");
    CAboutDlg about(settings);
    about.SetAddresses("https://example.org/", "me@example.org");
    WhenModal([&](QWidget& modal) {
      QCOMPARE(modal.findChild<QLabel*>("206")->text(), QString("Pelmor image viewer control module"));
      QVERIFY(modal.findChild<QLabel*>("207")->text().startsWith("Version 0."));
      QWidget* mail = modal.findChild<QWidget*>("211");
      QVERIFY(mail != nullptr && qobject_cast<QLabel*>(mail) == nullptr);  // taken over
      QCOMPARE(about.mailLink.LinkColour(), RGB(0, 0, 128));
      // Over "Send ": no hover; over "e-mail": hand cursor, capture, underline; a click opens.
      const auto moveTo = [&](QPoint p) {
        QCursor::setPos(mail->mapToGlobal(p));
        QMouseEvent move(QEvent::MouseMove, p, mail->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(mail, &move);
      };
      const int y = mail->height() / 2;
      moveTo(QPoint(3, y));
      QVERIFY(!about.mailLink.Hover());
      QCOMPARE(mail->cursor().shape(), Qt::ArrowCursor);
      const int linkX = QFontMetrics(mail->font()).horizontalAdvance("Send ") + 3;
      moveTo(QPoint(linkX, y));
      QVERIFY(about.mailLink.Hover());
      QCOMPARE(mail->cursor().shape(), Qt::PointingHandCursor);
      QCOMPARE(QWidget::mouseGrabber(), mail);
      QMouseEvent press(QEvent::MouseButtonPress, QPointF(linkX, y), mail->mapToGlobal(QPointF(linkX, y)),
                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(mail, &press);
      QCOMPARE(opener.opened, std::vector<std::string>{"mailto:me@example.org?subject=Pelmor"});
      moveTo(QPoint(mail->width() - 1, y));  // past the text: the hover and the capture end
      QVERIFY(!about.mailLink.Hover());
      QVERIFY(QWidget::mouseGrabber() == nullptr);
    });
    RunModalDialog(CAboutDlg::Template(), about, nullptr);
    SetDesktopOpener(nullptr);
  }
};

QTEST_MAIN(QtHostTests)
#include "qt_host_tests.moc"
