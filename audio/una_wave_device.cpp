#include "audio/una_wave_device.h"

#include "audio/una_timed_lock.h"

namespace {

// How long open and close wait for a device busy opening or closing on another call.
constexpr std::chrono::seconds kOpenCloseTimeout{10};

}  // namespace

unaWaveDevice::unaWaveDevice(bool ownInputQueue, bool ownOutputQueue, uint32_t overNum) : overNum_(overNum) {
    if (ownInputQueue) inQueue_ = std::make_unique<unaMemoryStream>();
    if (ownOutputQueue) outQueue_ = std::make_unique<unaMemoryStream>();
    setFormat(format_);
}

unaWaveDevice::~unaWaveDevice() = default;

void unaWaveDevice::setFormat(const unaPcmFormat& format) {
    std::lock_guard<std::mutex> guard(stateLock_);
    format_ = format;
    chunkSize_ = unaChunkSize(format);
}

unaPcmFormat unaWaveDevice::format() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return format_;
}

bool unaWaveDevice::open() {
    unaTimedLock guard(openLock_, kOpenCloseTimeout);
    if (!guard.owns()) return false;
    if (open_) return true;
    setError({});
    if (!doOpen()) return false;
    open_ = true;
    return true;
}

void unaWaveDevice::close() {
    unaTimedLock guard(openLock_, kOpenCloseTimeout);
    if (!guard.owns() || !open_) return;
    doClose();
    open_ = false;
}

std::string unaWaveDevice::errorText() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return error_;
}

void unaWaveDevice::setError(std::string text) {
    std::lock_guard<std::mutex> guard(stateLock_);
    error_ = std::move(text);
}

void unaWaveDevice::setDataCallback(DataCallback callback) {
    std::lock_guard<std::mutex> guard(stateLock_);
    callback_ = std::move(callback);
}

size_t unaWaveDevice::write(const void* data, size_t length) {
    if (!inQueue_ || !data || length == 0) return 0;
    const size_t limit = overflowLimit();
    if (limit && inQueue_->getSize() > limit) {
        droppedBytes_ += length;
        return 0;
    }
    inBytes_ += length;
    return inQueue_->write(data, length);
}

void unaWaveDevice::assignOutputQueue(bool own) {
    std::unique_ptr<unaMemoryStream> old;
    {
        std::lock_guard<std::mutex> guard(outLock_);
        if (own) {
            if (!outQueue_) outQueue_ = std::make_unique<unaMemoryStream>();
            return;
        }
        old = std::move(outQueue_);
    }
    // `old` and what it held are freed here, outside the lock.
}

bool unaWaveDevice::hasOutputQueue() const {
    std::lock_guard<std::mutex> guard(outLock_);
    return outQueue_ != nullptr;
}

size_t unaWaveDevice::readOutput(void* buffer, size_t length) {
    std::lock_guard<std::mutex> guard(outLock_);
    return outQueue_ ? outQueue_->read(buffer, length) : 0;
}

size_t unaWaveDevice::outputQueued() const {
    std::lock_guard<std::mutex> guard(outLock_);
    return outQueue_ ? outQueue_->getSize() : 0;
}

void unaWaveDevice::deliver(const uint8_t* data, size_t length) {
    if (!data || length == 0) return;
    outBytes_ += length;
    DataCallback callback;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        callback = callback_;
    }
    if (callback) callback(data, length);

    std::lock_guard<std::mutex> guard(outLock_);
    if (!outQueue_) return;
    const size_t limit = overflowLimit();
    if (limit && outQueue_->getSize() > limit) {
        droppedBytes_ += length;
        return;
    }
    outQueue_->write(data, length);
}
