// Coverage masks of glyphs, kept from picture to picture. Text fields draw the same glyphs at the same size
// and position frame after frame (the layout is kept), and a few dozen letters make up most texts: a glyph
// drawn again at the same size, slant and sub-pixel position is copied from its mask instead of being
// flattened and swept again. A mask is the rasterizer's own coverage of the outline with the glyph's origin
// moved to the nearest 1/64 pixel, so pictures stay as they were drawn from the outlines.
//
// Owns: the masks (at most kBudgetBytes between trims).
// Threads: one cache per renderer; not shared.
// Never: hands out a mask that trim() may have dropped while the caller still holds it (trim only between
// fields), or keeps masks of glyphs too large to be worth it (those are drawn as paths).
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "player/raster/coverage.h"
#include "player/raster/flatten.h"
#include "player/render/geometry.h"
#include "player/text/font.h"

namespace player::text {

struct GlyphMask {
    int x = 0, y = 0;  // top left pixel, relative to the pixel that holds the glyph's origin
    int width = 0, height = 0;
    std::vector<uint8_t> coverage;  // width x height, rows top down; empty for blank glyphs
};

class GlyphMaskCache {
  public:
    // Sub-pixel positions told apart, per axis.
    static constexpr int kPhases = 64;
    // Larger glyphs are drawn as paths.
    static constexpr int kMaxMaskPixels = 160 * 160;
    static constexpr size_t kBudgetBytes = size_t(16) << 20;

    // The mask of `glyph` mapped by `toDevice` (font units to device pixels) and filled with `rule`, or null
    // when the glyph is too large or the cache is full (draw the outline instead). `px`, `py` receive the
    // pixel the mask's position is relative to.
    const GlyphMask* find(const Glyph& glyph, raster::FillRule rule, bool antialias, const Matrix& toDevice,
                          int& px, int& py);
    // Drops every mask once the cache has outgrown its budget. Masks found before are then invalid.
    void trim();
    size_t bytes() const { return bytes_; }
    size_t size() const { return masks_.size(); }

  private:
    struct Key {
        uint64_t glyph;
        double a, b, c, d;
        int16_t fx, fy;
        uint8_t rule, antialias;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    // Null when the glyph is too large to keep.
    std::unique_ptr<GlyphMask> rasterize(const Glyph& glyph, const Key& key);

    std::unordered_map<Key, std::unique_ptr<GlyphMask>, KeyHash> masks_;
    size_t bytes_ = 0;
    raster::Path path_;
    raster::Polylines polylines_;
    raster::CoverageRasterizer coverage_;
};

}  // namespace player::text
