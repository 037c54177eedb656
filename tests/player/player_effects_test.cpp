// Effects that draw an object through an offscreen layer (filters, blend modes, cached bitmaps), 9-slice
// scaling and embedded video, through whole movies.
#include <algorithm>

#include "tests/player/player_test_util.h"

namespace {

using namespace playertest;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
constexpr uint16_t kPlaceObject3 = 70, kDefineScalingGrid = 78, kDefineVideoStream = 60, kVideoFrame = 61;

testswf::Bytes place3(uint16_t id, uint16_t depth, int x, int y, std::optional<uint8_t> blend,
                      std::optional<std::vector<std::pair<uint8_t, testswf::Bytes>>> filters = std::nullopt,
                      bool cache = false, int xTwips = 0) {
    testswf::PlaceSpec p;
    p.depth = depth;
    p.characterId = id;
    p.matrix = testswf::MatrixSpec{1, 1, 0, 0, x * 20 + xTwips, y * 20};
    p.blendMode = blend;
    p.filters = std::move(filters);
    if (cache) p.cacheAsBitmap = true;
    return testswf::placeObject(p, 3);
}

uint8_t green(const Picture& pic, int x, int y) {
    return uint8_t(pic.rgb(x, y) >> 8);
}

TEST(PlayerEffects, BlurFilterSoftensEdgesWithinItsReach) {
    auto b = movie(60, 20, 1);
    b.tag(kDefineShape3, rectShape(1, 20, 0, 40, 20, 0x000000));
    b.tag(kPlaceObject3, place3(1, 1, 0, 0, std::nullopt, {{{1, testswf::blurFilter(8, 0, 1)}}}));
    b.showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 60, 20, player::Quality::High);
    EXPECT_EQ(pic.rgb(10, 10), kWhite) << "beyond the blur";
    EXPECT_EQ(pic.rgb(30, 10), 0u) << "the middle stays black";
    const uint8_t edge = green(pic, 20, 10);
    EXPECT_GT(edge, 60);
    EXPECT_LT(edge, 200) << "the edge is half covered";
    EXPECT_GT(green(pic, 17, 10), edge);
    EXPECT_LT(green(pic, 17, 10), 255) << "the blur reaches three pixels out";
    EXPECT_TRUE(std::none_of(p.log().begin(), p.log().end(),
                             [](const std::string& l) { return l.find("filters") != std::string::npos; }));
}

TEST(PlayerEffects, BlendModesMeetWhatIsBeneathAndMasksStillClip) {
    auto b = movie(40, 20, 1);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 40, 20, kRed));
    b.tag(kDefineShape3, rectShape(2, 0, 0, 40, 20, kWhite));
    b.tag(kDefineShape3, rectShape(3, 0, 0, 20, 20, 0x00FF00));  // mask: left half
    b.tag(kPlaceObject2, place(1, 1));
    testswf::PlaceSpec mask;
    mask.depth = 2;
    mask.characterId = 3;
    mask.clipDepth = 3;
    b.tag(kPlaceObject2, testswf::placeObject(mask, 2));
    b.tag(kPlaceObject3, place3(2, 3, 0, 0, uint8_t(7)));  // difference, masked
    b.showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 5), 0x00FFFFu) << "white minus red";
    EXPECT_EQ(pic.rgb(30, 5), kRed) << "outside the mask";
}

