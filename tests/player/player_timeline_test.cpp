// Timelines: frames looping at the end, jumps forwards and backwards rebuilding the display list as Flash
// Player does, sprites keeping their own clocks, and the timeline actions of SWF 3.
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/avm1_asm.h"
#include "tests/player/player_test_util.h"

namespace {

using namespace playertest;
using testswf::ActionWriter;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

// Frame 1: red square at depth 1.  Frame 2: blue square at depth 2.  Frame 3: red removed.
testswf::Bytes threeFrameMovie() {
    auto b = movie(40, 20, 3);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, kRed));
    b.tag(kDefineShape3, rectShape(2, 20, 0, 30, 10, kBlue));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    b.tag(kPlaceObject2, place(2, 2)).showFrame();
    b.tag(kRemoveObject2, testswf::removeObject2(1)).showFrame();
    return b.end().build();
}

struct Seen {
    bool red, blue;
};

Seen look(player::Player& p) {
    Picture pic = render(p, 40, 20);
    return {pic.rgb(5, 5) == kRed, pic.rgb(25, 5) == kBlue};
}

TEST(PlayerTimeline, LoopsAtTheEndAndRebuildsTheFirstFrame) {
    player::Player p;
    load(p, threeFrameMovie());
    const Seen expected[] = {{true, false}, {true, true}, {false, true}, {true, false}, {true, true}};
    for (int i = 0; i < 5; ++i) {
        Seen s = look(p);
        EXPECT_EQ(s.red, expected[i].red) << "tick " << i;
        EXPECT_EQ(s.blue, expected[i].blue) << "tick " << i;
        EXPECT_EQ(p.currentFrame(), i % 3 + 1);
        p.advance();
    }
}

TEST(PlayerTimeline, JumpsForwardAndBackward) {
    player::Player p;
    load(p, threeFrameMovie());
    struct Step {
        int frame;
        Seen seen;
    } steps[] = {{3, {false, true}}, {1, {true, false}}, {2, {true, true}}, {3, {false, true}},
                 {2, {true, true}},  {2, {true, true}},  {1, {true, false}}};
    for (const Step& s : steps) {
        p.gotoFrame(s.frame);
        EXPECT_EQ(p.currentFrame(), s.frame);
        Seen seen = look(p);
        EXPECT_EQ(seen.red, s.seen.red) << "frame " << s.frame;
        EXPECT_EQ(seen.blue, s.seen.blue) << "frame " << s.frame;
    }
    p.gotoFrame(99);
    EXPECT_EQ(p.currentFrame(), 3) << "jumps are clamped to the last frame";
    p.gotoFrame(-5);
    EXPECT_EQ(p.currentFrame(), 1);
}

TEST(PlayerTimeline, MovedObjectReturnsToItsEarlierPlaceOnABackwardJump) {
    auto b = movie(40, 20, 3);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, kRed));
    b.tag(kPlaceObject2, place(1, 1, 0, 0)).showFrame();
    b.tag(kPlaceObject2, moveTo(1, 15, 0)).showFrame();
    b.tag(kPlaceObject2, moveTo(1, 30, 0)).showFrame();
    player::Player p;
    load(p, b.end().build());
    p.gotoFrame(3);
    EXPECT_EQ(render(p, 40, 20).rgb(35, 5), kRed);
    p.gotoFrame(2);
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(20, 5), kRed);
    EXPECT_EQ(pic.rgb(35, 5), kWhite);
}

// A sprite that counts its own frames by showing a bar one pixel wider each frame: bar width = frame.
testswf::Bytes counterSprite(uint16_t spriteId, uint16_t firstShapeId, int frames) {
    testswf::SwfBuilder t;
    for (int f = 1; f <= frames; ++f) {
        if (f > 1) t.tag(kRemoveObject2, testswf::removeObject2(1));
        t.tag(kPlaceObject2, place(static_cast<uint16_t>(firstShapeId + f - 1), 1));
        t.showFrame();
    }
    return testswf::defineSprite(spriteId, static_cast<uint16_t>(frames), t);
}

int barWidth(const Picture& pic, int y) {
    int w = 0;
    while (w < pic.width && pic.rgb(w, y) == kGreen)
        ++w;
    return w;
}

