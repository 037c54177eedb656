#include "player/core/bounds.h"

#include "player/core/edit_text.h"
#include "player/core/movie_clip.h"

namespace player {

namespace {

void addRect(BoundsRect& out, const swf::Rect& r, const Matrix& m) {
    if (r.xMax < r.xMin || r.yMax < r.yMin) return;
    double xs[2] = {double(r.xMin), double(r.xMax)}, ys[2] = {double(r.yMin), double(r.yMax)};
    for (double x : xs)
        for (double y : ys) {
            double ox, oy;
            m.apply(x, y, ox, oy);
            out.add(ox, oy);
        }
}

void addObject(BoundsRect& out, const DisplayObject* obj, const Matrix& m, int depth) {
    if (depth > 64) return;
    if (const Character* c = obj->character()) {
        switch (c->kind) {
            case Character::Kind::Shape:
                addRect(out, static_cast<const ShapeCharacter*>(c)->bounds, m);
                break;
            case Character::Kind::MorphShape: {
                const auto* def = static_cast<const MorphCharacter*>(c)->def;
                if (def) {
                    double t = obj->ratio / 65535.0;
                    swf::Rect r;
                    r.xMin =
                        int32_t(def->startBounds.xMin + (def->endBounds.xMin - def->startBounds.xMin) * t);
                    r.xMax =
                        int32_t(def->startBounds.xMax + (def->endBounds.xMax - def->startBounds.xMax) * t);
                    r.yMin =
                        int32_t(def->startBounds.yMin + (def->endBounds.yMin - def->startBounds.yMin) * t);
                    r.yMax =
                        int32_t(def->startBounds.yMax + (def->endBounds.yMax - def->startBounds.yMax) * t);
                    addRect(out, r, m);
                }
                break;
            }
            case Character::Kind::Text:
                if (const auto* def = static_cast<const TextCharacter*>(c)->def) addRect(out, def->bounds, m);
                break;
            case Character::Kind::EditText:
                addRect(out, static_cast<const EditText*>(obj)->bounds, m);
                break;
            default:
                break;
        }
    }
    const DisplayList* children = nullptr;
    if (const MovieClip* clip = const_cast<DisplayObject*>(obj)->asClip()) {
        children = &clip->children();
        if (clip->drawing && !clip->drawing->bounds().empty()) {
            const BoundsRect& b = clip->drawing->bounds();
            swf::Rect r{int32_t(b.xMin), int32_t(b.xMax), int32_t(b.yMin), int32_t(b.yMax)};
            addRect(out, r, m);
        }
    } else if (obj->character() && obj->character()->kind == Character::Kind::Button)
        children = &static_cast<const ButtonObject*>(obj)->children();
    if (!children) return;
    for (const auto& [d, child] : *children) {
        if (child->clipDepth) continue;
        addObject(out, child.get(), m * child->matrix, depth + 1);
    }
}

}  // namespace

BoundsRect boundsIn(const DisplayObject* obj, const Matrix* m) {
    BoundsRect out;
    if (obj) addObject(out, obj, m ? *m : Matrix{}, 0);
    return out;
}

Matrix worldMatrix(const DisplayObject* obj) {
    Matrix m;
    int guard = 0;
    for (const DisplayObject* o = obj; o && o->parent && guard < 256; o = o->parent, ++guard)
        m = o->matrix * m;
    return m;
}

}  // namespace player
