#include "support/swf_tags.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace testswf {

// --- Actions ------------------------------------------------------------------------------------

ActionWriter& ActionWriter::op(uint8_t opcode) {
    out_.u8(opcode);
    return *this;
}

ActionWriter& ActionWriter::opWith(uint8_t opcode, const Bytes& operands) {
    out_.u8(opcode).u16(static_cast<uint16_t>(operands.size())).raw(operands);
    return *this;
}

ActionWriter& ActionWriter::raw(const Bytes& b) {
    out_.raw(b);
    return *this;
}

ActionWriter& ActionWriter::push(std::initializer_list<Push> values) {
    ByteWriter w;
    for (const Push& v : values) {
        w.u8(v.type);
        switch (v.type) {
            case 0:
                w.str(v.s);
                break;
            case 1: {
                float f = static_cast<float>(v.d);
                w.u32(std::bit_cast<uint32_t>(f));
                break;
            }
            case 4:
            case 5:
            case 8:
                w.u8(static_cast<uint8_t>(v.i));
                break;
            case 6: {
                // AVM1 doubles: high 32 bits first, each half little-endian.
                uint64_t bits = std::bit_cast<uint64_t>(v.d);
                w.u32(static_cast<uint32_t>(bits >> 32)).u32(static_cast<uint32_t>(bits));
                break;
            }
            case 7:
                w.u32(static_cast<uint32_t>(v.i));
                break;
            case 9:
                w.u16(static_cast<uint16_t>(v.i));
                break;
            default:
                break;
        }
    }
    return opWith(0x96, w.bytes());
}

ActionWriter& ActionWriter::getURL(const std::string& url, const std::string& target) {
    return opWith(0x83, ByteWriter().str(url).str(target).bytes());
}

ActionWriter& ActionWriter::getURL2(uint8_t method, bool loadTarget, bool loadVariables) {
    return opWith(0x9A, {static_cast<uint8_t>(method << 6 | (loadTarget ? 2 : 0) | (loadVariables ? 1 : 0))});
}

ActionWriter& ActionWriter::constantPool(const std::vector<std::string>& constants) {
    ByteWriter w;
    w.u16(static_cast<uint16_t>(constants.size()));
    for (const auto& c : constants)
        w.str(c);
    return opWith(0x88, w.bytes());
}

ActionWriter& ActionWriter::waitForFrame(uint16_t frame, uint8_t skip) {
    return opWith(0x8A, ByteWriter().u16(frame).u8(skip).bytes());
}

ActionWriter& ActionWriter::setTarget(const std::string& target) {
    return opWith(0x8B, ByteWriter().str(target).bytes());
}

ActionWriter& ActionWriter::gotoLabel(const std::string& label) {
    return opWith(0x8C, ByteWriter().str(label).bytes());
}

ActionWriter& ActionWriter::gotoFrame2(bool play, std::optional<uint16_t> sceneBias) {
    ByteWriter w;
    w.u8(static_cast<uint8_t>((sceneBias ? 2 : 0) | (play ? 1 : 0)));
    if (sceneBias) w.u16(*sceneBias);
    return opWith(0x9F, w.bytes());
}

ActionWriter& ActionWriter::defineFunction(const std::string& name, const std::vector<std::string>& params,
                                           const Bytes& body) {
    ByteWriter w;
    w.str(name).u16(static_cast<uint16_t>(params.size()));
    for (const auto& p : params)
        w.str(p);
    w.u16(static_cast<uint16_t>(body.size()));
    opWith(0x9B, w.bytes());
    return raw(body);
}

ActionWriter& ActionWriter::defineFunction2(const std::string& name, uint8_t registers, uint16_t flags,
                                            const std::vector<std::pair<uint8_t, std::string>>& params,
                                            const Bytes& body) {
    ByteWriter w;
    w.str(name).u16(static_cast<uint16_t>(params.size())).u8(registers).u16(flags);
    for (const auto& [reg, n] : params)
        w.u8(reg).str(n);
    w.u16(static_cast<uint16_t>(body.size()));
    opWith(0x8E, w.bytes());
    return raw(body);
}

