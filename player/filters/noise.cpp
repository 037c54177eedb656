#include "player/filters/noise.h"

#include <algorithm>
#include <cmath>

namespace player::filters {

namespace {

constexpr int64_t kModulus = 2147483647;  // 2^31 - 1
constexpr int64_t kMultiplier = 16807;
constexpr int kLattice = 256;
constexpr double kLatticeOrigin = 4096;  // added to coordinates so that they stay positive

// Park and Miller's minimal standard generator; `s` stays in 1 .. 2^31 - 2.
int64_t nextRandom(int64_t s) {
    return s * kMultiplier % kModulus;
}

// A seed below 1 counts as 1 - seed (modulo 2^31 - 2), one above the modulus as the modulus less one.
int64_t startSeed(int64_t s) {
    if (s <= 0) s = -(s % (kModulus - 1)) + 1;
    if (s > kModulus - 1) s = kModulus - 1;
    return s;
}

// A coordinate's whole lattice cell and the offset within it, truncating towards zero. Coordinates too large
// for a cell number (far octaves of tiny base sizes, infinities) fall in cell 0.
void splitCoordinate(double t, int64_t& cell, double& within) {
    if (!(std::fabs(t) < 1e15)) {
        cell = 0;
        within = 0;
        return;
    }
    cell = int64_t(t);
    within = t - double(cell);
}

int64_t boundedInt(double v) {
    return std::isfinite(v) ? int64_t(std::clamp(v, -1e15, 1e15)) : 0;
}

double sCurve(double t) {
    return t * t * (3. - 2. * t);
}

double lerp(double t, double a, double b) {
    return a + t * (b - a);
}

// A noise sum as a channel value: through 0..255 with the rounding half added before halving for fractal
// noise; out-of-range sums saturate and NaN reads as 0.
uint8_t level(double n, bool fractal) {
    const double v = fractal ? ((n * 255.0 + 255.0) + 0.5) / 2.0 : n * 255.0 + 0.5;
    if (!(v > 0)) return 0;
    return v >= 255 ? 255 : uint8_t(v);
}

}  // namespace

PerlinNoise::PerlinNoise(int32_t seedValue) {
    int64_t s = startSeed(seedValue);
    for (auto& table : gradient_) {
        for (int i = 0; i < kLattice; ++i) {
            lattice_[i] = i;
            for (double& g : table[i]) {
                s = nextRandom(s);
                g = double(s % (2 * kLattice) - kLattice) / kLattice;
            }
            const double len = std::sqrt(table[i][0] * table[i][0] + table[i][1] * table[i][1]);
            table[i][0] /= len;
            table[i][1] /= len;
        }
    }
    for (int i = kLattice - 1; i > 0; --i) {
        s = nextRandom(s);
        std::swap(lattice_[i], lattice_[s % kLattice]);
    }
    for (int i = 0; i < kLattice + 2; ++i) {
        lattice_[kLattice + i] = lattice_[i];
        for (auto& table : gradient_) {
            table[kLattice + i][0] = table[i][0];
            table[kLattice + i][1] = table[i][1];
        }
    }
}

double PerlinNoise::noise(int table, double vx, double vy, const int64_t* wrap) const {
    int64_t bx0, by0;
    double rx0, ry0;
    splitCoordinate(vx + kLatticeOrigin, bx0, rx0);
    splitCoordinate(vy + kLatticeOrigin, by0, ry0);
    int64_t bx1 = bx0 + 1, by1 = by0 + 1;
    const double rx1 = rx0 - 1.0, ry1 = ry0 - 1.0;
    if (wrap) {
        if (bx0 >= wrap[2]) bx0 -= wrap[0];
        if (bx1 >= wrap[2]) bx1 -= wrap[0];
        if (by0 >= wrap[3]) by0 -= wrap[1];
        if (by1 >= wrap[3]) by1 -= wrap[1];
    }
    const int i = lattice_[bx0 & 255], j = lattice_[bx1 & 255];
    const auto& g = gradient_[table];
    const double* q00 = g[lattice_[i + (by0 & 255)]];
    const double* q10 = g[lattice_[j + (by0 & 255)]];
    const double* q01 = g[lattice_[i + (by1 & 255)]];
    const double* q11 = g[lattice_[j + (by1 & 255)]];
    const double sx = sCurve(rx0), sy = sCurve(ry0);
    const double a = lerp(sx, rx0 * q00[0] + ry0 * q00[1], rx1 * q10[0] + ry0 * q10[1]);
    const double b = lerp(sx, rx0 * q01[0] + ry1 * q01[1], rx1 * q11[0] + ry1 * q11[1]);
    return lerp(sy, a, b);
}

double PerlinNoise::turbulence(int table, double x, double y, const PerlinParams& p, int width,
                               int height) const {
    double fx = p.baseX == 0 ? 0 : 1 / p.baseX;
    double fy = p.baseY == 0 ? 0 : 1 / p.baseY;
    int64_t wrap[4];
    const int64_t* stitch = nullptr;
    if (p.stitch) {
        // Frequencies move to the nearest that fit a whole number of cells into the picture, so its
        // edges meet.
        const double w = width, h = height;
        if (fx != 0) {
            const double lo = std::floor(w * fx) / w, hi = std::ceil(w * fx) / w;
            fx = fx / lo < hi / fx ? lo : hi;
        }
        if (fy != 0) {
            const double lo = std::floor(h * fy) / h, hi = std::ceil(h * fy) / h;
            fy = fy / lo < hi / fy ? lo : hi;
        }
        wrap[0] = boundedInt(w * fx + 0.5);
        wrap[1] = boundedInt(h * fy + 0.5);
        wrap[2] = int64_t(kLatticeOrigin) + wrap[0];
        wrap[3] = int64_t(kLatticeOrigin) + wrap[1];
        stitch = wrap;
    }
    const int octaves = std::clamp(p.octaves, 0, kMaxOctaves);
    double sum = 0, ratio = 1;
    for (int o = 0; o < octaves; ++o) {
        const auto offset = size_t(o) < p.offsets.size() ? p.offsets[size_t(o)] : std::pair{0.0, 0.0};
        const double n =
            noise(table, (x + offset.first) * fx * ratio, (y + offset.second) * fy * ratio, stitch);
        sum += (p.fractal ? n : std::fabs(n)) / ratio;
        ratio *= 2;
        if (stitch) {
            // Doubled once an octave: after enough octaves the values wrap around, as fixed-size
            // integers do (computed unsigned, where that is defined).
            const auto twice = [](int64_t v) { return int64_t(uint64_t(v) * 2); };
            wrap[0] = twice(wrap[0]);
            wrap[2] = int64_t(uint64_t(twice(wrap[2])) - uint64_t(kLatticeOrigin));
            wrap[1] = twice(wrap[1]);
            wrap[3] = int64_t(uint64_t(twice(wrap[3])) - uint64_t(kLatticeOrigin));
        }
    }
    return sum;
}

void perlinNoise(const PerlinParams& p, Pixel* pixels, int width, int height, size_t stride,
                 bool transparent) {
    const PerlinNoise gen(p.seed);
    for (int y = 0; y < height; ++y) {
        Pixel* row = pixels + size_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            auto at = [&](int table) { return gen.turbulence(table, x, y, p, width, height); };
            // Red, green, blue, alpha. A channel left out reads as the lowest level (alpha: the highest).
            double n[4] = {-1, -1, -1, 1};
            if (p.gray) {
                n[0] = n[1] = n[2] = at(0);
                if (p.channels & 8) n[3] = at(1);
            } else {
                // Each channel asked for takes the next gradient table, so blue alone uses the first.
                int table = 0;
                for (int c = 0; c < 4; ++c)
                    if (p.channels & (1 << c)) n[c] = at(table++);
            }
            const uint32_t a = transparent ? level(n[3], p.fractal) : 255;
            row[x] = a << 24 | uint32_t(level(n[0], p.fractal)) << 16 |
                     uint32_t(level(n[1], p.fractal)) << 8 | level(n[2], p.fractal);
        }
    }
}

