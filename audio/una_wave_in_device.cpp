#include "audio/una_wave_in_device.h"

#include <pulse/error.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// How long the server may take to connect and to start the recording stream.
constexpr std::chrono::seconds kOpenTimeout{10};
// The device thread looks for done buffers at least this often.
constexpr std::chrono::milliseconds kThreadWait{10};

pa_sample_format_t sampleFormat(uint16_t bits) {
    // WAV stores 8-bit samples unsigned, 16-bit samples signed little-endian.
    return bits == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
}

}  // namespace

unaWaveInDevice::unaWaveInDevice(std::string sourceName, uint32_t overNum)
    : unaWaveDevice(false, true, overNum), sourceName_(std::move(sourceName)) {}

unaWaveInDevice::~unaWaveInDevice() {
    close();
    tearDown();
}

bool unaWaveInDevice::doOpen() {
    const unaPcmFormat f = format();
    if (f.formatTag != UNA_WAVE_FORMAT_PCM || (f.bitsPerSample != 8 && f.bitsPerSample != 16) ||
        f.numChannels < 1 || f.numChannels > 2) {
        setError("the capture format is not supported (PCM, 8 or 16 bits, mono or stereo)");
        return false;
    }
    const size_t chunk = chunkSize();
    {
        std::lock_guard<std::mutex> guard(ringLock_);
        buffers_.assign(kBufferCount, Buffer{});
        queued_.clear();
        done_.clear();
        nextSequence_ = 0;
        expected_ = 0;
        for (Buffer& b : buffers_) {
            b.data.resize(chunk);
            b.filled = 0;
            b.sequence = nextSequence_++;
            queued_.push_back(&b);
        }
    }

    std::string why;
    pulse_ = unaPulseContext::connect("Tolvikan recording", kOpenTimeout, &why);
    if (!pulse_) {
        setError(why);
        return false;
    }
    auto fail = [this](const std::string& what) {
        setError(what + ": " + pulse_->lastError());
        tearDown();
        return false;
    };

    pa_sample_spec wanted;
    wanted.format = sampleFormat(f.bitsPerSample);
    wanted.rate = f.samplesPerSec;
    wanted.channels = static_cast<uint8_t>(f.numChannels);
    // The server hands data over in pieces of about one chunk; it may keep up to the whole rotation.
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(chunk * kBufferCount);
    attr.fragsize = static_cast<uint32_t>(chunk);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
    {
        unaPulseContext::Lock lock(*pulse_);
        stream_ = pa_stream_new(pulse_->context(), "Recording", &wanted, nullptr);
        if (stream_) {
            pa_stream_set_read_callback(stream_, &unaWaveInDevice::readCallback, this);
            const char* device = sourceName_.empty() ? nullptr : sourceName_.c_str();
            if (pa_stream_connect_record(stream_, device, &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
                pa_stream_unref(stream_);
                stream_ = nullptr;
            }
        }
    }
    if (!stream_) return fail("cannot start recording");

    const auto deadline = std::chrono::steady_clock::now() + kOpenTimeout;
    for (;;) {
        pa_stream_state_t state;
        {
            unaPulseContext::Lock lock(*pulse_);
            state = pa_stream_get_state(stream_);
        }
        if (state == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(state)) {
            const std::string source = sourceName_.empty() ? "the default source" : "source " + sourceName_;
            return fail("cannot record from " + source);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            setError("the sound server did not start the recording in time");
            tearDown();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    stop_ = false;
    try {
        thread_ = std::thread(&unaWaveInDevice::run, this);
    } catch (const std::system_error& e) {
        setError(std::string("cannot start the capture thread: ") + e.what());
        tearDown();
        return false;
    }
    return true;
}

void unaWaveInDevice::doClose() {
    stop_ = true;
    dataReady_.set();
    if (thread_.joinable()) thread_.join();
    tearDown();
}

void unaWaveInDevice::tearDown() {
    if (!pulse_) return;
    {
        unaPulseContext::Lock lock(*pulse_);
        if (stream_) {
            pa_stream_set_read_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
    }
    pulse_.reset();
    // What the buffers still held is discarded with them.
    std::lock_guard<std::mutex> guard(ringLock_);
    queued_.clear();
    done_.clear();
}

void unaWaveInDevice::readCallback(pa_stream* stream, size_t, void* self) {
    auto* device = static_cast<unaWaveInDevice*>(self);
    const void* data = nullptr;
    size_t length = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &length) < 0) return;
        if (length == 0) return;
        if (data) {
            device->takeFromServer(static_cast<const uint8_t*>(data), length);
        } else {
            // A hole in the recording: keep the timing with silence (0x80 is silence for unsigned 8 bits).
            static constexpr size_t kStep = 4096;
            uint8_t silence[kStep];
            std::memset(silence, device->format().bitsPerSample == 8 ? 0x80 : 0, kStep);
            for (size_t at = 0; at < length; at += kStep)
                device->takeFromServer(silence, std::min(kStep, length - at));
        }
        pa_stream_drop(stream);
    }
}

void unaWaveInDevice::takeFromServer(const uint8_t* data, size_t length) {
    bool signal = false;
    {
        std::lock_guard<std::mutex> guard(ringLock_);
        while (length > 0) {
            if (queued_.empty()) {
                // Every buffer is waiting for delivery: the driver has nowhere to put this.
                countDropped(length);
                break;
            }
            Buffer* b = queued_.front();
            const size_t n = std::min(length, b->data.size() - b->filled);
            std::memcpy(b->data.data() + b->filled, data, n);
            b->filled += n;
            data += n;
            length -= n;
            if (b->filled == b->data.size()) {
                queued_.pop_front();
                done_.push_back(b);
                signal = true;
            }
        }
    }
    if (signal) dataReady_.set();
}

void unaWaveInDevice::run() {
    while (!stop_) {
        dataReady_.wait(kThreadWait);
        deliverDoneBuffers();
    }
}

void unaWaveInDevice::deliverDoneBuffers() {
    for (;;) {
        Buffer* b = nullptr;
        {
            std::lock_guard<std::mutex> guard(ringLock_);
            // Only the buffer next in sequence is taken, so blocks leave in the order they were recorded.
            if (stop_ || done_.empty() || done_.front()->sequence != expected_) return;
            b = done_.front();
            done_.pop_front();
            ++expected_;
        }
        deliver(b->data.data(), b->filled);
        std::lock_guard<std::mutex> guard(ringLock_);
        b->filled = 0;
        b->sequence = nextSequence_++;
        queued_.push_back(b);
    }
}
