#include "control/pelmor_prop_page.h"

#include "platform/text_encoding.h"

namespace pelmor {

using namespace platform;

namespace {

constexpr const char* kHorizontal[] = {"0 - Left", "1 - Center", "2 - Right"};
constexpr const char* kVertical[] = {"0 - Top", "1 - Center", "2 - Bottom"};

constexpr uint32_t kEditStyle = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr uint32_t kComboStyle = WS_VSCROLL | WS_TABSTOP;
constexpr uint32_t kPageStyle = WS_CHILD;

// Template 200: the first control's page.
constexpr DialogItem kFirstItems[] = {
    {kNoItemId, DialogItemKind::kText, "File with image :", 7, 7, 51, 8, SS_LEFT},
    {IDC_FILENAME, DialogItemKind::kEdit, "", 7, 18, 214, 14, kEditStyle},
    {IDC_BROWSE, DialogItemKind::kButton, "...", 227, 18, 16, 14, WS_TABSTOP},
    {kNoItemId, DialogItemKind::kText, "Horizontal alignment :", 7, 38, 64, 8, SS_LEFT},
    {IDC_HALIGN, DialogItemKind::kDropList, "", 73, 36, 49, 51, kComboStyle, kHorizontal},
    {kNoItemId, DialogItemKind::kText, "Vertical alignment :", 125, 38, 56, 8, SS_LEFT},
    {IDC_VALIGN, DialogItemKind::kDropList, "", 185, 36, 49, 50, kComboStyle, kVertical},
    {IDC_STRETCH, DialogItemKind::kCheckBox, "Stretch image", 7, 56, 59, 10, WS_TABSTOP},
    {IDC_SLIDESHOW, DialogItemKind::kCheckBox, "Slide show", 81, 56, 50, 10, WS_TABSTOP},
};

// Template 107: the second control's page.
constexpr DialogItem kSecondItems[] = {
    {kNoItemId, DialogItemKind::kText, "File with image :", 7, 7, 51, 8, SS_LEFT},
    {IDC_FILENAME, DialogItemKind::kEdit, "", 7, 18, 214, 14, kEditStyle},
    {IDC_BROWSE, DialogItemKind::kButton, "...", 227, 18, 16, 14, WS_TABSTOP},
    {kNoItemId, DialogItemKind::kText, "Horizontal alignment :", 7, 38, 66, 8, SS_LEFT},
    {IDC_HALIGN, DialogItemKind::kDropList, "", 76, 36, 49, 51, kComboStyle, kHorizontal},
    {kNoItemId, DialogItemKind::kText, "Vertical alignment :", 128, 38, 58, 8, SS_LEFT},
    {IDC_VALIGN, DialogItemKind::kDropList, "", 193, 36, 49, 50, kComboStyle, kVertical},
    {IDC_STRETCH, DialogItemKind::kCheckBox, "Stretch image", 7, 56, 59, 10, WS_TABSTOP},
    {IDC_SLIDESHOW, DialogItemKind::kCheckBox, "Slide show", 81, 56, 50, 10, WS_TABSTOP},
    {IDC_SCROLLING, DialogItemKind::kCheckBox, "Scrolling", 140, 56, 42, 10, WS_TABSTOP},
};

constexpr DialogTemplate kFirstTemplate{"", "MS Sans Serif", 8, 0, 0, 250, 110, kPageStyle, kFirstItems};
constexpr DialogTemplate kSecondTemplate{"", "MS Shell Dlg", 8, 0, 0, 250, 110,
                                         kPageStyle | DS_FIXEDSYS, kSecondItems};

}  // namespace

const DialogTemplate& PelmorPageTemplate() { return kFirstTemplate; }
const DialogTemplate& Pelmor2PageTemplate() { return kSecondTemplate; }
const char* PropPageCaption() { return "General"; }

OpenFileRequest BrowseRequest(const std::string& currentText) {
  OpenFileRequest request;
  request.filters = {
      {"All files", "*.bmp;*.jpg;*.jpeg;*.gif;*.tif;*.png"},
      {"Bitmap Files", "*.bmp"},
      {"JPEG Files", "*.jpg;*.jpeg"},
      {"GIF Files", "*.gif"},
      {"TIFF Files", "*.tif"},
      {"PNG Files", "*.png"},
  };
  request.initialName = std::string(platform::CutAtCharacter(currentText, kBrowseNameLimit));
  request.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  return request;
}

CPelmorPropPage::CPelmorPropPage() : CPelmorPropPage(kFirstTemplate) {}

CPelmorPropPage::CPelmorPropPage(const DialogTemplate& dialog)
    : COlePropertyPage(dialog, PropPageCaption()) {}

void CPelmorPropPage::DoDataExchange(ole::PropExchange& dx) {
  dx.Text(IDC_FILENAME, fileName, "FileName");
  dx.ComboIndex(IDC_HALIGN, hAlignIndex, "HAlignment");
  dx.ComboIndex(IDC_VALIGN, vAlignIndex, "VAlignment");
  dx.Check(IDC_STRETCH, stretchCheck, "StretchImage");
  dx.Check(IDC_SLIDESHOW, slideShowCheck, "SlideShow");
}

void CPelmorPropPage::OnCommand(DialogWindow& dialog, int32_t id, uint32_t code) {
  if (id == IDC_BROWSE && code == BN_CLICKED) {
    BrowseForFile();
    return;
  }
  COlePropertyPage::OnCommand(dialog, id, code);
}

void CPelmorPropPage::BrowseForFile() {
  DialogWindow* dialog = Dialog();
  if (dialog == nullptr) return;
  fileName = dialog->GetItemText(IDC_FILENAME);
  const std::optional<std::string> chosen = dialog->GetOpenFileName(BrowseRequest(fileName));
  if (!chosen) return;
  fileName = *chosen;
  // The edit field reports the new text as a change, so the next apply writes FileName.
  dialog->SetItemText(IDC_FILENAME, fileName);
}

CPelmor2PropPage::CPelmor2PropPage() : CPelmorPropPage(kSecondTemplate) {}

void CPelmor2PropPage::DoDataExchange(ole::PropExchange& dx) {
  CPelmorPropPage::DoDataExchange(dx);
  dx.Check(IDC_SCROLLING, scrollingCheck, "Scrolling");
}

}  // namespace pelmor
