// MclConvert end to end: files written through the library, read back with libavformat/libavcodec.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "mcl/mcl.h"
#include "mcl/mcl_codec_catalog.h"
#include "mcl/mcl_converter.h"
#include "mcl/mcl_image_data.h"
#include "mcl_test_media.h"
#include "mcl_test_video.h"

namespace {

using mcl_test::ConversionJob;
using mcl_test::MediaFacts;
using mcl_test::ProbeMedia;
using mcl_test::RunConversion;
using mcl_test::TempDir;

constexpr int32_t kDefault = static_cast<int32_t>(MclDefault);

// The AVI settings in the order the system's video output makes them.
void ConfigureAvi(MclHandle h, const TMclCodecInfo& block, double rate, int w, int h2) {
    MclCodecsSetInfoToData(h, block);
    MclSetFrameRate(h, rate);
    MclSetResolution(h, w, h2);
    MclSetCodec(h, kMclStreamAVI, block.codecID);
    MclSetBitRate(h, kMclStreamAVI, block.bitRate, block.bitRateMax, block.bitRateMin, 0);
    MclSetQuality(h, kMclStreamAVI, 0);
    MclSetAudioFormat(h, 44100, 2, 16);
    MclSetBitRate(h, kMclStreamAVI, 224, kDefault, kDefault, 0);
    MclForceCompatibility(h, -1);
}

// The MPEG settings of each preset (0..7) as the system's video output makes them; frameW/H is the task's
// frame size, rateIndex its customised frame rate.
void ConfigureMpeg(MclHandle h, int preset, int frameW, int frameH, int rateIndex) {
    struct Row {
        double rate;
        int w, h, codec, vRate, vMax, vMin, vFlag, sampleRate, aRate, aFlag;
    };
    const double ntsc = 30000.0 / 1001.0;
    const double custom[] = {22.98, 24, 25, 29.97, 30, 50, 59.94, 60};
    const double customRate = rateIndex >= 0 && rateIndex < 8 ? custom[rateIndex] : 29.97;
    const Row rows[] = {
        {ntsc, 352, 240, 1, 1150, 1151, 0, -1, 44100, 224, -1},
        {25, 352, 288, 1, 1150, 1151, 0, -1, 44100, 224, -1},
        {ntsc, 720, 480, 4, 6000, 8000, 2500, 0, 48000, 384, 0},
        {25, 720, 576, 4, 6000, 8000, 2500, 0, 48000, 384, 0},
        {ntsc, 480, 480, 3, 2376, 2420, 1982, 0, 44100, 224, 0},
        {25, 480, 576, 3, 2376, 2420, 1982, 0, 44100, 224, 0},
        {customRate, frameW, frameH, 0, 1150, 1151, 0, -1, 44100, 224, 0},
        {customRate, frameW, frameH, 2, 6000, 8000, 2500, 0, 48000, 384, 0},
    };
    const Row& r = rows[preset];
    MclSetFrameRate(h, r.rate);
    MclSetResolution(h, r.w, r.h);
    MclSetCodec(h, kMclStreamMPEGVideo, r.codec);
    MclSetBitRate(h, kMclStreamMPEGVideo, r.vRate, r.vMax, r.vMin, r.vFlag);
    MclSetQuality(h, kMclStreamMPEGVideo, 0);
    MclSetAudioFormat(h, r.sampleRate, 2, 16);
    MclSetBitRate(h, kMclStreamMPEGAudio, r.aRate, kDefault, kDefault, r.aFlag);
    MclForceCompatibility(h, preset <= 5 ? -1 : 0);
}

// The MPEG video sequence header (ISO/IEC 11172-2 / 13818-2): size, aspect, rate code, bit rate (400 bit/s
// units), VBV buffer (16 kbit units).
struct SequenceHeader {
    bool found = false;
    int width = 0, height = 0, aspect = 0, rateCode = 0, bitRate = 0, vbv = 0;
};
SequenceHeader ReadSequenceHeader(const std::vector<uint8_t>& p) {
    SequenceHeader s;
    for (size_t i = 0; i + 12 <= p.size(); ++i) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == 0xB3) {
            const uint8_t* b = &p[i + 4];
            s.found = true;
            s.width = (b[0] << 4) | (b[1] >> 4);
            s.height = ((b[1] & 0xF) << 8) | b[2];
            s.aspect = b[3] >> 4;
            s.rateCode = b[3] & 0xF;
            s.bitRate = (b[4] << 10) | (b[5] << 2) | (b[6] >> 6);
            s.vbv = ((b[6] & 0x1F) << 5) | (b[7] >> 3);
            return s;
        }
    }
    return s;
}

// The program_mux_rate of the first pack header (50 bytes/s units), MPEG-1 or MPEG-2 layout.
int PackMuxRate(const std::vector<uint8_t>& p) {
    if (p.size() < 14 || p[0] != 0 || p[1] != 0 || p[2] != 1 || p[3] != 0xBA) return -1;
    if ((p[4] & 0xC0) == 0x40) return (p[10] << 14) | (p[11] << 6) | (p[12] >> 2);  // MPEG-2
    return ((p[9] & 0x7F) << 15) | (p[10] << 7) | (p[11] >> 1);                     // MPEG-1
}

