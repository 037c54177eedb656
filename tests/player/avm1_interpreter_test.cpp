// The interpreter's rules that are easy to get wrong, each shown by a small script whose trace() output is
// compared with what Flash Player prints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/avm1_asm.h"
#include "support/swf_builder.h"
#include "support/swf_tags.h"
#include "tests/player/player_test_util.h"

namespace {

using playertest::movie;

// Loads a built movie into `p` and moves it on `advances` frames past its first; returns the traced lines.
std::vector<std::string> play(player::Player& p, const testswf::Bytes& swf, int advances) {
    std::vector<std::string> lines;
    p.setTraceHandler([&lines](const std::string& line) { lines.push_back(line); });
    std::string error;
    EXPECT_TRUE(p.loadBytes(swf, "test.swf", &error)) << error;
    for (int f = 0; f < advances; ++f)
        p.advance();
    p.setTraceHandler(nullptr);
    return lines;
}

// Runs a one-frame movie of the given version whose frame holds `script`; returns the traced lines.
std::vector<std::string> run(const std::string& script, int version = 8, int frames = 1) {
    auto b = movie(40, 20, frames, version);
    b.tag(12, avm1test::assemble(script)).showFrame();
    for (int f = 1; f < frames; ++f)
        b.showFrame();
    player::Player p;
    return play(p, b.end().build(), frames - 1);
}

std::string one(const std::string& script, int version = 8) {
    auto lines = run(script, version);
    return lines.size() == 1 ? lines[0] : "<" + std::to_string(lines.size()) + " lines>";
}

struct Case {
    const char* what;
    int version;
    const char* script;
    const char* expected;
};

class Conversions : public ::testing::TestWithParam<Case> {};

TEST_P(Conversions, TraceAsFlashPlayerPrints) {
    const Case& c = GetParam();
    EXPECT_EQ(one(c.script, c.version), c.expected) << c.what;
}

const Case kConversions[] = {
    {"integers print plainly", 8, "push 1e9; trace", "1000000000"},
    {"fifteen significant digits", 8, "push 1; push 3; divide; trace", "0.333333333333333"},
    {"0.1 + 0.2", 8, "push 0.1 0.2; add2; trace", "0.3"},
    {"large numbers in exponent form", 8, "push 1e21; trace", "1e+21"},
    {"1e15 is already exponent form", 8, "push 1e15; trace", "1e+15"},
    {"below 1e15 stays plain", 8, "push 123456789012345.0; trace", "123456789012345"},
    {"small numbers down to 1e-5 plain", 8, "push 0.00001; trace", "0.00001"},
    {"smaller ones in exponent form", 8, "push 0.0000015; trace", "1.5e-6"},
    {"negative zero", 8, "push 0; push -1.0; multiply; trace", "0"},
    {"NaN", 8, "push 0; push 0; divide; trace", "NaN"},
    {"minus infinity", 8, "push -1; push 0; divide; trace", "-Infinity"},
    {"undefined in a string before SWF 7", 6, "push 'a' undef; add2; trace", "a"},
    {"undefined in a string from SWF 7", 7, "push 'a' undef; add2; trace", "aundefined"},
    {"trace of undefined", 6, "push undef; trace", "undefined"},
    {"undefined as a number before SWF 7", 6, "push undef 1; add2; trace", "1"},
    {"undefined as a number from SWF 7", 7, "push undef 1; add2; trace", "NaN"},
    {"string plus number concatenates", 8, "push '1' 2; add2; trace", "12"},
    {"SWF 4 add is numeric", 8, "push '1' 2; add; trace", "3"},
    {"hexadecimal strings", 8, "push '0x10' 1; multiply; trace", "16"},
    {"hexadecimal only at the very start", 8, "push ' 0x10' 1; multiply; trace", "NaN"},
    {"a sign after the hexadecimal prefix", 8, "push '0x-10' 1; multiply; trace", "-16"},
    {"no hexadecimal before SWF 6", 5, "push '0x10' 1; multiply; trace", "NaN"},
    {"a leading zero reads as octal", 8, "push '030' 1; multiply; trace", "24"},
    {"but not behind white space", 8, "push ' 030' 1; multiply; trace", "30"},
    {"trailing garbage is NaN", 8, "push '12abc' 1; multiply; trace", "NaN"},
    {"white space before a number", 8, "push ' 12' 1; multiply; trace", "12"},
    {"strings compare as strings", 8, "push '10' '9'; less2; trace", "true"},
    {"mixed compare as numbers", 8, "push '10' 9; less2; trace", "false"},
    {"NaN compares as undefined", 8, "push 'x' 1; less2; trace", "undefined"},
    {"null equals undefined", 8, "push null undef; equals2; trace", "true"},
    {"strict equality tells them apart", 8, "push null undef; strictequals; trace", "false"},
    {"SWF 4 comparisons give numbers in SWF 4", 4, "push 1 2; less; trace", "1"},
    {"non-empty strings are true from SWF 7", 7, "push 'abc'; not; not; trace", "true"},
    {"strings are numbers before SWF 7", 6, "push 'abc'; not; not; trace", "false"},
    {"ToInteger wraps to 32 bits", 8, "push 4294967295.0; tointeger; trace", "-1"},
    {"unsigned shift", 8, "push -1 1; biturshift; trace", "2147483647"},
    {"an unsigned shift by nothing stays signed", 8, "push -1 32; biturshift; trace", "-1"},
    {"typeof", 8, "push 'x'; typeof; trace; push null; typeof; trace", "<2 lines>"},
    {"strings before SWF 6 are Latin-1", 5, "push '\xE4\xF6'; dup; stringlength; add2; trace",
     "\xC3\xA4\xC3\xB6"
     "2"},
    {"strings from SWF 6 are UTF-8", 6, "push '\xC3\xA4'; dup; stringlength; add2; trace",
     "\xC3\xA4"
     "1"},
    {"a zero divisor's sign does not count", 8, "push 1 0 -1; multiply; divide; trace", "Infinity"},
    {"halves round away from zero", 8, "push 4096.000244140625; trace", "4096.00024414063"},
    {"a toString that gives no string", 7,
     "push 'o' 0 'Object'; newobject; setvar; push 'o'; getvar; push 'toString'; function -; push 5; return; "
     "end; "
     "setmember; push 'o'; getvar; trace",
     "[type Object]"},
    {"an object without valueOf adds as undefined", 7,
     "push 'o' 0 'Object'; newobject; setvar; push 'o'; getvar; push '__proto__' undef; setmember; "
     "push 'a' 'o'; getvar; add2; trace",
     "aundefined"},
    {"one whose toString gives an object", 7,
     "push 'o' 0 'Object'; newobject; setvar; push 'o'; getvar; push 'toString'; function -; push 'this'; "
     "getvar; "
     "return; end; setmember; push 'o'; getvar; push 'valueOf' 'o'; getvar; setmember; push 'a' 'o'; getvar; "
     "add2; "
     "trace",
     "a[type Object]"},
};

INSTANTIATE_TEST_SUITE_P(Avm1, Conversions, ::testing::ValuesIn(kConversions));

TEST(Avm1Scope, NamesAreCaseInsensitiveBeforeSwf7) {
    const char* script = "push 'abc' 1; setvar; push 'ABC'; getvar; trace";
    EXPECT_EQ(one(script, 6), "1");
    EXPECT_EQ(one(script, 7), "undefined");
}

TEST(Avm1Scope, WithFindsTheObjectsOwnNamesAndAssignsThere) {
    // o = {x: 1}; o.__proto__ = {z: 4}; with (o) { trace(z); x = 2; y = 3; z = 5; }
    // trace(o.x); trace(o.y); trace(y); trace(o.z); trace(z): an inherited name is read but not assigned.
    auto lines = run(R"(
        push 'o' 'x' 1 1; initobject; setvar
        push 'o'; getvar; push '__proto__' 'z' 4 1; initobject; setmember
        push 'o'; getvar
        with
          push 'z'; getvar; trace
          push 'x' 2; setvar
          push 'y' 3; setvar
          push 'z' 5; setvar
        end
        push 'o'; getvar; push 'x'; getmember; trace
        push 'o'; getvar; push 'y'; getmember; trace
        push 'y'; getvar; trace
        push 'o'; getvar; push 'z'; getmember; trace
        push 'z'; getvar; trace
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"4", "2", "undefined", "3", "4", "5"}));
}

