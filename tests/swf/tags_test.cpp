// Tag families other than shapes, each from real bytes written by the test builders.
#include <gtest/gtest.h>

#include "parse_helpers.h"
#include "support/swf_tags.h"

using namespace testswf;
using swftest::oneTag;
using swftest::only;
using swftest::parse;

TEST(ControlTags, LabelsScenesAttributesMetadataExports) {
    SwfBuilder b;
    b.backgroundColor(0x336699)
        .tag(69, fileAttributes(0x08 | 0x10 | 0x01))
        .tag(77, ByteWriter().str("<rdf/>").bytes())
        .tag(86, sceneAndFrameLabelData({{0, "Scene 1"}, {300, "Zwei"}}, {{0, "start"}, {1000, "far"}}))
        .tag(43, frameLabel("intro"))
        .tag(43, frameLabel("#anchor", true))
        .tag(56, exportAssets({{3, "Ball"}, {65535, "Last"}}))
        .showFrame()
        .end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    ASSERT_EQ(m.tags.size(), 9u);
    EXPECT_EQ(std::get<swf::SetBackgroundColor>(m.tags[0].body).color, (swf::RGBA{0x33, 0x66, 0x99, 255}));
    auto& fa = std::get<swf::FileAttributes>(m.tags[1].body);
    EXPECT_TRUE(fa.actionScript3());
    EXPECT_TRUE(fa.hasMetadata());
    EXPECT_TRUE(fa.useNetwork());
    EXPECT_FALSE(fa.useGPU());
    EXPECT_EQ(std::get<swf::Metadata>(m.tags[2].body).xml, "<rdf/>");
    auto& sc = std::get<swf::DefineSceneAndFrameLabelData>(m.tags[3].body);
    ASSERT_EQ(sc.scenes.size(), 2u);
    EXPECT_EQ(sc.scenes[1].frameOffset, 300u);  // two-byte EncodedU32
    EXPECT_EQ(sc.scenes[1].name, "Zwei");
    ASSERT_EQ(sc.labels.size(), 2u);
    EXPECT_EQ(sc.labels[1].frame, 1000u);
    EXPECT_EQ(sc.labels[1].name, "far");
    auto& l1 = std::get<swf::FrameLabel>(m.tags[4].body);
    EXPECT_EQ(l1.name, "intro");
    EXPECT_FALSE(l1.anchor);
    auto& l2 = std::get<swf::FrameLabel>(m.tags[5].body);
    EXPECT_EQ(l2.name, "#anchor");
    EXPECT_TRUE(l2.anchor);
    auto& ex = std::get<swf::ExportAssets>(m.tags[6].body);
    ASSERT_EQ(ex.assets.size(), 2u);
    EXPECT_EQ(ex.assets[1].characterId, 65535);
    EXPECT_EQ(ex.assets[1].name, "Last");
    EXPECT_TRUE(std::holds_alternative<swf::ShowFrame>(m.tags[7].body));
    EXPECT_TRUE(std::holds_alternative<swf::End>(m.tags[8].body));
}

TEST(ControlTags, DoActionAndDoInitActionKeepBytesAndRecords) {
    ActionWriter a;
    a.push({Push::str("x"), Push::i32(3)}).op(0x1D).stop();
    SwfBuilder b;
    b.tag(12, a.withEnd()).tag(59, doInitAction(5, a.withEnd())).end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto& d = std::get<swf::DoAction>(m.tags[0].body);
    EXPECT_EQ(d.actions, a.withEnd());
    ASSERT_EQ(d.records.size(), 3u);
    EXPECT_EQ(d.records[0].opcode, swf::op::Push);
    EXPECT_EQ(d.records[1].opcode, swf::op::SetVariable);
    EXPECT_EQ(d.records[2].opcode, swf::op::Stop);
    auto& i = std::get<swf::DoInitAction>(m.tags[1].body);
    EXPECT_EQ(i.spriteId, 5);
    EXPECT_EQ(i.actions, a.withEnd());
    EXPECT_EQ(i.records.size(), 3u);
}

