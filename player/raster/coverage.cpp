#include "player/raster/coverage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
constexpr int kCellsAA = kSubScanlines * kSubSamplesX;
constexpr int kXShiftAA = std::countr_zero(unsigned(kSubSamplesX));
constexpr int kSubShiftAA = std::countr_zero(unsigned(kSubScanlines));

int64_t toFixed(double v) {
    return int64_t(std::clamp(v, -kMaxSamples, kMaxSamples) * kFixedOne);
}

// Covered samples to alpha: n samples of 2^k give n * 256 / 2^k, a full pixel's 256 becomes 255.
inline int toAlpha(int samples, int shift) {
    const int a = samples << shift;
    return a - (a >> 8);
}

// Set bits of a four-bit lane mask (std::popcount is a library call without the POPCNT instruction).
inline int lanes(int mask4) {
    return (0x4332322132212110 >> (mask4 * 4)) & 15;
}

template <bool EvenOdd>
inline bool inside(int32_t winding) {
    return EvenOdd ? (winding & 1) != 0 : winding != 0;
}

}  // namespace

void CoverageRasterizer::setClip(int width, int y0, int y1) {
    width_ = std::max(width, 0);
    clipY0_ = y0;
    clipY1_ = std::max(y0, y1);
    if (cells_.size() < size_t(width_) * kCellsAA) {
        cells_.assign(size_t(width_) * kCellsAA, 0);
        touched_.assign((size_t(width_) + 63) / 64, 0);
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

template <bool Antialias>
void CoverageRasterizer::crossRow(int sRow) {
    constexpr int subs = Antialias ? kSubScanlines : 1;
    constexpr int xShift = Antialias ? kXShiftAA : 0;
    constexpr int cellsPerPixel = Antialias ? kCellsAA : 1;
    constexpr int64_t ceilBias = (int64_t(1) << kFracBits) - 1;
    const int sEnd = sRow + subs;
    const int64_t qMax = int64_t(width_) << xShift;
    Cell* cells = cells_.data();
    int lo = minCell_, hi = maxCell_;
    size_t keep = 0;
    for (size_t i = 0, n = active_.size(); i < n; ++i) {
        SweepEdge e = active_[i];
        const int sb = std::min(e.s1, sEnd);
        int marked = -1;  // the pixel last marked touched: steep edges cross one pixel several times
        for (int s = std::max(e.s0, sRow); s < sb; ++s) {
            // The first sample at or right of the crossing; samples from there on count the edge. Past the
            // right side it reaches no sample; before the left side it counts from the first.
            const int64_t q = (e.x + ceilBias) >> kFracBits;
            e.x += e.step;
            if (q >= qMax) continue;
            const int qi = q < 0 ? 0 : int(q);
            const int px = qi >> xShift;
            Cell& cell = cells[size_t(px) * cellsPerPixel + size_t(qi & ((1 << xShift) - 1)) * subs +
                               size_t(s - sRow)];
            cell = Cell(cell + e.dir);
            if (px != marked) {
                touched_[size_t(px) >> 6] |= uint64_t(1) << (px & 63);
                lo = std::min(lo, px);
                hi = std::max(hi, px);
                marked = px;
            }
        }
        if (e.s1 > sEnd) active_[keep++] = e;
    }
    active_.resize(keep);
    minCell_ = lo;
    maxCell_ = hi;
}

inline void CoverageRasterizer::addRun(int x0, int x1, int coverage) {
    if (coverage <= 0 || x0 >= x1) return;
    if (!spans_.empty() && spans_.back().x1 == x0 && spans_.back().coverage == coverage) {
        spans_.back().x1 = x1;
    } else {
        spans_.push_back({x0, x1, coverage});
    }
}

template <bool Antialias, bool EvenOdd>
void CoverageRasterizer::emitRow(int y, RowSink& sink) {
    constexpr int alphaShift = Antialias ? 8 - kXShiftAA - kSubShiftAA : 8;
    spans_.clear();
    Cell* cells = cells_.data();
    // The windings left of the next touched pixel, one per sub-scanline, and the coverage they give.
#if defined(__SSE2__)
    static_assert(kSubScanlines == 4 || !Antialias, "the SIMD sums hold four sub-scanlines");
    __m128i winding = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi32(1);
    // Lanes whose winding is outside the shape (all ones) or inside (zero).
    auto outsideLanes = [&](__m128i w) { return _mm_cmpeq_epi32(EvenOdd ? _mm_and_si128(w, one) : w, zero); };
#else
    int32_t winding[kSubScanlines] = {};
#endif
    int32_t winding1 = 0;  // without anti-aliasing
    auto runCoverage = [&]() {
        if constexpr (!Antialias) {
            return inside<EvenOdd>(winding1) ? 255 : 0;
        } else {
#if defined(__SSE2__)
            const int outside = _mm_movemask_ps(_mm_castsi128_ps(outsideLanes(winding)));
            return toAlpha((kSubScanlines - lanes(outside)) * kSubSamplesX, alphaShift);
#else
            int n = 0;
            for (int s = 0; s < kSubScanlines; ++s)
                n += inside<EvenOdd>(winding[s]) ? kSubSamplesX : 0;
            return toAlpha(n, alphaShift);
#endif
        }
    };
    int x = minCell_;
    for (int word = minCell_ >> 6, lastWord = maxCell_ >> 6; word <= lastWord; ++word) {
        uint64_t bits = touched_[size_t(word)];
        touched_[size_t(word)] = 0;
        for (; bits; bits &= bits - 1) {
            const int px = word * 64 + std::countr_zero(bits);
            if (px > x) addRun(x, px, runCoverage());
            int coverage;
            if constexpr (!Antialias) {
                winding1 += cells[px];
                cells[px] = 0;
                coverage = inside<EvenOdd>(winding1) ? 255 : 0;
            } else {
                Cell* c = cells + size_t(px) * kCellsAA;
#if defined(__SSE2__)
                // Sample by sample along the pixel, the four sub-scanlines at once; outside samples count -1.
                static_assert(kSubSamplesX % 2 == 0 && sizeof(Cell) == 2);
                __m128i outside = zero;
                for (int j = 0; j < kSubSamplesX; j += 2) {
                    __m128i* v = reinterpret_cast<__m128i*>(c + j * kSubScanlines);
                    const __m128i pair = _mm_loadu_si128(v);
                    _mm_storeu_si128(v, zero);
                    winding = _mm_add_epi32(winding, _mm_srai_epi32(_mm_unpacklo_epi16(pair, pair), 16));
                    outside = _mm_add_epi32(outside, outsideLanes(winding));
                    winding = _mm_add_epi32(winding, _mm_srai_epi32(_mm_unpackhi_epi16(pair, pair), 16));
                    outside = _mm_add_epi32(outside, outsideLanes(winding));
                }
                outside = _mm_add_epi32(outside, _mm_shuffle_epi32(outside, 0x4e));
                outside = _mm_add_epi32(outside, _mm_shuffle_epi32(outside, 0xb1));
                coverage = toAlpha(kCellsAA + _mm_cvtsi128_si32(outside), alphaShift);
#else
                int n = 0;
                for (int j = 0; j < kSubSamplesX; ++j) {
                    for (int s = 0; s < kSubScanlines; ++s) {
                        winding[s] += c[j * kSubScanlines + s];
                        n += inside<EvenOdd>(winding[s]);
                    }
                }
                std::fill_n(c, kCellsAA, Cell(0));
                coverage = toAlpha(n, alphaShift);
#endif
            }
            addRun(px, px + 1, coverage);
            x = px + 1;
        }
    }
    // Edges beyond the right side are not counted: the shape may go on to the end of the row.
    addRun(x, width_, runCoverage());
    minCell_ = std::numeric_limits<int>::max();
    maxCell_ = -1;
    if (!spans_.empty()) sink.row(y, spans_.data(), int(spans_.size()));
}

void CoverageRasterizer::sweep(const Edge* edges, size_t count, FillRule rule, bool antialias,
                               RowSink& sink) {
    if (width_ <= 0 || clipY1_ <= clipY0_ || count == 0) return;
    const int subs = antialias ? kSubScanlines : 1;
    const int xShift = antialias ? kXShiftAA : 0;
    const int subShift = antialias ? kSubShiftAA : 0;
    const double xScale = double(1 << xShift);
    const double invSubs = 1.0 / subs;  // exact: subs is a power of two
    const int sMin = clipY0_ * subs, sMax = clipY1_ * subs;

    // The edges in sweep form, then bucketed by their first row (a counting sort over the rows they start).
    active_.clear();
    int firstRow = std::numeric_limits<int>::max(), lastRow = std::numeric_limits<int>::min();
    for (const Edge& e : std::span(edges, count)) {
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
        // The crossing is worked out at the edge's first sub-scanline on the canvas and stepped from there
        // to the clip's first, so every clip (a mask's bounds, a band of the picture) gives the rows it
        // passes the same coverage as a sweep of the whole canvas.
        int s0 = int(std::clamp(fs0, 0.0, double(sMax)));
        int s1 = int(std::clamp(fs1, double(sMin), double(sMax)));
        if (std::max(s0, sMin) >= s1) continue;
        double dxdy = (bot.x - top.x) / (bot.y - top.y);
        double y = (s0 + 0.5) * invSubs;
        double x = top.x + (y - top.y) * dxdy;
        // Stored minus half a sample: a sample k is covered when its centre k + 0.5 lies at or right of
        // the crossing, so the first covered sample is ceil(stored x).
        int64_t fx = toFixed(x * xScale - 0.5);
        const int64_t step = toFixed(dxdy * xScale * invSubs);
        if (s0 < sMin) {
            // The same sum as stepping one sub-scanline at a time (the edge spans them all, so it stays
            // within the bounds above).
            fx += step * int64_t(sMin - s0);
            s0 = sMin;
        }
        active_.push_back({fx, step, s0, s1, dir});
        firstRow = std::min(firstRow, s0 >> subShift);
        lastRow = std::max(lastRow, s0 >> subShift);
    }
    if (active_.empty()) return;
    // rowEnd_[r - firstRow] ends up as the end of row r's edges in sweep_ (they start where row r - 1's end).
    rowEnd_.assign(size_t(lastRow - firstRow) + 1, 0);
    for (const SweepEdge& e : active_)
        ++rowEnd_[size_t((e.s0 >> subShift) - firstRow)];
    int start = 0;
    for (int& n : rowEnd_) {
        const int count = n;
        n = start;
        start += count;
    }
    sweep_.resize(active_.size());
    for (const SweepEdge& e : active_)
        sweep_[size_t(rowEnd_[size_t((e.s0 >> subShift) - firstRow)]++)] = e;
    active_.clear();

    const bool evenOdd = rule == FillRule::EvenOdd;
    size_t next = 0;
    int y = sweep_[0].s0 >> subShift;
    while (next < sweep_.size() || !active_.empty()) {
        if (active_.empty()) y = std::max(y, sweep_[next].s0 >> subShift);
        const size_t end = y <= lastRow ? size_t(rowEnd_[size_t(y - firstRow)]) : sweep_.size();
        for (; next < end; ++next)
            active_.push_back(sweep_[next]);
        const int sRow = y << subShift;
        if (antialias) {
            crossRow<true>(sRow);
        } else {
            crossRow<false>(sRow);
        }
        if (maxCell_ >= 0) {
            if (antialias) {
                evenOdd ? emitRow<true, true>(y, sink) : emitRow<true, false>(y, sink);
            } else {
                evenOdd ? emitRow<false, true>(y, sink) : emitRow<false, false>(y, sink);
            }
        }
        ++y;
    }
}

}  // namespace raster
