// Strokes: width, caps, joins, miter limit, hairlines, closed outlines, paints on lines.
#include <gtest/gtest.h>

#include "raster_fixture.h"

using namespace raster_test;
using raster::CapStyle;
using raster::JoinStyle;
using raster::Path;
using raster::StrokeStyle;

namespace {

Path line(double x0, double y0, double x1, double y1) {
    Path p;
    p.moveTo(x0, y0);
    p.lineTo(x1, y1);
    return p;
}

Path polyline(std::initializer_list<std::pair<double, double>> pts) {
    Path p;
    bool first = true;
    for (auto [x, y] : pts) {
        if (first) {
            p.moveTo(x, y);
        } else {
            p.lineTo(x, y);
        }
        first = false;
    }
    return p;
}

double rowsCoverage(const Surface& s, int y0, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = 0; x < s.width; ++x)
            sum += s.alpha(x, y) / 255.0;
    }
    return sum;
}

}  // namespace

TEST(RasterStroke, WidthAndCaps) {
    StrokeStyle none{.width = 4, .startCap = CapStyle::None, .endCap = CapStyle::None};
    Surface s;
    s.canvas.strokePath(line(4, 16, 28, 16), none, solid(0, 0, 0));
    EXPECT_EQ(s.alpha(10, 13), 0);
    EXPECT_EQ(s.alpha(10, 14), 255);
    EXPECT_EQ(s.alpha(10, 17), 255);
    EXPECT_EQ(s.alpha(10, 18), 0);
    EXPECT_EQ(s.alpha(3, 16), 0);
    EXPECT_EQ(s.alpha(4, 16), 255);
    EXPECT_EQ(s.alpha(27, 16), 255);
    EXPECT_EQ(s.alpha(28, 16), 0);
    EXPECT_NEAR(s.coveredPixels(), 24 * 4, 0.01);

    // Square caps reach half the width past each end.
    StrokeStyle square = none;
    square.startCap = square.endCap = CapStyle::Square;
    Surface q;
    q.canvas.strokePath(line(4, 16, 28, 16), square, solid(0, 0, 0));
    EXPECT_EQ(q.alpha(1, 16), 0);
    EXPECT_EQ(q.alpha(2, 14), 255);
    EXPECT_EQ(q.alpha(29, 17), 255);
    EXPECT_EQ(q.alpha(30, 16), 0);
    EXPECT_NEAR(q.coveredPixels(), 28 * 4, 0.01);

    // Round caps: a half disc of radius 2 at each end, so the corners of the square cap stay empty.
    Surface r;
    r.canvas.strokePath(line(4, 16, 28, 16), StrokeStyle{.width = 4}, solid(0, 0, 0));
    EXPECT_NEAR(r.coveredPixels(), 24 * 4 + 3.14159 * 4, 0.4);
    EXPECT_LT(r.alpha(2, 14), 100);
    EXPECT_EQ(r.alpha(3, 16), 255);

    // Start and end caps are independent (SWF LINESTYLE2 StartCapStyle / EndCapStyle).
    StrokeStyle mixed = none;
    mixed.endCap = CapStyle::Square;
    Surface m;
    m.canvas.strokePath(line(4, 16, 28, 16), mixed, solid(0, 0, 0));
    EXPECT_EQ(m.alpha(3, 16), 0);
    EXPECT_EQ(m.alpha(29, 16), 255);
}

TEST(RasterStroke, JoinsAtARightAngle) {
    // Along y = 24 to x = 20, then up: the outer corner is below right of (20, 24).
    const Path corner = polyline({{4, 24}, {20, 24}, {20, 4}});
    auto draw = [&](JoinStyle join) {
        auto s = std::make_unique<Surface>();
        StrokeStyle st{.width = 6, .startCap = CapStyle::None, .endCap = CapStyle::None, .join = join};
        s->canvas.strokePath(corner, st, solid(0, 0, 0));
        return s;
    };
    auto miter = draw(JoinStyle::Miter), round = draw(JoinStyle::Round), bevel = draw(JoinStyle::Bevel);
    EXPECT_EQ(miter->alpha(22, 26), 255);  // the square corner is filled
    EXPECT_LT(round->alpha(22, 26), 100);  // 3.5 px from the vertex, outside the radius-3 arc
    EXPECT_EQ(round->alpha(21, 25), 255);  // inside it
    EXPECT_EQ(bevel->alpha(22, 26), 0);    // beyond the bevel's diagonal x + y = 47
    EXPECT_GT(bevel->alpha(21, 25), 0);
    EXPECT_LT(bevel->alpha(21, 25), 255);
    // Bevel cuts 4.5 px^2 off the miter's square corner (its diagonal runs through a row of sample points,
    // which fall outside), round cuts 9 - 9 pi / 4.
    EXPECT_NEAR(miter->coveredPixels() - bevel->coveredPixels(), 4.5, 0.5);
    EXPECT_NEAR(miter->coveredPixels() - round->coveredPixels(), 9 - 9 * 3.14159 / 4, 0.3);
    // The inner side has no gap or doubled alpha whatever the join.
    EXPECT_EQ(bevel->alpha(17, 21), 255);
    EXPECT_EQ(miter->at(18, 22), 0xff000000u);
}

