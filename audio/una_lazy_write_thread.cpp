#include "audio/una_lazy_write_thread.h"

#include <algorithm>
#include <future>
#include <system_error>

#include "audio/una_abstract_encoder.h"

namespace {
constexpr std::chrono::milliseconds kPollStep{100};
}

unaLazyWriteThread::~unaLazyWriteThread() {
    stop_ = true;
    encoder_.dataReady_.set();
    if (!thread_.joinable()) return;
    // Destroyed from its own handler: the loop ends by itself once the handler returns.
    if (isCurrentThread())
        thread_.detach();
    else
        thread_.join();
}

bool unaLazyWriteThread::start(std::chrono::milliseconds timeout) {
    std::promise<void> running;
    std::future<void> started = running.get_future();
    try {
        thread_ = std::thread([this, &running] {
            running.set_value();
            run();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return started.wait_for(timeout) == std::future_status::ready;
}

void unaLazyWriteThread::flushAndWait() {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        flush_ = true;
    }
    encoder_.dataReady_.set();
    if (thread_.joinable()) thread_.join();
}

void unaLazyWriteThread::run() {
    unaMemoryStream& queue = encoder_.inStream_;
    const size_t chunkSize = encoder_.chunkSize_;
    chunk_.resize(chunkSize);
    while (!stop_) {
        if (!encoder_.dataReady_.wait(kPollStep)) continue;
        // Only a close asking for the flush competes for the lock, and only for a moment.
        std::lock_guard<std::recursive_mutex> guard(lock_);
        const bool flush = flush_;
        const size_t queued = queue.getSize();
        if (queued >= chunkSize || flush) {
            const size_t want = flush ? std::min(queued, chunkSize) : chunkSize;
            if (want > 1) {
                const size_t got = queue.read(chunk_.data(), want);
                if (got > 1) encoder_.encodeBlock(chunk_.data(), got);
            }
            if (queue.getSize() > 0) encoder_.dataReady_.set();
        }
        if (flush && queue.getSize() < 2) break;
    }
}
