#include "mp3enc/lame_stream.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cstdarg>

namespace mp3enc {
namespace {

constexpr std::array<uint32_t, 9> kSampleRates = {8000,  11025, 12000, 16000, 22050,
                                                  24000, 32000, 44100, 48000};

// ISO/IEC 11172-3 and 13818-3, Layer III bit rate tables (kbit/s, free format left out).
constexpr std::array<uint32_t, 14> kMpeg1Rates = {32,  40,  48,  56,  64,  80,  96,
                                                  112, 128, 160, 192, 224, 256, 320};
constexpr std::array<uint32_t, 14> kMpeg2Rates = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

// LAME asks callers for 1.25 bytes per input sample (per channel) plus 7200 for any chunk, and at least
// 7200 bytes for the flush.
constexpr uint32_t kLameSlack = 7200;

template <size_t N>
bool contains(const std::array<uint32_t, N>& list, uint32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool isMpeg1Rate(uint32_t sampleRate) {
    return sampleRate >= 32000;
}

bool bitRateFits(uint32_t sampleRate, uint32_t kbps) {
    return isMpeg1Rate(sampleRate) ? contains(kMpeg1Rates, kbps) : contains(kMpeg2Rates, kbps);
}

// The output rate when the record leaves it to the encoder: the input rate when the bit rate exists in its
// MPEG version; otherwise the input rate doubled (rates above 160 kbit/s need MPEG-1) or halved (8, 16, 24
// and 144 kbit/s exist only in MPEG-2), so the chosen bit rate is kept exactly rather than rounded away and
// the resampling ratio stays a power of two. 0 when no rate fits.
uint32_t outputRateFor(uint32_t inRate, uint32_t kbps) {
    uint32_t rate = inRate;
    if (bitRateFits(rate, kbps)) return rate;
    if (contains(kMpeg1Rates, kbps)) {
        while (!isMpeg1Rate(rate))
            rate *= 2;
    } else if (contains(kMpeg2Rates, kbps)) {
        while (isMpeg1Rate(rate))
            rate /= 2;
    }
    return contains(kSampleRates, rate) && bitRateFits(rate, kbps) ? rate : 0;
}

// LAME reports notes and warnings on stderr by default; a library loaded into a desktop program keeps quiet
// and says what went wrong through its result codes.
void quiet(const char*, va_list) {}

struct LameDeleter {
    void operator()(lame_global_flags* gf) const { lame_close(gf); }
};

}  // namespace

std::unique_ptr<LameStream> LameStream::create(const BE_CONFIG& config, BE_ERR& error) {
    error = BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config.dwConfig != BE_CONFIG_LAME) {
        error = BE_ERR_INVALID_FORMAT;
        return nullptr;
    }
    const BE_CONFIG_LHV1& c = config.format.LHV1;
    if (c.dwStructVersion != CURRENT_STRUCT_VERSION || c.dwStructSize != CURRENT_STRUCT_SIZE) return nullptr;
    if (!contains(kSampleRates, c.dwSampleRate)) return nullptr;
    if (c.nMode < BE_MP3_MODE_STEREO || c.nMode > BE_MP3_MODE_MONO) return nullptr;
    if (c.bEnableVBR) return nullptr;
    if (c.dwEmphasis != 0 && c.dwEmphasis != 1 && c.dwEmphasis != 3) return nullptr;

    uint32_t outRate = c.dwReSampleRate;
    if (outRate == 0) {
        outRate = outputRateFor(c.dwSampleRate, c.dwBitrate);
        if (outRate == 0) return nullptr;
    } else if (!contains(kSampleRates, outRate) || !bitRateFits(outRate, c.dwBitrate)) {
        return nullptr;
    }

