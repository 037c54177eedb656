// text_bench: the cost of text fields. A 640x480 movie holds two wrapped HTML fields of about 1,000
// characters each, one in a system font and one in a font the movie embeds; a small shape moves every frame
// so every frame is drawn (not copied from the last). Prints the milliseconds of the first picture (which
// lays the text out), of later pictures (layout kept between frames), of a picture after the text changed
// (laid out again), and the peak memory of the process.
//
// usage: text_bench [--frames N]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/player.h"
#include "support/avm1_asm.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

using Clock = std::chrono::steady_clock;
using namespace testswf;

namespace {

// About 1,000 characters of HTML text: paragraphs with bold, italic, coloured and sized runs.
std::string htmlText(int seed) {
    static const char* const words[] = {"converts", "Flash", "movies", "into",    "video", "frame",
                                        "exact",    "with",  "sound",  "batches", "of",    "text",
                                        "fields",   "fonts", "layout", "wrapped", "lines", "quickly"};
    std::string s;
    int n = seed;
    size_t plain = 0;
    while (plain < 1000) {
        s += "<p align=\"" + std::string(n % 3 == 0 ? "left" : n % 3 == 1 ? "center" : "justify") + "\">";
        for (int w = 0; w < 24 && plain < 1000; ++w, ++n) {
            const std::string word = words[(n * 7) % 18];
            if (n % 11 == 0)
                s += "<b>" + word + "</b>";
            else if (n % 13 == 0)
                s += "<font color=\"#C03020\" size=\"16\">" + word + "</font>";
            else if (n % 17 == 0)
                s += "<i>" + word + "</i>";
            else
                s += word;
            s += " ";
            plain += word.size() + 1;
        }
        s += "</p>";
    }
    return s;
}

// Glyphs for a-z, space and a few more: boxes of varying widths with a notch, 1024 units a em.
Bytes embeddedFont(uint16_t id) {
    FontSpec font;
    font.id = id;
    font.name = "BenchEmbedded";
    font.layout = true;
    font.ascent = 900;
    font.descent = 220;
    font.leading = 40;
    std::string codes = "abcdefghijklmnopqrstuvwxyzFABCDEFGHIJKLMNOPQRSTUVWXYZ .,";
    for (char c : codes) {
        GlyphSpec g;
        const int w = c == ' ' ? 0 : 300 + (c * 37) % 400;
        if (w > 0) {
            g.shape.fill1(1)
                .moveTo(0, -700)
                .lineTo(w, -700)
                .curveTo(w + 60, -350, w, 0)
                .lineTo(0, 0)
                .lineTo(w / 2, -350);
            g.shape.lineTo(0, -700);
        }
        g.code = uint16_t(static_cast<unsigned char>(c));
        g.advance = int16_t(w + 80);
        g.bounds = {0, w, -700, 0};
        font.glyphs.push_back(g);
    }
    return defineFont2(font, 2);
}

// With `changing`, each frame's script gives both fields new HTML (the movie alternates two texts).
Bytes benchMovie(bool changing) {
    Header h;
    h.version = 8;
    h.xmax = 640 * 20;
    h.ymax = 480 * 20;
    h.frameCount = 2;
    SwfBuilder m(h);
    m.backgroundColor(0xFFFFFF);
    FontSpec device;
    device.id = 1;
    device.name = "Arial";
    m.tag(48, defineFont2(device, 2));
    m.tag(48, embeddedFont(2));
    EditTextSpec a;
    a.id = 3;
    a.bounds = {0, 310 * 20, 0, 470 * 20};
    a.fontId = 1;
    a.height = 12 * 20;
    a.html = a.wordWrap = a.multiline = true;
    a.text = htmlText(0);
    m.tag(37, defineEditText(a));
    EditTextSpec b = a;
    b.id = 4;
    b.fontId = 2;
    b.useOutlines = true;
    b.text = htmlText(5);
    m.tag(37, defineEditText(b));
    ShapeBuilder dot;
    dot.fill0(dot.fillSolid(0xFF0000FF)).rect(0, 0, 100, 100);
    m.tag(32, dot.defineShape(5, 3));
    PlaceSpec pa;
    pa.depth = 1;
    pa.characterId = 3;
    pa.name = std::string("device");
    pa.matrix = MatrixSpec{1, 1, 0, 0, 5 * 20, 5 * 20};
    m.tag(26, placeObject(pa, 2));
    PlaceSpec pb = pa;
    pb.depth = 2;
    pb.characterId = 4;
    pb.name = std::string("embedded");
    pb.matrix = MatrixSpec{1, 1, 0, 0, 325 * 20, 5 * 20};
    m.tag(26, placeObject(pb, 2));
    PlaceSpec pd;
    pd.depth = 3;
    pd.characterId = 5;
    pd.matrix = MatrixSpec{1, 1, 0, 0, 0, 0};
    m.tag(26, placeObject(pd, 2));
    auto setTexts = [&](int seed) {
        if (!changing) return;
        m.tag(12, avm1test::assemble("push 'device'; getvar; push 'htmlText' '" + htmlText(seed) +
                                     "'; setmember; push 'embedded'; getvar; push 'htmlText' '" +
                                     htmlText(seed + 1) +
                                     "'; setmember; push 'embedded'; getvar; "
                                     "push 'text'; getmember; trace"));
    };
    setTexts(1);
    m.showFrame();
    PlaceSpec move;
    move.depth = 3;
    move.move = true;
    move.matrix = MatrixSpec{1, 1, 0, 0, 40, 0};
    m.tag(26, placeObject(move, 2));
    setTexts(2);
    m.showFrame();
    m.end();
    return m.build();
}

double ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 200;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
            frames = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: text_bench [--frames N]\n");
            return 2;
        }
    }
    player::RenderOptions o;
    o.quality = player::Quality::High;
    std::vector<player::Pixel> pixels(640 * 480);
    auto load = [](player::Player& p, bool changing) {
        std::string error;
        if (!p.loadBytes(benchMovie(changing), "text_bench.swf", &error)) {
            std::fprintf(stderr, "text_bench: %s\n", error.c_str());
            std::exit(1);
        }
    };

    player::Player p;
    load(p, false);
    auto t0 = Clock::now();
    p.render(pixels.data(), 640, 480, 640, o);
    const double first = ms(t0, Clock::now());
    double cached = 0;
    for (int i = 0; i < frames; ++i) {
        p.advance();
        auto a = Clock::now();
        p.render(pixels.data(), 640, 480, 640, o);
        cached += ms(a, Clock::now());
    }
    if (p.picturesReused() != 0) std::fprintf(stderr, "text_bench: pictures were reused; figures too low\n");

    // The text changes every frame: each picture lays both fields out again (advance() sets the text).
    player::Player q;
    std::vector<std::string> texts;
    q.setTraceHandler([&](const std::string& line) { texts.push_back(line); });
    load(q, true);
    q.render(pixels.data(), 640, 480, 640, o);
    double changed = 0;
    const int changes = std::max(1, frames / 10);
    for (int i = 0; i < changes; ++i) {
        q.advance();
        auto a = Clock::now();
        q.render(pixels.data(), 640, 480, 640, o);
        changed += ms(a, Clock::now());
    }
    // The scripts report the embedded field's text: it must have changed from frame to frame.
    for (size_t i = 1; i < texts.size(); ++i)
        if (texts[i] == texts[i - 1] || texts[i].size() < 900) {
            std::fprintf(stderr, "text_bench: the text did not change as the movie says\n");
            return 1;
        }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf(
        "text_bench: 640x480, two wrapped HTML fields of ~1000 characters (system font, embedded font)\n");
    std::printf("  first picture (layout made):     %8.2f ms\n", first);
    std::printf("  later pictures (layout kept):    %8.2f ms/frame over %d frames\n", cached / frames,
                frames);
    std::printf("  pictures after a text change:    %8.2f ms/frame over %d frames\n", changed / changes,
                changes);
    std::printf("  peak memory:                     %8.1f MB\n", ru.ru_maxrss / 1024.0);
    return 0;
}
