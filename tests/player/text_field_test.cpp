// Text fields in movies: what DefineEditText draws (background, border, glyphs of an embedded font,
// clipped to the field), variable binding, the TextField and TextFormat objects scripts see, and that a
// text changed by script shows in the next picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/avm1_asm.h"
#include "tests/player/player_test_util.h"

namespace {

using namespace playertest;

constexpr uint16_t kDefineEditText = 37;
constexpr uint32_t kBlue = 0x0000FF, kWhite = 0xFFFFFF, kRed = 0xFF0000;

// A field of the test's making: bounds in pixels, blue text unless told.
struct FieldSpec {
    uint16_t id = 2;
    int x0 = 0, x1 = 100, y0 = 0, y1 = 40;  // pixels
    std::optional<uint16_t> fontId;
    uint16_t height = 400;  // twips
    bool border = false, outlines = false, wordWrap = false, multiline = false;
    std::string variable;
    std::optional<std::string> text;
};

testswf::Bytes defineEditText(const FieldSpec& f) {
    testswf::EditTextSpec e;
    e.id = f.id;
    e.bounds = {f.x0 * 20, f.x1 * 20, f.y0 * 20, f.y1 * 20};
    e.fontId = f.fontId;
    e.height = f.height;
    e.rgba = 0x0000FFFF;
    e.border = f.border;
    e.useOutlines = f.outlines;
    e.wordWrap = f.wordWrap;
    e.multiline = f.multiline;
    e.variable = f.variable;
    e.text = f.text;
    return testswf::defineEditText(e);
}

// A font whose glyphs (for 'A' and 'B') are squares filling the em box above the baseline, ascent 1024,
// descent 0, advance one em.
testswf::Bytes squareFont(uint16_t id, const std::string& name = "Squares") {
    testswf::FontSpec font;
    font.id = id;
    font.name = name;
    font.layout = true;
    font.ascent = 1024;
    font.descent = 0;
    for (uint16_t code : {uint16_t('A'), uint16_t('B')}) {
        testswf::GlyphSpec g;
        g.shape.fill1(1).rect(0, -1024, 1024, 0);
        g.code = code;
        g.advance = 1024;
        font.glyphs.push_back(g);
    }
    return testswf::defineFont2(font, 2);
}

std::vector<std::string> traces(const testswf::Bytes& movieBytes, int frames = 1) {
    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& line) { lines.push_back(line); });
    load(p, movieBytes);
    for (int i = 1; i < frames; ++i)
        p.advance();
    return lines;
}

TEST(TextField, EmbeddedGlyphsAreDrawnInsideTheFieldWithBorderAndBackground) {
    // 20 px squares; the field is 50 px wide so the third square ("A" at 42..62 px) is cut at the edge.
    FieldSpec f;
    f.fontId = 1;
    f.outlines = true;
    f.border = true;
    f.x1 = 50;
    f.text = "AAA";
    auto b = movie(80, 40, 1, 8, kRed);
    b.tag(kDefineFont2, squareFont(1));
    b.tag(kDefineEditText, defineEditText(f));
    b.tag(kPlaceObject2, place(2, 1, 10, 5)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 80, 40);
    // Field at (10, 5); text starts 2 px in; glyph top is 2 px below the field top (ascent = size).
    EXPECT_EQ(pic.rgb(10 + 2 + 10, 5 + 2 + 10), kBlue) << "first glyph";
    EXPECT_EQ(pic.rgb(10 + 2 + 20 + 10, 5 + 2 + 10), kBlue) << "second glyph";
    EXPECT_EQ(pic.rgb(10 + 45, 5 + 10), kBlue) << "third glyph, inside the field";
    EXPECT_NE(pic.rgb(10 + 52, 5 + 10), kBlue) << "the third glyph is clipped at the field's edge";
    EXPECT_EQ(pic.rgb(10 + 1, 5 + 30), kWhite) << "a bordered field has a white background";
    EXPECT_EQ(pic.rgb(10, 5 + 20), 0x000000u) << "left border";
    EXPECT_EQ(pic.rgb(10 + 50, 5 + 20), 0x000000u) << "right border, on the pixel at the field's edge";
    EXPECT_EQ(pic.rgb(5, 5), kRed) << "outside the field";
}

