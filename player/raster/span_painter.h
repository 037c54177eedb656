// Paint stage: the premultiplied colour of each pixel of a span for one Paint. Prepared once per draw
// (inverse matrices, gradient ramp, transformed solid colour); the per-pixel loops are specialised per
// paint type and spread mode, with no calls per pixel.
#pragma once

#include <vector>

#include "player/raster/bitmap_mips.h"
#include "player/raster/gradient_ramp.h"
#include "player/raster/paint.h"

namespace raster {

class SpanPainter {
  public:
    // Returns false when the paint can draw nothing (no bitmap, an empty one, a fully transparent solid).
    // `antialias` says whether the draw is anti-aliased; gradients are then sampled Stepped, as Flash
    // Player's anti-aliased pictures show them, else Blended (see GradientSampling). Gradient ramps come
    // from `ramps` when given (built there once for every later draw of the same gradient). A smoothed
    // bitmap shown at less than half its size is sampled from a smaller level out of `mips`, when given.
    bool prepare(const Paint& paint, bool antialias = false, GradientRampCache* ramps = nullptr,
                 BitmapMipCache* mips = nullptr);

    bool isSolid() const { return solid_; }
    // Whether every colour fill() gives is opaque (a gradient whose every entry is).
    bool isOpaque() const { return opaque_; }
    player::Pixel solidColor() const { return color_; }

    // Colours of pixels x0 <= x < x1 on row y, sampled at pixel centres. Not for solid paints.
    void fill(int y, int x0, int x1, player::Pixel* out) const;

  private:
    void fillGradient(int y, int x0, int x1, player::Pixel* out) const;
    void fillBitmap(int y, int x0, int x1, player::Pixel* out) const;
    // The same in floating point, for sample points too far out for the fixed-point loops.
    void fillBitmapFar(int y, int x0, int x1, player::Pixel* out) const;

    bool solid_ = true;
    player::Pixel color_ = 0;
    const Paint* paint_ = nullptr;
    player::Matrix inverse_;  // device pixels to gradient or bitmap space
    GradientRamp ramp_{};
    GradientSampling sampling_ = GradientSampling::Blended;
    float focal_ = 0;
    const player::Bitmap* bitmap_ = nullptr;
    bool transformPixels_ = false;
    // Colours of the current bitmap draw already put through its colour transform (a direct-mapped table).
    static constexpr int kTransformedBits = 12, kTransformedColors = 1 << kTransformedBits;
    mutable std::vector<uint32_t> transformedKeys_;
    mutable std::vector<player::Pixel> transformedValues_;
    bool opaque_ = false;
};

// Whether kernels wider than the SSE2 baseline (AVX2 bitmap smoothing) may run where the processor has them
// (they give the same bytes). On by default; tests and benchmarks turn them off to compare. Returns the
// previous setting.
bool allowWideSimd(bool allowed);

}  // namespace raster
