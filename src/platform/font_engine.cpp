#include "platform/font_engine.h"

#include <cmath>

namespace pelmor::platform {

int32_t FontDescription::PixelSize() const {
  const double px = std::round(pointSize * 96.0 / 72.0);
  if (!(px >= 1.0)) return 1;  // also for NaN
  return px > 4096.0 ? 4096 : static_cast<int32_t>(px);
}

namespace {

class FixedFace : public FontFace {
 public:
  FixedFace(const FixedFontEngine::Shape& shape) : shape_(shape) {
    auto box = std::make_shared<GlyphBitmap>();
    box->left = shape.boxLeft;
    box->top = shape.boxTop;
    box->width = shape.boxWidth;
    box->height = shape.boxHeight;
    box->coverage.assign(static_cast<size_t>(shape.boxWidth) * shape.boxHeight, 255);
    box_ = std::move(box);
  }
  FontMetrics Metrics() const override {
    FontMetrics m;
    m.ascent = shape_.ascent;
    m.descent = shape_.descent;
    m.underlinePosition = 1;
    m.underlineThickness = 1;
    m.strikeoutPosition = shape_.ascent / 3;
    m.strikeoutThickness = 1;
    return m;
  }
  int32_t Advance(char32_t) override { return shape_.advance; }
  std::shared_ptr<const GlyphBitmap> Glyph(char32_t c) override {
    return c > U' ' ? box_ : nullptr;
  }

 private:
  FixedFontEngine::Shape shape_;
  std::shared_ptr<const GlyphBitmap> box_;
};

}  // namespace

std::shared_ptr<FontFace> FixedFontEngine::Face(const FontDescription&) {
  return std::make_shared<FixedFace>(shape_);
}

}  // namespace pelmor::platform
