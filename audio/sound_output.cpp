#include "audio/sound_output.h"

#include <pulse/stream.h>

#include "audio/una_pulse_context.h"
#include "capture/shockwave_flash.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kOpenTimeout{2000};

}  // namespace

TSoundOutput::TSoundOutput() = default;

TSoundOutput::~TSoundOutput() {
    close();
}

bool TSoundOutput::open(const char* streamName, std::string* error) {
    close();
    pulse_ = unaPulseContext::connect("Tolvikan", kOpenTimeout, error);
    if (!pulse_) return false;
    pa_sample_spec format;
    format.format = PA_SAMPLE_S16LE;
    format.rate = kRate;
    format.channels = 2;
    // About 100 ms in the server: short enough that pictures and sound stay together.
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(kRate / 10 * 4);
    attr.prebuf = attr.minreq = attr.fragsize = static_cast<uint32_t>(-1);
    {
        unaPulseContext::Lock lock(*pulse_);
        stream_ = pa_stream_new(pulse_->context(), streamName, &format, nullptr);
        if (stream_) {
            pa_stream_set_write_callback(stream_, &TSoundOutput::writeCallback, this);
            if (pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                           nullptr) < 0) {
                pa_stream_unref(stream_);
                stream_ = nullptr;
            }
        }
    }
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + pulse_->lastError();
        close();
        return false;
    };
    if (!stream_) return fail("cannot play sound");
    const auto deadline = std::chrono::steady_clock::now() + kOpenTimeout;
    for (;;) {
        pa_stream_state_t state;
        {
            unaPulseContext::Lock lock(*pulse_);
            state = pa_stream_get_state(stream_);
        }
        if (state == PA_STREAM_READY) return true;
        if (!PA_STREAM_IS_GOOD(state)) return fail("cannot play sound on the default output");
        if (std::chrono::steady_clock::now() >= deadline) {
            if (error) *error = "the sound server did not start playing in time";
            close();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void TSoundOutput::close() {
    if (!pulse_) return;
    {
        unaPulseContext::Lock lock(*pulse_);
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        queue_.clear();
    }
    pulse_.reset();
}

void TSoundOutput::play(const int16_t* samples, size_t frames) {
    if (!stream_ || frames == 0) return;
    unaPulseContext::Lock lock(*pulse_);
    queue_.insert(queue_.end(), samples, samples + frames * 2);
    const size_t cap = kMaxQueuedFrames * 2;
    if (queue_.size() > cap) queue_.erase(queue_.begin(), queue_.begin() + ptrdiff_t(queue_.size() - cap));
    drain();
}

void TSoundOutput::clear() {
    if (!pulse_) return;
    unaPulseContext::Lock lock(*pulse_);
    queue_.clear();
}

void TSoundOutput::follow(TShockwaveFlash& flash, std::string* openError) {
    flash.setSoundSink([this, openError](const int16_t* samples, size_t frames) {
        if (!stream_) {
            if (tried_ || std::all_of(samples, samples + frames * 2, [](int16_t v) { return v == 0; }))
                return;
            tried_ = true;
            std::string error;
            if (!open("Movie sound", &error)) {
                if (openError) *openError = error;
                return;
            }
        }
        play(samples, frames);
    });
}

void TSoundOutput::writeCallback(pa_stream*, size_t, void* self) {
    // Called on the loop thread with the loop lock held.
    static_cast<TSoundOutput*>(self)->drain();
}

void TSoundOutput::drain() {
    if (!stream_ || queue_.empty()) return;
    size_t room = pa_stream_writable_size(stream_);
    if (room == size_t(-1)) return;
    size_t values = std::min(queue_.size(), room / sizeof(int16_t)) & ~size_t(1);  // whole stereo samples
    if (values == 0) return;
    if (pa_stream_write(stream_, queue_.data(), values * sizeof(int16_t), nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        queue_.clear();
        return;
    }
    queue_.erase(queue_.begin(), queue_.begin() + ptrdiff_t(values));
}
