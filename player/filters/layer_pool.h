// Offscreen layers for objects drawn apart before they meet the picture (filters, blend modes, cached
// bitmaps). Each layer is a premultiplied pixel buffer with its own canvas (so masks inside the object work
// as on the stage). Layers are handed out by size and kept for the next picture: a movie that draws the same
// effects frame after frame allocates nothing once its layers have grown.
//
// Threads: the render call's. Never: holds more than kMaxLayerDepth layers, or kMaxLayerBytes, at once.
#pragma once

#include <memory>
#include <vector>

#include "player/raster/canvas.h"
#include "player/render/geometry.h"

namespace player::filters {

// Layers inside layers beyond this depth, or beyond this many bytes of layers in use at once, are not made;
// the caller draws the object directly.
constexpr int kMaxLayerDepth = 16;
constexpr size_t kMaxLayerBytes = size_t(256) << 20;

struct Layer {
    std::vector<Pixel> pixels;
    int width = 0, height = 0;
    int x = 0, y = 0;  // where the top-left pixel lies on the canvas beneath
    raster::Canvas canvas;
    bool inUse = false;
};

class LayerPool {
  public:
    explicit LayerPool(size_t maxBytes = kMaxLayerBytes) : maxBytes_(maxBytes) {}
    // A cleared (transparent) layer of width x height whose canvas draws into it, or null when the depth
    // or size limits refuse it. Give it back with release().
    Layer* acquire(int width, int height);
    void release(Layer* layer);
    int inUse() const { return inUse_; }
    // Bytes held by all layers, in use or not.
    size_t bytes() const;

  private:
    std::vector<std::unique_ptr<Layer>> layers_;
    int inUse_ = 0;
    size_t bytesInUse_ = 0;
    size_t maxBytes_;
};

}  // namespace player::filters
