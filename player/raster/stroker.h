// Outline stage, second half: turns flattened subpaths into the polygons of their stroke. Every segment
// becomes a rectangle, every join and cap its own small polygon, all wound the same way, so filling the
// lot with the non-zero rule gives the union (the stroke) without computing intersections.
#pragma once

#include <vector>

#include "player/raster/coverage.h"
#include "player/raster/flatten.h"
#include "player/render/geometry.h"

namespace raster {

// SWF LINESTYLE2 cap and join styles (LINESTYLE, before DefineShape4, always has round caps and joins).
enum class CapStyle { Round, None, Square };
enum class JoinStyle { Round, Bevel, Miter };

struct StrokeStyle {
    // Line width in device pixels. Anything thinner than one pixel, including 0 (a SWF hairline), is drawn
    // one pixel wide, as Flash Player does.
    double width = 1;
    CapStyle startCap = CapStyle::Round;
    CapStyle endCap = CapStyle::Round;
    JoinStyle join = JoinStyle::Round;
    // SWF LINESTYLE2 MiterLimitFactor (8.8 fixed; values below 1 count as 1). A miter reaching further than
    // miterLimit * width / 2 from its corner is cut off square to the bisector there.
    double miterLimit = 3;
};

// SWF LINESTYLE2 NoHScaleFlag / NoVScaleFlag. `Horizontal` scales the line with the horizontal scale only
// (NoVScaleFlag), `Vertical` with the vertical only (NoHScaleFlag), `None` not at all.
enum class LineScaleMode { Normal, None, Horizontal, Vertical };

// Device width of a line `twips` wide drawn through `toDevice` (twips to device pixels, stage scale
// included). For `None`, `stageScale` (device pixels per twip of the stage) is all that applies.
double deviceLineWidth(double twips, const player::Matrix& toDevice, LineScaleMode mode, double stageScale);

class Stroker {
  public:
    // Adds the stroke polygons of `lines` to `out`. A subpath is closed when Path::close() ended it or when
    // its last point equals its first: it gets a join there instead of two caps. A subpath of a single
    // point draws a dot with a round or square start cap. Returns false when the outline would exceed
    // kMaxEdgesPerPath edges.
    bool stroke(const Polylines& lines, const StrokeStyle& style, CoverageRasterizer& out);
    // The same in a shape's own coordinates: `style.width` is in those units (no one-pixel minimum here),
    // round parts are flattened to `tolerance` there, and every outline point is mapped through `toDevice`.
    bool stroke(const Polylines& lines, const StrokeStyle& style, const player::Matrix& toDevice,
                double tolerance, CoverageRasterizer& out);

  private:
    bool strokeWith(const Polylines& lines, const StrokeStyle& style, double width, double tolerance,
                    const player::Matrix* toDevice, CoverageRasterizer& out);

    std::vector<Point> points_;  // scratch, reused: one subpath without repeated points
    std::vector<Point> arc_;     // scratch, reused: round joins and caps
};

}  // namespace raster
