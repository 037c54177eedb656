// unaAbstractEncoder: the base of the audio encoders. Owns the input queue that the capture thread fills with
// encodeChunk, the worker thread (unaLazyWriteThread) that encodes it one encoder-sized chunk at a time, the
// output buffer and the hand-over of encoded blocks to the data handler (or to the output queue).
//
// Threads: encodeChunk on the capture thread (queues and signals, never waits for the encoder); setConfig,
// open and close on the user-interface thread; the data handler runs on the worker thread, and on the
// closing thread for the final blocks of close. The encoder back end (do* hooks) is only ever called from one
// thread at a time. Results are numeric codes, 0 for success, kept in errorCode; nothing is thrown.
//
// Every way a stream ends (close, the next setConfig, destruction) drains the queue and delivers the
// encoder's final blocks, so a pass stopped early still leaves a complete file. A data handler must therefore
// keep taking blocks until close returns: the last ones arrive during close, on the closing thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/una_event.h"
#include "audio/una_memory_stream.h"

class unaLazyWriteThread;

// Result codes of the encoder objects (besides the encoder library's own codes).
constexpr uint32_t UNA_ENCODER_ERR_NOT_LOADED = 0x10000001;       // the encoder library is not loaded
constexpr uint32_t UNA_ENCODER_ERR_NO_ENTRY_POINT = 0x10000002;   // the library lacks the entry point needed
constexpr uint32_t UNA_ENCODER_ERR_CONFIG_REQUIRED = 0x10000004;  // open without a successful setConfig
constexpr uint32_t UNA_ENCODER_ERR_NO_THREAD = 0x10000008;        // the worker thread could not be started

class unaAbstractEncoder {
  public:
    // Called for every encoded block. Setting copyToStream (false on entry) also keeps the block in the
    // output queue.
    using DataAvailableHandler =
        std::function<void(unaAbstractEncoder* sender, const void* data, uint32_t size, bool& copyToStream)>;

    // `priority` is kept for the caller; the worker thread runs at the normal priority.
    explicit unaAbstractEncoder(int priority = 0);
    virtual ~unaAbstractEncoder();
    unaAbstractEncoder(const unaAbstractEncoder&) = delete;
    unaAbstractEncoder& operator=(const unaAbstractEncoder&) = delete;

    // Closes any open stream first, then configures the back end with its configuration record.
    uint32_t setConfig(const void* config);
    // Starts a stream: empties the output queue, resets the encoded total and starts the worker thread.
    uint32_t open();
    // Queues PCM (16-bit samples, interleaved). Bytes queued while the encoder is not open wait for the next
    // open.
    void encodeChunk(const void* data, size_t length);
    // Encodes everything queued (a last partial chunk included, a last odd byte dropped), finishes the stream
    // and delivers its final blocks. A second close returns 0 and does nothing.
    uint32_t close();

    uint32_t errorCode() const { return errorCode_; }
    // Text of the last failure for the user ("" after a success).
    std::string errorMessage() const;
    // Bytes delivered since open (wraps at 4 GiB).
    uint32_t encodedDataSize() const { return encodedDataSize_; }
    // Bytes of one input chunk, as the back end asked for in setConfig.
    size_t chunkSize() const { return chunkSize_; }
    bool opened() const { return opened_; }
    bool configured() const { return configured_; }
    int priority() const { return priority_; }

    // Set before open; the handler must outlive the stream. A handler may call close (it then drains and
    // finishes the stream on the worker thread) once it is done with the block it was given.
    void setOnDataAvailable(DataAvailableHandler handler);
    // Encoded blocks kept when no handler is set (or the handler asked to keep them).
    unaMemoryStream& outStream() { return outStream_; }
    unaMemoryStream& inStream() { return inStream_; }

  protected:
    // Back end: configure from the record; report the input chunk size in bytes and the output buffer size.
    virtual uint32_t doSetConfig(const void* config, size_t& chunkBytes, size_t& outputBytes) = 0;
    // Encode `bytes` bytes of PCM into `out`; `written` is the number of encoded bytes.
    virtual uint32_t doEncode(const uint8_t* data, size_t bytes, uint8_t* out, size_t& written) = 0;
    // Write the stream's final bytes into `out`.
    virtual uint32_t doFinish(uint8_t* out, size_t& written) = 0;
    // Free the stream.
    virtual uint32_t doCloseStream() = 0;

    // Stores the result; a failure without a message of its own is described by describeError.
    uint32_t setResult(uint32_t code, std::string message = {});
    virtual std::string describeError(uint32_t code) const;

  private:
    friend class unaLazyWriteThread;

    // Worker side: encode one block read from the queue and deliver its output.
    void encodeBlock(const uint8_t* data, size_t bytes);
    void deliver(size_t bytes);
    // close() on the worker thread itself: encode what is queued right here.
    void drainOnThisThread();

    int priority_;
    unaMemoryStream inStream_;
    unaMemoryStream outStream_;
    unaEvent dataReady_;
    std::unique_ptr<unaLazyWriteThread> thread_;
    std::atomic<bool> opened_{false};
    std::atomic<bool> configured_{false};
    std::atomic<bool> closing_{false};
    std::atomic<uint32_t> errorCode_{0};
    std::atomic<uint32_t> encodedDataSize_{0};
    size_t chunkSize_ = 0;
    std::vector<uint8_t> outBuffer_;

    mutable std::mutex messageLock_;
    std::string errorMessage_;
    std::mutex handlerLock_;
    DataAvailableHandler onDataAvailable_;
};