class ConvertTest : public ::testing::Test {
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
    static std::string ToneWav() { return (tone_->path() / "tone.wav").string(); }

    TempDir dir_;
    static TempDir* tone_;
};
TempDir* ConvertTest::tone_ = nullptr;

// --- every output format ---

struct FormatCase {
    const char* name;
    int preset;         // MPEG preset 0..7, or -1 for AVI
    uint32_t aviCodec;  // AVI codec identifier (FourCC) when preset is -1
    const char* demuxer;
    const char* videoCodec;
    int width, height;
    int rateNum, rateDen;
    int frames;  // after keeping the duration of 10 frames at 12 frames/s
    const char* audioCodec;
    int sampleRate;
    int64_t audioBitRate;
    // MPEG streams: sequence header and multiplex values of the standard (0: not checked)
    int aspectCode, rateCode, bitRateField, vbvField, muxRate, sectorSize;
};

// AVI sound: MP3 when FFmpeg has LAME (it has on Debian), written at the caller's 224 kbit/s.
const FormatCase kFormats[] = {
    {"AviUncompressed", -1, 0, "avi", "rawvideo", 64, 48, 12, 1, 10, "mp3", 44100, 224000, 0, 0, 0, 0, 0, 0},
    {"AviMpeg4", -1, MclFourCC('F', 'M', 'P', '4'), "avi", "mpeg4", 64, 48, 12, 1, 10, "mp3", 44100, 224000,
     0, 0, 0, 0, 0, 0},
    {"AviMjpeg", -1, MclFourCC('M', 'J', 'P', 'G'), "avi", "mjpeg", 64, 48, 12, 1, 10, "mp3", 44100, 224000,
     0, 0, 0, 0, 0, 0},
    // VCD: MPEG-1 at 1150 kbit/s constant, VBV 40 KiB, 2324-byte sectors at 75 a second; MP2 224 kbit/s.
    {"VcdNtsc", 0, 0, "mpeg", "mpeg1video", 352, 240, 30000, 1001, 25, "mp2", 44100, 224000, 12, 4, 2875, 20,
     3528, 2324},
    {"VcdPal", 1, 0, "mpeg", "mpeg1video", 352, 288, 25, 1, 21, "mp2", 44100, 224000, 8, 3, 2875, 20, 3528,
     2324},
    // DVD: MPEG-2 4:3, at most 8000 kbit/s as asked, VBV 224 KiB, 2048-byte sectors at 10.08 Mbit/s; AC-3.
    {"DvdNtsc", 2, 0, "mpeg", "mpeg2video", 720, 480, 30000, 1001, 25, "ac3", 48000, 384000, 2, 4, 20000, 112,
     25200, 2048},
    {"DvdPal", 3, 0, "mpeg", "mpeg2video", 720, 576, 25, 1, 21, "ac3", 48000, 384000, 2, 3, 20000, 112, 25200,
     2048},
    // SVCD: MPEG-2 4:3 at most 2420 kbit/s as asked, VBV 224 KiB, 2324-byte sectors; MP2 224 kbit/s.
    {"SvcdNtsc", 4, 0, "mpeg", "mpeg2video", 480, 480, 30000, 1001, 25, "mp2", 44100, 224000, 2, 4, 6050, 112,
     0, 2324},
    {"SvcdPal", 5, 0, "mpeg", "mpeg2video", 480, 576, 25, 1, 21, "mp2", 44100, 224000, 2, 3, 6050, 112, 0,
     2324},
    // Customised: the task's size with square pixels (MPEG-2 signals that 64 x 48 frame as 4:3); 24 frames/s
    // as asked, and 22.98 becomes the legal 23.976.
    {"Mpeg1Custom", 6, 0, "mpeg", "mpeg1video", 64, 48, 24, 1, 20, "mp2", 44100, 224000, 1, 2, 2875, 0, 0, 0},
    {"Mpeg2Custom", 7, 0, "mpeg", "mpeg2video", 64, 48, 24000, 1001, 20, "mp2", 48000, 384000, 2, 1, 20000, 0,
     0, 0},
};

