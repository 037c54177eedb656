// SWF DefineBitsLossless / DefineBitsLossless2: formats 3, 4 and 5, row padding, premultiplied data, and
// broken or hostile zlib data and sizes.
#include <gtest/gtest.h>

#include "bitmap_fixtures.h"
#include "player/bitmap/bitmap_decoder.h"

using namespace bitmaptest;
using player::BitmapResult;
using player::decodeBitmapTag;

namespace {

constexpr uint16_t kLossless = 20, kLossless2 = 36;

// Tag body after the character id: format, width, height, [colour table size], zlib data.
Bytes losslessBody(uint8_t format, int width, int height, int tableSize, const Bytes& zlibData) {
    Bytes b = {format, uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8)};
    if (format == 3) b.push_back(uint8_t(tableSize));
    b.insert(b.end(), zlibData.begin(), zlibData.end());
    return b;
}

std::vector<Argb> argb(const player::Bitmap& bm) {
    std::vector<Argb> out;
    for (auto p : bm.pixels)
        out.push_back(unpack(p));
    return out;
}

void expectPixels(const BitmapResult& r, int w, int h, const std::vector<Argb>& want, bool opaque) {
    ASSERT_TRUE(r.ok()) << r.error().message;
    ASSERT_EQ(r.value().width, w);
    ASSERT_EQ(r.value().height, h);
    const auto got = argb(r.value());
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].a, want[i].a) << "pixel " << i;
        EXPECT_EQ(got[i].r, want[i].r) << "pixel " << i;
        EXPECT_EQ(got[i].g, want[i].g) << "pixel " << i;
        EXPECT_EQ(got[i].b, want[i].b) << "pixel " << i;
    }
    EXPECT_EQ(r.value().opaque, opaque);
}

}  // namespace

// Format 3, width 3: each row of indices is padded to 4 bytes. The padding byte holds an index that would
// show as a wrong colour if rows were read unpadded.
TEST(BitmapLossless, ColourMappedRowsArePaddedTo32Bits) {
    const Bytes raw = {
        10, 20, 30, 40, 50, 60, 70, 80, 90,  // table: 3 RGB entries (size field 2)
        0,  1,  2,  1,                       // row 0 + padding
        2,  2,  0,  1,                       // row 1 + padding
    };
    auto r = decodeBitmapTag(kLossless, losslessBody(3, 3, 2, 2, zlib(raw)));
    expectPixels(r, 3, 2,
                 {{255, 10, 20, 30},
                  {255, 40, 50, 60},
                  {255, 70, 80, 90},
                  {255, 70, 80, 90},
                  {255, 70, 80, 90},
                  {255, 10, 20, 30}},
                 true);
}

// Lossless2 colour tables are RGBA with the colour premultiplied, like its 32-bit pixels: taken as they
// are, not multiplied again. A colour above its alpha is clamped to it.
TEST(BitmapLossless, Lossless2ColourTableIsPremultipliedRgba) {
    const Bytes raw = {
        100, 50, 20, 128,     // half transparent, premultiplied already
        0,   0,  0,  0,       // fully transparent
        200, 90, 10, 100,     // red above alpha: invalid, clamped
        0,   1,  2,  3,   0,  // width 5: indices, last one past the table -> transparent
        0,   0,  0,           // padding to 8 bytes
    };
    auto r = decodeBitmapTag(kLossless2, losslessBody(3, 5, 1, 2, zlib(raw)));
    expectPixels(r, 5, 1,
                 {{128, 100, 50, 20}, {0, 0, 0, 0}, {100, 100, 90, 10}, {0, 0, 0, 0}, {128, 100, 50, 20}},
                 false);
}

// Format 4 (PIX15), width 3: six bytes of pixels per row padded to eight; big-endian X RRRRR GGGGG BBBBB,
// the X bit ignored, full-scale channels widened to 255.
TEST(BitmapLossless, Rgb15BigEndianWithPaddedRows) {
    const Bytes raw = {
        0x7C, 0x00, 0x03, 0xE0, 0x80, 0x1F, 0xAA, 0xAA,  // red, green, blue with X set, padding
        0x7F, 0xFF, 0x00, 0x00, 0x42, 0x10, 0x00, 0x00,  // white, black, (16,16,16) -> 132
    };
    auto r = decodeBitmapTag(kLossless, losslessBody(4, 3, 2, 0, zlib(raw)));
    expectPixels(r, 3, 2,
                 {{255, 255, 0, 0},
                  {255, 0, 255, 0},
                  {255, 0, 0, 255},
                  {255, 255, 255, 255},
                  {255, 0, 0, 0},
                  {255, 132, 132, 132}},
                 true);
}

// Format 5: DefineBitsLossless ignores the first byte of each pixel (opaque); DefineBitsLossless2 holds
// premultiplied ARGB, kept as stored (a renderer that multiplied again would darken it), clamped to alpha.
TEST(BitmapLossless, Argb32ByTagVersion) {
    const Bytes raw = {
        0x00, 10,  20, 30,  //
        0x80, 100, 60, 20,  //
        0x00, 0,   0,  0,   //
        0x40, 200, 10, 64,  //  red above alpha
        0xFF, 1,   2,  3,   //
    };
    auto v1 = decodeBitmapTag(kLossless, losslessBody(5, 5, 1, 0, zlib(raw)));
    expectPixels(v1, 5, 1,
                 {{255, 10, 20, 30}, {255, 100, 60, 20}, {255, 0, 0, 0}, {255, 200, 10, 64}, {255, 1, 2, 3}},
                 true);
    auto v2 = decodeBitmapTag(kLossless2, losslessBody(5, 5, 1, 0, zlib(raw)));
    expectPixels(v2, 5, 1, {{0, 0, 0, 0}, {128, 100, 60, 20}, {0, 0, 0, 0}, {64, 64, 10, 64}, {255, 1, 2, 3}},
                 false);
}

