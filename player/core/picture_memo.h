// The last picture the stage drew and what it showed, so a frame where nothing visible changed (a held
// frame, a frame-by-frame sequence standing still) is copied instead of drawn again.
//
// What was shown is recorded as a key: the picture's size and options, and for every level and every
// display object reached the way the renderer walks them, its depth, character, matrix, colour transform,
// ratio, clip depth, visibility, movie and layer effects (blend mode, bitmap caching, opaque background,
// filters), and for every clip the revision of its drawing (the drawing API).
// Characters are immutable for the life of their movie, so an equal key means an equal picture. A picture is
// kept once its key came twice in a row, so a movie that changes every frame pays for no copies, and the
// first picture after a movie was loaded is kept too (held first frames are common; that is one copy).
// Whatever the renderer comes to draw beyond these fields (state a script can change without touching them)
// must be added to the key, or the memo forgotten when it changes.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "player/core/display_object.h"
#include "player/player.h"

namespace player {

class MovieClip;

class PictureMemo {
  public:
    enum class Step {
        Draw,         // draw the picture
        DrawAndKeep,  // draw it and keep() it: the same picture was drawn last time, or it is the first
        Reuse,        // copyTo() gives the picture
    };
    // Records the key of the picture about to be drawn and says what to do.
    Step start(const std::vector<std::pair<int, const MovieClip*>>& levels, int width, int height,
               const RenderOptions& options, uint32_t background);
    // Copies the kept picture into `pixels` (after Step::Reuse); `stride` in pixels.
    void copyTo(Pixel* pixels, int stride);
    // Keeps the picture just drawn (after Step::DrawAndKeep).
    void keep(const Pixel* pixels, int stride);
    // Drops the kept picture: the next start() does not match (a movie loaded or unloaded).
    void forget();

    uint64_t reused() const { return reused_; }

  private:
    void addClip(const MovieClip& clip, int nesting);
    void addList(const DisplayList& list, int nesting);
    void addFilter(const filters::Filter& f);
    void add(uint64_t v) { next_.push_back(v); }

    std::vector<uint64_t> key_, next_;
    std::vector<Pixel> picture_;
    int width_ = 0, height_ = 0;
    bool valid_ = false;
    uint64_t reused_ = 0;
};

}  // namespace player
