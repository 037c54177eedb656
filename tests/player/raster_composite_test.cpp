// Compositing arithmetic: exact 8-bit products, and the vector kernels agreeing with the per-pixel rule on
// every length (vector body plus scalar tail) and every coverage and alpha mix.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "player/raster/color.h"
#include "player/raster/composite.h"

using player::Pixel;

namespace {

Pixel randomPremultiplied(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    int kind = byte(rng) % 4;
    uint32_t a = kind == 0 ? 255 : kind == 1 ? 0 : uint32_t(byte(rng));
    auto ch = [&] { return a ? uint32_t(byte(rng)) % (a + 1) : 0u; };
    return (a << 24) | (ch() << 16) | (ch() << 8) | ch();
}

// The rule every kernel must follow, one pixel at a time.
Pixel reference(Pixel src, uint32_t cov, Pixel dst) {
    return raster::srcOver(raster::byteMul(src, cov), dst);
}

}  // namespace

TEST(RasterComposite, ByteMulRoundsExactly) {
    for (uint32_t x = 0; x < 256; ++x) {
        for (uint32_t a = 0; a < 256; ++a) {
            uint32_t want = uint32_t(std::lround(x * a / 255.0));
            uint32_t got = raster::byteMul(x * 0x01010101u, a);
            ASSERT_EQ(got, want * 0x01010101u) << x << " * " << a;
        }
    }
}

TEST(RasterComposite, KernelsMatchThePerPixelRule) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int n = 0; n < 23; ++n) {
        for (int round = 0; round < 40; ++round) {
            std::vector<Pixel> src(n), dst(n);
            std::vector<uint8_t> cov(n);
            for (int i = 0; i < n; ++i) {
                src[i] = randomPremultiplied(rng);
                dst[i] = randomPremultiplied(rng);
                int k = byte(rng) % 3;
                cov[i] = uint8_t(k == 0 ? 0 : k == 1 ? 255 : byte(rng));
            }
            const Pixel color = src.empty() ? 0x80402010u : src[0];
            const uint32_t runCov = uint32_t(1 + byte(rng) % 255);

            std::vector<Pixel> a = dst, b = dst, c = dst, d = dst;
            raster::compositeSpan(a.data(), cov.data(), src.data(), n);
            raster::compositeSolid(b.data(), cov.data(), n, color);
            raster::compositeRun(c.data(), src.data(), n, runCov);
            raster::compositeSolidRun(d.data(), n, color, runCov);
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(a[i], reference(src[i], cov[i], dst[i])) << "span n=" << n << " i=" << i;
                ASSERT_EQ(b[i], reference(color, cov[i], dst[i])) << "solid n=" << n << " i=" << i;
                ASSERT_EQ(c[i], reference(src[i], runCov, dst[i])) << "run n=" << n << " i=" << i;
                ASSERT_EQ(d[i], reference(color, runCov, dst[i])) << "solid run n=" << n << " i=" << i;
            }
        }
    }
}
