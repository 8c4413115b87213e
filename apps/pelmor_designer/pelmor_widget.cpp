#include "pelmor_widget.h"

#include <QColor>
#include <QDynamicPropertyChangeEvent>
#include <limits>

#include "control/headless_control.h"

namespace pelmor::designer {

namespace {

bool IsColor(const ole::DispEntry& entry) { return (entry.flags & ole::kMemberColor) != 0; }

// The control's value as the widget's property.
QVariant ToQt(const ole::DispEntry& entry, const ole::Variant& value, const ole::COleControl& control) {
  switch (value.Type()) {
    case ole::VT_BSTR: return QString::fromStdU16String(value.GetBstr());
    case ole::VT_BOOL: return value.GetBool() != 0;
    case ole::VT_I2: return static_cast<int>(value.GetI2());
    case ole::VT_I4: return value.GetI4();
    case ole::VT_R4: return static_cast<double>(value.GetR4());
    case ole::VT_R8: return value.GetR8();
    case ole::VT_UI4: {
      if (!IsColor(entry)) return static_cast<uint>(value.GetUI4());
      const platform::COLORREF rgb = control.TranslateColor(value.GetUI4());
      return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    }
    default: return {};
  }
}

// The widget's property as the value the control's setter takes; nothing when it does not fit.
std::optional<ole::Variant> FromQt(const ole::DispEntry& entry, const QVariant& value) {
  bool ok = true;
  switch (entry.type) {
    case ole::VT_BSTR: return ole::Variant::Bstr(value.toString().toStdU16String());
    case ole::VT_BOOL: return ole::Variant::Bool(value.toBool());
    case ole::VT_I2: {
      const int n = value.toInt(&ok);
      if (!ok || n < std::numeric_limits<int16_t>::min() || n > std::numeric_limits<int16_t>::max()) {
        return std::nullopt;
      }
      return ole::Variant::I2(static_cast<int16_t>(n));
    }
    case ole::VT_I4: {
      const int n = value.toInt(&ok);
      return ok ? std::optional(ole::Variant::I4(n)) : std::nullopt;
    }
    case ole::VT_R4:
    case ole::VT_R8: {
      const double d = value.toDouble(&ok);
      if (!ok) return std::nullopt;
      return entry.type == ole::VT_R4 ? ole::Variant::R4(static_cast<float>(d)) : ole::Variant::R8(d);
    }
    case ole::VT_UI4: {
      if (IsColor(entry)) {
        const QColor c = value.value<QColor>();
        if (!c.isValid()) return std::nullopt;
        return ole::Variant::UI4(static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
                                 static_cast<uint32_t>(c.blue()) << 16);
      }
      const uint n = value.toUInt(&ok);
      return ok ? std::optional(ole::Variant::UI4(n)) : std::nullopt;
    }
    default: return std::nullopt;
  }
}

}  // namespace

bool PelmorWidget::Offered(const ole::DispEntry& entry) {
  if (entry.kind != ole::MemberKind::kProperty || entry.ReadOnly() || entry.get == nullptr) return false;
  switch (entry.type) {
    case ole::VT_BSTR:
    case ole::VT_BOOL:
    case ole::VT_I2:
    case ole::VT_I4:
    case ole::VT_R4:
    case ole::VT_R8:
    case ole::VT_UI4: return true;
    default: return false;
  }
}

PelmorWidget::PelmorWidget(QWidget* parent, bool designMode) : QtControlHost(parent) {
  resize(320, 240);
  SetUserMode(!designMode);
  if (!Embed(CreatePelmorControl(2))) return;
  for (const ole::DispEntry& entry : Control()->GetDispatchTable().Entries()) {
    if (Offered(entry)) Publish(entry);
  }
}

void PelmorWidget::Publish(const ole::DispEntry& entry) {
  ole::COleControl* control = Control();
  if (control == nullptr) return;
  const ole::InvokeResult r = ole::InvokeByName(*control, entry.name, ole::DISPATCH_PROPERTYGET);
  if (ole::FAILED(r.hr)) return;
  const QVariant value = ToQt(entry, r.value, *control);
  if (!value.isValid()) return;
  publishing_ = true;
  setProperty(entry.name, value);
  publishing_ = false;
}

void PelmorWidget::Apply(const QByteArray& name) {
  ole::COleControl* control = Control();
  if (control == nullptr) return;
  const ole::DispEntry* entry = control->GetDispatchTable().FindName(name.toStdString());
  // Only the exact names the widget offers; any other dynamic property is the form's own.
  if (entry == nullptr || !Offered(*entry) || name != entry->name) return;
  if (const auto value = FromQt(*entry, property(name.constData()))) {
    ole::InvokeByName(*control, entry->name, ole::DISPATCH_PROPERTYPUT,
                      std::span<const ole::Variant>(&*value, 1));
  }
  Publish(*entry);
}

bool PelmorWidget::event(QEvent* event) {
  if (event->type() == QEvent::DynamicPropertyChange && !publishing_) {
    Apply(static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName());
  }
  return QtControlHost::event(event);
}

}  // namespace pelmor::designer
