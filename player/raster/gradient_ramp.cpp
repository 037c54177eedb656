#include "player/raster/gradient_ramp.h"

#include <algorithm>
#include <cmath>

#include "player/raster/color.h"

namespace raster {

namespace {

float toLinear(uint8_t v) {
    float c = v / 255.0f;
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

uint8_t fromLinear(float c) {
    c = std::clamp(c, 0.0f, 1.0f);
    float s = c <= 0.0031308f ? c * 12.92f : 1.055f * std::pow(c, 1 / 2.4f) - 0.055f;
    return uint8_t(std::lround(std::clamp(s, 0.0f, 1.0f) * 255));
}

}  // namespace

void buildGradientRamp(const Gradient& g, const player::ColorTransform& ct, GradientRamp& out) {
    int n = std::min<int>(int(g.stops.size()), Gradient::kMaxStops);
    if (n == 0) {
        out.fill(0);
        return;
    }
    int ratio[Gradient::kMaxStops];
    player::Rgba color[Gradient::kMaxStops];
    float lin[Gradient::kMaxStops][3];
    for (int i = 0; i < n; ++i) {
        color[i] = applyColorTransform(g.stops[i].color, ct);
        lin[i][0] = toLinear(color[i].r);
        lin[i][1] = toLinear(color[i].g);
        lin[i][2] = toLinear(color[i].b);
    }
    // Every stop keeps a ratio of its own: one repeating or going below the one before moves just past
    // it, and Flash Player shows each such stop as a one-ratio band (reference gradient_same_ratios). A
    // stop pushed beyond 255 that way is not shown at all (reference gradient-end-duplication: stops at
    // 254, 0, 0 end in the second stop's colour).
    for (int i = 0; i < n; ++i)
        ratio[i] = i ? std::max<int>(g.stops[i].ratio, ratio[i - 1] + 1) : g.stops[i].ratio;
    while (n > 1 && ratio[n - 1] > 255)
        --n;
    const bool linearRgb = g.interpolation == Interpolation::LinearRGB;
    int k = 0;  // stops k and k + 1 bracket the current ratio
    for (int r = 0; r < 256; ++r) {
        while (k + 1 < n && ratio[k + 1] <= r)
            ++k;
        player::Rgba c;
        if (r <= ratio[0]) {
            c = color[0];
        } else if (k + 1 >= n) {
            c = color[n - 1];
        } else {
            float w = float(r - ratio[k]) / float(ratio[k + 1] - ratio[k]);
            const player::Rgba &a = color[k], &b = color[k + 1];
            // Rounded down: the reference pictures' gradients sit half a level below rounded values.
            auto mix = [w](uint8_t x, uint8_t y) { return uint8_t(std::floor(x + (y - x) * w + 1e-4f)); };
            if (linearRgb) {
                auto mixLin = [w](float x, float y) { return fromLinear(x + (y - x) * w); };
                c = {mixLin(lin[k][0], lin[k + 1][0]), mixLin(lin[k][1], lin[k + 1][1]),
                     mixLin(lin[k][2], lin[k + 1][2]), mix(a.a, b.a)};
            } else {
                c = {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
            }
        }
        out[r] = premultiply(c);
    }
}

}  // namespace raster
