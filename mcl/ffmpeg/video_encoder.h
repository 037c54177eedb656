// An FFmpeg video encoder opened from an MclEncoderSetup. The codec probe of MclCodecsInit opens encoders
// through this class and so will the AVI/MPEG writer, so a codec is listed exactly when the writer can open
// it. Internal to mcl/ (FFmpeg types). Not thread-safe; one encoder per thread.
#pragma once

#include <memory>

#include "mcl/ffmpeg/ff_error.h"
#include "mcl/ffmpeg/ff_raii.h"
#include "mcl/mcl_codec_catalog.h"

namespace mcl::ff {

struct VideoEncoderParams {
    int width = 0;
    int height = 0;
    AVRational frameRate{25, 1};         // MPEG-1/2 accept only their standard rates
    int threads = 0;                     // 0: FFmpeg chooses
    AVRational sampleAspectRatio{1, 1};  // non-square pixels of the 4:3 disc formats
};

class VideoEncoder {
  public:
    // Finds the encoder, checks the pixel format, applies the setup's options and opens it. Returns nullptr
    // with *status set when any step fails; nothing is left allocated then.
    static std::unique_ptr<VideoEncoder> create(const MclEncoderSetup& setup,
                                                const VideoEncoderParams& params, MclStatus* status);

    AVCodecContext* context() const { return ctx_.get(); }
    AVPixelFormat pixelFormat() const { return ctx_->pix_fmt; }
    // The FourCC to write into the container: the setup's, or the one the encoder chose for its layout.
    uint32_t codecTag() const { return codecTag_; }

    // avcodec_send_frame with the frame's quality set as the setup asks; nullptr starts draining.
    int send(AVFrame* frame);
    // avcodec_receive_packet.
    int receive(AVPacket* packet);

  private:
    VideoEncoder() = default;

    CodecContextPtr ctx_;
    uint32_t codecTag_ = 0;
    int frameQuality_ = 0;
};

}  // namespace mcl::ff
