#include "player/raster/span_painter.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "player/raster/color.h"
#include "player/raster/composite.h"

namespace raster {

namespace {

constexpr float kGradientHalf = 16384.0f;  // half side of the SWF gradient square

// Colour at ramp position u (16.16 fixed, 256 units across the gradient square, any value) under the
// spread mode. Blended: the ramp holds the colours at whole ratios and between them colours are
// interpolated, the colour of ratio r sitting at u = r + 0.5 (the middle of its 1/256 of the square), so a
// gradient stretched over many pixels shows no steps (Flash Player's pictures without anti-aliasing are
// smooth there). Stepped: the entry u falls in, nothing blended (its anti-aliased pictures show each entry
// as a hard step).
template <SpreadMode S, GradientSampling M>
inline player::Pixel sampleRamp(const GradientRamp& ramp, int64_t u) {
    constexpr int64_t kPeriod = int64_t(256) << 16;
    if constexpr (S == SpreadMode::Pad) {
        u = std::clamp<int64_t>(u, 0, kPeriod - 1);
    } else if constexpr (S == SpreadMode::Repeat) {
        u &= kPeriod - 1;
    } else {
        u &= 2 * kPeriod - 1;
        if (u >= kPeriod) u = 2 * kPeriod - 1 - u;
    }
    if constexpr (M == GradientSampling::Stepped) {
        return ramp[size_t(u >> 16)];
    } else {
        int64_t rho = std::clamp<int64_t>(u - (1 << 15), 0, int64_t(255) << 16);
        int i = int(rho >> 16);
        uint32_t w = uint32_t(rho >> 8) & 255;
        return w ? lerpPixel(ramp[i], ramp[i + 1], w) : ramp[i];
    }
}

// Where in a pixel the gradient is looked up: blended sampling at its centre, stepped sampling at its
// top-left corner (where Flash Player's anti-aliased pictures put the step between entries).
template <GradientSampling M>
constexpr double kSampleOffset = M == GradientSampling::Stepped ? 0.0 : 0.5;

// Floating ramp position (256 units across the square) to 16.16 fixed, NaN and huge values tamed.
inline int64_t toRampFixed(float u) {
    if (!(u > -1.0e9f)) u = -1.0e9f;
    if (!(u < 1.0e9f)) u = 1.0e9f;
    return int64_t(double(u) * 65536.0);
}

// Linear gradients step along the ramp by a constant amount per pixel: 16.16 fixed point, no floats in
// the loop, and one colour for the whole span when the gradient runs along y only.
template <SpreadMode S, GradientSampling M>
void linearLoop(const player::Matrix& inv, const GradientRamp& ramp, int y, int x0, int x1,
                player::Pixel* out) {
    // Ramp position u = (gx + 16384) * 256 / 32768 = gx / 128 + 128, in 1/65536 units.
    constexpr double o = kSampleOffset<M>;
    double gx = inv.a * (x0 + o) + inv.c * (y + o) + inv.tx;
    int64_t fu = int64_t(std::clamp(gx / 128 + 128, -1.0e9, 1.0e9) * 65536);
    int64_t fdu = int64_t(std::clamp(inv.a / 128, -1.0e6, 1.0e6) * 65536);
    const int n = x1 - x0;
    if (fdu == 0) {
        fillPixels(out, n, sampleRamp<S, M>(ramp, fu));
        return;
    }
    if constexpr (S == SpreadMode::Pad) {
        // Padded, the clamp in sampleRamp bites only before and after the positions [lo, hi] where the
        // ramp is read unclamped: there every pixel takes the end entry it clamps to. In between the
        // entries are read directly, with the same arithmetic as sampleRamp.
        constexpr int64_t kHalf = M == GradientSampling::Stepped ? 0 : int64_t(1) << 15;
        constexpr int64_t lo = kHalf,
                          hi = kHalf + (int64_t(255) << 16) + (M == GradientSampling::Stepped ? 0xffff : 0);
        // First pixel at or past a position, counted along the step's direction.
        auto firstAtOrPast = [&](int64_t bound, bool rising) -> int64_t {
            if (rising ? fu >= bound : fu <= bound) return 0;
            int64_t dist = rising ? bound - fu : fu - bound, step = rising ? fdu : -fdu;
            return (dist + step - 1) / step;
        };
        const bool rising = fdu > 0;
        // Pixels [0, a) lie before the unclamped range, [a, b) inside, [b, n) after.
        int64_t a = firstAtOrPast(rising ? lo : hi, rising);
        int64_t b = rising ? firstAtOrPast(hi + 1, true) : firstAtOrPast(lo - 1, false);
        const int ia = int(std::min<int64_t>(a, n)), ib = int(std::clamp<int64_t>(b, ia, n));
        if (ia > 0) fillPixels(out, ia, sampleRamp<S, M>(ramp, fu));
        int64_t u = fu + ia * fdu;
        const player::Pixel* r = ramp.data();
        for (int i = ia; i < ib; ++i, u += fdu) {
            if constexpr (M == GradientSampling::Stepped) {
                out[i] = r[u >> 16];
            } else {
                const int64_t rho = u - kHalf;
                const uint32_t w = uint32_t(rho >> 8) & 255;
                const int k = int(rho >> 16);
                out[i] = w ? lerpPixel(r[k], r[k + 1], w) : r[k];
            }
        }
        if (ib < n) fillPixels(out + ib, n - ib, sampleRamp<S, M>(ramp, fu + ib * fdu));
        return;
    }
    for (int i = 0; i < n; ++i, fu += fdu)
        out[i] = sampleRamp<S, M>(ramp, fu);
}

template <GradientType T, SpreadMode S, GradientSampling M>
void gradientLoop(const player::Matrix& inv, const GradientRamp& ramp, float focal, int y, int x0, int x1,
                  player::Pixel* out) {
    constexpr double o = kSampleOffset<M>;
    float gx = float(inv.a * (x0 + o) + inv.c * (y + o) + inv.tx);
    float gy = float(inv.b * (x0 + o) + inv.d * (y + o) + inv.ty);
    const float dx = float(inv.a), dy = float(inv.b);
    const float fx = focal * kGradientHalf;
    const float cTerm = fx * fx - kGradientHalf * kGradientHalf;  // |F|^2 - R^2, negative
    for (int x = x0; x < x1; ++x, gx += dx, gy += dy) {
        float u;
        if constexpr (T == GradientType::Linear) {
            u = (gx + kGradientHalf) * (256.0f / (2 * kGradientHalf));
        } else if constexpr (T == GradientType::Radial) {
            u = std::sqrt(gx * gx + gy * gy) * (256.0f / kGradientHalf);
        } else {
            // Ratio along the ray from the focal point F through p to the circle: |p - F| / |q - F| where
            // q is where the ray leaves the circle; with d = p - F that is |d|^2 / (-F.d + sqrt((F.d)^2 -
            // |d|^2 (|F|^2 - R^2))).
            float ddx = gx - fx, ddy = gy;
            float a = ddx * ddx + ddy * ddy;
            float b = fx * ddx;
            float den = -b + std::sqrt(b * b - a * cTerm);
            u = den > 0 ? a / den * 256.0f : 0.0f;
        }
        out[x - x0] = sampleRamp<S, M>(ramp, toRampFixed(u));
    }
}

template <GradientType T, GradientSampling M>
void gradientSpread(SpreadMode s, const player::Matrix& inv, const GradientRamp& ramp, float focal, int y,
                    int x0, int x1, player::Pixel* out) {
    if constexpr (T == GradientType::Linear) {
        switch (s) {
            case SpreadMode::Pad:
                return linearLoop<SpreadMode::Pad, M>(inv, ramp, y, x0, x1, out);
            case SpreadMode::Reflect:
                return linearLoop<SpreadMode::Reflect, M>(inv, ramp, y, x0, x1, out);
            case SpreadMode::Repeat:
                return linearLoop<SpreadMode::Repeat, M>(inv, ramp, y, x0, x1, out);
        }
    }
    switch (s) {
        case SpreadMode::Pad:
            return gradientLoop<T, SpreadMode::Pad, M>(inv, ramp, focal, y, x0, x1, out);
        case SpreadMode::Reflect:
            return gradientLoop<T, SpreadMode::Reflect, M>(inv, ramp, focal, y, x0, x1, out);
        case SpreadMode::Repeat:
            return gradientLoop<T, SpreadMode::Repeat, M>(inv, ramp, focal, y, x0, x1, out);
    }
}

template <GradientType T>
void gradientSampling(GradientSampling m, SpreadMode s, const player::Matrix& inv, const GradientRamp& ramp,
                      float focal, int y, int x0, int x1, player::Pixel* out) {
    if (m == GradientSampling::Stepped)
        return gradientSpread<T, GradientSampling::Stepped>(s, inv, ramp, focal, y, x0, x1, out);
    return gradientSpread<T, GradientSampling::Blended>(s, inv, ramp, focal, y, x0, x1, out);
}

// Texel coordinate to index: wrapped when repeating, clamped to the edge otherwise.
inline int wrapIndex(int64_t i, int n, bool repeat) {
    if (repeat) {
        int64_t m = i % n;
        return int(m < 0 ? m + n : m);
    }
    return int(std::clamp<int64_t>(i, 0, n - 1));
}

// Bitmap coordinates along a span in 32.32 fixed point: texel x = fx >> 32, and the fraction's top byte is
// the bilinear weight. Spans whose coordinates stay within +-2^29 texels take the fixed-point loops; the
// rest (absurd matrices) the floating-point one.
constexpr int kTexelShift = 32;
constexpr double kTexelOne = double(int64_t(1) << kTexelShift);
constexpr double kFixedLimit = double(1 << 29);

struct TexelWalk {
    int64_t x, y;    // first pixel's sample point, minus half a texel when smoothed
    int64_t dx, dy;  // change per pixel
};

// A repeating coordinate brought into [0, n texels), and its step too (adding whole periods changes no
// texel), so each step needs at most one subtraction.
inline int64_t wrapFixed(int64_t v, int n) {
    const int64_t period = int64_t(n) << kTexelShift;
    v %= period;
    return v < 0 ? v + period : v;
}

template <bool Repeat>
inline int texelIndex(int64_t v, int n) {
    if constexpr (Repeat) {
        return int(v >> kTexelShift);
    } else {
        return int(std::clamp<int64_t>(v >> kTexelShift, 0, n - 1));
    }
}

// Nearest texel per pixel.
template <bool Repeat>
void nearestSpan(const player::Bitmap& bm, TexelWalk t, int n, player::Pixel* out) {
    const int w = bm.width, h = bm.height;
    const player::Pixel* px = bm.pixels.data();
    const int64_t periodX = int64_t(w) << kTexelShift, periodY = int64_t(h) << kTexelShift;
    if (t.dy == 0) {
        const player::Pixel* row = px + size_t(texelIndex<Repeat>(t.y, h)) * size_t(w);
        if (t.dx == int64_t(1) << kTexelShift) {
            // Unscaled along the row: runs of texels copied as they are.
            int u = int(t.x >> kTexelShift);
            for (int i = 0; i < n;) {
                if constexpr (Repeat) {
                    const int run = std::min(n - i, w - u);
                    std::copy(row + u, row + u + run, out + i);
                    i += run;
                    u = 0;
                } else {
                    if (u < 0 || u >= w) {
                        // Before the bitmap the first texel repeats, after it the last.
                        const int64_t run = u < 0 ? std::min<int64_t>(n - i, int64_t(-u)) : n - i;
                        fillPixels(out + i, int(run), row[u < 0 ? 0 : w - 1]);
                        i += int(run);
                        u += int(run);
                    } else {
                        const int run = std::min(n - i, w - u);
                        std::copy(row + u, row + u + run, out + i);
                        i += run;
                        u += run;
                    }
                }
            }
            return;
        }
        for (int i = 0; i < n; ++i) {
            out[i] = row[texelIndex<Repeat>(t.x, w)];
            t.x += t.dx;
            if constexpr (Repeat) t.x -= t.x >= periodX ? periodX : 0;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        out[i] = px[size_t(texelIndex<Repeat>(t.y, h)) * size_t(w) + size_t(texelIndex<Repeat>(t.x, w))];
        t.x += t.dx;
        t.y += t.dy;
        if constexpr (Repeat) {
            t.x -= t.x >= periodX ? periodX : 0;
            t.y -= t.y >= periodY ? periodY : 0;
        }
    }
}

// The four texels around a sample blended, weights wx and wy in 1/256: lerpPixel along x on both rows, then
// along y. The vector version does the same arithmetic on 16-bit lanes (every sum stays below 2^16), both
// rows at once.
inline player::Pixel bilinear(player::Pixel t00, player::Pixel t01, player::Pixel t10, player::Pixel t11,
                              uint32_t wx, uint32_t wy) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
    const __m128i left =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(t00)), _mm_cvtsi32_si128(int(t10))), zero);
    const __m128i right =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(t01)), _mm_cvtsi32_si128(int(t11))), zero);
    const __m128i rows =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(left, _mm_set1_epi16(short(256 - wx))),
                                                   _mm_mullo_epi16(right, _mm_set1_epi16(short(wx)))),
                                     half),
                       8);
    const __m128i bottom = _mm_unpackhi_epi64(rows, rows);
    const __m128i mixed =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(rows, _mm_set1_epi16(short(256 - wy))),
                                                   _mm_mullo_epi16(bottom, _mm_set1_epi16(short(wy)))),
                                     half),
                       8);
    return player::Pixel(_mm_cvtsi128_si32(_mm_packus_epi16(mixed, mixed)));
