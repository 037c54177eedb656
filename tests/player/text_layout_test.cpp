// Text layout rules that are easy to get wrong: where lines wrap at the field's edge, how alignment,
// margins, indents and letter spacing place the first glyph, how leading spaces lines, HTML nesting and
// lenient reading, and that a font name the system lacks still gives a usable font.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/text/font.h"
#include "player/text/html.h"
#include "player/text/layout.h"

namespace {

using player::text::Align;
using player::text::Font;
using player::text::Glyph;
using player::text::Layout;
using player::text::LayoutParams;
using player::text::StyledText;
using player::text::TextFormat;

// A font where every character is 500 units wide in a 1000-unit em (10 px at size 20), ascent 800 and
// descent 200: positions in a layout are easy to work out by hand.
class BoxFont : public Font {
  public:
    BoxFont() {
        unitsPerEm = 1000;
        ascent = 800;
        descent = 200;
        box_.advance = 500;
        box_.outline.moveTo(0, -700);
        box_.outline.lineTo(400, -700);
        box_.outline.lineTo(400, 0);
        box_.outline.lineTo(0, 0);
        box_.outline.close();
        space_.advance = 500;
    }
    const Glyph* glyph(char32_t c) const override { return c == U' ' ? &space_ : &box_; }
    bool device() const override { return false; }

