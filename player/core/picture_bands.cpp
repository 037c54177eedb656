#include "player/core/picture_bands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <system_error>
#include <utility>

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

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

void PictureBands::play(raster::Canvas& own, const raster::Recording& recording, Pixel* pixels, int width,
                        int height, int stride) {
    const int split = std::clamp(int(std::lround(share_ * height)), 1, height - 1);
    if (!canvas_.setTarget(pixels, width, height, stride)) {
        own.play(recording, 0, height);
        return;
    }
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            own.play(recording, 0, height);  // no thread to be had: one draws it all
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &recording;
        y0_ = split;
        y1_ = height;
        busy_ = true;
    }
    wake_.notify_one();
    const Clock::time_point start = Clock::now();
    try {
        own.play(recording, 0, split);
    } catch (...) {
        // The helper still draws from the recording: it must be done before the error leaves.
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return !busy_; });
        error_ = nullptr;
        throw;
    }
    const double mine = since(start);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    // Rows per second of each band, then the split where both would take as long; moved only part of the
    // way, within bounds, so one odd picture does not throw it far.
    const double a = split / std::max(mine, 1e-7), b = (height - split) / std::max(helperSeconds_, 1e-7);
    const double balanced = a / (a + b);
    share_ = std::clamp(share_ + 0.5 * (balanced - share_), 0.2, 0.8);
}

void PictureBands::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return busy_ || stop_; });
        if (stop_) return;
        const raster::Recording* job = job_;
        const int y0 = y0_, y1 = y1_;
        lock.unlock();
        const Clock::time_point start = Clock::now();
        std::exception_ptr error;
        try {
            canvas_.play(*job, y0, y1);
        } catch (...) {
            error = std::current_exception();  // out of memory for scratch rows or masks: the caller's
        }
        const double seconds = since(start);
        lock.lock();
        error_ = error;
        helperSeconds_ = seconds;
        busy_ = false;
        done_.notify_one();
    }
}

}  // namespace player
