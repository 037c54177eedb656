// The MP3 encoder object on mp3enc.so: PCM queued in capture-sized pieces comes back, after the worker
// thread and the library, as an MP3 file that FFmpeg decodes to the same tone, length and format; every way a
// stream ends writes the encoder's last blocks; failures give the object's result codes and messages naming
// the library file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "audio/una_blade_mp3_enc.h"
#include "mp3_test_audio.h"

namespace {

using mp3_test::Decoded;

// The record as the recording pass fills it: zeroed, constant bit rate, no bit reservoir.
BE_CONFIG PassConfig(uint32_t sampleRate, int32_t mode, uint32_t kbps) {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof(c));
    c.dwConfig = BE_CONFIG_LAME;
    BE_CONFIG_LHV1& l = c.format.LHV1;
    l.dwStructVersion = 1;
    l.dwStructSize = 331;
    l.dwSampleRate = sampleRate;
    l.nMode = mode;
    l.dwBitrate = kbps;
    l.dwMaxBitrate = kbps;
    l.nPreset = LQP_NOPRESET;
    l.nVBRQuality = 9;
    l.nVbrMethod = VBR_METHOD_NONE;
    l.bNoRes = -1;
    return c;
}

// Collects what the encoder delivers, as the recording window appends it to its file.
struct Sink {
    std::mutex lock;
    std::vector<uint8_t> bytes;
    std::set<std::thread::id> threads;

    void attach(unaAbstractEncoder& encoder) {
        encoder.setOnDataAvailable([this](unaAbstractEncoder*, const void* data, uint32_t size, bool&) {
            std::lock_guard<std::mutex> guard(lock);
            const auto* p = static_cast<const uint8_t*>(data);
            bytes.insert(bytes.end(), p, p + size);
            threads.insert(std::this_thread::get_id());
        });
    }

    Decoded decode(const std::filesystem::path& path) {
        std::lock_guard<std::mutex> guard(lock);
        if (!mp3_test::WriteFile(path, bytes)) return {};
        return mp3_test::DecodeFile(path);
    }
};

// Captured blocks as the wave capture cuts them: a tenth of a second, whole sample frames.
size_t CaptureChunk(int sampleRate, int channels) {
    const size_t align = static_cast<size_t>(channels) * 2;
    const size_t tenth = static_cast<size_t>(sampleRate) * align / 10;
    return (tenth + align - 1) / align * align;
}

void Feed(unaAbstractEncoder& encoder, const std::vector<int16_t>& pcm, size_t chunkBytes) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    for (size_t at = 0; at < total; at += chunkBytes)
        encoder.encodeChunk(bytes + at, std::min(chunkBytes, total - at));
}

// An MP3 stream without a LAME tag decodes with the encoder's delay (576 samples) and the decoder's (529) in
// front, counted at the output rate, and the last frame padded; the tone itself must keep its length.
constexpr size_t kCodecDelay = 576 + 529;

// The tone of each channel is where it was put, and only there.
void ExpectTones(const Decoded& d, const std::vector<double>& freqs, size_t toneFrames) {
    ASSERT_EQ(d.channels.size(), freqs.size());
    for (size_t c = 0; c < freqs.size(); ++c) {
        const auto [first, last] = mp3_test::LoudSpan(d.channels[c], 0.25f);
        const size_t length = last - first;
        // The edges of the tone are smeared by a few tens of samples; losing a last partial chunk or the
        // encoder's final frames costs hundreds.
        EXPECT_NEAR(static_cast<double>(length), static_cast<double>(toneFrames), 64.0) << "channel " << c;
        EXPECT_NEAR(static_cast<double>(first), static_cast<double>(kCodecDelay), 64.0) << "channel " << c;
        const size_t from = first + length / 4;
        const size_t to = last - length / 4;
        const double wanted = mp3_test::PowerAt(d.channels[c], from, to, freqs[c], d.sampleRate);
        EXPECT_GT(wanted, 0.01) << "channel " << c;  // 0.5 amplitude gives 0.0625
        for (double other : {freqs[c] * 0.5, freqs[c] * 1.5, 1000.0}) {
            EXPECT_GT(wanted, 100 * mp3_test::PowerAt(d.channels[c], from, to, other, d.sampleRate))
                << "channel " << c << " at " << other << " Hz";
        }
    }
}

