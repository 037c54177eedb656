// What the display list draws: fill styles on both sides of shared edges, clip layers, morph ratios, static
// text, buttons, colour transforms, and the stage scaled to fit.
#include "tests/player/player_test_util.h"

namespace {

using namespace playertest;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

TEST(PlayerDrawing, EdgesCarryAFillOnEachSide) {
    // Two squares sharing the edge x = 10 px: the shared edge has red on its left and blue on its right;
    // a hole in the red square (edges with red on one side only, drawn inside) shows the background.
    testswf::ShapeBuilder s;
    int red = s.fillSolid(0xFF0000FF), blue = s.fillSolid(0x0000FFFF);
    s.moveTo(0, 0).fill1(red).lineTo(200, 0);  // top of red
    s.fill0(0)
        .fill1(0)
        .moveTo(200, 0)
        .fill0(blue)
        .fill1(red)  // shared edge: blue left, red right of drawing
        .lineTo(200, 200);
    s.fill0(0).fill1(red).moveTo(200, 200).lineTo(0, 200).lineTo(0, 0);
    s.fill0(0).fill1(blue).moveTo(200, 200).lineTo(400, 200).lineTo(400, 0).lineTo(200, 0);
    // Hole 60..140 inside the red square.
    s.fill0(red).fill1(0).moveTo(60, 60).lineTo(140, 60).lineTo(140, 140).lineTo(60, 140).lineTo(60, 60);
    auto b = movie(20, 10, 1);
    b.tag(kDefineShape3, s.defineShape(1, 3));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 20, 10);
    EXPECT_EQ(pic.rgb(1, 1), kRed);
    EXPECT_EQ(pic.rgb(9, 8), kRed);
    EXPECT_EQ(pic.rgb(10, 5), kBlue);
    EXPECT_EQ(pic.rgb(18, 8), kBlue);
    EXPECT_EQ(pic.rgb(5, 5), kWhite) << "the hole";
}

TEST(PlayerDrawing, ClipLayerMasksTheDepthsAboveItUpToItsClipDepth) {
    auto b = movie(40, 20, 1);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 20, 20, 0x00FF00));  // mask: left half
    b.tag(kDefineShape3, rectShape(2, 0, 0, 40, 10, kRed));      // masked (depth 2)
    b.tag(kDefineShape3, rectShape(3, 0, 10, 40, 20, kBlue));    // above the clip depth: not masked
    testswf::PlaceSpec mask;
    mask.depth = 1;
    mask.characterId = 1;
    mask.clipDepth = 2;
    b.tag(kPlaceObject2, testswf::placeObject(mask, 2));
    b.tag(kPlaceObject2, place(2, 2));
    b.tag(kPlaceObject2, place(3, 3)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 5), kRed);
    EXPECT_EQ(pic.rgb(30, 5), kWhite) << "outside the mask";
    EXPECT_EQ(pic.rgb(30, 15), kBlue) << "depth 3 is beyond the clip depth";
    EXPECT_NE(pic.rgb(5, 15), 0x00FF00u) << "the mask itself is not drawn";
}

// A morph from a red square at 0..10 px to a blue one at 20..30 px, placed at `ratio` on a 40x10 stage.
testswf::Bytes redToBlueMorphMovie(uint16_t ratio) {
    testswf::MorphShapeBuilder m;
    int f = m.fillSolid(0xFF0000FF, 0x0000FFFF);
    m.start().fill0(f).rect(0, 0, 200, 200);
    m.end().rect(400, 0, 600, 200);
    auto b = movie(40, 10, 1);
    b.tag(kDefineMorphShape, m.defineMorphShape(1, 1));
    testswf::PlaceSpec ps;
    ps.depth = 1;
    ps.characterId = 1;
    ps.ratio = ratio;
    b.tag(kPlaceObject2, testswf::placeObject(ps, 2)).showFrame();
    return b.end().build();
}

TEST(PlayerDrawing, MorphShapeFollowsTheRatio) {
    player::Player p;
    load(p, redToBlueMorphMovie(32768));
    Picture pic = render(p, 40, 10);
    // Halfway: the square sits at x = 10..20 px, coloured half red, half blue.
    uint32_t mid = pic.rgb(15, 5);
    EXPECT_NEAR(int(mid >> 16), 128, 2);
    EXPECT_NEAR(int(mid & 0xFF), 127, 2);
    EXPECT_EQ(pic.rgb(5, 5), kWhite);
    EXPECT_EQ(pic.rgb(25, 5), kWhite);
}

