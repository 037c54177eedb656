#include "mcl_test_video.h"

#include <cstdlib>
#include <cstring>

#include "mcl/ffmpeg/ff_raii.h"
#include "mcl/ffmpeg/frame_converter.h"
#include "mcl/ffmpeg/video_encoder.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace mcl_test {
namespace {

std::string AvText(int rc) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(rc, text, sizeof text);
    return text;
}

// Reading back: exact conversions where the layouts allow (RGB to RGB permutations, planar RGB), so the
// lossless codecs must give the picture back bit for bit.
constexpr int kSwsFlags =
    SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

mcl::ff::SwsPtr MakeScaler(int width, int height, AVPixelFormat from, AVPixelFormat to) {
    return mcl::ff::SwsPtr(
        sws_getContext(width, height, from, width, height, to, kSwsFlags, nullptr, nullptr, nullptr));
}

// Writes every packet the encoder has ready (or all of them when draining).
int Drain(mcl::ff::VideoEncoder& encoder, AVFormatContext* out, AVStream* stream, AVPacket* packet,
          int64_t* payload) {
    for (;;) {
        int rc = encoder.receive(packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
        if (rc < 0) return rc;
        *payload += packet->size;
        av_packet_rescale_ts(packet, encoder.context()->time_base, stream->time_base);
        packet->stream_index = stream->index;
        rc = av_interleaved_write_frame(out, packet);
        if (rc < 0) return rc;
    }
}

}  // namespace

Picture MakePicture(int width, int height, int index, bool alpha) {
    Picture p;
    p.width = width;
    p.height = height;
    p.alpha = alpha;
    const int bpp = p.bytesPerPixel();
    p.pixels.resize(static_cast<size_t>(width) * height * bpp);
    const int side = std::max(4, std::min(width, height) / 3);
    const int left = (index * 5) % std::max(1, width - side);
    const int top = (index * 3) % std::max(1, height - side);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.pixels[(static_cast<size_t>(y) * width + x) * bpp];
            const bool inSquare = x >= left && x < left + side && y >= top && y < top + side;
            px[0] = static_cast<uint8_t>(inSquare ? 40 : 255 * x / std::max(1, width - 1));          // B
            px[1] = static_cast<uint8_t>(inSquare ? 230 : 255 * y / std::max(1, height - 1));        // G
            px[2] = static_cast<uint8_t>(inSquare ? 250 : (128 + 60 * (x + y) / (width + height)));  // R
            if (alpha) px[3] = static_cast<uint8_t>(255 * x / std::max(1, width - 1));
        }
    }
    return p;
}

Picture MakeNoisePicture(int width, int height, int index, bool alpha) {
    Picture p;
    p.width = width;
    p.height = height;
    p.alpha = alpha;
    p.pixels.resize(static_cast<size_t>(width) * height * p.bytesPerPixel());
    uint32_t state = 2463534242u + static_cast<uint32_t>(index) * 7919u;  // xorshift32, seeded per frame
    for (uint8_t& byte : p.pixels) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return p;
}

WriteResult WriteVideo(const std::filesystem::path& path, const MclEncoderSetup& setup, int width, int height,
                       int count, Content content) {
    WriteResult result;
    mcl::MclStatus status;
    mcl::ff::VideoEncoderParams params;
    params.width = width;
    params.height = height;
    params.threads = 1;
    std::unique_ptr<mcl::ff::VideoEncoder> encoder = mcl::ff::VideoEncoder::create(setup, params, &status);
    if (!encoder) {
        result.error = status.message;
        return result;
    }

    AVFormatContext* rawOut = nullptr;
    int rc = avformat_alloc_output_context2(&rawOut, nullptr, setup.muxer.c_str(), path.c_str());
    mcl::ff::OutputFormatPtr out(rawOut);
    if (rc < 0) {
        result.error = "muxer " + setup.muxer + ": " + AvText(rc);
        return result;
    }
    AVStream* stream = avformat_new_stream(out.get(), nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder->context()) < 0) {
        result.error = "cannot add the video stream";
        return result;
    }
    stream->codecpar->codec_tag = encoder->codecTag();
    stream->time_base = encoder->context()->time_base;
    stream->avg_frame_rate = encoder->context()->framerate;
    if ((rc = avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        result.error = "open " + path.string() + ": " + AvText(rc);
        return result;
    }
    if ((rc = avformat_write_header(out.get(), nullptr)) < 0) {
        result.error = "write header: " + AvText(rc);
        return result;
    }

    const AVPixelFormat source = setup.alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    std::unique_ptr<mcl::ff::FrameConverter> converter =
        mcl::ff::FrameConverter::create(width, height, source, encoder->pixelFormat(), &status);
    if (!converter) {
        result.error = status.message;
        return result;
    }
    mcl::ff::FramePtr frame = mcl::ff::MakeFrame();
    mcl::ff::PacketPtr packet = mcl::ff::MakePacket();
    if (!frame || !packet) {
        result.error = "out of memory";
        return result;
    }
    frame->format = encoder->pixelFormat();
    frame->width = width;
    frame->height = height;
    if ((rc = av_frame_get_buffer(frame.get(), 0)) < 0) {
        result.error = "frame buffer: " + AvText(rc);
        return result;
    }
    for (int i = 0; i < count; ++i) {
        const Picture picture = content == Content::Noise ? MakeNoisePicture(width, height, i, setup.alpha)
                                                          : MakePicture(width, height, i, setup.alpha);
        if ((rc = av_frame_make_writable(frame.get())) < 0) {
            result.error = "frame writable: " + AvText(rc);
            return result;
        }
        converter->convert(picture.pixels.data(), width * picture.bytesPerPixel(), frame.get());
        frame->pts = i;
        if ((rc = encoder->send(frame.get())) < 0 ||
            (rc = Drain(*encoder, out.get(), stream, packet.get(), &result.payloadBytes)) < 0) {
            result.error = "encode frame " + std::to_string(i) + ": " + AvText(rc);
            return result;
        }
    }
    if ((rc = encoder->send(nullptr)) < 0 ||
        (rc = Drain(*encoder, out.get(), stream, packet.get(), &result.payloadBytes)) < 0) {
        result.error = "drain: " + AvText(rc);
        return result;
    }
    if ((rc = av_write_trailer(out.get())) < 0) {
        result.error = "write trailer: " + AvText(rc);
        return result;
    }
    result.codecTag = stream->codecpar->codec_tag;
    result.ok = true;
    return result;
}

