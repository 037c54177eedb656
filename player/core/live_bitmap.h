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
        count(+1);
        changed();
    }
    LiveBitmap(const LiveBitmap& o) : bitmap(o.bitmap), transparent(o.transparent) {
        count(+1);
        changed();
    }
    LiveBitmap& operator=(const LiveBitmap&) = delete;
    ~LiveBitmap() { count(-1); }

    // Pixels all live bitmaps may hold together (a script making bitmaps in a loop is refused new ones
    // beyond this, before the collector frees the old ones between frames): 64 Mi pixels, 256 MB.
    static constexpr size_t kMaxLivePixels = size_t(64) << 20;
    static bool roomFor(size_t pixels) { return livePixels() + pixels <= kMaxLivePixels; }
    static size_t livePixels() { return total().load(); }
    // Gives the pixels back early (dispose): the bitmap is empty from now on.
    void release() {
        count(-1);
        bitmap.width = bitmap.height = 0;
        bitmap.pixels.clear();
        bitmap.pixels.shrink_to_fit();
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

  private:
    size_t counted_ = 0;
    static std::atomic<size_t>& total() {
        static std::atomic<size_t> n{0};
        return n;
    }
    void count(int sign) {
        if (sign > 0) {
            counted_ = bitmap.pixels.size();
            total() += counted_;
        } else {
            total() -= counted_;
            counted_ = 0;
        }
    }

  public:
    Pixel* row(int y) { return bitmap.pixels.data() + size_t(y) * size_t(bitmap.width); }
    const Pixel* row(int y) const { return bitmap.pixels.data() + size_t(y) * size_t(bitmap.width); }
};

// The pixels as a bitmap the renderer draws, sharing ownership with `live`.
inline BitmapPtr pictureOf(const std::shared_ptr<LiveBitmap>& live) {
    return live ? BitmapPtr(live, &live->bitmap) : nullptr;
}

}  // namespace player
