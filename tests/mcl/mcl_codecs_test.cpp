// MclCodecsInit / MclCodecsGetInfo: what the list holds and how the calls treat bad arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "mcl/mcl_codec_catalog.h"
#include "mcl/mcl_codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

constexpr int32_t kUncompressedID = 0;
constexpr int32_t kH264ID = static_cast<int32_t>(MclFourCC('H', '2', '6', '4'));
constexpr int32_t kXvidID = static_cast<int32_t>(MclFourCC('X', 'V', 'I', 'D'));
constexpr int32_t kMsVideo1ID = static_cast<int32_t>(MclFourCC('M', 'S', 'V', 'C'));
constexpr int32_t kCinepakID = static_cast<int32_t>(MclFourCC('c', 'v', 'i', 'd'));

std::vector<TMclCodecInfo> ListOf(int fileFmtID, int width, int height, int bits = 24) {
    const int n = MclCodecsInit(fileFmtID, width, height, bits);
    std::vector<TMclCodecInfo> list;
    for (int i = 1; i <= n; ++i) {
        TMclCodecInfo info;
        std::memset(&info, 0, sizeof info);
        EXPECT_EQ(MclCodecsGetInfo(fileFmtID, &info, i), 0) << "index " << i;
        list.push_back(info);
    }
    return list;
}

bool Lists(const std::vector<TMclCodecInfo>& list, int32_t codecID) {
    for (const TMclCodecInfo& info : list) {
        if (info.codecID == codecID) return true;
    }
    return false;
}

std::string NameOf(const TMclCodecInfo& info) {
    return std::string(info.codecName, strnlen(info.codecName, sizeof info.codecName));
}

bool FfmpegHas(const char* encoder) {
    return avcodec_find_encoder_by_name(encoder) != nullptr;
}

struct Size {
    int width;
    int height;
};

TEST(MclCodecs, UncompressedIsAlwaysFirst) {
    for (const Size size : {Size{64, 48}, Size{65, 49}, Size{1, 1}, Size{550, 400}, Size{1920, 1080}}) {
        for (const int bits : {24, 32}) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + "x" +
                         std::to_string(bits));
            const std::vector<TMclCodecInfo> list = ListOf(kMclFormatAVI, size.width, size.height, bits);
            ASSERT_FALSE(list.empty());
            EXPECT_EQ(NameOf(list[0]), "Full Frames, Uncompressed");
            EXPECT_EQ(list[0].codecID, kUncompressedID);
            EXPECT_EQ(list[0].fileFmtID, kMclFormatAVI);
        }
    }
}

// Encoders with size rules of their own: 4:2:0 x264 and Xvid need even sizes, the 4x4-block codecs of the
// Video for Windows era need multiples of four. Each leaves the list at a size it cannot take and comes back.
TEST(MclCodecs, SizeRulesOfEncodersDecideTheList) {
    struct Rule {
        const char* encoder;
        int32_t codecID;
        int multiple;
    };
    const Rule rules[] = {{"libx264", kH264ID, 2},
                          {"libxvid", kXvidID, 2},
                          {"msvideo1", kMsVideo1ID, 4},
                          {"cinepak", kCinepakID, 4}};
    const Size sizes[] = {{64, 48}, {65, 49}, {65, 48}, {64, 49}, {66, 50}, {68, 52}, {67, 51}, {640, 480}};
    int checked = 0;
    for (const Rule& rule : rules) {
        if (!FfmpegHas(rule.encoder)) continue;
        ++checked;
        for (const Size size : sizes) {
            SCOPED_TRACE(std::string(rule.encoder) + " at " + std::to_string(size.width) + "x" +
                         std::to_string(size.height));
            const bool fits = size.width % rule.multiple == 0 && size.height % rule.multiple == 0;
            EXPECT_EQ(Lists(ListOf(kMclFormatAVI, size.width, size.height), rule.codecID), fits);
        }
    }
    if (checked == 0) GTEST_SKIP() << "this FFmpeg has none of the encoders with size rules";
}

// The codecs a user expects are there whenever the installed FFmpeg has their encoder.
TEST(MclCodecs, CommonCodecsAreListedWhenFfmpegHasThem) {
    const std::vector<TMclCodecInfo> list = ListOf(kMclFormatAVI, 64, 48);
    for (const MclCodecDescriptor& d : MclCodecCatalog()) {
        if (d.fileFmtID != kMclFormatAVI) continue;
        SCOPED_TRACE(d.name);
        EXPECT_EQ(Lists(list, d.codecID), FfmpegHas(d.encoder));
    }
    // FFmpeg's own encoders: present in every build that has libavcodec's video encoders at all.
    for (const char* fourcc : {"FMP4", "MJPG", "HFYU", "FFV1", "ULRG"}) {
        SCOPED_TRACE(fourcc);
        EXPECT_TRUE(Lists(list, static_cast<int32_t>(MclFourCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]))));
    }
}

