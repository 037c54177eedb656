// Fits a delivered picture into the output frame: the same size passes through untouched (on frames of
// non-square pixels too: such a picture was drawn for them); any other size is scaled to fit with its
// aspect ratio kept, centred, on black borders. The aspect is kept as the picture will be seen, so on a
// frame of non-square pixels (the 4:3 disc formats) a 4:3 picture fills the frame. One canvas is kept and
// reused for every frame. Internal to mcl/. Not thread-safe.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

#include "mcl/ffmpeg/ff_error.h"
#include "mcl/ffmpeg/ff_raii.h"
#include "mcl/mcl_image_data.h"

struct MclFitRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Where a picture of pictureW x pictureH goes on a frame of frameW x frameH pixels of the given sample aspect
// ratio. A fit within two pixels of the whole frame takes the whole frame (no slivers of border).
MclFitRect MclFitPicture(int pictureW, int pictureH, int frameW, int frameH, AVRational sampleAspect);

class MclPictureFitter {
  public:
    MclPictureFitter(int frameW, int frameH, AVRational sampleAspect, bool alpha);

    // The frame-sized packed picture (BGR24, or BGRA when alpha) for `image`: points into the image itself
    // when it already has the frame's size and layout, else into the fitter's canvas. An image without
    // pixels gives a black frame. The pointer stays valid until the next call.
    mcl::MclStatus fit(const MclImage& image, const uint8_t** pixels, int* stride);

  private:
    int frameW_;
    int frameH_;
    AVRational sar_;
    bool alpha_;
    int bpp_;
    std::vector<uint8_t> canvas_;
    std::vector<uint8_t> packed_;  // BGRA of a picture with an alpha channel, before scaling
    mcl::ff::SwsPtr sws_;
    int swsSourceW_ = 0;
    int swsSourceH_ = 0;
    MclFitRect canvasRect_{-1, -1, -1, -1};  // what the canvas's picture area is; borders are black outside
};