TEST(ControlTags, BrokenActionsKeepTheTagAndReportWhere) {
    // Push claims 10 operand bytes, 2 remain: the records before it survive, the error names the offset.
    Bytes actions = ActionWriter().play().bytes();
    actions.insert(actions.end(), {0x96, 10, 0, 0, 'a'});
    auto m = parse(oneTag(12, actions));
    auto* d = only<swf::DoAction>(m);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->records.size(), 1u);
    ASSERT_EQ(m.errors.size(), 1u);
    EXPECT_EQ(m.errors[0].tagCode, 12);
    // Tag body starts after the 21-byte movie header and the 2-byte tag header; the Push is its byte 1.
    EXPECT_EQ(m.errors[0].offset, m.tags[0].offset + 2 + 1);
}

TEST(BitmapTags, IdsFormatsAndDataSplit) {
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 0xFF, 0xD9};
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 9, 9};
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0};
    Bytes alpha = zlibCompress(Bytes(16, 0x80));
    SwfBuilder b;
    b.tag(8, jpeg)
        .tag(6, ByteWriter().u16(1).raw(jpeg).bytes())
        .tag(21, defineBitsJPEG2(2, png))
        .tag(35, defineBitsJPEG3(3, jpeg, alpha))
        .tag(90, defineBitsJPEG4(4, gif, alpha, 0x0180))
        .tag(20, defineBitsLossless(5, 3, 2, 2, Bytes(3 * 4 + 8, 7), 4))
        .tag(36, defineBitsLossless(6, 5, 3, 1, Bytes(12, 0xAA)))
        .end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    EXPECT_EQ(std::get<swf::JPEGTables>(m.tags[0].body).data, jpeg);
    auto& db = std::get<swf::DefineBits>(m.tags[1].body);
    EXPECT_EQ(db.id, 1);
    EXPECT_EQ(db.jpegData, jpeg);
    auto& j2 = std::get<swf::DefineBitsJPEG>(m.tags[2].body);
    EXPECT_EQ(j2.version, 2);
    EXPECT_EQ(j2.format, swf::ImageFormat::Png);
    EXPECT_EQ(j2.imageData, png);
    EXPECT_TRUE(j2.alphaData.empty());
    auto& j3 = std::get<swf::DefineBitsJPEG>(m.tags[3].body);
    EXPECT_EQ(j3.id, 3);
    EXPECT_EQ(j3.format, swf::ImageFormat::Jpeg);
    EXPECT_EQ(j3.imageData, jpeg);
    EXPECT_EQ(j3.alphaData, alpha);
    EXPECT_FALSE(j3.deblocking);
    auto& j4 = std::get<swf::DefineBitsJPEG>(m.tags[4].body);
    EXPECT_EQ(j4.format, swf::ImageFormat::Gif);
    EXPECT_EQ(j4.deblocking, 0x0180);
    EXPECT_EQ(j4.imageData, gif);
    EXPECT_EQ(j4.alphaData, alpha);
    auto& l1 = std::get<swf::DefineBitsLossless>(m.tags[5].body);
    EXPECT_EQ(l1.version, 1);
    EXPECT_EQ(l1.format, 3);
    EXPECT_EQ(l1.width, 2);
    EXPECT_EQ(l1.height, 2);
    EXPECT_EQ(l1.colorTableSize, 4);
    EXPECT_EQ(l1.zlibData, zlibCompress(Bytes(3 * 4 + 8, 7)));
    auto& l2 = std::get<swf::DefineBitsLossless>(m.tags[6].body);
    EXPECT_EQ(l2.version, 2);
    EXPECT_EQ(l2.format, 5);
    EXPECT_EQ(l2.colorTableSize, 0);
}

