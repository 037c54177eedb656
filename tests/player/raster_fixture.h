// Small helpers shared by the rasterizer tests: a canvas over its own pixels, shape builders, readers.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "player/raster/canvas.h"

namespace raster_test {

struct Surface {
    explicit Surface(int w = 32, int h = 32) : width(w), height(h), pixels(size_t(w) * h, 0) {
        canvas.setTarget(pixels.data(), w, h, w);
    }
    player::Pixel at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    int alpha(int x, int y) const { return int(at(x, y) >> 24); }
    int red(int x, int y) const { return int((at(x, y) >> 16) & 255); }
    int green(int x, int y) const { return int((at(x, y) >> 8) & 255); }
    int blue(int x, int y) const { return int(at(x, y) & 255); }
    // Sum of alpha over the canvas, in pixels (255 = one pixel fully covered).
    double coveredPixels() const {
        double s = 0;
        for (player::Pixel p : pixels)
            s += double(p >> 24) / 255.0;
        return s;
    }

    int width, height;
    std::vector<player::Pixel> pixels;
    raster::Canvas canvas;
};

inline void addRect(raster::Path& p, double x0, double y0, double x1, double y1, bool clockwise = true) {
    p.moveTo(x0, y0);
    if (clockwise) {
        p.lineTo(x1, y0);
        p.lineTo(x1, y1);
        p.lineTo(x0, y1);
    } else {
        p.lineTo(x0, y1);
        p.lineTo(x1, y1);
        p.lineTo(x1, y0);
    }
    p.close();
}

inline raster::Path rect(double x0, double y0, double x1, double y1) {
    raster::Path p;
    addRect(p, x0, y0, x1, y1);
    return p;
}

// A circle from eight quadratic curves (as SWF shapes draw them).
inline raster::Path circle(double cx, double cy, double r) {
    raster::Path p;
    const double k = r / std::cos(std::numbers::pi / 8);
    p.moveTo(cx + r, cy);
    for (int i = 1; i <= 8; ++i) {
        double mid = (i - 0.5) * std::numbers::pi / 4, end = i * std::numbers::pi / 4;
        p.quadTo(cx + k * std::cos(mid), cy + k * std::sin(mid), cx + r * std::cos(end),
                 cy + r * std::sin(end));
    }
    p.close();
    return p;
}

inline raster::Paint solid(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    return raster::Paint::solid({r, g, b, a});
}

}  // namespace raster_test
