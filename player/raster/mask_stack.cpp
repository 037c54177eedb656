#include "player/raster/mask_stack.h"

#include <algorithm>
#include <cstring>

#include "player/raster/composite.h"
#include "player/raster/limits.h"

namespace raster {

namespace {

MaskStack::Rect intersect(const MaskStack::Rect& a, const MaskStack::Rect& b) {
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

MaskStack::Rect unite(const MaskStack::Rect& a, const MaskStack::Rect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

}  // namespace

void MaskStack::setSize(int width, int height) {
    if (width != width_ || height != height_) pool_.clear();
    width_ = width;
    height_ = height;
    clear();
}

void MaskStack::clear() {
    while (!layers_.empty()) {
        pool_.push_back(std::move(layers_.back()));
        layers_.pop_back();
    }
    overflow_ = 0;
    update();
}

void MaskStack::begin() {
    const int64_t layerBytes = std::max<int64_t>(int64_t(width_) * height_, 1);
    const int64_t maxDepth = std::min<int64_t>(kMaxMaskDepth, kMaxMaskBytes / layerBytes);
    if (overflow_ > 0 || int64_t(layers_.size()) >= maxDepth) {
        ++overflow_;
        return;
    }
    Layer layer;
    if (!pool_.empty()) {
        layer = std::move(pool_.back());
        pool_.pop_back();
        const Rect& d = layer.dirty;
        for (int y = d.y0; y < d.y1; ++y) {
            std::memset(layer.data.data() + size_t(y) * width_ + d.x0, 0, size_t(d.x1 - d.x0));
        }
    } else {
        layer.data.assign(size_t(width_) * size_t(height_), 0);
    }
    layer.bounds = layer.dirty = Rect{};
    layer.active = false;
    layers_.push_back(std::move(layer));
    update();
}

void MaskStack::addToMask(Rect r) {
    Layer& l = layers_[building_];
    l.bounds = unite(l.bounds, r);
    l.dirty = unite(l.dirty, r);
}

void MaskStack::end() {
    if (overflow_ > 0 || layers_.empty() || layers_.back().active) return;
    Layer& top = layers_.back();
    top.active = true;
    // Intersect with the clip beneath: outside that clip's bounds the new layer becomes empty.
    int below = -1;
    for (int i = int(layers_.size()) - 2; i >= 0; --i) {
        if (layers_[i].active) {
            below = i;
            break;
        }
    }
    if (below >= 0) {
        const Layer& under = layers_[below];
        Rect keep = intersect(top.bounds, under.bounds);
        const Rect& b = top.bounds;
        for (int y = b.y0; y < b.y1; ++y) {
            uint8_t* row = top.data.data() + size_t(y) * width_;
            if (y < keep.y0 || y >= keep.y1 || keep.empty()) {
                std::memset(row + b.x0, 0, size_t(b.x1 - b.x0));
                continue;
            }
            std::memset(row + b.x0, 0, size_t(keep.x0 - b.x0));
            std::memset(row + keep.x1, 0, size_t(b.x1 - keep.x1));
            const uint8_t* clip = under.data.data() + size_t(y) * width_;
            applyClip(row + keep.x0, clip + keep.x0, keep.x1 - keep.x0, row + keep.x0);
        }
        top.bounds = keep.empty() ? Rect{} : keep;
    }
    update();
}

void MaskStack::pop() {
    if (overflow_ > 0) {
        --overflow_;
        return;
    }
    if (layers_.empty()) return;
    pool_.push_back(std::move(layers_.back()));
    layers_.pop_back();
    update();
}

void MaskStack::update() {
    building_ = -1;
    for (int i = int(layers_.size()) - 1; i >= 0; --i) {
        if (!layers_[i].active) {
            building_ = i;
            break;
        }
    }
    clip_ = (!layers_.empty() && layers_.back().active) ? int(layers_.size()) - 1 : -1;
}

}  // namespace raster
