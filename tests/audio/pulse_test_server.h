// The test process's own sound server: a private PulseAudio daemon (its own runtime folder, anonymous access
// on its own socket) whose default output is a null sink, so no sound card is needed. Started on the first
// test that asks for it, stopped when the test program ends. Tests play known sound into the sink with paplay
// and record it from the sink's monitor through the project's capture chain.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pulse_test {

class PulseServer {
  public:
    // The running server, started on first use; null when none can be started (skipReason says why).
    static PulseServer* get();
    static const std::string& skipReason();
    // Stops the server (the test environment calls it at exit).
    static void shutdown();

    static constexpr const char* kSink = "tlv_out";
    static constexpr const char* kMonitor = "tlv_out.monitor";

    // Waits until the sink renders in short blocks again: changing the default source moves every recording
    // stream for a moment, the low-latency keeper too, and the null sink falls back to two-second blocks.
    void settle();
    // Runs pactl against this server; true when it exits with 0.
    bool pactl(const std::string& arguments) const;
    const std::string& address() const { return address_; }

  private:
    PulseServer() = default;
    bool start();
    void stop();

    std::filesystem::path dir_;
    std::string address_;
    pid_t pid_ = -1;
    pid_t keeper_ = -1;
};

// Skips the current test, with the reason, when no private sound server can be started.
#define TLV_REQUIRE_PULSE()                                                                              \
    do {                                                                                                 \
        if (!::pulse_test::PulseServer::get())                                                           \
            GTEST_SKIP() << "no private PulseAudio server: " << ::pulse_test::PulseServer::skipReason(); \
    } while (0)

// Points this process's sound clients at a socket where no server listens, for as long as it lives.
class NoSoundServer {
  public:
    NoSoundServer();
    ~NoSoundServer();

  private:
    std::string saved_;
    bool had_ = false;
};

// paplay playing a WAV file into the private server's sink, in the background.
class TonePlayer {
  public:
    TonePlayer() = default;
    ~TonePlayer();
    // False when paplay cannot be started.
    bool start(const std::filesystem::path& wav);
    // Waits for the end of the file; true when paplay succeeded.
    bool wait();

  private:
    pid_t pid_ = -1;
};

// A RIFF/WAVE file of 16-bit PCM: `channels` copies of a sine of `freq` Hz at half scale.
std::vector<uint8_t> ToneWav(int sampleRate, int channels, double freq, double seconds);

// What a WAV file's header says and holds.
struct WavFile {
    bool ok = false;
    std::string error;
    uint64_t fileSize = 0;
    uint32_t riffSize = 0;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    uint32_t dataSize = 0;
    std::vector<uint8_t> data;
    // Channel `c` as -1 ... 1.
    std::vector<float> channel(int c) const;
    double seconds() const { return byteRate ? double(dataSize) / byteRate : 0.0; }
};
WavFile ReadWav(const std::filesystem::path& path);

}  // namespace pulse_test
