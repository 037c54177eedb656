#include "player/text/glyph_cache.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "player/raster/limits.h"

namespace player::text {

namespace {

// Writes the sweep's runs into a mask.
class MaskSink final : public raster::RowSink {
  public:
    explicit MaskSink(GlyphMask& mask) : mask_(mask) {}
    void row(int y, const raster::CoverageSpan* spans, int count) override {
        uint8_t* row = mask_.coverage.data() + size_t(y) * size_t(mask_.width);
        for (int i = 0; i < count; ++i) {
            const int x0 = std::max(spans[i].x0, 0), x1 = std::min(spans[i].x1, mask_.width);
            if (x0 < x1) std::memset(row + x0, spans[i].coverage, size_t(x1 - x0));
        }
    }

  private:
    GlyphMask& mask_;
};

template <typename T>
void mix(size_t& h, const T& v) {
    h ^= std::hash<T>{}(v) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
}

}  // namespace

size_t GlyphMaskCache::KeyHash::operator()(const Key& k) const {
    size_t h = 0;
    mix(h, k.glyph);
    mix(h, k.a);
    mix(h, k.b);
    mix(h, k.c);
    mix(h, k.d);
    mix(h, (int(k.fx) << 16) | (int(k.fy) << 2) | (k.rule << 1) | k.antialias);
    return h;
}

const GlyphMask* GlyphMaskCache::find(const Glyph& glyph, raster::FillRule rule, bool antialias,
                                      const Matrix& toDevice, int& px, int& py) {
    // Far-off positions (and non-finite numbers) are left to the path rasterizer's own clamping.
    constexpr double kFar = 1 << 24;
    const double tx = std::floor(toDevice.tx * kPhases + 0.5), ty = std::floor(toDevice.ty * kPhases + 0.5);
    if (!(std::abs(tx) < kFar * kPhases && std::abs(ty) < kFar * kPhases)) return nullptr;
    const double sum =
        std::abs(toDevice.a) + std::abs(toDevice.b) + std::abs(toDevice.c) + std::abs(toDevice.d);
    if (!std::isfinite(sum)) return nullptr;
    const double cellX = std::floor(tx / kPhases), cellY = std::floor(ty / kPhases);
    px = int(cellX);
    py = int(cellY);
    Key key{glyph.serial,
            toDevice.a,
            toDevice.b,
            toDevice.c,
            toDevice.d,
            int16_t(tx - cellX * kPhases),
            int16_t(ty - cellY * kPhases),
            uint8_t(rule == raster::FillRule::NonZero),
            uint8_t(antialias)};
    auto it = masks_.find(key);
    if (it != masks_.end()) return it->second.get();
    if (bytes_ >= kBudgetBytes) return nullptr;
    std::unique_ptr<GlyphMask> mask = rasterize(glyph, key);
    const GlyphMask* out = mask.get();
    bytes_ += sizeof(Key) + sizeof(GlyphMask) + 32 + (mask ? mask->coverage.size() : 0);
    masks_.emplace(key, std::move(mask));
    return out;
}

std::unique_ptr<GlyphMask> GlyphMaskCache::rasterize(const Glyph& glyph, const Key& key) {
    auto mask = std::make_unique<GlyphMask>();
    path_ = glyph.outline;
    path_.transform(Matrix{key.a, key.b, key.c, key.d, double(key.fx) / kPhases, double(key.fy) / kPhases});
    if (!raster::flattenPath(path_, raster::kGlyphFlattenTolerance, polylines_)) return nullptr;
    auto& pts = polylines_.points;
    if (pts.empty()) return mask;
    double x0 = pts[0].x, x1 = x0, y0 = pts[0].y, y1 = y0;
    for (const raster::Point& p : pts) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    // The glyph's pixels: a glyph at its origin spans a few hundred pixels at most, so the box fits in
    // int once it is known to be small.
    const double w = std::floor(x1) - std::floor(x0) + 1, h = std::floor(y1) - std::floor(y0) + 1;
    if (!(w * h <= kMaxMaskPixels)) return nullptr;
    mask->x = int(std::floor(x0));
    mask->y = int(std::floor(y0));
    mask->width = int(w);
    mask->height = int(h);
    // Whole-pixel moves keep every sample where it was relative to the outline.
    for (raster::Point& p : pts) {
        p.x -= mask->x;
        p.y -= mask->y;
    }
    coverage_.clearEdges();
    coverage_.addPolygons(polylines_);
    if (coverage_.edgeCount() > size_t(raster::kMaxEdgesPerPath)) return nullptr;
    mask->coverage.assign(size_t(mask->width) * size_t(mask->height), 0);
    coverage_.setClip(mask->width, 0, mask->height);
    MaskSink sink(*mask);
    coverage_.sweep(key.rule ? raster::FillRule::NonZero : raster::FillRule::EvenOdd, key.antialias != 0,
                    sink);
    return mask;
}

void GlyphMaskCache::trim() {
    if (bytes_ < kBudgetBytes) return;
    masks_.clear();
    bytes_ = 0;
}

}  // namespace player::text
