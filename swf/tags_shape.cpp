// DefineShape 1..4 and DefineMorphShape 1..2.
#include "swf/tag_readers.h"

namespace swf::detail {

DefineShape readDefineShape(BitReader& r, int version, TagContext& t) {
    DefineShape s;
    s.version = static_cast<uint8_t>(version);
    s.id = r.u16();
    s.bounds = readRect(r);
    if (version >= 4) {
        s.edgeBounds = readRect(r);
        uint8_t f = r.u8();
        s.usesFillWindingRule = f & 4;
        s.usesNonScalingStrokes = f & 2;
        s.usesScalingStrokes = f & 1;
    }
    s.shape = readShapeWithStyle(r, version, t.parse);
    return s;
}

namespace {

// MORPHGRADIENT: like GRADIENT, with a start and an end for every stop.
void readMorphGradient(BitReader& r, Gradient& start, Gradient& end) {
    uint8_t head = r.u8();
    uint8_t spread = head >> 6;
    start.spread = spread == 1 ? SpreadMode::Reflect : spread == 2 ? SpreadMode::Repeat : SpreadMode::Pad;
    start.interpolation = ((head >> 4) & 3) == 1 ? InterpolationMode::Linear : InterpolationMode::Normal;
    end.spread = start.spread;
    end.interpolation = start.interpolation;
    int count = head & 0x0F;
    for (int i = 0; i < count && r.ok(); ++i) {
        GradientStop a, b;
        a.ratio = r.u8();
        a.color = readRGBA(r);
        b.ratio = r.u8();
        b.color = readRGBA(r);
        start.stops.push_back(a);
        end.stops.push_back(b);
    }
}

MorphFillStyle readMorphFillStyle(BitReader& r) {
    MorphFillStyle m;
    uint8_t type = r.u8();
    switch (type) {
        case 0x00:
            m.start.color = readRGBA(r);
            m.end.color = readRGBA(r);
            break;
        case 0x10:
        case 0x12:
        case 0x13:
            m.start.matrix = readMatrix(r);
            m.end.matrix = readMatrix(r);
            readMorphGradient(r, m.start.gradient, m.end.gradient);
            if (type == 0x13) {
                // Focal morph gradients store a focal point for each end after the stops.
                m.start.gradient.focalPoint = r.fixed8();
                m.end.gradient.focalPoint = r.fixed8();
            }
            break;
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            m.start.bitmapId = m.end.bitmapId = r.u16();
            m.start.matrix = readMatrix(r);
            m.end.matrix = readMatrix(r);
            break;
        default:
            r.failAt(r.pos() - 1, "unknown morph fill style type " + std::to_string(type));
            return m;
    }
    m.start.type = m.end.type = static_cast<FillType>(type);
    return m;
}

MorphLineStyle readMorphLineStyle(BitReader& r, int version) {
    MorphLineStyle m;
    m.start.width = r.u16();
    m.end.width = r.u16();
    if (version < 2) {
        m.start.color = readRGBA(r);
        m.end.color = readRGBA(r);
        return m;
    }
    // MORPHLINESTYLE2: the LINESTYLE2 flags, shared by both ends.
    LineStyle& s = m.start;
    bool hasFill = readLineStyle2Flags(r, s);
    uint16_t endWidth = m.end.width;
    m.end = s;
    m.end.width = endWidth;
    if (hasFill) {
        MorphFillStyle f = readMorphFillStyle(r);
        m.start.fill = f.start;
        m.end.fill = f.end;
    } else {
        m.start.color = readRGBA(r);
        m.end.color = readRGBA(r);
    }
    return m;
}

}  // namespace

DefineMorphShape readDefineMorphShape(BitReader& r, int version, TagContext& t) {
    DefineMorphShape m;
    m.version = static_cast<uint8_t>(version);
    m.id = r.u16();
    m.startBounds = readRect(r);
    m.endBounds = readRect(r);
    if (version >= 2) {
        m.startEdgeBounds = readRect(r);
        m.endEdgeBounds = readRect(r);
        uint8_t f = r.u8();
        m.usesNonScalingStrokes = f & 2;
        m.usesScalingStrokes = f & 1;
    }
    uint32_t offset = r.u32();
    size_t endEdgesAt = r.pos() + offset;
    uint32_t fills = readStyleCount(r, 2);
    for (uint32_t i = 0; i < fills && r.ok() && t.parse.spendFor<MorphFillStyle>(r, 1); ++i)
        m.fills.push_back(readMorphFillStyle(r));
    uint32_t lines = readStyleCount(r, 2);
    for (uint32_t i = 0; i < lines && r.ok() && t.parse.spendFor<MorphLineStyle>(r, 1); ++i)
        m.lines.push_back(readMorphLineStyle(r, version));
    m.startEdges = readShapeRecords(r, 1, t.parse);
    if (!r.ok()) return m;
    // The offset field locates the end edges; when it is damaged, they follow the start edges.
    if (offset != 0 && endEdgesAt <= r.size() && endEdgesAt >= r.pos()) {
        r.seek(endEdgesAt);
    } else {
        t.warn("end edges offset " + std::to_string(offset) + " does not point past the start edges",
               r.pos());
    }
    m.endEdges = readShapeRecords(r, 1, t.parse);
    return m;
}

}  // namespace swf::detail
