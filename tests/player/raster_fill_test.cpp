// Filling paths: fill rules, anti-aliased coverage, aliased low quality, compositing, clipping to the
// canvas and hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "raster_fixture.h"

using namespace raster_test;
using raster::FillRule;
using raster::Path;

TEST(RasterFill, OpaqueRectangleOnPixelEdgesIsExact) {
    Surface s;
    ASSERT_TRUE(s.canvas.fillPath(rect(4, 6, 20, 10), solid(255, 0, 0)));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            bool inside = x >= 4 && x < 20 && y >= 6 && y < 10;
            ASSERT_EQ(s.at(x, y), inside ? 0xffff0000u : 0u) << x << "," << y;
        }
    }
}

// Two squares overlapping in the same direction, and a square with a square inside wound either way.
TEST(RasterFill, FillRules) {
    struct Case {
        const char* name;
        bool innerClockwise;
        FillRule rule;
        bool overlapFilled;
    } cases[] = {
        {"even-odd, same winding", true, FillRule::EvenOdd, false},
        {"non-zero, same winding", true, FillRule::NonZero, true},
        {"even-odd, opposite winding", false, FillRule::EvenOdd, false},
        {"non-zero, opposite winding", false, FillRule::NonZero, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface s;
        Path p;
        addRect(p, 2, 2, 30, 30);
        addRect(p, 10, 10, 20, 20, c.innerClockwise);  // a hole, or a doubled region
        s.canvas.fillPath(p, c.rule, solid(0, 0, 255));
        EXPECT_EQ(s.alpha(5, 5), 255);
        EXPECT_EQ(s.alpha(15, 15), c.overlapFilled ? 255 : 0);
        EXPECT_EQ(s.alpha(1, 1), 0);
    }
    // One self-intersecting outline (a bow tie crossing itself twice), as a single SWF fill style's edges
    // can form: the doubly wound middle is empty under even-odd, the default.
    Surface s;
    Path star;
    star.moveTo(2, 10);
    star.lineTo(30, 10);
    star.lineTo(30, 20);
    star.lineTo(10, 20);
    star.lineTo(10, 2);
    star.lineTo(20, 2);
    star.lineTo(20, 30);
    star.lineTo(2, 30);
    star.close();
    s.canvas.fillPath(star, solid(0, 0, 0));
    EXPECT_EQ(s.alpha(15, 15), 0);
    EXPECT_EQ(s.alpha(25, 15), 255);
    EXPECT_EQ(s.alpha(15, 5), 255);
}

TEST(RasterFill, AntialiasedEdgeCoverage) {
    // Edges half-way through a pixel give half coverage (8 of 16 samples: alpha 128), horizontal or
    // vertical; a quarter gives 64.
    Surface s;
    s.canvas.fillPath(rect(2, 2.5, 10.5, 10.25), solid(255, 255, 255));
    EXPECT_EQ(s.alpha(5, 2), 128);
    EXPECT_EQ(s.alpha(10, 5), 128);
    EXPECT_EQ(s.alpha(5, 10), 64);
    EXPECT_EQ(s.alpha(10, 10), 32);
    EXPECT_EQ(s.alpha(5, 5), 255);
    EXPECT_EQ(s.alpha(11, 5), 0);
    EXPECT_EQ(s.at(10, 5), 0x80808080u);  // premultiplied white at half coverage

    // A diagonal edge: total coverage equals the triangle's area, and the pixels along the diagonal are
    // partly covered.
    Surface t;
    Path tri;
    tri.moveTo(0.2, 0.1);
    tri.lineTo(16.3, 0.1);
    tri.lineTo(0.2, 15.7);
    tri.close();
    t.canvas.fillPath(tri, solid(0, 0, 0));
    EXPECT_NEAR(t.coveredPixels(), 16.1 * 15.6 / 2, 1.0);
    EXPECT_GT(t.alpha(7, 8), 0);
    EXPECT_LT(t.alpha(7, 8), 255);
}

TEST(RasterFill, LowQualitySamplesPixelCentresOnly) {
    Surface s;
    Path tri;
    tri.moveTo(1.3, 1.7);
    tri.lineTo(29.1, 5.2);
    tri.lineTo(8.6, 28.9);
    tri.close();
    s.canvas.fillPath(tri, FillRule::EvenOdd, solid(0, 255, 0), /*antialias=*/false);
    for (player::Pixel p : s.pixels)
        ASSERT_TRUE(p == 0 || p == 0xff00ff00u) << std::hex << p;
    EXPECT_NEAR(s.coveredPixels(), 0.5 * std::abs((29.1 - 1.3) * (28.9 - 1.7) - (8.6 - 1.3) * (5.2 - 1.7)),
                12.0);

    // A pixel is in when its centre is: an edge at x = 10.5 leaves pixel 10 out, one at 10.6 takes it in.
    Surface a, b;
    a.canvas.fillPath(rect(0, 0, 10.5, 4), FillRule::EvenOdd, solid(0, 0, 0), false);
    b.canvas.fillPath(rect(0, 0, 10.6, 4), FillRule::EvenOdd, solid(0, 0, 0), false);
    EXPECT_EQ(a.alpha(9, 1), 255);
    EXPECT_EQ(a.alpha(10, 1), 0);
    EXPECT_EQ(b.alpha(10, 1), 255);
}

// The coverage stage against the definition it implements: a sample (kSubScanlines x kSubSamplesX per pixel
// at their centres, or the pixel centre alone) is inside when the winding of the edges crossing its
// sub-scanline at or left of it passes the fill rule. Random tangles of polygons, overlapping themselves and
// reaching past every side of a clip that leaves out rows and columns.
TEST(RasterFill, CoverageIsThePointSampledWinding) {
    struct Edge {
        raster::Point a, b;
    };
    static constexpr int kWidth = 23, kY0 = 3, kY1 = 19;
    struct Rows final : raster::RowSink {
        std::vector<int> coverage = std::vector<int>(kWidth * kY1, 0);
        bool ordered = true;
        void row(int y, const raster::CoverageSpan* spans, int count) override {
            int x = 0;
            for (int i = 0; i < count; ++i) {
                const raster::CoverageSpan& s = spans[i];
                ordered &= y >= kY0 && y < kY1 && s.x0 >= x && s.x0 < s.x1 && s.x1 <= kWidth &&
                           s.coverage >= 1 && s.coverage <= 255;
                for (int px = std::max(s.x0, 0); px < std::min(s.x1, kWidth); ++px)
                    coverage[size_t(y * kWidth + px)] = s.coverage;
                x = s.x1;
            }
        }
    };
    auto expected = [](const std::vector<Edge>& edges, FillRule rule, bool aa, int px, int y) {
        const int subs = aa ? raster::kSubScanlines : 1, samples = aa ? raster::kSubSamplesX : 1;
        int n = 0;
        for (int s = 0; s < subs; ++s) {
            const double sy = y + (s + 0.5) / subs;
            for (int j = 0; j < samples; ++j) {
                const double sx = px + (j + 0.5) / samples;
                int winding = 0;
                for (const Edge& e : edges) {
                    const bool down = e.a.y < e.b.y;
                    const raster::Point top = down ? e.a : e.b, bot = down ? e.b : e.a;
                    if (!(top.y <= sy && sy < bot.y)) continue;
                    const double cx = top.x + (sy - top.y) * (bot.x - top.x) / (bot.y - top.y);
                    if (cx <= sx) winding += down ? 1 : -1;
                }
                n += rule == FillRule::EvenOdd ? (winding & 1) : winding != 0;
            }
        }
        const int a = n * 256 / (subs * samples);
        return a - (a >> 8);
    };
    std::mt19937 rng(14);
    std::uniform_real_distribution<double> x(-6, kWidth + 6), y(-4, kY1 + 4);
    raster::CoverageRasterizer cov;
    int partial = 0;
    for (int shape = 0; shape < 40; ++shape) {
        std::vector<Edge> edges;
        for (int poly = 0; poly < 1 + shape % 3; ++poly) {
            const int corners = 3 + int(rng() % 7);
            std::vector<raster::Point> pts;
            for (int i = 0; i < corners; ++i)
                pts.push_back({x(rng), y(rng)});
            if (shape % 4 == 3) {
                // Rectangles with sides on sample centres and between them: ties decide their samples.
                auto grid = [](double v) { return std::round(v * 8) / 8; };
                const double x0 = grid(pts[0].x), y0 = grid(pts[0].y), x1 = grid(pts[1].x),
                             y1 = grid(pts[1].y);
                pts = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
            }
            for (size_t i = 0; i < pts.size(); ++i)
                edges.push_back({pts[i], pts[(i + 1) % pts.size()]});
        }
        for (FillRule rule : {FillRule::EvenOdd, FillRule::NonZero}) {
            for (bool aa : {true, false}) {
                cov.setClip(kWidth, kY0, kY1);
                cov.clearEdges();
                for (const Edge& e : edges)
                    cov.addEdge(e.a, e.b);
                Rows rows;
                cov.sweep(rule, aa, rows);
                ASSERT_TRUE(rows.ordered) << "shape " << shape;
                for (int py = 0; py < kY1; ++py) {
                    for (int px = 0; px < kWidth; ++px) {
                        const int want = py < kY0 ? 0 : expected(edges, rule, aa, px, py);
                        partial += want > 0 && want < 255;
                        ASSERT_EQ(rows.coverage[size_t(py * kWidth + px)], want)
                            << "shape " << shape << " rule " << int(rule) << " aa " << aa << " at " << px
                            << "," << py;
                    }
                }
            }
        }
    }
    EXPECT_GT(partial, 1000);  // the shapes did exercise partly covered pixels
}

TEST(RasterFill, CurvesCoverTheirArea) {
    Surface s;
    s.canvas.fillPath(circle(16, 16, 12), solid(0, 0, 0));
    // Eight quadratic arcs enclose 3.15195 r^2 (chord octagon plus eight parabolic segments); flattening
    // cuts inside the curve by at most kFlattenTolerance along the 76 px outline.
    const double area = 3.15195 * 144;
    EXPECT_LE(s.coveredPixels(), area + 1);
    EXPECT_GE(s.coveredPixels(), area - 76 * raster::kFlattenTolerance - 1);
    EXPECT_EQ(s.alpha(16, 16), 255);
    EXPECT_EQ(s.alpha(16, 3), 0);
    EXPECT_EQ(s.alpha(2, 2), 0);
}

TEST(RasterFill, SourceOverPremultiplied) {
    Surface s;
    s.canvas.clear({0, 0, 255, 255});
    s.canvas.fillPath(rect(0, 0, 8, 8), solid(255, 0, 0, 128));
    // red 255 at alpha 128 is 128 premultiplied; blue keeps 255 * 127 / 255.
    EXPECT_EQ(s.at(3, 3), 0xff80007fu);
    EXPECT_EQ(s.at(12, 3), 0xff0000ffu);
    // Half coverage of the same colour halves its contribution again.
    s.canvas.fillPath(rect(10, 0, 12.5, 8), solid(255, 255, 255, 255));
    // White at half coverage (premultiplied 0x80 per channel) over that blue: 128 + 255 * 127 / 255.
    EXPECT_EQ(s.at(12, 3), 0xff8080ffu);
}

TEST(RasterFill, ShapesBeyondTheCanvasAreClipped) {
    Surface s;
    s.canvas.fillPath(rect(-10, -10, 5.5, 40), solid(0, 0, 0));
    EXPECT_EQ(s.alpha(0, 0), 255);
    EXPECT_EQ(s.alpha(4, 31), 255);
    EXPECT_EQ(s.alpha(5, 16), 128);
    EXPECT_EQ(s.alpha(6, 16), 0);
    Surface r;
    r.canvas.fillPath(rect(20.5, 8, 100, 9), solid(0, 0, 0));
    EXPECT_EQ(r.alpha(20, 8), 128);
    EXPECT_EQ(r.alpha(31, 8), 255);
    EXPECT_EQ(r.alpha(31, 9), 0);
}

TEST(RasterFill, HostileInputReturnsCleanly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Surface s;
    Path bad = rect(1, 1, 10, 10);
    bad.lineTo(nan, 5);
    EXPECT_FALSE(s.canvas.fillPath(bad, solid(0, 0, 0)));
    Path infinite = rect(1, 1, 10, 10);
    infinite.quadTo(3, inf, 4, 4);
    EXPECT_FALSE(s.canvas.fillPath(infinite, solid(0, 0, 0)));
    EXPECT_FALSE(s.canvas.strokePath(bad, {}, solid(0, 0, 0)));
    EXPECT_EQ(s.coveredPixels(), 0.0);

    // Huge coordinates are clamped: the visible part of an enormous rectangle still covers the canvas, a
    // huge curve is flattened into a bounded number of chords.
    ASSERT_TRUE(s.canvas.fillPath(rect(-1e300, -1e300, 1e300, 1e300), solid(0, 0, 0)));
    EXPECT_EQ(s.coveredPixels(), 32.0 * 32.0);
    Path wild;
    wild.moveTo(-1e9, 3);
    wild.quadTo(5e12, -7e12, 16, 16);
    wild.lineTo(1e9, 1e9);
    wild.close();
    EXPECT_TRUE(s.canvas.fillPath(wild, solid(255, 0, 0)));
    EXPECT_TRUE(s.canvas.strokePath(wild, {.width = 1e200}, solid(255, 0, 0)));
    // A near U-turn with an absurd miter limit: the miter tip would lie ~1e12 px away.
    raster::StrokeStyle spike{.width = 4, .join = raster::JoinStyle::Miter, .miterLimit = 1e300};
    Path uturn;
    uturn.moveTo(2, 10);
    uturn.lineTo(30, 10);
    uturn.lineTo(2, 10.000000000001);
    EXPECT_TRUE(s.canvas.strokePath(uturn, spike, solid(0, 0, 255)));
    spike.miterLimit = std::numeric_limits<double>::quiet_NaN();
    spike.width = nan;
    EXPECT_TRUE(s.canvas.strokePath(uturn, spike, solid(0, 0, 255)));
    // Edges handed straight to the coverage stage are checked too.
    struct NullSink final : raster::RowSink {
        int rows = 0;
        void row(int, const raster::CoverageSpan*, int) override { ++rows; }
    } sink;
    raster::CoverageRasterizer cov;
    cov.setClip(32, 0, 32);
    cov.addEdge({nan, 0}, {5, 30});
    cov.addEdge({1, -inf}, {5, 30});
    cov.addEdge({1, 3}, {1e300, 1e-300});
    cov.sweep(FillRule::NonZero, true, sink);
    EXPECT_GE(sink.rows, 0);

    // Empty and oversized targets draw nothing and do not crash.
    raster::Canvas none;
    EXPECT_TRUE(none.fillPath(rect(0, 0, 4, 4), solid(0, 0, 0)));
    none.clear({1, 2, 3, 4});
    std::vector<player::Pixel> px(4);
    raster::Canvas zero;
    EXPECT_FALSE(zero.setTarget(px.data(), 0, 4, 0));
    EXPECT_FALSE(zero.setTarget(px.data(), 2, 2, 1));  // stride below width
    EXPECT_FALSE(zero.setTarget(px.data(), 9000, 1, 9000));
    EXPECT_FALSE(zero.setTarget(px.data(), 8192, 8193, 8192));
    EXPECT_TRUE(zero.fillPath(rect(0, 0, 4, 4), solid(0, 0, 0)));
    zero.beginMask();
    zero.endMask();
    zero.popMask();
    EXPECT_EQ(px[0], 0u);

    // Degenerate paths: nothing, a point, a line with no area.
    Path empty, point, flat;
    point.moveTo(3, 3);
    flat.moveTo(1, 1);
    flat.lineTo(20, 20);
    Surface d;
    EXPECT_TRUE(d.canvas.fillPath(empty, solid(0, 0, 0)));
    EXPECT_TRUE(d.canvas.fillPath(point, solid(0, 0, 0)));
    EXPECT_TRUE(d.canvas.fillPath(flat, solid(0, 0, 0)));
    EXPECT_EQ(d.coveredPixels(), 0.0);
}

TEST(RasterFill, PathsBeyondTheEdgeLimitAreRefused) {
    Surface s;
    Path zigzag;
    zigzag.moveTo(0, 0);
    for (int i = 0; i <= raster::kMaxEdgesPerPath; ++i)
        zigzag.lineTo(i % 2 ? 31 : 1, 16 + (i % 3));
    EXPECT_FALSE(s.canvas.fillPath(zigzag, solid(0, 0, 0)));
    EXPECT_EQ(s.coveredPixels(), 0.0);
    // A stroke multiplies its edges: a quarter of the limit in points is already too much.
    Path line;
    line.moveTo(0, 0);
    for (int i = 0; i < raster::kMaxEdgesPerPath / 4; ++i)
        line.lineTo(i % 2 ? 31 : 1, 16 + (i % 3));
    EXPECT_FALSE(s.canvas.strokePath(line, {.width = 2}, solid(0, 0, 0)));
    EXPECT_EQ(s.coveredPixels(), 0.0);
    // The canvas still works afterwards.
    EXPECT_TRUE(s.canvas.fillPath(rect(0, 0, 2, 2), solid(0, 0, 0)));
    EXPECT_EQ(s.coveredPixels(), 4.0);
}

TEST(RasterFill, PathTransformMapsPoints) {
    // A unit square in twips scaled to pixels: 20 twips per pixel, then moved.
    Surface s;
    Path p = rect(0, 0, 100, 60);
    p.transform(player::Matrix::translate(3, 4) * player::Matrix::scale(0.05, 0.05));
    s.canvas.fillPath(p, solid(0, 0, 0));
    EXPECT_EQ(s.alpha(3, 4), 255);
    EXPECT_EQ(s.alpha(7, 6), 255);
    EXPECT_EQ(s.alpha(8, 6), 0);
    EXPECT_EQ(s.alpha(7, 7), 0);
    EXPECT_EQ(s.alpha(2, 4), 0);
}

// Flash Player places shapes at whole twips: a square scaled to 9.67 px and placed 0.28 twips right of a
// pixel centre still covers that pixel in its aliased reference pictures (acid-gc). The translation is
// rounded to the twips grid; the scaled or rotated points themselves keep their full precision (a rotated
// square at a whole-twip position matches those pictures only unrounded, acid-child).
TEST(RasterFill, PathTransformRoundsTranslationToWholeTwips) {
    const double scale = 14086.0 / 65536 / 20;  // 16.16 fixed-point scale 0.2149, twips to pixels
    struct Case {
        const char* name;
        double tx;  // translation in pixels; the square's left edge
        int pixel;  // column whose centre the left edge lies near
        bool covered;
    } cases[] = {
        {"0.28 twips right of a centre rounds onto it", 137.514, 137, true},
        {"0.4 twips right of a centre rounds onto it", 4.52, 4, true},
        {"0.6 twips right of a centre rounds to the next twip", 4.53, 4, false},
        {"a whole-twip translation is kept", 4.55, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface s(160, 32);
        Path p = rect(0, 0, 900, 900);
        p.transform(player::Matrix{scale, 0, 0, scale, c.tx, 2});
        s.canvas.fillPath(p, FillRule::EvenOdd, solid(0, 0, 0), /*antialias=*/false);
        EXPECT_EQ(s.alpha(c.pixel, 5), c.covered ? 255 : 0);
        EXPECT_EQ(s.alpha(c.pixel + 1, 5), 255);
    }
    // The points are not rounded: a right edge at 9.51 px (190.2 twips, which would round to the centre
    // 9.5 and leave pixel 9 out) covers pixel 9.
    Surface s;
    Path p = rect(0, 0, 900, 900);
    p.transform(player::Matrix{9.51 / 900, 0, 0, 9.51 / 900, 0, 0});
    s.canvas.fillPath(p, FillRule::EvenOdd, solid(0, 0, 0), false);
    EXPECT_EQ(s.alpha(9, 5), 255);
    EXPECT_EQ(s.alpha(10, 5), 0);
}

// Curves are cut into as few equal chords as keep them within the flattening tolerance, and a curve that
// strays exactly the tolerance takes the smaller count: in Flash Player's aliased pictures a twips-grid
// curve with p0 - 2 p1 + p2 = 8 twips (0.4 px, a one-chord error of exactly 0.1 px) is drawn as one chord
// (heavy_tesselation).
TEST(RasterFill, CurveChordCountAtTheToleranceBoundary) {
    struct Case {
        const char* name;
        double cy;  // control point's y; the ends are at y = 3.15 (63 twips)
        size_t points;
    } cases[] = {
        {"straight", 3.15, 2},
        {"strays exactly the tolerance: one chord", 3.35, 2},
        {"strays one twip more: two chords", 3.4, 3},
        {"four times the tolerance: two chords", 3.95, 3},
        {"a little more: three chords", 4.0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Path p;
        p.moveTo(5.05, 3.15);
        p.quadTo(7.25, c.cy, 9.45, 3.15);
        raster::Polylines out;
        ASSERT_TRUE(raster::flattenPath(p, 0.1, out));
        EXPECT_EQ(out.points.size(), c.points);
    }
}
