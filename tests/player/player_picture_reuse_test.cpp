// Pictures reused across frames where nothing visible changed: every picture still equals the one a fresh
// player draws at that frame, and a picture is copied only where the display list stood still.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "player/core/movie_clip.h"
#include "player/core/picture_memo.h"
#include "tests/player/player_test_util.h"

namespace {

using namespace playertest;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;

// Root timeline of 9 frames with a sprite of 2 frames that is placed in frame 6 and animates by itself:
// 1 red square; 2-3 held; 4 moved; 5 colour transform; 6 sprite placed; 7-9 root held while the sprite
// changes inside; then the movie loops to frame 1.
testswf::Bytes heldAndMovingMovie() {
    auto b = movie(40, 20, 9);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, kRed));
    b.tag(kDefineShape3, rectShape(2, 0, 0, 5, 5, kBlue));
    b.tag(kDefineShape3, rectShape(3, 0, 0, 5, 5, kGreen));
    testswf::SwfBuilder sprite;
    sprite.tag(kPlaceObject2, place(2, 1)).showFrame();
    sprite.tag(kRemoveObject2, testswf::removeObject2(1));
    sprite.tag(kPlaceObject2, place(3, 1)).showFrame();
    b.tag(kDefineSprite, testswf::defineSprite(4, 2, sprite));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    b.showFrame();
    b.showFrame();
    b.tag(kPlaceObject2, moveTo(1, 10, 0)).showFrame();
    testswf::PlaceSpec tint;
    tint.move = true;
    tint.depth = 1;
    tint.cxform = testswf::CxSpec{{128, 256, 256, 256}, {0, 0, 0, 0}};
    b.tag(kPlaceObject2, testswf::placeObject(tint, 2)).showFrame();
    b.tag(kPlaceObject2, place(4, 2, 25, 5)).showFrame();
    b.showFrame();
    b.showFrame();
    b.showFrame();
    return b.end().build();
}

Picture freshPicture(const testswf::Bytes& bytes, int advances, int w, int h, player::Quality q) {
    player::Player fresh;
    std::string error;
    EXPECT_TRUE(fresh.loadBytes(bytes, "test.swf", &error)) << error;
    for (int i = 0; i < advances; ++i)
        fresh.advance();
    return render(fresh, w, h, q);
}

TEST(PlayerPictureReuse, EveryFrameEqualsAFreshDrawAndOnlyStillFramesAreCopied) {
    const testswf::Bytes bytes = heldAndMovingMovie();
    player::Player p;
    load(p, bytes);
    std::vector<uint64_t> reusedAfter;
    for (int frame = 1; frame <= 12; ++frame) {
        const Picture pic = render(p, 40, 20, player::Quality::High);
        const Picture expected = freshPicture(bytes, frame - 1, 40, 20, player::Quality::High);
        EXPECT_EQ(pic.pixels, expected.pixels) << "frame " << frame;
        reusedAfter.push_back(p.picturesReused());
        p.advance();
    }
    // The first picture is kept, so frames 2 and 3 are copies; frames 4-10 change something (the sprite
    // animates inside a still root from frame 6 on; frame 10 is frame 1 again after the loop), 11 repeats
    // 10 (drawn again and kept) and 12 is copied.
    EXPECT_EQ(reusedAfter, (std::vector<uint64_t>{0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3}));
}