#else
    const player::Pixel top = wx ? lerpPixel(t00, t01, wx) : t00;
    if (!wy) return top;
    return lerpPixel(top, wx ? lerpPixel(t10, t11, wx) : t10, wy);
#endif
}

// Bilinear between the four texels around each sample, weights in 1/256 (the same arithmetic as lerpPixel:
// along x on both rows, then along y).
template <bool Repeat>
void bilinearSpan(const player::Bitmap& bm, TexelWalk t, int n, player::Pixel* out) {
    const int w = bm.width, h = bm.height;
    const player::Pixel* px = bm.pixels.data();
    const int64_t periodX = int64_t(w) << kTexelShift, periodY = int64_t(h) << kTexelShift;
    auto next = [&](int i, int size) {
        if constexpr (Repeat) {
            return i + 1 == size ? 0 : i + 1;
        } else {
            return std::min(i + 1, size - 1);
        }
    };
    auto first = [&](int64_t v, int size) {
        if constexpr (Repeat) {
            return int(v >> kTexelShift);
        } else {
            return int(std::clamp<int64_t>(v >> kTexelShift, -1, size - 1));
        }
    };
    if (t.dy == 0) {
        // Along a bitmap row (not turned): both rows and their weight hold for the whole span.
        const int iy = first(t.y, h);
        const uint32_t wy = uint32_t(t.y >> (kTexelShift - 8)) & 255;
        const player::Pixel* r0 = px + size_t(std::max(iy, 0)) * size_t(w);
        const player::Pixel* r1 = px + size_t(next(iy, h)) * size_t(w);
        for (int i = 0; i < n; ++i) {
            const int ix = first(t.x, w);
            const uint32_t wx = uint32_t(t.x >> (kTexelShift - 8)) & 255;
            const int u0 = std::max(ix, 0), u1 = next(ix, w);
            out[i] = bilinear(r0[u0], r0[u1], r1[u0], r1[u1], wx, wy);
            t.x += t.dx;
            if constexpr (Repeat) t.x -= t.x >= periodX ? periodX : 0;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const int ix = first(t.x, w), iy = first(t.y, h);
        const uint32_t wx = uint32_t(t.x >> (kTexelShift - 8)) & 255,
                       wy = uint32_t(t.y >> (kTexelShift - 8)) & 255;
        // Clamped, a coordinate left of the first texel reads texel 0 on both sides.
        const int u0 = std::max(ix, 0), u1 = next(ix, w);
        const int v0 = std::max(iy, 0), v1 = next(iy, h);
        const player::Pixel* r0 = px + size_t(v0) * size_t(w);
        const player::Pixel* r1 = px + size_t(v1) * size_t(w);
        out[i] = bilinear(r0[u0], r0[u1], r1[u0], r1[u1], wx, wy);
        t.x += t.dx;
        t.y += t.dy;
        if constexpr (Repeat) {
            t.x -= t.x >= periodX ? periodX : 0;
            t.y -= t.y >= periodY ? periodY : 0;
        }
    }
}

#if defined(__x86_64__)
#define TLV_AVX2 __attribute__((target("avx2")))

// Eight weights (32-bit lanes) spread over the 16-bit lanes of the pixels they weigh once their bytes are
// unpacked: pixels 0 1 | 4 5 (lo) and 2 3 | 6 7 (hi).
TLV_AVX2 inline void spreadWeights(__m256i w, __m256i& lo, __m256i& hi) {
    const __m256i pairs = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    lo = _mm256_unpacklo_epi32(pairs, pairs);
    hi = _mm256_unpackhi_epi32(pairs, pairs);
}

// Per 16-bit lane (a * (256 - wb) + b * wb + 128) >> 8, as bilinear() computes.
TLV_AVX2 inline __m256i mix16(__m256i a, __m256i b, __m256i wb) {
    const __m256i wa = _mm256_sub_epi16(_mm256_set1_epi16(256), wb);
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, wa), _mm256_mullo_epi16(b, wb)),
                         _mm256_set1_epi16(128)),
        8);
}

