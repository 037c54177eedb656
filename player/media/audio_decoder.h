// The player's media interface for compressed sound: a decoder takes a codec's packets and gives 16-bit
// interleaved samples. The codecs behind it come from FFmpeg, whose headers stay inside player/media/.
//
// One decoder per sound or stream, used by one thread at a time. Bad packets are skipped and reported
// through the error text; decoding never throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace player::media {

struct DecodedAudio {
    int sampleRate = 0;            // of the first packet decoded; 0 until then
    int channels = 0;              // 1 or 2
    std::vector<int16_t> samples;  // interleaved
    size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};

class AudioDecoder {
  public:
    enum class Codec {
        Mp3,         // a stream of MPEG audio frames, split here
        Nellymoser,  // 64-byte blocks
        AdpcmSwf,    // one whole SWF ADPCM sound (used to check the player's own decoder)
    };

    // `sampleRate` and `channels` are what the container says (the MPEG frames carry their own).
    static std::unique_ptr<AudioDecoder> create(Codec codec, int sampleRate, int channels,
                                                std::string* error);
    virtual ~AudioDecoder() = default;

    // Decodes `data` and appends the samples to `out`. Samples of another layout than the first are
    // converted to it (mono to both channels, stereo averaged to mono); a rate change mid-stream keeps the
    // first rate. Returns false when some of the data could not be decoded (*error says why; what could
    // be decoded is still appended).
    virtual bool decode(std::span<const uint8_t> data, DecodedAudio& out, std::string* error) = 0;
    // Drains what the decoder still holds at the end of the data.
    virtual void flush(DecodedAudio& out) = 0;
};

}  // namespace player::media
