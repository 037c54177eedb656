#include "player/raster/stroker.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "player/raster/limits.h"

namespace raster {

namespace {

using Vec = Point;
inline Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y};
}
inline Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
inline Vec operator*(Vec a, double s) {
    return {a.x * s, a.y * s};
}
inline double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y;
}
inline double cross(Vec a, Vec b) {
    return a.x * b.y - a.y * b.x;
}
inline Vec toVec(Point p) {
    return {p.x, p.y};
}
inline Point toPoint(Vec v) {
    return {v.x, v.y};
}

class Emitter {
  public:
    Emitter(CoverageRasterizer& out, double halfWidth, double tolerance, const player::Matrix* toDevice,
            std::vector<Vec>& scratch)
        : out_(out), h_(halfWidth), toDevice_(toDevice), pts_(scratch) {
        // Angle step keeping a chord of the round parts within the flattening tolerance of the arc.
        double c = 1 - std::min(tolerance / h_, 1.0);
        arcStep_ = std::max(2 * std::acos(c), 2 * std::numbers::pi / 256);
        cosStep_ = std::cos(arcStep_);
    }

    // Adds a polygon, turned so that every piece winds the same way.
    void polygon(const Vec* p, int n) {
        double area = 0;
        for (int i = 0; i < n; ++i)
            area += cross(p[i], p[(i + 1) % n]);
        if (area > 0) {
            for (int i = 0; i < n; ++i)
                edge(p[i], p[(i + 1) % n]);
        } else if (area < 0) {
            for (int i = n; i > 0; --i)
                edge(p[i % n], p[i - 1]);
        }
    }

    void segment(Vec a, Vec b, Vec n) {
        Vec off = n * h_;
        if (hairline_) {
            // A hairline is offset along the axis across which it runs: every column of a mostly
            // horizontal line (every row of a mostly vertical one) gets one pixel of ink, whatever its
            // slope. Flash Player's one-pixel diagonals show exactly this: two pixels of 1/4 and 3/4 per
            // row at 45 degrees, not the 1.41 px a round pen would give.
            off = std::abs(n.y) >= std::abs(n.x) ? Vec{0, n.y >= 0 ? h_ : -h_} : Vec{n.x >= 0 ? h_ : -h_, 0};
        }
        Vec q[4] = {a + off, b + off, b - off, a - off};
        polygon(q, 4);
    }

    // Device-space lines one pixel wide or less (see segment()).
    void setHairline(bool on) { hairline_ = on; }

    void circle(Vec c) {
        int n = std::clamp(int(std::ceil(2 * std::numbers::pi / arcStep_)), 8, 256);
        pts_.clear();
        for (int i = 0; i < n; ++i) {
            double t = 2 * std::numbers::pi * i / n;
            pts_.push_back(c + Vec{std::cos(t), std::sin(t)} * h_);
        }
        polygon(pts_.data(), n);
    }

    // Square cap at p for a line leaving p in direction `out` (unit), normal n.
    void squareCap(Vec p, Vec out, Vec n) {
        Vec q[4] = {p + n * h_, p + n * h_ + out * h_, p - n * h_ + out * h_, p - n * h_};
        polygon(q, 4);
    }

    void cap(CapStyle style, Vec p, Vec out, Vec n) {
        if (style == CapStyle::Round) circle(p);
        if (style == CapStyle::Square) squareCap(p, out, n);
    }

    // Join at p between a segment arriving in direction d0 and one leaving in d1 (both unit).
    void join(const StrokeStyle& style, Vec p, Vec d0, Vec d1) {
        double turn = cross(d0, d1), along = dot(d0, d1);
        if (std::abs(turn) < 1e-9 && along > 0) return;  // straight on: the rectangles already meet
        // The outer side is the one the path turns away from.
        double s = turn > 0 ? -1 : 1;
        Vec n0 = Vec{-d0.y, d0.x} * s, n1 = Vec{-d1.y, d1.x} * s;
        Vec a = p + n0 * h_, b = p + n1 * h_;
        if (style.join == JoinStyle::Bevel) {
            Vec q[3] = {p, a, b};
            polygon(q, 3);
        } else if (style.join == JoinStyle::Round) {
            if (dot(n0, n1) >= cosStep_) {
                // Within one arc step (the common case along flattened curves) the arc is its chord.
                Vec q[3] = {p, a, b};
                polygon(q, 3);
                return;
            }
            double sweep = std::acos(std::clamp(dot(n0, n1), -1.0, 1.0));
            int n = std::clamp(int(std::ceil(sweep / arcStep_)), 1, 256);
            double start = std::atan2(n0.y, n0.x);
            double dir = cross(n0, n1) >= 0 ? 1 : -1;
            if (std::abs(turn) < 1e-9) dir = -1;  // a U-turn: the half circle ahead of the line
            pts_.clear();
            pts_.push_back(p);
            for (int i = 0; i <= n; ++i) {
                double t = start + dir * sweep * i / n;
                pts_.push_back(p + Vec{std::cos(t), std::sin(t)} * h_);
            }
            polygon(pts_.data(), int(pts_.size()));
        } else {
            miter(style, p, d0, d1, n0, n1, a, b);
        }
    }

  private:
    // A matrix with a negative determinant turns every piece the other way round alike, so the non-zero
    // union is unchanged.
    void edge(Vec a, Vec b) {
        if (toDevice_) {
            toDevice_->apply(a.x, a.y, a.x, a.y);
            toDevice_->apply(b.x, b.y, b.x, b.y);
        }
        out_.addEdge(toPoint(a), toPoint(b));
    }

