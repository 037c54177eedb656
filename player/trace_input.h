// Scripted user input for headless runs: mouse and key events between frames, read from a JSON list of
// events such as
//   [{"type": "MouseMove", "pos": [160, 160]}, {"type": "MouseDown", "pos": [160, 160], "btn": "Left"},
//    {"type": "Wait"}, {"type": "KeyDown", "key": {"Char": "a"}}, {"type": "KeyUp", "key": "Tab"},
//    {"type": "TextInput", "codepoint": "a"}, {"type": "TextControl", "code": "Backspace"}]
// "Wait" ends the events given after one frame; the next frame runs before the events after it.
#pragma once

#include <string>
#include <vector>

namespace player {

class Player;

struct InputEvent {
    enum class Kind {
        MouseMove,
        MouseDown,
        MouseUp,
        KeyDown,
        KeyUp,
        TextInput,
        TextControl,
        Clipboard,
        Wait,
        Other
    };
    Kind kind = Kind::Other;
    double x = 0, y = 0;  // stage pixels
    bool hasPos = false;
    int keyCode = 0;  // Flash key code
    int ascii = 0;
    std::string text;  // TextInput: the characters typed; Clipboard: the clipboard's new text
    int editKey = -1;  // TextControl: a Player::EditKey
};

// Parses the list; false with *error on text that is not such a list. Event types this player does not
// take (focus, input methods) are kept as Other and skipped when played.
bool parseInputEvents(const std::string& json, std::vector<InputEvent>& out, std::string* error);

// Plays events from `next` up to (and past) the next Wait, or to the end; returns the index after them.
size_t playInputEvents(Player& p, const std::vector<InputEvent>& events, size_t next);

// Flash's key code and character for a key named as in the list ("Tab", "ArrowLeft", a character).
void keyCodeFor(const std::string& name, bool isChar, int& keyCode, int& ascii);

}  // namespace player
