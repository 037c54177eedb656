// Paints: gradient ramps and spread modes, radial and focal geometry, bitmap sampling, colour transforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "player/raster/bitmap_mips.h"
#include "player/raster/color.h"
#include "player/raster/gradient_ramp.h"
#include "player/raster/span_painter.h"
#include "raster_fixture.h"

using namespace raster_test;
using raster::Gradient;
using raster::GradientType;
using raster::Paint;
using raster::SpreadMode;

namespace {

// Gradient whose square maps onto [x0, x1) horizontally, centred on y = cy.
player::Matrix spanMatrix(double x0, double x1, double cy) {
    double s = (x1 - x0) / 32768;
    return {s, 0, 0, s, (x0 + x1) / 2, cy};
}

Gradient blackToWhite(SpreadMode spread, double x0, double x1) {
    Gradient g;
    g.stops = {{0, {0, 0, 0, 255}}, {255, {255, 255, 255, 255}}};
    g.spread = spread;
    g.matrix = spanMatrix(x0, x1, 16);
    return g;
}

}  // namespace

TEST(RasterGradient, RampInterpolatesStopsAndClampsOutsideThem) {
    Gradient g;
    g.stops = {{64, {255, 0, 0, 255}}, {192, {0, 0, 255, 255}}};
    raster::GradientRamp ramp;
    raster::buildGradientRamp(g, {}, ramp);
    EXPECT_EQ(ramp[0], 0xffff0000u);
    EXPECT_EQ(ramp[64], 0xffff0000u);
    EXPECT_EQ(ramp[128], 0xff7f007fu);  // half way: 127.5 rounds down for both
    EXPECT_EQ(ramp[192], 0xff0000ffu);
    EXPECT_EQ(ramp[255], 0xff0000ffu);

    // Translucent stops are premultiplied per entry.
    g.stops = {{0, {255, 255, 255, 0}}, {255, {255, 255, 255, 255}}};
    raster::buildGradientRamp(g, {}, ramp);
    EXPECT_EQ(ramp[0], 0u);
    EXPECT_EQ(ramp[255], 0xffffffffu);
    EXPECT_EQ(ramp[51] >> 24, 51u);
    EXPECT_EQ((ramp[51] >> 16) & 255, 51u);

    // The colour transform applies to the stops (non-premultiplied, clamped) before interpolation.
    g.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
    player::ColorTransform ct;
    ct.rm = 0;
    ct.ga = 300;
    raster::buildGradientRamp(g, ct, ramp);
    EXPECT_EQ(ramp[0], 0xff00ff00u);
    EXPECT_EQ(ramp[255], 0xff00ffffu);
}

