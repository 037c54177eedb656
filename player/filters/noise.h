// Procedural pixels for BitmapData: Perlin noise (perlinNoise) and the pixel order of a dissolve
// (pixelDissolve). Both are pure functions of their seed, so a movie draws the same pixels every run.
//
// Perlin noise is the classic lattice-gradient turbulence: 4 gradient tables of 256 entries filled from a
// Park-Miller generator, a shuffled lattice, octaves of halving weight summed plainly ("fractal noise") or
// by magnitude ("turbulence"), with optional stitching so the picture tiles seamlessly.
//
// Owns: its gradient tables (PerlinNoise, about 16 KB). Threads: any; no shared state.
// Never: reads outside the image, converts an unbounded double to int, or loops more than
// width * height * octaves * 4 times (octaves are capped at kMaxOctaves).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "player/render/geometry.h"

namespace player::filters {

struct PerlinParams {
    double baseX = 0, baseY = 0;  // feature size in pixels; 0 means no variation along that axis
    int octaves = 1;
    int32_t seed = 0;
    bool stitch = false;
    bool fractal = false;  // false: turbulence (sum of magnitudes)
    int channels = 7;      // 1 red, 2 green, 4 blue, 8 alpha
    bool gray = false;
    std::vector<std::pair<double, double>> offsets;  // per octave, missing ones count as (0, 0)
};

// Octaves beyond this add less than 2^-31 of a level each and are left out.
constexpr int kMaxOctaves = 32;

class PerlinNoise {
  public:
    explicit PerlinNoise(int32_t seed);

    // The noise of one octave at `vx`, `vy` (lattice units) for gradient table `table` (0-3), in about
    // -1..1. `wrap` (when not null) stitches the lattice: {width, height, wrapX, wrapY}.
    double noise(int table, double vx, double vy, const int64_t* wrap) const;

    // The octaves summed at pixel (x, y) of a `width` x `height` picture.
    double turbulence(int table, double x, double y, const PerlinParams& p, int width, int height) const;

  private:
    int lattice_[256 + 256 + 2];
    double gradient_[4][256 + 256 + 2][2];
};

// Fills `pixels` (premultiplied storage, `stride` pixels a row) with noise as BitmapData.perlinNoise does:
// channel values are written as they come, without premultiplying, and an opaque bitmap's alpha is 255.
void perlinNoise(const PerlinParams& p, Pixel* pixels, int width, int height, size_t stride,
                 bool transparent);

// The order in which a dissolve visits the `count` pixels of an area: a bijection on [0, count) walked
// from a seed. next() gives the following index; `state()` is what the caller hands back as the next seed.
class DissolveOrder {
  public:
    DissolveOrder(uint32_t count, int32_t seed);
    uint32_t next();
    int32_t state() const { return int32_t(position_); }

  private:
    uint32_t permute(uint32_t i) const;
    uint32_t count_, bits_, mask_, position_;
};

}  // namespace player::filters