struct RoundTrip {
    const char* name;
    uint32_t sampleRate;
    int32_t mode;
    uint32_t kbps;
    std::vector<double> freqs;  // one per channel
    int decodedRate;
};

void PrintTo(const RoundTrip& c, std::ostream* os) {
    *os << c.name;
}

class ToneRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(ToneRoundTrip, DecodesToTheSameToneLengthAndFormat) {
    const RoundTrip& c = GetParam();
    unaLameMp3Enc encoder(MP3ENC_PATH);
    ASSERT_EQ(encoder.errorCode(), 0u) << encoder.errorMessage();
    Sink sink;
    sink.attach(encoder);
    ASSERT_EQ(encoder.setConfig(PassConfig(c.sampleRate, c.mode, c.kbps)), 0u) << encoder.errorMessage();
    ASSERT_EQ(encoder.open(), 0u);

    const int frames = static_cast<int>(c.sampleRate);  // one second
    const int channels = static_cast<int>(c.freqs.size());
    Feed(encoder, mp3_test::Tone(static_cast<int>(c.sampleRate), frames, c.freqs),
         CaptureChunk(static_cast<int>(c.sampleRate), channels));
    ASSERT_EQ(encoder.close(), 0u);

    EXPECT_EQ(encoder.encodedDataSize(), sink.bytes.size());
    EXPECT_TRUE(sink.threads.count(std::this_thread::get_id()) == 0 || sink.threads.size() > 1)
        << "encoding must happen on the worker thread";
    mp3_test::TempDir dir;
    const Decoded d = sink.decode(dir.path() / "tone.mp3");
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.sampleRate, c.decodedRate);
    const size_t toneFrames = static_cast<size_t>(frames) * static_cast<size_t>(c.decodedRate) / c.sampleRate;
    const size_t frameSize = c.decodedRate >= 32000 ? 1152 : 576;
    EXPECT_GE(d.frames(), toneFrames + kCodecDelay);
    EXPECT_LE(d.frames(), toneFrames + kCodecDelay + frameSize)
        << "more than one frame beyond the codec delay";
    ExpectTones(d, c.freqs, toneFrames);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ToneRoundTrip,
    testing::Values(RoundTrip{"Stereo44100At128", 44100, BE_MP3_MODE_STEREO, 128, {440, 660}, 44100},
                    RoundTrip{"Mono22050At96", 22050, BE_MP3_MODE_MONO, 96, {440}, 22050},
                    RoundTrip{"Joint11025At112", 11025, BE_MP3_MODE_JSTEREO, 112, {440, 660}, 11025},
                    RoundTrip{"Dual22050At320", 22050, BE_MP3_MODE_DUALCHANNEL, 320, {440, 660}, 44100}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

// A pass cancelled early: whatever was queued, down to a last partial chunk, is encoded, and the encoder's
// last frames follow, so even a pass shorter than one frame leaves a file a player accepts.
struct EarlyEnd {
    const char* name;
    int frames;
    size_t captureBytes;  // how the capture handed the PCM over
    bool closeByDestruction;
};

void PrintTo(const EarlyEnd& c, std::ostream* os) {
    *os << c.name;
}

class CancelledPass : public testing::TestWithParam<EarlyEnd> {};

TEST_P(CancelledPass, LeavesACompleteFile) {
    const EarlyEnd& c = GetParam();
    Sink sink;
    uint32_t encoded = 0;
    {
        unaLameMp3Enc encoder(MP3ENC_PATH);
        sink.attach(encoder);
        ASSERT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), 0u);
        ASSERT_EQ(encoder.open(), 0u);
        // Queued in one go and closed at once: the worker thread is still behind when close comes.
        Feed(encoder, mp3_test::Tone(44100, c.frames, {440, 660}), c.captureBytes);
        if (!c.closeByDestruction) {
            ASSERT_EQ(encoder.close(), 0u);
            encoded = encoder.encodedDataSize();
        }
    }
    if (!c.closeByDestruction) {
        EXPECT_EQ(encoded, sink.bytes.size());
    }
    mp3_test::TempDir dir;
    const Decoded d = sink.decode(dir.path() / "cancelled.mp3");
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.sampleRate, 44100);
    EXPECT_GE(d.frames(), static_cast<size_t>(c.frames));
    if (c.frames >= 44100 / 4) ExpectTones(d, {440, 660}, static_cast<size_t>(c.frames));
}