TEST(RasterGradient, RepeatedAndBackwardRatiosEachKeepOneRatio) {
    const player::Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, black{0, 0, 0, 255};
    struct Case {
        const char* name;
        std::vector<raster::GradientStop> stops;
        std::vector<std::pair<int, player::Pixel>> expect;  // ramp entry, colour
    } cases[] = {
        {"repeated ratio", {{0, red}, {128, green}, {128, blue}}, {{128, 0xff00ff00u}, {129, 0xff0000ffu}}},
        {"ratio below the one before",
         {{0, red}, {200, green}, {100, blue}},
         {{200, 0xff00ff00u}, {201, 0xff0000ffu}}},
        // Stops pushed past 255 are not shown (Flash Player's picture of stops at 254, 0, 0 ends in the
        // second stop's colour).
        {"stops pushed past the end",
         {{254, red}, {0, blue}, {0, green}},
         {{254, 0xffff0000u}, {255, 0xff0000ffu}}},
        {"three stops at 255", {{0, black}, {255, red}, {255, green}, {255, blue}}, {{255, 0xffff0000u}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Gradient g;
        g.stops = c.stops;
        raster::GradientRamp ramp;
        raster::buildGradientRamp(g, {}, ramp);
        for (auto [entry, colour] : c.expect)
            EXPECT_EQ(ramp[entry], colour) << entry;
    }
}

// Stepped layout (anti-aliased draws). Flash Player's anti-aliased pictures of gradients whose stops repeat
// or go backwards: a stop not beyond the furthest ratio so far takes one entry after it, in the colour of
// the stop before it, and the blend to the next stop is measured from the stop's own ratio. Stops red,
// green, blue, black at 6 then red at 150 show red, green, blue at entries 7, 8, 9 and black-to-red from 6
// at entry 10; stops at 31, 80, 50, 100 show green at 80 and 81 and the 50..100 blend from entry 82; stops
// at 254, 0, 0 end in the second stop's colour.
TEST(RasterGradient, SteppedLayoutOfRepeatedAndBackwardRatios) {
    const player::Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, black{0, 0, 0, 255};
    const player::Rgba cyan{0, 255, 255, 255}, magenta{255, 0, 255, 255};
    struct Case {
        const char* name;
        std::vector<raster::GradientStop> stops;
        std::vector<std::pair<int, player::Pixel>> expect;  // ramp entry, colour
    } cases[] = {
        {"repeated ratios",
         {{6, red}, {6, green}, {6, blue}, {6, black}, {150, red}},
         {{6, 0xffff0000u},
          {7, 0xffff0000u},
          {8, 0xff00ff00u},
          {9, 0xff0000ffu},
          {10, 0xff070000u},  // 255 * 4 / 144, rounded down
          {150, 0xffff0000u},
          {151, 0xffff0000u}}},
        {"ratio below the one before",
         {{31, red}, {80, green}, {50, cyan}, {100, magenta}},
         {{80, 0xff00ff00u},
          {81, 0xff00ff00u},
          {82, 0xffa35bffu},  // cyan to magenta at 32 / 50: 163, 91
          {100, 0xffff00ffu},
          {101, 0xffff00ffu}}},
        {"stops pushed past the end",
         {{254, red}, {0, blue}, {0, green}},
         {{254, 0xffff0000u}, {255, 0xff0000ffu}}},
        {"last stop going backwards",
         {{0, black}, {200, blue}, {150, red}},
         {{201, 0xff0000ffu}, {202, 0xffff0000u}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Gradient g;
        g.stops = c.stops;
        raster::GradientRamp ramp;
        raster::buildGradientRamp(g, {}, ramp, raster::GradientSampling::Stepped);
        for (auto [entry, colour] : c.expect)
            EXPECT_EQ(ramp[entry], colour) << entry;
    }
}

// Flash Player's anti-aliased pictures show a gradient stretched over several pixels per entry in hard
// steps, one per entry, the step falling where the pixel's top-left corner crosses into the entry; without
// anti-aliasing they are smooth, sampled at pixel centres.
TEST(RasterGradient, AntialiasedDrawsStepThroughEntries) {
    // Black to white over entries 0..51: 5 levels per entry, 4 px per entry.
    Gradient g;
    g.stops = {{0, {0, 0, 0, 255}}, {51, {255, 255, 255, 255}}};
    g.matrix = spanMatrix(0, 1024, 2);
    Paint paint = Paint::gradient(g);
    raster::SpanPainter stepped, blended;
    ASSERT_TRUE(stepped.prepare(paint, true));
    ASSERT_TRUE(blended.prepare(paint, false));
    std::vector<player::Pixel> s(64), b(64);
    stepped.fill(0, 0, 64, s.data());
    blended.fill(0, 0, 64, b.data());
    for (int x = 0; x < 64; ++x)
        EXPECT_EQ(s[x] & 255, uint32_t(5 * (x / 4))) << x;  // the entry of the corner at x
    // Blended: pixel 6's centre lies at 1.625 entries, 1.125 past entry 0's middle: 5 * 1.125, rounded.
    EXPECT_EQ(b[6] & 255, 6u);
    for (int x = 2; x < 64; ++x) {  // pixels 0 and 1 lie before entry 0's middle
        int step = int(b[x] & 255) - int(b[x - 1] & 255);
        EXPECT_GE(step, 1) << x;
        EXPECT_LE(step, 2) << x;
    }
}

// The ramp cache must hand back exactly what building the ramp gives, for gradients that differ in any one
// input only (a stop's ratio or colour, the stop count, interpolation, colour transform, sampling), also
// after more gradients than it holds have pushed earlier ones out.
TEST(RasterGradient, RampCacheGivesTheBuiltRampForEveryInput) {
    struct Variant {
        Gradient g;
        player::ColorTransform ct;
        raster::GradientSampling sampling;
    };
    std::vector<Variant> variants;
    for (int i = 0; i < 300; ++i) {
        Variant v;
        v.g.stops = {{0, {255, 0, 0, 255}}, {200, {0, 0, 255, 128}}};
        v.sampling = raster::GradientSampling::Blended;
        switch (i % 6) {
            case 0:
                v.g.stops[1].ratio = uint8_t(100 + i / 6);
                break;
            case 1:
                v.g.stops[0].color.g = uint8_t(i);
                break;
            case 2:
                v.g.stops.push_back({uint8_t(201 + i / 6), {9, 9, 9, 9}});
                break;
            case 3:
                v.g.interpolation = raster::Interpolation::LinearRGB, v.ct.ra = float(i);
                break;
            case 4:
                v.ct.am = 0.5f + float(i) / 1000;
                break;
            case 5:
                v.sampling = raster::GradientSampling::Stepped, v.g.stops[1].ratio = uint8_t(i / 6);
                break;
        }
        variants.push_back(v);
    }
    raster::GradientRampCache cache;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < variants.size(); ++i) {
            const Variant& v = variants[i];
            raster::GradientRamp built;
            raster::buildGradientRamp(v.g, v.ct, built, v.sampling);
            ASSERT_EQ(cache.ramp(v.g, v.ct, v.sampling), built) << "variant " << i << " pass " << pass;
            ASSERT_EQ(cache.ramp(v.g, v.ct, v.sampling), built) << "variant " << i << " again";
        }
    }
}

// An opaque gradient writes its colours straight into rows that are mostly fully covered and blends only the
// rest; under a mask covering the whole canvas the same draw goes through the general blending path. Both
// must give the same picture, and pixels in gaps between a row's spans (the ring's hole) stay as they were.
TEST(RasterGradient, OpaqueGradientDrawsAsTheBlendingPathDoes) {
    // A ring: two circles, the fill rule leaving the inner one empty.
    raster::Path ringShape;
    for (auto [cx, cy, r] : {std::tuple{32.0, 32.0, 28.0}, std::tuple{32.3, 31.7, 12.0}}) {
        const double k = r / std::cos(std::numbers::pi / 8);
        ringShape.moveTo(cx + r, cy);
        for (int i = 1; i <= 8; ++i) {
            double mid = (i - 0.5) * std::numbers::pi / 4, end = i * std::numbers::pi / 4;
            ringShape.quadTo(cx + k * std::cos(mid), cy + k * std::sin(mid), cx + r * std::cos(end),
                             cy + r * std::sin(end));
        }
        ringShape.close();
    }
    raster::Path sliver;
    sliver.moveTo(2, 60.2);
    sliver.lineTo(61.7, 3);
    sliver.lineTo(62.4, 4.1);
    sliver.close();
    Gradient g;
    g.stops = {{0, {255, 40, 0, 255}}, {120, {10, 200, 90, 255}}, {255, {0, 30, 250, 255}}};
    g.matrix = {0.002, 0.0012, -0.0012, 0.002, 30, 34};
    for (bool antialias : {true, false}) {
        for (const raster::Path* shape : {&ringShape, &sliver}) {
            Surface plain(64, 64), masked(64, 64);
            for (size_t i = 0; i < plain.pixels.size(); ++i) {  // a busy background, some of it translucent
                uint32_t a = i % 5 == 0 ? 0x80 : 0xff, c = uint32_t(i * 2654435761u) & 0x7f7f7f;
                plain.pixels[i] = masked.pixels[i] = (a << 24) | (a == 0xff ? c : c & 0x3f3f3f);
            }
            const std::vector<player::Pixel> before = plain.pixels;
            plain.canvas.fillPath(*shape, raster::FillRule::EvenOdd, Paint::gradient(g), antialias);
            masked.canvas.beginMask();
            masked.canvas.fillPath(rect(0, 0, 64, 64), solid(0, 0, 0));
            masked.canvas.endMask();
            masked.canvas.fillPath(*shape, raster::FillRule::EvenOdd, Paint::gradient(g), antialias);
            ASSERT_EQ(plain.pixels, masked.pixels) << (shape == &sliver ? "sliver" : "ring") << antialias;
            if (shape == &ringShape) {
                EXPECT_EQ(plain.at(32, 32), before[32 * 64 + 32]);
            }
            EXPECT_NE(plain.pixels, before);
        }
    }
}

TEST(RasterGradient, LinearRgbInterpolationIsBrighterAtTheMiddle) {
    Gradient g;
    g.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
    raster::GradientRamp normal, linear;
    raster::buildGradientRamp(g, {}, normal);
    g.interpolation = raster::Interpolation::LinearRGB;
    raster::buildGradientRamp(g, {}, linear);
    EXPECT_EQ(linear[0], normal[0]);
    EXPECT_EQ(linear[255], normal[255]);
    // Half way in linear light is 0.5, which is 188 in sRGB; plain interpolation gives 128.
    EXPECT_NEAR(int((linear[128] >> 16) & 255), 187, 2);
    EXPECT_NEAR(int(linear[128] & 255), 188, 2);
    EXPECT_EQ((normal[128] >> 16) & 255, 127u);  // 255 * (1 - 128 / 255)
}

// Drawn without anti-aliasing, gradients are read blended between ramp entries (Flash's low quality); the
// stepped reading of anti-aliased draws has tests of its own above.
constexpr bool kBlended = false;

TEST(RasterGradient, LinearFillEndpointsAndMiddle) {
    Surface s;
    Gradient g;
    g.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
    g.matrix = spanMatrix(0, 32, 16);
    s.canvas.fillPath(rect(0, 0, 32, 32), raster::FillRule::EvenOdd, Paint::gradient(g), kBlended);
    EXPECT_GE(s.red(0, 5), 245);
    EXPECT_LE(s.blue(0, 5), 10);
    EXPECT_GE(s.blue(31, 5), 245);
    EXPECT_LE(s.red(31, 5), 10);
    // Pixel 16's centre is 1/64 past the middle, 132/256 of the square: ratio 131.5, between ramp entries.
    EXPECT_NEAR(s.red(16, 5), 255 - 132, 2);
    EXPECT_NEAR(s.blue(16, 5), 132, 2);
    EXPECT_EQ(s.at(16, 5), s.at(16, 30));  // constant along y
    for (int x = 1; x < 32; ++x)
        EXPECT_LE(s.red(x, 9), s.red(x - 1, 9));
}

TEST(RasterGradient, StretchedGradientsHaveNoSteps) {
    // 2.5 ratios per pixel and 5 levels per ratio: looking colours up per whole ratio would climb in
    // alternating steps of 10 and 15; the reference pictures climb evenly by 12.5.
    Surface s(64, 4);
    Gradient g;
    g.stops = {{0, {0, 0, 0, 255}}, {51, {255, 255, 255, 255}}};
    g.matrix = spanMatrix(0, 102.4, 2);
    s.canvas.fillPath(rect(0, 0, 64, 4), raster::FillRule::EvenOdd, Paint::gradient(g), kBlended);
    for (int x = 2; x < 20; ++x) {
        int step = s.red(x, 1) - s.red(x - 1, 1);
        EXPECT_GE(step, 12) << x;
        EXPECT_LE(step, 13) << x;
    }
}

TEST(RasterGradient, SpreadModesOutsideTheSquare) {
    // The gradient runs black to white over x = 8..16; look 2.5 px before it and 4.5 px after it.
    struct Case {
        SpreadMode spread;
        int before, after;  // expected grey at x = 5.5 (t = -0.3125) and x = 20.5 (t = 1.5625)
    } cases[] = {
        {SpreadMode::Pad, 0, 255},
        {SpreadMode::Repeat, 176, 144},  // t wraps to 0.6875 and 0.5625
        {SpreadMode::Reflect, 80, 112},  // t mirrors to 0.3125 and 0.4375
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.spread));
        Surface s;
        s.canvas.fillPath(rect(0, 0, 32, 32), raster::FillRule::EvenOdd,
                          Paint::gradient(blackToWhite(c.spread, 8, 16)), kBlended);
        EXPECT_NEAR(s.red(5, 16), c.before, 2);
        EXPECT_NEAR(s.red(20, 16), c.after, 2);
        EXPECT_NEAR(s.red(12, 16), 144, 2);  // inside the square every mode agrees: t = 0.5625
    }
}

