// Fixed limits and sampling constants of the rasterizer, in one place so they can be tuned against the
// reference pictures and so hostile movies meet the same bounds everywhere.
#pragma once

#include <cstdint>

namespace raster {

// Largest target the canvas accepts; a bigger one leaves the canvas empty (every call draws nothing).
inline constexpr int kMaxCanvasSide = 8192;
inline constexpr int64_t kMaxCanvasPixels = int64_t(64) << 20;

// Edges one path may produce after curve flattening (a stroke counts its outline pieces). A path beyond
// this is refused whole: fillPath/strokePath return false and draw nothing.
inline constexpr int kMaxEdgesPerPath = 1 << 20;

// Coordinates are clamped to +-kMaxCoordinate device pixels before rasterizing; far beyond any canvas, and
// small enough that double arithmetic on them stays exact to well below a sample. A non-finite coordinate
// (NaN, infinity) makes the whole path refused.
inline constexpr double kMaxCoordinate = 1 << 24;

// Segments one quadratic curve may be flattened into, whatever its size.
inline constexpr int kMaxSegmentsPerCurve = 512;
// Largest distance, in device pixels, between a curve and its flattened chords. Measured against the
// aliased reference pictures of curve-heavy shapes (heavy_tesselation, overlaps): 0.1 px matches Flash
// Player's edge pixels best (0.03 and 0.3 give 2.7 and 4.4 times as many differing pixels), so Flash
// flattens curves about this coarsely too.
inline constexpr double kFlattenTolerance = 0.1;
// Glyph outlines are flattened finer: the aliased reference pictures of static text match only with chords
// within 0.01 px of the curves (at 0.1 px, single pixels at the edges of small glyphs differ).
inline constexpr double kGlyphFlattenTolerance = 0.01;

// Path::transform rounds a matrix's translation to this grid, in device pixels: whole twips. Flash Player
// keeps display positions in integer twips, and the aliased reference pictures agree: a square scaled by
// 0.2149 and placed at 2750.28 twips covers the pixel whose centre is 2750 twips (acid-gc), while a
// rotated square with integer translation keeps its exact, unrounded corners (acid-child). Grids of 1/10,
// 1/16, 1/32 and 1/40 px, or rounding every transformed point instead, match fewer reference pixels.
inline constexpr double kTranslationGrid = 20;

// Anti-aliasing sample grid. Flash Player's "high" quality is documented as anti-aliasing on a 4x4 grid
// per pixel; the reference pictures agree: the edge of a black circle on white shows the 16 levels
// 255 - 16k (acid-small), i.e. coverage k/16 applied as alpha 16k. (A few references, made at a lower
// setting, show a 2x2 grid instead.) Coverage is sampled on kSubScanlines rows per pixel, and along each
// row at kSubSamplesX positions per pixel; both must be powers of two.
inline constexpr int kSubScanlines = 4;
inline constexpr int kSubSamplesX = 4;

// Nested masks beyond this depth, or beyond what kMaxMaskBytes of full-canvas coverage layers allow (one
// byte per pixel per level), clip everything away: a hostile movie cannot make us allocate without bound.
inline constexpr int kMaxMaskDepth = 32;
inline constexpr int64_t kMaxMaskBytes = int64_t(256) << 20;

}  // namespace raster
