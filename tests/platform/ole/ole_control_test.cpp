// The control framework on a small control of its own: dispatch by name with wrong arguments,
// automation errors, stock properties with their defaults, notifications and validation, the
// font object, message maps chained to the base, sizes asked of the container.
#include <gtest/gtest.h>

#include <functional>

#include "allocation_failure.h"
#include "platform/ole/headless_host.h"
#include "platform/text_encoding.h"

namespace pelmor::ole {
namespace {

using platform::Message;

class TestControl : public COleControl {
 public:
  const char* GetRuntimeClassName() const override { return "TestControl"; }
  GUID GetClassID() const override { return MakeGuid("{00000000-0000-0000-0000-000000000001}"); }
  uint32_t GetUserTypeNameID() const override { return 1; }
  const DispatchTable& GetDispatchTable() const override;
  static const MessageMap messageMap;
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  void OnBackColorChanged() override {
    ++backColorChanges;
    COleControl::OnBackColorChanged();
  }

  std::string text = std::string(300, 'x');
  int backColorChanges = 0;
  int settingChanges = 0;
  std::function<void()> onSettingChange;
  std::vector<int> sizes;
};

HRESULT GetText(DispatchObject& o, Variant& v) {
  v = Variant::Text(static_cast<TestControl&>(o).text);
  return S_OK;
}
HRESULT GetAnswer(DispatchObject&, Variant& v) {
  v = Variant::UI4(42);
  return S_OK;
}
HRESULT CallAdd(DispatchObject&, const Variant* args, Variant& result) {
  result = Variant::I4(args[0].GetI4() + args[1].GetI2());
  return S_OK;
}
constexpr ParamInfo kAddParams[] = {{"a", VT_I4, "long"}, {"b", VT_I2, "short"}};
constexpr DispEntry kEntries[] = {
    {1, "Text", MemberKind::kProperty, VT_BSTR, "BSTR", nullptr, 0, GetText, nullptr, nullptr, "", 0},
    {2, "Answer", MemberKind::kProperty, VT_UI4, "unsigned long", nullptr, 0, GetAnswer, nullptr,
     nullptr, "", 0},
    {3, "Add", MemberKind::kMethod, VT_I4, "long", kAddParams, 2, nullptr, nullptr, CallAdd, "", 0},
    {DISPID_CAPTION, "Caption", MemberKind::kProperty, VT_BSTR, "BSTR", nullptr, 0,
     stock::GetCaption, stock::PutCaption, nullptr, "", 0},
    {DISPID_FONT, "Font", MemberKind::kProperty, VT_DISPATCH, "IFontDisp*", nullptr, 0,
     stock::GetFont, stock::PutFont, nullptr, "", 0},
    {DISPID_BACKCOLOR, "BackColor", MemberKind::kProperty, VT_UI4, "OLE_COLOR", nullptr, 0,
     stock::GetBackColor, stock::PutBackColor, nullptr, "", kMemberColor},
    {DISPID_BORDERSTYLE, "BorderStyle", MemberKind::kProperty, VT_I2, "short", nullptr, 0,
     stock::GetBorderStyle, stock::PutBorderStyle, nullptr, "", 0},
};
constexpr DispatchTable kTable{"_DTest", kEntries, std::size(kEntries)};
const DispatchTable& TestControl::GetDispatchTable() const { return kTable; }

platform::LRESULT HandleSettingChange(COleControl& self, const Message&) {
  auto& c = static_cast<TestControl&>(self);
  ++c.settingChanges;
  if (c.onSettingChange) c.onSettingChange();
  return 0;
}
platform::LRESULT HandleSize(COleControl& self, const Message& m) {
  self.OnSize(static_cast<uint32_t>(m.wParam), platform::LOWORD(m.lParam), platform::HIWORD(m.lParam));
  static_cast<TestControl&>(self).sizes.push_back(platform::LOWORD(m.lParam));
  return 0;
}
constexpr MessageMapEntry kMessages[] = {{platform::WM_SETTINGCHANGE, HandleSettingChange},
                                         {platform::WM_SIZE, HandleSize}};
const MessageMap TestControl::messageMap{&COleControl::messageMap, kMessages, std::size(kMessages)};

InvokeResult Call(DispatchObject& o, const char* name, uint16_t flags, std::vector<Variant> args = {}) {
  return InvokeByName(o, name, flags, args);
}
constexpr uint16_t kGet = DISPATCH_PROPERTYGET, kPut = DISPATCH_PROPERTYPUT, kCall = DISPATCH_METHOD;

TEST(OleControl, DispatchRefusesWhatDoesNotFit) {
  TestControl c;
  struct Case {
    const char* name;
    uint16_t flags;
    std::vector<Variant> args;
    HRESULT hr;
    uint32_t argErr = 0;
  };
  const Case cases[] = {
      {"nothing", kGet, {}, DISP_E_UNKNOWNNAME},
      {"ADD", kCall, {Variant::I4(1), Variant::I2(2)}, S_OK},
      {"add", kCall | kGet, {Variant::Bstr(u"40"), Variant::R8(1.6)}, S_OK},
      {"Add", kCall, {Variant::I4(1)}, DISP_E_BADPARAMCOUNT},
      {"Add", kCall, {Variant::I4(1), Variant::I2(2), Variant::I2(3)}, DISP_E_BADPARAMCOUNT},
      {"Add", kCall, {Variant::I4(1), Variant::Missing()}, DISP_E_PARAMNOTOPTIONAL, 1},
      {"Add", kCall, {Variant::Bstr(u"one"), Variant::I2(2)}, DISP_E_TYPEMISMATCH, 0},
      {"Add", kCall, {Variant::I4(1), Variant::I4(70000)}, DISP_E_OVERFLOW, 1},
      {"Add", kPut, {Variant::I4(1)}, DISP_E_MEMBERNOTFOUND},
      {"Answer", kGet, {Variant::I4(1)}, DISP_E_BADPARAMCOUNT},
      {"Answer", kPut, {}, DISP_E_BADPARAMCOUNT},
      {"Answer", kPut, {Variant::I4(1)}, DISP_E_EXCEPTION},
      {"Answer", DISPATCH_PROPERTYPUTREF, {Variant::I4(1)}, DISP_E_MEMBERNOTFOUND},
      {"Answer", 0, {}, DISP_E_MEMBERNOTFOUND},
      {"Caption", kPut, {Variant::Dispatch(nullptr)}, DISP_E_TYPEMISMATCH, 0},
      {"Font", DISPATCH_PROPERTYPUTREF, {Variant::Dispatch(c.GetFontObject())}, S_OK},
      {"Font", kPut, {Variant::I4(3)}, DISP_E_TYPEMISMATCH, 0},
  };
  for (const Case& t : cases) {
    const InvokeResult r = Call(c, t.name, t.flags, t.args);
    EXPECT_EQ(r.hr, t.hr) << t.name << " with " << t.args.size() << " arguments";
    if (r.hr == DISP_E_TYPEMISMATCH || r.hr == DISP_E_OVERFLOW || r.hr == DISP_E_PARAMNOTOPTIONAL) {
      EXPECT_EQ(r.argErr, t.argErr) << t.name;
    }
  }
  EXPECT_EQ(Call(c, "Add", kCall, {Variant::Bstr(u"40"), Variant::R8(1.6)}).value.GetI4(), 42);
  const InvokeResult readOnly = Call(c, "Answer", kPut, {Variant::I4(1)});
  EXPECT_EQ(readOnly.Effective(), CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(readOnly.excep.scode, static_cast<HRESULT>(0x800A017F));
  EXPECT_EQ(Call(c, "Answer", kGet | kCall).value.GetUI4(), 42u);
}

TEST(OleControl, AStringThatCannotBeAllocatedIsOutOfMemory) {
  TestControl c;
  const size_t failuresBefore = test::ScopedAllocationFailure::Failures();
  InvokeResult r;
  {
    // The 300 characters need 600 bytes as UTF-16; smaller allocations still work.
    test::ScopedAllocationFailure fail(500);
    r = Call(c, "Text", kGet);
  }
  EXPECT_GT(test::ScopedAllocationFailure::Failures(), failuresBefore);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.Effective(), E_OUTOFMEMORY);
  EXPECT_EQ(r.value.Type(), VT_EMPTY);
  // Nothing is left behind (the leak checker of the sanitizer build watches), and the next read
  // works.
  EXPECT_EQ(Call(c, "Text", kGet).value.GetBstr().size(), 300u);
}

TEST(OleControl, StockPropertiesFollowTheAmbientsAndValidate) {
  HeadlessHost host;
  TestControl c;
  EXPECT_EQ(c.GetBackColor(), SystemColor(COLOR_WINDOW));  // before the container is known
  host.ambientBackColor = 0x00112233;
  host.ambientFont = FontDesc{"DejaVu Serif", 9.0};
  ASSERT_TRUE(host.Embed(c, 50, 40));
  EXPECT_EQ(c.GetBackColor(), 0x00112233u);
  EXPECT_EQ(c.GetForeColor(), 0u);  // no ambient: the window text colour, black
  EXPECT_EQ(c.GetFont().Desc().name, "DejaVu Serif");
  EXPECT_TRUE(c.AmbientUserMode());
  EXPECT_FALSE(c.IsModified());

  // An unchanged value does nothing; a valid one notifies and marks modified; invalid ones are
  // refused with 0x800A017C and change nothing.
  host.invalidations.clear();
  EXPECT_EQ(Call(c, "BackColor", kPut, {Variant::UI4(0x00112233)}).hr, S_OK);
  EXPECT_EQ(c.backColorChanges, 0);
  EXPECT_FALSE(c.IsModified());
  EXPECT_EQ(Call(c, "BackColor", kPut, {Variant::I4(static_cast<int32_t>(0x80000005))}).hr, S_OK);
  EXPECT_EQ(c.GetBackColor(), 0x80000005u);  // a signed 32-bit colour arrives as its bit pattern
  EXPECT_EQ(c.backColorChanges, 1);
  EXPECT_TRUE(c.IsModified());
  ASSERT_FALSE(host.invalidations.empty());
  EXPECT_TRUE(host.invalidations.back().erase);
  for (OLE_COLOR bad : {0x80000020u, 0x04000000u, 0xFF000000u}) {
    EXPECT_EQ(Call(c, "BackColor", kPut, {Variant::UI4(bad)}).Effective(), CTL_E_INVALIDPROPERTYVALUE);
  }
  EXPECT_EQ(c.GetBackColor(), 0x80000005u);
  EXPECT_EQ(Call(c, "BorderStyle", kPut, {Variant::I2(2)}).Effective(), CTL_E_INVALIDPROPERTYVALUE);

  // The font object is the control's own: a change through it repaints and marks modified.
  c.SetModifiedFlag(false);
  const DispatchPtr font = Call(c, "Font", kGet).value.GetDispatch();
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(InvokeByName(*font, "size", kPut, std::vector<Variant>{Variant::I4(20)}).hr, S_OK);
  EXPECT_EQ(c.GetFont().Desc().size, 20.0);
  EXPECT_TRUE(c.IsModified());
  EXPECT_EQ(InvokeByName(*font, "Bold", kPut, std::vector<Variant>{Variant::Bool(true)}).hr, S_OK);
  EXPECT_EQ(c.GetFont().Desc().weight, 700);
  EXPECT_EQ(InvokeByName(*font, "Size", kPut, std::vector<Variant>{Variant::I4(0)}).Effective(),
            CTL_E_INVALIDPROPERTYVALUE);
  EXPECT_EQ(InvokeByName(*font, "Name", kGet).value.GetBstr(), u"DejaVu Serif");

  // A container that forbids request-edit changes.
  struct Strict : HeadlessHost {
    bool OnRequestEdit(DISPID) override { return false; }
  } strict;
  TestControl d;
  ASSERT_TRUE(strict.Embed(d, 10, 10));
  EXPECT_EQ(Call(d, "Caption", kPut, {Variant::Bstr(u"no")}).Effective(), CTL_E_SETNOTPERMITTED);
  EXPECT_EQ(d.GetCaption(), "");
}

TEST(OleControl, MessagesSizesAndTheBorder) {
  HeadlessHost host;
  TestControl c;
  ASSERT_TRUE(host.Embed(c, 60, 40));
  EXPECT_EQ(c.sizes, std::vector<int>{60});  // no scroll bars: the framework added none
  c.SendMessage(platform::WM_SETTINGCHANGE);
  EXPECT_EQ(c.settingChanges, 1);
  EXPECT_EQ(c.SendMessage(0x1234), 0);  // not in any map: default processing
  // A handler's Default() hands on its own message, even after a nested one (here the WM_SIZE a
  // resize sends from inside the handler).
  c.onSettingChange = [&] {
    host.Window().SetSize(61, 40);
    c.Default();
  };
  host.defaultMessages.clear();
  c.SendMessage(platform::WM_SETTINGCHANGE);
  EXPECT_EQ(c.sizes.back(), 61);
  EXPECT_EQ(host.defaultMessages, std::vector<uint32_t>{platform::WM_SETTINGCHANGE});
  c.onSettingChange = nullptr;
  host.Window().SetSize(60, 40);

  // BorderStyle 1 takes a pixel off every side of the client area.
  EXPECT_EQ(Call(c, "BorderStyle", kPut, {Variant::I2(1)}).hr, S_OK);
  EXPECT_EQ(c.sizes.back(), 58);
  platform::RECT client;
  ASSERT_TRUE(c.GetWindow()->GetClientRect(&client));
  EXPECT_EQ(client.bottom, 38);

  // The container decides sizes.
  EXPECT_TRUE(c.SetControlSize(80, 50));
  EXPECT_EQ(c.GetWindow()->Size().cx, 80);
  int32_t w = 0, h = 0;
  c.GetControlSize(&w, &h);
  EXPECT_EQ(w, 80);
  host.allowResize = false;
  EXPECT_FALSE(c.SetControlSize(90, 50));
  EXPECT_EQ(c.GetWindow()->Size().cx, 80);
  ASSERT_EQ(host.sizeRequests.size(), 2u);
  EXPECT_FALSE(host.sizeRequests[1].granted);

  c.Close();
  EXPECT_EQ(c.GetWindow(), nullptr);
  EXPECT_FALSE(host.Window().Exists());

  // A window that goes first tells its control.
  TestControl d;
  {
    HeadlessHost shortLived;
    ASSERT_TRUE(shortLived.Embed(d, 10, 10));
  }
  EXPECT_EQ(d.GetWindow(), nullptr);
}

}  // namespace
}  // namespace pelmor::ole
