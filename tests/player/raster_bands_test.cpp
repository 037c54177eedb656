// Pictures drawn on several threads: a recording played into bands of rows gives the same bytes as drawing
// directly, whatever the bands, and a player drawing on two threads gives the same pictures as on one.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "player/raster/canvas.h"
#include "tests/player/player_test_util.h"
#include "tests/player/raster_fixture.h"

namespace {

using raster::Paint;
using namespace raster_test;

// Everything a picture may hold that depends on the rows a sweep starts at: outlines reaching in from
// above the canvas, gradients, a turned and smoothed bitmap under a colour transform, strokes (one scaled
// in shape space), nested masks whose tops lie inside the picture with shapes reaching in from above them,
// and anti-aliased and aliased draws.
void drawScene(raster::Canvas& c, bool antialias) {
    c.clear({240, 240, 250, 255});
    raster::Path wedge;
    wedge.moveTo(-20, -60);
    wedge.lineTo(70, 45.3);
    wedge.lineTo(3.7, 52);
    wedge.close();
    c.fillPath(wedge, raster::FillRule::EvenOdd, solid(200, 30, 40, 200), antialias);

    raster::Gradient linear;
    linear.stops = {{0, {255, 0, 0, 255}}, {128, {0, 255, 0, 180}}, {255, {0, 0, 255, 255}}};
    linear.matrix = {0.002, 0.0013, -0.0011, 0.0021, 30, 25};
    c.fillPath(circle(30, 25, 22.4), raster::FillRule::EvenOdd, Paint::gradient(linear), antialias);
    raster::Gradient radial = linear;
    radial.type = raster::GradientType::Radial;
    radial.spread = raster::SpreadMode::Reflect;
    radial.matrix = {0.0007, 0, 0, 0.0009, 50, 10};
    c.fillPath(rect(35.5, -10, 70, 33.25), raster::FillRule::NonZero, Paint::gradient(radial), antialias);

    auto bm = std::make_shared<player::Bitmap>();
    bm->width = 5;
    bm->height = 3;
    for (int i = 0; i < 15; ++i)
        bm->pixels.push_back(0xff000000u | uint32_t(i * 0x110B07));
    bm->opaque = true;
    player::ColorTransform tint;
    tint.rm = 0.5f;
    tint.ba = 40;
    c.fillPath(circle(12, 40, 14), raster::FillRule::EvenOdd,
               Paint::bitmap({bm, {3.1, 1.2, -0.9, 2.7, 4, 30}, true, true}, tint), antialias);

    raster::StrokeStyle line{.width = 2.5, .join = raster::JoinStyle::Miter};
    raster::Path zigzag;
    zigzag.moveTo(-5, -8);
    zigzag.lineTo(20, 30);
    zigzag.quadTo(40, 60, 66, 12);
    c.strokePath(zigzag, line, solid(10, 10, 10, 230), antialias);
    raster::StrokeStyle shapeLine{.width = 40};
    c.strokePath(circle(400, 300, 200), shapeLine, player::Matrix{0.1, 0.02, -0.03, 0.07, 20, 10},
                 solid(0, 120, 0, 160), antialias);

    // Masks whose tops lie in the picture's middle rows, and a shape reaching into them from above.
    c.beginMask();
    c.fillPath(circle(35, 36, 15.5), raster::FillRule::EvenOdd, solid(0, 0, 0), antialias);
    c.endMask();
    c.beginMask();
    c.fillPath(rect(10, 28.6, 60, 58), raster::FillRule::EvenOdd, solid(0, 0, 0), antialias);
    c.endMask();
    raster::Path slant;
    slant.moveTo(-3, -40);
    slant.lineTo(61, 2);
    slant.lineTo(52, 70);
    slant.lineTo(8.2, 66);
    slant.close();
    c.fillPath(slant, raster::FillRule::NonZero, Paint::gradient(linear), antialias);
    // Painting through coverage masks (as kept glyphs are), clipped and partly off the picture.
    std::vector<uint8_t> ramp(size_t(24) * 30);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = uint8_t(i * 7);
    c.fillCoverage(ramp.data(), 20, 18, 24, 30, 24, solid(0, 90, 0, 220), antialias);
    c.fillCoverage(ramp.data(), -10, 50, 24, 30, 24, solid(90, 0, 0, 255), antialias);
    c.popMask();
    c.fillPath(circle(50, 50, 9), raster::FillRule::EvenOdd, solid(255, 200, 0, 128), antialias);
    c.popMask();
    c.fillPath(rect(0, 55, 70, 61), raster::FillRule::EvenOdd, solid(90, 0, 90, 255), antialias);
    // A long edge from far above whose crossing, worked out afresh at row 30, falls a hair's breadth to
    // the other side of a sample than where stepping down to it from the canvas's top puts it.
    raster::Path steep;
    steep.moveTo(113, -33);
    steep.lineTo(60, 40);
    steep.lineTo(-10, 40);
    steep.close();
    c.fillPath(steep, raster::FillRule::EvenOdd, solid(0, 60, 200, 150), antialias);
}

// Where two pictures of width w first differ ("x,y"), or "" when they are the same.
std::string firstDifference(const std::vector<player::Pixel>& a, const std::vector<player::Pixel>& b, int w) {
    if (a.size() != b.size()) return "sizes";
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return std::to_string(i % size_t(w)) + "," + std::to_string(i / size_t(w));
    return "";
}

TEST(RasterBands, RecordingsPlayedInAnyBandsDrawTheSamePicture) {
    constexpr int w = 71, h = 61;
    const std::vector<std::vector<int>> splits = {
        {0, h}, {0, 30, h}, {0, 1, h}, {0, 7, 29, 30, h}, {0, 60, h},
    };
    for (bool antialias : {true, false}) {
        Surface direct(w, h);
        drawScene(direct.canvas, antialias);

        Surface recorder(w, h);
        raster::Recording recording;
        recorder.canvas.record(&recording);
        drawScene(recorder.canvas, antialias);
        recorder.canvas.record(nullptr);
        ASSERT_FALSE(recording.refused());
        EXPECT_EQ(recorder.canvas.maskDepth(), 0);
        EXPECT_EQ(recorder.pixels, std::vector<player::Pixel>(size_t(w) * h, 0)) << "recording draws nothing";

        for (const std::vector<int>& bands : splits) {
            std::vector<player::Pixel> pixels(size_t(w) * h, 0);
            for (size_t i = 0; i + 1 < bands.size(); ++i) {
                raster::Canvas band(pixels.data(), w, h, w);
                band.play(recording, bands[i], bands[i + 1]);
            }
            EXPECT_EQ(firstDifference(pixels, direct.pixels, w), "")
                << "antialias " << antialias << ", " << bands.size() - 1 << " bands";
        }
        // A band touches its own rows only.
        std::vector<player::Pixel> pixels(size_t(w) * h, 0x12345678u);
        raster::Canvas band(pixels.data(), w, h, w);
        band.play(recording, 20, 40);
        for (int y = 0; y < h; ++y) {
            const bool inside = y >= 20 && y < 40;
            for (int x = 0; x < w; ++x) {
                const player::Pixel want = inside ? direct.at(x, y) : 0x12345678u;
                ASSERT_EQ(pixels[size_t(y) * w + x], want) << x << "," << y;
            }
        }
    }
}

TEST(RasterBands, CompositingOntoARecordingCanvasRefusesTheRecording) {
    Surface s(16, 16);
    raster::Recording recording;
    s.canvas.record(&recording);
    s.canvas.fillPath(rect(2, 2, 10, 10), solid(255, 0, 0));
    EXPECT_FALSE(recording.refused());
    EXPECT_TRUE(s.canvas.recording());
    (void)s.canvas.clipRow(3);
    EXPECT_TRUE(recording.refused());
    s.canvas.record(nullptr);
    recording.clear();
    EXPECT_FALSE(recording.refused());
    s.canvas.record(&recording);
    EXPECT_NE(s.canvas.pixels(), nullptr);
    EXPECT_TRUE(recording.refused());
    s.canvas.record(nullptr);
    // Drawing again once the recording ended.
    s.canvas.fillPath(rect(2, 2, 10, 10), solid(255, 0, 0));
    EXPECT_EQ(s.at(5, 5), 0xffff0000u);
}

using namespace playertest;

constexpr uint16_t kPlaceObject3 = 70;

// Frames of moving, turning shapes across the band line, a masked layer, and from frame 4 a blurred object
// (drawn through an offscreen layer, which a recording cannot hold: such pictures are drawn on one thread).
testswf::Bytes bandsMovie() {
    auto b = movie(120, 90, 8);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 40, 30, 0xC03020));
    b.tag(kDefineShape3, rectShape(2, 0, 0, 120, 20, 0x2040E0));
    b.tag(kDefineShape3, rectShape(3, 0, 0, 30, 30, 0x000000));
    b.tag(kPlaceObject2, place(2, 1, 0, 10));
    testswf::PlaceSpec mask;
    mask.depth = 2;
    mask.characterId = 1;
    mask.clipDepth = 3;
    mask.matrix = testswf::MatrixSpec{1, 1, 0, 0, 30 * 20, 40 * 20};
    b.tag(kPlaceObject2, testswf::placeObject(mask, 2));
    for (int f = 0; f < 8; ++f) {
        testswf::PlaceSpec turn;
        turn.depth = 3;
        turn.move = f > 0;
        if (f == 0) turn.characterId = 1;
        const double a = 0.4 * f;
        turn.matrix = testswf::MatrixSpec{std::cos(a),  std::cos(a),           std::sin(a),
                                          -std::sin(a), (30 + 7 * f) * 20 + 7, (20 + 5 * f) * 20 + 3};
        b.tag(kPlaceObject2, testswf::placeObject(turn, 2));
        if (f == 4) {
            testswf::PlaceSpec blurred;
            blurred.depth = 4;
            blurred.characterId = 3;
            blurred.matrix = testswf::MatrixSpec{1, 1, 0, 0, 70 * 20, 30 * 20};
            blurred.filters =
                std::vector<std::pair<uint8_t, testswf::Bytes>>{{1, testswf::blurFilter(6, 6, 1)}};
            b.tag(kPlaceObject3, testswf::placeObject(blurred, 3));
        }
        b.showFrame();
    }
    return b.end().build();
}

TEST(PlayerBands, TwoDrawingThreadsGiveTheSamePicturesAsOne) {
    const testswf::Bytes bytes = bandsMovie();
    for (player::Quality q : {player::Quality::High, player::Quality::Low}) {
        player::Player one, two;
        load(one, bytes);
        load(two, bytes);
        for (int frame = 1; frame <= 8; ++frame) {
            std::vector<player::Pixel> a(120 * 90), b(120 * 90);
            player::RenderOptions o;
            o.quality = q;
            one.render(a.data(), 120, 90, 120, o);
            o.threads = 2;
            two.render(b.data(), 120, 90, 120, o);
            EXPECT_EQ(firstDifference(a, b, 120), "") << "frame " << frame;
            one.advance();
            two.advance();
        }
    }
}

}  // namespace
