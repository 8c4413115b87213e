// The hyperlink over an item in memory (7-pixel cells): colour texts, the link range, the colours
// from the user's settings, painting, hover with cursor and capture, the click, the tooltip.
#include <gtest/gtest.h>

#include "control/dialog_fixtures.h"
#include "control/hyper_link.h"

#include <cstdlib>

#include "platform/registry_store.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

using namespace platform;

TEST(HyperLink, ColourTriples) {
  const struct {
    const char* text;
    std::optional<COLORREF> colour;
  } cases[] = {
      {"0,0,128", 0x00800000},
      {" 255, 0 ,0", std::nullopt},  // a space before a comma stops the scan
      {" 255, 0, 0 and more", 0x000000FF},
      {"+1,-1,256", 0x0000FF01},  // each number cut to its low byte
      {"1,2", std::nullopt},
      {"a,b,c", std::nullopt},
      {"", std::nullopt},
      {"99999999999999999999,0,0", 0x000000FF},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseColourTriple(c.text), c.colour) << c.text;
}

TEST(HyperLink, LinkRangeClamping) {
  const struct {
    int32_t start, end;
    size_t length, wantStart, wantEnd;
  } cases[] = {
      {5, -1, 11, 5, 11}, {20, -1, 11, 0, 11}, {11, 3, 11, 0, 3},
      {2, 40, 11, 2, 11}, {-3, 4, 11, 0, 4},   {6, 2, 11, 6, 6},
  };
  for (const auto& c : cases) {
    const LinkRange r = ClampLinkRange(c.start, c.end, c.length);
    EXPECT_EQ(r.start, c.wantStart) << c.start << "," << c.end;
    EXPECT_EQ(r.end, c.wantEnd) << c.start << "," << c.end;
  }
}

TEST(HyperLink, ColoursFromTheSettings) {
  MemoryUserSettings none;
  CHyperLink defaults(none);
  EXPECT_EQ(defaults.LinkColour(), 0x00FF0000u);
  EXPECT_EQ(defaults.HoverColour(), 0x000000FFu);
  EXPECT_FALSE(defaults.UseHoverColour());

  MemoryUserSettings s;
  const std::string key(kLinkColourKey);
  s.Set(key, "Anchor Color", "0,0,128");
  s.Set(key, "Use Anchor Hover Color", "YES");
  s.Set(key, "Anchor Color Hover", "0,128,0");
  CHyperLink link(s);
  EXPECT_EQ(link.LinkColour(), 0x00800000u);
  EXPECT_EQ(link.HoverColour(), 0x00008000u);
  EXPECT_TRUE(link.UseHoverColour());

  s.Set(key, "Anchor Color", "garbage");
  s.Set(key, "Anchor Color Hover", "1,2");  // unparsable: colour and switch stay
  link.ReadLinkColours();
  EXPECT_EQ(link.LinkColour(), 0x00800000u);
  EXPECT_TRUE(link.UseHoverColour());
  s.Set(key, "Use Anchor Hover Color", "no");
  link.ReadLinkColours();
  EXPECT_FALSE(link.UseHoverColour());
  s.Set(key, "Anchor Color", std::string(99, '1'));  // does not fit the reading buffer
  link.ReadLinkColours();
  EXPECT_EQ(link.LinkColour(), 0x00800000u);
}

// The store named by the environment for the test's length; the variable is put back after.
class ScopedRegistryStore {
 public:
  explicit ScopedRegistryStore(std::string path) : path_(std::move(path)) {
    if (const char* old = std::getenv(kRegistryPathVariable)) old_ = old;
    setenv(kRegistryPathVariable, path_.c_str(), 1);
  }
  ~ScopedRegistryStore() {
    old_ ? setenv(kRegistryPathVariable, old_->c_str(), 1) : unsetenv(kRegistryPathVariable);
  }
  void Write(const RegistryTree& tree) const {
    const std::string text = tree.Serialize();
    WriteFile(path_, Bytes(text.begin(), text.end()));
  }

 private:
  std::string path_;
  std::optional<std::string> old_;
};

TEST(HyperLink, ColoursFromTheRegistryStore) {
  TempDir dir;
  ScopedRegistryStore store(dir.File("registry"));
  {
    CHyperLink noStore(RegistryUserSettings());  // no file yet: the defaults
    EXPECT_EQ(noStore.LinkColour(), 0x00FF0000u);
    EXPECT_FALSE(noStore.UseHoverColour());
  }
  RegistryTree tree;
  const std::string key = "software\\microsoft\\internet explorer\\SETTINGS";  // any case
  tree.SetValue(RegistryRoot::kCurrentUser, key, "anchor color", "0,0,128");
  tree.SetValue(RegistryRoot::kCurrentUser, key, "Use Anchor Hover Color", "YES");
  tree.SetValue(RegistryRoot::kCurrentUser, key, "Anchor Color Hover", "255,0,0");
  tree.SetValue(RegistryRoot::kClassesRoot, kLinkColourKey, "Anchor Color", "1,2,3");  // elsewhere
  store.Write(tree);
  CHyperLink link(RegistryUserSettings());
  EXPECT_EQ(link.LinkColour(), 0x00800000u);
  EXPECT_EQ(link.HoverColour(), 0x000000FFu);
  EXPECT_TRUE(link.UseHoverColour());

  // A change made while the link lives is read at the next setting change.
  tree.SetValue(RegistryRoot::kCurrentUser, key, "Anchor Color", "0,128,0");
  tree.SetValue(RegistryRoot::kCurrentUser, key, "Use Anchor Hover Color", "no");
  store.Write(tree);
  link.OnSettingChange();
  EXPECT_EQ(link.LinkColour(), 0x00008000u);
  EXPECT_FALSE(link.UseHoverColour());

  // A damaged store reads as no key at all: the colours stay as they were.
  WriteFile(dir.File("registry"), Bytes{'x', '\n'});
  link.ReadLinkColours();
  EXPECT_EQ(link.LinkColour(), 0x00008000u);
  CHyperLink fresh(RegistryUserSettings());
  EXPECT_EQ(fresh.LinkColour(), 0x00FF0000u);
}

