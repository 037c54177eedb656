#include "player/core/stage.h"

#include <algorithm>
#include <cmath>

#include "player/core/movie_file.h"

namespace player {

bool Stage::load(int level, std::vector<uint8_t> bytes, const std::string& url, std::string* error) {
    std::unique_ptr<MovieDef> def = MovieDef::load(std::move(bytes), url, error);
    if (!def) return false;
    memo_.forget();
    for (const std::string& w : def->warnings())
        runtime.log(url + ": " + w);
    for (const std::string& n : def->notes())
        runtime.log(n);
    if (level == 0) {
        for (auto& [n, old] : levels_) {
            old.root.reset();
            if (old.movie) retired_.push_back(std::move(old.movie));
        }
        levels_.clear();
        runtime.stageBackground.reset();
        sound.reset(def->info().frameRate);
    } else if (levels_.count(level)) {
        // The level's old movie goes, and with it the definitions its decoded sounds were kept under.
        sound.forgetDecoded();
    }
    runtime.startScripts(def->info().version, def->info().frameRate, def->info().maxRecursion);
    Level& l = levels_[level];
    l.root.reset();
    // Functions defined by the old movie's code may live on: its actions stay loaded.
    if (l.movie) retired_.push_back(std::move(l.movie));
    l.movie = std::move(def);
    l.root = std::make_unique<MovieClip>(l.movie.get(), nullptr, &l.movie->rootTimeline());
    l.root->level = level;
    l.root->initialize(runtime);
    runtime.runQueuedActions();
    runtime.updateBoundFields();
    return true;
}

void Stage::unloadAll() {
    memo_.forget();
    levels_.clear();
    sound.reset(0);
    runtime.resetScripts();
    retired_.clear();
    runtime.stageBackground.reset();
    runtime.pendingLoads.clear();
    input.reset();
}

void Stage::runPendingLoads(bool withLoaders) {
    std::vector<Runtime::PendingLoad> later;
    // Loading may queue more loads (a loaded movie's first frame can call loadMovieNum): bounded rounds.
    for (int round = 0; round < 8 && !runtime.pendingLoads.empty(); ++round) {
        std::vector<Runtime::PendingLoad> loads;
        loads.swap(runtime.pendingLoads);
        for (const Runtime::PendingLoad& l : loads) {
            if (l.loader && !withLoaders) {
                later.push_back(l);
                continue;
            }
            if (l.level < 0) {
                loadIntoClip(l);
                continue;
            }
            std::string what = "loadMovieNum(\"" + l.url + "\", " + std::to_string(l.level) + "): ";
            if (l.url.empty()) {
                // An empty url unloads the level; level 0 stays, or there would be nothing left to show.
                if (l.level != 0) {
                    if (Level* gone = level(l.level)) {
                        gone->root.reset();
                        retired_.push_back(std::move(gone->movie));
                        sound.forgetDecoded();
                    }
                    levels_.erase(l.level);
                }
                continue;
            }
            std::string path, error;
            std::vector<uint8_t> bytes;
            size_t size = 0;
            bool ok = resolveLocalUrl(l.url, l.baseUrl, path, &error) && readMovieFile(path, bytes, &error);
            size = bytes.size();
            ok = ok && load(l.level, std::move(bytes), path, &error);
            if (!ok) runtime.log(what + error);
            Level* loaded = ok ? level(l.level) : nullptr;
            // A movie in level 0 replaced every script object, the loader too.
            if (l.level != 0 || !ok)
                runtime.reportLoad(l.loader, loaded ? loaded->root.get() : nullptr, size, error);
        }
    }
    runtime.pendingLoads = std::move(later);
}

void Stage::loadIntoClip(const Runtime::PendingLoad& l) {
    auto handle = l.clip.lock();
    MovieClip* clip = handle ? *handle : nullptr;
    if (!clip) {
        runtime.reportLoad(l.loader, nullptr, 0, "the target clip is gone");
        return;
    }
    if (l.url.empty()) {
        clip->unloadContent();
        return;
    }
    std::string path, error;
    std::vector<uint8_t> bytes;
    std::unique_ptr<MovieDef> def;
    size_t size = 0;
    if (resolveLocalUrl(l.url, l.baseUrl, path, &error) && readMovieFile(path, bytes, &error)) {
        size = bytes.size();
        def = MovieDef::load(std::move(bytes), path, &error);
    }
    if (!def) {
        runtime.log("loadMovie(\"" + l.url + "\"): " + error);
        runtime.reportLoad(l.loader, nullptr, 0, error);
        return;
    }
    // Movies loaded into clips stay loaded while the player lives: code they define may outlive the clip.
    retired_.push_back(std::move(def));
    clip->loadMovie(retired_.back().get(), runtime);
    runtime.reportLoad(l.loader, clip, size, "");
}

Stage::Level* Stage::level(int n) {
    auto it = levels_.find(n);
    return it == levels_.end() ? nullptr : &it->second;
}

void Stage::advance() {
    if (runtime.quitRequested) {
        // The movie is over, but the host still takes each frame's sound.
        sound.endFrame(runtime.tick);
        return;
    }
    ++runtime.tick;
    // Movies the first frame asked for (loadMovieNum) arrive before this frame's timers run; their first
    // frame may end the movie.
    runPendingLoads(false);
    if (runtime.quitRequested) return;
    if (runtime.vm()) {
        runtime.vm()->budget = 0;
        runtime.vm()->runTimers();
        runtime.vm()->runSounds();
    }
    // Advance a snapshot: scripts may load or unload levels while it runs.
    std::vector<std::weak_ptr<MovieClip*>> roots;
    for (auto& [n, l] : levels_)
        roots.push_back(l.root->handle());
    for (auto& h : roots)
        if (auto p = h.lock(); p && *p) (*p)->advance(runtime);
    runtime.followDrag();
    runtime.runQueuedActions();
    runPendingLoads(true);
    runtime.updateBoundFields();
    runtime.collectGarbage();
    sound.endFrame(runtime.tick);
}

void Stage::render(Pixel* pixels, int width, int height, int stride, const RenderOptions& options) {
    raster::Canvas& canvas = canvas_;
    if (!canvas.setTarget(pixels, width, height, stride)) return;
    const Level* base = level(0);
    uint32_t bg = options.background.value_or(runtime.stageBackground.value_or(0xFFFFFF));
    lists_.clear();
    for (const auto& [n, l] : levels_)
        lists_.emplace_back(n, l.root.get());
    const PictureMemo::Step step = memo_.start(lists_, width, height, options, bg);
    if (step == PictureMemo::Step::Reuse) return memo_.copyTo(pixels, stride);
    if (options.threads > 1 && height >= 64 && unbandedPictures_ == 0) {
        drawBanded(canvas, base, width, height, stride, options, bg);
    } else {
        if (unbandedPictures_ > 0) --unbandedPictures_;
        drawPicture(canvas, base, width, height, options, bg);
    }
    if (step == PictureMemo::Step::DrawAndKeep) memo_.keep(pixels, stride);
}

void Stage::drawBanded(raster::Canvas& canvas, const Level* base, int width, int height, int stride,
                       const RenderOptions& options, uint32_t bg) {
    recording_.clear();
    canvas.record(&recording_);
    drawPicture(canvas, base, width, height, options, bg);
    canvas.record(nullptr);
    if (recording_.refused()) {
        // Something composited onto the picture by itself (an offscreen layer: filters, blend modes): this
        // picture, and the next few, are drawn on one thread.
        unbandedPictures_ = 30;
        drawPicture(canvas, base, width, height, options, bg);
        return;
    }
    bands_.play(canvas, recording_, canvas.pixels(), width, height, stride);
}

bool Stage::stageToPicture(int width, int height, Matrix& out) const {
    auto it = levels_.find(0);
    if (it == levels_.end() || width <= 0 || height <= 0) return false;
    const MovieInfo& info = it->second.movie->info();
    if (info.widthTwips <= 0 || info.heightTwips <= 0) return false;
    // Show the whole stage, scaled to fit and centred (Flash's default scale mode). The stage measures whole
    // pixels, its size in twips rounded down (a 101.3 px wide movie shows at 101 px, 1:1, with its origin
    // where the frame rectangle puts it), so a picture of the stage's own size is drawn unscaled.
    double stageW = std::max(1.0, std::floor(info.widthTwips / 20)) * 20;
    double stageH = std::max(1.0, std::floor(info.heightTwips / 20)) * 20;
    double scale = std::min(width / stageW, height / stageH);
    double offX = (width - stageW * scale) / 2 - info.xMinTwips * scale;
    double offY = (height - stageH * scale) / 2 - info.yMinTwips * scale;
    out = Matrix{scale, 0, 0, scale, offX, offY};
    return true;
}

void Stage::drawPicture(raster::Canvas& canvas, const Level* base, int width, int height,
                        const RenderOptions& options, uint32_t bg) {
    canvas.clear({uint8_t(bg >> 16), uint8_t(bg >> 8), uint8_t(bg), 255});
    Matrix toDevice;
    if (!stageToPicture(width, height, toDevice)) return;
    double scale = toDevice.a;
    bool aa = options.quality == Quality::High;
    for (auto& [n, l] : levels_) {
        // Each level's root draws like a sprite at its placement: identity unless a script moved or
        // tinted it.
        renderer_.drawClip(canvas, *l.root, toDevice * l.root->matrix, l.root->cxform, aa, scale, runtime);
    }
}

}  // namespace player
