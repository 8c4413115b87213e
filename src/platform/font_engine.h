// Fonts for the drawing layer: what a font asks for, and the engine that turns it into glyphs.
// The default engine is FreeType with fontconfig; tests use the fixed engine, whose glyphs are
// known boxes, so that text layout can be checked pixel for pixel.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pelmor::platform {

constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_BOLD = 700;

// A font as a control's Font property describes it.
struct FontDescription {
  std::string faceName = "DejaVu Sans";
  double pointSize = 12.0;  // at 96 pixels per inch
  int32_t weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;

  // The em height in pixels: the point size at 96 pixels per inch, rounded, at least 1.
  int32_t PixelSize() const;
  bool operator==(const FontDescription&) const = default;
};

// The coverage of one character, placed relative to the pen on the baseline.
struct GlyphBitmap {
  int32_t left = 0;  // from the pen to the first column
  int32_t top = 0;   // from the baseline up to the first row
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> coverage;  // width x height, rows from the top; 0 none, 255 full
};

struct FontMetrics {
  int32_t ascent = 0;              // pixels above the baseline
  int32_t descent = 0;             // pixels below it; the cell height is ascent + descent
  int32_t underlinePosition = 0;   // top of the underline, pixels below the baseline
  int32_t underlineThickness = 1;
  int32_t strikeoutPosition = 0;   // top of the strike-out line, pixels above the baseline
  int32_t strikeoutThickness = 1;
};

// One face at one size. Safe to use from several threads.
class FontFace {
 public:
  virtual ~FontFace() = default;
  virtual FontMetrics Metrics() const = 0;
  // Horizontal advance of a character in whole pixels.
  virtual int32_t Advance(char32_t c) = 0;
  // The character's coverage, or null when it paints nothing. The caller's reference keeps it
  // valid; a face may forget glyphs it has handed out (its cache is bounded).
  virtual std::shared_ptr<const GlyphBitmap> Glyph(char32_t c) = 0;
};

class FontEngine {
 public:
  virtual ~FontEngine() = default;
  // The face that draws a description; null when there is none.
  virtual std::shared_ptr<FontFace> Face(const FontDescription& font) = 0;
  // The names of the font families it can draw, sorted, each once.
  virtual std::vector<std::string> Families() { return {}; }
};

// FreeType and fontconfig: the face whose family best matches the name (DejaVu Sans when nothing
// closer is installed), bold and italic synthesised when the family lacks them.
FontEngine& DefaultFontEngine();

// Every printable character is `advance` pixels wide and paints a solid box from `boxLeft` to
// boxLeft + boxWidth, and from `boxTop` above the baseline down boxHeight rows; a space and control
// characters paint nothing. Size, weight and face are ignored.
class FixedFontEngine : public FontEngine {
 public:
  struct Shape {
    int32_t advance = 8;
    int32_t ascent = 12;
    int32_t descent = 4;
    int32_t boxLeft = 1;
    int32_t boxTop = 9;
    int32_t boxWidth = 6;
    int32_t boxHeight = 9;
  };
  FixedFontEngine() = default;
  explicit FixedFontEngine(const Shape& shape) : shape_(shape) {}
  std::shared_ptr<FontFace> Face(const FontDescription& font) override;
  std::vector<std::string> Families() override { return {"Fixed"}; }

 private:
  Shape shape_;
};

}  // namespace pelmor::platform
