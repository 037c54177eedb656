// Video pictures to pixels: the vector conversion against the plain one over every luma, U and V value,
// and a few colours worked out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "player/media/yuv_convert.h"

namespace {

using player::Pixel;

TEST(VideoYuv, KnownColours) {
    struct Case {
        const char* name;
        uint8_t y, u, v;
        Pixel want;
    };
    const Case cases[] = {
        {"black", 16, 128, 128, 0xff000000u},      {"white", 235, 128, 128, 0xffffffffu},
        {"below black", 0, 128, 128, 0xff000000u}, {"mid grey", 126, 128, 128, 0xff808080u},
        {"red", 81, 90, 240, 0xfffe0000u},         {"blue", 41, 240, 110, 0xff0000ffu},
    };
    for (const Case& c : cases) {
        // Eight pixels of the colour and one more, so both the vector steps and the tail are used.
        std::vector<uint8_t> y(9, c.y), u(5, c.u), v(5, c.v);
        std::vector<Pixel> out(9);
        player::media::yuvRow(y.data(), u.data(), v.data(), nullptr, out.data(), 9);
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(out[x], c.want) << c.name << " at " << x;
    }
}

TEST(VideoYuv, VectorRowsMatchThePlainOnesForEveryValue) {
    // A row of 512 pixels takes every luma value twice against 256 chroma pairs; rows step through all
    // U and V values. With alpha the colour is kept within each pixel's alpha.
    constexpr int kWidth = 512;
    std::vector<uint8_t> y(kWidth), u(kWidth / 2), v(kWidth / 2), a(kWidth);
    std::vector<Pixel> fast(kWidth), plain(kWidth);
    for (int x = 0; x < kWidth; ++x) {
        y[x] = uint8_t(x * 7 + x / 256);
        a[x] = uint8_t(x * 13);
    }
    int mismatches = 0;
    for (int row = 0; row < 256; ++row) {
        for (int i = 0; i < kWidth / 2; ++i) {
            u[i] = uint8_t(i);
            v[i] = uint8_t(i + row);
        }
        for (const uint8_t* alpha :
             {static_cast<const uint8_t*>(nullptr), static_cast<const uint8_t*>(a.data())}) {
            for (int width : {kWidth, kWidth - 3}) {
                player::media::yuvRow(y.data(), u.data(), v.data(), alpha, fast.data(), width);
                player::media::yuvRowScalar(y.data(), u.data(), v.data(), alpha, plain.data(), width);
                for (int x = 0; x < width; ++x)
                    mismatches += fast[x] != plain[x];
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