TEST(PlayerTimeline, SpritesKeepTheirClockAcrossARewindButNewPlacementsRestart) {
    auto b = movie(40, 20, 2);
    for (int f = 1; f <= 8; ++f)
        b.tag(kDefineShape3, rectShape(static_cast<uint16_t>(10 + f), 0, 0, f, 5, kGreen));
    b.tag(kDefineSprite, counterSprite(1, 11, 8));
    b.tag(kDefineSprite, counterSprite(2, 11, 8));
    // Sprite 1 is placed in frame 1 and stays; sprite 2 is placed in frame 2 and removed by the loop.
    b.tag(kPlaceObject2, place(1, 1, 0, 0)).showFrame();
    b.tag(kPlaceObject2, place(2, 2, 0, 10)).showFrame();
    player::Player p;
    load(p, b.end().build());
    std::vector<int> kept, fresh;
    for (int i = 0; i < 5; ++i) {
        Picture pic = render(p, 40, 20);
        kept.push_back(barWidth(pic, 2));
        fresh.push_back(barWidth(pic, 12));
        p.advance();
    }
    EXPECT_EQ(kept, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(fresh, (std::vector<int>{0, 1, 0, 1, 0}));
}

TEST(PlayerTimeline, StopPlayLabelsAndFrameActions) {
    auto b = movie(40, 20, 4);
    b.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, kRed));
    b.tag(kPlaceObject2, place(1, 1)).showFrame();
    b.tag(kDoAction, ActionWriter().stop().withEnd()).showFrame();
    b.tag(kFrameLabel, testswf::frameLabel("Finale")).showFrame();
    b.tag(kDoAction, ActionWriter().gotoLabel("finale").withEnd()).showFrame();
    player::Player p;
    load(p, b.end().build());
    p.advance();
    EXPECT_EQ(p.currentFrame(), 2);
    EXPECT_FALSE(p.isPlaying());
    p.advance();
    EXPECT_EQ(p.currentFrame(), 2) << "a stop action holds the timeline";
    p.play();
    p.advance();
    p.advance();
    EXPECT_EQ(p.currentFrame(), 3) << "frame 4 jumps to the label (matched without regard to case) and stops";
    EXPECT_FALSE(p.isPlaying());
}

TEST(PlayerTimeline, FsCommandAndGetUrl) {
    auto b = movie(40, 20, 2);
    b.tag(kDoAction, ActionWriter().getURL("FSCommand:enterFrame", "one").withEnd()).showFrame();
    b.tag(kDoAction, ActionWriter().getURL("http://example.invalid/", "_blank").withEnd()).showFrame();
    player::Player p;
    std::vector<std::pair<std::string, std::string>> commands;
    p.setFsCommandHandler([&](const std::string& c, const std::string& a) { commands.emplace_back(c, a); });
    load(p, b.end().build());
    p.advance();
    p.advance();
    ASSERT_EQ(commands.size(), 2u) << "frame 1 ran at load and again when the movie looped";
    EXPECT_EQ(commands[0], std::make_pair(std::string("enterFrame"), std::string("one")));
    bool logged = false;
    for (const std::string& line : p.log())
        logged |= line.find("http://example.invalid/") != std::string::npos;
    EXPECT_TRUE(logged) << "a getURL that opens nothing is logged";
}

TEST(PlayerTimeline, UnsupportedActionsAreReportedOnce) {
    auto b = movie(40, 20, 1);
    ActionWriter a;
    // 0x2D is no action of any SWF version.
    a.op(0x2D).op(0x2D);
    b.tag(kDoAction, a.withEnd()).showFrame();
    player::Player p;
    load(p, b.end().build());
    int reports = 0;
    for (const std::string& line : p.log())
        reports += line.find("not supported yet") != std::string::npos;
    EXPECT_EQ(reports, 1);
}

TEST(PlayerTimeline, LevelsDrawOverLevelZeroWithoutTheirBackground) {
    auto base = movie(40, 20, 1);
    base.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, kRed));
    base.tag(kPlaceObject2, place(1, 1)).showFrame();
    auto over = movie(40, 20, 1, 8, 0x00FF00);
    over.tag(kDefineShape3, rectShape(1, 5, 0, 15, 10, kBlue));
    over.tag(kPlaceObject2, place(1, 1)).showFrame();
    player::Player p;
    load(p, base.end().build());
    std::string error;
    ASSERT_TRUE(p.loadLevelBytes(88, over.end().build(), "over.swf", &error)) << error;
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(2, 5), kRed);
    EXPECT_EQ(pic.rgb(12, 5), kBlue);
    EXPECT_EQ(pic.rgb(30, 15), kWhite) << "only level 0's background fills the stage";
}