TLV_AVX2 inline __m256i load8(const int32_t* v) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(v));
}

// The high and the low 32-bit halves of the 64-bit lanes of a (pixels 0 1 4 5) and b (2 3 6 7), in pixel
// order.
TLV_AVX2 inline void halves(__m256i a, __m256i b, __m256i& high, __m256i& low) {
    high = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
    low = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

// Eight bilinear pixels from their four texels (offsets into the bitmap) and weights, stored to out.
TLV_AVX2 inline void blend8(const int* texels, __m256i o00, __m256i o01, __m256i o10, __m256i o11, __m256i wx,
                            __m256i wy, player::Pixel* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i t00 = _mm256_i32gather_epi32(texels, o00, 4), t01 = _mm256_i32gather_epi32(texels, o01, 4);
    const __m256i t10 = _mm256_i32gather_epi32(texels, o10, 4), t11 = _mm256_i32gather_epi32(texels, o11, 4);
    __m256i wxLo, wxHi, wyLo, wyHi;
    spreadWeights(wx, wxLo, wxHi);
    spreadWeights(wy, wyLo, wyHi);
    const __m256i topLo = mix16(_mm256_unpacklo_epi8(t00, zero), _mm256_unpacklo_epi8(t01, zero), wxLo);
    const __m256i topHi = mix16(_mm256_unpackhi_epi8(t00, zero), _mm256_unpackhi_epi8(t01, zero), wxHi);
    const __m256i botLo = mix16(_mm256_unpacklo_epi8(t10, zero), _mm256_unpacklo_epi8(t11, zero), wxLo);
    const __m256i botHi = mix16(_mm256_unpackhi_epi8(t10, zero), _mm256_unpackhi_epi8(t11, zero), wxHi);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_packus_epi16(mix16(topLo, botLo, wyLo), mix16(topHi, botHi, wyHi)));
}