TEST(TextField, MissingEmbeddedFontDrawsNothingAndDeviceTextDraws) {
    // embedFonts with a font name the movie lacks: Flash shows no text; the same field with device
    // fonts shows text in a system font.
    for (bool outlines : {true, false}) {
        FieldSpec f;
        f.fontId = 1;
        f.outlines = outlines;
        f.text = "BBBB";
        f.height = 600;
        auto b = movie(100, 40, 1);
        testswf::FontSpec noGlyphs;  // a DefineFont2 with a name only (device font)
        noGlyphs.id = 1;
        noGlyphs.name = "Arial";
        b.tag(kDefineFont2, testswf::defineFont2(noGlyphs, 2));
        b.tag(kDefineEditText, defineEditText(f));
        b.tag(kPlaceObject2, place(2, 1)).showFrame();
        player::Player p;
        load(p, b.end().build());
        Picture pic = render(p, 100, 40, player::Quality::High);
        int inked = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 100; ++x)
                inked += pic.rgb(x, y) != kWhite;
        if (outlines)
            EXPECT_EQ(inked, 0) << "no embedded glyphs: nothing drawn";
        else
            EXPECT_GT(inked, 50) << "device text is drawn";
    }
}

TEST(TextField, VariableBindingShowsAndSeedsTheVariable) {
    // Frame 1 places two fields bound to `a` (set by the frame's script) and `b` (undefined: it takes the
    // field's initial text); frame 2 reads both back.
    FieldSpec fa;
    fa.id = 2;
    fa.variable = "a";
    fa.text = "initial a";
    FieldSpec fb = fa;
    fb.id = 3;
    fb.variable = "_root.b";
    fb.text = "initial b";
    auto b = movie(100, 40, 2, 8);
    b.tag(kDefineEditText, defineEditText(fa));
    b.tag(kDefineEditText, defineEditText(fb));
    testswf::PlaceSpec pa;
    pa.depth = 1;
    pa.characterId = 2;
    pa.name = "fa";
    b.tag(kPlaceObject2, testswf::placeObject(pa, 2));
    b.tag(kPlaceObject2, place(3, 2));
    b.tag(kDoAction, avm1test::assemble("push 'a' 'from script'; setvar"));
    b.showFrame();
    b.tag(kDoAction, avm1test::assemble("push 'fa'; getvar; push 'text'; getmember; trace; "
                                        "push 'b'; getvar; trace; "
                                        "push 'fa'; getvar; push 'text' 'set by text'; setmember; "
                                        "push 'a'; getvar; trace; stop"));
    b.showFrame();
    EXPECT_EQ(traces(b.end().build(), 2),
              (std::vector<std::string>{"from script", "initial b", "set by text"}));
}

TEST(TextField, ScriptsCreateFieldsAndFormatRanges) {
    const char* script =
        // createTextField returns the field in SWF 8.
        "push 20 100 0 0 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
        "push 't'; getvar; push 'text' 'hello world'; setmember; "
        "push 't'; getvar; push 'length'; getmember; trace; "
        // setTextFormat(0, 5, {bold: true}) then getTextFormat over all: bold is mixed (null).
        "push 'bold' true 1; initobject; push 5 0 3; push 't'; getvar; push 'setTextFormat'; callmethod; "
        "pop; "
        "push 0; push 't'; getvar; push 'getTextFormat'; callmethod; push 'bold'; getmember; trace; "
        "push 2 0 2; push 't'; getvar; push 'getTextFormat'; callmethod; push 'bold'; getmember; trace; "
        "push 0; push 't'; getvar; push 'getTextFormat'; callmethod; push 'font'; getmember; trace; "
        // replaceText keeps the format of the replaced range's start.
        "push 'HELLO' 5 0 3; push 't'; getvar; push 'replaceText'; callmethod; pop; "
        "push 't'; getvar; push 'text'; getmember; trace; "
        // htmlText of a non-HTML field is its plain text; in an HTML field the tags are read.
        "push 't'; getvar; push 'html' true; setmember; "
        "push 't'; getvar; push 'htmlText' '<b>x</b>&amp;y'; setmember; "
        "push 't'; getvar; push 'text'; getmember; trace; "
        // autoSize 'right' keeps the right edge: _x moves when the width shrinks.
        "push 't'; getvar; push 'autoSize' 'right'; setmember; "
        "push 't'; getvar; push '_x'; getmember; push 0; greater; trace; "
        "push 0; push 't'; getvar; push 'getDepth'; callmethod; trace";
    auto b = movie(200, 100, 1, 8);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame();
    EXPECT_EQ(traces(b.end().build()), (std::vector<std::string>{"11", "null", "true", "Times New Roman",
                                                                 "HELLO world", "x&y", "true", "1"}));
}

