// The default font engine: fontconfig finds the file for a family, FreeType renders its glyphs as
// grey coverage.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "platform/font_engine.h"

namespace pelmor::platform {

namespace {

int32_t CeilPixels(FT_Pos v) { return static_cast<int32_t>((v + 63) >> 6); }
int32_t RoundPixels(FT_Pos v) { return static_cast<int32_t>((v + 32) >> 6); }

class FreeTypeFace : public FontFace {
 public:
  // Takes ownership of the face.
  FreeTypeFace(FT_Face face, bool emboldenSynthesised, bool obliqueSynthesised)
      : face_(face), embolden_(emboldenSynthesised), oblique_(obliqueSynthesised) {
    const FT_Size_Metrics& sm = face->size->metrics;
    metrics_.ascent = CeilPixels(sm.ascender);
    metrics_.descent = CeilPixels(-sm.descender);
    const FT_Fixed yScale = sm.y_scale;
    if (FT_IS_SCALABLE(face)) {
      metrics_.underlinePosition =
          std::max(1, RoundPixels(-FT_MulFix(face->underline_position, yScale)));
      metrics_.underlineThickness =
          std::max(1, RoundPixels(FT_MulFix(face->underline_thickness, yScale)));
      const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      if (os2 != nullptr && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
        metrics_.strikeoutPosition = RoundPixels(FT_MulFix(os2->yStrikeoutPosition, yScale));
        metrics_.strikeoutThickness =
            std::max(1, RoundPixels(FT_MulFix(os2->yStrikeoutSize, yScale)));
      } else {
        metrics_.strikeoutPosition = metrics_.ascent / 3;
        metrics_.strikeoutThickness = metrics_.underlineThickness;
      }
    } else {
      metrics_.underlinePosition = 1;
      metrics_.strikeoutPosition = metrics_.ascent / 3;
    }
  }
  ~FreeTypeFace() override { FT_Done_Face(face_); }

  FontMetrics Metrics() const override { return metrics_; }

  int32_t Advance(char32_t c) override {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = advances_.find(c);
    if (it != advances_.end()) return it->second;
    if (advances_.size() >= kMaxAdvances) advances_.clear();
    int32_t advance = 0;
    if (LoadSynthesised(c)) advance = RoundPixels(face_->glyph->advance.x);
    advances_.emplace(c, advance);
    return advance;
  }

  std::shared_ptr<const GlyphBitmap> Glyph(char32_t c) override {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = glyphs_.find(c);
    if (it != glyphs_.end()) return it->second;
    std::shared_ptr<const GlyphBitmap> g = Render(c);
    const size_t bytes = g != nullptr ? g->coverage.size() : 0;
    // The cache is bounded: large sizes and many characters cannot pile up memory. Glyphs handed
    // out stay alive with their holders.
    if (cachedBytes_ + bytes > kCacheBytes || glyphs_.size() >= kMaxAdvances) {
      glyphs_.clear();
      cachedBytes_ = 0;
    }
    if (bytes <= kCacheBytes) {
      glyphs_.emplace(c, g);
      cachedBytes_ += bytes;
    }
    return g;
  }

 private:
  static constexpr size_t kCacheBytes = size_t{8} << 20;
  static constexpr size_t kMaxAdvances = 65536;

  // Loads a character's outline with the synthesised slant and weight. Called with lock_ held.
  bool LoadSynthesised(char32_t c) {
    if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (oblique_) FT_GlyphSlot_Oblique(slot);
      if (embolden_) FT_GlyphSlot_Embolden(slot);
    }
    return true;
  }

