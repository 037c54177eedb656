// The movie as a whole: header, tag stream framing, errors with tag code and offset, sprites, limits.
#include <gtest/gtest.h>

#include <cstring>

#include "parse_helpers.h"
#include "support/swf_lzma.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

using namespace testswf;
using swftest::parse;

namespace {

// Offset of the first tag in an uncompressed movie built with the given header.
size_t firstTagOffset(const Header& h) {
    SwfBuilder b(h);
    return b.build().size();  // no tags: header, rectangle, rate and count only
}

}  // namespace

TEST(Movie, HeaderFieldsForEveryCompression) {
    Header h;
    h.version = 9;
    h.xmin = 0;
    h.xmax = 640 * 20;
    h.ymin = -20;
    h.ymax = 480 * 20;
    h.frameRate88 = 0x1DF8;  // 29.96875
    h.frameCount = 321;
    SwfBuilder b(h);
    b.backgroundColor(0xFFFFFF).showFrame().end();
    struct Case {
        const char* name;
        Bytes file;
        swf::Signature sig;
    } cases[] = {{"FWS", b.build(Compression::None), swf::Signature::Uncompressed},
                 {"CWS", b.build(Compression::Zlib), swf::Signature::Zlib},
                 {"ZWS", b.build(Compression::Lzma), swf::Signature::Lzma}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = parse(c.file);
        EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
        EXPECT_EQ(m.fileHeader.signature, c.sig);
        EXPECT_EQ(m.version, 9);
        EXPECT_EQ(m.frameSize, (swf::Rect{0, 12800, -20, 9600}));
        EXPECT_EQ(m.frameRate88, 0x1DF8);
        EXPECT_DOUBLE_EQ(m.frameRate, 29.96875);
        EXPECT_EQ(m.frameCount, 321);
        ASSERT_EQ(m.tags.size(), 3u);
        EXPECT_EQ(m.tags[0].offset, firstTagOffset(h));
        EXPECT_FALSE(m.endedEarly);
    }
}

TEST(Movie, ShortAndLongTagHeadersFrameTheSameTags) {
    Bytes body62(62, 0xAB), body63(63, 0xCD);
    SwfBuilder b;
    b.tag(9, ByteWriter().rgb(0x102030).bytes(), true)  // forced long header for a short body
        .tag(1000, body62)                              // short header, the largest short length
        .tag(87, body63)                                // needs the long header
        .tag(1023, {})                                  // highest tag code, empty
        .end();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    ASSERT_EQ(m.tags.size(), 5u);
    EXPECT_EQ(std::get<swf::SetBackgroundColor>(m.tags[0].body).color.g, 0x20);
    EXPECT_EQ(m.tags[0].length, 3u);
    struct Expect {
        uint16_t code;
        Bytes data;
    } raws[] = {{1000, body62}, {87, body63}, {1023, {}}};
    uint32_t offset = m.tags[0].offset + 6 + 3;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& t = m.tags[1 + i];
        EXPECT_EQ(t.code, raws[i].code);
        EXPECT_EQ(t.offset, offset);
        EXPECT_EQ(std::get<swf::RawTag>(t.body).data, raws[i].data);
        offset += (raws[i].data.size() >= 63 ? 6 : 2) + uint32_t(raws[i].data.size());
    }
}

TEST(Movie, BadTagsAreReportedWithCodeAndOffsetAndParsingGoesOn) {
    // PlaceObject2 that promises a matrix but ends after the depth.
    Bytes badPlace = ByteWriter().u8(0x04).u16(1).bytes();
    // DefineShape with an unknown fill style type.
    Bytes badShape = ByteWriter().u16(1).rect(0, 10, 0, 10).u8(1).u8(0x77).bytes();
    SwfBuilder b;
    b.backgroundColor(0).tag(26, badPlace).tag(2, badShape).showFrame().end();
    auto m = parse(b.build());
    ASSERT_EQ(m.errors.size(), 2u) << swftest::errorsOf(m);
    ASSERT_EQ(m.tags.size(), 5u);
    // Errors point at the byte where decoding failed, inside the tag.
    EXPECT_EQ(m.errors[0].tagCode, 26);
    EXPECT_EQ(m.errors[0].offset, m.tags[1].offset + 2 + 3);
    EXPECT_NE(m.errors[0].message.find("PlaceObject2"), std::string::npos);
    EXPECT_EQ(m.errors[1].tagCode, 2);
    EXPECT_EQ(m.errors[1].offset, m.tags[2].offset + 2 + 2 + 4 + 1);  // header, id, rectangle, count
    EXPECT_NE(m.errors[1].message.find("fill style"), std::string::npos) << m.errors[1].message;
    // The bad tags are kept raw; the tags after them are parsed.
    EXPECT_EQ(std::get<swf::RawTag>(m.tags[1].body).data, badPlace);
    EXPECT_EQ(std::get<swf::RawTag>(m.tags[2].body).data, badShape);
    EXPECT_TRUE(std::holds_alternative<swf::ShowFrame>(m.tags[3].body));
    EXPECT_TRUE(std::holds_alternative<swf::End>(m.tags[4].body));
}

