#include "player/core/style_paint.h"

namespace player {

ColorTransform toColorTransform(const swf::CXForm& cx) {
    ColorTransform t;
    t.rm = cx.mult[0] / 256.0f;
    t.gm = cx.mult[1] / 256.0f;
    t.bm = cx.mult[2] / 256.0f;
    t.am = cx.mult[3] / 256.0f;
    t.ra = cx.add[0];
    t.ga = cx.add[1];
    t.ba = cx.add[2];
    t.aa = cx.add[3];
    return t;
}

Matrix toMatrix(const swf::Matrix& m) {
    return {m.a(), m.b(), m.c(), m.d(), double(m.translateX), double(m.translateY)};
}

Rgba toRgba(const swf::RGBA& c) {
    return {c.r, c.g, c.b, c.a};
}

bool makeFillPaint(const swf::FillStyle& style, const Matrix& toDevice, const ColorTransform& cx,
                   const BitmapLookup& bitmaps, raster::Paint& out) {
    if (style.isGradient()) {
        raster::Gradient g;
        g.type = style.type == swf::FillType::LinearGradient   ? raster::GradientType::Linear
                 : style.type == swf::FillType::RadialGradient ? raster::GradientType::Radial
                                                               : raster::GradientType::Focal;
        for (const swf::GradientStop& s : style.gradient.stops)
            g.stops.push_back({s.ratio, toRgba(s.color)});
        // Without stops Flash Player fills the shape black.
        if (g.stops.empty()) {
            out = raster::Paint::solid({0, 0, 0, 255}, cx);
            return true;
        }
        g.spread = style.gradient.spread == swf::SpreadMode::Reflect  ? raster::SpreadMode::Reflect
                   : style.gradient.spread == swf::SpreadMode::Repeat ? raster::SpreadMode::Repeat
                                                                      : raster::SpreadMode::Pad;
        g.interpolation = style.gradient.interpolation == swf::InterpolationMode::Linear
                              ? raster::Interpolation::LinearRGB
                              : raster::Interpolation::Normal;
        g.focalPoint = static_cast<float>(style.gradient.focalPoint);
        g.matrix = toDevice * toMatrix(style.matrix);
        out = raster::Paint::gradient(std::move(g), cx);
        return true;
    }
    if (style.isBitmap()) {
        BitmapPtr bmp = bitmaps ? bitmaps(style.bitmapId) : nullptr;
        if (!bmp) return false;
        raster::BitmapFill b;
        b.bitmap = std::move(bmp);
        b.matrix = toDevice * toMatrix(style.matrix);
        b.repeat = style.bitmapRepeats();
        b.smooth = style.bitmapSmoothed();
        out = raster::Paint::bitmap(std::move(b), cx);
        return true;
    }
    out = raster::Paint::solid(toRgba(style.color), cx);
    return true;
}

raster::StrokeStyle makeStrokeStyle(const swf::LineStyle& style, const Matrix& toDevice, double stageScale) {
    raster::StrokeStyle s;
    raster::LineScaleMode mode = raster::LineScaleMode::Normal;
    if (style.noHScale && style.noVScale)
        mode = raster::LineScaleMode::None;
    else if (style.noHScale)
        mode = raster::LineScaleMode::Vertical;
    else if (style.noVScale)
        mode = raster::LineScaleMode::Horizontal;
    s.width = raster::deviceLineWidth(style.width, toDevice, mode, stageScale);
    auto cap = [](swf::CapStyle c) {
        return c == swf::CapStyle::None     ? raster::CapStyle::None
               : c == swf::CapStyle::Square ? raster::CapStyle::Square
                                            : raster::CapStyle::Round;
    };
    s.startCap = cap(style.startCap);
    s.endCap = cap(style.endCap);
    s.join = style.join == swf::JoinStyle::Bevel   ? raster::JoinStyle::Bevel
             : style.join == swf::JoinStyle::Miter ? raster::JoinStyle::Miter
                                                   : raster::JoinStyle::Round;
    s.miterLimit = style.miterLimit;
    return s;
}

bool makeLinePaint(const swf::LineStyle& style, const Matrix& toDevice, const ColorTransform& cx,
                   const BitmapLookup& bitmaps, raster::Paint& out) {
    if (style.fill) return makeFillPaint(*style.fill, toDevice, cx, bitmaps, out);
    out = raster::Paint::solid(toRgba(style.color), cx);
    return true;
}

}  // namespace player
