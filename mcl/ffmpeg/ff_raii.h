// Owning handles for the FFmpeg objects the media library uses. Internal to mcl/ (and its tests): FFmpeg
// headers never appear in a header outside this folder. Every object is freed once, by its handle; the Make*
// functions return an empty handle when FFmpeg is out of memory, so a caller can return early at any point
// without leaking.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace mcl::ff {

struct CodecContextFree {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFree {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
// A demuxer context made by avformat_open_input.
struct InputFormatFree {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
// A muxer context made by avformat_alloc_output_context2; closes its file when the muxer opened one.
struct OutputFormatFree {
    void operator()(AVFormatContext* p) const {
        if (p->oformat && !(p->oformat->flags & AVFMT_NOFILE)) avio_closep(&p->pb);
        avformat_free_context(p);
    }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatFree>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;

// An AVDictionary of options; whatever the consumer did not take is freed with the handle.
class Dictionary {
  public:
    Dictionary() = default;
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    ~Dictionary() { av_dict_free(&dict_); }

    int set(const char* key, const char* value) { return av_dict_set(&dict_, key, value, 0); }
    AVDictionary** address() { return &dict_; }
    AVDictionary* get() const { return dict_; }

  private:
    AVDictionary* dict_ = nullptr;
};

inline FramePtr MakeFrame() {
    return FramePtr(av_frame_alloc());
}
inline PacketPtr MakePacket() {
    return PacketPtr(av_packet_alloc());
}

}  // namespace mcl::ff
