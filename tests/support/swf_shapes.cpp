#include "support/swf_shapes.h"

#include <algorithm>
#include <climits>

namespace testswf {

FillSpec FillSpec::solid(uint32_t rgba) {
    FillSpec f;
    f.rgba = rgba;
    return f;
}

FillSpec FillSpec::linear(std::vector<Stop> stops, MatrixSpec m, uint8_t spread, uint8_t interp) {
    FillSpec f;
    f.type = 0x10;
    f.stops = std::move(stops);
    f.matrix = m;
    f.spread = spread;
    f.interpolation = interp;
    return f;
}

FillSpec FillSpec::radial(std::vector<Stop> stops, MatrixSpec m, uint8_t spread, uint8_t interp) {
    FillSpec f = linear(std::move(stops), m, spread, interp);
    f.type = 0x12;
    return f;
}

FillSpec FillSpec::focalRadial(std::vector<Stop> stops, double focal, MatrixSpec m) {
    FillSpec f = linear(std::move(stops), m);
    f.type = 0x13;
    f.focal = focal;
    return f;
}

FillSpec FillSpec::bitmap(uint16_t id, bool clipped, bool smoothed, MatrixSpec m) {
    FillSpec f;
    f.type = static_cast<uint8_t>(0x40 | (clipped ? 1 : 0) | (smoothed ? 0 : 2));
    f.bitmapId = id;
    f.matrix = m;
    return f;
}

namespace {

void color(ByteWriter& w, uint32_t rgba, bool alpha) {
    if (alpha) {
        w.rgba(rgba);
    } else {
        w.rgb(rgba >> 8);
    }
}

}  // namespace

void FillSpec::write(ByteWriter& w, int version) const {
    w.u8(type);
    if (type == 0x00) {
        color(w, rgba, version >= 3);
    } else if (type >= 0x10 && type <= 0x13) {
        matrix.write(w);
        w.u8(static_cast<uint8_t>(spread << 6 | interpolation << 4 | (stops.size() & 0x0F)));
        for (const Stop& s : stops) {
            w.u8(s.ratio);
            color(w, s.rgba, version >= 3);
        }
        if (type == 0x13) w.fixed8(focal);
    } else {
        w.u16(bitmapId);
        matrix.write(w);
    }
}

void LineSpec::write(ByteWriter& w, int version) const {
    w.u16(width);
    if (version < 4) {
        color(w, rgba, version >= 3);
        return;
    }
    BitWriter b;
    b.ub(startCap, 2);
    b.ub(join, 2);
    b.ub(fill.has_value(), 1);
    b.ub(noHScale, 1);
    b.ub(noVScale, 1);
    b.ub(pixelHinting, 1);
    b.ub(0, 5);
    b.ub(noClose, 1);
    b.ub(endCap, 2);
    w.raw(b.bytes());
    if (join == 2) w.fixed8(miterLimit);
    if (fill) {
        fill->write(w, version);
    } else {
        w.rgba(rgba);
    }
}

ShapeBuilder::Rec ShapeBuilder::makeRec(Rec::Kind kind) {
    Rec r;
    r.kind = kind;
    return r;
}

int ShapeBuilder::addFill(const FillSpec& f) {
    sets_.back().fills.push_back(f);
    return static_cast<int>(sets_.back().fills.size());
}

int ShapeBuilder::addLine(const LineSpec& l) {
    sets_.back().lines.push_back(l);
    return static_cast<int>(sets_.back().lines.size());
}

ShapeBuilder::Rec& ShapeBuilder::pendingChange() {
    // A record that brings new styles takes nothing else: its indices would be written with the old
    // index widths, which may be too narrow for the new styles.
    if (recs_.empty() || recs_.back().kind != Rec::Change || recs_.back().newSet >= 0)
        recs_.push_back(makeRec(Rec::Change));
    return recs_.back();
}

ShapeBuilder& ShapeBuilder::newStyles() {
    sets_.emplace_back();
    recs_.push_back(makeRec(Rec::Change));
    recs_.back().newSet = static_cast<int>(sets_.size()) - 1;
    return *this;
}

ShapeBuilder& ShapeBuilder::moveTo(int32_t x, int32_t y) {
    Rec& r = pendingChange();
    r.hasMove = true;
    r.a = x;
    r.b = y;
    x_ = x;
    y_ = y;
    points_.push_back({x, y});
    return *this;
}

ShapeBuilder& ShapeBuilder::fill0(uint32_t index) {
    pendingChange().f0 = index;
    return *this;
}
ShapeBuilder& ShapeBuilder::fill1(uint32_t index) {
    pendingChange().f1 = index;
    return *this;
}
ShapeBuilder& ShapeBuilder::line(uint32_t index) {
    pendingChange().ln = index;
    return *this;
}

ShapeBuilder& ShapeBuilder::lineTo(int32_t x, int32_t y) {
    Rec r = makeRec(Rec::Line);
    r.a = x - x_;
    r.b = y - y_;
    recs_.push_back(r);
    x_ = x;
    y_ = y;
    points_.push_back({x, y});
    return *this;
}

ShapeBuilder& ShapeBuilder::curveTo(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    Rec r = makeRec(Rec::Curve);
    r.a = cx - x_;
    r.b = cy - y_;
    r.c = ax - cx;
    r.d = ay - cy;
    recs_.push_back(r);
    x_ = ax;
    y_ = ay;
    points_.push_back({cx, cy});
    points_.push_back({ax, ay});
    return *this;
}

ShapeBuilder& ShapeBuilder::rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    return moveTo(x0, y0).lineTo(x1, y0).lineTo(x1, y1).lineTo(x0, y1).lineTo(x0, y0);
}

