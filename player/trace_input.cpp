#include "player/trace_input.h"

#include <cctype>
#include <cstdlib>
#include <memory>
#include <utility>

#include "player/avm1/value.h"
#include "player/player.h"

namespace player {

namespace {

// Just enough JSON for the event lists: objects, arrays, strings, numbers, true/false/null.
struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    double number = 0;
    std::string string;
    std::vector<Json> items;
    std::vector<std::string> keys;  // an object's field names, its values in `items`

    const Json* field(const std::string& name) const {
        for (size_t i = 0; i < keys.size() && i < items.size(); ++i)
            if (keys[i] == name) return &items[i];
        return nullptr;
    }
};

class Reader {
  public:
    explicit Reader(const std::string& s) : s_(s) {}
    bool value(Json& out, int depth) {
        skip();
        if (depth > 64 || i_ >= s_.size()) return false;
        char c = s_[i_];
        if (c == '{') {
            out.type = Json::Type::Object;
            ++i_;
            skip();
            if (peek('}')) return ++i_, true;
            for (;;) {
                skip();
                Json key;
                if (!peek('"') || !string(key.string)) return false;
                skip();
                if (!peek(':')) return false;
                ++i_;
                Json v;
                if (!value(v, depth + 1)) return false;
                out.keys.push_back(key.string);
                out.items.push_back(std::move(v));
                skip();
                if (peek(',')) {
                    ++i_;
                    continue;
                }
                if (peek('}')) return ++i_, true;
                return false;
            }
        }
        if (c == '[') {
            out.type = Json::Type::Array;
            ++i_;
            skip();
            if (peek(']')) return ++i_, true;
            for (;;) {
                Json v;
                if (!value(v, depth + 1)) return false;
                out.items.push_back(std::move(v));
                skip();
                if (peek(',')) {
                    ++i_;
                    continue;
                }
                if (peek(']')) return ++i_, true;
                return false;
            }
        }
        if (c == '"') {
            out.type = Json::Type::String;
            return string(out.string);
        }
        for (const char* word : {"true", "false", "null"}) {
            size_t n = std::char_traits<char>::length(word);
            if (s_.compare(i_, n, word) == 0) {
                i_ += n;
                out.type = word[0] == 'n' ? Json::Type::Null : Json::Type::Bool;
                out.number = word[0] == 't';
                return true;
            }
        }
        const char* begin = s_.c_str() + i_;
        char* end = nullptr;
        out.number = std::strtod(begin, &end);
        if (end == begin) return false;
        out.type = Json::Type::Number;
        i_ += size_t(end - begin);
        return true;
    }
    bool atEnd() {
        skip();
        return i_ == s_.size();
    }

  private:
    void skip() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            ++i_;
    }
    bool peek(char c) const { return i_ < s_.size() && s_[i_] == c; }
    bool string(std::string& out) {
        ++i_;  // opening quote
        while (i_ < s_.size()) {
            char c = s_[i_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ >= s_.size()) return false;
            char e = s_[i_++];
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    if (i_ + 4 > s_.size()) return false;
                    uint32_t cp = uint32_t(std::strtoul(s_.substr(i_, 4).c_str(), nullptr, 16));
                    i_ += 4;
                    out += avm1::codeUnitToUtf8(cp);
                    break;
                }
                default:
                    out += e;
            }
        }
        return false;
    }

    const std::string& s_;
    size_t i_ = 0;
};

}  // namespace

void keyCodeFor(const std::string& name, bool isChar, int& keyCode, int& ascii) {
    keyCode = ascii = 0;
    if (isChar) {
        if (name.size() != 1) return;  // characters beyond ASCII have no key code here
        unsigned char c = static_cast<unsigned char>(name[0]);
        ascii = c;
        if (std::isalpha(c)) {
            keyCode = std::toupper(c);
        } else if (std::isdigit(c)) {
            keyCode = c;
        } else {
            static const std::pair<char, int> punct[] = {
                {';', 186}, {':', 186}, {'=', 187},  {'+', 187}, {',', 188}, {'<', 188}, {'-', 189},
                {'_', 189}, {'.', 190}, {'>', 190},  {'/', 191}, {'?', 191}, {'`', 192}, {'~', 192},
                {'[', 219}, {'{', 219}, {'\\', 220}, {'|', 220}, {']', 221}, {'}', 221}, {'\'', 222},
                {'"', 222}, {' ', 32},  {'!', 49},   {'@', 50},  {'#', 51},  {'$', 52},  {'%', 53},
                {'^', 54},  {'&', 55},  {'*', 56},   {'(', 57},  {')', 48}};
            for (const auto& [ch, code] : punct)
                if (ch == char(c)) keyCode = code;
        }
        return;
    }
    static const struct {
        const char* name;
        int code, ascii;
    } named[] = {{"Backspace", 8, 8},   {"Tab", 9, 9},          {"Enter", 13, 13},       {"LeftShift", 16, 0},
                 {"RightShift", 16, 0}, {"LeftControl", 17, 0}, {"RightControl", 17, 0}, {"LeftAlt", 18, 0},
                 {"RightAlt", 18, 0},   {"CapsLock", 20, 0},    {"Escape", 27, 27},      {"Space", 32, 32},
                 {"PageUp", 33, 0},     {"PageDown", 34, 0},    {"End", 35, 0},          {"Home", 36, 0},
                 {"ArrowLeft", 37, 0},  {"ArrowUp", 38, 0},     {"ArrowRight", 39, 0},   {"ArrowDown", 40, 0},
                 {"Insert", 45, 0},     {"Delete", 46, 127}};
    for (const auto& n : named)
        if (name == n.name) {
            keyCode = n.code;
            ascii = n.ascii;
        }
}

