// Coverage stage: a sparse scanline sweep over straight edges that yields, row by row, the 8-bit coverage of
// each pixel under a fill rule.
//
// Each pixel row is sampled on kSubScanlines sub-scanlines (1 without anti-aliasing, at the pixel centre).
// On a sub-scanline the active edges' crossings are sorted and walked with the fill rule, and each inside
// span is added to a per-row difference array at kSubSamplesX positions per pixel (1 without
// anti-aliasing, the pixel centre). A prefix sum over the row then gives the number of covered samples per
// pixel. Work is proportional to edges x sub-scanlines plus the pixels between a row's first and last
// crossing; buffers are reused from draw to draw.
#pragma once

#include <cstdint>
#include <vector>

#include "player/raster/flatten.h"

namespace raster {

enum class FillRule { EvenOdd, NonZero };

// Receives the coverage of one row: coverage[i] belongs to pixel x0 + i, for x0 <= x < x1 (x1 > x0).
// Pixels outside [x0, x1) on that row, and rows never passed, have zero coverage.
class RowSink {
  public:
    virtual void row(int y, int x0, int x1, const uint8_t* coverage) = 0;

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
        int s0, s1;   // sub-scanlines [s0, s1) the edge crosses
        double x;     // crossing at the current sub-scanline, in sample units
        double step;  // change of x per sub-scanline, in sample units
        int dir;      // +1 downwards, -1 upwards
    };

    void addSpan(int qa, int qb);
    void emitRow(int y, RowSink& sink);

    int width_ = 0, clipY0_ = 0, clipY1_ = 0;
    int xShift_ = 0;  // log2 of samples per pixel along a sub-scanline
    int alphaShift_ = 0;
    int rowMin_ = 0, rowMax_ = -1;  // pixels touched in the delta array this row
    std::vector<RawEdge> edges_;
    std::vector<SweepEdge> sweep_;
    std::vector<SweepEdge> active_;
    std::vector<int32_t> delta_;
    std::vector<uint8_t> coverage_;
};

}  // namespace raster
