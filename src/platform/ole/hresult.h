// Result codes and identifiers of the automation interfaces: HRESULTs, dispatch identifiers of the
// stock and ambient properties, and the invocation flags.
#pragma once

#include <cstdint>

namespace pelmor::ole {

using HRESULT = int32_t;
using DISPID = int32_t;
using OLE_COLOR = uint32_t;

constexpr HRESULT Code(uint32_t v) { return static_cast<HRESULT>(v); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = Code(0x80004001);
constexpr HRESULT E_POINTER = Code(0x80004003);
constexpr HRESULT E_FAIL = Code(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = Code(0x8007000E);
constexpr HRESULT E_INVALIDARG = Code(0x80070057);

constexpr HRESULT DISP_E_UNKNOWNINTERFACE = Code(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = Code(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = Code(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = Code(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = Code(0x80020006);
constexpr HRESULT DISP_E_NONAMEDARGS = Code(0x80020007);
constexpr HRESULT DISP_E_EXCEPTION = Code(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = Code(0x8002000A);
constexpr HRESULT DISP_E_BADPARAMCOUNT = Code(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = Code(0x8002000F);

// Control errors: 0x800A0000 + the error number a script sees.
constexpr HRESULT CtlError(uint16_t number) { return Code(0x800A0000u + number); }
constexpr HRESULT CTL_E_INVALIDPROPERTYVALUE = CtlError(380);  // 0x800A017C
constexpr HRESULT CTL_E_SETNOTSUPPORTED = CtlError(383);       // 0x800A017F
constexpr HRESULT CTL_E_SETNOTPERMITTED = CtlError(387);       // 0x800A0183

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Invocation kinds (may be combined, as hosts do for DISPATCH_METHOD | DISPATCH_PROPERTYGET).
constexpr uint16_t DISPATCH_METHOD = 0x1;
constexpr uint16_t DISPATCH_PROPERTYGET = 0x2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 0x4;
constexpr uint16_t DISPATCH_PROPERTYPUTREF = 0x8;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

// Stock properties and methods.
constexpr DISPID DISPID_BACKCOLOR = -501;
constexpr DISPID DISPID_BORDERSTYLE = -504;
constexpr DISPID DISPID_FONT = -512;
constexpr DISPID DISPID_FORECOLOR = -513;
constexpr DISPID DISPID_ENABLED = -514;
constexpr DISPID DISPID_CAPTION = -518;
constexpr DISPID DISPID_ABOUTBOX = -552;

// Ambient properties of a container.
constexpr DISPID DISPID_AMBIENT_BACKCOLOR = -701;
constexpr DISPID DISPID_AMBIENT_DISPLAYNAME = -702;
constexpr DISPID DISPID_AMBIENT_FONT = -703;
constexpr DISPID DISPID_AMBIENT_FORECOLOR = -704;
constexpr DISPID DISPID_AMBIENT_USERMODE = -709;

// Members of a font object.
constexpr DISPID DISPID_FONT_NAME = 0;
constexpr DISPID DISPID_FONT_SIZE = 2;
constexpr DISPID DISPID_FONT_BOLD = 3;
constexpr DISPID DISPID_FONT_ITALIC = 4;
constexpr DISPID DISPID_FONT_UNDER = 5;
constexpr DISPID DISPID_FONT_STRIKE = 6;
constexpr DISPID DISPID_FONT_WEIGHT = 7;
constexpr DISPID DISPID_FONT_CHARSET = 8;

// Status bits a control reports to its container (OLEMISC_...).
constexpr uint32_t OLEMISC_RECOMPOSEONRESIZE = 0x1;
constexpr uint32_t OLEMISC_CANTLINKINSIDE = 0x10;
constexpr uint32_t OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
constexpr uint32_t OLEMISC_INSIDEOUT = 0x80;
constexpr uint32_t OLEMISC_SETCLIENTSITEFIRST = 0x20000;

}  // namespace pelmor::ole
