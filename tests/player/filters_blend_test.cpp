// Blend modes and bitmap filters on small images whose right answers are worked out by hand (and, for the
// rounding, checked against Flash Player's reference pictures).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "player/filters/blend.h"
#include "player/filters/filter.h"
#include "player/filters/layer_pool.h"

namespace {

using player::Pixel;
using player::filters::BlendMode;

constexpr Pixel argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

struct BlendCase {
    const char* name;
    BlendMode mode;
    Pixel src, dst, want;
};

TEST(BlendModes, OpaquePixelsFollowFlashFormulas) {
    // Source (200, 100, 50) onto destination (100, 200, 250), both opaque.
    const Pixel s = argb(255, 200, 100, 50), d = argb(255, 100, 200, 250);
    const BlendCase cases[] = {
        {"normal", BlendMode::Normal, s, d, s},
        {"layer", BlendMode::Layer, s, d, s},
        {"multiply", BlendMode::Multiply, s, d, argb(255, 78, 78, 49)},  // s * d / 255, rounded
        {"screen", BlendMode::Screen, s, d, argb(255, 222, 222, 251)},   // s + d - s * d / 255
        {"lighten", BlendMode::Lighten, s, d, argb(255, 200, 200, 250)},
        {"darken", BlendMode::Darken, s, d, argb(255, 100, 100, 50)},
        {"difference", BlendMode::Difference, s, d, argb(255, 100, 100, 200)},
        {"add", BlendMode::Add, s, d, argb(255, 255, 255, 255)},
        {"subtract", BlendMode::Subtract, s, d, argb(255, 0, 100, 200)},
        {"invert", BlendMode::Invert, s, d, argb(255, 155, 55, 5)},
        // Hard light: the source decides; 200 > 127 screens (255 - 2 (255 - s)(255 - d) / 255), 100 and 50
        // multiply (2 s d / 255).
        {"hardlight", BlendMode::HardLight, s, d, argb(255, 189, 156, 98)},
        // Overlay is hard light with the roles swapped: the destination decides.
        {"overlay", BlendMode::Overlay, s, d, argb(255, 156, 189, 247)},
    };
    for (const BlendCase& c : cases) {
        EXPECT_EQ(player::filters::blendPixel(c.src, c.dst, c.mode), c.want) << c.name;
    }
}

TEST(BlendModes, TransparencyOnEitherSide) {
    const Pixel red = argb(255, 255, 0, 0), halfGrey = argb(128, 64, 64, 64), clear = 0;
    const BlendCase cases[] = {
        // Onto nothing, the separable modes show the source as it is.
        {"multiply onto clear", BlendMode::Multiply, red, clear, red},
        {"screen onto clear", BlendMode::Screen, halfGrey, clear, halfGrey},
        // Add sums alpha as well as colour.
        {"add two halves", BlendMode::Add, halfGrey, halfGrey, argb(255, 128, 128, 128)},
        // Invert over nothing gives white where the source covers (reference pictures of invert in a layer).
        {"invert onto clear", BlendMode::Invert, red, clear, argb(255, 255, 255, 255)},
        // Alpha keeps the destination as far as the source is opaque; erase removes it that far.
        {"alpha", BlendMode::Alpha, halfGrey, red, argb(128, 128, 0, 0)},
        {"erase", BlendMode::Erase, halfGrey, red, argb(127, 127, 0, 0)},
        {"erase with clear source", BlendMode::Erase, clear, red, red},
    };
    for (const BlendCase& c : cases) {
        EXPECT_EQ(player::filters::blendPixel(c.src, c.dst, c.mode), c.want) << c.name;
    }
}

TEST(BlendModes, RowHonoursClipAndUnknownBytesAreNormal) {
    std::vector<Pixel> dst(3, argb(255, 100, 100, 100)), src(3, argb(255, 100, 100, 100));
    const uint8_t clip[3] = {0, 255, 128};
    player::filters::blendRow(dst.data(), src.data(), clip, 3, BlendMode::Add);
    EXPECT_EQ(dst[0], argb(255, 100, 100, 100));  // clipped away
    EXPECT_EQ(dst[1], argb(255, 200, 200, 200));
    EXPECT_EQ(dst[2], argb(255, 150, 150, 150));  // half the source
    EXPECT_EQ(player::filters::blendModeFromByte(0), BlendMode::Normal);
    EXPECT_EQ(player::filters::blendModeFromByte(15), BlendMode::Normal);
    EXPECT_EQ(player::filters::blendModeFromByte(14), BlendMode::HardLight);
}

// An image with a transparent margin around an opaque block.
struct TestImage {
    int w, h;
    std::vector<Pixel> px;
    TestImage(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * size_t(h_), 0) {}
    void fill(int x0, int y0, int x1, int y1, Pixel p) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                px[size_t(y) * w + x] = p;
    }
    Pixel at(int x, int y) const { return px[size_t(y) * w + x]; }
    player::filters::Image image() { return {px.data(), w, h, w, 0, 0}; }
};

