// Whether a point of the stage falls on what a display object draws: the fills of its shapes and
// drawings, the boxes of its bitmaps, texts and videos, through its children. Used for the mouse (buttons
// and clips with mouse handlers) and for hitTest(x, y, true).
#pragma once

#include "player/core/display_object.h"

namespace player {

// (x, y) in stage twips.
bool hitsShape(const DisplayObject* obj, double x, double y);

}  // namespace player