// Eight pixels at a time with AVX2 gathers, for processors that have it (chosen at run time): the same
// texels, weights and 16-bit arithmetic as bilinear(), so the same bytes. A clipped fill steps its eight
// coordinates in vectors too; a repeating one steps them one by one (each step wraps).
template <bool Repeat>
TLV_AVX2 void bilinearSpanAvx2(const player::Bitmap& bm, TexelWalk t, int n, player::Pixel* out) {
    const int w = bm.width, h = bm.height;
    const int* px = reinterpret_cast<const int*>(bm.pixels.data());
    int i = 0;
    if constexpr (Repeat) {
        const int64_t periodX = int64_t(w) << kTexelShift, periodY = int64_t(h) << kTexelShift;
        alignas(32) int32_t o00[8], o01[8], o10[8], o11[8], wxs[8], wys[8];
        for (; i + 8 <= n; i += 8) {
            for (int k = 0; k < 8; ++k) {
                const int ix = int(t.x >> kTexelShift), iy = int(t.y >> kTexelShift);
                const int u1 = ix + 1 == w ? 0 : ix + 1, v1 = iy + 1 == h ? 0 : iy + 1;
                o00[k] = iy * w + ix;
                o01[k] = iy * w + u1;
                o10[k] = v1 * w + ix;
                o11[k] = v1 * w + u1;
                wxs[k] = int32_t(uint32_t(t.x >> (kTexelShift - 8)) & 255);
                wys[k] = int32_t(uint32_t(t.y >> (kTexelShift - 8)) & 255);
                t.x += t.dx;
                t.y += t.dy;
                t.x -= t.x >= periodX ? periodX : 0;
                t.y -= t.y >= periodY ? periodY : 0;
            }
            blend8(px, load8(o00), load8(o01), load8(o10), load8(o11), load8(wxs), load8(wys), out + i);
        }
    } else {
        // Coordinates of pixels 0 1 4 5 and 2 3 6 7 (so their high and low halves gather in pixel order).
        // The span's ends lie within +-2^29 texels, so every texel index fits the high half.
        const int64_t x = t.x, y = t.y, dx = t.dx, dy = t.dy;
        __m256i xa = _mm256_setr_epi64x(x, x + dx, x + 4 * dx, x + 5 * dx);
        __m256i xb = _mm256_setr_epi64x(x + 2 * dx, x + 3 * dx, x + 6 * dx, x + 7 * dx);
        __m256i ya = _mm256_setr_epi64x(y, y + dy, y + 4 * dy, y + 5 * dy);
        __m256i yb = _mm256_setr_epi64x(y + 2 * dy, y + 3 * dy, y + 6 * dy, y + 7 * dy);
        const __m256i stepX = _mm256_set1_epi64x(8 * dx), stepY = _mm256_set1_epi64x(8 * dy);
        const __m256i minusOne = _mm256_set1_epi32(-1), one = _mm256_set1_epi32(1),
                      zero = _mm256_setzero_si256();
        const __m256i lastX = _mm256_set1_epi32(w - 1), lastY = _mm256_set1_epi32(h - 1),
                      width = _mm256_set1_epi32(w);
        for (; i + 8 <= n; i += 8) {
            __m256i hx, lx, hy, ly;
            halves(xa, xb, hx, lx);
            halves(ya, yb, hy, ly);
            // Clamped as bilinearSpan does: left of the first texel reads texel 0 on both sides.
            const __m256i ix = _mm256_min_epi32(_mm256_max_epi32(hx, minusOne), lastX);
            const __m256i iy = _mm256_min_epi32(_mm256_max_epi32(hy, minusOne), lastY);
            const __m256i u0 = _mm256_max_epi32(ix, zero),
                          u1 = _mm256_min_epi32(_mm256_add_epi32(ix, one), lastX);
            const __m256i r0 = _mm256_mullo_epi32(_mm256_max_epi32(iy, zero), width);
            const __m256i r1 = _mm256_mullo_epi32(_mm256_min_epi32(_mm256_add_epi32(iy, one), lastY), width);
            blend8(px, _mm256_add_epi32(r0, u0), _mm256_add_epi32(r0, u1), _mm256_add_epi32(r1, u0),
                   _mm256_add_epi32(r1, u1), _mm256_srli_epi32(lx, 24), _mm256_srli_epi32(ly, 24), out + i);
            xa = _mm256_add_epi64(xa, stepX);
            xb = _mm256_add_epi64(xb, stepX);
            ya = _mm256_add_epi64(ya, stepY);
            yb = _mm256_add_epi64(yb, stepY);
        }
        t.x += int64_t(i) * dx;
        t.y += int64_t(i) * dy;
    }
    if (i < n) bilinearSpan<Repeat>(bm, t, n - i, out + i);
}

