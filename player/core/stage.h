// The stage: the movies loaded into levels, the shared runtime, and drawing the whole picture.
#pragma once

#include <map>
#include <memory>

#include "player/core/input.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/picture_bands.h"
#include "player/core/picture_memo.h"
#include "player/core/renderer.h"
#include "player/core/runtime.h"
#include "player/sound/sound_player.h"

namespace player {

class Stage {
  public:
    Stage() : runtime(*this), input(*this) {
        sound.setLog([this](const std::string& line) { runtime.log(line); });
        // Voices belong to display objects; the clips around one shape its sound too.
        sound.setAncestry([](const void* owner, std::vector<const void*>& out) {
            for (const DisplayObject* o = static_cast<const DisplayObject*>(owner)->parent; o; o = o->parent)
                out.push_back(o);
        });
    }

    struct Level {
        std::unique_ptr<MovieDef> movie;
        std::unique_ptr<MovieClip> root;
    };

    bool load(int level, std::vector<uint8_t> bytes, const std::string& url, std::string* error);
    void unloadAll();
    Level* level(int n);
    const std::map<int, Level>& levels() const { return levels_; }

    void advance();
    // Loads the movies frame actions asked for (loadMovieNum), now that the frame is over. MovieClipLoader
    // loads arrive only after a frame's timers and actions (`withLoaders`), a frame later than loadMovie.
    void runPendingLoads(bool withLoaders);
    void loadIntoClip(const Runtime::PendingLoad& l);
    void render(Pixel* pixels, int width, int height, int stride, const RenderOptions& options);
    // Where stage twips land in a picture of width x height (false with nothing loaded).
    bool stageToPicture(int width, int height, Matrix& out, double pixelAspect = 1.0) const;
    // Pictures copied from the last one instead of drawn (nothing visible changed in between).
    uint64_t picturesReused() const { return memo_.reused(); }

    Runtime runtime;
    Input input;
    sound::SoundPlayer sound;

  private:
    void drawPicture(raster::Canvas& canvas, const Level* base, int width, int height,
                     const RenderOptions& options, uint32_t bg);
    void drawBanded(raster::Canvas& canvas, const Level* base, int width, int height, int stride,
                    const RenderOptions& options, uint32_t bg);

    std::map<int, Level> levels_;
    std::vector<std::unique_ptr<MovieDef>> retired_;
    Renderer renderer_;
    // Kept from picture to picture so its scratch buffers (coverage rows, span colours, masks) keep their
    // size.
    raster::Canvas canvas_;
    PictureMemo memo_;
    // Pictures drawn on two threads: recorded on this one, then played in bands.
    raster::Recording recording_;
    PictureBands bands_;
    int unbandedPictures_ = 0;  // pictures still to draw on one thread (the last recording was refused)
    std::vector<std::pair<int, const MovieClip*>> lists_;
};

}  // namespace player