INSTANTIATE_TEST_SUITE_P(EarlyEnds, CancelledPass,
                         testing::Values(EarlyEnd{"ShorterThanOneFrame", 1000, 17640, false},
                                         EarlyEnd{"HalfASecondInOneBlock", 22050, 22050 * 4, false},
                                         EarlyEnd{"EndsInsideAChunk", 22050 + 333, 17640, false},
                                         EarlyEnd{"EncoderDestroyedWhileOpen", 22050, 17640, true}),
                         [](const testing::TestParamInfo<EarlyEnd>& info) {
                             return std::string(info.param.name);
                         });

// The recording window keeps one encoder for the program run: each pass configures, opens and closes it.
TEST(UnaLameMp3Enc, PassesReuseOneEncoder) {
    unaLameMp3Enc encoder(MP3ENC_PATH);
    mp3_test::TempDir dir;
    Sink first;
    first.attach(encoder);
    ASSERT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), 0u);
    ASSERT_EQ(encoder.open(), 0u);
    // Twenty whole encoder chunks, then a capture that stopped inside a sample: the odd byte is left alone
    // in the queue and must not shift the next pass's samples.
    Feed(encoder, mp3_test::Tone(44100, 23040, {440, 660}), 17640);
    encoder.encodeChunk("\x7f", 1);
    // A new configuration while open finishes the running stream first, final blocks included.
    ASSERT_EQ(encoder.setConfig(PassConfig(22050, BE_MP3_MODE_MONO, 96)), 0u);
    const Decoded a = first.decode(dir.path() / "first.mp3");
    ASSERT_TRUE(a.ok) << a.error;
    ExpectTones(a, {440, 660}, 23040);
    Sink second;
    second.attach(encoder);
    ASSERT_EQ(encoder.open(), 0u);
    EXPECT_EQ(encoder.encodedDataSize(), 0u);
    Feed(encoder, mp3_test::Tone(22050, 22050, {440}), 4410);
    ASSERT_EQ(encoder.close(), 0u);
    EXPECT_EQ(encoder.encodedDataSize(), second.bytes.size());

    const Decoded b = second.decode(dir.path() / "second.mp3");
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(b.sampleRate, 22050);
    ExpectTones(b, {440}, 22050);

    EXPECT_EQ(encoder.close(), 0u) << "closing a closed encoder does nothing";
    EXPECT_FALSE(encoder.opened());
    EXPECT_FALSE(encoder.configured());
}

// A handler that ends the pass itself (say, on a full disk) closes on the worker thread: no deadlock, and the
// file still gets everything queued and the final frames.
TEST(UnaLameMp3Enc, HandlerMayCloseTheEncoder) {
    unaLameMp3Enc encoder(MP3ENC_PATH);
    Sink sink;
    std::atomic<uint32_t> closedWith{1};
    encoder.setOnDataAvailable([&](unaAbstractEncoder* sender, const void* data, uint32_t size, bool&) {
        {
            std::lock_guard<std::mutex> guard(sink.lock);
            sink.bytes.insert(sink.bytes.end(), static_cast<const uint8_t*>(data),
                              static_cast<const uint8_t*>(data) + size);
        }
        if (closedWith == 1) closedWith = sender->close();
    });
    ASSERT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), 0u);
    ASSERT_EQ(encoder.open(), 0u);
    Feed(encoder, mp3_test::Tone(44100, 22050, {440, 660}), 22050 * 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(encoder.close(), 0u);
    EXPECT_EQ(closedWith, 0u);
    EXPECT_FALSE(encoder.opened());
    mp3_test::TempDir dir;
    const Decoded d = sink.decode(dir.path() / "handler_closed.mp3");
    ASSERT_TRUE(d.ok) << d.error;
    ExpectTones(d, {440, 660}, 22050);
    // The encoder is usable again afterwards.
    ASSERT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), 0u);
    ASSERT_EQ(encoder.open(), 0u);
    EXPECT_EQ(encoder.close(), 0u);
}

