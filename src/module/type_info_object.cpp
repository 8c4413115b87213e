#include "module/type_info_object.h"

#include <cstring>
#include <string>
#include <vector>

#include "module/com_object.h"
#include "platform/text_encoding.h"

namespace pelmor::module {

namespace {

constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);
// Enumeration constants are numbered from here, as IDL compilers number them.
constexpr MEMBERID kFirstConstantId = 0x40000000;

uint16_t MemberFlags(uint32_t marks) {
  uint16_t f = 0;
  if (marks & ole::kMemberBindable) f |= MEMBERFLAG_FBINDABLE;
  if (marks & ole::kMemberRequestEdit) f |= MEMBERFLAG_FREQUESTEDIT;
  if (marks & ole::kMemberHidden) f |= MEMBERFLAG_FHIDDEN;
  return f;
}

bool SameName(const std::string& a, const char* b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  size_t i = 0;
  for (; b[i] != '\0'; ++i) {
    if (i >= a.size() || lower(a[i]) != lower(b[i])) return false;
  }
  return i == a.size();
}

std::string Narrow(const OLECHAR* text) {
  std::u16string wide;
  for (size_t i = 0; text != nullptr && text[i] != 0 && i < 4096; ++i) wide.push_back(text[i]);
  return platform::BytesFromUtf16(wide);
}

// Sets *out to a new string of text when out is given; false when memory ran out.
bool PutText(BSTR* out, const char* text) {
  if (out == nullptr) return true;
  *out = NewBstr(platform::Utf16FromBytes(text));
  return *out != nullptr;
}

class TypeInfoObject : private CountedObject {
 public:
  explicit TypeInfoObject(const TypeDesc& type) : type_(type) {
    slot_.lpVtbl = &kVtbl;
    slot_.owner = this;
  }
  ITypeInfo* Interface() { return &slot_; }

 private:
  static TypeInfoObject& Self(ITypeInfo* s) { return Slot<ITypeInfo, TypeInfoObject>::Of(s); }

  // The member with this identifier among the properties and methods.
  const TypeMember* Member(MEMBERID id) const {
    for (const auto list : {type_.properties, type_.methods}) {
      for (const TypeMember& m : list) {
        if (m.id == id) return &m;
      }
    }
    return nullptr;
  }

  static HRESULT QueryInterface(ITypeInfo* s, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == nullptr) return E_INVALIDARG;
    if (!IsEqualGUID(iid, &IID_IUnknown) && !IsEqualGUID(iid, &IID_ITypeInfo)) return E_NOINTERFACE;
    AddRef(s);
    *object = s;
    return S_OK;
  }
  static ULONG AddRef(ITypeInfo* s) { return Self(s).refs_.AddRef(); }
  static ULONG Release(ITypeInfo* s) {
    const ULONG n = Self(s).refs_.Release();
    if (n == 0) delete &Self(s);
    return n;
  }

  static HRESULT GetTypeAttr(ITypeInfo* s, TYPEATTR** attr) {
    if (attr == nullptr) return E_POINTER;
    return Guarded([&] {
      const TypeDesc& t = Self(s).type_;
      const TypeLibrary& lib = PelmorTypeLibrary();
      auto* a = new TYPEATTR{};
      if (t.guid != nullptr) {
        a->guid.Data1 = t.guid->Data1;
        a->guid.Data2 = t.guid->Data2;
        a->guid.Data3 = t.guid->Data3;
        std::memcpy(a->guid.Data4, t.guid->Data4, sizeof a->guid.Data4);
      }
      a->lcid = lib.lcid;
      a->typekind = static_cast<TYPEKIND>(t.kind);
      a->cFuncs = static_cast<uint16_t>(t.methods.size());
      a->cVars = static_cast<uint16_t>(t.kind == TypeKind::kEnum ? t.values.size()
                                                                 : t.properties.size());
      a->cImplTypes = t.kind == TypeKind::kCoClass ? 2 : 0;
      a->wTypeFlags = t.flags;
      a->wMajorVerNum = lib.majorVersion;
      a->wMinorVerNum = lib.minorVersion;
      *attr = a;
      return S_OK;
    });
  }

  static HRESULT GetFuncDesc(ITypeInfo* s, uint32_t index, FUNCDESC** desc) {
    if (desc == nullptr) return E_POINTER;
    *desc = nullptr;
    const auto methods = Self(s).type_.methods;
    if (index >= methods.size()) return TYPE_E_ELEMENTNOTFOUND;
    return Guarded([&] {
      const TypeMember& m = methods[index];
      auto* d = new FUNCDESC{};
      d->memid = m.id;
      d->funckind = FUNC_DISPATCH;
      d->invkind = INVOKE_FUNC;
      d->cParams = static_cast<uint16_t>(m.params.size());
      d->vtReturn = m.type;
      d->wFuncFlags = MemberFlags(m.flags);
      if (!m.params.empty()) {
        auto* types = new (std::nothrow) VARTYPE[m.params.size()];
        if (types == nullptr) {
          delete d;
          return E_OUTOFMEMORY;
        }
        for (size_t i = 0; i < m.params.size(); ++i) types[i] = m.params[i].type;
        d->paramTypes = types;
      }
      *desc = d;
      return S_OK;
    });
  }