TEST(Avm1Scope, ClosuresKeepTheirActivation) {
    // function make() { var n = 10; return function () { n++; return n; }; }
    // f = make(); f(); trace(f());
    auto lines = run(R"(
        function make
          push 'n' 10; definelocal
          function -
            push 'n'; getvar; increment; push 'n'; swap; setvar
            push 'n'; getvar; return
          end
          return
        end
        push 'f' 0 'make'; callfunc; setvar
        push 0 'f'; callfunc; pop
        push 0 'f'; callfunc; trace
        push 'n'; getvar; trace
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"12", "undefined"}));
}

TEST(Avm1Objects, PrototypeChainAndConstructors) {
    // function A() { this.a = 1; } A.prototype.greet = function () { return "hi " + this.a; };
    // function B() { super(); } B extends A;  b = new B(); trace(b.greet()); trace(b instanceof A)
    auto lines = run(R"(
        function A
          push 'this'; getvar; push 'a' 1; setmember
        end
        push 'A'; getvar; push 'prototype'; getmember; push 'greet'
        function -
          push 'hi '; push 'this'; getvar; push 'a'; getmember; add2; return
        end
        setmember
        function B
          push 0 'super'; callfunc; pop
        end
        push 'B'; getvar; push 'A'; getvar; extends
        push 'b' 0 'B'; newobject; setvar
        push 0 'b'; getvar; push 'greet'; callmethod; trace
        push 'b'; getvar; push 'A'; getvar; instanceof; trace
    )",
                     6);
    EXPECT_EQ(lines, (std::vector<std::string>{"hi 1", "true"}));
}

