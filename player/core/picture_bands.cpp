#include "player/core/picture_bands.h"

namespace player {

PictureBands::~PictureBands() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PictureBands::play(raster::Canvas& own, const raster::Recording& recording, Pixel* pixels, int width,
                        int height, int stride) {
    const int split = height / 2;
    if (!canvas_.setTarget(pixels, width, height, stride)) {
        own.play(recording, 0, height);
        return;
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &recording;
        y0_ = split;
        y1_ = height;
        busy_ = true;
    }
    wake_.notify_one();
    own.play(recording, 0, split);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
}

void PictureBands::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return busy_ || stop_; });
        if (stop_) return;
        const raster::Recording* job = job_;
        const int y0 = y0_, y1 = y1_;
        lock.unlock();
        canvas_.play(*job, y0, y1);
        lock.lock();
        busy_ = false;
        done_.notify_one();
    }
}

}  // namespace player
