#include "audio/unavcl_in_out_pipe.h"

#include "audio/una_timed_lock.h"

#include <algorithm>
#include <chrono>

namespace {

// How long opening or closing waits for a pipe busy opening or closing on another call.
constexpr std::chrono::milliseconds kActiveTimeout{500};

}  // namespace

unavclInOutPipe::~unavclInOutPipe() {
    unlink();
}

void unavclInOutPipe::unlink() {
    // One pipe's lock at a time: two pipes are never locked together, so no order between them can deadlock.
    unavclInOutPipe* next;
    std::vector<unavclInOutPipe*> providers;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        next = consumer_;
        consumer_ = nullptr;
        providers.swap(providers_);
    }
    if (next) next->removeProvider(this);
    for (unavclInOutPipe* provider : providers) {
        // Waits for a block the provider is writing into this pipe right now.
        std::lock_guard<std::recursive_mutex> guard(provider->lock_);
        if (provider->consumer_ != this) continue;
        provider->consumer_ = nullptr;
        provider->consumerChanged(false);
    }
}

void unavclInOutPipe::active(bool value) {
    unaTimedLock guard(activeLock_, kActiveTimeout);
    if (!guard.owns() || active() == value) return;
    unavclInOutPipe* next = consumer();
    if (autoActivate && next) {
        if (value && isFormatProvider) next->takeFormatFrom(*this);
        next->active(value);
    }
    if (value) {
        inBytes_ = 0;
        outBytes_ = 0;
        doOpen();
    } else {
        doClose();
    }
}

bool unavclInOutPipe::active() const {
    return isDeviceOpen();
}

void unavclInOutPipe::consumer(unavclInOutPipe* pipe) {
    // A ring of pipes would open and close itself without end: such a link is refused.
    for (unavclInOutPipe* p = pipe; p; p = p->consumer())
        if (p == this) return;
    unavclInOutPipe* old;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (pipe == consumer_) return;
        old = consumer_;
        consumer_ = pipe;
        consumerChanged(consumer_ != nullptr);
    }
    if (old) old->removeProvider(this);
    if (pipe) pipe->addProvider(this);
}

unavclInOutPipe* unavclInOutPipe::consumer() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return consumer_;
}

size_t unavclInOutPipe::providerCount() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return providers_.size();
}

void unavclInOutPipe::addProvider(unavclInOutPipe* pipe) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (std::find(providers_.begin(), providers_.end(), pipe) == providers_.end()) providers_.push_back(pipe);
}

void unavclInOutPipe::removeProvider(unavclInOutPipe* pipe) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    providers_.erase(std::remove(providers_.begin(), providers_.end(), pipe), providers_.end());
}

size_t unavclInOutPipe::write(const void* data, size_t length) {
    const size_t taken = doWrite(data, length);
    inBytes_ += taken;
    return taken;
}

void unavclInOutPipe::onNewData(const void* data, size_t length) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (consumer_ && consumer_->active()) consumer_->write(data, length);
    }
    if (onDataAvailable) onDataAvailable(this, data, length);
    outBytes_ += length;
}

unavclInOutWavePipe::~unavclInOutWavePipe() {
    // No provider may write into this pipe, and the device thread must be gone, before the pipe goes.
    unlink();
    if (device_) device_->close();
}

void unavclInOutWavePipe::pcm_SamplesPerSec(uint32_t value) {
    rebuildFormat(value, format_.bitsPerSample, format_.numChannels);
}

void unavclInOutWavePipe::pcm_BitsPerSample(uint16_t value) {
    rebuildFormat(format_.samplesPerSec, value, format_.numChannels);
}

void unavclInOutWavePipe::pcm_NumChannels(uint16_t value) {
    rebuildFormat(format_.samplesPerSec, format_.bitsPerSample, value);
}

void unavclInOutWavePipe::rebuildFormat(uint32_t samplesPerSec, uint16_t bits, uint16_t channels) {
    const uint16_t tag = format_.formatTag;
    format_ = unaMakePcmFormat(samplesPerSec, bits, channels);
    format_.formatTag = tag;
    if (device_ && !device_->isOpen()) device_->setFormat(format_);
}

std::string unavclInOutWavePipe::errorText() const {
    return device_ ? device_->errorText() : std::string("no device");
}

void unavclInOutWavePipe::setDevice(std::unique_ptr<unaWaveDevice> device) {
    if (device_) device_->close();
    device_ = std::move(device);
    if (!device_) return;
    device_->setFormat(format_);
    device_->setDataCallback([this](const uint8_t* data, size_t length) { onNewData(data, length); });
    device_->assignOutputQueue(consumer() == nullptr);
}

bool unavclInOutWavePipe::doOpen() {
    if (!device_) return false;
    device_->setFormat(format_);
    return device_->open();
}

void unavclInOutWavePipe::doClose() {
    if (device_) device_->close();
}

bool unavclInOutWavePipe::isDeviceOpen() const {
    return device_ && device_->isOpen();
}

size_t unavclInOutWavePipe::doWrite(const void* data, size_t length) {
    return device_ ? device_->write(data, length) : 0;
}

void unavclInOutWavePipe::consumerChanged(bool hasConsumer) {
    // Without a consumer the device keeps its output (up to its overflow limit); with one it only delivers,
    // and what it kept meanwhile is discarded.
    if (device_) device_->assignOutputQueue(!hasConsumer);
}

void unavclInOutWavePipe::takeFormatFrom(const unavclInOutPipe& provider) {
    const auto* wave = dynamic_cast<const unavclInOutWavePipe*>(&provider);
    if (!wave) return;
    const unaPcmFormat& f = wave->pcmFormat();
    const uint16_t tag = formatTagImmunable ? format_.formatTag : f.formatTag;
    format_ = f;
    format_.formatTag = tag;
    if (device_ && !device_->isOpen()) device_->setFormat(format_);
}