TEST(PlayerDrawing, StaticTextDrawsGlyphsAtTheRecordHeightAndColour) {
    // One glyph: a square filling the em box (1024 units, y from -1024 to 0 above the baseline).
    testswf::FontSpec font;
    font.id = 1;
    testswf::GlyphSpec g;
    g.shape.fill1(1).rect(0, -1024, 1024, 0);
    g.code = 'A';
    g.advance = 1024;
    font.glyphs.push_back(g);
    testswf::TextRecordSpec rec;
    rec.fontId = 1;
    rec.height = 200;  // 10 px
    rec.rgba = 0x0000FFFF;
    rec.x = 0;
    rec.y = 200;
    rec.glyphs = {{0, 240}, {0, 240}};  // two squares 12 px apart
    auto b = movie(40, 20, 1);
    b.tag(kDefineFont2, testswf::defineFont2(font, 2));
    b.tag(kDefineText, testswf::defineText(2, 1, {0, 800, 0, 400}, testswf::MatrixSpec{}, {rec}));
    b.tag(kPlaceObject2, place(2, 1)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 5), kBlue);
    EXPECT_EQ(pic.rgb(11, 5), kWhite) << "the gap between the glyphs";
    EXPECT_EQ(pic.rgb(17, 5), kBlue);
    EXPECT_EQ(pic.rgb(5, 15), kWhite) << "below the baseline";
}

TEST(PlayerDrawing, ColourTransformMultipliesAndAdds) {
    auto b = movie(20, 20, 1);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 20, 20, 0x804020));
    testswf::PlaceSpec ps;
    ps.depth = 1;
    ps.characterId = 1;
    testswf::CxSpec cx;
    cx.mul[0] = 512;  // red doubled
    cx.mul[1] = 128;  // green halved
    cx.add[2] = 300;  // blue pushed past 255: clamped
    ps.cxform = cx;
    b.tag(kPlaceObject2, testswf::placeObject(ps, 2)).showFrame();
    player::Player p;
    load(p, b.end().build());
    EXPECT_EQ(render(p, 20, 20).rgb(10, 10), 0xFF20FFu);
}

// A gradient without stops fills its shape black, as Flash Player draws it; the colour transform still
// applies.
TEST(PlayerDrawing, GradientWithoutStopsFillsBlack) {
    testswf::ShapeBuilder s;
    const int f = s.addFill(testswf::FillSpec::linear({}));
    s.fill0(f).rect(0, 0, 200, 200);
    for (const bool tinted : {false, true}) {
        auto b = movie(20, 20, 1);
        b.tag(kDefineShape3, s.defineShape(1, 3));
        testswf::PlaceSpec ps;
        ps.depth = 1;
        ps.characterId = 1;
        if (tinted) ps.cxform = testswf::CxSpec{{256, 256, 256, 256}, {0, 100, 0, 0}};
        b.tag(kPlaceObject2, testswf::placeObject(ps, 2)).showFrame();
        player::Player p;
        load(p, b.end().build());
        const Picture pic = render(p, 20, 20);
        EXPECT_EQ(pic.rgb(5, 5), tinted ? 0x006400u : 0x000000u) << (tinted ? "tinted" : "plain");
        EXPECT_EQ(pic.rgb(15, 15), 0xFFFFFFu) << "outside the shape";
    }
}

TEST(PlayerDrawing, ButtonsShowTheirUpState) {
    auto b = movie(40, 20, 1);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, kRed));
    b.tag(kDefineShape3, rectShape(2, 20, 0, 30, 10, kBlue));
    testswf::ButtonRecordSpec up, over;
    up.characterId = 1;
    over.up = false;
    over.over = true;
    over.characterId = 2;
    over.depth = 2;
    b.tag(kDefineButton2, testswf::defineButton2(3, false, {up, over}, {}));
    b.tag(kPlaceObject2, place(3, 1)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 5), kRed);
    EXPECT_EQ(pic.rgb(25, 5), kWhite);
}

TEST(PlayerDrawing, StageIsScaledToFitAndCentred) {
    auto b = movie(20, 10, 1, 8, 0x00FF00);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 20, 10, kRed));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    player::Player p;
    load(p, b.end().build());
    // 20x10 shown in 40x40: scaled by 2 to 40x20, centred vertically with background bands.
    Picture pic = render(p, 40, 40);
    EXPECT_EQ(pic.rgb(20, 5), 0x00FF00u);
    EXPECT_EQ(pic.rgb(20, 20), kRed);
    EXPECT_EQ(pic.rgb(1, 11), kRed);
    EXPECT_EQ(pic.rgb(20, 35), 0x00FF00u);
    player::RenderOptions o;
    o.background = 0x123456;
    std::vector<player::Pixel> px(40 * 40);
    p.render(px.data(), 40, 40, 40, o);
    EXPECT_EQ(px[5 * 40 + 20] & 0xFFFFFF, 0x123456u) << "the host's colour replaces the movie's";
}

