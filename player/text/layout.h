// Lays a text field's content out in lines: fonts chosen per run (the movie's embedded glyph sets or the
// system's fonts), words wrapped at the field's edge, paragraphs aligned and indented, lines spaced by the
// fonts' ascent, descent and leading. The result is a list of positioned glyphs (in field twips, relative
// to the field's bounds' top left corner) that the renderer fills, plus the metrics scripts read
// (textWidth, textHeight, maxscroll, bottomScroll).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "player/text/font.h"
#include "player/text/styled_text.h"

namespace player::text {

// Finds the font for a format: an embedded glyph set (when the field uses embedded fonts) or a device font.
// Never null.
using FontResolver = std::function<const Font*(const TextFormat& format)>;

struct LayoutParams {
    double width = 0, height = 0;  // the field's bounds, twips
    bool wordWrap = false, multiline = false, password = false;
    FontResolver fonts;
};

struct PlacedGlyph {
    const Glyph* glyph = nullptr;  // null: nothing drawn (spaces, missing characters)
    const Font* font = nullptr;
    double x = 0, y = 0;  // baseline origin, twips from the field's top left
    double scale = 0;     // twips per font unit
    uint32_t color = 0;   // 0xRRGGBB
    uint32_t line = 0;
};

struct LayoutLine {
    double top = 0;  // twips from the field's top (before scrolling)
    double ascent = 0, descent = 0, leading = 0;
    double left = 0, right = 0;  // extent of the line's glyphs, twips
    size_t begin = 0, end = 0;   // characters of the line (end excludes the break)
};

struct Underline {
    double x0 = 0, x1 = 0, y = 0, thickness = 20;
    uint32_t color = 0;
    uint32_t line = 0;
};

struct Layout {
    std::vector<PlacedGlyph> glyphs;
    std::vector<LayoutLine> lines;
    std::vector<Underline> underlines;
    double textWidth = 0, textHeight = 0;  // twips, as scripts read them (glyphs only: no gutters, margins)
    double extentWidth = 0;                // twips from the left gutter to the widest line's right margin
    bool truncated = false;                // the text went beyond the layout's limits

    // The line count that fits in a height (twips) from line `first` (0-based), at least 1.
    int linesFitting(int first, double height) const;
    // maxscroll for a field of that height (1-based).
    int maxScroll(double height) const;
};

// Flash leaves 2 pixels between the field's edges and its text.
constexpr double kGutter = 40;
// Limits against hostile content: characters laid out and glyphs placed per field.
constexpr size_t kMaxLayoutChars = 1u << 20;
constexpr size_t kMaxLayoutLines = 1u << 16;

Layout layOut(const StyledText& text, const LayoutParams& params);

}  // namespace player::text
