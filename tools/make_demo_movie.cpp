// make_demo_movie: writes the demo movie bundled with Tolvikan (the README's first command converts it).
// A 320x240 animation at 12 fps, 48 frames: a spinning gradient square, a ball bouncing along the floor, a
// shape morphing from a star into a circle, a stroked frame and a title in an HTML text field (a system
// font); it loops.
//
// usage: make_demo_movie OUT.swf
#include <cmath>
#include <cstdio>

#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

using namespace testswf;

namespace {

constexpr int kFrames = 48;
constexpr double kPi = 3.14159265358979323846;

void circle(ShapeBuilder& s, int cx, int cy, int r) {
    // Eight quadratic segments approximate a circle closely enough for the eye.
    const int n = 8;
    double k = std::cos(kPi / n);
    s.moveTo(cx + r, cy);
    for (int i = 1; i <= n; ++i) {
        double a0 = 2 * kPi * (i - 1) / n, a1 = 2 * kPi * i / n, am = (a0 + a1) / 2;
        s.curveTo(cx + int(r / k * std::cos(am)), cy + int(r / k * std::sin(am)), cx + int(r * std::cos(a1)),
                  cy + int(r * std::sin(a1)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_movie OUT.swf\n");
        return 2;
    }
    Header h;
    h.version = 8;
    h.xmax = 320 * 20;
    h.ymax = 240 * 20;
    h.frameRate88 = 12 << 8;
    h.frameCount = kFrames;
    SwfBuilder m(h);
    m.backgroundColor(0x1B2A49);

    // 1: gradient square centred on its origin.
    ShapeBuilder square;
    int grad = square.addFill(FillSpec::linear({{0, 0xFFB000FF}, {255, 0xE0305AFF}}, MatrixSpec{0.05, 0.05}));
    int edge = square.lineStyle(60, 0xFFFFFFFF);
    square.fill0(grad).line(edge).rect(-800, -800, 800, 800);
    m.tag(32, square.defineShape(1, 3));

    // 2: ball with a radial highlight.
    ShapeBuilder ball;
    int shine = ball.addFill(FillSpec::radial({{0, 0xFFFFFFFF}, {80, 0x7FD4FFFF}, {255, 0x1060C0FF}},
                                              MatrixSpec{0.03, 0.03, 0, 0, -150, -150}));
    ball.fill0(shine);
    circle(ball, 0, 0, 400);
    m.tag(32, ball.defineShape(2, 3));

    // 3: star morphing into a circle.
    MorphShapeBuilder morph;
    int mf = morph.fillSolid(0x9BE564FF, 0xF25F5CFF);
    morph.start().fill0(mf).moveTo(0, -700);
    for (int i = 1; i <= 10; ++i) {
        double a = -kPi / 2 + kPi * i / 5;
        int r = (i % 2) ? 300 : 700;
        morph.start().lineTo(int(r * std::cos(a)), int(r * std::sin(a)));
    }
    morph.end().moveTo(0, -500);
    for (int i = 1; i <= 10; ++i) {
        double a = -kPi / 2 + kPi * i / 5;
        morph.end().lineTo(int(500 * std::cos(a)), int(500 * std::sin(a)));
    }
    m.tag(46, morph.defineMorphShape(3, 1));

    // 4: a frame around the stage.
    ShapeBuilder border;
    int line = border.lineStyle(80, 0xFFFFFF80);
    border.line(line).rect(200, 200, 320 * 20 - 200, 240 * 20 - 200);
    m.tag(32, border.defineShape(4, 3));

    // 5: the font the title names (a device font: a name without glyphs); 6: the title's text field.
    FontSpec sans;
    sans.id = 5;
    sans.name = "_sans";
    m.tag(48, defineFont2(sans, 2));
    EditTextSpec title;
    title.id = 6;
    title.bounds = {0, 320 * 20, 4 * 20, 34 * 20};
    title.fontId = 5;
    title.height = 18 * 20;
    title.rgba = 0xFFFFFFFF;
    title.html = true;
    title.noSelect = true;
    title.text = "<p align=\"center\"><b>Tolvikan</b> <font color=\"#FFB000\">demo</font></p>";
    m.tag(37, defineEditText(title));

    for (int f = 0; f < kFrames; ++f) {
        double t = double(f) / kFrames;
        PlaceSpec sq;
        sq.depth = 1;
        sq.move = f > 0;
        if (f == 0) sq.characterId = 1;
        double a = 2 * kPi * t;
        sq.matrix = MatrixSpec{std::cos(a), std::cos(a), std::sin(a), -std::sin(a), 80 * 20, 90 * 20};
        m.tag(26, placeObject(sq, 2));

        PlaceSpec b;
        b.depth = 2;
        b.move = f > 0;
        if (f == 0) b.characterId = 2;
        double bounce = std::fabs(std::sin(2 * kPi * t * 2));
        b.matrix = MatrixSpec{1, 1, 0, 0, int((40 + 240 * t) * 20), int((200 - 120 * bounce) * 20)};
        m.tag(26, placeObject(b, 2));

        PlaceSpec mo;
        mo.depth = 3;
        mo.move = f > 0;
        if (f == 0) mo.characterId = 3;
        mo.ratio = uint16_t(65535 * (0.5 - 0.5 * std::cos(2 * kPi * t)));
        mo.matrix = MatrixSpec{1, 1, 0, 0, 240 * 20, 80 * 20};
        m.tag(26, placeObject(mo, 2));

        if (f == 0) {
            PlaceSpec bo;
            bo.depth = 4;
            bo.characterId = 4;
            m.tag(26, placeObject(bo, 2));
            PlaceSpec ti;
            ti.depth = 5;
            ti.characterId = 6;
            ti.name = std::string("title");
            m.tag(26, placeObject(ti, 2));
        }
        m.showFrame();
    }
    m.end();
    if (!writeFile(argv[1], m.build(Compression::Zlib))) {
        std::fprintf(stderr, "make_demo_movie: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