  static HRESULT GetVarDesc(ITypeInfo* s, uint32_t index, VARDESC** desc) {
    if (desc == nullptr) return E_POINTER;
    *desc = nullptr;
    const TypeDesc& t = Self(s).type_;
    const size_t count = t.kind == TypeKind::kEnum ? t.values.size() : t.properties.size();
    if (index >= count) return TYPE_E_ELEMENTNOTFOUND;
    return Guarded([&] {
      auto* d = new VARDESC{};
      if (t.kind == TypeKind::kEnum) {
        d->memid = kFirstConstantId + static_cast<MEMBERID>(index);
        d->varkind = VAR_CONST;
        d->vt = VT_I4;
        d->value = t.values[index].value;
      } else {
        const TypeMember& p = t.properties[index];
        d->memid = p.id;
        d->varkind = VAR_DISPATCH;
        d->vt = p.type;
        d->wVarFlags = MemberFlags(p.flags);
      }
      *desc = d;
      return S_OK;
    });
  }

  static HRESULT GetNames(ITypeInfo* s, MEMBERID memid, BSTR* names, uint32_t max,
                          uint32_t* count) {
    if (names == nullptr || count == nullptr) return E_POINTER;
    *count = 0;
    const TypeDesc& t = Self(s).type_;
    std::vector<const char*> list;
    if (const TypeMember* m = Self(s).Member(memid)) {
      list.push_back(m->name);
      for (const ole::ParamInfo& p : m->params) list.push_back(p.name);
    } else if (t.kind == TypeKind::kEnum && memid >= kFirstConstantId &&
               static_cast<size_t>(memid - kFirstConstantId) < t.values.size()) {
      list.push_back(t.values[memid - kFirstConstantId].name);
    } else {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    return Guarded([&] {
      for (uint32_t i = 0; i < max && i < list.size(); ++i) {
        if (!PutText(&names[i], list[i])) {
          for (uint32_t j = 0; j < i; ++j) SysFreeString(names[j]);
          return E_OUTOFMEMORY;
        }
        *count = i + 1;
      }
      return S_OK;
    });
  }

  static HRESULT GetIDsOfNames(ITypeInfo* s, const OLECHAR* const* names, uint32_t count,
                               MEMBERID* ids) {
    if (count == 0) return S_OK;
    if (names == nullptr || ids == nullptr) return E_POINTER;
    return Guarded([&] {
      const TypeDesc& t = Self(s).type_;
      const TypeMember* found = nullptr;
      const std::string name = Narrow(names[0]);
      for (const auto list : {t.properties, t.methods}) {
        for (const TypeMember& m : list) {
          if (found == nullptr && SameName(name, m.name)) found = &m;
        }
      }
      HRESULT hr = found != nullptr ? S_OK : DISP_E_UNKNOWNNAME;
      ids[0] = found != nullptr ? found->id : MEMBERID_NIL;
      for (uint32_t i = 1; i < count; ++i) {
        ids[i] = MEMBERID_NIL;
        const std::string param = Narrow(names[i]);
        for (size_t p = 0; found != nullptr && p < found->params.size(); ++p) {
          if (SameName(param, found->params[p].name)) ids[i] = static_cast<MEMBERID>(p);
        }
        if (ids[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
      }
      return hr;
    });
  }

  static HRESULT GetDocumentation(ITypeInfo* s, MEMBERID memid, BSTR* name, BSTR* doc,
                                  uint32_t* helpContext, BSTR* helpFile) {
    const TypeDesc& t = Self(s).type_;
    const char* memberName = t.name;
    const char* help = t.help;
    if (memid != MEMBERID_NIL) {
      const TypeMember* m = Self(s).Member(memid);
      if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
      memberName = m->name;
      help = m->help;
    }
    if (name != nullptr) *name = nullptr;
    if (doc != nullptr) *doc = nullptr;
    if (helpFile != nullptr) *helpFile = nullptr;
    if (helpContext != nullptr) *helpContext = 0;
    return Guarded([&] {
      if (PutText(name, memberName) && PutText(doc, help) &&
          PutText(helpFile, PelmorTypeLibrary().helpFile)) {
        return S_OK;
      }
      for (BSTR* b : {name, doc, helpFile}) {
        if (b != nullptr) {
          SysFreeString(*b);
          *b = nullptr;
        }
      }
      return E_OUTOFMEMORY;
    });
  }

  static void ReleaseTypeAttr(ITypeInfo*, TYPEATTR* attr) { delete attr; }
  static void ReleaseFuncDesc(ITypeInfo*, FUNCDESC* desc) {
    if (desc == nullptr) return;
    delete[] desc->paramTypes;
    delete desc;
  }
  static void ReleaseVarDesc(ITypeInfo*, VARDESC* desc) { delete desc; }

  static constexpr ITypeInfoVtbl kVtbl = {
      QueryInterface, AddRef,          Release,        GetTypeAttr,     GetFuncDesc,
      GetVarDesc,     GetNames,        GetIDsOfNames,  GetDocumentation, ReleaseTypeAttr,
      ReleaseFuncDesc, ReleaseVarDesc};

  Slot<ITypeInfo, TypeInfoObject> slot_;
  RefCount refs_;
  const TypeDesc& type_;
};

}  // namespace

ITypeInfo* NewTypeInfo(const TypeDesc& type) { return (new TypeInfoObject(type))->Interface(); }

}  // namespace pelmor::module
