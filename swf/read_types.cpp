#include "swf/read_types.h"

#include <algorithm>

namespace swf::detail {

Rect readRect(BitReader& r) {
    r.align();
    int n = static_cast<int>(r.ub(5));
    Rect rc;
    rc.xMin = r.sb(n);
    rc.xMax = r.sb(n);
    rc.yMin = r.sb(n);
    rc.yMax = r.sb(n);
    r.align();
    return rc;
}

Matrix readMatrix(BitReader& r) {
    r.align();
    Matrix m;
    if (r.flag()) {
        int n = static_cast<int>(r.ub(5));
        m.scaleX = r.sb(n);
        m.scaleY = r.sb(n);
    }
    if (r.flag()) {
        int n = static_cast<int>(r.ub(5));
        m.rotateSkew0 = r.sb(n);
        m.rotateSkew1 = r.sb(n);
    }
    int n = static_cast<int>(r.ub(5));
    m.translateX = r.sb(n);
    m.translateY = r.sb(n);
    r.align();
    return m;
}

CXForm readCXForm(BitReader& r, bool withAlpha) {
    r.align();
    CXForm c;
    bool hasAdd = r.flag();
    bool hasMult = r.flag();
    int n = static_cast<int>(r.ub(4));
    int channels = withAlpha ? 4 : 3;
    // Values wider than 16 bits cannot occur (4-bit width), so the casts are exact.
    if (hasMult)
        for (int i = 0; i < channels; ++i)
            c.mult[i] = static_cast<int16_t>(r.sb(n));
    if (hasAdd)
        for (int i = 0; i < channels; ++i)
            c.add[i] = static_cast<int16_t>(r.sb(n));
    r.align();
    return c;
}

RGBA readRGB(BitReader& r) {
    RGBA c;
    c.r = r.u8();
    c.g = r.u8();
    c.b = r.u8();
    return c;
}

RGBA readRGBA(BitReader& r) {
    RGBA c = readRGB(r);
    c.a = r.u8();
    return c;
}

namespace {

Gradient readGradient(BitReader& r, int shapeVersion, bool focal) {
    Gradient g;
    uint8_t head = r.u8();
    uint8_t spread = head >> 6;
    g.spread = spread == 1 ? SpreadMode::Reflect : spread == 2 ? SpreadMode::Repeat : SpreadMode::Pad;
    g.interpolation = ((head >> 4) & 3) == 1 ? InterpolationMode::Linear : InterpolationMode::Normal;
    int count = head & 0x0F;
    g.stops.reserve(count);
    for (int i = 0; i < count && r.ok(); ++i) {
        GradientStop s;
        s.ratio = r.u8();
        s.color = shapeVersion >= 3 ? readRGBA(r) : readRGB(r);
        g.stops.push_back(s);
    }
    if (focal) g.focalPoint = r.fixed8();
    return g;
}

}  // namespace

FillStyle readFillStyle(BitReader& r, int shapeVersion) {
    FillStyle f;
    uint8_t type = r.u8();
    switch (type) {
        case 0x00:
            f.color = shapeVersion >= 3 ? readRGBA(r) : readRGB(r);
            break;
        case 0x10:
        case 0x12:
        case 0x13:
            f.matrix = readMatrix(r);
            f.gradient = readGradient(r, shapeVersion, type == 0x13);
            break;
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            f.bitmapId = r.u16();
            f.matrix = readMatrix(r);
            break;
        default:
            r.failAt(r.pos() - 1, "unknown fill style type " + std::to_string(type));
            return f;
    }
    f.type = static_cast<FillType>(type);
    return f;
}

bool readLineStyle2Flags(BitReader& r, LineStyle& l) {
    // SWF DefineShape4 LINESTYLE2 flags (also MORPHLINESTYLE2).
    l.isStyle2 = true;
    uint8_t startCap = static_cast<uint8_t>(r.ub(2));
    uint8_t join = static_cast<uint8_t>(r.ub(2));
    bool hasFill = r.flag();
    l.noHScale = r.flag();
    l.noVScale = r.flag();
    l.pixelHinting = r.flag();
    r.ub(5);
    l.noClose = r.flag();
    uint8_t endCap = static_cast<uint8_t>(r.ub(2));
    r.align();
    auto cap = [](uint8_t v) {
        return v == 1 ? CapStyle::None : v == 2 ? CapStyle::Square : CapStyle::Round;
    };
    l.startCap = cap(startCap);
    l.endCap = cap(endCap);
    l.join = join == 1 ? JoinStyle::Bevel : join == 2 ? JoinStyle::Miter : JoinStyle::Round;
    if (join == 2) l.miterLimit = r.u16() / 256.0;
    return hasFill;
}

LineStyle readLineStyle(BitReader& r, int shapeVersion) {
    LineStyle l;
    l.width = r.u16();
    if (shapeVersion < 4) {
        l.color = shapeVersion == 3 ? readRGBA(r) : readRGB(r);
        return l;
    }
    bool hasFill = readLineStyle2Flags(r, l);
    if (hasFill) {
        l.fill = readFillStyle(r, shapeVersion);
    } else {
        l.color = readRGBA(r);
    }
    return l;
}

uint32_t readStyleCount(BitReader& r, int shapeVersion) {
    uint32_t n = r.u8();
    if (n == 0xFF && shapeVersion >= 2) n = r.u16();
    return n;
}

StyleSet readStyles(BitReader& r, int shapeVersion, ParseContext& ctx) {
    StyleSet s;
    uint32_t fills = readStyleCount(r, shapeVersion);
    // Every style takes at least one byte, so the remaining bytes bound any honest count.
    s.fills.reserve(std::min<size_t>(fills, r.remaining()));
    for (uint32_t i = 0; i < fills && r.ok() && ctx.spendFor<FillStyle>(r, 1); ++i)
        s.fills.push_back(readFillStyle(r, shapeVersion));
    uint32_t lines = readStyleCount(r, shapeVersion);
    s.lines.reserve(std::min<size_t>(lines, r.remaining() / 2));
    for (uint32_t i = 0; i < lines && r.ok() && ctx.spendFor<LineStyle>(r, 1); ++i)
        s.lines.push_back(readLineStyle(r, shapeVersion));
    return s;
}

namespace {

std::vector<ShapeRecord> readRecords(BitReader& r, int shapeVersion, int fillBits, int lineBits,
                                     ParseContext& ctx) {
    std::vector<ShapeRecord> out;
    while (r.ok()) {
        // Some writers end the last shape of a tag without an end record; the tag's end ends it too.
        if (r.atEnd()) break;
        if (!ctx.spendFor<ShapeRecord>(r, 1)) break;
        bool isEdge = r.flag();
        if (!isEdge) {
            uint32_t flags = r.ub(5);
            if (!r.ok()) break;
            if (flags == 0) break;  // EndShapeRecord
            StyleChange sc;
            if (flags & 0x01) {
                int n = static_cast<int>(r.ub(5));
                sc.moveX = r.sb(n);
                sc.moveY = r.sb(n);
            }
            if (flags & 0x02) sc.fill0 = r.ub(fillBits);
            if (flags & 0x04) sc.fill1 = r.ub(fillBits);
            if (flags & 0x08) sc.line = r.ub(lineBits);
            if (flags & 0x10) {
                // New styles: byte-aligned style arrays, then fresh index widths.
                r.align();
                auto styles = std::make_shared<StyleSet>(readStyles(r, shapeVersion, ctx));
                fillBits = static_cast<int>(r.ub(4));
                lineBits = static_cast<int>(r.ub(4));
                sc.newStyles = std::move(styles);
            }
            if (r.ok()) out.push_back(std::move(sc));
        } else if (r.flag()) {  // straight
            int n = static_cast<int>(r.ub(4)) + 2;
            StraightEdge e;
            if (r.flag()) {
                e.dx = r.sb(n);
                e.dy = r.sb(n);
            } else if (r.flag()) {
                e.dy = r.sb(n);
            } else {
                e.dx = r.sb(n);
            }
            if (r.ok()) out.push_back(e);
        } else {
            int n = static_cast<int>(r.ub(4)) + 2;
            CurvedEdge e;
            e.controlDx = r.sb(n);
            e.controlDy = r.sb(n);
            e.anchorDx = r.sb(n);
            e.anchorDy = r.sb(n);
            if (r.ok()) out.push_back(e);
        }
    }
    r.align();
    return out;
}

}  // namespace

std::vector<ShapeRecord> readShapeRecords(BitReader& r, int shapeVersion, ParseContext& ctx) {
    r.align();
    int fillBits = static_cast<int>(r.ub(4));
    int lineBits = static_cast<int>(r.ub(4));
    return readRecords(r, shapeVersion, fillBits, lineBits, ctx);
}

Shape readShapeWithStyle(BitReader& r, int shapeVersion, ParseContext& ctx) {
    Shape s;
    s.styles = readStyles(r, shapeVersion, ctx);
    s.records = readShapeRecords(r, shapeVersion, ctx);
    return s;
}

Shape readShapeNoStyles(BitReader& r, int shapeVersion, ParseContext& ctx) {
    Shape s;
    s.records = readShapeRecords(r, shapeVersion, ctx);
    return s;
}

}  // namespace swf::detail
