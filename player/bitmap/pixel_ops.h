// Small pixel helpers shared by the bitmap decoders.
#pragma once

#include <cstdint>

#include "player/render/geometry.h"

namespace player::pixel {

// round(c * a / 255) for 8-bit values, exact.
inline uint8_t mul255(uint32_t c, uint32_t a) {
    uint32_t t = c * a + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

// Straight (non-premultiplied) colour to our premultiplied pixel.
inline Pixel fromStraight(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    if (a == 255) return packPremultiplied(r, g, b, 255);
    return packPremultiplied(mul255(r, a), mul255(g, a), mul255(b, a), a);
}

// Colour that the file says is premultiplied already. A channel above alpha is not a valid premultiplied
// value and would overflow when composited, so it is clamped to alpha.
inline Pixel fromPremultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    if (r > a) r = a;
    if (g > a) g = a;
    if (b > a) b = a;
    return packPremultiplied(r, g, b, a);
}

inline uint8_t alphaOf(Pixel p) {
    return uint8_t(p >> 24);
}

// Sets bitmap.opaque from its pixels.
inline void updateOpaque(Bitmap& bitmap) {
    bitmap.opaque = true;
    for (Pixel p : bitmap.pixels) {
        if (alphaOf(p) != 255) {
            bitmap.opaque = false;
            return;
        }
    }
}

}  // namespace player::pixel