TEST(BitmapTags, BadFieldsAreErrorsNotGuesses) {
    struct Case {
        const char* name;
        uint16_t code;
        Bytes body;
    } cases[] = {
        {"JPEG3 alpha offset beyond tag", 35, ByteWriter().u16(1).u32(100).raw({0xFF, 0xD8}).bytes()},
        {"lossless format 7", 20, ByteWriter().u16(1).u8(7).u16(1).u16(1).raw({1, 2}).bytes()},
        {"lossless cut before size", 36, ByteWriter().u16(1).u8(5).u8(1).bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = parse(oneTag(c.code, c.body));
        ASSERT_EQ(m.errors.size(), 1u);
        EXPECT_EQ(m.errors[0].tagCode, c.code);
        EXPECT_EQ(std::get<swf::RawTag>(m.tags[0].body).data, c.body);
        // The rest of the movie is still there.
        EXPECT_TRUE(std::holds_alternative<swf::ShowFrame>(m.tags[1].body));
    }
}

TEST(DisplayListTags, PlaceObject1And2AllFields) {
    PlaceSpec p;
    p.move = true;
    p.depth = 17;
    p.characterId = 3;
    p.matrix = MatrixSpec{2, 0.5, 0, 0, -40, 60};
    CxSpec cx;
    cx.mul[0] = 128;
    cx.add[3] = -255;
    p.cxform = cx;
    p.ratio = 65535;
    p.name = "ball_mc";
    p.clipDepth = 20;
    SwfBuilder b;
    b.tag(4, placeObject1(9, 2, MatrixSpec{1, 1, 0, 0, 20, 20}, cx))
        .tag(26, placeObject(p, 2))
        .tag(26, placeObject(PlaceSpec{}, 2))
        .tag(5, removeObject(9, 2))
        .tag(28, removeObject2(17))
        .end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto& p1 = std::get<swf::PlaceObject>(m.tags[0].body);
    EXPECT_EQ(p1.version, 1);
    EXPECT_EQ(p1.characterId, 9);
    EXPECT_EQ(p1.depth, 2);
    EXPECT_EQ(p1.matrix->translateX, 20);
    ASSERT_TRUE(p1.cxform);
    EXPECT_EQ(p1.cxform->mult[0], 128);
    EXPECT_EQ(p1.cxform->add[3], 0);  // PlaceObject's CXFORM has no alpha terms

    auto& p2 = std::get<swf::PlaceObject>(m.tags[1].body);
    EXPECT_EQ(p2.version, 2);
    EXPECT_TRUE(p2.move);
    EXPECT_EQ(p2.depth, 17);
    EXPECT_EQ(p2.characterId, 3);
    EXPECT_EQ(p2.matrix->scaleX, 2 << 16);
    EXPECT_EQ(p2.matrix->scaleY, 1 << 15);
    EXPECT_EQ(p2.matrix->translateY, 60);
    EXPECT_EQ(p2.cxform->mult[0], 128);
    EXPECT_EQ(p2.cxform->add[3], -255);
    EXPECT_EQ(p2.ratio, 65535);
    EXPECT_EQ(p2.name, "ball_mc");
    EXPECT_EQ(p2.clipDepth, 20);
    EXPECT_FALSE(p2.clipActions);

    auto& bare = std::get<swf::PlaceObject>(m.tags[2].body);
    EXPECT_FALSE(bare.move);
    EXPECT_FALSE(bare.characterId || bare.matrix || bare.cxform || bare.ratio || bare.name || bare.clipDepth);

    auto& r1 = std::get<swf::RemoveObject>(m.tags[3].body);
    EXPECT_EQ(r1.characterId, 9);
    EXPECT_EQ(r1.depth, 2);
    auto& r2 = std::get<swf::RemoveObject>(m.tags[4].body);
    EXPECT_EQ(r2.version, 2);
    EXPECT_FALSE(r2.characterId);
    EXPECT_EQ(r2.depth, 17);
}

TEST(DisplayListTags, PlaceObject3FiltersBlendVisibilityBackground) {
    PlaceSpec p;
    p.depth = 2;
    p.characterId = 1;
    p.className = "flash.display.Sprite";
    p.filters = std::vector<std::pair<uint8_t, Bytes>>{{1, blurFilter(4, 8, 2)},
                                                       {0, dropShadowFilter(0x000000FF, 4, 4, 0.78, 5)}};
    p.blendMode = 3;  // multiply
    p.cacheAsBitmap = true;
    p.visible = false;
    p.backgroundRgba = 0x11223344;
    p.name = "inst";
    auto m = parse(oneTag(70, placeObject(p, 3)));
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto* d = only<swf::PlaceObject>(m);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->version, 3);
    EXPECT_EQ(d->className, "flash.display.Sprite");
    EXPECT_EQ(d->characterId, 1);
    EXPECT_EQ(d->name, "inst");
    ASSERT_TRUE(d->filters);
    ASSERT_EQ(d->filters->size(), 2u);
    EXPECT_EQ((*d->filters)[0].type, 1);
    EXPECT_EQ((*d->filters)[0].data, blurFilter(4, 8, 2));
    EXPECT_EQ((*d->filters)[1].type, 0);
    EXPECT_EQ((*d->filters)[1].data.size(), 23u);
    EXPECT_EQ(d->filtersRaw.size(), 1 + 1 + 9 + 1 + 23u);
    EXPECT_EQ(d->blendMode, 3);
    EXPECT_EQ(d->cacheAsBitmap, true);
    EXPECT_EQ(d->visible, false);
    EXPECT_EQ(d->backgroundColor, (swf::RGBA{0x11, 0x22, 0x33, 0x44}));
}

