#include "player/core/picture_memo.h"

#include <bit>
#include <cstring>

#include "player/core/edit_text.h"
#include "player/core/movie_clip.h"
#include "player/core/renderer.h"

namespace player {

namespace {

// Markers around a clip's children, so a child and a following sibling can never read as the same key.
constexpr uint64_t kOpen = 0xC1A55EDull << 32, kClose = 0xC105EDull << 32;

uint64_t bits(double v) {
    return std::bit_cast<uint64_t>(v);
}

uint64_t bits(float a, float b) {
    return uint64_t(std::bit_cast<uint32_t>(a)) << 32 | std::bit_cast<uint32_t>(b);
}

}  // namespace

PictureMemo::Step PictureMemo::start(const std::vector<std::pair<int, const MovieClip*>>& levels, int width,
                                     int height, const RenderOptions& options, uint32_t background) {
    next_.clear();
    add(uint64_t(uint32_t(width)) << 32 | uint32_t(height));
    add(uint64_t(options.quality == Quality::High) << 32 | background);
    add(bits(options.pixelAspect));
    for (const auto& [n, root] : levels) {
        add(kOpen | uint32_t(n));
        // A script may move or tint a level's root (_root._x, new Color(_root)).
        const Matrix& m = root->matrix;
        for (double v : {m.a, m.b, m.c, m.d, m.tx, m.ty})
            add(bits(v));
        const ColorTransform& c = root->cxform;
        add(bits(c.rm, c.gm));
        add(bits(c.bm, c.am));
        add(bits(c.ra, c.ga));
        add(bits(c.ba, c.aa));
        addClip(*root, 0);
        add(kClose);
    }
    // The first picture after a (re)start is kept as well: a movie's first frame is often held (a one-frame
    // movie, a stop() at the start), and one copy per movie costs next to nothing.
    const bool first = key_.empty();
    const bool same = next_ == key_;
    key_.swap(next_);
    if (!same) {
        valid_ = false;
        return first ? Step::DrawAndKeep : Step::Draw;
    }
    return valid_ ? Step::Reuse : Step::DrawAndKeep;
}

void PictureMemo::addClip(const MovieClip& clip, int nesting) {
    add(clip.drawing && !clip.drawing->empty() ? clip.drawing->revision() : 0);
    // Script pixels a drawing fills with change without a new drawing revision.
    if (clip.drawing)
        for (const auto& b : clip.drawing->bitmaps())
            add(b->revision);
    addList(clip.children(), nesting);
}

void PictureMemo::addList(const DisplayList& list, int nesting) {
    if (nesting > kMaxRenderNesting) return;
    for (const auto& [depth, obj] : list) {
        add(uint64_t(uint32_t(depth)));
        add(uint64_t(reinterpret_cast<uintptr_t>(obj->character())));
        const Matrix& m = obj->matrix;
        for (double v : {m.a, m.b, m.c, m.d, m.tx, m.ty})
            add(bits(v));
        const ColorTransform& c = obj->cxform;
        add(bits(c.rm, c.gm));
        add(bits(c.bm, c.am));
        add(bits(c.ra, c.ga));
        add(bits(c.ba, c.aa));
        add(uint64_t(obj->ratio) << 32 | uint64_t(obj->clipDepth) << 1 | (obj->visible ? 1 : 0));
        add(uint64_t(reinterpret_cast<uintptr_t>(obj->movie())));
        // Offscreen layer effects: blend mode, bitmap caching, opaque background, filters.
        const std::optional<Rgba>& bg = obj->opaqueBackground;
        add(uint64_t(obj->blendMode) << 40 | uint64_t(obj->cacheAsBitmap) << 33 |
            uint64_t(bg.has_value()) << 32 |
            (bg ? uint64_t(bg->r) << 24 | uint64_t(bg->g) << 16 | uint64_t(bg->b) << 8 | bg->a : 0));
        add(uint64_t(reinterpret_cast<uintptr_t>(obj->maskedBy())) ^ (obj->masksSomething() ? 1u : 0u));
        add(obj->filters.size());
        for (const filters::Filter& f : obj->filters)
            addFilter(f);
        // Attached bitmaps change with every script change of their pixels.
        if (const BitmapObject* b = obj->asBitmap()) add(b->pixels->revision);
        // 9-slice grids a script set or removed.
        const std::optional<swf::Rect>& grid = obj->scriptScalingGrid;
        add(uint64_t(grid.has_value()) << 1 | uint64_t(obj->scalingGridCleared));
        if (grid) {
            add(uint64_t(uint32_t(grid->xMin)) << 32 | uint32_t(grid->xMax));
            add(uint64_t(uint32_t(grid->yMin)) << 32 | uint32_t(grid->yMax));
        }
        // Clips (made by the timeline or by script) draw their drawing and children; buttons their children.
        if (const MovieClip* clip = obj->asClip()) {
            add(kOpen);
            addClip(*clip, nesting + 1);
            add(kClose);
        } else if (obj->character() && obj->character()->kind == Character::Kind::Button) {
            add(kOpen);
            addList(static_cast<const ButtonObject&>(*obj).children(), nesting + 1);
            add(kClose);
        } else if (obj->character() && obj->character()->kind == Character::Kind::EditText) {
            // A text field's content, formats, size and settings change under the same character: its
            // revision counts every such change.
            const auto& field = static_cast<const EditText&>(*obj);
            add(uint64_t(reinterpret_cast<uintptr_t>(&field)));
            add(field.revision());
        }
    }
}

void PictureMemo::addFilter(const filters::Filter& f) {
    add(uint64_t(f.type) << 32 | uint64_t(f.matrixX) << 24 | uint64_t(f.matrixY) << 16 |
        uint64_t(f.inner) << 7 | uint64_t(f.knockout) << 6 | uint64_t(f.compositeSource) << 5 |
        uint64_t(f.onTop) << 4 | uint64_t(f.clamp) << 3 | uint64_t(f.preserveAlpha) << 2);
    for (double v : {f.blurX, f.blurY, f.angle, f.distance, f.strength})
        add(bits(v));
    add(uint64_t(uint32_t(f.passes)));
    add(bits(f.divisor, f.bias));
    add(uint64_t(f.defaultColor.r) << 24 | uint64_t(f.defaultColor.g) << 16 |
        uint64_t(f.defaultColor.b) << 8 | f.defaultColor.a);
    add(f.colors.size() << 40 | f.ratios.size() << 20 | f.matrix.size());
    for (const swf::RGBA& c : f.colors)
        add(uint64_t(c.r) << 24 | uint64_t(c.g) << 16 | uint64_t(c.b) << 8 | c.a);
    for (uint8_t r : f.ratios)
        add(r);
    for (float v : f.matrix)
        add(std::bit_cast<uint32_t>(v));
}

void PictureMemo::copyTo(Pixel* pixels, int stride) {
    ++reused_;
    for (int y = 0; y < height_; ++y)
        std::memcpy(pixels + size_t(y) * size_t(stride), picture_.data() + size_t(y) * size_t(width_),
                    size_t(width_) * sizeof(Pixel));
}

void PictureMemo::keep(const Pixel* pixels, int stride) {
    const int width = int(key_[0] >> 32), height = int(uint32_t(key_[0]));
    picture_.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(picture_.data() + size_t(y) * size_t(width), pixels + size_t(y) * size_t(stride),
                    size_t(width) * sizeof(Pixel));
    width_ = width;
    height_ = height;
    valid_ = true;
}

void PictureMemo::forget() {
    valid_ = false;
    key_.clear();
}

}  // namespace player
