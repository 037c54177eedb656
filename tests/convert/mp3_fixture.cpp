#include "mp3_fixture.h"

#include <algorithm>
#include <cmath>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace mp3fixture {

Encoded Encode(const std::vector<int16_t>& samples, int rate, int kbps) {
    return EncodeWith("libmp3lame", samples, rate, kbps);
}

Encoded EncodeWith(const char* encoder, const std::vector<int16_t>& samples, int rate, int kbps) {
    Encoded out;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (!codec || !codec->sample_fmts) {
        out.error = std::string("no encoder ") + encoder;
        return out;
    }
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = rate;
    av_channel_layout_default(&c->ch_layout, 1);
    c->bit_rate = int64_t(kbps) * 1000;
    c->sample_fmt = codec->sample_fmts[0];
    if (avcodec_open2(c, codec, nullptr) < 0) {
        out.error = std::string("cannot open the encoder ") + encoder;
        avcodec_free_context(&c);
        return out;
    }
    out.samplesPerFrame = c->frame_size;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(c, packet) == 0) {
            out.frames.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    };
    for (size_t at = 0; at < samples.size(); at += size_t(c->frame_size)) {
        frame->nb_samples = c->frame_size;
        frame->format = c->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < c->frame_size; ++i) {
            const int16_t v = at + size_t(i) < samples.size() ? samples[at + size_t(i)] : 0;
            if (c->sample_fmt == AV_SAMPLE_FMT_FLT || c->sample_fmt == AV_SAMPLE_FMT_FLTP)
                reinterpret_cast<float*>(frame->data[0])[i] = float(v) / 32768.0f;
            else
                reinterpret_cast<int16_t*>(frame->data[0])[i] = v;
        }
        avcodec_send_frame(c, frame);
        av_frame_unref(frame);
        drain();
    }
    avcodec_send_frame(c, nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return out;
}

std::vector<int16_t> Decode(const std::vector<uint8_t>& mp3, int rate) {
    std::vector<int16_t> out;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MP3);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = rate;
    av_channel_layout_default(&c->ch_layout, 1);
    avcodec_open2(c, codec, nullptr);
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_MP3);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<uint8_t> padded(mp3);
    padded.resize(mp3.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    auto receive = [&] {
        while (avcodec_receive_frame(c, frame) == 0) {
            for (int i = 0; i < frame->nb_samples; ++i) {
                float v = frame->format == AV_SAMPLE_FMT_FLTP
                              ? reinterpret_cast<float*>(frame->data[0])[i]
                              : reinterpret_cast<int16_t*>(frame->data[0])[i] / 32768.0f;
                out.push_back(int16_t(std::clamp(std::lround(double(v) * 32767.0), -32768L, 32767L)));
            }
            av_frame_unref(frame);
        }
    };
    const uint8_t* p = padded.data();
    int left = int(mp3.size());
    while (left > 0) {
        uint8_t* data = nullptr;
        int size = 0;
        int used = av_parser_parse2(parser, c, &data, &size, p, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        p += used;
        left -= used;
        if (size > 0) {
            packet->data = data;
            packet->size = size;
            avcodec_send_packet(c, packet);
            receive();
        }
    }
    uint8_t* data = nullptr;
    int size = 0;
    av_parser_parse2(parser, c, &data, &size, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (size > 0) {
        packet->data = data;
        packet->size = size;
        avcodec_send_packet(c, packet);
        receive();
    }
    avcodec_send_packet(c, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    av_parser_close(parser);
    avcodec_free_context(&c);
    return out;
}

}  // namespace mp3fixture