class FormatTest : public ConvertTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, WritesTheFormatWithItsSoundTrack) {
    const FormatCase& c = GetParam();
    ConversionJob job;
    job.output = dir_.path() / (std::string(c.name) + (c.preset < 0 ? ".avi" : ".mpg"));
    job.sourceRate = 12;
    job.sounds = {ToneWav()};
    TMclCodecInfo block{};
    if (c.preset < 0) {
        ASSERT_TRUE(mcl_test::AviCodecBlock(c.aviCodec, 64, 48, &block)) << "codec not listed";
        job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 12.0, 64, 48); };
    } else {
        job.configure = [&](MclHandle h) { ConfigureMpeg(h, c.preset, 64, 48, c.preset == 6 ? 1 : 0); };
    }
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    EXPECT_TRUE(job.errorFiles.empty());
    EXPECT_EQ(job.videoCalls, 11);  // ten frames, then the end

    const MediaFacts f = ProbeMedia(job.output);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.demuxer, c.demuxer);
    EXPECT_EQ(f.decodeErrors, 0);
    EXPECT_EQ(f.video.codec, c.videoCodec);
    EXPECT_EQ(f.video.width, c.width);
    EXPECT_EQ(f.video.height, c.height);
    EXPECT_EQ(f.video.rateNum, c.rateNum);
    EXPECT_EQ(f.video.rateDen, c.rateDen);
    EXPECT_EQ(f.video.frames, c.frames);
    const double videoSeconds = c.frames * static_cast<double>(c.rateDen) / c.rateNum;
    // The timestamps run without gaps. (The tiny frames of the customised cases share PES packets, so not
    // every one carries a timestamp of its own to check.)
    if (c.preset <= 5) {
        EXPECT_NEAR(f.video.seconds, videoSeconds, 0.002);
    }

    ASSERT_TRUE(f.audio.present);
    EXPECT_EQ(f.audio.codec, c.audioCodec);
    EXPECT_EQ(f.audio.sampleRate, c.sampleRate);
    EXPECT_EQ(f.audio.channels, 2);
    EXPECT_EQ(f.audio.bitRate, c.audioBitRate);
    // The 3 s tone is cut at the video's end: at most one sound frame (and the encoder's delay) beyond it.
    const double soundSeconds = static_cast<double>(f.audio.samples) / c.sampleRate;
    EXPECT_GT(soundSeconds, videoSeconds - 0.05) << soundSeconds << " s of sound";
    EXPECT_LT(soundSeconds, videoSeconds + 0.1) << soundSeconds << " s of sound";

    if (c.preset < 0) {
        EXPECT_EQ(f.nbFramesHeader, c.frames);  // the AVI index agrees
        return;
    }
    // 4:3 pictures on the disc formats, square pixels on the customised ones.
    const double aspect = c.preset <= 5 ? 4.0 / 3.0 : 64.0 / 48.0;
    EXPECT_NEAR(f.video.displayAspect, aspect, aspect * 0.015);
    const SequenceHeader s = ReadSequenceHeader(f.firstVideoPacket);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.width, c.width);
    EXPECT_EQ(s.height, c.height);
    EXPECT_EQ(s.aspect, c.aspectCode);
    EXPECT_EQ(s.rateCode, c.rateCode);
    EXPECT_EQ(s.bitRate, c.bitRateField);
    if (c.vbvField) {
        EXPECT_EQ(s.vbv, c.vbvField);
    }
    if (c.muxRate) {
        EXPECT_EQ(PackMuxRate(f.head), c.muxRate);
    }
    if (c.sectorSize) {
        EXPECT_EQ(f.fileSize % c.sectorSize, 0) << "file of " << f.fileSize << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

// --- the sound track ---

TMclCodecInfo UncompressedBlock() {
    TMclCodecInfo block{};
    EXPECT_TRUE(mcl_test::AviCodecBlock(0, 64, 48, &block));
    return block;
}

struct SoundCase {
    const char* name;
    std::vector<double> seconds;  // one tone per list entry; 0 makes an empty entry
    const char* format;           // "wav" or "mp3"
    const char* extension;        // of the file name; the recording pass writes temporary ".tmp" files
    int sampleRate;
    int channels;
    bool truncate;
    double minSeconds, maxSeconds;  // the sound track's length (the video lasts 10/12 s)
    // Damage done to the file after writing it: a file cut off halfway (a copy that broke off), or a WAV
    // whose length fields were never filled in (a recording that ended abruptly).
    enum class Damage { None, CutInHalf, OpenLengths } damage = Damage::None;
};

void Damage(const std::filesystem::path& path, SoundCase::Damage damage) {
    if (damage == SoundCase::Damage::CutInHalf) {
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    } else if (damage == SoundCase::Damage::OpenLengths) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        std::string head(256, '\0');
        f.read(head.data(), static_cast<std::streamsize>(head.size()));
        f.clear();
        const char open[4] = {'\xFF', '\xFF', '\xFF', '\xFF'};
        f.seekp(4);  // RIFF size
        f.write(open, 4);
        f.seekp(static_cast<std::streamoff>(head.find("data") + 4));  // the data chunk's size
        f.write(open, 4);
    }
}

const SoundCase kSounds[] = {
    {"LongWavCut", {3.0}, "wav", "wav", 44100, 2, true, 0.80, 0.90},
    {"LongWavKeptWithoutCut", {3.0}, "wav", "wav", 44100, 2, false, 2.95, 3.08},
    {"ShortWavEndsEarly", {0.3}, "wav", "wav", 44100, 2, true, 0.28, 0.36},
    {"MonoHalfRateResampled", {3.0}, "wav", "wav", 22050, 1, true, 0.80, 0.90},
    {"Mp3Decoded", {3.0}, "mp3", "mp3", 44100, 2, true, 0.80, 0.90},
    {"TwoFilesInTurn", {0.3, 0.3}, "wav", "wav", 44100, 2, false, 0.58, 0.66},
    {"RecordedWavNamedTmp", {3.0}, "wav", "tmp", 44100, 2, true, 0.80, 0.90},
    {"RecordedMp3NamedTmp", {3.0}, "mp3", "tmp", 44100, 2, true, 0.80, 0.90},
    {"Mp3CutInHalf", {3.0}, "mp3", "mp3", 44100, 2, false, 1.4, 1.6, SoundCase::Damage::CutInHalf},
    {"WavCutInHalf", {3.0}, "wav", "wav", 44100, 2, false, 1.45, 1.55, SoundCase::Damage::CutInHalf},
    {"WavWithOpenLengths", {3.0}, "wav", "wav", 44100, 2, false, 2.95, 3.08, SoundCase::Damage::OpenLengths},
    {"EmptyEntryNoSound", {0}, "wav", "wav", 44100, 2, true, 0, 0},
};

