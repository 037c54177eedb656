// MP4, WebM and MOV written through MclConvert and read back with libavformat/libavcodec: codec, pixel
// format (the alpha channel where asked), frame count, duration and sound track; the quality level; a
// conversion that ends early still leaves a file that plays.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include "mcl/mcl.h"
#include "mcl_test_media.h"
#include "mcl_test_video.h"

namespace {

using mcl_test::ConversionJob;
using mcl_test::MediaFacts;
using mcl_test::ProbeMedia;
using mcl_test::RunConversion;
using mcl_test::TempDir;

struct ContainerCase {
    const char* name;
    int32_t stream;
    int32_t codec;
    bool alpha;
    const char* extension;
    const char* videoCodec;
    const char* pixelFormat;  // as FFmpeg's own decoder reports the stream
    const char* audioCodec;
    int sampleRate;
};

const ContainerCase kCases[] = {
    {"Mp4H264", kMclStreamMP4, kMclMp4CodecH264, false, ".mp4", "h264", "yuv420p", "aac", 44100},
    {"WebmVp9", kMclStreamWebM, kMclWebmCodecVP9, false, ".webm", "vp9", "yuv420p", "opus", 48000},
    // VP9's alpha travels beside the picture; FFmpeg's own decoder shows the colour planes only.
    {"WebmVp9Alpha", kMclStreamWebM, kMclWebmCodecVP9, true, ".webm", "vp9", "yuv420p", "opus", 48000},
    {"MovProRes", kMclStreamMOV, kMclMovCodecProRes4444, false, ".mov", "prores", "yuv444p12le", "pcm_s16le",
     44100},
    {"MovProResAlpha", kMclStreamMOV, kMclMovCodecProRes4444, true, ".mov", "prores", "yuva444p12le",
     "pcm_s16le", 44100},
    {"MovAnimation", kMclStreamMOV, kMclMovCodecAnimation, false, ".mov", "qtrle", "rgb24", "pcm_s16le",
     44100},
    {"MovAnimationAlpha", kMclStreamMOV, kMclMovCodecAnimation, true, ".mov", "qtrle", "argb", "pcm_s16le",
     44100},
};

// The settings in the order the system's video output makes them for these containers.
void Configure(MclHandle h, const ContainerCase& c, int quality, int w = 64, int h2 = 48) {
    MclSetFrameRate(h, 12.0);
    MclSetResolution(h, w, h2);
    MclSetCodec(h, c.stream, c.codec);
    MclSetQuality(h, c.stream, 0);
    MclSetQualityLevel(h, quality);
    MclSetAudioFormat(h, 44100, 2, 16);
}

// The "alpha_mode" tag of the first video stream ("" when none).
std::string AlphaModeTag(const std::filesystem::path& path) {
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return "";
    std::string tag;
    if (avformat_find_stream_info(ctx, nullptr) >= 0) {
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            if (ctx->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
            if (const AVDictionaryEntry* e = av_dict_get(ctx->streams[i]->metadata, "alpha_mode", nullptr, 0))
                tag = e->value;
            break;
        }
    }
    avformat_close_input(&ctx);
    return tag;
}

// Decodes the first video frame with libvpx's VP9 decoder (which reads the alpha side data) and returns its
// pixel format and the smallest and largest alpha value; format "" when it cannot.
struct AlphaFacts {
    std::string format;
    int minAlpha = 255, maxAlpha = 0;
};
AlphaFacts DecodeVp9Alpha(const std::filesystem::path& path) {
    AlphaFacts facts;
    const AVCodec* codec = avcodec_find_decoder_by_name("libvpx-vp9");
    AVFormatContext* ctx = nullptr;
    if (!codec || avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return facts;
    avformat_find_stream_info(ctx, nullptr);
    const int index = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (index >= 0 && avcodec_parameters_to_context(dec, ctx->streams[index]->codecpar) >= 0 &&
        avcodec_open2(dec, codec, nullptr) >= 0) {
        bool got = false;
        while (!got && av_read_frame(ctx, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(dec, packet) >= 0)
                got = avcodec_receive_frame(dec, frame) >= 0;
            av_packet_unref(packet);
        }
        if (!got && avcodec_send_packet(dec, nullptr) >= 0) got = avcodec_receive_frame(dec, frame) >= 0;
        if (got) {
            facts.format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
            if (frame->format == AV_PIX_FMT_YUVA420P) {
                for (int y = 0; y < frame->height; ++y)
                    for (int x = 0; x < frame->width; ++x) {
                        const int a = frame->data[3][y * frame->linesize[3] + x];
                        facts.minAlpha = std::min(facts.minAlpha, a);
                        facts.maxAlpha = std::max(facts.maxAlpha, a);
                    }
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&dec);
    avformat_close_input(&ctx);
    return facts;
}

class ContainerTest : public ::testing::TestWithParam<ContainerCase> {
  protected:
    static void SetUpTestSuite() {
        mcl_test::QuietFfmpegInfo();
        tone_ = new TempDir;
        ASSERT_TRUE(mcl_test::WriteTone(tone_->path() / "tone.wav", "wav", 3.0, 44100, 2));
    }
    static void TearDownTestSuite() {
        delete tone_;
        tone_ = nullptr;
    }
    void SetUp() override {
        const ContainerCase& c = GetParam();
        for (const char* encoder : {c.stream == kMclStreamMP4          ? "libx264"
                                    : c.stream == kMclStreamWebM       ? "libvpx-vp9"
                                    : c.codec == kMclMovCodecAnimation ? "qtrle"
                                                                       : "prores_ks"})
            if (!mcl_test::HasEncoder(encoder)) GTEST_SKIP() << "no " << encoder << " in this FFmpeg";
    }
    TempDir dir_;
    static TempDir* tone_;
};
TempDir* ContainerTest::tone_ = nullptr;

TEST_P(ContainerTest, WritesItsCodecFramesDurationAndSound) {
    const ContainerCase& c = GetParam();
    ConversionJob job;
    job.output = dir_.path() / (std::string(c.name) + c.extension);
    job.sourceRate = 12;
    job.alpha = c.alpha;
    job.sounds = {(tone_->path() / "tone.wav").string()};
    job.configure = [&](MclHandle h) { Configure(h, c, 0); };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    EXPECT_TRUE(job.errorFiles.empty());

    const MediaFacts f = ProbeMedia(job.output);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.decodeErrors, 0);
    EXPECT_EQ(f.video.codec, c.videoCodec);
    EXPECT_EQ(f.video.pixelFormat, c.pixelFormat);
    EXPECT_EQ(f.video.width, 64);
    EXPECT_EQ(f.video.height, 48);
    EXPECT_EQ(f.video.frames, 10);
    EXPECT_NEAR(f.video.seconds, 10 / 12.0, 0.002);
    ASSERT_TRUE(f.audio.present);
    EXPECT_EQ(f.audio.codec, c.audioCodec);
    EXPECT_EQ(f.audio.sampleRate, c.sampleRate);
    EXPECT_EQ(f.audio.channels, 2);
    // The 3 s tone is cut at the video's end, and sound and picture start and end together: the sound
    // encoder's priming is marked in the file (an edit list, Opus's codec delay), so players skip it.
    const double end = 10 / 12.0;
    EXPECT_NEAR(f.video.startSeconds, 0, 1e-6);
    EXPECT_NEAR(f.audio.startSeconds, 0, 0.001) << "sound starts late or early";  // WebM counts in ms
    if (!std::isnan(f.audio.listedSeconds)) {
        // What ffprobe shows of MP4 and MOV (the edit list counts in ms).
        EXPECT_NEAR(f.audio.listedStart, 0, 1e-6);
        EXPECT_NEAR(f.audio.listedStart + f.audio.listedSeconds, end, 0.001) << "sound ends late or early";
    }
    // Decoded, the sound is as long as the video; FFmpeg's MP4 reader leaves the padding of the last AAC
    // frame in, which the file's duration above excludes.
    const double samples = end * c.sampleRate;
    EXPECT_GE(f.audio.samples, samples - 2);
    EXPECT_LE(f.audio.samples, samples + (c.stream == kMclStreamMP4 ? 1023 : 2));

    if (c.stream == kMclStreamWebM) {
        EXPECT_EQ(AlphaModeTag(job.output), c.alpha ? "1" : "");
        if (c.alpha) {
            const AlphaFacts a = DecodeVp9Alpha(job.output);
            EXPECT_EQ(a.format, "yuva420p");
            // The pictures' alpha is a horizontal ramp: both ends survive.
            EXPECT_LT(a.minAlpha, 40);
            EXPECT_GT(a.maxAlpha, 215);
        }
    }
    if (c.stream == kMclStreamMP4) {
        // +faststart: the index comes before the media.
        std::ifstream in(job.output, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_NE(bytes.find("moov"), std::string::npos);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    }
}

TEST_P(ContainerTest, EndingEarlyLeavesAFileThatPlays) {
    const ContainerCase& c = GetParam();
    ConversionJob job;
    job.output = dir_.path() / (std::string("early") + c.extension);
    job.frames = 100;
    job.sourceRate = 12;
    job.alpha = c.alpha;
    job.beforeFrame = [](MclHandle, int index) { return index < 4; };  // stopped after four frames
    job.configure = [&](MclHandle h) { Configure(h, c, 0); };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const MediaFacts f = ProbeMedia(job.output);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.decodeErrors, 0);
    EXPECT_EQ(f.video.frames, 4);
}

INSTANTIATE_TEST_SUITE_P(Containers, ContainerTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ContainerCase>& info) { return info.param.name; });

class ContainerQualityTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { mcl_test::QuietFfmpegInfo(); }
    TempDir dir_;
};

// A higher level gives the encoder a finer quantiser: a bigger file, the frames as many.
TEST_F(ContainerQualityTest, HigherLevelMakesABiggerFile) {
    for (const ContainerCase& c : {kCases[0], kCases[1], kCases[3]}) {
        int64_t sizes[2] = {};
        int i = 0;
        for (int level : {10, 95}) {
            ConversionJob job;
            job.output = dir_.path() / (std::string(c.name) + std::to_string(level) + c.extension);
            job.frames = 6;
            job.configure = [&](MclHandle h) { Configure(h, c, level); };
            RunConversion(job);
            ASSERT_EQ(job.result, 0) << c.name << ": " << MclLastErrorText();
            const MediaFacts f = ProbeMedia(job.output);
            ASSERT_TRUE(f.ok) << f.error;
            EXPECT_EQ(f.video.frames, 6) << c.name;
            sizes[i++] = f.fileSize;
        }
        EXPECT_GT(sizes[1], sizes[0]) << c.name;
    }
}

// H.264 in 4:2:0 takes even sides only: an odd frame is written a pixel smaller, not refused.
TEST_F(ContainerQualityTest, OddSizeBecomesEvenForH264) {
    ConversionJob job;
    job.output = dir_.path() / "odd.mp4";
    job.frames = 3;
    job.pictureW = 63;
    job.pictureH = 47;
    job.configure = [&](MclHandle h) { Configure(h, kCases[0], 0, 63, 47); };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const MediaFacts f = ProbeMedia(job.output);
    EXPECT_EQ(f.video.width, 62);
    EXPECT_EQ(f.video.height, 46);
    EXPECT_EQ(f.video.frames, 3);
}

}  // namespace
