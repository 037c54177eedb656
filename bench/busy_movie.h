// The conversion benchmarks' busy movie: 640x480, kShapes shapes (gradient squares, gradient balls, stroked
// stars) moving on Lissajous paths, turning and scaling every frame, over a full-stage gradient that slides,
// so every pixel changes every frame. Header-only: each .cpp of bench/ is its own program.
#pragma once

#include <cmath>
#include <cstdint>

#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

namespace busy_movie {

using namespace testswf;

constexpr int kWidth = 640, kHeight = 480, kFps = 30, kShapes = 48;
constexpr double kPi = 3.14159265358979323846;

inline void Circle(ShapeBuilder& s, int r) {
    const int n = 8;
    double k = std::cos(kPi / n);
    s.moveTo(r, 0);
    for (int i = 1; i <= n; ++i) {
        double a0 = 2 * kPi * (i - 1) / n, a1 = 2 * kPi * i / n, am = (a0 + a1) / 2;
        s.curveTo(int(r / k * std::cos(am)), int(r / k * std::sin(am)), int(r * std::cos(a1)),
                  int(r * std::sin(a1)));
    }
}

// kShapes shapes (gradient squares, gradient balls, stroked stars) moving on Lissajous paths, turning and
// scaling every frame, over a full-stage gradient that slides: every pixel changes every frame.
inline Bytes BusyMovie(int frames) {
    Header h;
    h.version = 8;
    h.xmax = kWidth * 20;
    h.ymax = kHeight * 20;
    h.frameRate88 = kFps << 8;
    h.frameCount = static_cast<uint16_t>(frames);
    SwfBuilder m(h);
    m.backgroundColor(0x102030);

    ShapeBuilder back;
    int sky = back.addFill(
        FillSpec::linear({{0, 0x2040A0FF}, {128, 0xE08040FF}, {255, 0x204020FF}}, MatrixSpec{0.5, 0.5}));
    back.fill0(sky).rect(-16000, -16000, 16000, 16000);
    m.tag(32, back.defineShape(1, 3));

    for (int i = 0; i < kShapes; ++i) {
        ShapeBuilder s;
        uint32_t c1 = 0xFF000000u >> (8 * (i % 3)) | 0x202020FF, c2 = 0x10C0F0A0u + uint32_t(i) * 0x0F0B0700u;
        if (i % 3 == 0) {
            int f = s.addFill(FillSpec::linear({{0, c1}, {255, c2 | 0xFF}}, MatrixSpec{0.04, 0.04}));
            int l = s.lineStyle(40, 0xFFFFFFC0);
            s.fill0(f).line(l).rect(-700, -700, 700, 700);
        } else if (i % 3 == 1) {
            int f = s.addFill(FillSpec::radial({{0, 0xFFFFFFFF}, {90, c1}, {255, c2 | 0x80}},
                                               MatrixSpec{0.03, 0.03, 0, 0, -150, -150}));
            s.fill0(f);
            Circle(s, 600);
        } else {
            int f = s.fillSolid(c2 | 0xC0);
            int l = s.lineStyle(60, c1);
            s.fill0(f).line(l).moveTo(0, -800);
            for (int k = 1; k <= 10; ++k) {
                double a = -kPi / 2 + kPi * k / 5;
                int r = (k % 2) ? 320 : 800;
                s.lineTo(int(r * std::cos(a)), int(r * std::sin(a)));
            }
        }
        m.tag(32, s.defineShape(static_cast<uint16_t>(2 + i), 3));
    }

    for (int f = 0; f < frames; ++f) {
        double t = double(f) / kFps;
        PlaceSpec b;
        b.depth = 1;
        b.move = f > 0;
        if (f == 0) b.characterId = 1;
        double ba = 0.2 * t;
        b.matrix =
            MatrixSpec{std::cos(ba), std::cos(ba), std::sin(ba), -std::sin(ba), kWidth * 10, kHeight * 10};
        m.tag(26, placeObject(b, 2));
        for (int i = 0; i < kShapes; ++i) {
            PlaceSpec p;
            p.depth = static_cast<uint16_t>(2 + i);
            p.move = f > 0;
            if (f == 0) p.characterId = static_cast<uint16_t>(2 + i);
            double a = t * (0.7 + 0.05 * i) + i;
            double scale = 0.6 + 0.4 * std::sin(t * 1.3 + i);
            double x = kWidth / 2.0 + (kWidth / 2.0 - 40) * std::sin(t * (0.5 + 0.03 * i) + i * 1.7);
            double y = kHeight / 2.0 + (kHeight / 2.0 - 40) * std::cos(t * (0.4 + 0.02 * i) + i * 0.9);
            p.matrix = MatrixSpec{scale * std::cos(a),  scale * std::cos(a), scale * std::sin(a),
                                  -scale * std::sin(a), int(x * 20),         int(y * 20)};
            m.tag(26, placeObject(p, 2));
        }
        m.showFrame();
    }
    m.end();
    return m.build(Compression::Zlib);
}

}  // namespace busy_movie