TEST(PlayerTimeline, BrokenMoviesFailToLoadCleanly) {
    player::Player p;
    std::string error;
    EXPECT_FALSE(p.loadBytes({'F', 'W', 'S'}, "short.swf", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(p.loaded());
    EXPECT_FALSE(p.loadFile("/nonexistent/movie.swf", &error));
    // A movie cut in the middle of a tag still loads what came before.
    testswf::Bytes whole = threeFrameMovie();
    whole.resize(whole.size() - 6);
    EXPECT_TRUE(p.loadBytes(whole, "cut.swf", &error)) << error;
    EXPECT_EQ(render(p, 40, 20).rgb(5, 5), kRed);
}

}  // namespace

namespace {

TEST(PlayerTimeline, SelfPlacingAndExplodingSpritesAreCutOff) {
    using namespace playertest;
    // Sprite 1 places itself; sprite 2 places two copies of sprite 3, which places two of sprite 4, ...
    // (2^40 objects if nothing stopped it).
    auto b = movie(40, 20, 1);
    b.tag(kDefineShape3, rectShape(100, 0, 0, 10, 10, 0xFF0000));
    testswf::SwfBuilder self;
    self.tag(kPlaceObject2, place(1, 1)).tag(kPlaceObject2, place(100, 2)).showFrame();
    b.tag(kDefineSprite, testswf::defineSprite(1, 1, self));
    for (int id = 10; id < 50; ++id) {
        testswf::SwfBuilder t;
        uint16_t child = id == 49 ? 100 : static_cast<uint16_t>(id + 1);
        t.tag(kPlaceObject2, place(child, 1)).tag(kPlaceObject2, place(child, 2)).showFrame();
        b.tag(kDefineSprite, testswf::defineSprite(static_cast<uint16_t>(id), 1, t));
    }
    b.tag(kPlaceObject2, place(1, 1)).tag(kPlaceObject2, place(10, 2)).showFrame();
    player::Player p;
    load(p, b.end().build());
    p.advance();
    EXPECT_EQ(render(p, 40, 20).rgb(5, 5), 0xFF0000u);
    int limits = 0;
    for (const std::string& line : p.log())
        limits += line.find("not supported yet") != std::string::npos;
    EXPECT_EQ(limits, 2) << "both limits are reported, once each";
}

}  // namespace

namespace {

TEST(PlayerTimeline, GetUrlIntoALevelLoadsTheMovieAfterTheFrame) {
    using namespace playertest;
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tolvikan-levels-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // The base movie sets no background; the loaded one sets blue, which then colours the stage (the first
    // background colour any level sets wins).
    testswf::Header hd;
    hd.xmax = 40 * 20;
    hd.ymax = 20 * 20;
    testswf::SwfBuilder base(hd);
    base.tag(kDoAction, testswf::ActionWriter().getURL("sub/../over.swf", "_level1").withEnd()).showFrame();
    auto over = movie(40, 20, 1, 8, 0x0000FF);
    over.tag(kDefineShape3, rectShape(1, 0, 0, 10, 10, 0xFF0000));
    over.tag(kPlaceObject2, place(1, 1)).showFrame();
    ASSERT_TRUE(testswf::writeFile((dir / "base.swf").string(), base.end().build()));
    ASSERT_TRUE(testswf::writeFile((dir / "over.swf").string(), over.end().build()));

    player::Player p;
    std::string error;
    ASSERT_TRUE(p.loadFile((dir / "base.swf").string(), &error)) << error;
    EXPECT_EQ(render(p, 40, 20).rgb(5, 5), 0xFFFFFFu) << "nothing is loaded before the frame is over";
    p.advance();
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 5), 0xFF0000u);
    EXPECT_EQ(pic.rgb(30, 15), 0x0000FFu);

    // Web addresses are not fetched; the refusal is logged.
    testswf::SwfBuilder web(hd);
    web.tag(kDoAction, testswf::ActionWriter().getURL("http://example.invalid/a.swf", "_level2").withEnd())
        .showFrame();
    ASSERT_TRUE(p.loadBytes(web.end().build(), (dir / "web.swf").string(), &error)) << error;
    p.advance();
    bool refused = false;
    for (const std::string& line : p.log())
        refused |= line.find("only local movie files") != std::string::npos;
    EXPECT_TRUE(refused);
    fs::remove_all(dir);
}

}  // namespace

