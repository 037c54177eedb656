// Composite stage: source-over of premultiplied colour onto the target row, scaled by coverage, and the
// union of coverage into a mask layer. Inner loops of every draw; kept inline and branch-light.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "player/raster/color.h"

namespace raster {

#if defined(__SSE2__)
namespace simd {

// Per 16-bit lane x * a / 255 rounded, x and a at most 255 (the same arithmetic as byteMul).
inline __m128i mulDiv255(__m128i x, __m128i a) {
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, a), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// Each pixel's alpha (its fourth 16-bit lane) copied to all four of its lanes.
inline __m128i alphas(__m128i p16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(p16, 0xff), 0xff);
}

// Four pixels times per-lane factors f (16-bit lanes, low and high pixel pairs).
inline __m128i scale(__m128i p, __m128i fLo, __m128i fHi) {
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = mulDiv255(_mm_unpacklo_epi8(p, zero), fLo);
    __m128i hi = mulDiv255(_mm_unpackhi_epi8(p, zero), fHi);
    return _mm_packus_epi16(lo, hi);
}

// Four premultiplied pixels s over d.
inline __m128i over(__m128i s, __m128i d) {
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255);
    __m128i invLo = _mm_sub_epi16(full, alphas(_mm_unpacklo_epi8(s, zero)));
    __m128i invHi = _mm_sub_epi16(full, alphas(_mm_unpackhi_epi8(s, zero)));
    return _mm_adds_epu8(s, scale(d, invLo, invHi));
}

// Four coverage bytes spread over the lanes of their pixels.
inline void coverageLanes(uint32_t c4, __m128i& lo, __m128i& hi) {
    const __m128i zero = _mm_setzero_si128();
    __m128i c = _mm_cvtsi32_si128(int(c4));
    c = _mm_unpacklo_epi8(c, c);  // c0 c0 c1 c1 c2 c2 c3 c3
    c = _mm_unpacklo_epi8(c, c);  // c0 x4, c1 x4, c2 x4, c3 x4
    lo = _mm_unpacklo_epi8(c, zero);
    hi = _mm_unpackhi_epi8(c, zero);
}

inline bool allOpaque(__m128i p) {
    const __m128i a = _mm_set1_epi32(int(0xff000000u));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(p, a), a)) == 0xffff;
}

inline __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

}  // namespace simd
#endif

// n pixels set to v, 16 bytes a store (the compiler leaves a plain fill loop storing one pixel at a time).
inline void fillPixels(player::Pixel* dst, int n, player::Pixel v) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i v4 = _mm_set1_epi32(int(v));
    for (; i + 8 <= n; i += 8) {
        simd::store(dst + i, v4);
        simd::store(dst + i + 4, v4);
    }
    for (; i + 4 <= n; i += 4)
        simd::store(dst + i, v4);
#endif
    for (; i < n; ++i)
        dst[i] = v;
}

// dst[i] = color * cov[i] over dst[i].
inline void compositeSolid(player::Pixel* dst, const uint8_t* cov, int n, player::Pixel color) {
    const bool opaque = (color >> 24) == 255;
    int i = 0;
#if defined(__SSE2__)
    const __m128i col = _mm_set1_epi32(int(color));
    for (; i + 4 <= n; i += 4) {
        uint32_t c4;
        std::memcpy(&c4, cov + i, 4);
        if (c4 == 0) continue;
        if (c4 == 0xffffffffu && opaque) {
            simd::store(dst + i, col);
            continue;
        }
        __m128i lo, hi;
        simd::coverageLanes(c4, lo, hi);
        simd::store(dst + i, simd::over(simd::scale(col, lo, hi), simd::load(dst + i)));
    }
#endif
    for (; i < n; ++i) {
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
    int i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= n; i += 4) {
        uint32_t c4;
        std::memcpy(&c4, cov + i, 4);
        if (c4 == 0) continue;
        __m128i s = simd::load(src + i);
        if (c4 != 0xffffffffu) {
            __m128i lo, hi;
            simd::coverageLanes(c4, lo, hi);
            s = simd::scale(s, lo, hi);
        } else if (simd::allOpaque(s)) {
            simd::store(dst + i, s);
            continue;
        }
        simd::store(dst + i, simd::over(s, simd::load(dst + i)));
    }
#endif
    for (; i < n; ++i) {
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
        fillPixels(dst, n, color);
        return;
    }
    const uint32_t s = cov == 255 ? color : byteMul(color, cov);
    const uint32_t inv = 255 - (s >> 24);
    int i = 0;
#if defined(__SSE2__)
    const __m128i s4 = _mm_set1_epi32(int(s)), inv16 = _mm_set1_epi16(short(inv));
    for (; i + 4 <= n; i += 4) {
        simd::store(dst + i, _mm_adds_epu8(s4, simd::scale(simd::load(dst + i), inv16, inv16)));
    }
#endif
    for (; i < n; ++i)
        dst[i] = s + byteMul(dst[i], inv);
}

// A run of n pixels with the same coverage cov (1..255) of colours src.
inline void compositeRun(player::Pixel* dst, const player::Pixel* src, int n, uint32_t cov) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i c16 = _mm_set1_epi16(short(cov));
    for (; i + 4 <= n; i += 4) {
        __m128i s = simd::load(src + i);
        if (cov != 255) {
            s = simd::scale(s, c16, c16);
        } else if (simd::allOpaque(s)) {
            simd::store(dst + i, s);
            continue;
        }
        simd::store(dst + i, simd::over(s, simd::load(dst + i)));
    }
#endif
    for (; i < n; ++i) {
        uint32_t s = cov == 255 ? src[i] : byteMul(src[i], cov);
        dst[i] = (s >> 24) == 255 ? s : srcOver(s, dst[i]);
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
