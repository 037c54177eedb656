// FFmpeg behind the player's audio decoder interface: libavcodec's decoders, its MPEG audio parser to split
// a byte stream into frames, and the sample formats those decoders give turned into 16-bit interleaved.
#include "player/media/audio_decoder.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace player::media {

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ParserFree {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

std::string avText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

int16_t toS16(float v) {
    if (!(v == v)) return 0;  // NaN
    long s = std::lround(double(v) * 32767.0);
    return static_cast<int16_t>(std::clamp(s, -32768L, 32767L));
}

// One sample of channel `ch` at index `i` of a decoded frame, as 16 bits.
int16_t sampleAt(const AVFrame* f, int ch, int i, int channels) {
    switch (f->format) {
        case AV_SAMPLE_FMT_S16:
            return reinterpret_cast<const int16_t*>(f->data[0])[i * channels + ch];
        case AV_SAMPLE_FMT_S16P:
            return reinterpret_cast<const int16_t*>(f->data[ch])[i];
        case AV_SAMPLE_FMT_FLT:
            return toS16(reinterpret_cast<const float*>(f->data[0])[i * channels + ch]);
        case AV_SAMPLE_FMT_FLTP:
            return toS16(reinterpret_cast<const float*>(f->data[ch])[i]);
        case AV_SAMPLE_FMT_S32:
            return static_cast<int16_t>(reinterpret_cast<const int32_t*>(f->data[0])[i * channels + ch] >>
                                        16);
        case AV_SAMPLE_FMT_S32P:
            return static_cast<int16_t>(reinterpret_cast<const int32_t*>(f->data[ch])[i] >> 16);
        default:
            return 0;
    }
}

class FfmpegAudioDecoder final : public AudioDecoder {
  public:
    bool open(Codec codec, int sampleRate, int channels, std::string* error) {
        AVCodecID id = codec == Codec::Mp3          ? AV_CODEC_ID_MP3
                       : codec == Codec::Nellymoser ? AV_CODEC_ID_NELLYMOSER
                                                    : AV_CODEC_ID_ADPCM_SWF;
        const AVCodec* dec = avcodec_find_decoder(id);
        if (!dec) {
            if (error) *error = std::string("no decoder for ") + avcodec_get_name(id);
            return false;
        }
        ctx_.reset(avcodec_alloc_context3(dec));
        packet_.reset(av_packet_alloc());
        frame_.reset(av_frame_alloc());
        if (!ctx_ || !packet_ || !frame_) {
            if (error) *error = "out of memory";
            return false;
        }
        ctx_->sample_rate = std::max(1, sampleRate);
        av_channel_layout_default(&ctx_->ch_layout, channels == 2 ? 2 : 1);
        int rc = avcodec_open2(ctx_.get(), dec, nullptr);
        if (rc < 0) {
            if (error) *error = std::string("cannot open the ") + dec->name + " decoder: " + avText(rc);
            return false;
        }
        if (codec == Codec::Mp3) {
            parser_.reset(av_parser_init(AV_CODEC_ID_MP3));
            if (!parser_) {
                if (error) *error = "no MPEG audio parser";
                return false;
            }
        }
        codec_ = codec;
        return true;
    }

    bool decode(std::span<const uint8_t> data, DecodedAudio& out, std::string* error) override {
        bool ok = true;
        if (codec_ == Codec::Mp3) {
            // The parser wants the input padded; copy it once into a padded buffer.
            padded_.assign(data.begin(), data.end());
            padded_.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            const uint8_t* p = padded_.data();
            int left = static_cast<int>(data.size());
            while (left > 0) {
                uint8_t* frameData = nullptr;
                int frameSize = 0;
                int used = av_parser_parse2(parser_.get(), ctx_.get(), &frameData, &frameSize, p, left,
                                            AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
                if (used < 0) break;
                p += used;
                left -= used;
                if (frameSize > 0) ok = sendPacket(frameData, frameSize, out, error) && ok;
                if (used == 0 && frameSize == 0) break;
            }
        } else if (codec_ == Codec::Nellymoser) {
            // Nellymoser blocks are 64 bytes each; a short tail is not a block.
            for (size_t at = 0; at + 64 <= data.size(); at += 64)
                ok = sendPacket(data.data() + at, 64, out, error) && ok;
        } else {
            ok = sendPacket(data.data(), static_cast<int>(data.size()), out, error);
        }
        return ok;
    }

    void flush(DecodedAudio& out) override {
        if (codec_ == Codec::Mp3) {
            uint8_t* frameData = nullptr;
            int frameSize = 0;
            av_parser_parse2(parser_.get(), ctx_.get(), &frameData, &frameSize, nullptr, 0, AV_NOPTS_VALUE,
                             AV_NOPTS_VALUE, 0);
            if (frameSize > 0) sendPacket(frameData, frameSize, out, nullptr);
        }
        if (avcodec_send_packet(ctx_.get(), nullptr) >= 0) receive(out);
        avcodec_flush_buffers(ctx_.get());
    }

  private:
    bool sendPacket(const uint8_t* data, int size, DecodedAudio& out, std::string* error) {
        if (size <= 0) return true;
        scratch_.assign(data, data + size);
        scratch_.resize(size_t(size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        av_packet_unref(packet_.get());
        packet_->data = scratch_.data();
        packet_->size = size;
        int rc = avcodec_send_packet(ctx_.get(), packet_.get());
        bool ok = rc >= 0;
        if (!ok && error && error->empty()) *error = "undecodable sound data: " + avText(rc);
        if (!receive(out) && error && error->empty()) *error = "undecodable sound data";
        return ok;
    }

    bool receive(DecodedAudio& out) {
        for (;;) {
            int rc = avcodec_receive_frame(ctx_.get(), frame_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) return false;
            append(frame_.get(), out);
            av_frame_unref(frame_.get());
        }
    }

    static void append(const AVFrame* f, DecodedAudio& out) {
        int channels = std::clamp(f->ch_layout.nb_channels, 1, 8);
        if (out.channels == 0) {
            out.channels = channels >= 2 ? 2 : 1;
            out.sampleRate = f->sample_rate;
        }
        for (int i = 0; i < f->nb_samples; ++i) {
            int16_t l = sampleAt(f, 0, i, channels);
            int16_t r = channels >= 2 ? sampleAt(f, 1, i, channels) : l;
            if (out.channels == 2) {
                out.samples.push_back(l);
                out.samples.push_back(r);
            } else {
                out.samples.push_back(static_cast<int16_t>((int(l) + int(r)) / 2));
            }
        }
    }

    Codec codec_ = Codec::Mp3;
    std::unique_ptr<AVCodecContext, CodecContextFree> ctx_;
    std::unique_ptr<AVCodecParserContext, ParserFree> parser_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    std::vector<uint8_t> padded_, scratch_;
};

}  // namespace

std::unique_ptr<AudioDecoder> AudioDecoder::create(Codec codec, int sampleRate, int channels,
                                                   std::string* error) {
    auto d = std::make_unique<FfmpegAudioDecoder>();
    if (!d->open(codec, sampleRate, channels, error)) return nullptr;
    return d;
}

}  // namespace player::media
