// unaEvent: an auto-reset event for the audio worker threads. set() from any thread wakes one waiter (or the
// next one to wait); wait() returns false on time-out. Never blocks in set().
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class unaEvent {
  public:
    void set() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            signalled_ = true;
        }
        cv_.notify_one();
    }

    bool wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> guard(lock_);
        if (!cv_.wait_for(guard, timeout, [this] { return signalled_; })) return false;
        signalled_ = false;
        return true;
    }

  private:
    std::mutex lock_;
    std::condition_variable cv_;
    bool signalled_ = false;
};