TEST(TextField, AutoSizeKeepsTheEdgeItNames) {
    // A 200 px field with a short text: left keeps x, right keeps the right edge, centre the middle (the
    // names in any case).
    struct Case {
        const char* mode;
        const char* check;  // a script that leaves true on the stack
    } cases[] = {
        {"left", "push 't'; getvar; push '_x'; getmember; push 10; equals2"},
        {"RIght",
         "push 't'; getvar; push '_x'; getmember; push 't'; getvar; push '_width'; getmember; add2; push "
         "210; "
         "equals2"},
        {"center",
         "push 't'; getvar; push '_x'; getmember; push 't'; getvar; push '_width'; getmember; push 2; "
         "divide; "
         "add2; push 110; subtract; push 1; less2; "},
    };
    for (const Case& c : cases) {
        std::string script =
            "push 20 200 5 10 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
            "push 't'; getvar; push 'text' 'abc'; setmember; "
            "push 't'; getvar; push 'autoSize' '" +
            std::string(c.mode) + "'; setmember; " + c.check + "; trace; " +
            "push 't'; getvar; push '_width'; getmember; push 200; less2; trace";
        auto b = movie(300, 100, 1, 8);
        b.tag(kDoAction, avm1test::assemble(script)).showFrame();
        EXPECT_EQ(traces(b.end().build()), (std::vector<std::string>{"true", "true"})) << c.mode;
    }
}

TEST(TextField, ChangedTextShowsInTheNextPicture) {
    // The frame memo must not hand back the old picture when only a field's text changed.
    FieldSpec f;
    f.fontId = 1;
    f.outlines = true;
    f.text = "";
    auto b = movie(60, 30, 3, 8);
    b.tag(kDefineFont2, squareFont(1));
    b.tag(kDefineEditText, defineEditText(f));
    testswf::PlaceSpec ps;
    ps.depth = 1;
    ps.characterId = 2;
    ps.name = "t";
    b.tag(kPlaceObject2, testswf::placeObject(ps, 2)).showFrame();
    b.showFrame();
    b.tag(kDoAction, avm1test::assemble("push 't'; getvar; push 'text' 'A'; setmember; stop")).showFrame();
    player::Player p;
    load(p, b.end().build());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(render(p, 60, 30).rgb(12, 12), kWhite);
        p.advance();
    }
    EXPECT_EQ(render(p, 60, 30).rgb(12, 12), kBlue);
}

TEST(TextField, HugeTextAndFieldsStayWithinBounds) {
    // Megabytes of text in a field of absurd size: laid out (bounded) and drawn without trouble.
    std::string big(3 << 20, 'A');
    for (size_t i = 100; i < big.size(); i += 101)
        big[i] = '\r';
    FieldSpec f;
    f.fontId = 1;
    f.outlines = true;
    f.x0 = -100000;
    f.x1 = 100000;
    f.y0 = -100000;
    f.y1 = 100000;
    f.multiline = true;
    f.wordWrap = true;
    f.text = big;
    auto b = movie(50, 50, 1, 8);
    b.tag(kDefineFont2, squareFont(1));
    b.tag(kDefineEditText, defineEditText(f));
    b.tag(kPlaceObject2, place(2, 1)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 50, 50);
    EXPECT_EQ(pic.width, 50);
}

}  // namespace

namespace {

TEST(TextField, ColourAndPositionOfTheRootApplyToFields) {
    // new Color(_root).setTransform(...) and _root._x reach what the root holds (a field's background).
    const char* script =
        "push 20 20 0 0 1 'f' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
        "push 'f'; getvar; push 'background' true; setmember; "
        "push 'f'; getvar; push 'backgroundColor' 255; setmember; "
        "push 'c'; push '_root'; getvar; push 1; push 'Color'; newobject; setvar; "
        "push 'rb' 255 'ra' 0 2; initobject; push 1; push 'c'; getvar; push 'setTransform'; callmethod; pop; "
        "push '_root'; getvar; push '_x' 10; setmember";
    auto b = movie(40, 20, 1, 8);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame();
    player::Player p;
    load(p, b.end().build());
    Picture pic = render(p, 40, 20);
    EXPECT_EQ(pic.rgb(5, 10), kWhite) << "the root moved 10 px right";
    EXPECT_EQ(pic.rgb(15, 10), 0xFF00FFu) << "blue background, red multiplier 0 and offset 255";
}

}  // namespace