TEST(UnaLameMp3Enc, WithoutHandlerBlocksGoToTheOutputQueue) {
    unaLameMp3Enc encoder(MP3ENC_PATH);
    ASSERT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), 0u);
    ASSERT_EQ(encoder.open(), 0u);
    Feed(encoder, mp3_test::Tone(44100, 11025, {440, 660}), 17640);
    ASSERT_EQ(encoder.close(), 0u);
    EXPECT_GT(encoder.encodedDataSize(), 0u);
    EXPECT_EQ(encoder.outStream().getSize(), encoder.encodedDataSize());

    // A handler asking to keep its blocks gets them and the queue keeps them too.
    size_t handled = 0;
    encoder.setOnDataAvailable([&](unaAbstractEncoder*, const void*, uint32_t size, bool& copyToStream) {
        handled += size;
        copyToStream = true;
    });
    ASSERT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), 0u);
    ASSERT_EQ(encoder.open(), 0u);
    EXPECT_EQ(encoder.outStream().getSize(), 0u) << "open empties the output queue";
    Feed(encoder, mp3_test::Tone(44100, 11025, {440, 660}), 17640);
    ASSERT_EQ(encoder.close(), 0u);
    EXPECT_GT(handled, 0u);
    EXPECT_EQ(encoder.outStream().getSize(), handled);
}

TEST(UnaLameMp3Enc, ResolvesTheLibraryEntryPoints) {
    unaLameMp3Enc encoder("  " MP3ENC_PATH " ");  // blanks around the path are not part of it
    ASSERT_EQ(encoder.errorCode(), 0u) << encoder.errorMessage();
    EXPECT_EQ(encoder.dllPath(), MP3ENC_PATH);
    for (const char* name : {TEXT_BEINITSTREAM, TEXT_BEENCODECHUNK, TEXT_BEDEINITSTREAM, TEXT_BECLOSESTREAM,
                             TEXT_BEVERSION, TEXT_BEWRITEVBRHEADER})
        EXPECT_TRUE(encoder.resolved(name)) << name;
    EXPECT_EQ(encoder.version().byMajorVersion, 3);
}

struct LoadFailure {
    const char* name;
    std::string path;
    std::string fileInMessage;
};

void PrintTo(const LoadFailure& c, std::ostream* os) {
    *os << c.name;
}

class LibraryNotLoaded : public testing::TestWithParam<LoadFailure> {};

TEST_P(LibraryNotLoaded, ReportsTheCodeAndNamesTheFile) {
    unaLameMp3Enc encoder(GetParam().path);
    EXPECT_EQ(encoder.errorCode(), UNA_ENCODER_ERR_NOT_LOADED);
    EXPECT_FALSE(encoder.loaded());
    EXPECT_NE(encoder.errorMessage().find("\"" + GetParam().fileInMessage + "\""), std::string::npos)
        << encoder.errorMessage();
    EXPECT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), UNA_ENCODER_ERR_NOT_LOADED);
    EXPECT_NE(encoder.errorMessage().find(GetParam().fileInMessage), std::string::npos);
    EXPECT_EQ(encoder.open(), UNA_ENCODER_ERR_CONFIG_REQUIRED);
    encoder.encodeChunk("\1\2\3\4", 4);  // queued, harmless
    EXPECT_EQ(encoder.close(), 0u);
    EXPECT_EQ(encoder.close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LibraryNotLoaded,
    testing::Values(LoadFailure{"WrongPath", "/nonexistent/folder/mp3enc-gone.so", "mp3enc-gone.so"},
                    LoadFailure{"NotALibrary", __FILE__, "una_lame_mp3_enc_test.cpp"}),
    [](const testing::TestParamInfo<LoadFailure>& info) { return std::string(info.param.name); });