// Whether the wide kernels may run: the processor has AVX2 and no test or benchmark has turned them off.
std::atomic<bool> wideAllowed{true};

bool useWide() {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    return hasAvx2 && wideAllowed.load(std::memory_order_relaxed);
}

template <bool Repeat>
void bilinearSpanWide(const player::Bitmap& bm, TexelWalk t, int n, player::Pixel* out) {
    bilinearSpanAvx2<Repeat>(bm, t, n, out);
}
#undef TLV_AVX2
#else
bool useWide() {
    return false;
}

template <bool Repeat>
void bilinearSpanWide(const player::Bitmap& bm, TexelWalk t, int n, player::Pixel* out) {
    bilinearSpan<Repeat>(bm, t, n, out);
}
#endif

}  // namespace

bool SpanPainter::prepare(const Paint& paint, bool antialias, GradientRampCache* ramps,
                          BitmapMipCache* mips) {
    paint_ = &paint;
    opaque_ = false;
    sampling_ = antialias ? GradientSampling::Stepped : GradientSampling::Blended;
    const player::ColorTransform& ct = paint.colorTransform();
    switch (paint.kind()) {
        case Paint::Kind::Solid:
            solid_ = true;
            color_ = premultiply(applyColorTransform(paint.color(), ct));
            return (color_ >> 24) != 0;
        case Paint::Kind::Gradient: {
            solid_ = false;
            const Gradient& g = paint.gradientFill();
            if (ramps)
                ramp_ = ramps->ramp(g, ct, sampling_);
            else
                buildGradientRamp(g, ct, ramp_, sampling_);
            inverse_ = g.matrix.inverted();
            focal_ = std::isfinite(g.focalPoint) ? std::clamp(g.focalPoint, -0.98f, 0.98f) : 0.0f;
            if (g.type != GradientType::Focal) focal_ = 0;
            // A degenerate matrix squeezes the gradient to a line: Flash shows the colour at ratio 0.
            if (g.matrix.determinant() == 0 || !std::isfinite(g.matrix.determinant())) {
                solid_ = true;
                color_ = ramp_[0];
                return (color_ >> 24) != 0;
            }
            // Blending two opaque entries gives an opaque colour, so one check covers both samplings.
            opaque_ =
                std::all_of(ramp_.begin(), ramp_.end(), [](player::Pixel p) { return (p >> 24) == 255; });
            return true;
        }
        case Paint::Kind::Bitmap: {
            solid_ = false;
            const BitmapFill& b = paint.bitmapFill();
            bitmap_ = b.bitmap.get();
            if (!bitmap_ || bitmap_->width <= 0 || bitmap_->height <= 0 ||
                bitmap_->pixels.size() < size_t(bitmap_->width) * size_t(bitmap_->height)) {
                return false;
            }
            double det = b.matrix.determinant();
            if (det == 0 || !std::isfinite(det)) return false;
            inverse_ = b.matrix.inverted();
            if (b.smooth && mips) {
                // Texels per pixel along the sampling's steeper direction; from two on, a level with about
                // one texel per pixel is sampled instead (its texel u lies at u * 2^level of the bitmap).
                const double rho =
                    std::max(std::hypot(inverse_.a, inverse_.b), std::hypot(inverse_.c, inverse_.d));
                if (rho >= 2 && std::isfinite(rho)) {
                    int reached = 0;
                    bitmap_ = mips->level(b.bitmap, std::min(int(std::floor(std::log2(rho))), 24), &reached);
                    const double s = std::ldexp(1.0, -reached);
                    inverse_ = {inverse_.a * s, inverse_.b * s,  inverse_.c * s,
                                inverse_.d * s, inverse_.tx * s, inverse_.ty * s};
                }
            }
            transformPixels_ = !ct.isIdentity();
            if (transformPixels_) {
                // Forget the colours transformed for the last bitmap draw (key 0 is never looked up:
                // transparent texels are not transformed).
                if (transformedKeys_.empty()) {
                    transformedKeys_.resize(kTransformedColors);
                    transformedValues_.resize(kTransformedColors);
                }
                std::fill(transformedKeys_.begin(), transformedKeys_.end(), 0u);
            }
            // Sampling opaque texels, nearest or blended, gives opaque colours.
            opaque_ = bitmap_->opaque && !transformPixels_;
            return true;
        }
    }
    return false;
}