player::filters::Filter makeFilter(swf::FilterType t) {
    player::filters::Filter f;
    f.type = t;
    f.passes = 1;
    f.strength = 1;
    f.compositeSource = true;
    return f;
}

TEST(Filters, BlurRampsAnEdgeAsFlashPlayerRoundsIt) {
    // A hard edge at x = 20, blurred across; each row is the alpha from x = 14 on. Odd widths ramp over
    // that many values, 255 * k / width rounded down (a blur of 19 at twice the stage size in the reference
    // pictures); even widths weigh their two outermost values half; quality 0 blurs nothing. The even rows
    // are read off Flash Player's pictures of a square blurred by 2 and 4 at qualities 1 to 3.
    struct Case {
        double amount;
        int passes;
        std::vector<uint32_t> want;
    };
    const Case cases[] = {
        {2, 1, {0, 0, 0, 0, 0, 63, 191, 255, 255}},    {4, 1, {0, 0, 0, 0, 31, 95, 159, 223, 255}},
        {2, 2, {0, 0, 0, 0, 15, 79, 175, 239, 255}},   {4, 2, {0, 0, 3, 19, 51, 99, 155, 203, 235}},
        {2, 3, {0, 0, 0, 3, 27, 87, 167, 227, 251}},   {5, 1, {0, 0, 0, 0, 51, 102, 153, 204, 255}},
        {4.9, 1, {0, 0, 0, 0, 31, 95, 159, 223, 255}}, {4, 0, {0, 0, 0, 0, 0, 0, 255, 255, 255}},
        {1, 3, {0, 0, 0, 0, 0, 0, 255, 255, 255}},
    };
    player::filters::FilterScratch scratch;
    for (const Case& c : cases) {
        TestImage img(40, 1);
        img.fill(20, 0, 40, 1, argb(255, 255, 255, 255));
        auto f = makeFilter(swf::FilterType::Blur);
        f.blurX = c.amount;
        f.passes = c.passes;
        auto image = img.image();
        player::filters::applyFilter(f, 1.0, image, scratch);
        std::vector<uint32_t> got;
        for (int x = 14; x < 23; ++x)
            got.push_back(img.at(x, 0) >> 24);
        EXPECT_EQ(got, c.want) << "blur " << c.amount << " x" << c.passes;
    }

    TestImage img(100, 1);
    img.fill(50, 0, 100, 1, argb(255, 255, 255, 255));
    auto f = makeFilter(swf::FilterType::Blur);
    f.blurX = 19;
    auto image = img.image();
    player::filters::applyFilter(f, 1.0, image, scratch);
    EXPECT_EQ(img.at(40, 0), 0u);
    for (int k = 1; k <= 18; ++k)
        EXPECT_EQ(img.at(40 + k, 0) >> 24, uint32_t(255 * k / 19)) << k;
    EXPECT_EQ(img.at(59, 0) >> 24, 255u);
    EXPECT_EQ(img.at(80, 0), argb(255, 255, 255, 255));
}

TEST(Filters, BlurScalesWithTheStageAndMorePassesSpreadFurther) {
    auto spread = [](double amount, double scale, int passes) {
        TestImage img(200, 1);
        img.fill(100, 0, 101, 1, argb(255, 255, 0, 0));
        auto f = makeFilter(swf::FilterType::Blur);
        f.blurX = amount;
        f.passes = passes;
        player::filters::FilterScratch scratch;
        auto image = img.image();
        player::filters::applyFilter(f, scale, image, scratch);
        int n = 0;
        for (int x = 0; x < 200; ++x)
            n += img.at(x, 0) != 0;
        return n;
    };
    EXPECT_EQ(spread(1, 1, 1), 1);  // a blur of one pixel changes nothing
    EXPECT_EQ(spread(5, 1, 1), 5);
    EXPECT_EQ(spread(6, 1, 1), 7);    // an even width reaches half a value further on each side
    EXPECT_EQ(spread(2.5, 2, 1), 5);  // the same blur on a stage shown twice as large
    EXPECT_EQ(spread(3, 2, 1), 7);
    EXPECT_GT(spread(6, 1, 3), spread(6, 1, 2));
    EXPECT_EQ(player::filters::filterReach(makeFilter(swf::FilterType::ColorMatrix), 1).left, 0);
}

