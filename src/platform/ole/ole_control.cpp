#include "platform/ole/ole_control.h"

#include <cmath>
#include <utility>

#include "platform/ole/property_page.h"
#include "platform/ole/stock_pages.h"
#include "platform/text_encoding.h"

namespace pelmor::ole {

using namespace platform;

int32_t HimetricFromPixels(int32_t pixels) {
  return static_cast<int32_t>(std::lround(static_cast<double>(pixels) * 2540.0 / 96.0));
}

int32_t PixelsFromHimetric(int32_t himetric) {
  return static_cast<int32_t>(std::lround(static_cast<double>(himetric) * 96.0 / 2540.0));
}

namespace {

LRESULT HandleCreate(COleControl& self, const Message& m) {
  const auto* create = reinterpret_cast<const CREATESTRUCT*>(m.lParam);
  return create != nullptr ? self.OnCreate(*create) : -1;
}

LRESULT HandleSize(COleControl& self, const Message& m) {
  self.OnSize(static_cast<uint32_t>(m.wParam), LOWORD(static_cast<uintptr_t>(m.lParam)),
              HIWORD(static_cast<uintptr_t>(m.lParam)));
  return 0;
}

LRESULT HandleSettingChange(COleControl& self, const Message&) {
  self.OnSettingChange();
  return 0;
}

LRESULT HandlePaint(COleControl& self, const Message&) {
  self.OnPaint();
  return 0;
}

LRESULT HandleDestroy(COleControl& self, const Message&) {
  self.OnDestroy();
  return 0;
}

constexpr MessageMapEntry kBaseEntries[] = {
    {WM_CREATE, HandleCreate},   {WM_SIZE, HandleSize},       {WM_SETTINGCHANGE, HandleSettingChange},
    {WM_PAINT, HandlePaint},     {WM_DESTROY, HandleDestroy},
};

}  // namespace

const MessageMap COleControl::messageMap{nullptr, kBaseEntries, std::size(kBaseEntries)};

COleControl::COleControl() : font_(std::make_shared<COleFont>()) { font_->SetSink(this); }

COleControl::~COleControl() {
  font_->SetSink(nullptr);  // a script may keep the font object alive
  DestroyControlWindow();
}

void COleControl::OnResetState() { ResetStockProps(); }

void COleControl::ResetStockProps() {
  caption_.clear();
  backColor_ = AmbientBackColor();
  foreColor_ = AmbientForeColor();
  font_->SetSink(nullptr);
  font_->SetDesc(AmbientFont());
  font_->SetSink(this);
  enabled_ = true;
  borderStyle_ = 0;
  if (window_ != nullptr) window_->ModifyStyle(WS_BORDER, 0);
  InvalidateControl();
}

bool COleControl::CreateControlWindow(WindowModel& window, int32_t width, int32_t height) {
  if (window_ != nullptr) return false;
  uint32_t style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  if (borderStyle_ == 1) style |= WS_BORDER;
  PreCreateWindow(style);
  window_ = &window;
  if (!window.Create(this, style, width, height)) {
    window_ = nullptr;
    return false;
  }
  return true;
}

void COleControl::PreCreateWindow(uint32_t&) {}

void COleControl::OnClose() { DestroyControlWindow(); }

void COleControl::DestroyControlWindow() {
  if (window_ == nullptr) return;
  window_->Destroy();  // WM_DESTROY: OnDestroy lets go of the window
  window_ = nullptr;
}

LRESULT COleControl::WindowProc(const Message& message) {
  // Default() hands on the message being handled, also after a nested one has come and gone (a
  // handler that changes a scroll bar gets WM_SIZE from inside the call).
  const Message outer = lastMessage_;
  lastMessage_ = message;
  LRESULT result = 0;
  bool handled = false;
  for (const MessageMap* map = GetMessageMap(); map != nullptr && !handled; map = map->base) {
    for (size_t i = 0; i < map->count; ++i) {
      if (map->entries[i].message == message.message) {
        result = map->entries[i].handler(*this, message);
        handled = true;
        break;
      }
    }
  }
  if (!handled) result = Default();
  lastMessage_ = outer;
  return result;
}

LRESULT COleControl::Default() {
  return window_ != nullptr ? window_->DefWindowProc(lastMessage_) : 0;
}

void COleControl::UpdateWindow() {
  if (window_ != nullptr) window_->UpdateWindow();
}

int COleControl::OnCreate(const CREATESTRUCT& create) {
  extentWidth_ = create.cx;
  extentHeight_ = create.cy;
  return 0;
}

void COleControl::OnSize(uint32_t type, int32_t, int32_t) {
  if (window_ == nullptr || type == SIZE_MINIMIZED) return;
  const SIZE size = window_->Size();
  extentWidth_ = size.cx;
  extentHeight_ = size.cy;
}

void COleControl::OnSettingChange() { Default(); }

void COleControl::OnPaint() {
  if (window_ == nullptr) return;
  RECT invalid{0, 0, 0, 0};
  HDC dc = window_->BeginPaint(&invalid);
  RECT client{0, 0, 0, 0};
  window_->GetClientRect(&client);
  if (dc != nullptr) OnDraw(dc, client, invalid);
  window_->EndPaint(dc);
}

void COleControl::OnDestroy() { window_ = nullptr; }

void COleControl::OnDraw(HDC dc, const RECT& bounds, const RECT&) {
  HBRUSH brush = CreateSolidBrush(TranslateColor(GetBackColor()));
  FillRect(dc, &bounds, brush);
  DeleteObject(brush);
}

void COleControl::InvalidateControl(const RECT* rect, bool erase) {
  if (window_ != nullptr) window_->Invalidate(rect, erase);
}

bool COleControl::SetControlSize(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return false;
  if (site_ == nullptr) {
    if (window_ != nullptr) return false;  // nobody to ask for a new window size
    extentWidth_ = width;
    extentHeight_ = height;
    return true;
  }
  if (!site_->RequestControlSize(width, height)) return false;
  if (window_ == nullptr) {
    extentWidth_ = width;
    extentHeight_ = height;
  }
  return true;
}

void COleControl::GetControlSize(int32_t* width, int32_t* height) const {
  if (width != nullptr) *width = extentWidth_;
  if (height != nullptr) *height = extentHeight_;
}

COLORREF COleControl::TranslateColor(OLE_COLOR color, HPALETTE) const {
  COLORREF out = 0;
  const SystemColorTable& table = site_ != nullptr ? site_->SystemColors() : DefaultSystemColors();
  return SUCCEEDED(OleTranslateColor(color, table, &out)) ? out : RGB(0, 0, 0);
}

OLE_COLOR COleControl::AmbientBackColor() const {
  if (site_ != nullptr) {
    if (auto c = site_->AmbientBackColor()) return *c;
  }
  // The system window colour as a plain colour reference.
  return TranslateColor(SystemColor(COLOR_WINDOW));
}

OLE_COLOR COleControl::AmbientForeColor() const {
  if (site_ != nullptr) {
    if (auto c = site_->AmbientForeColor()) return *c;
  }
  return TranslateColor(SystemColor(COLOR_WINDOWTEXT));
}

FontDesc COleControl::AmbientFont() const {
  if (site_ != nullptr) {
    if (auto f = site_->AmbientFont()) return *f;
  }
  return FontDesc{};
}

bool COleControl::AmbientUserMode() const {
  if (site_ != nullptr) {
    if (auto m = site_->AmbientUserMode()) return *m;
  }
  return true;
}

platform::Clock& COleControl::GetClock() const {
  return site_ != nullptr ? site_->GetClock() : platform::RealClock();
}

HFONT COleControl::SelectStockFont(HDC dc) {
  HFONT font = font_->Handle();
  if (font == nullptr) return nullptr;
  return static_cast<HFONT>(SelectObject(dc, font));
}

void COleControl::RequestEdit(DISPID id) {
  if (site_ != nullptr && !site_->OnRequestEdit(id)) ThrowError(CTL_E_SETNOTPERMITTED);
}

void COleControl::Changed(DISPID id) {
  if (site_ != nullptr) site_->OnChanged(id);
}

void COleControl::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  RequestEdit(DISPID_CAPTION);
  caption_ = caption;
  SetModifiedFlag();
  OnTextChanged();
  Changed(DISPID_CAPTION);
}

