#include "mcl/ffmpeg/audio_encoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace mcl::ff {
namespace {

bool TakesRate(const AVCodec* codec, int rate) {
    if (!codec->supported_samplerates) return true;
    for (const int* r = codec->supported_samplerates; *r; ++r) {
        if (*r == rate) return true;
    }
    return false;
}

// The encoder's first sample format is its native one (FFmpeg lists the preferred first).
AVSampleFormat NativeFormat(const AVCodec* codec) {
    return codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
}

// Blocks handed to encoders without a fixed frame size: one MPEG audio frame's worth.
constexpr int kVariableFrameSize = 1152;

}  // namespace

std::unique_ptr<AudioEncoder> AudioEncoder::create(const AudioEncoderParams& params, MclStatus* status) {
    MclStatus ignored;
    MclStatus& st = status ? *status : ignored;
    st = MclStatus::Error(MclError::NotFound, "no sound encoder to choose from");
    for (const std::string& name : params.encoders) {
        const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
        if (!codec || codec->type != AVMEDIA_TYPE_AUDIO) {
            st = MclStatus::Error(MclError::NotFound, "no sound encoder \"" + name + "\" in this FFmpeg");
            continue;
        }
        if (!TakesRate(codec, params.sampleRate)) {
            st = MclStatus::Error(MclError::Unsupported,
                                  name + " does not take " + std::to_string(params.sampleRate) + " Hz");
            continue;
        }
        std::unique_ptr<AudioEncoder> encoder(new AudioEncoder);
        encoder->ctx_.reset(avcodec_alloc_context3(codec));
        AVCodecContext* ctx = encoder->ctx_.get();
        if (!ctx) {
            st = MclStatus::Error(MclError::OutOfMemory, "avcodec_alloc_context3");
            return nullptr;
        }
        ctx->sample_rate = params.sampleRate;
        ctx->sample_fmt = NativeFormat(codec);
        av_channel_layout_default(&ctx->ch_layout, params.channels);
        ctx->time_base = AVRational{1, params.sampleRate};
        ctx->bit_rate = params.bitRate;
        if (params.globalHeader) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int rc = avcodec_open2(ctx, codec, nullptr);
        if (rc < 0) {
            st = MclStatusFromAv(rc, name + " at " + std::to_string(params.sampleRate) + " Hz, " +
                                         std::to_string(params.bitRate / 1000) + " kbit/s");
            continue;
        }
        const bool anySize = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || ctx->frame_size <= 0;
        encoder->frameSize_ = anySize ? kVariableFrameSize : ctx->frame_size;
        st = MclStatus{};
        return encoder;
    }
    return nullptr;
}

}  // namespace mcl::ff
