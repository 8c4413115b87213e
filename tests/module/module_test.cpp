// The built module as a host meets it: loaded with dlopen, its class objects, a control driven
// through IDispatch with the host's own VARIANTs, its type information, its window, its counts,
// its self-registration and the symbols it shows.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "control/control_fixtures.h"
#include "pelmor/pelmor.h"
#include "platform/registry_store.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

struct Module {
  Module() {
    handle = dlopen(PELMOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(handle, "DllRegisterServer"));
    unregisterServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(handle, "DllUnregisterServer"));
  }
  ~Module() {
    if (handle != nullptr) dlclose(handle);
  }
  void* handle = nullptr;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;
  LPFNREGISTERSERVER registerServer = nullptr;
  LPFNREGISTERSERVER unregisterServer = nullptr;
};

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

VARIANT Text(const std::string& s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  const std::u16string w = Wide(s);
  v.bstrVal = SysAllocStringLen(w.data(), static_cast<uint32_t>(w.size()));
  return v;
}

VARIANT Long(int32_t n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

std::string Narrow(BSTR b) { return std::string(b, b + SysStringLen(b)); }

// A control held the way a host holds one, with calls by name.
class Host {
 public:
  explicit Host(IDispatch* d) : d_(d) {}
  ~Host() {
    if (d_ != nullptr) d_->lpVtbl->Release(d_);
  }
  IDispatch* Get() { return d_; }

  HRESULT Id(const std::string& name, DISPID& id) {
    const std::u16string w = Wide(name);
    const OLECHAR* names[] = {w.c_str()};
    return d_->lpVtbl->GetIDsOfNames(d_, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  }
  // Invokes by name with arguments in parameter order (reversed here as hosts pass them); the
  // arguments are cleared.
  HRESULT Invoke(const std::string& name, uint16_t flags, std::vector<VARIANT> args, VARIANT* out,
                 EXCEPINFO* excep = nullptr, uint32_t* argErr = nullptr) {
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = Id(name, id);
    if (SUCCEEDED(hr)) {
      std::vector<VARIANT> reversed(args.rbegin(), args.rend());
      DISPID put = DISPID_PROPERTYPUT;
      DISPPARAMS params{reversed.data(), (flags & DISPATCH_PROPERTYPUT) ? &put : nullptr,
                        static_cast<uint32_t>(reversed.size()),
                        (flags & DISPATCH_PROPERTYPUT) ? 1u : 0u};
      hr = d_->lpVtbl->Invoke(d_, id, &IID_NULL, LOCALE_USER_DEFAULT, flags, &params, out, excep,
                              argErr);
    }
    for (VARIANT& a : args) VariantClear(&a);
    return hr;
  }
  HRESULT Put(const std::string& name, VARIANT value, EXCEPINFO* excep = nullptr) {
    return Invoke(name, DISPATCH_PROPERTYPUT, {value}, nullptr, excep);
  }
  VARIANT Read(const std::string& name) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &v), S_OK) << name;
    return v;
  }

 private:
  IDispatch* d_;
};

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(module_.handle, nullptr) << dlerror();
    ASSERT_NE(module_.getClassObject, nullptr);
  }
  IDispatch* Create(const CLSID& clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(module_.getClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    if (factory == nullptr) return nullptr;
    IDispatch* d = nullptr;
    EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IDispatch,
                                              reinterpret_cast<void**>(&d)),
              S_OK);
    factory->lpVtbl->Release(factory);
    return d;
  }
  Module module_;
  TempDir dir_;
};

