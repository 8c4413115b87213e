// The control framework's part of saving and loading a control: the framework block of a stream,
// the framework's values in a property bag, and the entry points a container calls.
#include <new>

#include "platform/ole/ole_control.h"
#include "platform/ole/prop_exchange.h"

namespace pelmor::ole {

using namespace platform;

namespace {

template <class Fn>
HRESULT Guarded(Fn fn) {
  try {
    fn();
    return S_OK;
  } catch (const ArchiveException& e) {
    return ArchiveErrorCode(e.Cause());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

bool IsColor(OLE_COLOR color) {
  COLORREF unused;
  return SUCCEEDED(OleTranslateColor(color, DefaultSystemColors(), &unused));
}

[[noreturn]] void Refuse(const std::string& what) {
  throw ArchiveException(ArchiveError::kBadFormat, what);
}

}  // namespace

HRESULT COleControl::SaveToStream(std::vector<uint8_t>& out) {
  return Guarded([&] {
    std::vector<uint8_t> bytes;
    Archive ar(bytes);
    Serialize(ar);
    out.insert(out.end(), bytes.begin(), bytes.end());
  });
}

HRESULT COleControl::LoadFromStream(const uint8_t* data, size_t size) {
  return Guarded([&] {
    CByteReader in(data, size);
    Archive ar(in);
    Serialize(ar);
  });
}

HRESULT COleControl::SaveToBag(PropertyBag& bag) {
  return Guarded([&] {
    BagPropExchange px(bag);
    DoPropExchange(px);
  });
}

HRESULT COleControl::LoadFromBag(const PropertyBag& bag) {
  return Guarded([&] {
    BagPropExchange px(bag);
    DoPropExchange(px);
    InvalidateControl();
  });
}

void COleControl::Serialize(Archive& ar) {
  ArchivePropExchange px(ar);
  DoPropExchange(px);
  px.Finish();
  if (ar.IsLoading()) InvalidateControl();
}

void COleControl::DoPropExchange(PropertyExchange& px) {
  FrameworkProps props = CurrentFrameworkProps();
  ExchangeFrameworkProps(px, props, DefaultFrameworkProps());
  if (px.IsLoading()) StoreFrameworkProps(props);
}

FrameworkProps COleControl::CurrentFrameworkProps() const {
  FrameworkProps p;
  p.extentX = HimetricFromPixels(extentWidth_);
  p.extentY = HimetricFromPixels(extentHeight_);
  p.caption = caption_;
  p.foreColor = foreColor_;
  p.backColor = backColor_;
  p.font = font_->Desc();
  p.borderStyle = borderStyle_;
  p.enabled = enabled_;
  return p;
}

FrameworkProps COleControl::DefaultFrameworkProps() const {
  FrameworkProps p;
  // A state without an extent leaves the control at its size.
  p.extentX = HimetricFromPixels(extentWidth_);
  p.extentY = HimetricFromPixels(extentHeight_);
  p.foreColor = AmbientForeColor();
  p.backColor = AmbientBackColor();
  p.font = AmbientFont();
  return p;
}

void COleControl::StoreFrameworkProps(const FrameworkProps& p) {
  // What the setters would refuse is refused here too, before anything changes.
  if (!IsColor(p.foreColor)) Refuse("ForeColor is not a colour");
  if (!IsColor(p.backColor)) Refuse("BackColor is not a colour");
  if (p.borderStyle != 0 && p.borderStyle != 1) Refuse("BorderStyle is neither 0 nor 1");
  if (!p.font.Valid()) Refuse("Font has no name, or a size, weight or character set out of range");

  caption_ = p.caption;
  foreColor_ = p.foreColor;
  backColor_ = p.backColor;
  enabled_ = p.enabled;
  font_->SetSink(nullptr);
  font_->SetDesc(p.font);
  font_->SetSink(this);
  if (p.borderStyle != borderStyle_) {
    borderStyle_ = p.borderStyle;
    if (window_ != nullptr) {
      window_->ModifyStyle(borderStyle_ == 1 ? 0 : WS_BORDER, borderStyle_ == 1 ? WS_BORDER : 0);
    }
  }
  // The container decides whether the control takes its saved size.
  const int32_t width = PixelsFromHimetric(p.extentX);
  const int32_t height = PixelsFromHimetric(p.extentY);
  if (width != extentWidth_ || height != extentHeight_) SetControlSize(width, height);
}

}  // namespace pelmor::ole
