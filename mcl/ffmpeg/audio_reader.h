// Reads a sound file (WAV, MP3, or anything else FFmpeg demuxes and decodes) as a stream of samples in the
// format an audio encoder takes: decoded, converted to its sample format, channel count and sample rate
// (libswresample), and handed out through an AVAudioFifo in the amounts the caller asks for. Memory stays
// bounded: a file is decoded only as far as the caller has asked. Internal to mcl/ (FFmpeg types). Not
// thread-safe.
#pragma once

#include <memory>
#include <string>

#include "mcl/ffmpeg/ff_error.h"
#include "mcl/ffmpeg/ff_raii.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace mcl::ff {

struct SwrFree {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;

// What a quick look at a file finds.
struct AudioProbe {
    bool opened = false;     // FFmpeg recognised the file
    bool hasAudio = false;   // it holds a sound stream
    bool decodable = false;  // and a decoder for that stream opens
};
AudioProbe ProbeAudio(const std::string& path);

// The sample layout the reader delivers.
struct AudioTarget {
    int sampleRate = 44100;
    int channels = 2;
    AVSampleFormat format = AV_SAMPLE_FMT_S16;
};

class AudioReader {
  public:
    // Opens the file and its best sound stream's decoder. nullptr with *status set (the message names the
    // file) when the file cannot be opened, holds no sound, or has no decoder here.
    static std::unique_ptr<AudioReader> create(const std::string& path, MclStatus* status);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    const std::string& path() const { return path_; }
    // The layout fill() delivers; set before the first fill().
    void setTarget(const AudioTarget& target) { target_ = target; }

    // Decodes until `fifo` (of the target's format and channels) holds at least `wanted` samples or the file
    // has ended; at the end the resampler's tail is added too. A damaged packet is skipped (the decoder's
    // way with broken frames); a read error fails.
    MclStatus fill(AVAudioFifo* fifo, int wanted);
    bool ended() const { return ended_; }

  private:
    AudioReader() = default;
    MclStatus resample(const AVFrame* frame, AVAudioFifo* fifo);
    MclStatus setupResampler(const AVFrame* frame);

    std::string path_;
    AudioTarget target_;
    InputFormatPtr input_;
    CodecContextPtr decoder_;
    SwrPtr swr_;
    int streamIndex_ = -1;
    PacketPtr packet_;
    FramePtr frame_;
    // The resampler's input format, so a change inside the file rebuilds it.
    int swrRate_ = 0;
    int swrFormat_ = -1;
    AVChannelLayout swrLayout_{};
    uint8_t** buffer_ = nullptr;  // converted samples, grown to the largest frame seen
    int bufferSamples_ = 0;
    bool demuxerEnded_ = false;
    bool ended_ = false;
};

}  // namespace mcl::ff