TEST(Avm1Objects, ProtoAndConstructorAreOwnProperties) {
    // o = {x: 1}; o has its own hidden, permanent __proto__; functions their own constructor (Function).
    // Deleting __proto__ once ASSetPropFlags allows it cuts the chain; a primitive stored there reads back.
    auto lines = run(R"(
        push 'o' 'x' 1 1; initobject; setvar
        push '__proto__' 1 'o'; getvar; push 'hasOwnProperty'; callmethod; trace
        push 'o'; getvar; push '__proto__'; delete; trace
        push 'f'; function -
        end
        setvar
        push 'f'; getvar; push 'constructor'; getmember; push 'Function'; getvar; strictequals; trace
        push 'constructor' 1 'f'; getvar; push 'hasOwnProperty'; callmethod; trace
        push 2 0 '__proto__' 'o'; getvar; push 4 'ASSetPropFlags'; callfunc; pop
        push 'o'; getvar; push '__proto__'; delete; trace
        push 'o'; getvar; push 'toString'; getmember; typeof; trace
        push 'o'; getvar; push '__proto__' 'text'; setmember
        push 'o'; getvar; push '__proto__'; getmember; trace
    )",
                     8);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"true", "false", "true", "true", "true", "undefined", "text"}));
}

TEST(Avm1Objects, EnumerationListsNewestNamesFirst) {
    auto lines = run(R"(
        push 'o' 'a' 1 'b' 2 'c' 3 3; initobject; setvar
        push 'o'; getvar; enumerate2
        label loop
        dup; push null; equals2; if done
        trace; jump loop
        label done
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"c", "b", "a"}));
}

TEST(Avm1Control, TryCatchFinallyAndThrowThroughCalls) {
    // function f() { throw "boom"; }  try { f(); trace("not here"); } catch (e) { trace("caught " + e); }
    // finally { trace("finally"); }
    auto lines = run(R"(
        function f
          push 'boom'; throw
        end
        try e
          push 0 'f'; callfunc; pop
          push 'not here'; trace
        catch
          push 'caught '; push 'e'; getvar; add2; trace
        finally
          push 'finally'; trace
        end
        push 'after'; trace
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"caught boom", "finally", "after"}));
}

