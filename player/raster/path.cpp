#include "player/raster/path.h"

#include <cmath>

#include "player/raster/limits.h"

namespace raster {

void Path::moveTo(double x, double y) {
    verbs_.push_back(Verb::Move);
    points_.push_back({x, y});
    open_ = true;
}

void Path::lineTo(double x, double y) {
    if (!open_) moveTo(0, 0);
    verbs_.push_back(Verb::Line);
    points_.push_back({x, y});
}

void Path::quadTo(double cx, double cy, double x, double y) {
    if (!open_) moveTo(0, 0);
    verbs_.push_back(Verb::Quad);
    points_.push_back({cx, cy});
    points_.push_back({x, y});
}

void Path::close() {
    if (!open_ || verbs_.back() == Verb::Close) return;
    verbs_.push_back(Verb::Close);
}

void Path::clear() {
    verbs_.clear();
    points_.clear();
    open_ = false;
}

void Path::reserve(size_t points) {
    verbs_.reserve(points);
    points_.reserve(points);
}

void Path::transform(const player::Matrix& matrix) {
    player::Matrix m = matrix;
    m.tx = std::floor(m.tx * kTranslationGrid + 0.5) / kTranslationGrid;
    m.ty = std::floor(m.ty * kTranslationGrid + 0.5) / kTranslationGrid;
    for (Point& p : points_) {
        double x, y;
        m.apply(p.x, p.y, x, y);
        p = {x, y};
    }
}

Path Path::transformed(const player::Matrix& m) const {
    Path copy = *this;
    copy.transform(m);
    return copy;
}

}  // namespace raster
