// An FFmpeg audio encoder for the sound track of a conversion: the first of a list of encoders (in order of
// preference) that this FFmpeg has and that opens with the wanted sample rate, channels and bit rate.
// Internal to mcl/ (FFmpeg types). Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mcl/ffmpeg/ff_error.h"
#include "mcl/ffmpeg/ff_raii.h"

namespace mcl::ff {

struct AudioEncoderParams {
    std::vector<std::string> encoders;  // FFmpeg encoder names, the preferred first
    int sampleRate = 44100;
    int channels = 2;
    int64_t bitRate = 0;        // bit/s; 0: the encoder's default (ignored by PCM)
    bool globalHeader = false;  // the muxer wants the codec's headers apart (AVFMT_GLOBALHEADER)
};

class AudioEncoder {
  public:
    // nullptr with *status set (the last candidate's failure) when none of the encoders opens.
    static std::unique_ptr<AudioEncoder> create(const AudioEncoderParams& params, MclStatus* status);

    AVCodecContext* context() const { return ctx_.get(); }
    // Samples per frame handed to send(): the codec's fixed frame size, or a block of 1152 for codecs that
    // take any size (PCM). Only the last frame may be shorter.
    int frameSize() const { return frameSize_; }

    int send(AVFrame* frame) { return avcodec_send_frame(ctx_.get(), frame); }  // nullptr: drain
    int receive(AVPacket* packet) { return avcodec_receive_packet(ctx_.get(), packet); }

  private:
    AudioEncoder() = default;

    CodecContextPtr ctx_;
    int frameSize_ = 0;
};

}  // namespace mcl::ff
