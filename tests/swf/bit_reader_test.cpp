// Bounded bit reader: field decoding and the error state on reads past the end.
#include <gtest/gtest.h>

#include <cmath>

#include "swf/bit_reader.h"

TEST(BitReader, BitFieldsAreMsbFirstAndSignExtended) {
    // 101 | 11111 | 0000 0001 | 1 ...
    const uint8_t data[] = {0xBF, 0x01, 0x80};
    swf::BitReader r(data);
    EXPECT_EQ(r.ub(3), 5u);
    EXPECT_EQ(r.sb(5), -1);
    EXPECT_EQ(r.ub(8), 1u);
    EXPECT_EQ(r.sb(1), -1);  // a 1-bit signed field holds 0 or -1
    EXPECT_EQ(r.ub(0), 0u);
    EXPECT_TRUE(r.ok());
    // Byte reads drop the partly used byte.
    swf::BitReader r2(data);
    r2.ub(3);
    EXPECT_EQ(r2.u8(), 0x01);
}

TEST(BitReader, ReadsPastTheEndSetTheErrorAndReturnZero) {
    const uint8_t data[] = {0xFF, 0xFF, 0xFF};
    struct Case {
        const char* name;
        void (*read)(swf::BitReader&);
    } cases[] = {
        {"u32", [](swf::BitReader& r) { r.u32(); }},
        {"bits", [](swf::BitReader& r) { r.ub(25); }},
        {"bytes", [](swf::BitReader& r) { r.bytes(4); }},
        {"string without NUL", [](swf::BitReader& r) { r.string(); }},
        {"wider than 32 bits", [](swf::BitReader& r) { r.ub(33); }},
        {"seek", [](swf::BitReader& r) { r.seek(4); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        swf::BitReader r(data);
        c.read(r);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.remaining(), 0u);
        // Later reads stay harmless and return zeros.
        EXPECT_EQ(r.u16(), 0u);
        EXPECT_EQ(r.ub(8), 0u);
        EXPECT_TRUE(r.bytes(1).empty());
    }
}

TEST(BitReader, ScalarEncodings) {
    const uint8_t data[] = {
        0xE5, 0x8E, 0x26,  // EncodedU32 624485
        0x00, 0x3C,        // FLOAT16 0x3C00: exponent 15 with bias 16, so 0.5
        0x00, 0x80,        // 8.8 -128.0
        'h',  'i',  0,     // string
    };
    swf::BitReader r(data);
    EXPECT_EQ(r.encodedU32(), 624485u);
    EXPECT_FLOAT_EQ(r.f16(), 0.5f);
    EXPECT_DOUBLE_EQ(r.fixed8(), -128.0);
    EXPECT_EQ(r.string(), "hi");
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.atEnd());
}
