#include "platform/qt/qt_control_host.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QWheelEvent>

#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_property_frame.h"

namespace pelmor::platform::qt {

uint32_t VirtualKeyFromQt(int key) {
  switch (key) {
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Escape: return 0x1B;
    default: break;
  }
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    return static_cast<uint32_t>(key);  // the same numbers in both systems
  }
  return 0;
}

QtControlHost::QtControlHost(QWidget* parent)
    : QWidget(parent),
      window_(this),
      horizontal_(new QScrollBar(Qt::Horizontal, this)),
      vertical_(new QScrollBar(Qt::Vertical, this)),
      corner_(new QWidget(this)) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  corner_->setAutoFillBackground(true);
  for (const int bar : {SB_HORZ, SB_VERT}) {
    QScrollBar* q = Bar(bar);
    q->hide();
    q->setFocusPolicy(Qt::NoFocus);
    connect(q, &QAbstractSlider::actionTriggered, this, [this, bar](int action) { BarAction(bar, action); });
    connect(q, &QAbstractSlider::sliderReleased, this, [this, bar] { BarReleased(bar); });
  }
  corner_->hide();
}

QtControlHost::~QtControlHost() { Release(); }

bool QtControlHost::Embed(std::unique_ptr<ole::COleControl> control) {
  Release();
  if (control == nullptr) return false;
  control->SetClientSite(this);
  control->InitNew();
  const QSize size = this->size().isEmpty() ? QSize(1, 1) : this->size();
  if (!control->CreateControlWindow(window_, size.width(), size.height())) {
    control->SetClientSite(nullptr);
    return false;
  }
  control_ = std::move(control);
  SyncBar(SB_HORZ);
  SyncBar(SB_VERT);
  update();
  return true;
}

void QtControlHost::Release() {
  if (control_ == nullptr) return;
  control_->Close();
  control_.reset();
}

void QtControlHost::NotifySettingChange() {
  window_.SetSize(width(), height());
  Send(WM_SETTINGCHANGE, 0);
  LayoutBars();
  update();
}

int32_t QtControlHost::ScrollBarThickness() const {
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void QtControlHost::OnInvalidated(const RECT& rect, bool) {
  const RECT client = window_.ClientArea();
  update(QRect(client.left + rect.left, client.top + rect.top, rect.right - rect.left, rect.bottom - rect.top));
}

void QtControlHost::OnScrollBarChanged(int bar) {
  SyncBar(bar);
  LayoutBars();
}

void QtControlHost::Present(const RECT& rect) {
  // Any thread: one queued update at a time, for every rectangle presented until it runs; the
  // worker never waits for this thread.
  if (rect.left >= rect.right || rect.top >= rect.bottom) return;
  const QRect presented(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
  {
    std::lock_guard<std::mutex> hold(presentMutex_);
    const bool queued = !presentPending_.isEmpty();
    presentPending_ |= presented;
    if (queued) return;
  }
  QMetaObject::invokeMethod(
      this,
      [this] {
        QRect changed;
        {
          std::lock_guard<std::mutex> hold(presentMutex_);
          std::swap(changed, presentPending_);
        }
        presented_.fetch_add(1);
        const RECT client = window_.ClientArea();
        update(changed.translated(client.left, client.top));
      },
      Qt::QueuedConnection);
}

std::optional<int32_t> QtControlHost::WheelScrollLines() const {
  const int lines = QApplication::wheelScrollLines();
  return lines > 0 ? lines : -1;
}

std::optional<ole::OLE_COLOR> QtControlHost::AmbientBackColor() {
  return ColorRefFrom(palette().color(QPalette::Window));
}
std::optional<ole::OLE_COLOR> QtControlHost::AmbientForeColor() {
  return ColorRefFrom(palette().color(QPalette::WindowText));
}
std::optional<ole::FontDesc> QtControlHost::AmbientFont() {
  const QFont f = font();
  ole::FontDesc desc;
  desc.name = f.family().toStdString();
  desc.size = f.pointSizeF() > 0 ? f.pointSizeF() : f.pixelSize() * 0.75;
  desc.weight = static_cast<int16_t>(f.weight());
  desc.italic = f.italic();
  desc.underline = f.underline();
  desc.strikethrough = f.strikeOut();
  return desc;
}

bool QtControlHost::RequestControlSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return false;
  requested_ = QSize(width, height);
  updateGeometry();  // the parent's layout may honour the new hint later
  if (!isWindow()) return false;
  resize(width, height);
  return size() == QSize(width, height);
}

QSize QtControlHost::sizeHint() const { return requested_.value_or(QSize(320, 240)); }

int32_t QtControlHost::RunModalDialog(const DialogTemplate& dialog, DialogController& controller) {
  return qt::RunModalDialog(dialog, controller, this);
}

bool QtControlHost::RunPropertyFrame(ole::PropertyFrame& frame) {
  qt::RunPropertyFrame(frame, this);
  return true;
}

void QtControlHost::Send(uint32_t message, WPARAM wParam, LPARAM lParam) {
  if (control_ != nullptr && window_.Exists()) control_->WindowProc({message, wParam, lParam});
}

void QtControlHost::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (!window_.Exists()) {
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    return;
  }
  window_.UpdateWindow();
  const RECT client = window_.ClientArea();
  if (window_.Style() & WS_BORDER) {
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
  }
  // The backing surface as it is, under the window's client context so that a worker's frame is
  // never shown half painted.
  const HDC dc = window_.GetDC();
  const Surface& surface = window_.BackingSurface();
  if (surface && surface.Width() > 0 && surface.Height() > 0) {
    // Only the part asked for is copied.
    const QRect shown = event->rect() & QRect(client.left, client.top, surface.Width(), surface.Height());
    if (!shown.isEmpty()) {
      const QImage image(reinterpret_cast<const uchar*>(surface.Row(0)), surface.Width(), surface.Height(),
                         static_cast<qsizetype>(surface.Width()) * 4, QImage::Format_RGB32);
      painter.drawImage(shown, image, shown.translated(-client.left, -client.top));
    }
  }
  if (dc != nullptr) window_.ReleaseDC(dc);
}