void SpanPainter::fill(int y, int x0, int x1, player::Pixel* out) const {
    if (solid_) {
        fillPixels(out, x1 - x0, color_);
    } else if (paint_->kind() == Paint::Kind::Gradient) {
        fillGradient(y, x0, x1, out);
    } else {
        fillBitmap(y, x0, x1, out);
    }
}

void SpanPainter::fillGradient(int y, int x0, int x1, player::Pixel* out) const {
    const Gradient& g = paint_->gradientFill();
    switch (g.type) {
        case GradientType::Linear:
            return gradientSampling<GradientType::Linear>(sampling_, g.spread, inverse_, ramp_, focal_, y, x0,
                                                          x1, out);
        case GradientType::Radial:
            return gradientSampling<GradientType::Radial>(sampling_, g.spread, inverse_, ramp_, focal_, y, x0,
                                                          x1, out);
        case GradientType::Focal:
            return gradientSampling<GradientType::Focal>(sampling_, g.spread, inverse_, ramp_, focal_, y, x0,
                                                         x1, out);
    }
}

void SpanPainter::fillBitmap(int y, int x0, int x1, player::Pixel* out) const {
    const BitmapFill& f = paint_->bitmapFill();
    const player::Bitmap& bm = *bitmap_;
    const int n = x1 - x0;
    const double half = f.smooth ? 0.5 : 0.0;
    const double bx = inverse_.a * (x0 + 0.5) + inverse_.c * (y + 0.5) + inverse_.tx - half;
    const double by = inverse_.b * (x0 + 0.5) + inverse_.d * (y + 0.5) + inverse_.ty - half;
    const double ex = bx + inverse_.a * n, ey = by + inverse_.b * n;
    auto inRange = [](double v) { return v > -kFixedLimit && v < kFixedLimit; };
    if (inRange(bx) && inRange(by) && inRange(ex) && inRange(ey) && inRange(inverse_.a) &&
        inRange(inverse_.b)) {
        // The start rounded down (a point exactly on a texel or weight step stays on it), the steps to
        // nearest.
        auto fixed = [](double v) { return int64_t(std::floor(v * kTexelOne)); };
        auto step = [](double v) { return int64_t(std::llround(v * kTexelOne)); };
        TexelWalk t{fixed(bx), fixed(by), step(inverse_.a), step(inverse_.b)};
        // Smoothed but unscaled, unturned and at whole texels, every weight is zero: the texels are copied.
        constexpr int64_t kFraction = (int64_t(1) << kTexelShift) - 1;
        const bool smooth = f.smooth && !(t.dx == int64_t(1) << kTexelShift && t.dy == 0 &&
                                          (t.x & kFraction) == 0 && (t.y & kFraction) == 0);
        // Gathered texel offsets are 32-bit.
        const bool wide = n >= 8 && int64_t(bm.width) * bm.height < (int64_t(1) << 31) && useWide();
        if (f.repeat) {
            t = {wrapFixed(t.x, bm.width), wrapFixed(t.y, bm.height), wrapFixed(t.dx, bm.width),
                 wrapFixed(t.dy, bm.height)};
            if (smooth && wide)
                bilinearSpanWide<true>(bm, t, n, out);
            else if (smooth)
                bilinearSpan<true>(bm, t, n, out);
            else
                nearestSpan<true>(bm, t, n, out);
        } else if (smooth && wide) {
            bilinearSpanWide<false>(bm, t, n, out);
        } else if (smooth) {
            bilinearSpan<false>(bm, t, n, out);
        } else {
            nearestSpan<false>(bm, t, n, out);
        }
    } else {
        fillBitmapFar(y, x0, x1, out);
    }
    if (transformPixels_) {
        // Fully transparent texels stay transparent whatever the transform adds: Flash Player shows the
        // background through them even under an alpha add (reference: color-transform-add80-alpha).
        // Bitmaps repeat their colours: each colour is transformed once per draw and then looked up.
        const player::ColorTransform& ct = paint_->colorTransform();
        uint32_t* keys = transformedKeys_.data();
        player::Pixel* values = transformedValues_.data();
        for (int i = 0; i < n; ++i) {
            const player::Pixel c = out[i];
            if (!(c >> 24)) continue;
            const uint32_t slot = (c * 2654435761u) >> (32 - kTransformedBits);
            if (keys[slot] != c) {
                keys[slot] = c;
                values[slot] = transformPixel(c, ct);
            }
            out[i] = values[slot];
        }
    }
}