void COleControl::SetFont(const FontDesc& desc) {
  font_->SetSink(nullptr);
  font_->SetDesc(desc);
  font_->SetSink(this);
  OnFontObjectChanged();
}

void COleControl::OnFontObjectChanged() {
  SetModifiedFlag();
  OnFontChanged();
  Changed(DISPID_FONT);
}

void COleControl::SetForeColor(OLE_COLOR color) {
  if (color == GetForeColor()) return;
  COLORREF unused;
  if (FAILED(OleTranslateColor(color, DefaultSystemColors(), &unused))) {
    ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  }
  RequestEdit(DISPID_FORECOLOR);
  foreColor_ = color;
  OnForeColorChanged();
  Changed(DISPID_FORECOLOR);
  SetModifiedFlag();
}

void COleControl::SetBackColor(OLE_COLOR color) {
  if (color == GetBackColor()) return;
  COLORREF unused;
  if (FAILED(OleTranslateColor(color, DefaultSystemColors(), &unused))) {
    ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  }
  RequestEdit(DISPID_BACKCOLOR);
  backColor_ = color;
  OnBackColorChanged();
  Changed(DISPID_BACKCOLOR);
  SetModifiedFlag();
}

void COleControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  RequestEdit(DISPID_ENABLED);
  enabled_ = enabled;
  SetModifiedFlag();
  OnEnabledChanged();
  Changed(DISPID_ENABLED);
}