TEST(PlayerEffects, EraseCutsItsLayerButLeavesTheStageAlone) {
    // Sprite 3 (blend mode layer) holds a blue square with a red square erasing its left half; the same
    // eraser straight on the stage leaves no trace.
    testswf::SwfBuilder inner;
    inner.tag(kPlaceObject2, place(1, 1));
    inner.tag(kPlaceObject3, place3(2, 2, 0, 0, uint8_t(12)));
    inner.showFrame();
    auto b = movie(80, 20, 1);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 20, 20, kBlue));
    b.tag(kDefineShape3, rectShape(2, 0, 0, 10, 20, kRed));
    b.tag(kDefineSprite, testswf::defineSprite(3, 1, inner.end()));
    b.tag(kPlaceObject3, place3(3, 1, 0, 0, uint8_t(2)));
    b.tag(kPlaceObject2, place(1, 2, 40, 0));
    b.tag(kPlaceObject3, place3(2, 3, 40, 0, uint8_t(12)));
    b.showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 80, 20);
    EXPECT_EQ(pic.rgb(5, 10), kWhite) << "erased to the background";
    EXPECT_EQ(pic.rgb(15, 10), kBlue);
    EXPECT_EQ(pic.rgb(45, 10), kBlue) << "no layer to erase on the stage";
}

TEST(PlayerEffects, CachedAndFilteredObjectsSitOnWholePixels) {
    // At 10.5 px an anti-aliased edge would half-cover a column. Cached as a bitmap the square moves onto
    // pixel 11 whole (halves up: the corpus picture of a cached clip at 12.5 px starts on pixel 13); with a
    // filter (a blur that blurs nothing) onto pixel 10 (halves down: a blurred one at 69.5 px sits on 69).
    auto b = movie(40, 40, 1);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, 0x000000));
    b.tag(kPlaceObject3, place3(1, 1, 10, 0, std::nullopt, std::nullopt, true, 10));
    b.tag(kPlaceObject3,
          place3(1, 2, 10, 20, std::nullopt, {{{1, testswf::blurFilter(0, 0, 1)}}}, false, 10));
    b.showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 40, 40, player::Quality::High);
    EXPECT_EQ(pic.rgb(10, 5), kWhite) << "cached";
    EXPECT_EQ(pic.rgb(11, 5), 0u) << "cached";
    EXPECT_EQ(pic.rgb(20, 5), 0u) << "cached";
    EXPECT_EQ(pic.rgb(21, 5), kWhite) << "cached";
    EXPECT_EQ(pic.rgb(10, 25), 0u) << "filtered";
    EXPECT_EQ(pic.rgb(19, 25), 0u) << "filtered";
    EXPECT_EQ(pic.rgb(20, 25), kWhite) << "filtered";
}

TEST(PlayerEffects, OpaqueBackgroundFillsTheObjectsBounds) {
    // Two squares 10 px apart: the background colour fills the gap between them, within their bounds.
    testswf::ShapeBuilder s;
    int red = s.fillSolid(0xFF0000FF);
    s.fill0(red).rect(0, 0, 200, 200);
    s.fill0(red).rect(400, 0, 600, 200);
    auto b = movie(40, 20, 1);
    b.tag(kDefineShape3, s.defineShape(1, 3));
    testswf::PlaceSpec ps;
    ps.depth = 1;
    ps.characterId = 1;
    ps.matrix = testswf::MatrixSpec{1, 1, 0, 0, 0, 0};
    ps.backgroundRgba = 0x0000FFFF;
    b.tag(kPlaceObject3, testswf::placeObject(ps, 3));
    b.showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 5), kRed);
    EXPECT_EQ(pic.rgb(15, 5), kBlue);
    EXPECT_EQ(pic.rgb(25, 5), kRed);
    EXPECT_EQ(pic.rgb(35, 5), kWhite);
    EXPECT_EQ(pic.rgb(15, 15), kWhite);
}