class SoundTest : public ConvertTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(SoundTest, BecomesTheSoundTrack) {
    const SoundCase& c = GetParam();
    if (std::string(c.format) == "mp3" && !mcl_test::HasEncoder("libmp3lame"))
        GTEST_SKIP() << "this FFmpeg has no MP3 encoder to make the input file";
    ConversionJob job;
    job.output = dir_.path() / "out.avi";
    job.sourceRate = 12;
    for (size_t i = 0; i < c.seconds.size(); ++i) {
        if (c.seconds[i] == 0) {
            job.sounds.push_back("");
            continue;
        }
        const auto path = dir_.path() / ("sound" + std::to_string(i) + "." + c.extension);
        ASSERT_TRUE(mcl_test::WriteTone(path, c.format, c.seconds[i], c.sampleRate, c.channels));
        Damage(path, c.damage);
        job.sounds.push_back(path.string());
    }
    const TMclCodecInfo block = UncompressedBlock();
    job.configure = [&](MclHandle h) {
        ConfigureAvi(h, block, 12.0, 64, 48);
        MclTruncateAudioToVideo(h, c.truncate ? -1 : 0);
    };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    EXPECT_TRUE(job.errorFiles.empty()) << MclLastErrorText();

    const MediaFacts f = ProbeMedia(job.output);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.video.frames, 10);
    if (c.maxSeconds == 0) {
        EXPECT_FALSE(f.audio.present);
        return;
    }
    ASSERT_TRUE(f.audio.present);
    EXPECT_EQ(f.audio.sampleRate, 44100);  // the format the conversion was told, whatever the file had
    EXPECT_EQ(f.audio.channels, 2);
    const double seconds = static_cast<double>(f.audio.samples) / 44100;
    EXPECT_GE(seconds, c.minSeconds);
    EXPECT_LE(seconds, c.maxSeconds);
}

INSTANTIATE_TEST_SUITE_P(Sounds, SoundTest, ::testing::ValuesIn(kSounds),
                         [](const ::testing::TestParamInfo<SoundCase>& info) { return info.param.name; });

// A sound file that cannot be read goes to the error callback with its name; the answer decides.
class BadSoundTest : public ConvertTest {
  protected:
    void SetUp() override {
        bad_ = (dir_.path() / "notes.wav").string();
        std::ofstream(bad_) << "not a sound file\n";
        job_.output = dir_.path() / "out.avi";
        job_.sounds = {bad_};
        block_ = UncompressedBlock();
        job_.configure = [this](MclHandle h) { ConfigureAvi(h, block_, 12.0, 64, 48); };
    }
    std::string bad_;
    ConversionJob job_;
    TMclCodecInfo block_{};
};

TEST_F(BadSoundTest, IgnoreGoesOnWithoutSound) {
    job_.errorAnswer = kMclActionIgnore;
    RunConversion(job_);
    EXPECT_EQ(job_.result, 0);
    ASSERT_EQ(job_.errorFiles.size(), 1u);
    EXPECT_EQ(job_.errorFiles[0], bad_);
    EXPECT_EQ(job_.proposedActions[0], kMclActionIgnore);
    const MediaFacts f = ProbeMedia(job_.output);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.video.frames, 10);
    EXPECT_FALSE(f.audio.present);
}

TEST_F(BadSoundTest, MissingFileIsReportedByName) {
    const std::string missing = (dir_.path() / "gone.mp3").string();
    job_.sounds = {missing};
    RunConversion(job_);
    EXPECT_EQ(job_.result, 0);
    ASSERT_EQ(job_.errorFiles.size(), 1u);
    EXPECT_EQ(job_.errorFiles[0], missing);
}

TEST_F(BadSoundTest, AbortEndsWithAFinishedFile) {
    job_.errorAnswer = kMclActionAbort;
    RunConversion(job_);
    EXPECT_EQ(job_.result, kMclErrorAborted);
    EXPECT_NE(MclLastErrorText().find(bad_), std::string::npos) << MclLastErrorText();
    EXPECT_EQ(MclCheckError(), kMclErrorAborted);
    EXPECT_EQ(job_.videoCalls, 0);  // no frame is asked for after the abort
    const MediaFacts f = ProbeMedia(job_.output);
    ASSERT_TRUE(f.ok) << f.error;  // header and trailer written: a valid, empty AVI
    EXPECT_EQ(f.demuxer, "avi");
    EXPECT_TRUE(f.video.present);
    EXPECT_EQ(f.video.frames, 0);
}

