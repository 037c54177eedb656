// Sound decoders: SWF sound payloads (uncompressed, ADPCM, MP3, Nellymoser) into Pcm at the sound's own
// rate. ADPCM and uncompressed sound are decoded here; MP3 and Nellymoser go through the player's media
// interface. Malformed data gives what could be decoded and a line for the log, never a crash.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/sound/pcm.h"
#include "swf/tags.h"

namespace player::sound {

// SWF sound format codes.
enum Format : uint8_t {
    kPcmNative = 0,
    kAdpcm = 1,
    kMp3 = 2,
    kPcmLittle = 3,
    kNelly16k = 4,
    kNelly8k = 5,
    kNelly = 6,
    kSpeex = 11,
};

// The rate a format field states, as a fraction (rate code 0 is 5512.5 Hz).
void formatRate(const swf::SoundFormat& f, int64_t& num, int64_t& den);

// Uncompressed samples: 8-bit unsigned or 16-bit signed, interleaved when stereo.
void decodePcm(std::span<const uint8_t> data, bool is16Bit, bool stereo, bool bigEndian,
               std::vector<int16_t>& out);
// For format 0 ("native" byte order, which depends on the machine that wrote the movie): the order that
// gives the smoother signal. Wrong-order 16-bit audio is close to white noise, so it is never close.
bool looksBigEndian(std::span<const uint8_t> data, bool stereo);

// SWF ADPCM: a 2-bit code size, then blocks of 4096 samples per channel, each opening with a 16-bit
// sample and a 6-bit step index per channel. Appends interleaved samples; returns false when the data ends
// inside a block header (the samples before it are kept).
bool decodeAdpcm(std::span<const uint8_t> data, bool stereo, std::vector<int16_t>& out);

// A whole DefineSound. `log` gets a line when the data is malformed or the format unsupported; the result
// is null only when nothing at all could be decoded.
PcmPtr decodeDefineSound(const swf::DefineSound& s, std::string* log);

// A whole MP3 file's bytes (for script that loads a local MP3 as a sound); null when no frame decodes.
PcmPtr decodeMp3(std::span<const uint8_t> data, std::string* log);

// A timeline's stream: decodes the blocks in order, remembering where each block's sound starts.
class StreamDecoder {
  public:
    explicit StreamDecoder(const swf::SoundStreamHead& head);
    ~StreamDecoder();
    // Appends one SoundStreamBlock's sound to the stream. Returns the sample (at the stream's own rate)
    // where this block's frame begins, after MP3 seek samples.
    int64_t addBlock(std::span<const uint8_t> block, std::string* log);
    // The decoded stream so far (channels and rate from the head, or from the MP3 frames).
    std::shared_ptr<Pcm> finish(std::string* log);
    bool supported() const { return supported_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool supported_ = true;
};

}  // namespace player::sound