// A frame of non-square pixels (a disc format's 4:3 frame of 44x30 pixels, each 10/11 as wide as high)
// shows the stage in its own shape as seen: drawn wider in pixels, filling the frame or banded.
TEST(PlayerDrawing, StageKeepsItsShapeOnNonSquarePixels) {
    struct Case {
        const char* what;
        int stageW, stageH, width, height;
        double aspect;
        int redX0, redX1, redY0, redY1;  // the stage's pixels; the rest is background
    } cases[] = {
        {"4:3 on square pixels: bands left and right", 40, 30, 44, 30, 1.0, 2, 42, 0, 30},
        {"4:3 on a 4:3 frame of narrow pixels: the whole frame", 40, 30, 44, 30, 10.0 / 11, 0, 44, 0, 30},
        {"2:1 on narrow pixels: 22x10, centred", 20, 10, 22, 30, 10.0 / 11, 0, 22, 10, 20},
        {"4:3 on wide pixels: 20x30, centred", 40, 30, 40, 30, 2.0, 10, 30, 0, 30},
    };
    for (const Case& c : cases) {
        auto b = movie(c.stageW, c.stageH, 1, 8, 0x00FF00);
        b.tag(kDefineShape3, rectShape(1, 0, 0, c.stageW, c.stageH, kRed));
        b.tag(kPlaceObject2, place(1, 1)).showFrame();
        player::Player p;
        load(p, b.end().build());
        player::RenderOptions o;
        o.pixelAspect = c.aspect;
        std::vector<player::Pixel> px(size_t(c.width) * c.height);
        p.render(px.data(), c.width, c.height, c.width, o);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const bool inside = x >= c.redX0 && x < c.redX1 && y >= c.redY0 && y < c.redY1;
                ASSERT_EQ(px[size_t(y) * c.width + x] & 0xFFFFFF, inside ? kRed : 0x00FF00u)
                    << c.what << " at " << x << "," << y;
            }
        // A click on the picture finds the same stage point.
        double sx = 0, sy = 0;
        ASSERT_TRUE(p.pictureToStage(c.redX1, c.redY1, c.width, c.height, sx, sy, c.aspect));
        EXPECT_NEAR(sx, c.stageW, 1e-9) << c.what;
        EXPECT_NEAR(sy, c.stageH, 1e-9) << c.what;
    }
}

TEST(PlayerDrawing, HighQualityAntiAliasesEdgesLowQualityDoesNot) {
    auto b = movie(20, 20, 1);
    testswf::ShapeBuilder s;
    int f = s.fillSolid(0x000000FF);
    s.fill0(f).rect(0, 0, 210, 400);  // right edge at 10.5 px
    b.tag(kDefineShape3, s.defineShape(1, 3));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture high = render(p, 20, 20, player::Quality::High);
    Picture low = render(p, 20, 20, player::Quality::Low);
    int edge = high.rgb(10, 10) & 0xFF;
    EXPECT_GT(edge, 64);
    EXPECT_LT(edge, 192);
    uint32_t lowEdge = low.rgb(10, 10);
    EXPECT_TRUE(lowEdge == 0 || lowEdge == kWhite) << std::hex << lowEdge;
}

}  // namespace

namespace {

TEST(PlayerDrawing, OverlapOfOneFillIsAHoleUnlessTheShapeAsksForNonZero) {
    using namespace playertest;
    // Two squares of the same fill, both drawn clockwise, overlapping in 10..20 px.
    auto body = [](bool windingFlag) {
        testswf::ShapeBuilder s;
        int f = s.fillSolid(0xFF0000FF);
        s.fill1(f).rect(0, 0, 400, 400).rect(200, 0, 600, 400);
        testswf::ByteWriter w;
        w.u16(1).rect(0, 600, 0, 400).rect(0, 600, 0, 400).u8(windingFlag ? 0x04 : 0x00);
        w.raw(s.shapeWithStyle(4));
        return w.bytes();
    };
    struct Case {
        bool nonZero;
        uint32_t overlap;
    } cases[] = {{false, 0xFFFFFF}, {true, 0xFF0000}};
    for (const Case& c : cases) {
        auto b = movie(30, 20, 1);
        b.tag(83, body(c.nonZero));  // DefineShape4
        b.tag(kPlaceObject2, place(1, 1)).showFrame();
        player::Player p;
        load(p, b.end().build());
        Picture pic = render(p, 30, 20);
        EXPECT_EQ(pic.rgb(5, 10), kRed);
        EXPECT_EQ(pic.rgb(25, 10), kRed);
        EXPECT_EQ(pic.rgb(15, 10), c.overlap) << "non-zero: " << c.nonZero;
    }
}

}  // namespace

