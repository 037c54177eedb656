#include "player/core/renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "player/core/bounds.h"
#include "player/core/edit_text.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/runtime.h"
#include "player/core/style_paint.h"
#include "player/filters/blend.h"
#include "player/raster/color.h"

namespace player {

void Renderer::drawList(raster::Canvas& canvas, const DisplayList& list, const Matrix& toDevice,
                        const ColorTransform& cx, bool antialias, double stageScale, Runtime& rt) {
    antialias_ = antialias;
    stageScale_ = stageScale;
    canvas.setGradientRampCache(&ramps_);
    if (++nesting_ > kMaxRenderNesting) {
        --nesting_;
        return;
    }
    // Clip layers: an object with a clip depth masks the objects above it up to that depth.
    std::vector<int> clipEnds;
    for (const auto& [depth, obj] : list) {
        while (!clipEnds.empty() && depth > clipEnds.back()) {
            canvas.popMask();
            clipEnds.pop_back();
        }
        Matrix m = toDevice * obj->matrix;
        parent_ = toDevice;
        ColorTransform c = cx * obj->cxform;
        // A timeline mask that setMask involves (as mask or maskee) no longer masks its layers.
        if (obj->clipDepth > 0 && !obj->masksSomething() && !obj->maskedBy()) {
            if (maskMode_) continue;  // a mask inside a mask: its outline already counts
            canvas.beginMask();
            maskMode_ = true;
            drawObject(canvas, *obj, m, c, rt);
            maskMode_ = false;
            canvas.endMask();
            clipEnds.push_back(obj->clipDepth);
            continue;
        }
        if (!obj->visible) continue;
        // A clip serving as another's mask (setMask) only shapes that one.
        if (!maskMode_ && obj->masksSomething()) continue;
        DisplayObject* mask = maskMode_ ? nullptr : obj->maskedBy();
        if (mask) pushScriptMask(canvas, *mask, rt);
        if (!maskMode_ && needsLayer(*obj))
            drawLayered(canvas, *obj, m, c, rt);
        else
            drawObject(canvas, *obj, m, c, rt);
        if (mask) canvas.popMask();
    }
    while (!clipEnds.empty()) {
        canvas.popMask();
        clipEnds.pop_back();
    }
    --nesting_;
}

void Renderer::pushScriptMask(raster::Canvas& canvas, const DisplayObject& mask, Runtime& rt) {
    canvas.beginMask();
    maskMode_ = true;
    drawObject(canvas, mask, stageToDevice_ * worldMatrix(&mask), ColorTransform{}, rt);
    maskMode_ = false;
    canvas.endMask();
}

void Renderer::drawClip(raster::Canvas& canvas, const MovieClip& clip, const Matrix& toDevice,
                        const ColorTransform& cx, bool antialias, double stageScale, Runtime& rt) {
    antialias_ = antialias;
    stageScale_ = stageScale;
    canvas.setGradientRampCache(&ramps_);
    if (!clip.parent) stageToDevice_ = toDevice;
    if (clip.drawing && !clip.drawing->empty())
        drawGeometry(canvas, clip.drawing->geometry(), toDevice, cx, clip.movie(), rt, nullptr, nullptr,
                     clip.drawing.get());
    drawList(canvas, clip.children(), toDevice, cx, antialias, stageScale, rt);
}

void Renderer::drawClipAlone(raster::Canvas& canvas, const MovieClip& clip, const Matrix& toDevice,
                             const ColorTransform& cx, double stageScale, Runtime& rt) {
    if (clip.masksSomething()) return;
    antialias_ = true;
    stageScale_ = stageScale;
    canvas.setGradientRampCache(&ramps_);
    // Masks are placed by their position on the stage: the stage goes where the clip's own space does.
    stageToDevice_ = toDevice * worldMatrix(&clip).inverted();
    DisplayObject* mask = clip.maskedBy();
    if (mask) pushScriptMask(canvas, *mask, rt);
    if (clip.drawing && !clip.drawing->empty())
        drawGeometry(canvas, clip.drawing->geometry(), toDevice, cx, clip.movie(), rt, nullptr, nullptr,
                     clip.drawing.get());
    drawList(canvas, clip.children(), toDevice, cx, true, stageScale, rt);
    if (mask) canvas.popMask();
}

void Renderer::Box::add(double x, double y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
}

void Renderer::Box::addRect(const Matrix& m, const swf::Rect& r) {
    if (r.xMin > r.xMax || r.yMin > r.yMax) return;
    const double xs[2] = {double(r.xMin), double(r.xMax)}, ys[2] = {double(r.yMin), double(r.yMax)};
    for (double x : xs)
        for (double y : ys) {
            double dx, dy;
            m.apply(x, y, dx, dy);
            if (std::isfinite(dx) && std::isfinite(dy)) add(dx, dy);
        }
}

bool Renderer::needsLayer(const DisplayObject& obj) {
    return !obj.filters.empty() || obj.blendMode > 1 || obj.cacheAsBitmap || obj.opaqueBackground;
}

void Renderer::addBounds(const DisplayObject& obj, const Matrix& m, Box& box, int depth) {
    const Character* c = obj.character();
    if (depth > kMaxRenderNesting) return;
    Box own;
    const MovieClip* clip = const_cast<DisplayObject&>(obj).asClip();
    if (clip && clip->drawing && !clip->drawing->bounds().empty()) {
        // The drawing API's outline, with room for half of the widest line.
        const BoundsRect& b = clip->drawing->bounds();
        own.addRect(m, swf::Rect{int32_t(b.xMin) - 2560, int32_t(b.xMax) + 2560, int32_t(b.yMin) - 2560,
                                 int32_t(b.yMax) + 2560});
    }
    if (const BitmapObject* b = obj.asBitmap()) {
        const Bitmap& bmp = b->pixels->bitmap;
        if (bmp.width > 0 && bmp.height > 0) own.addRect(m, swf::Rect{0, bmp.width * 20, 0, bmp.height * 20});
    }
    if (!c && clip) {
        // Clips made by script have no character.
        for (const auto& [d, child] : clip->children())
            if (child->visible && child->clipDepth == 0) addBounds(*child, m * child->matrix, own, depth + 1);
    }
    switch (c ? c->kind : Character::Kind::Font) {
        case Character::Kind::Shape:
            own.addRect(m, static_cast<const ShapeCharacter*>(c)->bounds);
            break;
        case Character::Kind::MorphShape: {
            const swf::DefineMorphShape* def = static_cast<const MorphCharacter*>(c)->def;
            if (def) {
                own.addRect(m, def->startBounds);
                own.addRect(m, def->endBounds);
            }
            break;
        }
        case Character::Kind::Text: {
            const swf::DefineText* def = static_cast<const TextCharacter*>(c)->def;
            if (def) {
                own.addRect(m, def->bounds);
                own.addRect(m * toMatrix(def->matrix), def->bounds);
            }
            break;
        }
        case Character::Kind::Bitmap: {
            std::string error;
            BitmapPtr bmp = static_cast<const BitmapCharacter*>(c)->bitmap(&error);
            if (bmp) own.addRect(m, swf::Rect{0, bmp->width * 20, 0, bmp->height * 20});
            break;
        }
        case Character::Kind::EditText:
            own.addRect(m, static_cast<const EditText&>(obj).bounds);
            break;
        case Character::Kind::Sprite:
        case Character::Kind::Button: {
            const DisplayList& list = c->kind == Character::Kind::Sprite
                                          ? static_cast<const MovieClip&>(obj).children()
                                          : static_cast<const ButtonObject&>(obj).children();
            for (const auto& [d, child] : list)
                if (child->visible && child->clipDepth == 0)
                    addBounds(*child, m * child->matrix, own, depth + 1);
            break;
        }
        case Character::Kind::Video: {
            const swf::DefineVideoStream* def = static_cast<const VideoCharacter*>(c)->def;
            if (def) own.addRect(m, swf::Rect{0, def->width * 20, 0, def->height * 20});
            break;
        }
        case Character::Kind::Font:
            break;
    }
    if (own.empty()) return;
    // A nested object's filters reach beyond its shapes.
    for (const filters::Filter& f : obj.filters) {
        const filters::Reach r = filters::filterReach(f, stageScale_ * 20);
        own.x0 -= r.left;
        own.y0 -= r.top;
        own.x1 += r.right;
        own.y1 += r.bottom;
    }
    box.add(own.x0, own.y0);
    box.add(own.x1, own.y1);
}

double Renderer::NineSlice::map(double v, const double* e, double scale) const {
    // Corners shrink back by the sprite's scale; the middle takes up what is left.
    const double lo = e[0] + (e[1] - e[0]) / scale, hi = e[3] - (e[3] - e[2]) / scale;
    if (v <= e[1]) return e[0] + (v - e[0]) / scale;
    if (v >= e[2]) return e[3] - (e[3] - v) / scale;
    return lo + (v - e[1]) * (hi - lo) / (e[2] - e[1]);
}

bool Renderer::makeNineSlice(const DisplayObject& obj, const Matrix& m, NineSlice& out, int depth) {
    const swf::Rect grid = *obj.scalingGrid();
    Box local;
    addBounds(obj, Matrix{}, local, depth);
    if (local.empty()) return false;
    const double sx = std::hypot(obj.matrix.a, obj.matrix.b), sy = std::hypot(obj.matrix.c, obj.matrix.d);
    if (!(sx > 0) || !(sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) return false;
    out.toDevice = m;
    out.sx = sx;
    out.sy = sy;
    const double gx0 = std::clamp<double>(grid.xMin, local.x0, local.x1);
    const double gx1 = std::clamp<double>(grid.xMax, local.x0, local.x1);
    const double gy0 = std::clamp<double>(grid.yMin, local.y0, local.y1);
    const double gy1 = std::clamp<double>(grid.yMax, local.y0, local.y1);
    out.x[0] = local.x0, out.x[1] = gx0, out.x[2] = gx1, out.x[3] = local.x1;
    out.y[0] = local.y0, out.y[1] = gy0, out.y[2] = gy1, out.y[3] = local.y1;
    // Scaled down below the size of its corners, a sprite scales as a whole.
    const double minW = (gx0 - local.x0) + (local.x1 - gx1), minH = (gy0 - local.y0) + (local.y1 - gy1);
    if (gx1 <= gx0 || gy1 <= gy0 || (local.x1 - local.x0) * sx < minW || (local.y1 - local.y0) * sy < minH)
        return false;
    return true;
}

void Renderer::sliceToDevice(const raster::Path& path, const Matrix& m, raster::Path& out) const {
    const NineSlice& s = *slice_;
    // m = s.toDevice * own: the shape's own placement inside the sprite.
    const Matrix own = s.toDevice.inverted() * m;
    auto point = [&](const raster::Point& p, double& x, double& y) {
        double lx, ly;
        own.apply(p.x, p.y, lx, ly);
        s.toDevice.apply(s.map(lx, s.x, s.sx), s.map(ly, s.y, s.sy), x, y);
    };
    out.clear();
    const auto& pts = path.points();
    size_t k = 0;
    for (raster::Path::Verb v : path.verbs()) {
        double x, y, cx, cy;
        switch (v) {
            case raster::Path::Verb::Move:
                point(pts[k++], x, y);
                out.moveTo(x, y);
                break;
            case raster::Path::Verb::Line:
                point(pts[k++], x, y);
                out.lineTo(x, y);
                break;
            case raster::Path::Verb::Quad:
                point(pts[k++], cx, cy);
                point(pts[k++], x, y);
                out.quadTo(cx, cy, x, y);
                break;
            case raster::Path::Verb::Close:
                out.close();
                break;
        }
    }
}

Matrix Renderer::slicedFillMatrix(const raster::Path& path, const Matrix& m) const {
    const NineSlice& s = *slice_;
    const Matrix own = s.toDevice.inverted() * m;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const raster::Point& p : path.points()) {
        double lx, ly;
        own.apply(p.x, p.y, lx, ly);
        x0 = std::min(x0, lx), x1 = std::max(x1, lx);
        y0 = std::min(y0, ly), y1 = std::max(y1, ly);
    }
    if (!(x1 > x0) || !(y1 > y0)) return m;
    // Per axis, the line through the mapped ends of the fill's extent (exact for a fill in one part, where
    // the slicing is linear).
    const double mx0 = s.map(x0, s.x, s.sx), mx1 = s.map(x1, s.x, s.sx);
    const double my0 = s.map(y0, s.y, s.sy), my1 = s.map(y1, s.y, s.sy);
    const double kx = (mx1 - mx0) / (x1 - x0), ky = (my1 - my0) / (y1 - y0);
    const Matrix slice{kx, 0, 0, ky, mx0 - kx * x0, my0 - ky * y0};
    return s.toDevice * slice * own;
}

void Renderer::drawLayered(raster::Canvas& canvas, const DisplayObject& obj, Matrix m,
                           const ColorTransform& cx, Runtime& rt) {
    if (!canvas.valid() || canvas.blocked()) return;
    // Alpha and erase act on the layer of a parent; drawn straight onto the stage they leave no trace
    // (reference pictures).
    const filters::BlendMode mode = filters::blendModeFromByte(obj.blendMode);
    if ((mode == filters::BlendMode::Alpha || mode == filters::BlendMode::Erase) && layers_.inUse() == 0)
        return;
    // Filtered and cached objects sit on whole device pixels, as Flash Player draws their bitmaps. A filtered
    // object's translation goes to the nearest whole pixel with halves down (reference pictures put one at
    // 69.5 px on pixel 69 and one at 92.6 px on pixel 93); an object only cached as a bitmap rounds halves
    // up (one at 12.5 px lands on pixel 13).
    if (!obj.filters.empty()) {
        m.tx = std::ceil(m.tx - 0.5);
        m.ty = std::ceil(m.ty - 0.5);
    } else if (obj.cacheAsBitmap) {
        m.tx = std::floor(m.tx + 0.5);
        m.ty = std::floor(m.ty + 0.5);
    }
    const double scale = stageScale_ * 20;  // filters are stated in stage pixels
    filters::Reach reach;
    for (const filters::Filter& f : obj.filters) {
        const filters::Reach r = filters::filterReach(f, scale);
        reach.left += r.left;
        reach.top += r.top;
        reach.right += r.right;
        reach.bottom += r.bottom;
    }
    Box box;
    addBounds(obj, m, box, 0);
    // addBounds already grew the box by the object's own filters.
    if (box.empty()) return;
    // Pixels farther outside the canvas than the filters reach cannot change what is seen.
    // The reach counted beyond the canvas is bounded too: farther pixels weigh next to nothing in a blur.
    const double spreadX = std::min(reach.left + reach.right + 1.0, kMaxOffCanvasReach);
    const double spreadY = std::min(reach.top + reach.bottom + 1.0, kMaxOffCanvasReach);
    const double fx0 = std::max(std::floor(box.x0), -spreadX);
    const double fy0 = std::max(std::floor(box.y0), -spreadY);
    const double fx1 = std::min(std::ceil(box.x1), canvas.width() + spreadX);
    const double fy1 = std::min(std::ceil(box.y1), canvas.height() + spreadY);
    if (!(fx0 < fx1 && fy0 < fy1)) return;
    const int x0 = int(fx0), y0 = int(fy0), w = int(fx1) - x0, h = int(fy1) - y0;
    filters::Layer* layer = layers_.acquire(w, h);
    if (!layer) {
        // Too deep or too large for a layer: the object is drawn plainly.
        drawObject(canvas, obj, m, cx, rt);
        return;
    }
    layer->x = x0;
    layer->y = y0;
    const Matrix shift = Matrix::translate(-x0, -y0);
    const Matrix savedParent = parent_;
    parent_ = shift * parent_;
    if (obj.opaqueBackground) {
        // The background fills the object's bounds (before filters) with an opaque colour.
        Box plain;
        addBounds(obj, m, plain, 0);
        if (!plain.empty()) {
            raster::Path rect;
            const double bx0 = std::round(plain.x0) - x0, by0 = std::round(plain.y0) - y0;
            const double bx1 = std::round(plain.x1) - x0, by1 = std::round(plain.y1) - y0;
            rect.moveTo(bx0, by0);
            rect.lineTo(bx1, by0);
            rect.lineTo(bx1, by1);
            rect.lineTo(bx0, by1);
            rect.close();
            Rgba bg = *obj.opaqueBackground;
            bg.a = 255;
            layer->canvas.fillPath(rect, raster::FillRule::NonZero, raster::Paint::solid(bg), false);
        }
    }
    // A shape of a 9-slice sprite drawn through a layer keeps its slicing, moved to the layer.
    const NineSlice* outerSlice = slice_;
    NineSlice shiftedSlice;
    if (slice_) {
        shiftedSlice = *slice_;
        shiftedSlice.toDevice = shift * slice_->toDevice;
        slice_ = &shiftedSlice;
    }
    drawObject(layer->canvas, obj, shift * m, ColorTransform{}, rt);
    slice_ = outerSlice;
    parent_ = savedParent;
    filters::Image image{layer->pixels.data(), w, h, w, x0, y0};
    // A hostile movie may stack filters without end: the first few are applied, as many as any real movie
    // uses.
    size_t applied = 0;
    for (const filters::Filter& f : obj.filters) {
        if (++applied > kMaxFiltersPerObject) {
            rt.unsupported("more than " + std::to_string(kMaxFiltersPerObject) + " filters on one object");
            break;
        }
        filters::applyFilter(f, scale, image, filterScratch_);
    }
    // The colour transform applies to the finished layer: an object faded out fades with its shadow.
    if (!cx.isIdentity()) {
        for (Pixel& p : layer->pixels)
            if (p) p = raster::transformPixel(p, cx);
    }
    const int cx0 = std::max(x0, 0), cx1 = std::min(x0 + w, canvas.width());
    const int cy0 = std::max(y0, 0), cy1 = std::min(y0 + h, canvas.height());
    for (int y = cy0; y < cy1 && cx0 < cx1; ++y) {
        Pixel* dst = canvas.pixels() + size_t(y) * size_t(canvas.stride()) + cx0;
        const Pixel* src = layer->pixels.data() + size_t(y - y0) * size_t(w) + (cx0 - x0);
        const uint8_t* clip = canvas.clipRow(y);
        filters::blendRow(dst, src, clip ? clip + cx0 : nullptr, cx1 - cx0, mode);
    }
    layers_.release(layer);
}

void Renderer::drawObject(raster::Canvas& canvas, const DisplayObject& obj, const Matrix& m,
                          const ColorTransform& cx, Runtime& rt) {
    if (const BitmapObject* b = obj.asBitmap()) {
        const Bitmap& bmp = b->pixels->bitmap;
        drawBitmapRect(canvas, pictureOf(b->pixels), bmp.width * 20, bmp.height * 20, b->smoothing, m, cx,
                       obj.movie(), rt);
        return;
    }
    const MovieClip* clip = const_cast<DisplayObject&>(obj).asClip();
    if (clip && !obj.character()) {
        // Clips made by script have no character.
        drawClip(canvas, *clip, m, cx, antialias_, stageScale_, rt);
        return;
    }
    // A clip's drawing (the drawing API) lies below its children.
    if (clip && clip->drawing && !clip->drawing->empty())
        drawGeometry(canvas, clip->drawing->geometry(), m, cx, obj.movie(), rt, nullptr, nullptr,
                     clip->drawing.get());
    const Character* c = obj.character();
    if (!c) return;
    switch (c->kind) {
        case Character::Kind::Shape:
            drawGeometry(canvas, static_cast<const ShapeCharacter*>(c)->geometry, m, cx, obj.movie(), rt);
            break;
        case Character::Kind::MorphShape:
            drawGeometry(canvas, static_cast<const MorphCharacter*>(c)->geometryAt(obj.ratio), m, cx,
                         obj.movie(), rt);
            break;
        case Character::Kind::Text: {
            const NineSlice* outer = slice_;
            slice_ = nullptr;  // text keeps its shape inside a 9-slice sprite
            drawText(canvas, *static_cast<const TextCharacter*>(c), m, cx, obj.movie(), rt);
            slice_ = outer;
            break;
        }
        case Character::Kind::EditText: {
            const NineSlice* outer = slice_;
            slice_ = nullptr;
            drawEditText(canvas, static_cast<const EditText&>(obj), m, cx, rt);
            slice_ = outer;
            break;
        }
        case Character::Kind::Sprite:
        case Character::Kind::Button: {
            const DisplayList& list = c->kind == Character::Kind::Sprite
                                          ? static_cast<const MovieClip&>(obj).children()
                                          : static_cast<const ButtonObject&>(obj).children();
            const NineSlice* outer = slice_;
            NineSlice slice;
            slice_ = obj.scalingGrid() && !maskMode_ && makeNineSlice(obj, m, slice, 0) ? &slice : nullptr;
            drawList(canvas, list, m, cx, antialias_, stageScale_, rt);
            slice_ = outer;
            break;
        }
        case Character::Kind::Bitmap: {
            // A bitmap character placed directly draws as a rectangle filled with it (20 twips a pixel).
            std::string error;
            BitmapPtr bmp = static_cast<const BitmapCharacter*>(c)->bitmap(&error);
            if (!bmp) {
                if (!error.empty()) rt.unsupported("bitmap " + std::to_string(c->id) + ": " + error);
                break;
            }
            drawBitmapRect(canvas, bmp, bmp->width * 20, bmp->height * 20, true, m, cx, obj.movie(), rt);
            break;
        }
        case Character::Kind::Video: {
            // The picture of the frame the placement's ratio names, stretched over the stream's size.
            const auto* video = static_cast<const VideoCharacter*>(c);
            // Video objects fed by script (attachVideo with a NetStream) have no frames in the movie.
            if (video->frames.empty()) rt.unsupported("video played from a NetStream");
            std::string error;
            BitmapPtr frame = video->frameAt(obj.ratio, &error);
            if (!error.empty()) rt.unsupported(error);
            if (!frame || !video->def) break;
            drawBitmapRect(canvas, frame, video->def->width * 20, video->def->height * 20,
                           video->def->smoothing, m, cx, obj.movie(), rt);
            break;
        }
        case Character::Kind::Font:
            break;
    }
}

void Renderer::drawBitmapRect(raster::Canvas& canvas, const BitmapPtr& bmp, int32_t w, int32_t h, bool smooth,
                              const Matrix& m, const ColorTransform& cx, const MovieDef* movie, Runtime& rt) {
    if (!bmp || bmp->width <= 0 || bmp->height <= 0 || w <= 0 || h <= 0) return;
    // One clipped bitmap fill over the rectangle, its pixels spread over w x h twips.
    ShapeGeometry& g = bitmapRect_;
    if (g.groups.size() != 1 || g.groups[0].fills.size() != 1) {
        g.groups.assign(1, {});
        g.groups[0].fills.resize(1);
    }
    ShapeGeometry::Fill& fill = g.groups[0].fills[0];
    fill.style = swf::FillStyle{};
    fill.style.type = smooth ? swf::FillType::ClippedBitmap : swf::FillType::NonSmoothedClippedBitmap;
    fill.style.matrix.scaleX = int32_t(std::lround(double(w) / bmp->width * 65536));
    fill.style.matrix.scaleY = int32_t(std::lround(double(h) / bmp->height * 65536));
    fill.rule = raster::FillRule::NonZero;
    fill.path.clear();
    fill.path.moveTo(0, 0);
    fill.path.lineTo(w, 0);
    fill.path.lineTo(w, h);
    fill.path.lineTo(0, h);
    fill.path.close();
    drawGeometry(canvas, g, m, cx, movie, rt, nullptr, &bmp);
}

void Renderer::drawGeometry(raster::Canvas& canvas, const ShapeGeometry& g, const Matrix& m,
                            const ColorTransform& cx, const MovieDef* movie, Runtime& rt,
                            const Rgba* glyphColor, const BitmapPtr* picture, const Drawing* drawing) {
    BitmapLookup bitmaps = [movie, &rt, picture, drawing](uint16_t id) -> BitmapPtr {
        if (picture) return *picture;
        if (drawing) return drawing->bitmap(id);  // a drawing's fills name its own script pixels
        const Character* c = movie->character(id);
        if (!c || c->kind != Character::Kind::Bitmap) return nullptr;
        std::string error;
        BitmapPtr b = static_cast<const BitmapCharacter*>(c)->bitmap(&error);
        if (!b && !error.empty()) rt.unsupported("bitmap " + std::to_string(id) + ": " + error);
        return b;
    };
    raster::Paint paint;
    for (const ShapeGeometry::Group& group : g.groups) {
        for (const ShapeGeometry::Fill& f : group.fills) {
            if (glyphColor) {
                paint = raster::Paint::solid(*glyphColor, cx);
            } else if (!makeFillPaint(f.style, slice_ ? slicedFillMatrix(f.path, m) : m, cx, bitmaps,
                                      paint)) {
                continue;
            }
            if (slice_) {
                sliceToDevice(f.path, m, scratch_);
            } else {
                scratch_ = f.path;
                scratch_.transform(m);
            }
            canvas.fillPath(scratch_, f.rule, paint, antialias_,
                            glyphColor ? raster::kGlyphFlattenTolerance : raster::kFlattenTolerance);
        }
        for (const ShapeGeometry::Line& l : group.lines) {
            if (!makeLinePaint(l.style, m, cx, bitmaps, paint)) continue;
            raster::StrokeStyle stroke = makeStrokeStyle(l.style, m, stageScale_);
            // Flash outlines a line in the space of the shape's parent clip and then maps it with the
            // parent's matrix: the shape's own placement scales the width by one number (the smaller of its
            // two axis scales, or the one axis a no-scale flag leaves), while a stretched parent stretches
            // the line (reference pictures: a stretched clip's 10 px no-scale line is 73 px at the ellipse's
            // sides, a skewed shape on the stage keeps an even width).
            Matrix own = parent_.inverted() * m;
            double sx = std::hypot(own.a, own.b), sy = std::hypot(own.c, own.d);
            double factor = std::min(sx, sy);
            if (l.style.noHScale && l.style.noVScale)
                factor = 1;
            else if (l.style.noHScale)
                factor = sy;
            else if (l.style.noVScale)
                factor = sx;
            stroke.width = l.style.width * factor;
            if (slice_) {
                // Lines of a 9-slice shape keep their width: they are outlined in device pixels.
                stroke.width = std::max(
                    1.0, l.style.width * factor *
                             std::min(std::hypot(parent_.a, parent_.b), std::hypot(parent_.c, parent_.d)));
                sliceToDevice(l.path, m, scratch_);
                canvas.strokePath(scratch_, stroke, paint, antialias_);
                continue;
            }
            scratch_ = l.path;
            scratch_.transform(own);
            canvas.strokePath(scratch_, stroke, parent_, paint, antialias_);
        }
    }
}

void Renderer::drawText(raster::Canvas& canvas, const TextCharacter& text, const Matrix& m,
                        const ColorTransform& cx, const MovieDef* movie, Runtime& rt) {
    const swf::DefineText& def = *text.def;
    Matrix base = m * toMatrix(def.matrix);
    const FontCharacter* font = nullptr;
    Rgba color{0, 0, 0, 255};
    double height = 0, x = 0, y = 0;
    for (const swf::TextRecord& rec : def.records) {
        if (rec.fontId) {
            const Character* c = movie->character(*rec.fontId);
            font = c && c->kind == Character::Kind::Font ? static_cast<const FontCharacter*>(c) : nullptr;
            if (!font) rt.log("text uses font " + std::to_string(*rec.fontId) + ", which is not defined");
        }
        if (rec.color) color = toRgba(*rec.color);
        if (rec.height) height = *rec.height;
        if (rec.xOffset) x = *rec.xOffset;
        if (rec.yOffset) y = *rec.yOffset;
        for (const auto& glyph : rec.glyphs) {
            if (font && glyph.index < font->glyphs.size()) {
                double s = height / font->emSquare;
                Matrix gm = base * Matrix{s, 0, 0, s, x, y};
                drawGeometry(canvas, font->glyphs[glyph.index], gm, cx, movie, rt, &color);
            }
            x += glyph.advance;
        }
    }
}

namespace {

// Adds `from`'s subpaths to `to`.
void appendPath(raster::Path& to, const raster::Path& from) {
    const auto& pts = from.points();
    size_t p = 0;
    for (raster::Path::Verb v : from.verbs()) {
        switch (v) {
            case raster::Path::Verb::Move:
                to.moveTo(pts[p].x, pts[p].y);
                ++p;
                break;
            case raster::Path::Verb::Line:
                to.lineTo(pts[p].x, pts[p].y);
                ++p;
                break;
            case raster::Path::Verb::Quad:
                to.quadTo(pts[p].x, pts[p].y, pts[p + 1].x, pts[p + 1].y);
                p += 2;
                break;
            case raster::Path::Verb::Close:
                to.close();
                break;
        }
    }
}

}  // namespace

void Renderer::paintMaskRun(raster::Canvas& canvas, const raster::Paint& paint) {
    // The run's box on the canvas; the masks' coverage is added up in it (capped at full) and painted once.
    constexpr int64_t kLow = std::numeric_limits<int64_t>::min(), kHigh = std::numeric_limits<int64_t>::max();
    int64_t bx0 = kHigh, by0 = kHigh, bx1 = kLow, by1 = kLow;
    for (const PlacedMask& p : maskRun_) {
        bx0 = std::min<int64_t>(bx0, p.x);
        by0 = std::min<int64_t>(by0, p.y);
        bx1 = std::max<int64_t>(bx1, int64_t(p.x) + p.mask->width);
        by1 = std::max<int64_t>(by1, int64_t(p.y) + p.mask->height);
    }
    bx0 = std::max<int64_t>(bx0, 0);
    by0 = std::max<int64_t>(by0, 0);
    bx1 = std::min<int64_t>(bx1, canvas.width());
    by1 = std::min<int64_t>(by1, canvas.height());
    if (bx0 < bx1 && by0 < by1) {
        const int w = int(bx1 - bx0), h = int(by1 - by0);
        maskRunCoverage_.assign(size_t(w) * size_t(h), 0);
        for (const PlacedMask& p : maskRun_) {
            const text::GlyphMask& mk = *p.mask;
            const int64_t cx0 = std::max<int64_t>(p.x, bx0),
                          cx1 = std::min<int64_t>(int64_t(p.x) + mk.width, bx1);
            const int64_t cy0 = std::max<int64_t>(p.y, by0),
                          cy1 = std::min<int64_t>(int64_t(p.y) + mk.height, by1);
            for (int64_t y = cy0; y < cy1; ++y) {
                const uint8_t* src =
                    mk.coverage.data() + size_t(y - p.y) * size_t(mk.width) + size_t(cx0 - p.x);
                uint8_t* dst = maskRunCoverage_.data() + size_t(y - by0) * size_t(w) + size_t(cx0 - bx0);
                for (int64_t x = 0; x < cx1 - cx0; ++x)
                    dst[x] = uint8_t(std::min(255, dst[x] + src[x]));
            }
        }
        canvas.fillCoverage(maskRunCoverage_.data(), int(bx0), int(by0), w, h, w, paint, antialias_);
    }
    maskRun_.clear();
}

void Renderer::drawEditText(raster::Canvas& canvas, const EditText& field, const Matrix& objectMatrix,
                            const ColorTransform& cx, Runtime& rt) {
    (void)rt;
    Matrix m = objectMatrix;
    // A field of system fonts adds nothing to a mask (reference pictures: what it masks disappears).
    if (maskMode_ && !field.embedFonts) return;
    if (!field.embedFonts) {
        // A field of system fonts cannot be mirrored: Flash Player does not draw it at all (reference
        // pictures: fields with a negative _xscale or _yscale are missing).
        if (m.a < 0 || m.d < 0) return;
        // Device text is never rotated or skewed: the field keeps its position and scale, upright.
        const double sx = std::hypot(m.a, m.b), sy = std::hypot(m.c, m.d);
        m = Matrix{sx, 0, 0, sy, m.tx, m.ty};
    }
    const swf::Rect& b = field.bounds;
    const double x0 = b.xMin, y0 = b.yMin, x1 = b.xMax, y1 = b.yMax;
    if (!(x0 < x1 && y0 < y1)) return;
    auto rectPath = [&](raster::Path& path, double ax, double ay, double bx, double by) {
        path.clear();
        path.moveTo(ax, ay);
        path.lineTo(bx, ay);
        path.lineTo(bx, by);
        path.lineTo(ax, by);
        path.close();
        path.transform(m);
    };
    auto solid = [&](uint32_t rgb) {
        return raster::Paint::solid(Rgba{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255}, cx);
    };
    if (field.background) {
        rectPath(scratch_, x0, y0, x1, y1);
        canvas.fillPath(scratch_, raster::FillRule::NonZero, solid(field.backgroundColor), antialias_);
    }
    const text::Layout& layout = field.layout();
    if (!layout.glyphs.empty() || !layout.underlines.empty()) {
        const int firstLine = std::clamp(field.scroll, 1, std::max(1, int(layout.lines.size()))) - 1;
        const double dy = layout.lines.empty() ? 0 : text::kGutter - layout.lines[size_t(firstLine)].top;
        const double dx = -field.hscroll * 20.0;
        const double width = x1 - x0, height = y1 - y0;
        // Text is clipped to the field, unless this picture builds a mask (the field's rectangle is then
        // added in full) or the text lies inside the field anyway (most fields: no clip layer to build).
        bool overflows = firstLine > 0 || field.hscroll > 0 || layout.textWidth + 2 * text::kGutter > width;
        if (!layout.lines.empty()) {
            const text::LayoutLine& last = layout.lines.back();
            overflows = overflows || last.top + dy + last.ascent + last.descent > height;
        }
        const bool clip = overflows && !canvas.buildingMask();
        if (clip) {
            canvas.beginMask();
            rectPath(scratch_, x0, y0, x1, y1);
            canvas.fillPath(scratch_, raster::FillRule::NonZero, solid(0), false);
            canvas.endMask();
        }
        // Glyphs are copied from their kept coverage masks where they can be (see GlyphMaskCache), else
        // filled from their outlines. Glyphs of a system font (non-zero outlines) are painted a run of one
        // colour at a time, their coverage added up so that pixels two glyphs share are not blended twice;
        // embedded glyphs (even-odd outlines, which may overlap their neighbours) one by one.
        glyphMasks_.trim();
        raster::Path& run = textRun_;
        run.clear();
        maskRun_.clear();
        const text::Font* runFont = nullptr;
        uint32_t runColor = 0;
        auto flush = [&] {
            if (!run.empty())
                canvas.fillPath(run, runFont->rule, solid(runColor), antialias_,
                                raster::kGlyphFlattenTolerance);
            run.clear();
            if (!maskRun_.empty()) paintMaskRun(canvas, solid(runColor));
        };
        for (const text::PlacedGlyph& g : layout.glyphs) {
            if (int(g.line) < firstLine) continue;
            const double top = g.y + dy;
            if (top - layout.lines[g.line].ascent > height) break;
            const Matrix gm = m * Matrix{g.scale, 0, 0, g.scale, x0 + g.x + dx, y0 + top};
            const bool nonZero = g.font->rule == raster::FillRule::NonZero;
            if (nonZero && (runFont != g.font || runColor != g.color)) {
                if (runFont) flush();
                runFont = g.font;
                runColor = g.color;
            }
            int px = 0, py = 0;
            if (const text::GlyphMask* mask =
                    glyphMasks_.find(*g.glyph, g.font->rule, antialias_, gm, px, py)) {
                if (mask->coverage.empty()) continue;
                if (!nonZero) {
                    canvas.fillCoverage(mask->coverage.data(), px + mask->x, py + mask->y, mask->width,
                                        mask->height, mask->width, solid(g.color), antialias_);
                } else {
                    if (maskRun_.size() >= kMaxMaskRun) paintMaskRun(canvas, solid(runColor));
                    maskRun_.push_back({mask, px + mask->x, py + mask->y});
                }
                continue;
            }
            scratch_ = g.glyph->outline;
            scratch_.transform(gm);
            if (!nonZero) {
                canvas.fillPath(scratch_, g.font->rule, solid(g.color), antialias_,
                                raster::kGlyphFlattenTolerance);
                continue;
            }
            appendPath(run, scratch_);
        }
        if (runFont) flush();
        for (const text::Underline& u : layout.underlines) {
            if (int(u.line) < firstLine) continue;
            const double y = u.y + dy;
            rectPath(scratch_, x0 + u.x0 + dx, y0 + y, x0 + u.x1 + dx, y0 + y + u.thickness);
            canvas.fillPath(scratch_, raster::FillRule::NonZero, solid(u.color), antialias_);
        }
        if (clip) canvas.popMask();
    }
    if (field.border && !maskMode_) {
        // A one-pixel line on the pixels the field's edges start at: the right and bottom lines lie just
        // outside the field's rectangle, as Flash draws them.
        Matrix toDevice = m;
        double ax, ay, bx, by;
        toDevice.apply(x0, y0, ax, ay);
        toDevice.apply(x1, y1, bx, by);
        raster::Path& path = scratch_;
        path.clear();
        const double l = std::round(std::min(ax, bx)) + 0.5, r = std::round(std::max(ax, bx)) + 0.5;
        const double t = std::round(std::min(ay, by)) + 0.5, btm = std::round(std::max(ay, by)) + 0.5;
        path.moveTo(l, t);
        path.lineTo(r, t);
        path.lineTo(r, btm);
        path.lineTo(l, btm);
        path.close();
        raster::StrokeStyle stroke;
        stroke.width = 1;
        stroke.join = raster::JoinStyle::Miter;
        canvas.strokePath(path, stroke, solid(field.borderColor), antialias_);
    }
}

}  // namespace player
