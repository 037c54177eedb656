// PNG and GIF data inside SWF DefineBitsJPEG2/3 (since SWF 8): colour types and depths, straight alpha
// premultiplied, GIF LZW (code growth, full table, KwKwK), transparency, interlacing, and broken files.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>

#include "bitmap_fixtures.h"
#include "player/bitmap/bitmap_decoder.h"
#include "player/bitmap/image_codecs.h"

using namespace bitmaptest;
using player::BitmapResult;
using player::decodeBitmapTag;

namespace {

constexpr uint16_t kJpeg2 = 21, kJpeg3 = 35;

struct Straight {
    int r, g, b, a;
};

// Premultiplied expectation, rounded to nearest, computed independently of the decoder's arithmetic.
Argb premultiplied(Straight s) {
    auto m = [&](int c) { return (2 * c * s.a + 255) / 510; };
    return {s.a, m(s.r), m(s.g), m(s.b)};
}

void expectImage(const BitmapResult& r, int w, int h, const std::vector<Straight>& want,
                 const std::string& what) {
    ASSERT_TRUE(r.ok()) << what << ": " << r.error().message;
    ASSERT_EQ(r.value().width, w) << what;
    ASSERT_EQ(r.value().height, h) << what;
    ASSERT_EQ(want.size(), size_t(w) * h) << what;
    bool opaque = true;
    for (size_t i = 0; i < want.size(); ++i) {
        const Argb e = premultiplied(want[i]), g = unpack(r.value().pixels[i]);
        ASSERT_TRUE(g.a == e.a && g.r == e.r && g.g == e.g && g.b == e.b)
            << what << " pixel " << i << ": got " << g.a << "," << g.r << "," << g.g << "," << g.b << " want "
            << e.a << "," << e.r << "," << e.g << "," << e.b;
        opaque = opaque && e.a == 255;
    }
    EXPECT_EQ(r.value().opaque, opaque) << what;
}

struct PngCase {
    const char* name;
    PngImage image;
    Bytes samples;
    std::vector<Straight> want;
};

std::vector<PngCase> pngCases() {
    std::vector<PngCase> cases;
    cases.push_back({"RGBA 8-bit, straight alpha",
                     pngImage(3, 2, PNG_COLOR_TYPE_RGBA, 8),
                     {255, 0,  0,  255, 255, 255, 255, 128, 10,  200, 30, 0,  //
                      100, 50, 25, 64,  0,   0,   0,   255, 255, 128, 0,  1},
                     {{255, 0, 0, 255},
                      {255, 255, 255, 128},
                      {10, 200, 30, 0},
                      {100, 50, 25, 64},
                      {0, 0, 0, 255},
                      {255, 128, 0, 1}}});
    cases.push_back({"RGB 8-bit",
                     pngImage(2, 1, PNG_COLOR_TYPE_RGB, 8),
                     {1, 2, 3, 250, 251, 252},
                     {{1, 2, 3, 255}, {250, 251, 252, 255}}});
    // Two bits per index, width 5: indices packed four to a byte, rows padded to a byte.
    PngImage pal = pngImage(5, 2, PNG_COLOR_TYPE_PALETTE, 2);
    pal.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    pal.trns = {255, 0, 128};
    cases.push_back({"palette 2-bit with tRNS, odd width",
                     pal,
                     {0b00011011, 0b00000000, 0b11100100, 0b01000000},
                     {{255, 0, 0, 255},
                      {0, 255, 0, 0},
                      {0, 0, 255, 128},
                      {9, 9, 9, 255},
                      {255, 0, 0, 255},
                      {9, 9, 9, 255},
                      {0, 0, 255, 128},
                      {0, 255, 0, 0},
                      {255, 0, 0, 255},
                      {0, 255, 0, 0}}});
    cases.push_back({"gray 16-bit",
                     pngImage(2, 1, PNG_COLOR_TYPE_GRAY, 16),
                     {0x12, 0x34, 0xFF, 0xFF},
                     {{0x12, 0x12, 0x12, 255}, {255, 255, 255, 255}}});
    cases.push_back({"gray + alpha",
                     pngImage(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8),
                     {200, 100, 7, 255},
                     {{200, 200, 200, 100}, {7, 7, 7, 255}}});
    // Adam7: 9x9 so every pass has pixels, including partial ones.
    PngCase inter{"RGBA interlaced 9x9", pngImage(9, 9, PNG_COLOR_TYPE_RGBA, 8, true), {}, {}};
    for (int i = 0; i < 81; ++i) {
        const Straight s{i * 3, 255 - i, (i * 7) % 256, 40 + i * 2};
        inter.samples.insert(inter.samples.end(), {uint8_t(s.r), uint8_t(s.g), uint8_t(s.b), uint8_t(s.a)});
        inter.want.push_back(s);
    }
    cases.push_back(inter);
    return cases;
}

Bytes jpeg3Body(const Bytes& image, const Bytes& alpha) {
    const uint32_t off = uint32_t(image.size());
    Bytes b = {uint8_t(off), uint8_t(off >> 8), uint8_t(off >> 16), uint8_t(off >> 24)};
    b.insert(b.end(), image.begin(), image.end());
    b.insert(b.end(), alpha.begin(), alpha.end());
    return b;
}

}  // namespace