ActionWriter& ActionWriter::tryBlock(bool catchInRegister, const std::string& catchName,
                                     uint8_t catchRegister, uint16_t trySize, uint16_t catchSize,
                                     uint16_t finallySize, bool hasCatch, bool hasFinally) {
    ByteWriter w;
    w.u8(static_cast<uint8_t>((catchInRegister ? 4 : 0) | (hasFinally ? 2 : 0) | (hasCatch ? 1 : 0)));
    w.u16(trySize).u16(catchSize).u16(finallySize);
    if (catchInRegister) {
        w.u8(catchRegister);
    } else {
        w.str(catchName);
    }
    return opWith(0x8F, w.bytes());
}

Bytes ActionWriter::withEnd() const {
    Bytes b = out_.bytes();
    b.push_back(0);
    return b;
}

// --- Display list ------------------------------------------------------------------------------

Bytes placeObject1(uint16_t characterId, uint16_t depth, const MatrixSpec& m, std::optional<CxSpec> cx) {
    ByteWriter w;
    w.u16(characterId).u16(depth);
    m.write(w);
    if (cx) cx->write(w, false);
    return w.bytes();
}

Bytes placeObject(const PlaceSpec& p, int version, uint8_t swfVersion) {
    ByteWriter w;
    uint8_t f =
        static_cast<uint8_t>((p.clipActions.empty() ? 0 : 0x80) | (p.clipDepth ? 0x40 : 0) |
                             (p.name ? 0x20 : 0) | (p.ratio ? 0x10 : 0) | (p.cxform ? 0x08 : 0) |
                             (p.matrix ? 0x04 : 0) | (p.characterId ? 0x02 : 0) | (p.move ? 0x01 : 0));
    w.u8(f);
    if (version >= 3) {
        uint8_t f2 = static_cast<uint8_t>((p.backgroundRgba ? 0x40 : 0) | (p.visible ? 0x20 : 0) |
                                          (p.hasImage ? 0x10 : 0) | (p.className ? 0x08 : 0) |
                                          (p.cacheAsBitmap ? 0x04 : 0) | (p.blendMode ? 0x02 : 0) |
                                          (p.filters ? 0x01 : 0));
        w.u8(f2);
    }
    w.u16(p.depth);
    if (version >= 3 && p.className) w.str(*p.className);
    if (p.characterId) w.u16(*p.characterId);
    if (p.matrix) p.matrix->write(w);
    if (p.cxform) p.cxform->write(w, true);
    if (p.ratio) w.u16(*p.ratio);
    if (p.name) w.str(*p.name);
    if (p.clipDepth) w.u16(*p.clipDepth);
    if (version >= 3) {
        if (p.filters) {
            w.u8(static_cast<uint8_t>(p.filters->size()));
            for (const auto& [id, data] : *p.filters)
                w.u8(id).raw(data);
        }
        if (p.blendMode) w.u8(*p.blendMode);
        if (p.cacheAsBitmap) w.u8(*p.cacheAsBitmap);
        if (p.visible) w.u8(*p.visible);
        if (p.backgroundRgba) w.rgba(*p.backgroundRgba);
    }
    if (!p.clipActions.empty()) {
        bool wide = swfVersion >= 6;
        uint32_t all = 0;
        for (const auto& c : p.clipActions)
            all |= c.events;
        w.u16(0);
        if (wide) {
            w.u32(all);
        } else {
            w.u16(static_cast<uint16_t>(all));
        }
        for (const auto& c : p.clipActions) {
            if (wide) {
                w.u32(c.events);
            } else {
                w.u16(static_cast<uint16_t>(c.events));
            }
            w.u32(static_cast<uint32_t>(c.actions.size() + (c.keyCode ? 1 : 0)));
            if (c.keyCode) w.u8(*c.keyCode);
            w.raw(c.actions);
        }
        if (wide) {
            w.u32(0);
        } else {
            w.u16(0);
        }
    }
    return w.bytes();
}

Bytes removeObject(uint16_t characterId, uint16_t depth) {
    return ByteWriter().u16(characterId).u16(depth).bytes();
}
Bytes removeObject2(uint16_t depth) {
    return ByteWriter().u16(depth).bytes();
}

