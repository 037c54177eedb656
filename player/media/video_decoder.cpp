#include "player/media/video_decoder.h"

#include "player/media/yuv_convert.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace player::media {

namespace {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

// Pictures larger than this are refused (the stream's own size field is 16 bits a side).
constexpr int kMaxVideoSide = 4096;

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

AVCodecID codecId(uint8_t codec) {
    switch (static_cast<VideoCodec>(codec)) {
        case VideoCodec::SorensonH263:
            return AV_CODEC_ID_FLV1;
        case VideoCodec::ScreenVideo:
            return AV_CODEC_ID_FLASHSV;
        case VideoCodec::Vp6:
            return AV_CODEC_ID_VP6F;
        case VideoCodec::Vp6Alpha:
            return AV_CODEC_ID_VP6A;
        case VideoCodec::ScreenVideo2:
            return AV_CODEC_ID_FLASHSV2;
    }
    return AV_CODEC_ID_NONE;
}

class FfmpegVideoDecoder final : public VideoDecoder {
  public:
    FfmpegVideoDecoder(std::unique_ptr<AVCodecContext, CodecContextDeleter> ctx,
                       std::unique_ptr<AVFrame, FrameDeleter> frame,
                       std::unique_ptr<AVPacket, PacketDeleter> packet)
        : ctx_(std::move(ctx)), frame_(std::move(frame)), packet_(std::move(packet)) {}

    bool decode(const uint8_t* data, size_t size, Bitmap& out, std::string* error) override {
        if (!data || size == 0 || size > (1u << 26)) {
            if (error) *error = "empty or oversized video frame";
            return false;
        }
        // Decoders read a little past the end: they get a zero-padded copy.
        buffer_.assign(data, data + size);
        buffer_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        av_packet_unref(packet_.get());
        packet_->data = buffer_.data();
        packet_->size = int(size);
        int rc = avcodec_send_packet(ctx_.get(), packet_.get());
        packet_->data = nullptr;
        packet_->size = 0;
        if (rc < 0) {
            if (error) *error = "video frame does not decode: " + avError(rc);
            return false;
        }
        rc = avcodec_receive_frame(ctx_.get(), frame_.get());
        if (rc < 0) {
            if (error) *error = "video frame gives no picture: " + avError(rc);
            return false;
        }
        const bool ok = convert(out, error);
        av_frame_unref(frame_.get());
        return ok;
    }

    void reset() override { avcodec_flush_buffers(ctx_.get()); }

  private:
    bool convert(Bitmap& out, std::string* error) {
        const AVFrame* f = frame_.get();
        const int w = f->width, h = f->height;
        if (w <= 0 || h <= 0 || w > kMaxVideoSide || h > kMaxVideoSide) {
            if (error) *error = "video picture size out of range";
            return false;
        }
        const auto format = static_cast<AVPixelFormat>(f->format);
        if (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVA420P) {
            convertYuv420(out, format == AV_PIX_FMT_YUVA420P);
            return true;
        }
        sws_.reset(sws_getCachedContext(sws_.release(), w, h, format, w, h, AV_PIX_FMT_BGRA, SWS_POINT,
                                        nullptr, nullptr, nullptr));
        if (!sws_) {
            if (error) *error = "video picture format cannot be converted";
            return false;
        }
        // The converter writes whole vector blocks past the end of a row: it gets a padded buffer of its own.
        const int stride = (w * 4 + 63) & ~63;
        converted_.resize(size_t(stride) * size_t(h + 1) + 64);
        uint8_t* dst[4] = {converted_.data(), nullptr, nullptr, nullptr};
        int dstStride[4] = {stride, 0, 0, 0};
        sws_scale(sws_.get(), f->data, f->linesize, 0, h, dst, dstStride);
        out.width = w;
        out.height = h;
        out.pixels.resize(size_t(w) * size_t(h));
        for (int y = 0; y < h; ++y)
            std::memcpy(out.pixels.data() + size_t(y) * size_t(w),
                        converted_.data() + size_t(y) * size_t(stride), size_t(w) * 4);
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
        const bool alpha = desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA);
        out.opaque = !alpha;
        if (alpha) {
            // BGRA in memory is our 0xAARRGGBB pixel; the colour channels are premultiplied here.
            for (Pixel& p : out.pixels) {
                const uint32_t a = p >> 24;
                if (a == 255) continue;
                auto m = [a](uint32_t v) { return (v * a + 127) / 255; };
                p = (a << 24) | (m((p >> 16) & 0xff) << 16) | (m((p >> 8) & 0xff) << 8) | m(p & 0xff);
            }
        } else {
            for (Pixel& p : out.pixels)
                p |= 0xff000000u;
        }
        return true;
    }

