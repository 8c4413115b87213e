#include "control/about_dlg.h"

#include <cmath>

#include "control/module_file.h"
#include "control/version_block.h"
#include "control/version_resource.h"

namespace pelmor {

using namespace platform;

namespace {

constexpr uint32_t kLinkStyle = SS_NOTIFY;

// Template 1.
constexpr DialogItem kAboutItems[] = {
    {kNoItemId, DialogItemKind::kIcon, "1", 10, 10, 20, 20, 0},
    {IDOK, DialogItemKind::kDefaultButton, "OK", 211, 7, 32, 14, WS_TABSTOP | WS_GROUP},
    {IDC_ABOUT_NAME, DialogItemKind::kText, "Name", 40, 7, 164, 8, SS_LEFT},
    {IDC_ABOUT_VERSION, DialogItemKind::kText, "Version", 40, 19, 166, 8, SS_LEFT},
    {IDC_ABOUT_COPYRIGHT, DialogItemKind::kText, "CopyRight", 40, 30, 203, 28, SS_LEFT},
    {kNoItemId, DialogItemKind::kFrame, "", 7, 69, 236, 1, SS_SUNKEN},
    {IDC_ABOUT_WEB, DialogItemKind::kText, "Visit Pelmor homepage", 40, 73, 203, 8, kLinkStyle},
    {IDC_ABOUT_MAIL, DialogItemKind::kText, "Send e-mail", 40, 86, 203, 8, kLinkStyle},
};

constexpr DialogTemplate kAboutTemplate{"About Pelmor Control", "MS Sans Serif", 8, 34, 22, 250, 108,
                                        DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                        kAboutItems};

Surface DrawModuleIcon() {
  Surface icon = Surface::Create(32, 32);
  if (!icon) return icon;
  for (int32_t y = 0; y < 32; ++y) {
    for (int32_t x = 0; x < 32; ++x) {
      uint32_t p;
      if (x < 2 || y < 2 || x >= 30 || y >= 30) {
        p = 0x3C3C46;  // frame
      } else {
        // A sky growing lighter downwards, a sun and a hill.
        const int32_t sky = 0x50 + y * 4;
        p = static_cast<uint32_t>(sky / 2) << 16 | static_cast<uint32_t>(sky) << 8 | 0xF0;
        const int32_t dx = x - 21, dy = y - 10;
        if (dx * dx + dy * dy <= 16) p = 0xFFD23C;
        const double hill = 21 + 4 * std::sin((x + 3) * 0.2);
        if (y >= hill) p = 0x3C9646 + static_cast<uint32_t>((y - 20) * 2) * 0x10000;
      }
      icon.SetPixel(x, y, p);
    }
  }
  return icon;
}

}  // namespace

AboutTexts AboutTextsFromBlock(std::span<const uint8_t> block) {
  AboutTexts texts;
  const std::optional<Translation> t = FirstTranslation(block);
  if (!t) return texts;
  const std::string prefix = "\\StringFileInfo\\" + TranslationKey(t->language, t->codePage) + "\\";
  auto text = [&](const char* name) { return QueryVersionText(block, prefix + name).value_or(""); };
  texts.description = text("FileDescription");
  const std::string fileVersion = text("FileVersion");
  if (!fileVersion.empty()) texts.version = "Version " + fileVersion;
  texts.copyright = text("LegalCopyright");
  return texts;
}

CAboutDlg::CAboutDlg(const UserSettings& settings)
    : CAboutDlg(ReadModuleVersionBlock(ModuleVersionAnchor()), settings) {}

CAboutDlg::CAboutDlg(const std::optional<std::vector<uint8_t>>& versionBlock,
                     const UserSettings& settings)
    : webLink(settings),
      mailLink(settings),
      webPage_(ModuleHomePage()),
      mailAddress_(ModuleContactMail()) {
  if (!versionBlock) return;
  AboutTexts texts = AboutTextsFromBlock(*versionBlock);
  description = std::move(texts.description);
  version = std::move(texts.version);
  copyright = std::move(texts.copyright);
}

const DialogTemplate& CAboutDlg::Template() { return kAboutTemplate; }

bool CAboutDlg::OnInitDialog(DialogWindow& dialog) {
  // The links take over their items first, then the three texts replace the template's.
  dialog.SubclassItem(IDC_ABOUT_WEB, webLink);
  dialog.SubclassItem(IDC_ABOUT_MAIL, mailLink);
  dialog.SetItemText(IDC_ABOUT_NAME, description);
  dialog.SetItemText(IDC_ABOUT_COPYRIGHT, copyright);
  dialog.SetItemText(IDC_ABOUT_VERSION, version);

  webLink.SetUrl(webPage_.c_str());
  webLink.SetLinkRange(6, -1);  // "Visit " stays plain
  webLink.EnableTooltip(nullptr);

  mailLink.SetUrl(("mailto:" + mailAddress_ + "?subject=Pelmor").c_str());
  mailLink.SetLinkRange(5, -1);  // "Send " stays plain
  mailLink.EnableTooltip(mailAddress_.c_str());
  return true;
}

const Surface* CAboutDlg::Icon(std::string_view name) { return name == "1" ? &ModuleIcon() : nullptr; }

const Surface& ModuleIcon() {
  static const Surface icon = DrawModuleIcon();
  return icon;
}

}  // namespace pelmor
