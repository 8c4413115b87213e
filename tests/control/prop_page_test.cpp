// The controls' property pages in a dialog in memory over real controls: what showing puts in the
// items, what applying writes (only what the user changed, to every control, through the setters),
// browsing, the template's items and their positions in pixels.
#include <gtest/gtest.h>

#include <tuple>

#include "control/control_fixtures.h"
#include "control/dialog_fixtures.h"
#include "control/pelmor_prop_page.h"

namespace pelmor::test {
namespace {

using namespace platform;

class PropPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first_.Create(2, 120, 80));
    ASSERT_TRUE(second_.Create(2, 120, 80));
  }
  // A page of the second control editing both controls, shown in a dialog.
  void Show() {
    page_.SetObjects({&first_.Control(), &second_.Control()});
    dialog_.emplace(page_.Template(), page_);
  }
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& w : page_.LastApply()) names.push_back(w.property + "@" + std::to_string(w.object));
    return names;
  }

  TempDir dir_;
  ControlHarness first_, second_;
  CPelmor2PropPage page_;
  std::optional<FakeDialog> dialog_;
};

TEST_F(PropPageTest, ShowsTheFirstControlsValues) {
  const std::string path = SolidBmp(dir_, "a.bmp", 4, 3, 0x112233);
  first_.PutText("FileName", path);
  first_.Put("HAlignment", ole::Variant::I4(2));
  first_.Put("VAlignment", ole::Variant::I4(0));
  first_.Put("StretchImage", ole::Variant::Bool(false));
  first_.Put("Scrolling", ole::Variant::Bool(true));
  Show();
  FakeDialog& d = *dialog_;
  EXPECT_EQ(d.At(IDC_FILENAME).text, path);
  EXPECT_EQ(d.At(IDC_HALIGN).entries.at(d.At(IDC_HALIGN).selection), "2 - Right");
  EXPECT_EQ(d.At(IDC_VALIGN).entries.at(d.At(IDC_VALIGN).selection), "0 - Top");
  EXPECT_EQ(d.At(IDC_STRETCH).check, 0);
  EXPECT_EQ(d.At(IDC_SLIDESHOW).check, 1);
  EXPECT_EQ(d.At(IDC_SCROLLING).check, 1);
  EXPECT_FALSE(page_.IsDirty());  // showing is not a change
  EXPECT_EQ(page_.hAlignIndex, 2);
}

TEST_F(PropPageTest, ApplyingWritesOnlyWhatTheUserChangedToEveryControl) {
  Show();
  EXPECT_TRUE(page_.Apply());
  EXPECT_TRUE(Written().empty());  // nothing touched: FileName is not assigned again

  dialog_->Click(IDC_SLIDESHOW);  // ticked off
  EXPECT_TRUE(page_.IsDirty());
  EXPECT_TRUE(page_.Apply());
  EXPECT_EQ(Written(), (std::vector<std::string>{"SlideShow@0", "SlideShow@1"}));
  EXPECT_FALSE(first_.GetBool("SlideShow"));
  EXPECT_FALSE(second_.GetBool("SlideShow"));
  EXPECT_FALSE(page_.IsDirty());

  dialog_->Pick(IDC_VALIGN, 2);
  dialog_->Click(IDC_SCROLLING);
  EXPECT_TRUE(page_.Apply());
  EXPECT_EQ(Written(), (std::vector<std::string>{"VAlignment@0", "VAlignment@1", "Scrolling@0",
                                                 "Scrolling@1"}));
  EXPECT_EQ(second_.GetNumber("VAlignment"), 2);
  EXPECT_TRUE(second_.GetBool("Scrolling"));
}

TEST_F(PropPageTest, AnAlignmentOutOfRangeShowsNoSelectionAndStaysUnwritten) {
  first_.Control().hAlignment = 7;  // only a stored state can hold this
  Show();
  EXPECT_EQ(dialog_->At(IDC_HALIGN).selection, -1);
  dialog_->Click(IDC_STRETCH);
  page_.Apply();
  EXPECT_EQ(Written(), (std::vector<std::string>{"StretchImage@0", "StretchImage@1"}));
}

TEST_F(PropPageTest, BrowsingFillsTheNameAndApplyingOpensIt) {
  const std::string path = SolidBmp(dir_, "b.bmp", 5, 2, 0x445566);
  Show();
  dialog_->Type(IDC_FILENAME, std::string(300, 'x'));
  dialog_->openAnswer.reset();  // cancelled: nothing changes
  dialog_->Click(IDC_BROWSE);
  ASSERT_EQ(dialog_->openRequests.size(), 1u);
  const OpenFileRequest& request = dialog_->openRequests[0];
  EXPECT_EQ(request.initialName, std::string(260, 'x'));
  EXPECT_EQ(request.flags, OFN_HIDEREADONLY | OFN_PATHMUSTEXIST);
  ASSERT_EQ(request.filters.size(), 6u);
  EXPECT_EQ(request.filters[0].second, "*.bmp;*.jpg;*.jpeg;*.gif;*.tif;*.png");
  EXPECT_EQ(dialog_->At(IDC_FILENAME).text, std::string(300, 'x'));
  // The cut falls before a character that would not fit whole.
  dialog_->Type(IDC_FILENAME, std::string(259, 'x') + "\xC3\xA9");
  dialog_->Click(IDC_BROWSE);
  EXPECT_EQ(dialog_->openRequests.back().initialName, std::string(259, 'x'));

  dialog_->openAnswer = path;
  dialog_->Click(IDC_BROWSE);
  EXPECT_EQ(dialog_->At(IDC_FILENAME).text, path);
  page_.Apply();
  EXPECT_EQ(first_.GetText("FileName"), path);
  EXPECT_TRUE(second_.Call("IsOpen").value.GetBool());
  EXPECT_EQ(second_.GetNumber("ImageWidth"), 5);
}

TEST(PropPageTemplates, ItemsOrderAndPixels) {
  const DialogTemplate& first = PelmorPageTemplate();
  const DialogTemplate& second = Pelmor2PageTemplate();
  EXPECT_EQ(first.Find(IDC_SCROLLING), nullptr);
  ASSERT_NE(second.Find(IDC_SCROLLING), nullptr);
  EXPECT_EQ(std::tie(second.Find(IDC_SCROLLING)->x, second.Find(IDC_SCROLLING)->y),
            std::make_tuple(int16_t{140}, int16_t{56}));
  std::vector<int32_t> order;
  for (const DialogItem& item : second.items) order.push_back(item.id);
  EXPECT_EQ(order, (std::vector<int32_t>{-1, 201, 202, -1, 203, -1, 204, 205, 209, 212}));

  // Base units from a font whose letters measure 312 pixels and whose cells are 13 high.
  const DialogBaseUnits units = BaseUnitsFromFont(312, 13);
  EXPECT_EQ(units.cx, 6);
  EXPECT_EQ(units.cy, 13);
  const struct {
    int32_t id;
    RECT pixels;
  } cases[] = {
      {IDC_FILENAME, {11, 29, 332, 52}},   // 7,18 214x14
      {IDC_BROWSE, {341, 29, 365, 52}},    // 227,18 16x14
      {IDC_VALIGN, {290, 59, 363, 140}},   // 193,36 49x50
      {IDC_SCROLLING, {210, 91, 273, 107}},  // 140,56 42x10
  };
  for (const auto& c : cases) {
    const RECT r = MapDialogRect(*second.Find(c.id), units);
    EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
              std::tie(c.pixels.left, c.pixels.top, c.pixels.right, c.pixels.bottom))
        << c.id;
  }
}

}  // namespace
}  // namespace pelmor::test
