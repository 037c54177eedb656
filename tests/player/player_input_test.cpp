// Mouse and keyboard reaching a movie: button states and condition actions, clips with mouse handlers,
// key listeners, and input scripts played between frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/trace_input.h"
#include "support/avm1_asm.h"
#include "tests/player/player_test_util.h"

namespace {

using namespace playertest;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

// A 40x40 movie with a button at (10, 10)-(30, 30): red when up, green when over or down; its hit area is
// the same square. Each condition traces its name.
testswf::Bytes buttonMovie() {
    auto b = movie(40, 40, 1);
    b.tag(kDefineShape3, rectShape(1, 10, 10, 30, 30, kRed));
    b.tag(kDefineShape3, rectShape(2, 10, 10, 30, 30, kGreen));
    testswf::ButtonRecordSpec up, lit, hit;
    up.characterId = 1;
    lit.up = false;
    lit.over = lit.down = true;
    lit.characterId = 2;
    lit.depth = 2;
    hit.up = false;
    hit.hit = true;
    hit.characterId = 1;
    hit.depth = 3;
    auto say = [](const char* what) { return avm1test::assemble(std::string("push '") + what + "'; trace"); };
    b.tag(kDefineButton2, testswf::defineButton2(3, false, {up, lit, hit},
                                                 {{0x0001, say("rollOver")},
                                                  {0x0002, say("rollOut")},
                                                  {0x0004, say("press")},
                                                  {0x0008, say("release")},
                                                  {0x0040, say("releaseOutside")},
                                                  {uint16_t(13 << 9), say("enter")}}));
    b.tag(kPlaceObject2, place(3, 1)).showFrame();
    return b.end().build();
}

TEST(PlayerInput, ButtonsFollowTheMouseThroughTheirStates) {
    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& l) { lines.push_back(l); });
    load(p, buttonMovie());
    EXPECT_EQ(render(p, 40, 40).rgb(20, 20), kRed);
    p.mouseMove(20, 20);
    EXPECT_EQ(render(p, 40, 40).rgb(20, 20), kGreen) << "over state shown";
    EXPECT_TRUE(p.pointerOverHand());
    p.mouseDown();
    p.mouseUp();
    p.mouseMove(35, 35);  // outside the hit area
    EXPECT_EQ(render(p, 40, 40).rgb(20, 20), kRed);
    EXPECT_FALSE(p.pointerOverHand());
    p.mouseMove(20, 20);
    p.mouseDown();
    p.mouseMove(2, 2);  // dragged out: no rollOut while the button is held
    p.mouseUp();
    p.keyDown(13, 13);
    p.keyUp(13, 13);
    EXPECT_EQ(lines, (std::vector<std::string>{"rollOver", "press", "release", "rollOut", "rollOver", "press",
                                               "releaseOutside", "enter"}));
}

TEST(PlayerInput, ClipHandlersAndKeyListenersHearTheUser) {
    // A clip drawn by script takes onPress/onRelease; a Key listener reports codes; Key.isDown follows keys.
    auto b = movie(40, 40, 1);
    b.tag(kDoAction, avm1test::assemble(R"(
        push 1 'c' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 16711680 1 'c'; getvar; push 'beginFill'; callmethod; pop
        push 0 0 2 'c'; getvar; push 'moveTo'; callmethod; pop
        push 10 0 2 'c'; getvar; push 'lineTo'; callmethod; pop
        push 10 10 2 'c'; getvar; push 'lineTo'; callmethod; pop
        push 0 10 2 'c'; getvar; push 'lineTo'; callmethod; pop
        push 0 'c'; getvar; push 'endFill'; callmethod; pop
        push 'c'; getvar; push 'onPress'
        function -
          push 'pressed at '; push '_root'; getvar; push '_xmouse'; getmember; add2; trace
        end
        setmember
        push 'c'; getvar; push 'onRelease'
        function -
          push 'released'; trace
        end
        setmember
        push 'l' 0; initobject; setvar
        push 'l'; getvar; push 'onKeyDown'
        function -
          push 0 'Key'; getvar; push 'getCode'; callmethod; push 65 1 'Key'; getvar; push 'isDown'; callmethod; add2; trace
        end
        setmember
        push 'l'; getvar; push 1 'Key'; getvar; push 'addListener'; callmethod; pop
    )"));
    b.showFrame();
    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& l) { lines.push_back(l); });
    load(p, b.end().build());
    p.mouseMove(30, 30);
    p.mouseDown();  // misses the clip
    p.mouseUp();
    p.mouseMove(5, 5);
    p.mouseDown();
    p.mouseUp();
    p.keyDown(65, 97);
    EXPECT_EQ(lines, (std::vector<std::string>{"pressed at 5", "released", "66"}));
}