void COleControl::SetBorderStyle(int16_t style) {
  if (style == borderStyle_) return;
  if (style != 0 && style != 1) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  RequestEdit(DISPID_BORDERSTYLE);
  borderStyle_ = style;
  SetModifiedFlag();
  // A bordered window loses the border from its client area (and the control hears WM_SIZE).
  if (window_ != nullptr) window_->ModifyStyle(style == 1 ? 0 : WS_BORDER, style == 1 ? WS_BORDER : 0);
  OnBorderStyleChanged();
  Changed(DISPID_BORDERSTYLE);
}

bool COleControl::OnProperties() {
  if (site_ == nullptr) return false;
  std::vector<std::unique_ptr<COlePropertyPage>> pages;
  for (const GUID& clsid : GetPropPageIDs()) {
    if (auto page = CreatePropertyPage(clsid)) pages.push_back(std::move(page));
  }
  PropertyFrame frame(PropertyFrameCaption(), std::move(pages), {this});
  return site_->RunPropertyFrame(frame);
}

std::unique_ptr<COlePropertyPage> COleControl::CreatePropertyPage(const GUID& clsid) const {
  if (clsid == CLSID_StockFontPage) return std::make_unique<CStockFontPage>();
  if (clsid == CLSID_StockColorPage) return std::make_unique<CStockColorPage>();
  return nullptr;
}

namespace stock {

namespace {
COleControl& Self(DispatchObject& o) { return static_cast<COleControl&>(o); }
}  // namespace

HRESULT GetCaption(DispatchObject& self, Variant& value) {
  value = Variant::Text(Self(self).GetCaption());
  return S_OK;
}
HRESULT PutCaption(DispatchObject& self, const Variant& value) {
  Self(self).SetCaption(BytesFromUtf16(value.GetBstr()));
  return S_OK;
}
HRESULT GetFont(DispatchObject& self, Variant& value) {
  value = Variant::Dispatch(Self(self).GetFontObject());
  return S_OK;
}
HRESULT PutFont(DispatchObject& self, const Variant& value) {
  const DispatchPtr& object = value.GetDispatch();
  if (object == nullptr) {
    Self(self).SetFont(FontDesc{});
    return S_OK;
  }
  const auto* font = dynamic_cast<const COleFont*>(object.get());
  if (font == nullptr) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  const FontDesc desc = font->Desc();  // a copy: the font may be the control's own
  Self(self).SetFont(desc);
  return S_OK;
}
HRESULT GetForeColor(DispatchObject& self, Variant& value) {
  value = Variant::UI4(Self(self).GetForeColor());
  return S_OK;
}
HRESULT PutForeColor(DispatchObject& self, const Variant& value) {
  Self(self).SetForeColor(value.GetUI4());
  return S_OK;
}
HRESULT GetEnabled(DispatchObject& self, Variant& value) {
  value = Variant::Bool(Self(self).GetEnabled());
  return S_OK;
}
HRESULT PutEnabled(DispatchObject& self, const Variant& value) {
  Self(self).SetEnabled(value.GetBool() != 0);
  return S_OK;
}
HRESULT GetBackColor(DispatchObject& self, Variant& value) {
  value = Variant::UI4(Self(self).GetBackColor());
  return S_OK;
}
HRESULT PutBackColor(DispatchObject& self, const Variant& value) {
  Self(self).SetBackColor(value.GetUI4());
  return S_OK;
}
HRESULT GetBorderStyle(DispatchObject& self, Variant& value) {
  value = Variant::I2(Self(self).GetBorderStyle());
  return S_OK;
}
HRESULT PutBorderStyle(DispatchObject& self, const Variant& value) {
  Self(self).SetBorderStyle(value.GetI2());
  return S_OK;
}
HRESULT AboutBox(DispatchObject& self, const Variant*, Variant&) {
  Self(self).AboutBox();
  return S_OK;
}

}  // namespace stock

}  // namespace pelmor::ole