std::vector<int32_t> ShapeBuilder::pointBounds() const {
    if (points_.empty()) return {0, 0, 0, 0};
    int32_t x0 = INT32_MAX, x1 = INT32_MIN, y0 = INT32_MAX, y1 = INT32_MIN;
    for (auto [x, y] : points_) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    return {x0, x1, y0, y1};
}

void ShapeBuilder::writeStyles(ByteWriter& w, const StyleSetSpec& s, int version) const {
    auto count = [&](size_t n) {
        if (n >= 0xFF && version >= 2) {
            w.u8(0xFF).u16(static_cast<uint16_t>(n));
        } else {
            w.u8(static_cast<uint8_t>(n));
        }
    };
    count(s.fills.size());
    for (const FillSpec& f : s.fills)
        f.write(w, version);
    count(s.lines.size());
    for (const LineSpec& l : s.lines)
        l.write(w, version);
}

void ShapeBuilder::writeRecords(BitWriter& b, int version, int setIndex) const {
    int fillBits, lineBits;
    if (setIndex >= 0) {
        fillBits = BitWriter::ubits(static_cast<uint32_t>(sets_[setIndex].fills.size()));
        lineBits = BitWriter::ubits(static_cast<uint32_t>(sets_[setIndex].lines.size()));
    } else {
        // No style list of our own: wide enough for the largest index used.
        uint32_t f = 0, l = 0;
        for (const Rec& r : recs_) {
            f = std::max({f, r.f0.value_or(0), r.f1.value_or(0)});
            l = std::max(l, r.ln.value_or(0));
        }
        fillBits = BitWriter::ubits(f);
        lineBits = BitWriter::ubits(l);
    }
    b.ub(fillBits, 4);
    b.ub(lineBits, 4);
    for (const Rec& r : recs_) {
        if (r.kind == Rec::Change) {
            uint32_t flags = (r.newSet >= 0 ? 0x10 : 0) | (r.ln ? 0x08 : 0) | (r.f1 ? 0x04 : 0) |
                             (r.f0 ? 0x02 : 0) | (r.hasMove ? 0x01 : 0);
            if (flags == 0) continue;
            b.ub(0, 1);
            b.ub(flags, 5);
            if (r.hasMove) {
                int n = std::max(BitWriter::sbits(r.a), BitWriter::sbits(r.b));
                b.ub(n, 5);
                b.sb(r.a, n);
                b.sb(r.b, n);
            }
            if (r.f0) b.ub(*r.f0, fillBits);
            if (r.f1) b.ub(*r.f1, fillBits);
            if (r.ln) b.ub(*r.ln, lineBits);
            if (r.newSet >= 0) {
                b.align();
                ByteWriter w;
                writeStyles(w, sets_[r.newSet], version);
                for (uint8_t byte : w.bytes())
                    b.ub(byte, 8);
                fillBits = BitWriter::ubits(static_cast<uint32_t>(sets_[r.newSet].fills.size()));
                lineBits = BitWriter::ubits(static_cast<uint32_t>(sets_[r.newSet].lines.size()));
                b.ub(fillBits, 4);
                b.ub(lineBits, 4);
            }
        } else if (r.kind == Rec::Line) {
            int n = std::max({2, BitWriter::sbits(r.a), BitWriter::sbits(r.b)});
            b.ub(1, 1);
            b.ub(1, 1);
            b.ub(n - 2, 4);
            if (r.a != 0 && r.b != 0) {
                b.ub(1, 1);
                b.sb(r.a, n);
                b.sb(r.b, n);
            } else if (r.a == 0) {
                b.ub(0, 1);
                b.ub(1, 1);
                b.sb(r.b, n);
            } else {
                b.ub(0, 1);
                b.ub(0, 1);
                b.sb(r.a, n);
            }
        } else {
            int n = std::max({2, BitWriter::sbits(r.a), BitWriter::sbits(r.b), BitWriter::sbits(r.c),
                              BitWriter::sbits(r.d)});
            b.ub(1, 1);
            b.ub(0, 1);
            b.ub(n - 2, 4);
            b.sb(r.a, n);
            b.sb(r.b, n);
            b.sb(r.c, n);
            b.sb(r.d, n);
        }
    }
    b.ub(0, 6);  // end record
    b.align();
}

