// What TextField, TextFormat and TextField.StyleSheet share: the script object of a text field, and
// formats converted between the field's form and TextFormat objects.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "player/avm1/object.h"
#include "player/text/html.h"

namespace player {
class EditText;
class MovieClip;
}  // namespace player

namespace player::avm1 {

class Vm;

// A text field as scripts see it. Holds the field weakly: a removed field's properties read undefined.
class TextFieldObject : public Object {
  public:
    TextFieldObject(Object* proto, EditText* field);
    EditText* field() const;
    bool getOwn(Vm& vm, const std::string& name, Object* self, Value& out) override;
    void set(Vm& vm, const std::string& name, const Value& value) override;
    bool hasOwn(Vm& vm, const std::string& name) override;
    void trace(std::vector<GcCell*>& out) const override;

    Value styleSheet = Value::null();  // a TextField.StyleSheet, or null
    // The field's selection, in characters: begin <= end, the caret at one of them. A field keeps it
    // while it has no focus; readers clamp it to the text's length.
    size_t selBegin = 0, selEnd = 0, caret = 0;
    void select(size_t begin, size_t end, size_t caretAt) {
        selBegin = std::min(begin, end);
        selEnd = std::max(begin, end);
        caret = caretAt;
    }

  private:
    std::weak_ptr<EditText*> handle_;
};

// After typing changed a field's text: autoSize, the bound variable, then onChanged for the field and its
// listeners.
void fieldEdited(Vm& vm, TextFieldObject* t);

// The script object of a field, made on first use.
TextFieldObject* textFieldObjectOf(Vm& vm, EditText* field);
// The text field child of `clip` named `name` (script object), or null.
Object* textFieldChild(Vm& vm, MovieClip* clip, const std::string& name);

// removeTextField: a field at a script depth leaves its clip (anything else stays).
void removeTextFieldOf(const Value& field);

// A text format made natively (new TextFormat, a new field, getNewTextFormat...): TextFormat.prototype
// gets its property accessors if it has none.
void textFormatMade(Vm& vm);
// A new TextFormat whose properties are those of `f`; with `mixed`, the properties that differ over a
// range are null (bits as listed in text_format.cpp).
Object* newTextFormat(Vm& vm, const text::TextFormat& f, uint32_t mixed = 0);
// Copies the properties a TextFormat object sets (not null, not undefined) into `f`.
void applyTextFormat(Vm& vm, Object* format, text::TextFormat& f);
// The same in two steps: reading the object (which may run script) into `values`, returning which
// properties it sets; then copying those into a format (no script).
uint32_t readTextFormat(Vm& vm, Object* format, text::TextFormat& values);
void applyTextFormat(const text::TextFormat& values, uint32_t set, text::TextFormat& f);
// Properties that differ between two formats, as `mixed` bits.
uint32_t formatDifferences(const text::TextFormat& a, const text::TextFormat& b);
// The style rules of a TextField.StyleSheet as the HTML reader uses them (a copy: later changes to the
// sheet are seen when the field's HTML is set again).
text::StyleLookup styleLookupOf(Vm& vm, Object* sheet);

void installTextFormat(Vm& vm);  // TextFormat
void installStyleSheet(Vm& vm);  // TextField.StyleSheet (after TextField)

}  // namespace player::avm1