TEST(Avm1Control, AJumpOutOfTryOrCatchSkipsFinally) {
    // Each jump leaves its statement, skipping the finally block (its bytes: the assembled text less the
    // end).
    const std::string fin1 = "push 'finally after a jump'; trace";
    const std::string fin2 = "push 'finally after a jump from catch'; trace";
    const auto skip = [](const std::string& s) { return std::to_string(avm1test::assemble(s).size() - 1); };
    auto lines =
        run("try e\n jump +" + skip(fin1) + "\nfinally\n" + fin1 + "\nend\n" +
            "try e\n push 'x'; throw\ncatch\n jump +" + skip(fin2) + "\nfinally\n" + fin2 + "\nend\n" +
            "try e\n push 'inside'; trace\nfinally\n push 'finally after the block'; trace\nend\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"inside", "finally after the block"}));
}

TEST(Avm1Control, TryBlocksGoByTheirFlagsNotTheirSizes) {
    // try { throw "Try" } catch { throw "Catch" } finally { throw "Finally" }, all three sizes given, with
    // each pair of flags; an outer try traces what comes out. A block whose flag is clear has no size: with
    // only the finally flag, the catch code is where the finally block begins.
    const auto code = [](const std::string& text) {
        testswf::Bytes b = avm1test::assemble(text);
        b.pop_back();  // the End
        return b;
    };
    const testswf::Bytes t = code("push 'Try'; throw"), c = code("push 'Catch'; throw"),
                         f = code("push 'Finally'; throw"), report = code("push 'e'; getvar; trace");
    testswf::ActionWriter all;
    for (auto [hasCatch, hasFinally] :
         {std::pair{true, true}, {true, false}, {false, true}, {false, false}}) {
        testswf::ActionWriter inner;
        inner.tryBlock(false, "e", 0, uint16_t(t.size()), uint16_t(c.size()), uint16_t(f.size()), hasCatch,
                       hasFinally);
        inner.raw(t).raw(c).raw(f);
        all.tryBlock(false, "e", 0, uint16_t(inner.size()), uint16_t(report.size()), 0, true, false);
        all.raw(inner.bytes()).raw(report);
    }
    auto b = movie(40, 20, 1, 7);
    b.tag(12, all.withEnd()).showFrame();
    player::Player p;
    EXPECT_EQ(play(p, b.end().build(), 0), (std::vector<std::string>{"Finally", "Catch", "Catch", "Try"}));
}

TEST(Avm1Control, AReturnInFinallyKeepsTheErrorForTheEnclosingTry) {
    // function test() { try { throw "Try"; } finally { return "Finally"; } }
    // try { trace(test()); } catch (e) { trace(e); }: the call returns, and the error, without its value,
    // reaches the catch where the try block ends.
    auto lines = run(R"(
        function test
          try e
            push 'Try'; throw
          finally
            push 'Finally'; return
          end
        end
        try e
          push 0 'test'; callfunc; trace
        catch
          push 'e'; getvar; trace
        end
        push 'after'; trace
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"Finally", "undefined", "after"}));
}

TEST(Avm1Limits, EndlessLoopsAndRecursionAreCutOffAndTheMovieGoesOn) {
    // Frame 1 loops forever; frame 2 recurses without end; frame 3 still runs.
    auto b = movie(40, 20, 3);
    b.tag(12, avm1test::assemble("label top; jump top")).showFrame();
    b.tag(12, avm1test::assemble("function r; push 0 'r'; callfunc; return; end; push 0 'r'; callfunc; pop"))
        .showFrame();
    b.tag(12, avm1test::assemble("push 'still running'; trace")).showFrame();
    player::Player p;
    auto lines = play(p, b.end().build(), 2);
    EXPECT_EQ(lines, (std::vector<std::string>{"still running"}));
    int cut = 0;
    for (const std::string& l : p.log())
        cut += l.find("cut off") != std::string::npos;
    EXPECT_EQ(cut, 2) << "each limit is logged once";
}

TEST(Avm1Limits, RecursionDepthIsTheMoviesOwnAndConversionsOutliveIt) {
    // n counts the calls of a function that calls itself without end; a second frame reads it. The frame's
    // own script is the first level. (Limits far above the default meet the machine-stack guard first in
    // builds with large frames, so the table stays below it.)
    const std::string recurse =
        "push 'n' 0; setvar; function r; push 'n'; getvar; increment; push 'n'; swap; setvar; push 0 'r'; "
        "callfunc; return; end; push 0 'r'; callfunc; pop";
    for (int limit : {5, 50}) {
        auto b = movie(40, 20, 2);
        b.tag(65, {uint8_t(limit & 255), uint8_t(limit >> 8), 15, 0});
        b.tag(12, avm1test::assemble(recurse)).showFrame();
        b.tag(12, avm1test::assemble("push 'n'; getvar; trace")).showFrame();
        player::Player p;
        auto lines = play(p, b.end().build(), 1);
        EXPECT_EQ(lines, std::vector<std::string>{std::to_string(limit - 1)}) << limit;
    }
    // A toString that converts its own object recurses until the limit cuts it off: the innermost
    // conversion falls back to "[type Object]" and the script that asked goes on.
    EXPECT_EQ(run("push 'o' 0 'Object'; newobject; setvar; push 'o'; getvar; push 'toString'; function -; "
                  "push 'this'; getvar; push 1 'String'; callfunc; return; end; setmember; push 'o'; getvar; "
                  "trace; push 'on'; trace"),
              (std::vector<std::string>{"[type Object]", "on"}));
}

