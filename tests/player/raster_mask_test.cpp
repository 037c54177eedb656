// Clip layers: mask shapes as coverage only, clipping, nesting, anti-aliased mask edges, depth limit.
#include <gtest/gtest.h>

#include "raster_fixture.h"

using namespace raster_test;

TEST(RasterMask, ClipsToTheMaskShapeIgnoringItsColour) {
    Surface s;
    s.canvas.beginMask();
    // Drawn with a fully transparent colour: a mask's colour does not matter, only its shape.
    s.canvas.fillPath(circle(16, 16, 8), solid(0, 0, 0, 0));
    EXPECT_EQ(s.coveredPixels(), 0.0);  // building a mask leaves the pixels alone
    s.canvas.endMask();
    s.canvas.fillPath(rect(0, 0, 32, 32), solid(255, 0, 0));
    EXPECT_EQ(s.at(16, 16), 0xffff0000u);
    EXPECT_EQ(s.at(2, 2), 0u);
    EXPECT_EQ(s.at(16, 5), 0u);
    // Exactly what filling the circle itself gives: clip coverage times full coverage.
    Surface direct;
    direct.canvas.fillPath(circle(16, 16, 8), solid(255, 0, 0));
    EXPECT_EQ(s.pixels, direct.pixels);
    // The edge stays anti-aliased.
    int partial = 0;
    for (player::Pixel p : s.pixels)
        partial += (p >> 24) > 0 && (p >> 24) < 255;
    EXPECT_GT(partial, 20);

    EXPECT_EQ(s.canvas.maskDepth(), 1);
    s.canvas.popMask();
    EXPECT_EQ(s.canvas.maskDepth(), 0);
    s.canvas.fillPath(rect(0, 0, 4, 4), solid(0, 255, 0));
    EXPECT_EQ(s.at(1, 1), 0xff00ff00u);
}

TEST(RasterMask, PartialCoverageOfMaskAndShapeMultiply) {
    Surface s;
    s.canvas.beginMask();
    s.canvas.fillPath(rect(0, 0, 10.5, 32), solid(0, 0, 0));
    s.canvas.endMask();
    s.canvas.fillPath(rect(0, 0, 32, 16.5), solid(255, 255, 255));
    EXPECT_EQ(s.alpha(5, 5), 255);
    EXPECT_EQ(s.alpha(10, 5), 128);
    EXPECT_EQ(s.alpha(5, 16), 128);
    EXPECT_EQ(s.alpha(10, 16), 64);
    EXPECT_EQ(s.alpha(11, 5), 0);
}

TEST(RasterMask, ShapesOfOneMaskUniteAndNestedMasksIntersect) {
    Surface s;
    s.canvas.beginMask();
    s.canvas.fillPath(rect(0, 0, 20, 32), solid(0, 0, 0));
    s.canvas.endMask();
    s.canvas.beginMask();
    s.canvas.fillPath(rect(12, 0, 32, 8), solid(0, 0, 0));
    s.canvas.fillPath(rect(12, 8, 32, 32), solid(0, 0, 0));  // touching the first: one region
    s.canvas.endMask();
    EXPECT_EQ(s.canvas.maskDepth(), 2);
    s.canvas.fillPath(rect(0, 0, 32, 32), solid(0, 0, 255));
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(s.alpha(x, 10), x >= 12 && x < 20 ? 255 : 0) << x;
        EXPECT_EQ(s.alpha(x, 8), x >= 12 && x < 20 ? 255 : 0) << x;
    }
    // Popping the inner mask brings back the outer clip alone.
    s.canvas.popMask();
    s.canvas.fillPath(rect(0, 0, 32, 32), solid(255, 0, 0));
    EXPECT_EQ(s.at(3, 3), 0xffff0000u);
    EXPECT_EQ(s.at(25, 3), 0u);
    s.canvas.popMask();
    s.canvas.fillPath(rect(0, 0, 32, 32), solid(0, 255, 0));
    EXPECT_EQ(s.at(25, 3), 0xff00ff00u);

    // Disjoint nested masks leave nothing to draw into.
    Surface d;
    d.canvas.beginMask();
    d.canvas.fillPath(rect(0, 0, 8, 8), solid(0, 0, 0));
    d.canvas.endMask();
    d.canvas.beginMask();
    d.canvas.fillPath(rect(20, 20, 30, 30), solid(0, 0, 0));
    d.canvas.endMask();
    d.canvas.fillPath(rect(0, 0, 32, 32), solid(0, 0, 0));
    EXPECT_EQ(d.coveredPixels(), 0.0);
}

TEST(RasterMask, MasksAreReusedAndDepthIsBounded) {
    Surface s;
    // A mask built, used and popped many times leaves no trace of earlier contents.
    for (int i = 0; i < 3; ++i) {
        s.canvas.beginMask();
        s.canvas.fillPath(rect(i * 8, 0, i * 8 + 4, 4), solid(0, 0, 0));
        s.canvas.endMask();
        s.canvas.popMask();
    }
    s.canvas.beginMask();
    s.canvas.fillPath(rect(28, 28, 32, 32), solid(0, 0, 0));
    s.canvas.endMask();
    s.canvas.fillPath(rect(0, 0, 32, 32), solid(0, 0, 0));
    EXPECT_EQ(s.coveredPixels(), 16.0);
    s.canvas.popMask();

    // Nesting beyond the limit clips everything until popped back below it; extra pops are harmless.
    Surface d;
    const int deep = raster::kMaxMaskDepth + 3;
    for (int i = 0; i < deep; ++i) {
        d.canvas.beginMask();
        d.canvas.fillPath(rect(0, 0, 32, 32), solid(0, 0, 0));
        d.canvas.endMask();
    }
    EXPECT_EQ(d.canvas.maskDepth(), deep);
    d.canvas.fillPath(rect(0, 0, 32, 32), solid(0, 0, 0));
    EXPECT_EQ(d.coveredPixels(), 0.0);
    for (int i = 0; i < 3; ++i)
        d.canvas.popMask();
    d.canvas.fillPath(rect(0, 0, 2, 2), solid(0, 0, 0));
    EXPECT_EQ(d.coveredPixels(), 4.0);
    for (int i = 0; i < deep + 5; ++i)
        d.canvas.popMask();
    EXPECT_EQ(d.canvas.maskDepth(), 0);
    d.canvas.endMask();
    d.canvas.fillPath(rect(0, 0, 32, 32), solid(0, 0, 0));
    EXPECT_EQ(d.coveredPixels(), 1024.0);
}
