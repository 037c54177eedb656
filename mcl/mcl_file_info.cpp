// MclGetFileInfo: whether a file holds a sound stream the library can read (the settings dialog's check of
// an imported sound file).
#include <cstring>

#include "mcl/ffmpeg/audio_reader.h"
#include "mcl/ffmpeg/ff_log.h"
#include "mcl/ffmpeg/ff_raii.h"
#include "mcl/mcl.h"

namespace {

void PutInt32(uint8_t* record, int offset, int32_t value) {
    std::memcpy(record + offset, &value, sizeof value);  // little-endian, as the record is laid out
}

}  // namespace

// The record's other fields are not filled: they stay zero. kind, a and b select what the original interface
// reports; only the sound part (kind 2) is defined, and every kind answers it.
int32_t MclGetFileInfo(const std::string& path, int32_t /*kind*/, uint8_t* record, int32_t /*a*/,
                       int32_t /*b*/) {
    if (record) std::memset(record, 0, kMclFileInfoSize);
    if (path.empty()) return 0;

    // A file that is no media file at all (a text file) is an expected answer, not a message for the log.
    mcl::ff::QuietLog quiet;
    const mcl::ff::AudioProbe probe = mcl::ff::ProbeAudio(path);
    if (!probe.opened) return 0;
    if (record) {
        PutInt32(record, kMclFileInfoHasAudioOffset, probe.hasAudio ? -1 : 0);
        PutInt32(record, kMclFileInfoAudioSupportedOffset, probe.decodable ? -1 : 0);
    }
    return 1;
}
