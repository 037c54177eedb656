// Sound tag writers for test movies: DefineSound, StartSound with a SoundInfo, stream heads and blocks,
// and the sound data itself (uncompressed and ADPCM encoders whose output the player must read back).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/swf_builder.h"

namespace testswf {

constexpr uint16_t kTagDefineSound = 14, kTagStartSound = 15, kTagSoundStreamHead = 18,
                   kTagSoundStreamBlock = 19, kTagSoundStreamHead2 = 45, kTagStartSound2 = 89;

// Format codes and rate codes as SWF stores them.
struct SoundFormatSpec {
    uint8_t format = 3;  // 0 native PCM, 1 ADPCM, 2 MP3, 3 little-endian PCM, 6 Nellymoser
    uint8_t rate = 3;    // 0 5.5 kHz, 1 11 kHz, 2 22 kHz, 3 44 kHz
    bool is16Bit = true;
    bool stereo = false;
};

struct SoundInfoSpec {
    bool syncStop = false, noMultiple = false;
    std::optional<uint32_t> inPoint, outPoint;
    std::optional<uint16_t> loops;
    struct Point {
        uint32_t pos44;
        uint16_t left, right;
    };
    std::vector<Point> envelope;
};

Bytes defineSound(uint16_t id, const SoundFormatSpec& f, uint32_t sampleCount, const Bytes& data);
Bytes startSound(uint16_t id, const SoundInfoSpec& info = {});
Bytes startSound2(const std::string& className, const SoundInfoSpec& info = {});
Bytes soundStreamHead(const SoundFormatSpec& f, uint16_t samplesPerBlock,
                      std::optional<int16_t> latency = std::nullopt);

// 16-bit samples as little- or big-endian bytes; 8-bit as unsigned bytes.
Bytes pcm16(const std::vector<int16_t>& samples, bool bigEndian = false);
Bytes pcm8(const std::vector<int16_t>& samples);
// A reference SWF ADPCM encoder (2 to 5 bits per code), mono or interleaved stereo input.
Bytes adpcmEncode(const std::vector<int16_t>& samples, int codeBits, bool stereo);

}  // namespace testswf
