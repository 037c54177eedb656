// One output file written by an FFmpeg muxer: streams are added from opened encoders, the header is written
// once, packets are interleaved by the muxer as they come (nothing is kept beyond its interleaving queue),
// and finish() writes the trailer (the AVI index, the MPEG end code). A file whose header was written is
// always finished, by finish() or at the latest by the destructor; a file whose header could not be written
// is removed again. Internal to mcl/ (FFmpeg types). Streams are added and the file opened on one thread;
// after that write() and finish() may be called from two threads (the conversion's video worker and its
// caller's sound track): they take turns.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "mcl/ffmpeg/ff_error.h"
#include "mcl/ffmpeg/ff_raii.h"

namespace mcl::ff {

class OutputFile {
  public:
    // Prepares the muxer `muxer` ("avi", "mpeg", "vcd", "svcd", "dvd", "vob") for `path`; nothing is
    // written yet.
    static std::unique_ptr<OutputFile> create(const std::string& muxer, const std::string& path,
                                              MclStatus* status);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    AVFormatContext* context() const { return ctx_.get(); }
    // Encoders opened for this file must put their headers apart (AV_CODEC_FLAG_GLOBAL_HEADER).
    bool wantsGlobalHeader() const;

    // A stream carrying what `encoder` produces; codecTag 0 lets the muxer choose.
    AVStream* addStream(const AVCodecContext* encoder, uint32_t codecTag, MclStatus* status);

    // Creates the file and writes the header. options: the muxer's private options (packet size, mux rate,
    // preload), applied in order; maxDelayUs: the muxer's largest demux-decode delay.
    MclStatus open(const std::vector<std::pair<std::string, std::string>>& options, int64_t maxDelayUs);

    // Writes one encoded packet of `stream`; its timestamps are in `encoderTimeBase`.
    MclStatus write(AVPacket* packet, AVRational encoderTimeBase, const AVStream* stream);

    // Writes what the interleaving queue still holds, the trailer, and closes the file.
    MclStatus finish();

  private:
    OutputFile() = default;

    std::mutex mutex_;  // write() and finish()
    std::string path_;
    OutputFormatPtr ctx_;
    bool fileCreated_ = false;
    bool headerWritten_ = false;
    bool finished_ = false;
};

}  // namespace mcl::ff
