#include "control/hyper_link.h"

#include <algorithm>
#include <climits>

#include "platform/ole/ole_color.h"

namespace pelmor {

using namespace platform;

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d": spaces, a sign, at least one digit. The value saturates as the C library's does.
bool ParseInt(std::string_view text, size_t& pos, int64_t& value) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  const size_t digits = pos;
  uint64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    magnitude = std::min<uint64_t>(magnitude * 10 + static_cast<uint64_t>(text[pos] - '0'),
                                   uint64_t{LLONG_MAX});
  }
  if (pos == digits) return false;
  value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool SameText(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

// Characters of a UTF-8 text (bytes that do not continue a sequence), and the byte offset of
// the character at index.
size_t CharacterCount(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}
size_t ByteOffset(std::string_view text, size_t index) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen++ == index) return i;
  }
  return text.size();
}

bool Contains(const RECT& r, POINT p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace

std::optional<COLORREF> ParseColourTriple(std::string_view text) {
  // The text as a C string: it ends at its first NUL.
  text = text.substr(0, text.find('\0'));
  int64_t v[3] = {};
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && (pos >= text.size() || text[pos++] != ',')) return std::nullopt;
    if (!ParseInt(text, pos, v[i])) return std::nullopt;
  }
  return RGB(static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]));
}

LinkRange ClampLinkRange(int32_t start, int32_t end, size_t length) {
  LinkRange r;
  r.start = start < 0 || static_cast<size_t>(start) >= length ? 0 : static_cast<size_t>(start);
  r.end = end < 0 || static_cast<size_t>(end) >= length ? length : static_cast<size_t>(end);
  r.end = std::max(r.end, r.start);
  return r;
}

CHyperLink::CHyperLink(const UserSettings& settings) : settings_(settings) { ReadLinkColours(); }

void CHyperLink::ReadLinkColours() {
  if (!settings_.KeyExists(kLinkColourKey)) return;
  auto read = [this](std::string_view name) -> std::optional<std::string> {
    std::optional<std::string> value = settings_.Value(kLinkColourKey, name);
    if (!value || value->size() + 1 > kSettingBufferSize) return std::nullopt;
    return value->substr(0, value->find('\0'));
  };
  if (const auto anchor = read(kAnchorColour)) {
    if (const auto colour = ParseColourTriple(*anchor)) linkColour_ = *colour;
  }
  const auto use = read(kUseHoverColour);
  if (!use) return;
  if (!SameText(*use, "yes")) {
    useHoverColour_ = false;
    return;
  }
  if (const auto hover = read(kHoverColour)) {
    if (const auto colour = ParseColourTriple(*hover)) {
      hoverColour_ = *colour;
      useHoverColour_ = true;
    }
  }
}

void CHyperLink::Attach(ItemWindow& window) {
  window_ = &window;
  handCursor_ = window.LoadSystemCursor(IDC_HAND);
}

FontDescription CHyperLink::ItemFont(bool underline) {
  FontDescription font;
  if (window_ != nullptr) {
    if (auto f = window_->Font()) font = *f;
  }
  font.underline = underline;
  return font;
}

bool CHyperLink::GetTextRects(RECT& textRect, RECT* linkRect) {
  if (window_ == nullptr) return false;
  const RECT client = window_->ClientRect();
  const uint32_t style = window_->Style();
  const std::string text = window_->Text();
  const FontDescription plain = ItemFont(false);
  const std::optional<SIZE> extent = window_->MeasureText(text, plain);
  if (!extent) return false;
  textRect = client;
  const int32_t clientHeight = client.bottom - client.top;
  if (extent->cy < clientHeight) {
    textRect.top += (clientHeight - extent->cy) / 2;
    textRect.bottom = textRect.top + extent->cy;
  }
  if (style & SS_CENTER) {
    textRect.left = client.left + (client.right - client.left - extent->cx) / 2;
  } else if (style & SS_RIGHT) {
    textRect.left = client.right - extent->cx;
  } else {
    textRect.left = client.left;
  }
  textRect.right = textRect.left + extent->cx;
  if (linkRect == nullptr) return true;

  const LinkRange range = ClampLinkRange(linkStart_, linkEnd_, CharacterCount(text));
  const size_t start = ByteOffset(text, range.start), end = ByteOffset(text, range.end);
  const auto before = window_->MeasureText(std::string_view(text).substr(0, start), plain);
  const auto link = window_->MeasureText(std::string_view(text).substr(start, end - start), plain);
  if (!before || !link) return false;
  *linkRect = {textRect.left + before->cx, textRect.top, textRect.left + before->cx + link->cx,
               textRect.bottom};
  return true;
}

