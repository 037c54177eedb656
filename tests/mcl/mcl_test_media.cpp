#include "mcl_test_media.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "mcl/ffmpeg/ff_raii.h"
#include "mcl/mcl_image_data.h"
#include "mcl_test_video.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace mcl_test {

void RunConversion(ConversionJob& job) {
    MclHandle handle = MclAlloc();
    MclListHandle list = MclListAlloc();
    for (const std::string& name : job.sounds)
        MclListAdd(list, name, 16, 0, 0);
    MclImage image;
    int index = 0;
    MclAssignVideoSource(handle, [&](MclSourceHandle source, int32_t) {
        ++job.videoCalls;
        if (index >= job.frames || (job.beforeFrame && !job.beforeFrame(handle, index))) {
            MclSrcFinished(source);
            return;
        }
        const Picture p = MakePicture(job.pictureW, job.pictureH, index, false);
        image.width = p.width;
        image.height = p.height;
        image.bgr = p.pixels;
        if (job.alpha) {
            image.alpha.resize(static_cast<size_t>(p.width) * p.height);
            for (size_t i = 0; i < image.alpha.size(); ++i)
                image.alpha[i] = static_cast<uint8_t>(255 * (i % p.width) / std::max(1, p.width - 1));
        }
        MclSrcSetImg(source, &image);
        if (job.sourceRate > 0) MclSrcSetFrameRate(source, job.sourceRate);
        ++index;
    });
    MclAssignAudioSource(handle, [&](MclSourceHandle source, int32_t i) {
        char buffer[264];
        if (MclListGetName(list, i, buffer, sizeof buffer))
            MclSrcSetFile(source, buffer);
        else
            MclSrcFinished(source);
    });
    MclAssignError(handle, [&](int32_t, const char* file, int32_t* action) {
        job.errorFiles.push_back(file);
        job.proposedActions.push_back(*action);
        *action = job.errorAnswer;
        if (job.onError) job.onError(file, action);
    });
    MclTruncateAudioToVideo(handle, -1);
    MclSetKeepDuration(handle, -1);
    MclSetOutputFile(handle, job.output.string(), job.output.string());
    if (job.configure) job.configure(handle);
    job.result = MclConvert(handle);
    MclListFree(list);
    MclFree(handle);
}

bool AviCodecBlock(uint32_t codecID, int width, int height, TMclCodecInfo* block) {
    const int n = MclCodecsInit(kMclFormatAVI, width, height, 24);
    for (int i = 1; i <= n; ++i) {
        if (MclCodecsGetInfo(kMclFormatAVI, block, i) == 0 &&
            static_cast<uint32_t>(block->codecID) == codecID)
            return true;
    }
    return false;
}

namespace {

struct Decoder {
    mcl::ff::CodecContextPtr ctx;
    int index = -1;
};

bool OpenDecoder(AVFormatContext* in, AVMediaType type, Decoder* d, StreamFacts* facts) {
    const int index = av_find_best_stream(in, type, -1, -1, nullptr, 0);
    if (index < 0) return true;
    const AVStream* st = in->streams[index];
    facts->present = true;
    facts->codec = avcodec_get_name(st->codecpar->codec_id);
    facts->codecTag = st->codecpar->codec_tag;
    facts->bitRate = st->codecpar->bit_rate;
    if (type == AVMEDIA_TYPE_VIDEO) {
        const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(st->codecpar->format));
        facts->pixelFormat = name ? name : "";
    }
    // What the container says of the stream (ffprobe's start_time and duration).
    if (st->start_time != AV_NOPTS_VALUE) facts->listedStart = st->start_time * av_q2d(st->time_base);
    if (st->duration != AV_NOPTS_VALUE) facts->listedSeconds = st->duration * av_q2d(st->time_base);
    facts->width = st->codecpar->width;
    facts->height = st->codecpar->height;
    facts->sampleRate = st->codecpar->sample_rate;
    facts->channels = st->codecpar->ch_layout.nb_channels;
    const AVRational rate = st->r_frame_rate;
    facts->rateNum = rate.num;
    facts->rateDen = rate.den;
    facts->frameRate = rate.den ? av_q2d(rate) : 0;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return false;
    d->ctx.reset(avcodec_alloc_context3(codec));
    if (!d->ctx || avcodec_parameters_to_context(d->ctx.get(), st->codecpar) < 0) return false;
    d->ctx->thread_count = 1;
    d->ctx->pkt_timebase = st->time_base;  // as players set it: the priming skipped moves the timestamps
    if (avcodec_open2(d->ctx.get(), codec, nullptr) < 0) return false;
    d->index = index;
    return true;
}

}  // namespace

