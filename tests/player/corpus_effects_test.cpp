// Reference pictures of Flash Player for blend modes, filters, cached bitmaps and embedded video: cases of
// the reference corpus that the player renders right, kept as regression tests with the tolerance the
// corpus states for them. Skipped when the corpus is absent.
#include <png.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/player/player_test_util.h"

namespace {

struct ManifestRow {
    std::string swf, expected;
    int frames = 1, tolerance = 0, maxOutliers = 0, width = 0, height = 0;
    bool high = true;
};

bool findRow(const std::string& dir, const std::string& name, ManifestRow& row) {
    std::ifstream in(dir + "/manifest.tsv");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream cols(line);
        std::string c[11];
        for (auto& v : c)
            std::getline(cols, v, '\t');
        if (c[0] != name) continue;
        row = {c[1],
               c[2],
               std::stoi(c[3]),
               std::stoi(c[4]),
               std::stoi(c[5]),
               std::stoi(c[7]),
               std::stoi(c[8]),
               c[6] == "high"};
        return true;
    }
    return false;
}

bool readPng(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(image));
    w = int(image.width);
    h = int(image.height);
    return png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
}

class CorpusEffects : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusEffects, MatchesFlashPlayer) {
    const std::string dir = testswf::corpusDir();
    if (dir.empty()) GTEST_SKIP() << "reference corpus not present (set TOLVIKAN_SHARED)";
    ManifestRow row;
    ASSERT_TRUE(findRow(dir, GetParam(), row)) << GetParam();
    std::ifstream in(dir + "/" + row.swf, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    player::Player p;
    playertest::load(p, bytes);
    for (int f = 1; f < row.frames; ++f)
        p.advance();
    playertest::Picture pic =
        playertest::render(p, row.width, row.height, row.high ? player::Quality::High : player::Quality::Low);
    int w = 0, h = 0;
    std::vector<uint8_t> want;
    ASSERT_TRUE(readPng(dir + "/" + row.expected, w, h, want));
    ASSERT_EQ(w, row.width);
    ASSERT_EQ(h, row.height);
    int outliers = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t got = pic.rgb(x, y);
            const uint8_t* e = &want[(size_t(y) * w + x) * 4];
            const int d[3] = {int(got >> 16) - e[0], int((got >> 8) & 0xff) - e[1], int(got & 0xff) - e[2]};
            for (int v : d)
                outliers += std::abs(v) > row.tolerance;
        }
    }
    EXPECT_LE(outliers, row.maxOutliers) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(References, CorpusEffects,
                         ::testing::Values("ruffle/visual/filters/color_matrix#output",
                                           "ruffle/visual/filters/drop_shadow_scales_with_screen#output",
                                           "ruffle/visual/cache_as_bitmap/contains_grown_filter#output",
                                           "ruffle/visual/blend_modes/overlay_onto_stage#output",
                                           "ruffle/from_shumway/acid/acid-blend-2#output.10",
                                           "swfdec/blend-mode-add-8.swf", "swfdec/blend-mode-inverse-8.swf",
                                           "swfdec/blend-mode-alpha-8.swf", "swfdec/blend-mode-erase-7.swf",
                                           "swfdec/blend-mode-multiply-8.swf",
                                           "ruffle/visual/video/colorconversion/vp6#output",
                                           "ruffle/visual/video/colorconversion/vp6a#output",
                                           "ruffle/visual/video/vp6_alphaoffset#output"));

}  // namespace
