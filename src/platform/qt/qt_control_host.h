// A Qt widget that hosts one control and is its window and its site: paint events run the
// control's paint into the window's backing surface and show it without a copy of our own, the
// widget's size is the window's, keys and the wheel become the control's messages, two real
// QScrollBars mirror the window's bars (dragging gives thumb-track and thumb-position codes), the
// palette and font are the ambient colours and font, and frames a worker paints are shown by a
// queued update that never waits for this thread.
#pragma once

#include <QScrollBar>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/ole/control_site.h"
#include "platform/ole/ole_control.h"
#include "platform/window/window_model.h"

namespace pelmor::platform::qt {

// Scroll codes of WM_HSCROLL and WM_VSCROLL (the low word of wParam).
constexpr uint16_t SB_LINEUP = 0;
constexpr uint16_t SB_LINEDOWN = 1;
constexpr uint16_t SB_PAGEUP = 2;
constexpr uint16_t SB_PAGEDOWN = 3;
constexpr uint16_t SB_THUMBPOSITION = 4;
constexpr uint16_t SB_THUMBTRACK = 5;
constexpr uint16_t SB_TOP = 6;
constexpr uint16_t SB_BOTTOM = 7;
constexpr uint16_t SB_ENDSCROLL = 8;

// The window system's key number of a Qt key; 0 for keys the controls have no use for.
uint32_t VirtualKeyFromQt(int key);

class QtControlHost : public QWidget, public WindowHost, public ole::ControlSite {
 public:
  explicit QtControlHost(QWidget* parent = nullptr);
  ~QtControlHost() override;

  // Takes the control: this widget becomes its site, a new instance's state is set and its window
  // is created at the widget's size. False (and the control dropped) when the window could not
  // be created.
  bool Embed(std::unique_ptr<ole::COleControl> control);
  ole::COleControl* Control() const { return control_.get(); }
  // Closes and drops the control.
  void Release();
  WindowModel& Window() { return window_; }

  // False in a designer; read by the control as its UserMode ambient.
  void SetUserMode(bool userMode) { userMode_ = userMode; }
  // Tells the control the user's settings changed (the palette, the font, the wheel lines).
  void NotifySettingChange();
  QScrollBar* Bar(int bar) const { return bar == SB_VERT ? vertical_ : horizontal_; }

  // WindowHost.
  int32_t ScrollBarThickness() const override;
  void OnInvalidated(const RECT& rect, bool erase) override;
  void OnScrollBarChanged(int bar) override;
  void OnClientAreaChanged() override { LayoutBars(); }
  void Present(const RECT& rect) override;
  std::optional<int32_t> WheelScrollLines() const override;

  // ControlSite.
  std::optional<ole::OLE_COLOR> AmbientBackColor() override;
  std::optional<ole::OLE_COLOR> AmbientForeColor() override;
  std::optional<ole::FontDesc> AmbientFont() override;
  std::optional<bool> AmbientUserMode() override { return userMode_; }
  bool RequestControlSize(int32_t width, int32_t height) override;
  int32_t RunModalDialog(const DialogTemplate& dialog, DialogController& controller) override;
  bool RunPropertyFrame(ole::PropertyFrame& frame) override;

  QSize sizeHint() const override;
  // Frames handed over by other threads and shown (for tests and the status line).
  int PresentedFrames() const { return presented_.load(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void Send(uint32_t message, WPARAM wParam, LPARAM lParam = 0);
  void LayoutBars();
  void SyncBar(int bar);
  void BarAction(int bar, int action);
  void BarReleased(int bar);

  WindowModel window_;
  std::unique_ptr<ole::COleControl> control_;
  QScrollBar* horizontal_;
  QScrollBar* vertical_;
  QWidget* corner_;
  bool userMode_ = true;
  std::optional<QSize> requested_;
  int wheelRest_ = 0;  // 120ths of a notch from smooth wheels not yet handed on
  // What workers presented since the queued update was asked for, in client coordinates; empty
  // while none is queued.
  std::mutex presentMutex_;
  QRect presentPending_;
  std::atomic<int> presented_{0};
};

}  // namespace pelmor::platform::qt
