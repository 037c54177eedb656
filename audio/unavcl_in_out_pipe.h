// unavclInOutPipe and unavclInOutWavePipe: the pipe components of the recording chain. A pipe wraps a
// device, passes what its device produces on to its consumer pipe and to its onDataAvailable handler, and
// (with autoActivate) opens and closes its consumer together with itself, the consumer first.
// The wave pipe adds the PCM format and ties the device's output queue to the consumer link: a pipe without
// a consumer keeps a few chunks of its output (overNum) and drops the rest; a pipe with a consumer keeps
// nothing, it only delivers.
//
// Threads: properties, active and consumer on the user-interface thread; the device thread delivers through
// the pipe, under the pipe's lock while it writes into the consumer. Set onDataAvailable before the pipe
// opens. A pipe is unlinked from its consumer and its providers when it is destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/una_wave_device.h"
#include "audio/una_wave_format.h"

class unavclInOutPipe {
  public:
    using DataAvailableEvent = std::function<void(unavclInOutPipe* sender, const void* data, size_t length)>;

    unavclInOutPipe() = default;
    virtual ~unavclInOutPipe();
    unavclInOutPipe(const unavclInOutPipe&) = delete;
    unavclInOutPipe& operator=(const unavclInOutPipe&) = delete;

    // Opening resets the byte counters and opens the device, after the consumer when autoActivate is set
    // (a format provider first hands its format over). Nothing happens when the pipe is busy opening or
    // closing elsewhere for 500 ms, or when it is already in the wanted state. A device that cannot be
    // opened leaves the pipe inactive, with errorText() saying why.
    void active(bool value);
    bool active() const;
    virtual std::string errorText() const = 0;

    // The pipe that receives this pipe's output, or none. A link that would close a ring is refused.
    void consumer(unavclInOutPipe* pipe);
    unavclInOutPipe* consumer() const;
    size_t providerCount() const;

    bool isFormatProvider = false;
    bool autoActivate = true;
    // Fired on the device thread for every block the pipe produces.
    DataAvailableEvent onDataAvailable;

    // Data into the pipe (from a provider or from the owner). Returns the bytes the device took.
    size_t write(const void* data, size_t length);
    // Bytes taken in by write and produced by the device since the pipe last opened.
    uint64_t inBytes() const { return inBytes_; }
    uint64_t outBytes() const { return outBytes_; }

  protected:
    virtual bool doOpen() = 0;
    virtual void doClose() = 0;
    virtual bool isDeviceOpen() const = 0;
    virtual size_t doWrite(const void* data, size_t length) = 0;
    // The consumer link changed (called under the pipe's lock).
    virtual void consumerChanged(bool hasConsumer) {}
    // A provider that is a format provider hands its format over before it opens this pipe.
    virtual void takeFormatFrom(const unavclInOutPipe& provider) {}

    // Leaves the consumer and every provider (destructors call it before their device goes).
    void unlink();
    // A block the device produced: into the consumer when it is open, to onDataAvailable, counted.
    void onNewData(const void* data, size_t length);

  private:
    void addProvider(unavclInOutPipe* pipe);
    void removeProvider(unavclInOutPipe* pipe);

    mutable std::recursive_mutex lock_;  // consumer_ and providers_
    unavclInOutPipe* consumer_ = nullptr;
    std::vector<unavclInOutPipe*> providers_;
    std::recursive_mutex activeLock_;  // taken within 500 ms by active(), else nothing happens
    std::atomic<uint64_t> inBytes_{0};
    std::atomic<uint64_t> outBytes_{0};
};

class unavclInOutWavePipe : public unavclInOutPipe {
  public:
    ~unavclInOutWavePipe() override;

    // Overflow limit of the device's queues, in chunks; used when the device is made.
    uint32_t overNum = 5;
    // When true, a format handed over by a provider leaves formatTag unchanged.
    bool formatTagImmunable = false;

    // The PCM format of the pipe (44100 Hz, 16 bits, stereo by default). Setting one value rebuilds the
    // whole record; the device takes it at its next open.
    uint32_t pcm_SamplesPerSec() const { return format_.samplesPerSec; }
    void pcm_SamplesPerSec(uint32_t value);
    uint16_t pcm_BitsPerSample() const { return format_.bitsPerSample; }
    void pcm_BitsPerSample(uint16_t value);
    uint16_t pcm_NumChannels() const { return format_.numChannels; }
    void pcm_NumChannels(uint16_t value);
    const unaPcmFormat& pcmFormat() const { return format_; }

    // The device (null before a derived pipe made it).
    unaWaveDevice* device() const { return device_.get(); }
    std::string errorText() const override;

  protected:
    // Replaces the device; the old one is closed and freed. Called while the pipe is inactive.
    void setDevice(std::unique_ptr<unaWaveDevice> device);

    bool doOpen() override;
    void doClose() override;
    bool isDeviceOpen() const override;
    size_t doWrite(const void* data, size_t length) override;
    void consumerChanged(bool hasConsumer) override;
    void takeFormatFrom(const unavclInOutPipe& provider) override;

  private:
    void rebuildFormat(uint32_t samplesPerSec, uint16_t bits, uint16_t channels);

    unaPcmFormat format_;
    std::unique_ptr<unaWaveDevice> device_;
    std::string error_;
};
