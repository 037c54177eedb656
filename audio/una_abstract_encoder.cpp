#include "audio/una_abstract_encoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "audio/una_lazy_write_thread.h"

namespace {
constexpr std::chrono::seconds kThreadStartTimeout{10};
}

unaAbstractEncoder::unaAbstractEncoder(int priority) : priority_(priority) {}

// The most derived encoder closes in its own destructor, before the worker thread could see a half
// destroyed object; this only joins a thread that ended in a close on itself.
unaAbstractEncoder::~unaAbstractEncoder() {
    thread_.reset();
}

std::string unaAbstractEncoder::errorMessage() const {
    std::lock_guard<std::mutex> guard(messageLock_);
    return errorMessage_;
}

uint32_t unaAbstractEncoder::setResult(uint32_t code, std::string message) {
    if (code != 0 && message.empty()) message = describeError(code);
    {
        std::lock_guard<std::mutex> guard(messageLock_);
        errorMessage_ = code == 0 ? std::string() : std::move(message);
    }
    errorCode_ = code;
    return code;
}

uint32_t unaAbstractEncoder::setConfig(const void* config) {
    close();
    size_t chunkBytes = 0;
    size_t outputBytes = 0;
    const uint32_t result = doSetConfig(config, chunkBytes, outputBytes);
    if (result == 0) {
        chunkSize_ = std::max<size_t>(chunkBytes, 2);
        if (outBuffer_.size() < outputBytes) outBuffer_.resize(outputBytes);
        configured_ = true;
    }
    return setResult(result);
}

uint32_t unaAbstractEncoder::open() {
    if (!configured_)
        return setResult(UNA_ENCODER_ERR_CONFIG_REQUIRED, "open without a successful setConfig");
    if (opened_) return setResult(0);
    if (thread_ && thread_->isCurrentThread())
        return setResult(UNA_ENCODER_ERR_NO_THREAD, "open called from the encoder's own thread");
    outStream_.clear();
    encodedDataSize_ = 0;
    // A thread that ended in a close on itself is still to be joined.
    thread_.reset();
    thread_ = std::make_unique<unaLazyWriteThread>(*this);
    if (!thread_->start(kThreadStartTimeout)) {
        thread_.reset();
        return setResult(UNA_ENCODER_ERR_NO_THREAD, "the encoder thread could not be started");
    }
    opened_ = true;
    // Data queued before this open is waiting.
    if (inStream_.getSize() > 0) dataReady_.set();
    return setResult(0);
}

void unaAbstractEncoder::encodeChunk(const void* data, size_t length) {
    inStream_.write(data, length);
    dataReady_.set();
}

uint32_t unaAbstractEncoder::close() {
    // A close from the data handler while another close runs (on the closing thread, or this one further
    // up) has nothing left to do: the running close drains and finishes the stream.
    bool idle = false;
    if (!closing_.compare_exchange_strong(idle, true)) return 0;
    uint32_t result = 0;
    if (opened_) {
        if (thread_->isCurrentThread()) {
            std::lock_guard<std::recursive_mutex> guard(thread_->lock());
            drainOnThisThread();
            thread_->requestStop();
        } else {
            thread_->flushAndWait();
            thread_.reset();
        }
        inStream_.clear();  // a last odd byte is no sample
        opened_ = false;
    }
    if (configured_) {
        // The final frames are valid MP3 data whatever freeing the stream reports, so they are delivered
        // whenever finishing succeeded, and the stream is freed even when finishing failed.
        size_t written = 0;
        const uint32_t finished = doFinish(outBuffer_.data(), written);
        if (finished == 0) deliver(written);
        const uint32_t closed = doCloseStream();
        result = finished != 0 ? finished : closed;
        configured_ = false;
    }
    closing_ = false;
    return setResult(result);
}

std::string unaAbstractEncoder::describeError(uint32_t code) const {
    char text[48];
    std::snprintf(text, sizeof(text), "encoder error 0x%X", code);
    return text;
}

void unaAbstractEncoder::setOnDataAvailable(DataAvailableHandler handler) {
    std::lock_guard<std::mutex> guard(handlerLock_);
    onDataAvailable_ = std::move(handler);
}

void unaAbstractEncoder::encodeBlock(const uint8_t* data, size_t bytes) {
    size_t written = 0;
    // A chunk the encoder refuses is dropped; the stream goes on with the next one.
    if (doEncode(data, bytes, outBuffer_.data(), written) == 0) deliver(written);
}

void unaAbstractEncoder::deliver(size_t bytes) {
    if (bytes == 0) return;
    encodedDataSize_ += static_cast<uint32_t>(bytes);
    DataAvailableHandler handler;
    {
        std::lock_guard<std::mutex> guard(handlerLock_);
        handler = onDataAvailable_;
    }
    bool copyToStream = false;
    if (handler) handler(this, outBuffer_.data(), static_cast<uint32_t>(bytes), copyToStream);
    if (!handler || copyToStream) outStream_.write(outBuffer_.data(), bytes);
}

void unaAbstractEncoder::drainOnThisThread() {
    std::vector<uint8_t> chunk(chunkSize_);
    while (inStream_.getSize() >= 2) {
        const size_t got = inStream_.read(chunk.data(), chunkSize_);
        if (got > 1) encodeBlock(chunk.data(), got);
    }
}
