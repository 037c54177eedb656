// The media library's smaller parts: the kept-duration clock, picture fitting, MPEG rates, the sound list,
// the sound-file probe and the codec block of a conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "mcl/ffmpeg/audio_encoder.h"
#include "mcl/mcl.h"
#include "mcl/mcl_codec_catalog.h"
#include "mcl/mcl_frame_clock.h"
#include "mcl/mcl_output_plan.h"
#include "mcl/mcl_picture_fit.h"
#include "mcl_test_media.h"
#include "mcl_test_video.h"

namespace {

// --- kept duration ---

struct ClockCase {
    const char* name;
    AVRational output;
    bool keep;
    double source;
    int delivered;
    int64_t written;
    std::vector<int64_t> firstCounts;  // output frames of the first delivered frames
};

const ClockCase kClocks[] = {
    {"TwelveToNtsc", {30000, 1001}, true, 12, 12, 30, {2, 3, 2, 3, 2}},  // 12 s of movie stay 12 s
    {"TwelveToTwentyFive", {25, 1}, true, 12, 12, 25, {2, 2, 2, 2, 2}},
    {"TwentyFiveToTwelveDropsButShowsTheFirst", {12, 1}, true, 25, 25, 12, {1, 0, 0, 1, 0}},
    {"SameRate", {25, 1}, true, 25, 10, 10, {1, 1, 1}},
    {"SameRateSpelledTwoWays", {30000, 1001}, true, 29.97, 100000, 100000, {1, 1, 1}},
    {"TwentyFourToFilmRateDropsOneInAThousand", {24000, 1001}, true, 24, 1001, 1000, {1, 1, 1}},
    {"NoRateGivenMeansOutputRate", {25, 1}, true, 0, 10, 10, {1, 1, 1}},
    {"WithoutKeepingEveryFrameOnce", {30000, 1001}, false, 12, 12, 12, {1, 1, 1}},
};

class FrameClockTest : public ::testing::TestWithParam<ClockCase> {};

TEST_P(FrameClockTest, WritesTheFramesThatKeepTheDuration) {
    const ClockCase& c = GetParam();
    MclFrameClock clock(c.output, c.keep);
    std::vector<int64_t> counts;
    int64_t sum = 0;
    for (int i = 0; i < c.delivered; ++i) {
        const int64_t n = clock.next(c.source);
        counts.push_back(n);
        sum += n;
    }
    EXPECT_EQ(sum, c.written);
    EXPECT_EQ(clock.written(), c.written);
    EXPECT_EQ(clock.delivered(), c.delivered);
    counts.resize(c.firstCounts.size());
    EXPECT_EQ(counts, c.firstCounts);
}

INSTANTIATE_TEST_SUITE_P(Clock, FrameClockTest, ::testing::ValuesIn(kClocks),
                         [](const ::testing::TestParamInfo<ClockCase>& info) { return info.param.name; });

// A source that changes its rate midway: the frames so far keep their time, the new ones take theirs.
TEST(FrameClock, RateChangeStartsANewStretch) {
    MclFrameClock clock({24, 1}, true);
    for (int i = 0; i < 12; ++i)
        clock.next(12);  // 1 s: 24 frames
    EXPECT_EQ(clock.written(), 24);
    for (int i = 0; i < 24; ++i)
        clock.next(24);  // 1 s more, one to one
    EXPECT_EQ(clock.written(), 48);
    for (int i = 0; i < 6; ++i)
        clock.next(0);  // no rate: the last one stays
    EXPECT_EQ(clock.written(), 54);
}

// --- fitting ---

struct FitCase {
    const char* name;
    int pictureW, pictureH, frameW, frameH;
    AVRational sar;
    MclFitRect expected;
};

const FitCase kFits[] = {
    {"SameSize", 64, 48, 64, 48, {1, 1}, {0, 0, 64, 48}},
    {"WideIntoSquare", 320, 120, 64, 64, {1, 1}, {0, 20, 64, 24}},
    {"TallIntoWide", 100, 200, 200, 100, {1, 1}, {75, 0, 50, 100}},
    {"FourByThreeFillsPalDvd", 640, 480, 720, 576, {16, 15}, {0, 0, 720, 576}},
    {"FourByThreeFillsNtscVcd", 550, 412, 352, 240, {10, 11}, {0, 0, 352, 240}},
    {"WideOnPalDvdLetterboxed", 1280, 720, 720, 576, {16, 15}, {0, 72, 720, 432}},
};

class FitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitTest, KeepsTheAspectAsSeen) {
    const FitCase& c = GetParam();
    const MclFitRect r = MclFitPicture(c.pictureW, c.pictureH, c.frameW, c.frameH, c.sar);
    EXPECT_EQ(r.x, c.expected.x);
    EXPECT_EQ(r.y, c.expected.y);
    EXPECT_EQ(r.width, c.expected.width);
    EXPECT_EQ(r.height, c.expected.height);
}

