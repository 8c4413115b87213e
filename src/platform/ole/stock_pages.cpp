#include "platform/ole/stock_pages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/text_encoding.h"

namespace pelmor::ole {

using namespace platform;

namespace {

constexpr const char* kSizes[] = {"8",  "9",  "10", "11", "12", "14", "16", "18",
                                  "20", "22", "24", "26", "28", "36", "48", "72"};

constexpr DialogItem kFontItems[] = {
    {kNoItemId, DialogItemKind::kText, "Properties:", 7, 7, 70, 8, SS_LEFT},
    {IDC_FONT_PROPERTIES, DialogItemKind::kList, "", 7, 18, 70, 84, WS_BORDER | WS_VSCROLL | WS_TABSTOP},
    {kNoItemId, DialogItemKind::kText, "Font:", 85, 7, 90, 8, SS_LEFT},
    {IDC_FONT_NAME, DialogItemKind::kDropDown, "", 85, 18, 100, 80, WS_VSCROLL | WS_TABSTOP},
    {kNoItemId, DialogItemKind::kText, "Size:", 192, 7, 50, 8, SS_LEFT},
    {IDC_FONT_SIZE, DialogItemKind::kDropDown, "", 192, 18, 50, 80, WS_VSCROLL | WS_TABSTOP, kSizes},
    {kNoItemId, DialogItemKind::kText, "Effects", 85, 38, 60, 8, SS_LEFT},
    {IDC_FONT_BOLD, DialogItemKind::kCheckBox, "Bold", 85, 49, 50, 10, WS_TABSTOP},
    {IDC_FONT_ITALIC, DialogItemKind::kCheckBox, "Italic", 140, 49, 50, 10, WS_TABSTOP},
    {IDC_FONT_UNDERLINE, DialogItemKind::kCheckBox, "Underline", 85, 61, 50, 10, WS_TABSTOP},
    {IDC_FONT_STRIKEOUT, DialogItemKind::kCheckBox, "Strikeout", 140, 61, 50, 10, WS_TABSTOP},
    {IDC_FONT_SAMPLE, DialogItemKind::kFrame, "", 85, 76, 157, 26, SS_SUNKEN},
};

constexpr DialogItem kColorItems[] = {
    {kNoItemId, DialogItemKind::kText, "Property name:", 7, 7, 100, 8, SS_LEFT},
    {IDC_COLOR_PROPERTIES, DialogItemKind::kDropList, "", 7, 18, 100, 60, WS_VSCROLL | WS_TABSTOP},
    {kNoItemId, DialogItemKind::kText, "Colour:", 7, 36, 100, 8, SS_LEFT},
    {IDC_COLOR_LIST, DialogItemKind::kList, "", 7, 46, 100, 58, WS_BORDER | WS_VSCROLL | WS_TABSTOP},
    {IDC_COLOR_SAMPLE, DialogItemKind::kFrame, "", 120, 18, 60, 40, SS_SUNKEN},
    {IDC_COLOR_CUSTOM, DialogItemKind::kButton, "Other colour...", 120, 64, 60, 14, WS_TABSTOP},
};

constexpr DialogTemplate kFontTemplate{"", "MS Shell Dlg", 8, 0, 0, 250, 110, WS_CHILD | DS_FIXEDSYS,
                                       kFontItems};
constexpr DialogTemplate kColorTemplate{"", "MS Shell Dlg", 8, 0, 0, 250, 110,
                                        WS_CHILD | DS_FIXEDSYS, kColorItems};

constexpr NamedColor kNamedColors[] = {
    {"Black", 0x000000},
    {"Maroon", 0x000080},
    {"Green", 0x008000},
    {"Olive", 0x008080},
    {"Navy", 0x800000},
    {"Purple", 0x800080},
    {"Teal", 0x808000},
    {"Silver", 0xC0C0C0},
    {"Grey", 0x808080},
    {"Red", 0x0000FF},
    {"Lime", 0x00FF00},
    {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},
    {"Fuchsia", 0xFF00FF},
    {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF},
    {"System: Scroll bars", SystemColor(0)},
    {"System: Desktop", SystemColor(1)},
    {"System: Active title bar", SystemColor(2)},
    {"System: Inactive title bar", SystemColor(3)},
    {"System: Menu bar", SystemColor(4)},
    {"System: Window background", SystemColor(5)},
    {"System: Window frame", SystemColor(6)},
    {"System: Menu text", SystemColor(7)},
    {"System: Window text", SystemColor(8)},
    {"System: Active title bar text", SystemColor(9)},
    {"System: Active border", SystemColor(10)},
    {"System: Inactive border", SystemColor(11)},
    {"System: Application workspace", SystemColor(12)},
    {"System: Highlight", SystemColor(13)},
    {"System: Highlight text", SystemColor(14)},
    {"System: Button face", SystemColor(15)},
    {"System: Button shadow", SystemColor(16)},
    {"System: Disabled text", SystemColor(17)},
    {"System: Button text", SystemColor(18)},
    {"System: Inactive title bar text", SystemColor(19)},
    {"System: Button highlight", SystemColor(20)},
    {"System: Button dark shadow", SystemColor(21)},
    {"System: Button light shadow", SystemColor(22)},
    {"System: Tooltip text", SystemColor(23)},
    {"System: Tooltip", SystemColor(24)},
    {"System: Alternate button face", SystemColor(25)},
    {"System: Hot-tracked item", SystemColor(26)},
    {"System: Active title gradient", SystemColor(27)},
    {"System: Inactive title gradient", SystemColor(28)},
    {"System: Menu highlight", SystemColor(29)},
    {"System: Menu bar (flat)", SystemColor(30)},
};

// The value of a member of an object read as a type; nothing when it cannot be read.
std::optional<Variant> ReadAs(DispatchObject& object, std::string_view name, VARTYPE type) {
  const InvokeResult r = InvokeByName(object, name, DISPATCH_PROPERTYGET);
  Variant out;
  if (FAILED(r.hr) || FAILED(ChangeType(r.value, type, out))) return std::nullopt;
  return out;
}

std::string SizeText(double size) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", size);
  return text;
}

}  // namespace

