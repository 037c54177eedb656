// Rasterizer throughput: a synthetic 640x480 frame of about fifty shapes (solid fills, linear and radial
// gradients, translucent fills, curved and straight strokes, one masked group) drawn over and over.
// Prints milliseconds per frame and frames per second, anti-aliased and aliased, by the wall clock and by
// the thread's CPU time (the fairer figure on a busy machine). Then bitmap fills over the whole frame, as
// photo movies show them: an opaque 512x384 picture turned and enlarged (smoothed and not), unscaled at a
// whole pixel, and shrunk to a quarter.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "player/raster/canvas.h"

namespace {

using raster::Paint;
using raster::Path;

Path ellipse(double cx, double cy, double rx, double ry) {
    Path p;
    const double k = 1 / std::cos(std::numbers::pi / 8);
    p.moveTo(cx + rx, cy);
    for (int i = 1; i <= 8; ++i) {
        double mid = (i - 0.5) * std::numbers::pi / 4, end = i * std::numbers::pi / 4;
        p.quadTo(cx + k * rx * std::cos(mid), cy + k * ry * std::sin(mid), cx + rx * std::cos(end),
                 cy + ry * std::sin(end));
    }
    p.close();
    return p;
}

Path polygon(std::mt19937& rng, double cx, double cy, double r, int n) {
    std::uniform_real_distribution<double> jitter(0.5, 1.0);
    Path p;
    for (int i = 0; i < n; ++i) {
        double a = 2 * std::numbers::pi * i / n, rr = r * jitter(rng);
        if (i == 0) {
            p.moveTo(cx + rr * std::cos(a), cy + rr * std::sin(a));
        } else {
            p.lineTo(cx + rr * std::cos(a), cy + rr * std::sin(a));
        }
    }
    p.close();
    return p;
}

struct Item {
    enum Kind { Fill, Stroke, MaskBegin, MaskEnd, MaskPop } kind;
    Path path;
    Paint paint;
    raster::StrokeStyle stroke;
};

std::vector<Item> buildFrame() {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> ux(0, 640), uy(0, 480), ur(10, 70);
    std::uniform_int_distribution<int> uc(0, 255);
    auto colour = [&](uint8_t a = 255) {
        return player::Rgba{uint8_t(uc(rng)), uint8_t(uc(rng)), uint8_t(uc(rng)), a};
    };
    std::vector<Item> items;
    Path bg;
    bg.moveTo(0, 0);
    bg.lineTo(640, 0);
    bg.lineTo(640, 480);
    bg.lineTo(0, 480);
    bg.close();
    raster::Gradient sky;
    sky.stops = {{0, {40, 80, 160, 255}}, {255, {220, 230, 255, 255}}};
    sky.matrix = player::Matrix{0, 480.0 / 32768, -640.0 / 32768, 0, 320, 240};
    items.push_back({Item::Fill, bg, Paint::gradient(sky), {}});
    for (int i = 0; i < 16; ++i) {
        double r = ur(rng);
        items.push_back({Item::Fill, ellipse(ux(rng), uy(rng), r, r * 0.7), Paint::solid(colour()), {}});
    }
    for (int i = 0; i < 8; ++i) {
        items.push_back(
            {Item::Fill, polygon(rng, ux(rng), uy(rng), ur(rng), 7), Paint::solid(colour(160)), {}});
    }
    for (int i = 0; i < 8; ++i) {
        raster::Gradient g;
        g.type = i % 2 ? raster::GradientType::Radial : raster::GradientType::Linear;
        g.stops = {{0, colour()}, {128, colour(200)}, {255, colour()}};
        double cx = ux(rng), cy = uy(rng), r = ur(rng);
        g.matrix = player::Matrix{r / 16384, 0, 0, r / 16384, cx, cy};
        items.push_back({Item::Fill, ellipse(cx, cy, r, r), Paint::gradient(g), {}});
    }
    for (int i = 0; i < 12; ++i) {
        raster::StrokeStyle st;
        st.width = 1 + i % 5;
        st.join = i % 3 == 0 ? raster::JoinStyle::Miter : raster::JoinStyle::Round;
        Path p =
            i % 2 ? ellipse(ux(rng), uy(rng), ur(rng), ur(rng)) : polygon(rng, ux(rng), uy(rng), ur(rng), 6);
        items.push_back({Item::Stroke, p, Paint::solid(colour()), st});
    }
    items.push_back({Item::MaskBegin, {}, {}, {}});
    items.push_back({Item::Fill, ellipse(320, 240, 120, 90), Paint::solid({0, 0, 0, 255}), {}});
    items.push_back({Item::MaskEnd, {}, {}, {}});
    for (int i = 0; i < 4; ++i) {
        items.push_back({Item::Fill, polygon(rng, 320, 240, 150, 9), Paint::solid(colour(200)), {}});
    }
    items.push_back({Item::MaskPop, {}, {}, {}});
    return items;
}

// Which items a run draws: all of them, or one kind alone to see where the time goes.
enum class Only { All, Fills, Strokes };

void drawFrame(raster::Canvas& canvas, const std::vector<Item>& items, bool aa, Only only = Only::All) {
    canvas.clear({255, 255, 255, 255});
    for (const Item& it : items) {
        if (only == Only::Fills && it.kind == Item::Stroke) continue;
        if (only == Only::Strokes && it.kind != Item::Stroke) continue;
        switch (it.kind) {
            case Item::Fill:
                canvas.fillPath(it.path, raster::FillRule::EvenOdd, it.paint, aa);
                break;
            case Item::Stroke:
                canvas.strokePath(it.path, it.stroke, it.paint, aa);
                break;
            case Item::MaskBegin:
                canvas.beginMask();
                break;
            case Item::MaskEnd:
                canvas.endMask();
                break;
            case Item::MaskPop:
                canvas.popMask();
                break;
        }
    }
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A photo-like opaque picture: smooth colour waves with some fine detail.
player::BitmapPtr photo(int w, int h) {
    auto bm = std::make_shared<player::Bitmap>();
    bm->width = w;
    bm->height = h;
    bm->opaque = true;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> grain(0, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto wave = [&](double fx, double fy, double phase) {
                return int(100 + 90 * std::sin(x * fx + y * fy + phase)) + grain(rng);
            };
            bm->pixels.push_back(player::packPremultiplied(uint8_t(wave(0.02, 0.01, 0)),
                                                           uint8_t(wave(0.013, 0.03, 1)),
                                                           uint8_t(wave(0.007, 0.02, 2)), 255));
        }
    return bm;
}

void drawBitmaps(raster::Canvas& canvas, int frames) {
    const player::BitmapPtr bm = photo(512, 384);
    const double turn = 5 * std::numbers::pi / 180;
    struct Case {
        const char* name;
        player::Matrix m;
        bool smooth;
    } cases[] = {
        {"turned 5 degrees, x1.4, smoothed",
         {1.4 * std::cos(turn), 1.4 * std::sin(turn), -1.4 * std::sin(turn), 1.4 * std::cos(turn), -20, -40},
         true},
        {"turned 5 degrees, x1.4, not smoothed",
         {1.4 * std::cos(turn), 1.4 * std::sin(turn), -1.4 * std::sin(turn), 1.4 * std::cos(turn), -20, -40},
         false},
        {"enlarged x1.25 along the axes, smoothed", {1.25, 0, 0, 1.25, 0, 0}, true},
        {"unscaled at a whole pixel, smoothed", {1, 0, 0, 1, 64, 48}, true},
        {"shrunk to a quarter, smoothed", {0.25, 0, 0, 0.25, 100, 100}, true},
    };
    Path frame;
    frame.moveTo(0, 0);
    frame.lineTo(640, 0);
    frame.lineTo(640, 480);
    frame.lineTo(0, 480);
    frame.close();
    for (const Case& c : cases) {
        const Paint paint = Paint::bitmap({bm, c.m, false, c.smooth});
        // With the kernels the processor allows, then with the SSE2 baseline alone (same pixels).
        double ms[2];
        std::vector<player::Pixel> picture[2];
        for (int pass = 0; pass < 2; ++pass) {
            raster::allowWideSimd(pass == 0);
            canvas.fillPath(frame, raster::FillRule::EvenOdd, paint, true);  // warm-up
            const double cpu0 = threadCpuMs();
            for (int i = 0; i < frames; ++i)
                canvas.fillPath(frame, raster::FillRule::EvenOdd, paint, true);
            ms[pass] = (threadCpuMs() - cpu0) / frames;
            picture[pass].assign(canvas.pixels(), canvas.pixels() + 640 * 480);
        }
        raster::allowWideSimd(true);
        std::printf("raster_bench bitmap fill, %s: CPU %.3f ms/frame (SSE2 only %.3f, %s)\n", c.name, ms[0],
                    ms[1], picture[0] == picture[1] ? "same pixels" : "PIXELS DIFFER");
    }
}

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 500;
    if (frames <= 0) frames = 500;
    std::vector<player::Pixel> pixels(640 * 480);
    raster::Canvas canvas(pixels.data(), 640, 480, 640);
    const std::vector<Item> items = buildFrame();
    for (bool aa : {true, false}) {
        drawFrame(canvas, items, aa);  // warm-up: buffers grow once
        auto t0 = std::chrono::steady_clock::now();
        double cpu0 = threadCpuMs();
        for (int i = 0; i < frames; ++i)
            drawFrame(canvas, items, aa);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        double cpuMs = threadCpuMs() - cpu0;
        uint64_t sum = 0;
        for (player::Pixel p : pixels)
            sum += p;
        std::printf(
            "raster_bench %s: %zu shapes, 640x480, %d frames: %.3f ms/frame, %.1f frames/s; CPU %.3f "
            "ms/frame, "
            "%.1f frames/s (checksum %llu)\n",
            aa ? "high (anti-aliased)" : "low (aliased)", items.size(), frames, ms / frames,
            1000.0 * frames / ms, cpuMs / frames, 1000.0 * frames / cpuMs, (unsigned long long)sum);
    }
    drawBitmaps(canvas, std::max(1, frames / 2));
    // Where the anti-aliased frame's time goes (each figure includes the clear).
    for (Only only : {Only::Fills, Only::Strokes}) {
        double cpu0 = threadCpuMs();
        for (int i = 0; i < frames; ++i)
            drawFrame(canvas, items, true, only);
        std::printf("raster_bench high, %s only: CPU %.3f ms/frame\n",
                    only == Only::Fills ? "fills" : "strokes", (threadCpuMs() - cpu0) / frames);
    }
    return 0;
}