namespace {

TEST(TextField, StyleSheetsStyleHtmlTextAndExtentsMeasure) {
    const char* script =
        "push 20 200 0 0 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
        "push 't'; getvar; push 'html' true; setmember; "
        // css = new TextField.StyleSheet(); css.parseCSS(".warn { color: #FF0000; font-weight: bold }")
        "push 'css'; push 0; push 'TextField'; getvar; push 'StyleSheet'; newmethod; setvar; "
        "push '.warn { color: #FF0000; font-weight: bold } p { font-size: 20px }' 1; push 'css'; getvar; "
        "push 'parseCSS'; callmethod; trace; "
        "push 'css'; getvar; push 'getStyleNames'; callmethod; trace; "
        "push 't'; getvar; push 'styleSheet'; push 'css'; getvar; setmember; "
        "push 't'; getvar; push 'htmlText' '<p>a<span class=\"warn\">b</span></p>'; setmember; "
        "push 1 1; push 't'; getvar; push 'getTextFormat'; callmethod; push 'color'; getmember; trace; "
        "push 1 1; push 't'; getvar; push 'getTextFormat'; callmethod; push 'bold'; getmember; trace; "
        "push 0 1; push 't'; getvar; push 'getTextFormat'; callmethod; push 'size'; getmember; trace; "
        // A malformed sheet is refused.
        "push 'p { color: red' 1; push 'css'; getvar; push 'parseCSS'; callmethod; trace; "
        // getTextExtent grows with the text and wraps at a given width.
        "push 'fmt'; push 0; push 'TextFormat'; newobject; setvar; "
        "push 'fmt'; getvar; push 'size' 20; setmember; "
        "push 'w1'; push 'abc' 1; push 'fmt'; getvar; push 'getTextExtent'; callmethod; setvar; "
        "push 'w2'; push 'abcabc' 1; push 'fmt'; getvar; push 'getTextExtent'; callmethod; setvar; "
        "push 'w1'; getvar; push 'width'; getmember; push 'w2'; getvar; push 'width'; getmember; less2; "
        "trace; "
        "push 'w3'; push 30 'abc abc abc' 2; push 'fmt'; getvar; push 'getTextExtent'; callmethod; setvar; "
        "push 'w3'; getvar; push 'height'; getmember; push 'w1'; getvar; push 'height'; getmember; greater; "
        "trace";
    auto b = movie(200, 100, 1, 8);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame();
    EXPECT_EQ(traces(b.end().build()), (std::vector<std::string>{"true", ".warn,p", "16711680", "true", "20",
                                                                 "false", "true", "true"}));
}

}  // namespace

namespace {

TEST(TextField, ScriptsThatRemoveTheFieldWhileItIsChangedAreSafe) {
    // A value whose conversion removes the field it is assigned to, through text, htmlText, replaceText
    // and a bound variable (each would touch a field that is gone); the movie goes on.
    const char* script =
        "push 20 100 0 0 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
        "push 'o'; push 0; push 'Object'; newobject; setvar; "
        "push 'o'; getvar; push 'toString'; "
        "function - ; push 0; push 't'; getvar; push 'removeTextField'; callmethod; pop; push 'gone'; "
        "return; end; "
        "setmember; "
        "push 't'; getvar; push 'text'; push 'o'; getvar; setmember; "
        "push 20 100 0 0 2 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
        "push 'o'; getvar; push 3 0 3; push 't'; getvar; push 'replaceText'; callmethod; pop; "
        "push 20 100 0 0 3 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
        "push 't'; getvar; push 'variable' 'v'; setmember; "
        "push 'v'; push 'o'; getvar; setvar; "
        "push 't'; getvar; push 'text'; getmember; pop; "
        "push 'still running'; trace";
    auto b = movie(200, 100, 2, 8);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame().showFrame();
    EXPECT_EQ(traces(b.end().build(), 2), (std::vector<std::string>{"still running"}));
}

}  // namespace