namespace {

TEST(PlayerTimeline, MovieClipLoaderTellsItsListenersHowLoadsWent) {
    using namespace playertest;
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tolvikan-mcl-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // The loader listens to itself: each event traces its name and the target; the child traces when its
    // first frame runs, which comes before onLoadInit.
    auto base = movie(40, 20, 3);
    base.tag(kDoAction, avm1test::assemble(R"(
        push 1 'c' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 'l' 0 'MovieClipLoader'; newobject; setvar
        push 'l'; getvar; push 'onLoadStart'
        function - t
          push 'start '; push 't'; getvar; add2; trace
        end
        setmember
        push 'l'; getvar; push 'onLoadProgress'
        function - t n total
          push 'progress '; push 'n'; getvar; add2; push '/'; add2; push 'total'; getvar; add2; trace
        end
        setmember
        push 'l'; getvar; push 'onLoadComplete'
        function - t
          push 'complete'; trace
        end
        setmember
        push 'l'; getvar; push 'onLoadInit'
        function - t
          push 'init '; push 't'; getvar; add2; trace
        end
        setmember
        push 'l'; getvar; push 'onLoadError'
        function - t code
          push 'error '; push 'code'; getvar; add2; trace
        end
        setmember
        push 'c'; getvar; push 'child.swf' 2 'l'; getvar; push 'loadClip'; callmethod; trace
        push 'c'; getvar; push 'missing.swf' 2 'l'; getvar; push 'loadClip'; callmethod; pop
        push 'nowhere' 'child.swf' 2 'l'; getvar; push 'loadClip'; callmethod; trace
    )"));
    base.showFrame().showFrame().showFrame();
    auto child = movie(40, 20, 1);
    child.tag(kDoAction, avm1test::assemble("push 'child frame 1'; trace")).showFrame();
    testswf::Bytes childBytes = child.end().build();
    ASSERT_TRUE(testswf::writeFile((dir / "base.swf").string(), base.end().build()));
    ASSERT_TRUE(testswf::writeFile((dir / "child.swf").string(), childBytes));

    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& l) { lines.push_back(l); });
    std::string error;
    ASSERT_TRUE(p.loadFile((dir / "base.swf").string(), &error)) << error;
    p.advance();
    p.advance();
    std::string size = std::to_string(childBytes.size());
    EXPECT_EQ(lines,
              (std::vector<std::string>{"true", "false", "start _level0.c", "progress " + size + "/" + size,
                                        "complete", "error URLNotFound", "child frame 1", "init _level0.c"}));
    fs::remove_all(dir);
}

}  // namespace

namespace {

TEST(PlayerTimeline, ImportedCharactersComeFromTheSharedLibrary) {
    using namespace playertest;
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tolvikan-import-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // lib.swf exports a sprite "box" (id 7) holding its red square (id 3); the main movie imports it as id 1
    // and places it twice; an import of a name the library lacks, and of a missing file, are logged.
    auto lib = movie(40, 20, 1);
    lib.tag(kDefineShape3, rectShape(3, 0, 0, 10, 10, 0xFF0000));
    testswf::Bytes sprite = {7, 0, 1, 0};
    testswf::Bytes inner = place(3, 1);
    sprite.push_back(uint8_t((26 << 6) | inner.size()));
    sprite.push_back(uint8_t(26 >> 2));
    sprite.insert(sprite.end(), inner.begin(), inner.end());
    sprite.insert(sprite.end(), {0x40, 0x00, 0x00, 0x00});  // ShowFrame, End
    lib.tag(39, sprite);
    lib.tag(56, testswf::exportAssets({{7, "box"}})).showFrame();
    ASSERT_TRUE(testswf::writeFile((dir / "lib.swf").string(), lib.end().build()));

    auto importTag = [](const std::string& url, const std::vector<std::pair<uint16_t, std::string>>& items) {
        testswf::Bytes b(url.begin(), url.end());
        b.push_back(0);
        b.push_back(uint8_t(items.size()));
        b.push_back(0);
        for (const auto& [id, name] : items) {
            b.push_back(uint8_t(id));
            b.push_back(uint8_t(id >> 8));
            b.insert(b.end(), name.begin(), name.end());
            b.push_back(0);
        }
        return b;
    };
    auto main = movie(40, 20, 1);
    main.tag(57, importTag("lib.swf", {{1, "box"}, {2, "nothing"}}));
    main.tag(57, importTag("missing.swf", {{4, "box"}}));
    main.tag(kPlaceObject2, place(1, 1, 0, 0));
    main.tag(kPlaceObject2, place(1, 2, 20, 0)).showFrame();
    ASSERT_TRUE(testswf::writeFile((dir / "main.swf").string(), main.end().build()));

    player::Player p;
    std::string error;
    ASSERT_TRUE(p.loadFile((dir / "main.swf").string(), &error)) << error;
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 5), 0xFF0000u);
    EXPECT_EQ(pic.rgb(25, 5), 0xFF0000u);
    EXPECT_EQ(pic.rgb(15, 5), 0xFFFFFFu);
    int noted = 0;
    for (const std::string& line : p.log())
        noted += line.find("imported assets") != std::string::npos;
    EXPECT_EQ(noted, 2) << "the missing name and the missing file";
    fs::remove_all(dir);
}

}  // namespace
