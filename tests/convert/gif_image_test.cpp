// File layout written by TGIFImage: header, logical screen, colour tables, NETSCAPE2.0 looping, Graphic
// Control Extensions, image descriptors, interlaced rows, trailer, and the save failures.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/gif_image.h"
#include "gif_test_util.h"

namespace {

using gif_test::Parse;
using gif_test::Parsed;

// 0x00BBGGRR like the writer's colours.
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;

std::vector<uint8_t> Rgb24(int width, int height, const std::function<uint32_t(int, int)>& colour) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            rgb.insert(rgb.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        }
    return rgb;
}

int AddRgb(TGIFImage& image, int width, int height, const std::function<uint32_t(int, int)>& colour) {
    const std::vector<uint8_t> rgb = Rgb24(width, height, colour);
    return image.AddFrame(rgb.data(), width, height, width * 3, TGIFPixelFormat::RGB24);
}

// Three colours: red (the most pixels), green, blue.
uint32_t ThreeColours(int x, int y) {
    return y == 0 ? (x == 0 ? kBlue : kGreen) : kRed;
}

const gif_test::Extension* FindExtension(const std::vector<gif_test::Extension>& list, uint8_t label) {
    for (const auto& e : list)
        if (e.label == label) return &e;
    return nullptr;
}

TEST(GifImage, SingleThreeColourFrameGivesGif87aWithAFullGlobalTable) {
    TGIFImage image;
    EXPECT_EQ(image.Version(), TGIFVersion::None);
    AddRgb(image, 5, 3, ThreeColours);
    const std::vector<uint8_t> bytes = image.SaveToBytes();
    const Parsed p = Parse(bytes);
    ASSERT_TRUE(p.ok) << p.error;

    EXPECT_EQ(p.signature, "GIF87a");
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 6, bytes.begin() + 13),
              (std::vector<uint8_t>{5, 0, 3, 0, 0xF7, 0, 0}));
    ASSERT_EQ(p.globalTable.size(), 768u);
    EXPECT_EQ(std::vector<uint8_t>(p.globalTable.begin(), p.globalTable.begin() + 9),
              (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255}));
    for (size_t i = 9; i < 768; ++i)
        ASSERT_EQ(p.globalTable[i], 128) << i;
    EXPECT_TRUE(p.leadingExtensions.empty());

    ASSERT_EQ(p.images.size(), 1u);
    const gif_test::Image& im = p.images[0];
    EXPECT_TRUE(im.extensions.empty()) << "no Graphic Control Extension without delay or transparency";
    // The image descriptor starts right after the global table.
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 13 + 768, bytes.begin() + 13 + 768 + 10),
              (std::vector<uint8_t>{0x2C, 0, 0, 0, 0, 5, 0, 3, 0, 0x00}));
    EXPECT_EQ(im.minCodeSize, 8);
    const gif_test::LzwRead lzw = gif_test::ReadLzw(8, im.data);
    ASSERT_TRUE(lzw.ok) << lzw.error;
    EXPECT_EQ(lzw.pixels, (std::vector<uint8_t>{2, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytes.back(), 0x3B);
    EXPECT_FALSE(image.Frame(0).HoldsPicture()) << "the full-colour copy is released once encoded";
}

// Red, blue over red, red: red is index 0 and blue 1, the pixels 0 1 0 0 give the codes clear, 0, 1, 0, 0,
// end in 9 bits each.
TEST(GifImage, TwoByTwoFrameImageDataBytes) {
    TGIFImage image;
    AddRgb(image, 2, 2, [](int x, int y) { return x == 1 && y == 0 ? kBlue : kRed; });
    const std::vector<uint8_t> bytes = image.SaveToBytes();
    const std::vector<uint8_t> tail = {
        0x2C, 0, 0,    0,    0,    2,    0,    2,    0,    0x00,  // image descriptor
        8,    7, 0x00, 0x01, 0x04, 0x00, 0x00, 0x20, 0x20, 0,     // image data
        0x3B};
    ASSERT_EQ(bytes.size(), 13 + 768 + tail.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 13 + 768, bytes.end()), tail);
}

