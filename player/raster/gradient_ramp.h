// The 256-entry colour table of a gradient (one entry per SWF ratio), built once per draw with the colour
// transform already applied to the stops, as Flash Player does. The paint stage either blends neighbouring
// entries or takes one entry per pixel (GradientSampling).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "player/raster/paint.h"

namespace raster {

using GradientRamp = std::array<player::Pixel, 256>;

// How the paint stage reads the table. Flash Player's pictures differ by quality: without anti-aliasing
// each pixel blends the two entries around its centre; with anti-aliasing it takes the one entry its
// top-left corner falls in, so a gradient stretched over several pixels per entry shows hard steps, and
// stops whose ratio does not go beyond the ones before are laid out differently (see buildGradientRamp).
enum class GradientSampling { Blended, Stepped };

// Premultiplied colours for ratios 0..255, channels interpolated between stops and rounded down. Before the
// first stop the first stop's colour holds, after the last the last's. Stops are used in the order given;
// how a stop whose ratio does not go beyond the ones before is shown depends on `sampling`: Blended gives
// it a ratio of its own just past the one before (dropped past 255); Stepped gives it one entry after the
// furthest ratio so far, in the colour of the stop before it, and blends on from its own ratio. No stops
// gives a transparent ramp.
void buildGradientRamp(const Gradient& g, const player::ColorTransform& ct, GradientRamp& out,
                       GradientSampling sampling = GradientSampling::Blended);

// Ramps built before, looked up by everything buildGradientRamp reads (stops, interpolation, colour
// transform, sampling): a movie draws the same few gradients frame after frame, and building a ramp costs
// far more than finding it. Set-associative, a fixed number of entries, the oldest of a set replaced.
class GradientRampCache {
  public:
    // The ramp buildGradientRamp(g, ct, out, sampling) gives. Valid until the next call.
    const GradientRamp& ramp(const Gradient& g, const player::ColorTransform& ct, GradientSampling sampling);

  private:
    static constexpr int kSets = 32, kWays = 4;
    // Stops (ratio and colour), their count, interpolation, sampling and the transform's bytes.
    using Key = std::array<uint8_t, Gradient::kMaxStops * 5 + 4 + sizeof(player::ColorTransform)>;
    struct Entry {
        Key key{};
        bool used = false;
        GradientRamp ramp{};
    };
    std::vector<Entry> entries_;  // kSets x kWays, allocated on first use
    std::array<uint8_t, kSets> victim_{};
};

}  // namespace raster
