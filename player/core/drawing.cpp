#include "player/core/drawing.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace player {

namespace {

uint64_t nextRevision() {
    static std::atomic<uint64_t> counter{0};
    return ++counter;
}

}  // namespace

void Drawing::clear() {
    *this = Drawing();
    revision_ = nextRevision();
}

int32_t Drawing::snap(double twips) const {
    if (!std::isfinite(twips)) return 0;
    return int32_t(std::lround(std::clamp(twips, -1e9, 1e9)));
}

void Drawing::beginFill(const swf::FillStyle& fill) {
    revision_ = nextRevision();
    endFill();
    if (shape_.records.size() >= kMaxRecords) return;
    shape_.styles.fills.push_back(fill);
    swf::StyleChange sc;
    sc.fill0 = uint32_t(shape_.styles.fills.size());
    sc.moveX = penX_;
    sc.moveY = penY_;
    shape_.records.push_back(sc);
    filling_ = true;
    fillStartX_ = penX_;
    fillStartY_ = penY_;
    dirty_ = true;
}

void Drawing::beginBitmapFill(swf::FillStyle fill, std::shared_ptr<LiveBitmap> pixels) {
    // Fills beyond this many reuse nothing and are dropped with the rest of an over-long drawing.
    if (!pixels || bitmaps_.size() >= 0xFFFE) {
        endFill();
        return;
    }
    auto it = std::find(bitmaps_.begin(), bitmaps_.end(), pixels);
    if (it == bitmaps_.end()) it = bitmaps_.insert(bitmaps_.end(), std::move(pixels));
    fill.bitmapId = uint16_t(it - bitmaps_.begin() + 1);
    beginFill(fill);
}

BitmapPtr Drawing::bitmap(uint16_t id) const {
    return id >= 1 && id <= bitmaps_.size() ? pictureOf(bitmaps_[id - 1u]) : nullptr;
}

void Drawing::closeFillPart() {
    // A part of a fill closes back to where it started, without a line.
    if (penX_ == fillStartX_ && penY_ == fillStartY_) return;
    swf::StyleChange off;
    off.line = 0;
    if (line_) shape_.records.push_back(off);
    edgeTo(fillStartX_, fillStartY_);
    swf::StyleChange on;
    on.line = line_;
    if (line_) shape_.records.push_back(on);
}

void Drawing::endFill() {
    revision_ = nextRevision();
    if (!filling_) return;
    closeFillPart();
    swf::StyleChange sc;
    sc.fill0 = 0;
    shape_.records.push_back(sc);
    filling_ = false;
    dirty_ = true;
}

void Drawing::lineStyle(const std::optional<swf::LineStyle>& style) {
    revision_ = nextRevision();
    if (shape_.records.size() >= kMaxRecords) return;
    swf::StyleChange sc;
    if (style) {
        shape_.styles.lines.push_back(*style);
        line_ = uint32_t(shape_.styles.lines.size());
    } else {
        line_ = 0;
    }
    sc.line = line_;
    shape_.records.push_back(sc);
}

void Drawing::lineGradient(const swf::FillStyle& fill) {
    revision_ = nextRevision();
    if (!line_ || shape_.records.size() >= kMaxRecords) return;
    swf::LineStyle l = shape_.styles.lines[line_ - 1];
    l.fill = fill;
    l.isStyle2 = true;
    lineStyle(l);
}

void Drawing::moveTo(double x, double y) {
    revision_ = nextRevision();
    if (shape_.records.size() >= kMaxRecords) return;
    // A move inside a fill starts another part of the same fill, closing the one before.
    if (filling_) closeFillPart();
    penX_ = snap(x);
    penY_ = snap(y);
    fillStartX_ = penX_;
    fillStartY_ = penY_;
    swf::StyleChange sc;
    sc.moveX = penX_;
    sc.moveY = penY_;
    shape_.records.push_back(sc);
}

void Drawing::edgeTo(int32_t x, int32_t y) {
    shape_.records.push_back(swf::StraightEdge{x - penX_, y - penY_});
    bounds_.add(penX_, penY_);
    bounds_.add(x, y);
    penX_ = x;
    penY_ = y;
    dirty_ = true;
}

void Drawing::lineTo(double x, double y) {
    revision_ = nextRevision();
    if (shape_.records.size() >= kMaxRecords) return;
    edgeTo(snap(x), snap(y));
}

void Drawing::curveTo(double cx, double cy, double x, double y) {
    revision_ = nextRevision();
    if (shape_.records.size() >= kMaxRecords) return;
    int32_t cxi = snap(cx), cyi = snap(cy), xi = snap(x), yi = snap(y);
    shape_.records.push_back(swf::CurvedEdge{cxi - penX_, cyi - penY_, xi - cxi, yi - cyi});
    bounds_.add(penX_, penY_);
    bounds_.add(cxi, cyi);
    bounds_.add(xi, yi);
    penX_ = xi;
    penY_ = yi;
    dirty_ = true;
}

const ShapeGeometry& Drawing::geometry() const {
    if (dirty_) {
        // A fill still open is drawn closed, as Flash Player shows it.
        swf::Shape s = shape_;
        if (filling_ && (penX_ != fillStartX_ || penY_ != fillStartY_))
            s.records.push_back(swf::StraightEdge{fillStartX_ - penX_, fillStartY_ - penY_});
        geometry_ = buildShapeGeometry(s);
        dirty_ = false;
    }
    return geometry_;
}

}  // namespace player