  private:
    Glyph box_, space_;
};

const BoxFont& boxFont() {
    static const BoxFont f;
    return f;
}

TextFormat size20() {
    TextFormat f;
    f.size = 20;
    return f;
}

// Lays out `text` in a field `widthPx` wide (the 2 px gutters included).
Layout lay(const std::u32string& text, double widthPx, const TextFormat& f = size20(), bool wrap = true) {
    StyledText st;
    st.append(text, f);
    LayoutParams p;
    p.width = widthPx * 20;
    p.height = 2000;
    p.wordWrap = wrap;
    p.multiline = true;
    p.fonts = [](const TextFormat&) { return &boxFont(); };
    return player::text::layOut(st, p);
}

// The lines of a layout as the text they hold, joined with "|".
std::string lines(const std::u32string& text, const Layout& l) {
    std::string out;
    for (size_t i = 0; i < l.lines.size(); ++i) {
        if (i) out += "|";
        out += player::text::toUtf8(text.substr(l.lines[i].begin, l.lines[i].end - l.lines[i].begin));
    }
    return out;
}

TEST(TextLayout, WrapsAtTheFieldEdge) {
    // Each character is 10 px; the text area is the field less 2 px on each side.
    struct Case {
        const char* what;
        const char32_t* text;
        double width;
        const char* expected;
    } cases[] = {
        {"a word ending exactly at the edge stays", U"aa bb cc", 54, "aa bb |cc"},
        {"one twip short of room moves the word down", U"aa bb cc", 53.95, "aa |bb |cc"},
        {"spaces past the edge stay on their line", U"aa    bb", 24, "aa    |bb"},
        {"a word wider than the field breaks inside", U"abcdefgh", 34, "abc|def|gh"},
        {"paragraph ends always break", U"a\rb\r\rc", 200, "a|b||c"},
        {"a narrow field still takes one character a line", U"abc", 1, "a|b|c"},
    };
    for (const Case& c : cases) {
        Layout l = lay(c.text, c.width);
        EXPECT_EQ(lines(c.text, l), c.expected) << c.what;
    }
    Layout noWrap = lay(U"aa bb cc dd", 30, size20(), false);
    EXPECT_EQ(noWrap.lines.size(), 1u) << "without word wrap a paragraph is one line";
    EXPECT_EQ(noWrap.textWidth, 110 * 20);
}

TEST(TextLayout, AlignmentMarginsIndentAndSpacingPlaceTheFirstGlyph) {
    struct Case {
        const char* what;
        Align align;
        double leftMargin, rightMargin, indent, blockIndent, letterSpacing;
        double firstX;  // px from the field's left edge
    } cases[] = {
        {"left", Align::Left, 0, 0, 0, 0, 0, 2},
        {"right: the text ends at the right gutter", Align::Right, 0, 0, 0, 0, 0, 68},
        {"centre", Align::Center, 0, 0, 0, 0, 0, 35},
        {"left margin and block indent add", Align::Left, 5, 0, 0, 7, 0, 14},
        {"indent moves the first line only", Align::Left, 0, 0, 9, 0, 0, 11},
        {"right margin narrows right-aligned text", Align::Right, 0, 6, 0, 0, 0, 62},
        {"letter spacing widens centred text (whole pixels)", Align::Center, 0, 0, 0, 0, 3, 31},
    };
    for (const Case& c : cases) {
        TextFormat f = size20();
        f.align = c.align;
        f.leftMargin = c.leftMargin;
        f.rightMargin = c.rightMargin;
        f.indent = c.indent;
        f.blockIndent = c.blockIndent;
        f.letterSpacing = c.letterSpacing;
        Layout l = lay(U"abc", 100, f);
        ASSERT_FALSE(l.glyphs.empty()) << c.what;
        EXPECT_EQ(l.glyphs[0].x / 20, c.firstX) << c.what;
        EXPECT_EQ(l.textWidth / 20, 30 + 3 * c.letterSpacing)
            << "textWidth counts glyphs, not margins: " << c.what;
    }
    // Indent applies to a paragraph's first line only.
    TextFormat f = size20();
    f.indent = 20;
    Layout l = lay(U"aaaa bbbb", 64, f);
    ASSERT_EQ(l.lines.size(), 2u);
    EXPECT_EQ(l.lines[0].left, (2 + 20) * 20);
    EXPECT_EQ(l.lines[1].left, 2 * 20);
}

TEST(TextLayout, LinesAreSpacedByAscentDescentAndLeading) {
    for (double leading : {0.0, 4.0, -3.0}) {
        TextFormat f = size20();
        f.leading = leading;
        Layout l = lay(U"a\rb\rc", 100, f);
        ASSERT_EQ(l.lines.size(), 3u);
        // Ascent 16 px and descent 4 px at size 20.
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(l.lines[i].top, (2 + double(i) * (20 + leading)) * 20) << "leading " << leading;
        EXPECT_EQ(l.glyphs[0].y, (2 + 16) * 20) << "the baseline is an ascent below the top";
        // The text height counts the leading between lines, not after the last.
        EXPECT_EQ(l.textHeight, (3 * 20 + 2 * leading) * 20);
    }
    // A line holding a larger size is as high as its largest text.
    StyledText st;
    TextFormat small = size20(), big = size20();
    big.size = 40;
    st.append(U"a", small);
    st.append(U"B", big);
    LayoutParams p;
    p.width = 4000;
    p.height = 4000;
    p.fonts = [](const TextFormat&) { return &boxFont(); };
    Layout l = player::text::layOut(st, p);
    ASSERT_EQ(l.glyphs.size(), 2u);
    EXPECT_EQ(l.glyphs[0].y, l.glyphs[1].y) << "one baseline for the line";
    EXPECT_EQ(l.lines[0].ascent, 32 * 20);
}

TEST(TextLayout, JustifiedLinesFillTheWidthButNotTheLastLine) {
    TextFormat f = size20();
    f.align = Align::Justify;
    Layout l = lay(U"aa bb cc dd", 90, f);  // 86 px of room: "aa bb cc " and "dd"
    ASSERT_EQ(l.lines.size(), 2u);
    EXPECT_EQ(l.lines[0].right, (90 - 2) * 20) << "a justified line reaches the right gutter";
    EXPECT_EQ(l.glyphs[4].x, (2 + 60 + 6) * 20) << "the 6 px left over go to the two spaces before \"cc\"";
    EXPECT_EQ(l.lines[1].right, (2 + 20) * 20) << "the paragraph's last line stays left";
}

TEST(TextLayout, PasswordFieldsShowAsterisksAndHostileSizesStayBounded) {
    StyledText st;
    st.append(std::u32string(200000, U'x'), size20());
    LayoutParams p;
    p.width = 20.0 * 1e7;  // an absurdly wide field
    p.height = 1e9;
    p.password = true;
    std::vector<char32_t> asked;
    struct Recording : BoxFont {
        std::vector<char32_t>* asked;
        const Glyph* glyph(char32_t c) const override {
            if (asked->size() < 4) asked->push_back(c);
            return BoxFont::glyph(c);
        }
    } font;
    font.asked = &asked;
    p.fonts = [&](const TextFormat&) { return &font; };
    Layout l = player::text::layOut(st, p);
    EXPECT_EQ(asked, std::vector<char32_t>(4, U'*'));
    EXPECT_EQ(l.glyphs.size(), 200000u);

    // A million line ends: the layout stops at its line limit instead of growing without end.
    StyledText many;
    many.append(std::u32string(size_t(1) << 21, U'\r'), size20());
    p.password = false;
    Layout big = player::text::layOut(many, p);
    EXPECT_TRUE(big.truncated);
    EXPECT_LE(big.lines.size(), player::text::kMaxLayoutLines);
}

// --- HTML ------------------------------------------------------------------------------------------------

struct Span {
    std::string text;
    bool bold, italic, underline;
    double size;
    uint32_t color;
    Align align;
};

std::vector<Span> spans(const std::string& html) {
    StyledText st;
    player::text::parseHtml(html, TextFormat{}, st);
    std::vector<Span> out;
    size_t start = 0;
    for (const StyledText::Run& r : st.runs) {
        const TextFormat& f = r.format;
        out.push_back({player::text::toUtf8(st.text.substr(start, r.end - start)), f.bold, f.italic,
                       f.underline, f.size, f.color, f.align});
        start = r.end;
    }
    return out;
}

std::string plain(const std::string& html) {
    StyledText st;
    player::text::parseHtml(html, TextFormat{}, st);
    std::string s = player::text::toUtf8(st.text);
    for (char& c : s)
        if (c == '\r') c = '|';
    return s;
}

TEST(TextHtml, NestedTagsCombineAndCloseInOrder) {
    std::vector<Span> s = spans("<b>a<i>b<u>c</u></i>d</b>e");
    ASSERT_EQ(s.size(), 5u);
    EXPECT_TRUE(s[0].bold && !s[0].italic);
    EXPECT_TRUE(s[1].bold && s[1].italic && !s[1].underline);
    EXPECT_TRUE(s[2].bold && s[2].italic && s[2].underline);
    EXPECT_TRUE(s[3].bold && !s[3].italic) << "closing <i> ends <i> only";
    EXPECT_FALSE(s[4].bold);

    // A closing tag closes what was opened inside it too; a stray one is ignored.
    s = spans("<b>x<i>y</b>z</i></u>w");
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[2].text, "zw");
    EXPECT_FALSE(s[2].bold || s[2].italic);