TEST(Avm1Limits, GettersAndSettersThatReachThemselvesActAsPlainValues) {
    // o.p's getter returns this.p and its setter sets this.p: 65 calls nest, then the outermost call of
    // the kind refused gives up and the property acts as a plain value, which the first set stored.
    auto lines = run(R"(
        push 'o' 0 'Object'; newobject; setvar
        push 'gets' 0; setvar
        push 'sets' 0; setvar
        function set v
          push 'sets'; getvar; increment; push 'sets'; swap; setvar
          push 'this'; getvar; push 'p' 'f'; setmember
        end
        function get
          push 'gets'; getvar; increment; push 'gets'; swap; setvar
          push 'this'; getvar; push 'p'; getmember; return
        end
        push 'set'; getvar; push 'get'; getvar; push 'p' 3 'o'; getvar; push 'addProperty'; callmethod; pop
        push 'o'; getvar; push 'p' 'b'; setmember
        push 'o'; getvar; push 'p'; getmember; trace
        push 'sets'; getvar; trace
        push 'gets'; getvar; trace
    )",
                     7);
    EXPECT_EQ(lines, (std::vector<std::string>{"b", "65", "65"}));
}

TEST(Avm1Clips, TellTargetFindsAClipAgainByItsPath) {
    // Two clips named "n": tellTarget(b) acts on the one its path names first, the one at depth 0.
    auto lines = run(R"(
        push 'a' 0 'n' 2 'createEmptyMovieClip'; callfunc; setvar
        push 'b' 1 'n' 2 'createEmptyMovieClip'; callfunc; setvar
        push 'b'; getvar; settarget2
        push 0 'getDepth'; callfunc; trace
        push ''; settarget2
        push 0 'b'; getvar; push 'getDepth'; callmethod; trace
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"0", "1"}));
}

TEST(Avm1Clips, HitTestOfTheShapeLeavesOutItsTopLeftEdge) {
    // A square drawn from (10, 10) to (50, 50): its corner is in its box but not on its fill.
    auto lines = run(R"(
        push 'a' 0 'a' 2 'createEmptyMovieClip'; callfunc; setvar
        push 'a'; getvar; settarget2
        push 255 1 'beginFill'; callfunc; pop
        push 10 10 2 'moveTo'; callfunc; pop
        push 10 50 2 'lineTo'; callfunc; pop
        push 50 50 2 'lineTo'; callfunc; pop
        push 50 10 2 'lineTo'; callfunc; pop
        push 10 10 2 'lineTo'; callfunc; pop
        push 0 'endFill'; callfunc; pop
        push true 10 10 3 'hitTest'; callfunc; trace
        push false 10 10 3 'hitTest'; callfunc; trace
        push true 15 15 3 'hitTest'; callfunc; trace
        push true 5 5 3 'hitTest'; callfunc; trace
    )",
                     6);
    EXPECT_EQ(lines, (std::vector<std::string>{"false", "true", "true", "false"}));
}

TEST(Avm1Clips, SwapDepthsRangeAndTheRoot) {
    // a.swapDepths(-16385) is refused, -16384 taken; the root takes a depth of its own.
    auto lines = run(R"(
        push 1 'a' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push -16385 1 'a'; getvar; push 'swapDepths'; callmethod; pop
        push 0 'a'; getvar; push 'getDepth'; callmethod; trace
        push -16384 1 'a'; getvar; push 'swapDepths'; callmethod; pop
        push 0 'a'; getvar; push 'getDepth'; callmethod; trace
        push 2 1 '_root'; getvar; push 'swapDepths'; callmethod; pop
        push 0 '_root'; getvar; push 'getDepth'; callmethod; trace
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"1", "-16384", "2"}));
}

