// What fills a path: a solid colour, a gradient or a bitmap, with the colour transform the display list
// applies to it. Plain data built by the player core per draw.
#pragma once

#include <cstdint>
#include <vector>

#include "player/render/geometry.h"

namespace raster {

enum class GradientType { Linear, Radial, Focal };
enum class SpreadMode { Pad, Reflect, Repeat };
enum class Interpolation { Normal, LinearRGB };

struct GradientStop {
    uint8_t ratio = 0;  // position 0..255 along the gradient
    player::Rgba color;
};

// SWF GRADIENT / FOCALGRADIENT. Gradient space is the square -16384..16384 (twips of the unit gradient
// square, as SWF defines it); `matrix` maps it to device pixels. Linear gradients run from x = -16384
// (ratio 0) to x = 16384 (ratio 255); radial ones from the centre (ratio 0) to radius 16384 (ratio 255);
// focal ones like radial with ratio 0 at (focalPoint * 16384, 0).
struct Gradient {
    static constexpr int kMaxStops = 15;  // more stops than SWF allows are ignored
    GradientType type = GradientType::Linear;
    std::vector<GradientStop> stops;
    SpreadMode spread = SpreadMode::Pad;
    Interpolation interpolation = Interpolation::Normal;
    float focalPoint = 0;  // -1..1, focal gradients only
    player::Matrix matrix;
};

// A bitmap fill. `matrix` maps bitmap pixels to device pixels (a SWF bitmap fill matrix maps 20 twips per
// bitmap pixel; the caller folds that in). Outside the bitmap a clipped fill repeats its edge pixels, as
// Flash Player draws it.
struct BitmapFill {
    player::BitmapPtr bitmap;
    player::Matrix matrix;
    bool repeat = false;
    bool smooth = false;
};

class Paint {
  public:
    enum class Kind { Solid, Gradient, Bitmap };

    Paint() = default;
    static Paint solid(player::Rgba color, const player::ColorTransform& ct = {});
    static Paint gradient(Gradient g, const player::ColorTransform& ct = {});
    static Paint bitmap(BitmapFill b, const player::ColorTransform& ct = {});

    Kind kind() const { return kind_; }
    player::Rgba color() const { return color_; }
    const Gradient& gradientFill() const { return gradient_; }
    const BitmapFill& bitmapFill() const { return bitmap_; }
    const player::ColorTransform& colorTransform() const { return ct_; }
    void setColorTransform(const player::ColorTransform& ct) { ct_ = ct; }

  private:
    Kind kind_ = Kind::Solid;
    player::Rgba color_{0, 0, 0, 255};
    Gradient gradient_;
    BitmapFill bitmap_;
    player::ColorTransform ct_;
};

}  // namespace raster