  // The character's coverage, or null when it paints nothing. Called with lock_ held.
  std::shared_ptr<const GlyphBitmap> Render(char32_t c) {
    if (!LoadSynthesised(c)) return nullptr;
    FT_GlyphSlot slot = face_->glyph;
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return nullptr;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.width == 0 || bm.rows == 0) return nullptr;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return nullptr;
    auto g = std::make_shared<GlyphBitmap>();
    g->left = slot->bitmap_left;
    g->top = slot->bitmap_top;
    g->width = static_cast<int32_t>(bm.width);
    g->height = static_cast<int32_t>(bm.rows);
    g->coverage.resize(static_cast<size_t>(g->width) * g->height);
    for (int32_t y = 0; y < g->height; ++y) {
      const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
      uint8_t* dst = g->coverage.data() + static_cast<size_t>(y) * g->width;
      for (int32_t x = 0; x < g->width; ++x) {
        if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
          dst[x] = static_cast<uint8_t>(bm.num_grays == 256 ? src[x]
                                                             : src[x] * 255 / (bm.num_grays - 1));
        } else {
          dst[x] = (src[x >> 3] >> (7 - (x & 7)) & 1) ? 255 : 0;
        }
      }
    }
    return g;
  }

  FT_Face face_;
  bool embolden_;
  bool oblique_;
  FontMetrics metrics_;
  std::mutex lock_;
  std::unordered_map<char32_t, int32_t> advances_;
  std::unordered_map<char32_t, std::shared_ptr<const GlyphBitmap>> glyphs_;
  size_t cachedBytes_ = 0;
};

class FreeTypeEngine : public FontEngine {
 public:
  FreeTypeEngine() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  ~FreeTypeEngine() override {
    faces_.clear();
    if (library_ != nullptr) FT_Done_FreeType(library_);
    if (config_ != nullptr) FcConfigDestroy(config_);
  }

  std::vector<std::string> Families() override {
    std::lock_guard<std::mutex> hold(lock_);
    if (config_ == nullptr) config_ = FcInitLoadConfigAndFonts();
    std::vector<std::string> names;
    if (config_ == nullptr) return names;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = pattern != nullptr && objects != nullptr ? FcFontList(config_, pattern, objects) : nullptr;
    if (set != nullptr) {
      for (int i = 0; i < set->nfont; ++i) {
        FcChar8* family = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch && family != nullptr) {
          names.emplace_back(reinterpret_cast<const char*>(family));
        }
      }
      FcFontSetDestroy(set);
    }
    if (objects != nullptr) FcObjectSetDestroy(objects);
    if (pattern != nullptr) FcPatternDestroy(pattern);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }

  std::shared_ptr<FontFace> Face(const FontDescription& font) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (library_ == nullptr) return nullptr;
    // A configuration of our own, loaded on first use and released with the engine.
    if (config_ == nullptr) config_ = FcInitLoadConfigAndFonts();
    if (config_ == nullptr) return nullptr;
    const Key key{font.faceName, font.PixelSize(), font.weight >= 600, font.italic};
    auto it = faces_.find(key);
    if (it != faces_.end()) return it->second;
    std::shared_ptr<FontFace> face = Open(font);
    // Faces in use stay alive with their users; the engine keeps a bounded number for reuse, so
    // that many names and sizes cannot pile up.
    if (faces_.size() >= kMaxFaces) faces_.clear();
    if (face) faces_.emplace(key, face);
    return face;
  }

 private:
  using Key = std::tuple<std::string, int32_t, bool, bool>;
  static constexpr size_t kMaxFaces = 32;

  // The file fontconfig picks for the description, opened at its pixel size.
  std::shared_ptr<FontFace> Open(const FontDescription& font) {
    const bool bold = font.weight >= 600;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return nullptr;
    const std::string family = font.faceName.empty() ? "DejaVu Sans" : font.faceName;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    // The default face comes after the requested one, so that an unknown name still finds it.
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, font.PixelSize());
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config_, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return nullptr;
    FcChar8* file = nullptr;
    int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    std::string path;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
      path = reinterpret_cast<const char*>(file);
    }
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(match, FC_SLANT, 0, &slant);
    FcPatternDestroy(match);
    if (path.empty()) return nullptr;

    FT_Face face = nullptr;
    if (FT_New_Face(library_, path.c_str(), index, &face) != 0) return nullptr;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(font.PixelSize())) != 0) {
      FT_Done_Face(face);
      return nullptr;
    }
    const bool embolden = bold && weight < FC_WEIGHT_DEMIBOLD;
    const bool oblique = font.italic && slant == FC_SLANT_ROMAN;
    return std::make_shared<FreeTypeFace>(face, embolden, oblique);
  }

  std::mutex lock_;
  FcConfig* config_ = nullptr;
  FT_Library library_ = nullptr;
  std::map<Key, std::shared_ptr<FontFace>> faces_;
};

}  // namespace

FontEngine& DefaultFontEngine() {
  static FreeTypeEngine engine;
  return engine;
}

}  // namespace pelmor::platform