TEST(RasterStroke, MiterLimitCutsSharpCorners) {
    // A sharp peak at (16, 6): the miter tip of a 4 px line would reach 4.47 px above it, to y = 1.53.
    const Path peak = polyline({{4, 30}, {16, 6}, {28, 30}});
    auto draw = [&](JoinStyle join, double limit) {
        auto s = std::make_unique<Surface>();
        StrokeStyle st{.width = 4, .startCap = CapStyle::None, .endCap = CapStyle::None, .join = join};
        st.miterLimit = limit;
        s->canvas.strokePath(peak, st, solid(0, 0, 0));
        return s;
    };
    auto full = draw(JoinStyle::Miter, 3);   // limit reach 6 px: the whole miter
    auto cut = draw(JoinStyle::Miter, 1.5);  // cut 3 px above the vertex, at y = 3
    auto bevel = draw(JoinStyle::Bevel, 3);
    EXPECT_GT(rowsCoverage(*full, 1, 3), 0.3);
    EXPECT_EQ(rowsCoverage(*cut, 0, 3), 0.0);
    // Cut square, not bevelled: at y = 3 the miter is 1.47 px wide, at y = 4 2.47 px, so the row just
    // under the cut holds about 1.97 px of it.
    EXPECT_NEAR(rowsCoverage(*cut, 3, 4), 1.97, 0.25);
    EXPECT_LT(bevel->coveredPixels(), cut->coveredPixels());
    EXPECT_LT(cut->coveredPixels(), full->coveredPixels());
    EXPECT_EQ(rowsCoverage(*bevel, 0, 4), 0.0);
}

TEST(RasterStroke, HairlinesAreOnePixelWide) {
    for (double w : {0.0, 0.2, 1.0}) {
        SCOPED_TRACE(w);
        Surface s;
        StrokeStyle st{.width = w, .startCap = CapStyle::None, .endCap = CapStyle::None};
        s.canvas.strokePath(line(4, 16.5, 28, 16.5), st, solid(0, 0, 0));
        EXPECT_EQ(s.alpha(10, 16), 255);
        EXPECT_EQ(s.alpha(10, 15), 0);
        EXPECT_EQ(s.alpha(10, 17), 0);
        EXPECT_NEAR(s.coveredPixels(), 24, 0.01);
    }
    // Low quality: aliased, every pixel on or off.
    Surface a;
    a.canvas.strokePath(line(2.3, 3.1, 29.4, 27.8), StrokeStyle{.width = 0}, solid(0, 0, 0), false);
    int on = 0;
    for (player::Pixel p : a.pixels) {
        ASSERT_TRUE(p == 0 || p == 0xff000000u);
        on += p != 0;
    }
    EXPECT_GT(on, 27);
}

TEST(RasterStroke, ClosedOutlinesJoinAtTheirStart) {
    StrokeStyle st{
        .width = 2, .startCap = CapStyle::None, .endCap = CapStyle::None, .join = JoinStyle::Miter};
    Surface closed, sameEnd, open;
    closed.canvas.strokePath(rect(4, 4, 28, 28), st, solid(0, 0, 0));
    // The same outline ending on its start point without close(): Flash joins it too.
    sameEnd.canvas.strokePath(polyline({{4, 4}, {28, 4}, {28, 28}, {4, 28}, {4, 4}}), st, solid(0, 0, 0));
    open.canvas.strokePath(polyline({{4, 4}, {28, 4}, {28, 28}, {4, 28}, {4, 5}}), st, solid(0, 0, 0));
    EXPECT_EQ(closed.alpha(3, 3), 255);
    EXPECT_EQ(closed.alpha(28, 28), 255);
    EXPECT_NEAR(closed.coveredPixels(), 26 * 26 - 22 * 22, 0.01);
    EXPECT_EQ(sameEnd.pixels, closed.pixels);
    EXPECT_EQ(open.alpha(3, 3), 0);  // butt ends leave the first corner open
}

TEST(RasterStroke, DotsAndPaintedLines) {
    // A single point: a round cap makes a dot, no cap makes nothing.
    Path dot;
    dot.moveTo(16, 16);
    dot.lineTo(16, 16);
    Surface r, n;
    r.canvas.strokePath(dot, StrokeStyle{.width = 6}, solid(0, 0, 0));
    n.canvas.strokePath(dot, StrokeStyle{.width = 6, .startCap = CapStyle::None}, solid(0, 0, 0));
    EXPECT_LE(r.coveredPixels(), 3.14159 * 9 + 0.3);
    EXPECT_GE(r.coveredPixels(), 3.14159 * 9 - 19 * raster::kFlattenTolerance - 0.3);
    EXPECT_EQ(n.coveredPixels(), 0.0);

    // A line filled with a gradient: red at its left end, blue at its right.
    raster::Gradient g;
    g.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
    g.matrix = {28.0 / 32768, 0, 0, 28.0 / 32768, 16, 16};
    Surface s;
    s.canvas.strokePath(line(2, 16, 30, 16), StrokeStyle{.width = 4}, raster::Paint::gradient(g));
    EXPECT_GE(s.red(2, 16), 240);
    EXPECT_GE(s.blue(29, 16), 240);
    EXPECT_EQ(s.alpha(16, 15), 255);
}