TEST(DisplayListTags, ClipActionsBySwfVersion) {
    Bytes onLoad = ActionWriter().play().withEnd();
    Bytes onKey = ActionWriter().stop().withEnd();
    struct Case {
        uint8_t swfVersion;
        std::vector<ClipActionSpec> clips;
        size_t records;
    } cases[] = {
        {5, {{0x0001, std::nullopt, onLoad}, {0x0002, std::nullopt, onKey}}, 2},     // 16-bit events
        {6, {{0x0001, std::nullopt, onLoad}, {0x00020000, uint8_t(13), onKey}}, 2},  // key press code
        {8, {{0x00000400 | 0x0001, std::nullopt, onLoad}}, 1},                       // release + load
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.swfVersion));
        PlaceSpec p;
        p.characterId = 2;
        p.clipActions = c.clips;
        Bytes body = placeObject(p, 2, c.swfVersion);
        auto m = parse(oneTag(26, body, c.swfVersion));
        EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
        auto* d = only<swf::PlaceObject>(m);
        ASSERT_TRUE(d && d->clipActions);
        ASSERT_EQ(d->clipActions->records.size(), c.records);
        for (size_t i = 0; i < c.records; ++i) {
            EXPECT_EQ(d->clipActions->records[i].events, c.clips[i].events);
            EXPECT_EQ(d->clipActions->records[i].keyCode, c.clips[i].keyCode);
            EXPECT_EQ(d->clipActions->records[i].actions, c.clips[i].actions);
        }
        // The raw bytes are everything after the depth and character id.
        EXPECT_EQ(d->clipActionsRaw, Bytes(body.begin() + 5, body.end()));
    }
}

namespace {

FontSpec twoGlyphFont() {
    FontSpec f;
    f.id = 8;
    f.name = "Vera";
    f.bold = true;
    GlyphSpec a;
    a.shape.fill1(1).rect(0, -700, 500, 0);
    a.code = 'A';
    a.advance = 600;
    a.bounds = {0, 500, -700, 0};
    GlyphSpec b;
    b.shape.fill1(1).moveTo(0, 0).curveTo(300, -900, 600, 0).lineTo(0, 0);
    b.code = 0x20AC;  // euro sign: needs wide codes
    b.advance = 650;
    b.bounds = {0, 600, -900, 0};
    f.glyphs = {a, b};
    f.layout = true;
    f.ascent = 900;
    f.descent = 200;
    f.leading = -20;
    f.kerning = {{'A', 0x20AC, -40}};
    return f;
}

}  // namespace

