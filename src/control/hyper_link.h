// CHyperLink: a static text item of a dialog that behaves like a link in a web page. Part of its
// text, or all of it, is the link, drawn in the user's browser link colour; while the mouse is over
// the link part it is underlined (optionally in a hover colour) under a hand cursor, and the item
// holds the mouse capture so that the move leaving the link reaches it. A button-down over the link
// hands the URL to the desktop. It takes over an existing static item of a dialog.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "control/user_settings.h"
#include "platform/window/dialog_window.h"

namespace pelmor {

// Where the link colours are kept under the current user, and the values read.
inline constexpr std::string_view kLinkColourKey = "Software\\Microsoft\\Internet Explorer\\Settings";
inline constexpr std::string_view kAnchorColour = "Anchor Color";
inline constexpr std::string_view kUseHoverColour = "Use Anchor Hover Color";
inline constexpr std::string_view kHoverColour = "Anchor Color Hover";
// A value longer than this (with its terminating NUL) does not fit the reading buffer and counts
// as unreadable.
inline constexpr size_t kSettingBufferSize = 100;

// "r,g,b" read as the C library's "%d,%d,%d" reads it (spaces before each number, a sign, digits,
// the commas right after the numbers, anything after the third number ignored), as a colour
// reference with each component cut to its low byte; nothing when three numbers are not there.
std::optional<platform::COLORREF> ParseColourTriple(std::string_view text);

// The link range [start, end) of a text of length characters as drawn: a start at or beyond the
// length counts as 0, an end that is negative or at or beyond the length as the length; an end
// before the start leaves the link empty.
struct LinkRange {
  size_t start;
  size_t end;
};
LinkRange ClampLinkRange(int32_t start, int32_t end, size_t length);

class CHyperLink : public platform::ItemHandler {
 public:
  // Defaults, then the link colours from settings (which must outlive the link).
  explicit CHyperLink(const UserSettings& settings = RegistryUserSettings());

  void SetUrl(const char* url) { url_ = url != nullptr ? url : ""; }
  void SetLinkRange(int32_t start, int32_t end) {
    linkStart_ = start;
    linkEnd_ = end;
  }
  // Turns the tooltip on: it shows text, or the URL for null, over the link rectangle as it is now.
  // False when the rectangles cannot be had or no tooltip can be made. Call after Attach.
  bool EnableTooltip(const char* text);
  // The text and link rectangles in client coordinates; false when the item has no window or no
  // measuring context.
  bool GetTextRects(platform::RECT& textRect, platform::RECT* linkRect);
  bool IsCursorOverLink();
  // The link colours from the settings: "Anchor Color", then the hover colour when "Use Anchor
  // Hover Color" says yes. What is missing or unreadable leaves the colour as it was.
  void ReadLinkColours();

  // ItemHandler.
  void Attach(platform::ItemWindow& window) override;
  void Detach() override { window_ = nullptr; }
  void OnPaint(platform::ItemPainter& painter) override;
  void OnMouseMove() override;
  void OnLButtonDown() override;
  void OnCaptureChanged(bool toSelf) override;
  void OnSettingChange() override;

  const std::string& Url() const { return url_; }
  platform::COLORREF LinkColour() const { return linkColour_; }
  platform::COLORREF HoverColour() const { return hoverColour_; }
  bool UseHoverColour() const { return useHoverColour_; }
  bool Hover() const { return hover_; }
  bool TooltipOn() const { return tooltipOn_; }

 private:
  // The item's font with underlining as asked (the default font when the item has none).
  platform::FontDescription ItemFont(bool underline);

  const UserSettings& settings_;
  platform::ItemWindow* window_ = nullptr;
  std::string url_;
  int32_t linkStart_ = 0;
  int32_t linkEnd_ = -1;
  platform::COLORREF linkColour_ = 0x00FF0000;   // blue
  platform::COLORREF hoverColour_ = 0x000000FF;  // red
  bool useHoverColour_ = false;
  bool hover_ = false;
  bool tooltipOn_ = false;
  platform::CursorHandle handCursor_ = 0;
  platform::CursorHandle savedCursor_ = 0;
};

}  // namespace pelmor