    void miter(const StrokeStyle& style, Vec p, Vec d0, Vec d1, Vec n0, Vec n1, Vec a, Vec b) {
        Vec m = n0 + n1;
        double len = std::sqrt(dot(m, m));
        // A U-turn has no bisector between the normals: the miter points straight ahead.
        m = len > 1e-12 ? m * (1 / len) : d0;
        double cosHalf = dot(n0, m);  // a and b lie this far (times h) along the bisector
        // SWF stores the factor as 8.8 fixed point, so nothing beyond 256 is meaningful; NaN counts as 1.
        double factor = style.miterLimit >= 1.0 ? std::min(style.miterLimit, 256.0) : 1.0;
        double limit = factor * h_;
        if (cosHalf > 1e-12 && h_ / cosHalf <= limit) {
            Vec tip = p + m * (h_ / cosHalf);
            Vec q[4] = {p, a, tip, b};
            polygon(q, 4);
            return;
        }
        double reach = h_ * cosHalf;
        double ua = dot(d0, m), ub = -dot(d1, m);
        if (limit <= reach || ua <= 1e-12 || ub <= 1e-12) {
            Vec q[3] = {p, a, b};
            polygon(q, 3);
            return;
        }
        // Cut square to the bisector at distance `limit` from the corner.
        Vec a2 = a + d0 * ((limit - reach) / ua);
        Vec b2 = b - d1 * ((limit - reach) / ub);
        Vec q[5] = {p, a, a2, b2, b};
        polygon(q, 5);
    }

    CoverageRasterizer& out_;
    double h_;
    const player::Matrix* toDevice_;
    double arcStep_;
    double cosStep_;
    std::vector<Vec>& pts_;
    bool hairline_ = false;
};

}  // namespace

double deviceLineWidth(double twips, const player::Matrix& m, LineScaleMode mode, double stageScale) {
    double sx = std::sqrt(m.a * m.a + m.b * m.b), sy = std::sqrt(m.c * m.c + m.d * m.d);
    switch (mode) {
        case LineScaleMode::Normal:
            return twips * std::sqrt((sx * sx + sy * sy) / 2);
        case LineScaleMode::Horizontal:
            return twips * sx;
        case LineScaleMode::Vertical:
            return twips * sy;
        case LineScaleMode::None:
            return twips * stageScale;
    }
    return twips;
}

bool Stroker::stroke(const Polylines& lines, const StrokeStyle& style, CoverageRasterizer& out) {
    double width = std::isfinite(style.width) ? std::clamp(style.width, 1.0, kMaxCoordinate) : 1.0;
    return strokeWith(lines, style, width, kFlattenTolerance, nullptr, out);
}

bool Stroker::stroke(const Polylines& lines, const StrokeStyle& style, const player::Matrix& toDevice,
                     double tolerance, CoverageRasterizer& out) {
    double width = std::isfinite(style.width) ? std::clamp(style.width, 0.0, kMaxCoordinate) : 0.0;
    return strokeWith(lines, style, width, tolerance, &toDevice, out);
}

bool Stroker::strokeWith(const Polylines& lines, const StrokeStyle& style, double width, double tolerance,
                         const player::Matrix* toDevice, CoverageRasterizer& out) {
    Emitter emit(out, width / 2, tolerance, toDevice, arc_);
    emit.setHairline(!toDevice && width <= 1);
    std::vector<Point>& pts = points_;
    for (const Polylines::Subpath& sp : lines.subpaths) {
        pts.clear();
        for (uint32_t i = sp.begin; i < sp.end; ++i) {
            Vec v = toVec(lines.points[i]);
            if (pts.empty() || v.x != pts.back().x || v.y != pts.back().y) pts.push_back(v);
        }
        if (pts.empty()) continue;
        bool closed = sp.closed;
        if (pts.size() > 2 && pts.front().x == pts.back().x && pts.front().y == pts.back().y) {
            closed = true;
        }
        if (closed && pts.size() > 1 && pts.front().x == pts.back().x && pts.front().y == pts.back().y) {
            pts.pop_back();
        }
        const size_t n = pts.size();
        if (n == 1) {
            emit.cap(style.startCap, pts[0], {1, 0}, {0, 1});
            if (out.edgeCount() > size_t(kMaxEdgesPerPath)) return false;
            continue;
        }
        if (n == 2) closed = false;  // there and back again: a single segment with caps
        const size_t segs = closed ? n : n - 1;
        Vec prevDir{};
        Vec firstDir{};
        for (size_t i = 0; i < segs; ++i) {
            Vec a = pts[i], b = pts[(i + 1) % n];
            Vec d = b - a;
            double len = std::sqrt(dot(d, d));
            d = d * (1 / len);
            Vec nrm{-d.y, d.x};
            emit.segment(a, b, nrm);
            if (i == 0) {
                firstDir = d;
                if (!closed) emit.cap(style.startCap, a, d * -1, nrm);
            } else {
                emit.join(style, a, prevDir, d);
            }
            prevDir = d;
            if (out.edgeCount() > size_t(kMaxEdgesPerPath)) return false;
        }
        if (closed) {
            emit.join(style, pts[0], prevDir, firstDir);
        } else {
            emit.cap(style.endCap, pts[n - 1], prevDir, Vec{-prevDir.y, prevDir.x});
        }
    }
    return out.edgeCount() <= size_t(kMaxEdgesPerPath);
}

}  // namespace raster