std::span<const NamedColor> ColorPageEntries() { return kNamedColors; }

void ColorSample::SetColor(std::optional<OLE_COLOR> color) {
  color_ = color;
  if (window_ != nullptr) window_->RedrawNow();
}

void ColorSample::OnPaint(ItemPainter& painter) {
  if (window_ == nullptr) return;
  const RECT r = window_->ClientRect();
  COLORREF fill = window_->SystemColor(COLOR_BTNFACE);
  if (color_) {
    // System colours as this window system shows them; anything the page cannot show stays face.
    if ((*color_ & 0xFF000000u) == 0x80000000u && (*color_ & 0xFF) < kSystemColorCount) {
      fill = window_->SystemColor(static_cast<int>(*color_ & 0xFF));
    } else if ((*color_ >> 24) <= 2) {
      fill = *color_ & 0xFFFFFF;
    }
  }
  painter.FillRect(r, fill);
}

void FontSample::SetFont(const FontDescription& font) {
  font_ = font;
  if (window_ != nullptr) window_->RedrawNow();
}

void FontSample::OnPaint(ItemPainter& painter) {
  if (window_ == nullptr) return;
  const RECT r = window_->ClientRect();
  const COLORREF face = window_->SystemColor(COLOR_WINDOW);
  painter.FillRect(r, face);
  const std::string text = "AaBbYyZz";
  const std::optional<SIZE> extent = window_->MeasureText(text, font_);
  if (!extent) return;
  painter.TextOut((r.right - extent->cx) / 2, (r.bottom - extent->cy) / 2, text, font_,
                  window_->SystemColor(COLOR_WINDOWTEXT), std::nullopt, r);
}

CStockFontPage::CStockFontPage(FontEngine* families)
    : COlePropertyPage(kFontTemplate, "Font"), families_(families != nullptr ? families : &DefaultFontEngine()) {}

