// The content of a text field: characters with a format for each run of them. Paragraph properties (align,
// margins, indents, leading, bullets, tab stops) are read from the format of a paragraph's first character,
// as Flash does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace player::text {

enum class Align : uint8_t { Left, Right, Center, Justify };

struct TextFormat {
    std::string font = "Times New Roman";
    double size = 12;    // pixels
    uint32_t color = 0;  // 0xRRGGBB
    bool bold = false, italic = false, underline = false;
    std::string url, target;  // links are drawn, never followed
    Align align = Align::Left;
    double leftMargin = 0, rightMargin = 0, indent = 0, blockIndent = 0;  // pixels
    double leading = 0, letterSpacing = 0;                                // pixels
    bool bullet = false;
    bool kerning = false;
    std::vector<double> tabStops;  // pixels
    bool operator==(const TextFormat&) const = default;
};

struct StyledText {
    struct Run {
        size_t end = 0;  // the run covers [previous end, end)
        TextFormat format;
    };
    std::u32string text;    // paragraphs end at '\r' (Flash's line end; '\n' is turned into it)
    std::vector<Run> runs;  // ascending ends, the last one at text.size()

    // The format of character i (the last run's for i past the end).
    const TextFormat& formatAt(size_t i) const;
    // Appends characters in one format (merged with the last run when the format is the same).
    void append(const std::u32string& s, const TextFormat& format);
    // Replaces [begin, end) with `s` in `format`.
    void replace(size_t begin, size_t end, const std::u32string& s, const TextFormat& format);
    // Sets the format of [begin, end) (a function changes each run's format).
    template <class F>
    void reformat(size_t begin, size_t end, F change);
    void clear() {
        text.clear();
        runs.clear();
    }
    // Splits a run so that one ends at i.
    void splitAt(size_t i);
    void merge();
};

template <class F>
void StyledText::reformat(size_t begin, size_t end, F change) {
    end = std::min(end, text.size());
    if (begin >= end) return;
    splitAt(begin);
    splitAt(end);
    size_t start = 0;
    for (Run& r : runs) {
        if (start >= begin && r.end <= end) change(r.format);
        start = r.end;
    }
    merge();
}

// UTF-8 <-> UTF-32 (invalid bytes become U+FFFD).
std::u32string fromUtf8(const std::string& s);
std::string toUtf8(const std::u32string& s);

}  // namespace player::text
