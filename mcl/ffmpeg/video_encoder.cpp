#include "mcl/ffmpeg/video_encoder.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace mcl::ff {
namespace {

bool EncoderTakes(const AVCodec* codec, AVPixelFormat format) {
    if (!codec->pix_fmts) return true;  // rawvideo and friends take any layout
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == format) return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<VideoEncoder> VideoEncoder::create(const MclEncoderSetup& setup,
                                                   const VideoEncoderParams& params, MclStatus* status) {
    MclStatus ignored;
    MclStatus& st = status ? *status : ignored;
    st = MclStatus{};

    const AVCodec* codec = avcodec_find_encoder_by_name(setup.encoder.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        st =
            MclStatus::Error(MclError::NotFound, "no video encoder \"" + setup.encoder + "\" in this FFmpeg");
        return nullptr;
    }
    const AVPixelFormat format = av_get_pix_fmt(setup.pixelFormat.c_str());
    if (format == AV_PIX_FMT_NONE || !EncoderTakes(codec, format)) {
        st = MclStatus::Error(MclError::Unsupported,
                              setup.encoder + " does not take pixel format " + setup.pixelFormat);
        return nullptr;
    }
    const AVOutputFormat* muxer = av_guess_format(setup.muxer.c_str(), nullptr, nullptr);
    if (!muxer) {
        st = MclStatus::Error(MclError::NotFound, "no muxer \"" + setup.muxer + "\" in this FFmpeg");
        return nullptr;
    }

    std::unique_ptr<VideoEncoder> encoder(new VideoEncoder);
    encoder->ctx_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* ctx = encoder->ctx_.get();
    if (!ctx) {
        st = MclStatus::Error(MclError::OutOfMemory, "avcodec_alloc_context3");
        return nullptr;
    }
    ctx->width = params.width;
    ctx->height = params.height;
    ctx->pix_fmt = format;
    ctx->framerate = params.frameRate;
    ctx->time_base = av_inv_q(params.frameRate);
    ctx->sample_aspect_ratio = params.sampleAspectRatio;
    ctx->thread_count = params.threads;
    ctx->codec_tag = setup.codecTag;
    if (muxer->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    for (const auto& [key, value] : setup.options) {
        const int rc = av_opt_set(ctx, key.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
        if (rc < 0) {
            st = MclStatusFromAv(rc, setup.encoder + " option " + key + "=" + value);
            return nullptr;
        }
    }
    const int rc = avcodec_open2(ctx, codec, nullptr);
    if (rc < 0) {
        st = MclStatusFromAv(rc, setup.encoder + " at " + std::to_string(params.width) + "x" +
                                     std::to_string(params.height) + " " + setup.pixelFormat);
        return nullptr;
    }
    encoder->codecTag_ = setup.codecTag ? setup.codecTag : ctx->codec_tag;
    encoder->frameQuality_ = setup.frameQuality;
    return encoder;
}

int VideoEncoder::send(AVFrame* frame) {
    if (frame && frameQuality_ > 0) frame->quality = frameQuality_;
    return avcodec_send_frame(ctx_.get(), frame);
}

int VideoEncoder::receive(AVPacket* packet) {
    return avcodec_receive_packet(ctx_.get(), packet);
}

}  // namespace mcl::ff
