// The built-in classes' rules that are easy to get wrong (sort order and flags, split and substr edge
// cases per version, parseInt's radix rules, escape's character set), each shown by a small script whose
// trace() output is compared with what Flash Player prints, or by a direct call of the conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "player/avm1/builtins/globals.h"
#include "support/avm1_asm.h"
#include "tests/player/player_test_util.h"

namespace {

using playertest::movie;

std::vector<std::string> run(const std::string& script, int version) {
    auto b = movie(40, 20, 1, version);
    b.tag(12, avm1test::assemble(script)).showFrame();
    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& line) { lines.push_back(line); });
    std::string error;
    EXPECT_TRUE(p.loadBytes(b.end().build(), "test.swf", &error)) << error;
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i ? "|" : "") + lines[i];
    return out;
}

struct Case {
    const char* what;
    int version;
    const char* script;
    const char* expected;  // the traced lines, joined with "|"
};

class Builtins : public ::testing::TestWithParam<Case> {};

TEST_P(Builtins, TraceAsFlashPlayerPrints) {
    const Case& c = GetParam();
    EXPECT_EQ(joined(run(c.script, c.version)), c.expected) << c.what;
}

// [10, 9, 1] as a literal: InitArray takes the last pushed value first.
#define ARR_10_9_1 "push 1 9 10 3; initarray; "

const Case kSort[] = {
    {"default sort compares as strings", 8, "push 0; " ARR_10_9_1 "push 'sort'; callmethod; trace", "1,10,9"},
    {"NUMERIC compares numbers", 8, "push 16 1; " ARR_10_9_1 "push 'sort'; callmethod; trace", "1,9,10"},
    {"NUMERIC | DESCENDING", 8, "push 18 1; " ARR_10_9_1 "push 'sort'; callmethod; trace", "10,9,1"},
    {"a string option counts, an object does not", 8,
     "push '16' 1; " ARR_10_9_1 "push 'sort'; callmethod; trace", "1,9,10"},
    {"CASEINSENSITIVE", 8,
     "push 1 1; push 'a' 'C' 'b' 3; initarray; push 'sort'; callmethod; trace; "
     "push 0; push 'a' 'C' 'b' 3; initarray; push 'sort'; callmethod; trace",
     "a,b,C|C,a,b"},
    {"RETURNINDEXEDARRAY leaves the array as it was", 8,
     "push 'x'; push 'b' 'a' 'c' 3; initarray; setvar; "
     "push 8 1; push 'x'; getvar; push 'sort'; callmethod; trace; push 'x'; getvar; trace",
     "1,2,0|c,a,b"},
    {"UNIQUESORT with two equal elements gives 0 and changes nothing", 8,
     "push 'x'; push 'a' 'b' 'a' 3; initarray; setvar; "
     "push 4 1; push 'x'; getvar; push 'sort'; callmethod; trace; push 'x'; getvar; trace",
     "0|a,b,a"},
    {"the compare function is called in Flash Player's quicksort order", 8,
     "function cmp a b; push 'a'; getvar; push ':'; add2; push 'b'; getvar; add2; trace; "
     "push 'a'; getvar; push 'b'; getvar; subtract; return; end; "
     "push 'cmp'; getvar; push 1; push 2 1 3 3; initarray; push 'sort'; callmethod; trace",
     "3:1|3:2|2:1|1,2,3"},
    {"sortOn a field, numerically", 8,
     "push 'r'; push 16 'n' 2; push 'n' 9 1; initobject; push 'n' 10 1; initobject; push 2; initarray; "
     "push 'sortOn'; callmethod; setvar; push 'r'; getvar; push 0; getmember; push 'n'; getmember; trace",
     "9"},
};
INSTANTIATE_TEST_SUITE_P(Sort, Builtins, ::testing::ValuesIn(kSort));

// s.split(...) on a string, traced with its length: "N:joined".
#define SPLIT(str, args)                                           \
    "push 'a'; push " args "; push '" str                          \
    "'; push 'split'; callmethod; setvar; push 'a'; getvar; push " \
    "'length'; getmember; push ':'; add2; push 'a'; getvar; add2; trace"

