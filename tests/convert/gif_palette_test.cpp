// Popularity reduction: which colours become palette entries, in which order, where the rest go, and how the
// channel masks shorten when a picture has more colours than the count table holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "convert/gif_palette.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // R, G, B, top row first
    void Set(int x, int y, Rgb c) {
        const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        rgb[at] = c.r;
        rgb[at + 1] = c.g;
        rgb[at + 2] = c.b;
    }
};

// One row per picture row, top first.
Picture FromRows(const std::vector<std::vector<Rgb>>& rows) {
    Picture p;
    p.height = static_cast<int>(rows.size());
    p.width = static_cast<int>(rows[0].size());
    for (const auto& row : rows)
        for (const Rgb& c : row)
            p.rgb.insert(p.rgb.end(), {c.r, c.g, c.b});
    return p;
}

// A single-row picture of the colours in order (a one-row picture is scanned left to right).
Picture FromList(const std::vector<Rgb>& colours) {
    return FromRows({colours});
}

struct Reduced {
    gif::PopularityPalette palette;
    std::vector<uint8_t> indices;
    Rgb Entry(int i) const {
        const size_t at = static_cast<size_t>(i) * 3;
        return {palette.rgb[at], palette.rgb[at + 1], palette.rgb[at + 2]};
    }
};