Bytes blurFilter(double blurX, double blurY, uint8_t passes) {
    ByteWriter w;
    w.u32(static_cast<uint32_t>(blurX * 65536)).u32(static_cast<uint32_t>(blurY * 65536));
    w.u8(static_cast<uint8_t>(passes << 3));
    return w.bytes();
}

Bytes dropShadowFilter(uint32_t rgba, double blurX, double blurY, double angle, double distance) {
    ByteWriter w;
    w.rgba(rgba);
    for (double v : {blurX, blurY, angle, distance})
        w.u32(static_cast<uint32_t>(static_cast<int32_t>(v * 65536)));
    w.fixed8(1.0).u8(0x20 | 1);  // strength 1, composite source, one pass
    return w.bytes();
}

Bytes defineSprite(uint16_t id, uint16_t frameCount, const SwfBuilder& timeline) {
    return ByteWriter().u16(id).u16(frameCount).raw(timeline.body()).bytes();
}

// --- Control ------------------------------------------------------------------------------------

Bytes frameLabel(const std::string& name, bool anchor) {
    ByteWriter w;
    w.str(name);
    if (anchor) w.u8(1);
    return w.bytes();
}

Bytes doInitAction(uint16_t spriteId, const Bytes& actions) {
    return ByteWriter().u16(spriteId).raw(actions).bytes();
}

Bytes exportAssets(const std::vector<std::pair<uint16_t, std::string>>& assets) {
    ByteWriter w;
    w.u16(static_cast<uint16_t>(assets.size()));
    for (const auto& [id, name] : assets)
        w.u16(id).str(name);
    return w.bytes();
}

Bytes fileAttributes(uint32_t flags) {
    return ByteWriter().u32(flags).bytes();
}

Bytes encodedU32(uint32_t v) {
    Bytes b;
    do {
        uint8_t byte = v & 0x7F;
        v >>= 7;
        if (v) byte |= 0x80;
        b.push_back(byte);
    } while (v);
    return b;
}

Bytes sceneAndFrameLabelData(const std::vector<std::pair<uint32_t, std::string>>& scenes,
                             const std::vector<std::pair<uint32_t, std::string>>& labels) {
    ByteWriter w;
    w.raw(encodedU32(static_cast<uint32_t>(scenes.size())));
    for (const auto& [off, name] : scenes)
        w.raw(encodedU32(off)).str(name);
    w.raw(encodedU32(static_cast<uint32_t>(labels.size())));
    for (const auto& [frame, name] : labels)
        w.raw(encodedU32(frame)).str(name);
    return w.bytes();
}

// --- Bitmaps ----------------------------------------------------------------------------------

Bytes defineBitsJPEG2(uint16_t id, const Bytes& image) {
    return ByteWriter().u16(id).raw(image).bytes();
}

Bytes defineBitsJPEG3(uint16_t id, const Bytes& image, const Bytes& alphaZlib) {
    return ByteWriter().u16(id).u32(static_cast<uint32_t>(image.size())).raw(image).raw(alphaZlib).bytes();
}

Bytes defineBitsJPEG4(uint16_t id, const Bytes& image, const Bytes& alphaZlib, uint16_t deblocking88) {
    return ByteWriter()
        .u16(id)
        .u32(static_cast<uint32_t>(image.size()))
        .u16(deblocking88)
        .raw(image)
        .raw(alphaZlib)
        .bytes();
}

Bytes defineBitsLossless(uint16_t id, uint8_t format, uint16_t width, uint16_t height, const Bytes& pixels,
                         uint16_t colorTableSize) {
    ByteWriter w;
    w.u16(id).u8(format).u16(width).u16(height);
    if (format == 3) w.u8(static_cast<uint8_t>(colorTableSize - 1));
    return w.raw(zlibCompress(pixels)).bytes();
}

// --- Fonts and text ----------------------------------------------------------------------------

Bytes defineFont1(const FontSpec& f) {
    ByteWriter w;
    w.u16(f.id);
    std::vector<Bytes> shapes;
    for (const auto& g : f.glyphs)
        shapes.push_back(g.shape.shapeNoStyles());
    uint32_t off = static_cast<uint32_t>(2 * shapes.size());
    for (const auto& s : shapes) {
        w.u16(static_cast<uint16_t>(off));
        off += static_cast<uint32_t>(s.size());
    }
    for (const auto& s : shapes)
        w.raw(s);
    return w.bytes();
}