const Case kStrings[] = {
    {"split", 8, SPLIT("a,b,c", "',' 1"), "3:a,b,c"},
    {"split with a limit", 8, SPLIT("a,b,c", "2 ',' 2"), "2:a,b"},
    {"split with an undefined separator keeps the string whole", 8, SPLIT("a,b", "undef 1"), "1:a,b"},
    {"split on an empty separator: units from Flash 6", 6, SPLIT("abc", "'' 1"), "3:a,b,c"},
    {"split on an empty separator: whole in Flash 5", 5, SPLIT("abc", "'' 1"), "1:abc"},
    {"the empty string splits into one empty string from Flash 6", 6, SPLIT("", "0 ',' 2"), "1:"},
    {"a limit of 0 gives nothing in Flash 5", 5, SPLIT("", "0 ',' 2"), "0:"},
    {"a separator of several characters does not split in Flash 5", 5, SPLIT("12345", "'23' 1"), "1:12345"},
    {"a separator of several characters splits from Flash 6", 6, SPLIT("12345", "'23' 1"), "2:1,45"},
    {"substr with a negative length counts from the end", 8,
     "push -4 3 2; push 'hello world'; push 'substr'; callmethod; trace", "lo worl"},
    {"substr reaching the end with a negative length is empty", 8,
     "push -4 4 2; push 'hello world'; push 'substr'; callmethod; trace", ""},
    {"substring swaps its ends", 8, "push 0 4 2; push 'Hello'; push 'substring'; callmethod; trace", "Hell"},
    {"substring from the end on is empty", 8, "push 1 5 2; push 'Hello'; push 'substring'; callmethod; trace",
     ""},
    {"positions count UTF-16 units", 8,
     "push 1 1; push 'x\xF0\x9F\x98\x8By'; push 'charCodeAt'; callmethod; trace", "55357"},
    {"fromCharCode stops at a zero unit", 8,
     "push 82 0 80 3; push 'String'; getvar; push 'fromCharCode'; callmethod; trace", "P"},
    {"lastIndexOf with a negative start", 8,
     "push -1 'a' 2; push 'banana'; push 'lastIndexOf'; callmethod; trace", "-1"},
    {"toUpperCase beyond ASCII", 8, "push 0; push '\xC3\xA4x'; push 'toUpperCase'; callmethod; trace",
     "\xC3\x84X"},
};
INSTANTIATE_TEST_SUITE_P(Strings, Builtins, ::testing::ValuesIn(kStrings));

