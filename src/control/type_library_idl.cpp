// The type library written out as IDL, laid out the way such a library's source is usually kept.
#include <cstdio>

#include "control/type_library.h"

namespace pelmor {

using namespace ole;

namespace {

// The symbolic names of the stock members' identifiers.
std::string IdText(DISPID id) {
  switch (id) {
    case DISPID_BACKCOLOR: return "DISPID_BACKCOLOR";
    case DISPID_BORDERSTYLE: return "DISPID_BORDERSTYLE";
    case DISPID_FONT: return "DISPID_FONT";
    case DISPID_FORECOLOR: return "DISPID_FORECOLOR";
    case DISPID_ENABLED: return "DISPID_ENABLED";
    case DISPID_CAPTION: return "DISPID_CAPTION";
    case DISPID_ABOUTBOX: return "DISPID_ABOUTBOX";
    default: return std::to_string(id);
  }
}

std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '"' || *p == '\\') out += '\\';
    out += *p;
  }
  return out + '"';
}

// "uuid(...)" without the braces of the text form.
std::string Uuid(const GUID& guid) {
  const std::string braced = GuidToString(guid);
  return "uuid(" + braced.substr(1, braced.size() - 2) + ")";
}

std::string MemberAttributes(const TypeMember& m) {
  std::string a = "[id(" + IdText(m.id) + ")";
  if (*m.help != '\0') a += ", helpstring(" + Quoted(m.help) + ")";
  if (m.flags & kMemberHidden) a += ", hidden";
  if (m.flags & kMemberBindable) a += ", bindable";
  if (m.flags & kMemberRequestEdit) a += ", requestedit";
  return a + "]";
}

void WriteDispInterface(std::string& out, const TypeDesc& t) {
  out += "\t[ " + Uuid(*t.guid);
  if (*t.help != '\0') out += ",\n\t  helpstring(" + Quoted(t.help) + ")";
  if (t.flags & kTypeHidden) out += ", hidden";
  out += " ]\n\tdispinterface " + std::string(t.name) + "\n\t{\n\t\tproperties:\n";
  for (const TypeMember& p : t.properties) {
    out += "\t\t\t" + MemberAttributes(p) + " " + p.idlType + " " + p.name + ";\n";
  }
  out += "\n\t\tmethods:\n";
  for (const TypeMember& m : t.methods) {
    out += "\t\t\t" + MemberAttributes(m) + " " + m.idlType + " " + m.name + "(";
    for (size_t i = 0; i < m.params.size(); ++i) {
      if (i > 0) out += ", ";
      out += std::string(m.params[i].idlType) + " " + m.params[i].name;
    }
    out += ");\n";
  }
  out += "\t};\n\n";
}

void WriteCoClass(std::string& out, const TypeLibrary& library, const TypeDesc& t) {
  out += "\t[ " + Uuid(*t.guid);
  if (*t.help != '\0') out += ",\n\t  helpstring(" + Quoted(t.help) + ")";
  if (t.flags & kTypeControl) out += ", control";
  if (!(t.flags & kTypeCanCreate)) out += ", noncreatable";
  out += " ]\n\tcoclass " + std::string(t.name) + "\n\t{\n";
  if (const TypeDesc* d = library.Find(*t.defaultInterface)) {
    out += "\t\t[default] dispinterface " + std::string(d->name) + ";\n";
  }
  if (const TypeDesc* s = library.Find(*t.defaultSource)) {
    out += "\t\t[default, source] dispinterface " + std::string(s->name) + ";\n";
  }
  out += "\t};\n\n";
}

void WriteEnum(std::string& out, const TypeDesc& t) {
  out += "\ttypedef enum {\n";
  for (size_t i = 0; i < t.values.size(); ++i) {
    out += "\t\t" + std::string(t.values[i].name) + " = " + std::to_string(t.values[i].value);
    out += i + 1 < t.values.size() ? ",\n" : "\n";
  }
  out += "\t} " + std::string(t.name) + ";\n\n";
}

}  // namespace

std::string TypeLibraryIdl(const TypeLibrary& library) {
  char lcid[16];
  std::snprintf(lcid, sizeof lcid, "0x%04X", library.lcid);
  std::string out = "// " + std::string(library.name) + " " + std::to_string(library.majorVersion) +
                    "." + std::to_string(library.minorVersion) + "\n\n";
  out += "[ " + Uuid(library.libid) + ", version(" + std::to_string(library.majorVersion) + "." +
         std::to_string(library.minorVersion) + "), lcid(" + lcid + "),\n";
  out += "  helpstring(" + Quoted(library.help) + "), helpfile(" + Quoted(library.helpFile) + ")";
  if (library.flags & kLibFlagControl) out += ", control";
  out += " ]\nlibrary " + std::string(library.name) + "\n{\n";
  out += "\timportlib(\"stdole2.tlb\");\n\n";
  for (const TypeDesc& t : library.types) {
    switch (t.kind) {
      case TypeKind::kEnum: WriteEnum(out, t); break;
      case TypeKind::kDispatch: WriteDispInterface(out, t); break;
      case TypeKind::kCoClass: WriteCoClass(out, library, t); break;
    }
  }
  // The last blank line goes: the library's closing brace follows the last type directly.
  out.pop_back();
  out += "};\n";
  return out;
}

}  // namespace pelmor
