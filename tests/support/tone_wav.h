// Sound files for tests and benchmarks: a sine tone as a 16-bit PCM WAVE file (RIFF header of 44 bytes, the
// same sample in every channel). An amplitude of 0 gives silence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testwav {

// The file's bytes: `frames` sample frames of a `freq` Hz sine at `amplitude` (0..32767).
std::vector<uint8_t> ToneWav(int sampleRate, int channels, double freq, uint32_t frames, double amplitude);
// Writes ToneWav(...) to `path`; false when the file cannot be written.
bool WriteToneWav(const std::string& path, int sampleRate, int channels, double freq, uint32_t frames,
                  double amplitude);

}  // namespace testwav