// Encoders that leave out the last row's padding still produce a complete bitmap; data that inflates to
// more than the bitmap needs is cut.
TEST(BitmapLossless, LastRowPaddingOptionalAndExtraDataIgnored) {
    const Bytes table = {1, 2, 3, 4, 5, 6};
    Bytes noLastPad = table;
    noLastPad.insert(noLastPad.end(), {0, 1, 0, 9, 1, 0, 1});  // width 3: row, pad, last row unpadded
    auto r = decodeBitmapTag(kLossless, losslessBody(3, 3, 2, 1, zlib(noLastPad)));
    expectPixels(
        r, 3, 2,
        {{255, 1, 2, 3}, {255, 4, 5, 6}, {255, 1, 2, 3}, {255, 4, 5, 6}, {255, 1, 2, 3}, {255, 4, 5, 6}},
        true);

    Bytes extra(4 * 2 * 2, 0xFF);
    extra.resize(extra.size() + 100000, 0x55);
    auto big = decodeBitmapTag(kLossless2, losslessBody(5, 2, 2, 0, zlib(extra)));
    expectPixels(big, 2, 2, std::vector<Argb>(4, {255, 255, 255, 255}), true);
}

// Broken and hostile bodies: a clean error each, never a crash or a huge allocation.
TEST(BitmapLossless, BrokenBodiesAreErrors) {
    const Bytes full = zlib(Bytes(4 * 4 * 4, 0x7F));
    Bytes cut = full;
    cut.resize(cut.size() / 2);
    Bytes corrupt = full;
    corrupt[0] ^= 0xFF;  // zlib header no longer valid
    Bytes flipped = full;
    flipped[flipped.size() / 2] ^= 0x5A;

    struct Case {
        const char* name;
        uint16_t tag;
        Bytes body;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        {"truncated zlib stream", kLossless2, losslessBody(5, 4, 4, 0, cut), "zlib"},
        {"corrupt zlib header", kLossless2, losslessBody(5, 4, 4, 0, corrupt), "zlib"},
        {"stream ends short", kLossless2, losslessBody(5, 4, 5, 0, full),
         "zlib data inflates to 64 bytes, 80 needed"},
        {"no zlib data", kLossless, losslessBody(5, 4, 4, 0, {}), "zlib"},
        {"zero width", kLossless, losslessBody(5, 0, 4, 0, full), "empty"},
        {"zero height", kLossless, losslessBody(3, 4, 0, 0, full), "empty"},
        {"wider than 8192", kLossless2, losslessBody(5, 8193, 1, 0, full), "exceeds"},
        // 256 MiB of pixels claimed with a few bytes of data: refused before allocating anything.
        {"huge size, tiny data", kLossless2, losslessBody(5, 8192, 8192, 0, full), "cannot hold"},
        {"unknown format", kLossless, losslessBody(6, 4, 4, 0, full), "format 6"},
        {"body shorter than header", kLossless, {5, 4, 0, 4}, "truncated"},
        {"format 3 without table size", kLossless, {3, 4, 0, 4, 0}, "truncated"},
    };
    for (const auto& c : cases) {
        auto r = decodeBitmapTag(c.tag, c.body);
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_NE(r.error().message.find(c.errorPart), std::string::npos)
            << c.name << ": " << r.error().message;
        EXPECT_NE(r.error().message.find("DefineBitsLossless"), std::string::npos) << c.name;
        EXPECT_EQ(r.error().tagCode, c.tag) << c.name;
    }
    // Corruption inside the deflate data is either detected by zlib or yields pixels; never a crash.
    auto r = decodeBitmapTag(kLossless2, losslessBody(5, 4, 4, 0, flipped));
    EXPECT_TRUE(r.ok() ? r.value().pixels.size() == 16 : !r.error().message.empty());
}

TEST(BitmapLossless, FieldInterfaceHonoursCallerLimits) {
    const Bytes raw(64 * 64 * 4, 0xFF);
    player::LosslessFields f;
    f.version = 2;
    f.format = 5;
    f.width = 64;
    f.height = 64;
    const Bytes data = zlib(raw);
    f.zlibData = data;
    EXPECT_TRUE(player::decodeLossless(f).ok());
    player::BitmapLimits small;
    small.maxPixels = 64 * 63;
    auto r = player::decodeLossless(f, small);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("exceeds 4032 pixels"), std::string::npos) << r.error().message;

    // Format 3 takes the number of colours (the stored field plus one), as the parser reports it: a full
    // 256-entry table is valid, an empty one is not.
    Bytes mapped(256 * 3, 0);
    mapped[255 * 3] = 0xAB;
    mapped.insert(mapped.end(), {255, 0, 0, 0});
    const Bytes mappedZ = zlib(mapped);
    player::LosslessFields m;
    m.format = 3;
    m.width = 1;
    m.height = 1;
    m.colorTableEntries = 256;
    m.zlibData = mappedZ;
    auto full = player::decodeLossless(m);
    ASSERT_TRUE(full.ok()) << full.error().message;
    EXPECT_EQ(full.value().pixels[0], player::packPremultiplied(0xAB, 0, 0, 255));
    m.colorTableEntries = 0;
    EXPECT_FALSE(player::decodeLossless(m).ok());
}