Bytes defineFont2(const FontSpec& f, int version) {
    bool wideCodes = f.wideCodes;
    ByteWriter w;
    w.u16(f.id);
    w.u8(static_cast<uint8_t>((f.layout ? 0x80 : 0) | (f.wideOffsets ? 0x08 : 0) | (wideCodes ? 0x04 : 0) |
                              (f.italic ? 0x02 : 0) | (f.bold ? 0x01 : 0)));
    w.u8(0);  // language
    w.u8(static_cast<uint8_t>(f.name.size()))
        .raw(reinterpret_cast<const uint8_t*>(f.name.data()), f.name.size());
    w.u16(static_cast<uint16_t>(f.glyphs.size()));
    std::vector<Bytes> shapes;
    for (const auto& g : f.glyphs)
        shapes.push_back(g.shape.shapeNoStyles());
    size_t offSize = f.wideOffsets ? 4 : 2;
    uint32_t off = static_cast<uint32_t>(offSize * (shapes.size() + 1));
    auto putOff = [&](uint32_t v) {
        if (f.wideOffsets) {
            w.u32(v);
        } else {
            w.u16(static_cast<uint16_t>(v));
        }
    };
    for (const auto& s : shapes) {
        putOff(off);
        off += static_cast<uint32_t>(s.size());
    }
    putOff(off);  // code table
    for (const auto& s : shapes)
        w.raw(s);
    for (const auto& g : f.glyphs) {
        if (wideCodes) {
            w.u16(g.code);
        } else {
            w.u8(static_cast<uint8_t>(g.code));
        }
    }
    if (f.layout) {
        w.s16(f.ascent).s16(f.descent).s16(f.leading);
        for (const auto& g : f.glyphs)
            w.s16(g.advance);
        for (const auto& g : f.glyphs)
            w.rect(g.bounds[0], g.bounds[1], g.bounds[2], g.bounds[3]);
        w.u16(static_cast<uint16_t>(f.kerning.size()));
        for (const auto& [a, b, adj] : f.kerning) {
            if (wideCodes) {
                w.u16(a).u16(b);
            } else {
                w.u8(static_cast<uint8_t>(a)).u8(static_cast<uint8_t>(b));
            }
            w.s16(adj);
        }
    }
    return w.bytes();
}

Bytes defineFontInfo(const FontSpec& f, int version) {
    bool wide = f.wideCodes || version >= 2;
    ByteWriter w;
    w.u16(f.id).u8(static_cast<uint8_t>(f.name.size()));
    w.raw(reinterpret_cast<const uint8_t*>(f.name.data()), f.name.size());
    w.u8(static_cast<uint8_t>((f.italic ? 0x04 : 0) | (f.bold ? 0x02 : 0) | (wide ? 0x01 : 0)));
    if (version >= 2) w.u8(1);  // language: Latin
    for (const auto& g : f.glyphs) {
        if (wide) {
            w.u16(g.code);
        } else {
            w.u8(static_cast<uint8_t>(g.code));
        }
    }
    return w.bytes();
}