namespace {

// TextField.prototype lists the field properties to for-in as getter/setter pairs: an object that is no
// field reads them as undefined and its writes are ignored, while a real field keeps what it is given. A
// non-field converts as a plain object. Flash Player 8's properties are plain members for older movies,
// and replaceText came with Flash Player 7.
TEST(TextField, PrototypePropertiesShowToEnumerationAndIgnoreNonFields) {
    const char* script =
        "push 'TextField'; getvar; push 'prototype'; getmember; enumerate2; "
        "label loop; "
        "dup; push null; equals2; if done; "
        "trace; jump loop; "
        "label done; "
        "push 'o' 0 'TextField'; newobject; setvar; "
        "push 'o'; getvar; trace; "
        "push 'o'; getvar; push 'text' 'x'; setmember; push 'o'; getvar; push 'text'; getmember; trace; "
        "push 'o'; getvar; push 'filters' 'x'; setmember; push 'o'; getvar; push 'filters'; getmember; "
        "trace; "
        "push 20 100 0 0 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop; "
        "push 't'; getvar; push 'tabIndex' 3; setmember; push 't'; getvar; push 'tabIndex'; getmember; "
        "trace; "
        "push 't'; getvar; push 'text' 'hi'; setmember; push 't'; getvar; push 'text'; getmember; trace; "
        "push 't'; getvar; push 'replaceText'; getmember; typeof; trace";
    const std::vector<std::string> names = {"styleSheet",
                                            "mouseWheelEnabled",
                                            "condenseWhite",
                                            "restrict",
                                            "textHeight",
                                            "textWidth",
                                            "bottomScroll",
                                            "length",
                                            "selectable",
                                            "multiline",
                                            "password",
                                            "wordWrap",
                                            "background",
                                            "border",
                                            "html",
                                            "embedFonts",
                                            "maxChars",
                                            "maxhscroll",
                                            "hscroll",
                                            "variable",
                                            "htmlText",
                                            "type",
                                            "text",
                                            "autoSize",
                                            "tabIndex",
                                            "textColor",
                                            "backgroundColor",
                                            "borderColor",
                                            "maxscroll",
                                            "scroll",
                                            "filters",
                                            "sharpness",
                                            "thickness",
                                            "antiAliasType",
                                            "gridFitType"};
    struct Case {
        uint8_t version;
        std::vector<std::string> tail;
    } cases[] = {
        {8, {"[object Object]", "undefined", "undefined", "3", "hi", "function"}},
        {6, {"[object Object]", "undefined", "x", "3", "hi", "undefined"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.version));
        auto b = movie(200, 100, 1, c.version);
        b.tag(kDoAction, avm1test::assemble(script)).showFrame();
        std::vector<std::string> expected = names;
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(traces(b.end().build()), expected);
    }
}

}  // namespace

namespace {

// Selection.setFocus: a text field or a clip that accepts the focus gets it (a plain clip does not); the
// object losing it hears onKillFocus while it still has it, the new one onSetFocus, then Selection's
// listeners. A focused field has its text selected, and setSelection moves the selection within it.
TEST(TextField, SelectionMovesTheFocusAndTellsListeners) {
    const char* script = R"(
        push 20 100 0 0 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop
        push 't'; getvar; push 'text' 'hello'; setmember
        push 2 'a' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 3 'b' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 'a'; getvar; push 'focusEnabled' true; setmember
        push 't'; getvar; push 'onKillFocus'
        function - n
          push 'kill '; push 'n'; getvar; add2; push ' had '; add2
          push 0; push 'Selection'; getvar; push 'getFocus'; callmethod; add2; trace
        end
        setmember
        push 'a'; getvar; push 'onSetFocus'
        function - o
          push 'set '; push 'o'; getvar; add2; trace
        end
        setmember
        push 'l' 0; initobject; setvar
        push 'l'; getvar; push 'onSetFocus'
        function - o n
          push 'sel '; push 'o'; getvar; add2; push ' -> '; add2; push 'n'; getvar; add2; trace
        end
        setmember
        push 'l'; getvar; push 1; push 'Selection'; getvar; push 'addListener'; callmethod; pop
        push 't' 1; push 'Selection'; getvar; push 'setFocus'; callmethod; trace
        push 0; push 'Selection'; getvar; push 'getBeginIndex'; callmethod; trace
        push 0; push 'Selection'; getvar; push 'getEndIndex'; callmethod; trace
        push 4 1 2; push 'Selection'; getvar; push 'setSelection'; callmethod; pop
        push 0; push 'Selection'; getvar; push 'getBeginIndex'; callmethod; trace
        push 0; push 'Selection'; getvar; push 'getCaretIndex'; callmethod; trace
        push 'a'; getvar; push 1; push 'Selection'; getvar; push 'setFocus'; callmethod; trace
        push 0; push 'Selection'; getvar; push 'getBeginIndex'; callmethod; trace
        push 'b'; getvar; push 1; push 'Selection'; getvar; push 'setFocus'; callmethod; trace
        push 0; push 'Selection'; getvar; push 'getFocus'; callmethod; trace
        push null 1; push 'Selection'; getvar; push 'setFocus'; callmethod; trace
        push 0; push 'Selection'; getvar; push 'getFocus'; callmethod; trace
    )";
    auto b = movie(200, 100, 1, 7);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame();
    EXPECT_EQ(traces(b.end().build()),
              (std::vector<std::string>{"sel null -> _level0.t", "false", "0", "5", "1", "4",
                                        "kill _level0.a had _level0.t", "set _level0.t",
                                        "sel _level0.t -> _level0.a", "false", "-1", "false", "_level0.a",
                                        "sel _level0.a -> null", "true", "null"}));
}

}  // namespace