// Without a path the library beside the executable is loaded, as the program installs it.
TEST(UnaLameMp3Enc, DefaultLibraryIsBesideTheExecutable) {
    unaLameMp3Enc encoder("  ");
    const std::string expected = unaExecutableFolder() + MP3ENC_LIBRARY_FILE_NAME;
    ASSERT_NE(unaExecutableFolder(), "");
    EXPECT_EQ(encoder.dllPath(), expected);
    if (std::filesystem::exists(expected)) {
        EXPECT_EQ(encoder.errorCode(), 0u) << encoder.errorMessage();
    } else {
        EXPECT_EQ(encoder.errorCode(), UNA_ENCODER_ERR_NOT_LOADED);
        EXPECT_NE(encoder.errorMessage().find("\"" MP3ENC_LIBRARY_FILE_NAME "\""), std::string::npos)
            << encoder.errorMessage();
    }
}

TEST(UnaLameMp3Enc, LibraryWithoutTheEntryPointsGivesItsCode) {
    unaLameMp3Enc encoder("libm.so.6");
    ASSERT_EQ(encoder.errorCode(), 0u) << encoder.errorMessage();
    EXPECT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), UNA_ENCODER_ERR_NO_ENTRY_POINT);
    EXPECT_NE(encoder.errorMessage().find("\"libm.so.6\""), std::string::npos) << encoder.errorMessage();
    EXPECT_NE(encoder.errorMessage().find(TEXT_BEINITSTREAM), std::string::npos) << encoder.errorMessage();
    EXPECT_EQ(encoder.open(), UNA_ENCODER_ERR_CONFIG_REQUIRED);
}

struct Rejected {
    const char* name;
    uint32_t sampleRate;
    uint32_t kbps;
};

void PrintTo(const Rejected& c, std::ostream* os) {
    *os << c.name;
}

class RejectedConfig : public testing::TestWithParam<Rejected> {};

TEST_P(RejectedConfig, GivesTheLibraryCodeAndLeavesTheEncoderClosed) {
    unaLameMp3Enc encoder(MP3ENC_PATH);
    Sink sink;
    sink.attach(encoder);
    EXPECT_EQ(encoder.setConfig(PassConfig(GetParam().sampleRate, BE_MP3_MODE_STEREO, GetParam().kbps)),
              BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(encoder.errorCode(), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_NE(encoder.errorMessage().find(MP3ENC_LIBRARY_FILE_NAME), std::string::npos);
    EXPECT_FALSE(encoder.configured());
    EXPECT_EQ(encoder.open(), UNA_ENCODER_ERR_CONFIG_REQUIRED);
    EXPECT_EQ(encoder.close(), 0u);
    EXPECT_TRUE(sink.bytes.empty());
}

INSTANTIATE_TEST_SUITE_P(Configs, RejectedConfig,
                         testing::Values(Rejected{"SampleRate", 44000, 128}, Rejected{"BitRate", 44100, 100},
                                         Rejected{"BitRateAboveAnyTable", 44100, 384}),
                         [](const testing::TestParamInfo<Rejected>& info) {
                             return std::string(info.param.name);
                         });

// Bytes queued while the encoder is closed wait for the next open and start that stream.
TEST(UnaLameMp3Enc, DataQueuedBeforeOpenIsEncodedAfterIt) {
    unaLameMp3Enc encoder(MP3ENC_PATH);
    Sink sink;
    sink.attach(encoder);
    ASSERT_EQ(encoder.setConfig(PassConfig(44100, BE_MP3_MODE_STEREO, 128)), 0u);
    Feed(encoder, mp3_test::Tone(44100, 22050, {440, 660}), 17640);
    EXPECT_TRUE(sink.bytes.empty());
    ASSERT_EQ(encoder.open(), 0u);
    ASSERT_EQ(encoder.close(), 0u);
    mp3_test::TempDir dir;
    const Decoded d = sink.decode(dir.path() / "queued.mp3");
    ASSERT_TRUE(d.ok) << d.error;
    ExpectTones(d, {440, 660}, 22050);
}

}  // namespace
