// PelmorWidget: the second control as a Qt widget for forms. Its properties are the control's own,
// named as its dispatch interface names them, and appear as dynamic properties of the widget: a
// form editor lists them, a form file stores them, and setting one (setProperty, or a form loaded
// with QUiLoader or compiled by uic) goes to the control's dispatch setter. The widget then shows
// what the control made of the value (a value the control refuses goes back to the old one).
#pragma once

#include <QVariant>

#include "platform/ole/dispatch.h"
#include "platform/qt/qt_control_host.h"

namespace pelmor::designer {

class PelmorWidget : public platform::qt::QtControlHost {
  Q_OBJECT

 public:
  // designMode: the control runs for a form editor (its UserMode ambient false: no animation).
  explicit PelmorWidget(QWidget* parent = nullptr, bool designMode = false);

  // Whether a member of the dispatch table is offered as a property: readable, writable, and of
  // a type a form can hold (text, number, truth value, colour).
  static bool Offered(const ole::DispEntry& entry);

 protected:
  bool event(QEvent* event) override;

 private:
  // Reads the property from the control into the widget's property of that name.
  void Publish(const ole::DispEntry& entry);
  // Hands the widget's property of that name to the control's setter, then publishes the result.
  void Apply(const QByteArray& name);

  bool publishing_ = false;
};

}  // namespace pelmor::designer