    // 4:2:0 planes straight into the bitmap, a row at a time (yuv_convert.h has the arithmetic).
    void convertYuv420(Bitmap& out, bool alpha) {
        const AVFrame* f = frame_.get();
        const int w = f->width, h = f->height;
        out.width = w;
        out.height = h;
        out.pixels.resize(size_t(w) * size_t(h));
        out.opaque = !alpha;
        for (int y = 0; y < h; ++y)
            yuvRow(f->data[0] + size_t(y) * size_t(f->linesize[0]),
                   f->data[1] + size_t(y / 2) * size_t(f->linesize[1]),
                   f->data[2] + size_t(y / 2) * size_t(f->linesize[2]),
                   alpha ? f->data[3] + size_t(y) * size_t(f->linesize[3]) : nullptr,
                   out.pixels.data() + size_t(y) * size_t(w), w);
    }

    std::unique_ptr<AVCodecContext, CodecContextDeleter> ctx_;
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    std::unique_ptr<AVPacket, PacketDeleter> packet_;
    std::unique_ptr<SwsContext, SwsDeleter> sws_;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> converted_;
};

}  // namespace

bool isVideoKeyFrame(uint8_t codec, const uint8_t* data, size_t size) {
    if (!data) return false;
    switch (static_cast<VideoCodec>(codec)) {
        case VideoCodec::SorensonH263: {
            // 17-bit start code, 5-bit version, 8-bit temporal reference, 3-bit size code (0 and 1 carry an
            // explicit 8- or 16-bit width and height), then the 2-bit picture type: 0 is intra.
            if (size < 9) return false;
            uint64_t bits = 0;
            for (int i = 0; i < 8; ++i)
                bits = (bits << 8) | data[i];
            int pos = 17 + 5 + 8;
            const int sizeCode = int((bits >> (64 - pos - 3)) & 7);
            pos += 3;
            if (sizeCode == 0) pos += 16;
            if (sizeCode == 1) pos += 32;
            const int type = int((bits >> (64 - pos - 2)) & 3);
            return type == 0;
        }
        case VideoCodec::Vp6:
            return size >= 1 && (data[0] & 0x80) == 0;
        case VideoCodec::Vp6Alpha:
            // A 24-bit offset to the alpha plane comes first.
            return size >= 4 && (data[3] & 0x80) == 0;
        case VideoCodec::ScreenVideo:
        case VideoCodec::ScreenVideo2:
            return false;
    }
    return false;
}

std::unique_ptr<VideoDecoder> VideoDecoder::create(uint8_t codec, uint8_t deblocking, std::string* error) {
    const AVCodecID id = codecId(codec);
    const AVCodec* decoder = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!decoder) {
        if (error) *error = "video codec " + std::to_string(codec) + " is not available";
        return nullptr;
    }
    std::unique_ptr<AVCodecContext, CodecContextDeleter> ctx(avcodec_alloc_context3(decoder));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!ctx || !frame || !packet) {
        if (error) *error = "out of memory for a video decoder";
        return nullptr;
    }
    ctx->thread_count = 1;  // frames are decoded in order on the render call; no decoder threads
    // A stream that turns deblocking off gets no loop filter, whatever its frames ask for.
    if (deblocking == 1) ctx->skip_loop_filter = AVDISCARD_ALL;
    // The floating-point inverse DCT reproduces Sorenson pictures as Flash Player shows them (the default
    // integer ones leave many pixels one level darker).
    ctx->idct_algo = FF_IDCT_FAAN;
    const int rc = avcodec_open2(ctx.get(), decoder, nullptr);
    if (rc < 0) {
        if (error) *error = "video decoder does not open: " + avError(rc);
        return nullptr;
    }
    return std::make_unique<FfmpegVideoDecoder>(std::move(ctx), std::move(frame), std::move(packet));
}

}  // namespace player::media
