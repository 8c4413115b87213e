// A dialog in memory for the code behind dialogs: items made from the template hold their text,
// check state, entries and selection, and report changes as the window system does; a taken-over
// item gets an ItemWindow whose text is measured in fixed cells, with the cursor, the capture and
// the shell recorded. Painting records every line of text drawn.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/window/dialog_window.h"

namespace pelmor::test {

// One line of text an item drew.
struct DrawnText {
  int32_t x, y;
  std::string text;
  platform::FontDescription font;
  platform::COLORREF color;
};

class FakeItemWindow : public platform::ItemWindow, public platform::ItemPainter {
 public:
  static constexpr int32_t kCellWidth = 7;
  static constexpr int32_t kCellHeight = 13;

  std::string text;
  platform::RECT client{0, 0, 200, 20};
  uint32_t style = 0;
  platform::POINT origin{100, 50};  // the client area's top-left on the screen
  std::optional<platform::POINT> cursor;
  bool measurable = true;
  platform::CursorHandle cursorShown = platform::IDC_ARROW;
  bool capture = false;
  int redraws = 0;
  int captureReleases = 0;
  std::vector<std::pair<platform::RECT, std::string>> tooltips;
  std::vector<std::string> opened;
  std::vector<DrawnText> drawn;
  platform::ItemHandler* handler = nullptr;

  std::string Text() override { return text; }
  platform::RECT ClientRect() override { return client; }
  uint32_t Style() override { return style; }
  platform::COLORREF SystemColor(int) override { return 0xC0C0C0; }
  std::optional<platform::FontDescription> Font() override { return platform::FontDescription{}; }
  std::optional<platform::SIZE> MeasureText(std::string_view t, const platform::FontDescription&) override;
  std::optional<platform::POINT> CursorPos() override { return cursor; }
  platform::POINT ClientToScreen(platform::POINT p) override { return {p.x + origin.x, p.y + origin.y}; }
  platform::CursorHandle LoadSystemCursor(platform::CursorHandle id) override { return id; }
  platform::CursorHandle SetCursor(platform::CursorHandle c) override;
  void SetCapture() override { capture = true; }
  void ReleaseCapture() override;
  bool HasCapture() override { return capture; }
  void RedrawNow() override { ++redraws; }
  bool AddTooltip(const platform::RECT& rect, std::string_view t) override {
    tooltips.emplace_back(rect, std::string(t));
    return true;
  }
  bool ShellOpen(std::string_view target) override {
    opened.emplace_back(target);
    return true;
  }
  void FillRect(const platform::RECT&, platform::COLORREF) override {}
  void TextOut(int32_t x, int32_t y, std::string_view t, const platform::FontDescription& font,
               platform::COLORREF color, std::optional<platform::COLORREF>, const platform::RECT&) override {
    if (!t.empty()) drawn.push_back({x, y, std::string(t), font, color});
  }

  // Moves the cursor to a client point and tells the handler, as a mouse move does.
  void MoveTo(int32_t x, int32_t y);
  // Paints into `drawn` (cleared first).
  void Paint();
};

class FakeDialog : public platform::DialogWindow {
 public:
  // Items from the template; then the controller's OnInitDialog.
  FakeDialog(const platform::DialogTemplate& dialog, platform::DialogController& controller);

  struct Item {
    platform::DialogItemKind kind;
    std::string text;
    int32_t check = 0;
    std::vector<std::string> entries;
    int32_t selection = -1;
    bool enabled = true;
    FakeItemWindow* window = nullptr;
  };
  bool Has(int32_t id) const { return items_.count(id) != 0; }
  Item& At(int32_t id) { return items_.at(id); }
  FakeItemWindow& ItemWindowOf(int32_t id) { return windows_.at(id); }

  // What a user does: type a text, click a check box or button, pick an entry.
  void Type(int32_t id, const std::string& text);
  void Click(int32_t id);
  void Pick(int32_t id, int32_t index);

  // The file-open dialog's answer, and the requests it had.
  std::optional<std::string> openAnswer;
  std::vector<platform::OpenFileRequest> openRequests;
  std::optional<int32_t> ended;

  std::string GetItemText(int32_t id) override;
  void SetItemText(int32_t id, std::string_view text) override;
  int32_t GetCheck(int32_t id) override;
  void SetCheck(int32_t id, int32_t state) override;
  int32_t AddString(int32_t id, std::string_view text) override;
  void ResetContent(int32_t id) override;
  int32_t GetCurSel(int32_t id) override;
  void SetCurSel(int32_t id, int32_t index) override;
  void EnableItem(int32_t id, bool enable) override;
  bool SubclassItem(int32_t id, platform::ItemHandler& handler) override;
  std::optional<std::string> GetOpenFileName(const platform::OpenFileRequest& request) override {
    openRequests.push_back(request);
    return openAnswer;
  }
  std::optional<platform::COLORREF> ChooseColor(platform::COLORREF) override { return std::nullopt; }
  void EndDialog(int32_t result) override { ended = result; }

 private:
  platform::DialogController& controller_;
  std::map<int32_t, Item> items_;
  std::map<int32_t, FakeItemWindow> windows_;
};

}  // namespace pelmor::test
