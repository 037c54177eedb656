// Value encodings and INI syntax of the task-list file.
#include <gtest/gtest.h>

#include "tasks/ini_file.h"
#include "tasks/ini_values.h"

namespace {

TEST(IniValues, Integers) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0", 0},
        {"42", 42},
        {"-42", -42},
        {"+7", 7},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1F", 31},
        {"$ff", 255},
        {"-$10", -16},
        {"-0x10", -16},
        {"$FFFFFFFF", -1},
        {"0x80000000", INT32_MIN},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},
        {"  12", 12},
        {"12 ", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"1.5", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"0xG", std::nullopt},
        {"-", std::nullopt},
        {"12abc", std::nullopt},
        {"007", 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseIniInt(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(FormatIniInt(-5), "-5");
    EXPECT_EQ(FormatIniInt(INT32_MIN), "-2147483648");
}

TEST(IniValues, SplitSizeWithEitherSeparator) {
    EXPECT_EQ(FormatIniFloat(74.0, "."), "74");
    EXPECT_EQ(FormatIniFloat(2.5, "."), "2.5");
    EXPECT_EQ(FormatIniFloat(2.5, ","), "2,5");
    EXPECT_EQ(FormatIniFloat(0.1, "."), "0.1");
    EXPECT_EQ(FormatIniFloat(1.0 / 3.0, "."), "0.333333333333333");  // 15 significant digits
    EXPECT_EQ(FormatIniFloat(-0.75, ","), "-0,75");

    EXPECT_EQ(ParseIniFloat("2.5", "."), 2.5);
    EXPECT_EQ(ParseIniFloat("2,5", ","), 2.5);
    EXPECT_EQ(ParseIniFloat("74", ","), 74.0);
    EXPECT_EQ(ParseIniFloat(",5", ","), 0.5);
    EXPECT_EQ(ParseIniFloat("1,5E2", ","), 150.0);
    EXPECT_EQ(ParseIniFloat(" 3.25 ", "."), 3.25);
    EXPECT_EQ(ParseIniFloat("2.5", ","), std::nullopt);  // written where the separator is a point
    EXPECT_EQ(ParseIniFloat("2,5", "."), std::nullopt);
    EXPECT_EQ(ParseIniFloat("", "."), std::nullopt);
    EXPECT_EQ(ParseIniFloat(".", "."), std::nullopt);
    EXPECT_EQ(ParseIniFloat("1e", "."), std::nullopt);
    EXPECT_EQ(ParseIniFloat("nan", "."), std::nullopt);
    EXPECT_EQ(ParseIniFloat("1e999", "."), std::nullopt);
    EXPECT_EQ(ParseIniFloat("1,000.5", "."), std::nullopt);

    // Every value comes back exactly with its own separator.
    for (double v : {0.0, 74.0, 2.5, 0.1, 123456.789, 1e-7, 99999999999999.9})
        for (const char* sep : {".", ",", "\xD9\xAB"})  // the last is the Arabic decimal separator
            EXPECT_EQ(ParseIniFloat(FormatIniFloat(v, sep), sep), v) << v << " " << sep;
}

TEST(IniValues, Colours) {
    EXPECT_EQ(FormatIniColor(0x00FFFFFF), "00FFFFFF");
    EXPECT_EQ(FormatIniColor(0x0000A0B1), "0000A0B1");
    EXPECT_EQ(FormatIniColor(0x1FFFFFFF), "1FFFFFFF");
    EXPECT_EQ(ParseIniColor("00FFFFFF"), 0x00FFFFFFu);
    EXPECT_EQ(ParseIniColor("ff"), 0xFFu);
    EXPECT_EQ(ParseIniColor("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseIniColor(""), std::nullopt);
    EXPECT_EQ(ParseIniColor("white"), std::nullopt);
    EXPECT_EQ(ParseIniColor("0x00FF"), std::nullopt);
    EXPECT_EQ(ParseIniColor("$00FF"), std::nullopt);
    EXPECT_EQ(ParseIniColor("100000000"), std::nullopt);
    EXPECT_EQ(ParseIniColor(" 00FF"), std::nullopt);
}

TEST(IniFile, WritesSectionsAndEntriesInFirstWrittenOrderWithCrLf) {
    TIniFile ini;
    ini.write("General", "ID", "Tolvikan");
    ini.write("Task0", "b", "2");
    ini.write("General", "TaskCount", "1");
    ini.write("task0", "A", "1");
    ini.write("TASK0", "B", "3");  // existing key, other case: replaced in place
    EXPECT_EQ(ini.text(), "[General]\r\nID=Tolvikan\r\nTaskCount=1\r\n\r\n[Task0]\r\nb=3\r\nA=1\r\n\r\n");
    EXPECT_EQ(TIniFile().text(), "");
}

TEST(IniFile, ReadsAsTheSpecSays) {
    const std::string text =
        "stray=before any section\r\n"
        "[General]\r\n"
        "\x1A\r\n"
        "ID=x\r\n"
        " padded = kept\r\n"
        "novalue\r\n"
        "empty=\r\n"
        "eq=a=b\r\n"
        "dup=first\r\n"
        "dup=second\r\n"
        "\r\n"
        "[ Spaced ]\r\n"
        "k=v\r\n"
        "[general]\n"
        "ID=second section\n"
        "[LfOnly]\n"
        "k=lf\n"
        "\x1A";
    TIniFile ini = TIniFile::Parse(text);
    EXPECT_EQ(ini.read("General", "stray"), std::nullopt);
    EXPECT_EQ(ini.read("GENERAL", "id"), "x");  // the first section of that name
    EXPECT_EQ(ini.read("General", " padded "), " kept");
    EXPECT_EQ(ini.read("General", "padded"), std::nullopt);  // lines are not trimmed
    EXPECT_EQ(ini.read("General", "novalue"), std::nullopt);
    EXPECT_EQ(ini.read("General", "empty"), "");
    EXPECT_EQ(ini.read("General", "eq"), "a=b");
    EXPECT_EQ(ini.read("General", "dup"), "first");
    EXPECT_EQ(ini.read(" Spaced ", "K"), "v");
    EXPECT_EQ(ini.read("Spaced", "k"), std::nullopt);
    EXPECT_EQ(ini.read("lfonly", "k"), "lf");
    EXPECT_EQ(ini.read("Missing", "k"), std::nullopt);
}

}  // namespace
