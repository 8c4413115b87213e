#include "control_window.h"

#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "platform/qt/qt_control_host.h"
#include "platform/window/window_message.h"

namespace pelmor::script {

namespace {

// How often the window copies the control's pixels: frames a slide show paints appear within it.
constexpr int kRefreshMs = 40;

}  // namespace

ControlWindow::ControlWindow(IPelmorView* view, const QString& title) : view_(view) {
  view_->lpVtbl->AddRef(view_);
  setWindowTitle(title);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  int32_t w = 0, h = 0;
  view_->lpVtbl->GetSize(view_, &w, &h);
  resize(w, h);
  connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
  refresh_.start(kRefreshMs);
}

ControlWindow::~ControlWindow() { view_->lpVtbl->Release(view_); }

void ControlWindow::FollowViewSize() {
  int32_t w = 0, h = 0;
  if (view_->lpVtbl->GetSize(view_, &w, &h) == S_OK && QSize(w, h) != size()) resize(w, h);
}

void ControlWindow::Refresh() {
  int32_t w = 0, h = 0;
  if (view_->lpVtbl->Update(view_) != S_OK || view_->lpVtbl->GetSize(view_, &w, &h) != S_OK) return;
  if (picture_.size() != QSize(w, h)) picture_ = QImage(w, h, QImage::Format_RGB32);
  if (picture_.isNull()) return;
  if (view_->lpVtbl->CopyPixels(view_, reinterpret_cast<uint32_t*>(picture_.bits()), w, h,
                                static_cast<int32_t>(picture_.bytesPerLine())) == S_OK) {
    update();
  }
}

void ControlWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  painter.drawImage(0, 0, picture_);
}

void ControlWindow::resizeEvent(QResizeEvent* event) {
  const QSize s = event->size();
  view_->lpVtbl->SetSize(view_, std::clamp(s.width(), 1, 16384), std::clamp(s.height(), 1, 16384));
  Refresh();
}

void ControlWindow::keyPressEvent(QKeyEvent* event) {
  const uint32_t key = platform::qt::VirtualKeyFromQt(event->key());
  if (key == 0) {
    QWidget::keyPressEvent(event);
    return;
  }
  view_->lpVtbl->SendMessage(view_, platform::WM_KEYDOWN, key, 0, nullptr);
  Refresh();
}

void ControlWindow::wheelEvent(QWheelEvent* event) {
  wheelRest_ += event->angleDelta().y();
  const int notches = wheelRest_ / 120;
  if (notches == 0) return;
  wheelRest_ -= notches * 120;
  const auto delta = static_cast<uint16_t>(static_cast<int16_t>(std::clamp(notches * 120, -32768, 32767)));
  view_->lpVtbl->SendMessage(view_, platform::WM_MOUSEWHEEL, static_cast<uintptr_t>(delta) << 16, 0,
                             nullptr);
  Refresh();
}

}  // namespace pelmor::script