TEST_F(BadSoundTest, RetriesAreBounded) {
    job_.errorAnswer = kMclActionRetry;
    RunConversion(job_);
    EXPECT_EQ(job_.result, 0);
    EXPECT_EQ(job_.errorFiles.size(), 4u);  // the first failure and three retries, then it is ignored
    const MediaFacts f = ProbeMedia(job_.output);
    EXPECT_EQ(f.video.frames, 10);
    EXPECT_FALSE(f.audio.present);
}

TEST_F(BadSoundTest, RetryReadsTheFileAgain) {
    job_.errorAnswer = kMclActionRetry;
    job_.onError = [this](const std::string& file, int32_t*) {
        ASSERT_TRUE(mcl_test::WriteTone(file, "wav", 2.0, 44100, 2));  // the user puts the right file there
    };
    RunConversion(job_);
    EXPECT_EQ(job_.result, 0);
    EXPECT_EQ(job_.errorFiles.size(), 1u);
    const MediaFacts f = ProbeMedia(job_.output);
    EXPECT_TRUE(f.audio.present);
}

// --- the output file ---

TEST_F(ConvertTest, UncreatableOutputIsReportedAndNothingIsAsked) {
    ConversionJob job;
    job.output = dir_.path() / "missing-folder" / "out.avi";
    job.errorAnswer = kMclActionAbort;
    RunConversion(job);
    EXPECT_NE(job.result, 0);
    EXPECT_EQ(MclCheckError(), job.result);
    EXPECT_EQ(MclCheckError(), 0);  // read once, then cleared
    ASSERT_EQ(job.errorFiles.size(), 1u);
    EXPECT_EQ(job.errorFiles[0], job.output.string());
    EXPECT_EQ(job.proposedActions[0], kMclActionAbort);
    EXPECT_EQ(job.videoCalls, 1);  // the first frame decides the file's layout; then nothing more
    EXPECT_FALSE(std::filesystem::exists(job.output));
}

struct EarlyCase {
    const char* name;
    int preset;         // -1: AVI
    uint32_t aviCodec;  // AVI: H.264, whose encoder holds frames back
    const char* encoder;
    int delivered;
    int frames;  // written after keeping the duration
};

const EarlyCase kEarly[] = {
    {"AviH264", -1, MclFourCC('H', '2', '6', '4'), "libx264", 5, 5},
    {"AviUncompressed", -1, 0, "rawvideo", 5, 5},
    {"DvdPal", 3, 0, "mpeg2video", 5, 10},  // 5 frames at 12/s are 10 at 25/s
};

class EarlyEndTest : public ConvertTest, public ::testing::WithParamInterface<EarlyCase> {};

// The source stops after a few of the frames it meant to give (Stop, Cancel): the file holds exactly those,
// drained from the encoder, with its index.
TEST_P(EarlyEndTest, KeepsExactlyTheFramesDelivered) {
    const EarlyCase& c = GetParam();
    if (!mcl_test::HasEncoder(c.encoder)) GTEST_SKIP() << "no " << c.encoder << " in this FFmpeg";
    ConversionJob job;
    job.output = dir_.path() / (std::string(c.name) + (c.preset < 0 ? ".avi" : ".mpg"));
    job.frames = 30;
    job.sourceRate = 12;
    job.sounds = {ToneWav()};
    job.beforeFrame = [&](MclHandle, int index) { return index < c.delivered; };
    TMclCodecInfo block{};
    if (c.preset < 0) {
        ASSERT_TRUE(mcl_test::AviCodecBlock(c.aviCodec, 64, 48, &block));
        job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 12.0, 64, 48); };
    } else {
        job.configure = [&](MclHandle h) { ConfigureMpeg(h, c.preset, 64, 48, 0); };
    }
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const MediaFacts f = ProbeMedia(job.output);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.decodeErrors, 0);
    EXPECT_EQ(f.video.frames, c.frames);
    if (c.preset < 0) {
        EXPECT_EQ(f.nbFramesHeader, c.frames);
    }
    EXPECT_TRUE(f.audio.present);
}

INSTANTIATE_TEST_SUITE_P(EarlyEnd, EarlyEndTest, ::testing::ValuesIn(kEarly),
                         [](const ::testing::TestParamInfo<EarlyCase>& info) { return info.param.name; });

// --- frames ---

// 12 frames/s written at 25: after k delivered frames the file holds round(k * 25 / 12), so each output frame
// shows the picture nearest its moment: 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 5, ...
TEST_F(ConvertTest, KeepDurationRepeatsFramesInOrder) {
    ConversionJob job;
    job.output = dir_.path() / "keep.avi";
    job.sourceRate = 12;
    const TMclCodecInfo block = UncompressedBlock();
    job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 25.0, 64, 48); };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const std::vector<int> shows = {0, 0, 1, 1, 2, 2, 3,
                                    3, 4, 4, 5, 5, 5};  // output frame -> delivered frame
    for (size_t i = 0; i < shows.size(); ++i) {
        const MediaFacts f = ProbeMedia(job.output, static_cast<int>(i));
        ASSERT_TRUE(f.ok) << f.error;
        EXPECT_EQ(f.video.frames, 21);
        EXPECT_EQ(f.video.rateNum, 25);
        EXPECT_EQ(f.picture, mcl_test::MakePicture(64, 48, shows[i], false).pixels) << "output frame " << i;
    }
}