const Case kNumbersAndMath[] = {
    {"Number.prototype.toString(16)", 8,
     "push 'n'; push 255 1; push 'Number'; newobject; setvar; "
     "push 16 1; push 'n'; getvar; push 'toString'; callmethod; trace; "
     "push 'm'; push -255 1; push 'Number'; newobject; setvar; "
     "push 2 1; push 'm'; getvar; push 'toString'; callmethod; trace",
     "ff|-11111111"},
    {"Math.min() is Infinity, Math.max(1) is NaN", 8,
     "push 0; push 'Math'; getvar; push 'min'; callmethod; trace; "
     "push 1 1; push 'Math'; getvar; push 'max'; callmethod; trace",
     "Infinity|NaN"},
    {"Math.round rounds halves up", 8,
     "push -12.5 1; push 'Math'; getvar; push 'round'; callmethod; trace; "
     "push 12.5 1; push 'Math'; getvar; push 'round'; callmethod; trace",
     "-12|13"},
    {"a missing Math argument is NaN even where undefined is 0", 6,
     "push 0; push 'Math'; getvar; push 'abs'; callmethod; trace", "NaN"},
    {"Error keeps its message and prints it", 8,
     "push 'boom' 1; push 'Error'; newobject; trace; push 0; push 'Error'; newobject; push 'name'; "
     "getmember; "
     "trace",
     "boom|Error"},
    {"an infinite base to a fractional power is NaN; a fraction to -Infinity is Infinity", 8,
     "push 0.5; push 'Infinity'; getvar; push 2 'Math'; getvar; push 'pow'; callmethod; trace; "
     "push 'Infinity'; getvar; push 0; swap; subtract; push 0.4 2 'Math'; getvar; push 'pow'; callmethod; "
     "trace",
     "NaN|Infinity"},
    {"an object without a primitive value: NaN to Math, 0 to SWF 5 operators", 5,
     "push 'o' 0 'Object'; newobject; setvar; push 'o'; getvar; push 1 'Math'; getvar; push 'abs'; "
     "callmethod; "
     "trace; push 'o'; getvar; push 1; multiply; trace",
     "NaN|0"},
    {"Function.call and apply are there from SWF 6", 5,
     "push 'f'; function -; push 'called'; trace; push 1; return; end; setvar; "
     "push 0 'f'; getvar; push 'call'; callmethod; trace; push 0 'f'; getvar; push 'apply'; callmethod; "
     "trace",
     "undefined|undefined"},
    {"Function.call in SWF 6", 6,
     "push 'f'; function -; push 'called'; trace; push 1; return; end; setvar; "
     "push 0 'f'; getvar; push 'call'; callmethod; trace",
     "called|1"},
    {"ASnative(100, 0) is escape", 8,
     "push 'a b' 1; push 0 100 2; push 'ASnative'; callfunc; push undef; callmethod; trace", "a%20b"},
};
INSTANTIATE_TEST_SUITE_P(NumbersAndMath, Builtins, ::testing::ValuesIn(kNumbersAndMath));

// e = new Object(); AsBroadcaster.initialize(e)
#define NEW_BROADCASTER(name)                                          \
    "push '" name "' 0; push 'Object'; newobject; setvar; push '" name \
    "'; getvar; push 1; "                                              \
    "push 'AsBroadcaster'; getvar; push 'initialize'; callmethod; pop; "
// trace(e.broadcastMessage('foo'))
#define BROADCAST(name) "push 'foo' 1; push '" name "'; getvar; push 'broadcastMessage'; callmethod; trace; "

const Case kObjectsAndBroadcasters[] = {
    {"broadcastMessage is true only when some listener is a value", 8,
     NEW_BROADCASTER("e")
         BROADCAST("e") "push 'e'; getvar; push '_listeners'; getmember; push 0 'hi'; setmember; " BROADCAST(
             "e") "push 'e'; getvar; push '_listeners'; getmember; push 0 null; setmember; " BROADCAST("e"),
     "undefined|true|undefined"},
    {"initialize takes addListener as it is now and broadcastMessage from the global ASnative", 8,
     "push 'AsBroadcaster'; getvar; push 'addListener'; function -\n push 'add'; trace\n end\n "
     "setmember; " NEW_BROADCASTER(
         "e") "push 1 1; push 'e'; getvar; push 'addListener'; callmethod; pop; "
              "push '_global'; getvar; push 'ASnative' 22; setmember; " NEW_BROADCASTER(
                  "f") "push 'f'; getvar; push 'broadcastMessage'; getmember; typeof; trace",
     "add|undefined"},
    {"addListener moves a listener to the end; removeListener compares with ==", 8,
     NEW_BROADCASTER("e") "push 'a' 1; push 'e'; getvar; push 'addListener'; callmethod; pop; "
                          "push 'b' 1; push 'e'; getvar; push 'addListener'; callmethod; pop; "
                          "push 'a' 1; push 'e'; getvar; push 'addListener'; callmethod; pop; "
                          "push 'e'; getvar; push '_listeners'; getmember; trace; "
                          "push 'b' 1; push 'String'; newobject; push 1; push 'e'; getvar; push "
                          "'removeListener'; callmethod; trace; "
                          "push 'e'; getvar; push '_listeners'; getmember; trace",
     "b,a|true|a"},
    {"new Object() carries its constructor; Object.prototype is read-only", 6,
     "push 'o' 0; push 'Object'; newobject; setvar; push 'o'; getvar; push '__constructor__'; getmember; "
     "push 'Object'; getvar; equals2; trace; push 'o'; getvar; push 'constructor'; getmember; push 'Object'; "
     "getvar; equals2; trace; push 'Object'; getvar; push 'prototype' 1; setmember; push 'Object'; getvar; "
     "push 'prototype'; getmember; typeof; trace",
     "true|true|object"},
};
INSTANTIATE_TEST_SUITE_P(ObjectsAndBroadcasters, Builtins, ::testing::ValuesIn(kObjectsAndBroadcasters));

