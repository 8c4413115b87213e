/* Pelmor: the image viewer controls as a component module (libpelmor.so).
 *
 * A host finds a control's module in the registry (ProgID -> CLSID -> InprocServer32), loads it,
 * asks DllGetClassObject for the class's factory, creates the control with
 * IClassFactory::CreateInstance and drives it through IDispatch (GetIDsOfNames, then Invoke), as
 * any automation host does. This header is everything a C or C++ host needs for that: the
 * identifiers, the interfaces as tables of function pointers, the values that cross them, and the
 * module's exports.
 *
 * Strings are BSTRs: UTF-16 text in a block from malloc() that starts four bytes before the
 * first character with the byte length, and ends with a zero unit. The inline SysAllocString,
 * SysFreeString and VariantClear below make and free them; the module uses the same allocator,
 * so either side can free what the other allocated. Arguments of Invoke are in reverse order
 * (the last argument first), as automation hosts pass them.
 *
 * Threading: a control is used from the thread that created it.
 */
#ifndef PELMOR_PELMOR_H
#define PELMOR_PELMOR_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PELMOR_API __attribute__((visibility("default")))

/* ---- Basic types ---- */

typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef uint32_t ULONG;
typedef int32_t DISPID;
typedef int32_t MEMBERID;
typedef uint32_t LCID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef uint32_t OLE_COLOR;
#ifdef __cplusplus
typedef char16_t OLECHAR; /* one UTF-16 unit; u"..." literals fit */
#else
typedef uint16_t OLECHAR;
#endif
typedef OLECHAR* BSTR;

static inline int SUCCEEDED(HRESULT hr) { return hr >= 0; }
static inline int FAILED(HRESULT hr) { return hr < 0; }

static const HRESULT S_OK = 0;
static const HRESULT S_FALSE = 1;
static const HRESULT E_NOTIMPL = (HRESULT)0x80004001u;
static const HRESULT E_NOINTERFACE = (HRESULT)0x80004002u;
static const HRESULT E_POINTER = (HRESULT)0x80004003u;
static const HRESULT E_FAIL = (HRESULT)0x80004005u;
static const HRESULT E_OUTOFMEMORY = (HRESULT)0x8007000Eu;
static const HRESULT E_INVALIDARG = (HRESULT)0x80070057u;
static const HRESULT E_UNEXPECTED = (HRESULT)0x8000FFFFu;
static const HRESULT CLASS_E_NOAGGREGATION = (HRESULT)0x80040110u;
static const HRESULT CLASS_E_CLASSNOTAVAILABLE = (HRESULT)0x80040111u;
static const HRESULT SELFREG_E_TYPELIB = (HRESULT)0x80040200u;
static const HRESULT SELFREG_E_CLASS = (HRESULT)0x80040201u;
static const HRESULT DISP_E_UNKNOWNINTERFACE = (HRESULT)0x80020001u;
static const HRESULT DISP_E_MEMBERNOTFOUND = (HRESULT)0x80020003u;
static const HRESULT DISP_E_PARAMNOTFOUND = (HRESULT)0x80020004u;
static const HRESULT DISP_E_TYPEMISMATCH = (HRESULT)0x80020005u;
static const HRESULT DISP_E_UNKNOWNNAME = (HRESULT)0x80020006u;
static const HRESULT DISP_E_NONAMEDARGS = (HRESULT)0x80020007u;
static const HRESULT DISP_E_BADVARTYPE = (HRESULT)0x80020008u;
static const HRESULT DISP_E_EXCEPTION = (HRESULT)0x80020009u;
static const HRESULT DISP_E_OVERFLOW = (HRESULT)0x8002000Au;
static const HRESULT DISP_E_BADINDEX = (HRESULT)0x8002000Bu;
static const HRESULT DISP_E_BADPARAMCOUNT = (HRESULT)0x8002000Eu;
static const HRESULT DISP_E_PARAMNOTOPTIONAL = (HRESULT)0x8002000Fu;
/* Automation errors a control raises (through DISP_E_EXCEPTION, in EXCEPINFO.scode):
 * 0x800A0000 + the error number a script shows (380 invalid property value, 383 set not
 * supported, 387 set not permitted). */
static const HRESULT CTL_E_INVALIDPROPERTYVALUE = (HRESULT)0x800A017Cu;
static const HRESULT CTL_E_SETNOTSUPPORTED = (HRESULT)0x800A017Fu;
static const HRESULT CTL_E_SETNOTPERMITTED = (HRESULT)0x800A0183u;

/* ---- Identifiers ---- */