TEST(BitmapPng, ColourTypesDecodeToPremultipliedPixels) {
    for (const auto& c : pngCases()) {
        const Bytes png = encodePng(c.image, c.samples);
        expectImage(decodeBitmapTag(kJpeg2, png), c.image.width, c.image.height, c.want, c.name);
    }
}

// The BitmapAlphaData of DefineBitsJPEG3 applies to JPEG only; PNG data keeps its own alpha.
TEST(BitmapPng, Jpeg3AlphaPlaneIgnoredForPng) {
    const auto c = pngCases()[0];
    const Bytes png = encodePng(c.image, c.samples);
    expectImage(decodeBitmapTag(kJpeg3, jpeg3Body(png, zlib(Bytes(6, 0)))), 3, 2, c.want, "zero alpha plane");
    expectImage(decodeBitmapTag(kJpeg3, jpeg3Body(png, {})), 3, 2, c.want, "no alpha plane");
}

TEST(BitmapPng, BrokenFilesAreErrors) {
    Bytes rgba(64 * 64 * 4);
    std::mt19937 rng(7);
    for (auto& b : rgba)
        b = uint8_t(rng());
    const Bytes png = encodePng(pngImage(64, 64, PNG_COLOR_TYPE_RGBA, 8), rgba);
    Bytes cut(png.begin(), png.begin() + long(png.size() / 2));
    Bytes badCrc = png;
    badCrc[29] ^= 1;  // last byte of the IHDR CRC
    const Bytes wide = encodePng(pngImage(9000, 1, PNG_COLOR_TYPE_GRAY, 1), Bytes(1125, 0));
    // 8192 x 8192 RGBA claimed, a few hundred bytes of image data: refused before allocating 256 MiB.
    Bytes huge = encodePng(pngImage(8192, 1, PNG_COLOR_TYPE_RGBA, 8), Bytes(8192 * 4, 0));
    huge[20] = 0x00, huge[21] = 0x00, huge[22] = 0x20, huge[23] = 0x00;  // height 8192
    {
        const uLong crc = crc32(crc32(0, nullptr, 0), huge.data() + 12, 17);
        huge[29] = uint8_t(crc >> 24), huge[30] = uint8_t(crc >> 16), huge[31] = uint8_t(crc >> 8);
        huge[32] = uint8_t(crc);
    }

    struct Case {
        const char* name;
        Bytes data;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        {"cut in the image data", cut, "libpng"},
        {"signature and IHDR only", Bytes(png.begin(), png.begin() + 33), "libpng"},
        {"IHDR CRC wrong", badCrc, "libpng"},
        {"wider than 8192", wide, "width"},
        {"huge, little data", huge, "too short"},
    };
    for (const auto& c : cases) {
        auto r = decodeBitmapTag(kJpeg2, c.data);
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_NE(r.error().message.find(c.errorPart), std::string::npos)
            << c.name << ": " << r.error().message;
    }
}

namespace {

const Bytes kFour = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};  // black, red, green, blue
Straight colourOf(const Bytes& table, int index) {
    return {table[index * 3], table[index * 3 + 1], table[index * 3 + 2], 255};
}
std::vector<Straight> mapped(const Bytes& table, const Bytes& indices) {
    std::vector<Straight> out;
    for (uint8_t i : indices)
        out.push_back(colourOf(table, i));
    return out;
}

}  // namespace

TEST(BitmapGif, LzwDecodesExactly) {
    struct Case {
        const char* name;
        GifImage image;
        Bytes indices;
    };
    std::vector<Case> cases;
    GifImage small = gifImage(4, 3, kFour, {}, 0, 0, 4, 3);
    cases.push_back({"4x3, four colours", small, {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 1, 1}});
    // One long run: codes that refer to the entry being defined (the KwKwK case) all the way.
    GifImage run = gifImage(300, 1, kFour, {}, 0, 0, 300, 1);
    cases.push_back({"run of one colour", run, Bytes(300, 3)});

    // Random 256-colour pixels fill the 4096-entry code table several times over.
    Bytes table256;
    for (int i = 0; i < 256; ++i)
        table256.insert(table256.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 5)});
    std::mt19937 rng(1);
    Bytes noise(128 * 128);
    for (auto& v : noise)
        v = uint8_t(rng() % 256);
    GifImage full = gifImage(128, 128, table256, {}, 0, 0, 128, 128);
    full.minCodeSize = 8;
    cases.push_back({"full table, clear codes", full, noise});
    // Encoders may also keep going with a full table and no clear code; the decoder must stop adding codes.
    full.deferredClear = true;
    cases.push_back({"full table, deferred clear", full, noise});

    GifImage interlaced = gifImage(5, 10, kFour, {}, 0, 0, 5, 10);
    interlaced.interlaced = true;
    Bytes rows;
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 5; ++x)
            rows.push_back(uint8_t((y + x / 4) % 4));
    }
    cases.push_back({"interlaced 5x10", interlaced, rows});

    // A local colour table overrides the global one.
    GifImage local = gifImage(2, 1, kFour, {9, 8, 7, 6, 5, 4}, 0, 0, 2, 1);
    cases.push_back({"local colour table", local, {1, 0}});

    for (const auto& c : cases) {
        const Bytes& table = c.image.localTable.empty() ? c.image.globalTable : c.image.localTable;
        expectImage(decodeBitmapTag(kJpeg2, encodeGif(c.image, c.indices)), c.image.width, c.image.height,
                    mapped(table, c.indices), c.name);
    }
}

