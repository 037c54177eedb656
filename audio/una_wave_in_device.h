// unaWaveInDevice: the capture device. Records PCM from a PulseAudio source (the default source unless one
// is named) and delivers it in chunks of the device's chunk size, strictly in the order recorded.
//
// Recording fills a rotation of 20 chunk buffers, as a sound card driver fills queued buffers: the server's
// data arrives on the PulseAudio loop thread and is copied into the oldest queued buffer; a full buffer is
// marked done with its sequence number. The device's own thread takes done buffers in sequence order,
// delivers them (unaWaveDevice::deliver, which feeds the pipe) and queues them again. When all 20 are done
// and not yet taken back, the server's data is dropped and counted: 20 buffers of about 100 ms are the
// capture's slack against a delivery that stalls.
//
// Threads: open and close on the user-interface thread; the loop thread only copies; every delivery runs on
// the device thread. Close stops the thread and discards what was not delivered.
#pragma once

#include <pulse/stream.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/una_event.h"
#include "audio/una_pulse_context.h"
#include "audio/una_wave_device.h"

class unaWaveInDevice : public unaWaveDevice {
  public:
    static constexpr int kBufferCount = 20;

    // `sourceName`: the PulseAudio source to record from; empty records the default source.
    explicit unaWaveInDevice(std::string sourceName = {}, uint32_t overNum = 5);
    ~unaWaveInDevice() override;

    const std::string& sourceName() const { return sourceName_; }

  protected:
    bool doOpen() override;
    void doClose() override;

  private:
    struct Buffer {
        std::vector<uint8_t> data;
        size_t filled = 0;
        uint64_t sequence = 0;
    };

    static void readCallback(pa_stream* stream, size_t bytes, void* self);
    void takeFromServer(const uint8_t* data, size_t length);  // loop thread
    void run();                                               // device thread
    void deliverDoneBuffers();
    void tearDown();

    std::string sourceName_;
    std::unique_ptr<unaPulseContext> pulse_;
    pa_stream* stream_ = nullptr;

    std::mutex ringLock_;
    std::vector<Buffer> buffers_;
    std::deque<Buffer*> queued_;  // oldest first: the front one is being filled
    std::deque<Buffer*> done_;    // full, in the order they were filled
    uint64_t nextSequence_ = 0;   // given to a buffer when it is queued
    uint64_t expected_ = 0;       // the sequence number the thread delivers next

    unaEvent dataReady_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};