bool CStockFontPage::OnInitDialog(DialogWindow& dialog) {
  dialog.SubclassItem(IDC_FONT_SAMPLE, sample_);
  filling_ = true;
  for (const std::string& family : families_->Families()) dialog.AddString(IDC_FONT_NAME, family);
  filling_ = false;
  return COlePropertyPage::OnInitDialog(dialog);
}

void CStockFontPage::LoadValues() {
  DialogWindow* dialog = Dialog();
  edited_.clear();
  current_ = -1;
  if (dialog == nullptr) return;
  filling_ = true;
  dialog->ResetContent(IDC_FONT_PROPERTIES);
  if (!Objects().empty() && Objects().front() != nullptr) {
    DispatchObject& object = *Objects().front();
    for (const DispEntry& e : object.GetDispatchTable().Entries()) {
      if (e.kind != MemberKind::kProperty || e.type != VT_DISPATCH || std::strcmp(e.idlType, "IFontDisp*") != 0) {
        continue;
      }
      const std::optional<Variant> font = ReadAs(object, e.name, VT_DISPATCH);
      if (!font || font->GetDispatch() == nullptr) continue;
      DispatchObject& f = *font->GetDispatch();
      Edited ed;
      ed.property = e.name;
      if (auto v = ReadAs(f, "Name", VT_BSTR)) ed.name = BytesFromUtf16(v->GetBstr());
      if (auto v = ReadAs(f, "Size", VT_R8)) ed.size = v->GetR8();
      if (auto v = ReadAs(f, "Bold", VT_BOOL)) ed.bold = v->GetBool() != 0;
      if (auto v = ReadAs(f, "Italic", VT_BOOL)) ed.italic = v->GetBool() != 0;
      if (auto v = ReadAs(f, "Underline", VT_BOOL)) ed.underline = v->GetBool() != 0;
      if (auto v = ReadAs(f, "Strikethrough", VT_BOOL)) ed.strikethrough = v->GetBool() != 0;
      edited_.push_back(std::move(ed));
      dialog->AddString(IDC_FONT_PROPERTIES, e.name);
    }
  }
  current_ = edited_.empty() ? -1 : 0;
  dialog->SetCurSel(IDC_FONT_PROPERTIES, current_);
  filling_ = false;
  ShowProperty();
}

CStockFontPage::Edited* CStockFontPage::Current() {
  return current_ >= 0 && static_cast<size_t>(current_) < edited_.size() ? &edited_[current_] : nullptr;
}

void CStockFontPage::ShowProperty() {
  DialogWindow* dialog = Dialog();
  const Edited* ed = Current();
  if (dialog == nullptr) return;
  filling_ = true;
  dialog->SetItemText(IDC_FONT_NAME, ed != nullptr ? ed->name : "");
  dialog->SetItemText(IDC_FONT_SIZE, ed != nullptr ? SizeText(ed->size) : "");
  dialog->SetCheck(IDC_FONT_BOLD, ed != nullptr && ed->bold);
  dialog->SetCheck(IDC_FONT_ITALIC, ed != nullptr && ed->italic);
  dialog->SetCheck(IDC_FONT_UNDERLINE, ed != nullptr && ed->underline);
  dialog->SetCheck(IDC_FONT_STRIKEOUT, ed != nullptr && ed->strikethrough);
  for (int32_t id : {IDC_FONT_NAME, IDC_FONT_SIZE, IDC_FONT_BOLD, IDC_FONT_ITALIC, IDC_FONT_UNDERLINE,
                     IDC_FONT_STRIKEOUT}) {
    dialog->EnableItem(id, ed != nullptr);
  }
  filling_ = false;
  FontDescription font;
  if (ed != nullptr) {
    font.faceName = ed->name;
    font.pointSize = ed->size;
    font.weight = ed->bold ? FW_BOLD : FW_NORMAL;
    font.italic = ed->italic;
    font.underline = ed->underline;
    font.strikethrough = ed->strikethrough;
  }
  sample_.SetFont(font);
}

