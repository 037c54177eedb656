// Typing into the focused input field: characters, Enter, Backspace, Delete, the arrows and select-all,
// within the field's restrict and maxChars.
#include <algorithm>
#include <cctype>

#include "player/avm1/builtins/focus.h"
#include "player/avm1/builtins/text_support.h"
#include "player/avm1/vm.h"
#include "player/core/edit_text.h"
#include "player/text/styled_text.h"

namespace player::avm1 {

namespace {

// The focused field when it takes typing (an input field).
TextFieldObject* inputFocus(Vm& vm) {
    auto* t = dynamic_cast<TextFieldObject*>(focusedObject(vm));
    EditText* f = t ? t->field() : nullptr;
    return f && !f->readOnly ? t : nullptr;
}

// A field's restrict: which characters typing may enter. Characters and ranges ("a-z") are let in; "^"
// switches to leaving out what follows (and back); "\\" takes the next character as it is. A string that
// begins with "^" lets in everything it does not leave out. The last rule that names a character decides.
// A "-" with no character before it starts its range at 0; one with no character after it counts for
// nothing.
class Restrict {
  public:
    explicit Restrict(const std::u32string& pattern) {
        bool include = true;
        open_ = !pattern.empty() && pattern[0] == U'^';
        char32_t last = 0;  // the character a following "-" starts its range at (0 after none)
        for (size_t i = 0; i < pattern.size(); ++i) {
            char32_t c = pattern[i];
            if (c == U'^') {
                include = !include;
                last = 0;
                continue;
            }
            if (c == U'-') {
                size_t j = i + 1;
                if (j >= pattern.size() || pattern[j] == U'-' || pattern[j] == U'^') continue;
                if (pattern[j] == U'\\' && j + 1 < pattern.size()) ++j;
                rules_.push_back({last, pattern[j], include});
                last = 0;
                i = j;
                continue;
            }
            if (c == U'\\') {
                if (i + 1 == pattern.size()) break;  // a "\\" at the end escapes nothing
                c = pattern[++i];
            }
            rules_.push_back({c, c, include});
            last = c;
        }
    }
    bool allows(char32_t c) const {
        bool ok = open_;
        for (const Rule& r : rules_)
            if (c >= r.first && c <= r.last) ok = r.include;
        return ok;
    }
    // The character as typed, or in the other case when only that is let in; 0 when neither is.
    char32_t admit(char32_t c) const {
        if (allows(c)) return c;
        if (c < 128 && std::isalpha(int(c))) {
            const char32_t other =
                std::islower(int(c)) ? char32_t(std::toupper(int(c))) : char32_t(std::tolower(int(c)));
            if (allows(other)) return other;
        }
        return 0;
    }

  private:
    struct Rule {
        char32_t first, last;
        bool include;
    };
    std::vector<Rule> rules_;
    bool open_ = false;
};

// Replaces the field's selection with `text` (already filtered), the caret after it.
void replaceSelection(TextFieldObject* t, const std::u32string& text) {
    EditText* f = t->field();
    const size_t length = f->length();
    const size_t begin = std::min(t->selBegin, length), end = std::min(t->selEnd, length);
    f->replaceText(begin, end, text::toUtf8(text));
    const size_t after = std::min(begin + text.size(), f->length());
    t->select(after, after, after);
}

}  // namespace

void typeText(Vm& vm, const std::string& utf8) {
    TextFieldObject* t = inputFocus(vm);
    if (!t) return;
    const Value restrictValue = t->get(vm, "restrict");
    const std::string pattern = restrictValue.isString() ? restrictValue.string() : std::string();
    if (!(t = inputFocus(vm))) return;
    EditText* f = t->field();
    const Restrict restrict(text::fromUtf8(pattern));
    std::u32string in = text::fromUtf8(utf8), out;
    for (char32_t c : in) {
        // Line ends come from Enter, in multiline fields only.
        if (c == U'\r' || c == U'\n' || c < 0x20) continue;
        if (!pattern.empty()) c = restrict.admit(c);
        if (c) out.push_back(c);
    }
    const size_t length = f->length();
    const size_t selected = std::min(t->selEnd, length) - std::min(t->selBegin, length);
    if (f->maxChars > 0) {
        const size_t room =
            size_t(f->maxChars) > length - selected ? size_t(f->maxChars) - (length - selected) : 0;
        if (out.size() > room) out.resize(room);
    }
    if (out.empty()) return;
    replaceSelection(t, out);
    fieldEdited(vm, t);
}

void editKey(Vm& vm, EditKey key) {
    TextFieldObject* t = inputFocus(vm);
    if (!t) return;
    EditText* f = t->field();
    const size_t length = f->length();
    size_t begin = std::min(t->selBegin, length), end = std::min(t->selEnd, length);
    const size_t caret = std::min(t->caret, length);
    switch (key) {
        case EditKey::Left:
            begin = begin != end ? begin : (caret > 0 ? caret - 1 : 0);
            t->select(begin, begin, begin);
            return;
        case EditKey::Right:
            end = begin != end ? end : std::min(caret + 1, length);
            t->select(end, end, end);
            return;
        case EditKey::Home:
            t->select(0, 0, 0);
            return;
        case EditKey::End:
            t->select(length, length, length);
            return;
        case EditKey::SelectAll:
            t->select(0, length, length);
            return;
        case EditKey::Enter:
            if (!f->multiline) return;
            if (f->maxChars > 0 && length - (end - begin) >= size_t(f->maxChars)) return;
            replaceSelection(t, U"\r");
            break;
        case EditKey::Backspace:
        case EditKey::Delete:
            if (begin == end) {
                if (key == EditKey::Backspace && begin > 0) --begin;
                if (key == EditKey::Delete && end < length) ++end;
            }
            if (begin == end) return;
            t->select(begin, end, begin);
            replaceSelection(t, U"");
            break;
    }
    fieldEdited(vm, t);
}

bool takeSelection(Vm& vm, bool cut, std::string& out) {
    TextFieldObject* t = inputFocus(vm);
    if (!t || t->field()->password) return false;
    EditText* f = t->field();
    const size_t length = f->length();
    const size_t begin = std::min(t->selBegin, length), end = std::min(t->selEnd, length);
    if (begin == end) return false;
    out = text::toUtf8(f->content().text.substr(begin, end - begin));
    if (cut) {
        replaceSelection(t, U"");
        fieldEdited(vm, t);
    }
    return true;
}

}  // namespace player::avm1
