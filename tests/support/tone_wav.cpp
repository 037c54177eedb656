#include "support/tone_wav.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace testwav {
namespace {

void put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, uint16_t(x));
    put16(v, uint16_t(x >> 16));
}

}  // namespace

std::vector<uint8_t> ToneWav(int sampleRate, int channels, double freq, uint32_t frames, double amplitude) {
    const uint32_t dataSize = frames * uint32_t(channels) * 2;
    std::vector<uint8_t> v;
    v.reserve(44 + dataSize);
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    put32(v, 36 + dataSize);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(v, 16);
    put16(v, 1);  // PCM
    put16(v, uint16_t(channels));
    put32(v, uint32_t(sampleRate));
    put32(v, uint32_t(sampleRate * channels * 2));
    put16(v, uint16_t(channels * 2));
    put16(v, 16);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    put32(v, dataSize);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s =
            int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * freq * double(i) / sampleRate)));
        for (int c = 0; c < channels; ++c)
            put16(v, uint16_t(s));
    }
    return v;
}

bool WriteToneWav(const std::string& path, int sampleRate, int channels, double freq, uint32_t frames,
                  double amplitude) {
    const std::vector<uint8_t> bytes = ToneWav(sampleRate, channels, freq, frames, amplitude);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace testwav
