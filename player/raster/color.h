// Colour arithmetic shared by the paint and composite stages: colour transforms on non-premultiplied colour
// (as Flash applies them) and exact 8-bit premultiplied blending.
#pragma once

#include <cstdint>

#include "player/render/geometry.h"

namespace raster {

// channel * mul + add per channel, rounded down and clamped to 0..255 (SWF CXFORM: the 8.8 multiply term's
// product is truncated, then the add term added).
player::Rgba applyColorTransform(player::Rgba c, const player::ColorTransform& ct);

inline player::Pixel premultiply(player::Rgba c) {
    auto m = [&](uint8_t v) { return uint8_t((v * c.a + 127) / 255); };
    return player::packPremultiplied(m(c.r), m(c.g), m(c.b), c.a);
}

player::Rgba unpremultiply(player::Pixel p);

// A premultiplied pixel through a colour transform: unpremultiplied, transformed, premultiplied again.
inline player::Pixel transformPixel(player::Pixel p, const player::ColorTransform& ct) {
    return premultiply(applyColorTransform(unpremultiply(p), ct));
}

// Every channel of x times a / 255, rounded to nearest (exact for all 8-bit x and a): with t = x * a + 128,
// (t + (t >> 8)) >> 8. The vector kernels in composite.h compute the same.
inline uint32_t byteMul(uint32_t x, uint32_t a) {
    uint32_t rb = (x & 0x00ff00ffu) * a + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    uint32_t ag = ((x >> 8) & 0x00ff00ffu) * a + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu)) & 0xff00ff00u;
    return rb | ag;
}

// Premultiplied source over destination.
inline uint32_t srcOver(uint32_t src, uint32_t dst) {
    return src + byteMul(dst, 255 - (src >> 24));
}

// Linear interpolation of two premultiplied pixels with weight w (0..256) on b, rounded.
inline uint32_t lerpPixel(uint32_t a, uint32_t b, uint32_t w) {
    uint32_t rb = ((a & 0x00ff00ffu) * (256 - w) + (b & 0x00ff00ffu) * w + 0x00800080u) >> 8;
    uint32_t ag = (((a >> 8) & 0x00ff00ffu) * (256 - w) + ((b >> 8) & 0x00ff00ffu) * w + 0x00800080u);
    return (rb & 0x00ff00ffu) | (ag & 0xff00ff00u);
}

}  // namespace raster
