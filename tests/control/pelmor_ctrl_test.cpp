// The two controls through their dispatch interfaces: a new control, opening files (names of any
// bytes included), the slide show switch, frames and pages, saving, the read-only properties, the
// BackColor re-decode, the palette methods, the layout's size requests and wrong calls.
#include <gtest/gtest.h>

#include <filesystem>

#include "control/control_fixtures.h"
#include "control/pelmor2_ctrl.h"
#include "control/pelmor_ids.h"

namespace pelmor::test {
namespace {

using namespace ole;
namespace fs = std::filesystem;

class ControlTest : public ::testing::Test {
 protected:
  void Make(int generation, int32_t w = 200, int32_t h = 100) {
    ASSERT_TRUE(c_.Create(generation, w, h));
  }
  CPelmorCtrl& Ctl() { return c_.Control(); }
  ControlHarness c_;
  TempDir dir_;
};

TEST_F(ControlTest, ANewControlOfEachGeneration) {
  for (int generation : {1, 2}) {
    Make(generation);
    EXPECT_EQ(c_.GetText("FileName"), "");
    EXPECT_FALSE(c_.Call("IsOpen").value.GetBool());
    EXPECT_TRUE(c_.GetBool("StretchImage"));
    EXPECT_TRUE(c_.GetBool("SlideShow"));
    EXPECT_EQ(c_.GetNumber("HAlignment"), 0);
    EXPECT_EQ(Ctl().createdWidth, 200);
    EXPECT_EQ(Ctl().createdHeight, 100);
    EXPECT_EQ(Ctl().wheelLines, 3);
    EXPECT_EQ(Ctl().GetMiscStatus(), 0x20191u);
    EXPECT_STREQ(LoadModuleString(Ctl().GetUserTypeNameID()),
                 generation == 1 ? "Pelmor Control" : "Pelmor2 Control");
    EXPECT_EQ(Ctl().GetPropPageIDs().size(), 3u);
    EXPECT_EQ(Ctl().GetPropPageIDs()[0], generation == 1 ? CLSID_PelmorPropPage : CLSID_Pelmor2PropPage);
    EXPECT_EQ(GuidToString(Ctl().GetClassID()),
              generation == 1 ? "{5C13B0E6-7A41-11D3-9F2E-0040C7A91B35}"
                              : "{D7F3A25C-1E84-4B6A-A0C3-6E1B9D24F871}");
    EXPECT_EQ(*Ctl().GetDispatchIID(), generation == 1 ? DIID_DPelmor : DIID_DPelmor2);
  }
  EXPECT_EQ(c_.GetNumber("NImages"), 0);
  EXPECT_EQ(c_.GetNumber("CurrentImage"), 4294967295);  // the document's initial -1
  EXPECT_FALSE(c_.GetBool("Scrolling"));
  EXPECT_FLOAT_EQ(c_.Get("CompressionRatio").value.GetR4(), 0.9f);
  Make(1);
  EXPECT_EQ(c_.Get("Scrolling").hr, DISP_E_UNKNOWNNAME);  // only the second control scrolls
}

TEST_F(ControlTest, OpeningKeepsThePathWhateverHappens) {
  Make(2);
  const std::string missing = dir_.File("missing.gif");
  c_.Control().SetModifiedFlag(false);
  EXPECT_EQ(c_.PutText("FileName", missing).hr, S_OK);
  EXPECT_EQ(c_.GetText("FileName"), missing);
  EXPECT_FALSE(c_.Call("IsOpen").value.GetBool());
  EXPECT_EQ(c_.GetNumber("ImageWidth"), 0);
  EXPECT_EQ(c_.GetNumber("ImageHeight"), 0);
  EXPECT_TRUE(Ctl().IsModified());

  Ctl().SetModifiedFlag(false);
  const InvokeResult opened = c_.Call("OpenImage", {Variant::Text(missing), Variant::I4(0)});
  EXPECT_TRUE(opened.value.GetBool());  // true even when nothing opens
  EXPECT_FALSE(Ctl().IsModified());

  EXPECT_TRUE(c_.Call("OpenImage", {Variant::Text(SamplePath("pages-mixed.tif")), Variant::I4(2)})
                  .value.GetBool());
  EXPECT_TRUE(c_.Call("IsOpen").value.GetBool());
  EXPECT_EQ(c_.GetNumber("CurrentImage"), 2);
  EXPECT_EQ(c_.GetNumber("NImages"), 5);
  EXPECT_FALSE(Ctl().IsModified());
}

TEST_F(ControlTest, FileNamesOfAnyBytesRoundTrip) {
  Make(2);
  const Bytes image = ReadFile(SamplePath("rose-24bit.bmp"));
  // A Latin-1 name, which is not UTF-8: it reaches a script as U+DCE9 and comes back as the byte.
  const std::string latin1 = dir_.File("caf\xE9.bmp");
  WriteFile(latin1, image);
  // A path of 300 characters, through folders (a single name may have at most 255 bytes).
  fs::path deep = dir_.Path();
  while (deep.string().size() < 240) deep /= std::string(50, 'd');
  fs::create_directories(deep);
  const std::string name(299 - deep.string().size() - 4, 'n');
  const std::string long300 = (deep / (name + ".bmp")).string();
  ASSERT_EQ(long300.size(), 300u);
  WriteFile(long300, image);

  for (const std::string& path : {latin1, long300, std::string()}) {
    ASSERT_EQ(c_.PutText("FileName", path).hr, S_OK);
    const InvokeResult back = c_.Get("FileName");
    EXPECT_EQ(back.value.GetBstr(), Variant::Text(path).GetBstr());
    EXPECT_EQ(c_.GetText("FileName"), path);
    EXPECT_EQ(Ctl().filePath, path);
    EXPECT_EQ(c_.Call("IsOpen").value.GetBool() != 0, !path.empty()) << path;
  }
  EXPECT_EQ(c_.Get("FileName").value.GetBstr(), u"");
  c_.PutText("FileName", latin1);
  EXPECT_EQ(c_.Get("FileName").value.GetBstr().substr(c_.Get("FileName").value.GetBstr().size() - 8),
            u"caf\xDCE9.bmp");
}

TEST_F(ControlTest, SlideShowComparesTruthValues) {
  Make(1);
  auto quiet = [&](Variant v) {
    Ctl().SetModifiedFlag(false);
    c_.Host().invalidations.clear();
    c_.Put("SlideShow", v);
    return !Ctl().IsModified() && c_.Host().invalidations.empty();
  };
  EXPECT_EQ(Ctl().slideShow, 1);
  EXPECT_TRUE(quiet(Variant::Bool(true)));  // -1 and 1 are both true: nothing at all
  EXPECT_EQ(Ctl().slideShow, 1);
  EXPECT_FALSE(quiet(Variant::I4(0)));
  EXPECT_EQ(Ctl().slideShow, 0);
  EXPECT_TRUE(quiet(Variant::Bool(false)));
  EXPECT_FALSE(quiet(Variant::I4(5)));
  EXPECT_EQ(Ctl().slideShow, -1);  // a new true value is stored as the script gave it (VARIANT_TRUE)
}

TEST_F(ControlTest, FramesPagesAndAnimationSupport) {
  Make(2);
  struct Case {
    const char* sample;
    bool slideShow;
    bool supports;
  };
  for (const Case& c : {Case{"pages-mixed.tif", true, false}, Case{"rose-interlaced.gif", true, false},
                        Case{"anim-disposal.gif", false, true}, Case{"anim-disposal.gif", true, true}}) {
    c_.Put("SlideShow", Variant::Bool(c.slideShow));
    c_.PutText("FileName", SamplePath(c.sample));
    EXPECT_EQ(c_.GetBool("SupportsAnimation"), c.supports) << c.sample;
  }
  c_.Put("SlideShow", Variant::Bool(false));
  EXPECT_EQ(c_.GetNumber("DelayTime"), 200);
  Ctl().SetModifiedFlag(false);
  EXPECT_TRUE(c_.Call("ShowImageN", {Variant::I4(2)}).value.GetBool());
  EXPECT_EQ(c_.GetNumber("CurrentImage"), 2);
  EXPECT_FALSE(c_.Call("ShowImageN", {Variant::I4(4)}).value.GetBool());  // no such frame
  EXPECT_EQ(c_.GetNumber("CurrentImage"), 2);                              // kept
  EXPECT_EQ(c_.Put("CurrentImage", Variant::I4(1)).hr, S_OK);
  EXPECT_EQ(c_.GetNumber("CurrentImage"), 1);
  EXPECT_FALSE(Ctl().IsModified());

  // While a worker plays the frames, neither moves them.
  {
    std::lock_guard<std::mutex> hold(Ctl().lock);
    Ctl().animating = true;
  }
  EXPECT_FALSE(c_.Call("ShowImageN", {Variant::I4(3)}).value.GetBool());
  c_.Put("CurrentImage", Variant::I4(3));
  {
    std::lock_guard<std::mutex> hold(Ctl().lock);
    Ctl().animating = false;
  }
  EXPECT_EQ(c_.GetNumber("CurrentImage"), 1);
}

TEST_F(ControlTest, SavingAndTheCompressionRatio) {
  Make(2);
  const std::string out = dir_.File("out.bmp");
  EXPECT_FALSE(c_.Call("Save", {Variant::Text(out)}).value.GetBool());  // nothing open
  c_.PutText("FileName", SamplePath("rose-titled.png"));
  EXPECT_EQ(c_.GetText("DocumentName"), "Rose");
  EXPECT_EQ(c_.GetText("ImageCopyright"), "Public domain, made with ImageMagick's built-in rose");
  EXPECT_EQ(c_.GetText("ImageDescription"), "");
  EXPECT_EQ(c_.GetText("Software"), "");
  Ctl().SetModifiedFlag(false);
  EXPECT_TRUE(c_.Call("Save", {Variant::Text(out)}).value.GetBool());
  EXPECT_FALSE(c_.Call("Save", {Variant::Text(dir_.File("out.png"))}).value.GetBool());
  EXPECT_FALSE(Ctl().IsModified());
  EXPECT_EQ(c_.GetText("FileName"), SamplePath("rose-titled.png"));
  CImageDoc saved;
  ASSERT_TRUE(saved.Open(out.c_str(), 0));
  EXPECT_EQ(saved.width, 70);

  EXPECT_EQ(c_.Put("CompressionRatio", Variant::R8(0.25)).hr, S_OK);
  EXPECT_FLOAT_EQ(c_.Get("CompressionRatio").value.GetR4(), 0.25f);
  EXPECT_TRUE(Ctl().IsModified());
  EXPECT_EQ(c_.Put("HAlignment", Variant::I4(7)).hr, S_OK);  // no setter validates
  EXPECT_EQ(c_.GetNumber("HAlignment"), 7);
}

TEST_F(ControlTest, ReadOnlyPropertiesRefuseAndKeepTheirValue) {
  Make(2);
  c_.PutText("FileName", SamplePath("anim-disposal.gif"));
  for (const char* name : {"ImageWidth", "ImageHeight", "NImages", "DelayTime", "DocumentName",
                           "ImageDescription", "ImageCopyright", "Software", "SupportsAnimation"}) {
    const InvokeResult before = c_.Get(name);
    const InvokeResult r = c_.Put(name, Variant::I4(5));
    EXPECT_EQ(r.hr, DISP_E_EXCEPTION) << name;
    EXPECT_EQ(r.Effective(), static_cast<HRESULT>(0x800A017F)) << name;
    Variant a, b;
    ASSERT_EQ(ChangeType(before.value, VT_BSTR, a), S_OK);
    ASSERT_EQ(ChangeType(c_.Get(name).value, VT_BSTR, b), S_OK);
    EXPECT_EQ(a.GetBstr(), b.GetBstr()) << name;
  }
}

TEST_F(ControlTest, BackColorDecodesTheCurrentFrameAgainOnlyInTheSecondControl) {
  for (int generation : {1, 2}) {
    Make(generation);
    c_.Put("SlideShow", Variant::Bool(false));
    c_.PutText("FileName", SamplePath("anim-disposal.gif"));
    if (generation == 2) c_.Call("ShowImageN", {Variant::I4(2)});
    c_.Host().invalidations.clear();
    ASSERT_EQ(c_.Put("BackColor", Variant::UI4(0x0000FF)).hr, S_OK);
    if (generation == 1) {
      EXPECT_EQ(Ctl().doc.backColor, 0xFFFFFFu);  // until the next paint
      c_.Paint();
      EXPECT_EQ(Ctl().doc.backColor, 0x0000FFu);
    } else {
      EXPECT_EQ(Ctl().doc.backColor, 0x0000FFu);
      EXPECT_EQ(c_.GetNumber("CurrentImage"), 2);
      ASSERT_GE(c_.Host().invalidations.size(), 2u);
      EXPECT_TRUE(c_.Host().invalidations.front().erase);
      EXPECT_FALSE(c_.Host().invalidations.back().erase);
    }
    EXPECT_EQ(c_.Put("BackColor", Variant::UI4(0x81000000)).Effective(), CTL_E_INVALIDPROPERTYVALUE);
  }
}

TEST_F(ControlTest, PaletteMethods) {
  for (int generation : {1, 2}) {
    Make(generation);
    c_.Host().invalidations.clear();
    const auto own = static_cast<int32_t>(Ctl().GetHwnd());
    c_.Call("OnPaletteChanged", {Variant::I4(own)});
    EXPECT_TRUE(c_.Host().invalidations.empty());
    c_.Call("OnPaletteChanged", {Variant::I4(own + 1)});
    const bool realised = c_.Call("OnQueryNewPalette").value.GetBool();
    if (generation == 1) {
      EXPECT_TRUE(realised);
      ASSERT_EQ(c_.Host().invalidations.size(), 2u);
      EXPECT_TRUE(c_.Host().invalidations[0].erase && c_.Host().invalidations[1].erase);
    } else {
      EXPECT_FALSE(realised);  // default processing answers 0 here
      EXPECT_TRUE(c_.Host().invalidations.empty());
    }
  }
}

TEST_F(ControlTest, LayoutAsksForTheImageSizeOrTheCreatedOne) {
  Make(2, 320, 240);
  c_.Put("StretchImage", Variant::Bool(false));
  c_.PutText("FileName", SolidBmp(dir_, "big.bmp", 640, 480, 0x336699));
  ASSERT_FALSE(c_.Host().sizeRequests.empty());
  EXPECT_EQ(c_.Host().sizeRequests.back().width, 640);
  EXPECT_EQ(c_.Host().sizeRequests.back().height, 480);
  EXPECT_EQ(Ctl().GetWindow()->Size().cx, 640);
  c_.Put("StretchImage", Variant::Bool(true));
  EXPECT_EQ(c_.Host().sizeRequests.back().width, 320);
  EXPECT_EQ(c_.Host().sizeRequests.back().height, 240);
  // A container that refuses leaves the window as it is; painting fits the image into it.
  c_.Host().allowResize = false;
  c_.Put("StretchImage", Variant::Bool(false));
  EXPECT_FALSE(c_.Host().sizeRequests.back().granted);
  EXPECT_EQ(Ctl().GetWindow()->Size().cx, 320);
}

TEST_F(ControlTest, FrameworkHooksAndClosing) {
  Make(2);
  EXPECT_EQ(c_.Call("AboutBox").hr, S_OK);
  EXPECT_EQ(c_.Host().dialogs, std::vector<std::string>{"About Pelmor Control"});
  EXPECT_TRUE(Ctl().OnProperties());
  const std::vector<std::vector<std::string>> frames{
      {"Pelmor2 Control Properties", "General", "Font", "Colour"}};
  EXPECT_EQ(c_.Host().propertyFrames, frames);
  c_.Host().wheelScrollLines = -1;
  Ctl().SendMessage(platform::WM_SETTINGCHANGE);
  EXPECT_EQ(Ctl().wheelLines, -1);
  Ctl().Close();
  EXPECT_EQ(Ctl().GetWindow(), nullptr);
  // Without a window the control still answers, and paints nothing.
  c_.PutText("FileName", SamplePath("rose.jpg"));
  EXPECT_TRUE(c_.Call("IsOpen").value.GetBool());
  EXPECT_EQ(Ctl().ScrollPos(platform::SB_HORZ), 0);
}

// Every member, with every kind of access and argument lists of the wrong length and type, never
// brings the control down and answers with one of the codes a host expects.
TEST_F(ControlTest, WrongCallsAreAnsweredNotCrashedOn) {
  const std::vector<Variant> values = {Variant(), Variant::I2(-1), Variant::I4(1 << 30),
                                       Variant::R8(1e300), Variant::Bool(true), Variant::Bstr(u"x"),
                                       Variant::Dispatch(nullptr), Variant::Missing()};
  const HRESULT allowed[] = {S_OK, DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH,
                             DISP_E_OVERFLOW, DISP_E_PARAMNOTOPTIONAL, DISP_E_EXCEPTION};
  for (int generation : {1, 2}) {
    Make(generation);
    for (const DispEntry& e : Ctl().GetDispatchTable().Entries()) {
      if (e.id == 1 || e.id == 22) continue;  // opening names made of "x" is covered elsewhere
      for (uint16_t flags = 0; flags < 16; ++flags) {
        for (size_t count = 0; count <= 3; ++count) {
          for (const Variant& v : values) {
            const std::vector<Variant> args(count, v);
            const HRESULT hr = Ctl().Invoke(e.id, flags, args, nullptr);
            EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), hr), std::end(allowed))
                << e.name << " flags " << flags << " hr " << std::hex << hr;
          }
        }
      }
    }
    EXPECT_EQ(Ctl().Invoke(12345, DISPATCH_PROPERTYGET, {}, nullptr), DISP_E_MEMBERNOTFOUND);
  }
}

}  // namespace
}  // namespace pelmor::test
