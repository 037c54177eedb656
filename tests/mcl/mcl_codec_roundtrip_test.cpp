// Every codec MclCodecsInit lists really encodes at that size: a few tiny frames are written with the setup
// the writer will use (MclEncoderSetupFor + mcl's encoder path), then read back and decoded with libavformat
// and libavcodec. This is what makes the list honest.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mcl/mcl_codec_catalog.h"
#include "mcl/mcl_codecs.h"
#include "mcl_test_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

using mcl_test::Picture;
using mcl_test::ReadResult;
using mcl_test::WriteResult;

constexpr int kFrames = 3;

const bool kQuiet = (mcl_test::QuietFfmpegInfo(), true);

std::vector<TMclCodecInfo> ListOf(int fileFmtID, int width, int height, int bits) {
    const int n = MclCodecsInit(fileFmtID, width, height, bits);
    std::vector<TMclCodecInfo> list(static_cast<size_t>(std::max(0, n)));
    for (int i = 1; i <= n; ++i)
        EXPECT_EQ(MclCodecsGetInfo(fileFmtID, &list[static_cast<size_t>(i - 1)], i), 0);
    return list;
}

std::string FileName(const TMclCodecInfo& info, const char* suffix) {
    std::string name =
        std::to_string(info.fileFmtID) + "_" + std::to_string(static_cast<uint32_t>(info.codecID));
    return name + suffix;
}

// Largest acceptable mean error per colour byte of lossy codecs on the test pictures. Microsoft Video 1 and
// Cinepak quantise to 15-bit colour and 4x4 vector codebooks; the DCT codecs at their default quality do far
// better.
double Tolerance(const MclCodecDescriptor& d) {
    if (d.lossless) return 0.0;
    if (std::strcmp(d.encoder, "msvideo1") == 0 || std::strcmp(d.encoder, "cinepak") == 0) return 12.0;
    return 6.0;
}

struct Case {
    int fileFmtID;
    int width;
    int height;
    int bits;
};

std::string Describe(const Case& c) {
    return std::string(c.fileFmtID == kMclFormatAVI ? "AVI" : "MPEG") + "_" + std::to_string(c.width) + "x" +
           std::to_string(c.height) + "x" + std::to_string(c.bits);
}

std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return Describe(info.param);
}

void PrintTo(const Case& c, std::ostream* os) {
    *os << Describe(c);
}

class ListedCodecs : public testing::TestWithParam<Case> {};

