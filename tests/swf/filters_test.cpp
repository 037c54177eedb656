// Filters stored by PlaceObject3, decoded from their bytes.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "parse_helpers.h"
#include "support/swf_tags.h"
#include "swf/filters.h"

using namespace testswf;

namespace {

ByteWriter& fixed(ByteWriter& w, double v) {
    return w.u32(static_cast<uint32_t>(std::lround(v * 65536)));
}
ByteWriter& f32(ByteWriter& w, float v) {
    return w.u32(std::bit_cast<uint32_t>(v));
}

}  // namespace

TEST(Filters, EveryKindDecodesFromAPlacedObject) {
    ByteWriter glow;
    glow.rgba(0xFF000080);
    fixed(glow, 6);
    fixed(glow, 6);
    glow.fixed8(2).u8(0x80 | 0x20 | 3);  // inner, composite, 3 passes

    ByteWriter bevel;
    bevel.rgba(0x000000FF).rgba(0xFFFFFFFF);
    for (double v : {5.0, 5.0, 0.785, 4.0})
        fixed(bevel, v);
    bevel.fixed8(1).u8(0x10 | 1);  // on top, 1 pass

    ByteWriter gradientGlow;
    gradientGlow.u8(2).rgba(0xFFFFFF00).rgba(0xFF0000FF).u8(0).u8(255);
    for (double v : {10.0, 12.0, 0.0, 0.0})
        fixed(gradientGlow, v);
    gradientGlow.fixed8(1.5).u8(0x40 | 2);  // knockout, 2 passes

    ByteWriter conv;
    conv.u8(3).u8(2);
    f32(conv, 6.0f);
    f32(conv, 0.5f);
    for (int i = 0; i < 6; ++i)
        f32(conv, float(i));
    conv.rgba(0x11223344).u8(0x02);  // clamp

    ByteWriter matrix;
    for (int i = 0; i < 20; ++i)
        f32(matrix, i % 6 == 0 ? 1.0f : 0.0f);

    PlaceSpec p;
    p.characterId = 1;
    p.filters = std::vector<std::pair<uint8_t, Bytes>>{
        {0, dropShadowFilter(0x000000FF, 4, 4, 0.78, 5)},
        {1, blurFilter(4, 8, 2)},
        {2, glow.bytes()},
        {3, bevel.bytes()},
        {4, gradientGlow.bytes()},
        {5, conv.bytes()},
        {6, matrix.bytes()},
        {7, gradientGlow.bytes()},
    };
    auto m = swftest::parse(swftest::oneTag(70, placeObject(p, 3)));
    EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
    auto* place = swftest::only<swf::PlaceObject>(m);
    ASSERT_TRUE(place && place->filters);
    ASSERT_EQ(place->filters->size(), 8u);
    std::vector<swf::FilterParams> f;
    for (const auto& raw : *place->filters) {
        auto d = swf::decodeFilter(raw);
        ASSERT_TRUE(d.ok()) << d.error().describe();
        f.push_back(*d);
    }
    EXPECT_EQ(f[0].type, swf::FilterType::DropShadow);
    EXPECT_EQ(f[0].colors.at(0), (swf::RGBA{0, 0, 0, 255}));
    EXPECT_DOUBLE_EQ(f[0].distance, 5);
    EXPECT_NEAR(f[0].angle, 0.78, 1e-4);
    EXPECT_TRUE(f[0].compositeSource);
    EXPECT_EQ(f[0].passes, 1);

    EXPECT_EQ(f[1].type, swf::FilterType::Blur);
    EXPECT_DOUBLE_EQ(f[1].blurX, 4);
    EXPECT_DOUBLE_EQ(f[1].blurY, 8);
    EXPECT_EQ(f[1].passes, 2);

    EXPECT_EQ(f[2].colors.at(0), (swf::RGBA{0xFF, 0, 0, 0x80}));
    EXPECT_DOUBLE_EQ(f[2].strength, 2);
    EXPECT_TRUE(f[2].inner);
    EXPECT_FALSE(f[2].knockout);
    EXPECT_EQ(f[2].passes, 3);

    ASSERT_EQ(f[3].colors.size(), 2u);
    EXPECT_EQ(f[3].colors[1], (swf::RGBA{255, 255, 255, 255}));
    EXPECT_TRUE(f[3].onTop);
    EXPECT_EQ(f[3].passes, 1);

    for (int i : {4, 7}) {
        EXPECT_EQ(f[i].colors.size(), 2u);
        EXPECT_EQ(f[i].ratios, (std::vector<uint8_t>{0, 255}));
        EXPECT_DOUBLE_EQ(f[i].blurY, 12);
        EXPECT_DOUBLE_EQ(f[i].strength, 1.5);
        EXPECT_TRUE(f[i].knockout);
        EXPECT_EQ(f[i].passes, 2);
    }
    EXPECT_EQ(f[7].type, swf::FilterType::GradientBevel);

    EXPECT_EQ(f[5].matrixX, 3);
    EXPECT_EQ(f[5].matrixY, 2);
    EXPECT_EQ(f[5].divisor, 6.0f);
    EXPECT_EQ(f[5].matrix, (std::vector<float>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(f[5].defaultColor, (swf::RGBA{0x11, 0x22, 0x33, 0x44}));
    EXPECT_TRUE(f[5].clamp);
    EXPECT_FALSE(f[5].preserveAlpha);

    ASSERT_EQ(f[6].matrix.size(), 20u);
    EXPECT_EQ(f[6].matrix[6], 1.0f);
    EXPECT_EQ(f[6].matrix[5], 0.0f);
}

TEST(Filters, ShortOrUnknownFiltersAreErrors) {
    struct Case {
        const char* name;
        swf::Filter f;
    } cases[] = {
        {"unknown type", {9, {}}},
        {"blur cut", {1, {0, 0, 4}}},
        {"convolution matrix beyond data", {5, {200, 200, 0, 0, 0, 0, 0, 0, 0, 0}}},
        {"gradient colours beyond data", {4, {3, 0xFF}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(swf::decodeFilter(c.f).ok());
    }
}