TEST(Movie, CutShortStreamsStopWithAnError) {
    SwfBuilder b;
    b.backgroundColor(0x123456).showFrame();
    Bytes ok = b.build();
    struct Case {
        const char* name;
        Bytes tail;
        int code;
    } cases[] = {
        {"length past the end", ByteWriter().u16(uint16_t(26 << 6 | 10)).u8(0x02).u16(1).bytes(), 26},
        {"long length past the end",
         ByteWriter().u16(uint16_t(2 << 6 | 0x3F)).u32(0xFFFFFFF0u).u16(0).bytes(), 2},
        {"long header cut", ByteWriter().u16(uint16_t(2 << 6 | 0x3F)).u8(1).bytes(), 2},
        {"one stray byte", {0x40}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = ok;
        file.insert(file.end(), c.tail.begin(), c.tail.end());
        uint32_t len = uint32_t(file.size());
        std::memcpy(&file[4], &len, 4);
        auto m = parse(file);
        EXPECT_TRUE(m.endedEarly);
        ASSERT_EQ(m.errors.size(), 1u) << swftest::errorsOf(m);
        EXPECT_EQ(m.errors[0].tagCode, c.code);
        EXPECT_EQ(m.errors[0].offset, int64_t(ok.size()));
        ASSERT_EQ(m.tags.size(), 2u);  // the complete tags before the cut
    }
}

TEST(Movie, CompressedMovieCutShortKeepsWhatArrived) {
    SwfBuilder b;
    ShapeBuilder s;
    s.fill0(s.fillSolid(0xFF0000FF)).rect(0, 0, 100, 100);
    b.tag(32, s.defineShape(1, 3));
    for (int i = 0; i < 2000; ++i) {
        // Varied enough that the compressed stream grows steadily with the movie.
        PlaceSpec p;
        p.depth = uint16_t(i * 7919 % 65521);
        p.matrix = MatrixSpec{1, 1, 0, 0, int32_t(i * 31 % 997), int32_t(i * 17 % 1009)};
        b.tag(26, placeObject(p, 2)).showFrame();
    }
    b.end();
    for (Compression c : {Compression::Zlib, Compression::Lzma}) {
        Bytes file = b.build(c);
        SCOPED_TRACE(c == Compression::Zlib ? "CWS" : "ZWS");
        file.resize(file.size() * 2 / 3);
        auto m = parse(file);
        EXPECT_TRUE(m.endedEarly);
        EXPECT_FALSE(m.errors.empty());
        ASSERT_GT(m.tags.size(), 100u);
        EXPECT_TRUE(std::holds_alternative<swf::DefineShape>(m.tags[0].body));
    }
}

TEST(Movie, HeadersThatCannotBeAMovieFail) {
    Header h;
    SwfBuilder b(h);
    Bytes full = b.build();
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"no frame header", Bytes(full.begin(), full.begin() + 9)},
        {"rectangle wider than the file", Bytes(full.begin(), full.begin() + 12)},
        {"not a movie", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.file.size() >= 8 && c.file[0] == 'F') {
            uint32_t len = uint32_t(c.file.size());
            std::memcpy(&c.file[4], &len, 4);
        }
        auto m = swf::parseMovie(c.file);
        ASSERT_FALSE(m.ok());
        EXPECT_FALSE(m.error().message.empty());
    }
    // Larger than the caller's limit.
    swf::ParseOptions small;
    small.maxMovieBytes = 16;
    EXPECT_FALSE(swf::parseMovie(full, small).ok());
}