const Case kLoadVarsAndNatives[] = {
    {"ASnative gives the engine's function after a script replaced the public one", 8,
     "push '_global'; getvar; push 'escape'; function -\n push 'mine'; return\n end\n setmember; "
     "push 'a b' 1; push 0 100 2; push 'ASnative'; callfunc; push undef; callmethod; trace",
     "a%20b"},
    {"LoadVars.toString escapes with the global escape and collects with push", 8,
     "push '_global'; getvar; push 'escape'; function - s\n push 'e:'; push 's'; getvar; add2; trace; "
     "push 's'; getvar; return\n end\n setmember; push 'l' 0; push 'LoadVars'; newobject; setvar; push 'l'; "
     "getvar; push 'x' 42; setmember; "
     "push 0; push 'l'; getvar; push 'toString'; callmethod; trace",
     "e:x|e:42|x=42"},
    {"decode: nothing given is false; ASnative(301, 3) decodes onto any object", 8,
     "push 'o' 0; push 'Object'; newobject; setvar; push 'o'; getvar; push 'decode'; push 3 301 2; "
     "push 'ASnative'; callfunc; setmember; push 0; push 'o'; getvar; push 'decode'; callmethod; trace; "
     "push 'a=1&b' 1; push 'o'; getvar; push 'decode'; callmethod; trace; "
     "push 'o'; getvar; push 'a'; getmember; push 'o'; getvar; push 'b'; getmember; add2; trace",
     "false|undefined|1"},
};
INSTANTIATE_TEST_SUITE_P(LoadVarsAndNatives, Builtins, ::testing::ValuesIn(kLoadVarsAndNatives));
// Objects a and b whose valueOf traces its name and gives 1 and 2: the trace shows the order in which an
// operator converts its operands.
#define TRACING_A_B                                                                                    \
    "push 'a' 0 'Object'; newobject; setvar; push 'a'; getvar; push 'valueOf'; function -; push 'A'; " \
    "trace; "                                                                                          \
    "push 1; return; end; setmember; "                                                                 \
    "push 'b' 0 'Object'; newobject; setvar; push 'b'; getvar; push 'valueOf'; function -; push 'B'; " \
    "trace; "                                                                                          \
    "push 2; return; end; setmember; push 'a'; getvar; push 'b'; getvar; "

const Case kOperands[] = {
    {"Add2 converts the right operand first", 7, TRACING_A_B "add2; trace", "B|A|3"},
    {"Subtract converts the right operand first", 7, TRACING_A_B "subtract; trace", "B|A|-1"},
    {"Multiply, Divide, Modulo likewise", 7,
     TRACING_A_B "multiply; pop; " TRACING_A_B "divide; pop; " TRACING_A_B "modulo; trace", "B|A|B|A|B|A|1"},
    {"the SWF 4 Add and Less convert the left operand first", 7,
     TRACING_A_B "add; trace; " TRACING_A_B "less; trace", "A|B|3|A|B|true"},
    {"dates compare by time, not by their text", 8,
     "push 0 1 'Date'; newobject; push 259200000 1 'Date'; newobject; less2; trace", "true"},
};
INSTANTIATE_TEST_SUITE_P(Operands, Builtins, ::testing::ValuesIn(kOperands));

#define DATE_UTC "'Date'; getvar; push 'UTC'; callmethod; trace"
#define NEW_D(args) "push 'd'; push " args " 'Date'; newobject; setvar; "
#define D_CALL(args, name) "push " args " 'd'; getvar; push '" name "'; callmethod; "