TEST(MclCodecs, MpegListsMpeg1AndMpeg2) {
    for (const Size size : {Size{352, 240}, Size{720, 576}, Size{65, 49}}) {
        const std::vector<TMclCodecInfo> list = ListOf(kMclFormatMPEG, size.width, size.height);
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(NameOf(list[0]), "MPEG-1 format");
        EXPECT_EQ(list[0].codecID, 0);
        EXPECT_EQ(list[0].bitRate, 1150);
        EXPECT_EQ(NameOf(list[1]), "MPEG-2 format");
        EXPECT_EQ(list[1].codecID, 2);
        EXPECT_EQ(list[1].bitRate, 6000);
    }
    // MPEG-1's sequence header has 12 bits per dimension.
    const std::vector<TMclCodecInfo> large = ListOf(kMclFormatMPEG, 4096, 2048);
    EXPECT_FALSE(Lists(large, 0));
}

TEST(MclCodecs, BadArgumentsLeaveTheBlockUnchangedAndFail) {
    ASSERT_GT(MclCodecsInit(kMclFormatAVI, 64, 48, 24), 0);
    ASSERT_EQ(MclCodecsInit(kMclFormatMPEG, 64, 48, 24), 2);
    const int count = MclCodecsInit(kMclFormatAVI, 64, 48, 24);

    struct Case {
        int fileFmtID;
        int index;
    };
    const Case cases[] = {{kMclFormatAVI, 0},
                          {kMclFormatAVI, -1},
                          {kMclFormatAVI, count + 1},
                          {kMclFormatAVI, 1000},
                          {kMclFormatMPEG, 3},
                          {kMclFormatMPEG, 0},
                          {7, 1},
                          {0, 1},
                          {-6, 1}};
    for (const Case c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.fileFmtID) + " index " + std::to_string(c.index));
        TMclCodecInfo block;
        std::memset(&block, 0x5A, sizeof block);
        TMclCodecInfo before = block;
        EXPECT_NE(MclCodecsGetInfo(c.fileFmtID, &block, c.index), 0);
        EXPECT_EQ(std::memcmp(&block, &before, sizeof block), 0);
    }
    EXPECT_NE(MclCodecsGetInfo(kMclFormatAVI, nullptr, 1), 0);

    // An unknown format fails and leaves the other lists alone.
    EXPECT_LT(MclCodecsInit(7, 64, 48, 24), 0);
    EXPECT_LT(MclCodecsInit(0, 64, 48, 24), 0);
    TMclCodecInfo info;
    EXPECT_EQ(MclCodecsGetInfo(kMclFormatAVI, &info, count), 0);

    // Sizes and depths no codec takes give an empty list; the old entries are gone with it.
    for (const auto& [w, h, bits] :
         {std::tuple{0, 48, 24}, std::tuple{64, 0, 24}, std::tuple{-64, 48, 24}, std::tuple{64, 48, 0},
          std::tuple{64, 48, 12}, std::tuple{64, 48, 33}, std::tuple{kMclMaxFrameSide + 1, 48, 24},
          std::tuple{64, kMclMaxFrameSide + 1, 24}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits));
        EXPECT_EQ(MclCodecsInit(kMclFormatAVI, w, h, bits), 0);
        TMclCodecInfo block;
        std::memset(&block, 0x33, sizeof block);
        EXPECT_EQ(MclCodecsGetInfo(kMclFormatAVI, &block, 1), kMclCodecsBadIndex);
        EXPECT_EQ(block.fileFmtID, 0x33333333);
    }
    // The MPEG list of before is still there.
    EXPECT_EQ(MclCodecsGetInfo(kMclFormatMPEG, &info, 2), 0);
}

void ExpectRange(const char* what, int32_t used, int32_t value, int32_t min, int32_t max) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(used == 0 || used == -1) << used;
    if (used) {
        EXPECT_LE(min, value);
        EXPECT_LE(value, max);
        EXPECT_LT(min, max);
    } else {
        EXPECT_EQ(value, 0);
        EXPECT_EQ(min, 0);
        EXPECT_EQ(max, 0);
    }
}

