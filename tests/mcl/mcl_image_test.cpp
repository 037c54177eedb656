// Still images of the media library: bitmaps copied into images, the alpha channel, and each file format
// written by MclImgSaveSingle and decoded again by FFmpeg (libavformat's image demuxer and libavcodec), so
// the files are checked by a reader that shares no code with the writer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "mcl/mcl.h"
#include "mcl_test_video.h"

namespace {

namespace fs = std::filesystem;
using mcl_test::ReadResult;
using mcl_test::TempDir;

const bool kQuiet = (mcl_test::QuietFfmpegInfo(), true);

// A 24-bit bitmap of gradients in blue and green and 4 x 4 blocks with a little noise in red: the flat
// areas and hard edges of a movie frame, and bytes that differ from pixel to pixel.
TDib ColourBitmap(int w, int h) {
    TDib dib(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = dib.scanLine(y) + x * 3;
            p[0] = uint8_t(x * 255 / std::max(1, w - 1));
            p[1] = uint8_t(y * 255 / std::max(1, h - 1));
            p[2] = uint8_t(((x / 4 + y / 4) % 2) * 160 + 40 + (x * 7 + y * 13) % 5);
        }
    return dib;
}

TDib AlphaBitmap(int w, int h) {
    TDib dib(w, h, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            dib.scanLine(y)[x] = uint8_t(x * 31 + y * 17);
    return dib;
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

// An image handle freed with the scope.
struct Image {
    Image() : h(MclImgAlloc()) {}
    ~Image() { MclImgFree(h); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    MclImageHandle h;
};

// Mean absolute difference of the colour bytes between the bitmap and the decoded BGRA picture.
double MeanError(const TDib& dib, const mcl_test::Picture& pic) {
    double sum = 0;
    for (int y = 0; y < dib.height(); ++y)
        for (int x = 0; x < dib.width(); ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(dib.scanLine(y)[x * 3 + c]) -
                                int(pic.pixels[(size_t(y) * pic.width + x) * 4 + c]));
    return sum / (double(dib.width()) * dib.height() * 3);
}

TEST(MclImage, BitmapRowsArePaddedToFourBytes) {
    struct Case {
        int w, h, bits, stride;
        bool empty;
    } cases[] = {
        {5, 3, 24, 16, false}, {5, 3, 8, 8, false},  {4, 2, 24, 12, false}, {1, 1, 8, 4, false},
        {0, 3, 24, 0, true},   {5, -1, 24, 0, true}, {5, 3, 32, 16, false},  // any other depth is 24
    };
    for (const Case& c : cases) {
        TDib dib(c.w, c.h, c.bits);
        EXPECT_EQ(dib.stride(), c.stride) << c.w << "x" << c.h << "x" << c.bits;
        EXPECT_EQ(dib.empty(), c.empty) << c.w << "x" << c.h << "x" << c.bits;
    }
    TDib dib(5, 3, 24);
    dib.setFormat(8);
    EXPECT_EQ(dib.width(), 5) << "a new format keeps the size";
    EXPECT_EQ(dib.stride(), 8);
    EXPECT_THROW(dib.setSize(0x7FFFFFFF, 1), std::length_error) << "a row an int cannot address";
    EXPECT_TRUE(dib.empty());
}

TEST(MclImage, EachFormatRoundTripsThroughADecoder) {
    struct Case {
        const char* name;
        bool alpha;           // an alpha channel is attached
        bool keepsAlpha;      // and the format stores it
        bool exact;           // lossless
        const char* decoder;  // FFmpeg's codec for the file
    } cases[] = {
        {"a.png", false, false, true, "png"},    {"b.png", true, true, true, "png"},
        {"c.TGA", false, false, true, "targa"},  {"d.tga", true, true, true, "targa"},
        {"e.bmp", true, false, true, "bmp"},     {"f.Jpeg", true, false, false, "mjpeg"},
        {"g.jpg", false, false, false, "mjpeg"},
    };
    TempDir dir;
    // Widths 1, 5 and 7 pad their bitmap rows (3, 15 and 21 bytes to 4, 16 and 24); 64 does not.
    for (int w : {1, 5, 7, 64}) {
        const int h = 9;
        const TDib colour = ColourBitmap(w, h);
        const TDib alpha = AlphaBitmap(w, h);
        for (const Case& c : cases) {
            const std::string what = std::string(c.name) + " width " + std::to_string(w);
            Image image, alphaImage;
            ASSERT_NE(MclDIBToImg(image.h, colour), 0);
            if (c.alpha) {
                ASSERT_NE(MclDIBToImg(alphaImage.h, alpha), 0);
                ASSERT_NE(MclImgAddAlpha(image.h, alphaImage.h), 0);
            }
            const fs::path path = dir.path() / (std::to_string(w) + c.name);
            ASSERT_NE(MclImgSaveSingle(image.h, path.string(), 95), 0) << what;

            ReadResult read = mcl_test::ReadVideo(path, true);
            ASSERT_TRUE(read.ok) << what << ": " << read.error;
            EXPECT_EQ(read.codecName, c.decoder) << what;
            ASSERT_EQ(read.pictures.size(), 1u) << what;
            const mcl_test::Picture& pic = read.pictures[0];
            ASSERT_EQ(pic.width, w) << what;
            ASSERT_EQ(pic.height, h) << what;
            if (c.exact) {
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const uint8_t* want = colour.scanLine(y) + x * 3;
                        const uint8_t* got = &pic.pixels[(size_t(y) * w + x) * 4];
                        ASSERT_EQ(got[0], want[0]) << what << " blue at " << x << "," << y;
                        ASSERT_EQ(got[1], want[1]) << what << " green at " << x << "," << y;
                        ASSERT_EQ(got[2], want[2]) << what << " red at " << x << "," << y;
                        ASSERT_EQ(got[3], c.keepsAlpha ? alpha.scanLine(y)[x] : 255)
                            << what << " alpha at " << x << "," << y;
                    }
            } else {
                EXPECT_LT(MeanError(colour, pic), 12.0) << what;
            }
        }
    }
}

TEST(MclImage, HeadersStateTheDepthEachFormatStores) {
    TempDir dir;
    const TDib colour = ColourBitmap(6, 4);
    const TDib alpha = AlphaBitmap(6, 4);
    for (bool withAlpha : {false, true}) {
        Image image, alphaImage;
        MclDIBToImg(image.h, colour);
        if (withAlpha) {
            MclDIBToImg(alphaImage.h, alpha);
            MclImgAddAlpha(image.h, alphaImage.h);
        }
        const std::string tag = withAlpha ? "alpha" : "plain";
        for (const char* ext : {".png", ".tga", ".bmp"})
            ASSERT_NE(MclImgSaveSingle(image.h, (dir.path() / (tag + ext)).string(), MclDefault), 0) << ext;
        const auto png = ReadBytes(dir.path() / (tag + ".png"));
        const auto tga = ReadBytes(dir.path() / (tag + ".tga"));
        const auto bmp = ReadBytes(dir.path() / (tag + ".bmp"));
        ASSERT_GT(png.size(), 26u);
        ASSERT_GT(tga.size(), 18u);
        ASSERT_GT(bmp.size(), 30u);
        EXPECT_EQ(png[24], 8) << tag << ": 8 bits a channel";
        EXPECT_EQ(png[25], withAlpha ? 6 : 2) << tag << ": PNG colour type RGBA or RGB";
        EXPECT_EQ(tga[16], withAlpha ? 32 : 24) << tag << ": TGA pixel depth";
        EXPECT_EQ(tga[17] & 0x0F, withAlpha ? 8 : 0) << tag << ": TGA alpha bits in the image descriptor";
        EXPECT_EQ(bmp[28], 24) << tag << ": BMP stays 24-bit";
        EXPECT_EQ(bmp.size(), 54u + 4 * 20) << tag << ": rows of 18 bytes padded to 20";
    }
}

TEST(MclImage, JpegQualityTradesSizeForError) {
    TempDir dir;
    const TDib colour = ColourBitmap(96, 64);
    Image image;
    ASSERT_NE(MclDIBToImg(image.h, colour), 0);
    struct Result {
        uint32_t quality;
        uintmax_t size = 0;
        double error = 0;
    } results[] = {{10}, {95}, {MclDefault}};
    for (Result& r : results) {
        const fs::path path = dir.path() / ("q" + std::to_string(r.quality) + ".jpg");
        ASSERT_NE(MclImgSaveSingle(image.h, path.string(), r.quality), 0) << r.quality;
        ReadResult read = mcl_test::ReadVideo(path, true);
        ASSERT_TRUE(read.ok && read.pictures.size() == 1) << r.quality << ": " << read.error;
        r.size = fs::file_size(path);
        r.error = MeanError(colour, read.pictures[0]);
    }
    EXPECT_LT(results[0].size, results[1].size);
    EXPECT_GT(results[0].error, results[1].error * 2) << "quality 10 must look clearly worse than 95";
    EXPECT_LT(results[2].error, results[0].error) << "the default quality is not a low one";
}

TEST(MclImage, GreyBitmapBecomesAGreyPicture) {
    TDib grey(5, 3, 8);  // rows of 5 bytes padded to 8
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            grey.scanLine(y)[x] = uint8_t(40 * x + y);
    Image image;
    ASSERT_NE(MclDIBToImg(image.h, grey), 0);
    EXPECT_EQ(MclImgWidth(image.h), 5);
    EXPECT_EQ(MclImgHeight(image.h), 3);
    EXPECT_FALSE(MclImgHasAlpha(image.h));

    TempDir dir;
    const fs::path path = dir.path() / "grey.bmp";
    ASSERT_NE(MclImgSaveSingle(image.h, path.string(), MclDefault), 0);
    ReadResult read = mcl_test::ReadVideo(path, true);
    ASSERT_TRUE(read.ok && read.pictures.size() == 1) << read.error;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(read.pictures[0].pixels[(size_t(y) * 5 + x) * 4 + c], 40 * x + y) << x << "," << y;
}

TEST(MclImage, AlphaChannelNeedsAnImageOfTheSameSize) {
    Image image, small, same;
    ASSERT_NE(MclDIBToImg(image.h, ColourBitmap(8, 8)), 0);
    ASSERT_NE(MclDIBToImg(small.h, AlphaBitmap(8, 7)), 0);
    ASSERT_NE(MclDIBToImg(same.h, AlphaBitmap(8, 8)), 0);

    EXPECT_EQ(MclImgAddAlpha(image.h, small.h), 0);
    EXPECT_FALSE(MclImgHasAlpha(image.h)) << "a refused channel leaves the image as it was";
    EXPECT_EQ(MclImgAddAlpha(image.h, nullptr), 0);
    EXPECT_EQ(MclImgAddAlpha(nullptr, same.h), 0);
    EXPECT_NE(MclImgAddAlpha(image.h, same.h), 0);
    EXPECT_TRUE(MclImgHasAlpha(image.h));

    // The next frame's bitmap replaces the picture, and the channel with it.
    ASSERT_NE(MclDIBToImg(image.h, ColourBitmap(8, 8)), 0);
    EXPECT_FALSE(MclImgHasAlpha(image.h));

    EXPECT_EQ(MclDIBToImg(image.h, TDib()), 0) << "an empty bitmap gives no picture";
    EXPECT_EQ(MclImgWidth(image.h), 0);
    EXPECT_EQ(MclImgWidth(nullptr), 0);
    EXPECT_FALSE(MclImgHasAlpha(nullptr));
}

TEST(MclImage, FailedSavesLeaveNothingBehindAndKeepTheOldFile) {
    TempDir dir;
    Image image, empty;
    ASSERT_NE(MclDIBToImg(image.h, ColourBitmap(4, 4)), 0);

    struct Case {
        const char* what;
        MclImageHandle image;
        std::string name;
    } cases[] = {
        {"missing folder", image.h, "no/such/folder/x.png"},
        {"unknown extension", image.h, "x.gif"},
        {"no extension", image.h, "x"},
        {"empty image", empty.h, "empty.png"},
        {"null image", nullptr, "null.png"},
        {"name of a folder", image.h, "folder.png"},
        {"folder that is a file", image.h, "file/x.png"},
    };
    fs::create_directory(dir.path() / "folder.png");
    std::ofstream(dir.path() / "file") << "not a folder";
    for (const Case& c : cases) {
        EXPECT_EQ(MclImgSaveSingle(c.image, (dir.path() / c.name).string(), MclDefault), 0) << c.what;
        EXPECT_EQ(Entries(dir.path()).size(), 2u) << c.what << ": nothing left behind";
    }
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder.png"));

    // A write that fails half-way (TGA holds 16-bit sizes) leaves the file of that name as it was.
    const fs::path old = dir.path() / "old.tga";
    std::ofstream(old) << "earlier picture";
    TDib wide(70000, 1, 24);
    Image wideImage;
    ASSERT_NE(MclDIBToImg(wideImage.h, wide), 0);
    EXPECT_EQ(MclImgSaveSingle(wideImage.h, old.string(), MclDefault), 0);
    const auto bytes = ReadBytes(old);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "earlier picture");
    EXPECT_EQ(Entries(dir.path()).size(), 3u) << "no temporary file left";

    // A name at the file system's length limit leaves no room for a longer temporary name.
    const std::string longName = std::string(251, 'n') + ".bmp";
    EXPECT_NE(MclImgSaveSingle(image.h, (dir.path() / longName).string(), MclDefault), 0);
    EXPECT_TRUE(fs::exists(dir.path() / longName));
    fs::remove(dir.path() / longName);

    // An existing file is replaced by a successful save.
    ASSERT_NE(MclImgSaveSingle(image.h, old.string(), MclDefault), 0);
    ReadResult read = mcl_test::ReadVideo(old, true);
    EXPECT_TRUE(read.ok && read.pictures.size() == 1 && read.pictures[0].width == 4) << read.error;
    EXPECT_EQ(Entries(dir.path()).size(), 3u);
}

TEST(MclImage, ReadOnlyFolderRefusesTheSave) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser writes into read-only folders";
    TempDir dir;
    const fs::path folder = dir.path() / "locked";
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0555);
    Image image;
    ASSERT_NE(MclDIBToImg(image.h, ColourBitmap(4, 4)), 0);
    EXPECT_EQ(MclImgSaveSingle(image.h, (folder / "x.png").string(), MclDefault), 0);
    EXPECT_TRUE(Entries(folder).empty());
    ::chmod(folder.c_str(), 0755);
}

TEST(MclImage, SavedFilesFollowTheUmask) {
    TempDir dir;
    Image image;
    ASSERT_NE(MclDIBToImg(image.h, ColourBitmap(4, 4)), 0);
    const mode_t previous = ::umask(022);
    const fs::path path = dir.path() / "x.bmp";
    const int32_t ok = MclImgSaveSingle(image.h, path.string(), MclDefault);
    ::umask(previous);
    ASSERT_NE(ok, 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "readable by others like any file the user saves";
}

}  // namespace