TEST(Avm1Clips, ClipEventsComeInFlashPlayersOrder) {
    // A clip (with a child clip) placed in frame 1 behind that frame's script, removed in frame 3 before that
    // frame's script. Flash Player: initialize and construct before the frame's script, load before a clip's
    // first frame (parent first), enterFrame children first, and unload where the removal stands.
    using testswf::ClipActionSpec;
    const auto say = [](const std::string& what) { return avm1test::assemble("push '" + what + "'; trace"); };
    testswf::SwfBuilder child;
    child.tag(12, say("child frame 1")).showFrame();
    testswf::SwfBuilder clip;
    testswf::PlaceSpec inner;
    inner.characterId = 2;
    inner.clipActions = {ClipActionSpec{0x1, {}, say("child load")},
                         ClipActionSpec{0x2, {}, say("child enterFrame")},
                         ClipActionSpec{0x4, {}, say("child unload")}};
    clip.tag(12, say("clip frame 1")).tag(26, testswf::placeObject(inner, 2, 7)).showFrame();
    testswf::PlaceSpec outer;
    outer.characterId = 3;
    outer.clipActions = {
        ClipActionSpec{0x200, {}, say("clip initialize")}, ClipActionSpec{0x40000, {}, say("clip construct")},
        ClipActionSpec{0x1, {}, say("clip load")}, ClipActionSpec{0x2, {}, say("clip enterFrame")},
        ClipActionSpec{0x4, {}, say("clip unload")}};
    auto b = movie(40, 20, 3, 7);
    b.tag(39, testswf::defineSprite(2, 1, child.end())).tag(39, testswf::defineSprite(3, 1, clip.end()));
    b.tag(12, say("frame 1")).tag(26, testswf::placeObject(outer, 2, 7)).showFrame();
    b.tag(12, say("frame 2")).showFrame();
    b.tag(28, testswf::removeObject2(1)).tag(12, say("frame 3")).showFrame();
    player::Player p;
    auto lines = play(p, b.end().build(), 2);
    EXPECT_EQ(lines, (std::vector<std::string>{"clip initialize", "clip construct", "frame 1", "clip load",
                                               "clip frame 1", "child load", "child frame 1",
                                               "child enterFrame", "clip enterFrame", "frame 2",
                                               "child unload", "clip unload", "frame 3"}));
}

TEST(Avm1Clips, ADuplicateConstructsBeforeTheCallReturnsAndInitializesAfter) {
    // A placed clip with initialize and construct handlers, duplicated by duplicateMovieClip and by the
    // SWF 4 action (whose depth counts from -16384 as compilers write it).
    using testswf::ClipActionSpec;
    const auto say = [](const std::string& what) {
        return avm1test::assemble("push 'this'; getvar; push ': " + what + "'; add2; trace");
    };
    testswf::SwfBuilder clip;
    clip.showFrame();
    testswf::PlaceSpec placed;
    placed.characterId = 2;
    placed.name = "a";
    placed.clipActions = {ClipActionSpec{0x200, {}, say("initialize")},
                          ClipActionSpec{0x40000, {}, say("construct")}};
    auto b = movie(40, 20, 2, 7);
    b.tag(39, testswf::defineSprite(2, 1, clip.end()))
        .tag(26, testswf::placeObject(placed, 1, 7))
        .showFrame();
    b.tag(12, avm1test::assemble(R"(
        push 'duplicating'; trace
        push 5 'b' 2 'a'; getvar; push 'duplicateMovieClip'; callmethod; pop
        push 'a' 'c' 16424; clonesprite
        push 'done'; trace
        push 0 'c'; getvar; push 'getDepth'; callmethod; trace
    )"))
        .showFrame();
    player::Player p;
    auto lines = play(p, b.end().build(), 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"_level0.a: initialize", "_level0.a: construct", "duplicating",
                                               "_level0.b: construct", "_level0.c: construct", "done", "40",
                                               "_level0.b: initialize", "_level0.c: initialize"}));
}