TEST(Movie, NestedSpriteTimelinesAndTheInvalidSpriteInASprite) {
    SwfBuilder inner;
    inner.showFrame().end();
    SwfBuilder timeline;
    PlaceSpec p;
    p.characterId = 1;
    p.depth = 3;
    timeline.tag(26, placeObject(p, 2))
        .tag(43, frameLabel("spin"))
        .showFrame()
        .tag(39, defineSprite(99, 1, inner))  // invalid here
        .tag(28, removeObject2(3))
        .showFrame()
        .end();
    SwfBuilder b;
    b.tag(39, defineSprite(2, 2, timeline)).showFrame().end();
    Bytes file = b.build();
    auto m = parse(file);
    ASSERT_EQ(m.tags.size(), 3u);
    auto& sprite = std::get<swf::DefineSprite>(m.tags[0].body);
    EXPECT_EQ(sprite.id, 2);
    EXPECT_EQ(sprite.frameCount, 2);
    ASSERT_EQ(sprite.tags.size(), 7u);
    EXPECT_EQ(std::get<swf::PlaceObject>(sprite.tags[0].body).depth, 3);
    EXPECT_EQ(std::get<swf::FrameLabel>(sprite.tags[1].body).name, "spin");
    EXPECT_TRUE(std::holds_alternative<swf::RawTag>(sprite.tags[3].body));
    EXPECT_EQ(sprite.tags[3].code, 39);
    EXPECT_EQ(std::get<swf::RemoveObject>(sprite.tags[4].body).depth, 3);
    EXPECT_TRUE(std::holds_alternative<swf::End>(sprite.tags[6].body));
    // Offsets inside the sprite are movie offsets: the inner tag's header bytes are where it says.
    const auto& t = sprite.tags[4];
    EXPECT_EQ(file[t.offset], uint8_t(28 << 6 | 2));
    EXPECT_EQ(file[t.offset + 1], uint8_t(28 >> 2));
    ASSERT_EQ(m.errors.size(), 1u);
    EXPECT_EQ(m.errors[0].tagCode, 39);
    EXPECT_EQ(m.errors[0].offset, sprite.tags[3].offset + 2);
    EXPECT_NE(m.errors[0].message.find("inside DefineSprite"), std::string::npos);
    // The main timeline goes on after the sprite.
    EXPECT_TRUE(std::holds_alternative<swf::ShowFrame>(m.tags[1].body));
}

TEST(Movie, EndTagEndsTheStreamAndItsAbsenceIsFine) {
    SwfBuilder b;
    b.showFrame().end().backgroundColor(0xFF0000).showFrame();
    auto m = parse(b.build());
    EXPECT_TRUE(m.errors.empty());
    EXPECT_EQ(m.tags.size(), 2u);

    SwfBuilder noEnd;
    noEnd.showFrame().showFrame();
    auto m2 = parse(noEnd.build());
    EXPECT_TRUE(m2.errors.empty());
    EXPECT_FALSE(m2.endedEarly);
    EXPECT_EQ(m2.tags.size(), 2u);
}

TEST(Movie, ParsedRecordAllowanceStopsHugeMoviesCleanly) {
    ShapeBuilder s;
    s.fill0(s.fillSolid(0xFF)).moveTo(0, 0);
    for (int i = 0; i < 5000; ++i)
        s.lineTo(i % 2 ? 0 : 100, i);
    SwfBuilder b;
    b.tag(32, s.defineShape(1, 3)).showFrame().showFrame().end();
    swf::ParseOptions o;
    o.maxParsedBytes = 1000 * sizeof(swf::ShapeRecord);
    auto m = swf::parseMovie(b.build(), o);
    ASSERT_TRUE(m.ok());
    ASSERT_FALSE(m->errors.empty());
    EXPECT_EQ(m->errors[0].tagCode, 32);
    EXPECT_NE(m->errors[0].message.find("more records"), std::string::npos) << m->errors[0].message;
    ASSERT_FALSE(m->tags.empty());
    EXPECT_TRUE(std::holds_alternative<swf::RawTag>(m->tags[0].body));
    // With the default allowance the same movie parses.
    auto full = parse(b.build());
    EXPECT_TRUE(full.errors.empty());

    // Tags are charged at their size too: two-byte ShowFrames cannot become gigabytes of records.
    SwfBuilder frames;
    for (int i = 0; i < 10000; ++i)
        frames.showFrame();
    swf::ParseOptions small;
    small.maxParsedBytes = 100 * sizeof(swf::Tag);
    auto f = swf::parseMovie(frames.build(), small);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f->tags.size(), 100u);
    ASSERT_EQ(f->errors.size(), 1u);
    EXPECT_NE(f->errors[0].message.find("remaining tags are not parsed"), std::string::npos);
}

