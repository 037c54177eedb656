// SWF DefineBits (with JPEGTables), DefineBitsJPEG2/3/4 carrying JPEG: the EOI/SOI marker quirks Flash
// tolerates, the JPEG3/4 alpha plane, and broken or hostile JPEG data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "bitmap_fixtures.h"
#include "player/bitmap/bitmap_decoder.h"
#include "player/bitmap/jpeg_stream.h"

using namespace bitmaptest;
using player::BitmapResult;
using player::decodeBitmapTag;

namespace {

constexpr uint16_t kDefineBits = 6, kJpeg2 = 21, kJpeg3 = 35, kJpeg4 = 90;

// 16x16: four 8x8 blocks of flat colour, so a quality-100 4:4:4 JPEG reproduces them within a few levels.
constexpr int kW = 16, kH = 16;
const uint8_t kBlock[4][3] = {{230, 40, 40}, {40, 200, 60}, {30, 60, 220}, {250, 250, 250}};
int blockOf(int x, int y) {
    return (y / 8) * 2 + x / 8;
}

Bytes testRgb() {
    Bytes rgb;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x)
            rgb.insert(rgb.end(), kBlock[blockOf(x, y)], kBlock[blockOf(x, y)] + 3);
    }
    return rgb;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kEoiSoi = {0xFF, 0xD9, 0xFF, 0xD8};

// The decoded picture matches the four blocks within JPEG tolerance, and is opaque.
void expectTestPicture(const BitmapResult& r, const std::string& what) {
    ASSERT_TRUE(r.ok()) << what << ": " << r.error().message;
    const auto& bm = r.value();
    ASSERT_EQ(bm.width, kW) << what;
    ASSERT_EQ(bm.height, kH) << what;
    EXPECT_TRUE(bm.opaque) << what;
    int worst = 0;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const Argb p = unpack(bm.pixels[size_t(y) * kW + x]);
            const uint8_t* want = kBlock[blockOf(x, y)];
            EXPECT_EQ(p.a, 255) << what;
            worst =
                std::max({worst, std::abs(p.r - want[0]), std::abs(p.g - want[1]), std::abs(p.b - want[2])});
        }
    }
    EXPECT_LE(worst, 6) << what;
}

Bytes jpeg3Body(const Bytes& image, const Bytes& alphaZlib, bool jpeg4 = false) {
    const uint32_t off = uint32_t(image.size());
    Bytes b = {uint8_t(off), uint8_t(off >> 8), uint8_t(off >> 16), uint8_t(off >> 24)};
    if (jpeg4) b.insert(b.end(), {0x00, 0x01});  // DeblockParam 1.0 (8.8)
    b.insert(b.end(), image.begin(), image.end());
    b.insert(b.end(), alphaZlib.begin(), alphaZlib.end());
    return b;
}

// A COM segment whose contents happen to be FF D9 FF D8: not markers, must survive untouched.
Bytes withCommentAfterSoi(const Bytes& jpeg) {
    Bytes out = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x06, 0xFF, 0xD9, 0xFF, 0xD8};
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

}  // namespace

// Every arrangement of stray EOI/SOI markers that SWF files carry decodes to the same picture.
TEST(BitmapJpeg, MarkerQuirksFlashTolerates) {
    Bytes tables, image;
    encodeJpegSplit(kW, kH, testRgb(), tables, image);
    const Bytes full = encodeJpeg(kW, kH, testRgb());
    Bytes noEoi = full;
    noEoi.resize(noEoi.size() - 2);  // some optimisers strip the final EOI

    struct Case {
        const char* name;
        uint16_t tag;
        Bytes body;
        Bytes tables;
    };
    const std::vector<Case> cases = {
        {"DefineBits with JPEGTables", kDefineBits, image, tables},
        {"DefineBits data with erroneous FF D9 FF D8 header", kDefineBits, cat({kEoiSoi, image}), tables},
        {"JPEGTables with erroneous header", kDefineBits, image, cat({kEoiSoi, tables})},
        {"both with erroneous header", kDefineBits, cat({kEoiSoi, image}), cat({kEoiSoi, tables})},
        {"DefineBits holding a whole JPEG, no JPEGTables", kDefineBits, full, {}},
        {"JPEG2 whole JPEG", kJpeg2, full, {}},
        {"JPEG2 tables and image glued (EOI SOI mid-stream)", kJpeg2, cat({tables, image}), {}},
        {"JPEG2 with erroneous header", kJpeg2, cat({kEoiSoi, full}), {}},
        {"JPEG2 without final EOI", kJpeg2, noEoi, {}},
        {"JPEG2 with FF D9 FF D8 inside a comment", kJpeg2, withCommentAfterSoi(full), {}},
        {"JPEG2 progressive", kJpeg2, encodeJpeg(kW, kH, testRgb(), true), {}},
    };
    for (const auto& c : cases)
        expectTestPicture(decodeBitmapTag(c.tag, c.body, c.tables), c.name);
}

