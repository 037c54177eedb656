// unaMemoryStream: the byte queue between the audio threads (capture → encoder). A FIFO of blocks under its
// own lock: each write becomes one block, a read copies from the oldest blocks on and retires the blocks it
// emptied into a pool of spare blocks, so steady streaming stops allocating once the pool has filled.
// Any thread may write, read or ask the size; no call waits for anything but the queue's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class unaMemoryStream {
  public:
    // Appends one block; empty writes are ignored. Returns the bytes queued.
    size_t write(const void* data, size_t length);
    // Copies up to `length` bytes from the front into `buffer` (which may be null to only drop them) and,
    // when `remove` is set, takes them off the queue. Returns the bytes copied.
    size_t read(void* buffer, size_t length, bool remove = true);
    // Bytes queued.
    size_t getSize() const;
    // Drops everything queued.
    void clear();
    // Spare blocks kept for reuse (for tests of the pool).
    size_t spareCount() const;

    static constexpr size_t kMaxSpareBlocks = 50;

  private:
    std::vector<uint8_t> takeSpare(size_t length);
    void retire(std::vector<uint8_t>&& block);

    mutable std::mutex lock_;
    std::deque<std::vector<uint8_t>> blocks_;
    size_t frontOffset_ = 0;  // bytes already read from blocks_.front()
    size_t size_ = 0;
    std::vector<std::vector<uint8_t>> spare_;
};
