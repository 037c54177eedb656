// Tag body writers for test movies: display list, sprites, labels, fonts, text, buttons, bitmaps and
// AVM1 actions. Each returns the body; pass it to SwfBuilder::tag() with the tag code.
//
//   ActionWriter a;
//   a.push({Push::str("x"), Push::i32(3)}).op(0x1D).stop();   // x = 3; stop();
//   PlaceSpec p;  p.depth = 1;  p.characterId = 1;  p.matrix = MatrixSpec{};
//   movie.tag(26, placeObject(p, 2)).tag(12, a.bytes()).showFrame();
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/swf_builder.h"
#include "support/swf_shapes.h"

namespace testswf {

// --- Actions ------------------------------------------------------------------------------------

struct Push {
    uint8_t type = 3;
    std::string s;
    double d = 0;
    int64_t i = 0;
    static Push make(uint8_t type, std::string s, double d, int64_t i) {
        Push p;
        p.type = type;
        p.s = std::move(s);
        p.d = d;
        p.i = i;
        return p;
    }
    static Push str(std::string v) { return make(0, std::move(v), 0, 0); }
    static Push flt(float v) { return make(1, {}, v, 0); }
    static Push null() { return make(2, {}, 0, 0); }
    static Push undefined() { return make(3, {}, 0, 0); }
    static Push reg(uint8_t r) { return make(4, {}, 0, r); }
    static Push boolean(bool b) { return make(5, {}, 0, b); }
    static Push dbl(double v) { return make(6, {}, v, 0); }
    static Push i32(int32_t v) { return make(7, {}, 0, v); }
    static Push c8(uint8_t idx) { return make(8, {}, 0, idx); }
    static Push c16(uint16_t idx) { return make(9, {}, 0, idx); }
};

// AVM1 action bytes. Offsets for jumps are the raw branch offsets (relative to the next action).
class ActionWriter {
  public:
    ActionWriter& op(uint8_t opcode);                             // an action without operands
    ActionWriter& opWith(uint8_t opcode, const Bytes& operands);  // any action with operands
    ActionWriter& push(std::initializer_list<Push> values);
    ActionWriter& gotoFrame(uint16_t frame) { return opWith(0x81, ByteWriter().u16(frame).bytes()); }
    ActionWriter& getURL(const std::string& url, const std::string& target);
    ActionWriter& getURL2(uint8_t method, bool loadTarget, bool loadVariables);
    ActionWriter& storeRegister(uint8_t r) { return opWith(0x87, {r}); }
    ActionWriter& constantPool(const std::vector<std::string>& constants);
    ActionWriter& waitForFrame(uint16_t frame, uint8_t skip);
    ActionWriter& setTarget(const std::string& target);
    ActionWriter& gotoLabel(const std::string& label);
    ActionWriter& jump(int16_t offset) { return opWith(0x99, ByteWriter().s16(offset).bytes()); }
    ActionWriter& ifTrue(int16_t offset) { return opWith(0x9D, ByteWriter().s16(offset).bytes()); }
    ActionWriter& gotoFrame2(bool play, std::optional<uint16_t> sceneBias = std::nullopt);
    ActionWriter& with(uint16_t size) { return opWith(0x94, ByteWriter().u16(size).bytes()); }
    // DefineFunction followed by its body.
    ActionWriter& defineFunction(const std::string& name, const std::vector<std::string>& params,
                                 const Bytes& body);
    // DefineFunction2 followed by its body; params are (register, name).
    ActionWriter& defineFunction2(const std::string& name, uint8_t registers, uint16_t flags,
                                  const std::vector<std::pair<uint8_t, std::string>>& params,
                                  const Bytes& body);
    ActionWriter& tryBlock(bool catchInRegister, const std::string& catchName, uint8_t catchRegister,
                           uint16_t trySize, uint16_t catchSize, uint16_t finallySize, bool hasCatch = true,
                           bool hasFinally = false);
    ActionWriter& stop() { return op(0x07); }
    ActionWriter& play() { return op(0x06); }
    ActionWriter& end() { return op(0x00); }
    ActionWriter& raw(const Bytes& b);

    size_t size() const { return out_.size(); }
    // The bytes so far (no End added).
    const Bytes& bytes() const { return out_.bytes(); }
    // The bytes followed by ActionEnd, as DoAction stores them.
    Bytes withEnd() const;