const Case kDate[] = {
    {"Date.UTC: a year below 100 counts from 1900, negative ones too", 8,
     "push 300 50 50 13 25 5 -100 7 " DATE_UTC "; push 0 99 2 " DATE_UTC, "-5349492549700|915148800000"},
    {"Date.UTC: a year that is no number is the year 0", 8,
     "push 300 50 50 13 25 5; push 'NaN'; getvar; push 7 " DATE_UTC, "-62151962949700"},
    {"Date.UTC: an infinite month gives 0000-01, an infinite date Infinity", 8,
     "push 'NaN'; getvar; push 1983 2 " DATE_UTC "; push 'Infinity'; getvar; push 5 1983 3 " DATE_UTC,
     "-62167219200000|Infinity"},
    {"Date.UTC: the arguments end at the first undefined", 8,
     "push undef 1983 2 " DATE_UTC "; push 50 13 undef 5 1983 5 " DATE_UTC, "undefined|423273600000"},
    {"setYear takes negative years as they are; an invalid date stays invalid", 8,
     NEW_D("1 0 2000 3") D_CALL("-100 1", "setYear") "pop; " D_CALL(
         "0", "getFullYear") "trace; " NEW_D("'x' 1") D_CALL("1983 1", "setYear") "trace",
     "-100|NaN"},
    {"a setter beyond 8.64e15 ms makes the date invalid", 8,
     NEW_D("25 5 2000 3") D_CALL("-271822 1", "setFullYear") "trace; " NEW_D("25 5 2000 3")
         D_CALL("-271821 1", "setFullYear") "pop; " D_CALL("0", "getFullYear") "trace",
     "NaN|-271821"},
    {"setMonth(NaN) is January", 8,
     NEW_D("25 5 1983 3") "push 'NaN'; getvar; push 1 'd'; getvar; push 'setMonth'; callmethod; pop; " D_CALL(
         "0", "getMonth") "trace; " D_CALL("0", "getFullYear") "trace",
     "0|1983"},
    {"a date at Infinity shows the epoch on a Sunday", 8,
     "push 'Infinity'; getvar; push 1 'Date'; newobject; dup; trace; push 0; swap; push 'getTime'; "
     "callmethod; "
     "trace",
     "Sun Jan 1 00:00:00 GMT+0000 1970|Infinity"},
    {"undefined and an object without a primitive value are NaN to setTime even in SWF 5", 5,
     NEW_D("0 1") D_CALL("undef 1", "setTime") "trace; push 0 'Object'; newobject; push 1 'd'; getvar; "
                                               "push 'setTime'; callmethod; trace",
     "NaN|NaN"},
};
INSTANTIATE_TEST_SUITE_P(Date, Builtins, ::testing::ValuesIn(kDate));

#define GEOM(cls) "push 'flash'; getvar; push 'geom'; getmember; push '" cls "'; getmember; "
#define NEW_GEOM(cls) "push 'flash'; getvar; push 'geom'; getmember; push '" cls "'; newmethod; "

