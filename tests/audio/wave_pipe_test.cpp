// The wave pipes without a sound server: the chunk size rule, the WAV writer behind a capture pipe (header
// before the first block, every block taken in written, final sizes after close), the consumer link that a
// pause cuts (the capture keeps at most overNum + 1 chunks meanwhile and drops them on relinking), and the
// links between pipes when one of them goes away.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <tuple>
#include <vector>

#include "audio/una_riff_stream.h"
#include "audio/una_wave_format.h"
#include "audio/unavcl_wave_pipes.h"
#include "mp3_test_audio.h"
#include "pulse_test_server.h"

namespace {

using pulse_test::ReadWav;
using pulse_test::WavFile;

struct ChunkCase {
    uint32_t rate;
    uint16_t bits;
    uint16_t channels;
    size_t chunk;
};

void PrintTo(const ChunkCase& c, std::ostream* os) {
    *os << c.rate << "Hz_" << c.bits << "bit_" << c.channels << "ch";
}

class ChunkSize : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkSize, IsATenthOrAFifthOfASecondInWholeSampleFrames) {
    const ChunkCase c = GetParam();
    EXPECT_EQ(unaChunkSize(unaMakePcmFormat(c.rate, c.bits, c.channels)), c.chunk);
}

// Every format the recording pass can ask for.
INSTANTIATE_TEST_SUITE_P(RecordingFormats, ChunkSize,
                         ::testing::Values(ChunkCase{44100, 8, 1, 4410}, ChunkCase{44100, 8, 2, 8820},
                                           ChunkCase{44100, 16, 1, 8820}, ChunkCase{44100, 16, 2, 17640},
                                           ChunkCase{22050, 8, 1, 2205}, ChunkCase{22050, 8, 2, 4410},
                                           ChunkCase{22050, 16, 1, 4410}, ChunkCase{22050, 16, 2, 8820},
                                           ChunkCase{11025, 8, 1, 2205}, ChunkCase{11025, 8, 2, 2206},
                                           ChunkCase{11025, 16, 1, 2206}, ChunkCase{11025, 16, 2, 4412}),
                         [](const ::testing::TestParamInfo<ChunkCase>& info) {
                             return std::to_string(info.param.rate) + "Hz_" +
                                    std::to_string(info.param.bits) + "bit_" +
                                    std::to_string(info.param.channels) + "ch";
                         });

// A capture device that produces what the test hands it, as the real one delivers recorded chunks.
class FakeCaptureDevice : public unaWaveDevice {
  public:
    explicit FakeCaptureDevice(uint32_t overNum) : unaWaveDevice(false, true, overNum) {}
    ~FakeCaptureDevice() override { close(); }
    void produce(const std::vector<uint8_t>& block) { deliver(block.data(), block.size()); }

  protected:
    bool doOpen() override { return true; }
    void doClose() override {}
};

class FakeCapturePipe : public unavclInOutWavePipe {
  public:
    FakeCapturePipe() {
        auto device = std::make_unique<FakeCaptureDevice>(overNum);
        device_ = device.get();
        setDevice(std::move(device));
    }
    FakeCaptureDevice& fake() { return *device_; }

  private:
    FakeCaptureDevice* device_;
};

// Block n of the stream: every byte says which block it came from.
std::vector<uint8_t> Block(size_t size, int n) {
    return std::vector<uint8_t>(size, uint8_t(n));
}

class WaveChain : public ::testing::Test {
  protected:
    void SetUp() override {
        for (unavclInOutWavePipe* p : std::initializer_list<unavclInOutWavePipe*>{&capture, &riff}) {
            p->pcm_BitsPerSample(16);
            p->pcm_SamplesPerSec(11025);
            p->pcm_NumChannels(2);
        }
        capture.consumer(&riff);
        riff.isInput(false);
        riff.fileName(file.string());
        chunk = capture.device()->chunkSize();
        ASSERT_EQ(chunk, 4412u);
    }

    // The bytes of the file's data part, block by block: which block number each chunk-sized piece holds.
    std::vector<int> BlocksIn(const WavFile& w) const {
        std::vector<int> blocks;
        for (size_t at = 0; at < w.data.size(); at += chunk)
            blocks.push_back(w.data[at]);
        return blocks;
    }

    mp3_test::TempDir dir;
    std::filesystem::path file = dir.path() / "out.wav";
    FakeCapturePipe capture;
    TunavclWaveRiff riff;
    size_t chunk = 0;
};

TEST_F(WaveChain, WritesEveryBlockAndTheFinalSizes) {
    capture.active(true);
    ASSERT_TRUE(capture.active());
    ASSERT_TRUE(riff.active()) << riff.errorText();
    // The header is on disk before the first block, with zero sizes.
    const WavFile opened = ReadWav(file);
    ASSERT_TRUE(opened.ok) << opened.error;
    EXPECT_EQ(opened.riffSize, 0u);
    EXPECT_EQ(opened.dataSize, 0u);

    std::vector<uint8_t> expected;
    for (int n = 1; n <= 25; ++n) {
        const auto b = Block(chunk, n);
        capture.fake().produce(b);
        expected.insert(expected.end(), b.begin(), b.end());
    }
    // Closing right after the last block: what the writer still had queued must reach the file too.
    capture.active(false);
    EXPECT_FALSE(riff.active());

    const WavFile w = ReadWav(file);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(w.formatTag, 1);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 11025u);
    EXPECT_EQ(w.byteRate, 44100u);
    EXPECT_EQ(w.blockAlign, 4);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.dataSize, expected.size());
    EXPECT_EQ(w.riffSize, expected.size() + 36);
    EXPECT_EQ(w.fileSize, expected.size() + 44);
    EXPECT_TRUE(w.data == expected);
    EXPECT_EQ(riff.inBytes(), expected.size());
    EXPECT_EQ(capture.outBytes(), expected.size());
}