// ---- dissolve order ----

DissolveOrder::DissolveOrder(uint32_t count, int32_t seed) : count_(std::max(count, 1u)) {
    // An even number of bits, at least 2, enough to number every pixel: the two halves of an index are
    // mixed by a few balanced Feistel rounds, a bijection on [0, 2^bits).
    bits_ = 0;
    for (uint32_t n = count_ - 1; n; n >>= 1)
        ++bits_;
    bits_ = std::max(2u, bits_ + bits_ % 2);
    mask_ = bits_ >= 32 ? 0xffffffffu : (1u << bits_) - 1;
    position_ = uint32_t(seed) & mask_;
}

uint32_t DissolveOrder::permute(uint32_t i) const {
    const uint32_t half = bits_ / 2, halfMask = (1u << half) - 1;
    uint32_t left = i >> half, right = i & halfMask;
    for (uint32_t round = 0; round < 3; ++round) {
        uint32_t f = (right + round * 0x9e37u) * 0x2c1b3c6du;
        f ^= f >> 15;
        const uint32_t next = left ^ (f & halfMask);
        left = right;
        right = next;
    }
    return left << half | right;
}

uint32_t DissolveOrder::next() {
    if (count_ == 1) return 0;
    // Index 0 is always drawn first by the caller, so the walk skips it; indices past the area are skipped
    // too. At least a quarter of the permuted range lies inside the area, so this ends quickly.
    for (;;) {
        position_ = (position_ + 1) & mask_;
        const uint32_t i = permute(position_);
        if (i != 0 && i < count_) return i;
    }
}

}  // namespace player::filters