TEST(BitmapJpeg, NormalizedStreamHasOneSoiAndOneEoi) {
    Bytes tables, image;
    encodeJpegSplit(kW, kH, testRgb(), tables, image);
    const auto s = player::normalizeJpegStream(cat({kEoiSoi, tables}), cat({kEoiSoi, image}));
    ASSERT_TRUE(s.error.empty()) << s.error;
    // Tables, then the image less its SOI: the three dropped SOIs and two dropped EOIs are all gone.
    EXPECT_EQ(s.bytes, cat({Bytes(tables.begin(), tables.end() - 2), Bytes(image.begin() + 2, image.end())}));
    EXPECT_EQ(s.scans, 1);
}

// DefineBitsJPEG3: the JPEG colour is premultiplied already (the authoring tool does it before encoding);
// the alpha plane is attached without multiplying again, each channel clamped to its alpha.
TEST(BitmapJpeg, Jpeg3AlphaPlaneOnPremultipliedColour) {
    const Bytes jpeg = encodeJpeg(kW, kH, testRgb());
    Bytes alpha(kW * kH);
    for (size_t i = 0; i < alpha.size(); ++i)
        alpha[i] = uint8_t((i * 37) % 256);
    alpha[0] = 0;
    alpha[1] = 255;

    auto opaque = decodeBitmapTag(kJpeg2, jpeg);
    ASSERT_TRUE(opaque.ok()) << opaque.error().message;
    for (uint16_t tag : {kJpeg3, kJpeg4}) {
        auto r = decodeBitmapTag(tag, jpeg3Body(jpeg, zlib(alpha), tag == kJpeg4));
        ASSERT_TRUE(r.ok()) << r.error().message;
        EXPECT_FALSE(r.value().opaque);
        for (size_t i = 0; i < alpha.size(); ++i) {
            const Argb c = unpack(opaque.value().pixels[i]), p = unpack(r.value().pixels[i]);
            const int a = alpha[i];
            ASSERT_EQ(p.a, a) << i;
            ASSERT_EQ(p.r, std::min(c.r, a)) << i;
            ASSERT_EQ(p.g, std::min(c.g, a)) << i;
            ASSERT_EQ(p.b, std::min(c.b, a)) << i;
        }
        EXPECT_EQ(r.value().pixels[0], 0u);  // fully transparent stays invisible
    }

    // A premultiplied dark colour under half alpha keeps its values: (100, 50, 20) at alpha 128 stays near
    // (100, 50, 20), where multiplying again would give about (50, 25, 10).
    Bytes dark;
    for (int i = 0; i < 64; ++i)
        dark.insert(dark.end(), {100, 50, 20});
    auto half = decodeBitmapTag(kJpeg3, jpeg3Body(encodeJpeg(8, 8, dark), zlib(Bytes(64, 128))));
    ASSERT_TRUE(half.ok()) << half.error().message;
    const Argb p = unpack(half.value().pixels[27]);
    EXPECT_EQ(p.a, 128);
    EXPECT_NEAR(p.r, 100, 4);
    EXPECT_NEAR(p.g, 50, 4);
    EXPECT_NEAR(p.b, 20, 4);
}