MediaFacts ProbeMedia(const std::filesystem::path& path, int pictureIndex) {
    MediaFacts facts;
    std::error_code ec;
    facts.fileSize = static_cast<int64_t>(std::filesystem::file_size(path, ec));
    if (ec) {
        facts.error = "no file " + path.string();
        return facts;
    }
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        facts.head.resize(64);
        facts.head.resize(std::fread(facts.head.data(), 1, facts.head.size(), f));
        std::fclose(f);
    }
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        facts.error = "cannot open " + path.string();
        return facts;
    }
    mcl::ff::InputFormatPtr in(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        facts.error = "no stream info";
        return facts;
    }
    facts.demuxer = raw->iformat->name;
    Decoder video;
    Decoder audio;
    if (!OpenDecoder(raw, AVMEDIA_TYPE_VIDEO, &video, &facts.video) ||
        !OpenDecoder(raw, AVMEDIA_TYPE_AUDIO, &audio, &facts.audio)) {
        facts.error = "no decoder";
        return facts;
    }
    if (video.index >= 0) facts.nbFramesHeader = raw->streams[video.index]->nb_frames;

    mcl::ff::PacketPtr packet = mcl::ff::MakePacket();
    mcl::ff::FramePtr frame = mcl::ff::MakeFrame();
    int64_t firstTs = INT64_MAX;
    int64_t lastTs = INT64_MIN;
    auto receive = [&](Decoder& d, StreamFacts& s) {
        while (avcodec_receive_frame(d.ctx.get(), frame.get()) == 0) {
            if (&s == &facts.video) {
                if (s.frames == 0 && frame->height > 0) {
                    const AVRational sar =
                        frame->sample_aspect_ratio.num ? frame->sample_aspect_ratio : AVRational{1, 1};
                    s.displayAspect = frame->width * av_q2d(sar) / frame->height;
                }
                const int64_t ts = frame->best_effort_timestamp;
                if (ts != AV_NOPTS_VALUE) {
                    firstTs = std::min(firstTs, ts);
                    lastTs = std::max(lastTs, ts);
                }
                if (s.frames == pictureIndex) {
                    mcl::ff::SwsPtr sws(sws_getContext(
                        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                        frame->height, AV_PIX_FMT_BGR24, SWS_POINT | SWS_BITEXACT | SWS_ACCURATE_RND, nullptr,
                        nullptr, nullptr));
                    facts.picture.resize(static_cast<size_t>(frame->width) * frame->height * 3);
                    uint8_t* dst[4] = {facts.picture.data(), nullptr, nullptr, nullptr};
                    const int dstStride[4] = {frame->width * 3, 0, 0, 0};
                    sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
                }
                ++s.frames;
            } else {
                const int64_t ts = frame->best_effort_timestamp;
                if (ts != AV_NOPTS_VALUE && frame->sample_rate > 0) {
                    const double at = static_cast<double>(ts) * av_q2d(raw->streams[d.index]->time_base);
                    if (s.samples == 0) s.startSeconds = at;
                    s.endSeconds = at + static_cast<double>(frame->nb_samples) / frame->sample_rate;
                }
                s.samples += frame->nb_samples;
            }
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(raw, packet.get()) >= 0) {
        Decoder* d = packet->stream_index == video.index   ? &video
                     : packet->stream_index == audio.index ? &audio
                                                           : nullptr;
        if (d) {
            if (d == &video && facts.firstVideoPacket.empty())
                facts.firstVideoPacket.assign(packet->data, packet->data + packet->size);
            if (avcodec_send_packet(d->ctx.get(), packet.get()) < 0) ++facts.decodeErrors;
            receive(*d, d == &video ? facts.video : facts.audio);
        }
        av_packet_unref(packet.get());
    }
    for (Decoder* d : {&video, &audio}) {
        if (d->index < 0) continue;
        avcodec_send_packet(d->ctx.get(), nullptr);
        receive(*d, d == &video ? facts.video : facts.audio);
    }
    if (video.index >= 0 && lastTs >= firstTs && facts.video.frameRate > 0) {
        const AVRational tb = raw->streams[video.index]->time_base;
        facts.video.seconds =
            static_cast<double>(lastTs - firstTs) * av_q2d(tb) + 1.0 / facts.video.frameRate;
        facts.video.startSeconds = static_cast<double>(firstTs) * av_q2d(tb);
        facts.video.endSeconds = facts.video.startSeconds + facts.video.seconds;
    }
    facts.ok = true;
    return facts;
}

