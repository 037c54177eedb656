// How many output frames each delivered frame becomes when the duration is kept: a frame delivered at the
// source rate covers [i / source, (i + 1) / source) seconds, and after k frames of one source rate the file
// holds round(k * output / source) frames of that stretch, so every output frame shows the delivered frame
// nearest its moment. A 12 frames/s movie written at 29.97 frames/s repeats frames (12 frames become 30), a
// 25 frames/s one written at 12 drops some; two spellings of one rate (29.97 and 30000/1001) write every
// frame once. The movie's first frame is always written. Exact rational arithmetic, so the same frames
// always give the same file. Without keeping the duration every frame is written once. Internal to mcl/.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

class MclFrameClock {
  public:
    MclFrameClock(AVRational outputRate, bool keepDuration);

    // The next frame, delivered at sourceRate frames/s (0 or less: the rate of the frame before, or the
    // output rate for the first). Returns how many output frames it fills (0 when it falls between two).
    int64_t next(double sourceRate);

    int64_t delivered() const { return delivered_; }
    int64_t written() const { return written_; }

  private:
    AVRational output_;
    bool keep_;
    AVRational source_{0, 1};
    // Where the current stretch of one source rate began.
    int64_t stretchInput_ = 0;
    int64_t stretchOutput_ = 0;
    int64_t delivered_ = 0;
    int64_t written_ = 0;
};