namespace {

TEST(PlayerDrawing, MorphColoursMixInFixedPointRoundingDown) {
    using namespace playertest;
    struct Case {
        uint16_t ratio;
        int x;
        uint32_t rgb;
    } cases[] = {{0, 5, 0xFF0000}, {65535, 25, 0x0000FF}, {43691, 18, 0x5400AA}};
    for (const Case& c : cases) {
        player::Player p;
        load(p, redToBlueMorphMovie(c.ratio));
        EXPECT_EQ(render(p, 40, 10).rgb(c.x, 5), c.rgb) << "ratio " << c.ratio;
    }
}

}  // namespace

namespace {

// Width in pixels of the dark run that crosses row y (or column x) from a start point.
int darkRun(const playertest::Picture& pic, int x, int y, int dx, int dy) {
    int n = 0;
    while (x >= 0 && y >= 0 && x < pic.width && y < pic.height && (pic.rgb(x, y) & 0xFF) < 128) {
        ++n;
        x += dx;
        y += dy;
    }
    return n;
}

TEST(PlayerDrawing, LinesStretchWithTheirParentClipButNotWithTheirOwnPlacement) {
    using namespace playertest;
    // An outlined square, 2 px line (40 twips), drawn (a) inside a sprite stretched 4x across, and (b) placed
    // directly on the stage with the same stretch. Flash outlines a line in its parent's space: in (a) the
    // upright sides are 8 px thick and the flat ones 2 px; in (b) every side is 2 px (the smaller scale).
    testswf::ShapeBuilder s;
    int line = s.lineStyle(40, 0x000000FF);
    s.line(line).rect(100, 100, 500, 500);  // 5..25 px before stretching
    testswf::PlaceSpec stretched;
    stretched.depth = 1;
    stretched.characterId = 1;
    stretched.matrix = testswf::MatrixSpec{4, 1, 0, 0, 0, 0};
    struct Case {
        bool inSprite;
        int upright, flat;
    } cases[] = {{true, 8, 2}, {false, 2, 2}};
    for (const Case& c : cases) {
        auto b = movie(120, 40, 1);
        b.tag(kDefineShape3, s.defineShape(1, 3));
        if (c.inSprite) {
            testswf::SwfBuilder t;
            t.tag(kPlaceObject2, place(1, 1)).showFrame();
            b.tag(kDefineSprite, testswf::defineSprite(2, 1, t));
            stretched.characterId = 2;
        } else {
            stretched.characterId = 1;
        }
        b.tag(kPlaceObject2, testswf::placeObject(stretched, 2)).showFrame();
        player::Player p;
        load(p, b.end().build());
        Picture pic = render(p, 120, 40);
        // Walk in from the left edge to the upright side, and down from the top to the flat one.
        int x = 0;
        while (x < 40 && (pic.rgb(x, 15) & 0xFF) >= 128)
            ++x;
        EXPECT_EQ(darkRun(pic, x, 15, 1, 0), c.upright) << "in sprite: " << c.inSprite;
        int y = 0;
        while (y < 20 && (pic.rgb(60, y) & 0xFF) >= 128)
            ++y;
        EXPECT_EQ(darkRun(pic, 60, y, 0, 1), c.flat) << "in sprite: " << c.inSprite;
    }
}

}  // namespace

namespace {

TEST(PlayerDrawing, StageOfFractionalSizeShowsOneToOneAtItsWholePixelSize) {
    using namespace playertest;
    // A stage 20.5 px wide measures 20 px: rendered at 20x10 it is not shrunk to fit the half pixel, so a
    // square on pixel column 19 fills exactly that column.
    testswf::Header hd;
    hd.xmax = 410;
    hd.ymax = 200;
    testswf::SwfBuilder b(hd);
    b.backgroundColor(0xFFFFFF);
    b.tag(kDefineShape3, rectShape(1, 19, 0, 20, 10, 0x000000));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 20, 10, player::Quality::High);
    EXPECT_EQ(pic.rgb(19, 5), 0x000000u);
    EXPECT_EQ(pic.rgb(18, 5), 0xFFFFFFu);
}

}  // namespace