TEST_F(ModuleTest, HandsOutTheFourClassObjectsAndNothingElse) {
  for (const CLSID* c : {&CLSID_Pelmor, &CLSID_Pelmor2, &CLSID_PelmorPropPage,
                         &CLSID_Pelmor2PropPage}) {
    void* f = nullptr;
    EXPECT_EQ(module_.getClassObject(c, &IID_IUnknown, &f), S_OK);
    EXPECT_NE(f, nullptr);
  }
  void* f = reinterpret_cast<void*>(1);
  EXPECT_EQ(module_.getClassObject(&LIBID_PELMORLib, &IID_IClassFactory, &f),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(module_.getClassObject(&CLSID_Pelmor2, &IID_IDispatch, &f), E_NOINTERFACE);
  EXPECT_EQ(module_.getClassObject(&CLSID_Pelmor2, &IID_IClassFactory, nullptr), E_POINTER);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(module_.getClassObject(&CLSID_Pelmor2, &IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
            S_OK);
  IUnknown outer{};
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, &outer, &IID_IDispatch, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_ITypeInfo, &object),
            E_NOINTERFACE);
  EXPECT_EQ(module_.canUnloadNow(), S_OK);  // the failed creation left nothing behind
}

TEST_F(ModuleTest, DrivesAControlByNameThroughInvoke) {
  const std::string gif = SamplePath("anim-disposal.gif");
  Host c(Create(CLSID_Pelmor2));
  ASSERT_NE(c.Get(), nullptr);
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);

  ASSERT_EQ(c.Put("filename", Text(gif)), S_OK);  // names in any case
  VARIANT v = c.Read("NImages");
  EXPECT_EQ(v.vt, VT_UI4);
  EXPECT_GT(v.ulVal, 1u);
  v = c.Read("FileName");
  ASSERT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(Narrow(v.bstrVal), gif);
  VariantClear(&v);

  // A method with two parameters, passed last first.
  VARIANT ok;
  VariantInit(&ok);
  ASSERT_EQ(c.Invoke("OpenImage", DISPATCH_METHOD, {Text(gif), Long(1)}, &ok), S_OK);
  EXPECT_EQ(ok.vt, VT_BOOL);
  EXPECT_EQ(c.Read("CurrentImage").ulVal, 1u);

  // A read-only property raises the automation error with its code and text.
  EXCEPINFO excep{};
  EXPECT_EQ(c.Put("ImageWidth", Long(5), &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, CTL_E_SETNOTSUPPORTED);
  EXPECT_NE(Narrow(excep.bstrDescription).find("read-only"), std::string::npos);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);

  // An unknown name, a bad argument (its index is the host's), a named argument.
  DISPID id = 0;
  EXPECT_EQ(c.Id("NoSuchMember", id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  uint32_t argErr = 99;
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 77;  // not a type the controls take
  EXPECT_EQ(c.Invoke("OpenImage", DISPATCH_METHOD, {Text(gif), bad}, &ok, nullptr, &argErr),
            DISP_E_BADVARTYPE);
  EXPECT_EQ(argErr, 0u);
  EXPECT_EQ(c.Invoke("OpenImage", DISPATCH_METHOD, {Text("x"), Text("not a number")}, &ok,
                     nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
  DISPID named = 0;
  VARIANT arg = Long(1);
  DISPPARAMS params{&arg, &named, 1, 1};
  ASSERT_EQ(c.Id("ShowImageN", id), S_OK);
  EXPECT_EQ(c.Get()->lpVtbl->Invoke(c.Get(), id, &IID_NULL, 0, DISPATCH_METHOD, &params, &ok,
                                    nullptr, nullptr),
            DISP_E_NONAMEDARGS);
}

TEST_F(ModuleTest, TheFontIsAnObjectOfItsOwnThatOutlivesTheControl) {
  IDispatch* fontDispatch = nullptr;
  {
    Host c(Create(CLSID_Pelmor));
    VARIANT font = c.Read("Font");
    ASSERT_EQ(font.vt, VT_DISPATCH);
    fontDispatch = font.pdispVal;
    Host f(fontDispatch);
    fontDispatch->lpVtbl->AddRef(fontDispatch);
    VARIANT yes;
    VariantInit(&yes);
    yes.vt = VT_BOOL;
    yes.boolVal = VARIANT_TRUE;
    ASSERT_EQ(f.Put("Bold", yes), S_OK);
    // Given back to a control, it is taken as its description.
    VARIANT again;
    VariantInit(&again);
    again.vt = VT_DISPATCH;
    again.pdispVal = fontDispatch;
    fontDispatch->lpVtbl->AddRef(fontDispatch);
    EXPECT_EQ(c.Invoke("Font", DISPATCH_PROPERTYPUTREF | DISPATCH_PROPERTYPUT, {again}, nullptr),
              S_OK);
    // A control is no font.
    VARIANT control;
    VariantInit(&control);
    control.vt = VT_DISPATCH;
    control.pdispVal = c.Get();
    c.Get()->lpVtbl->AddRef(c.Get());
    EXPECT_EQ(c.Invoke("Font", DISPATCH_PROPERTYPUTREF, {control}, nullptr), DISP_E_TYPEMISMATCH);
  }
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);  // the font is still held
  VARIANT bold;
  VariantInit(&bold);
  EXPECT_EQ(Host(fontDispatch).Invoke("Bold", DISPATCH_PROPERTYGET, {}, &bold), S_OK);
  EXPECT_EQ(bold.boolVal, VARIANT_TRUE);
  EXPECT_EQ(module_.canUnloadNow(), S_OK);
}

TEST_F(ModuleTest, LocksKeepTheModule) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(module_.getClassObject(&CLSID_Pelmor, &IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
            S_OK);
  factory->lpVtbl->LockServer(factory, 1);
  factory->lpVtbl->LockServer(factory, 1);
  factory->lpVtbl->LockServer(factory, 0);
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
  factory->lpVtbl->LockServer(factory, 0);
  factory->lpVtbl->LockServer(factory, 0);  // one too many does not go below zero
  EXPECT_EQ(module_.canUnloadNow(), S_OK);
  factory->lpVtbl->LockServer(factory, 1);
  EXPECT_EQ(module_.canUnloadNow(), S_FALSE);
  factory->lpVtbl->LockServer(factory, 0);
}

// Without a window system a page can be made, told what it is and given its controls; only
// showing it needs a host's widget (tests/qt/module_qt_tests.cpp shows and applies it).
TEST_F(ModuleTest, ThePropertyPagesAreObjectsOfTheirOwn) {
  for (const CLSID* clsid : {&CLSID_PelmorPropPage, &CLSID_Pelmor2PropPage}) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(module_.getClassObject(clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IDispatch, &none),
              E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    IPelmorPropertyPage* page = nullptr;
    ASSERT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IPelmorPropertyPage,
                                              reinterpret_cast<void**>(&page)),
              S_OK);
    EXPECT_EQ(module_.canUnloadNow(), S_FALSE);

    BSTR title = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_EQ(page->lpVtbl->GetPageInfo(page, &title, &w, &h), S_OK);
    EXPECT_EQ(Narrow(title), "General");
    EXPECT_EQ(w, 250);
    EXPECT_EQ(h, 110);
    SysFreeString(title);

    int parent = 0;
    EXPECT_EQ(page->lpVtbl->Activate(page, &parent), E_UNEXPECTED);  // no controls yet
    // Only the module's controls can be edited: its font object is refused, and so is the rest.
    IDispatch* control = Create(CLSID_Pelmor2);
    ASSERT_NE(control, nullptr);
    Host c(control);
    VARIANT font = c.Read("Font");
    ASSERT_EQ(font.vt, VT_DISPATCH);
    IUnknown* wrong[] = {reinterpret_cast<IUnknown*>(control),
                         reinterpret_cast<IUnknown*>(font.pdispVal)};
    EXPECT_EQ(page->lpVtbl->SetObjects(page, 2, wrong), E_INVALIDARG);
    EXPECT_EQ(page->lpVtbl->SetObjects(page, 1, nullptr), E_POINTER);
    VariantClear(&font);
    IUnknown* right[] = {reinterpret_cast<IUnknown*>(control)};
    EXPECT_EQ(page->lpVtbl->SetObjects(page, 1, right), S_OK);
    EXPECT_EQ(page->lpVtbl->Activate(page, nullptr), E_POINTER);
    EXPECT_EQ(page->lpVtbl->IsPageDirty(page), S_FALSE);
    EXPECT_EQ(page->lpVtbl->Apply(page), S_OK);  // nothing shown, nothing to write

    IUnknown* unknown = nullptr;
    ASSERT_EQ(page->lpVtbl->QueryInterface(page, &IID_IUnknown, reinterpret_cast<void**>(&unknown)),
              S_OK);
    EXPECT_EQ(unknown->lpVtbl->Release(unknown), 1u);
    EXPECT_EQ(page->lpVtbl->Release(page), 0u);  // the page let its control go
    EXPECT_EQ(module_.canUnloadNow(), S_FALSE);  // which the host still holds
  }
  EXPECT_EQ(module_.canUnloadNow(), S_OK);
}

