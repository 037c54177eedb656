// unaWaveDevice: the stream device under a wave pipe: a PCM format with its chunk size, an optional input
// queue (data written into the device) and an optional output queue (data the device produced that nobody
// took), the overflow limits of both, byte counters, and a data callback to the owning pipe.
// Derived devices (capture, WAV writer) add the worker thread that moves the data.
//
// Threads: format, open, close and the queue switch on the user-interface thread; write and deliver on the
// worker threads. The output queue is swapped under its own lock, so a block being delivered never meets a
// queue that is being freed. Never blocks in deliver beyond that lock and the callback.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/una_memory_stream.h"
#include "audio/una_wave_format.h"

class unaWaveDevice {
  public:
    // Called on the device's thread for every block it produces (the owning pipe passes it on).
    using DataCallback = std::function<void(const uint8_t* data, size_t length)>;

    // A chunk arriving while a queue holds more than overNum chunks is dropped (0: no limit).
    unaWaveDevice(bool ownInputQueue, bool ownOutputQueue, uint32_t overNum);
    virtual ~unaWaveDevice();
    unaWaveDevice(const unaWaveDevice&) = delete;
    unaWaveDevice& operator=(const unaWaveDevice&) = delete;

    // Sets the format, the chunk size (unaChunkSize) and the overflow limits. Used by the next open.
    void setFormat(const unaPcmFormat& format);
    unaPcmFormat format() const;
    size_t chunkSize() const { return chunkSize_; }

    // Opens or closes the device under its open/close lock (10 s; nothing happens when it cannot be had).
    // open resets nothing but the error text; it returns false with errorText() saying why.
    bool open();
    void close();
    bool isOpen() const { return open_; }
    std::string errorText() const;

    void setDataCallback(DataCallback callback);

    // Data into the device (the writer's input queue). Returns the bytes taken (0 without an input queue).
    size_t write(const void* data, size_t length);

    // The output queue switch: true gives the device an owned output queue when it has none; false removes
    // and frees it (whatever it held is discarded), so produced data is only delivered.
    void assignOutputQueue(bool own);
    bool hasOutputQueue() const;
    // Takes up to `length` bytes the output queue kept; bytes it holds.
    size_t readOutput(void* buffer, size_t length);
    size_t outputQueued() const;
    size_t overflowLimit() const { return overNum_ * chunkSize_; }

    uint64_t inBytes() const { return inBytes_; }
    uint64_t outBytes() const { return outBytes_; }
    uint64_t droppedBytes() const { return droppedBytes_; }

  protected:
    virtual bool doOpen() = 0;
    virtual void doClose() = 0;

    // A produced block: counted, handed to the data callback, then kept in the output queue when there is
    // one (and it is not over its limit, else dropped and counted as dropped).
    void deliver(const uint8_t* data, size_t length);
    void countDropped(size_t length) { droppedBytes_ += length; }
    // The input queue, null when the device has none.
    unaMemoryStream* inputQueue() { return inQueue_.get(); }
    void setError(std::string text);

  private:
    const uint32_t overNum_;
    unaPcmFormat format_;
    std::atomic<size_t> chunkSize_{0};

    std::recursive_mutex openLock_;  // taken within 10 s by open and close
    std::atomic<bool> open_{false};

    std::unique_ptr<unaMemoryStream> inQueue_;
    mutable std::mutex outLock_;
    std::unique_ptr<unaMemoryStream> outQueue_;

    mutable std::mutex stateLock_;  // format_, error_, callback_
    std::string error_;
    DataCallback callback_;

    std::atomic<uint64_t> inBytes_{0};
    std::atomic<uint64_t> outBytes_{0};
    std::atomic<uint64_t> droppedBytes_{0};
};
