// LZW code stream of the GIF writer: exact bytes for tiny inputs worked out by hand, and on long inputs the
// code widths, the reset before the table fills and the sub-block framing, read back by a reference reader
// that follows GIF decoders' rules.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "convert/gif_lzw.h"
#include "gif_test_util.h"

namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& pixels, int minCodeSize = 8) {
    gif::LzwEncoder encoder;
    std::vector<uint8_t> out;
    encoder.Encode(pixels.data(), pixels.size(), minCodeSize, out);
    return out;
}

// Joined sub-block data of an encoding; checks the framing on the way.
std::vector<uint8_t> Unblock(const std::vector<uint8_t>& out) {
    std::vector<uint8_t> data;
    size_t at = 1;
    while (at < out.size() && out[at] != 0) {
        const size_t n = out[at];
        data.insert(data.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 1),
                    out.begin() + static_cast<std::ptrdiff_t>(at + 1 + n));
        at += n + 1;
    }
    EXPECT_EQ(at, out.size() - 1) << "block terminator must end the data";
    return data;
}

std::vector<uint8_t> Noise(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(count);
    for (auto& p : pixels)
        p = static_cast<uint8_t>(random());
    return pixels;
}

struct ByteCase {
    const char* name;
    std::vector<uint8_t> pixels;
    int minCodeSize;
    std::vector<uint8_t> expected;
};

// Worked by hand: codes packed least significant bit first, 9 bits wide for minimum size 8.
//  {0,1,0,0}: clear 256, 0, 1, 0, 0, end 257                      -> 00 01 04 00 00 20 20
//  {0,0,0,0}: clear 256, 0, 258 (0,0), 0, end 257                 -> 00 01 08 04 10 10
//  {1,1,1,1,1} minimum 2 (3-bit codes): clear 4, 1, 6 (1,1), 6, end 5 -> 8C 5D
//  {7}: clear 256, 7, end 257                                   -> 00 0F 04 04
TEST(GifLzw, TinyInputsGiveTheHandWorkedBytes) {
    const std::vector<ByteCase> cases = {
        {"two colours 2x2", {0, 1, 0, 0}, 8, {8, 7, 0x00, 0x01, 0x04, 0x00, 0x00, 0x20, 0x20, 0}},
        {"one colour run", {0, 0, 0, 0}, 8, {8, 6, 0x00, 0x01, 0x08, 0x04, 0x10, 0x10, 0}},
        {"minimum size 2", {1, 1, 1, 1, 1}, 2, {2, 2, 0x8C, 0x5D, 0}},
        {"single pixel", {7}, 8, {8, 4, 0x00, 0x0F, 0x04, 0x04, 0}},
    };
    for (const ByteCase& c : cases)
        EXPECT_EQ(Encode(c.pixels, c.minCodeSize), c.expected) << c.name;
}

// Noise never repeats long strings, so the dictionary grows one code per pixel or so and fills many times.
TEST(GifLzw, LongInputWidensCodesAndResetsBeforeTheTableFills) {
    const std::vector<uint8_t> pixels = Noise(40000, 7);
    const std::vector<uint8_t> out = Encode(pixels);
    ASSERT_EQ(out[0], 8);
    const gif_test::LzwRead read = gif_test::ReadLzw(8, Unblock(out));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.pixels, pixels);

    std::vector<size_t> clears;
    for (size_t i = 0; i < read.codes.size(); ++i)
        if (read.codes[i] == 256) clears.push_back(i);
    ASSERT_GE(clears.size(), 3u);
    EXPECT_EQ(clears[0], 0u);
    EXPECT_EQ(read.widths[0], 9);
    for (size_t k = 1; k < clears.size(); ++k) {
        // Between clears: 3837 string codes (adding 258..4094), then the pixel that began the next string.
        EXPECT_EQ(clears[k] - clears[k - 1] - 1, 3838u) << "clear " << k;
        EXPECT_LT(read.codes[clears[k] - 1], 256u) << "a single pixel precedes the clear";
        EXPECT_EQ(read.widths[clears[k]], 12);
        EXPECT_EQ(read.widths[clears[k] + 1], 9) << "width starts again after the clear";
    }
    // Widths as GIF decoders expect: 9 bits for the first 255 codes after a clear, then 10, 11, 12.
    const size_t c = clears[1];
    EXPECT_EQ(read.widths[c + 255], 9);
    EXPECT_EQ(read.widths[c + 256], 10);
    EXPECT_EQ(read.widths[c + 767], 10);
    EXPECT_EQ(read.widths[c + 768], 11);
    EXPECT_EQ(read.widths[c + 1792], 12);
    for (uint32_t code : read.codes)
        EXPECT_LT(code, 4095u);
}

// A reset on the very last pixel leaves no pending string: the stream ends pixel, clear, end, with no
// extra code after the clear that would add a pixel.
TEST(GifLzw, ResetOnTheLastPixelEndsCleanly) {
    const std::vector<uint8_t> noise = Noise(10000, 11);
    const gif_test::LzwRead full = gif_test::ReadLzw(8, Unblock(Encode(noise)));
    ASSERT_TRUE(full.ok) << full.error;
    size_t secondClear = 0;
    for (size_t i = 1; i < full.codes.size() && !secondClear; ++i)
        if (full.codes[i] == 256) secondClear = i;
    ASSERT_GT(secondClear, 0u);
    const size_t length = full.pixelsBefore[secondClear];  // every pixel up to the reset

    const std::vector<uint8_t> pixels(noise.begin(), noise.begin() + static_cast<std::ptrdiff_t>(length));
    const gif_test::LzwRead read = gif_test::ReadLzw(8, Unblock(Encode(pixels)));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.pixels, pixels);
    ASSERT_GE(read.codes.size(), 3u);
    EXPECT_EQ(read.codes[read.codes.size() - 2], 256u);
    EXPECT_EQ(read.codes.back(), 257u);
}

TEST(GifLzw, DataIsFramedIn255ByteSubBlocks) {
    const std::vector<uint8_t> out = Encode(Noise(3000, 3));
    std::vector<size_t> sizes;
    for (size_t at = 1; out[at] != 0; at += out[at] + 1u)
        sizes.push_back(out[at]);
    ASSERT_GE(sizes.size(), 3u);
    for (size_t i = 0; i + 1 < sizes.size(); ++i)
        EXPECT_EQ(sizes[i], 255u);
    EXPECT_GT(sizes.back(), 0u);
    EXPECT_LE(sizes.back(), 255u);
    EXPECT_EQ(out.back(), 0);
}

TEST(GifLzw, RefusesMinimumCodeSizesGifCannotHold) {
    gif::LzwEncoder encoder;
    std::vector<uint8_t> out;
    const uint8_t pixel = 0;
    EXPECT_THROW(encoder.Encode(&pixel, 1, 1, out), std::invalid_argument);
    EXPECT_THROW(encoder.Encode(&pixel, 1, 9, out), std::invalid_argument);
}

}  // namespace