typedef struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID* REFGUID;
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;

static inline int IsEqualGUID(REFGUID a, REFGUID b) { return memcmp(a, b, sizeof(GUID)) == 0; }

static const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
/* The control's window, as a host without a window system of its own shows it (IPelmorView). */
static const IID IID_IPelmorView = {
    0x1857763C, 0xE6A4, 0x4F65, {0x90, 0x8D, 0x6B, 0x82, 0x2F, 0xDA, 0x71, 0x22}};

/* A property page of the module (IPelmorPropertyPage). */
static const IID IID_IPelmorPropertyPage = {
    0xCED18AEF, 0x53BB, 0x4C30, {0xBA, 0x2B, 0xBA, 0xF7, 0x5B, 0xE2, 0xED, 0x05}};

/* The classes of the module and their programmatic identifiers. */
static const CLSID CLSID_Pelmor = {
    0x5C13B0E6, 0x7A41, 0x11D3, {0x9F, 0x2E, 0x00, 0x40, 0xC7, 0xA9, 0x1B, 0x35}};
static const CLSID CLSID_Pelmor2 = {
    0xD7F3A25C, 0x1E84, 0x4B6A, {0xA0, 0xC3, 0x6E, 0x1B, 0x9D, 0x24, 0xF8, 0x71}};
static const CLSID CLSID_PelmorPropPage = {
    0x5C13B0E7, 0x7A41, 0x11D3, {0x9F, 0x2E, 0x00, 0x40, 0xC7, 0xA9, 0x1B, 0x35}};
static const CLSID CLSID_Pelmor2PropPage = {
    0x6F0AD14B, 0xC853, 0x4E29, {0xB7, 0xD6, 0x18, 0xE4, 0xF3, 0xA9, 0xC2, 0x0B}};
#define PELMOR_PROGID_CONTROL1 "PELMOR.PelmorCtrl.1"
#define PELMOR_PROGID_CONTROL2 "PELMOR.PelmorCtrl.2"

/* The type library and its interfaces. */
static const GUID LIBID_PELMORLib = {
    0x5C13B0E2, 0x7A41, 0x11D3, {0x9F, 0x2E, 0x00, 0x40, 0xC7, 0xA9, 0x1B, 0x35}};
static const IID DIID__DPelmor = {
    0x5C13B0E4, 0x7A41, 0x11D3, {0x9F, 0x2E, 0x00, 0x40, 0xC7, 0xA9, 0x1B, 0x35}};
static const IID DIID__DPelmorEvents = {
    0x5C13B0E5, 0x7A41, 0x11D3, {0x9F, 0x2E, 0x00, 0x40, 0xC7, 0xA9, 0x1B, 0x35}};
static const IID DIID__DPelmor2 = {
    0x3B8E61D0, 0x9C27, 0x4F15, {0x8E, 0x4A, 0xB2, 0x7C, 0x05, 0xD3, 0xE9, 0x6A}};
static const IID DIID__DPelmor2Events = {
    0xE45B9C83, 0x2A6F, 0x4D70, {0x9B, 0x18, 0xC3, 0xF6, 0xA0, 0xE2, 0xD4, 0x57}};

/* ---- Values ---- */

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UI4 = 19
};

static const VARIANT_BOOL VARIANT_TRUE = -1;
static const VARIANT_BOOL VARIANT_FALSE = 0;

struct IDispatch;
struct IUnknown;

typedef struct VARIANT {
  VARTYPE vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int16_t iVal;      /* VT_I2 */
    int32_t lVal;      /* VT_I4 */
    uint32_t ulVal;    /* VT_UI4 */
    float fltVal;      /* VT_R4 */
    double dblVal;     /* VT_R8 */
    VARIANT_BOOL boolVal; /* VT_BOOL: VARIANT_TRUE or VARIANT_FALSE */
    SCODE scode;       /* VT_ERROR; DISP_E_PARAMNOTFOUND marks an omitted argument */
    BSTR bstrVal;      /* VT_BSTR */
    struct IDispatch* pdispVal; /* VT_DISPATCH */
  };
} VARIANT;

typedef struct DISPPARAMS {
  VARIANT* rgvarg;           /* the arguments, last one first */
  DISPID* rgdispidNamedArgs; /* DISPID_PROPERTYPUT for a property's new value */
  uint32_t cArgs;
  uint32_t cNamedArgs;
} DISPPARAMS;

typedef struct EXCEPINFO {
  uint16_t wCode;
  uint16_t wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  uint32_t dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(struct EXCEPINFO*);
  SCODE scode;
} EXCEPINFO;

