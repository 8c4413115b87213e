// The framework's stock property pages: the font page edits the objects' font properties (their
// face, size and effects, through each font object's own interface), the colour page their colour
// properties (a standard colour, a system colour or any colour reference). Which properties they
// offer comes from the first object's dispatch table: members typed as font objects, and members
// marked as colours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/font_engine.h"
#include "platform/ole/guid.h"
#include "platform/ole/ole_color.h"
#include "platform/ole/property_page.h"

namespace pelmor::ole {

inline constexpr GUID CLSID_StockFontPage = MakeGuid("{7EBDAAE0-8120-11CF-899F-00AA00688B10}");
inline constexpr GUID CLSID_StockColorPage = MakeGuid("{7EBDAAE1-8120-11CF-899F-00AA00688B10}");

// Item ids of the font page.
constexpr int32_t IDC_FONT_PROPERTIES = 300;
constexpr int32_t IDC_FONT_NAME = 301;
constexpr int32_t IDC_FONT_SIZE = 302;
constexpr int32_t IDC_FONT_BOLD = 303;
constexpr int32_t IDC_FONT_ITALIC = 304;
constexpr int32_t IDC_FONT_UNDERLINE = 305;
constexpr int32_t IDC_FONT_STRIKEOUT = 306;
constexpr int32_t IDC_FONT_SAMPLE = 307;
// Item ids of the colour page.
constexpr int32_t IDC_COLOR_PROPERTIES = 320;
constexpr int32_t IDC_COLOR_LIST = 321;
constexpr int32_t IDC_COLOR_SAMPLE = 322;
constexpr int32_t IDC_COLOR_CUSTOM = 323;

// The named colours the colour page lists: the sixteen standard ones, then every system colour.
struct NamedColor {
  const char* name;
  OLE_COLOR color;
};
std::span<const NamedColor> ColorPageEntries();

// Paints an item filled with one colour (a sample).
class ColorSample : public platform::ItemHandler {
 public:
  void SetColor(std::optional<OLE_COLOR> color);
  void Attach(platform::ItemWindow& window) override { window_ = &window; }
  void Detach() override { window_ = nullptr; }
  void OnPaint(platform::ItemPainter& painter) override;

 private:
  platform::ItemWindow* window_ = nullptr;
  std::optional<OLE_COLOR> color_;
};

// Paints a line of sample text in a font.
class FontSample : public platform::ItemHandler {
 public:
  void SetFont(const platform::FontDescription& font);
  void Attach(platform::ItemWindow& window) override { window_ = &window; }
  void Detach() override { window_ = nullptr; }
  void OnPaint(platform::ItemPainter& painter) override;

 private:
  platform::ItemWindow* window_ = nullptr;
  platform::FontDescription font_;
};

class CStockFontPage : public COlePropertyPage {
 public:
  // families: where the face names come from (the default engine when null).
  explicit CStockFontPage(platform::FontEngine* families = nullptr);
  bool OnInitDialog(platform::DialogWindow& dialog) override;
  void OnCommand(platform::DialogWindow& dialog, int32_t id, uint32_t code) override;

  // One font property as the page holds it.
  struct Edited {
    std::string property;
    std::string name;
    double size = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    std::vector<std::string> changed;  // the font members changed, in the order first changed
  };
  const std::vector<Edited>& Properties() const { return edited_; }

 protected:
  void DoDataExchange(PropExchange&) override {}
  void LoadValues() override;
  bool WriteChanges() override;

 private:
  void ShowProperty();
  void Change(int32_t id, const char* member);
  Edited* Current();

  platform::FontEngine* families_;
  std::vector<Edited> edited_;
  int32_t current_ = -1;
  bool filling_ = false;
  FontSample sample_;
};

class CStockColorPage : public COlePropertyPage {
 public:
  CStockColorPage();
  bool OnInitDialog(platform::DialogWindow& dialog) override;
  void OnCommand(platform::DialogWindow& dialog, int32_t id, uint32_t code) override;

  struct Edited {
    std::string property;
    OLE_COLOR color = 0;
    bool changed = false;
  };
  const std::vector<Edited>& Properties() const { return edited_; }

 protected:
  void DoDataExchange(PropExchange&) override {}
  void LoadValues() override;
  bool WriteChanges() override;

 private:
  void ShowProperty();
  void SetColor(OLE_COLOR color);

  std::vector<Edited> edited_;
  int32_t current_ = -1;
  ColorSample sample_;
};

}  // namespace pelmor::ole
