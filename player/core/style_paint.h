// SWF fill and line styles turned into the rasterizer's paints and stroke styles for one draw.
#pragma once

#include <functional>

#include "player/raster/paint.h"
#include "player/raster/stroker.h"
#include "player/render/geometry.h"
#include "swf/types.h"

namespace player {

ColorTransform toColorTransform(const swf::CXForm& cx);
Matrix toMatrix(const swf::Matrix& m);
Rgba toRgba(const swf::RGBA& c);

// Looks up a bitmap character; nullptr when the movie has none under that id (or it failed to decode).
using BitmapLookup = std::function<BitmapPtr(uint16_t id)>;

// `toDevice` maps the shape's twips to device pixels. A bitmap fill whose bitmap is missing paints nothing
// (returns false), as Flash Player shows nothing for it.
bool makeFillPaint(const swf::FillStyle& style, const Matrix& toDevice, const ColorTransform& cx,
                   const BitmapLookup& bitmaps, raster::Paint& out);

// Stroke style and paint of a line; `stageScale` is device pixels per twip of the stage.
raster::StrokeStyle makeStrokeStyle(const swf::LineStyle& style, const Matrix& toDevice, double stageScale);
bool makeLinePaint(const swf::LineStyle& style, const Matrix& toDevice, const ColorTransform& cx,
                   const BitmapLookup& bitmaps, raster::Paint& out);

}  // namespace player