TEST(Filters, DropShadowOffsetsKnockoutAndInner) {
    auto run = [](bool inner, bool knockout, bool hide) {
        TestImage img(20, 10);
        img.fill(5, 2, 10, 7, argb(255, 255, 0, 0));
        auto f = makeFilter(swf::FilterType::DropShadow);
        f.colors = {{0, 0, 255, 255}};
        f.distance = 3;
        f.angle = 0;  // to the right
        f.inner = inner;
        f.knockout = knockout;
        f.compositeSource = !hide;
        player::filters::FilterScratch scratch;
        auto image = img.image();
        player::filters::applyFilter(f, 1.0, image, scratch);
        return img;
    };
    const Pixel red = argb(255, 255, 0, 0), blue = argb(255, 0, 0, 255);
    TestImage outer = run(false, false, false);
    EXPECT_EQ(outer.at(6, 4), red);    // the object stays on top
    EXPECT_EQ(outer.at(11, 4), blue);  // its shadow shows 3 pixels to the right
    EXPECT_EQ(outer.at(13, 4), 0u);    // and ends there
    EXPECT_EQ(outer.at(4, 4), 0u);
    TestImage knocked = run(false, true, false);
    EXPECT_EQ(knocked.at(6, 4), 0u);  // knockout: no object, and no shadow under it
    EXPECT_EQ(knocked.at(11, 4), blue);
    TestImage hidden = run(false, false, true);
    EXPECT_EQ(hidden.at(6, 4), 0u);  // hide object: the whole shadow, the object gone
    EXPECT_EQ(hidden.at(9, 4), blue);
    TestImage in = run(true, false, false);
    EXPECT_EQ(in.at(6, 4), blue);  // inner: the shadow of the hole falls inside the left edge
    EXPECT_EQ(in.at(9, 4), red);
    EXPECT_EQ(in.at(11, 4), 0u);  // nothing outside
}

TEST(Filters, GlowStrengthAndBevelSides) {
    TestImage img(30, 30);
    img.fill(10, 10, 20, 20, argb(255, 0, 0, 0));
    auto glow = makeFilter(swf::FilterType::Glow);
    glow.colors = {{0, 255, 0, 255}};
    glow.blurX = glow.blurY = 3;  // a box of three pixels
    glow.strength = 3;
    player::filters::FilterScratch scratch;
    auto image = img.image();
    player::filters::applyFilter(glow, 1.0, image, scratch);
    // Just outside the right edge the blurred alpha is a third; strength 3 makes the glow (nearly) opaque.
    EXPECT_GE(img.at(20, 15) >> 24, 250u);
    EXPECT_EQ(img.at(20, 15) & 0xff00ffu, 0u);  // green only
    EXPECT_EQ(img.at(21, 15), 0u);
    EXPECT_EQ(img.at(15, 15), argb(255, 0, 0, 0));

    TestImage bev(30, 30);
    bev.fill(10, 10, 20, 20, argb(255, 128, 128, 128));
    auto bevel = makeFilter(swf::FilterType::Bevel);
    bevel.colors = {{255, 255, 255, 255}, {0, 0, 0, 255}};  // highlight, shadow
    bevel.blurX = bevel.blurY = 3;
    bevel.distance = 2;
    bevel.angle = 0.785398;  // light from the top left
    bevel.inner = true;
    auto bimage = bev.image();
    player::filters::applyFilter(bevel, 1.0, bimage, scratch);
    const Pixel topLeft = bev.at(10, 10), bottomRight = bev.at(19, 19);
    EXPECT_GT(topLeft & 0xff, 128u);      // highlight
    EXPECT_LT(bottomRight & 0xff, 128u);  // shadow
    EXPECT_EQ(bev.at(5, 5), 0u);          // an inner bevel stays inside
}