TEST(RasterGradient, RadialAndFocal) {
    Gradient g;
    g.type = GradientType::Radial;
    g.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
    g.matrix = {12.0 / 16384, 0, 0, 12.0 / 16384, 16, 16};  // radius 12 px around (16, 16)
    Surface s;
    s.canvas.fillPath(rect(0, 0, 32, 32), raster::FillRule::EvenOdd, Paint::gradient(g), kBlended);
    EXPECT_GE(s.red(15, 15), 240);  // centre
    EXPECT_EQ(s.at(15, 15), s.at(16, 16));
    EXPECT_EQ(s.at(10, 16), s.at(16, 10));  // round: same radius, same colour
    // Pixel (22, 16) centre is 6.5 px out: ratio 6.5 / 12 * 256 = 138.
    EXPECT_NEAR(s.blue(22, 16), 138, 2);
    EXPECT_EQ(s.at(0, 0), 0xff0000ffu);  // padded beyond the radius

    // Focal at 0.75: ratio 0 moves to 9 px right of the centre. Left of the centre at 6.5 px the ray from
    // the focal point reaches the circle 21 px from it: ratio (6.5 + 9) / 21.
    g.type = GradientType::Focal;
    g.focalPoint = 0.75f;
    Surface f;
    f.canvas.fillPath(rect(0, 0, 32, 32), raster::FillRule::EvenOdd, Paint::gradient(g), kBlended);
    EXPECT_GE(f.red(24, 16), 235);  // next to the focal point, on the side away from the near edge
    EXPECT_NEAR(f.blue(9, 16), (6.5 + 9) / 21 * 256, 3);
    EXPECT_LT(f.blue(22, 16), s.blue(22, 16));  // towards the focal point the ratio drops
}

