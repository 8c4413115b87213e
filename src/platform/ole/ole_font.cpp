#include "platform/ole/ole_font.h"

#include <cmath>
#include <utility>

#include "platform/text_encoding.h"

namespace pelmor::ole {

platform::FontDescription FontDesc::ForDrawing() const {
  platform::FontDescription d;
  d.faceName = name;
  d.pointSize = size;
  d.weight = weight;
  d.italic = italic;
  d.underline = underline;
  d.strikethrough = strikethrough;
  return d;
}

bool FontDesc::Valid() const {
  return !name.empty() && size > 0 && size <= kLargestFontSize && weight >= 0 && weight <= 1000 &&
         charset >= 0 && charset <= 255;
}

COleFont::COleFont(FontDesc desc) : desc_(std::move(desc)) {}

COleFont::~COleFont() { DropHandle(); }

void COleFont::SetDesc(const FontDesc& desc) {
  if (desc == desc_) return;
  desc_ = desc;
  Changed();
}

void COleFont::SetName(std::string name) {
  if (name.empty()) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  if (name == desc_.name) return;
  desc_.name = std::move(name);
  Changed();
}

void COleFont::SetSize(double points) {
  if (!(points > 0 && points <= kLargestFontSize)) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  // Sizes are kept to four decimals, as a currency value holds them.
  points = std::round(points * 10000) / 10000;
  if (points == desc_.size) return;
  desc_.size = points;
  Changed();
}

void COleFont::SetWeight(int32_t weight) {
  if (weight < 0 || weight > 1000) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  if (weight == desc_.weight) return;
  desc_.weight = static_cast<int16_t>(weight);
  Changed();
}

void COleFont::SetCharset(int32_t charset) {
  if (charset < 0 || charset > 255) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
  if (charset == desc_.charset) return;
  desc_.charset = static_cast<int16_t>(charset);
  Changed();
}

void COleFont::SetBold(bool bold) { SetWeight(bold ? platform::FW_BOLD : platform::FW_NORMAL); }

void COleFont::SetItalic(bool on) {
  if (on == desc_.italic) return;
  desc_.italic = on;
  Changed();
}

void COleFont::SetUnderline(bool on) {
  if (on == desc_.underline) return;
  desc_.underline = on;
  Changed();
}

void COleFont::SetStrikethrough(bool on) {
  if (on == desc_.strikethrough) return;
  desc_.strikethrough = on;
  Changed();
}

platform::HFONT COleFont::Handle() {
  if (handle_ == nullptr) handle_ = platform::CreateFontIndirect(desc_.ForDrawing());
  return handle_;
}

void COleFont::DropHandle() {
  // Painting selects the handle only for the time of one call and puts the previous font back,
  // so it is never selected when the description changes.
  if (handle_ != nullptr) platform::DeleteObject(handle_);
  handle_ = nullptr;
}

void COleFont::Changed() {
  DropHandle();
  if (sink_ != nullptr) sink_->OnFontObjectChanged();
}

// The dispatch interface of the font object.
namespace {

COleFont& Self(DispatchObject& o) { return static_cast<COleFont&>(o); }

HRESULT GetName(DispatchObject& o, Variant& v) {
  v = Variant::Text(Self(o).Desc().name);
  return S_OK;
}
HRESULT PutName(DispatchObject& o, const Variant& v) {
  Self(o).SetName(platform::BytesFromUtf16(v.GetBstr()));
  return S_OK;
}
HRESULT GetSize(DispatchObject& o, Variant& v) {
  v = Variant::R8(Self(o).Desc().size);
  return S_OK;
}
HRESULT PutSize(DispatchObject& o, const Variant& v) {
  Self(o).SetSize(v.GetR8());
  return S_OK;
}
HRESULT GetBold(DispatchObject& o, Variant& v) {
  v = Variant::Bool(Self(o).Desc().Bold());
  return S_OK;
}
HRESULT PutBold(DispatchObject& o, const Variant& v) {
  Self(o).SetBold(v.GetBool() != 0);
  return S_OK;
}
HRESULT GetItalic(DispatchObject& o, Variant& v) {
  v = Variant::Bool(Self(o).Desc().italic);
  return S_OK;
}
HRESULT PutItalic(DispatchObject& o, const Variant& v) {
  Self(o).SetItalic(v.GetBool() != 0);
  return S_OK;
}
HRESULT GetUnderline(DispatchObject& o, Variant& v) {
  v = Variant::Bool(Self(o).Desc().underline);
  return S_OK;
}
HRESULT PutUnderline(DispatchObject& o, const Variant& v) {
  Self(o).SetUnderline(v.GetBool() != 0);
  return S_OK;
}
HRESULT GetStrikethrough(DispatchObject& o, Variant& v) {
  v = Variant::Bool(Self(o).Desc().strikethrough);
  return S_OK;
}
HRESULT PutStrikethrough(DispatchObject& o, const Variant& v) {
  Self(o).SetStrikethrough(v.GetBool() != 0);
  return S_OK;
}
HRESULT GetWeight(DispatchObject& o, Variant& v) {
  v = Variant::I2(Self(o).Desc().weight);
  return S_OK;
}
HRESULT PutWeight(DispatchObject& o, const Variant& v) {
  Self(o).SetWeight(v.GetI2());
  return S_OK;
}
HRESULT GetCharset(DispatchObject& o, Variant& v) {
  v = Variant::I2(Self(o).Desc().charset);
  return S_OK;
}
HRESULT PutCharset(DispatchObject& o, const Variant& v) {
  Self(o).SetCharset(v.GetI2());
  return S_OK;
}

constexpr DispEntry Property(DISPID id, const char* name, VARTYPE type, const char* idl,
                             PropertyGetter get, PropertySetter put) {
  return {id, name, MemberKind::kProperty, type, idl, nullptr, 0, get, put, nullptr, "", 0};
}

constexpr DispEntry kFontEntries[] = {
    Property(DISPID_FONT_NAME, "Name", VT_BSTR, "BSTR", GetName, PutName),
    Property(DISPID_FONT_SIZE, "Size", VT_R8, "double", GetSize, PutSize),
    Property(DISPID_FONT_BOLD, "Bold", VT_BOOL, "VARIANT_BOOL", GetBold, PutBold),
    Property(DISPID_FONT_ITALIC, "Italic", VT_BOOL, "VARIANT_BOOL", GetItalic, PutItalic),
    Property(DISPID_FONT_UNDER, "Underline", VT_BOOL, "VARIANT_BOOL", GetUnderline, PutUnderline),
    Property(DISPID_FONT_STRIKE, "Strikethrough", VT_BOOL, "VARIANT_BOOL", GetStrikethrough,
             PutStrikethrough),
    Property(DISPID_FONT_WEIGHT, "Weight", VT_I2, "short", GetWeight, PutWeight),
    Property(DISPID_FONT_CHARSET, "Charset", VT_I2, "short", GetCharset, PutCharset),
};

constexpr DispatchTable kFontTable{"IFontDisp", kFontEntries, std::size(kFontEntries)};

}  // namespace

const DispatchTable& COleFont::Table() { return kFontTable; }
const DispatchTable& COleFont::GetDispatchTable() const { return kFontTable; }

}  // namespace pelmor::ole