const Case kGeom[] = {
    {"the package is there from SWF 6, Matrix only from SWF 8", 6,
     GEOM("Point") "typeof; trace; " GEOM("Matrix") "typeof; trace", "function|undefined"},
    {"nothing of it in SWF 5", 5, "push 'flash'; getvar; typeof; trace", "undefined"},
    {"members join in order as + joins them", 8, "push 'b' 'a' 2; " NEW_GEOM("Point") "trace", "(x=a, y=b)"},
    {"a point equals itself, NaN and all", 8,
     "push 'p'; push 'NaN'; getvar; push 1 2; " NEW_GEOM(
         "Point") "setvar; "
                  "push 'p'; getvar; push 1 'p'; getvar; push 'equals'; callmethod; trace",
     "true"},
    {"new Rectangle() empties itself through its own setEmpty", 8,
     GEOM("Rectangle") "push 'prototype'; getmember; push 'setEmpty'; function -; push 'this'; getvar; "
                       "push 'y' 123; setmember; end; setmember; push 0; " NEW_GEOM("Rectangle") "trace",
     "(x=undefined, y=123, w=undefined, h=undefined)"},
    {"ColorTransform: fewer than eight arguments keep the identity", 8,
     "push 7 2 2; " NEW_GEOM("ColorTransform") "push 'redMultiplier'; getmember; trace", "1"},
    {"ColorTransform.rgb is signed and not cut to bytes", 8,
     "push 0 -1 -1 -1 1 1 1 1 8; " NEW_GEOM("ColorTransform") "push 'rgb'; getmember; trace", "-1"},
    {"before SWF 8 a ColorTransform keeps plain members only", 7,
     "push 8 7 6 5 4 3 2 1 8; " GEOM(
         "ColorTransform") "newobject; push 'blueOffset'; getmember; trace; "
                           "push 'c' 0; " NEW_GEOM("ColorTransform") "setvar; push 'c'; getvar; push "
                                                                     "'redMultiplier' 5; "
                                                                     "setmember; push 'c'; getvar; push "
                                                                     "'redMultiplier'; getmember; trace",
     "undefined|5"},
};
INSTANTIATE_TEST_SUITE_P(Geom, Builtins, ::testing::ValuesIn(kGeom));

TEST(BuiltinsLimits, AnObjectWhoseToStringLeadsBackToItselfIsCutOff) {
    // o.toString = String.prototype.toUpperCase: converting o asks toUpperCase, which converts o... until
    // the depth limit: the innermost conversion gives "[type Object]", and the script goes on.
    auto lines =
        run("push 'o'; push 0; initobject; setvar; "
            "push 'o'; getvar; push 'toString'; push 'String'; getvar; push 'prototype'; getmember; "
            "push 'toUpperCase'; getmember; setmember; "
            "push 'before'; trace; push 'o'; getvar; trace; push 'after'; trace",
            8);
    EXPECT_EQ(lines, (std::vector<std::string>{"before", "[TYPE OBJECT]", "after"}));
}

TEST(BuiltinsLimits, NoiseTooCostlyForOneFrameIsCutOffBeforeItStarts) {
    // perlinNoise(10, 10, octaves, 1, false, true): 32 octaves over 2880 x 2880 pixels would take minutes;
    // one octave over 64 x 64 is quick.
    const std::string make =
        "push 'b' 64 64 2 'flash'; getvar; push 'display'; getmember; push 'BitmapData'; "
        "newmethod; setvar; push 'h' 2880 2880 2 'flash'; getvar; push 'display'; "
        "getmember; push 'BitmapData'; newmethod; setvar; ";
    const auto noise = [](const std::string& bitmap, int octaves) {
        return "push true false 1 " + std::to_string(octaves) + " 10 10 6 '" + bitmap +
               "'; getvar; push 'perlinNoise'; callmethod; pop; ";
    };
    EXPECT_EQ(run(make + noise("b", 1) + "push 'small done'; trace", 8),
              std::vector<std::string>{"small done"});
    EXPECT_TRUE(run(make + noise("h", 32) + "push 'huge done'; trace", 8).empty());
}

TEST(BuiltinsLimits, SortingAHugeArrayOfEqualValuesStopsAtTheActionLimit) {
    // Quicksort on equal values is quadratic; each comparison counts against the frame's budget, so a
    // movie cannot hang the player with it.
    auto lines =
        run("push 'a'; push 100000 1; push 'Array'; newobject; setvar; "
            "push 0; push 'a'; getvar; push 'sort'; callmethod; pop; push 'sorted'; trace",
            8);
    EXPECT_TRUE(lines.empty());
}

struct IntCase {
    const char* text;
    int radix;  // 0: none given
    double expected;
};

