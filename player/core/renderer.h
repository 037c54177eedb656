// Draws a display list with the rasterizer: shapes, morph shapes, static text and the contents of sprites and
// buttons, with their matrices, colour transforms and clip layers. Keeps its scratch paths between frames.
#pragma once

#include "player/core/display_object.h"
#include "player/player.h"
#include "player/raster/canvas.h"

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

  private:
    void drawObject(raster::Canvas& canvas, const DisplayObject& obj, const Matrix& m,
                    const ColorTransform& cx, Runtime& rt);
    void drawGeometry(raster::Canvas& canvas, const struct ShapeGeometry& g, const Matrix& m,
                      const ColorTransform& cx, const MovieDef* movie, Runtime& rt,
                      const Rgba* glyphColor = nullptr);
    void drawText(raster::Canvas& canvas, const struct TextCharacter& text, const Matrix& m,
                  const ColorTransform& cx, const MovieDef* movie, Runtime& rt);

    raster::Path scratch_;
    raster::GradientRampCache ramps_;  // kept from picture to picture: most gradients come back each frame
    bool antialias_ = true;
    bool maskMode_ = false;
    double stageScale_ = 1.0 / 20;
    int nesting_ = 0;
    Matrix parent_;  // twips of the clip holding the object being drawn to device pixels
};

// Display-list nesting the renderer follows (sprites in sprites); deeper levels are not drawn.
constexpr int kMaxRenderNesting = 64;

}  // namespace player
