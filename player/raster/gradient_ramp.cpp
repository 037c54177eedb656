#include "player/raster/gradient_ramp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

void buildGradientRamp(const Gradient& g, const player::ColorTransform& ct, GradientRamp& out,
                       GradientSampling sampling) {
    int n = std::min<int>(int(g.stops.size()), Gradient::kMaxStops);
    if (n == 0) {
        out.fill(0);
        return;
    }
    player::Rgba color[Gradient::kMaxStops];
    float lin[Gradient::kMaxStops][3];
    for (int i = 0; i < n; ++i) {
        color[i] = applyColorTransform(g.stops[i].color, ct);
        lin[i][0] = toLinear(color[i].r);
        lin[i][1] = toLinear(color[i].g);
        lin[i][2] = toLinear(color[i].b);
    }
    const bool linearRgb = g.interpolation == Interpolation::LinearRGB;
    // Colour between stops k and k + 1 at weight w on k + 1.
    auto blend = [&](int k, float w) {
        const player::Rgba &a = color[k], &b = color[k + 1];
        // Rounded down: the reference pictures' gradients sit half a level below rounded values.
        auto mix = [w](uint8_t x, uint8_t y) { return uint8_t(std::floor(x + (y - x) * w + 1e-4f)); };
        if (!linearRgb) return player::Rgba{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
        auto mixLin = [w](float x, float y) { return fromLinear(x + (y - x) * w); };
        return player::Rgba{mixLin(lin[k][0], lin[k + 1][0]), mixLin(lin[k][1], lin[k + 1][1]),
                            mixLin(lin[k][2], lin[k + 1][2]), mix(a.a, b.a)};
    };

    if (sampling == GradientSampling::Blended) {
        // Every stop keeps a ratio of its own: one repeating or going below the one before moves just
        // past it. A stop pushed beyond 255 that way is not shown at all.
        int ratio[Gradient::kMaxStops];
        for (int i = 0; i < n; ++i)
            ratio[i] = i ? std::max<int>(g.stops[i].ratio, ratio[i - 1] + 1) : g.stops[i].ratio;
        while (n > 1 && ratio[n - 1] > 255)
            --n;
        int k = 0;  // stops k and k + 1 bracket the current ratio
        for (int r = 0; r < 256; ++r) {
            while (k + 1 < n && ratio[k + 1] <= r)
                ++k;
            player::Rgba c;
            if (r <= ratio[0])
                c = color[0];
            else if (k + 1 >= n)
                c = color[n - 1];
            else
                c = blend(k, float(r - ratio[k]) / float(ratio[k + 1] - ratio[k]));
            out[r] = premultiply(c);
        }
        return;
    }

    // Stepped: the table is filled left to right with a write position `pos`. A stop whose ratio lies
    // beyond pos is blended to from the stop before it, measured from that stop's own ratio, over the
    // entries after pos. A stop whose ratio does not lie beyond pos (repeated or going backwards) only
    // moves pos on by one entry, which takes the colour of the stop before it; pos never passes 255, so
    // such stops at the very end overwrite the last entry. After the last stop its colour fills the rest.
    // Flash Player's anti-aliased pictures show exactly this: stops red, green, blue, black all at ratio 6
    // give entries 7, 8, 9 red, green, blue and then black towards the next stop as if from ratio 6; stops
    // at 31, 80, 50, 100 repeat the green of 80 at entry 81 and show the 50..100 blend from 82 on; stops at
    // 254, 0, 0 end in the second stop's colour.
    int pos = g.stops[0].ratio;
    for (int r = 0; r <= pos; ++r)
        out[r] = premultiply(color[0]);
    for (int i = 1; i < n; ++i) {
        const int from = g.stops[i - 1].ratio, to = g.stops[i].ratio;
        if (to > pos) {
            for (int r = pos + 1; r <= to; ++r)
                out[r] = premultiply(blend(i - 1, float(r - from) / float(to - from)));
            pos = to;
        } else {
            pos = std::min(pos + 1, 255);
            out[pos] = premultiply(color[i - 1]);
        }
    }
    for (int r = pos + 1; r < 256; ++r)
        out[r] = premultiply(color[n - 1]);
}

const GradientRamp& GradientRampCache::ramp(const Gradient& g, const player::ColorTransform& ct,
                                            GradientSampling sampling) {
    Key key{};
    const int n = std::min<int>(int(g.stops.size()), Gradient::kMaxStops);
    size_t k = 0;
    for (int i = 0; i < n; ++i) {
        const GradientStop& s = g.stops[i];
        key[k++] = s.ratio;
        key[k++] = s.color.r;
        key[k++] = s.color.g;
        key[k++] = s.color.b;
        key[k++] = s.color.a;
    }
    k = Gradient::kMaxStops * 5;
    key[k++] = uint8_t(n);
    key[k++] = uint8_t(g.interpolation);
    key[k++] = uint8_t(sampling);
    key[k++] = 0;
    std::memcpy(key.data() + k, &ct, sizeof ct);

    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : key)
        h = (h ^ b) * 0x100000001b3ull;
    const size_t set = size_t(h >> 32) % kSets;
    if (entries_.empty()) entries_.resize(size_t(kSets) * kWays);
    Entry* ways = entries_.data() + set * kWays;
    for (int w = 0; w < kWays; ++w) {
        if (ways[w].used && ways[w].key == key) return ways[w].ramp;
    }
    Entry& e = ways[victim_[set]];
    victim_[set] = uint8_t((victim_[set] + 1) % kWays);
    e.key = key;
    e.used = true;
    buildGradientRamp(g, ct, e.ramp, sampling);
    return e.ramp;
}

}  // namespace raster
