#include "convert/gif_lzw.h"

#include <algorithm>
#include <stdexcept>

namespace gif {

namespace {

constexpr int kSlotBits = 14;  // 16384 slots for fewer than 4096 codes
constexpr uint32_t kSlotCount = 1u << kSlotBits;
constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // prefix 4095 never exists: the dictionary resets at 4094

inline uint32_t SlotOf(uint32_t key) {
    return (key * 0x9E3779B1u) >> (32 - kSlotBits);
}

}  // namespace

void LzwEncoder::ResetDictionary() {
    std::fill(slots_.begin(), slots_.end(), kEmpty);
}

void LzwEncoder::Put(uint32_t code) {
    bits_ |= static_cast<uint64_t>(code) << bitCount_;
    bitCount_ += width_;
    while (bitCount_ >= 8) {
        bytes_.push_back(static_cast<uint8_t>(bits_));
        bits_ >>= 8;
        bitCount_ -= 8;
    }
}

void LzwEncoder::Encode(const uint8_t* pixels, size_t count, int minCodeSize, std::vector<uint8_t>& out) {
    if (minCodeSize < 2 || minCodeSize > 8) throw std::invalid_argument("LZW minimum code size out of range");
    slots_.resize(kSlotCount);
    bytes_.clear();
    bits_ = 0;
    bitCount_ = 0;

    const uint32_t clearCode = 1u << minCodeSize;
    const uint32_t endCode = clearCode + 1;
    width_ = minCodeSize + 1;
    uint32_t next = clearCode + 2;
    ResetDictionary();
    Put(clearCode);

    uint32_t current = 0;
    bool pending = false;  // whether `current` holds a string
    for (size_t i = 0; i < count; ++i) {
        const uint32_t pixel = pixels[i];
        if (!pending) {
            current = pixel;
            pending = true;
            continue;
        }
        const uint32_t key = current << 8 | pixel;
        uint32_t slot = SlotOf(key);
        bool found = false;
        for (;;) {
            const uint32_t s = slots_[slot];
            if (s == kEmpty) break;
            if (s >> 12 == key) {
                current = s & 0xFFF;
                found = true;
                break;
            }
            slot = (slot + 1) & (kSlotCount - 1);
        }
        if (found) continue;

        Put(current);
        const uint32_t added = next++;
        slots_[slot] = key << 12 | added;
        current = pixel;
        if (added >= (1u << width_)) {
            ++width_;
        } else if (added >= kResetCode) {
            Put(current);
            Put(clearCode);
            ResetDictionary();
            width_ = minCodeSize + 1;
            next = clearCode + 2;
            pending = false;
        }
    }
    if (pending) Put(current);
    Put(endCode);
    if (bitCount_ > 0) bytes_.push_back(static_cast<uint8_t>(bits_));

    out.reserve(out.size() + bytes_.size() + bytes_.size() / 255 + 3);
    out.push_back(static_cast<uint8_t>(minCodeSize));
    for (size_t at = 0; at < bytes_.size(); at += 255) {
        const size_t n = std::min<size_t>(255, bytes_.size() - at);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
}

}  // namespace gif
