// A SWF shape turned into paths ready to draw: for each group of styles (a shape may bring new style arrays
// mid-way), one closed path per fill style and one stroke path per line style, all in twips.
// Built once per shape definition (or per morph ratio) and reused for every frame that draws it.
#pragma once

#include <vector>

#include "player/raster/coverage.h"
#include "player/raster/path.h"
#include "swf/types.h"

namespace player {

struct ShapeGeometry {
    struct Fill {
        swf::FillStyle style;
        raster::Path path;  // closed subpaths, twips
        raster::FillRule rule = raster::FillRule::EvenOdd;
    };
    struct Line {
        swf::LineStyle style;
        raster::Path path;  // polylines in drawing order; closed ones carry a Close
    };
    // Flash draws each style group's fills, then its lines, group after group.
    struct Group {
        std::vector<Fill> fills;
        std::vector<Line> lines;
    };
    std::vector<Group> groups;
    size_t edgeCount = 0;

    bool empty() const { return groups.empty(); }
};

// Limits against hostile shapes: edges beyond this many are dropped (and reported by the caller).
constexpr size_t kMaxShapeEdges = 1u << 20;

// Fills follow the even-odd rule, as Flash Player fills shapes, unless `nonZero` (DefineShape4's
// UsesFillWindingRule flag): then every edge is turned so that its fill lies on one side and the non-zero
// rule decides.
ShapeGeometry buildShapeGeometry(const swf::Shape& shape, bool nonZero = false);

}  // namespace player
