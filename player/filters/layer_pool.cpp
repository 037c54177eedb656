#include "player/filters/layer_pool.h"

#include <algorithm>

#include "player/raster/composite.h"
#include "player/raster/limits.h"

namespace player::filters {

Layer* LayerPool::acquire(int width, int height) {
    if (inUse_ >= kMaxLayerDepth || width <= 0 || height <= 0 || width > raster::kMaxCanvasSide ||
        height > raster::kMaxCanvasSide || int64_t(width) * height > raster::kMaxCanvasPixels)
        return nullptr;
    const size_t need = size_t(width) * size_t(height);
    if (bytesInUse_ + need * sizeof(Pixel) > maxBytes_) return nullptr;
    // The smallest free layer that holds the size without growing; else the largest free one, grown.
    Layer* best = nullptr;
    for (auto& l : layers_) {
        if (l->inUse) continue;
        const size_t cap = l->pixels.capacity();
        if (!best) {
            best = l.get();
            continue;
        }
        const size_t bestCap = best->pixels.capacity();
        if ((cap >= need && (bestCap < need || cap < bestCap)) || (bestCap < need && cap > bestCap))
            best = l.get();
    }
    if (!best) {
        layers_.push_back(std::make_unique<Layer>());
        best = layers_.back().get();
    }
    best->pixels.resize(need);
    best->width = width;
    best->height = height;
    for (int y = 0; y < height; ++y)
        raster::fillPixels(best->pixels.data() + size_t(y) * size_t(width), width, 0);
    if (!best->canvas.setTarget(best->pixels.data(), width, height, width)) return nullptr;
    best->inUse = true;
    ++inUse_;
    bytesInUse_ += need * sizeof(Pixel);
    return best;
}

void LayerPool::release(Layer* layer) {
    if (!layer || !layer->inUse) return;
    layer->inUse = false;
    --inUse_;
    bytesInUse_ -= size_t(layer->width) * size_t(layer->height) * sizeof(Pixel);
}

size_t LayerPool::bytes() const {
    size_t total = 0;
    for (const auto& l : layers_)
        total += l->pixels.capacity() * sizeof(Pixel);
    return total;
}

}  // namespace player::filters