bool CHyperLink::IsCursorOverLink() {
  if (window_ == nullptr) return false;
  const std::optional<POINT> cursor = window_->CursorPos();
  RECT text, link;
  if (!cursor || !GetTextRects(text, &link)) return false;
  const POINT topLeft = window_->ClientToScreen({link.left, link.top});
  const POINT bottomRight = window_->ClientToScreen({link.right, link.bottom});
  return Contains({topLeft.x, topLeft.y, bottomRight.x, bottomRight.y}, *cursor);
}

bool CHyperLink::EnableTooltip(const char* text) {
  tooltipOn_ = true;
  RECT textRect, link;
  if (!GetTextRects(textRect, &link)) return false;
  return window_->AddTooltip(link, text != nullptr ? std::string_view(text) : std::string_view(url_));
}

void CHyperLink::OnPaint(ItemPainter& painter) {
  if (window_ == nullptr) return;
  const RECT client = window_->ClientRect();
  const std::string text = window_->Text();
  const FontDescription plain = ItemFont(false);
  const FontDescription linkFont = ItemFont(hover_);
  const COLORREF colour = hover_ && useHoverColour_ ? hoverColour_ : linkColour_;
  const COLORREF background = window_->SystemColor(ole::COLOR_BTNFACE);
  const COLORREF textColour = RGB(0, 0, 0);  // a fresh paint context's
  RECT textRect, link;
  if (!GetTextRects(textRect, &link)) return;
  const LinkRange range = ClampLinkRange(linkStart_, linkEnd_, CharacterCount(text));
  const size_t start = ByteOffset(text, range.start), end = ByteOffset(text, range.end);
  const std::string_view all(text);
  painter.TextOut(textRect.left, textRect.top, all.substr(0, start), plain, textColour, background,
                  client);
  painter.TextOut(link.left, link.top, all.substr(start, end - start), linkFont, colour, background,
                  client);
  painter.TextOut(link.right, textRect.top, all.substr(end), plain, textColour, background, client);
}

void CHyperLink::OnMouseMove() {
  if (window_ == nullptr) return;
  const bool now = IsCursorOverLink();
  if (now != hover_) {
    if (handCursor_ != 0) {
      if (now) {
        const CursorHandle previous = window_->SetCursor(handCursor_);
        if (savedCursor_ == 0) savedCursor_ = previous;
      } else {
        window_->SetCursor(savedCursor_);
        savedCursor_ = 0;
      }
    }
    hover_ = now;
    window_->RedrawNow();
  }
  if (!hover_) {
    window_->ReleaseCapture();
  } else if (!window_->HasCapture()) {
    window_->SetCapture();
  }
}

void CHyperLink::OnLButtonDown() {
  if (window_ == nullptr || url_.empty() || !IsCursorOverLink()) return;
  window_->ShellOpen(url_);  // what the desktop makes of it is not our concern
}

void CHyperLink::OnCaptureChanged(bool toSelf) {
  if (window_ == nullptr) return;
  hover_ = toSelf ? IsCursorOverLink() : false;
  // A cursor set on an item stays until it is set again (the window system does not put the
  // class cursor back at the next move), so a hover ended this way gives the cursor back too.
  if (!hover_ && savedCursor_ != 0) {
    window_->SetCursor(savedCursor_);
    savedCursor_ = 0;
  }
  window_->RedrawNow();
}

void CHyperLink::OnSettingChange() {
  ReadLinkColours();
  if (window_ != nullptr) window_->RedrawNow();
}

}  // namespace pelmor
