#include "player/media/yuv_convert.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>
#endif

namespace player::media {

namespace {

// 16.16 fixed point: 1.164 (luma), 1.596 (red from V), 0.391 and 0.813 (green from U and V), 2.018 (blue
// from U).
constexpr int kLuma = 76309, kRedV = 104597, kGreenU = -25675, kGreenV = -53279, kBlueU = 132201;

inline Pixel pixel(uint32_t r, uint32_t g, uint32_t b, const uint8_t* a, int x) {
    if (!a) return 0xff000000u | (r << 16) | (g << 8) | b;
    const uint32_t alpha = a[x];
    return (alpha << 24) | (std::min(r, alpha) << 16) | (std::min(g, alpha) << 8) | std::min(b, alpha);
}

void scalarFrom(int x, const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t* a, Pixel* dst,
                int width) {
    auto clamp = [](int c) { return uint32_t(std::clamp(c, 0, 255)); };
    for (; x < width; ++x) {
        const int d = int(u[x / 2]) - 128, e = int(v[x / 2]) - 128;
        const int c = (int(y[x]) - 16) * kLuma + 32768;
        dst[x] = pixel(clamp((c + kRedV * e) >> 16), clamp((c + kGreenU * d + kGreenV * e) >> 16),
                       clamp((c + kBlueU * d) >> 16), a, x);
    }
}

#if defined(__SSE2__)
// Four pixels' channels from their luma, U and V less their offsets (16-bit values in the low four lanes
// of each argument), as 32-bit lanes before the shift. The coefficients do not fit 16 bits: each is split
// into a power-of-two part taken by shifts and a small part taken by madd, which leaves the sums exact.
struct Channels {
    __m128i r, g, b;
};

inline Channels channels4(__m128i yv, __m128i d, __m128i e) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(32768);
    const __m128i y16 = _mm_unpacklo_epi16(zero, yv);  // yv << 16
    const __m128i e16 = _mm_unpacklo_epi16(zero, e);   // e << 16
    const __m128i d16 = _mm_unpacklo_epi16(zero, d);   // d << 16
    const __m128i yBase = _mm_add_epi32(y16, half);
    const __m128i ye = _mm_unpacklo_epi16(yv, e), yd = _mm_unpacklo_epi16(yv, d);
    const __m128i eZero = _mm_unpacklo_epi16(e, zero);
    auto pair = [](int lo, int hi) {
        return _mm_set1_epi32(int((uint32_t(uint16_t(hi)) << 16) | uint16_t(lo)));
    };
    // kLuma = 65536 + 10773, kRedV = 65536 + 32768 + 6293, kGreenV = -65536 + 12257,
    // kBlueU = 131072 + 1129.
    Channels c;
    c.r = _mm_add_epi32(_mm_add_epi32(yBase, _mm_add_epi32(e16, _mm_srai_epi32(e16, 1))),
                        _mm_madd_epi16(ye, pair(10773, 6293)));
    c.g = _mm_add_epi32(_mm_sub_epi32(yBase, e16), _mm_add_epi32(_mm_madd_epi16(yd, pair(10773, kGreenU)),
                                                                 _mm_madd_epi16(eZero, pair(12257, 0))));
    c.b = _mm_add_epi32(_mm_add_epi32(yBase, _mm_slli_epi32(d16, 1)), _mm_madd_epi16(yd, pair(10773, 1129)));
    return c;
}

inline __m128i toBytes(__m128i lo, __m128i hi) {
    const __m128i words = _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
    return _mm_packus_epi16(words, words);  // clamps to 0..255
}
#endif

}  // namespace

void yuvRowScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t* a, Pixel* dst,
                  int width) {
    scalarFrom(0, y, u, v, a, dst, width);
}

void yuvRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t* a, Pixel* dst, int width) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i lumaOffset = _mm_set1_epi16(16), chromaOffset = _mm_set1_epi16(128);
    for (; x + 8 <= width; x += 8) {
        uint32_t u4, v4;
        std::memcpy(&u4, u + x / 2, 4);
        std::memcpy(&v4, v + x / 2, 4);
        const __m128i yb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + x));
        __m128i ub = _mm_cvtsi32_si128(int(u4)), vb = _mm_cvtsi32_si128(int(v4));
        ub = _mm_unpacklo_epi8(ub, ub);  // each chroma value serves two pixels
        vb = _mm_unpacklo_epi8(vb, vb);
        const __m128i yv = _mm_sub_epi16(_mm_unpacklo_epi8(yb, zero), lumaOffset);
        const __m128i d = _mm_sub_epi16(_mm_unpacklo_epi8(ub, zero), chromaOffset);
        const __m128i e = _mm_sub_epi16(_mm_unpacklo_epi8(vb, zero), chromaOffset);
        const Channels lo = channels4(yv, d, e);
        const Channels hi =
            channels4(_mm_unpackhi_epi64(yv, yv), _mm_unpackhi_epi64(d, d), _mm_unpackhi_epi64(e, e));
        __m128i r = toBytes(lo.r, hi.r), g = toBytes(lo.g, hi.g), b = toBytes(lo.b, hi.b);
        __m128i alpha = _mm_set1_epi8(char(0xff));
        if (a) {
            alpha = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + x));
            r = _mm_min_epu8(r, alpha);
            g = _mm_min_epu8(g, alpha);
            b = _mm_min_epu8(b, alpha);
        }
        // Pixels are 0xAARRGGBB: bytes B, G, R, A in memory.
        const __m128i bg = _mm_unpacklo_epi8(b, g), ra = _mm_unpacklo_epi8(r, alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_unpacklo_epi16(bg, ra));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x + 4), _mm_unpackhi_epi16(bg, ra));
    }
#endif
    scalarFrom(x, y, u, v, a, dst, width);
}

}  // namespace player::media