TEST(RasterStroke, LinesStrokedInShapeSpaceFollowTheShapesScale) {
    const Path square = polyline({{1, 1}, {6, 1}, {6, 6}, {1, 6}, {1, 1}});
    StrokeStyle st{.width = 1, .join = JoinStyle::Miter};

    // Uniform scale: the same as stroking the mapped path with the mapped width.
    Surface local, device;
    local.canvas.strokePath(square, st, player::Matrix::scale(4, 4), solid(0, 0, 0));
    StrokeStyle wide = st;
    wide.width = 4;
    device.canvas.strokePath(square.transformed(player::Matrix::scale(4, 4)), wide, solid(0, 0, 0));
    EXPECT_EQ(local.pixels, device.pixels);

    // Stretched four times along x: the vertical sides are 4 px wide, the horizontal ones 1 px tall (half
    // of two rows each).
    Surface stretched;
    stretched.canvas.strokePath(square, st, player::Matrix::scale(4, 1), solid(0, 0, 0));
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ(stretched.alpha(x, 3), x >= 2 && x < 6 ? 255 : x >= 22 && x < 26 ? 255 : 0) << x;
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(stretched.alpha(12, y), y == 0 || y == 1 || y == 5 || y == 6 ? 128 : 0) << y;
    EXPECT_NEAR(stretched.coveredPixels(), 24 * 6 - 16 * 4, 0.3);  // outer minus inner rectangle

    // A mirror turns every outline piece round alike: the stroke is simply mirrored.
    Surface mirrored;
    mirrored.canvas.strokePath(square, st, player::Matrix{-4, 0, 0, 1, 32, 0}, solid(0, 0, 0));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(mirrored.alpha(31 - x, y), stretched.alpha(x, y)) << x << "," << y;

    // Thinner than a pixel once mapped: drawn as a one-pixel hairline.
    Surface thin;
    thin.canvas.strokePath(line(1, 8.25, 15, 8.25),
                           {.width = 0.1, .startCap = CapStyle::None, .endCap = CapStyle::None},
                           player::Matrix::scale(2, 2), solid(0, 0, 0));
    EXPECT_EQ(thin.alpha(10, 16), 255);
    EXPECT_NEAR(thin.coveredPixels(), 28, 0.01);
}

TEST(RasterStroke, HairlinesHaveOnePixelOfInkAcrossTheirMainAxis) {
    // Flash Player's one-pixel diagonals carry exactly one pixel of ink in every column of a mostly
    // horizontal line and every row of a mostly vertical one (1/4 + 3/4 per row at 45 degrees, 1/2 + 1/2
    // per column at a slope of 1/2), not the 1/cos of a round pen.
    struct Case {
        double x0, y0, x1, y1;
        bool acrossColumns;  // mostly horizontal: measure each column
    };
    for (const Case& c : {Case{2, 4, 30, 18, true}, Case{2, 2, 30, 30, true}, Case{4, 2, 18, 30, false},
                          Case{30, 20, 2, 6, true}, Case{3, 3, 30, 3, true}}) {
        SCOPED_TRACE(c.x0 + c.y1);
        for (double w : {0.0, 1.0}) {
            Surface s;
            StrokeStyle st{.width = w, .startCap = CapStyle::None, .endCap = CapStyle::None};
            s.canvas.strokePath(line(c.x0, c.y0, c.x1, c.y1), st, solid(0, 0, 0));
            // Away from the ends, so that only the line's body counts.
            for (int i = 8; i < 16; ++i) {
                double ink = 0;
                for (int j = 0; j < 32; ++j)
                    ink += (c.acrossColumns ? s.alpha(i, j) : s.alpha(j, i)) / 255.0;
                EXPECT_NEAR(ink, 1.0, 0.02) << i;
            }
        }
    }
    // Wider lines keep a round pen: a 45 degree line two pixels wide has 2 * sqrt(2) of ink per column.
    Surface wide;
    wide.canvas.strokePath(line(2, 2, 30, 30), StrokeStyle{.width = 2}, solid(0, 0, 0));
    double ink = 0;
    for (int y = 0; y < 32; ++y)
        ink += wide.alpha(16, y) / 255.0;
    EXPECT_NEAR(ink, 2 * std::sqrt(2.0), 0.1);  // coverage is sampled, not exact
}
