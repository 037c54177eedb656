// The rasterizer: draws filled and stroked paths with solid, gradient and bitmap paints, anti-aliased or
// not, into a premultiplied 32-bit pixel buffer, clipped by nested mask layers.
//
// Owns: its scratch buffers (edges, coverage rows, mask layers), reused from draw to draw; not the pixels.
// Threads: one Canvas is used by one thread at a time (the player's render call); separate Canvas objects
// may draw on separate threads. A picture is drawn on several threads by recording it once (record()) and
// playing the recording into bands of rows, one canvas per band (play()): byte for byte the same picture.
// Never: includes Qt, reads the clock, throws, or lets untrusted numbers reach memory unchecked. Paths
// with non-finite coordinates or too many edges are refused (the draw call returns false, nothing drawn),
// coordinates are clamped to +-kMaxCoordinate, targets beyond kMaxCanvasSide / kMaxCanvasPixels are
// refused (see limits.h).
//
// Pipeline, one file per stage: Path -> flatten (curves to chords) -> stroker (for lines) -> coverage
// (scanline sweep to 8-bit coverage rows) -> span_painter (colours) -> composite (source-over).
//
//   std::vector<player::Pixel> pixels(640 * 480);
//   raster::Canvas canvas(pixels.data(), 640, 480, 640);
//   canvas.clear({255, 255, 255, 255});
//   raster::Path p;
//   p.moveTo(10, 10); p.lineTo(100, 10); p.quadTo(100, 100, 10, 100); p.close();
//   canvas.fillPath(p, raster::FillRule::EvenOdd, raster::Paint::solid({255, 0, 0, 255}));
//   raster::StrokeStyle line{.width = 3, .join = raster::JoinStyle::Miter};
//   canvas.strokePath(p, line, raster::Paint::solid({0, 0, 0, 255}));
#pragma once

#include <vector>

#include "player/raster/coverage.h"
#include "player/raster/flatten.h"
#include "player/raster/limits.h"
#include "player/raster/mask_stack.h"
#include "player/raster/paint.h"
#include "player/raster/path.h"
#include "player/raster/span_painter.h"
#include "player/raster/stroker.h"
#include "player/render/geometry.h"

namespace raster {

// Draws kept by a recording canvas: outlines as edges (flattened and stroked already), paints copied (a
// bitmap stays alive with its paint), mask operations and clears, in order.
class Recording {
  public:
    void clear();
    bool empty() const { return ops_.empty(); }
    // Someone asked the recording canvas for its pixels or clip to composite by themselves: what was
    // recorded is not the picture.
    bool refused() const { return refused_; }

  private:
    friend class Canvas;
    enum class Op : uint8_t { Clear, Draw, Coverage, BeginMask, EndMask, PopMask };
    struct Entry {
        Op op = Op::Clear;
        FillRule rule = FillRule::EvenOdd;
        bool antialias = true;
        player::Rgba color;              // Clear
        uint32_t paint = 0;              // Draw: index into paints_
        size_t edge0 = 0, edge1 = 0;     // Draw: edges_[edge0, edge1); Coverage: coverage_ from edge0
        int x = 0, y = 0, w = 0, h = 0;  // Coverage: where the mask lies
    };
    void add(Op op) {
        Entry e;
        e.op = op;
        ops_.push_back(e);
    }

    std::vector<Entry> ops_;
    std::vector<Paint> paints_;
    std::vector<CoverageRasterizer::Edge> edges_;
    std::vector<uint8_t> coverage_;  // masks of fillCoverage, w x h each
    bool refused_ = false;
};

class Canvas {
  public:
    Canvas() = default;
    Canvas(player::Pixel* pixels, int width, int height, int strideInPixels);

    // Points the canvas at a pixel buffer (layout of QImage::Format_ARGB32_Premultiplied, `stride` in
    // pixels). Pops every mask. Returns false, leaving an empty canvas that draws nothing, when the size is
    // zero, negative or beyond the limits, or the stride is smaller than the width.
    bool setTarget(player::Pixel* pixels, int width, int height, int strideInPixels);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    // The pixels, to composite onto them directly (a recording canvas notes it: see record()).
    player::Pixel* pixels() const {
        if (recording_) recording_->refused_ = true;
        return pixels_;
    }
    bool valid() const { return pixels_ != nullptr; }

    // Every pixel set to `color` (premultiplied), masks ignored.
    void clear(player::Rgba color);