TEST(RasterBitmap, NearestSmoothRepeatAndClip) {
    auto bm = std::make_shared<player::Bitmap>();
    bm->width = 2;
    bm->height = 2;
    const player::Pixel red = 0xffff0000u, green = 0xff00ff00u, blue = 0xff0000ffu, white = 0xffffffffu;
    bm->pixels = {red, green, blue, white};
    // Each texel 4x4 pixels, the bitmap at (8, 8)..(16, 16).
    raster::BitmapFill fill{bm, {4, 0, 0, 4, 8, 8}, false, false};

    Surface n;
    n.canvas.fillPath(rect(0, 0, 32, 32), Paint::bitmap(fill));
    EXPECT_EQ(n.at(9, 9), red);
    EXPECT_EQ(n.at(11, 9), red);
    EXPECT_EQ(n.at(12, 9), green);
    EXPECT_EQ(n.at(9, 13), blue);
    EXPECT_EQ(n.at(15, 15), white);
    // Clipped: outside the bitmap its edge pixels continue.
    EXPECT_EQ(n.at(5, 9), red);
    EXPECT_EQ(n.at(30, 9), green);
    EXPECT_EQ(n.at(30, 30), white);

    raster::BitmapFill rep = fill;
    rep.repeat = true;
    Surface r;
    r.canvas.fillPath(rect(0, 0, 32, 32), Paint::bitmap(rep));
    EXPECT_EQ(r.at(5, 9), green);  // texel -1 wraps to texel 1
    EXPECT_EQ(r.at(17, 9), red);   // one bitmap further right
    EXPECT_EQ(r.at(21, 21), white);

    // Smooth: pixel 11's centre lies 3/8 of a texel from red towards green (rows clamp at the top edge).
    raster::BitmapFill smooth = fill;
    smooth.smooth = true;
    Surface m;
    m.canvas.fillPath(rect(0, 0, 32, 32), Paint::bitmap(smooth));
    EXPECT_NEAR(m.red(11, 8), 160, 2);
    EXPECT_NEAR(m.green(11, 8), 96, 2);
    EXPECT_EQ(m.at(9, 8), red);  // texel centres keep their colour
    EXPECT_EQ(m.alpha(11, 8), 255);

    // A colour transform reaches the bitmap's pixels: alpha halved, premultiplied again.
    player::ColorTransform half;
    half.am = 0.5f;
    Surface t;
    t.canvas.fillPath(rect(8, 8, 16, 16), Paint::bitmap(fill, half));
    EXPECT_EQ(t.at(9, 9), 0x7f7f0000u);
    // An alpha add makes translucent texels more opaque but leaves fully transparent ones alone.
    auto holes = std::make_shared<player::Bitmap>(*bm);
    holes->pixels[1] = 0;                                     // transparent
    holes->pixels[2] = raster::premultiply({0, 0, 255, 51});  // translucent blue
    player::ColorTransform addAlpha;
    addAlpha.aa = 80;
    Surface h;
    h.canvas.fillPath(rect(8, 8, 16, 16), Paint::bitmap({holes, fill.matrix}, addAlpha));
    EXPECT_EQ(h.at(9, 9), red);
    EXPECT_EQ(h.at(13, 9), 0u);
    EXPECT_EQ(h.at(9, 13), raster::premultiply({0, 0, 255, 131}));

    // No bitmap, an empty one or a singular matrix draw nothing and do not crash.
    Surface e;
    EXPECT_TRUE(e.canvas.fillPath(rect(0, 0, 8, 8), Paint::bitmap({})));
    EXPECT_TRUE(e.canvas.fillPath(rect(0, 0, 8, 8), Paint::bitmap({std::make_shared<player::Bitmap>(), {}})));
    EXPECT_TRUE(e.canvas.fillPath(rect(0, 0, 8, 8), Paint::bitmap({bm, {0, 0, 0, 0, 3, 3}})));
    EXPECT_EQ(e.coveredPixels(), 0.0);
}

