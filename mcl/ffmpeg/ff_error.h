// The one place where FFmpeg's error codes become the media library's own.
#pragma once

#include <string>

namespace mcl {

enum class MclError {
    None = 0,
    InvalidArgument,  // a value FFmpeg or the library rejected (size, pixel format, option)
    NotFound,         // encoder, decoder, muxer or file missing
    Unsupported,      // the combination exists but cannot be used (pixel format, codec in container)
    OutOfMemory,
    Io,  // reading or writing a file failed
    EndOfStream,
    Failed,  // any other FFmpeg failure
};

// An error with its context ("libx264: width not divisible by 2"); None means success.
struct MclStatus {
    MclError code = MclError::None;
    std::string message;

    bool ok() const { return code == MclError::None; }
    static MclStatus Error(MclError code, std::string message) { return MclStatus{code, std::move(message)}; }
};

// Maps an AVERROR value (negative) to MclError.
MclError MclErrorFromAv(int averror);
// av_strerror's text for an AVERROR value.
std::string MclAvErrorText(int averror);
// MclStatus for a failed FFmpeg call: the code mapped, the message "<what>: <FFmpeg's text>".
MclStatus MclStatusFromAv(int averror, const std::string& what);

}  // namespace mcl
