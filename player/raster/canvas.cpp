#include "player/raster/canvas.h"

#include <algorithm>
#include <cmath>

#include "player/raster/color.h"
#include "player/raster/composite.h"

namespace raster {

// Receives coverage rows from the sweep and sends them through the mask clip, the painter and the
// compositor (or into the mask layer being built).
class Canvas::Sink final : public RowSink {
  public:
    Sink(Canvas& c, MaskStack::Rect bounds) : c_(c), bounds_(bounds) {}

    void row(int y, const CoverageSpan* spans, int count) override {
        const int rx0 = std::max(spans[0].x0, bounds_.x0), rx1 = std::min(spans[count - 1].x1, bounds_.x1);
        if (rx0 >= rx1) return;
        MaskStack& masks = c_.masks_;
        const SpanPainter& painter = c_.painter_;
        if (masks.clipped() || masks.drawingToMask()) {
            // Per-pixel coverage over the row's extent, scaled by the clip.
            const int n = rx1 - rx0;
            uint8_t* cov = c_.rowCoverage_.data();
            std::fill_n(cov, n, uint8_t(0));
            for (int i = 0; i < count; ++i) {
                int x0 = std::max(spans[i].x0, rx0), x1 = std::min(spans[i].x1, rx1);
                if (x0 < x1) std::fill(cov + (x0 - rx0), cov + (x1 - rx0), uint8_t(spans[i].coverage));
            }
            if (masks.clipped()) applyClip(cov, masks.clipRow(y) + rx0, n, cov);
            if (masks.drawingToMask()) {
                compositeMask(masks.maskRow(y) + rx0, cov, n);
                masks.addToMask({rx0, y, rx1, y + 1});
                return;
            }
            player::Pixel* dst = c_.pixels_ + size_t(y) * size_t(c_.stride_) + rx0;
            if (painter.isSolid()) {
                compositeSolid(dst, cov, n, painter.solidColor());
            } else {
                player::Pixel* colors = c_.spanColors_.data();
                painter.fill(y, rx0, rx1, colors);
                compositeSpan(dst, cov, colors, n);
            }
            return;
        }
        player::Pixel* row = c_.pixels_ + size_t(y) * size_t(c_.stride_);
        if (painter.isSolid()) {
            const player::Pixel color = painter.solidColor();
            for (int i = 0; i < count; ++i) {
                int x0 = std::max(spans[i].x0, rx0), x1 = std::min(spans[i].x1, rx1);
                if (x0 < x1) compositeSolidRun(row + x0, x1 - x0, color, uint32_t(spans[i].coverage));
            }
        } else if (painter.isOpaque() && mostlyFull(spans, count, rx0, rx1)) {
            // An opaque paint over full coverage replaces the pixels: the colours go straight into the row,
            // and only the pixels not fully covered (kept aside first) are blended afterwards.
            player::Pixel* saved = c_.spanColors_.data();
            forEachPartial(spans, count, rx0, rx1,
                           [&](int x0, int x1, int) { std::copy(row + x0, row + x1, saved + (x0 - rx0)); });
            painter.fill(y, rx0, rx1, row + rx0);
            forEachPartial(spans, count, rx0, rx1, [&](int x0, int x1, int coverage) {
                player::Pixel* keep = saved + (x0 - rx0);
                if (coverage) compositeRun(keep, row + x0, x1 - x0, uint32_t(coverage));
                std::copy(keep, keep + (x1 - x0), row + x0);
            });
        } else {
            player::Pixel* colors = c_.spanColors_.data();
            painter.fill(y, rx0, rx1, colors);
            for (int i = 0; i < count; ++i) {
                int x0 = std::max(spans[i].x0, rx0), x1 = std::min(spans[i].x1, rx1);
                if (x0 < x1)
                    compositeRun(row + x0, colors + (x0 - rx0), x1 - x0, uint32_t(spans[i].coverage));
            }
        }
    }