// The texel each pixel centre samples, computed plainly in floating point: nearest takes the texel the
// point falls in; smooth blends the four texels around it (weights in 1/256); outside the bitmap a clipped
// fill continues its edge texels and a repeating one wraps.
player::Pixel ReferenceTexel(const player::Bitmap& bm, const raster::BitmapFill& f, int x, int y) {
    const player::Matrix inv = f.matrix.inverted();
    const double sx = inv.a * (x + 0.5) + inv.c * (y + 0.5) + inv.tx;
    const double sy = inv.b * (x + 0.5) + inv.d * (y + 0.5) + inv.ty;
    auto wrap = [&](int64_t i, int n) {
        if (f.repeat) return int(((i % n) + n) % n);
        return int(std::clamp<int64_t>(i, 0, n - 1));
    };
    auto texel = [&](int64_t u, int64_t v) {
        return bm.pixels[size_t(wrap(v, bm.height)) * size_t(bm.width) + size_t(wrap(u, bm.width))];
    };
    if (!f.smooth) return texel(int64_t(std::floor(sx)), int64_t(std::floor(sy)));
    const double fx = sx - 0.5, fy = sy - 0.5;
    const int64_t ix = int64_t(std::floor(fx)), iy = int64_t(std::floor(fy));
    const uint32_t wx = uint32_t((fx - std::floor(fx)) * 256), wy = uint32_t((fy - std::floor(fy)) * 256);
    return raster::lerpPixel(raster::lerpPixel(texel(ix, iy), texel(ix + 1, iy), wx),
                             raster::lerpPixel(texel(ix, iy + 1), texel(ix + 1, iy + 1), wx), wy);
}

