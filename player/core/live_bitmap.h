// Pixels a script owns and changes (a BitmapData), shared with the display objects and drawing fills that
// show them. Every change bumps the revision, so a kept picture of the stage is not reused after it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "player/render/geometry.h"

namespace player {

struct LiveBitmap {
    LiveBitmap(int width, int height, bool transparent, Pixel fill) : transparent(transparent) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels.assign(size_t(width) * size_t(height), fill);
        changed();
    }
    Bitmap bitmap;  // premultiplied, as the renderer draws it
    bool transparent = true;
    uint64_t revision = 0;
    // Call after changing pixels: new revision (unique across bitmaps) and the opaque hint.
    void changed() {
        static std::atomic<uint64_t> next{1};
        revision = next++;
        bitmap.opaque = !transparent;
    }
    Pixel* row(int y) { return bitmap.pixels.data() + size_t(y) * size_t(bitmap.width); }
    const Pixel* row(int y) const { return bitmap.pixels.data() + size_t(y) * size_t(bitmap.width); }
};

// The pixels as a bitmap the renderer draws, sharing ownership with `live`.
inline BitmapPtr pictureOf(const std::shared_ptr<LiveBitmap>& live) {
    return live ? BitmapPtr(live, &live->bitmap) : nullptr;
}

}  // namespace player
