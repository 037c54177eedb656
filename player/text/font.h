// Fonts for text fields: the glyph sets a movie embeds (DefineFont 1/2/3 with their layout tables) and the
// fonts of the system, found by fontconfig and read with FreeType. Both give glyph outlines as rasterizer
// paths in font units, advances, kerning and the ascent/descent of the font; the layout engine scales them
// by the text size.
//
// Owns: a device font owns its FreeType face and the outlines it has converted (kept for the life of the
// process, shared by every player). An embedded font refers to its movie's definition, which outlives it.
// Threads: device fonts may be used from several players at once (a lock guards each face).
// Never: fails for a missing font: an unknown name falls back to the sans font, and when the system has no
// font at all, text is laid out with plain advances and drawn as nothing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "player/raster/coverage.h"
#include "player/raster/path.h"

namespace player {
struct FontCharacter;
}

namespace player::text {

// A number no other glyph of the process has had (masks of drawn glyphs are kept under it).
uint64_t newGlyphSerial();

struct Glyph {
    raster::Path outline;  // font units, y down; empty for spaces; never changed once drawn
    double advance = 0;    // font units
    uint64_t serial = newGlyphSerial();
};

class Font {
  public:
    virtual ~Font() = default;
    // The glyph of a character, or null when the font has none.
    virtual const Glyph* glyph(char32_t c) const = 0;
    // Extra advance between two characters, font units.
    virtual double kerning(char32_t, char32_t) const { return 0; }
    virtual bool device() const = 0;

    double unitsPerEm = 1024;
    double ascent = 0, descent = 0, leading = 0;  // font units, descent positive
    raster::FillRule rule = raster::FillRule::EvenOdd;
    std::string name;
    bool bold = false, italic = false;
};

// A glyph set a movie embeds. Characters are looked up through the font's code table.
class EmbeddedFont : public Font {
  public:
    explicit EmbeddedFont(const FontCharacter& font);
    const Glyph* glyph(char32_t c) const override;
    double kerning(char32_t a, char32_t b) const override;
    bool device() const override { return false; }
    size_t glyphCount() const { return glyphs_.size(); }

  private:
    std::vector<Glyph> glyphs_;
    std::unordered_map<char32_t, uint32_t> byCode_;
    std::map<std::pair<char32_t, char32_t>, double> kerning_;
};

// A font of the system. Outlines are converted on first use and kept.
class DeviceFont : public Font {
  public:
    ~DeviceFont() override;
    const Glyph* glyph(char32_t c) const override;
    double kerning(char32_t a, char32_t b) const override;
    bool device() const override { return true; }
    // The file fontconfig chose (empty when the system has no font).
    const std::string& file() const { return file_; }

    // The font that stands for `family` ("_sans", "_serif", "_typewriter" or a name such as "Arial"), in
    // the style asked for. Never null: without any system font, a font without outlines is returned.
    static std::shared_ptr<const DeviceFont> find(const std::string& family, bool bold, bool italic);

  private:
    DeviceFont() = default;
    struct Face;
    std::unique_ptr<Face> face_;
    std::string file_;
    mutable std::mutex mutex_;
    mutable std::unordered_map<char32_t, std::unique_ptr<Glyph>> cache_;
    static constexpr size_t kMaxCachedGlyphs = 65536;
};

}  // namespace player::text