TEST(FontTags, DefineFont123AndFontInfo) {
    FontSpec f = twoGlyphFont();
    FontSpec wide = f;
    wide.wideOffsets = true;
    // DefineFont3 with the wide-codes flag clear stores one-byte codes and kerning pairs (movies written
    // by the authoring tool do this).
    FontSpec narrowCodes = f;
    narrowCodes.wideCodes = false;
    narrowCodes.glyphs[1].code = 0xE9;
    std::get<1>(narrowCodes.kerning[0]) = 0xE9;
    SwfBuilder b;
    b.tag(10, defineFont1(f))
        .tag(13, defineFontInfo(f, 1))
        .tag(62, defineFontInfo(f, 2))
        .tag(48, defineFont2(f, 2))
        .tag(75, defineFont2(wide, 3))
        .tag(75, defineFont2(narrowCodes, 3))
        .end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto& f1 = std::get<swf::DefineFont>(m.tags[0].body);
    EXPECT_EQ(f1.version, 1);
    EXPECT_EQ(f1.id, 8);
    ASSERT_EQ(f1.glyphs.size(), 2u);
    EXPECT_EQ(f1.glyphs[0].records.size(), 5u);  // one style change (fill and move), four edges
    EXPECT_TRUE(f1.codeTable.empty());

    for (int i : {1, 2}) {
        auto& info = std::get<swf::DefineFontInfo>(m.tags[i].body);
        EXPECT_EQ(info.version, i);
        EXPECT_EQ(info.fontId, 8);
        EXPECT_EQ(info.name, "Vera");
        EXPECT_TRUE(info.flags & 0x02);  // bold
        EXPECT_EQ(info.codeTable, (std::vector<uint16_t>{'A', 0x20AC}));
    }
    EXPECT_EQ(std::get<swf::DefineFontInfo>(m.tags[2].body).languageCode, 1);

    for (int i : {3, 4, 5}) {
        SCOPED_TRACE(i);
        auto& d = std::get<swf::DefineFont>(m.tags[i].body);
        uint16_t second = i == 5 ? 0xE9 : 0x20AC;
        EXPECT_EQ(d.version, i == 3 ? 2 : 3);
        EXPECT_EQ(d.name, "Vera");
        EXPECT_TRUE(d.bold());
        EXPECT_FALSE(d.italic());
        EXPECT_EQ(d.wideOffsets(), i == 4);
        ASSERT_EQ(d.glyphs.size(), 2u);
        EXPECT_TRUE(std::holds_alternative<swf::CurvedEdge>(d.glyphs[1].records.at(1)));
        EXPECT_EQ(d.codeTable, (std::vector<uint16_t>{'A', second}));
        ASSERT_TRUE(d.layout);
        EXPECT_EQ(d.layout->ascent, 900);
        EXPECT_EQ(d.layout->descent, 200);
        EXPECT_EQ(d.layout->leading, -20);
        EXPECT_EQ(d.layout->advances, (std::vector<int16_t>{600, 650}));
        EXPECT_EQ(d.layout->bounds.at(1), (swf::Rect{0, 600, -900, 0}));
        ASSERT_EQ(d.layout->kerning.size(), 1u);
        EXPECT_EQ(d.layout->kerning[0].code2, second);
        EXPECT_EQ(d.layout->kerning[0].adjustment, -40);
    }
}