bool HasEncoder(const char* name) {
    return avcodec_find_encoder_by_name(name) != nullptr;
}

namespace {

void PutSample(AVFrame* frame, AVSampleFormat format, int channel, int i, double v) {
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame->ch_layout.nb_channels;
    uint8_t* base = planar ? frame->extended_data[channel] : frame->extended_data[0];
    const int at = planar ? i : i * channels + channel;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_S16:
            reinterpret_cast<int16_t*>(base)[at] = static_cast<int16_t>(v * 32767);
            break;
        case AV_SAMPLE_FMT_S32:
            reinterpret_cast<int32_t*>(base)[at] = static_cast<int32_t>(v * 2147483647.0);
            break;
        case AV_SAMPLE_FMT_FLT:
            reinterpret_cast<float*>(base)[at] = static_cast<float>(v);
            break;
        default:
            break;
    }
}

}  // namespace

bool WriteTone(const std::filesystem::path& path, const std::string& format, double seconds, int sampleRate,
               int channels) {
    const char* encoderName = format == "mp3" ? "libmp3lame" : "pcm_s16le";
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName);
    if (!codec) return false;
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, format.c_str(), path.c_str()) < 0) return false;
    mcl::ff::OutputFormatPtr out(raw);
    mcl::ff::CodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->sample_rate = sampleRate;
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->time_base = AVRational{1, sampleRate};
    if (format == "mp3") ctx->bit_rate = 128000;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, ctx.get()) < 0) return false;
    stream->time_base = ctx->time_base;
    if (avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    if (avformat_write_header(raw, nullptr) < 0) return false;

    mcl::ff::FramePtr frame = mcl::ff::MakeFrame();
    mcl::ff::PacketPtr packet = mcl::ff::MakePacket();
    const int frameSize = ctx->frame_size > 0 ? ctx->frame_size : 1024;
    const int64_t total = static_cast<int64_t>(seconds * sampleRate);
    auto drain = [&]() {
        while (avcodec_receive_packet(ctx.get(), packet.get()) == 0) {
            av_packet_rescale_ts(packet.get(), ctx->time_base, stream->time_base);
            packet->stream_index = stream->index;
            av_interleaved_write_frame(raw, packet.get());
        }
    };
    for (int64_t at = 0; at < total; at += frameSize) {
        const int n = static_cast<int>(std::min<int64_t>(frameSize, total - at));
        av_frame_unref(frame.get());
        frame->nb_samples = n;
        frame->format = ctx->sample_fmt;
        frame->sample_rate = sampleRate;
        av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
        if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
        for (int i = 0; i < n; ++i) {
            const double v = 0.5 * std::sin(2 * M_PI * 440.0 * static_cast<double>(at + i) / sampleRate);
            for (int c = 0; c < channels; ++c)
                PutSample(frame.get(), ctx->sample_fmt, c, i, v);
        }
        frame->pts = at;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0) return false;
        drain();
    }
    avcodec_send_frame(ctx.get(), nullptr);
    drain();
    return av_write_trailer(raw) >= 0;
}

}  // namespace mcl_test
