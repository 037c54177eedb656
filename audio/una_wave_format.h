// unaPcmFormat: the PCM format record the wave pipes and devices carry (RIFF/WAVE "fmt " layout plus the
// extra-size field), and the chunk size rule that cuts a stream of that format into device blocks.
// Plain values; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t UNA_WAVE_FORMAT_PCM = 1;

struct unaPcmFormat {
    uint16_t formatTag = UNA_WAVE_FORMAT_PCM;
    uint16_t numChannels = 2;
    uint32_t samplesPerSec = 44100;
    uint32_t avgBytesPerSec = 176400;  // blockAlign x samplesPerSec
    uint16_t blockAlign = 4;           // numChannels x bitsPerSample / 8
    uint16_t bitsPerSample = 16;
    uint16_t cbSize = 0;  // extra bytes after the record; 0 for PCM

    bool operator==(const unaPcmFormat&) const = default;
};

// The whole record rebuilt from the three values that define a PCM stream.
unaPcmFormat unaMakePcmFormat(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t numChannels);

// Bytes of one device block: about a tenth of a second (a fifth when a tenth is not a whole number of bytes),
// rounded up to whole sample frames. 44100 Hz, 16 bits, stereo gives 17640; 11025 Hz, 8 bits, mono 2205.
size_t unaChunkSize(const unaPcmFormat& format);
