#include "player/sound/sound_decode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "player/media/audio_decoder.h"

namespace player::sound {

namespace {

// IMA ADPCM step sizes (89 entries), and the step index changes for each code size SWF allows
// (2 to 5 bits), indexed by the code's magnitude bits.
constexpr int kSteps[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndex2[] = {-1, 2};
constexpr int kIndex3[] = {-1, -1, 2, 4};
constexpr int kIndex4[] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kIndex5[] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
constexpr const int* kIndexTables[] = {kIndex2, kIndex3, kIndex4, kIndex5};

// Most significant bit first, as SWF packs its bit fields.
class Bits {
  public:
    explicit Bits(std::span<const uint8_t> d) : d_(d) {}
    size_t left() const { return d_.size() * 8 - pos_; }
    uint32_t take(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos_)
            v = (v << 1) | ((d_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
        return v;
    }

  private:
    std::span<const uint8_t> d_;
    size_t pos_ = 0;
};

struct AdpcmChannel {
    int predictor = 0;
    int index = 0;
};

}  // namespace

void formatRate(const swf::SoundFormat& f, int64_t& num, int64_t& den) {
    switch (f.format) {
        case kNelly16k:
            num = 16000, den = 1;
            return;
        case kNelly8k:
            num = 8000, den = 1;
            return;
        default:
            break;
    }
    if (f.rate == 0) {
        num = 11025, den = 2;
    } else {
        num = int64_t(11025) << (f.rate - 1), den = 1;
    }
}

void decodePcm(std::span<const uint8_t> data, bool is16Bit, bool stereo, bool bigEndian,
               std::vector<int16_t>& out) {
    size_t frameBytes = (is16Bit ? 2u : 1u) * (stereo ? 2u : 1u);
    size_t n = data.size() / frameBytes * frameBytes;  // a torn last sample is dropped
    if (!is16Bit) {
        for (size_t i = 0; i < n; ++i)
            out.push_back(static_cast<int16_t>((int(data[i]) - 128) * 256));
        return;
    }
    for (size_t i = 0; i + 1 < n; i += 2) {
        uint16_t v =
            bigEndian ? uint16_t((data[i] << 8) | data[i + 1]) : uint16_t(data[i] | (data[i + 1] << 8));
        out.push_back(static_cast<int16_t>(v));
    }
}

bool looksBigEndian(std::span<const uint8_t> data, bool stereo) {
    size_t step = stereo ? 4 : 2;
    int64_t little = 0, big = 0;
    int prevL = 0, prevB = 0;
    for (size_t i = 0; i + 1 < data.size() && i < (size_t(1) << 20); i += step) {
        int l = int16_t(uint16_t(data[i] | (data[i + 1] << 8)));
        int b = int16_t(uint16_t((data[i] << 8) | data[i + 1]));
        little += std::abs(l - prevL);
        big += std::abs(b - prevB);
        prevL = l, prevB = b;
    }
    return big < little;
}

bool decodeAdpcm(std::span<const uint8_t> data, bool stereo, std::vector<int16_t>& out) {
    Bits bits(data);
    if (bits.left() < 2) return data.empty();
    const int codeBits = int(bits.take(2)) + 2;
    const int* table = kIndexTables[codeBits - 2];
    const int channels = stereo ? 2 : 1;
    const uint32_t signBit = 1u << (codeBits - 1);
    AdpcmChannel ch[2];
    for (;;) {
        if (bits.left() < size_t(22 * channels)) return bits.left() < 8;  // only padding left
        for (int c = 0; c < channels; ++c) {
            ch[c].predictor = int16_t(uint16_t(bits.take(16)));
            ch[c].index = int(bits.take(6));
            if (ch[c].index > 88) ch[c].index = 88;
            out.push_back(static_cast<int16_t>(ch[c].predictor));
        }
        for (int i = 1; i < 4096; ++i) {
            if (bits.left() < size_t(codeBits * channels)) return true;
            for (int c = 0; c < channels; ++c) {
                uint32_t code = bits.take(codeBits);
                int step = kSteps[ch[c].index];
                // diff = (magnitude + 1/2) * step / 2^(codeBits-2), summed bit by bit as the format does.
                int diff = 0;
                for (uint32_t k = signBit >> 1; k; k >>= 1) {
                    if (code & k) diff += step;
                    step >>= 1;
                }
                diff += step;
                ch[c].predictor += (code & signBit) ? -diff : diff;
                ch[c].predictor = std::clamp(ch[c].predictor, -32768, 32767);
                ch[c].index = std::clamp(ch[c].index + table[code & (signBit - 1)], 0, 88);
                out.push_back(static_cast<int16_t>(ch[c].predictor));
            }
        }
    }
}

namespace {

bool decodeCompressed(media::AudioDecoder::Codec codec, const swf::SoundFormat& f,
                      std::span<const uint8_t> data, Pcm& pcm, std::string* log) {
    std::string error;
    int64_t num, den;
    formatRate(f, num, den);
    auto dec = media::AudioDecoder::create(codec, int(num / den), f.stereo ? 2 : 1, &error);
    if (!dec) {
        if (log) *log = error;
        return false;
    }
    media::DecodedAudio out;
    bool ok = dec->decode(data, out, &error);
    dec->flush(out);
    if (!ok && log) *log = error;
    if (out.channels == 0) return false;
    pcm.channels = out.channels;
    if (codec == media::AudioDecoder::Codec::Mp3) pcm.rateNum = out.sampleRate, pcm.rateDen = 1;
    pcm.samples = std::move(out.samples);
    return true;
}

}  // namespace

PcmPtr decodeDefineSound(const swf::DefineSound& s, std::string* log) {
    auto pcm = std::make_shared<Pcm>();
    formatRate(s.format, pcm->rateNum, pcm->rateDen);
    pcm->channels = s.format.stereo ? 2 : 1;
    std::span<const uint8_t> data(s.data);
    std::string what = "sound " + std::to_string(s.id) + ": ";
    std::string error;
    switch (s.format.format) {
        case kPcmNative:
        case kPcmLittle: {
            bool big =
                s.format.format == kPcmNative && s.format.is16Bit && looksBigEndian(data, s.format.stereo);
            decodePcm(data, s.format.is16Bit, s.format.stereo, big, pcm->samples);
            break;
        }
        case kAdpcm:
            if (!decodeAdpcm(data, s.format.stereo, pcm->samples) && log)
                *log = what + "ADPCM data ends inside a block header";
            break;
        case kMp3: {
            if (data.size() < 2) {
                if (log) *log = what + "MP3 data too short";
                return nullptr;
            }
            int seek = int16_t(uint16_t(data[0] | (data[1] << 8)));
            if (!decodeCompressed(media::AudioDecoder::Codec::Mp3, s.format, data.subspan(2), *pcm, &error)) {
                if (log) *log = what + (error.empty() ? "no MP3 frames" : error);
                return nullptr;
            }
            if (!error.empty() && log) *log = what + error;
            // The seek samples are the encoder's lead-in before the sound proper.
            size_t ch = size_t(pcm->channels);
            if (seek > 0 && size_t(seek) * ch < pcm->samples.size())
                pcm->samples.erase(pcm->samples.begin(), pcm->samples.begin() + ptrdiff_t(size_t(seek) * ch));
            break;
        }
        case kNelly16k:
        case kNelly8k:
        case kNelly:
            if (!decodeCompressed(media::AudioDecoder::Codec::Nellymoser, s.format, data, *pcm, &error)) {
                if (log) *log = what + (error.empty() ? "no Nellymoser blocks" : error);
                return nullptr;
            }
            if (!error.empty() && log) *log = what + error;
            break;
        default:
            if (log) *log = what + "sound format " + std::to_string(s.format.format) + " is not supported";
            return nullptr;
    }
    // The header's sample count bounds the sound (decoders may give a padded last frame).
    size_t wanted = size_t(s.sampleCount) * size_t(pcm->channels);
    if (s.sampleCount > 0 && pcm->samples.size() > wanted) pcm->samples.resize(wanted);
    if (pcm->samples.empty()) return nullptr;
    return pcm;
}

PcmPtr decodeMp3(std::span<const uint8_t> data, std::string* log) {
    // Tags are not sound: an ID3v2 block before the first frame (the decoder would give up on it) and an
    // ID3v1 trailer.
    if (data.size() >= 10 && data[0] == 'I' && data[1] == 'D' && data[2] == '3') {
        size_t size = size_t(data[6] & 0x7F) << 21 | size_t(data[7] & 0x7F) << 14 |
                      size_t(data[8] & 0x7F) << 7 | size_t(data[9] & 0x7F);
        size += 10 + ((data[5] & 0x10) ? 10 : 0);  // header, and a footer when flagged
        data = data.subspan(std::min(size, data.size()));
    }
    if (data.size() >= 128 && std::memcmp(data.data() + data.size() - 128, "TAG", 3) == 0)
        data = data.first(data.size() - 128);
    auto pcm = std::make_shared<Pcm>();
    swf::SoundFormat f;
    f.format = kMp3;
    f.rate = 3;
    f.is16Bit = true;
    std::string error;
    if (!decodeCompressed(media::AudioDecoder::Codec::Mp3, f, data, *pcm, &error) || pcm->samples.empty()) {
        if (log) *log = error.empty() ? "no MP3 frames" : error;
        return nullptr;
    }
    if (!error.empty() && log) *log = error;
    return pcm;
}

// --- streams ---

struct StreamDecoder::Impl {
    swf::SoundStreamHead head;
    std::shared_ptr<Pcm> pcm = std::make_shared<Pcm>();
    std::unique_ptr<media::AudioDecoder> decoder;  // MP3 and Nellymoser streams
    media::DecodedAudio decoded;
    std::string error;
    bool bigEndian = false;
    bool orderChosen = false;
};

StreamDecoder::StreamDecoder(const swf::SoundStreamHead& head) : impl_(std::make_unique<Impl>()) {
    impl_->head = head;
    Pcm& pcm = *impl_->pcm;
    formatRate(head.stream, pcm.rateNum, pcm.rateDen);
    pcm.channels = head.stream.stereo ? 2 : 1;
    using Codec = media::AudioDecoder::Codec;
    switch (head.stream.format) {
        case kPcmNative:
        case kPcmLittle:
        case kAdpcm:
            break;
        case kMp3:
        case kNelly16k:
        case kNelly8k:
        case kNelly: {
            int64_t num = pcm.rateNum, den = pcm.rateDen;
            impl_->decoder =
                media::AudioDecoder::create(head.stream.format == kMp3 ? Codec::Mp3 : Codec::Nellymoser,
                                            int(num / den), pcm.channels, &impl_->error);
            supported_ = impl_->decoder != nullptr;
            break;
        }
        default:
            supported_ = false;
            impl_->error = "stream sound format " + std::to_string(head.stream.format) + " is not supported";
            break;
    }
}

StreamDecoder::~StreamDecoder() = default;

int64_t StreamDecoder::addBlock(std::span<const uint8_t> block, std::string* log) {
    Impl& m = *impl_;
    Pcm& pcm = *m.pcm;
    const swf::SoundFormat& f = m.head.stream;
    if (!supported_) return int64_t(pcm.frames());
    std::string error;
    switch (f.format) {
        case kPcmNative:
        case kPcmLittle: {
            if (!m.orderChosen) {
                m.bigEndian = f.format == kPcmNative && f.is16Bit && looksBigEndian(block, f.stereo);
                m.orderChosen = true;
            }
            int64_t start = int64_t(pcm.frames());
            decodePcm(block, f.is16Bit, f.stereo, m.bigEndian, pcm.samples);
            return start;
        }
        case kAdpcm: {
            int64_t start = int64_t(pcm.frames());
            if (!decodeAdpcm(block, f.stereo, pcm.samples) && log) *log = "stream ADPCM block is cut short";
            return start;
        }
        case kMp3: {
            // MP3SOUNDDATA of a stream block: sample count, seek samples, then whole MPEG frames.
            if (block.size() < 4) return int64_t(m.decoded.frames());
            int seek = int16_t(uint16_t(block[2] | (block[3] << 8)));
            int64_t start = int64_t(m.decoded.frames());
            if (!m.decoder->decode(block.subspan(4), m.decoded, &error) && log)
                *log = "stream MP3 block: " + error;
            return start + std::max(0, seek);
        }
        default: {
            int64_t start = int64_t(m.decoded.frames());
            if (!m.decoder->decode(block, m.decoded, &error) && log) *log = "stream block: " + error;
            return start;
        }
    }
}

std::shared_ptr<Pcm> StreamDecoder::finish(std::string* log) {
    Impl& m = *impl_;
    if (m.decoder) {
        m.decoder->flush(m.decoded);
        if (m.decoded.channels) {
            m.pcm->channels = m.decoded.channels;
            if (m.head.stream.format == kMp3) m.pcm->rateNum = m.decoded.sampleRate, m.pcm->rateDen = 1;
        }
        m.pcm->samples = std::move(m.decoded.samples);
    }
    if (!m.error.empty() && log) *log = m.error;
    return m.pcm;
}

}  // namespace player::sound