    // <font> sizes: absolute, or relative to the size around.
    s = spans("<font size='20' color='#FF0000'>a<font size='+4'>b</font><font size=-5>c</font></font>");
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].size, 20);
    EXPECT_EQ(s[0].color, 0xFF0000u);
    EXPECT_EQ(s[1].size, 24);
    EXPECT_EQ(s[2].size, 15);
    EXPECT_EQ(s[2].color, 0xFF0000u) << "inner fonts keep what they do not set";
}

// <font color>: '#' first (white space after it allowed), hex digits up to the first other character,
// the last six of a longer run; anything else leaves the colour around.
TEST(TextHtml, FontColoursAreReadAsFlashReadsThem) {
    const struct {
        const char* color;
        uint32_t expected;
    } cases[] = {
        {"#202020", 0x202020},    {"202020", 0x123456},   {"#23", 0x23},
        {"#abf", 0xabf},          {"#23g4", 0x23},        {"#g101010", 0x123456},
        {"# \t234567", 0x234567}, {"#234567 ", 0x234567}, {"#0123456789abcdefABCDEF2a4", 0xdef2a4},
        {"", 0x123456},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.color);
        std::vector<Span> s =
            spans("<font color='#123456'>x<font color='" + std::string(c.color) + "'>y</font></font>");
        ASSERT_EQ(s.size(), c.expected == 0x123456 ? 1u : 2u);
        EXPECT_EQ(s.back().color, c.expected);
    }
}