// Later frames carry a local table, even one equal to the global table.
TEST(GifImage, FirstFrameFillsTheGlobalTableLaterFramesCarryLocalTables) {
    TGIFImage image;
    for (int i = 0; i < 3; ++i)
        AddRgb(image, 4, 4, [i](int x, int) { return x == i ? kWhite : kRed; });
    const Parsed p = Parse(image.SaveToBytes());
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.signature, "GIF89a") << "more than one frame";
    ASSERT_EQ(p.images.size(), 3u);
    EXPECT_EQ(p.images[0].packed, 0x00);
    EXPECT_TRUE(p.images[0].localTable.empty());
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(p.images[i].packed, 0x87);
        EXPECT_EQ(p.images[i].localTable, p.globalTable) << "same colours, same order";
    }
}

struct ControlCase {
    const char* name;
    unsigned delay;        // milliseconds
    uint32_t transparent;  // colour
    int disposal;
    bool present;  // a Graphic Control Extension is written
    std::vector<uint8_t> block;
};

// GIF89a Graphic Control Extension: packed (disposal << 2 | transparency flag), delay in hundredths of a
// second rounded down, transparent index (0 when the flag is clear).
TEST(GifImage, GraphicControlExtensionValues) {
    const std::vector<ControlCase> cases = {
        {"nothing set", 0, kGIFColorNone, 0, false, {}},
        {"40 ms", 40, kGIFColorNone, 0, true, {0x00, 4, 0, 0}},
        {"83 ms", 83, kGIFColorNone, 0, true, {0x00, 8, 0, 0}},
        {"5 ms still needs the block", 5, kGIFColorNone, 0, true, {0x00, 0, 0, 0}},
        {"longest delay", 70000, kGIFColorNone, 0, true, {0x00, 0x99, 0x19, 0}},  // 65535 ms -> 6553
        {"transparent green, index 1", 0, kGreen, 0, true, {0x01, 0, 0, 1}},
        {"transparent colour absent", 100, 0x123456, 0, true, {0x00, 10, 0, 0}},
        {"restore to background", 0, kGIFColorNone, 2, true, {0x08, 0, 0, 0}},
        {"grey spare entry matches", 0, 0x808080, 0, true, {0x01, 0, 0, 3}},
    };
    for (const ControlCase& c : cases) {
        TGIFImage image;
        AddRgb(image, 5, 3, ThreeColours);
        image.Frame(0).SetDelay(c.delay);
        image.Frame(0).SetTransparentColor(c.transparent);
        image.Frame(0).SetDisposalMethod(c.disposal);
        const Parsed p = Parse(image.SaveToBytes());
        ASSERT_TRUE(p.ok) << c.name << ": " << p.error;
        EXPECT_EQ(p.signature, c.present ? "GIF89a" : "GIF87a") << c.name;
        const gif_test::Extension* gce = FindExtension(p.images[0].extensions, 0xF9);
        ASSERT_EQ(gce != nullptr, c.present) << c.name;
        if (!gce) continue;
        ASSERT_EQ(gce->subBlocks.size(), 1u) << c.name;
        EXPECT_EQ(gce->subBlocks[0], c.block) << c.name;
    }
}

// Frame 1 holds the transparent colour, frame 2 does not: frame 1 marks its index, frame 2 keeps the block
// (it has a delay) with the flag clear and index 0.
TEST(GifImage, TransparencyIsMarkedOnlyWhereTheFramesPaletteHasTheColour) {
    TGIFImage image;
    // White and blue four pixels each; white is met first (bottom row, from the left), so blue is index 1.
    AddRgb(image, 4, 2, [](int x, int) { return x < 2 ? kWhite : kBlue; });
    AddRgb(image, 4, 2, [](int, int) { return kRed; });
    for (int i = 0; i < 2; ++i) {
        image.Frame(i).SetDelay(40);
        image.Frame(i).SetTransparentColor(kBlue);
    }
    const Parsed p = Parse(image.SaveToBytes());
    ASSERT_TRUE(p.ok) << p.error;
    const auto* first = FindExtension(p.images[0].extensions, 0xF9);
    const auto* second = FindExtension(p.images[1].extensions, 0xF9);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->subBlocks[0], (std::vector<uint8_t>{0x01, 4, 0, 1}));
    EXPECT_EQ(second->subBlocks[0], (std::vector<uint8_t>{0x00, 4, 0, 0}));
    EXPECT_EQ(image.Frame(0).TransparentIndex(), 1);
    EXPECT_EQ(image.Frame(1).TransparentIndex(), -1);
}

