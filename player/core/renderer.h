// Draws a display list with the rasterizer: shapes, morph shapes, static text and the contents of sprites and
// buttons, with their matrices, colour transforms and clip layers. Keeps its scratch paths between frames.
#pragma once

#include "player/core/display_object.h"
#include "player/filters/filter.h"
#include "player/filters/layer_pool.h"
#include "player/player.h"
#include "player/raster/canvas.h"
#include "player/text/glyph_cache.h"

namespace player {

class Runtime;

class Renderer {
  public:
    // Draws `list` through `toDevice` (twips to device pixels) onto the canvas.
    void drawList(raster::Canvas& canvas, const DisplayList& list, const Matrix& toDevice,
                  const ColorTransform& cx, bool antialias, double stageScale, Runtime& rt);

    // A clip's own drawing (the drawing API), then its children.
    void drawClip(raster::Canvas& canvas, const class MovieClip& clip, const Matrix& toDevice,
                  const ColorTransform& cx, bool antialias, double stageScale, Runtime& rt);

    // A clip as BitmapData.draw shows it (`toDevice` maps the clip's own twips): drawn whether visible or
    // not, shaped by the mask setMask gave it; a clip serving as another's mask shows nothing.
    void drawClipAlone(raster::Canvas& canvas, const class MovieClip& clip, const Matrix& toDevice,
                       const ColorTransform& cx, double stageScale, Runtime& rt);

    // Layers held now (all pooled, in use or not), for benchmarks and tests.
    size_t layerBytes() const { return layers_.bytes(); }

  private:
    static constexpr size_t kMaxFiltersPerObject = 12;
    static constexpr double kMaxOffCanvasReach = 256;
    // Device-space box of what an object draws (filters of nested objects included), or empty.
    struct Box {
        double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
        bool empty() const { return !(x0 < x1 && y0 < y1); }
        void add(double x, double y);
        void addRect(const Matrix& m, const swf::Rect& r);
    };
    void addBounds(const DisplayObject& obj, const Matrix& m, Box& box, int depth);
    static bool needsLayer(const DisplayObject& obj);
    // Draws the object into an offscreen layer, filters it, and blends it onto the canvas.
    // Draws a clip's setMask mask, placed by its position on the stage, as the canvas's current mask (popped
    // by the caller after the masked object).
    void pushScriptMask(raster::Canvas& canvas, const DisplayObject& mask, Runtime& rt);
    void drawLayered(raster::Canvas& canvas, const DisplayObject& obj, Matrix m, const ColorTransform& cx,
                     Runtime& rt);
    void drawObject(raster::Canvas& canvas, const DisplayObject& obj, const Matrix& m,
                    const ColorTransform& cx, Runtime& rt);
    void drawGeometry(raster::Canvas& canvas, const struct ShapeGeometry& g, const Matrix& m,
                      const ColorTransform& cx, const MovieDef* movie, Runtime& rt,
                      const Rgba* glyphColor = nullptr, const BitmapPtr* picture = nullptr,
                      const class Drawing* drawing = nullptr);
    // A bitmap (or video picture) stretched over a w x h twips rectangle at the object's origin.
    void drawBitmapRect(raster::Canvas& canvas, const BitmapPtr& bmp, int32_t w, int32_t h, bool smooth,
                        const Matrix& m, const ColorTransform& cx, const MovieDef* movie, Runtime& rt);
    void drawText(raster::Canvas& canvas, const struct TextCharacter& text, const Matrix& m,
                  const ColorTransform& cx, const MovieDef* movie, Runtime& rt);
    // A text field: background, text clipped to the field, border.
    void drawEditText(raster::Canvas& canvas, const class EditText& field, const Matrix& m,
                      const ColorTransform& cx, Runtime& rt);

    // 9-slice scaling of the shapes directly inside a sprite with a scaling grid: points are moved in the
    // sprite's space so the corners keep their size and only the middle stretches.
    struct NineSlice {
        Matrix toDevice;              // the sprite's space to device pixels
        double x[4] = {}, y[4] = {};  // bounds start, grid start, grid end, bounds end (sprite space)
        double sx = 1, sy = 1;        // the sprite's own scale, undone in the corners
        double map(double v, const double* edges, double scale) const;
    };
    bool makeNineSlice(const DisplayObject& obj, const Matrix& m, NineSlice& out, int depth);
    // `path` (in the space `m` maps to device pixels) moved through the active 9-slice into device pixels.
    void sliceToDevice(const raster::Path& path, const Matrix& m, raster::Path& out) const;
    // The matrix a fill's bitmap or gradient takes inside the active 9-slice: the fill's bounds go where
    // the slicing moves them, so a fill within one of the nine parts scales as that part does and one
    // across parts stretches over what its outline becomes.
    Matrix slicedFillMatrix(const raster::Path& path, const Matrix& m) const;

    const NineSlice* slice_ = nullptr;
    ShapeGeometry bitmapRect_;  // the rectangle drawBitmapRect fills, kept between draws
    raster::Path scratch_;
    raster::Path textRun_;  // glyphs of one colour, filled together
    // Glyph masks kept from picture to picture, and the masks of a run of one colour being gathered.
    text::GlyphMaskCache glyphMasks_;
    struct PlacedMask {
        const text::GlyphMask* mask;
        int x, y;  // device pixel of the mask's top left corner
    };
    std::vector<PlacedMask> maskRun_;
    static constexpr size_t kMaxMaskRun = 4096;  // glyphs gathered before a run is painted
    void paintMaskRun(raster::Canvas& canvas, const raster::Paint& paint);
    std::vector<uint8_t> maskRunCoverage_;
    raster::GradientRampCache ramps_;  // kept from picture to picture: most gradients come back each frame
    bool antialias_ = true;
    // Stage twips to device pixels (setMask places masks by their position on the stage).
    Matrix stageToDevice_;
    bool maskMode_ = false;
    double stageScale_ = 1.0 / 20;
    int nesting_ = 0;
    Matrix parent_;  // twips of the clip holding the object being drawn to device pixels
    filters::LayerPool layers_;
    filters::FilterScratch filterScratch_;
};

// Display-list nesting the renderer follows (sprites in sprites); deeper levels are not drawn.
constexpr int kMaxRenderNesting = 64;

}  // namespace player
