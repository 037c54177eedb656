// Bounds of display objects in twips, for _width/_height, getBounds and hit tests.
#pragma once

#include <algorithm>

#include "player/core/display_object.h"

namespace player {

struct BoundsRect {
    double xMin = 0, yMin = 0, xMax = -1, yMax = -1;
    bool empty() const { return xMax < xMin || yMax < yMin; }
    void add(double x, double y) {
        if (empty()) {
            xMin = xMax = x;
            yMin = yMax = y;
            return;
        }
        xMin = std::min(xMin, x);
        xMax = std::max(xMax, x);
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
    }
    void add(const BoundsRect& r) {
        if (r.empty()) return;
        add(r.xMin, r.yMin);
        add(r.xMax, r.yMax);
    }
};

// Bounds of `obj` and its children in the space `m` maps its local space into (its own space when null).
BoundsRect boundsIn(const DisplayObject* obj, const Matrix* m);
// The matrix from an object's local space to the stage (twips).
Matrix worldMatrix(const DisplayObject* obj);

}  // namespace player