TEST_F(ConvertTest, WithoutKeepDurationEveryFrameOnce) {
    ConversionJob job;
    job.output = dir_.path() / "plain.avi";
    job.sourceRate = 12;
    const TMclCodecInfo block = UncompressedBlock();
    job.configure = [&](MclHandle h) {
        ConfigureAvi(h, block, 25.0, 64, 48);
        MclSetKeepDuration(h, 0);
    };
    RunConversion(job);
    const MediaFacts f = ProbeMedia(job.output);
    EXPECT_EQ(f.video.frames, 10);
}

// A picture of another shape than the frame keeps its shape: scaled to fit, centred on black.
TEST_F(ConvertTest, PictureOfAnotherSizeIsFittedOnBlack) {
    ConversionJob job;
    job.output = dir_.path() / "fit.avi";
    job.pictureW = 32;
    job.pictureH = 16;  // 2:1 into 64 x 64: 64 x 32 at y = 16
    job.frames = 1;
    const TMclCodecInfo block = UncompressedBlock();
    job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 12.0, 64, 64); };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const MediaFacts f = ProbeMedia(job.output, 0);
    ASSERT_EQ(f.picture.size(), 64u * 64 * 3);
    auto pixel = [&](int x, int y) { return &f.picture[(static_cast<size_t>(y) * 64 + x) * 3]; };
    for (int y : {0, 15, 48, 63}) {
        EXPECT_EQ(pixel(32, y)[0] + pixel(32, y)[1] + pixel(32, y)[2], 0) << "border row " << y;
    }
    // Inside: the picture's gradient, doubled. Its top-left corner is dark blue-green, its right edge blue.
    const mcl_test::Picture p = mcl_test::MakePicture(32, 16, 0, false);
    EXPECT_NEAR(pixel(63, 40)[0], p.pixels[(8 * 32 + 31) * 3 + 0], 12);
    EXPECT_NEAR(pixel(1, 17)[2], p.pixels[0 * 3 + 2], 12);
    EXPECT_GT(pixel(63, 40)[0], 200);
}

TEST_F(ConvertTest, AlphaPicturesKeepTheirChannelWhereTheCodecCan) {
    ConversionJob job;
    job.output = dir_.path() / "alpha.avi";
    job.alpha = true;
    job.frames = 2;
    const TMclCodecInfo block = UncompressedBlock();
    job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 12.0, 64, 48); };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const MediaFacts f = ProbeMedia(job.output);
    EXPECT_EQ(f.video.pixelFormat, "bgra");
    EXPECT_EQ(f.video.frames, 2);
}

// The same frames and sound make the same bytes.
TEST_F(ConvertTest, SameInputSameFile) {
    TMclCodecInfo block{};
    ASSERT_TRUE(mcl_test::AviCodecBlock(MclFourCC('F', 'M', 'P', '4'), 64, 48, &block));
    std::string bytes[2];
    for (int run = 0; run < 2; ++run) {
        ConversionJob job;
        job.output = dir_.path() / ("run" + std::to_string(run) + ".avi");
        job.sourceRate = 12;
        job.sounds = {ToneWav()};
        job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 12.0, 64, 48); };
        RunConversion(job);
        ASSERT_EQ(job.result, 0);
        std::ifstream in(job.output, std::ios::binary);
        bytes[run].assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_FALSE(bytes[0].empty());
    EXPECT_TRUE(bytes[0] == bytes[1]);
}

// "Better Quality" adds encoder options; every codec that takes them must still open and write.
TEST_F(ConvertTest, BetterQualityOptionsAreAccepted) {
    const uint32_t aviCodecs[] = {MclFourCC('F', 'M', 'P', '4'), MclFourCC('H', '2', '6', '4'),
                                  MclFourCC('M', 'P', '4', '3')};
    for (uint32_t codec : aviCodecs) {
        TMclCodecInfo block{};
        if (!mcl_test::AviCodecBlock(codec, 64, 48, &block)) continue;  // not in this FFmpeg
        ConversionJob job;
        job.output = dir_.path() / "better.avi";
        job.frames = 3;
        job.configure = [&](MclHandle h) {
            ConfigureAvi(h, block, 12.0, 64, 48);
            MclSetQuality(h, kMclStreamAVI, 1);
        };
        RunConversion(job);
        EXPECT_EQ(job.result, 0) << block.codecName << ": " << MclLastErrorText();
        EXPECT_EQ(ProbeMedia(job.output).video.frames, 3) << block.codecName;
    }
    for (int preset : {1, 7}) {
        ConversionJob job;
        job.output = dir_.path() / "better.mpg";
        job.frames = 3;
        job.sourceRate = 25;
        job.configure = [&](MclHandle h) {
            ConfigureMpeg(h, preset, 64, 48, 2);
            MclSetQuality(h, kMclStreamMPEGVideo, 1);
        };
        RunConversion(job);
        EXPECT_EQ(job.result, 0) << "preset " << preset << ": " << MclLastErrorText();
        EXPECT_EQ(ProbeMedia(job.output).video.frames, 3) << "preset " << preset;
    }
}

