// The frame-event movie the converter loads into level 88: one "enterFrame" per frame the player shows,
// whatever the movie below does, and nothing drawn.
#include <filesystem>

#include "tests/player/player_test_util.h"

#ifndef TOLVIKAN_FRAME_EVENT_MOVIE
#error "the test needs the path of the built frame-event movie"
#endif

namespace {

using namespace playertest;

TEST(FrameEventMovie, RaisesEnterFrameOncePerShownFrameAndDrawsNothing) {
    ASSERT_TRUE(std::filesystem::exists(TOLVIKAN_FRAME_EVENT_MOVIE));
    // The movie below: two frames (red, then blue), and a stop in frame 2.
    auto b = movie(20, 20, 2);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 20, 20, 0xFF0000));
    b.tag(kDefineShape3, rectShape(2, 0, 0, 20, 20, 0x0000FF));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    b.tag(kRemoveObject2, testswf::removeObject2(1)).tag(kPlaceObject2, place(2, 1));
    b.tag(kDoAction, testswf::ActionWriter().stop().withEnd()).showFrame();

    player::Player p;
    int events = 0;
    std::string other;
    p.setFsCommandHandler([&](const std::string& c, const std::string&) {
        if (c == "enterFrame")
            ++events;
        else
            other = c;
    });
    load(p, b.end().build());
    Picture alone = render(p, 20, 20);
    std::string error;
    ASSERT_TRUE(p.loadLevel(88, TOLVIKAN_FRAME_EVENT_MOVIE, &error)) << error;
    EXPECT_EQ(events, 1) << "its first frame is shown as it loads";
    EXPECT_EQ(render(p, 20, 20).pixels, alone.pixels) << "the picture is unchanged";
    for (int tick = 1; tick <= 5; ++tick) {
        p.advance();
        EXPECT_EQ(events, 1 + tick) << "tick " << tick << ", also once the movie below has stopped";
    }
    EXPECT_EQ(p.currentFrame(), 2);
    EXPECT_EQ(render(p, 20, 20).rgb(10, 10), 0x0000FFu);
    EXPECT_TRUE(other.empty()) << other;
}

}  // namespace
