// Plain geometry and colour types shared by the player core, the bitmap decoders and the rasterizer.
// Value types only; no ownership, no threads, no I/O.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace player {

// Affine matrix as SWF MATRIX stores it: x' = a*x + c*y + tx, y' = b*x + d*y + ty
// (a = ScaleX, b = RotateSkew0, c = RotateSkew1, d = ScaleY). Units of tx/ty are whatever space the
// matrix maps into (twips inside the movie, pixels once the stage transform is applied).
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static Matrix translate(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static Matrix scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    // this * o: apply o first, then this.
    Matrix operator*(const Matrix& o) const {
        return {a * o.a + c * o.b, b * o.a + d * o.b,        a * o.c + c * o.d,
                b * o.c + d * o.d, a * o.tx + c * o.ty + tx, b * o.tx + d * o.ty + ty};
    }
    void apply(double x, double y, double& ox, double& oy) const {
        ox = a * x + c * y + tx;
        oy = b * x + d * y + ty;
    }
    double determinant() const { return a * d - b * c; }
    // Inverse; a singular matrix yields the zero matrix (which maps everything to one point).
    Matrix inverted() const {
        double det = determinant();
        if (det == 0) return {0, 0, 0, 0, 0, 0};
        double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
        return {ia, ib, ic, id, -(ia * tx + ic * ty), -(ib * tx + id * ty)};
    }
    bool operator==(const Matrix&) const = default;
};

// Colour transform: channel' = channel * mul + add, with add in 0..255 units, each result clamped to 0..255.
// Applied to non-premultiplied colour.
struct ColorTransform {
    float rm = 1, gm = 1, bm = 1, am = 1;
    float ra = 0, ga = 0, ba = 0, aa = 0;

    // this applied after o.
    ColorTransform operator*(const ColorTransform& o) const {
        return {rm * o.rm,      gm * o.gm,      bm * o.bm,      am * o.am,
                ra + rm * o.ra, ga + gm * o.ga, ba + bm * o.ba, aa + am * o.aa};
    }
    bool isIdentity() const {
        return rm == 1 && gm == 1 && bm == 1 && am == 1 && ra == 0 && ga == 0 && ba == 0 && aa == 0;
    }
    bool operator==(const ColorTransform&) const = default;
};

// Non-premultiplied 8-bit colour.
struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

// Premultiplied 32-bit pixel, in memory order B, G, R, A on little-endian machines (value 0xAARRGGBB),
// the layout of QImage::Format_ARGB32_Premultiplied.
using Pixel = uint32_t;

inline Pixel packPremultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// A decoded bitmap: premultiplied pixels, width * height, rows tightly packed.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;
    // No pixel has alpha below 255 (lets the painter skip blending work). Whoever fills the pixels says so;
    // until then the bitmap counts as possibly transparent.
    bool opaque = false;
    // Counts changes of the pixels in place (a video picture decoded over the one shown before): caches of
    // what is derived from a bitmap (its smaller levels) keep the revision they were built from.
    uint64_t revision = 0;
};

using BitmapPtr = std::shared_ptr<const Bitmap>;

}  // namespace player
