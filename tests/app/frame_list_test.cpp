#include "app/frame_list.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameList, AcceptsListsRangesAndMixes) {
    struct Case {
        const char* text;
        std::vector<int> frames;
    } cases[] = {
        {"1", {1}},
        {"1,5,20", {1, 5, 20}},
        {"1-4", {1, 2, 3, 4}},
        {"3-3", {3}},
        {"1-3,8,10-11", {1, 2, 3, 8, 10, 11}},
    };
    for (const auto& c : cases) {
        std::string err;
        auto got = cli::parseFrameList(c.text, &err);
        ASSERT_TRUE(got) << c.text << ": " << err;
        EXPECT_EQ(*got, c.frames) << c.text;
    }
}

TEST(FrameList, RejectsMalformedInputWithAReason) {
    for (const char* text : {"", "0", "-1", "5-2", "1,,2", "a", "1-", "1-x", "2,", "99999999999"}) {
        std::string err;
        EXPECT_FALSE(cli::parseFrameList(text, &err)) << text;
        EXPECT_FALSE(err.empty()) << text;
    }
    std::string err;
    EXPECT_FALSE(cli::parseFrameList("1-2000000", &err, 1000))
        << "a huge range must not allocate without bound";
}

TEST(FrameList, SizeAndColour) {
    EXPECT_EQ(cli::parseSize("640x480"), std::make_pair(640, 480));
    EXPECT_EQ(cli::parseSize("1X2"), std::make_pair(1, 2));
    for (const char* bad : {"640", "0x480", "x", "640x", "-5x5", "5x5x5"})
        EXPECT_FALSE(cli::parseSize(bad)) << bad;
    EXPECT_EQ(cli::parseColor("FF8000"), 0xFF8000u);
    EXPECT_EQ(cli::parseColor("#00ff7f"), 0x00FF7Fu);
    for (const char* bad : {"FFF", "GG0000", "FF80001"})
        EXPECT_FALSE(cli::parseColor(bad)) << bad;
}

}  // namespace