TEST(PlayerInput, DraggedClipsFollowTheMouseWithinTheirBounds) {
    // With the mouse at (5, 5), the A key starts c.startDrag(false, 0, 0, 30, 10) on c at x = 10: c keeps its
    // offset from the pointer and stays inside the rectangle; another key stops the drag. A Mouse
    // listener reports c._x after each move.
    std::vector<std::string> lines;
    auto withDrag = movie(40, 40, 1);
    withDrag.tag(kDoAction, avm1test::assemble(R"(
        push 1 'c' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 'c'; getvar; push '_x' 10; setmember
        push 'l' 0; initobject; setvar
        push 'l'; getvar; push 'onKeyDown'
        function -
          push 65 1 'Key'; getvar; push 'isDown'; callmethod; not; if stop
          push 10 30 0 0 false 5 'c'; getvar; push 'startDrag'; callmethod; pop
          jump done
          label stop
          push 0 'c'; getvar; push 'stopDrag'; callmethod; pop
          label done
        end
        setmember
        push 'l'; getvar; push 1 'Key'; getvar; push 'addListener'; callmethod; pop
        push 'Mouse'; getvar; push 'onMouseMove'
        function -
          push 'c'; getvar; push '_x'; getmember; trace
        end
        setmember
        push 'Mouse'; getvar; push 1 'Mouse'; getvar; push 'addListener'; callmethod; pop
    )"));
    withDrag.showFrame();
    player::Player q;
    q.setTraceHandler([&](const std::string& l) { lines.push_back(l); });
    load(q, withDrag.end().build());
    q.mouseMove(5, 5);
    q.keyDown(65, 97);  // startDrag: offset 5
    q.mouseMove(12, 5);
    q.mouseMove(39, 5);  // clamped at 30
    q.keyUp(65, 97);
    q.keyDown(66, 98);  // stopDrag
    q.mouseMove(1, 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"10", "17", "30", "30"}));
}

TEST(PlayerInput, ScriptedInputIsReadAndRejectedWhenMalformed) {
    std::vector<player::InputEvent> events;
    std::string error;
    ASSERT_TRUE(player::parseInputEvents(R"([{"type": "MouseMove", "pos": [1.5, 2]}, {"type": "Wait"},
        {"type": "KeyDown", "key": {"Char": "a"}}, {"type": "KeyUp", "key": "ArrowLeft"},
        {"type": "TextInput", "codepoint": "\u00e9"}])",
                                         events, &error))
        << error;
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, player::InputEvent::Kind::MouseMove);
    EXPECT_DOUBLE_EQ(events[0].x, 1.5);
    EXPECT_EQ(events[1].kind, player::InputEvent::Kind::Wait);
    EXPECT_EQ(events[2].keyCode, 65);
    EXPECT_EQ(events[2].ascii, 97);
    EXPECT_EQ(events[3].keyCode, 37);
    EXPECT_EQ(events[4].kind, player::InputEvent::Kind::TextInput);
    EXPECT_EQ(events[4].text, "\u00e9");
    for (const char* bad : {"", "{}", "[1]", "[{\"pos\": [1, 2]}]", "[{\"type\": \"Wait\"}", "[] x"}) {
        events.clear();
        EXPECT_FALSE(player::parseInputEvents(bad, events, &error)) << bad;
    }
}

}  // namespace