struct LoopCase {
    const char* name;
    bool looping;
    unsigned repeat;
    int frames;
    int written;  // -1: no application extension
};

TEST(GifImage, NetscapeLoopingExtension) {
    const std::vector<LoopCase> cases = {
        {"forever", true, 0, 2, 0},
        {"default count", true, 1, 3, 1},
        {"cut to 30000", true, 40000, 2, 30000},
        {"largest 16-bit count", true, 65535, 2, 30000},
        {"not looping", false, 5, 2, -1},
        {"single frame", true, 0, 1, -1},
    };
    for (const LoopCase& c : cases) {
        TGIFImage image;
        for (int i = 0; i < c.frames; ++i)
            AddRgb(image, 2, 2, ThreeColours);
        image.SetLooping(c.looping);
        if (c.repeat != 1) image.SetRepeatCount(c.repeat);
        const std::vector<uint8_t> bytes = image.SaveToBytes();
        const Parsed p = Parse(bytes);
        ASSERT_TRUE(p.ok) << c.name << ": " << p.error;
        const gif_test::Extension* app = FindExtension(p.leadingExtensions, 0xFF);
        ASSERT_EQ(app != nullptr, c.written >= 0) << c.name;
        if (!app) continue;
        // Right after the global table: 21 FF 0B "NETSCAPE2.0" 03 01 count-lo count-hi 00.
        std::vector<uint8_t> expected = {0x21,
                                         0xFF,
                                         11,
                                         'N',
                                         'E',
                                         'T',
                                         'S',
                                         'C',
                                         'A',
                                         'P',
                                         'E',
                                         '2',
                                         '.',
                                         '0',
                                         3,
                                         1,
                                         uint8_t(c.written),
                                         uint8_t(c.written >> 8),
                                         0};
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 13 + 768, bytes.begin() + 13 + 768 + 19), expected)
            << c.name;
    }
}

struct BackgroundCase {
    const char* name;
    uint32_t colour;
    int index;
};

TEST(GifImage, BackgroundIndexIsTheFirstEqualGlobalEntryElseZero) {
    const std::vector<BackgroundCase> cases = {
        {"none", kGIFColorNone, 0},
        {"blue in the table", kBlue, 2},
        {"white not in the table", kWhite, 0},
        {"grey spare entry", 0x808080, 3},
    };
    for (const BackgroundCase& c : cases) {
        TGIFImage image;
        AddRgb(image, 5, 3, ThreeColours);
        image.SetBackgroundColor(c.colour);
        const std::vector<uint8_t> bytes = image.SaveToBytes();
        EXPECT_EQ(bytes[11], c.index) << c.name;
    }
}

TEST(GifImage, ScreenIsTheLargestFrame) {
    TGIFImage image;
    AddRgb(image, 300, 2, ThreeColours);
    AddRgb(image, 2, 260, ThreeColours);
    const Parsed p = Parse(image.SaveToBytes());
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.width, 300);
    EXPECT_EQ(p.height, 260);
}

// Every row coloured by its number; the decoded code stream must list the rows in GIF's interlace order.
TEST(GifImage, InterlacedFramesWriteRowsInTheFourPasses) {
    TGIFImage image;
    const int height = 19;
    for (int f = 0; f < 2; ++f) {
        AddRgb(image, 3, height, [](int, int y) { return static_cast<uint32_t>(y * 10) << 8; });
        image.Frame(f).SetInterlaced(true);
    }
    const Parsed p = Parse(image.SaveToBytes());
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.images[0].packed, 0x40);
    EXPECT_EQ(p.images[1].packed, 0xC7);
    const gif_test::LzwRead lzw = gif_test::ReadLzw(8, p.images[0].data);
    ASSERT_TRUE(lzw.ok) << lzw.error;
    std::vector<int> rows;
    for (size_t i = 0; i < lzw.pixels.size(); i += 3) {
        const uint8_t green = p.globalTable[static_cast<size_t>(lzw.pixels[i]) * 3 + 1];
        rows.push_back(green / 10);
    }
    EXPECT_EQ(rows, (std::vector<int>{0, 8, 16, 4, 12, 2, 6, 10, 14, 18, 1, 3, 5, 7, 9, 11, 13, 15, 17}));
}

