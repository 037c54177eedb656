#include "mcl/ffmpeg/output_file.h"

#include <cstring>
#include <filesystem>

extern "C" {
#include <libavutil/opt.h>
}

namespace mcl::ff {

std::unique_ptr<OutputFile> OutputFile::create(const std::string& muxer, const std::string& path,
                                               MclStatus* status) {
    MclStatus ignored;
    MclStatus& st = status ? *status : ignored;
    st = MclStatus{};
    AVFormatContext* raw = nullptr;
    const int rc = avformat_alloc_output_context2(&raw, nullptr, muxer.c_str(), path.c_str());
    if (rc < 0 || !raw) {
        st = MclStatusFromAv(rc < 0 ? rc : AVERROR_MUXER_NOT_FOUND, "muxer " + muxer);
        return nullptr;
    }
    std::unique_ptr<OutputFile> file(new OutputFile);
    file->ctx_.reset(raw);
    file->path_ = path;
    return file;
}

OutputFile::~OutputFile() {
    if (headerWritten_ && !finished_) {
        finish();
    } else if (fileCreated_ && !headerWritten_) {
        avio_closep(&ctx_->pb);
        // Only a file of our making: an output path naming a device or a pipe is left alone.
        std::error_code ec;
        if (std::filesystem::is_regular_file(path_, ec)) std::filesystem::remove(path_, ec);
    }
}

bool OutputFile::wantsGlobalHeader() const {
    return ctx_->oformat->flags & AVFMT_GLOBALHEADER;
}

AVStream* OutputFile::addStream(const AVCodecContext* encoder, uint32_t codecTag, MclStatus* status) {
    AVStream* stream = avformat_new_stream(ctx_.get(), nullptr);
    if (!stream) {
        *status = MclStatus::Error(MclError::OutOfMemory, "avformat_new_stream");
        return nullptr;
    }
    const int rc = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (rc < 0) {
        *status = MclStatusFromAv(rc, "stream parameters");
        return nullptr;
    }
    stream->codecpar->codec_tag = codecTag;
    // The encoder's coded-picture-buffer properties: the MPEG muxers size each stream's P-STD buffer from
    // them (46 KiB of video on VCD, as the standard has it), not from the codec parameters.
    for (int i = 0; i < encoder->nb_coded_side_data; ++i) {
        const AVPacketSideData& side = encoder->coded_side_data[i];
        uint8_t* data = av_stream_new_side_data(stream, side.type, side.size);
        if (!data) {
            *status = MclStatus::Error(MclError::OutOfMemory, "stream side data");
            return nullptr;
        }
        std::memcpy(data, side.data, side.size);
    }
    stream->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        stream->avg_frame_rate = encoder->framerate;
        stream->r_frame_rate = encoder->framerate;
        stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
    }
    return stream;
}

MclStatus OutputFile::open(const std::vector<std::pair<std::string, std::string>>& options,
                           int64_t maxDelayUs) {
    AVFormatContext* ctx = ctx_.get();
    ctx->max_delay = static_cast<int>(maxDelayUs);
    Dictionary muxerOptions;
    for (const auto& [key, value] : options)
        muxerOptions.set(key.c_str(), value.c_str());

    if (!(ctx->oformat->flags & AVFMT_NOFILE)) {
        const int rc = avio_open(&ctx->pb, path_.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) return MclStatusFromAv(rc, "cannot create " + path_);
        fileCreated_ = true;
    }
    const int rc = avformat_write_header(ctx, muxerOptions.address());
    if (rc < 0) return MclStatusFromAv(rc, "writing the header of " + path_);
    headerWritten_ = true;
    return {};
}

MclStatus OutputFile::write(AVPacket* packet, AVRational encoderTimeBase, const AVStream* stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    av_packet_rescale_ts(packet, encoderTimeBase, stream->time_base);
    packet->stream_index = stream->index;
    const int rc =
        av_interleaved_write_frame(ctx_.get(), packet);  // takes the packet's data, leaves it blank
    if (rc < 0) return MclStatusFromAv(rc, "writing " + path_);
    return {};
}

MclStatus OutputFile::finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!headerWritten_ || finished_) return {};
    finished_ = true;
    int rc = av_write_trailer(ctx_.get());
    MclStatus st = rc < 0 ? MclStatusFromAv(rc, "finishing " + path_) : MclStatus{};
    if (!(ctx_->oformat->flags & AVFMT_NOFILE)) {
        rc = avio_closep(&ctx_->pb);
        if (rc < 0 && st.ok()) st = MclStatusFromAv(rc, "closing " + path_);
    }
    return st;
}

}  // namespace mcl::ff
