#include "convert/gif_palette.h"

#include <algorithm>

namespace gif {

namespace {

constexpr int kSlotBits = 13;  // 8192 slots for at most 2049 keys: probes stay short
constexpr uint32_t kSlotCount = 1u << kSlotBits;
constexpr uint16_t kEmpty = 0xFFFF;
constexpr uint8_t kGrey = 128;

inline uint32_t SlotOf(uint32_t key) {
    return (key * 0x9E3779B1u) >> (32 - kSlotBits);
}

inline uint8_t Shorten(uint8_t mask) {
    return static_cast<uint8_t>(mask << 1);
}

}  // namespace

bool PopularityReducer::Count(const uint8_t* rgb, int width, int height, uint32_t mask) {
    std::fill(slots_.begin(), slots_.end(), kEmpty);
    int used = 0;
    uint32_t lastKey = 0xFFFFFFFFu;  // no masked colour has a top byte
    uint16_t lastEntry = 0;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* p = rgb + static_cast<size_t>(y) * rowBytes;
        uint16_t* entry = entryOf_.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x, p += 3) {
            const uint32_t key = (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                  static_cast<uint32_t>(p[2]) << 16) &
                                 mask;
            if (key != lastKey) {
                uint32_t slot = SlotOf(key);
                uint16_t found;
                for (;;) {
                    found = slots_[slot];
                    if (found == kEmpty) {
                        if (used == kMaxKeys) return false;
                        found = static_cast<uint16_t>(used++);
                        keys_[found] = key;
                        counts_[found] = 0;
                        slots_[slot] = found;
                        break;
                    }
                    if (keys_[found] == key) break;
                    slot = (slot + 1) & (kSlotCount - 1);
                }
                lastKey = key;
                lastEntry = found;
            }
            ++counts_[lastEntry];
            entry[x] = lastEntry;
        }
    }
    used_ = used;
    return true;
}

PopularityPalette PopularityReducer::Reduce(const uint8_t* rgb, int width, int height, uint8_t* indices) {
    slots_.resize(kSlotCount);
    keys_.resize(kMaxKeys);
    counts_.resize(kMaxKeys);
    order_.resize(kMaxKeys);
    paletteOf_.resize(kMaxKeys);
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (entryOf_.size() < pixels) entryOf_.resize(pixels);

    PopularityPalette result;
    for (;;) {
        const uint32_t mask = static_cast<uint32_t>(result.redMask) |
                              static_cast<uint32_t>(result.greenMask) << 8 |
                              static_cast<uint32_t>(result.blueMask) << 16;
        if (Count(rgb, width, height, mask)) break;
        // Too many keys: drop a low bit from the longest mask, blue first, then red, then green.
        if (result.redMask < result.greenMask)
            result.greenMask = Shorten(result.greenMask);
        else if (result.redMask > result.blueMask)
            result.redMask = Shorten(result.redMask);
        else
            result.blueMask = Shorten(result.blueMask);
    }
    result.keyCount = used_;

    for (int i = 0; i < used_; ++i)
        order_[static_cast<size_t>(i)] = static_cast<uint16_t>(i);
    // Stable: among equal counts the key met first keeps the lower index.
    std::stable_sort(order_.begin(), order_.begin() + used_,
                     [this](uint16_t a, uint16_t b) { return counts_[a] > counts_[b]; });

    const int taken = std::min(used_, 256);
    for (int i = 0; i < taken; ++i) {
        const uint16_t e = order_[static_cast<size_t>(i)];
        paletteOf_[e] = static_cast<uint8_t>(i);
        const uint32_t key = keys_[e];
        result.rgb[static_cast<size_t>(i) * 3] = static_cast<uint8_t>(key);
        result.rgb[static_cast<size_t>(i) * 3 + 1] = static_cast<uint8_t>(key >> 8);
        result.rgb[static_cast<size_t>(i) * 3 + 2] = static_cast<uint8_t>(key >> 16);
    }
    for (size_t i = static_cast<size_t>(taken) * 3; i < result.rgb.size(); ++i)
        result.rgb[i] = kGrey;

    // Keys left out go to the nearest entry over all 256 (spare grey ones included: with fewer than 256 keys
    // there is nothing left out).
    for (int i = taken; i < used_; ++i) {
        const uint16_t e = order_[static_cast<size_t>(i)];
        const int r = static_cast<int>(keys_[e] & 0xFF);
        const int g = static_cast<int>((keys_[e] >> 8) & 0xFF);
        const int b = static_cast<int>((keys_[e] >> 16) & 0xFF);
        int best = 0;
        int bestDistance = 0x7FFFFFFF;
        for (int j = 0; j < 256; ++j) {
            const int dr = r - result.rgb[static_cast<size_t>(j) * 3];
            const int dg = g - result.rgb[static_cast<size_t>(j) * 3 + 1];
            const int db = b - result.rgb[static_cast<size_t>(j) * 3 + 2];
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = j;
            }
        }
        paletteOf_[e] = static_cast<uint8_t>(best);
    }

    for (size_t i = 0; i < pixels; ++i)
        indices[i] = paletteOf_[entryOf_[i]];
    return result;
}

}  // namespace gif
