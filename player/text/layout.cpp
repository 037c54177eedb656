#include "player/text/layout.h"

#include <algorithm>
#include <cmath>

namespace player::text {

int Layout::linesFitting(int first, double height) const {
    if (lines.empty() || first < 0 || size_t(first) >= lines.size()) return 1;
    const double top = lines[size_t(first)].top;
    int n = 0;
    for (size_t i = size_t(first); i < lines.size(); ++i) {
        const LayoutLine& l = lines[i];
        // A line counts when its glyphs (ascent and descent) fit above the bottom gutter.
        if (l.top - top + l.ascent + l.descent > height - 2 * kGutter && n > 0) break;
        ++n;
    }
    return std::max(n, 1);
}

int Layout::maxScroll(double height) const {
    if (lines.empty()) return 1;
    // The first line from which the rest of the text fits.
    const int count = int(lines.size());
    int first = count - 1;
    while (first > 0) {
        const double bottom = lines.back().top + lines.back().ascent + lines.back().descent;
        if (bottom - lines[size_t(first - 1)].top > height - 2 * kGutter) break;
        --first;
    }
    return first + 1;
}

namespace {

struct Item {
    char32_t c = 0;
    const Font* font = nullptr;
    const Glyph* glyph = nullptr;
    double scale = 0;    // twips per font unit
    double advance = 0;  // twips, letter spacing and kerning included
    double ascent = 0, descent = 0;
    uint32_t color = 0;
    bool underline = false;
};

bool breakable(char32_t c) {
    return c == ' ' || c == '\t' || c == 0x3000;
}

}  // namespace

Layout layOut(const StyledText& text, const LayoutParams& params) {
    Layout out;
    const size_t n = std::min(text.text.size(), kMaxLayoutChars);
    if (n < text.text.size()) out.truncated = true;
    const double fieldRight = params.width - kGutter;

    // Fonts of the runs, looked up once per run.
    std::vector<const Font*> runFonts(text.runs.size(), nullptr);
    auto fontOfRun = [&](size_t run) -> const Font* {
        if (run >= runFonts.size()) return nullptr;
        if (!runFonts[run]) runFonts[run] = params.fonts(text.runs[run].format);
        return runFonts[run];
    };

    std::vector<Item> items;
    size_t run = 0;
    double top = kGutter;
    double widest = 0, extent = 0;
    bool firstLine = true;
    size_t p = 0;
    while (p <= n && out.lines.size() < kMaxLayoutLines) {
        // One paragraph: [p, end).
        size_t end = p;
        while (end < n && text.text[end] != U'\r' && text.text[end] != U'\n')
            ++end;
        const TextFormat& pf = text.formatAt(p);
        items.clear();
        items.reserve(end - p);
        for (size_t i = p; i < end; ++i) {
            while (run + 1 < text.runs.size() && text.runs[run].end <= i)
                ++run;
            const TextFormat& f = text.runs.empty() ? pf : text.runs[run].format;
            const Font* font = text.runs.empty() ? params.fonts(pf) : fontOfRun(run);
            Item it;
            it.c = params.password ? U'*' : text.text[i];
            it.font = font;
            it.scale = font && font->unitsPerEm > 0 ? f.size * 20 / font->unitsPerEm : 0;
            it.ascent = font ? font->ascent * it.scale : 0;
            it.descent = font ? font->descent * it.scale : 0;
            it.color = f.color;
            it.underline = f.underline;
            if (it.c == U'\t') {
                it.advance = 0;  // set when placed
            } else if (font) {
                it.glyph = font->glyph(it.c);
                if (!it.glyph && it.c == U'\u00A0') it.glyph = font->glyph(U' ');
                it.advance = (it.glyph ? it.glyph->advance * it.scale : 0) + f.letterSpacing * 20;
                if (f.kerning && i + 1 < end && !params.password)
                    it.advance += font->kerning(it.c, text.text[i + 1]) * it.scale;
            }
            items.push_back(it);
        }
        // The paragraph's own metrics stand for empty lines.
        const Font* pfont = params.fonts(pf);
        const double pscale = pfont && pfont->unitsPerEm > 0 ? pf.size * 20 / pfont->unitsPerEm : 0;
        const double leading = pf.leading * 20;
        const double blockLeft = kGutter + (pf.leftMargin + pf.blockIndent) * 20;
        const double right = fieldRight - pf.rightMargin * 20;

        size_t a = 0;  // first item of the line being built
        bool firstOfParagraph = true;
        do {
            double lineLeft = blockLeft + (firstOfParagraph ? pf.indent * 20 : 0);
            if (pf.bullet) lineLeft += pf.size * 20 * 1.5;
            // Greedy fill: take items while they fit; break after the last space that fits.
            double x = lineLeft;
            size_t b = a;
            size_t lastBreak = SIZE_MAX;
            for (; b < items.size(); ++b) {
                Item& it = items[b];
                if (it.c == U'\t') {
                    // Tab: the next tab stop, or the next multiple of 36 pixels past the margin.
                    double next = -1;
                    for (double stop : pf.tabStops)
                        if (blockLeft + stop * 20 > x + 1e-6) {
                            next = blockLeft + stop * 20;
                            break;
                        }
                    if (next < 0) next = blockLeft + (std::floor((x - blockLeft) / 720) + 1) * 720;
                    it.advance = next - x;
                }
                const bool fits = x + it.advance <= right + 1e-6 || breakable(it.c);
                if (params.wordWrap && !fits && b > a) break;
                x += it.advance;
                if (breakable(it.c)) lastBreak = b;
            }
            size_t lineEnd = b;  // items [a, lineEnd) go on this line
            if (b < items.size() && lastBreak != SIZE_MAX && lastBreak >= a) lineEnd = lastBreak + 1;
            if (lineEnd == a && a < items.size()) lineEnd = a + 1;

            LayoutLine line;
            line.begin = p + a;
            line.end = p + lineEnd;
            line.top = top;
            double ascent = 0, descent = 0;
            for (size_t k = a; k < lineEnd; ++k) {
                ascent = std::max(ascent, items[k].ascent);
                descent = std::max(descent, items[k].descent);
            }
            if (lineEnd == a && pfont) {
                ascent = pfont->ascent * pscale;
                descent = pfont->descent * pscale;
            }
            line.ascent = ascent;
            line.descent = descent;
            line.leading = leading;
            // Width without trailing spaces decides the alignment.
            size_t visibleEnd = lineEnd;
            while (visibleEnd > a && breakable(items[visibleEnd - 1].c))
                --visibleEnd;
            double width = 0;
            int spaces = 0;
            for (size_t k = a; k < visibleEnd; ++k) {
                width += items[k].advance;
                if (items[k].c == U' ') ++spaces;
            }
            const bool lastOfParagraph = lineEnd >= items.size();
            double shift = 0, spaceExtra = 0;
            const double room = right - lineLeft - width;
            switch (pf.align) {
                case Align::Right:
                    shift = room;
                    break;
                case Align::Center:
                    shift = room / 2;
                    break;
                case Align::Justify:
                    if (!lastOfParagraph && spaces > 0 && room > 0 && params.wordWrap)
                        spaceExtra = room / spaces;
                    break;
                case Align::Left:
                    break;
            }
            // Flash keeps aligned text on whole pixels.
            shift = std::round(shift / 20) * 20;
            const uint32_t lineNo = uint32_t(out.lines.size());
            const double baseline = top + ascent;
            double gx = lineLeft + shift;
            if (pf.bullet && firstOfParagraph && pfont) {
                PlacedGlyph g;
                g.font = pfont;
                g.glyph = pfont->glyph(U'\u2022');
                g.scale = pscale;
                g.x = gx - pf.size * 20;
                g.y = baseline;
                g.color = items.empty() ? pf.color : items[a].color;
                g.line = lineNo;
                if (g.glyph) out.glyphs.push_back(g);
            }
            double underlineStart = 0;
            bool underlining = false;
            for (size_t k = a; k < lineEnd; ++k) {
                const Item& it = items[k];
                if (it.underline && !underlining) {
                    underlining = true;
                    underlineStart = gx;
                }
                if (it.glyph && !it.glyph->outline.empty()) {
                    PlacedGlyph g;
                    g.glyph = it.glyph;
                    g.font = it.font;
                    g.x = gx;
                    g.y = baseline;
                    g.scale = it.scale;
                    g.color = it.color;
                    g.line = lineNo;
                    out.glyphs.push_back(g);
                }
                gx += it.advance + (it.c == U' ' ? spaceExtra : 0);
                const bool endUnderline =
                    underlining && (k + 1 == lineEnd || !items[k + 1].underline || k + 1 >= visibleEnd);
                if (endUnderline) {
                    Underline u;
                    u.x0 = underlineStart;
                    u.x1 = gx;
                    u.y = baseline + std::max(20.0, descent / 4);
                    u.thickness = std::max(20.0, (ascent + descent) / 20);
                    u.color = it.color;
                    u.line = lineNo;
                    out.underlines.push_back(u);
                    underlining = false;
                }
            }
            line.left = lineLeft + shift;
            line.right = lineLeft + shift + width + spaceExtra * spaces;
            widest = std::max(widest, line.right - line.left);
            extent = std::max(extent, line.right - kGutter + pf.rightMargin * 20);
            out.lines.push_back(line);
            top += ascent + descent + leading;
            a = lineEnd;
            firstOfParagraph = false;
            firstLine = false;
        } while (a < items.size() && out.lines.size() < kMaxLayoutLines);
        p = end + 1;
    }
    if (out.lines.size() >= kMaxLayoutLines) out.truncated = true;
    (void)firstLine;
    out.textWidth = std::max(0.0, widest);
    out.extentWidth = std::max(0.0, extent);
    if (!out.lines.empty()) {
        const LayoutLine& last = out.lines.back();
        out.textHeight = last.top + last.ascent + last.descent - kGutter;
        // An empty field has no text height.
        if (n == 0) out.textHeight = 0;
    }
    return out;
}

}  // namespace player::text
