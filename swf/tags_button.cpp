// DefineButton 1..2 and DefineButtonCxform.
#include "swf/tag_readers.h"

namespace swf::detail {

namespace {

// BUTTONRECORDs up to the zero end byte.
std::vector<ButtonRecord> readButtonRecords(BitReader& r, int version, TagContext& t) {
    std::vector<ButtonRecord> out;
    while (r.ok()) {
        uint8_t f = r.u8();
        if (!r.ok() || f == 0) break;
        if (!t.parse.spendFor<ButtonRecord>(r, 1)) break;
        ButtonRecord b;
        b.stateUp = f & 0x01;
        b.stateOver = f & 0x02;
        b.stateDown = f & 0x04;
        b.stateHitTest = f & 0x08;
        b.characterId = r.u16();
        b.depth = r.u16();
        b.matrix = readMatrix(r);
        if (version >= 2) {
            b.cxform = readCXForm(r, true);
            if (f & 0x10) b.filters = readFilterList(r, t);
            if (f & 0x20) b.blendMode = r.u8();
        }
        if (r.ok()) out.push_back(std::move(b));
    }
    return out;
}

}  // namespace

DefineButton readDefineButton(BitReader& r, int version, TagContext& t) {
    DefineButton d;
    d.version = static_cast<uint8_t>(version);
    d.id = r.u16();
    if (version == 1) {
        d.records = readButtonRecords(r, 1, t);
        if (r.ok()) d.actions.push_back({ButtonCondAction::kOverDownToOverUp, toBytes(r.rest())});
        return d;
    }
    d.trackAsMenu = r.u8() & 1;
    size_t actionBase = r.pos();
    uint16_t actionOffset = r.u16();
    d.records = readButtonRecords(r, 2, t);
    if (!r.ok() || actionOffset == 0) return d;
    // The offset counts from the offset field itself.
    if (actionBase + actionOffset > r.size()) {
        r.fail("button action offset beyond the tag");
        return d;
    }
    r.seek(actionBase + actionOffset);
    while (r.ok() && !r.atEnd()) {
        if (!t.parse.spendFor<ButtonCondAction>(r, 1)) break;
        size_t at = r.pos();
        uint16_t size = r.u16();
        ButtonCondAction a;
        a.conditions = r.u16();
        if (size == 0) {  // the last one runs to the end of the tag
            a.actions = toBytes(r.rest());
        } else {
            if (size < 4 || at + size > r.size()) {
                r.fail("button condition action size " + std::to_string(size) + " does not fit the tag");
                break;
            }
            a.actions = toBytes(r.bytes(size - 4));
        }
        if (r.ok()) d.actions.push_back(std::move(a));
        if (size == 0) break;
    }
    return d;
}

DefineButtonCxform readDefineButtonCxform(BitReader& r) {
    DefineButtonCxform c;
    c.buttonId = r.u16();
    c.cxform = readCXForm(r, false);
    return c;
}

}  // namespace swf::detail
