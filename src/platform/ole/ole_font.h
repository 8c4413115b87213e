// The font object behind a control's stock Font property: a description (face name, size in
// points, weight, italic, underline, strike-through, character set) reachable through its own
// dispatch interface, which tells its owner when a script changes it, and the drawing font made
// from it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/font_engine.h"
#include "platform/gdi_objects.h"
#include "platform/ole/dispatch.h"

namespace pelmor::ole {

constexpr int16_t ANSI_CHARSET = 0;
constexpr int16_t DEFAULT_CHARSET = 1;

constexpr double kLargestFontSize = 16384;

struct FontDesc {
  std::string name = "DejaVu Sans";  // narrow encoding (UTF-8)
  double size = 12.0;                // points
  int16_t weight = platform::FW_NORMAL;
  int16_t charset = DEFAULT_CHARSET;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;

  bool Bold() const { return weight > 550; }
  // Whether the font's own setters would take every part: a name, a size above 0 and at most
  // kLargestFontSize points, a weight of 0 ... 1000 and a character set of 0 ... 255.
  bool Valid() const;
  platform::FontDescription ForDrawing() const;
  bool operator==(const FontDesc&) const = default;
};

// Whoever owns a font object learns here that its description changed.
class FontChangeSink {
 public:
  virtual void OnFontObjectChanged() = 0;

 protected:
  ~FontChangeSink() = default;
};

class COleFont : public DispatchObject {
 public:
  explicit COleFont(FontDesc desc = {});
  ~COleFont() override;
  COleFont(const COleFont&) = delete;
  COleFont& operator=(const COleFont&) = delete;

  const FontDesc& Desc() const { return desc_; }
  // Replaces the description and tells the sink.
  void SetDesc(const FontDesc& desc);
  // The owner to tell of changes (null: nobody). The owner clears it before it goes away.
  void SetSink(FontChangeSink* sink) { sink_ = sink; }

  // Setters of the dispatch interface; an unusable value raises 0x800A017C and changes nothing.
  void SetName(std::string name);        // not empty
  void SetSize(double points);           // above 0, at most 16384
  void SetWeight(int32_t weight);        // 0 ... 1000
  void SetCharset(int32_t charset);      // 0 ... 255
  void SetBold(bool bold);               // weight 700 or 400
  void SetItalic(bool on);
  void SetUnderline(bool on);
  void SetStrikethrough(bool on);

  // The drawing font for the current description, made when first asked for and kept until the
  // description changes. Owned by this object.
  platform::HFONT Handle();

  const DispatchTable& GetDispatchTable() const override;
  static const DispatchTable& Table();

 private:
  void Changed();
  void DropHandle();

  FontDesc desc_;
  FontChangeSink* sink_ = nullptr;
  platform::HFONT handle_ = nullptr;
};

}  // namespace pelmor::ole