// The span loops (fixed-point steps, whole-row copies, wrapping) against the plain computation, for
// matrices that land on exact texel positions (every pixel must agree) and for rotated and oddly scaled
// ones, where many samples fall exactly on a weight step in exact arithmetic and rounding decides the side:
// there a weight may come out one 256th apart (a channel off by one), never more. Spans are long enough for
// the eight-pixel kernels, and reach past the bitmap on every side.
TEST(RasterBitmap, SpansSampleTheSameTexelsAsAPlainComputation) {
    auto bm = std::make_shared<player::Bitmap>();
    bm->width = 5;
    bm->height = 3;
    for (int i = 0; i < 15; ++i) {
        const uint8_t a = i % 4 == 3 ? 128 : 255;
        bm->pixels.push_back(
            raster::premultiply({uint8_t(i * 17), uint8_t(255 - i * 13), uint8_t(i * 29 % 256), a}));
    }
    const double turn = std::numbers::pi / 6;
    struct Case {
        const char* name;
        player::Matrix m;
        bool exact;
    } cases[] = {
        {"unscaled at whole pixels", {1, 0, 0, 1, 7, 4}, true},
        {"unscaled, mirrored", {-1, 0, 0, 1, 30, 2}, true},
        {"unscaled at half pixels", {1, 0, 0, 1, 7.5, 4.5}, true},
        {"scaled up 4", {4, 0, 0, 4, 3, 5}, true},
        {"scaled down 2", {0.5, 0, 0, 0.5, 1, 1}, true},
        {"turned a quarter", {0, 4, -4, 0, 30, 2}, true},
        {"turned 30 degrees",
         {3 * std::cos(turn), 3 * std::sin(turn), -3 * std::sin(turn), 3 * std::cos(turn), 20, 1},
         false},
        {"stretched and skewed", {2.7, 0.3, -1.1, 3.3, 5.25, 2.5}, false},
    };
    for (const Case& c : cases) {
        for (const bool smooth : {false, true}) {
            // Smoothed and shown at half size or less, a bitmap is sampled from a smaller level (below).
            if (smooth && std::abs(c.m.a * c.m.d - c.m.b * c.m.c) <= 0.25) continue;
            for (const bool repeat : {false, true}) {
                raster::BitmapFill fill{bm, c.m, repeat, smooth};
                Surface s(48, 40);
                s.canvas.fillPath(rect(0, 0, 48, 40), Paint::bitmap(fill));
                // The wide kernels (where the processor has them) give the SSE2 baseline's bytes.
                Surface baseline(48, 40);
                const bool wide = raster::allowWideSimd(false);
                baseline.canvas.fillPath(rect(0, 0, 48, 40), Paint::bitmap(fill));
                raster::allowWideSimd(wide);
                int differing = 0, worst = 0;
                for (int y = 0; y < 40; ++y)
                    for (int x = 0; x < 48; ++x) {
                        const player::Pixel want = ReferenceTexel(*bm, fill, x, y), got = s.at(x, y);
                        if (want == got) continue;
                        ++differing;
                        for (int shift = 0; shift < 32; shift += 8)
                            worst = std::max(
                                worst, std::abs(int((want >> shift) & 255) - int((got >> shift) & 255)));
                    }
                const std::string what = std::string(c.name) + (smooth ? ", smooth" : ", nearest") +
                                         (repeat ? ", repeating" : ", clipped");
                EXPECT_EQ(s.pixels, baseline.pixels) << what;
                if (c.exact) {
                    EXPECT_EQ(differing, 0) << what;
                } else {
                    EXPECT_LE(worst, 1) << what;
                    EXPECT_LE(differing, 48 * 40 / 20) << what;
                }
            }
        }
    }
}