void SpanPainter::fillBitmapFar(int y, int x0, int x1, player::Pixel* out) const {
    const BitmapFill& f = paint_->bitmapFill();
    const player::Bitmap& bm = *bitmap_;
    const int w = bm.width, h = bm.height;
    const player::Pixel* px = bm.pixels.data();
    double bx = inverse_.a * (x0 + 0.5) + inverse_.c * (y + 0.5) + inverse_.tx;
    double by = inverse_.b * (x0 + 0.5) + inverse_.d * (y + 0.5) + inverse_.ty;
    const double dx = inverse_.a, dy = inverse_.b;
    constexpr double kLimit = 1e15;  // keeps the integer conversions defined for absurd matrices
    for (int x = x0; x < x1; ++x, bx += dx, by += dy) {
        double sx = std::clamp(bx, -kLimit, kLimit), sy = std::clamp(by, -kLimit, kLimit);
        if (!f.smooth) {
            int u = wrapIndex(int64_t(std::floor(sx)), w, f.repeat);
            int v = wrapIndex(int64_t(std::floor(sy)), h, f.repeat);
            out[x - x0] = px[size_t(v) * w + u];
        } else {
            double fx = sx - 0.5, fy = sy - 0.5;
            double flx = std::floor(fx), fly = std::floor(fy);
            uint32_t wx = uint32_t((fx - flx) * 256), wy = uint32_t((fy - fly) * 256);
            int64_t ix = int64_t(flx), iy = int64_t(fly);
            int u0 = wrapIndex(ix, w, f.repeat), u1 = wrapIndex(ix + 1, w, f.repeat);
            int v0 = wrapIndex(iy, h, f.repeat), v1 = wrapIndex(iy + 1, h, f.repeat);
            const player::Pixel* r0 = px + size_t(v0) * w;
            const player::Pixel* r1 = px + size_t(v1) * w;
            out[x - x0] = lerpPixel(lerpPixel(r0[u0], r0[u1], wx), lerpPixel(r1[u0], r1[u1], wx), wy);
        }
    }
}

bool allowWideSimd(bool allowed) {
#if defined(__x86_64__)
    return wideAllowed.exchange(allowed);
#else
    (void)allowed;
    return false;
#endif
}

}  // namespace raster