Bytes defineText(uint16_t id, int version, std::vector<int32_t> bounds, const MatrixSpec& m,
                 const std::vector<TextRecordSpec>& records) {
    uint32_t maxIndex = 0;
    int advanceBits = 1;
    for (const auto& r : records)
        for (const auto& [idx, adv] : r.glyphs) {
            maxIndex = std::max(maxIndex, idx);
            advanceBits = std::max(advanceBits, BitWriter::sbits(adv));
        }
    int glyphBits = std::max(1, BitWriter::ubits(maxIndex));
    ByteWriter w;
    w.u16(id).rect(bounds[0], bounds[1], bounds[2], bounds[3]);
    m.write(w);
    w.u8(static_cast<uint8_t>(glyphBits)).u8(static_cast<uint8_t>(advanceBits));
    for (const auto& r : records) {
        w.u8(static_cast<uint8_t>(0x80 | (r.fontId ? 0x08 : 0) | (r.rgba ? 0x04 : 0) | (r.y ? 0x02 : 0) |
                                  (r.x ? 0x01 : 0)));
        if (r.fontId) w.u16(*r.fontId);
        if (r.rgba) {
            if (version >= 2) {
                w.rgba(*r.rgba);
            } else {
                w.rgb(*r.rgba >> 8);
            }
        }
        if (r.x) w.s16(*r.x);
        if (r.y) w.s16(*r.y);
        if (r.fontId) w.u16(r.height);
        w.u8(static_cast<uint8_t>(r.glyphs.size()));
        BitWriter b;
        for (const auto& [idx, adv] : r.glyphs) {
            b.ub(idx, glyphBits);
            b.sb(adv, advanceBits);
        }
        w.raw(b.bytes());
    }
    w.u8(0);
    return w.bytes();
}

// --- Buttons ----------------------------------------------------------------------------------

namespace {

void buttonRecords(ByteWriter& w, const std::vector<ButtonRecordSpec>& records, int version) {
    for (const auto& r : records) {
        w.u8(static_cast<uint8_t>((r.hit ? 8 : 0) | (r.down ? 4 : 0) | (r.over ? 2 : 0) | (r.up ? 1 : 0)));
        w.u16(r.characterId).u16(r.depth);
        r.matrix.write(w);
        if (version >= 2) r.cxform.write(w, true);
    }
    w.u8(0);
}

}  // namespace

Bytes defineButton1(uint16_t id, const std::vector<ButtonRecordSpec>& records, const Bytes& actions) {
    ByteWriter w;
    w.u16(id);
    buttonRecords(w, records, 1);
    return w.raw(actions).bytes();
}

Bytes defineButton2(uint16_t id, bool trackAsMenu, const std::vector<ButtonRecordSpec>& records,
                    const std::vector<std::pair<uint16_t, Bytes>>& condActions) {
    ByteWriter recs;
    buttonRecords(recs, records, 2);
    ByteWriter w;
    w.u16(id).u8(trackAsMenu ? 1 : 0);
    w.u16(condActions.empty() ? 0 : static_cast<uint16_t>(2 + recs.size()));
    w.raw(recs.bytes());
    for (size_t i = 0; i < condActions.size(); ++i) {
        const auto& [cond, actions] = condActions[i];
        bool last = i + 1 == condActions.size();
        w.u16(last ? 0 : static_cast<uint16_t>(4 + actions.size())).u16(cond).raw(actions);
    }
    return w.bytes();
}

Bytes defineButtonCxform(uint16_t buttonId, const CxSpec& cx) {
    ByteWriter w;
    w.u16(buttonId);
    cx.write(w, false);
    return w.bytes();
}

Bytes defineEditText(const EditTextSpec& f) {
    ByteWriter w;
    w.u16(f.id).rect(f.bounds[0], f.bounds[1], f.bounds[2], f.bounds[3]);
    uint8_t a = 0x04;  // HasTextColor
    if (f.text) a |= 0x80;
    if (f.wordWrap) a |= 0x40;
    if (f.multiline) a |= 0x20;
    if (f.password) a |= 0x10;
    if (f.readOnly) a |= 0x08;
    if (f.fontId) a |= 0x01;
    uint8_t b = 0x20;  // HasLayout
    if (f.autoSize) b |= 0x40;
    if (f.noSelect) b |= 0x10;
    if (f.border) b |= 0x08;
    if (f.html) b |= 0x02;
    if (f.useOutlines) b |= 0x01;
    w.u8(a).u8(b);
    if (f.fontId) w.u16(*f.fontId).u16(f.height);
    w.u8(uint8_t(f.rgba >> 24)).u8(uint8_t(f.rgba >> 16)).u8(uint8_t(f.rgba >> 8)).u8(uint8_t(f.rgba));
    w.u8(f.align).u16(f.leftMargin).u16(f.rightMargin).u16(f.indent).s16(f.leading);
    w.str(f.variable);
    if (f.text) w.str(*f.text);
    return w.bytes();
}

}  // namespace testswf