// A full disk for this process: a file size limit, lifted again when it goes. A write past the limit fails
// with EFBIG instead of raising SIGXFSZ.
struct SizeLimit {
    rlimit saved{};
    void (*savedHandler)(int) = nullptr;
    explicit SizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        savedHandler = std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~SizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
    }
};

// A disk that fills up halfway: every failed write goes to the error callback with the output file; answered
// with "ignore" again and again, the conversion still stops after a few frames in a row instead of asking
// for every remaining frame. (The full disk is a file size limit on this process, lifted again at once.)
TEST_F(ConvertTest, FullDiskStopsAfterRepeatedFailures) {
    ConversionJob job;
    job.output = dir_.path() / "full.avi";
    job.frames = 200;  // 9 KiB each, uncompressed
    job.errorAnswer = kMclActionIgnore;
    const TMclCodecInfo block = UncompressedBlock();
    job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 12.0, 64, 48); };
    {
        SizeLimit limit(256 * 1024);
        RunConversion(job);
    }
    EXPECT_NE(job.result, 0);
    ASSERT_FALSE(job.errorFiles.empty());
    EXPECT_EQ(job.errorFiles[0], job.output.string());
    EXPECT_EQ(job.proposedActions[0], kMclActionAbort);
    EXPECT_LE(job.errorFiles.size(), 12u);  // ten frames in a row, and the file's end
    EXPECT_LT(job.videoCalls, 200);         // it stopped asking for frames
}

// --- callbacks that call back in ---
// A callback that throws ends the conversion with an error, not with an exception through the library; the
// file is still finished and the handle usable.
TEST_F(ConvertTest, ThrowingCallbackEndsTheConversionCleanly) {
    const std::string out = (dir_.path() / "thrown.avi").string();
    MclHandle h = MclAlloc();
    MclImage image;
    image.width = 64;
    image.height = 48;
    image.bgr = mcl_test::MakePicture(64, 48, 0, false).pixels;
    int calls = 0;
    MclAssignVideoSource(h, [&](MclSourceHandle source, int32_t) {
        if (++calls == 3) throw std::runtime_error("grab failed");
        MclSrcSetImg(source, &image);
    });
    MclSetOutputFile(h, out, out);
    MclSetFrameRate(h, 12);
    EXPECT_EQ(MclConvert(h), kMclErrorFailed);
    EXPECT_NE(MclLastErrorText().find("grab failed"), std::string::npos);
    const MediaFacts f = ProbeMedia(out);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.demuxer, "avi");
    EXPECT_EQ(f.video.frames, 2) << "the frames delivered before the throw are written";
    MclAssignVideoSource(h, [](MclSourceHandle source, int32_t) { MclSrcFinished(source); });
    EXPECT_EQ(MclConvert(h), 0);  // not left "running"
    MclFree(h);
}

TEST_F(ConvertTest, CallbacksMayReenterAndFreeTheHandle) {
    const std::string out = (dir_.path() / "reenter.avi").string();
    MclHandle h = MclAlloc();
    MclImage image;
    const mcl_test::Picture p = mcl_test::MakePicture(64, 48, 0, false);
    image.width = 64;
    image.height = 48;
    image.bgr = p.pixels;
    int calls = 0;
    int32_t nested = -1;
    MclAssignVideoSource(h, [&](MclSourceHandle source, int32_t) {
        ++calls;
        if (calls == 2) nested = MclConvert(h);  // a second run of the same handle is refused
        if (calls == 3) {
            // Reassigning the running callback and freeing the handle: both take effect after the run.
            MclAssignVideoSource(h, nullptr);
            MclFree(h);
        }
        if (calls <= 4) {
            MclSrcSetImg(source, &image);
            MclSrcSetFrameRate(source, 12);
        } else {
            MclSrcFinished(source);
        }
    });
    MclSetOutputFile(h, out, out);
    MclSetFrameRate(h, 12);
    EXPECT_EQ(MclConvert(h), 0);  // frees the handle on return; sanitizer builds check it
    EXPECT_EQ(nested, kMclErrorBusy);
    EXPECT_EQ(calls, 5);
    const MediaFacts f = ProbeMedia(out);
    EXPECT_EQ(f.video.frames, 4);
}

// --- the frame worker ---
// Delivered frames are written by a worker thread while the video source prepares the next; these pin what
// the hand-over must not change.

