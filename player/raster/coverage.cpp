#include "player/raster/coverage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "player/raster/limits.h"

namespace raster {

static_assert(std::has_single_bit(unsigned(kSubScanlines)) && std::has_single_bit(unsigned(kSubSamplesX)));
static_assert(kSubScanlines * kSubSamplesX <= 256);

namespace {

constexpr int kFracBits = 32;  // fixed-point fraction of crossing positions
constexpr double kFixedOne = double(int64_t(1) << kFracBits);
// Crossing positions and steps are kept within +-2^29 samples: far beyond any canvas (8192 * 4 samples).
// With edge ends within +-2^25 px (4 samples each), a crossing moves at most 2^28 samples over the edge's
// sub-scanlines, plus one last step of at most 2^29: the 32.32 fixed-point sums stay below 2^62.
constexpr double kMaxSamples = double(1 << 29);

int64_t toFixed(double v) {
    return int64_t(std::clamp(v, -kMaxSamples, kMaxSamples) * kFixedOne);
}

}  // namespace

void CoverageRasterizer::setClip(int width, int y0, int y1) {
    width_ = std::max(width, 0);
    clipY0_ = y0;
    clipY1_ = std::max(y0, y1);
    if (delta_.size() < size_t(width_) + 2) {
        delta_.assign(size_t(width_) + 2, 0);
        touched_.assign((size_t(width_) + 2 + 63) / 64, 0);
        minCell_ = std::numeric_limits<int>::max();
        maxCell_ = -1;
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
    delta_[ib] -= full - fb;
    touch(ia);
    touch(ib);
    if (fa) {
        delta_[ia + 1] += fa;
        touch(ia + 1);
    }
    if (fb) {
        delta_[ib + 1] -= fb;
        touch(ib + 1);
    }
    // The span's cells run from ia to ib, or ib + 1.
    minCell_ = std::min(minCell_, ia);
    maxCell_ = std::max(maxCell_, fb ? ib + 1 : ib);
}

void CoverageRasterizer::emitRow(int y, RowSink& sink) {
    // The touched cells in increasing order, read off their bits (and the bits cleared for the next row).
    spans_.clear();
    int32_t acc = 0;
    int x = minCell_;
    for (int word = minCell_ >> 6, lastWord = maxCell_ >> 6; word <= lastWord; ++word) {
        uint64_t bits = touched_[size_t(word)];
        touched_[size_t(word)] = 0;
        for (; bits; bits &= bits - 1) {
            const int cell = word * 64 + std::countr_zero(bits);
            if (cell != x) {
                // Covered samples to alpha: n samples of 2^k give n * 256 / 2^k, a full pixel's 256 becomes
                // 255.
                int a = acc << alphaShift_;
                a -= a >> 8;
                int end = std::min(cell, width_);
                if (a > 0 && x < end) {
                    if (!spans_.empty() && spans_.back().x1 == x && spans_.back().coverage == a) {
                        spans_.back().x1 = end;
                    } else {
                        spans_.push_back({x, end, a});
                    }
                }
                x = cell;
            }
            acc += delta_[size_t(cell)];
            delta_[size_t(cell)] = 0;
        }
    }
    minCell_ = std::numeric_limits<int>::max();
    maxCell_ = -1;
    if (!spans_.empty()) sink.row(y, spans_.data(), int(spans_.size()));
}

void CoverageRasterizer::sweep(FillRule rule, bool antialias, RowSink& sink) {
    if (width_ <= 0 || clipY1_ <= clipY0_ || edges_.empty()) return;
    const int subs = antialias ? kSubScanlines : 1;
    xShift_ = antialias ? std::countr_zero(unsigned(kSubSamplesX)) : 0;
    const int subShift = std::countr_zero(unsigned(subs));
    alphaShift_ = 8 - xShift_ - subShift;
    const double xScale = double(1 << xShift_);
    const int sMin = clipY0_ * subs, sMax = clipY1_ * subs;
    const int qMax = width_ << xShift_;

    sweep_.clear();
    for (const RawEdge& e : edges_) {
        Point top = e.a, bot = e.b;
        int dir = 1;
        // Edges come clamped from the outline stage; one that is not finite (only possible through
        // addEdge) is dropped rather than trusted.
        if (!(std::isfinite(top.x) && std::isfinite(top.y) && std::isfinite(bot.x) && std::isfinite(bot.y))) {
            continue;
        }
        // Paths arrive clamped to +-kMaxCoordinate and strokes reach at most half a width further; clamping
        // again here bounds every crossing and step so the fixed-point sums below cannot overflow.
        constexpr double kLimit = 2 * kMaxCoordinate;
        top = {std::clamp(top.x, -kLimit, kLimit), std::clamp(top.y, -kLimit, kLimit)};
        bot = {std::clamp(bot.x, -kLimit, kLimit), std::clamp(bot.y, -kLimit, kLimit)};
        if (top.y == bot.y) continue;
        if (top.y > bot.y) {
            std::swap(top, bot);
            dir = -1;
        }
        // Sub-scanline s samples y = (s + 0.5) / subs; the edge crosses it when top.y <= y < bot.y.
        double fs0 = std::ceil(top.y * subs - 0.5), fs1 = std::ceil(bot.y * subs - 0.5);
        int s0 = int(std::clamp(fs0, double(sMin), double(sMax)));
        int s1 = int(std::clamp(fs1, double(sMin), double(sMax)));
        if (s0 >= s1) continue;
        double dxdy = (bot.x - top.x) / (bot.y - top.y);
        double y = (s0 + 0.5) / subs;
        double x = top.x + (y - top.y) * dxdy;
        // Stored minus half a sample: a sample k is covered when its centre k + 0.5 lies at or right of
        // the crossing, so the first covered sample is ceil(stored x).
        sweep_.push_back({toFixed(x * xScale - 0.5), toFixed(dxdy * xScale / subs), s0, s1, dir});
    }
    if (sweep_.empty()) return;
    std::sort(sweep_.begin(), sweep_.end(),
              [](const SweepEdge& a, const SweepEdge& b) { return a.s0 < b.s0; });

    active_.clear();
    size_t next = 0;
    const bool evenOdd = rule == FillRule::EvenOdd;
    const int64_t ceilBias = (int64_t(1) << kFracBits) - 1;
    // The active edges are kept ordered by x. They are dropped once finished (looked for only from the
    // first sub-scanline where one finishes), and sorted again (a stable insertion sort) only when edges
    // were added or the last step left two out of order: the order barely changes between sub-scanlines.
    constexpr int kNever = std::numeric_limits<int>::max();
    int firstEnd = kNever;  // smallest s1 of the active edges
    bool unordered = false;
    int s = sweep_[0].s0 & ~(subs - 1);
    while (next < sweep_.size() || !active_.empty()) {
        if (active_.empty()) s = std::max(s, sweep_[next].s0 & ~(subs - 1));
        const int rowEnd = s + subs;
        for (; s < rowEnd; ++s) {
            while (next < sweep_.size() && sweep_[next].s0 <= s) {
                active_.push_back(sweep_[next++]);
                firstEnd = std::min(firstEnd, active_.back().s1);
                unordered = true;
            }
            if (firstEnd <= s) {
                size_t n = 0;
                firstEnd = kNever;
                for (size_t i = 0, count = active_.size(); i < count; ++i) {
                    if (active_[i].s1 <= s) continue;
                    if (n != i) active_[n] = active_[i];
                    firstEnd = std::min(firstEnd, active_[n].s1);
                    ++n;
                }
                active_.resize(n);
            }
            const size_t n = active_.size();
            if (n == 0) continue;
            if (unordered) {
                for (size_t i = 1; i < n; ++i) {
                    if (active_[i - 1].x <= active_[i].x) continue;
                    SweepEdge e = active_[i];
                    size_t j = i;
                    while (j > 0 && active_[j - 1].x > e.x) {
                        active_[j] = active_[j - 1];
                        --j;
                    }
                    active_[j] = e;
                }
                unordered = false;
            }

            int winding = 0, spanStart = 0;
            bool inside = false;
            int64_t previous = std::numeric_limits<int64_t>::min();
            for (SweepEdge& e : active_) {
                int64_t q64 = (e.x + ceilBias) >> kFracBits;
                int q = int(std::clamp<int64_t>(q64, 0, qMax));
                winding += e.dir;
                bool nowInside = evenOdd ? (winding & 1) : winding != 0;
                if (nowInside != inside) {
                    if (nowInside) {
                        spanStart = q;
                    } else {
                        addSpan(spanStart, q);
                    }
                    inside = nowInside;
                }
                e.x += e.step;
                unordered |= e.x < previous;
                previous = e.x;
            }
        }
        if (maxCell_ >= 0) emitRow((s - 1) >> subShift, sink);
    }
}

}  // namespace raster