TEST(Movie, ErrorsListIsBounded) {
    // Thousands of broken tags give a bounded list of errors, the last saying that more were left out.
    SwfBuilder b;
    for (int i = 0; i < 3000; ++i)
        b.tag(26, {0x04});
    b.end();
    auto m = parse(b.build());
    EXPECT_EQ(m.errors.size(), 1001u);
    EXPECT_NE(m.errors.back().message.find("more errors"), std::string::npos);
    EXPECT_EQ(m.tags.size(), 3001u);
}

TEST(Movie, HostileCountsAndOffsetsGiveErrorsNotCrashes) {
    struct Case {
        const char* name;
        uint16_t code;
        Bytes body;
    } cases[] = {
        {"DefineText glyph bits above 32", 11,
         ByteWriter()
             .u16(1)
             .rect(0, 10, 0, 10)
             .matrix()
             .u8(40)
             .u8(8)
             .u8(0x80)
             .u8(1)
             .raw({0xFF, 0xFF})
             .bytes()},
        {"DefineButton2 action offset beyond the tag", 34,
         ByteWriter().u16(1).u8(0).u16(0xFFF0).u8(0).bytes()},
        {"clip action larger than the tag", 26,
         ByteWriter().u8(0x82).u16(1).u16(2).u16(0).u32(1).u32(1).u32(0x7FFFFFFF).u8(0).bytes()},
        {"scene count in the billions", 86, ByteWriter().raw(encodedU32(0x0FFFFFFF)).u8(0).u8('a').bytes()},
        {"export count 65535", 56, ByteWriter().u16(0xFFFF).u16(1).str("a").bytes()},
        {"DefineFont2 with 65535 glyphs", 48,
         ByteWriter().u16(1).u8(0).u8(0).u8(0).u16(0xFFFF).u16(4).bytes()},
        {"DefineFont offset table odd and huge", 10, ByteWriter().u16(1).u16(0xFFFF).u16(2).bytes()},
        {"filter list cut", 70, ByteWriter().u8(0).u8(0x01).u16(1).u8(3).u8(1).bytes()},
        {"convolution filter larger than the tag", 70,
         ByteWriter().u8(0).u8(0x01).u16(1).u8(1).u8(5).u8(255).u8(255).bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = parse(swftest::oneTag(c.code, c.body, 8));
        ASSERT_FALSE(m.errors.empty());
        EXPECT_EQ(m.errors[0].tagCode, c.code);
        EXPECT_GE(m.errors[0].offset, int64_t(m.tags.at(0).offset));
        EXPECT_LE(m.errors[0].offset, int64_t(m.tags[0].offset + 6 + c.body.size()));
        EXPECT_EQ(std::get<swf::RawTag>(m.tags[0].body).data, c.body);
        ASSERT_EQ(m.tags.size(), 3u);  // the ShowFrame and End after it are parsed
    }
}

TEST(Movie, SpritesNestedThreeDeepKeepOnlyTheFirstLevel) {
    SwfBuilder l3;
    l3.showFrame().end();
    SwfBuilder l2;
    l2.tag(39, defineSprite(3, 1, l3)).showFrame().end();
    SwfBuilder l1;
    l1.tag(39, defineSprite(2, 1, l2)).showFrame().end();
    SwfBuilder b;
    b.tag(39, defineSprite(1, 1, l1)).showFrame().end();
    auto m = parse(b.build());
    auto& s1 = std::get<swf::DefineSprite>(m.tags.at(0).body);
    ASSERT_EQ(s1.tags.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<swf::RawTag>(s1.tags[0].body));
    EXPECT_EQ(m.errors.size(), 1u);
}

TEST(Movie, HugeClaimedLengthWithSmallBody) {
    Header h;
    h.overrideLength = true;
    h.length = 0xFFFFFFFFu;
    SwfBuilder b(h);
    b.backgroundColor(0xABCDEF).showFrame().end();
    for (Compression c : {Compression::None, Compression::Zlib, Compression::Lzma}) {
        auto m = parse(b.build(c));
        EXPECT_TRUE(m.endedEarly);
        ASSERT_EQ(m.tags.size(), 3u);
        EXPECT_EQ(std::get<swf::SetBackgroundColor>(m.tags[0].body).color.b, 0xEF);
    }
}
