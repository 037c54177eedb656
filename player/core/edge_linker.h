// Turns the loose edges of one fill style into closed contours.
//
// SWF shapes store edges with a fill style on each side, in whatever order the authoring tool wrote them; the
// edges of one style only form closed outlines once they are put end to end (some of them backwards). The
// rasterizer closes every subpath it is given, so pieces must be joined here first, or a region broken into
// three pieces would be closed by chords that cut a false triangle out of it.
#pragma once

#include <cstdint>
#include <vector>

#include "player/raster/path.h"

namespace player {

// One straight or quadratic edge in twips (integer SWF coordinates, so ends match exactly).
struct Edge {
    int32_t x0, y0;  // start
    int32_t cx, cy;  // control point (curves only)
    int32_t x1, y1;  // end
    bool curve;

    Edge reversed() const { return {x1, y1, cx, cy, x0, y0, curve}; }
};

// Appends the edges of one fill style to `out` as closed subpaths. Pieces that cannot be closed (a broken
// shape) are emitted as they are and closed by the rasterizer, as Flash Player does.
// With `oriented`, edges are only joined head to tail as given (the non-zero rule counts their direction);
// otherwise an edge may be walked backwards to close a contour (the even-odd rule ignores direction).
void linkFillEdges(const std::vector<Edge>& edges, raster::Path& out, bool oriented = false);

// Strokes follow the drawing order: consecutive edges that meet make one polyline. `closed` is set for a
// polyline that ends where it began (it gets a join there instead of two caps).
struct StrokePiece {
    std::vector<Edge> edges;
    bool closed = false;
};
std::vector<StrokePiece> chainStrokeEdges(const std::vector<Edge>& edges);

// Writes a run of connected edges into `out` (one subpath, closed when asked).
void appendEdges(const std::vector<Edge>& edges, bool close, raster::Path& out);

}  // namespace player