TEST(BitmapGif, TransparencyAndPlacement) {
    const Straight none{0, 0, 0, 0}, k{0, 0, 0, 255}, r{255, 0, 0, 255}, g{0, 255, 0, 255}, b{0, 0, 255, 255};

    GifImage t = gifImage(3, 1, kFour, {}, 0, 0, 3, 1);
    t.transparentIndex = 1;
    expectImage(decodeBitmapTag(kJpeg2, encodeGif(t, {0, 1, 2})), 3, 1, {k, none, g}, "transparent index");

    // A 2x2 image at (1, 2) on a 4x4 logical screen: the rest of the screen is transparent.
    GifImage placed = gifImage(4, 4, kFour, {}, 1, 2, 2, 2);
    expectImage(decodeBitmapTag(kJpeg2, encodeGif(placed, {1, 2, 3, 0})), 4, 4,
                {none, none, none, none, none, none, none, none, none, r, g, none, none, b, k, none},
                "placed on the screen");

    // Index 3 with a two-colour table has no colour: transparent.
    GifImage shortTable = gifImage(2, 1, {10, 20, 30, 40, 50, 60}, {}, 0, 0, 2, 1);
    expectImage(decodeBitmapTag(kJpeg2, encodeGif(shortTable, {3, 1})), 2, 1, {none, {40, 50, 60, 255}},
                "index past the table");

    // A zero-sized logical screen takes the image's size.
    GifImage noScreen = gifImage(0, 0, kFour, {}, 5, 5, 2, 1);
    expectImage(decodeBitmapTag(kJpeg2, encodeGif(noScreen, {2, 1})), 2, 1, {g, r}, "zero logical screen");
}

TEST(BitmapGif, BrokenFilesAreErrors) {
    GifImage img = gifImage(16, 16, kFour, {}, 0, 0, 16, 16);
    Bytes indices(256);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = uint8_t((i * 7 + i / 16) % 4);
    const Bytes gif = encodeGif(img, indices);

    auto header = [](int w, int h, bool table) {
        Bytes b = {'G',
                   'I',
                   'F',
                   '8',
                   '9',
                   'a',
                   uint8_t(w),
                   uint8_t(w >> 8),
                   uint8_t(h),
                   uint8_t(h >> 8),
                   uint8_t(table ? 0x81 : 0),
                   0,
                   0};
        if (table) b.insert(b.end(), kFour.begin(), kFour.end());
        return b;
    };
    auto withImage = [](Bytes b, int w, int h, int minCode, const Bytes& data) {
        b.insert(b.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0});
        b.push_back(uint8_t(minCode));
        b.insert(b.end(), data.begin(), data.end());
        b.push_back(0x3B);
        return b;
    };
    // Clear (4), literal 0, then code 7 while the next free code is 6.
    const Bytes badCode = {2, 0xC4, 0x01, 0};

    struct Case {
        const char* name;
        Bytes data;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        {"image data cut short", Bytes(gif.begin(), gif.end() - 20), "ends after"},
        {"trailer, no image",
         [&] {
             Bytes b = header(2, 2, true);
             b.push_back(0x3B);
             return b;
         }(),
         "no image"},
        {"ends before any image", header(2, 2, true), "ends before"},
        {"code past the table", withImage(header(2, 2, true), 2, 2, 2, badCode), "invalid code"},
        {"LZW code size 12", withImage(header(2, 2, true), 2, 2, 12, {1, 0, 0}), "code size"},
        {"no colour table", withImage(header(2, 2, false), 2, 2, 2, {1, 0x04, 0}), "no colour table"},
        {"65535 x 65535 screen", withImage(header(65535, 65535, true), 2, 2, 2, {1, 0x04, 0}), "exceeds"},
        {"8000 x 8000 image, little data", withImage(header(8000, 8000, true), 8000, 8000, 2, {1, 4, 0}),
         "too short"},
    };
    for (const auto& c : cases) {
        auto r = player::decodeGif(c.data, {});
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_NE(r.error().message.find(c.errorPart), std::string::npos)
            << c.name << ": " << r.error().message;
    }
}