  private:
    ByteWriter out_;
};

// --- Display list ------------------------------------------------------------------------------

struct ClipActionSpec {
    uint32_t events;
    std::optional<uint8_t> keyCode;
    Bytes actions;
};

struct PlaceSpec {
    bool move = false;
    uint16_t depth = 1;
    std::optional<uint16_t> characterId;
    std::optional<MatrixSpec> matrix;
    std::optional<CxSpec> cxform;
    std::optional<uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<uint16_t> clipDepth;
    std::vector<ClipActionSpec> clipActions;  // written when not empty
    // PlaceObject3.
    std::optional<std::string> className;
    bool hasImage = false;
    std::optional<std::vector<std::pair<uint8_t, Bytes>>> filters;  // (filter id, filter bytes)
    std::optional<uint8_t> blendMode;
    std::optional<bool> cacheAsBitmap;
    std::optional<bool> visible;
    std::optional<uint32_t> backgroundRgba;
};

Bytes placeObject1(uint16_t characterId, uint16_t depth, const MatrixSpec& m = {},
                   std::optional<CxSpec> cx = std::nullopt);
// PlaceObject2 (version 2) or PlaceObject3 (version 3). Clip action event flags are 16 bits for
// swfVersion 5, 32 bits later.
Bytes placeObject(const PlaceSpec& p, int version = 2, uint8_t swfVersion = 10);
Bytes removeObject(uint16_t characterId, uint16_t depth);
Bytes removeObject2(uint16_t depth);
// Filter bytes (without the id byte) for the common fixed-size filters, all fields zero but the given.
Bytes blurFilter(double blurX, double blurY, uint8_t passes);
Bytes dropShadowFilter(uint32_t rgba, double blurX, double blurY, double angle, double distance);

// DefineSprite body: id, frame count, then the timeline's tags (end it with SwfBuilder::end()).
Bytes defineSprite(uint16_t id, uint16_t frameCount, const SwfBuilder& timeline);

// --- Control ------------------------------------------------------------------------------------

Bytes frameLabel(const std::string& name, bool anchor = false);
Bytes doInitAction(uint16_t spriteId, const Bytes& actions);
Bytes exportAssets(const std::vector<std::pair<uint16_t, std::string>>& assets);
Bytes fileAttributes(uint32_t flags);
Bytes sceneAndFrameLabelData(const std::vector<std::pair<uint32_t, std::string>>& scenes,
                             const std::vector<std::pair<uint32_t, std::string>>& labels);
// EncodedU32 bytes.
Bytes encodedU32(uint32_t v);

// --- Bitmaps ----------------------------------------------------------------------------------

Bytes defineBitsJPEG2(uint16_t id, const Bytes& image);
Bytes defineBitsJPEG3(uint16_t id, const Bytes& image, const Bytes& alphaZlib);
Bytes defineBitsJPEG4(uint16_t id, const Bytes& image, const Bytes& alphaZlib, uint16_t deblocking88);
// DefineBitsLossless 1/2 body: pixels (colour table first for format 3) are zlib-compressed here.
Bytes defineBitsLossless(uint16_t id, uint8_t format, uint16_t width, uint16_t height, const Bytes& pixels,
                         uint16_t colorTableSize = 0);

// --- Fonts and text ----------------------------------------------------------------------------

struct GlyphSpec {
    ShapeBuilder shape;  // use fill1(1) (or fill0(1)) for the glyph's area
    uint16_t code = 0;
    int16_t advance = 0;
    std::vector<int32_t> bounds{0, 0, 0, 0};  // xmin, xmax, ymin, ymax
};

struct FontSpec {
    uint16_t id = 1;
    std::string name = "Test";
    std::vector<GlyphSpec> glyphs;
    bool bold = false, italic = false;
    bool wideOffsets = false;
    bool wideCodes = true;  // DefineFont3 should always have it; clear it to write a movie that does not
    bool layout = false;
    int16_t ascent = 0, descent = 0, leading = 0;
    std::vector<std::tuple<uint16_t, uint16_t, int16_t>> kerning;  // (code1, code2, adjustment)
};

Bytes defineFont1(const FontSpec& f);
// DefineFont2 (version 2) or DefineFont3 (version 3).
Bytes defineFont2(const FontSpec& f, int version = 2);
// DefineFontInfo 1/2 with the codes of the font's glyphs.
Bytes defineFontInfo(const FontSpec& f, int version = 1);

struct TextRecordSpec {
    std::optional<uint16_t> fontId;
    uint16_t height = 240;  // written with fontId
    std::optional<uint32_t> rgba;
    std::optional<int16_t> x, y;
    std::vector<std::pair<uint32_t, int32_t>> glyphs;  // (glyph index, advance)
};
// DefineText (version 1, RGB colours) or DefineText2 (version 2, RGBA).
Bytes defineText(uint16_t id, int version, std::vector<int32_t> bounds, const MatrixSpec& m,
                 const std::vector<TextRecordSpec>& records);

struct EditTextSpec {
    uint16_t id = 1;
    std::vector<int32_t> bounds{0, 2000, 0, 800};  // twips: xmin, xmax, ymin, ymax
    std::optional<uint16_t> fontId;
    uint16_t height = 240;       // twips, written with fontId
    uint32_t rgba = 0x000000FF;  // text colour
    bool wordWrap = false, multiline = false, password = false, readOnly = true, autoSize = false;
    bool noSelect = false, border = false, html = false, useOutlines = false;
    uint8_t align = 0;  // 0 left, 1 right, 2 centre, 3 justify
    uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
    int16_t leading = 0;
    std::string variable;
    std::optional<std::string> text;
};
// DefineEditText body (always with a text colour and a layout).
Bytes defineEditText(const EditTextSpec& f);

// --- Buttons ----------------------------------------------------------------------------------

struct ButtonRecordSpec {
    bool up = true, over = false, down = false, hit = false;
    uint16_t characterId = 1;
    uint16_t depth = 1;
    MatrixSpec matrix;
    CxSpec cxform;  // DefineButton2 only
};
Bytes defineButton1(uint16_t id, const std::vector<ButtonRecordSpec>& records, const Bytes& actions);
// conditions as stored (bit 3 = OverDownToOverUp, bits 9..15 key code).
Bytes defineButton2(uint16_t id, bool trackAsMenu, const std::vector<ButtonRecordSpec>& records,
                    const std::vector<std::pair<uint16_t, Bytes>>& condActions);
Bytes defineButtonCxform(uint16_t buttonId, const CxSpec& cx);

}  // namespace testswf
