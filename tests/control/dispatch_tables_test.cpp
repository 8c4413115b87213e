// The two dispatch interfaces, member by member, against the table written out here.
#include <gtest/gtest.h>

#include "control/dispatch_tables.h"

namespace pelmor {
namespace {

using namespace ole;

struct Member {
  DISPID id;
  const char* name;
  const char* kind;       // "get" read-only property, "get/put" property, "method"
  const char* type;       // property type or method result
  const char* params;     // "name:TYPE, ..." for methods
  const char* help;
  const char* marks;      // "bindable", "bindable requestedit", ""
};

// _DPelmor, in the order of the dispatch map.
const Member kFirst[] = {
    {1, "FileName", "get/put", "BSTR", "", "Returns/sets image file name", ""},
    {2, "HAlignment", "get/put", "I2", "", "Returns/sets horizontal image alignment", ""},
    {3, "VAlignment", "get/put", "I2", "", "Returns/sets vertical image alignment", ""},
    {4, "StretchImage", "get/put", "BOOL", "", "Returns/sets stretch property", ""},
    {5, "SlideShow", "get/put", "BOOL", "", "Toggle animation", ""},
    {6, "OnQueryNewPalette", "method", "BOOL", "", "", ""},
    {7, "OnPaletteChanged", "method", "EMPTY", "WndPaletteChange:I4", "", ""},
    {8, "IsOpen", "method", "BOOL", "", "Shows if image is visible or not", ""},
    {-518, "Caption", "get/put", "BSTR", "", "", "bindable requestedit"},
    {-512, "Font", "get/put", "DISPATCH", "", "", "bindable"},
    {-513, "ForeColor", "get/put", "UI4", "", "", "bindable requestedit"},
    {-514, "Enabled", "get/put", "BOOL", "", "", "bindable requestedit"},
    {-501, "BackColor", "get/put", "UI4", "", "", "bindable requestedit"},
    {-504, "BorderStyle", "get/put", "I2", "", "", "bindable requestedit"},
    {-552, "AboutBox", "method", "EMPTY", "", "", ""},
};

// What _DPelmor2 adds after the same fifteen (whose SlideShow help reads differently).
const Member kSecondAdds[] = {
    {9, "ImageWidth", "get", "UI4", "", "Returns image width", ""},
    {10, "ImageHeight", "get", "UI4", "", "Returns image height", ""},
    {11, "NImages", "get", "UI4", "", "Returns number of images in the file", ""},
    {12, "DelayTime", "get", "UI4", "", "Returns delay time between images displaying", ""},
    {13, "DocumentName", "get", "BSTR", "", "Returns document name", ""},
    {14, "ImageDescription", "get", "BSTR", "", "Returns image description", ""},
    {15, "ImageCopyright", "get", "BSTR", "", "Returns image copyright", ""},
    {16, "ShowImageN", "method", "BOOL", "nImageNo:UI4", "Shows image from current file", ""},
    {17, "Save", "method", "BOOL", "sFileName:BSTR", "Saves image in the file", ""},
    {18, "Software", "get", "BSTR", "", "Returns description of the software which created the file", ""},
    {19, "CurrentImage", "get/put", "UI4", "", "Returns current image number", ""},
    {20, "SupportsAnimation", "get", "BOOL", "", "Shows if this image can be animated", ""},
    {21, "Scrolling", "get/put", "BOOL", "", "Returns/sets scrolling property", ""},
    {22, "OpenImage", "method", "BOOL", "sFileName:BSTR, nImageNo:UI4", "Opens image from the file", ""},
    {23, "CompressionRatio", "get/put", "R4", "", "Returns/sets compression ratio property", ""},
};

Member Describe(const DispEntry& e, std::string& params) {
  params.clear();
  for (const ParamInfo& p : e.Params()) {
    if (!params.empty()) params += ", ";
    params += std::string(p.name) + ":" + VarTypeName(p.type);
  }
  const char* kind = e.kind == MemberKind::kMethod ? "method" : e.ReadOnly() ? "get" : "get/put";
  const char* marks = (e.flags & kMemberRequestEdit) ? "bindable requestedit"
                      : (e.flags & kMemberBindable) ? "bindable"
                                                    : "";
  return {e.id, e.name, kind, VarTypeName(e.type), params.c_str(), e.help, marks};
}

void ExpectTable(const DispatchTable& table, const std::vector<Member>& expected) {
  ASSERT_EQ(table.count, expected.size()) << table.name;
  for (size_t i = 0; i < expected.size(); ++i) {
    const DispEntry& e = table.entries[i];
    std::string params;
    const Member got = Describe(e, params);
    const Member& want = expected[i];
    EXPECT_EQ(got.id, want.id) << table.name << " #" << i;
    EXPECT_STREQ(got.name, want.name) << table.name << " #" << i;
    EXPECT_STREQ(got.kind, want.kind) << want.name;
    EXPECT_STREQ(got.type, want.type) << want.name;
    EXPECT_EQ(params, want.params) << want.name;
    EXPECT_STREQ(got.help, want.help) << want.name;
    EXPECT_STREQ(got.marks, want.marks) << want.name;
    EXPECT_EQ((e.flags & kMemberStock) != 0, e.id < 0) << want.name;
    // Every member can be reached the way its kind says.
    EXPECT_TRUE(e.kind == MemberKind::kMethod ? e.call != nullptr : e.get != nullptr) << want.name;
  }
}

TEST(DispatchTables, EveryMemberOfBothInterfaces) {
  std::vector<Member> first(std::begin(kFirst), std::end(kFirst));
  ExpectTable(PelmorDispatchTable(), first);
  EXPECT_STREQ(PelmorDispatchTable().name, "_DPelmor");

  std::vector<Member> second = first;
  second[4].help = "Turns animation on/off";
  second.insert(second.end(), std::begin(kSecondAdds), std::end(kSecondAdds));
  ExpectTable(Pelmor2DispatchTable(), second);
  EXPECT_STREQ(Pelmor2DispatchTable().name, "_DPelmor2");

  // The colours are declared as OLE colours, the font as a font object.
  EXPECT_STREQ(PelmorDispatchTable().Find(DISPID_BACKCOLOR)->idlType, "OLE_COLOR");
  EXPECT_STREQ(PelmorDispatchTable().Find(DISPID_FONT)->idlType, "IFontDisp*");
  EXPECT_EQ(Pelmor2DispatchTable().FindName("horizontal"), nullptr);
  EXPECT_EQ(Pelmor2DispatchTable().FindName("nimages")->id, 11);
}

}  // namespace
}  // namespace pelmor
