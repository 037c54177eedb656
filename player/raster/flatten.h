// Outline stage, first half: turns a Path into polylines (curves replaced by chords), checking and
// clamping coordinates on the way.
#pragma once

#include <cstdint>
#include <vector>

#include "player/raster/path.h"

namespace raster {

struct Polylines {
    struct Subpath {
        uint32_t begin = 0, end = 0;  // range in points
        bool closed = false;          // ended with Path::close()
    };
    std::vector<Point> points;
    std::vector<Subpath> subpaths;

    void clear() {
        points.clear();
        subpaths.clear();
    }
};

// Flattens `path` into `out` (cleared first) with chords at most `tolerance` pixels from the curve.
// Coordinates are clamped to +-kMaxCoordinate. Returns false, leaving `out` empty, when a coordinate is not
// finite or the result would exceed kMaxEdgesPerPath points.
bool flattenPath(const Path& path, double tolerance, Polylines& out);

}  // namespace raster
