#include "player/raster/coverage.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

#include "player/raster/limits.h"

namespace raster {

static_assert(std::has_single_bit(unsigned(kSubScanlines)) && std::has_single_bit(unsigned(kSubSamplesX)));
static_assert(kSubScanlines * kSubSamplesX <= 256);

void CoverageRasterizer::setClip(int width, int y0, int y1) {
    width_ = std::max(width, 0);
    clipY0_ = y0;
    clipY1_ = std::max(y0, y1);
    if (delta_.size() < size_t(width_) + 2) {
        delta_.assign(size_t(width_) + 2, 0);
        coverage_.resize(size_t(width_) + 2);
    }
}

void CoverageRasterizer::addPolygons(const Polylines& polys) {
    for (const Polylines::Subpath& sp : polys.subpaths) {
        if (sp.end - sp.begin < 2) continue;
        Point prev = polys.points[sp.end - 1];
        for (uint32_t i = sp.begin; i < sp.end; ++i) {
            const Point& p = polys.points[i];
            edges_.push_back({prev, p});
            prev = p;
        }
    }
}

// Adds one inside span [qa, qb) of a sub-scanline, in sample units, to the difference array: the pixel
// holding qa gains the samples from qa to its right edge, every later pixel gains a full pixel's worth, and
// the same is taken away again from qb on.
inline void CoverageRasterizer::addSpan(int qa, int qb) {
    if (qa >= qb) return;
    const int full = 1 << xShift_, mask = full - 1;
    int ia = qa >> xShift_, fa = qa & mask;
    int ib = qb >> xShift_, fb = qb & mask;
    delta_[ia] += full - fa;
    delta_[ia + 1] += fa;
    delta_[ib] -= full - fb;
    delta_[ib + 1] -= fb;
    rowMin_ = std::min(rowMin_, ia);
    rowMax_ = std::max(rowMax_, ib + 1);
}

void CoverageRasterizer::emitRow(int y, RowSink& sink) {
    int x0 = rowMin_, end = rowMax_;
    int32_t acc = 0;
    int last = std::min(end, width_ - 1);
    int firstNonZero = -1, lastNonZero = -1;
    for (int x = x0; x <= last; ++x) {
        acc += delta_[x];
        delta_[x] = 0;
        // Covered samples to alpha: n samples of 2^k give n * 256 / 2^k, and a full pixel's 256 becomes 255.
        int a = acc << alphaShift_;
        a -= a >> 8;
        coverage_[x - x0] = uint8_t(a);
        if (a) {
            if (firstNonZero < 0) firstNonZero = x;
            lastNonZero = x;
        }
    }
    for (int x = std::max(last + 1, x0); x <= end; ++x)
        delta_[x] = 0;
    rowMin_ = INT_MAX;
    rowMax_ = -1;
    if (firstNonZero >= 0) {
        sink.row(y, firstNonZero, lastNonZero + 1, coverage_.data() + (firstNonZero - x0));
    }
}

void CoverageRasterizer::sweep(FillRule rule, bool antialias, RowSink& sink) {
    if (width_ <= 0 || clipY1_ <= clipY0_ || edges_.empty()) return;
    const int subs = antialias ? kSubScanlines : 1;
    xShift_ = antialias ? std::countr_zero(unsigned(kSubSamplesX)) : 0;
    const int subShift = std::countr_zero(unsigned(subs));
    alphaShift_ = 8 - xShift_ - subShift;
    const double xScale = double(1 << xShift_);
    const int sMin = clipY0_ * subs, sMax = clipY1_ * subs;
    // Sample positions outside the canvas are clamped just past its edges: a span starting left of the
    // canvas starts at column 0, one ending right of it ends at the last column.
    const double xLo = -1.0, xHi = double(width_) * xScale + 1.0;

    sweep_.clear();
    for (const RawEdge& e : edges_) {
        Point top = e.a, bot = e.b;
        int dir = 1;
        if (top.y == bot.y) continue;
        if (top.y > bot.y) {
            std::swap(top, bot);
            dir = -1;
        }
        // Sub-scanline s samples y = (s + 0.5) / subs; the edge crosses it when top.y <= y < bot.y.
        double fs0 = std::ceil(top.y * subs - 0.5), fs1 = std::ceil(bot.y * subs - 0.5);
        int s0 = int(std::max(fs0, double(sMin))), s1 = int(std::min(fs1, double(sMax)));
        if (s0 >= s1) continue;
        double dxdy = (bot.x - top.x) / (bot.y - top.y);
        double y = (s0 + 0.5) / subs;
        double x = top.x + (y - top.y) * dxdy;
        sweep_.push_back({s0, s1, x * xScale - 0.5, dxdy * xScale / subs, dir});
    }
    if (sweep_.empty()) return;
    std::sort(sweep_.begin(), sweep_.end(),
              [](const SweepEdge& a, const SweepEdge& b) { return a.s0 < b.s0; });

    rowMin_ = INT_MAX;
    rowMax_ = -1;
    active_.clear();
    size_t next = 0;
    const bool evenOdd = rule == FillRule::EvenOdd;
    int s = sweep_[0].s0 & ~(subs - 1);
    while (next < sweep_.size() || !active_.empty()) {
        if (active_.empty()) s = std::max(s, sweep_[next].s0 & ~(subs - 1));
        const int rowEnd = s + subs;
        for (; s < rowEnd; ++s) {
            while (next < sweep_.size() && sweep_[next].s0 <= s)
                active_.push_back(sweep_[next++]);
            // Drop finished edges and keep the rest ordered by x (insertion sort: the order barely changes
            // from one sub-scanline to the next).
            size_t n = 0;
            for (size_t i = 0; i < active_.size(); ++i) {
                if (active_[i].s1 <= s) continue;
                SweepEdge e = active_[i];
                size_t j = n++;
                while (j > 0 && active_[j - 1].x > e.x) {
                    active_[j] = active_[j - 1];
                    --j;
                }
                active_[j] = e;
            }
            active_.resize(n);
            if (n == 0) continue;

            int winding = 0, spanStart = 0;
            for (SweepEdge& e : active_) {
                // A sample at position k (pixel k >> xShift) is covered when its centre k + 0.5 lies at or
                // right of the crossing, so the first covered sample is ceil(x - 0.5); x is stored minus 0.5.
                double cx = std::clamp(e.x, xLo, xHi);
                int q = int(std::ceil(cx));
                q = std::clamp(q, 0, width_ << xShift_);
                bool wasInside = evenOdd ? (winding & 1) : winding != 0;
                winding += e.dir;
                bool inside = evenOdd ? (winding & 1) : winding != 0;
                if (inside && !wasInside) {
                    spanStart = q;
                } else if (!inside && wasInside) {
                    addSpan(spanStart, q);
                }
                e.x += e.step;
            }
        }
        if (rowMax_ >= 0) emitRow((s - 1) >> subShift, sink);
    }
}

}  // namespace raster
