// Wave capture on a real sound server: a tone played into the private server's null sink is recorded from
// its monitor through the capture pipe and the WAV writer; the file must say what it holds (format, sizes),
// hold whole capture chunks, last about as long as the recording ran, and carry the tone at its frequency.
// Without a server, opening the capture fails with a reason.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "audio/una_wave_in_device.h"
#include "audio/unavcl_wave_pipes.h"
#include "mp3_test_audio.h"
#include "pulse_test_server.h"

namespace {

using namespace std::chrono_literals;
using pulse_test::WavFile;

constexpr double kTone = 880.0;
constexpr double kOther = 1320.0;
constexpr double kToneSeconds = 1.0;

// Checks that channel `c` of the recording carries the tone: a loud span about as long as the tone, whose
// power sits at the tone's frequency.
void ExpectTone(const WavFile& w, int c) {
    const std::vector<float> samples = w.channel(c);
    const auto [first, last] = mp3_test::LoudSpan(samples, 0.2f);
    ASSERT_LT(first, last) << "channel " << c << " is silent";
    const double loudSeconds = double(last - first) / w.sampleRate;
    EXPECT_NEAR(loudSeconds, kToneSeconds, 0.15) << "channel " << c;
    const size_t from = first + (last - first) / 4;
    const size_t to = last - (last - first) / 4;
    const double wanted = mp3_test::PowerAt(samples, from, to, kTone, int(w.sampleRate));
    const double other = mp3_test::PowerAt(samples, from, to, kOther, int(w.sampleRate));
    EXPECT_GT(wanted, 100 * other) << "channel " << c;
}

struct CaptureCase {
    uint32_t rate;
    uint16_t bits;
    uint16_t channels;
};

void PrintTo(const CaptureCase& c, std::ostream* os) {
    *os << c.rate << "Hz_" << c.bits << "bit_" << c.channels << "ch";
}

class CaptureFromMonitor : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(CaptureFromMonitor, RecordsThePlayedToneIntoACompleteWavFile) {
    TLV_REQUIRE_PULSE();
    const CaptureCase c = GetParam();
    mp3_test::TempDir dir;
    const auto tone = dir.path() / "tone.wav";
    ASSERT_TRUE(mp3_test::WriteFile(tone, pulse_test::ToneWav(44100, 2, kTone, kToneSeconds)));
    const auto out = dir.path() / "recorded.wav";

    TunavclWaveInDevice waveIn;
    TunavclWaveRiff waveRiff;
    waveIn.sourceName(pulse_test::PulseServer::kMonitor);
    for (unavclInOutWavePipe* p : std::initializer_list<unavclInOutWavePipe*>{&waveIn, &waveRiff}) {
        p->pcm_BitsPerSample(c.bits);
        p->pcm_SamplesPerSec(c.rate);
        p->pcm_NumChannels(c.channels);
    }
    waveIn.consumer(&waveRiff);
    waveRiff.isInput(false);
    waveRiff.fileName(out.string());

    const auto started = std::chrono::steady_clock::now();
    waveIn.active(true);
    ASSERT_TRUE(waveIn.active()) << waveIn.errorText();
    ASSERT_TRUE(waveRiff.active()) << waveRiff.errorText();
    pulse_test::TonePlayer player;
    ASSERT_TRUE(player.start(tone)) << "paplay could not be started";
    ASSERT_TRUE(player.wait()) << "paplay failed";
    std::this_thread::sleep_for(400ms);
    waveIn.active(false);
    const double ran = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_FALSE(waveRiff.active());

    const WavFile w = pulse_test::ReadWav(out);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(w.formatTag, 1);
    EXPECT_EQ(w.channels, c.channels);
    EXPECT_EQ(w.sampleRate, c.rate);
    EXPECT_EQ(w.bits, c.bits);
    EXPECT_EQ(w.blockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(w.byteRate, c.rate * w.blockAlign);
    EXPECT_EQ(w.riffSize, w.fileSize - 8);
    EXPECT_EQ(w.dataSize, w.fileSize - 44);
    // The capture delivers whole chunks only, and everything it delivered reached the file.
    const size_t chunk = waveIn.device()->chunkSize();
    EXPECT_EQ(w.dataSize % chunk, 0u) << "chunk " << chunk;
    EXPECT_EQ(waveIn.outBytes(), w.dataSize);
    EXPECT_EQ(waveRiff.inBytes(), w.dataSize);
    // Real time: the recording lasts about as long as the capture ran (less its start-up and last chunk).
    EXPECT_GT(w.seconds(), kToneSeconds);
    EXPECT_LE(w.seconds(), ran + 0.05);
    for (int ch = 0; ch < c.channels; ++ch)
        ExpectTone(w, ch);
}

INSTANTIATE_TEST_SUITE_P(Formats, CaptureFromMonitor,
                         ::testing::Values(CaptureCase{44100, 16, 2}, CaptureCase{22050, 8, 1},
                                           CaptureCase{11025, 16, 2}),
                         [](const ::testing::TestParamInfo<CaptureCase>& info) {
                             return std::to_string(info.param.rate) + "Hz_" +
                                    std::to_string(info.param.bits) + "bit_" +
                                    std::to_string(info.param.channels) + "ch";
                         });

TEST(CaptureFromDefaultSource, RecordsTheDefaultOutputsMonitor) {
    TLV_REQUIRE_PULSE();
    // The private server's default source is its only sink's monitor: what the mixer command selects.
    TunavclWaveInDevice waveIn;
    waveIn.pcm_SamplesPerSec(22050);
    waveIn.active(true);
    ASSERT_TRUE(waveIn.active()) << waveIn.errorText();
    // An idle null sink renders its first block late (its latency is two seconds until a client asks for
    // less), so the first chunks may take that long.
    const size_t wanted = 4 * waveIn.device()->chunkSize();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (waveIn.outBytes() < wanted && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_GE(waveIn.outBytes(), 4 * waveIn.device()->chunkSize());
    waveIn.active(false);
}

TEST(CaptureWithoutServer, FailsToOpenAndSaysWhy) {
    pulse_test::NoSoundServer noServer;
    TunavclWaveInDevice waveIn;
    waveIn.active(true);
    EXPECT_FALSE(waveIn.active());
    EXPECT_NE(waveIn.errorText().find("sound server"), std::string::npos) << waveIn.errorText();
}

}  // namespace