Bytes ShapeBuilder::shapeWithStyle(int version) const {
    ByteWriter w;
    writeStyles(w, sets_[0], version);
    BitWriter b;
    writeRecords(b, version, 0);
    return w.raw(b.bytes()).bytes();
}

Bytes ShapeBuilder::shapeNoStyles(int version) const {
    BitWriter b;
    writeRecords(b, version, -1);
    return b.bytes();
}

Bytes ShapeBuilder::defineShape(uint16_t id, int version, std::optional<std::vector<int32_t>> bounds) const {
    std::vector<int32_t> r = bounds ? *bounds : pointBounds();
    ByteWriter w;
    w.u16(id).rect(r[0], r[1], r[2], r[3]);
    if (version >= 4) w.rect(r[0], r[1], r[2], r[3]).u8(0);
    return w.raw(shapeWithStyle(version)).bytes();
}

int MorphShapeBuilder::fillSolid(uint32_t startRgba, uint32_t endRgba) {
    fills_.push_back({FillSpec::solid(startRgba), FillSpec::solid(endRgba)});
    return static_cast<int>(fills_.size());
}

int MorphShapeBuilder::fillLinear(std::vector<Stop> start, std::vector<Stop> end, MatrixSpec startM,
                                  MatrixSpec endM) {
    fills_.push_back({FillSpec::linear(std::move(start), startM), FillSpec::linear(std::move(end), endM)});
    return static_cast<int>(fills_.size());
}

int MorphShapeBuilder::fillFocal(std::vector<Stop> start, std::vector<Stop> end, double startFocal,
                                 double endFocal) {
    fills_.push_back({FillSpec::focalRadial(std::move(start), startFocal),
                      FillSpec::focalRadial(std::move(end), endFocal)});
    return static_cast<int>(fills_.size());
}

int MorphShapeBuilder::lineStyle(uint16_t startWidth, uint16_t endWidth, uint32_t startRgba,
                                 uint32_t endRgba) {
    lines_.push_back({startWidth, endWidth, startRgba, endRgba});
    return static_cast<int>(lines_.size());
}

Bytes MorphShapeBuilder::defineMorphShape(uint16_t id, int version) const {
    auto sb = start_.pointBounds();
    auto eb = end_.pointBounds();
    ByteWriter w;
    w.u16(id).rect(sb[0], sb[1], sb[2], sb[3]).rect(eb[0], eb[1], eb[2], eb[3]);
    if (version >= 2) w.rect(sb[0], sb[1], sb[2], sb[3]).rect(eb[0], eb[1], eb[2], eb[3]).u8(0);
    ByteWriter s;
    s.u8(static_cast<uint8_t>(fills_.size()));
    for (const Fill& f : fills_) {
        s.u8(f.a.type);
        if (f.a.type == 0x00) {
            s.rgba(f.a.rgba).rgba(f.b.rgba);
        } else {
            f.a.matrix.write(s);
            f.b.matrix.write(s);
            s.u8(static_cast<uint8_t>(f.a.stops.size()));
            for (size_t i = 0; i < f.a.stops.size(); ++i)
                s.u8(f.a.stops[i].ratio)
                    .rgba(f.a.stops[i].rgba)
                    .u8(f.b.stops[i].ratio)
                    .rgba(f.b.stops[i].rgba);
            if (f.a.type == 0x13) s.fixed8(f.a.focal).fixed8(f.b.focal);
        }
    }
    s.u8(static_cast<uint8_t>(lines_.size()));
    for (const LineS& l : lines_) {
        s.u16(l.wa).u16(l.wb);
        if (version >= 2) s.u16(0);  // round caps and joins, no fill
        s.rgba(l.ca).rgba(l.cb);
    }
    s.raw(start_.shapeNoStyles());
    w.u32(static_cast<uint32_t>(s.size())).raw(s.bytes()).raw(end_.shapeNoStyles());
    return w.bytes();
}

}  // namespace testswf
