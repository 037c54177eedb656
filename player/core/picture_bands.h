// Plays a recorded picture on two threads: the top band of rows on the caller's thread, the bottom band on a
// helper thread kept from picture to picture. Where the bands meet follows how long each took last time,
// so both finish together (pictures of one movie cost much the same from frame to frame). Each band has a
// canvas of its own (scratch buffers, masks, gradient and bitmap caches), so the threads share only the
// recording (read) and the pixels (disjoint rows); the picture is byte for byte the one a single canvas
// draws.
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "player/raster/canvas.h"

namespace player {

class PictureBands {
  public:
    PictureBands() = default;
    PictureBands(const PictureBands&) = delete;
    PictureBands& operator=(const PictureBands&) = delete;
    ~PictureBands();

    // Draws `recording` into `target` (whose pixels the recording was made for): rows [0, split) with
    // `own` on this thread, the rest on the helper. Returns when both are done; what either band threw
    // (running out of memory) is thrown here.
    void play(raster::Canvas& own, const raster::Recording& recording, Pixel* pixels, int width, int height,
              int stride);

  private:
    void run();

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    raster::Canvas canvas_;  // the helper's
    const raster::Recording* job_ = nullptr;
    int y0_ = 0, y1_ = 0;
    bool busy_ = false, stop_ = false;
    double helperSeconds_ = 0;  // the helper's time for its last band
    std::exception_ptr error_;  // what the helper's band threw, for the caller to throw
    double share_ = 0.5;        // of the rows, the caller's band
};

}  // namespace player
