// Test helpers for the MP3 encoder: generated tones, a decoder (FFmpeg) to read the encoded files back, and
// the measurements the tests make on the decoded signal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mp3_test {

// Interleaved 16-bit PCM: channel c carries a sine of freqs[c] Hz at 0.5 of full scale.
std::vector<int16_t> Tone(int sampleRate, int frames, const std::vector<double>& freqs);

struct Decoded {
    bool ok = false;
    std::string error;
    int sampleRate = 0;
    std::vector<std::vector<float>> channels;  // planar, -1 ... 1
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// Decodes an MP3 file (or bytes written to a file) with libavformat and libavcodec.
Decoded DecodeFile(const std::filesystem::path& path);

// Power of the signal at `freq` (Goertzel), normalised by the number of samples.
double PowerAt(const std::vector<float>& signal, size_t begin, size_t end, double freq, int sampleRate);

// First and one-past-last index whose magnitude reaches `threshold`; {0, 0} when none does.
std::pair<size_t, size_t> LoudSpan(const std::vector<float>& signal, float threshold);

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace mp3_test