TEST(Avm1Clips, NewestClipsMoveOnFirst) {
    // Two two-frame clips: b placed after a (at a lower depth) reaches its second frame first.
    const auto say = [](const std::string& what) { return avm1test::assemble("push '" + what + "'; trace"); };
    auto b = movie(40, 20, 1, 7);
    for (uint16_t id : {2, 3}) {
        testswf::SwfBuilder t;
        t.showFrame().tag(12, say(id == 2 ? "a frame 2" : "b frame 2")).showFrame();
        b.tag(39, testswf::defineSprite(id, 2, t.end()));
    }
    testswf::PlaceSpec pa, pb;
    pa.characterId = 2;
    pa.depth = 5;
    pb.characterId = 3;
    pb.depth = 1;
    b.tag(26, testswf::placeObject(pa, 2, 7)).tag(26, testswf::placeObject(pb, 2, 7)).showFrame();
    player::Player p;
    auto lines = play(p, b.end().build(), 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"b frame 2", "a frame 2"}));
}

TEST(Avm1Clips, ScriptDepthsAndClipsMadeByScript) {
    // createEmptyMovieClip at depths 5 and 2; the next free depth; swapping; removal.
    auto lines = run(R"(
        push 5 'a' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 2 'b' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 0 '_root'; getvar; push 'getNextHighestDepth'; callmethod; trace
        push 'a'; getvar; push 1 'b'; getvar; push 'swapDepths'; callmethod; pop
        push 0 'b'; getvar; push 'getDepth'; callmethod; trace
        push 'a'; getvar; trace
        push 0 'a'; getvar; push 'removeMovieClip'; callmethod; pop
        push 'a'; getvar; typeof; trace
    )");
    EXPECT_EQ(lines, (std::vector<std::string>{"6", "5", "_level0.a", "undefined"}));
}

TEST(Avm1Clips, RemovedClipsWaitForTheirUnloadHandlers) {
    // a holds a.q (no handler) and a.h (onUnload); a has none. Removing a parks it at -32769 with a.h,
    // drops a.q at once, and a.h's handler runs once the frame's script is over, then both leave.
    auto lines = run(R"(
        push 0 'a' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 0 'q' 2 'a'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 1 'h' 2 'a'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 'a'; getvar; push 'h'; getmember; push 'onUnload'
        function -
          push 'this'; getvar; trace
        end
        setmember
        push 0 'a'; getvar; push 'removeMovieClip'; callmethod; pop
        push 0 'a'; getvar; push 'getDepth'; callmethod; trace
        push 'a'; getvar; push 'q'; getmember; typeof; trace
        push 'a'; getvar; push 'h'; getmember; trace
        push 'done'; trace
    )",
                     8, 2);
    EXPECT_EQ(lines, (std::vector<std::string>{"-32769", "undefined", "_level0.a.h", "done", "_level0.a.h"}));
    auto after = run(R"(
        push 0 'a' 2 '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 0 'a'; getvar; push 'removeMovieClip'; callmethod; pop
        push 'a'; getvar; typeof; trace
    )");
    EXPECT_EQ(after, (std::vector<std::string>{"undefined"})) << "without a handler a clip goes at once";
}

TEST(Avm1Clips, EnterFrameHandlersRunEveryFrameAfterTheFirst) {
    // _root.n = 0; _root.onEnterFrame = function () { trace(++n); }
    auto lines = run(R"(
        push 'n' 0; setvar
        push '_root'; getvar; push 'onEnterFrame'
        function -
          push 'n'; getvar; increment; dup; push 'n'; swap; setvar; trace
        end
        setmember
        stop
    )",
                     8, 4);
    EXPECT_EQ(lines, (std::vector<std::string>{"1", "2", "3"}));
}

}  // namespace

