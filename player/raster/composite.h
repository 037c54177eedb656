// Composite stage: source-over of premultiplied colour onto the target row, scaled by coverage, and the
// union of coverage into a mask layer. Inner loops of every draw; kept inline and branch-light.
#pragma once

#include <cstdint>

#include "player/raster/color.h"

namespace raster {

// dst[i] = color * cov[i] over dst[i].
inline void compositeSolid(player::Pixel* dst, const uint8_t* cov, int n, player::Pixel color) {
    const bool opaque = (color >> 24) == 255;
    for (int i = 0; i < n; ++i) {
        uint32_t c = cov[i];
        if (c == 255) {
            dst[i] = opaque ? color : srcOver(color, dst[i]);
        } else if (c) {
            dst[i] = srcOver(byteMul(color, c), dst[i]);
        }
    }
}

// dst[i] = src[i] * cov[i] over dst[i].
inline void compositeSpan(player::Pixel* dst, const uint8_t* cov, const player::Pixel* src, int n) {
    for (int i = 0; i < n; ++i) {
        uint32_t c = cov[i];
        if (c == 255) {
            uint32_t s = src[i];
            dst[i] = (s >> 24) == 255 ? s : srcOver(s, dst[i]);
        } else if (c) {
            dst[i] = srcOver(byteMul(src[i], c), dst[i]);
        }
    }
}

// A run of n pixels with the same coverage cov (1..255) of one colour.
inline void compositeSolidRun(player::Pixel* dst, int n, player::Pixel color, uint32_t cov) {
    if (cov == 255 && (color >> 24) == 255) {
        for (int i = 0; i < n; ++i)
            dst[i] = color;
        return;
    }
    const uint32_t s = cov == 255 ? color : byteMul(color, cov);
    const uint32_t inv = 255 - (s >> 24);
    for (int i = 0; i < n; ++i)
        dst[i] = s + byteMul(dst[i], inv);
}

// A run of n pixels with the same coverage cov (1..255) of colours src.
inline void compositeRun(player::Pixel* dst, const player::Pixel* src, int n, uint32_t cov) {
    if (cov == 255) {
        for (int i = 0; i < n; ++i) {
            uint32_t s = src[i];
            dst[i] = (s >> 24) == 255 ? s : srcOver(s, dst[i]);
        }
    } else {
        for (int i = 0; i < n; ++i)
            dst[i] = srcOver(byteMul(src[i], cov), dst[i]);
    }
}

// Coverage of a mask shape added to a mask layer (alpha source-over: overlapping mask shapes unite).
inline void compositeMask(uint8_t* dst, const uint8_t* cov, int n) {
    for (int i = 0; i < n; ++i) {
        uint32_t c = cov[i];
        dst[i] = uint8_t(c + ((dst[i] * (255 - c) + 127) / 255));
    }
}

// cov[i] scaled by clip[i] into out.
inline void applyClip(const uint8_t* cov, const uint8_t* clip, int n, uint8_t* out) {
    for (int i = 0; i < n; ++i) {
        uint32_t v = cov[i] * clip[i];
        out[i] = uint8_t((v + 128 + ((v + 128) >> 8)) >> 8);
    }
}

}  // namespace raster