    std::unique_ptr<lame_global_flags, LameDeleter> gf(lame_init());
    if (!gf) {
        error = BE_ERR_NO_MORE_HANDLES;
        return nullptr;
    }
    lame_set_errorf(gf.get(), quiet);
    lame_set_debugf(gf.get(), quiet);
    lame_set_msgf(gf.get(), quiet);
    const int channels = c.nMode == BE_MP3_MODE_MONO ? 1 : 2;
    lame_set_num_channels(gf.get(), channels);
    lame_set_in_samplerate(gf.get(), static_cast<int>(c.dwSampleRate));
    lame_set_out_samplerate(gf.get(), static_cast<int>(outRate));
    lame_set_mode(gf.get(), static_cast<MPEG_mode>(c.nMode));
    lame_set_VBR(gf.get(), vbr_off);
    lame_set_brate(gf.get(), static_cast<int>(c.dwBitrate));
    lame_set_emphasis(gf.get(), static_cast<int>(c.dwEmphasis));
    lame_set_extension(gf.get(), c.bPrivate != 0);
    lame_set_error_protection(gf.get(), c.bCRC != 0);
    lame_set_copyright(gf.get(), c.bCopyright != 0);
    lame_set_original(gf.get(), c.bOriginal != 0);
    lame_set_bWriteVbrTag(gf.get(), c.bWriteVBRHeader != 0);
    lame_set_disable_reservoir(gf.get(), c.bNoRes != 0);
    lame_set_strict_ISO(gf.get(), c.bStrictIso != 0);
    lame_set_write_id3tag_automatic(gf.get(), 0);
    const unsigned quality = c.nQuality & 0xffu;
    if (quality <= 9 && (c.nQuality >> 8) == (~quality & 0xffu))
        lame_set_quality(gf.get(), static_cast<int>(quality));
    if (lame_init_params(gf.get()) < 0) return nullptr;

    std::unique_ptr<LameStream> stream(new LameStream(gf.release()));
    stream->channels_ = channels;
    stream->writeTag_ = c.bWriteVBRHeader != 0;
    const uint32_t perChannel = static_cast<uint32_t>(lame_get_framesize(stream->gf_));
    stream->samplesPerChunk_ = perChannel * static_cast<uint32_t>(channels);
    const uint32_t ratio = (outRate + c.dwSampleRate - 1) / c.dwSampleRate;
    stream->bufferSize_ = kLameSlack + (perChannel * ratio * 5 + 3) / 4;
    error = BE_ERR_SUCCESSFUL;
    return stream;
}

LameStream::~LameStream() {
    lame_close(gf_);
}

BE_ERR LameStream::encode(uint32_t samples, const int16_t* pcm, uint8_t* out, uint32_t& written) {
    written = 0;
    if (finished_) return BE_ERR_INVALID_HANDLE;
    if (samples > samplesPerChunk_) return BE_ERR_BUFFER_TOO_SMALL;
    const int frames = static_cast<int>(samples) / channels_;
    if (frames == 0) return BE_ERR_SUCCESSFUL;
    // LAME only reads the samples; its prototypes predate const.
    short* in = const_cast<short*>(pcm);
    const int size = static_cast<int>(bufferSize_);
    const int n = channels_ == 1 ? lame_encode_buffer(gf_, in, in, frames, out, size)
                                 : lame_encode_buffer_interleaved(gf_, in, frames, out, size);
    if (n == -1) return BE_ERR_BUFFER_TOO_SMALL;
    if (n < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    written = static_cast<uint32_t>(n);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR LameStream::finish(uint8_t* out, uint32_t& written) {
    written = 0;
    if (finished_) return BE_ERR_INVALID_HANDLE;
    finished_ = true;
    const int n = lame_encode_flush(gf_, out, static_cast<int>(bufferSize_));
    if (n == -1) return BE_ERR_BUFFER_TOO_SMALL;
    if (n < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    written = static_cast<uint32_t>(n);
    return BE_ERR_SUCCESSFUL;
}

std::vector<uint8_t> LameStream::tagFrame() const {
    if (!writeTag_ || !finished_) return {};
    std::vector<uint8_t> frame(lame_get_lametag_frame(gf_, nullptr, 0));
    if (frame.empty()) return {};
    frame.resize(lame_get_lametag_frame(gf_, frame.data(), frame.size()));
    return frame;
}

}  // namespace mp3enc
