#include "mcl/ffmpeg/audio_reader.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace mcl::ff {
namespace {

struct OpenedInput {
    InputFormatPtr input;
    CodecContextPtr decoder;
    int streamIndex = -1;
};

// Opens the file, finds its best sound stream and opens the decoder. `stage` tells how far it got: 0 not
// opened, 1 opened without sound, 2 sound without a working decoder, 3 ready.
MclStatus OpenInput(const std::string& path, OpenedInput* out, int* stage) {
    *stage = 0;
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) return MclStatusFromAv(rc, "sound file " + path);
    out->input.reset(raw);
    if ((rc = avformat_find_stream_info(raw, nullptr)) < 0) return MclStatusFromAv(rc, "sound file " + path);
    *stage = 1;
    const AVCodec* codec = nullptr;
    rc = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (rc == AVERROR_STREAM_NOT_FOUND) return MclStatusFromAv(rc, "sound file " + path + " holds no sound");
    *stage = 2;
    if (rc < 0 || !codec)
        return MclStatusFromAv(rc < 0 ? rc : AVERROR_DECODER_NOT_FOUND, "sound file " + path);
    out->streamIndex = rc;
    out->decoder.reset(avcodec_alloc_context3(codec));
    if (!out->decoder) return MclStatus::Error(MclError::OutOfMemory, "sound decoder for " + path);
    rc = avcodec_parameters_to_context(out->decoder.get(), raw->streams[rc]->codecpar);
    if (rc >= 0) rc = avcodec_open2(out->decoder.get(), codec, nullptr);
    if (rc < 0) return MclStatusFromAv(rc, "sound decoder for " + path);
    *stage = 3;
    return {};
}

}  // namespace

AudioProbe ProbeAudio(const std::string& path) {
    OpenedInput opened;
    int stage = 0;
    OpenInput(path, &opened, &stage);
    AudioProbe probe;
    probe.opened = stage >= 1;
    probe.hasAudio = stage >= 2;
    probe.decodable = stage >= 3;
    return probe;
}

std::unique_ptr<AudioReader> AudioReader::create(const std::string& path, MclStatus* status) {
    MclStatus ignored;
    MclStatus& st = status ? *status : ignored;
    OpenedInput opened;
    int stage = 0;
    st = OpenInput(path, &opened, &stage);
    if (!st.ok()) return nullptr;

    std::unique_ptr<AudioReader> reader(new AudioReader);
    reader->path_ = path;
    reader->input_ = std::move(opened.input);
    reader->decoder_ = std::move(opened.decoder);
    reader->streamIndex_ = opened.streamIndex;
    reader->packet_ = MakePacket();
    reader->frame_ = MakeFrame();
    if (!reader->packet_ || !reader->frame_) {
        st = MclStatus::Error(MclError::OutOfMemory, "sound file " + path);
        return nullptr;
    }
    return reader;
}

AudioReader::~AudioReader() {
    if (buffer_) av_freep(&buffer_[0]);
    av_freep(&buffer_);
    av_channel_layout_uninit(&swrLayout_);
}

MclStatus AudioReader::setupResampler(const AVFrame* frame) {
    AVChannelLayout in{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0) {
        // WAV files without a channel mask: the usual speaker layout for the count.
        av_channel_layout_default(&in, frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels
                                                                        : decoder_->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0) {
        return MclStatus::Error(MclError::OutOfMemory, "sound file " + path_);
    }
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, target_.channels);

    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &outLayout, target_.format, target_.sampleRate, &in,
                                 static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    swr_.reset(raw);
    if (rc >= 0) rc = swr_init(raw);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&swrLayout_);
    swrLayout_ = in;  // owns the copy now
    if (rc < 0) {
        swr_.reset();
        return MclStatusFromAv(rc, "sound resampler for " + path_);
    }
    swrRate_ = frame->sample_rate;
    swrFormat_ = frame->format;
    return {};
}

MclStatus AudioReader::resample(const AVFrame* frame, AVAudioFifo* fifo) {
    if (frame) {
        const bool sameLayout = frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC
                                    ? frame->ch_layout.nb_channels == swrLayout_.nb_channels
                                    : av_channel_layout_compare(&frame->ch_layout, &swrLayout_) == 0;
        if (!swr_ || frame->sample_rate != swrRate_ || frame->format != swrFormat_ || !sameLayout) {
            if (swr_) {
                // The format changes inside the file: let the old resampler give out what it holds first.
                MclStatus st = resample(nullptr, fifo);
                if (!st.ok()) return st;
            }
            MclStatus st = setupResampler(frame);
            if (!st.ok()) return st;
        }
    } else if (!swr_) {
        return {};
    }

    const int inSamples = frame ? frame->nb_samples : 0;
    const int capacity = swr_get_out_samples(swr_.get(), inSamples);
    if (capacity < 0) return MclStatusFromAv(capacity, "sound resampler for " + path_);
    if (capacity > bufferSamples_) {
        if (buffer_) av_freep(&buffer_[0]);
        av_freep(&buffer_);
        bufferSamples_ = 0;
        const int rc = av_samples_alloc_array_and_samples(&buffer_, nullptr, target_.channels, capacity,
                                                          target_.format, 0);
        if (rc < 0) return MclStatusFromAv(rc, "sound buffer for " + path_);
        bufferSamples_ = capacity;
    }
    if (capacity == 0) return {};
    const int got =
        swr_convert(swr_.get(), buffer_, capacity,
                    frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inSamples);
    if (got < 0) return MclStatusFromAv(got, "sound resampler for " + path_);
    if (got > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(buffer_), got) < got)
        return MclStatus::Error(MclError::OutOfMemory, "sound buffer for " + path_);
    return {};
}

MclStatus AudioReader::fill(AVAudioFifo* fifo, int wanted) {
    while (!ended_ && av_audio_fifo_size(fifo) < wanted) {
        int rc = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (rc == 0) {
            MclStatus st = resample(frame_.get(), fifo);
            av_frame_unref(frame_.get());
            if (!st.ok()) return st;
            continue;
        }
        if (rc == AVERROR_EOF) {
            ended_ = true;
            return resample(nullptr, fifo);  // the resampler's delayed samples
        }
        // A damaged packet (a file cut off inside its last block) costs its own samples only.
        if (rc == AVERROR_INVALIDDATA) continue;
        if (rc != AVERROR(EAGAIN)) return MclStatusFromAv(rc, "decoding sound file " + path_);

        if (demuxerEnded_) return MclStatus::Error(MclError::Failed, "sound decoder stalled on " + path_);
        rc = av_read_frame(input_.get(), packet_.get());
        if (rc == AVERROR_EOF) {
            demuxerEnded_ = true;
            rc = avcodec_send_packet(decoder_.get(), nullptr);  // drain the decoder
            if (rc < 0 && rc != AVERROR_EOF) return MclStatusFromAv(rc, "decoding sound file " + path_);
            continue;
        }
        if (rc < 0) return MclStatusFromAv(rc, "reading sound file " + path_);
        if (packet_->stream_index == streamIndex_) {
            rc = avcodec_send_packet(decoder_.get(), packet_.get());
            // A damaged packet costs its own samples only; anything else is a real failure.
            if (rc < 0 && rc != AVERROR_INVALIDDATA && rc != AVERROR(EAGAIN)) {
                av_packet_unref(packet_.get());
                return MclStatusFromAv(rc, "decoding sound file " + path_);
            }
        }
        av_packet_unref(packet_.get());
    }
    return {};
}

}  // namespace mcl::ff
