// Keyboard focus moved by the Tab key: which objects take it, in what order.
#pragma once

#include <vector>

namespace player {
class MovieClip;
}

namespace player::avm1 {

class Vm;
class Object;

// The objects Tab moves the focus through, first to last, under the given level roots: visible input
// fields, buttons and clips that act as buttons (tabEnabled decides where set), not inside a clip whose
// tabChildren is false. When any of them has a tabIndex, only those with one, by it; otherwise by
// position on the stage.
std::vector<Object*> tabOrder(Vm& vm, const std::vector<MovieClip*>& levels);

// Tab (reverse: Shift+Tab): the focus goes to the next object in tab order, or the first when the focus is
// on none of them.
void tabFocus(Vm& vm, const std::vector<MovieClip*>& levels, bool reverse);

// tabIndex of buttons and clips: a signed 32-bit number (what does not fit, NaN too, becomes the lowest),
// hidden from for-in. Installed once MovieClip and Button are.
void installFocusProperties(Vm& vm);

}  // namespace player::avm1
