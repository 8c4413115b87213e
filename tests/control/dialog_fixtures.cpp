#include "control/dialog_fixtures.h"

namespace pelmor::test {

using namespace platform;

std::optional<SIZE> FakeItemWindow::MeasureText(std::string_view t, const FontDescription&) {
  if (!measurable) return std::nullopt;
  return SIZE{static_cast<int32_t>(t.size()) * kCellWidth, kCellHeight};
}

CursorHandle FakeItemWindow::SetCursor(CursorHandle c) {
  const CursorHandle previous = cursorShown;
  cursorShown = c;
  return previous;
}

void FakeItemWindow::ReleaseCapture() {
  ++captureReleases;
  if (!capture) return;
  capture = false;
  if (handler != nullptr) handler->OnCaptureChanged(false);
}

void FakeItemWindow::MoveTo(int32_t x, int32_t y) {
  cursor = ClientToScreen({x, y});
  if (handler != nullptr) handler->OnMouseMove();
}

void FakeItemWindow::Paint() {
  drawn.clear();
  if (handler != nullptr) handler->OnPaint(*this);
}

FakeDialog::FakeDialog(const DialogTemplate& dialog, DialogController& controller)
    : controller_(controller) {
  for (const DialogItem& item : dialog.items) {
    if (item.id == kNoItemId) continue;
    Item& made = items_[item.id];
    made.kind = item.kind;
    made.text = item.text;
    for (const char* entry : item.entries) made.entries.emplace_back(entry);
    windows_[item.id].style = item.style;
  }
  controller_.OnInitDialog(*this);
}

void FakeDialog::Type(int32_t id, const std::string& text) { SetItemText(id, text); }

void FakeDialog::Click(int32_t id) {
  if (!Has(id)) return;
  Item& item = items_[id];
  if (item.kind == DialogItemKind::kCheckBox) item.check = item.check == 0 ? 1 : 0;
  controller_.OnCommand(*this, id, BN_CLICKED);
}

void FakeDialog::Pick(int32_t id, int32_t index) {
  SetCurSel(id, index);
  controller_.OnCommand(*this, id, CBN_SELCHANGE);
}

std::string FakeDialog::GetItemText(int32_t id) { return Has(id) ? items_[id].text : ""; }

void FakeDialog::SetItemText(int32_t id, std::string_view text) {
  if (!Has(id)) return;
  items_[id].text = text;
  windows_[id].text = text;
  if (items_[id].kind == DialogItemKind::kEdit) controller_.OnCommand(*this, id, EN_CHANGE);
}

int32_t FakeDialog::GetCheck(int32_t id) { return Has(id) ? items_[id].check : 0; }
void FakeDialog::SetCheck(int32_t id, int32_t state) {
  if (Has(id)) items_[id].check = state;
}

int32_t FakeDialog::AddString(int32_t id, std::string_view text) {
  if (!Has(id)) return -1;
  items_[id].entries.emplace_back(text);
  return static_cast<int32_t>(items_[id].entries.size()) - 1;
}

void FakeDialog::ResetContent(int32_t id) {
  if (!Has(id)) return;
  items_[id].entries.clear();
  items_[id].selection = -1;
}

int32_t FakeDialog::GetCurSel(int32_t id) { return Has(id) ? items_[id].selection : -1; }

void FakeDialog::SetCurSel(int32_t id, int32_t index) {
  if (!Has(id)) return;
  Item& item = items_[id];
  item.selection = index >= 0 && static_cast<size_t>(index) < item.entries.size() ? index : -1;
}

void FakeDialog::EnableItem(int32_t id, bool enable) {
  if (Has(id)) items_[id].enabled = enable;
}

bool FakeDialog::SubclassItem(int32_t id, ItemHandler& handler) {
  if (!Has(id) || windows_[id].handler != nullptr) return false;
  FakeItemWindow& window = windows_[id];
  window.text = items_[id].text;
  window.handler = &handler;
  items_[id].window = &window;
  handler.Attach(window);
  return true;
}

}  // namespace pelmor::test