namespace {

// _root.beginFill(red); a 10-pixel square; endFill() — in a movie of the given version.
playertest::Picture drawSquare(int version) {
    auto b = movie(40, 20, 1, version);
    b.tag(12, avm1test::assemble(R"(
        push 16711680 1 '_root'; getvar; push 'beginFill'; callmethod; pop
        push 0 0 2 '_root'; getvar; push 'moveTo'; callmethod; pop
        push 0 10 2 '_root'; getvar; push 'lineTo'; callmethod; pop
        push 10 10 2 '_root'; getvar; push 'lineTo'; callmethod; pop
        push 10 0 2 '_root'; getvar; push 'lineTo'; callmethod; pop
        push 0 '_root'; getvar; push 'endFill'; callmethod; pop
    )"))
        .showFrame();
    player::Player p;
    playertest::load(p, b.end().build());
    return playertest::render(p, 40, 20);
}

TEST(Avm1Clips, DrawingApiFillsFromSwf6AndIsInvisibleToOlderMovies) {
    playertest::Picture v6 = drawSquare(6);
    EXPECT_EQ(v6.rgb(5, 5), 0xFF0000u);
    EXPECT_EQ(v6.rgb(15, 5), 0xFFFFFFu) << "the fill closes where it started";
    playertest::Picture v5 = drawSquare(5);
    EXPECT_EQ(v5.rgb(5, 5), 0xFFFFFFu) << "SWF 5 movies do not see the drawing methods";
}

}  // namespace

namespace {

// Clip `name` at `depth`, drawn as a w x h rectangle of `rgb` from its origin, moved to (x, 0).
std::string rectClip(const std::string& name, int depth, int w, int h, int rgb, int x) {
    auto call = [&](const std::string& args, int n, const std::string& method) {
        return "push " + args + " " + std::to_string(n) + " '" + name + "'; getvar; push '" + method +
               "'; callmethod; pop\n";
    };
    return "push " + std::to_string(depth) + " '" + name +
           "' 2 '_root'; getvar; push 'createEmptyMovieClip'; " + "callmethod; pop\n" +
           call(std::to_string(rgb), 1, "beginFill") + call("0 0", 2, "moveTo") +
           call("0 " + std::to_string(w), 2, "lineTo") +
           call(std::to_string(h) + " " + std::to_string(w), 2, "lineTo") +
           call(std::to_string(h) + " 0", 2, "lineTo") + call("0 0", 2, "lineTo") + call("", 0, "endFill") +
           "push '" + name + "'; getvar; push '_x' " + std::to_string(x) + "; setmember\n";
}

TEST(Avm1Clips, SetMaskShowsTheClipOnlyWhereItsMaskStands) {
    // a: red over the whole 40x20 stage; m: a blue 10x10 square at x = 20. a.setMask(m) shows a only under
    // m (m itself is not drawn); setMask(null) undoes it.
    for (bool undo : {false, true}) {
        auto b = movie(40, 20, 1, 8);
        std::string script = rectClip("a", 1, 40, 20, 0xFF0000, 0) + rectClip("m", 2, 10, 10, 0x0000FF, 20) +
                             "push 'm'; getvar; push 1 'a'; getvar; push 'setMask'; callmethod; pop\n";
        if (undo) script += "push null 1 'a'; getvar; push 'setMask'; callmethod; pop\n";
        b.tag(12, avm1test::assemble(script)).showFrame();
        player::Player p;
        playertest::load(p, b.end().build());
        playertest::Picture pic = playertest::render(p, 40, 20);
        if (!undo) {
            EXPECT_EQ(pic.rgb(25, 5), 0xFF0000u) << "inside the mask";
            EXPECT_EQ(pic.rgb(5, 5), 0xFFFFFFu) << "outside the mask";
            EXPECT_EQ(pic.rgb(25, 15), 0xFFFFFFu) << "below the mask";
        } else {
            EXPECT_EQ(pic.rgb(5, 5), 0xFF0000u);
            EXPECT_EQ(pic.rgb(25, 5), 0x0000FFu) << "the mask is drawn again once it masks nothing";
        }
    }
}

}  // namespace

namespace {

TEST(Avm1Clips, InitActionsRunBeforeTheFramesOtherActions) {
    // Compilers put a frame's DoAction before the DoInitAction tags that define its classes; the classes
    // must exist when the frame's script runs.
    auto b = movie(40, 20, 1, 7);
    testswf::Bytes sprite = {1, 0, 1, 0, 0, 0};  // id 1, one frame, End
    b.tag(39, sprite);
    b.tag(12, avm1test::assemble("push 'frame sees '; push 'defined'; getvar; add2; trace"));
    testswf::Bytes init = {1, 0};
    testswf::Bytes code = avm1test::assemble("push 'defined' 'yes'; setvar; push 'init'; trace");
    init.insert(init.end(), code.begin(), code.end());
    b.tag(59, init).showFrame();
    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& l) { lines.push_back(l); });
    playertest::load(p, b.end().build());
    EXPECT_EQ(lines, (std::vector<std::string>{"init", "frame sees yes"}));
}

}  // namespace
