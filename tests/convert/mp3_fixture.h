// MP3 (and Nellymoser) for test movies and benchmarks: a mono 16-bit signal encoded with FFmpeg's encoders
// into MPEG audio frames, and FFmpeg's own decoding of those frames as the reference the player must match.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mp3fixture {

struct Encoded {
    std::vector<std::vector<uint8_t>> frames;  // one MPEG audio frame each
    int samplesPerFrame = 0;                   // 1152 (MPEG-1) or 576 (MPEG-2)
    std::string error;
};

// Encodes mono samples at `rate` (44100, 22050 or 11025) and `kbps`.
Encoded Encode(const std::vector<int16_t>& samples, int rate, int kbps = 64);
// The same with another of FFmpeg's encoders ("nellymoser": 64-byte packets of 256 samples).
Encoded EncodeWith(const char* encoder, const std::vector<int16_t>& samples, int rate, int kbps = 64);

// FFmpeg's decoding of the concatenated frames (mono, 16-bit).
std::vector<int16_t> Decode(const std::vector<uint8_t>& mp3, int rate);

}  // namespace mp3fixture