namespace {

// Fields a test places: input fields made by script at a pixel position, each with extra script lines run
// on it (`f` names the field there).
struct TabField {
    TabField(std::string name, int x, int y, std::string setup = "")
        : name(std::move(name)), x(x), y(y), setup(std::move(setup)) {}
    std::string name;
    int x = 0, y = 0;
    std::string setup;  // assembler lines, with the field in variable f
};

// Makes the fields (depth in list order), tells each focus change, then presses Tab `presses` times
// (Shift+Tab when `shift`); the result is the names that got the focus, in turn.
std::vector<std::string> tabThrough(const std::vector<TabField>& fields, int presses, bool shift = false,
                                    const std::string& extra = "") {
    std::string script;
    int depth = 1;
    for (const TabField& f : fields) {
        script += "push 20 40 " + std::to_string(f.y) + " " + std::to_string(f.x) + " " +
                  std::to_string(depth++) + " '" + f.name +
                  "' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop\n";
        script += "push 'f'; push '" + f.name + "'; getvar; setvar\n";
        script += "push 'f'; getvar; push 'type' 'input'; setmember\n" + f.setup + "\n";
    }
    script += extra + R"(
        push 'l' 0; initobject; setvar
        push 'l'; getvar; push 'onSetFocus'
        function - o n
          push 'n'; getvar; push '_name'; getmember; trace
        end
        setmember
        push 'l'; getvar; push 1; push 'Selection'; getvar; push 'addListener'; callmethod; pop
    )";
    auto b = movie(400, 300, 1, 8);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame();
    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& line) { lines.push_back(line); });
    load(p, b.end().build());
    if (shift) p.keyDown(16, 0);
    for (int i = 0; i < presses; ++i)
        p.keyDown(9, 9);
    return lines;
}