TEST_F(ModuleTest, TypeInformationDescribesTheInterface) {
  Host c(Create(CLSID_Pelmor2));
  uint32_t count = 0;
  ASSERT_EQ(c.Get()->lpVtbl->GetTypeInfoCount(c.Get(), &count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(c.Get()->lpVtbl->GetTypeInfo(c.Get(), 1, 0, &info), DISP_E_BADINDEX);
  ASSERT_EQ(c.Get()->lpVtbl->GetTypeInfo(c.Get(), 0, 0, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->lpVtbl->GetTypeAttr(info, &attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(&attr->guid, &DIID__DPelmor2));
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cVars, 23);
  EXPECT_EQ(attr->cFuncs, 7);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE);
  info->lpVtbl->ReleaseTypeAttr(info, attr);

  FUNCDESC* func = nullptr;
  ASSERT_EQ(info->lpVtbl->GetFuncDesc(info, 6, &func), S_OK);  // OpenImage, the last method
  EXPECT_EQ(func->memid, 22);
  ASSERT_EQ(func->cParams, 2);
  EXPECT_EQ(func->paramTypes[0], VT_BSTR);
  EXPECT_EQ(func->paramTypes[1], VT_UI4);
  info->lpVtbl->ReleaseFuncDesc(info, func);
  VARDESC* var = nullptr;
  ASSERT_EQ(info->lpVtbl->GetVarDesc(info, 1, &var), S_OK);  // Caption
  EXPECT_EQ(var->memid, -518);
  EXPECT_EQ(var->wVarFlags, MEMBERFLAG_FBINDABLE | MEMBERFLAG_FREQUESTEDIT);
  info->lpVtbl->ReleaseVarDesc(info, var);
  EXPECT_NE(info->lpVtbl->GetVarDesc(info, 23, &var), S_OK);

  BSTR names[3] = {};
  uint32_t n = 0;
  ASSERT_EQ(info->lpVtbl->GetNames(info, 22, names, 3, &n), S_OK);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(Narrow(names[0]) + " " + Narrow(names[1]) + " " + Narrow(names[2]),
            "OpenImage sFileName nImageNo");
  for (BSTR b : names) SysFreeString(b);
  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(info->lpVtbl->GetDocumentation(info, 11, &name, &doc, nullptr, nullptr), S_OK);
  EXPECT_EQ(Narrow(name) + ": " + Narrow(doc), "NImages: Returns number of images in the file");
  SysFreeString(name);
  SysFreeString(doc);
  info->lpVtbl->Release(info);
}

TEST_F(ModuleTest, TheWindowShowsTheImage) {
  const std::string red = SolidBmp(dir_, "red.bmp", 8, 8, 0xFF0000);
  Host c(Create(CLSID_Pelmor2));
  IPelmorView* view = nullptr;
  ASSERT_EQ(c.Get()->lpVtbl->QueryInterface(c.Get(), &IID_IPelmorView,
                                            reinterpret_cast<void**>(&view)),
            S_OK);
  int32_t w = 0, h = 0;
  ASSERT_EQ(view->lpVtbl->GetSize(view, &w, &h), S_OK);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  EXPECT_EQ(view->lpVtbl->SetSize(view, 0, 10), E_INVALIDARG);
  ASSERT_EQ(view->lpVtbl->SetSize(view, 40, 30), S_OK);
  ASSERT_EQ(c.Put("StretchImage", Long(0)), S_OK);
  ASSERT_EQ(c.Put("FileName", Text(red)), S_OK);
  ASSERT_EQ(view->lpVtbl->GetSize(view, &w, &h), S_OK);
  ASSERT_EQ(view->lpVtbl->Update(view), S_OK);
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
  EXPECT_EQ(view->lpVtbl->CopyPixels(view, pixels.data(), w + 1, h, (w + 1) * 4), E_INVALIDARG);
  ASSERT_EQ(view->lpVtbl->CopyPixels(view, pixels.data(), w, h, w * 4), S_OK);
  EXPECT_EQ(pixels[0], 0xFF0000u);
  // Messages that carry pointers are not passed on.
  EXPECT_EQ(view->lpVtbl->SendMessage(view, 0x0001 /* WM_CREATE */, 0, 0, nullptr), E_INVALIDARG);
  view->lpVtbl->Release(view);
}

TEST_F(ModuleTest, RegistersItselfWhereTheVariableSays) {
  const std::string store = dir_.File("registry");
  const char* old = std::getenv(platform::kRegistryPathVariable);
  const std::string saved = old != nullptr ? old : "";
  setenv(platform::kRegistryPathVariable, store.c_str(), 1);
  EXPECT_EQ(module_.unregisterServer(), SELFREG_E_TYPELIB);
  EXPECT_EQ(module_.registerServer(), S_OK);
  std::string error;
  const auto tree = platform::ReadRegistry(store, error);
  ASSERT_TRUE(tree) << error;
  char real[PATH_MAX];
  ASSERT_NE(realpath(PELMOR_MODULE_PATH, real), nullptr);
  EXPECT_EQ(tree->GetValue(platform::RegistryRoot::kClassesRoot,
                           "CLSID\\{D7F3A25C-1E84-4B6A-A0C3-6E1B9D24F871}\\InprocServer32", ""),
            std::string(real));
  EXPECT_EQ(module_.unregisterServer(), S_OK);
  old != nullptr ? setenv(platform::kRegistryPathVariable, saved.c_str(), 1)
                 : unsetenv(platform::kRegistryPathVariable);
}

TEST_F(ModuleTest, ShowsOnlyItsExports) {
  if (!HaveProgram("nm")) GTEST_SKIP() << "nm is not installed";
  const std::string cmd = std::string("nm -D --defined-only ") + PELMOR_MODULE_PATH;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  std::array<char, 512> line;
  while (std::fgets(line.data(), line.size(), p) != nullptr) {
    std::string s(line.data());
    s.erase(s.find_last_not_of("\n") + 1);
    const std::string name = s.substr(s.rfind(' ') + 1);
    // Sanitizer builds add their own runtime's entry points.
    if (name.rfind("__", 0) != 0 && name.rfind("_fini", 0) != 0 && name.rfind("_init", 0) != 0) {
      names.insert(name);
    }
  }
  pclose(p);
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                          "DllRegisterServer", "DllUnregisterServer",
                                          "PelmorGetBitmap"}));
}