    // Fills the region the path's subpaths enclose (each subpath closed implicitly). Anti-aliased on a
    // kSubScanlines x kSubSamplesX grid per pixel, or with `antialias` false sampled once at each pixel
    // centre (Flash's low quality). EvenOdd is what Flash does for one fill style's edges. Returns false
    // when the path was refused.
    bool fillPath(const Path& path, FillRule rule, const Paint& paint, bool antialias = true);
    // The same with chords at most `tolerance` pixels from the curves (glyphs are flattened finer).
    bool fillPath(const Path& path, FillRule rule, const Paint& paint, bool antialias, double tolerance);
    bool fillPath(const Path& path, const Paint& paint) { return fillPath(path, FillRule::EvenOdd, paint); }

    // Paints through a coverage mask made earlier (8-bit, `maskStride` bytes a row) whose top left pixel
    // lies at (x, y), the way fillPath paints through the coverage of its path: clipped by the masks, or
    // added to the mask being built.
    void fillCoverage(const uint8_t* mask, int x, int y, int w, int h, int maskStride, const Paint& paint,
                      bool antialias = true);

    // Strokes the path's subpaths (see StrokeStyle for widths, caps, joins). Returns false when refused.
    bool strokePath(const Path& path, const StrokeStyle& style, const Paint& paint, bool antialias = true);

    // Strokes a path given in its shape's own coordinates, with `style.width` in those units, the way
    // Flash draws lines that scale with their shape: the outline is built in shape space and then mapped
    // through `toDevice`, so under a non-uniform scale a line is thicker along the stretched axis (the
    // reference pictures show this). A line that would come out thinner than one pixel in some direction
    // is drawn in device space instead, deviceLineWidth() wide but at least one pixel (a hairline).
    bool strokePath(const Path& path, const StrokeStyle& style, const player::Matrix& toDevice,
                    const Paint& paint, bool antialias = true);

    // Clip layers. After beginMask() draws build a new coverage layer (paint colours ignored, shapes united)
    // instead of touching pixels; endMask() activates it: later draws are clipped to the intersection of
    // every active mask. popMask() removes the top layer (built or being built).
    void beginMask();
    void endMask();
    void popMask();
    int maskDepth() const { return masks_.depth(); }
    // For compositing a finished offscreen layer: the active clip's coverage row y (nullptr when nothing
    // clips), whether everything is clipped away, and whether draws now build a mask.
    const uint8_t* clipRow(int y) const {
        if (recording_) recording_->refused_ = true;
        return masks_.clipped() ? masks_.clipRow(y) : nullptr;
    }
    bool blocked() const { return masks_.blocked(); }
    bool buildingMask() const { return masks_.drawingToMask(); }

    // While `recording` is set (nullptr ends it), clear(), draws and mask operations go into it instead of
    // the pixels; the mask bookkeeping (maskDepth(), blocked(), buildingMask()) goes on as when drawing.
    // Compositing onto the canvas by other means (through pixels() or clipRow(), as offscreen layers do)
    // cannot be recorded: asking for them marks the recording refused(). The target must still be set
    // (its size is the picture's).
    void record(Recording* recording);
    bool recording() const { return recording_ != nullptr; }
    // Draws `recording` into the rows [y0, y1) of the target and leaves the other rows alone; every mask
    // is popped first and after. Each row comes out as drawing the recorded calls directly would make it.
    void play(const Recording& recording, int y0, int y1);

    // Where gradient ramps are kept from draw to draw: `cache` (which must outlive the draws, nullptr for
    // the canvas's own). A caller that makes a canvas per picture passes one it keeps between pictures.
    void setGradientRampCache(GradientRampCache* cache) { rampCache_ = cache; }

  private:
    class Sink;
    bool draw(FillRule rule, const Paint& paint, bool antialias);
    void drawEdges(const CoverageRasterizer::Edge* edges, size_t count, FillRule rule, const Paint& paint,
                   bool antialias);
    void paintCoverage(const uint8_t* mask, int x, int y, int w, int h, int maskStride, const Paint& paint,
                       bool antialias);
    // Readies the painter for a paint; false when there is nothing to paint with. `bounds`: where it may go.
    bool startPaint(const Paint& paint, bool antialias, MaskStack::Rect& bounds);

    player::Pixel* pixels_ = nullptr;
    int width_ = 0, height_ = 0, stride_ = 0;
    Polylines polylines_;
    Path devicePath_;  // scratch for strokes that fall back to device space
    CoverageRasterizer coverage_;
    Stroker stroker_;
    SpanPainter painter_;
    GradientRampCache ownRamps_;
    GradientRampCache* rampCache_ = nullptr;
    BitmapMipCache mips_;  // smaller levels of the bitmaps drawn lately, kept from picture to picture
    MaskStack masks_;
    std::vector<player::Pixel> spanColors_;
    std::vector<uint8_t> rowCoverage_;
    std::vector<CoverageSpan> maskSpans_;
    Recording* recording_ = nullptr;
    int rowY0_ = 0, rowY1_ = kMaxCanvasSide;  // the rows play() draws; all rows otherwise
};

}  // namespace raster