static const DISPID DISPID_UNKNOWN = -1;
static const DISPID DISPID_PROPERTYPUT = -3;
static const uint16_t DISPATCH_METHOD = 0x1;
static const uint16_t DISPATCH_PROPERTYGET = 0x2;
static const uint16_t DISPATCH_PROPERTYPUT = 0x4;
static const uint16_t DISPATCH_PROPERTYPUTREF = 0x8;
static const LCID LOCALE_USER_DEFAULT = 0x0400;

/* A string of len units (NULL: zero-filled); NULL when memory runs out. */
static inline BSTR SysAllocStringLen(const OLECHAR* text, uint32_t len) {
  if (len > (UINT32_MAX - 8) / 2) return NULL;
  uint32_t* block = (uint32_t*)malloc(sizeof(uint32_t) + (size_t)len * 2 + 2);
  if (block == NULL) return NULL;
  block[0] = len * 2;
  BSTR s = (BSTR)(block + 1);
  if (text != NULL) {
    memcpy(s, text, (size_t)len * 2);
  } else {
    memset(s, 0, (size_t)len * 2);
  }
  s[len] = 0;
  return s;
}
static inline BSTR SysAllocString(const OLECHAR* text) {
  uint32_t n = 0;
  if (text == NULL) return NULL;
  while (text[n] != 0) ++n;
  return SysAllocStringLen(text, n);
}
static inline void SysFreeString(BSTR s) {
  if (s != NULL) free((uint32_t*)s - 1);
}
/* Length in units; a NULL string is empty. */
static inline uint32_t SysStringLen(BSTR s) { return s != NULL ? ((uint32_t*)s)[-1] / 2 : 0; }

static inline void VariantInit(VARIANT* v) { memset(v, 0, sizeof *v); }

/* ---- Interfaces ---- */

typedef struct IUnknown IUnknown;
typedef struct IClassFactory IClassFactory;
typedef struct IDispatch IDispatch;
typedef struct ITypeInfo ITypeInfo;
typedef struct IPelmorView IPelmorView;
typedef struct IPelmorPropertyPage IPelmorPropertyPage;

#define PELMOR_IUNKNOWN_METHODS(Self)                                     \
  HRESULT (*QueryInterface)(Self * self, REFIID iid, void** object);     \
  ULONG (*AddRef)(Self * self);                                           \
  ULONG (*Release)(Self * self);

typedef struct IUnknownVtbl {
  PELMOR_IUNKNOWN_METHODS(IUnknown)
} IUnknownVtbl;
struct IUnknown {
  const IUnknownVtbl* lpVtbl;
};

typedef struct IClassFactoryVtbl {
  PELMOR_IUNKNOWN_METHODS(IClassFactory)
  /* A new object of the factory's class; outer must be NULL (no aggregation). */
  HRESULT (*CreateInstance)(IClassFactory* self, IUnknown* outer, REFIID iid, void** object);
  /* Non-zero keeps the module loaded until a matching call with zero. */
  HRESULT (*LockServer)(IClassFactory* self, int32_t lock);
} IClassFactoryVtbl;
struct IClassFactory {
  const IClassFactoryVtbl* lpVtbl;
};

typedef struct IDispatchVtbl {
  PELMOR_IUNKNOWN_METHODS(IDispatch)
  HRESULT (*GetTypeInfoCount)(IDispatch* self, uint32_t* count);
  /* The type information of the object's dispatch interface (index 0). */
  HRESULT (*GetTypeInfo)(IDispatch* self, uint32_t index, LCID lcid, ITypeInfo** info);
  /* names[0] is a member (any letter case), the others its parameters. Unknown names get
   * DISPID_UNKNOWN and the call DISP_E_UNKNOWNNAME. */
  HRESULT (*GetIDsOfNames)(IDispatch* self, REFIID reserved, const OLECHAR* const* names,
                           uint32_t count, LCID lcid, DISPID* ids);
  /* Reads or sets a property, or calls a method. A failure the member itself raises is
   * DISP_E_EXCEPTION with excep (when given) filled; a conversion failure names the argument
   * in argErr. */
  HRESULT (*Invoke)(IDispatch* self, DISPID member, REFIID reserved, LCID lcid, uint16_t flags,
                    DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, uint32_t* argErr);
} IDispatchVtbl;
struct IDispatch {
  const IDispatchVtbl* lpVtbl;
};