bool parseInputEvents(const std::string& json, std::vector<InputEvent>& out, std::string* error) {
    Json root;
    Reader r(json);
    if (!r.value(root, 0) || !r.atEnd() || root.type != Json::Type::Array) {
        if (error) *error = "not a JSON list of input events";
        return false;
    }
    for (const Json& e : root.items) {
        const Json* type = e.field("type");
        if (e.type != Json::Type::Object || !type || type->type != Json::Type::String) {
            if (error) *error = "an input event without a \"type\"";
            return false;
        }
        InputEvent ev;
        const std::string& t = type->string;
        if (t == "MouseMove") ev.kind = InputEvent::Kind::MouseMove;
        if (t == "MouseDown") ev.kind = InputEvent::Kind::MouseDown;
        if (t == "MouseUp") ev.kind = InputEvent::Kind::MouseUp;
        if (t == "KeyDown") ev.kind = InputEvent::Kind::KeyDown;
        if (t == "KeyUp") ev.kind = InputEvent::Kind::KeyUp;
        if (t == "Wait") ev.kind = InputEvent::Kind::Wait;
        if (t == "TextInput") {
            const Json* cp = e.field("codepoint");
            if (cp && cp->type == Json::Type::String) {
                ev.kind = InputEvent::Kind::TextInput;
                ev.text = cp->string;
            }
        }
        if (t == "SetClipboardText") {
            if (const Json* text = e.field("text"); text && text->type == Json::Type::String) {
                ev.kind = InputEvent::Kind::Clipboard;
                ev.text = text->string;
            }
        }
        if (t == "TextControl") {
            static const std::pair<const char*, Player::EditKey> codes[] = {
                {"MoveLeft", Player::EditKey::Left},       {"MoveRight", Player::EditKey::Right},
                {"MoveLeftLine", Player::EditKey::Home},   {"MoveRightLine", Player::EditKey::End},
                {"Backspace", Player::EditKey::Backspace}, {"Delete", Player::EditKey::Delete},
                {"Enter", Player::EditKey::Enter},         {"SelectAll", Player::EditKey::SelectAll},
                {"Copy", Player::EditKey::Copy},           {"Cut", Player::EditKey::Cut},
                {"Paste", Player::EditKey::Paste}};
            if (const Json* code = e.field("code"); code && code->type == Json::Type::String)
                for (const auto& [name, key] : codes)
                    if (code->string == name) {
                        ev.kind = InputEvent::Kind::TextControl;
                        ev.editKey = int(key);
                    }
        }
        if (const Json* pos = e.field("pos");
            pos && pos->type == Json::Type::Array && pos->items.size() == 2) {
            ev.x = pos->items[0].number;
            ev.y = pos->items[1].number;
            ev.hasPos = true;
        }
        if (const Json* key = e.field("key")) {
            if (key->type == Json::Type::String) {
                keyCodeFor(key->string, false, ev.keyCode, ev.ascii);
            } else if (const Json* ch = key->field("Char"); ch && ch->type == Json::Type::String) {
                keyCodeFor(ch->string, true, ev.keyCode, ev.ascii);
            }
        }
        out.push_back(ev);
    }
    return true;
}

size_t playInputEvents(Player& p, const std::vector<InputEvent>& events, size_t next) {
    for (; next < events.size(); ++next) {
        const InputEvent& e = events[next];
        switch (e.kind) {
            case InputEvent::Kind::Wait:
                return next + 1;
            case InputEvent::Kind::MouseMove:
                p.mouseMove(e.x, e.y);
                break;
            case InputEvent::Kind::MouseDown:
                if (e.hasPos) p.mouseMove(e.x, e.y);
                p.mouseDown();
                break;
            case InputEvent::Kind::MouseUp:
                if (e.hasPos) p.mouseMove(e.x, e.y);
                p.mouseUp();
                break;
            case InputEvent::Kind::KeyDown:
                if (e.keyCode) p.keyDown(e.keyCode, e.ascii);
                break;
            case InputEvent::Kind::KeyUp:
                if (e.keyCode) p.keyUp(e.keyCode, e.ascii);
                break;
            case InputEvent::Kind::TextInput:
                p.typeText(e.text);
                break;
            case InputEvent::Kind::Clipboard:
                p.setClipboard(e.text);
                break;
            case InputEvent::Kind::TextControl:
                p.editKey(Player::EditKey(e.editKey));
                break;
            case InputEvent::Kind::Other:
                break;
        }
        if (p.quitRequested()) return events.size();
    }
    return next;
}

}  // namespace player
