#include "player/raster/flatten.h"

#include <algorithm>
#include <cmath>

#include "player/raster/limits.h"

namespace raster {

namespace {

Point clampPoint(Point p) {
    return {std::clamp(p.x, -kMaxCoordinate, kMaxCoordinate),
            std::clamp(p.y, -kMaxCoordinate, kMaxCoordinate)};
}

// Number of chords keeping a quadratic within `tolerance`: its second derivative is the constant
// 2 * (p0 - 2 p1 + p2), so a chord over a parameter step h strays at most |p0 - 2 p1 + p2| h^2 / 4.
// A curve that strays exactly the tolerance takes the smaller count. Shapes drawn on the twips grid often
// land on that boundary (|p0 - 2 p1 + p2| = 8 twips = 0.4 px is one chord at 0.1 px), and the aliased
// reference pictures draw such curves with the smaller count; the slack keeps the rounding error of
// coordinates like 211.55 from adding a chord.
int quadSegments(Point p0, Point p1, Point p2, double tolerance) {
    constexpr double kSlack = 1e-6;
    double dx = p0.x - 2 * p1.x + p2.x, dy = p0.y - 2 * p1.y + p2.y;
    double dd = std::sqrt(dx * dx + dy * dy);
    double n = std::ceil(std::sqrt(dd / (4 * tolerance)) - kSlack);
    if (!(n >= 1)) return 1;
    return n > kMaxSegmentsPerCurve ? kMaxSegmentsPerCurve : int(n);
}

}  // namespace

bool flattenPath(const Path& path, double tolerance, Polylines& out) {
    out.clear();
    const auto& verbs = path.verbs();
    const auto& pts = path.points();
    for (const Point& p : pts) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    }
    tolerance = std::max(tolerance, 1e-3);

    size_t pi = 0;
    Point start{}, current{};
    bool inSubpath = false;
    auto finish = [&](bool closed) {
        if (!inSubpath) return;
        Polylines::Subpath& sp = out.subpaths.back();
        sp.end = uint32_t(out.points.size());
        sp.closed = closed;
        inSubpath = false;
    };
    auto begin = [&](Point p) {
        out.subpaths.push_back({uint32_t(out.points.size()), 0, false});
        out.points.push_back(p);
        start = current = p;
        inSubpath = true;
    };

    for (Path::Verb v : verbs) {
        switch (v) {
            case Path::Verb::Move:
                finish(false);
                begin(clampPoint(pts[pi++]));
                break;
            case Path::Verb::Line: {
                if (!inSubpath) begin(current);
                current = clampPoint(pts[pi++]);
                out.points.push_back(current);
                break;
            }
            case Path::Verb::Quad: {
                if (!inSubpath) begin(current);
                Point c = clampPoint(pts[pi]), e = clampPoint(pts[pi + 1]);
                pi += 2;
                int n = quadSegments(current, c, e, tolerance);
                for (int i = 1; i < n; ++i) {
                    double t = double(i) / n, u = 1 - t;
                    out.points.push_back({u * u * current.x + 2 * u * t * c.x + t * t * e.x,
                                          u * u * current.y + 2 * u * t * c.y + t * t * e.y});
                }
                out.points.push_back(e);
                current = e;
                break;
            }
            case Path::Verb::Close:
                finish(true);
                current = start;
                break;
        }
        if (out.points.size() > size_t(kMaxEdgesPerPath)) {
            out.clear();
            return false;
        }
    }
    finish(false);
    return true;
}

}  // namespace raster
