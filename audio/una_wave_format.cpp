#include "audio/una_wave_format.h"

#include <algorithm>

unaPcmFormat unaMakePcmFormat(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t numChannels) {
    unaPcmFormat f;
    f.formatTag = UNA_WAVE_FORMAT_PCM;
    f.numChannels = numChannels;
    f.samplesPerSec = samplesPerSec;
    f.bitsPerSample = bitsPerSample;
    f.blockAlign = static_cast<uint16_t>(numChannels * bitsPerSample / 8);
    f.avgBytesPerSec = f.blockAlign * samplesPerSec;
    f.cbSize = 0;
    return f;
}

size_t unaChunkSize(const unaPcmFormat& format) {
    const uint64_t align = format.blockAlign ? format.blockAlign : 512;
    uint64_t bytesPerSec;
    uint64_t chunksPerSec = 10;
    if (format.formatTag == UNA_WAVE_FORMAT_PCM) {
        bytesPerSec = uint64_t(std::max<uint16_t>(format.bitsPerSample, 1)) *
                      std::max<uint16_t>(format.numChannels, 1) *
                      std::max<uint32_t>(format.samplesPerSec, 1000) / 8;
        if (bytesPerSec % 10 != 0) {
            // Five blocks a second when a tenth would not be a whole number of bytes.
            chunksPerSec = 5;
            bytesPerSec = (bytesPerSec + 4) / 5 * 5;
        }
    } else {
        bytesPerSec = format.avgBytesPerSec
                          ? format.avgBytesPerSec
                          : uint64_t(format.bitsPerSample) * format.numChannels * format.samplesPerSec / 8;
    }
    return static_cast<size_t>(align * ((bytesPerSec / chunksPerSec + align - 1) / align));
}