ReadResult ReadVideo(const std::filesystem::path& path, bool alpha) {
    ReadResult result;
    AVFormatContext* rawIn = nullptr;
    int rc = avformat_open_input(&rawIn, path.c_str(), nullptr, nullptr);
    mcl::ff::InputFormatPtr in(rawIn);
    if (rc < 0) {
        result.error = "open: " + AvText(rc);
        return result;
    }
    if ((rc = avformat_find_stream_info(in.get(), nullptr)) < 0) {
        result.error = "stream info: " + AvText(rc);
        return result;
    }
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder) {
        result.error = "no decodable video stream";
        return result;
    }
    const AVCodecParameters* par = in->streams[index]->codecpar;
    result.codecName = avcodec_get_name(par->codec_id);
    result.codecTag = par->codec_tag;
    result.width = par->width;
    result.height = par->height;

    mcl::ff::CodecContextPtr ctx(avcodec_alloc_context3(decoder));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), par) < 0) {
        result.error = "decoder context";
        return result;
    }
    ctx->thread_count = 1;
    if ((rc = avcodec_open2(ctx.get(), decoder, nullptr)) < 0) {
        result.error = "open decoder: " + AvText(rc);
        return result;
    }

    mcl::ff::PacketPtr packet = mcl::ff::MakePacket();
    mcl::ff::FramePtr frame = mcl::ff::MakeFrame();
    const AVPixelFormat target = alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    auto receiveAll = [&]() -> int {
        for (;;) {
            int r = avcodec_receive_frame(ctx.get(), frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
            if (r < 0) return r;
            Picture picture;
            picture.width = frame->width;
            picture.height = frame->height;
            picture.alpha = alpha;
            picture.pixels.resize(static_cast<size_t>(frame->width) * frame->height *
                                  picture.bytesPerPixel());
            mcl::ff::SwsPtr scaler =
                MakeScaler(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), target);
            if (!scaler) return AVERROR(EINVAL);
            uint8_t* dst[4] = {picture.pixels.data(), nullptr, nullptr, nullptr};
            const int dstStride[4] = {frame->width * picture.bytesPerPixel(), 0, 0, 0};
            sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            result.pictures.push_back(std::move(picture));
            av_frame_unref(frame.get());
        }
    };
    while ((rc = av_read_frame(in.get(), packet.get())) >= 0) {
        if (packet->stream_index == index) {
            ++result.packets;
            result.keyPackets.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
            rc = avcodec_send_packet(ctx.get(), packet.get());
            if (rc >= 0) rc = receiveAll();
        }
        av_packet_unref(packet.get());
        if (rc < 0) {
            result.error = "decode packet " + std::to_string(result.packets) + ": " + AvText(rc);
            return result;
        }
    }
    if ((rc = avcodec_send_packet(ctx.get(), nullptr)) < 0 || (rc = receiveAll()) < 0) {
        result.error = "decoder drain: " + AvText(rc);
        return result;
    }
    result.ok = true;
    return result;
}

void QuietFfmpegInfo() {
    av_log_set_level(AV_LOG_ERROR);
}

double MeanColourError(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 1e9;
    double sum = 0;
    const size_t n = static_cast<size_t>(a.width) * a.height;
    for (size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c)
            sum +=
                std::abs(int(a.pixels[i * a.bytesPerPixel() + c]) - int(b.pixels[i * b.bytesPerPixel() + c]));
    }
    return sum / (3.0 * n);
}

int MaxAlphaError(const Picture& a, const Picture& b) {
    if (!a.alpha || !b.alpha || a.pixels.size() != b.pixels.size()) return 256;
    int worst = 0;
    for (size_t i = 3; i < a.pixels.size(); i += 4)
        worst = std::max(worst, std::abs(int(a.pixels[i]) - int(b.pixels[i])));
    return worst;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tlv_mcl_XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace mcl_test
