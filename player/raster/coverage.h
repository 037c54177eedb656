// Coverage stage: a sparse scanline sweep over straight edges that yields, row by row, the 8-bit coverage of
// each pixel under a fill rule.
//
// Each pixel row is sampled on kSubScanlines sub-scanlines (1 without anti-aliasing, at the pixel centre).
// On a sub-scanline the active edges' crossings are sorted and walked with the fill rule, and each inside
// span is added to a per-row difference array at kSubSamplesX positions per pixel (1 without
// anti-aliasing, the pixel centre). Only the cells a span touched are visited afterwards: between them the
// coverage is constant, so a row comes out as a few runs (partly covered edge pixels, long runs inside).
// Work is proportional to edges x sub-scanlines, not to the area filled; buffers are reused.
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
    // Clip rectangle for the following sweeps: rows [y0, y1), columns [0, width).
    void setClip(int width, int y0, int y1);

    void clearEdges() { edges_.clear(); }
    void addEdge(Point a, Point b) { edges_.push_back({a, b}); }
    // Adds every subpath as a closed polygon.
    void addPolygons(const Polylines& polys);
    size_t edgeCount() const { return edges_.size(); }

    void sweep(FillRule rule, bool antialias, RowSink& sink);

  private:
    struct RawEdge {
        Point a, b;
    };
    struct SweepEdge {
        int64_t x;     // crossing at the current sub-scanline minus half a sample, 32.32 fixed sample units
        int64_t step;  // change of x per sub-scanline
        int s0, s1;    // sub-scanlines [s0, s1) the edge crosses
        int dir;       // +1 downwards, -1 upwards
    };

    void addSpan(int qa, int qb);
    // Records that a cell of the difference array changed this row (the caller widens [minCell_, maxCell_]).
    void touch(int cell) { touched_[size_t(cell) >> 6] |= uint64_t(1) << (cell & 63); }
    void emitRow(int y, RowSink& sink);

    int width_ = 0, clipY0_ = 0, clipY1_ = 0;
    int xShift_ = 0;  // log2 of samples per pixel along a sub-scanline
    int alphaShift_ = 0;
    std::vector<RawEdge> edges_;
    std::vector<SweepEdge> sweep_;
    std::vector<SweepEdge> active_;
    std::vector<int32_t> delta_;
    std::vector<uint64_t> touched_;  // a bit per cell of delta_: changed this row
    int minCell_ = std::numeric_limits<int>::max(), maxCell_ = -1;  // touched cells lie within these
    std::vector<CoverageSpan> spans_;
};

}  // namespace raster