// Smoothed and shown at a quarter of its size, a checkerboard of single black and white texels is an even
// grey (each pixel from a level where 4x4 texels became one); without smoothing it keeps its texels.
TEST(RasterBitmap, SmoothedBitmapsShownSmallAreSampledFromSmallerLevels) {
    auto bm = std::make_shared<player::Bitmap>();
    bm->width = 64;
    bm->height = 64;
    bm->opaque = true;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            bm->pixels.push_back((x + y) % 2 ? 0xffffffffu : 0xff000000u);
    for (const double turn : {0.0, 0.3}) {
        const double k = 0.25;
        raster::BitmapFill fill{
            bm,
            {k * std::cos(turn), k * std::sin(turn), -k * std::sin(turn), k * std::cos(turn), 4, 4},
            false,
            true};
        Surface s(24, 24);
        s.canvas.fillPath(rect(0, 0, 24, 24), Paint::bitmap(fill));
        for (int y = 6; y < 14; ++y)
            for (int x = 6; x < 14; ++x)
                EXPECT_NEAR(s.red(x, y), 128, 2) << x << "," << y << " turned " << turn;
        fill.smooth = false;
        Surface n(24, 24);
        n.canvas.fillPath(rect(0, 0, 24, 24), Paint::bitmap(fill));
        int extremes = 0;
        for (int y = 6; y < 14; ++y)
            for (int x = 6; x < 14; ++x)
                extremes += n.red(x, y) == 0 || n.red(x, y) == 255;
        EXPECT_EQ(extremes, 64) << "turned " << turn;
    }
    // A bitmap whose pixels change in place (a video picture decoded over the last) is shown with its new
    // pixels on one canvas that keeps the levels it built before.
    auto video = std::make_shared<player::Bitmap>(*bm);
    raster::BitmapFill small{video, {0.25, 0, 0, 0.25, 0, 0}, false, true};
    Surface v(16, 16);
    v.canvas.fillPath(rect(0, 0, 16, 16), Paint::bitmap(small));
    EXPECT_NEAR(v.red(8, 8), 128, 2);
    std::fill(video->pixels.begin(), video->pixels.end(), 0xff0000ffu);
    ++video->revision;
    v.canvas.fillPath(rect(0, 0, 16, 16), Paint::bitmap(small));
    EXPECT_EQ(v.at(8, 8), 0xff0000ffu);
    // Halving averages premultiplied pixels, rounded, and repeats the last row and column of an odd size.
    player::Bitmap odd;
    odd.width = 3;
    odd.height = 1;
    odd.pixels = {0x80402010u, 0x00000000u, 0xff00ff00u};
    const player::Bitmap half = raster::halveBitmap(odd);
    ASSERT_EQ(half.width, 2);
    ASSERT_EQ(half.height, 1);
    EXPECT_EQ(half.pixels[0], 0x40201008u);
    EXPECT_EQ(half.pixels[1], 0xff00ff00u);
}

