// Converts the library's pictures (packed BGR24, or BGRA with alpha, top row first) into the frame layout an
// encoder takes. The AVI/MPEG writer and the tests go through this one path.
// Planar RGB targets (Ut Video, MagicYUV) are filled by splitting the channels: swscale's BGRA to GBRAP path
// moves alpha values by one step, which would make a lossless codec lossy. Everything else goes through
// swscale with bit-exact flags, so a movie converts to the same bytes on every run. Internal to mcl/ (FFmpeg
// types). Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>

#include "mcl/ffmpeg/ff_error.h"
#include "mcl/ffmpeg/ff_raii.h"

namespace mcl::ff {

class FrameConverter {
  public:
    // source: AV_PIX_FMT_BGR24 or AV_PIX_FMT_BGRA. Returns nullptr with *status set when swscale has no path.
    static std::unique_ptr<FrameConverter> create(int width, int height, AVPixelFormat source,
                                                  AVPixelFormat target, MclStatus* status);

    // Fills `frame` (allocated with the target format and size, writable) from the packed picture.
    void convert(const uint8_t* pixels, int stride, AVFrame* frame) const;

  private:
    FrameConverter() = default;

    int width_ = 0;
    int height_ = 0;
    AVPixelFormat source_ = AV_PIX_FMT_NONE;
    AVPixelFormat target_ = AV_PIX_FMT_NONE;
    SwsPtr sws_;  // null when the channels are split by hand
};

}  // namespace mcl::ff
