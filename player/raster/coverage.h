// Coverage stage: a sparse scanline sweep over straight edges that yields, row by row, the 8-bit coverage of
// each pixel under a fill rule.
//
// Each pixel row is sampled on kSubScanlines sub-scanlines (1 without anti-aliasing, at the pixel centre),
// each at kSubSamplesX positions per pixel (1 without anti-aliasing, the pixel centre). A sample is inside
// when the winding of the edges crossing its sub-scanline at or left of it passes the fill rule.
//
// Instead of sorting crossings, every edge adds its direction (+1 down, -1 up) to a cell at the sample where
// it crosses each sub-scanline: a pixel's cell holds one counter per sample. Walking a row's touched pixels
// from left to right, the running sums of those counters are the windings of the samples; between two
// touched pixels they stay constant, so a row comes out as a few runs (partly covered edge pixels, long runs
// inside). Work is proportional to edges x sub-scanlines plus the pixels edges cross, not to the area
// filled; buffers are reused.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "player/raster/flatten.h"

namespace raster {

enum class FillRule { EvenOdd, NonZero };

// A run of pixels [x0, x1) on one row with the same coverage (1..255).
struct CoverageSpan {
    int x0, x1;
    int coverage;
};

// Receives the coverage of one row as runs ordered by x, not overlapping, within the clip. Pixels outside
// them, and rows never passed, have zero coverage.
class RowSink {
  public:
    virtual void row(int y, const CoverageSpan* spans, int count) = 0;

  protected:
    ~RowSink() = default;
};

class CoverageRasterizer {
  public:
    struct Edge {
        Point a, b;
    };

    // Clip rectangle for the following sweeps: rows [y0, y1), columns [0, width). The clip only chooses
    // which rows are passed on: a row's coverage is the same whatever clip it is swept under (crossings
    // below the canvas's top are stepped to from there, as an unclipped sweep does), so a picture may be
    // drawn in bands.
    void setClip(int width, int y0, int y1);

    void clearEdges() { edges_.clear(); }
    void addEdge(Point a, Point b) { edges_.push_back({a, b}); }
    // Adds every subpath as a closed polygon.
    void addPolygons(const Polylines& polys);
    size_t edgeCount() const { return edges_.size(); }
    const std::vector<Edge>& edges() const { return edges_; }

    void sweep(FillRule rule, bool antialias, RowSink& sink) {
        sweep(edges_.data(), edges_.size(), rule, antialias, sink);
    }
    // The same over edges kept elsewhere (a recorded draw).
    void sweep(const Edge* edges, size_t count, FillRule rule, bool antialias, RowSink& sink);

  private:
    struct SweepEdge {
        int64_t x;     // crossing at the current sub-scanline minus half a sample, 32.32 fixed sample units
        int64_t step;  // change of x per sub-scanline
        int s0, s1;    // sub-scanlines [s0, s1) the edge crosses
        int dir;       // +1 downwards, -1 upwards
    };

    // Adds the crossings of the active edges with the sub-scanlines [sRow, sRow + subs) to the cells and
    // drops the edges that end there.
    template <bool Antialias>
    void crossRow(int sRow);
    // Sends the row's runs to the sink and leaves the cells zero.
    template <bool Antialias, bool EvenOdd>
    void emitRow(int y, RowSink& sink);
    void addRun(int x0, int x1, int coverage);

    int width_ = 0, clipY0_ = 0, clipY1_ = 0;
    std::vector<Edge> edges_;
    std::vector<SweepEdge> sweep_;
    std::vector<int> rowEnd_;  // sweep_ is ordered by first row: where each row's edges end
    std::vector<SweepEdge> active_;
    // Per pixel, one winding counter per sample (kSubScanlines * kSubSamplesX with anti-aliasing, sample j
    // of sub-scanline s at j * kSubScanlines + s; else one), plus one pixel beyond the right edge.
    // A cell sums the directions of the edges crossing at its sample, modulo 2^16 (an exact count unless
    // 32768 edges cross one sample; the windings summed from them are 32-bit).
    using Cell = int16_t;
    std::vector<Cell> cells_;
    std::vector<uint64_t> touched_;  // a bit per pixel: its cells changed this row
    int minCell_ = std::numeric_limits<int>::max(), maxCell_ = -1;  // touched pixels lie within these
    std::vector<CoverageSpan> spans_;
};

}  // namespace raster