class HyperLinkItem : public ::testing::Test {
 protected:
  void Attach(const MemoryUserSettings& s, const char* text = "Send e-mail", int32_t start = 5) {
    link_.emplace(s);
    w_.text = text;
    w_.handler = &*link_;
    link_->Attach(w_);
    link_->SetUrl("mailto:a@b.c");
    link_->SetLinkRange(start, -1);
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const DrawnText& d : w_.drawn) t.push_back(d.text);
    return t;
  }
  FakeItemWindow w_;
  std::optional<CHyperLink> link_;
  static constexpr int32_t kTop = (20 - FakeItemWindow::kCellHeight) / 2;
};

TEST_F(HyperLinkItem, DrawsThePlainAndTheLinkPart) {
  MemoryUserSettings none;
  Attach(none);
  w_.Paint();
  ASSERT_EQ(Texts(), (std::vector<std::string>{"Send ", "e-mail"}));
  EXPECT_EQ(w_.drawn[1].x, 5 * 7);
  EXPECT_EQ(w_.drawn[1].y, kTop);
  EXPECT_EQ(w_.drawn[1].color, 0x00FF0000u);
  EXPECT_FALSE(w_.drawn[1].font.underline);

  link_->SetLinkRange(40, -1);  // beyond the text: all of it
  w_.Paint();
  EXPECT_EQ(Texts(), std::vector<std::string>{"Send e-mail"});

  w_.style = SS_RIGHT;
  RECT text, link;
  ASSERT_TRUE(link_->GetTextRects(text, &link));
  EXPECT_EQ(text.left, 200 - 11 * 7);
  w_.measurable = false;
  EXPECT_FALSE(link_->GetTextRects(text, &link));
  EXPECT_FALSE(link_->IsCursorOverLink());
}

TEST_F(HyperLinkItem, HoverUnderlinesHoldsTheCaptureAndChangesTheCursor) {
  for (const bool hoverValue : {true, false}) {
    MemoryUserSettings s;
    const std::string key(kLinkColourKey);
    s.Set(key, "Use Anchor Hover Color", "YES");
    if (hoverValue) s.Set(key, "Anchor Color Hover", "255,0,0");
    w_ = FakeItemWindow();
    Attach(s);

    w_.MoveTo(2 * 7, kTop + 1);  // over "Send ": nothing happens
    EXPECT_FALSE(link_->Hover());
    EXPECT_EQ(w_.cursorShown, IDC_ARROW);
    EXPECT_FALSE(w_.capture);
    link_->OnLButtonDown();
    EXPECT_TRUE(w_.opened.empty());

    w_.MoveTo(7 * 7, kTop + 1);  // over "e-mail"
    EXPECT_TRUE(link_->Hover());
    EXPECT_EQ(w_.cursorShown, IDC_HAND);
    EXPECT_TRUE(w_.capture);
    w_.Paint();
    ASSERT_EQ(w_.drawn.size(), 2u);
    EXPECT_TRUE(w_.drawn[1].font.underline);
    EXPECT_FALSE(w_.drawn[0].font.underline);
    EXPECT_EQ(w_.drawn[1].color, hoverValue ? 0x000000FFu : 0x00FF0000u);
    link_->OnLButtonDown();
    EXPECT_EQ(w_.opened, std::vector<std::string>{"mailto:a@b.c"});

    w_.MoveTo(7 * 7, 19);  // below the text, still in the item: leaves the link
    EXPECT_FALSE(link_->Hover());
    EXPECT_EQ(w_.cursorShown, IDC_ARROW);
    EXPECT_FALSE(w_.capture);
    w_.Paint();
    EXPECT_FALSE(w_.drawn[1].font.underline);
  }
}

TEST_F(HyperLinkItem, LosingTheCaptureEndsTheHover) {
  MemoryUserSettings none;
  Attach(none);
  w_.MoveTo(7 * 7, kTop + 1);
  ASSERT_TRUE(link_->Hover());
  w_.capture = false;
  link_->OnCaptureChanged(false);  // another window took it
  EXPECT_FALSE(link_->Hover());
  EXPECT_EQ(w_.cursorShown, IDC_ARROW);
}

TEST_F(HyperLinkItem, AnEmptyUrlIgnoresClicksAndTheTooltipCoversTheLink) {
  MemoryUserSettings none;
  Attach(none);
  ASSERT_TRUE(link_->EnableTooltip(nullptr));
  ASSERT_EQ(w_.tooltips.size(), 1u);
  const RECT r = w_.tooltips[0].first;
  EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
            std::make_tuple(35, kTop, 35 + 42, kTop + FakeItemWindow::kCellHeight));
  EXPECT_EQ(w_.tooltips[0].second, "mailto:a@b.c");
  link_->SetUrl(nullptr);
  w_.MoveTo(7 * 7, kTop + 1);
  link_->OnLButtonDown();
  EXPECT_TRUE(w_.opened.empty());
}

}  // namespace
}  // namespace pelmor::test
