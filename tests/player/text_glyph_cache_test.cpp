// Glyph masks kept between pictures: a glyph painted from its mask must show the pixels its outline gives
// at that position, masks must be told apart by glyph, size and sub-pixel position, and the cache must stay
// within its budget. Painting through a mask obeys the canvas's clip like any fill.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "player/text/glyph_cache.h"
#include "raster_fixture.h"

namespace {

using player::Matrix;
using player::text::Glyph;
using player::text::GlyphMask;
using player::text::GlyphMaskCache;
using raster::FillRule;
using raster_test::Surface;

// An "O" with a crossing stroke: curves, a hole, and contours that overlap (so the fill rules differ).
Glyph testGlyph() {
    Glyph g;
    g.advance = 1000;
    raster::Path& p = g.outline;
    p.moveTo(500, -900);
    p.quadTo(900, -900, 900, -450);
    p.quadTo(900, 0, 500, 0);
    p.quadTo(100, 0, 100, -450);
    p.quadTo(100, -900, 500, -900);
    p.close();
    p.moveTo(500, -700);
    p.quadTo(300, -700, 300, -450);
    p.quadTo(300, -200, 500, -200);
    p.quadTo(700, -200, 700, -450);
    p.quadTo(700, -700, 500, -700);
    p.close();
    p.moveTo(0, -500);
    p.lineTo(1000, -420);
    p.lineTo(1000, -330);
    p.lineTo(0, -410);
    p.close();
    return g;
}

const raster::Paint kInk = raster::Paint::solid({20, 40, 200, 255});

void paintMask(Surface& s, GlyphMaskCache& cache, const Glyph& g, FillRule rule, bool aa, const Matrix& m) {
    int px = 0, py = 0;
    const GlyphMask* mask = cache.find(g, rule, aa, m, px, py);
    ASSERT_NE(mask, nullptr);
    ASSERT_FALSE(mask->coverage.empty());
    s.canvas.fillCoverage(mask->coverage.data(), px + mask->x, py + mask->y, mask->width, mask->height,
                          mask->width, kInk, aa);
}

TEST(GlyphMaskCache, MasksPaintThePixelsOfTheOutline) {
    struct Case {
        double scale, tx, ty;
        FillRule rule;
        bool antialias;
    } cases[] = {
        {0.012, 3, 14, FillRule::NonZero, true},                          // 12 px text on whole pixels
        {0.012, 3 + 17 / 64.0, 14 + 40 / 64.0, FillRule::NonZero, true},  // on a sub-pixel position
        {0.03, 1 + 5 / 64.0, 30 + 63 / 64.0, FillRule::EvenOdd, true},    // larger, even-odd
        {0.02, -4 + 9 / 64.0, 22 + 1 / 64.0, FillRule::EvenOdd, false},   // aliased, partly off the canvas
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        const Glyph g = testGlyph();
        const Matrix m{c.scale, 0, 0.2 * c.scale, c.scale, c.tx, c.ty};  // slanted, as italics are
        Surface direct(40, 40), masked(40, 40);
        raster::Path p = g.outline;
        p.transform(m);
        direct.canvas.fillPath(p, c.rule, kInk, c.antialias, raster::kGlyphFlattenTolerance);
        GlyphMaskCache cache;
        paintMask(masked, cache, g, c.rule, c.antialias, m);
        int differing = 0, worst = 0;
        for (size_t i = 0; i < direct.pixels.size(); ++i) {
            const int d = std::abs(int(direct.pixels[i] >> 24) - int(masked.pixels[i] >> 24));
            differing += d != 0;
            worst = std::max(worst, d);
        }
        EXPECT_GT(direct.coveredPixels(), 20);
        EXPECT_EQ(differing, 0) << "worst alpha difference " << worst;
    }
}

TEST(GlyphMaskCache, MasksAreToldApartAndBounded) {
    const Glyph a = testGlyph(), b = testGlyph();
    GlyphMaskCache cache;
    int px = 0, py = 0;
    const Matrix m{0.012, 0, 0, 0.012, 10.25, 20.5};
    const GlyphMask* first = cache.find(a, FillRule::NonZero, true, m, px, py);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(px, 10);
    EXPECT_EQ(py, 20);
    // The same glyph a whole number of pixels away shares the mask; anything else has its own.
    Matrix moved = m;
    moved.tx += 7;
    moved.ty -= 3;
    EXPECT_EQ(cache.find(a, FillRule::NonZero, true, moved, px, py), first);
    EXPECT_EQ(px, 17);
    EXPECT_EQ(py, 17);
    Matrix phase = m;
    phase.tx += 0.5;
    Matrix larger = m;
    larger.a = larger.d = 0.013;
    EXPECT_NE(cache.find(a, FillRule::NonZero, true, phase, px, py), first);
    EXPECT_NE(cache.find(a, FillRule::NonZero, true, larger, px, py), first);
    EXPECT_NE(cache.find(b, FillRule::NonZero, true, m, px, py), first);
    EXPECT_NE(cache.find(a, FillRule::EvenOdd, true, m, px, py), first);
    EXPECT_NE(cache.find(a, FillRule::NonZero, false, m, px, py), first);
    EXPECT_EQ(cache.size(), 6u);

    // Huge glyphs, far-off and non-finite positions are left to the outline.
    EXPECT_EQ(cache.find(a, FillRule::NonZero, true, Matrix{1, 0, 0, 1, 0, 0}, px, py), nullptr);
    EXPECT_EQ(cache.find(a, FillRule::NonZero, true, Matrix{0.012, 0, 0, 0.012, 1e12, 0}, px, py), nullptr);
    EXPECT_EQ(cache.find(a, FillRule::NonZero, true, Matrix{0.012, 0, 0, 0.012, 0, 0.0 / 0.0}, px, py),
              nullptr);
    EXPECT_EQ(cache.find(a, FillRule::NonZero, true, Matrix{1e300, 0, 0, 1e300, 0, 0}, px, py), nullptr);

    // Text moving by fractions of a pixel makes a new mask each time: past the budget no more are kept,
    // and trim() starts over.
    Matrix big{0.15, 0, 0, 0.15, 0, 0};
    bool refused = false;
    for (int i = 0; i < 4096 && !refused; ++i) {
        big.tx = (i % 64) / 64.0;
        big.ty = (i / 64) / 64.0;
        refused = cache.find(a, FillRule::NonZero, true, big, px, py) == nullptr;
    }
    EXPECT_TRUE(refused);
    EXPECT_GE(cache.bytes(), GlyphMaskCache::kBudgetBytes);
    EXPECT_LT(cache.bytes(), GlyphMaskCache::kBudgetBytes + 64 * 1024);
    cache.trim();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_NE(cache.find(a, FillRule::NonZero, true, big, px, py), nullptr);
}

TEST(GlyphMaskCache, PaintingThroughAMaskObeysTheClipAndTheCanvasEdges) {
    std::vector<uint8_t> mask(10 * 10, 255);
    Surface s(20, 20);
    s.canvas.beginMask();
    s.canvas.fillPath(raster_test::rect(0, 0, 5, 20), FillRule::NonZero, kInk);
    s.canvas.endMask();
    s.canvas.fillCoverage(mask.data(), 2, 2, 10, 10, 10, kInk);
    EXPECT_EQ(s.alpha(3, 3), 255);
    EXPECT_EQ(s.alpha(6, 3), 0);   // clipped
    EXPECT_EQ(s.alpha(3, 12), 0);  // below the mask
    s.canvas.popMask();
    // Masks lying partly or wholly off the canvas paint only what is on it.
    s.canvas.fillCoverage(mask.data(), -5, 15, 10, 10, 10, kInk);
    s.canvas.fillCoverage(mask.data(), 2147483600, -2147483600, 10, 10, 10, kInk);
    EXPECT_EQ(s.alpha(0, 19), 255);
    EXPECT_EQ(s.alpha(5, 19), 0);
    EXPECT_NEAR(s.coveredPixels(), 3 * 10 + 5 * 5, 0.01);
}

}  // namespace
