// DefineFont 1..3, DefineFontInfo 1..2, DefineFontAlignZones.
#include <algorithm>

#include "swf/tag_readers.h"

namespace swf::detail {

namespace {

// Glyph shapes located by an offset table; offsets count from tableStart, the last glyph ends at tableEnd.
std::vector<Shape> readGlyphs(BitReader& r, size_t tableStart, const std::vector<uint32_t>& offsets,
                              size_t glyphsEnd, TagContext& t) {
    std::vector<Shape> glyphs;
    glyphs.reserve(offsets.size());
    for (size_t i = 0; i < offsets.size() && r.ok(); ++i) {
        size_t from = tableStart + offsets[i];
        size_t to = i + 1 < offsets.size() ? tableStart + offsets[i + 1] : glyphsEnd;
        if (from > to || to > r.size()) {
            r.fail("glyph " + std::to_string(i) + " offset outside the tag");
            break;
        }
        r.seek(from);
        BitReader g(r.bytes(to - from));
        glyphs.push_back(readShapeNoStyles(g, 1, t.parse));
        if (!g.ok()) {
            r.seek(from + g.errorPos());
            r.fail("glyph " + std::to_string(i) + ": " + g.error());
        }
    }
    return glyphs;
}

std::string trimNuls(std::string s) {
    while (!s.empty() && s.back() == '\0')
        s.pop_back();
    return s;
}

}  // namespace

DefineFont readDefineFont1(BitReader& r, TagContext& t) {
    DefineFont f;
    f.version = 1;
    f.id = r.u16();
    if (!r.ok() || r.atEnd()) return f;
    size_t tableStart = r.pos();
    uint16_t first = r.u16();
    size_t count = first / 2;
    if (r.ok() && count * 2 > r.remaining() + 2) {
        r.fail("glyph offset table longer than the tag");
        return f;
    }
    std::vector<uint32_t> offsets;
    if (count) offsets.push_back(first);
    for (size_t i = 1; i < count && r.ok(); ++i)
        offsets.push_back(r.u16());
    if (!t.parse.spendFor<Shape>(r, count)) return f;
    f.glyphs = readGlyphs(r, tableStart, offsets, r.size(), t);
    return f;
}

DefineFont readDefineFont23(BitReader& r, int version, TagContext& t) {
    DefineFont f;
    f.version = static_cast<uint8_t>(version);
    f.id = r.u16();
    f.flags = r.u8();
    f.languageCode = r.u8();
    f.name = trimNuls(r.fixedString(r.u8()));
    uint16_t count = r.u16();
    size_t tableStart = r.pos();
    size_t offSize = f.wideOffsets() ? 4 : 2;
    if (!r.ok()) return f;
    // Device fonts may stop right after the glyph count.
    if (count == 0 && r.atEnd()) return f;
    if ((size_t(count) + 1) * offSize > r.remaining()) {
        r.fail("glyph offset table longer than the tag");
        return f;
    }
    if (!t.parse.spendFor<Shape>(r, count)) return f;
    std::vector<uint32_t> offsets(count);
    for (auto& o : offsets)
        o = f.wideOffsets() ? r.u32() : r.u16();
    uint32_t codeTableOffset = f.wideOffsets() ? r.u32() : r.u16();
    size_t codeTableAt = tableStart + codeTableOffset;
    if (codeTableAt > r.size()) {
        r.fail("code table offset beyond the tag");
        return f;
    }
    f.glyphs = readGlyphs(r, tableStart, offsets, codeTableAt, t);
    if (!r.ok()) return f;
    r.seek(codeTableAt);
    f.codeTable.reserve(count);
    // DefineFont3 is meant to always set the wide-codes flag, but movies exist that leave it clear and store
    // one-byte codes and kerning pairs: the flag decides.
    bool wideCodes = f.wideCodes();
    for (uint16_t i = 0; i < count && r.ok(); ++i)
        f.codeTable.push_back(wideCodes ? r.u16() : r.u8());
    if (!f.hasLayout() || !r.ok()) return f;
    FontLayout l;
    l.ascent = r.s16();
    l.descent = r.s16();
    l.leading = r.s16();
    l.advances.reserve(count);
    for (uint16_t i = 0; i < count && r.ok(); ++i)
        l.advances.push_back(r.s16());
    l.bounds.reserve(std::min<size_t>(count, r.remaining()));
    for (uint16_t i = 0; i < count && r.ok(); ++i)
        l.bounds.push_back(readRect(r));
    // Some writers leave out the kerning count when there are no pairs.
    uint16_t kerning = r.ok() && r.remaining() >= 2 ? r.u16() : 0;
    if (!t.parse.spendFor<KerningPair>(r, kerning)) return f;
    l.kerning.reserve(std::min<size_t>(kerning, r.remaining() / 4));
    for (uint16_t i = 0; i < kerning && r.ok(); ++i) {
        KerningPair k;
        k.code1 = wideCodes ? r.u16() : r.u8();
        k.code2 = wideCodes ? r.u16() : r.u8();
        k.adjustment = r.s16();
        l.kerning.push_back(k);
    }
    f.layout = std::move(l);
    return f;
}

DefineFontInfo readDefineFontInfo(BitReader& r, int version) {
    DefineFontInfo f;
    f.version = static_cast<uint8_t>(version);
    f.fontId = r.u16();
    f.name = trimNuls(r.fixedString(r.u8()));
    f.flags = r.u8();
    if (version >= 2) f.languageCode = r.u8();
    bool wide = (f.flags & 0x01) || version >= 2;
    if (!r.ok()) return f;
    f.codeTable.reserve(r.remaining() / (wide ? 2 : 1));
    while (r.ok() && r.remaining() >= (wide ? 2u : 1u))
        f.codeTable.push_back(wide ? r.u16() : r.u8());
    return f;
}

DefineFontAlignZones readDefineFontAlignZones(BitReader& r, TagContext& t) {
    DefineFontAlignZones z;
    z.fontId = r.u16();
    z.csmTableHint = r.u8() >> 6;
    while (r.ok() && !r.atEnd() && t.parse.spendFor<DefineFontAlignZones::Zone>(r, 1)) {
        DefineFontAlignZones::Zone zone;
        uint8_t n = r.u8();
        for (int i = 0; i < n && r.ok(); ++i) {
            DefineFontAlignZones::ZoneData d;
            d.alignmentCoordinate = r.f16();
            d.range = r.f16();
            zone.data.push_back(d);
        }
        uint8_t mask = r.u8();
        zone.maskY = mask & 2;
        zone.maskX = mask & 1;
        if (r.ok()) z.zones.push_back(std::move(zone));
    }
    return z;
}

DefineText readDefineText(BitReader& r, int version, TagContext& t) {
    DefineText d;
    d.version = static_cast<uint8_t>(version);
    d.id = r.u16();
    d.bounds = readRect(r);
    d.matrix = readMatrix(r);
    int glyphBits = r.u8();
    int advanceBits = r.u8();
    if (r.ok() && (glyphBits > 32 || advanceBits > 32)) {
        r.fail("glyph or advance field wider than 32 bits");
        return d;
    }
    while (r.ok()) {
        // Like shapes, some writers end the last record with the tag instead of an end byte.
        if (r.atEnd()) break;
        uint8_t flags = r.u8();
        if (flags == 0) break;
        if (!t.parse.spendFor<TextRecord>(r, 1)) break;
        TextRecord rec;
        if (flags & 0x08) rec.fontId = r.u16();
        if (flags & 0x04) rec.color = version >= 2 ? readRGBA(r) : readRGB(r);
        if (flags & 0x01) rec.xOffset = r.s16();
        if (flags & 0x02) rec.yOffset = r.s16();
        if (flags & 0x08) rec.height = r.u16();
        uint8_t count = r.u8();
        if (!t.parse.spendFor<TextRecord::Glyph>(r, count)) break;
        rec.glyphs.reserve(count);
        for (int i = 0; i < count && r.ok(); ++i) {
            TextRecord::Glyph g;
            g.index = r.ub(glyphBits);
            g.advance = r.sb(advanceBits);
            rec.glyphs.push_back(g);
        }
        r.align();
        if (r.ok()) d.records.push_back(std::move(rec));
    }
    return d;
}

DefineEditText readDefineEditText(BitReader& r, const TagContext& t) {
    DefineEditText e;
    e.id = r.u16();
    e.bounds = readRect(r);
    e.flags = uint16_t(r.u8() << 8);
    e.flags |= r.u8();
    bool hasText = e.flags & 0x8000, hasColor = e.flags & 0x0400, hasMaxLength = e.flags & 0x0200,
         hasFont = e.flags & 0x0100, hasFontClass = e.flags & 0x0080, hasLayout = e.flags & 0x0020;
    if (hasFont) e.fontId = r.u16();
    if (hasFontClass) e.fontClass = r.string();
    if (hasFont || hasFontClass) e.fontHeight = r.u16();
    if (hasColor) e.color = readRGBA(r);
    if (hasMaxLength) e.maxLength = r.u16();
    if (hasLayout) {
        DefineEditText::Layout l;
        l.align = r.u8();
        l.leftMargin = r.u16();
        l.rightMargin = r.u16();
        l.indent = r.u16();
        l.leading = r.s16();
        e.layout = l;
    }
    e.variableName = t.text(r);
    if (hasText) e.initialText = t.text(r);
    return e;
}

}  // namespace swf::detail