TEST_F(ModuleTest, TheToolboxBitmapIsASixteenColourIcon) {
  auto get = reinterpret_cast<HRESULT (*)(uint32_t, const uint8_t**, uint32_t*)>(
      dlsym(module_.handle, "PelmorGetBitmap"));
  ASSERT_NE(get, nullptr);
  const uint8_t* bytes = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(get(2, &bytes, &size), E_INVALIDARG);
  ASSERT_EQ(get(1, &bytes, &size), S_OK);
  const std::string path = dir_.File("toolbox.bmp");
  WriteFile(path, Bytes(bytes, bytes + size));
  CImageDoc doc;
  ASSERT_TRUE(doc.Open(path.c_str(), 0));
  EXPECT_EQ(doc.width, 16);
  EXPECT_EQ(doc.height, 16);
  const int bitCount = doc.header->biBitCount;
  EXPECT_EQ(bitCount, 4);
  // The frame is dark grey, the sun yellow.
  const Rgb px = DocumentPixels(doc);
  EXPECT_EQ(px.bgr[0], 128);
  const size_t sun = (3 * 16 + 11) * 3;
  EXPECT_EQ(px.bgr[sun] * 0x10000 + px.bgr[sun + 1] * 0x100 + px.bgr[sun + 2], 0x00FFFFu);
}

}  // namespace
}  // namespace pelmor::test
