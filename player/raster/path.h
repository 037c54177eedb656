// A vector path in device pixels: subpaths of straight segments and quadratic Béziers (SWF shape records
// only have quadratic curves). Plain data: building a path never fails; invalid numbers are caught when a
// path is drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "player/render/geometry.h"

namespace raster {

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

class Path {
  public:
    enum class Verb : uint8_t { Move, Line, Quad, Close };

    void moveTo(double x, double y);
    void lineTo(double x, double y);
    // Quadratic Bézier from the current point through control (cx, cy) to (x, y).
    void quadTo(double cx, double cy, double x, double y);
    // Closes the current subpath with a straight segment back to its start. A stroke then joins the ends
    // instead of capping them. Fills close every subpath anyway.
    void close();

    void clear();
    void reserve(size_t points);
    bool empty() const { return verbs_.empty(); }

    // Maps every point through m (e.g. a shape's twip coordinates to device pixels). The translation of m
    // is first rounded to the nearest 1/kTranslationGrid pixel (a whole twip): Flash Player places shapes
    // on the twips grid, while their points keep the precision of the scale and rotation.
    void transform(const player::Matrix& m);
    Path transformed(const player::Matrix& m) const;

    const std::vector<Verb>& verbs() const { return verbs_; }
    // One point per Move/Line, two per Quad (control, end), none per Close.
    const std::vector<Point>& points() const { return points_; }

  private:
    std::vector<Verb> verbs_;
    std::vector<Point> points_;
    bool open_ = false;  // a Move has been given for the current subpath
};

}  // namespace raster