TEST(PlayerEffects, NineSliceKeepsCornersAndStretchesTheMiddle) {
    // A 40 px red square with a blue middle (10..30) and a scaling grid on that middle, stretched to three
    // times its width: the red sides stay 10 px wide, the blue takes the rest.
    testswf::ShapeBuilder s;
    int red = s.fillSolid(0xFF0000FF), blue = s.fillSolid(0x0000FFFF);
    s.fill0(red).rect(0, 0, 800, 800);
    s.fill0(blue).rect(200, 200, 600, 600);
    testswf::SwfBuilder inner;
    inner.tag(kPlaceObject2, place(1, 1));
    inner.showFrame();
    auto b = movie(140, 50, 1);
    b.tag(kDefineShape3, s.defineShape(1, 3));
    b.tag(kDefineSprite, testswf::defineSprite(2, 1, inner.end()));
    b.tag(kDefineScalingGrid, testswf::ByteWriter().u16(2).rect(200, 600, 200, 600).bytes());
    testswf::PlaceSpec ps;
    ps.depth = 1;
    ps.characterId = 2;
    ps.matrix = testswf::MatrixSpec{3, 1, 0, 0, 0, 0};
    b.tag(kPlaceObject2, testswf::placeObject(ps, 2));
    b.showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 140, 50);
    EXPECT_EQ(pic.rgb(5, 20), kRed);
    EXPECT_EQ(pic.rgb(12, 20), kBlue) << "the left side keeps its 10 px";
    EXPECT_EQ(pic.rgb(107, 20), kBlue);
    EXPECT_EQ(pic.rgb(115, 20), kRed);
    EXPECT_EQ(pic.rgb(125, 20), kWhite);
    EXPECT_EQ(pic.rgb(60, 5), kRed) << "top side keeps its height";
}

TEST(PlayerEffects, NineSliceMovesBitmapFillsWithTheirPart) {
    // A 40 px sprite stretched to three times its width, grid on its middle 10..30. Two bitmap fills of a
    // red-blue bitmap: one in the left corner column (5 px a bitmap pixel), which keeps its size, and one
    // in the middle (10 px a bitmap pixel, repeating), which stretches with the middle to 10..110.
    constexpr uint16_t kDefineBitsLossless2 = 36;
    const testswf::Bytes redBlue = {0xFF, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF};  // ARGB, ARGB
    testswf::ShapeBuilder s;
    int left = s.addFill(testswf::FillSpec::bitmap(3, false, false, {100, 100, 0, 0, 0, 0}));
    int middle = s.addFill(testswf::FillSpec::bitmap(3, false, false, {200, 200, 0, 0, 200, 0}));
    int black = s.fillSolid(0x000000FF);
    s.fill0(left).rect(0, 0, 200, 800);
    s.fill0(middle).rect(200, 0, 600, 800);
    s.fill0(black).rect(600, 0, 800, 800);
    testswf::SwfBuilder inner;
    inner.tag(kPlaceObject2, place(1, 1));
    inner.showFrame();
    auto b = movie(140, 50, 1);
    b.tag(kDefineBitsLossless2, testswf::defineBitsLossless(3, 5, 2, 1, redBlue));
    b.tag(kDefineShape3, s.defineShape(1, 3));
    b.tag(kDefineSprite, testswf::defineSprite(2, 1, inner.end()));
    b.tag(kDefineScalingGrid, testswf::ByteWriter().u16(2).rect(200, 600, 200, 600).bytes());
    testswf::PlaceSpec ps;
    ps.depth = 1;
    ps.characterId = 2;
    ps.matrix = testswf::MatrixSpec{3, 1, 0, 0, 0, 0};
    b.tag(kPlaceObject2, testswf::placeObject(ps, 2));
    b.showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 140, 50);
    struct Case {
        int x;
        uint32_t rgb;
        const char* what;
    } cases[] = {
        {2, kRed, "corner: first bitmap pixel"},
        {7, kBlue, "corner: second, unscaled"},
        {15, kRed, "middle starts on the bitmap"},
        {55, kRed, "first bitmap pixel stretched five times"},
        {65, kBlue, "second"},
        {105, kBlue, "up to the right corner"},
        {115, 0x000000, "right corner"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pic.rgb(c.x, 20), c.rgb) << c.what << " at " << c.x;
}