void CStockFontPage::Change(int32_t id, const char* member) {
  Edited* ed = Current();
  DialogWindow* dialog = Dialog();
  if (ed == nullptr || dialog == nullptr) return;
  switch (id) {
    case IDC_FONT_NAME:
      ed->name = dialog->GetItemText(id);
      break;
    case IDC_FONT_SIZE: {
      const std::string text = dialog->GetItemText(id);
      char* end = nullptr;
      const double size = std::strtod(text.c_str(), &end);
      // A size that does not read as a number waits for the user to finish typing.
      if (end == text.c_str() || !(size > 0 && size <= 16384)) return;
      ed->size = size;
      break;
    }
    case IDC_FONT_BOLD:
      ed->bold = dialog->GetCheck(id) == BST_CHECKED;
      break;
    case IDC_FONT_ITALIC:
      ed->italic = dialog->GetCheck(id) == BST_CHECKED;
      break;
    case IDC_FONT_UNDERLINE:
      ed->underline = dialog->GetCheck(id) == BST_CHECKED;
      break;
    case IDC_FONT_STRIKEOUT:
      ed->strikethrough = dialog->GetCheck(id) == BST_CHECKED;
      break;
    default:
      return;
  }
  if (std::find(ed->changed.begin(), ed->changed.end(), member) == ed->changed.end()) {
    ed->changed.emplace_back(member);
  }
  SetItemChanged(id);
  ShowProperty();
}

void CStockFontPage::OnCommand(DialogWindow&, int32_t id, uint32_t code) {
  if (filling_) return;
  switch (id) {
    case IDC_FONT_PROPERTIES:
      if (code == LBN_SELCHANGE) {
        current_ = Dialog()->GetCurSel(id);
        ShowProperty();
      }
      break;
    case IDC_FONT_NAME:
      if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) Change(id, "Name");
      break;
    case IDC_FONT_SIZE:
      if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) Change(id, "Size");
      break;
    case IDC_FONT_BOLD:
      if (code == BN_CLICKED) Change(id, "Bold");
      break;
    case IDC_FONT_ITALIC:
      if (code == BN_CLICKED) Change(id, "Italic");
      break;
    case IDC_FONT_UNDERLINE:
      if (code == BN_CLICKED) Change(id, "Underline");
      break;
    case IDC_FONT_STRIKEOUT:
      if (code == BN_CLICKED) Change(id, "Strikethrough");
      break;
    default:
      break;
  }
}

bool CStockFontPage::WriteChanges() {
  bool ok = true;
  for (Edited& ed : edited_) {
    for (size_t i = 0; i < Objects().size(); ++i) {
      if (Objects()[i] == nullptr || ed.changed.empty()) continue;
      const std::optional<Variant> font = ReadAs(*Objects()[i], ed.property, VT_DISPATCH);
      if (!font || font->GetDispatch() == nullptr) {
        RecordWrite(ed.property, i, DISP_E_MEMBERNOTFOUND);
        ok = false;
        continue;
      }
      for (const std::string& member : ed.changed) {
        Variant value;
        if (member == "Name") value = Variant::Text(ed.name);
        if (member == "Size") value = Variant::R8(ed.size);
        if (member == "Bold") value = Variant::Bool(ed.bold);
        if (member == "Italic") value = Variant::Bool(ed.italic);
        if (member == "Underline") value = Variant::Bool(ed.underline);
        if (member == "Strikethrough") value = Variant::Bool(ed.strikethrough);
        const InvokeResult r = InvokeByName(*font->GetDispatch(), member, DISPATCH_PROPERTYPUT,
                                            std::span<const Variant>(&value, 1));
        RecordWrite(ed.property + "." + member, i, r.Effective());
        ok = ok && SUCCEEDED(r.hr);
      }
    }
    ed.changed.clear();
  }
  return ok;
}

CStockColorPage::CStockColorPage() : COlePropertyPage(kColorTemplate, "Colour") {}

