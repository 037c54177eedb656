#include "audio/una_memory_stream.h"

#include <algorithm>
#include <cstring>

size_t unaMemoryStream::write(const void* data, size_t length) {
    if (!data || length == 0) return 0;
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<uint8_t> block = takeSpare(length);
    block.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length);
    blocks_.push_back(std::move(block));
    size_ += length;
    return length;
}

size_t unaMemoryStream::read(void* buffer, size_t length, bool remove) {
    std::lock_guard<std::mutex> guard(lock_);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t copied = 0;
    size_t offset = frontOffset_;
    size_t index = 0;
    while (copied < length && index < blocks_.size()) {
        std::vector<uint8_t>& block = blocks_[index];
        const size_t n = std::min(length - copied, block.size() - offset);
        if (out) std::memcpy(out + copied, block.data() + offset, n);
        copied += n;
        offset += n;
        if (offset == block.size()) {
            ++index;
            offset = 0;
        }
    }
    if (remove) {
        for (size_t i = 0; i < index; ++i) {
            retire(std::move(blocks_.front()));
            blocks_.pop_front();
        }
        frontOffset_ = offset;
        size_ -= copied;
    }
    return copied;
}

size_t unaMemoryStream::getSize() const {
    std::lock_guard<std::mutex> guard(lock_);
    return size_;
}

void unaMemoryStream::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    while (!blocks_.empty()) {
        retire(std::move(blocks_.front()));
        blocks_.pop_front();
    }
    frontOffset_ = 0;
    size_ = 0;
}

size_t unaMemoryStream::spareCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return spare_.size();
}

// The first spare block large enough, else the last one (to be enlarged), else a new block.
std::vector<uint8_t> unaMemoryStream::takeSpare(size_t length) {
    if (spare_.empty()) return {};
    size_t pick = spare_.size() - 1;
    for (size_t i = 0; i < spare_.size(); ++i) {
        if (spare_[i].capacity() >= length) {
            pick = i;
            break;
        }
    }
    std::vector<uint8_t> block = std::move(spare_[pick]);
    spare_.erase(spare_.begin() + static_cast<std::ptrdiff_t>(pick));
    return block;
}

// A full pool trades its first smaller block for the retired one; when none is smaller the retired block
// is freed.
void unaMemoryStream::retire(std::vector<uint8_t>&& block) {
    block.clear();
    if (spare_.size() < kMaxSpareBlocks) {
        spare_.push_back(std::move(block));
        return;
    }
    for (std::vector<uint8_t>& spare : spare_) {
        if (spare.capacity() < block.capacity()) {
            spare = std::move(block);
            return;
        }
    }
}
