// The type library against the controls' dispatch tables (they must never disagree), its
// declared order, and its IDL text.
#include <gtest/gtest.h>

#include <set>

#include "control/dispatch_tables.h"
#include "control/pelmor_ids.h"
#include "control/type_library.h"

namespace pelmor {
namespace {

using namespace ole;

constexpr uint32_t kMarks = kMemberHidden | kMemberBindable | kMemberRequestEdit;

void ExpectSameMembers(const TypeDesc& type, const DispatchTable& table) {
  SCOPED_TRACE(type.name);
  EXPECT_STREQ(type.name, table.name);
  std::set<DISPID> seen;
  for (const auto members : {type.properties, type.methods}) {
    for (const TypeMember& m : members) {
      SCOPED_TRACE(m.name);
      EXPECT_TRUE(seen.insert(m.id).second) << "declared twice";
      const DispEntry* e = table.Find(m.id);
      ASSERT_NE(e, nullptr) << "not in the dispatch table";
      EXPECT_STREQ(m.name, e->name);
      EXPECT_EQ(m.kind, e->kind);
      EXPECT_EQ(m.type, e->type);
      EXPECT_STREQ(m.idlType, e->idlType);
      EXPECT_STREQ(m.help, e->help);
      EXPECT_EQ(m.flags & kMarks, e->flags & kMarks);
      ASSERT_EQ(m.params.size(), e->paramCount);
      for (size_t i = 0; i < m.params.size(); ++i) {
        EXPECT_STREQ(m.params[i].name, e->params[i].name);
        EXPECT_EQ(m.params[i].type, e->params[i].type);
        EXPECT_STREQ(m.params[i].idlType, e->params[i].idlType);
      }
    }
  }
  EXPECT_EQ(seen.size(), table.count) << "the dispatch table has members the library lacks";
}

std::vector<std::string> Names(std::span<const TypeMember> members) {
  std::vector<std::string> names;
  for (const TypeMember& m : members) names.push_back(m.name);
  return names;
}

TEST(TypeLibrary, AgreesWithBothDispatchTables) {
  const TypeLibrary& lib = PelmorTypeLibrary();
  ExpectSameMembers(*lib.Find(DIID_DPelmor), PelmorDispatchTable());
  ExpectSameMembers(*lib.Find(DIID_DPelmor2), Pelmor2DispatchTable());
}

TEST(TypeLibrary, DeclaresMembersInTheirOrder) {
  const TypeLibrary& lib = PelmorTypeLibrary();
  const std::vector<std::string> firstProps = {
      "FileName", "Caption", "Font", "ForeColor", "HAlignment", "VAlignment",
      "StretchImage", "Enabled", "SlideShow", "BackColor", "BorderStyle"};
  const std::vector<std::string> firstMethods = {"OnQueryNewPalette", "OnPaletteChanged", "IsOpen",
                                                 "AboutBox"};
  std::vector<std::string> secondProps = firstProps;
  for (const char* n : {"ImageWidth", "ImageHeight", "NImages", "DelayTime", "DocumentName",
                        "ImageDescription", "ImageCopyright", "Software", "CurrentImage",
                        "SupportsAnimation", "Scrolling", "CompressionRatio"}) {
    secondProps.push_back(n);
  }
  std::vector<std::string> secondMethods = firstMethods;
  for (const char* n : {"ShowImageN", "Save", "OpenImage"}) secondMethods.push_back(n);

  const TypeDesc* first = lib.Find(DIID_DPelmor);
  const TypeDesc* second = lib.Find(DIID_DPelmor2);
  EXPECT_EQ(Names(first->properties), firstProps);
  EXPECT_EQ(Names(first->methods), firstMethods);
  EXPECT_EQ(Names(second->properties), secondProps);
  EXPECT_EQ(Names(second->methods), secondMethods);
}

TEST(TypeLibrary, TypesIdentitiesAndFlags) {
  const TypeLibrary& lib = PelmorTypeLibrary();
  EXPECT_EQ(lib.libid, LIBID_PELMORLib);
  EXPECT_EQ(lib.majorVersion, 1);
  EXPECT_EQ(lib.minorVersion, 0);
  EXPECT_EQ(lib.lcid, 0x0409u);
  const struct {
    const char* name;
    TypeKind kind;
    uint16_t flags;
  } kExpected[] = {
      {"PMRHorzAlignment", TypeKind::kEnum, 0},
      {"PMRVertAlignment", TypeKind::kEnum, 0},
      {"_DPelmor", TypeKind::kDispatch, kTypeHidden | kTypeDispatchable},
      {"_DPelmorEvents", TypeKind::kDispatch, kTypeDispatchable},
      {"Pelmor", TypeKind::kCoClass, kTypeCanCreate | kTypeControl},
      {"_DPelmor2", TypeKind::kDispatch, kTypeHidden | kTypeDispatchable},
      {"_DPelmor2Events", TypeKind::kDispatch, kTypeDispatchable},
      {"Pelmor2", TypeKind::kCoClass, kTypeCanCreate | kTypeControl},
  };
  ASSERT_EQ(lib.types.size(), std::size(kExpected));
  for (size_t i = 0; i < lib.types.size(); ++i) {
    EXPECT_STREQ(lib.types[i].name, kExpected[i].name);
    EXPECT_EQ(lib.types[i].kind, kExpected[i].kind);
    EXPECT_EQ(lib.types[i].flags, kExpected[i].flags) << kExpected[i].name;
  }
  EXPECT_EQ(lib.Find(CLSID_Pelmor2Ctrl), lib.FindName("Pelmor2"));
  EXPECT_EQ(*lib.FindName("Pelmor2")->defaultInterface, DIID_DPelmor2);
  EXPECT_EQ(*lib.FindName("Pelmor")->defaultSource, DIID_DPelmorEvents);
  EXPECT_TRUE(lib.FindName("_DPelmorEvents")->properties.empty());
  EXPECT_TRUE(lib.FindName("_DPelmor2Events")->methods.empty());
}

TEST(TypeLibrary, IdlText) {
  const std::string idl = TypeLibraryIdl(PelmorTypeLibrary());
  for (const char* line : {
           "[ uuid(5C13B0E2-7A41-11D3-9F2E-0040C7A91B35), version(1.0), lcid(0x0409),\n"
           "  helpstring(\"Pelmor ActiveX Control module\"), helpfile(\"Pelmor.hlp\"), control ]\n"
           "library PELMORLib\n{\n",
           "\ttypedef enum {\n\t\tpmrHALeft = 0,\n\t\tpmrHACenter = 1,\n\t\tpmrHARight = 2\n"
           "\t} PMRHorzAlignment;\n",
           "\t  helpstring(\"Dispatch interface for Pelmor2 Control\"), hidden ]\n"
           "\tdispinterface _DPelmor2\n\t{\n\t\tproperties:\n"
           "\t\t\t[id(1), helpstring(\"Returns/sets image file name\")] BSTR FileName;\n"
           "\t\t\t[id(DISPID_CAPTION), bindable, requestedit] BSTR Caption;\n"
           "\t\t\t[id(DISPID_FONT), bindable] IFontDisp* Font;\n",
           "\t\t\t[id(5), helpstring(\"Turns animation on/off\")] VARIANT_BOOL SlideShow;\n",
           "\t\t\t[id(22), helpstring(\"Opens image from the file\")] VARIANT_BOOL "
           "OpenImage(BSTR sFileName, unsigned long nImageNo);\n\t};\n",
           "\tdispinterface _DPelmorEvents\n\t{\n\t\tproperties:\n\n\t\tmethods:\n\t};\n",
           "\t  helpstring(\"Pelmor2 Control\"), control ]\n\tcoclass Pelmor2\n\t{\n"
           "\t\t[default] dispinterface _DPelmor2;\n"
           "\t\t[default, source] dispinterface _DPelmor2Events;\n\t};\n};\n",
       }) {
    EXPECT_NE(idl.find(line), std::string::npos) << line << "\n---\n" << idl;
  }
}

}  // namespace
}  // namespace pelmor