// The Tab key's order: by position where no object has a tabIndex (6y + x of the top-left corner, so an
// object a little higher further right comes after one further left), by tabIndex (duplicates in display
// order, objects without one left out) where any has one; fields that are hidden, not input fields, or
// have tabEnabled false are skipped, as are the children of a clip whose tabChildren is false.
TEST(TextField, TabMovesTheFocusInFlashsOrder) {
    const std::string hide = "push 'f'; getvar; push '_visible' false; setmember";
    const std::string dynamic = "push 'f'; getvar; push 'type' 'dynamic'; setmember";
    const std::string noTab = "push 'f'; getvar; push 'tabEnabled' false; setmember";
    auto index = [](int i) {
        return "push 'f'; getvar; push 'tabIndex' " + std::to_string(i) + "; setmember";
    };
    struct Case {
        const char* what;
        std::vector<TabField> fields;
        int presses;
        bool shift;
        std::vector<std::string> focus;
    } cases[] = {
        {"rows, then left to right",
         {{"c", 10, 100}, {"a", 10, 10}, {"b", 200, 10}},
         4,
         false,
         {"a", "b", "c", "a"}},
        // b is 30 px higher but 200 px further right: 6 * 30 < 200, so it comes after a.
        {"a slope of one in six", {{"b", 210, 10}, {"a", 10, 40}}, 2, false, {"a", "b"}},
        {"the same corner counts once",
         {{"a", 10, 10}, {"b", 10, 10}, {"c", 10, 60}},
         3,
         false,
         {"a", "c", "a"}},
        {"hidden, dynamic and tabEnabled false are skipped",
         {{"a", 10, 10, hide}, {"b", 10, 50, dynamic}, {"c", 10, 90, noTab}, {"d", 10, 130}},
         2,
         false,
         {"d"}},
        {"tabIndex orders and leaves the rest out",
         {{"a", 10, 10, index(3)}, {"b", 10, 50}, {"c", 10, 90, index(1)}, {"d", 10, 130, index(3)}},
         4,
         false,
         {"c", "a", "d", "c"}},
        {"Shift+Tab goes backwards", {{"a", 10, 10}, {"b", 10, 50}, {"c", 10, 90}}, 3, true, {"c", "b", "a"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got = tabThrough(c.fields, c.presses, c.shift);
        // A single field keeps the focus (no second change to report).
        EXPECT_EQ(got, c.focus) << c.what;
    }
    // The fields of a clip whose tabChildren is false are out of the order.
    const std::string clip = R"(
        push 9 'box' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 20 40 0 0 1 'inner' 6; push 'box'; getvar; push 'createTextField'; callmethod; pop
        push 'box'; getvar; push 'inner'; getmember; push 'type' 'input'; setmember
        push 'box'; getvar; push 'tabChildren' false; setmember
    )";
    EXPECT_EQ(tabThrough({{"a", 10, 10}, {"b", 10, 50}}, 3, false, clip),
              (std::vector<std::string>{"a", "b", "a"}));
}

// tabIndex as scripts read it back: fields keep an unsigned 32-bit number, buttons and clips a signed one
// where what does not fit becomes the lowest; undefined unsets it.
TEST(TextField, TabIndexIsConvertedAsFlashKeepsIt) {
    const char* script = R"(
        push 20 40 0 0 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop
        push 2 'c' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; pop
        push 't'; getvar; push 'tabIndex' -4; setmember
        push 't'; getvar; push 'tabIndex'; getmember; trace
        push 't'; getvar; push 'tabIndex' 'x'; setmember
        push 't'; getvar; push 'tabIndex'; getmember; trace
        push 'c'; getvar; push 'tabIndex' -4; setmember
        push 'c'; getvar; push 'tabIndex'; getmember; trace
        push 'c'; getvar; push 'tabIndex' 2147483648; setmember
        push 'c'; getvar; push 'tabIndex'; getmember; trace
        push 'c'; getvar; push 'tabIndex' 1.9; setmember
        push 'c'; getvar; push 'tabIndex'; getmember; trace
        push 'c'; getvar; push 'tabIndex' undef; setmember
        push 'c'; getvar; push 'tabIndex'; getmember; trace
    )";
    auto b = movie(200, 100, 1, 8);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame();
    EXPECT_EQ(traces(b.end().build()),
              (std::vector<std::string>{"4294967292", "0", "-4", "-2147483648", "1", "undefined"}));
}