TEST_F(WaveChain, APauseKeepsAtMostSixChunksAndTheFileLacksThePausedSpan) {
    capture.active(true);
    ASSERT_TRUE(riff.active());
    for (int n = 1; n <= 3; ++n)
        capture.fake().produce(Block(chunk, n));

    capture.consumer(nullptr);  // pause: capture runs on, nothing reaches the file
    ASSERT_TRUE(capture.device()->hasOutputQueue());
    for (int n = 10; n < 40; ++n)  // three seconds at five chunks a second... and more
        capture.fake().produce(Block(chunk, n));
    EXPECT_EQ(capture.device()->outputQueued(), 6 * chunk);
    EXPECT_EQ(capture.device()->droppedBytes(), 24 * chunk);

    capture.consumer(&riff);  // resume: what was held is discarded
    EXPECT_FALSE(capture.device()->hasOutputQueue());
    for (int n = 4; n <= 5; ++n)
        capture.fake().produce(Block(chunk, n));
    capture.active(false);

    const WavFile w = ReadWav(file);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(BlocksIn(w), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(w.dataSize, 5 * chunk);
}

TEST_F(WaveChain, BlocksAfterTheWriterClosedAreNotWrittenAndTheHeaderIsFinal) {
    capture.active(true);
    capture.fake().produce(Block(chunk, 1));
    riff.active(false);
    capture.fake().produce(Block(chunk, 2));
    capture.fake().produce(Block(chunk, 3));
    EXPECT_TRUE(capture.active());
    capture.active(false);

    const WavFile w = ReadWav(file);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(BlocksIn(w), (std::vector<int>{1}));
    EXPECT_EQ(w.riffSize, chunk + 36);
    EXPECT_EQ(w.dataSize, chunk);
}

TEST_F(WaveChain, AWriterThatCannotCreateItsFileStaysClosedAndSaysWhy) {
    const std::string missing = (dir.path() / "no such folder" / "out.wav").string();
    riff.fileName(missing);
    capture.active(true);
    EXPECT_TRUE(capture.active());
    EXPECT_FALSE(riff.active());
    EXPECT_NE(riff.errorText().find(missing), std::string::npos) << riff.errorText();
    capture.fake().produce(Block(chunk, 1));  // nowhere to go, and no harm done
    EXPECT_EQ(riff.inBytes(), 0u);
}

TEST_F(WaveChain, AnInputWriterTakesNoDataAndLeavesItsFileAlone) {
    riff.isInput(true);
    capture.active(true);
    EXPECT_FALSE(riff.active());
    capture.fake().produce(Block(chunk, 1));
    capture.active(false);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(WavePipeLinks, APipeThatGoesAwayLeavesNoLinkBehind) {
    FakeCapturePipe capture;
    {
        TunavclWaveRiff riff;
        capture.consumer(&riff);
        EXPECT_EQ(riff.providerCount(), 1u);
        EXPECT_FALSE(capture.device()->hasOutputQueue());
    }
    EXPECT_EQ(capture.consumer(), nullptr);
    EXPECT_TRUE(capture.device()->hasOutputQueue());  // without a consumer it keeps its output again

    TunavclWaveRiff riff;
    {
        FakeCapturePipe other;
        other.consumer(&riff);
        EXPECT_EQ(riff.providerCount(), 1u);
    }
    EXPECT_EQ(riff.providerCount(), 0u);

    // A ring would open itself without end.
    capture.consumer(&riff);
    riff.consumer(&capture);
    EXPECT_EQ(riff.consumer(), nullptr);
    riff.consumer(&riff);
    EXPECT_EQ(riff.consumer(), nullptr);
}

}  // namespace

namespace {

TEST(WavePipeFormat, AFormatProviderHandsItsFormatToTheWriterWhenItOpens) {
    mp3_test::TempDir dir;
    const auto file = dir.path() / "provided.wav";
    FakeCapturePipe capture;
    TunavclWaveRiff riff;
    capture.pcm_SamplesPerSec(22050);
    capture.pcm_BitsPerSample(8);
    capture.pcm_NumChannels(1);
    capture.isFormatProvider = true;
    capture.consumer(&riff);
    riff.isInput(false);
    riff.fileName(file.string());
    capture.active(true);
    capture.fake().produce(Block(capture.device()->chunkSize(), 7));
    capture.active(false);

    EXPECT_EQ(riff.pcm_SamplesPerSec(), 22050u);
    const WavFile w = ReadWav(file);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(w.sampleRate, 22050u);
    EXPECT_EQ(w.bits, 8);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.dataSize, 2205u);
}

}  // namespace