INSTANTIATE_TEST_SUITE_P(Fit, FitTest, ::testing::ValuesIn(kFits),
                         [](const ::testing::TestParamInfo<FitCase>& info) { return info.param.name; });

TEST(PictureFitter, EmptyPictureGivesABlackFrame) {
    MclPictureFitter fitter(8, 4, {1, 1}, false);
    MclImage empty;
    const uint8_t* pixels = nullptr;
    int stride = 0;
    ASSERT_TRUE(fitter.fit(empty, &pixels, &stride).ok());
    ASSERT_EQ(stride, 24);
    for (int i = 0; i < 8 * 4 * 3; ++i)
        EXPECT_EQ(pixels[i], 0);
}

// A picture of the frame's own size was drawn for the frame: on a disc format's frame of non-square
// pixels it goes in untouched, not squeezed into a letterbox as a square-pixel picture would be.
TEST(PictureFitter, FrameSizedPictureGoesInUntouched) {
    for (AVRational sar : {AVRational{1, 1}, AVRational{10, 11}, AVRational{16, 15}}) {
        MclPictureFitter fitter(44, 30, sar, false);
        MclImage image;
        image.width = 44;
        image.height = 30;
        image.bgr.resize(44 * 30 * 3);
        for (size_t i = 0; i < image.bgr.size(); ++i)
            image.bgr[i] = uint8_t(i * 7 + 1);
        const uint8_t* pixels = nullptr;
        int stride = 0;
        ASSERT_TRUE(fitter.fit(image, &pixels, &stride).ok());
        ASSERT_EQ(stride, 44 * 3);
        EXPECT_EQ(std::memcmp(pixels, image.bgr.data(), image.bgr.size()), 0) << sar.num << ":" << sar.den;
    }
}

// --- MPEG rates ---

TEST(MpegRate, NearestLegalRate) {
    const std::pair<double, AVRational> cases[] = {
        {22.98, {24000, 1001}}, {12, {24000, 1001}},
        {29.97, {30000, 1001}}, {30000.0 / 1001, {30000, 1001}},
        {25, {25, 1}},          {59.94, {60000, 1001}},
        {100, {60, 1}},         {50, {50, 1}},
    };
    for (const auto& [rate, expected] : cases) {
        const AVRational got = MclNearestMpegRate(rate);
        EXPECT_EQ(got.num, expected.num) << rate;
        EXPECT_EQ(got.den, expected.den) << rate;
    }
}

// --- sound list ---

