// The type library PELMORLib as data: the library's identity and texts, the two alignment
// enumerations, the controls' dispatch and event interfaces with their members in declared order
// (properties, then methods) and their marks, and the two control classes. Hosts read it through
// a control's type information; `pelmor typelib` prints it as IDL. Its members must agree with
// the controls' dispatch tables, which a test holds them to.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/ole/dispatch.h"
#include "platform/ole/guid.h"

namespace pelmor {

// Kinds of types, numbered as a type library's TYPEKIND.
enum class TypeKind : uint8_t { kEnum = 0, kDispatch = 4, kCoClass = 5 };

// Type flags, valued as a type library's TYPEFLAGS.
enum TypeFlag : uint16_t {
  kTypeCanCreate = 0x2,
  kTypeHidden = 0x10,
  kTypeControl = 0x20,
  kTypeDispatchable = 0x1000,
};

// Library flags (LIBFLAGS).
inline constexpr uint16_t kLibFlagControl = 0x2;

// A property or method of a dispatch interface as declared. flags: the MemberFlag marks a type
// library carries (hidden, bindable, requestedit).
struct TypeMember {
  ole::DISPID id;
  const char* name;
  ole::MemberKind kind;
  ole::VARTYPE type;    // of the property, or of the method's result (VT_EMPTY: void)
  const char* idlType;  // as the IDL declares it
  std::span<const ole::ParamInfo> params;
  const char* help;
  uint32_t flags;
};

struct EnumValue {
  const char* name;
  int32_t value;
};

struct TypeDesc {
  TypeKind kind;
  const char* name;
  const ole::GUID* guid;  // null for the enumerations, which have none
  const char* help;       // "" for none
  uint16_t flags;         // TypeFlag bits
  std::span<const TypeMember> properties;  // dispatch interfaces
  std::span<const TypeMember> methods;     // dispatch interfaces
  std::span<const EnumValue> values;       // enumerations
  const ole::GUID* defaultInterface;       // coclasses
  const ole::GUID* defaultSource;          // coclasses
};

struct TypeLibrary {
  const char* name;
  ole::GUID libid;
  uint16_t majorVersion;
  uint16_t minorVersion;
  uint32_t lcid;
  uint16_t flags;  // library flags
  const char* help;
  const char* helpFile;
  std::span<const TypeDesc> types;

  // The type with this identifier (interface or class); null when there is none.
  const TypeDesc* Find(const ole::GUID& guid) const;
  const TypeDesc* FindName(const char* name) const;
};

const TypeLibrary& PelmorTypeLibrary();

// The library as IDL text.
std::string TypeLibraryIdl(const TypeLibrary& library);

}  // namespace pelmor
