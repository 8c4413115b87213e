#include "control/type_library.h"

#include <cstring>

#include "control/pelmor_ids.h"

namespace pelmor {

using namespace ole;

namespace {

constexpr uint32_t kBoundEdit = kMemberBindable | kMemberRequestEdit;

constexpr TypeMember Prop(DISPID id, const char* name, VARTYPE type, const char* idl,
                          const char* help = "", uint32_t flags = 0) {
  return {id, name, MemberKind::kProperty, type, idl, {}, help, flags};
}

constexpr TypeMember Func(DISPID id, const char* name, VARTYPE type, const char* idl,
                          std::span<const ParamInfo> params, const char* help = "") {
  return {id, name, MemberKind::kMethod, type, idl, params, help, 0};
}

constexpr ParamInfo kPaletteChangedParams[] = {{"WndPaletteChange", VT_I4, "OLE_HANDLE"}};
constexpr ParamInfo kShowImageNParams[] = {{"nImageNo", VT_UI4, "unsigned long"}};
constexpr ParamInfo kSaveParams[] = {{"sFileName", VT_BSTR, "BSTR"}};
constexpr ParamInfo kOpenImageParams[] = {{"sFileName", VT_BSTR, "BSTR"},
                                          {"nImageNo", VT_UI4, "unsigned long"}};

// The properties both interfaces declare first; the two differ only in SlideShow's help string.
#define PELMOR_COMMON_PROPERTIES(slideShowHelp)                                                   \
  Prop(1, "FileName", VT_BSTR, "BSTR", "Returns/sets image file name"),                           \
      Prop(DISPID_CAPTION, "Caption", VT_BSTR, "BSTR", "", kBoundEdit),                           \
      Prop(DISPID_FONT, "Font", VT_DISPATCH, "IFontDisp*", "", kMemberBindable),                  \
      Prop(DISPID_FORECOLOR, "ForeColor", VT_UI4, "OLE_COLOR", "", kBoundEdit),                   \
      Prop(2, "HAlignment", VT_I2, "short", "Returns/sets horizontal image alignment"),           \
      Prop(3, "VAlignment", VT_I2, "short", "Returns/sets vertical image alignment"),             \
      Prop(4, "StretchImage", VT_BOOL, "VARIANT_BOOL", "Returns/sets stretch property"),          \
      Prop(DISPID_ENABLED, "Enabled", VT_BOOL, "VARIANT_BOOL", "", kBoundEdit),                   \
      Prop(5, "SlideShow", VT_BOOL, "VARIANT_BOOL", slideShowHelp),                               \
      Prop(DISPID_BACKCOLOR, "BackColor", VT_UI4, "OLE_COLOR", "", kBoundEdit),                   \
      Prop(DISPID_BORDERSTYLE, "BorderStyle", VT_I2, "short", "", kBoundEdit)

#define PELMOR_COMMON_METHODS                                                                     \
  Func(6, "OnQueryNewPalette", VT_BOOL, "VARIANT_BOOL", {}),                                      \
      Func(7, "OnPaletteChanged", VT_EMPTY, "void", kPaletteChangedParams),                       \
      Func(8, "IsOpen", VT_BOOL, "VARIANT_BOOL", {}, "Shows if image is visible or not"),         \
      Func(DISPID_ABOUTBOX, "AboutBox", VT_EMPTY, "void", {})

constexpr TypeMember kPelmorProperties[] = {PELMOR_COMMON_PROPERTIES("Toggle animation")};
constexpr TypeMember kPelmorMethods[] = {PELMOR_COMMON_METHODS};

constexpr TypeMember kPelmor2Properties[] = {
    PELMOR_COMMON_PROPERTIES("Turns animation on/off"),
    Prop(9, "ImageWidth", VT_UI4, "unsigned long", "Returns image width"),
    Prop(10, "ImageHeight", VT_UI4, "unsigned long", "Returns image height"),
    Prop(11, "NImages", VT_UI4, "unsigned long", "Returns number of images in the file"),
    Prop(12, "DelayTime", VT_UI4, "unsigned long", "Returns delay time between images displaying"),
    Prop(13, "DocumentName", VT_BSTR, "BSTR", "Returns document name"),
    Prop(14, "ImageDescription", VT_BSTR, "BSTR", "Returns image description"),
    Prop(15, "ImageCopyright", VT_BSTR, "BSTR", "Returns image copyright"),
    Prop(18, "Software", VT_BSTR, "BSTR",
         "Returns description of the software which created the file"),
    Prop(19, "CurrentImage", VT_UI4, "unsigned long", "Returns current image number"),
    Prop(20, "SupportsAnimation", VT_BOOL, "VARIANT_BOOL", "Shows if this image can be animated"),
    Prop(21, "Scrolling", VT_BOOL, "VARIANT_BOOL", "Returns/sets scrolling property"),
    Prop(23, "CompressionRatio", VT_R4, "float", "Returns/sets compression ratio property"),
};
constexpr TypeMember kPelmor2Methods[] = {
    PELMOR_COMMON_METHODS,
    Func(16, "ShowImageN", VT_BOOL, "VARIANT_BOOL", kShowImageNParams,
         "Shows image from current file"),
    Func(17, "Save", VT_BOOL, "VARIANT_BOOL", kSaveParams, "Saves image in the file"),
    Func(22, "OpenImage", VT_BOOL, "VARIANT_BOOL", kOpenImageParams, "Opens image from the file"),
};

#undef PELMOR_COMMON_PROPERTIES
#undef PELMOR_COMMON_METHODS

constexpr EnumValue kHorzAlignment[] = {{"pmrHALeft", 0}, {"pmrHACenter", 1}, {"pmrHARight", 2}};
constexpr EnumValue kVertAlignment[] = {{"pmrVATop", 0}, {"pmrVACenter", 1}, {"pmrVABottom", 2}};

constexpr TypeDesc Enum(const char* name, std::span<const EnumValue> values) {
  return {TypeKind::kEnum, name, nullptr, "", 0, {}, {}, values, nullptr, nullptr};
}
constexpr TypeDesc DispInterface(const char* name, const GUID& guid, const char* help,
                                 uint16_t flags, std::span<const TypeMember> properties,
                                 std::span<const TypeMember> methods) {
  return {TypeKind::kDispatch, name, &guid, help, static_cast<uint16_t>(flags | kTypeDispatchable),
          properties, methods, {}, nullptr, nullptr};
}
constexpr TypeDesc CoClass(const char* name, const GUID& guid, const char* help,
                           const GUID& dispatch, const GUID& events) {
  return {TypeKind::kCoClass, name, &guid, help, kTypeCanCreate | kTypeControl, {}, {}, {},
          &dispatch, &events};
}

constexpr TypeDesc kTypes[] = {
    Enum("PMRHorzAlignment", kHorzAlignment),
    Enum("PMRVertAlignment", kVertAlignment),
    DispInterface("_DPelmor", DIID_DPelmor, "Dispatch interface for Pelmor Control", kTypeHidden,
                  kPelmorProperties, kPelmorMethods),
    DispInterface("_DPelmorEvents", DIID_DPelmorEvents, "Event interface for Pelmor Control", 0,
                  {}, {}),
    CoClass("Pelmor", CLSID_PelmorCtrl, "Pelmor Control", DIID_DPelmor, DIID_DPelmorEvents),
    DispInterface("_DPelmor2", DIID_DPelmor2, "Dispatch interface for Pelmor2 Control",
                  kTypeHidden, kPelmor2Properties, kPelmor2Methods),
    DispInterface("_DPelmor2Events", DIID_DPelmor2Events, "Event interface for Pelmor2 Control",
                  0, {}, {}),
    CoClass("Pelmor2", CLSID_Pelmor2Ctrl, "Pelmor2 Control", DIID_DPelmor2, DIID_DPelmor2Events),
};

constexpr TypeLibrary kLibrary{
    "PELMORLib",  LIBID_PELMORLib, kTypeLibMajor, kTypeLibMinor, 0x0409, kLibFlagControl,
    "Pelmor ActiveX Control module", "Pelmor.hlp", kTypes};

}  // namespace

const TypeDesc* TypeLibrary::Find(const GUID& guid) const {
  for (const TypeDesc& t : types) {
    if (t.guid != nullptr && *t.guid == guid) return &t;
  }
  return nullptr;
}

const TypeDesc* TypeLibrary::FindName(const char* name) const {
  for (const TypeDesc& t : types) {
    if (std::strcmp(t.name, name) == 0) return &t;
  }
  return nullptr;
}

const TypeLibrary& PelmorTypeLibrary() { return kLibrary; }

}  // namespace pelmor
