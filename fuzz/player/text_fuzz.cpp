// libFuzzer target for text: the input is split into HTML, a style sheet and layout settings; the HTML is
// read (with the sheet's rules), written back, read again, and laid out in device and box fonts at the
// settings' sizes. Any crash, hang, leak or sanitizer report is a bug.
#include <cstddef>
#include <cstdint>
#include <string>

#include "player/text/font.h"
#include "player/text/html.h"
#include "player/text/layout.h"

namespace {

// A font with one square glyph for everything but spaces (cheap, and independent of the system's fonts).
class Squares : public player::text::Font {
  public:
    Squares() {
        unitsPerEm = 1024;
        ascent = 900;
        descent = 200;
        square_.advance = 600;
        square_.outline.moveTo(0, -800);
        square_.outline.lineTo(500, -800);
        square_.outline.lineTo(500, 0);
        square_.outline.close();
        space_.advance = 300;
    }
    const player::text::Glyph* glyph(char32_t c) const override { return c == U' ' ? &space_ : &square_; }
    bool device() const override { return false; }

  private:
    player::text::Glyph square_, space_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    // Settings: field size (any 16-bit twips, negative too), flags, and which font.
    const double width = double(int16_t(data[0] | data[1] << 8)) * 20;
    const double height = double(int16_t(data[2] | data[3] << 8)) * 20;
    const uint8_t flags = data[4];
    const std::string input(reinterpret_cast<const char*>(data + 5), size - 5);
    const size_t split = input.find('\x01');
    const std::string html = input.substr(0, split);

    player::text::StyleLookup styles;
    if (split != std::string::npos) {
        // The rest names a selector whose rule changes sizes and margins (enough to reach every path).
        const std::string selector = input.substr(split + 1, 16);
        styles = [selector](const std::string& s, player::text::TextFormat& f) {
            if (s != selector && s != "p") return false;
            f.size += 3;
            f.leftMargin += 5;
            f.align = player::text::Align::Justify;
            return true;
        };
    }
    player::text::TextFormat base;
    base.font = flags & 1 ? "_typewriter" : "_sans";
    player::text::StyledText text;
    player::text::parseHtml(html, base, text, flags & 2, styles);
    const std::string written = player::text::writeHtml(text, flags & 4 ? 8 : 6);
    player::text::StyledText again;
    player::text::parseHtml(written, base, again);

    static const Squares squares;
    player::text::LayoutParams p;
    p.width = width;
    p.height = height;
    p.wordWrap = flags & 8;
    p.multiline = flags & 16;
    p.password = flags & 32;
    const bool device = flags & 64;
    p.fonts = [device](const player::text::TextFormat& f) -> const player::text::Font* {
        if (!device) return &squares;
        return player::text::DeviceFont::find(f.font, f.bold, f.italic).get();
    };
    player::text::Layout l = player::text::layOut(text, p);
    l.maxScroll(height);
    l.linesFitting(0, height);
    player::text::layOut(again, p);
    return 0;
}