TEST(SoundList, NamesByIndex) {
    MclListHandle list = MclListAlloc();
    MclListAdd(list, "/music/theme.mp3", 16, 0, 0);
    MclListAdd(list, "", 16, 0, 0);
    char buffer[264];
    ASSERT_NE(MclListGetName(list, 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "/music/theme.mp3");
    std::strcpy(buffer, "old");
    ASSERT_NE(MclListGetName(list, 1, buffer, sizeof buffer), 0);  // the empty entry exists
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(MclListGetName(list, 2, buffer, sizeof buffer), 0);
    EXPECT_EQ(MclListGetName(list, -1, buffer, sizeof buffer), 0);

    char small[8];
    std::memset(small, 'x', sizeof small);
    ASSERT_NE(MclListGetName(list, 0, small, sizeof small), 0);
    EXPECT_STREQ(small, "/music/");  // cut to the buffer, always terminated
    EXPECT_EQ(MclListGetName(list, 0, small, 0), 0);
    MclListFree(list);
    EXPECT_EQ(MclListGetName(nullptr, 0, buffer, sizeof buffer), 0);
}

TEST(SoundList, LongNameCutToTheSystemsBuffer) {
    MclListHandle list = MclListAlloc();
    const std::string name(400, 'a');
    MclListAdd(list, name, 16, 0, 0);
    char buffer[264];
    ASSERT_NE(MclListGetName(list, 0, buffer), 0);  // the default size is the system's 264 bytes
    EXPECT_EQ(std::strlen(buffer), 263u);
    MclListFree(list);
}

// --- sound-file probe ---

int32_t At(const uint8_t* record, int offset) {
    int32_t v;
    std::memcpy(&v, record + offset, sizeof v);
    return v;
}

TEST(FileInfo, TellsWhetherASoundCanBeRead) {
    mcl_test::QuietFfmpegInfo();
    mcl_test::TempDir dir;
    const auto wav = dir.path() / "tone.wav";
    const auto mp3 = dir.path() / "tone.mp3";
    const auto text = dir.path() / "notes.txt";
    const auto textAsWav = dir.path() / "notes.wav";
    ASSERT_TRUE(mcl_test::WriteTone(wav, "wav", 0.5, 22050, 1));
    const bool haveMp3 = mcl_test::WriteTone(mp3, "mp3", 0.5, 44100, 2);
    std::ofstream(text) << "Just some words.\n";
    std::ofstream(textAsWav) << "Just some words.\n";

    struct Case {
        std::filesystem::path path;
        bool sound;
    };
    std::vector<Case> cases = {
        {wav, true}, {text, false}, {textAsWav, false}, {dir.path() / "gone.wav", false}};
    if (haveMp3) cases.push_back({mp3, true});
    for (const Case& c : cases) {
        uint8_t record[kMclFileInfoSize];
        std::memset(record, 0xAB, sizeof record);
        const int32_t opened = MclGetFileInfo(c.path.string(), 2, record, 0, 0);
        EXPECT_EQ(At(record, kMclFileInfoHasAudioOffset) != 0, c.sound) << c.path;
        EXPECT_EQ(At(record, kMclFileInfoAudioSupportedOffset) != 0, c.sound) << c.path;
        if (c.sound) {
            EXPECT_NE(opened, 0) << c.path;
        }
        // Nothing of the caller's buffer is left as it was.
        EXPECT_EQ(record[0], 0) << c.path;
        EXPECT_EQ(record[kMclFileInfoSize - 1], 0) << c.path;
    }
    EXPECT_EQ(MclGetFileInfo((dir.path() / "gone.wav").string(), 2, nullptr, 0, 0), 0);
    if (!haveMp3) GTEST_SKIP() << "no MP3 encoder to make the MP3 case";
}

// --- the codec block of a conversion ---

TEST(CodecBlock, SetAndReadBack) {
    TMclCodecInfo block{};
    ASSERT_TRUE(mcl_test::AviCodecBlock(MclFourCC('M', 'J', 'P', 'G'), 64, 48, &block));
    block.quality = 5;
    MclHandle h = MclAlloc();
    MclCodecsSetInfoToData(h, block);
    TMclCodecInfo back{};
    ASSERT_NE(MclCodecsGetInfoFromData(h, &back, kMclStreamAVI, 8), 0);
    EXPECT_EQ(std::memcmp(&back, &block, sizeof block), 0);

    // The second bit rate of the AVI settings comes after the sound format: it is the sound's, not the
    // video's.
    MclSetBitRate(h, kMclStreamAVI, 1500, block.bitRateMax, block.bitRateMin, 0);
    MclSetAudioFormat(h, 44100, 2, 16);
    MclSetBitRate(h, kMclStreamAVI, 224, static_cast<int32_t>(MclDefault), static_cast<int32_t>(MclDefault),
                  0);
    ASSERT_NE(MclCodecsGetInfoFromData(h, &back, kMclStreamAVI, 8), 0);
    EXPECT_EQ(back.bitRate, 1500);
    EXPECT_EQ(back.quality, 5);

    EXPECT_EQ(MclCodecsGetInfoFromData(h, &back, kMclStreamAVI, 0), 0);
    EXPECT_EQ(MclCodecsGetInfoFromData(h, nullptr, kMclStreamAVI, 8), 0);
    EXPECT_EQ(MclCodecsGetInfoFromData(nullptr, &back, kMclStreamAVI, 8), 0);

    // An MPEG block handed in comes back unchanged, values and all.
    TMclCodecInfo mpeg{};
    ASSERT_EQ(MclCodecsInit(kMclFormatMPEG, 352, 240, 24), 2);
    ASSERT_EQ(MclCodecsGetInfo(kMclFormatMPEG, &mpeg, 2), 0);
    mpeg.quality = 7;
    mpeg.keyFrameRate = 12;
    MclCodecsSetInfoToData(h, mpeg);
    ASSERT_NE(MclCodecsGetInfoFromData(h, &back, kMclStreamMPEGVideo, 1), 0);
    EXPECT_EQ(std::memcmp(&back, &mpeg, sizeof mpeg), 0);

    MclSetCodec(h, kMclStreamMPEGVideo, kMclMpegCodecDVD);
    MclSetBitRate(h, kMclStreamMPEGVideo, 6000, 8000, 2500, 0);
    ASSERT_NE(MclCodecsGetInfoFromData(h, &back, kMclStreamMPEGVideo, 8), 0);
    EXPECT_EQ(back.fileFmtID, kMclFormatMPEG);
    EXPECT_EQ(back.codecID, kMclMpegCodecDVD);
    EXPECT_STREQ(back.codecName, "DVD (MPEG-2)");
    EXPECT_EQ(back.bitRate, 6000);
    MclFree(h);
}

TEST(CodecBlock, SoundBitRateReachesTheFile) {
    mcl_test::QuietFfmpegInfo();
    if (!mcl_test::HasEncoder("libmp3lame")) GTEST_SKIP() << "no MP3 encoder";
    mcl_test::TempDir dir;
    const auto tone = dir.path() / "tone.wav";
    ASSERT_TRUE(mcl_test::WriteTone(tone, "wav", 1.0, 44100, 2));
    TMclCodecInfo block{};
    ASSERT_TRUE(mcl_test::AviCodecBlock(0, 64, 48, &block));
    mcl_test::ConversionJob job;
    job.output = dir.path() / "out.avi";
    job.sounds = {tone.string()};
    job.configure = [&](MclHandle h) {
        MclCodecsSetInfoToData(h, block);
        MclSetFrameRate(h, 12);
        MclSetCodec(h, kMclStreamAVI, block.codecID);
        MclSetBitRate(h, kMclStreamAVI, block.bitRate, block.bitRateMax, block.bitRateMin, 0);
        MclSetAudioFormat(h, 44100, 2, 16);
        MclSetBitRate(h, kMclStreamAVI, 128, static_cast<int32_t>(MclDefault),
                      static_cast<int32_t>(MclDefault), 0);
    };
    mcl_test::RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const mcl_test::MediaFacts f = mcl_test::ProbeMedia(job.output);
    EXPECT_EQ(f.audio.codec, "mp3");
    EXPECT_EQ(f.audio.bitRate, 128000);
}

// --- the sound encoder's fallbacks ---

// AVI sound is the first of MP3, MP2, PCM that this FFmpeg opens: a missing or refusing encoder passes to the
// next one.
TEST(SoundEncoder, FallsBackInOrder) {
    mcl_test::QuietFfmpegInfo();
    struct Case {
        std::vector<std::string> encoders;
        int sampleRate;
        int64_t bitRate;
        const char* chosen;  // nullptr: none opens
    };
    const Case cases[] = {
        {{"no_such_encoder", "mp2", "pcm_s16le"}, 44100, 224000, "mp2"},
        {{"mp2", "pcm_s16le"}, 11025, 224000, "pcm_s16le"},  // MPEG audio has no 11025 Hz
        {{"h264", "pcm_u8"}, 44100, 0, "pcm_u8"},            // a video encoder is no sound encoder
        {{"no_such_encoder"}, 44100, 0, nullptr},
    };
    for (const Case& c : cases) {
        mcl::ff::AudioEncoderParams params;
        params.encoders = c.encoders;
        params.sampleRate = c.sampleRate;
        params.bitRate = c.bitRate;
        mcl::MclStatus status;
        const auto encoder = mcl::ff::AudioEncoder::create(params, &status);
        if (!c.chosen) {
            EXPECT_EQ(encoder, nullptr);
            EXPECT_FALSE(status.ok());
            continue;
        }
        ASSERT_NE(encoder, nullptr) << c.chosen << ": " << status.message;
        EXPECT_STREQ(encoder->context()->codec->name, c.chosen);
        EXPECT_GT(encoder->frameSize(), 0);
    }
}

// --- the plan's choices where the caller's values break a standard ---

TEST(OutputPlan, ForcedDiscFormatsHoldTheirStandard) {
    MclConversionSettings s;
    s.container = kMclStreamMPEGVideo;
    s.forceCompatibility = true;
    s.mpegCodec = kMclMpegCodecSVCD;
    s.frameRate = 25;
    s.width = 640;
    s.height = 480;
    s.mpegVideoRate = MclBitRate{true, 4000, 5000, 0, 0};  // beyond SVCD's limits
    s.audioRate =
        MclBitRate{true, 224, static_cast<int32_t>(MclDefault), static_cast<int32_t>(MclDefault), 0};
    MclOutputPlan plan;
    ASSERT_TRUE(MclPlanOutput(s, 640, 480, false, 12, &plan).ok());
    EXPECT_EQ(plan.muxer, "svcd");
    EXPECT_EQ(plan.width, 480);
    EXPECT_EQ(plan.height, 576);
    EXPECT_EQ(plan.frameRate.num, 25);
    auto option = [&](const std::string& key) {
        for (const auto& [k, v] : plan.video.options) {
            if (k == key) return v;
        }
        return std::string();
    };
    EXPECT_EQ(option("maxrate"), "2516000");
    EXPECT_EQ(option("b"), "2516000");
    EXPECT_EQ(option("bufsize"), "1835008");
    EXPECT_EQ(option("scan_offset"), "1");
    EXPECT_EQ(option("g"), "15");

    s.mpegCodec = 9;  // not an MPEG codec of the library
    EXPECT_FALSE(MclPlanOutput(s, 640, 480, false, 12, &plan).ok());
}

}  // namespace