TEST(MclCodecs, BlocksAreWellFormed) {
    for (const int format : {kMclFormatAVI, kMclFormatMPEG}) {
        for (const Size size : {Size{64, 48}, Size{65, 49}}) {
            for (const int bits : {24, 32}) {
                const std::vector<TMclCodecInfo> list = ListOf(format, size.width, size.height, bits);
                std::set<std::string> names;
                std::set<int32_t> ids;
                for (const TMclCodecInfo& info : list) {
                    SCOPED_TRACE(NameOf(info));
                    const void* nul = std::memchr(info.codecName, 0, sizeof info.codecName);
                    ASSERT_NE(nul, nullptr) << "name not NUL-terminated within 128 bytes";
                    EXPECT_GT(std::strlen(info.codecName), 0u);
                    // The rest of the name field is zero: the block is byte-for-byte deterministic.
                    for (size_t i = std::strlen(info.codecName); i < sizeof info.codecName; ++i)
                        ASSERT_EQ(info.codecName[i], 0);
                    EXPECT_TRUE(names.insert(NameOf(info)).second) << "duplicate name";
                    EXPECT_TRUE(ids.insert(info.codecID).second) << "duplicate codecID";
                    EXPECT_EQ(info.fileFmtID, format);
                    EXPECT_EQ(info.codecUsed, -1);
                    EXPECT_EQ(info.codecMin, 0);
                    EXPECT_EQ(info.codecMax, 0);
                    ExpectRange("quality", info.qualityUsed, info.quality, info.qualityMin, info.qualityMax);
                    ExpectRange("bit rate", info.bitRateUsed, info.bitRate, info.bitRateMin, info.bitRateMax);
                    ExpectRange("byte rate", info.byteRateUsed, info.byteRate, info.byteRateMin,
                                info.byteRateMax);
                    ExpectRange("key frames", info.keyFrameRateUsed, info.keyFrameRate, info.keyFrameRateMin,
                                info.keyFrameRateMax);
                    if (info.keyFrameRateUsed) {
                        EXPECT_GE(info.keyFrameRateMin, 1);
                    }
                    EXPECT_EQ(info.byteRateUsed, 0);
                }
            }
        }
    }
}

TEST(MclCodecs, ListIsDeterministic) {
    const std::vector<TMclCodecInfo> first = ListOf(kMclFormatAVI, 320, 240);
    ListOf(kMclFormatAVI, 65, 49);
    ListOf(kMclFormatAVI, 320, 240, 32);
    const std::vector<TMclCodecInfo> again = ListOf(kMclFormatAVI, 320, 240);
    ASSERT_EQ(first.size(), again.size());
    EXPECT_EQ(std::memcmp(first.data(), again.data(), first.size() * sizeof(TMclCodecInfo)), 0);

    // The order is the catalog's.
    size_t next = 0;
    for (const MclCodecDescriptor& d : MclCodecCatalog()) {
        if (next < first.size() && d.fileFmtID == kMclFormatAVI && d.codecID == first[next].codecID) ++next;
    }
    EXPECT_EQ(next, first.size());
}

// SelectDefaultCodec scans from the last index down for the wanted name; the names it wants exist.
TEST(MclCodecs, DefaultCodecNamesOfPart11AreFound) {
    struct Want {
        int format;
        const char* name;
        int width;
        int height;
    };
    for (const Want want :
         {Want{kMclFormatAVI, "Full Frames, Uncompressed", 550, 400},
          Want{kMclFormatMPEG, "MPEG-1 format", 352, 240}, Want{kMclFormatMPEG, "MPEG-2 format", 352, 240}}) {
        const int n = MclCodecsInit(want.format, want.width, want.height, 24);
        int found = 0;
        for (int index = n; index >= 1; --index) {
            TMclCodecInfo block;
            ASSERT_EQ(MclCodecsGetInfo(want.format, &block, index), 0);
            if (std::strncmp(block.codecName, want.name, sizeof block.codecName) == 0) {
                found = index;
                break;
            }
        }
        EXPECT_GT(found, 0) << want.name;
    }
}

