// Our GIF files decoded by FFmpeg's GIF demuxer and decoder: frame count, size, delays and pixels, exactly
// for frames of at most 256 colours and within the palette reduction for richer frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "convert/gif_image.h"
#include "gif_test_util.h"

namespace {

struct Frame {
    int width, height;
    std::vector<uint32_t> xrgb;  // 0x00RRGGBB, top row first
};

Frame MakeFrame(int width, int height, uint32_t (*colour)(int x, int y, int i), int i) {
    Frame f{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            f.xrgb.push_back(colour(x, y, i) & 0xFFFFFF);
    return f;
}

void Add(TGIFImage& image, const Frame& f) {
    image.AddFrame(reinterpret_cast<const uint8_t*>(f.xrgb.data()), f.width, f.height, f.width * 4,
                   TGIFPixelFormat::XRGB32);
}

gif_test::Decoded SaveAndDecode(TGIFImage& image, const std::string& name) {
    const std::string path = gif_test::TempPath(name);
    image.SaveToFile(path);
    gif_test::Decoded decoded = gif_test::DecodeWithFfmpeg(path);
    std::filesystem::remove(path);
    return decoded;
}

// A few flat colours: a background with a square moving across it and a stripe.
uint32_t Cartoon(int x, int y, int i) {
    if (x >= 8 + 9 * i && x < 24 + 9 * i && y >= 10 && y < 26) return 0xD02020;
    if (y > 40) return 0x2060C0;
    return (x / 16 + y / 16) % 2 ? 0xF0F0F0 : 0x30A040;
}

TEST(GifFfmpeg, FewColourAnimationDecodesExactlyWithItsDelays) {
    TGIFImage image;
    std::vector<Frame> frames;
    for (int i = 0; i < 4; ++i) {
        frames.push_back(MakeFrame(70, 48, Cartoon, i));
        Add(image, frames.back());
        image.Frame(i).SetDelay(i == 3 ? 83 : 40);
    }
    image.SetLooping(true);
    image.SetRepeatCount(0);
    const gif_test::Decoded d = SaveAndDecode(image, "cartoon.gif");
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.width, 70);
    EXPECT_EQ(d.height, 48);
    ASSERT_EQ(d.frames.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        for (size_t p = 0; p < frames[i].xrgb.size(); ++p)
            ASSERT_EQ(d.frames[i].argb[p], 0xFF000000u | frames[i].xrgb[p])
                << "frame " << i << " pixel " << p;
    // The demuxer's time base is hundredths of a second: 4, 4, 4, 8.
    ASSERT_EQ(d.timeBaseDen / d.timeBaseNum, 100);
    EXPECT_EQ(d.packetDurations, (std::vector<int64_t>{4, 4, 4, 8}));
}

// 256 colours of noise: every code width, and the dictionary resets dozens of times.
TEST(GifFfmpeg, NoiseOf256ColoursSurvivesManyDictionaryResets) {
    TGIFImage image;
    std::mt19937 random(9);
    Frame f{211, 157, {}};
    for (int k = 0; k < f.width * f.height; ++k) {
        const uint32_t v = random() & 0xFF;
        f.xrgb.push_back(v << 16 | (255 - v) << 8 | (v * 7 & 0xFF));
    }
    Add(image, f);
    Add(image, f);  // with a local table
    image.Frame(1).SetInterlaced(true);
    const gif_test::Decoded d = SaveAndDecode(image, "noise256.gif");
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.frames.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        for (size_t p = 0; p < f.xrgb.size(); ++p)
            ASSERT_EQ(d.frames[i].argb[p], 0xFF000000u | f.xrgb[p]) << "frame " << i << " pixel " << p;
}

// A smooth gradient of thousands of colours: the decoder agrees with our palette, and the reduction stays
// close to the picture.
TEST(GifFfmpeg, ManyColourFrameDecodesWithinThePaletteReduction) {
    TGIFImage image;
    const Frame f = MakeFrame(
        160, 120,
        [](int x, int y, int) {
            return uint32_t(x * 255 / 159) << 16 | uint32_t(y * 2) << 8 | uint32_t((x + y) % 256);
        },
        0);
    Add(image, f);
    const std::vector<uint8_t> bytes = image.SaveToBytes();
    const gif_test::Parsed parsed = gif_test::Parse(bytes);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const gif_test::LzwRead indices = gif_test::ReadLzw(8, parsed.images[0].data);
    ASSERT_TRUE(indices.ok) << indices.error;

    const gif_test::Decoded d = SaveAndDecode(image, "gradient.gif");
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.frames.size(), 1u);
    long total = 0;
    for (size_t p = 0; p < f.xrgb.size(); ++p) {
        const uint8_t* e = &parsed.globalTable[static_cast<size_t>(indices.pixels[p]) * 3];
        const uint32_t palette = 0xFF000000u | uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2];
        ASSERT_EQ(d.frames[0].argb[p], palette) << "pixel " << p;
        for (int shift : {0, 8, 16})
            total += std::abs(int(f.xrgb[p] >> shift & 0xFF) - int(palette >> shift & 0xFF));
    }
    const double meanError = double(total) / double(f.xrgb.size() * 3);
    EXPECT_LT(meanError, 12.0);
}

// The transparent colour decodes as transparent pixels in the frame that marks it.
TEST(GifFfmpeg, TransparentColourDecodesTransparent) {
    TGIFImage image;
    const Frame f = MakeFrame(32, 20, Cartoon, 0);
    Add(image, f);
    image.Frame(0).SetTransparentColor(0x40A030);  // 0x30A040 as 0x00BBGGRR
    const gif_test::Decoded d = SaveAndDecode(image, "transparent.gif");
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.frames.size(), 1u);
    int transparent = 0;
    for (size_t p = 0; p < f.xrgb.size(); ++p) {
        if (f.xrgb[p] == 0x30A040) {
            EXPECT_EQ(d.frames[0].argb[p] >> 24, 0u) << "pixel " << p;
            ++transparent;
        } else {
            EXPECT_EQ(d.frames[0].argb[p], 0xFF000000u | f.xrgb[p]) << "pixel " << p;
        }
    }
    EXPECT_GT(transparent, 0);
}

}  // namespace