/* Frees what the variant holds (a string, a reference) and leaves it empty. */
static inline HRESULT VariantClear(VARIANT* v) {
  if (v->vt == VT_BSTR) {
    SysFreeString(v->bstrVal);
  } else if (v->vt == VT_DISPATCH && v->pdispVal != NULL) {
    v->pdispVal->lpVtbl->Release(v->pdispVal);
  }
  VariantInit(v);
  return S_OK;
}

/* ---- Type information ---- */

typedef enum TYPEKIND {
  TKIND_ENUM = 0,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5
} TYPEKIND;

enum {
  TYPEFLAG_FCANCREATE = 0x2,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FCONTROL = 0x20,
  TYPEFLAG_FDISPATCHABLE = 0x1000
};
/* Marks of members (the same values for functions and variables). */
enum { MEMBERFLAG_FBINDABLE = 0x4, MEMBERFLAG_FREQUESTEDIT = 0x8, MEMBERFLAG_FHIDDEN = 0x40 };
enum { INVOKE_FUNC = 1 };
enum { FUNC_DISPATCH = 4 };
enum { VAR_CONST = 2, VAR_DISPATCH = 3 };
static const MEMBERID MEMBERID_NIL = -1;

typedef struct TYPEATTR {
  GUID guid;
  LCID lcid;
  TYPEKIND typekind;
  uint16_t cFuncs; /* methods */
  uint16_t cVars;  /* properties, or the constants of an enumeration */
  uint16_t cImplTypes;
  uint16_t wTypeFlags;
  uint16_t wMajorVerNum;
  uint16_t wMinorVerNum;
} TYPEATTR;

typedef struct FUNCDESC {
  MEMBERID memid;
  int32_t funckind;          /* FUNC_DISPATCH */
  int32_t invkind;           /* INVOKE_FUNC */
  uint16_t cParams;
  VARTYPE vtReturn;          /* VT_EMPTY: none */
  const VARTYPE* paramTypes; /* cParams entries */
  uint16_t wFuncFlags;
} FUNCDESC;

typedef struct VARDESC {
  MEMBERID memid;
  int32_t varkind; /* VAR_DISPATCH for a property, VAR_CONST for an enumeration's constant */
  VARTYPE vt;
  uint16_t wVarFlags;
  int32_t value;   /* VAR_CONST */
} VARDESC;

typedef struct ITypeInfoVtbl {
  PELMOR_IUNKNOWN_METHODS(ITypeInfo)
  HRESULT (*GetTypeAttr)(ITypeInfo* self, TYPEATTR** attr);
  /* The index-th method (0 ... cFuncs - 1) and property (0 ... cVars - 1), in declared order. */
  HRESULT (*GetFuncDesc)(ITypeInfo* self, uint32_t index, FUNCDESC** desc);
  HRESULT (*GetVarDesc)(ITypeInfo* self, uint32_t index, VARDESC** desc);
  /* The member's name, then its parameters' names: up to max strings, count tells how many. */
  HRESULT (*GetNames)(ITypeInfo* self, MEMBERID memid, BSTR* names, uint32_t max,
                      uint32_t* count);
  HRESULT (*GetIDsOfNames)(ITypeInfo* self, const OLECHAR* const* names, uint32_t count,
                           MEMBERID* ids);
  /* Name, help string, help context and help file of a member, or of the type for
   * MEMBERID_NIL. Any pointer may be NULL. */
  HRESULT (*GetDocumentation)(ITypeInfo* self, MEMBERID memid, BSTR* name, BSTR* docString,
                              uint32_t* helpContext, BSTR* helpFile);
  void (*ReleaseTypeAttr)(ITypeInfo* self, TYPEATTR* attr);
  void (*ReleaseFuncDesc)(ITypeInfo* self, FUNCDESC* desc);
  void (*ReleaseVarDesc)(ITypeInfo* self, VARDESC* desc);
} ITypeInfoVtbl;
struct ITypeInfo {
  const ITypeInfoVtbl* lpVtbl;
};

/* ---- The control's window ----
 * Every control lives in a window of its own without a screen: 320 x 240 pixels when created,
 * in user mode. A host shows it by copying its pixels and hands it input as window messages. */
