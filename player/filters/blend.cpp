#include "player/filters/blend.h"

#include <algorithm>

#include "player/raster/color.h"
#include "player/raster/composite.h"

namespace player::filters {

namespace {

// x * y / 255, rounded to nearest, for 0..255 * 0..255 (and a little beyond for intermediate sums).
inline int mul255(int x, int y) {
    int t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

inline int channel(Pixel p, int shift) {
    return int((p >> shift) & 0xff);
}

inline Pixel pack(int a, int r, int g, int b) {
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    const uint32_t alpha = c(a);
    // Premultiplied colour never exceeds its alpha.
    return (alpha << 24) | (std::min(c(r), alpha) << 16) | (std::min(c(g), alpha) << 8) |
           std::min(c(b), alpha);
}

// Separable modes: f(cs, as, cb, ab) gives the blended premultiplied channel.
template <typename F>
Pixel separable(Pixel s, Pixel d, F f) {
    const int as = channel(s, 24), ab = channel(d, 24);
    const int a = as + ab - mul255(as, ab);
    return pack(a, f(channel(s, 16), as, channel(d, 16), ab), f(channel(s, 8), as, channel(d, 8), ab),
                f(channel(s, 0), as, channel(d, 0), ab));
}

// Flash's hard light on premultiplied channels: the source decides between multiply and screen.
inline int hardLight(int cs, int as, int cb, int ab) {
    const int outside = mul255(cs, 255 - ab) + mul255(cb, 255 - as);
    if (2 * cs <= as) return outside + 2 * mul255(cs, cb);
    return outside + mul255(as, ab) - 2 * mul255(ab - cb, as - cs);
}

}  // namespace

BlendMode blendModeFromByte(uint8_t value) {
    if (value >= 2 && value <= 14) return static_cast<BlendMode>(value);
    return BlendMode::Normal;
}

Pixel blendPixel(Pixel s, Pixel d, BlendMode mode) {
    switch (mode) {
        case BlendMode::Normal:
        case BlendMode::Layer:
            return raster::srcOver(s, d);
        case BlendMode::Multiply:
            return separable(s, d, [](int cs, int as, int cb, int ab) {
                return mul255(cs, 255 - ab) + mul255(cb, 255 - as) + mul255(cs, cb);
            });
        case BlendMode::Screen:
            return separable(s, d, [](int cs, int, int cb, int) { return cs + cb - mul255(cs, cb); });
        case BlendMode::Lighten:
            return separable(s, d, [](int cs, int as, int cb, int ab) {
                return cs + cb - std::min(mul255(cs, ab), mul255(cb, as));
            });
        case BlendMode::Darken:
            return separable(s, d, [](int cs, int as, int cb, int ab) {
                return cs + cb - std::max(mul255(cs, ab), mul255(cb, as));
            });
        case BlendMode::Difference:
            return separable(s, d, [](int cs, int as, int cb, int ab) {
                return cs + cb - 2 * std::min(mul255(cs, ab), mul255(cb, as));
            });
        case BlendMode::Add:
            // Every channel adds up, alpha too (reference pictures of add inside a layer).
            return pack(channel(s, 24) + channel(d, 24), channel(s, 16) + channel(d, 16),
                        channel(s, 8) + channel(d, 8), channel(s, 0) + channel(d, 0));
        case BlendMode::Subtract:
            return separable(s, d, [](int cs, int as, int cb, int ab) {
                return mul255(cs, 255 - ab) + mul255(cb, 255 - as) +
                       std::max(0, mul255(cb, as) - mul255(cs, ab));
            });
        case BlendMode::Invert:
            // The destination turns to its negative where the source covers it (a transparent destination
            // turns white); the source's colour is unused.
            return separable(
                s, d, [](int, int as, int cb, int) { return mul255(255 - cb, as) + mul255(cb, 255 - as); });
        case BlendMode::Alpha: {
            const int as = channel(s, 24);
            return pack(mul255(channel(d, 24), as), mul255(channel(d, 16), as), mul255(channel(d, 8), as),
                        mul255(channel(d, 0), as));
        }
        case BlendMode::Erase: {
            const int keep = 255 - channel(s, 24);
            return pack(mul255(channel(d, 24), keep), mul255(channel(d, 16), keep),
                        mul255(channel(d, 8), keep), mul255(channel(d, 0), keep));
        }
        case BlendMode::Overlay:
            return separable(s, d, [](int cs, int as, int cb, int ab) { return hardLight(cb, ab, cs, as); });
        case BlendMode::HardLight:
            return separable(s, d, hardLight);
    }
    return raster::srcOver(s, d);
}

void blendRow(Pixel* dst, const Pixel* src, const uint8_t* clip, int n, BlendMode mode) {
    if (mode == BlendMode::Normal || mode == BlendMode::Layer) {
        if (clip)
            raster::compositeSpan(dst, clip, src, n);
        else
            raster::compositeRun(dst, src, n, 255);
        return;
    }
    for (int i = 0; i < n; ++i) {
        Pixel s = src[i];
        if (clip) {
            if (clip[i] == 0) continue;
            if (clip[i] != 255) s = raster::byteMul(s, clip[i]);
        }
        // A fully transparent source leaves the destination as it is in every mode but alpha, which clears
        // what it does not cover.
        if (s == 0 && mode != BlendMode::Alpha) continue;
        dst[i] = blendPixel(s, dst[i], mode);
    }
}

}  // namespace player::filters