// Sample points beyond the fixed-point range (a bitmap moved absurdly far) still sample the right texels.
TEST(RasterBitmap, FarAwayBitmapsWrapAndClampLikeNearOnes) {
    auto bm = std::make_shared<player::Bitmap>();
    bm->width = 3;
    bm->height = 2;
    bm->pixels = {0xffff0000u, 0xff00ff00u, 0xff0000ffu, 0xffffffffu, 0xff000000u, 0xff808080u};
    for (const bool repeat : {false, true})
        for (const bool smooth : {false, true}) {
            raster::BitmapFill fill{bm, {2, 0, 0, 2, -3.0e9 + 0.25, 7.0e9}, repeat, smooth};
            Surface s(16, 8);
            s.canvas.fillPath(rect(0, 0, 16, 8), Paint::bitmap(fill));
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 16; ++x)
                    EXPECT_EQ(s.at(x, y), ReferenceTexel(*bm, fill, x, y))
                        << x << "," << y << (repeat ? " repeating" : " clipped") << (smooth ? " smooth" : "");
        }
}

TEST(RasterColorTransform, MultiplyAddClampOnStraightColour) {
    struct Case {
        const char* name;
        player::ColorTransform ct;
        player::Rgba in, out;
    } cases[] = {
        {"identity", {}, {10, 20, 30, 40}, {10, 20, 30, 40}},
        {"halve, rounding down", {0.5f, 0.5f, 0.5f, 1}, {255, 101, 1, 255}, {127, 50, 0, 255}},
        {"add clamps at 255", {1, 1, 1, 1, 100, 0, 0, 0}, {200, 0, 0, 255}, {255, 0, 0, 255}},
        {"negative add clamps at 0", {1, 1, 1, 1, -50, -50, 0, 0}, {20, 80, 9, 255}, {0, 30, 9, 255}},
        {"negative multiply", {-1, 1, 1, 1, 255, 0, 0, 0}, {55, 0, 0, 255}, {200, 0, 0, 255}},
        {"alpha multiply and add", {1, 1, 1, 0.25f, 0, 0, 0, 10}, {9, 9, 9, 200}, {9, 9, 9, 60}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(raster::applyColorTransform(c.in, c.ct), c.out);
    }

    // On a solid paint: colour transformed first, then premultiplied and composited.
    Surface s;
    player::ColorTransform ct;
    ct.am = 0.5f;
    ct.ba = 255;
    s.canvas.fillPath(rect(0, 0, 4, 4), Paint::solid({255, 0, 0, 255}, ct));
    EXPECT_EQ(s.at(1, 1), 0x7f7f007fu);
    // A transform taking alpha to zero draws nothing.
    ct.am = 0;
    s.canvas.fillPath(rect(8, 0, 12, 4), Paint::solid({255, 0, 0, 255}, ct));
    EXPECT_EQ(s.at(9, 1), 0u);
}