TEST(FontTags, BrokenGlyphTablesAreErrors) {
    FontSpec f = twoGlyphFont();
    Bytes good = defineFont2(f, 2);
    // Byte offsets inside the DefineFont2 body: id 2, flags 1, language 1, name length 1 + 4, count 2.
    const size_t table = 2 + 1 + 1 + 1 + 4 + 2;
    struct Case {
        const char* name;
        size_t at;
        uint8_t value;
    } cases[] = {
        {"glyph offset past code table", table + 2, 0xF0},
        {"code table offset beyond tag", table + 4 + 1, 0x7F},
        {"glyph count larger than the table", table - 2, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes body = good;
        body[c.at] = c.value;
        auto m = parse(oneTag(48, body));
        ASSERT_GE(m.errors.size(), 1u);
        EXPECT_EQ(m.errors[0].tagCode, 48);
        EXPECT_TRUE(std::holds_alternative<swf::RawTag>(m.tags[0].body));
    }
}

TEST(FontTags, AlignZones) {
    ByteWriter w;
    w.u16(8).u8(0x40);  // medium
    // glyph 0: two zones, both masks; glyph 1: one zone, X only. FLOAT16 0x3C00 = 0.5, 0x4000 = 1.0.
    w.u8(2).u16(0x3C00).u16(0x4000).u16(0).u16(0xBC00).u8(3);
    w.u8(1).u16(0x4000).u16(0x3C00).u8(1);
    auto m = parse(oneTag(73, w.bytes()));
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto* z = only<swf::DefineFontAlignZones>(m);
    ASSERT_TRUE(z);
    EXPECT_EQ(z->fontId, 8);
    EXPECT_EQ(z->csmTableHint, 1);
    ASSERT_EQ(z->zones.size(), 2u);
    ASSERT_EQ(z->zones[0].data.size(), 2u);
    EXPECT_FLOAT_EQ(z->zones[0].data[0].alignmentCoordinate, 0.5f);
    EXPECT_FLOAT_EQ(z->zones[0].data[0].range, 1.0f);
    EXPECT_FLOAT_EQ(z->zones[0].data[1].range, -0.5f);
    EXPECT_TRUE(z->zones[0].maskX && z->zones[0].maskY);
    EXPECT_TRUE(z->zones[1].maskX);
    EXPECT_FALSE(z->zones[1].maskY);
}

TEST(TextTags, DefineText1And2Records) {
    std::vector<TextRecordSpec> recs(2);
    recs[0].fontId = 8;
    recs[0].height = 480;
    recs[0].rgba = 0xFF000080;
    recs[0].x = -100;
    recs[0].y = 720;
    recs[0].glyphs = {{0, 600}, {1, -650}, {300, 0}};
    recs[1].y = 1200;
    recs[1].glyphs = {{1, 12}};
    for (int v : {1, 2}) {
        SCOPED_TRACE(v);
        auto m = parse(oneTag(v == 1 ? 11 : 33,
                              defineText(3, v, {0, 4000, -100, 1500}, MatrixSpec{1, 1, 0, 0, 5, 0}, recs)));
        EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
        auto* t = only<swf::DefineText>(m);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->version, v);
        EXPECT_EQ(t->id, 3);
        EXPECT_EQ(t->bounds, (swf::Rect{0, 4000, -100, 1500}));
        EXPECT_EQ(t->matrix.translateX, 5);
        ASSERT_EQ(t->records.size(), 2u);
        const auto& r0 = t->records[0];
        EXPECT_EQ(r0.fontId, 8);
        EXPECT_EQ(r0.height, 480);
        EXPECT_EQ(r0.color, (swf::RGBA{0xFF, 0, 0, uint8_t(v == 2 ? 0x80 : 255)}));
        EXPECT_EQ(r0.xOffset, -100);
        EXPECT_EQ(r0.yOffset, 720);
        ASSERT_EQ(r0.glyphs.size(), 3u);
        EXPECT_EQ(r0.glyphs[1].index, 1u);
        EXPECT_EQ(r0.glyphs[1].advance, -650);
        EXPECT_EQ(r0.glyphs[2].index, 300u);
        const auto& r1 = t->records[1];
        EXPECT_FALSE(r1.fontId || r1.color || r1.xOffset || r1.height);
        EXPECT_EQ(r1.yOffset, 1200);
        EXPECT_EQ(r1.glyphs.at(0).advance, 12);
    }
}

TEST(ButtonTags, Button1Button2AndCxform) {
    ButtonRecordSpec up;
    up.characterId = 4;
    up.depth = 1;
    ButtonRecordSpec hit;
    hit.up = false;
    hit.hit = true;
    hit.over = true;
    hit.down = true;
    hit.characterId = 5;
    hit.depth = 2;
    hit.matrix = MatrixSpec{1, 1, 0, 0, 100, 100};
    hit.cxform.add[0] = 50;
    Bytes click = ActionWriter().getURL("FSCommand:quit", "").withEnd();
    Bytes key = ActionWriter().play().withEnd();
    CxSpec dim;
    dim.mul[0] = dim.mul[1] = dim.mul[2] = 128;
    SwfBuilder b;
    b.tag(7, defineButton1(10, {up, hit}, click))
        .tag(34, defineButton2(11, true, {up, hit}, {{0x0008, click}, {uint16_t(13 << 9), key}}))
        .tag(34, defineButton2(12, false, {up}, {}))
        .tag(23, defineButtonCxform(10, dim))
        .end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto& b1 = std::get<swf::DefineButton>(m.tags[0].body);
    EXPECT_EQ(b1.version, 1);
    EXPECT_EQ(b1.id, 10);
    ASSERT_EQ(b1.records.size(), 2u);
    EXPECT_TRUE(b1.records[0].stateUp);
    EXPECT_FALSE(b1.records[0].stateHitTest);
    EXPECT_TRUE(b1.records[1].stateHitTest && b1.records[1].stateOver && b1.records[1].stateDown);
    EXPECT_FALSE(b1.records[1].stateUp);
    EXPECT_EQ(b1.records[1].matrix.translateX, 100);
    EXPECT_FALSE(b1.records[1].cxform);
    ASSERT_EQ(b1.actions.size(), 1u);
    EXPECT_TRUE(b1.actions[0].overDownToOverUp());
    EXPECT_EQ(b1.actions[0].actions, click);

    auto& b2 = std::get<swf::DefineButton>(m.tags[1].body);
    EXPECT_EQ(b2.version, 2);
    EXPECT_TRUE(b2.trackAsMenu);
    ASSERT_EQ(b2.records.size(), 2u);
    ASSERT_TRUE(b2.records[1].cxform);
    EXPECT_EQ(b2.records[1].cxform->add[0], 50);
    ASSERT_EQ(b2.actions.size(), 2u);
    EXPECT_TRUE(b2.actions[0].overDownToOverUp());
    EXPECT_EQ(b2.actions[0].actions, click);
    EXPECT_EQ(b2.actions[1].keyCode(), 13);
    EXPECT_EQ(b2.actions[1].actions, key);

    auto& b3 = std::get<swf::DefineButton>(m.tags[2].body);
    EXPECT_EQ(b3.records.size(), 1u);
    EXPECT_TRUE(b3.actions.empty());

    auto& cx = std::get<swf::DefineButtonCxform>(m.tags[3].body);
    EXPECT_EQ(cx.buttonId, 10);
    EXPECT_EQ(cx.cxform.mult[1], 128);
    EXPECT_EQ(cx.cxform.mult[3], 256);
}

