#include "platform/ole/property_page.h"

#include "platform/text_encoding.h"

namespace pelmor::ole {

using namespace platform;

namespace {

// Whether a notification code from an item of this kind is a change of its value.
bool IsChange(DialogItemKind kind, uint32_t code) {
  switch (kind) {
    case DialogItemKind::kEdit:
      return code == EN_CHANGE;
    case DialogItemKind::kCheckBox:
      return code == BN_CLICKED;
    case DialogItemKind::kDropList:
    case DialogItemKind::kDropDown:
      return code == CBN_SELCHANGE || code == CBN_EDITCHANGE;
    case DialogItemKind::kList:
      return code == LBN_SELCHANGE;
    default:
      return false;
  }
}

}  // namespace

bool PropExchange::Read(const char* property, VARTYPE type, Variant& value) {
  if (page_.objects_.empty() || page_.objects_.front() == nullptr) return false;
  const InvokeResult r = InvokeByName(*page_.objects_.front(), property, DISPATCH_PROPERTYGET);
  if (FAILED(r.hr)) return false;
  try {
    return SUCCEEDED(ChangeType(r.value, type, value));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void PropExchange::Queue(int32_t id, const char* property, Variant value) {
  if (page_.ItemChanged(id)) queued_.push_back({property, std::move(value)});
}

void PropExchange::Text(int32_t id, std::string& member, const char* property) {
  DialogWindow* dialog = page_.dialog_;
  page_.bound_.insert(id);
  if (direction_ == Direction::kShow) {
    Variant v;
    if (Read(property, VT_BSTR, v)) member = BytesFromUtf16(v.GetBstr());
    if (dialog != nullptr) dialog->SetItemText(id, member);
    return;
  }
  if (dialog != nullptr) member = dialog->GetItemText(id);
  Queue(id, property, Variant::Text(member));
}

void PropExchange::ComboIndex(int32_t id, int32_t& member, const char* property) {
  DialogWindow* dialog = page_.dialog_;
  page_.bound_.insert(id);
  if (direction_ == Direction::kShow) {
    Variant v;
    if (Read(property, VT_I4, v)) member = v.GetI4();
    if (dialog != nullptr) dialog->SetCurSel(id, member);
    return;
  }
  if (dialog != nullptr) member = dialog->GetCurSel(id);
  Queue(id, property, Variant::I4(member));
}

void PropExchange::Check(int32_t id, int32_t& member, const char* property) {
  DialogWindow* dialog = page_.dialog_;
  page_.bound_.insert(id);
  if (direction_ == Direction::kShow) {
    Variant v;
    if (Read(property, VT_I4, v)) member = v.GetI4();
    if (dialog != nullptr) dialog->SetCheck(id, member != 0 ? BST_CHECKED : BST_UNCHECKED);
    return;
  }
  if (dialog != nullptr) member = dialog->GetCheck(id);
  Queue(id, property, Variant::I4(member));
}

COlePropertyPage::COlePropertyPage(const DialogTemplate& dialog, std::string caption)
    : template_(dialog), caption_(std::move(caption)) {}

bool COlePropertyPage::OnInitDialog(DialogWindow& dialog) {
  dialog_ = &dialog;
  ShowValues();
  return true;
}

void COlePropertyPage::ShowValues() {
  showing_ = true;
  changed_.clear();
  LoadValues();
  showing_ = false;
  if (site_ != nullptr) site_->OnStatusChange();
}

void COlePropertyPage::DialogClosed() {
  dialog_ = nullptr;
  changed_.clear();
  if (site_ != nullptr) site_->OnStatusChange();
}

void COlePropertyPage::LoadValues() {
  PropExchange dx(*this, PropExchange::Direction::kShow);
  DoDataExchange(dx);
}

bool COlePropertyPage::WriteChanges() {
  PropExchange dx(*this, PropExchange::Direction::kApply);
  DoDataExchange(dx);
  bool ok = true;
  for (const PropExchange::Write& w : dx.Queued()) {
    for (size_t i = 0; i < objects_.size(); ++i) {
      if (objects_[i] == nullptr) continue;
      const InvokeResult r = InvokeByName(*objects_[i], w.property, DISPATCH_PROPERTYPUT,
                                          std::span<const Variant>(&w.value, 1));
      RecordWrite(w.property, i, r.Effective());
      ok = ok && SUCCEEDED(r.hr);
    }
  }
  return ok;
}

void COlePropertyPage::OnCommand(DialogWindow&, int32_t id, uint32_t code) {
  if (showing_ || bound_.count(id) == 0) return;
  const DialogItem* item = template_.Find(id);
  if (item != nullptr && IsChange(item->kind, code)) SetItemChanged(id);
}

void COlePropertyPage::SetItemChanged(int32_t id) {
  if (changed_.insert(id).second && site_ != nullptr) site_->OnStatusChange();
}

bool COlePropertyPage::Apply() {
  lastApply_.clear();
  if (dialog_ == nullptr || !IsDirty()) return true;
  const bool ok = WriteChanges();
  changed_.clear();
  if (site_ != nullptr) site_->OnStatusChange();
  return ok;
}

PropertyFrame::PropertyFrame(std::string caption, std::vector<std::unique_ptr<COlePropertyPage>> pages,
                             std::vector<DispatchObject*> objects)
    : caption_(std::move(caption)), pages_(std::move(pages)), objects_(std::move(objects)) {
  for (auto& page : pages_) {
    page->SetObjects(objects_);
    page->SetPageSite(this);
  }
}

bool PropertyFrame::AnyDirty() const {
  for (const auto& page : pages_) {
    if (page->IsDirty()) return true;
  }
  return false;
}

bool PropertyFrame::Apply() {
  bool ok = true;
  for (auto& page : pages_) ok = page->Apply() && ok;
  return ok;
}

}  // namespace pelmor::ole
