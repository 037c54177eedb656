// Clip layers: a stack of 8-bit coverage layers the size of the canvas. A layer is first built (mask
// shapes are drawn into it, their colour ignored) and then activated, at which point it is intersected with
// the active layer beneath it, so the top active layer always holds the clip of the whole stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace raster {

class MaskStack {
  public:
    struct Rect {
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open; empty when x0 >= x1 or y0 >= y1
        bool empty() const { return x0 >= x1 || y0 >= y1; }
    };

    void setSize(int width, int height);  // also pops every layer
    void clear();

    // Pushes a layer to build; later draws go into it. Beyond kMaxMaskDepth (or kMaxMaskBytes) the layer is
    // only counted and clips everything away until popped.
    void begin();
    // Activates the topmost layer being built.
    void end();
    void pop();
    int depth() const { return int(layers_.size()) + overflow_; }

    // Everything drawn now is clipped away.
    bool blocked() const { return overflow_ > 0; }
    // Where draws go: the topmost layer being built, or nullptr for the canvas.
    bool drawingToMask() const { return building_ >= 0; }
    uint8_t* maskRow(int y) { return layers_[building_].data.data() + size_t(y) * width_; }
    void addToMask(Rect r);  // the building layer got coverage inside r
    // The clip for draws, nullptr when none applies.
    const uint8_t* clipRow(int y) const { return layers_[clip_].data.data() + size_t(y) * width_; }
    bool clipped() const { return clip_ >= 0; }
    Rect clipBounds() const { return clip_ >= 0 ? layers_[clip_].bounds : Rect{0, 0, width_, height_}; }

  private:
    struct Layer {
        std::vector<uint8_t> data;
        Rect bounds;  // where coverage may be non-zero
        Rect dirty;   // where data may be non-zero (cleared on reuse)
        bool active = false;
    };
    void update();

    int width_ = 0, height_ = 0;
    std::vector<Layer> layers_;
    std::vector<Layer> pool_;  // popped layers kept for their buffers
    int overflow_ = 0;
    int building_ = -1;  // topmost layer being built
    int clip_ = -1;      // the top layer when it is active
};

}  // namespace raster
