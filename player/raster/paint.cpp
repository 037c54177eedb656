#include "player/raster/paint.h"

#include <utility>

namespace raster {

Paint Paint::solid(player::Rgba color, const player::ColorTransform& ct) {
    Paint p;
    p.kind_ = Kind::Solid;
    p.color_ = color;
    p.ct_ = ct;
    return p;
}

Paint Paint::gradient(Gradient g, const player::ColorTransform& ct) {
    Paint p;
    p.kind_ = Kind::Gradient;
    p.gradient_ = std::move(g);
    p.ct_ = ct;
    return p;
}

Paint Paint::bitmap(BitmapFill b, const player::ColorTransform& ct) {
    Paint p;
    p.kind_ = Kind::Bitmap;
    p.bitmap_ = std::move(b);
    p.ct_ = ct;
    return p;
}

}  // namespace raster