TEST(MclCodecCatalog, SetupFollowsTheBlock) {
    // Unknown codec, and a known codecID under the wrong format.
    TMclCodecInfo info = MclCodecInfoFromDescriptor(*MclFindCodec(kMclFormatAVI, kUncompressedID));
    info.codecID = 12345;
    EXPECT_FALSE(MclEncoderSetupFor(info, 24).has_value());
    info = MclCodecInfoFromDescriptor(*MclFindCodec(kMclFormatAVI, kH264ID));
    info.fileFmtID = kMclFormatMPEG;
    EXPECT_FALSE(MclEncoderSetupFor(info, 24).has_value());

    auto option = [](const MclEncoderSetup& s, const std::string& key) -> std::string {
        for (const auto& [k, v] : s.options) {
            if (k == key) return v;
        }
        return "<none>";
    };

    // Uncompressed: BI_RGB, 24 or 32 bits.
    info = MclCodecInfoFromDescriptor(*MclFindCodec(kMclFormatAVI, kUncompressedID));
    std::optional<MclEncoderSetup> s = MclEncoderSetupFor(info, 24);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->encoder, "rawvideo");
    EXPECT_EQ(s->pixelFormat, "bgr24");
    EXPECT_EQ(s->codecTag, 0u);
    EXPECT_TRUE(s->options.empty());
    s = MclEncoderSetupFor(info, 32);
    EXPECT_EQ(s->pixelFormat, "bgra");
    EXPECT_TRUE(s->alpha);

    // MPEG-4: quality mode by default, bit rate when one is given, values clamped into the ranges.
    info = MclCodecInfoFromDescriptor(
        *MclFindCodec(kMclFormatAVI, static_cast<int32_t>(MclFourCC('F', 'M', 'P', '4'))));
    s = MclEncoderSetupFor(info, 24);
    EXPECT_EQ(option(*s, "flags"), "+qscale");
    EXPECT_EQ(option(*s, "global_quality"), std::to_string(3 * FF_QP2LAMBDA));
    EXPECT_EQ(s->frameQuality, 3 * FF_QP2LAMBDA);
    EXPECT_EQ(option(*s, "g"), "250");
    EXPECT_EQ(option(*s, "b"), "<none>");
    info.quality = -7;
    info.keyFrameRate = 100000;
    s = MclEncoderSetupFor(info, 24);
    EXPECT_EQ(s->frameQuality, 1 * FF_QP2LAMBDA);
    EXPECT_EQ(option(*s, "qmin"), "1");
    EXPECT_EQ(option(*s, "g"), "600");
    info.bitRate = 1800;
    s = MclEncoderSetupFor(info, 24);
    EXPECT_EQ(option(*s, "b"), "1800000");
    EXPECT_EQ(option(*s, "flags"), "<none>");
    EXPECT_EQ(s->frameQuality, 0);
    // Used flags false: the codec's defaults apply whatever the values say.
    info.bitRateUsed = 0;
    info.qualityUsed = 0;
    info.keyFrameRateUsed = 0;
    s = MclEncoderSetupFor(info, 24);
    EXPECT_EQ(option(*s, "b"), "<none>");
    EXPECT_EQ(s->frameQuality, 3 * FF_QP2LAMBDA);
    EXPECT_EQ(option(*s, "g"), "250");

    // Ut Video: the FourCC follows the layout.
    info = MclCodecInfoFromDescriptor(
        *MclFindCodec(kMclFormatAVI, static_cast<int32_t>(MclFourCC('U', 'L', 'R', 'G'))));
    EXPECT_EQ(MclEncoderSetupFor(info, 24)->codecTag, MclFourCC('U', 'L', 'R', 'G'));
    EXPECT_EQ(MclEncoderSetupFor(info, 32)->codecTag, MclFourCC('U', 'L', 'R', 'A'));
    EXPECT_EQ(MclEncoderSetupFor(info, 32)->pixelFormat, "gbrap");

    // MPEG: the default is the rate of the customised MPEG formats.
    info = MclCodecInfoFromDescriptor(*MclFindCodec(kMclFormatMPEG, 2));
    s = MclEncoderSetupFor(info, 24);
    EXPECT_EQ(s->encoder, "mpeg2video");
    EXPECT_EQ(option(*s, "b"), "6000000");
    EXPECT_EQ(option(*s, "g"), "15");
}

TEST(MclCodecCatalog, EntriesAreConsistent) {
    std::set<std::pair<int32_t, int32_t>> ids;
    for (const MclCodecDescriptor& d : MclCodecCatalog()) {
        SCOPED_TRACE(d.name);
        EXPECT_LT(std::strlen(d.name), 128u);
        EXPECT_TRUE(ids.insert({d.fileFmtID, d.codecID}).second);
        if (d.fileFmtID == kMclFormatAVI) {
            EXPECT_EQ(static_cast<uint32_t>(d.codecID), d.codecTag) << "AVI codecID is the FourCC";
        }
        // The block made from the entry is what the entry says.
        const TMclCodecInfo info = MclCodecInfoFromDescriptor(d);
        EXPECT_EQ(info.qualityUsed != 0, d.qualityScale != MclQualityScale::None);
        EXPECT_EQ(info.bitRateUsed != 0, d.hasBitRate);
        EXPECT_EQ(info.keyFrameRateUsed != 0, d.keyFrameOption != MclKeyFrameOption::None);
    }
}

}  // namespace