TEST(TextTags, DefineEditTextFields) {
    ByteWriter full;
    full.u16(6).rect(0, 2000, 0, 400);
    // HasText, WordWrap, HasTextColor, HasMaxLength, HasFont | HasFontClass, HasLayout, Border, HTML.
    full.u8(0x80 | 0x40 | 0x04 | 0x02 | 0x01).u8(0x80 | 0x20 | 0x08 | 0x02);
    full.u16(8).str("MyFont").u16(240).rgba(0x102030FF).u16(64);
    full.u8(2).u16(10).u16(20).u16(30).s16(-5);
    full.str("_root.score").str("<b>0</b>");
    ByteWriter bare;
    bare.u16(7).rect(0, 100, 0, 100).u8(0).u8(0).str("");
    SwfBuilder b;
    b.tag(37, full.bytes()).tag(37, bare.bytes()).end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto& e = std::get<swf::DefineEditText>(m.tags.at(0).body);
    EXPECT_EQ(e.id, 6);
    EXPECT_EQ(e.bounds, (swf::Rect{0, 2000, 0, 400}));
    EXPECT_TRUE(e.wordWrap());
    EXPECT_FALSE(e.multiline());
    EXPECT_TRUE(e.border());
    EXPECT_TRUE(e.html());
    EXPECT_EQ(e.fontId, 8);
    EXPECT_EQ(e.fontClass, "MyFont");
    EXPECT_EQ(e.fontHeight, 240);
    EXPECT_EQ(e.color, (swf::RGBA{0x10, 0x20, 0x30, 0xFF}));
    EXPECT_EQ(e.maxLength, 64);
    ASSERT_TRUE(e.layout);
    EXPECT_EQ(e.layout->align, 2);
    EXPECT_EQ(e.layout->indent, 30);
    EXPECT_EQ(e.layout->leading, -5);
    EXPECT_EQ(e.variableName, "_root.score");
    EXPECT_EQ(e.initialText, "<b>0</b>");
    auto& e2 = std::get<swf::DefineEditText>(m.tags.at(1).body);
    EXPECT_FALSE(e2.fontId || e2.fontHeight || e2.color || e2.layout || e2.initialText);
    EXPECT_EQ(e2.variableName, "");
}