void QtControlHost::resizeEvent(QResizeEvent*) {
  window_.SetSize(width(), height());
  LayoutBars();
}

void QtControlHost::keyPressEvent(QKeyEvent* event) {
  const uint32_t key = VirtualKeyFromQt(event->key());
  if (key == 0 || control_ == nullptr) {
    QWidget::keyPressEvent(event);
    return;
  }
  Send(WM_KEYDOWN, key, 1);
}

void QtControlHost::wheelEvent(QWheelEvent* event) {
  // Smooth wheels and touchpads send parts of a notch; they add up in 120ths, and whole notches
  // go on to the control.
  int delta = event->angleDelta().y();
  if (delta == 0 && !event->pixelDelta().isNull()) delta = event->pixelDelta().y() * 120 / 40;
  wheelRest_ += delta;
  const int notches = wheelRest_ / 120;
  if (notches == 0) return;
  wheelRest_ -= notches * 120;
  const int clamped = std::clamp(notches * 120, -32768, 32767);
  Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<uint16_t>(static_cast<int16_t>(clamped))),
       MAKELPARAM(static_cast<uint16_t>(event->position().x()), static_cast<uint16_t>(event->position().y())));
  event->accept();
}

void QtControlHost::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
      event->type() == QEvent::StyleChange) {
    NotifySettingChange();
  }
  QWidget::changeEvent(event);
}

bool QtControlHost::event(QEvent* event) {
  if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ApplicationFontChange) {
    NotifySettingChange();
  }
  return QWidget::event(event);
}

void QtControlHost::LayoutBars() {
  const RECT client = window_.ClientArea();
  const int thickness = ScrollBarThickness();
  const bool h = window_.Exists() && window_.BarVisible(SB_HORZ);
  const bool v = window_.Exists() && window_.BarVisible(SB_VERT);
  horizontal_->setVisible(h);
  vertical_->setVisible(v);
  if (h) horizontal_->setGeometry(client.left, client.bottom, client.right - client.left, thickness);
  if (v) vertical_->setGeometry(client.right, client.top, thickness, client.bottom - client.top);
  corner_->setVisible(h && v);
  if (h && v) corner_->setGeometry(client.right, client.bottom, thickness, thickness);
}

void QtControlHost::SyncBar(int bar) {
  QScrollBar* q = Bar(bar);
  const ScrollBar state = window_.Bar(bar);
  const QSignalBlocker block(q);
  const int64_t last = int64_t{state.Max()} - (state.Page() > 0 ? state.Page() - 1 : 0);
  q->setRange(state.Min(), static_cast<int>(std::max<int64_t>(state.Min(), last)));
  q->setPageStep(static_cast<int>(std::max<uint32_t>(1, state.Page())));
  q->setSingleStep(1);
  if (!q->isSliderDown()) q->setValue(state.Pos());
}

void QtControlHost::BarAction(int bar, int action) {
  QScrollBar* q = Bar(bar);
  const uint32_t message = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
  uint16_t code;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
    case QAbstractSlider::SliderMove: {
      const int pos = q->sliderPosition();
      window_.TrackThumb(bar, pos);
      Send(message, MAKEWPARAM(SB_THUMBTRACK, static_cast<uint16_t>(pos)));
      return;
    }
    default: return;
  }
  Send(message, MAKEWPARAM(code, 0));
  Send(message, MAKEWPARAM(SB_ENDSCROLL, 0));
  // The control decides where the bar goes; the slider shows that, not its own step.
  q->setSliderPosition(window_.Bar(bar).Pos());
}

void QtControlHost::BarReleased(int bar) {
  QScrollBar* q = Bar(bar);
  const uint32_t message = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
  const int pos = q->sliderPosition();
  Send(message, MAKEWPARAM(SB_THUMBPOSITION, static_cast<uint16_t>(pos)));
  window_.TrackThumb(bar, std::nullopt);
  Send(message, MAKEWPARAM(SB_ENDSCROLL, 0));
  SyncBar(bar);
}

}  // namespace pelmor::platform::qt