TEST(PlayerPictureReuse, ASecondDrawOfTheSameFrameFollowsSizeQualityAndBackground) {
    const testswf::Bytes bytes = heldAndMovingMovie();
    player::Player p;
    load(p, bytes);
    struct Draw {
        int w, h;
        player::Quality q;
        std::optional<uint32_t> background;
        uint64_t reused;  // count after the draw
    };
    const std::vector<Draw> draws = {
        {40, 20, player::Quality::High, {}, 0},       {40, 20, player::Quality::High, {}, 1},
        {40, 20, player::Quality::High, {}, 2},       {80, 40, player::Quality::High, {}, 2},
        {40, 20, player::Quality::Low, {}, 2},        {40, 20, player::Quality::Low, 0x123456u, 2},
        {40, 20, player::Quality::Low, 0x123456u, 2}, {40, 20, player::Quality::Low, 0x123456u, 3},
    };
    for (size_t i = 0; i < draws.size(); ++i) {
        const Draw& d = draws[i];
        Picture pic;
        pic.width = d.w;
        pic.height = d.h;
        // A stride wider than the picture, with a guard value that must survive beside each row.
        const int stride = d.w + 3;
        std::vector<player::Pixel> buffer(size_t(stride) * d.h, 0xDEADBEEF);
        player::RenderOptions o;
        o.quality = d.q;
        o.background = d.background;
        p.render(buffer.data(), d.w, d.h, stride, o);
        for (int y = 0; y < d.h; ++y) {
            pic.pixels.insert(pic.pixels.end(), buffer.begin() + y * stride,
                              buffer.begin() + y * stride + d.w);
            EXPECT_EQ(buffer[size_t(y) * stride + d.w], 0xDEADBEEF) << "draw " << i << " row " << y;
        }
        player::Player fresh;
        load(fresh, bytes);
        std::vector<player::Pixel> expected(size_t(d.w) * d.h);
        fresh.render(expected.data(), d.w, d.h, d.w, o);
        EXPECT_EQ(pic.pixels, expected) << "draw " << i;
        EXPECT_EQ(p.picturesReused(), d.reused) << "draw " << i;
    }
    // Loading a movie again forgets the kept picture (and keeps the new movie's first).
    load(p, bytes);
    render(p, 40, 20, player::Quality::High);
    EXPECT_EQ(p.picturesReused(), 3u);
    render(p, 40, 20, player::Quality::High);
    EXPECT_EQ(p.picturesReused(), 4u);
}

}  // namespace

// A clip's drawing (the drawing API) is part of what a picture shows: any command changes the key, even when
// a cleared drawing is drawn again with as many commands, and a clip made by script (no character) counts.
// So are blend modes, filters and opaque backgrounds.
TEST(PlayerPictureReuse, DrawingCommandsAndLayerEffectsChangeWhatIsShown) {
    player::MovieClip root(nullptr, nullptr, &player::emptyTimeline());
    auto child = std::make_unique<player::MovieClip>(nullptr, nullptr, &player::emptyTimeline());
    player::MovieClip* drawn = child.get();
    root.children()[1] = std::move(child);
    player::PictureMemo memo;
    const std::vector<std::pair<int, const player::MovieClip*>> levels = {{0, &root}};
    std::vector<player::Pixel> picture(40 * 20);
    // As the stage does: a picture drawn twice in a row is kept, a kept one copied.
    auto step = [&] {
        const player::PictureMemo::Step next = memo.start(levels, 40, 20, {}, 0xFFFFFF);
        if (next == player::PictureMemo::Step::DrawAndKeep) memo.keep(picture.data(), 40);
        if (next == player::PictureMemo::Step::Reuse) memo.copyTo(picture.data(), 40);
        return next;
    };
    using Step = player::PictureMemo::Step;
    EXPECT_EQ(step(), Step::DrawAndKeep) << "the first picture is kept";
    EXPECT_EQ(step(), Step::Reuse);
    EXPECT_EQ(step(), Step::Reuse);

    auto square = [](player::Drawing& d, double x) {
        swf::FillStyle fill;
        d.beginFill(fill);
        d.moveTo(x, 0);
        d.lineTo(x + 100, 0);
        d.lineTo(x + 100, 100);
        d.endFill();
    };
    drawn->drawing = std::make_unique<player::Drawing>();
    EXPECT_EQ(step(), Step::Reuse) << "an empty drawing shows nothing";
    square(*drawn->drawing, 0);
    EXPECT_EQ(step(), Step::Draw);
    EXPECT_EQ(step(), Step::DrawAndKeep);
    drawn->drawing->clear();
    square(*drawn->drawing, 200);  // as many commands, elsewhere
    EXPECT_EQ(step(), Step::Draw);
    root.drawing = std::make_unique<player::Drawing>();
    square(*root.drawing, 0);  // the level's root draws too
    EXPECT_EQ(step(), Step::Draw);

    // Layer effects are part of it as well.
    EXPECT_EQ(step(), Step::DrawAndKeep);
    drawn->blendMode = 3;
    EXPECT_EQ(step(), Step::Draw);
    drawn->filters.push_back({});
    EXPECT_EQ(step(), Step::Draw);
    drawn->filters[0].blurX = 4;
    EXPECT_EQ(step(), Step::Draw);
    drawn->opaqueBackground = player::Rgba{1, 2, 3, 255};
    EXPECT_EQ(step(), Step::Draw);
    EXPECT_EQ(step(), Step::DrawAndKeep);
    EXPECT_EQ(step(), Step::Reuse);
}