// A frame the worker fails to write is put to the error callback on the caller's thread, and soon: before
// the source is asked for more than the queue's worth of frames after the failing one. (The failing frame is
// a picture too tall for the scaler to take.) "Ignore" writes the other frames; "abort" stops
// asking at once, drops what is queued and still finishes the file (with its sound) with the frames before.
TEST_F(ConvertTest, WorkerFailureIsAskedOnTheCallersThreadWithinTheQueue) {
    constexpr int kFailing = 5;
    struct Case {
        int32_t answer;
        int frames;  // in the file
        int calls;   // to the video source; -1: all 20 and the end
    } cases[] = {{kMclActionIgnore, 19, -1}, {kMclActionAbort, kFailing, 0}};
    const TMclCodecInfo block = UncompressedBlock();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer == kMclActionAbort ? "abort" : "ignore");
        const std::filesystem::path out = dir_.path() / "failing.avi";
        MclHandle h = MclAlloc();
        MclImage image;
        int calls = 0;
        int callsAtFailure = -1;
        int failures = 0;
        std::thread::id askedOn;
        MclAssignVideoSource(h, [&](MclSourceHandle source, int32_t) {
            const int index = calls++;
            if (index == 20) {
                MclSrcFinished(source);
                return;
            }
            image.width = index == kFailing ? 1 : 64;
            image.height = index == kFailing ? 2200000 : 48;
            image.bgr.assign(static_cast<size_t>(image.width) * image.height * 3, uint8_t(index * 10));
            MclSrcSetImg(source, &image);
        });
        MclAssignAudioSource(h, [&](MclSourceHandle source, int32_t index) {
            if (index == 0)
                MclSrcSetFile(source, ToneWav());
            else
                MclSrcFinished(source);
        });
        MclAssignError(h, [&](int32_t, const char*, int32_t* action) {
            if (++failures == 1) callsAtFailure = calls;
            askedOn = std::this_thread::get_id();
            *action = c.answer;
        });
        ConfigureAvi(h, block, 12.0, 64, 48);
        MclSetOutputFile(h, out.string(), out.string());
        MclTruncateAudioToVideo(h, -1);
        EXPECT_NE(MclConvert(h), 0);
        MclFree(h);
        EXPECT_EQ(failures, 1);
        EXPECT_EQ(askedOn, std::this_thread::get_id());
        EXPECT_GT(callsAtFailure, kFailing);
        EXPECT_LE(callsAtFailure, kFailing + MclConverter::kQueuedFrames + 1);
        EXPECT_EQ(calls, c.calls < 0 ? 21 : callsAtFailure);
        const MediaFacts f = ProbeMedia(out);
        ASSERT_TRUE(f.ok) << f.error;
        EXPECT_EQ(f.video.frames, c.frames);
        EXPECT_TRUE(f.audio.present);
    }
}

// The source ends while the worker is still behind (each frame is written 25 times, the source gives them
// at once): every queued frame is still written, in order, before the file is finished.
TEST_F(ConvertTest, EndWithAFullQueueWritesEveryQueuedFrameInOrder) {
    constexpr int kDelivered = 6;
    constexpr int kRepeats = 25;  // 1 frame/s written at 25
    ConversionJob job;
    job.output = dir_.path() / "queued.avi";
    job.frames = 30;
    job.sourceRate = 1;
    job.beforeFrame = [](MclHandle, int index) { return index < kDelivered; };
    const TMclCodecInfo block = UncompressedBlock();
    job.configure = [&](MclHandle h) { ConfigureAvi(h, block, 25.0, 64, 48); };
    RunConversion(job);
    ASSERT_EQ(job.result, 0) << MclLastErrorText();
    const mcl_test::ReadResult r = mcl_test::ReadVideo(job.output, false);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.pictures.size(), size_t{kDelivered * kRepeats});
    for (size_t i = 0; i < r.pictures.size(); ++i) {
        ASSERT_EQ(r.pictures[i].pixels,
                  mcl_test::MakePicture(64, 48, static_cast<int>(i / kRepeats), false).pixels)
            << "output frame " << i;
    }
}

// The handle freed, and a second run refused, from callbacks that run while the worker holds frames; the
// run goes on to its end on its own copies (sanitizer builds check the memory).
TEST_F(ConvertTest, HandleFreedWhileTheWorkerHoldsFrames) {
    const std::string out = (dir_.path() / "freed.avi").string();
    MclHandle h = MclAlloc();
    MclImage image;
    image.width = 64;
    image.height = 48;
    int delivered = 0;
    int progressCalls = 0;
    int32_t nested = -1;
    MclAssignVideoSource(h, [&](MclSourceHandle source, int32_t) {
        if (delivered == 8) {
            MclSrcFinished(source);
            return;
        }
        image.bgr = mcl_test::MakePicture(64, 48, delivered++, false).pixels;
        MclSrcSetImg(source, &image);
        MclSrcSetFrameRate(source, 1);
    });
    MclAssignProgress(h, [&](int32_t, int32_t, int32_t, int32_t) {
        if (++progressCalls != 2) return;
        nested = MclConvert(h);
        MclFree(h);
    });
    const TMclCodecInfo block = UncompressedBlock();
    ConfigureAvi(h, block, 25.0, 64, 48);
    MclSetOutputFile(h, out, out);
    MclSetKeepDuration(h, -1);
    EXPECT_EQ(MclConvert(h), 0) << MclLastErrorText();
    EXPECT_EQ(nested, kMclErrorBusy);
    EXPECT_EQ(progressCalls, 8);
    const MediaFacts f = ProbeMedia(out, 8 * 25 - 1);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.video.frames, 8 * 25);
    EXPECT_EQ(f.picture, mcl_test::MakePicture(64, 48, 7, false).pixels);
}

}  // namespace