TEST_P(ListedCodecs, EncodeAndReadBack) {
    const Case c = GetParam();
    mcl_test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::vector<TMclCodecInfo> list = ListOf(c.fileFmtID, c.width, c.height, c.bits);
    ASSERT_FALSE(list.empty());

    for (const TMclCodecInfo& info : list) {
        SCOPED_TRACE(info.codecName);
        const MclCodecDescriptor* d = MclFindCodec(info.fileFmtID, info.codecID);
        ASSERT_NE(d, nullptr);
        const std::optional<MclEncoderSetup> setup = MclEncoderSetupFor(info, c.bits);
        ASSERT_TRUE(setup);
        const auto path = dir.path() / FileName(info, c.fileFmtID == kMclFormatAVI ? ".avi" : ".mpg");

        const WriteResult written = mcl_test::WriteVideo(path, *setup, c.width, c.height, kFrames);
        ASSERT_TRUE(written.ok) << written.error;
        const ReadResult read = mcl_test::ReadVideo(path, setup->alpha);
        ASSERT_TRUE(read.ok) << read.error;

        const AVCodec* encoder = avcodec_find_encoder_by_name(d->encoder);
        ASSERT_NE(encoder, nullptr);
        EXPECT_EQ(read.codecName, avcodec_get_name(encoder->id));
        if (c.fileFmtID == kMclFormatAVI) {
            EXPECT_EQ(read.codecTag, setup->codecTag);
            EXPECT_EQ(written.codecTag, setup->codecTag);
        }
        EXPECT_EQ(read.width, c.width);
        EXPECT_EQ(read.height, c.height);
        EXPECT_EQ(read.packets, kFrames);
        ASSERT_EQ(read.pictures.size(), static_cast<size_t>(kFrames));
        for (int i = 0; i < kFrames; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const Picture expected = mcl_test::MakePicture(c.width, c.height, i, setup->alpha);
            const Picture& got = read.pictures[static_cast<size_t>(i)];
            ASSERT_EQ(got.width, c.width);
            ASSERT_EQ(got.height, c.height);
            if (d->lossless) {
                EXPECT_TRUE(got.pixels == expected.pixels)
                    << "lossless codec changed the picture, mean error "
                    << mcl_test::MeanColourError(got, expected);
            } else {
                EXPECT_LE(mcl_test::MeanColourError(got, expected), Tolerance(*d));
            }
            if (setup->alpha) {
                EXPECT_EQ(mcl_test::MaxAlphaError(got, expected), 0);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ListedCodecs,
                         testing::Values(Case{kMclFormatAVI, 64, 48, 24}, Case{kMclFormatAVI, 65, 49, 24},
                                         Case{kMclFormatAVI, 64, 48, 32}, Case{kMclFormatAVI, 65, 49, 32},
                                         Case{kMclFormatMPEG, 64, 48, 24}, Case{kMclFormatMPEG, 65, 49, 24}),
                         CaseName);

// Bytes of encoded video for `frames` 64x48 frames with the block's settings.
// Only the encoder's output counts, so every codec is written into AVI: the MPEG program-stream muxers would
// complain about overshooting a starved rate.
int64_t EncodedBytes(const std::filesystem::path& path, const TMclCodecInfo& info, int frames,
                     mcl_test::Content content = mcl_test::Content::Smooth) {
    std::optional<MclEncoderSetup> setup = MclEncoderSetupFor(info, 24);
    if (!setup) return 0;
    setup->muxer = "avi";
    const WriteResult written = mcl_test::WriteVideo(path, *setup, 64, 48, frames, content);
    EXPECT_TRUE(written.ok) << written.error;
    return written.payloadBytes;
}

// The quality value reaches the encoder: its best end gives a bigger file than its worst end.
TEST(ListedCodecSettings, QualityChangesTheOutput) {
    mcl_test::TempDir dir;
    for (const int format : {kMclFormatAVI, kMclFormatMPEG}) {
        for (TMclCodecInfo info : ListOf(format, 64, 48, 24)) {
            if (!info.qualityUsed) continue;
            SCOPED_TRACE(info.codecName);
            info.bitRate = 0;  // constant quality
            info.quality = info.qualityMin;
            const int64_t best = EncodedBytes(dir.path() / FileName(info, "_best"), info, kFrames);
            info.quality = info.qualityMax;
            const int64_t worst = EncodedBytes(dir.path() / FileName(info, "_worst"), info, kFrames);
            EXPECT_GT(best, worst + worst / 4);
        }
    }
}

// A bit rate puts the encoder in rate-control mode, and a much higher rate gives a bigger file.
TEST(ListedCodecSettings, BitRateChangesTheOutput) {
    mcl_test::TempDir dir;
    for (const int format : {kMclFormatAVI, kMclFormatMPEG}) {
        for (TMclCodecInfo info : ListOf(format, 64, 48, 24)) {
            if (!info.bitRateUsed) continue;
            SCOPED_TRACE(info.codecName);
            // Rate control needs some frames to act on (one second at 25 frames per second) and pictures that
            // 100 kbit/s cannot hold at the best quantiser: noise.
            info.bitRate = 100;
            const int64_t low =
                EncodedBytes(dir.path() / FileName(info, "_low"), info, 25, mcl_test::Content::Noise);
            info.bitRate = 20000;
            const int64_t high =
                EncodedBytes(dir.path() / FileName(info, "_high"), info, 25, mcl_test::Content::Noise);
            EXPECT_GT(high, low);
        }
    }
}

// The key-frame value reaches the encoder: 1 makes every frame a key frame, the largest value only the first.
TEST(ListedCodecSettings, KeyFrameRateSetsTheKeyFrames) {
    mcl_test::TempDir dir;
    for (const int format : {kMclFormatAVI, kMclFormatMPEG}) {
        for (TMclCodecInfo info : ListOf(format, 64, 48, 24)) {
            if (!info.keyFrameRateUsed) continue;
            SCOPED_TRACE(info.codecName);
            const std::optional<MclEncoderSetup> setup0 = MclEncoderSetupFor(info, 24);
            ASSERT_TRUE(setup0);
            for (const int32_t rate : {info.keyFrameRateMin, info.keyFrameRateMax}) {
                SCOPED_TRACE("key frame rate " + std::to_string(rate));
                info.keyFrameRate = rate;
                const std::optional<MclEncoderSetup> setup = MclEncoderSetupFor(info, 24);
                const auto path = dir.path() / FileName(info, rate == 1 ? "_k1" : "_kmax");
                const WriteResult written = mcl_test::WriteVideo(path, *setup, 64, 48, 4);
                ASSERT_TRUE(written.ok) << written.error;
                const ReadResult read = mcl_test::ReadVideo(path, false);
                ASSERT_TRUE(read.ok) << read.error;
                ASSERT_EQ(read.keyPackets.size(), 4u);
                for (size_t i = 0; i < read.keyPackets.size(); ++i)
                    EXPECT_EQ(read.keyPackets[i], rate == 1 || i == 0) << "packet " << i;
            }
        }
    }
}

}  // namespace
