// Keyboard focus moved by the Tab key: which objects take it, in what order.
#pragma once

#include <string>
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

// The object that has the keyboard focus while it is on the stage, else null.
Object* focusedObject(Vm& vm);

// What the user does in the focused input field besides typing characters.
enum class EditKey { Left, Right, Home, End, Backspace, Delete, Enter, SelectAll };

// Characters typed (UTF-8) go into the focused input field, replacing its selection, as far as the field's
// restrict and maxChars let them; the field then hears onChanged. Nothing happens without such a field.
void typeText(Vm& vm, const std::string& utf8);
void editKey(Vm& vm, EditKey key);
// Copy (cut: and remove) the focused input field's selection into `out`; false when there is none, or the
// field is a password field (its text is never copied).
bool takeSelection(Vm& vm, bool cut, std::string& out);

// tabIndex of buttons and clips: a signed 32-bit number (what does not fit, NaN too, becomes the lowest),
// hidden from for-in. Installed once MovieClip and Button are.
void installFocusProperties(Vm& vm);

}  // namespace player::avm1