TEST(Filters, ColorMatrixRoundsAndConvolutionEdges) {
    TestImage img(3, 1);
    img.fill(0, 0, 3, 1, argb(255, 10, 20, 30));
    auto cm = makeFilter(swf::FilterType::ColorMatrix);
    // Red and blue swap; green halves (20 * 0.5 + 0.5 offset = 10.5 rounds to 11).
    cm.matrix = {0, 0, 1, 0, 0, 0, 0.5f, 0, 0, 0.5f, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    player::filters::FilterScratch scratch;
    auto image = img.image();
    player::filters::applyFilter(cm, 1.0, image, scratch);
    EXPECT_EQ(img.at(1, 0), argb(255, 30, 11, 10));

    // A 3x1 kernel summing the neighbours: at the edges, clamp repeats the edge pixel, otherwise the default
    // colour comes in; preserved alpha keeps the pixel's own.
    auto run = [&](bool clamp) {
        TestImage row(3, 1);
        row.fill(0, 0, 3, 1, argb(255, 10, 10, 10));
        auto conv = makeFilter(swf::FilterType::Convolution);
        conv.matrixX = 3;
        conv.matrixY = 1;
        conv.matrix = {1, 1, 1};
        conv.divisor = 1;
        conv.bias = 5;
        conv.clamp = clamp;
        conv.preserveAlpha = true;
        conv.defaultColor = {100, 0, 0, 255};
        auto im = row.image();
        player::filters::applyFilter(conv, 1.0, im, scratch);
        return row;
    };
    TestImage clamped = run(true), open = run(false);
    EXPECT_EQ(clamped.at(0, 0), argb(255, 35, 35, 35));
    EXPECT_EQ(clamped.at(1, 0), argb(255, 35, 35, 35));
    EXPECT_EQ(open.at(0, 0), argb(255, 125, 25, 25));
}

TEST(Filters, GradientGlowColoursByBlurredAlpha) {
    // Stops from transparent black to opaque red: a third of the alpha picks the colour a third of the way.
    TestImage img(30, 10);
    img.fill(10, 0, 20, 10, argb(255, 0, 0, 255));
    auto f = makeFilter(swf::FilterType::GradientGlow);
    f.colors = {{0, 0, 0, 0}, {255, 0, 0, 255}};
    f.ratios = {0, 255};
    f.blurX = 3;  // a box of three pixels: just outside the right edge sees a third
    player::filters::FilterScratch scratch;
    auto image = img.image();
    player::filters::applyFilter(f, 1.0, image, scratch);
    EXPECT_EQ(img.at(20, 5) >> 24, 85u);
    EXPECT_EQ((img.at(20, 5) >> 16) & 0xff, 28u);  // red 85 at alpha 85, premultiplied
    EXPECT_EQ(img.at(20, 5) & 0xffff, 0u);
    EXPECT_EQ(img.at(25, 5), 0u);
    EXPECT_EQ(img.at(15, 5), argb(255, 0, 0, 255)) << "the object stays on top";
}

TEST(LayerPool, ReusesLayersAndRefusesBeyondItsLimits) {
    player::filters::LayerPool pool;
    player::filters::Layer* a = pool.acquire(100, 50);
    ASSERT_NE(a, nullptr);
    a->pixels[0] = 0xffffffffu;
    pool.release(a);
    const size_t bytes = pool.bytes();
    player::filters::Layer* b = pool.acquire(80, 40);
    EXPECT_EQ(b, a);                 // the same buffer again
    EXPECT_EQ(b->pixels[0], 0u);     // cleared
    EXPECT_EQ(pool.bytes(), bytes);  // no growth
    player::filters::Layer* c = pool.acquire(10, 10);
    EXPECT_NE(c, b);  // in use layers are not handed out twice
    pool.release(b);
    pool.release(c);
    EXPECT_EQ(pool.acquire(0, 10), nullptr);
    EXPECT_EQ(pool.acquire(100000, 10), nullptr);
    // A budget of 64 KiB holds one 100 x 100 layer, not two.
    player::filters::LayerPool small(64 << 10);
    player::filters::Layer* first = small.acquire(100, 100);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(small.acquire(100, 100), nullptr);
    small.release(first);
    EXPECT_NE(small.acquire(100, 100), nullptr);
    std::vector<player::filters::Layer*> held;
    for (int i = 0; i < player::filters::kMaxLayerDepth; ++i)
        held.push_back(pool.acquire(4, 4));
    EXPECT_EQ(pool.acquire(4, 4), nullptr);
    for (auto* l : held)
        pool.release(l);
}

}  // namespace
