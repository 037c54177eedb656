// Bitmap filters applied to an object's offscreen layer: blur, drop shadow, glow, bevel, gradient glow and
// bevel, colour matrix and convolution. A filter is plain data (the fields of the SWF 8 filter records);
// the timeline fills it from PlaceObject3 and DefineButton2, and script may fill the same struct.
//
// Owns: nothing but its scratch buffers (FilterScratch), reused from layer to layer.
// Threads: the render call's. Never: allocates per pixel, reads outside the image, or loops longer than
// the image's pixels times a bounded number of passes (blur passes are capped at kMaxBlurPasses).
#pragma once

#include <cstdint>
#include <vector>

#include "player/render/geometry.h"
#include "swf/filters.h"

namespace player::filters {

using Filter = swf::FilterParams;
using FilterList = std::vector<Filter>;

// A premultiplied image whose top-left pixel lies at (x, y) of the canvas the layer composites onto.
struct Image {
    Pixel* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    int x = 0, y = 0;
    Pixel* row(int r) const { return pixels + size_t(r) * size_t(stride); }
};

constexpr int kMaxBlurPasses = 15;
// Blur amounts beyond this many device pixels are cut to it (Flash Player caps blurX/blurY at 255).
constexpr double kMaxBlur = 255;

// How far a filter's output can reach beyond its input, in device pixels, at `scale` device pixels per
// filter unit (filters are stated in stage pixels). Layers are grown by the reach of all their filters.
struct Reach {
    int left = 0, top = 0, right = 0, bottom = 0;
};
Reach filterReach(const Filter& f, double scale);

class FilterScratch {
  public:
    std::vector<uint8_t> alpha, blurred, spare;
    std::vector<uint32_t> sums;
    std::vector<Pixel> pixels;
};

// Applies one filter to `image` in place. The image must already hold the filter's reach around its
// content (transparent margins); output beyond its edges is lost.
void applyFilter(const Filter& f, double scale, Image& image, FilterScratch& scratch);

// Box blur of an 8-bit plane in place (`passes` box passes of about `bx` by `by` pixels), the plane having
// `width` x `height` values with `step` bytes between neighbours and `rowStride` between rows; every
// `channels` consecutive values are blurred as separate planes. Values beyond the edges count as zero.
void boxBlur(uint8_t* plane, int width, int height, int channels, size_t rowStride, double bx, double by,
             int passes, FilterScratch& scratch);

}  // namespace player::filters
