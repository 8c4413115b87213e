// A control made by a script, shown in a top-level Qt window (pelmor script --show): the window
// shows the control's own window through IPelmorView, keeps its size, and hands it keys and the
// wheel. It holds a reference to the control until it is closed.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "pelmor/pelmor.h"

namespace pelmor::script {

class ControlWindow : public QWidget {
 public:
  // Takes a new reference to view; the window's client area is the view's current size.
  ControlWindow(IPelmorView* view, const QString& title);
  ~ControlWindow() override;

  IPelmorView* View() const { return view_; }
  // The view was given a new size by the script: the window follows.
  void FollowViewSize();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  // Copies what the control shows now (an animation's worker paints on its own time).
  void Refresh();

  IPelmorView* view_;
  QImage picture_;
  QTimer refresh_;
  int wheelRest_ = 0;
};

}  // namespace pelmor::script