TEST(MediaTags, SoundsAndVideo) {
    Bytes mp3 = {0x00, 0x00, 0xFF, 0xFB, 0x90, 0x64};
    ByteWriter info;  // sync stop, in point, loops, two envelope points
    info.u8(0x20 | 0x01 | 0x04 | 0x08)
        .u32(4410)
        .u16(3)
        .u8(2)
        .u32(0)
        .u16(0)
        .u16(32768)
        .u32(44100)
        .u16(32768)
        .u16(0);
    SwfBuilder b;
    b.tag(14, ByteWriter().u16(3).u8(0x2F).u32(1152).raw(mp3).bytes())  // MP3, 44 kHz, 16-bit, stereo
        .tag(15, ByteWriter().u16(3).raw(info.bytes()).bytes())
        .tag(89, ByteWriter().str("Ding").u8(0x10).bytes())
        .tag(17, ByteWriter().u16(5).u16(0).u16(3).u8(0).u16(0).u16(3).u8(0x04).u16(7).bytes())
        .tag(45, ByteWriter().u8(0x0E).u8(0x2A).u16(576).s16(-3).bytes())  // MP3 stream, 22 kHz
        .tag(18, ByteWriter().u8(0x02).u8(0x14).u16(1024).bytes())         // ADPCM 11 kHz mono
        .tag(19, mp3)
        .tag(60, ByteWriter().u16(9).u16(120).u16(320).u16(240).u8(0x02 << 1 | 1).u8(4).bytes())
        .tag(61, ByteWriter().u16(9).u16(7).raw({1, 2, 3}).bytes())
        .end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto& ds = std::get<swf::DefineSound>(m.tags.at(0).body);
    EXPECT_EQ(ds.id, 3);
    EXPECT_EQ(ds.format.format, 2);
    EXPECT_EQ(ds.format.sampleRate(), 44100);
    EXPECT_TRUE(ds.format.is16Bit && ds.format.stereo);
    EXPECT_EQ(ds.sampleCount, 1152u);
    EXPECT_EQ(ds.data, mp3);

    auto& ss = std::get<swf::StartSound>(m.tags.at(1).body);
    EXPECT_EQ(ss.soundId, 3);
    EXPECT_TRUE(ss.info.syncStop);
    EXPECT_EQ(ss.info.inPoint, 4410u);
    EXPECT_FALSE(ss.info.outPoint);
    EXPECT_EQ(ss.info.loopCount, 3);
    ASSERT_EQ(ss.info.envelope.size(), 2u);
    EXPECT_EQ(ss.info.envelope[1].pos44, 44100u);
    EXPECT_EQ(ss.info.envelope[1].leftLevel, 32768);
    auto& s2 = std::get<swf::StartSound>(m.tags.at(2).body);
    EXPECT_EQ(s2.className, "Ding");
    EXPECT_TRUE(s2.info.syncNoMultiple);

    auto& bs = std::get<swf::DefineButtonSound>(m.tags.at(3).body);
    EXPECT_EQ(bs.buttonId, 5);
    EXPECT_EQ(bs.sounds[0].soundId, 0);
    EXPECT_EQ(bs.sounds[1].soundId, 3);
    EXPECT_EQ(bs.sounds[3].soundId, 3);
    EXPECT_EQ(bs.sounds[3].info.loopCount, 7);

    auto& h2 = std::get<swf::SoundStreamHead>(m.tags.at(4).body);
    EXPECT_EQ(h2.version, 2);
    EXPECT_EQ(h2.playback.sampleRate(), 44100);
    EXPECT_EQ(h2.stream.format, 2);
    EXPECT_EQ(h2.stream.sampleRate(), 22050);
    EXPECT_TRUE(h2.stream.is16Bit);
    EXPECT_FALSE(h2.stream.stereo);
    EXPECT_EQ(h2.samplesPerBlock, 576);
    EXPECT_EQ(h2.latencySeek, -3);
    auto& h1 = std::get<swf::SoundStreamHead>(m.tags.at(5).body);
    EXPECT_EQ(h1.stream.format, 1);
    EXPECT_EQ(h1.stream.sampleRate(), 11025);
    EXPECT_FALSE(h1.latencySeek);
    EXPECT_EQ(std::get<swf::SoundStreamBlock>(m.tags.at(6).body).data, mp3);

    auto& vs = std::get<swf::DefineVideoStream>(m.tags.at(7).body);
    EXPECT_EQ(vs.id, 9);
    EXPECT_EQ(vs.frameCount, 120);
    EXPECT_EQ(vs.width, 320);
    EXPECT_EQ(vs.height, 240);
    EXPECT_EQ(vs.deblocking, 2);
    EXPECT_TRUE(vs.smoothing);
    EXPECT_EQ(vs.codec, 4);
    auto& vf = std::get<swf::VideoFrame>(m.tags.at(8).body);
    EXPECT_EQ(vf.frame, 7);
    EXPECT_EQ(vf.data, (Bytes{1, 2, 3}));
}