// One Screen Video frame of w x h pixels (one block) in a single colour 0xRRGGBB.
testswf::Bytes screenVideoFrame(int w, int h, uint32_t rgb) {
    testswf::Bytes pixels;
    for (int i = 0; i < w * h; ++i) {
        pixels.push_back(uint8_t(rgb));
        pixels.push_back(uint8_t(rgb >> 8));
        pixels.push_back(uint8_t(rgb >> 16));
    }
    testswf::Bytes packed = testswf::zlibCompress(pixels);
    testswf::ByteWriter out;
    // Block width and height in 16 px units less one (4 bits), then the image size (12 bits), big-endian.
    const int bw = (w + 15) / 16 - 1, bh = (h + 15) / 16 - 1;
    out.u8(uint8_t((bw << 4) | (w >> 8))).u8(uint8_t(w)).u8(uint8_t((bh << 4) | (h >> 8))).u8(uint8_t(h));
    out.u8(uint8_t(packed.size() >> 8)).u8(uint8_t(packed.size())).raw(packed);
    return out.bytes();
}

testswf::Bytes videoStream(uint16_t id, uint16_t frames, uint16_t w, uint16_t h, uint8_t codec) {
    return testswf::ByteWriter().u16(id).u16(frames).u16(w).u16(h).u8(0).u8(codec).bytes();
}

testswf::Bytes videoFrame(uint16_t id, uint16_t frame, const testswf::Bytes& data) {
    return testswf::ByteWriter().u16(id).u16(frame).raw(data).bytes();
}

testswf::Bytes placeVideo(uint16_t depth, bool move, uint16_t ratio) {
    testswf::PlaceSpec p;
    p.depth = depth;
    p.move = move;
    if (!move) p.characterId = 1;
    p.ratio = ratio;
    if (!move) p.matrix = testswf::MatrixSpec{1, 1, 0, 0, 0, 0};
    return testswf::placeObject(p, 2);
}

TEST(PlayerEffects, EmbeddedVideoShowsTheFrameItsPlacementNames) {
    // Three frames of screen video (red, green, blue) stretched from 16 x 16 over a 32 x 32 stream.
    auto b = movie(40, 40, 3);
    b.tag(kDefineVideoStream, videoStream(1, 3, 32, 32, 3));
    const uint32_t colors[3] = {kRed, 0x00FF00, kBlue};
    for (uint16_t f = 0; f < 3; ++f) {
        b.tag(kVideoFrame, videoFrame(1, f, screenVideoFrame(16, 16, colors[f])));
        b.tag(kPlaceObject2, placeVideo(1, f > 0, f)).showFrame();
    }
    player::Player p;
    load(p, b.end().build());
    EXPECT_EQ(render(p, 40, 40).rgb(30, 30), kRed);
    EXPECT_EQ(render(p, 40, 40).rgb(35, 35), kWhite) << "the stream is 32 px";
    p.advance();
    p.advance();
    EXPECT_EQ(render(p, 40, 40).rgb(5, 5), kBlue);
    p.gotoFrame(2);
    EXPECT_EQ(render(p, 40, 40).rgb(5, 5), 0x00FF00u) << "a jump back decodes from the start";
    EXPECT_TRUE(std::none_of(p.log().begin(), p.log().end(),
                             [](const std::string& l) { return l.find("video") != std::string::npos; }));
}

TEST(PlayerEffects, BrokenVideoFramesAreLoggedNotFatal) {
    const testswf::Bytes garbage[] = {
        {}, {0xff}, testswf::Bytes(64, 0xab), {0x10, 0x20, 0x10, 0x20, 0xff, 0xff}};
    for (uint8_t codec : {2, 3, 4, 5, 6, 9}) {
        for (const testswf::Bytes& g : garbage) {
            auto b = movie(20, 20, 1);
            b.tag(kDefineVideoStream, videoStream(1, 1, 16, 16, codec));
            b.tag(kVideoFrame, videoFrame(1, 0, g));
            b.tag(kPlaceObject2, placeVideo(1, false, 0)).showFrame();
            player::Player p;
            load(p, b.end().build());
            Picture pic = render(p, 20, 20);
            EXPECT_EQ(pic.rgb(5, 5), kWhite) << int(codec);
        }
    }
}

}  // namespace