TEST(ContextMenu, ACopySharesTheBuiltInItemsAndCopiesTheCustomOnes) {
    // m = new ContextMenu(); m.customItems.push(new ContextMenuItem("x")); c = m.copy();
    // m.builtInItems.play = false; m.customItems[0].caption = "y";
    const std::string script = R"(
        push 'm' 0 'ContextMenu'; newobject; setvar
        push 'x' 1 'ContextMenuItem'; newobject; push 1 'm'; getvar; push 'customItems'; getmember
        push 'push'; callmethod; pop
        push 'c' 0 'm'; getvar; push 'copy'; callmethod; setvar
        push 'm'; getvar; push 'builtInItems'; getmember; push 'play' false; setmember
        push 'm'; getvar; push 'customItems'; getmember; push 0; getmember; push 'caption' 'y'; setmember
        push 'c'; getvar; push 'builtInItems'; getmember; push 'play'; getmember; trace
        push 'c'; getvar; push 'customItems'; getmember; push 0; getmember; push 'caption'; getmember; trace
        push 'c'; getvar; push 'customItems'; getmember; push 0; getmember; push 'enabled'; getmember; trace
    )";
    EXPECT_EQ(joined(run(script, 7)), "false|x|true");
    // Copying is for SWF 7 movies on: older ones find no copy method.
    EXPECT_EQ(joined(run(script, 6)), "undefined|undefined|undefined");
}

TEST(ParseInt, FlashPlayersPrefixAndRadixRules) {
    const IntCase cases[] = {
        {"123", 0, 123},      {"0x1F", 0, 31},     {"0x-100", 0, -256},
        {"0x -100", 0, -256}, {"-0x100", 0, NAN},  {"-0x100", 36, 1540944},
        {" 0x-100", 0, 0},    {"0x100", 36, 1296}, {"077", 0, 63},
        {"-0100", 0, -64},    {"  077", 0, 77},    {"077 ", 0, 77},
        {"-0100z", 0, -100},  {"010", 2, 2},       {"12aaa", 0, 12},
        {"++1", 0, NAN},      {"0x", 0, NAN},      {"", 0, NAN},
        {"100", 37, NAN},     {"100", 1, NAN},     {"undefined", 32, 33790067563981.0},
    };
    for (const IntCase& c : cases) {
        double got = player::avm1::parseInteger(c.text, c.radix);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(got)) << c.text << " radix " << c.radix << " gave " << got;
        else
            EXPECT_EQ(got, c.expected) << c.text << " radix " << c.radix;
    }
}

TEST(ParseFloat, ReadsTheLongestNumberAtTheStart) {
    const std::pair<const char*, double> cases[] = {
        {"  99999.99999   ", 99999.99999},
        {"0000.12345GIBBERISH", 0.12345},
        {"1.2345.678", 1.2345678},
        {"1.2345.6e50", 1.23456},
        {".2E20E1", 2e19},
        {"10e", 10},
        {"10e-", 10},
        {"1e4294967297", 10},
        {"-034.1+e20", -34.1},
        {"0xff", 0},
        {"9e99999", INFINITY},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_DOUBLE_EQ(player::avm1::parseFloatPrefix(text), expected) << text;
    for (const char* text : {"", "-", "e10", "Infinity", "BAD"})
        EXPECT_TRUE(std::isnan(player::avm1::parseFloatPrefix(text))) << text;
    // The fraction adds up digit by digit, as in Flash Player (not the nearest double).
    EXPECT_EQ(player::avm1::parseFloatPrefix(".1499999"), 0.14999990000000005);
}

TEST(Escape, OnlyLettersAndDigitsStay) {
    EXPECT_EQ(player::avm1::urlEscape("aZ09 -_.!~*'()@/+"), "aZ09%20%2D%5F%2E%21%7E%2A%27%28%29%40%2F%2B");
    EXPECT_EQ(player::avm1::urlEscape("\xC3\xA4"), "%C3%A4");
}

TEST(Escape, UnescapeDropsBrokenSequences) {
    const std::pair<const char*, const char*> cases[] = {
        {"%40%2a", "@*"},   {"Hello+World", "Hello World"},
        {"aaa%", "aaa"},    {"aaa%z", "aaa"},
        {"aaa%zz", "aaaz"}, {"aaa%4zz", "aaaz"},
        {"%_a%@b", "ab"},   {"%C4%80", "\xC4\x80"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(player::avm1::urlUnescape(text), expected) << text;
}

}  // namespace
