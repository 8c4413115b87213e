#include "control/dispatch_tables.h"

#include "control/pelmor2_ctrl.h"
#include "control/pelmor_ctrl.h"
#include "platform/text_encoding.h"

namespace pelmor {

using namespace ole;

namespace {

CPelmorCtrl& First(DispatchObject& o) { return static_cast<CPelmorCtrl&>(o); }
CPelmor2Ctrl& Second(DispatchObject& o) { return static_cast<CPelmor2Ctrl&>(o); }
std::string Narrow(const Variant& v) { return platform::BytesFromUtf16(v.GetBstr()); }

// Accessors of _DPelmor.
HRESULT GetFileName(DispatchObject& o, Variant& v) {
  v = Variant::Text(First(o).GetFileName());
  return S_OK;
}
HRESULT PutFileName(DispatchObject& o, const Variant& v) {
  First(o).SetFileName(Narrow(v));
  return S_OK;
}
HRESULT GetHAlignment(DispatchObject& o, Variant& v) {
  v = Variant::I2(First(o).hAlignment);
  return S_OK;
}
HRESULT PutHAlignment(DispatchObject& o, const Variant& v) {
  First(o).SetHAlignment(v.GetI2());
  return S_OK;
}
HRESULT GetVAlignment(DispatchObject& o, Variant& v) {
  v = Variant::I2(First(o).vAlignment);
  return S_OK;
}
HRESULT PutVAlignment(DispatchObject& o, const Variant& v) {
  First(o).SetVAlignment(v.GetI2());
  return S_OK;
}
HRESULT GetStretchImage(DispatchObject& o, Variant& v) {
  v = Variant::Bool(First(o).stretchImage != 0);
  return S_OK;
}
HRESULT PutStretchImage(DispatchObject& o, const Variant& v) {
  First(o).SetStretchImage(v.GetBool());
  return S_OK;
}
HRESULT GetSlideShow(DispatchObject& o, Variant& v) {
  v = Variant::Bool(First(o).slideShow != 0);
  return S_OK;
}
HRESULT PutSlideShow(DispatchObject& o, const Variant& v) {
  First(o).SetSlideShow(v.GetBool());
  return S_OK;
}
HRESULT CallOnQueryNewPalette(DispatchObject& o, const Variant*, Variant& result) {
  result = Variant::Bool(First(o).OnQueryNewPalette());
  return S_OK;
}
HRESULT CallOnPaletteChanged(DispatchObject& o, const Variant* args, Variant&) {
  First(o).OnPaletteChanged(args[0].GetI4());
  return S_OK;
}
HRESULT CallIsOpen(DispatchObject& o, const Variant*, Variant& result) {
  result = Variant::Bool(First(o).IsOpen());
  return S_OK;
}

// Accessors _DPelmor2 adds.
HRESULT GetImageWidth(DispatchObject& o, Variant& v) {
  v = Variant::UI4(Second(o).GetImageWidth());
  return S_OK;
}
HRESULT GetImageHeight(DispatchObject& o, Variant& v) {
  v = Variant::UI4(Second(o).GetImageHeight());
  return S_OK;
}
HRESULT GetNImages(DispatchObject& o, Variant& v) {
  v = Variant::UI4(Second(o).GetNImages());
  return S_OK;
}
HRESULT GetDelayTime(DispatchObject& o, Variant& v) {
  v = Variant::UI4(Second(o).GetDelayTime());
  return S_OK;
}
HRESULT GetDocumentName(DispatchObject& o, Variant& v) {
  v = Variant::Text(Second(o).GetDocumentName());
  return S_OK;
}
HRESULT GetImageDescription(DispatchObject& o, Variant& v) {
  v = Variant::Text(Second(o).GetImageDescription());
  return S_OK;
}
HRESULT GetImageCopyright(DispatchObject& o, Variant& v) {
  v = Variant::Text(Second(o).GetImageCopyright());
  return S_OK;
}
HRESULT CallShowImageN(DispatchObject& o, const Variant* args, Variant& result) {
  result = Variant::Bool(Second(o).ShowImageN(args[0].GetUI4()));
  return S_OK;
}
HRESULT CallSave(DispatchObject& o, const Variant* args, Variant& result) {
  result = Variant::Bool(Second(o).Save(Narrow(args[0])));
  return S_OK;
}
HRESULT GetSoftware(DispatchObject& o, Variant& v) {
  v = Variant::Text(Second(o).GetSoftware());
  return S_OK;
}
HRESULT GetCurrentImage(DispatchObject& o, Variant& v) {
  v = Variant::UI4(Second(o).GetCurrentImage());
  return S_OK;
}
HRESULT PutCurrentImage(DispatchObject& o, const Variant& v) {
  Second(o).SetCurrentImage(v.GetUI4());
  return S_OK;
}
HRESULT GetSupportsAnimation(DispatchObject& o, Variant& v) {
  v = Variant::Bool(Second(o).GetSupportsAnimation());
  return S_OK;
}
HRESULT GetScrolling(DispatchObject& o, Variant& v) {
  v = Variant::Bool(Second(o).scrolling != 0);
  return S_OK;
}
HRESULT PutScrolling(DispatchObject& o, const Variant& v) {
  Second(o).SetScrolling(v.GetBool());
  return S_OK;
}
HRESULT CallOpenImage(DispatchObject& o, const Variant* args, Variant& result) {
  result = Variant::Bool(Second(o).OpenImage(Narrow(args[0]), args[1].GetUI4()));
  return S_OK;
}
HRESULT GetCompressionRatio(DispatchObject& o, Variant& v) {
  v = Variant::R4(Second(o).GetCompressionRatio());
  return S_OK;
}
HRESULT PutCompressionRatio(DispatchObject& o, const Variant& v) {
  Second(o).SetCompressionRatio(v.GetR4());
  return S_OK;
}

constexpr uint32_t kBoundEdit = kMemberStock | kMemberBindable | kMemberRequestEdit;

constexpr DispEntry Property(DISPID id, const char* name, VARTYPE type, const char* idl,
                             PropertyGetter get, PropertySetter put, const char* help,
                             uint32_t flags = 0) {
  return {id, name, MemberKind::kProperty, type, idl, nullptr, 0, get, put, nullptr, help, flags};
}

template <size_t N>
constexpr DispEntry Method(DISPID id, const char* name, VARTYPE type, const char* idl,
                           const ParamInfo (&params)[N], MethodCall call, const char* help,
                           uint32_t flags = 0) {
  return {id, name, MemberKind::kMethod, type, idl, params, static_cast<uint8_t>(N), nullptr,
          nullptr, call, help, flags};
}

constexpr DispEntry Method(DISPID id, const char* name, VARTYPE type, const char* idl,
                           MethodCall call, const char* help, uint32_t flags = 0) {
  return {id, name, MemberKind::kMethod, type, idl, nullptr, 0, nullptr, nullptr, call, help, flags};
}

constexpr ParamInfo kPaletteChangedParams[] = {{"WndPaletteChange", VT_I4, "OLE_HANDLE"}};
constexpr ParamInfo kShowImageNParams[] = {{"nImageNo", VT_UI4, "unsigned long"}};
constexpr ParamInfo kSaveParams[] = {{"sFileName", VT_BSTR, "BSTR"}};
constexpr ParamInfo kOpenImageParams[] = {{"sFileName", VT_BSTR, "BSTR"},
                                          {"nImageNo", VT_UI4, "unsigned long"}};

// The fifteen members both interfaces start with; the two differ only in SlideShow's help string.
#define PELMOR_COMMON_ENTRIES(slideShowHelp)                                                       \
  Property(1, "FileName", VT_BSTR, "BSTR", GetFileName, PutFileName,                              \
           "Returns/sets image file name"),                                                        \
      Property(2, "HAlignment", VT_I2, "short", GetHAlignment, PutHAlignment,                      \
               "Returns/sets horizontal image alignment"),                                         \
      Property(3, "VAlignment", VT_I2, "short", GetVAlignment, PutVAlignment,                      \
               "Returns/sets vertical image alignment"),                                           \
      Property(4, "StretchImage", VT_BOOL, "VARIANT_BOOL", GetStretchImage, PutStretchImage,       \
               "Returns/sets stretch property"),                                                   \
      Property(5, "SlideShow", VT_BOOL, "VARIANT_BOOL", GetSlideShow, PutSlideShow, slideShowHelp), \
      Method(6, "OnQueryNewPalette", VT_BOOL, "VARIANT_BOOL", CallOnQueryNewPalette, ""),          \
      Method(7, "OnPaletteChanged", VT_EMPTY, "void", kPaletteChangedParams, CallOnPaletteChanged,  \
             ""),                                                                                  \
      Method(8, "IsOpen", VT_BOOL, "VARIANT_BOOL", CallIsOpen, "Shows if image is visible or not"), \
      Property(DISPID_CAPTION, "Caption", VT_BSTR, "BSTR", stock::GetCaption, stock::PutCaption,   \
               "", kBoundEdit),                                                                    \
      Property(DISPID_FONT, "Font", VT_DISPATCH, "IFontDisp*", stock::GetFont, stock::PutFont, "",  \
               kMemberStock | kMemberBindable),                                                    \
      Property(DISPID_FORECOLOR, "ForeColor", VT_UI4, "OLE_COLOR", stock::GetForeColor,            \
               stock::PutForeColor, "", kBoundEdit | kMemberColor),                                \
      Property(DISPID_ENABLED, "Enabled", VT_BOOL, "VARIANT_BOOL", stock::GetEnabled,              \
               stock::PutEnabled, "", kBoundEdit),                                                 \
      Property(DISPID_BACKCOLOR, "BackColor", VT_UI4, "OLE_COLOR", stock::GetBackColor,            \
               stock::PutBackColor, "", kBoundEdit | kMemberColor),                                \
      Property(DISPID_BORDERSTYLE, "BorderStyle", VT_I2, "short", stock::GetBorderStyle,           \
               stock::PutBorderStyle, "", kBoundEdit),                                             \
      Method(DISPID_ABOUTBOX, "AboutBox", VT_EMPTY, "void", stock::AboutBox, "", kMemberStock)

constexpr DispEntry kPelmorEntries[] = {PELMOR_COMMON_ENTRIES("Toggle animation")};

constexpr DispEntry kPelmor2Entries[] = {
    PELMOR_COMMON_ENTRIES("Turns animation on/off"),
    Property(9, "ImageWidth", VT_UI4, "unsigned long", GetImageWidth, nullptr, "Returns image width"),
    Property(10, "ImageHeight", VT_UI4, "unsigned long", GetImageHeight, nullptr,
             "Returns image height"),
    Property(11, "NImages", VT_UI4, "unsigned long", GetNImages, nullptr,
             "Returns number of images in the file"),
    Property(12, "DelayTime", VT_UI4, "unsigned long", GetDelayTime, nullptr,
             "Returns delay time between images displaying"),
    Property(13, "DocumentName", VT_BSTR, "BSTR", GetDocumentName, nullptr, "Returns document name"),
    Property(14, "ImageDescription", VT_BSTR, "BSTR", GetImageDescription, nullptr,
             "Returns image description"),
    Property(15, "ImageCopyright", VT_BSTR, "BSTR", GetImageCopyright, nullptr,
             "Returns image copyright"),
    Method(16, "ShowImageN", VT_BOOL, "VARIANT_BOOL", kShowImageNParams, CallShowImageN,
           "Shows image from current file"),
    Method(17, "Save", VT_BOOL, "VARIANT_BOOL", kSaveParams, CallSave, "Saves image in the file"),
    Property(18, "Software", VT_BSTR, "BSTR", GetSoftware, nullptr,
             "Returns description of the software which created the file"),
    Property(19, "CurrentImage", VT_UI4, "unsigned long", GetCurrentImage, PutCurrentImage,
             "Returns current image number"),
    Property(20, "SupportsAnimation", VT_BOOL, "VARIANT_BOOL", GetSupportsAnimation, nullptr,
             "Shows if this image can be animated"),
    Property(21, "Scrolling", VT_BOOL, "VARIANT_BOOL", GetScrolling, PutScrolling,
             "Returns/sets scrolling property"),
    Method(22, "OpenImage", VT_BOOL, "VARIANT_BOOL", kOpenImageParams, CallOpenImage,
           "Opens image from the file"),
    Property(23, "CompressionRatio", VT_R4, "float", GetCompressionRatio, PutCompressionRatio,
             "Returns/sets compression ratio property"),
};

#undef PELMOR_COMMON_ENTRIES

constexpr DispatchTable kPelmorTable{"_DPelmor", kPelmorEntries, std::size(kPelmorEntries)};
constexpr DispatchTable kPelmor2Table{"_DPelmor2", kPelmor2Entries, std::size(kPelmor2Entries)};

}  // namespace

const DispatchTable& PelmorDispatchTable() { return kPelmorTable; }
const DispatchTable& Pelmor2DispatchTable() { return kPelmor2Table; }

}  // namespace pelmor