TEST(GifImage, PixelLayoutsGiveTheSameFile) {
    const int w = 7, h = 5;
    auto colour = [](int x, int y) {
        return static_cast<uint32_t>(x * 30 | (y * 50) << 8 | (x + y) * 20 << 16);
    };
    const std::vector<uint8_t> rgb = Rgb24(w, h, colour);
    const int stride3 = w * 3 + 5, stride4 = w * 4 + 8;
    std::vector<uint8_t> bgr(static_cast<size_t>(stride3 * h), 0xEE),
        xrgb(static_cast<size_t>(stride4 * h), 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = &rgb[static_cast<size_t>((y * w + x) * 3)];
            uint8_t* b = &bgr[static_cast<size_t>(y * stride3 + x * 3)];
            b[0] = s[2], b[1] = s[1], b[2] = s[0];
            const uint32_t word = 0x7F000000u | uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
            std::memcpy(&xrgb[static_cast<size_t>(y * stride4 + x * 4)], &word, 4);
        }
    TGIFImage a, b, c;
    a.AddFrame(rgb.data(), w, h, w * 3, TGIFPixelFormat::RGB24);
    b.AddFrame(bgr.data(), w, h, stride3, TGIFPixelFormat::BGR24);
    c.AddFrame(xrgb.data(), w, h, stride4, TGIFPixelFormat::XRGB32);
    const std::vector<uint8_t> expected = a.SaveToBytes();
    EXPECT_EQ(b.SaveToBytes(), expected);
    EXPECT_EQ(c.SaveToBytes(), expected);
}

// Encoding each frame as soon as it is added (to hold only compressed data) gives the same file.
TEST(GifImage, EncodingAsFramesArriveGivesTheSameFile) {
    TGIFImage late, early;
    for (int i = 0; i < 3; ++i) {
        for (TGIFImage* image : {&late, &early}) {
            const int index =
                AddRgb(*image, 6, 4, [i](int x, int y) { return x == i ? kWhite : (y ? kRed : kGreen); });
            image->Frame(index).SetDelay(50);
            image->Frame(index).SetTransparentColor(kGreen);
        }
        early.EncodeAll();
    }
    for (TGIFImage* image : {&late, &early}) {
        image->SetLooping(true);
        image->SetRepeatCount(0);
        image->SetBackgroundColor(kRed);
    }
    EXPECT_EQ(early.SaveToBytes(), late.SaveToBytes());
}

// Past the memory limit the compressed frames move to a temporary file; the file written is the same, from
// SaveToBytes and from SaveToFile, whatever the limit.
TEST(GifImage, FramesPastTheMemoryLimitGiveTheSameFile) {
    auto fill = [](TGIFImage& image) {
        for (int i = 0; i < 6; ++i) {
            const int index = AddRgb(image, 40, 30, [i](int x, int y) {
                return (x + i) % 7 == 0 ? kWhite : ((x * y + i) % 5 ? kRed : kBlue);
            });
            image.Frame(index).SetDelay(40);
            image.Frame(index).SetInterlaced(i % 2 == 1);
            image.EncodeAll();
        }
        image.SetLooping(true);
    };
    TGIFImage reference;
    fill(reference);
    const std::vector<uint8_t> expected = reference.SaveToBytes();
    EXPECT_EQ(reference.EncodedBytesSpilled(), 0u);

    const size_t frameSize = reference.Frame(0).EncodedSize();
    uint64_t encodedTotal = 0;
    for (int i = 0; i < reference.FrameCount(); ++i)
        encodedTotal += reference.Frame(i).EncodedSize();
    for (const size_t limit : {size_t{0}, frameSize * 2 + 1}) {
        TGIFImage image;
        image.SetMemoryLimit(limit);
        fill(image);
        EXPECT_LE(image.EncodedBytesInMemory(), limit) << "limit " << limit;
        EXPECT_GT(image.EncodedBytesSpilled(), 0u) << "limit " << limit;
        EXPECT_EQ(image.EncodedBytesInMemory() + image.EncodedBytesSpilled(), encodedTotal);
        EXPECT_EQ(image.SaveToBytes(), expected) << "limit " << limit;
        const std::string path = gif_test::TempPath("spilled.gif");
        image.SaveToFile(path);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<uint8_t> written(expected.size() + 1);
        written.resize(std::fread(written.data(), 1, written.size(), f));
        std::fclose(f);
        std::filesystem::remove(path);
        EXPECT_EQ(written, expected) << "limit " << limit;
    }
}