TEST(BitmapJpeg, Jpeg3AlphaEdgeCases) {
    const Bytes jpeg = encodeJpeg(kW, kH, testRgb());
    const size_t n = kW * kH;

    // No alpha bytes at all, or a zlib stream of nothing: an opaque JPEG.
    expectTestPicture(decodeBitmapTag(kJpeg3, jpeg3Body(jpeg, {})), "no alpha data");
    expectTestPicture(decodeBitmapTag(kJpeg3, jpeg3Body(jpeg, zlib({}))), "empty alpha stream");
    // All 255: still opaque; more alpha than pixels is cut.
    Bytes more(n + 500, 255);
    expectTestPicture(decodeBitmapTag(kJpeg3, jpeg3Body(jpeg, zlib(more))), "alpha longer than needed");

    Bytes cut = zlib(Bytes(n, 200));
    cut.resize(cut.size() - 6);
    struct Case {
        const char* name;
        Bytes body;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        {"alpha plane too short", jpeg3Body(jpeg, zlib(Bytes(n - 1, 200))), "alpha data"},
        {"alpha stream truncated", jpeg3Body(jpeg, cut), "alpha data"},
        {"alpha not zlib", jpeg3Body(jpeg, Bytes(40, 0x33)), "alpha data"},
        {"AlphaDataOffset past the end",
         [&] {
             Bytes b = jpeg3Body(jpeg, {});
             b[0] = 0xFF;
             b[1] = 0xFF;
             return b;
         }(),
         "AlphaDataOffset"},
        {"body shorter than AlphaDataOffset", {1, 0}, "truncated"},
    };
    for (const auto& c : cases) {
        auto r = decodeBitmapTag(kJpeg3, c.body);
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_NE(r.error().message.find(c.errorPart), std::string::npos)
            << c.name << ": " << r.error().message;
        EXPECT_EQ(r.error().message.rfind("DefineBitsJPEG3: ", 0), 0u) << r.error().message;
    }
}

// Bad JPEG data makes libjpeg fail; that must come back as an error, not end the process.
TEST(BitmapJpeg, BrokenAndHostileJpegData) {
    const Bytes full = encodeJpeg(kW, kH, testRgb());
    Bytes tables, image;
    encodeJpegSplit(kW, kH, testRgb(), tables, image);

    Bytes huge = full;  // SOF0 claiming 60000 x 60000
    for (size_t i = 0; i + 9 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xEA;
            huge[i + 6] = huge[i + 8] = 0x60;
            break;
        }
    }
    Bytes garbage = {0xFF, 0xD8};
    for (int i = 0; i < 200; ++i)
        garbage.push_back(uint8_t(i * 73 + 11));

    struct Case {
        const char* name;
        uint16_t tag;
        Bytes body;
        Bytes tables;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        {"abbreviated data without its tables", kDefineBits, image, {}, "libjpeg"},
        {"JPEGTables alone, no image", kDefineBits, {}, tables, "libjpeg"},
        {"header cut short", kJpeg2, Bytes(full.begin(), full.begin() + 30), {}, "libjpeg"},
        {"SOI then noise", kJpeg2, garbage, {}, "libjpeg"},
        {"not an image at all", kJpeg2, {'h', 'e', 'l', 'l', 'o'}, {}, "not JPEG"},
        {"empty body", kJpeg2, {}, {}, "not JPEG"},
        {"60000 x 60000 frame header", kJpeg2, huge, {}, "exceeds"},
    };
    for (const auto& c : cases) {
        auto r = decodeBitmapTag(c.tag, c.body, c.tables);
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_NE(r.error().message.find(c.errorPart), std::string::npos)
            << c.name << ": " << r.error().message;
    }

    // Scan data cut in half: Flash shows what arrived; the rest of the picture is filled, size is intact.
    size_t sos = 0;
    while (sos + 1 < full.size() && !(full[sos] == 0xFF && full[sos + 1] == 0xDA))
        ++sos;
    ASSERT_LT(sos + 1, full.size());
    const size_t scanStart = sos + 2 + ((size_t(full[sos + 2]) << 8) | full[sos + 3]);
    Bytes half(full.begin(), full.begin() + long(scanStart + (full.size() - scanStart) / 2));
    auto r = decodeBitmapTag(kJpeg2, half);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value().pixels.size(), size_t(kW * kH));
    EXPECT_TRUE(r.value().opaque);
}

TEST(BitmapJpeg, ProgressiveScanLimit) {
    const Bytes progressive = encodeJpeg(kW, kH, testRgb(), true);
    player::BitmapLimits limits;
    limits.maxJpegScans = 3;
    auto r = decodeBitmapTag(kJpeg2, progressive, {}, limits);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("scans"), std::string::npos) << r.error().message;
}

TEST(BitmapTags, UnknownTagIsAnError) {
    EXPECT_FALSE(player::isBitmapTag(2));
    EXPECT_TRUE(player::isBitmapTag(90));
    auto r = decodeBitmapTag(2, {});
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("not a bitmap tag"), std::string::npos);
}