Reduced Reduce(const Picture& p) {
    gif::PopularityReducer reducer;
    Reduced r;
    r.indices.resize(static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
    r.palette = reducer.Reduce(p.rgb.data(), p.width, p.height, r.indices.data());
    return r;
}

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kGrey{128, 128, 128};

// Counts C=3, B=3, A=2. The tie between C and B goes to the one met first scanning from the bottom row up
// (B), not reading the rows top down (C).
TEST(GifPalette, MostFrequentFirstTiesToTheFirstMetFromTheBottomRowSpareEntriesGrey) {
    const Rgb a = kRed, b = kGreen, c = kBlue;
    const Reduced r = Reduce(FromRows({{c, c, c, b}, {a, b, a, b}}));
    EXPECT_EQ(r.Entry(0), b);
    EXPECT_EQ(r.Entry(1), c);
    EXPECT_EQ(r.Entry(2), a);
    for (int i = 3; i < 256; ++i)
        EXPECT_EQ(r.Entry(i), kGrey) << i;
    EXPECT_EQ(r.indices, (std::vector<uint8_t>{1, 1, 1, 0, 2, 0, 2, 0}));
    EXPECT_EQ(r.palette.keyCount, 3);
}

// 256 frequent colours fill the palette; rare ones go to the nearest entry, the lowest index on a tie.
TEST(GifPalette, ColoursLeftOutTakeTheNearestEntryLowestIndexOnTies) {
    std::vector<Rgb> list;
    // (0, 4, 0) four times: index 0. Then (0, 2j, 0) and (2j, 0, 255) three times each, indices 1.. in this
    // order.
    for (int k = 0; k < 4; ++k)
        list.push_back({0, 4, 0});
    std::vector<Rgb> frequent;
    for (int j = 0; j < 128; ++j)
        if (j != 2) frequent.push_back({0, static_cast<uint8_t>(2 * j), 0});
    for (int j = 0; j < 128; ++j)
        frequent.push_back({static_cast<uint8_t>(2 * j), 0, 255});
    ASSERT_EQ(frequent.size(), 255u);
    for (const Rgb& c : frequent)
        for (int k = 0; k < 3; ++k)
            list.push_back(c);
    // Rare colours, once each, with the index each must take.
    const std::vector<std::pair<Rgb, int>> rare = {
        {{0, 3, 0}, 0},      // (0,2,0) index 2 and (0,4,0) index 0 at distance 1: index 0
        {{0, 5, 0}, 0},      // (0,4,0) index 0 and (0,6,0) index 3: index 0
        {{0, 1, 0}, 1},      // (0,0,0) index 1 and (0,2,0) index 2: index 1
        {{2, 1, 250}, 129},  // (2,0,255) at 26 beats (0,0,255) and (4,0,255) at 30
    };
    for (const auto& [colour, expected] : rare)
        list.push_back(colour);

    const Reduced r = Reduce(FromList(list));
    EXPECT_EQ(r.Entry(0), (Rgb{0, 4, 0}));
    EXPECT_EQ(r.Entry(1), (Rgb{0, 0, 0}));
    EXPECT_EQ(r.Entry(2), (Rgb{0, 2, 0}));
    EXPECT_EQ(r.Entry(128), (Rgb{0, 0, 255}));
    EXPECT_EQ(r.Entry(129), (Rgb{2, 0, 255}));
    const size_t firstRare = list.size() - rare.size();
    for (size_t i = 0; i < rare.size(); ++i)
        EXPECT_EQ(r.indices[firstRare + i], rare[i].second) << "rare colour " << i;
}

struct MaskCase {
    const char* name;
    std::vector<Rgb> colours;  // distinct colours, each once
    uint8_t red, green, blue;  // expected masks
};

std::vector<Rgb> Generate(int count, Rgb (*make)(int)) {
    std::vector<Rgb> list;
    for (int i = 0; i < count; ++i)
        list.push_back(make(i));
    return list;
}

TEST(GifPalette, MasksShortenBlueThenRedThenGreenUntilTheKeysFit) {
    const std::vector<MaskCase> cases = {
        {"2049 colours fit",
         Generate(2049,
                  [](int i) {
                      return Rgb{uint8_t(i), uint8_t(i >> 8), 0};
                  }),
         0xFF, 0xFF, 0xFF},
        {"pairs in blue's low bit",
         Generate(2050,
                  [](int i) {
                      return Rgb{uint8_t(i / 2), uint8_t(i / 512), uint8_t(i % 2)};
                  }),
         0xFF, 0xFF, 0xFE},
        {"pairs in red's low bit",
         Generate(2050,
                  [](int i) {
                      return Rgb{uint8_t(i), uint8_t(i >> 8), 0};
                  }),
         0xFE, 0xFF, 0xFE},
        {"pairs in green's low bit",
         Generate(2050,
                  [](int i) {
                      return Rgb{uint8_t(2 * (i / 256)), uint8_t(i), 0};
                  }),
         0xFE, 0xFE, 0xFE},
    };
    for (const MaskCase& c : cases) {
        const Reduced r = Reduce(FromList(c.colours));
        EXPECT_EQ(r.palette.redMask, c.red) << c.name;
        EXPECT_EQ(r.palette.greenMask, c.green) << c.name;
        EXPECT_EQ(r.palette.blueMask, c.blue) << c.name;
        EXPECT_LE(r.palette.keyCount, gif::PopularityReducer::kMaxKeys) << c.name;
    }
}

// Once blue loses its low bit, white is counted as (255, 255, 254).
TEST(GifPalette, WhiteLosesBluesLowBitInAManyColouredPicture) {
    std::vector<Rgb> list = Generate(2050, [](int i) {
        return Rgb{uint8_t(i / 2), uint8_t(i / 512), uint8_t(i % 2)};
    });
    for (int k = 0; k < 10; ++k)
        list.push_back({255, 255, 255});
    const Reduced r = Reduce(FromList(list));
    EXPECT_EQ(r.Entry(0), (Rgb{255, 255, 254}));
    EXPECT_EQ(r.indices.back(), 0);
}

// Noise of every colour: the masks follow the order blue, red, green, ... and stop at the first that fits.
TEST(GifPalette, NoiseStopsAtTheFirstMasksThatFit) {
    Picture p;
    p.width = 200;
    p.height = 150;
    p.rgb.resize(200 * 150 * 3);
    std::mt19937 random(5);
    for (auto& v : p.rgb)
        v = static_cast<uint8_t>(random());
    const Reduced r = Reduce(p);

    auto keys = [&p](std::array<uint8_t, 3> m) {
        std::vector<uint32_t> all;
        for (size_t i = 0; i < p.rgb.size(); i += 3)
            all.push_back((p.rgb[i] & m[0]) | (p.rgb[i + 1] & m[1]) << 8 | (p.rgb[i + 2] & m[2]) << 16);
        std::sort(all.begin(), all.end());
        return static_cast<size_t>(std::unique(all.begin(), all.end()) - all.begin());
    };
    std::array<uint8_t, 3> m = {0xFF, 0xFF, 0xFF};
    const int order[3] = {2, 0, 1};  // blue, red, green
    int step = 0;
    while (keys(m) > 2049) {
        m[static_cast<size_t>(order[step % 3])] <<= 1;
        ++step;
    }
    EXPECT_GT(step, 3);
    EXPECT_EQ(r.palette.redMask, m[0]);
    EXPECT_EQ(r.palette.greenMask, m[1]);
    EXPECT_EQ(r.palette.blueMask, m[2]);
    EXPECT_EQ(static_cast<size_t>(r.palette.keyCount), keys(m));
    // Every entry is a masked colour.
    for (int i = 0; i < 256; ++i) {
        const Rgb e = r.Entry(i);
        EXPECT_EQ(e.r & m[0], e.r);
        EXPECT_EQ(e.g & m[1], e.g);
        EXPECT_EQ(e.b & m[2], e.b);
    }
}

}  // namespace