  private:
    // Whether at least half of [rx0, rx1) has full coverage.
    static bool mostlyFull(const CoverageSpan* spans, int count, int rx0, int rx1) {
        int full = 0;
        for (int i = 0; i < count; ++i) {
            if (spans[i].coverage == 255)
                full += std::max(0, std::min(spans[i].x1, rx1) - std::max(spans[i].x0, rx0));
        }
        return 2 * full >= rx1 - rx0;
    }

    // Calls f(x0, x1, coverage) for each piece of [rx0, rx1) without full coverage: partly covered spans
    // and the uncovered gaps between spans (coverage 0).
    template <typename F>
    static void forEachPartial(const CoverageSpan* spans, int count, int rx0, int rx1, F&& f) {
        int x = rx0;
        for (int i = 0; i < count && x < rx1; ++i) {
            const int x0 = std::max(spans[i].x0, x), x1 = std::min(spans[i].x1, rx1);
            if (x0 >= x1) continue;
            if (x < x0) f(x, x0, 0);
            if (spans[i].coverage != 255) f(x0, x1, spans[i].coverage);
            x = x1;
        }
        if (x < rx1) f(x, rx1, 0);
    }

    Canvas& c_;
    MaskStack::Rect bounds_;
};

Canvas::Canvas(player::Pixel* pixels, int width, int height, int strideInPixels) {
    setTarget(pixels, width, height, strideInPixels);
}

bool Canvas::setTarget(player::Pixel* pixels, int width, int height, int strideInPixels) {
    bool ok = pixels && width > 0 && height > 0 && width <= kMaxCanvasSide && height <= kMaxCanvasSide &&
              int64_t(width) * height <= kMaxCanvasPixels && strideInPixels >= width;
    if (!ok) {
        pixels_ = nullptr;
        width_ = height_ = stride_ = 0;
        masks_.setSize(0, 0);
        return false;
    }
    pixels_ = pixels;
    width_ = width;
    height_ = height;
    stride_ = strideInPixels;
    spanColors_.resize(size_t(width));
    rowCoverage_.resize(size_t(width));
    masks_.setSize(width, height);
    return true;
}

void Canvas::clear(player::Rgba color) {
    if (!pixels_) return;
    if (recording_) {
        Recording::Entry e;
        e.color = color;
        recording_->ops_.push_back(e);
        return;
    }
    const player::Pixel p = premultiply(color);
    for (int y = std::max(rowY0_, 0), y1 = std::min(rowY1_, height_); y < y1; ++y)
        fillPixels(pixels_ + size_t(y) * stride_, width_, p);
}

bool Canvas::fillPath(const Path& path, FillRule rule, const Paint& paint, bool antialias) {
    return fillPath(path, rule, paint, antialias, kFlattenTolerance);
}

bool Canvas::fillPath(const Path& path, FillRule rule, const Paint& paint, bool antialias, double tolerance) {
    if (!flattenPath(path, tolerance, polylines_)) return false;
    coverage_.clearEdges();
    coverage_.addPolygons(polylines_);
    return draw(rule, paint, antialias);
}

bool Canvas::strokePath(const Path& path, const StrokeStyle& style, const Paint& paint, bool antialias) {
    if (!flattenPath(path, kFlattenTolerance, polylines_)) return false;
    coverage_.clearEdges();
    if (!stroker_.stroke(polylines_, style, coverage_)) {
        coverage_.clearEdges();
        return false;
    }
    return draw(FillRule::NonZero, paint, antialias);
}

bool Canvas::strokePath(const Path& path, const StrokeStyle& style, const player::Matrix& toDevice,
                        const Paint& paint, bool antialias) {
    // Largest and smallest scale of the matrix (singular values of its 2x2 part).
    const double a = toDevice.a, b = toDevice.b, c = toDevice.c, d = toDevice.d;
    const double sum = a * a + b * b + c * c + d * d, det = std::abs(a * d - b * c);
    const double disc = std::sqrt(std::max(0.0, sum * sum - 4 * det * det));
    const double maxScale = std::sqrt((sum + disc) / 2),
                 minScale = std::sqrt(std::max(0.0, (sum - disc) / 2));
    const double width = style.width;
    if (!(width * minScale >= 1) || !std::isfinite(maxScale) || !(maxScale > 0) || !std::isfinite(width)) {
        devicePath_ = path;
        devicePath_.transform(toDevice);
        StrokeStyle hairline = style;
        hairline.width =
            std::isfinite(width) ? deviceLineWidth(width, toDevice, LineScaleMode::Normal, 1) : 1;
        return strokePath(devicePath_, hairline, paint, antialias);
    }
    const double tolerance = kFlattenTolerance / maxScale;
    if (!flattenPath(path, tolerance, polylines_)) return false;
    coverage_.clearEdges();
    if (!stroker_.stroke(polylines_, style, toDevice, tolerance, coverage_)) {
        coverage_.clearEdges();
        return false;
    }
    return draw(FillRule::NonZero, paint, antialias);
}

void Canvas::fillCoverage(const uint8_t* mask, int x, int y, int w, int h, int maskStride, const Paint& paint,
                          bool antialias) {
    if (!pixels_ || !mask || w <= 0 || h <= 0 || masks_.blocked()) return;
    if (recording_) {
        // Kept as the rows on the canvas only.
        const int y0 = int(std::max<int64_t>(y, 0)), y1 = int(std::min<int64_t>(int64_t(y) + h, height_));
        const int x0 = int(std::max<int64_t>(x, 0)), x1 = int(std::min<int64_t>(int64_t(x) + w, width_));
        if (x0 >= x1 || y0 >= y1) return;
        Recording& r = *recording_;
        Recording::Entry e;
        e.op = Recording::Op::Coverage;
        e.antialias = antialias;
        e.paint = uint32_t(r.paints_.size());
        e.edge0 = r.coverage_.size();
        e.x = x0;
        e.y = y0;
        e.w = x1 - x0;
        e.h = y1 - y0;
        for (int row = y0; row < y1; ++row) {
            const uint8_t* src = mask + size_t(row - y) * size_t(maskStride) + (x0 - x);
            r.coverage_.insert(r.coverage_.end(), src, src + e.w);
        }
        r.ops_.push_back(e);
        r.paints_.push_back(paint);
        return;
    }
    paintCoverage(mask, x, y, w, h, maskStride, paint, antialias);
}

bool Canvas::startPaint(const Paint& paint, bool antialias, MaskStack::Rect& bounds) {
    // Mask shapes only contribute coverage; their paint is not evaluated.
    if (!masks_.drawingToMask() &&
        !painter_.prepare(paint, antialias, rampCache_ ? rampCache_ : &ownRamps_, &mips_))
        return false;
    // What may be painted: the clip, within the rows this canvas draws (its band).
    bounds = masks_.clipBounds();
    bounds.y0 = std::max(bounds.y0, rowY0_);
    bounds.y1 = std::min(bounds.y1, rowY1_);
    return true;
}

void Canvas::paintCoverage(const uint8_t* mask, int x, int y, int w, int h, int maskStride,
                           const Paint& paint, bool antialias) {
    MaskStack::Rect bounds;
    if (!startPaint(paint, antialias, bounds)) return;
    // In 64 bits: a mask may lie partly far off the canvas.
    const int x0 = int(std::max<int64_t>(x, bounds.x0)),
              x1 = int(std::min<int64_t>(int64_t(x) + w, bounds.x1));
    const int y0 = int(std::max<int64_t>(y, bounds.y0)),
              y1 = int(std::min<int64_t>(int64_t(y) + h, bounds.y1));
    if (x0 >= x1 || y0 >= y1) return;
    Sink sink(*this, bounds);
    maskSpans_.resize(size_t(x1 - x0));
    for (int row = y0; row < y1; ++row) {
        const uint8_t* cov = mask + size_t(row - y) * size_t(maskStride) + (x0 - x);
        int count = 0;
        for (int i = 0, n = x1 - x0; i < n;) {
            const uint8_t c = cov[i];
            int j = i + 1;
            while (j < n && cov[j] == c)
                ++j;
            if (c) maskSpans_[size_t(count++)] = {x0 + i, x0 + j, c};
            i = j;
        }
        if (count) sink.row(row, maskSpans_.data(), count);
    }
}

bool Canvas::draw(FillRule rule, const Paint& paint, bool antialias) {
    if (coverage_.edgeCount() > size_t(kMaxEdgesPerPath)) return false;
    if (!pixels_ || masks_.blocked()) return true;
    const std::vector<CoverageRasterizer::Edge>& edges = coverage_.edges();
    if (recording_) {
        Recording& r = *recording_;
        const size_t edge0 = r.edges_.size();
        r.edges_.insert(r.edges_.end(), edges.begin(), edges.end());
        Recording::Entry e;
        e.op = Recording::Op::Draw;
        e.rule = rule;
        e.antialias = antialias;
        e.paint = uint32_t(r.paints_.size());
        e.edge0 = edge0;
        e.edge1 = r.edges_.size();
        r.ops_.push_back(e);
        r.paints_.push_back(paint);
        return true;
    }
    drawEdges(edges.data(), edges.size(), rule, paint, antialias);
    return true;
}

void Canvas::drawEdges(const CoverageRasterizer::Edge* edges, size_t count, FillRule rule, const Paint& paint,
                       bool antialias) {
    // Mask shapes only contribute coverage; their paint is not evaluated. Anti-aliased (high quality) draws
    // sample gradients the way Flash Player does at that quality.
    MaskStack::Rect bounds;
    if (!startPaint(paint, antialias, bounds)) return;
    if (bounds.empty()) return;
    coverage_.setClip(width_, bounds.y0, bounds.y1);
    Sink sink(*this, bounds);
    coverage_.sweep(edges, count, rule, antialias, sink);
}

void Canvas::beginMask() {
    if (!pixels_) return;
    masks_.begin();
    if (recording_) recording_->add(Recording::Op::BeginMask);
}

void Canvas::endMask() {
    masks_.end();
    if (recording_) recording_->add(Recording::Op::EndMask);
}

void Canvas::popMask() {
    masks_.pop();
    if (recording_) recording_->add(Recording::Op::PopMask);
}

void Canvas::record(Recording* recording) {
    recording_ = recording;
}

void Canvas::play(const Recording& recording, int y0, int y1) {
    if (!pixels_) return;
    masks_.clear();
    rowY0_ = std::max(y0, 0);
    rowY1_ = std::min(y1, height_);
    for (const Recording::Entry& e : recording.ops_) {
        switch (e.op) {
            case Recording::Op::Clear:
                clear(e.color);
                break;
            case Recording::Op::Draw:
                if (!masks_.blocked())
                    drawEdges(recording.edges_.data() + e.edge0, e.edge1 - e.edge0, e.rule,
                              recording.paints_[e.paint], e.antialias);
                break;
            case Recording::Op::Coverage:
                if (!masks_.blocked())
                    paintCoverage(recording.coverage_.data() + e.edge0, e.x, e.y, e.w, e.h, e.w,
                                  recording.paints_[e.paint], e.antialias);
                break;
            case Recording::Op::BeginMask:
                masks_.begin();
                break;
            case Recording::Op::EndMask:
                masks_.end();
                break;
            case Recording::Op::PopMask:
                masks_.pop();
                break;
        }
    }
    masks_.clear();
    rowY0_ = 0;
    rowY1_ = kMaxCanvasSide;
}

void Recording::clear() {
    refused_ = false;
    ops_.clear();
    paints_.clear();
    edges_.clear();
    coverage_.clear();
}

}  // namespace raster
