#include "gif_test_util.h"

#include <filesystem>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

namespace gif_test {

namespace {

struct Cursor {
    const std::vector<uint8_t>& b;
    size_t at = 0;
    bool Has(size_t n) const { return at + n <= b.size(); }
    uint8_t U8() { return b[at++]; }
    int U16() {
        const int v = b[at] | b[at + 1] << 8;
        at += 2;
        return v;
    }
};

bool ReadSubBlocks(Cursor& c, std::vector<std::vector<uint8_t>>* blocks) {
    for (;;) {
        if (!c.Has(1)) return false;
        const uint8_t n = c.U8();
        if (n == 0) return true;
        if (!c.Has(n)) return false;
        blocks->emplace_back(c.b.begin() + static_cast<std::ptrdiff_t>(c.at),
                             c.b.begin() + static_cast<std::ptrdiff_t>(c.at + n));
        c.at += n;
    }
}

}  // namespace

Parsed Parse(const std::vector<uint8_t>& bytes) {
    Parsed p;
    Cursor c{bytes};
    if (!c.Has(13)) return p.error = "short header", p;
    p.signature.assign(bytes.begin(), bytes.begin() + 6);
    c.at = 6;
    p.width = c.U16();
    p.height = c.U16();
    p.packed = c.U8();
    p.backgroundIndex = c.U8();
    p.aspect = c.U8();
    if (p.packed & 0x80) {
        const size_t n = size_t{3} << ((p.packed & 7) + 1);
        if (!c.Has(n)) return p.error = "short global table", p;
        p.globalTable.assign(bytes.begin() + 13, bytes.begin() + 13 + static_cast<std::ptrdiff_t>(n));
        c.at += n;
    }
    std::vector<Extension> pending;
    while (c.Has(1)) {
        const uint8_t kind = c.U8();
        if (kind == 0x3B) {
            p.trailer = true;
            if (c.at != bytes.size()) return p.error = "bytes after trailer", p;
            p.ok = true;
            return p;
        }
        if (kind == 0x21) {
            if (!c.Has(1)) break;
            Extension e;
            e.label = c.U8();
            if (!ReadSubBlocks(c, &e.subBlocks)) return p.error = "broken extension", p;
            if (e.label == 0xF9)
                pending.push_back(std::move(e));
            else if (p.images.empty())
                p.leadingExtensions.push_back(std::move(e));
            else
                pending.push_back(std::move(e));
            continue;
        }
        if (kind != 0x2C) return p.error = "unknown block " + std::to_string(kind), p;
        if (!c.Has(9)) return p.error = "short image descriptor", p;
        Image im;
        im.left = c.U16();
        im.top = c.U16();
        im.width = c.U16();
        im.height = c.U16();
        im.packed = c.U8();
        if (im.packed & 0x80) {
            const size_t n = size_t{3} << ((im.packed & 7) + 1);
            if (!c.Has(n)) return p.error = "short local table", p;
            im.localTable.assign(bytes.begin() + static_cast<std::ptrdiff_t>(c.at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(c.at + n));
            c.at += n;
        }
        if (!c.Has(1)) return p.error = "no code size", p;
        im.minCodeSize = c.U8();
        std::vector<std::vector<uint8_t>> blocks;
        if (!ReadSubBlocks(c, &blocks)) return p.error = "broken image data", p;
        for (const auto& b : blocks) {
            im.subBlockSizes.push_back(b.size());
            im.data.insert(im.data.end(), b.begin(), b.end());
        }
        im.extensions = std::move(pending);
        pending.clear();
        p.images.push_back(std::move(im));
    }
    p.error = "no trailer";
    return p;
}

LzwRead ReadLzw(int minCodeSize, const std::vector<uint8_t>& data) {
    LzwRead r;
    const uint32_t clear = 1u << minCodeSize, end = clear + 1;
    std::vector<uint32_t> prefix(4096), length(4096);
    std::vector<uint8_t> suffix(4096), first(4096);
    for (uint32_t i = 0; i < clear; ++i) {
        suffix[i] = static_cast<uint8_t>(i);
        first[i] = static_cast<uint8_t>(i);
        length[i] = 1;
    }
    int width = minCodeSize + 1;
    uint32_t next = clear + 2;
    int64_t previous = -1;
    size_t bitPos = 0;
    std::vector<uint8_t> string;
    auto emit = [&](uint32_t code) {
        string.resize(length[code]);
        for (uint32_t k = code, i = length[code]; i-- > 0; k = prefix[k])
            string[i] = suffix[k];
        r.pixels.insert(r.pixels.end(), string.begin(), string.end());
    };
    for (;;) {
        if (bitPos + static_cast<size_t>(width) > data.size() * 8) return r.error = "ran out of data", r;
        uint32_t code = 0;
        for (int i = 0; i < width; ++i, ++bitPos)
            code |= static_cast<uint32_t>(data[bitPos / 8] >> (bitPos % 8) & 1) << i;
        r.codes.push_back(code);
        r.widths.push_back(width);
        r.pixelsBefore.push_back(r.pixels.size());
        if (code == clear) {
            width = minCodeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (previous < 0) {
            if (code >= clear) return r.error = "first code not a pixel", r;
            emit(code);
        } else {
            if (code > next) return r.error = "code beyond table at " + std::to_string(r.codes.size() - 1), r;
            if (next >= 4096) return r.error = "table overflow", r;
            const uint32_t p = static_cast<uint32_t>(previous);
            prefix[next] = p;
            first[next] = first[p];
            suffix[next] = code == next ? first[p] : first[code];
            length[next] = length[p] + 1;
            ++next;
            emit(code);
            if (next >= (1u << width) && width < 12) ++width;
        }
        previous = code;
    }
    if ((bitPos + 7) / 8 != data.size()) return r.error = "bytes after end code", r;
    r.ok = true;
    return r;
}

Decoded DecodeWithFfmpeg(const std::string& path) {
    Decoded d;
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return d.error = "cannot open", d;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> fmtGuard(
        fmt, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(fmt, nullptr) < 0 || fmt->nb_streams != 1) return d.error = "no stream", d;
    AVStream* stream = fmt->streams[0];
    if (stream->codecpar->codec_id != AV_CODEC_ID_GIF) return d.error = "not a GIF stream", d;
    d.timeBaseNum = stream->time_base.num;
    d.timeBaseDen = stream->time_base.den;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_GIF);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctxGuard(
        ctx, [](AVCodecContext* c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(ctx, stream->codecpar);
    if (avcodec_open2(ctx, codec, nullptr) < 0) return d.error = "cannot open decoder", d;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&]() -> bool {
        for (;;) {
            const int err = avcodec_receive_frame(ctx, frame);
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
            if (err < 0) return false;
            DecodedFrame out;
            d.width = frame->width;
            d.height = frame->height;
            out.argb.resize(static_cast<size_t>(frame->width) * static_cast<size_t>(frame->height));
            for (int y = 0; y < frame->height; ++y) {
                const uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
                for (int x = 0; x < frame->width; ++x) {
                    uint32_t v;
                    if (frame->format == AV_PIX_FMT_PAL8)
                        v = reinterpret_cast<const uint32_t*>(frame->data[1])[row[x]];
                    else
                        v = reinterpret_cast<const uint32_t*>(row)[x];  // AV_PIX_FMT_RGB32: native 0xAARRGGBB
                    out.argb[static_cast<size_t>(y) * static_cast<size_t>(frame->width) +
                             static_cast<size_t>(x)] = v;
                }
            }
            d.frames.push_back(std::move(out));
            av_frame_unref(frame);
        }
    };
    bool good = ctx->pix_fmt == AV_PIX_FMT_NONE || ctx->pix_fmt == AV_PIX_FMT_RGB32 ||
                ctx->pix_fmt == AV_PIX_FMT_PAL8;
    while (good && av_read_frame(fmt, packet) >= 0) {
        d.packetPts.push_back(packet->pts);
        d.packetDurations.push_back(packet->duration);
        if (avcodec_send_packet(ctx, packet) < 0) good = false;
        av_packet_unref(packet);
        if (good) good = drain();
    }
    if (good) {
        avcodec_send_packet(ctx, nullptr);
        good = drain();
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    if (!good) return d.error = "decode failed", d;
    d.ok = true;
    return d;
}

std::string TempPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "tolvikan_gif_tests";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace gif_test