typedef struct IPelmorViewVtbl {
  PELMOR_IUNKNOWN_METHODS(IPelmorView)
  /* The window's outer size in pixels (1 ... 16384 each). */
  HRESULT (*SetSize)(IPelmorView* self, int32_t width, int32_t height);
  HRESULT (*GetSize)(IPelmorView* self, int32_t* width, int32_t* height);
  /* The container's mode: non-zero runs the control for a user, zero is design mode (no
   * animation). Takes effect from the next file opened. */
  HRESULT (*SetUserMode)(IPelmorView* self, int32_t userMode);
  /* Paints what is out of date, as the window system's paint message does. */
  HRESULT (*Update)(IPelmorView* self);
  /* The whole window (border, scroll bars, client area) as 0x00RRGGBB pixels, rows from the top;
   * width and height must be the window's size, stride is in bytes. */
  HRESULT (*CopyPixels)(IPelmorView* self, uint32_t* pixels, int32_t width, int32_t height,
                        int32_t stride);
  /* Delivers a window message (WM_KEYDOWN, WM_MOUSEWHEEL, WM_HSCROLL, ...) to the control. */
  HRESULT (*SendMessage)(IPelmorView* self, uint32_t message, uintptr_t wParam, intptr_t lParam,
                         intptr_t* result);
} IPelmorViewVtbl;
struct IPelmorView {
  const IPelmorViewVtbl* lpVtbl;
};

/* ---- Property pages ----
 * CLSID_PelmorPropPage edits FileName, HAlignment, VAlignment, StretchImage and SlideShow;
 * CLSID_Pelmor2PropPage adds Scrolling. A host hands the page the controls it edits, shows it
 * inside one of its Qt widgets (the module loads its Qt part, libpelmor-qtpanels.so beside it, for
 * that alone), and applies it: only the properties the user changed are written, to every
 * control, through their dispatch setters. */
typedef struct IPelmorPropertyPageVtbl {
  PELMOR_IUNKNOWN_METHODS(IPelmorPropertyPage)
  /* The tab caption (the caller frees it) and the page's size in dialog units. */
  HRESULT (*GetPageInfo)(IPelmorPropertyPage* self, BSTR* title, int32_t* width,
                         int32_t* height);
  /* The controls the page edits: controls of this module, as any of their interfaces. The page
   * holds a reference to each until the next call; count 0 lets them go. E_INVALIDARG (and no
   * change) for an object that is not such a control; E_UNEXPECTED while the page is shown. */
  HRESULT (*SetObjects)(IPelmorPropertyPage* self, uint32_t count, IUnknown* const* objects);
  /* Shows the page as a child of parent (a QWidget* of the host, with a QApplication running),
   * filled with the first control's values. E_UNEXPECTED without controls or when shown already;
   * E_FAIL when the Qt part cannot be loaded or parent cannot take the page. */
  HRESULT (*Activate)(IPelmorPropertyPage* self, void* parent);
  /* Closes the page's widgets; changes not applied are dropped. */
  HRESULT (*Deactivate)(IPelmorPropertyPage* self);
  /* S_OK when the user changed an item since the page was shown or last applied, else S_FALSE. */
  HRESULT (*IsPageDirty)(IPelmorPropertyPage* self);
  /* Writes the changed properties to every control. S_OK when every write succeeded (or there
   * was nothing to write), else the first failed write's code (0x800A017C: an invalid value);
   * the other writes are made all the same and the page is clean afterwards. */
  HRESULT (*Apply)(IPelmorPropertyPage* self);
} IPelmorPropertyPageVtbl;
struct IPelmorPropertyPage {
  const IPelmorPropertyPageVtbl* lpVtbl;
};

#undef PELMOR_IUNKNOWN_METHODS

/* ---- The module's exports ---- */

/* Writes the module's classes, ProgIDs and type library to the registry: S_OK,
 * SELFREG_E_TYPELIB or SELFREG_E_CLASS. */
PELMOR_API HRESULT DllRegisterServer(void);
/* Removes them again; SELFREG_E_TYPELIB, without touching the classes, when the type library is
 * not registered. */
PELMOR_API HRESULT DllUnregisterServer(void);
/* The class object (IClassFactory) of a class of the module; CLASS_E_CLASSNOTAVAILABLE for a
 * class it does not have. */
PELMOR_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
/* S_OK when no object of the module is alive and no lock is held: the module may be unloaded. */
PELMOR_API HRESULT DllCanUnloadNow(void);
/* A bitmap of the module as the bytes of a .bmp file (1: the toolbox bitmap, 16 x 16 pixels with
 * 16 colours). The bytes belong to the module. */
PELMOR_API HRESULT PelmorGetBitmap(uint32_t id, const uint8_t** bytes, uint32_t* size);

typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID, REFIID, void**);
typedef HRESULT (*LPFNCANUNLOADNOW)(void);
typedef HRESULT (*LPFNREGISTERSERVER)(void);

#ifdef __cplusplus
}
#endif

#endif /* PELMOR_PELMOR_H */
