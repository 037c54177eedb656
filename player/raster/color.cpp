#include "player/raster/color.h"

#include <algorithm>
#include <cmath>

namespace raster {

namespace {

uint8_t channel(uint8_t v, float mul, float add) {
    float r = std::floor(float(v) * mul + add);
    if (!(r > 0)) return 0;  // also catches NaN
    return r >= 255 ? 255 : uint8_t(r);
}

}  // namespace

player::Rgba applyColorTransform(player::Rgba c, const player::ColorTransform& ct) {
    return {channel(c.r, ct.rm, ct.ra), channel(c.g, ct.gm, ct.ga), channel(c.b, ct.bm, ct.ba),
            channel(c.a, ct.am, ct.aa)};
}

player::Rgba unpremultiply(player::Pixel p) {
    uint32_t a = p >> 24;
    if (a == 0) return {0, 0, 0, 0};
    auto u = [&](uint32_t v) { return uint8_t(std::min<uint32_t>(255, (v * 255 + a / 2) / a)); };
    return {u((p >> 16) & 255), u((p >> 8) & 255), u(p & 255), uint8_t(a)};
}

}  // namespace raster
