// Decoded sound at its own rate: what the decoders give and the mixer reads.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace player::sound {

struct Pcm {
    // The rate as a fraction, so SWF's 5512.5 Hz is exact: rateNum / rateDen samples per second.
    int64_t rateNum = 44100;
    int64_t rateDen = 1;
    int channels = 1;              // 1 or 2
    std::vector<int16_t> samples;  // interleaved
    size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
    // Length in 44.1 kHz output samples (rounded up, so the last source sample is reached).
    int64_t frames44() const {
        int64_t den = rateNum;
        return den > 0 ? (int64_t(frames()) * 44100 * rateDen + den - 1) / den : 0;
    }
};

using PcmPtr = std::shared_ptr<const Pcm>;

}  // namespace player::sound