TEST(TextHtml, ParagraphsBreaksEntitiesAndMalformedInput) {
    struct Case {
        const char* html;
        const char* text;
    } cases[] = {
        {"<p>one</p><p>two</p>", "one|two"},
        {"a<br>b<BR/>c", "a|b|c"},
        {"&lt;b&gt; &amp; &quot;x&quot; &#65;&#x42; &bogus; &", "<b> & \"x\" AB &bogus; &"},
        {"<unknown attr=1>kept</unknown>", "kept"},
        {"<b>never closed", "never closed"},
        {"text then <b", "text then "},
        {"<!-- a comment -->visible", "visible"},
        {"<li>first</li><li>second</li>", "first|second"},
        {"<p align=\"center\">c</p>", "c"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plain(c.html), c.text) << c.html;
    std::vector<Span> s = spans("<p align='right'>r</p><p>l</p>");
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s[0].align, Align::Right);
    EXPECT_EQ(s.back().align, Align::Left);
}

TEST(TextHtml, TextFormatTagSetsParagraphProperties) {
    StyledText st;
    player::text::parseHtml(
        "<textformat leftmargin='5' indent='3' leading='2' tabstops='10,20'>x</textformat>y", TextFormat{},
        st);
    ASSERT_EQ(st.runs.size(), 2u);
    const TextFormat& f = st.runs[0].format;
    EXPECT_EQ(f.leftMargin, 5);
    EXPECT_EQ(f.indent, 3);
    EXPECT_EQ(f.leading, 2);
    EXPECT_EQ(f.tabStops, (std::vector<double>{10, 20}));
    EXPECT_EQ(st.runs[1].format.leftMargin, 0);
}

TEST(TextHtml, WrittenBackAsFlashWritesIt) {
    StyledText st;
    TextFormat base;
    base.font = "Arial";
    player::text::parseHtml("<b>bold</b> <font color='#00ff00'>&lt;green&gt;</font>", base, st);
    // One FONT for the paragraph; B inside it; a colour change opens a FONT with the colour only.
    // LETTERSPACING and KERNING from version 6 (the first with TextField) on.
    EXPECT_EQ(player::text::writeHtml(st, 6),
              "<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\" LETTERSPACING=\"0\" "
              "KERNING=\"0\"><B>bold</B> <FONT COLOR=\"#00FF00\">&lt;green&gt;</FONT></FONT></P>");
    EXPECT_EQ(player::text::writeHtml(st, 5),
              "<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\"><B>bold</B> <FONT "
              "COLOR=\"#00FF00\">&lt;green&gt;</FONT></FONT></P>");
}

// --- Device fonts -----------------------------------------------------------------------------------------

TEST(TextFonts, EveryNameGivesAFontAndGenericNamesDiffer) {
    for (const char* name : {"_sans", "_serif", "_typewriter", "Arial", "No Such Font 4711", ""}) {
        auto f = player::text::DeviceFont::find(name, false, false);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_GT(f->unitsPerEm, 0) << name;
        EXPECT_GT(f->ascent, 0) << name;
        const Glyph* a = f->glyph(U'A');
        ASSERT_NE(a, nullptr) << name;
        EXPECT_GT(a->advance, 0) << name;
    }
    auto mono = player::text::DeviceFont::find("_typewriter", false, false);
    if (mono->file().empty()) GTEST_SKIP() << "no system fonts installed";
    EXPECT_FALSE(mono->glyph(U'W')->outline.empty()) << "outlines come from the font file";
    EXPECT_EQ(mono->glyph(U'i')->advance, mono->glyph(U'W')->advance) << "_typewriter is monospaced";
    auto sans = player::text::DeviceFont::find("_sans", false, false);
    EXPECT_NE(sans->glyph(U'i')->advance, sans->glyph(U'W')->advance);
    // A font that is not installed falls back to a real font, never to nothing.
    auto missing = player::text::DeviceFont::find("No Such Font 4711", true, false);
    EXPECT_FALSE(missing->file().empty());
    EXPECT_FALSE(missing->glyph(U'x')->outline.empty());
}

}  // namespace
