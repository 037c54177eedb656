#include "player/core/hit_test.h"

#include <cmath>

#include "player/core/bounds.h"
#include "player/core/movie_clip.h"

namespace player {

namespace {

// Crossings of a ray from (x, y) towards +x with one segment: +1 upwards, -1 downwards.
int crossing(double x0, double y0, double x1, double y1, double x, double y) {
    if ((y0 < y) == (y1 < y)) return 0;
    double t = (y - y0) / (y1 - y0);
    if (x0 + t * (x1 - x0) <= x) return 0;
    return y1 > y0 ? 1 : -1;
}

// Winding number of a closed path around (x, y); curves are followed as short straight pieces.
int winding(const raster::Path& path, double x, double y) {
    int w = 0;
    const auto& verbs = path.verbs();
    const auto& pts = path.points();
    size_t pi = 0;
    raster::Point start, cur;
    bool open = false;
    auto closeSub = [&] {
        if (open) w += crossing(cur.x, cur.y, start.x, start.y, x, y);
        open = false;
    };
    for (raster::Path::Verb v : verbs) {
        switch (v) {
            case raster::Path::Verb::Move:
                closeSub();
                start = cur = pts[pi++];
                open = true;
                break;
            case raster::Path::Verb::Line: {
                raster::Point p = pts[pi++];
                w += crossing(cur.x, cur.y, p.x, p.y, x, y);
                cur = p;
                open = true;
                break;
            }
            case raster::Path::Verb::Quad: {
                raster::Point c = pts[pi], p = pts[pi + 1];
                pi += 2;
                raster::Point prev = cur;
                constexpr int kPieces = 8;
                for (int i = 1; i <= kPieces; ++i) {
                    double t = double(i) / kPieces, u = 1 - t;
                    raster::Point q{u * u * cur.x + 2 * u * t * c.x + t * t * p.x,
                                    u * u * cur.y + 2 * u * t * c.y + t * t * p.y};
                    w += crossing(prev.x, prev.y, q.x, q.y, x, y);
                    prev = q;
                }
                cur = p;
                open = true;
                break;
            }
            case raster::Path::Verb::Close:
                closeSub();
                cur = start;
                break;
        }
    }
    closeSub();
    return w;
}

bool hitsGeometry(const ShapeGeometry& g, double x, double y) {
    for (const ShapeGeometry::Group& group : g.groups)
        for (const ShapeGeometry::Fill& f : group.fills) {
            int w = winding(f.path, x, y);
            if (f.rule == raster::FillRule::EvenOdd ? (w & 1) : w != 0) return true;
        }
    return false;
}

bool inRect(const swf::Rect& r, double x, double y) {
    return x >= r.xMin && x <= r.xMax && y >= r.yMin && y <= r.yMax;
}

bool hitsLocal(const DisplayObject* obj, const Matrix& world, double sx, double sy, int depth) {
    if (depth > 64 || !obj->visible) return false;
    double x, y;
    world.inverted().apply(sx, sy, x, y);
    if (const Character* c = obj->character()) {
        switch (c->kind) {
            case Character::Kind::Shape: {
                const auto* s = static_cast<const ShapeCharacter*>(c);
                return inRect(s->bounds, x, y) && hitsGeometry(s->geometry, x, y);
            }
            case Character::Kind::MorphShape:
                return hitsGeometry(static_cast<const MorphCharacter*>(c)->geometryAt(obj->ratio), x, y);
            case Character::Kind::Text:
            case Character::Kind::EditText:
            case Character::Kind::Bitmap:
            case Character::Kind::Video: {
                BoundsRect b = boundsIn(obj, nullptr);
                return !b.empty() && x >= b.xMin && x <= b.xMax && y >= b.yMin && y <= b.yMax;
            }
            default:
                break;
        }
    }
    const DisplayList* children = nullptr;
    if (const MovieClip* clip = const_cast<DisplayObject*>(obj)->asClip()) {
        if (clip->drawing && hitsGeometry(clip->drawing->geometry(), x, y)) return true;
        children = &clip->children();
    } else if (obj->character() && obj->character()->kind == Character::Kind::Button) {
        children = &static_cast<const ButtonObject*>(obj)->children();
    }
    if (!children) return false;
    for (const auto& [d, child] : *children) {
        if (child->clipDepth) continue;
        if (hitsLocal(child.get(), world * child->matrix, sx, sy, depth + 1)) return true;
    }
    return false;
}

}  // namespace

bool hitsShape(const DisplayObject* obj, double x, double y) {
    return obj && hitsLocal(obj, worldMatrix(obj), x, y, 0);
}

}  // namespace player
