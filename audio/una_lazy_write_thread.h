// unaLazyWriteThread: the encoder's worker thread. It takes the encoder's input queue one encoder-sized chunk
// at a time, encodes it and hands the output on; asked to flush, it also encodes the last partial chunk and
// ends. Started and stopped by the thread that calls the encoder's open and close (the user-interface
// thread); never called from the capture thread, which only queues data and signals.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

class unaAbstractEncoder;

class unaLazyWriteThread {
  public:
    explicit unaLazyWriteThread(unaAbstractEncoder& encoder) : encoder_(encoder) {}
    ~unaLazyWriteThread();
    unaLazyWriteThread(const unaLazyWriteThread&) = delete;
    unaLazyWriteThread& operator=(const unaLazyWriteThread&) = delete;

    // Starts the thread and waits up to `timeout` for it to run. False when it could not be started.
    bool start(std::chrono::milliseconds timeout);
    // Asks for a flush (under the thread's lock) and waits until the thread has encoded and delivered
    // everything queued and ended. Must not be called on the thread itself.
    void flushAndWait();
    // Makes the loop end after its current pass, without a flush (close on the worker thread drains the
    // queue itself first).
    void requestStop() { stop_ = true; }
    bool isCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    // Held while a chunk is read and encoded, and while a flush is asked for.
    std::recursive_mutex& lock() { return lock_; }

  private:
    void run();

    unaAbstractEncoder& encoder_;
    std::thread thread_;
    std::recursive_mutex lock_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> flush_{false};
    std::vector<uint8_t> chunk_;
};
