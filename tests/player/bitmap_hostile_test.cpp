// Seeded random damage to valid bitmap tags of every kind: whatever the decoders return must be either an
// error with a message or a bitmap that keeps the promises of player::Bitmap (size, valid premultiplied
// pixels, a true opaque flag). Run under the sanitizers, this is also the memory-safety sweep.
#include <gtest/gtest.h>
#include <png.h>

#include <random>

#include "bitmap_fixtures.h"
#include "player/bitmap/bitmap_decoder.h"

using namespace bitmaptest;

namespace {

struct Sample {
    const char* name;
    uint16_t tag;
    Bytes body;
    Bytes tables;
};

Bytes le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<Sample> samples() {
    const int w = 13, h = 9;  // odd sizes: partial JPEG blocks, padded lossless rows
    Bytes rgb, rgba, idx;
    for (int i = 0; i < w * h; ++i) {
        rgb.insert(rgb.end(), {uint8_t(i * 5), uint8_t(255 - i), uint8_t(i * 11)});
        rgba.insert(rgba.end(), {uint8_t(i * 5), uint8_t(255 - i), uint8_t(i * 11), uint8_t(i * 2)});
        idx.push_back(uint8_t(i % 4));
    }
    std::vector<Sample> out;
    Bytes tables, image;
    encodeJpegSplit(w, h, rgb, tables, image);
    out.push_back({"DefineBits", 6, image, tables});
    out.push_back({"JPEG2 baseline", 21, encodeJpeg(w, h, rgb), {}});
    out.push_back({"JPEG2 progressive", 21, encodeJpeg(w, h, rgb, true), {}});
    const Bytes jpeg = encodeJpeg(w, h, rgb);
    Bytes j3 = le32(uint32_t(jpeg.size()));
    j3.insert(j3.end(), jpeg.begin(), jpeg.end());
    const Bytes alpha = zlib(Bytes(size_t(w * h), 77));
    j3.insert(j3.end(), alpha.begin(), alpha.end());
    out.push_back({"JPEG3", 35, j3, {}});
    out.push_back(
        {"PNG RGBA interlaced", 21, encodePng(pngImage(w, h, PNG_COLOR_TYPE_RGBA, 8, true), rgba), {}});
    PngImage pal = pngImage(4, 2, PNG_COLOR_TYPE_PALETTE, 8);
    pal.palette = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    pal.trns = {0, 128};
    out.push_back({"PNG palette", 21, encodePng(pal, {0, 1, 2, 3, 3, 2, 1, 0}), {}});
    GifImage gif = gifImage(w, h, {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}, {}, 0, 0, w, h);
    gif.transparentIndex = 2;
    out.push_back({"GIF", 21, encodeGif(gif, idx), {}});
    Bytes l3 = {3, uint8_t(w), 0, uint8_t(h), 0, 3};
    Bytes raw = {10, 20, 30, 128, 40, 50, 60, 255, 0, 0, 0, 0, 70, 80, 90, 200};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < 16; ++x)
            raw.push_back(uint8_t(x % 5));
    }
    const Bytes l3z = zlib(raw);
    l3.insert(l3.end(), l3z.begin(), l3z.end());
    out.push_back({"Lossless2 format 3", 36, l3, {}});
    Bytes l5 = {5, uint8_t(w), 0, uint8_t(h), 0};
    Bytes argb;
    for (int i = 0; i < w * h; ++i)
        argb.insert(argb.end(), {uint8_t(i), uint8_t(i / 2), 3, uint8_t(i / 3)});
    const Bytes l5z = zlib(argb);
    l5.insert(l5.end(), l5z.begin(), l5z.end());
    out.push_back({"Lossless2 format 5", 36, l5, {}});
    return out;
}

Bytes damage(const Bytes& in, std::mt19937& rng) {
    Bytes b = in;
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits && !b.empty(); ++e) {
        const size_t at = rng() % b.size();
        switch (rng() % 5) {
            case 0:
                b[at] ^= uint8_t(1u << (rng() % 8));
                break;
            case 1:
                b[at] = uint8_t(rng());
                break;
            case 2:
                b.resize(at);
                break;
            case 3:
                b.insert(b.begin() + long(at), {0xFF, 0xD9, 0xFF, 0xD8});
                break;
            case 4:
                b.insert(b.begin() + long(at), uint8_t(rng()));
                break;
        }
    }
    return b;
}

}  // namespace

TEST(BitmapHostile, DamagedTagsGiveErrorsOrSoundBitmaps) {
    std::mt19937 rng(20261210);
    player::BitmapLimits limits;
    limits.maxPixels = 1 << 20;  // damaged size fields stay cheap
    for (const auto& s : samples()) {
        auto clean = player::decodeBitmapTag(s.tag, s.body, s.tables, limits);
        ASSERT_TRUE(clean.ok()) << s.name << ": " << clean.error().message;
        int decoded = 0;
        for (int i = 0; i < 400; ++i) {
            const bool hitTables = !s.tables.empty() && i % 4 == 0;
            const Bytes body = hitTables ? s.body : damage(s.body, rng);
            const Bytes tables = hitTables ? damage(s.tables, rng) : s.tables;
            auto r = player::decodeBitmapTag(s.tag, body, tables, limits);
            if (!r.ok()) {
                ASSERT_FALSE(r.error().message.empty()) << s.name;
                continue;
            }
            ++decoded;
            const auto& bm = r.value();
            ASSERT_GT(bm.width, 0) << s.name;
            ASSERT_GT(bm.height, 0) << s.name;
            ASSERT_LE(int64_t(bm.width) * bm.height, limits.maxPixels) << s.name;
            ASSERT_EQ(bm.pixels.size(), size_t(bm.width) * size_t(bm.height)) << s.name;
            bool opaque = true;
            for (auto p : bm.pixels) {
                const Argb c = unpack(p);
                ASSERT_TRUE(c.r <= c.a && c.g <= c.a && c.b <= c.a) << s.name << ": not premultiplied";
                opaque = opaque && c.a == 255;
            }
            ASSERT_EQ(bm.opaque, opaque) << s.name;
        }
        // Some damage (JPEG scan data, ignored bytes) still decodes: the checks above were exercised.
        RecordProperty(s.name, decoded);
    }
}
