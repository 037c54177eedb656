#include "player/raster/bitmap_mips.h"

#include <algorithm>

namespace raster {

player::Bitmap halveBitmap(const player::Bitmap& source) {
    player::Bitmap out;
    const int w = source.width, h = source.height;
    out.width = (w + 1) / 2;
    out.height = (h + 1) / 2;
    out.opaque = source.opaque;
    out.pixels.resize(size_t(out.width) * size_t(out.height));
    for (int y = 0; y < out.height; ++y) {
        const player::Pixel* r0 = source.pixels.data() + size_t(2 * y) * size_t(w);
        const player::Pixel* r1 = source.pixels.data() + size_t(std::min(2 * y + 1, h - 1)) * size_t(w);
        player::Pixel* dst = out.pixels.data() + size_t(y) * size_t(out.width);
        for (int x = 0; x < out.width; ++x) {
            const int x0 = 2 * x, x1 = std::min(2 * x + 1, w - 1);
            const player::Pixel p[4] = {r0[x0], r0[x1], r1[x0], r1[x1]};
            player::Pixel mean = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t sum = 2;
                for (player::Pixel q : p)
                    sum += (q >> shift) & 255;
                mean |= (sum >> 2) << shift;
            }
            dst[x] = mean;
        }
    }
    return out;
}

const player::Bitmap* BitmapMipCache::level(const player::BitmapPtr& bitmap, int level, int* reached) {
    ++clock_;
    Entry* entry = nullptr;
    for (Entry& e : entries_) {
        if (e.key == bitmap.get() && !e.source.expired() && e.source.lock() == bitmap) {
            entry = &e;
            break;
        }
    }
    if (!entry) {
        if (int(entries_.size()) < kEntries) {
            entry = &entries_.emplace_back();
        } else {
            // A dead bitmap's entry first, else the least recently used one.
            entry = &*std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
                return std::make_pair(!a.source.expired(), a.used) <
                       std::make_pair(!b.source.expired(), b.used);
            });
        }
        entry->source = bitmap;
        entry->key = bitmap.get();
        entry->levels.clear();
    }
    if (entry->revision != bitmap->revision) {
        entry->revision = bitmap->revision;
        entry->levels.clear();
    }
    entry->used = clock_;
    const player::Bitmap* current = entry->levels.empty() ? bitmap.get() : entry->levels.back().get();
    while (int(entry->levels.size()) < level && (current->width > 1 || current->height > 1)) {
        entry->levels.push_back(std::make_unique<player::Bitmap>(halveBitmap(*current)));
        current = entry->levels.back().get();
    }
    const int n = std::min(level, int(entry->levels.size()));
    *reached = n;
    return n == 0 ? bitmap.get() : entry->levels[size_t(n - 1)].get();
}

}  // namespace raster