// Frames encoded on the image's own thread while more are added give the same file, within the memory limit
// or past it; an image destroyed with frames still waiting for that thread goes away cleanly.
TEST(GifImage, EncodingInTheBackgroundGivesTheSameFile) {
    auto fill = [](TGIFImage& image, bool background) {
        for (int i = 0; i < 12; ++i) {
            const int index = AddRgb(image, 48, 32, [i](int x, int y) {
                return (x * 3 + y + i) % 11 < 4 ? kBlue : (x + i) % 5 ? kRed : kWhite;
            });
            image.Frame(index).SetDelay(30 + i);
            image.Frame(index).SetInterlaced(i % 3 == 0);
            if (background) image.EncodeInBackground();
        }
        image.SetLooping(true);
    };
    TGIFImage reference;
    fill(reference, false);
    const std::vector<uint8_t> expected = reference.SaveToBytes();
    for (const size_t limit : {TGIFImage::kDefaultMemoryLimit, size_t{0}}) {
        TGIFImage image;
        image.SetMemoryLimit(limit);
        fill(image, true);
        EXPECT_EQ(image.SaveToBytes(), expected) << "limit " << limit;
        EXPECT_EQ(image.EncodedBytesSpilled() > 0, limit == 0);
    }
    {
        TGIFImage dropped;
        fill(dropped, true);
    }
}

TEST(GifImage, SaveFailures) {
    TGIFImage empty;
    const std::string path = gif_test::TempPath("never_written.gif");
    std::filesystem::remove(path);
    try {
        empty.SaveToFile(path);
        ADD_FAILURE() << "saving without frames must fail";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No GIF Data to write");
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    TGIFImage image;
    AddRgb(image, 2, 2, ThreeColours);
    const std::string bad = gif_test::TempPath("no_such_folder/out.gif");
    try {
        image.SaveToFile(bad);
        ADD_FAILURE() << "saving into a missing folder must fail";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + bad);
    }

    // A good save replaces an existing file.
    const std::string good = gif_test::TempPath("replaced.gif");
    {
        std::FILE* f = std::fopen(good.c_str(), "wb");
        std::fputs("old contents that are longer than the GIF", f);
        std::fclose(f);
    }
    image.SaveToFile(good);
    EXPECT_EQ(std::filesystem::file_size(good), image.SaveToBytes().size());
    std::filesystem::remove(good);
}

TEST(GifImage, RefusesPicturesAndSettingsGifCannotHold) {
    TGIFImage image;
    const std::vector<uint8_t> pixels(300, 0);
    EXPECT_THROW(image.AddFrame(pixels.data(), 0, 1, 3, TGIFPixelFormat::RGB24), std::invalid_argument);
    EXPECT_THROW(image.AddFrame(pixels.data(), 1, 70000, 3, TGIFPixelFormat::RGB24), std::invalid_argument);
    EXPECT_THROW(image.AddFrame(nullptr, 1, 1, 3, TGIFPixelFormat::RGB24), std::invalid_argument);
    EXPECT_THROW(image.AddFrame(pixels.data(), 10, 1, 20, TGIFPixelFormat::RGB24), std::invalid_argument);
    EXPECT_EQ(image.FrameCount(), 0);
    image.AddFrame(pixels.data(), 1, 1, 3, TGIFPixelFormat::RGB24);
    EXPECT_THROW(image.Frame(0).SetDisposalMethod(8), std::invalid_argument);
    image.EncodeAll();
    EXPECT_THROW(image.Frame(0).SetInterlaced(true), std::logic_error) << "data already in top-down order";
}

}  // namespace
