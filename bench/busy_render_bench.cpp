// Player drawing cost on the conversion benchmark's busy movie: 48 moving, turning gradient shapes and
// stroked stars over a sliding full-stage gradient, 640x480, rendered through the player's public API with
// no encoder behind it. Prints the thread's CPU time per frame (the fair figure on a shared machine) and the
// wall clock, best of several passes, and a checksum of every rendered pixel so that a change to the
// rasterizer can be checked to leave the pictures alone. With --dump FILE the raw frames are written too.
//
// With --save-movie FILE the movie itself is written out (to profile other programs on it).
//
// usage: busy_render_bench [FRAMES (default 300)] [PASSES (default 3)] [--low] [--dump FILE]
//                          [--save-movie FILE]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/player.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

namespace {

using namespace testswf;

constexpr int kWidth = 640, kHeight = 480, kFps = 30, kShapes = 48;
constexpr double kPi = 3.14159265358979323846;

void circle(ShapeBuilder& s, int r) {
    const int n = 8;
    double k = std::cos(kPi / n);
    s.moveTo(r, 0);
    for (int i = 1; i <= n; ++i) {
        double a0 = 2 * kPi * (i - 1) / n, a1 = 2 * kPi * i / n, am = (a0 + a1) / 2;
        s.curveTo(int(r / k * std::cos(am)), int(r / k * std::sin(am)), int(r * std::cos(a1)),
                  int(r * std::sin(a1)));
    }
}

// The same movie as convert_bench builds.
Bytes busyMovie(int frames) {
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
            circle(s, 600);
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

double threadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// FNV-1a over the frame's pixels, a pixel at a time.
uint64_t hashFrame(const std::vector<player::Pixel>& px, uint64_t h) {
    for (player::Pixel p : px)
        h = (h ^ p) * 0x100000001b3ull;
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 300, passes = 3;
    bool low = false;
    std::string dump, saveMovie;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--low") {
            low = true;
        } else if (a == "--dump" && i + 1 < argc) {
            dump = argv[++i];
        } else if (a == "--save-movie" && i + 1 < argc) {
            saveMovie = argv[++i];
        } else {
            numbers.push_back(std::atoi(a.c_str()));
        }
    }
    if (numbers.size() > 0) frames = std::clamp(numbers[0], 1, 65535);
    if (numbers.size() > 1) passes = std::clamp(numbers[1], 1, 100);

    Bytes movie = busyMovie(frames);
    if (!saveMovie.empty()) {
        FILE* f = std::fopen(saveMovie.c_str(), "wb");
        if (!f || std::fwrite(movie.data(), 1, movie.size(), f) != movie.size()) {
            std::fprintf(stderr, "cannot write %s\n", saveMovie.c_str());
            if (f) std::fclose(f);
            return 1;
        }
        std::fclose(f);
    }
    std::vector<player::Pixel> pixels(size_t(kWidth) * kHeight);
    player::RenderOptions options;
    options.quality = low ? player::Quality::Low : player::Quality::High;
    double bestCpu = 1e9, bestWall = 1e9;
    uint64_t checksum = 0;
    for (int pass = 0; pass < passes; ++pass) {
        player::Player p;
        std::string error;
        if (!p.loadBytes(movie, "busy.swf", &error)) {
            std::fprintf(stderr, "movie refused: %s\n", error.c_str());
            return 1;
        }
        FILE* out = pass == 0 && !dump.empty() ? std::fopen(dump.c_str(), "wb") : nullptr;
        uint64_t h = 0xcbf29ce484222325ull;
        double cpu = 0;
        auto wall = std::chrono::duration<double>::zero();
        for (int f = 0; f < frames; ++f) {
            if (f > 0) p.advance();
            double c0 = threadCpu();
            auto w0 = std::chrono::steady_clock::now();
            p.render(pixels.data(), kWidth, kHeight, kWidth, options);
            wall += std::chrono::steady_clock::now() - w0;
            cpu += threadCpu() - c0;
            h = hashFrame(pixels, h);
            if (out) std::fwrite(pixels.data(), sizeof(player::Pixel), pixels.size(), out);
        }
        if (out) std::fclose(out);
        checksum = h;
        bestCpu = std::min(bestCpu, cpu);
        bestWall = std::min(bestWall, wall.count());
    }
    std::printf("busy movie %dx%d, %d frames, %s quality, best of %d passes\n", kWidth, kHeight, frames,
                low ? "low" : "high", passes);
    std::printf("render: %.3f ms/frame cpu, %.3f ms/frame wall\n", 1000 * bestCpu / frames,
                1000 * bestWall / frames);
    std::printf("checksum: %016llx\n", static_cast<unsigned long long>(checksum));
    return 0;
}