bool CStockColorPage::OnInitDialog(DialogWindow& dialog) {
  dialog.SubclassItem(IDC_COLOR_SAMPLE, sample_);
  for (const NamedColor& c : kNamedColors) dialog.AddString(IDC_COLOR_LIST, c.name);
  return COlePropertyPage::OnInitDialog(dialog);
}

void CStockColorPage::LoadValues() {
  DialogWindow* dialog = Dialog();
  edited_.clear();
  current_ = -1;
  if (dialog == nullptr) return;
  dialog->ResetContent(IDC_COLOR_PROPERTIES);
  if (!Objects().empty() && Objects().front() != nullptr) {
    DispatchObject& object = *Objects().front();
    for (const DispEntry& e : object.GetDispatchTable().Entries()) {
      if (e.kind != MemberKind::kProperty || (e.flags & kMemberColor) == 0) continue;
      const std::optional<Variant> value = ReadAs(object, e.name, VT_UI4);
      if (!value) continue;
      edited_.push_back({e.name, value->GetUI4(), false});
      dialog->AddString(IDC_COLOR_PROPERTIES, e.name);
    }
  }
  current_ = edited_.empty() ? -1 : 0;
  dialog->SetCurSel(IDC_COLOR_PROPERTIES, current_);
  ShowProperty();
}

void CStockColorPage::ShowProperty() {
  DialogWindow* dialog = Dialog();
  if (dialog == nullptr) return;
  const bool valid = current_ >= 0 && static_cast<size_t>(current_) < edited_.size();
  int32_t selection = -1;
  if (valid) {
    for (size_t i = 0; i < std::size(kNamedColors); ++i) {
      if (kNamedColors[i].color == edited_[current_].color) selection = static_cast<int32_t>(i);
    }
  }
  dialog->SetCurSel(IDC_COLOR_LIST, selection);
  dialog->EnableItem(IDC_COLOR_LIST, valid);
  dialog->EnableItem(IDC_COLOR_CUSTOM, valid);
  sample_.SetColor(valid ? std::optional<OLE_COLOR>(edited_[current_].color) : std::nullopt);
}

void CStockColorPage::SetColor(OLE_COLOR color) {
  if (current_ < 0 || static_cast<size_t>(current_) >= edited_.size()) return;
  edited_[current_].color = color;
  edited_[current_].changed = true;
  SetItemChanged(IDC_COLOR_LIST);
  ShowProperty();
}

void CStockColorPage::OnCommand(DialogWindow& dialog, int32_t id, uint32_t code) {
  if (id == IDC_COLOR_PROPERTIES && code == CBN_SELCHANGE) {
    current_ = dialog.GetCurSel(id);
    ShowProperty();
  } else if (id == IDC_COLOR_LIST && code == LBN_SELCHANGE) {
    const int32_t i = dialog.GetCurSel(id);
    if (i >= 0 && static_cast<size_t>(i) < std::size(kNamedColors)) SetColor(kNamedColors[i].color);
  } else if (id == IDC_COLOR_CUSTOM && code == BN_CLICKED && current_ >= 0 &&
             static_cast<size_t>(current_) < edited_.size()) {
    COLORREF start = 0;
    if (FAILED(OleTranslateColor(edited_[current_].color, DefaultSystemColors(), &start))) start = 0;
    if (const std::optional<COLORREF> chosen = dialog.ChooseColor(start)) SetColor(*chosen & 0xFFFFFF);
  }
}

bool CStockColorPage::WriteChanges() {
  bool ok = true;
  for (Edited& ed : edited_) {
    if (!ed.changed) continue;
    const Variant value = Variant::UI4(ed.color);
    for (size_t i = 0; i < Objects().size(); ++i) {
      if (Objects()[i] == nullptr) continue;
      const InvokeResult r = InvokeByName(*Objects()[i], ed.property, DISPATCH_PROPERTYPUT,
                                          std::span<const Variant>(&value, 1));
      RecordWrite(ed.property, i, r.Effective());
      ok = ok && SUCCEEDED(r.hr);
    }
    ed.changed = false;
  }
  return ok;
}

}  // namespace pelmor::ole