// Typing into the focused input field: what ends up in the field for a field setup and a series of typed
// text and editing keys (Flash's restrict rules, maxChars, Enter only in multiline fields, the selection
// replaced), and that a field that is not an input field takes nothing.
TEST(TextField, TypingEditsTheFocusedInputField) {
    using Key = player::Player::EditKey;
    struct Step {
        std::string text;  // typed, when no key
        std::optional<Key> key;
    };
    auto typed = [](const char* s) { return Step{s, std::nullopt}; };
    auto key = [](Key k) { return Step{"", k}; };
    struct Case {
        const char* what;
        std::string setup;  // on field t, before it gets the focus
        std::vector<Step> steps;
        std::string text;
    } cases[] = {
        {"characters replace the selection",
         "push 't'; getvar; push 'text' 'xyz'; setmember",
         {typed("ab")},
         "ab"},
        {"arrows, backspace and delete",
         "",
         {typed("abcd"), key(Key::Left), key(Key::Left), key(Key::Backspace), key(Key::Delete), key(Key::End),
          typed("!")},
         "ad!"},
        {"select-all then type", "", {typed("abc"), key(Key::SelectAll), typed("z")}, "z"},
        {"Enter in a single-line field", "", {typed("a"), key(Key::Enter), typed("b")}, "ab"},
        {"Enter in a multiline field",
         "push 't'; getvar; push 'multiline' true; setmember",
         {typed("a"), key(Key::Enter), typed("b")},
         "a\rb"},
        {"maxChars", "push 't'; getvar; push 'maxChars' 3; setmember", {typed("abcdef")}, "abc"},
        {"restrict with ranges and the other case",
         "push 't'; getvar; push 'restrict' 'a-c'; setmember",
         {typed("aBxC1")},
         "abc"},
        {"restrict ^ leaves out",
         "push 't'; getvar; push 'restrict' '^0-9'; setmember",
         {typed("a1b2")},
         "ab"},
        {"restrict: a range from nothing starts at 0",
         "push 't'; getvar; push 'restrict' '-b'; setmember",
         {typed("abc!")},
         "abC!"},
        {"restrict: escapes", "push 't'; getvar; push 'restrict' 'a\\-z'; setmember", {typed("a-zb")}, "a-z"},
        {"a dynamic field takes nothing",
         "push 't'; getvar; push 'type' 'dynamic'; setmember",
         {typed("ab")},
         ""},
    };
    for (const Case& c : cases) {
        const std::string script = R"(
            push 20 100 0 0 1 't' 6; push '_root'; getvar; push 'createTextField'; callmethod; pop
            push 't'; getvar; push 'type' 'input'; setmember
        )" + c.setup + R"(
            push 't' 1; push 'Selection'; getvar; push 'setFocus'; callmethod; pop
            push 't'; getvar; push 'onChanged'
            function - f
              push 'f'; getvar; push 'text'; getmember; trace
            end
            setmember
        )";
        auto b = movie(200, 100, 1, 8);
        b.tag(kDoAction, avm1test::assemble(script)).showFrame();
        player::Player p;
        std::vector<std::string> changes;  // the text each onChanged saw
        p.setTraceHandler([&](const std::string& line) { changes.push_back(line); });
        load(p, b.end().build());
        for (const Step& s : c.steps) {
            if (s.key)
                p.editKey(*s.key);
            else
                p.typeText(s.text);
        }
        if (c.text.empty()) {
            EXPECT_TRUE(changes.empty()) << c.what;
        } else {
            ASSERT_FALSE(changes.empty()) << c.what;
            EXPECT_EQ(changes.back(), c.text) << c.what;
        }
    }
}

}  // namespace

namespace {

// TextFormat keeps its values in the object: TextFormat.prototype gets their accessors when a format is made
// natively (so a fresh prototype has none until then), the object itself has no own properties for them, and
// the values are converted as Flash does: display is one of three words, font names stop at 64 characters,
// align ignores null, margins set through the properties are 0 or more.
TEST(TextField, TextFormatKeepsItsPropertiesBehindPrototypeAccessors) {
    const char* script = R"(
        push 'size'; push 0; push 'TextFormat'; getvar; push 'prototype'; getmember; push 'hasOwnProperty'; callmethod; trace
        push 'tf' 0 'TextFormat'; newobject; setvar
        push 'size'; push 1; push 'TextFormat'; getvar; push 'prototype'; getmember; push 'hasOwnProperty'; callmethod; trace
        push 'size'; push 1; push 'tf'; getvar; push 'hasOwnProperty'; callmethod; trace
        push 'tf'; getvar; push 'display'; getmember; trace
        push 'tf'; getvar; push 'display' 'inline'; setmember
        push 'tf'; getvar; push 'display'; getmember; trace
        push 'tf'; getvar; push 'display' 'Inline'; setmember
        push 'tf'; getvar; push 'display'; getmember; trace
        push 'tf'; getvar; push 'align' 'RIGHT'; setmember
        push 'tf'; getvar; push 'align' null; setmember
        push 'tf'; getvar; push 'align'; getmember; trace
        push 'tf'; getvar; push 'leftMargin' -5; setmember
        push 'tf'; getvar; push 'leftMargin'; getmember; trace
        push 'tf'; getvar; push 'size' 12.5; setmember
        push 'tf'; getvar; push 'size'; getmember; trace
        push 'tf'; getvar; push 'font' '0123456789012345678901234567890123456789012345678901234567890123456789'; setmember
        push 'tf'; getvar; push 'font'; getmember; push 'length'; getmember; trace
        push 'tf'; getvar; push 'size' null; setmember
        push 'tf'; getvar; push 'size'; getmember; trace
    )";
    auto b = movie(200, 100, 1, 8);
    b.tag(kDoAction, avm1test::assemble(script)).showFrame();
    EXPECT_EQ(traces(b.end().build()), (std::vector<std::string>{"false", "true", "false", "block", "inline",
                                                                 "block", "right", "0", "12", "64", "null"}));
}

}  // namespace
