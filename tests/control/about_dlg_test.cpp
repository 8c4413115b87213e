// The About box: its lines from version blocks (the module's own, read back from its file, and
// blocks lacking values), damaged module files, and what the dialog shows and links to.
#include <gtest/gtest.h>

#include <fstream>

#include "control/about_dlg.h"
#include "control/dialog_fixtures.h"
#include "control/module_file.h"
#include "control/version_block.h"
#include "control/version_resource.h"
#include "test_support.h"

namespace pelmor::test {
namespace {

using namespace platform;

std::vector<uint8_t> Block(std::span<const VersionText> texts, bool translation = true) {
  VersionBlockContents contents;
  contents.texts = texts;
  std::vector<uint8_t> block = BuildVersionBlock(contents);
  if (!translation) {
    // Rename the table's key so that no translation is found.
    const std::string key = "Translation";
    auto at = std::search(block.begin(), block.end(), key.begin(), key.end());
    if (at != block.end()) *at = 'X';
  }
  return block;
}

TEST(AboutBox, LinesFromVersionBlocks) {
  constexpr VersionText full[] = {{"FileDescription", "Viewer"},
                                  {"FileVersion", "1.2.3.4"},
                                  {"LegalCopyright", "(c) us"}};
  AboutTexts t = AboutTextsFromBlock(Block(full));
  EXPECT_EQ(t.description, "Viewer");
  EXPECT_EQ(t.version, "Version 1.2.3.4");
  EXPECT_EQ(t.copyright, "(c) us");

  constexpr VersionText partial[] = {{"FileDescription", "Viewer"}, {"FileVersion", ""}};
  t = AboutTextsFromBlock(Block(partial));
  EXPECT_EQ(t.description, "Viewer");
  EXPECT_EQ(t.version, "");  // an empty value gives no line, not "Version "
  EXPECT_EQ(t.copyright, "");

  t = AboutTextsFromBlock(Block(full, false));
  EXPECT_EQ(t.description, "");
  std::vector<uint8_t> cut = Block(full);
  for (size_t n = 0; n < cut.size(); n += 7) {
    const AboutTexts partialBlock = AboutTextsFromBlock(std::span(cut).first(n));
    EXPECT_EQ(partialBlock.version, "") << n;  // no reading past a block cut short
  }
}

TEST(AboutBox, TheModulesOwnBlockIsReadBackFromItsFile) {
  const auto block = ReadModuleVersionBlock(ModuleVersionAnchor());
  ASSERT_TRUE(block.has_value());
  const AboutTexts t = AboutTextsFromBlock(*block);
  EXPECT_EQ(t.description, "Pelmor image viewer control module");
  EXPECT_EQ(t.version.rfind("Version 0.", 0), 0u) << t.version;
  EXPECT_FALSE(t.copyright.empty());

  // Damaged copies of the file give nothing rather than a crash.
  const auto path = ModuleFileName(ModuleVersionAnchor());
  ASSERT_TRUE(path.has_value());
  std::ifstream in(*path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TempDir dir;
  auto write = [&](const std::vector<char>& b) {
    const std::string p = dir.File("copy");
    std::ofstream(p, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
    return p;
  };
  EXPECT_TRUE(ReadElfSection(write(bytes), kVersionSectionName, kMaxVersionBlockSize).has_value());
  EXPECT_FALSE(ReadElfSection(write(bytes), kVersionSectionName, 8).has_value());  // too large
  EXPECT_FALSE(ReadElfSection(write(bytes), ".no_such_section", 1 << 20).has_value());
  std::vector<char> header(bytes.begin(), bytes.begin() + 64);
  EXPECT_FALSE(ReadElfSection(write(header), kVersionSectionName, 1 << 20).has_value());
  std::vector<char> badTable = bytes;
  for (int i = 0; i < 8; ++i) badTable[0x28 + i] = '\xFF';  // section table far past the end
  EXPECT_FALSE(ReadElfSection(write(badTable), kVersionSectionName, 1 << 20).has_value());
  EXPECT_FALSE(ReadElfSection(dir.File("missing"), kVersionSectionName, 1 << 20).has_value());
}

TEST(AboutBox, TheDialogShowsTheLinesAndTheLinks) {
  constexpr VersionText texts[] = {{"FileDescription", "Viewer"}, {"FileVersion", "2.0"}};
  MemoryUserSettings settings;
  CAboutDlg about(Block(texts), settings);
  about.SetAddresses("https://example.org/p", "p@example.org");
  FakeDialog d(CAboutDlg::Template(), about);
  EXPECT_EQ(d.At(206).text, "Viewer");
  EXPECT_EQ(d.At(207).text, "Version 2.0");
  EXPECT_EQ(d.At(208).text, "");  // not the template's "CopyRight"
  EXPECT_EQ(about.webLink.Url(), "https://example.org/p");
  EXPECT_EQ(about.mailLink.Url(), "mailto:p@example.org?subject=Pelmor");
  ASSERT_EQ(d.ItemWindowOf(210).tooltips.size(), 1u);
  EXPECT_EQ(d.ItemWindowOf(210).tooltips[0].second, "https://example.org/p");
  EXPECT_EQ(d.ItemWindowOf(211).tooltips[0].second, "p@example.org");
  EXPECT_EQ(d.ItemWindowOf(211).tooltips[0].first.left, 5 * FakeItemWindow::kCellWidth);
  d.ItemWindowOf(210).Paint();
  ASSERT_EQ(d.ItemWindowOf(210).drawn.size(), 2u);
  EXPECT_EQ(d.ItemWindowOf(210).drawn[1].text, "Pelmor homepage");
}

}  // namespace
}  // namespace pelmor::test
