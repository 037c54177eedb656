#include "player/core/renderer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/runtime.h"
#include "player/core/style_paint.h"

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
        if (obj->clipDepth > 0) {
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
        drawObject(canvas, *obj, m, c, rt);
    }
    while (!clipEnds.empty()) {
        canvas.popMask();
        clipEnds.pop_back();
    }
    --nesting_;
}

void Renderer::drawClip(raster::Canvas& canvas, const MovieClip& clip, const Matrix& toDevice,
                        const ColorTransform& cx, bool antialias, double stageScale, Runtime& rt) {
    antialias_ = antialias;
    stageScale_ = stageScale;
    canvas.setGradientRampCache(&ramps_);
    if (clip.drawing && !clip.drawing->empty())
        drawGeometry(canvas, clip.drawing->geometry(), toDevice, cx, clip.movie(), rt);
    drawList(canvas, clip.children(), toDevice, cx, antialias, stageScale, rt);
}

void Renderer::drawObject(raster::Canvas& canvas, const DisplayObject& obj, const Matrix& m,
                          const ColorTransform& cx, Runtime& rt) {
    if (const MovieClip* clip = const_cast<DisplayObject&>(obj).asClip()) {
        // Clips made by script have no character; every clip draws its drawing below its children.
        drawClip(canvas, *clip, m, cx, antialias_, stageScale_, rt);
        return;
    }
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
        case Character::Kind::Text:
            drawText(canvas, *static_cast<const TextCharacter*>(c), m, cx, obj.movie(), rt);
            break;
        case Character::Kind::Sprite:
            drawList(canvas, static_cast<const MovieClip&>(obj).children(), m, cx, antialias_, stageScale_,
                     rt);
            break;
        case Character::Kind::Button:
            drawList(canvas, static_cast<const ButtonObject&>(obj).children(), m, cx, antialias_, stageScale_,
                     rt);
            break;
        case Character::Kind::Bitmap: {
            // A bitmap character placed directly draws as a rectangle filled with it (20 twips a pixel).
            std::string error;
            BitmapPtr bmp = static_cast<const BitmapCharacter*>(c)->bitmap(&error);
            if (!bmp) {
                if (!error.empty()) rt.unsupported("bitmap " + std::to_string(c->id) + ": " + error);
                break;
            }
            swf::Shape s;
            swf::FillStyle f;
            f.type = swf::FillType::ClippedBitmap;
            f.bitmapId = c->id;
            f.matrix.scaleX = f.matrix.scaleY = 20 << 16;
            s.styles.fills.push_back(f);
            swf::StyleChange sc;
            sc.moveX = 0;
            sc.moveY = 0;
            sc.fill1 = 1;
            s.records.push_back(sc);
            int32_t w = bmp->width * 20, h = bmp->height * 20;
            s.records.push_back(swf::StraightEdge{w, 0});
            s.records.push_back(swf::StraightEdge{0, h});
            s.records.push_back(swf::StraightEdge{-w, 0});
            s.records.push_back(swf::StraightEdge{0, -h});
            drawGeometry(canvas, buildShapeGeometry(s), m, cx, obj.movie(), rt);
            break;
        }
        case Character::Kind::Font:
            break;
    }
}

void Renderer::drawGeometry(raster::Canvas& canvas, const ShapeGeometry& g, const Matrix& m,
                            const ColorTransform& cx, const MovieDef* movie, Runtime& rt,
                            const Rgba* glyphColor) {
    BitmapLookup bitmaps = [movie, &rt](uint16_t id) -> BitmapPtr {
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
            } else if (!makeFillPaint(f.style, m, cx, bitmaps, paint)) {
                continue;
            }
            scratch_ = f.path;
            scratch_.transform(m);
            canvas.fillPath(scratch_, f.rule, paint, antialias_);
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

}  // namespace player
