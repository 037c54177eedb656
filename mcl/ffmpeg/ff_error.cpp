#include "mcl/ffmpeg/ff_error.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace mcl {

MclError MclErrorFromAv(int averror) {
    if (averror >= 0) return MclError::None;
    switch (averror) {
        case AVERROR(EINVAL):
        case AVERROR(ERANGE):
        case AVERROR(EDOM):
            return MclError::InvalidArgument;
        case AVERROR(ENOMEM):
            return MclError::OutOfMemory;
        case AVERROR(ENOENT):
        case AVERROR_OPTION_NOT_FOUND:
        case AVERROR_ENCODER_NOT_FOUND:
        case AVERROR_DECODER_NOT_FOUND:
        case AVERROR_MUXER_NOT_FOUND:
        case AVERROR_DEMUXER_NOT_FOUND:
        case AVERROR_STREAM_NOT_FOUND:
            return MclError::NotFound;
        case AVERROR(ENOSYS):
        case AVERROR_PATCHWELCOME:
        case AVERROR_EXPERIMENTAL:
            return MclError::Unsupported;
        case AVERROR(EIO):
        case AVERROR(EACCES):
        case AVERROR(ENOSPC):
        case AVERROR(EPIPE):
            return MclError::Io;
        case AVERROR_EOF:
            return MclError::EndOfStream;
        default:
            return MclError::Failed;
    }
}

std::string MclAvErrorText(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return text;
}

MclStatus MclStatusFromAv(int averror, const std::string& what) {
    return MclStatus::Error(MclErrorFromAv(averror), what + ": " + MclAvErrorText(averror));
}

}  // namespace mcl
