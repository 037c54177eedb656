// unaTimedLock: takes a recursive mutex within a time-out, or not at all. The audio objects give up an open,
// close or queue switch when another thread holds their lock for too long, rather than wait without end.
// It polls try_lock (every millisecond), which the thread checker follows; the platform's timed lock it
// does not, and its false reports would hide real ones.
#pragma once

#include <chrono>
#include <mutex>
#include <thread>

class unaTimedLock {
  public:
    unaTimedLock(std::recursive_mutex& mutex, std::chrono::milliseconds timeout) : mutex_(mutex) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!(owns_ = mutex_.try_lock()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~unaTimedLock() {
        if (owns_) mutex_.unlock();
    }
    unaTimedLock(const unaTimedLock&) = delete;
    unaTimedLock& operator=(const unaTimedLock&) = delete;

    bool owns() const { return owns_; }

  private:
    std::recursive_mutex& mutex_;
    bool owns_ = false;
};
