// PlaceObject 1..3, RemoveObject 1..2, filter lists and clip actions.
#include "swf/tag_readers.h"

namespace swf::detail {

std::vector<Filter> readFilterList(BitReader& r, TagContext& t) {
    std::vector<Filter> out;
    uint8_t n = r.u8();
    for (int i = 0; i < n && r.ok() && t.parse.spendFor<Filter>(r, 1); ++i) {
        Filter f;
        f.type = r.u8();
        size_t size = 0;
        switch (f.type) {
            case 0:
                size = 23;
                break;  // drop shadow
            case 1:
                size = 9;
                break;  // blur
            case 2:
                size = 15;
                break;  // glow
            case 3:
                size = 27;
                break;  // bevel
            case 4:     // gradient glow
            case 7: {   // gradient bevel
                size_t at = r.pos();
                uint8_t colors = r.u8();
                r.seek(at);
                size = 1 + 5 * size_t(colors) + 19;
                break;
            }
            case 5: {  // convolution
                size_t at = r.pos();
                uint8_t x = r.u8();
                uint8_t y = r.u8();
                r.seek(at);
                size = 2 + 8 + 4 * size_t(x) * y + 4 + 1;
                break;
            }
            case 6:
                size = 80;
                break;  // colour matrix
            default:
                r.failAt(r.pos() - 1, "unknown filter type " + std::to_string(f.type));
                return out;
        }
        f.data = toBytes(r.bytes(size));
        if (r.ok()) out.push_back(std::move(f));
    }
    return out;
}

namespace {

// CLIPACTIONS (PlaceObject2/3 from SWF 5): event flags are 16 bits in SWF 5 movies, 32 bits later.
ClipActions readClipActions(BitReader& r, TagContext& t) {
    ClipActions c;
    bool wide = t.parse.swfVersion >= 6;
    r.u16();  // reserved
    c.allEvents = wide ? r.u32() : r.u16();
    while (r.ok()) {
        uint32_t events = wide ? r.u32() : r.u16();
        if (!r.ok() || events == 0) break;
        if (!t.parse.spendFor<ClipAction>(r, 1)) break;
        ClipAction a;
        a.events = events;
        uint32_t size = r.u32();
        if (wide && (events & 0x00020000u)) {  // ClipEventKeyPress: the key code counts in the size
            a.keyCode = r.u8();
            if (size == 0) {
                r.fail("clip action with a key code but no room for it");
                break;
            }
            --size;
        }
        if (r.ok() && size > r.remaining()) {
            r.fail("clip action size " + std::to_string(size) + " runs past the tag");
            break;
        }
        a.actions = toBytes(r.bytes(size));
        c.records.push_back(std::move(a));
    }
    return c;
}

}  // namespace

PlaceObject readPlaceObject(BitReader& r, int version, TagContext& t) {
    PlaceObject p;
    p.version = static_cast<uint8_t>(version);
    if (version == 1) {
        p.characterId = r.u16();
        p.depth = r.u16();
        p.matrix = readMatrix(r);
        if (r.ok() && !r.atEnd()) p.cxform = readCXForm(r, false);
        return p;
    }
    uint8_t f = r.u8();
    uint8_t f2 = version >= 3 ? r.u8() : 0;
    p.move = f & 0x01;
    p.depth = r.u16();
    if (version >= 3) {
        p.hasImage = f2 & 0x10;
        if ((f2 & 0x08) || (p.hasImage && (f & 0x02))) p.className = r.string();
    }
    if (f & 0x02) p.characterId = r.u16();
    if (f & 0x04) p.matrix = readMatrix(r);
    if (f & 0x08) p.cxform = readCXForm(r, true);
    if (f & 0x10) p.ratio = r.u16();
    if (f & 0x20) p.name = t.text(r);
    if (f & 0x40) p.clipDepth = r.u16();
    if (version >= 3) {
        if (f2 & 0x01) {
            size_t at = r.pos();
            p.filters = readFilterList(r, t);
            if (r.ok()) {
                size_t end = r.pos();
                r.seek(at);
                p.filtersRaw = toBytes(r.bytes(end - at));
            }
        }
        if (f2 & 0x02) p.blendMode = r.u8();
        if (f2 & 0x04) p.cacheAsBitmap = r.u8() != 0;
        if (f2 & 0x20) p.visible = r.u8() != 0;
        if (f2 & 0x40) p.backgroundColor = readRGBA(r);
    }
    if ((f & 0x80) && r.ok()) {
        size_t at = r.pos();
        p.clipActions = readClipActions(r, t);
        if (r.ok()) {
            size_t end = r.pos();
            r.seek(at);
            p.clipActionsRaw = toBytes(r.bytes(end - at));
        }
    }
    return p;
}

RemoveObject readRemoveObject(BitReader& r, int version) {
    RemoveObject o;
    o.version = static_cast<uint8_t>(version);
    if (version == 1) o.characterId = r.u16();
    o.depth = r.u16();
    return o;
}

}  // namespace swf::detail
