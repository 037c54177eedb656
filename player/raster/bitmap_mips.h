// Smaller copies of bitmaps for smoothed bitmap fills shown at less than half their size: each level halves
// the one before with 2x2 box averages of premultiplied pixels, so a bitmap shrunk far is not sampled
// sparsely (which shimmers and aliases) but from a level with about one texel per pixel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "player/render/geometry.h"

namespace raster {

// Halves a bitmap: (w + 1) / 2 x (h + 1) / 2, each pixel the rounded mean of the 2x2 texels it covers (the
// last row or column repeating where a size is odd).
player::Bitmap halveBitmap(const player::Bitmap& source);

// Levels of the bitmaps drawn lately, built on first use and kept while their bitmap lives and keeps its
// pixels (a few bitmaps, the least recently used dropped first; a bitmap changed in place is built again).
class BitmapMipCache {
  public:
    static constexpr int kEntries = 16;

    // The bitmap halved `level` times (1 or more), or fewer times when it reaches 1x1 first; `*reached`
    // says how many. Never null for a bitmap with pixels.
    const player::Bitmap* level(const player::BitmapPtr& bitmap, int level, int* reached);

  private:
    struct Entry {
        std::weak_ptr<const player::Bitmap> source;
        const player::Bitmap* key = nullptr;
        uint64_t revision = 0;  // the bitmap's revision the levels were built from
        std::vector<std::unique_ptr<player::Bitmap>> levels;
        uint64_t used = 0;
    };
    std::vector<Entry> entries_;
    uint64_t clock_ = 0;
};

}  // namespace raster
