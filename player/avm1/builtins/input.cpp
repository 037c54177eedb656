// Key, Mouse and Selection. The keyboard state comes from the host's input (a conversion without a user
// has no key down and none pressed last); only a script moves the focus. Listeners are accepted and kept (the
// AsBroadcaster protocol: _listeners, addListener, removeListener, broadcastMessage) so movies that register
// them run on.
#include "player/avm1/builtins/globals.h"
#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/text_support.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/edit_text.h"

namespace player::avm1 {

namespace {

constexpr uint8_t kFixed = kDontEnum | kDontDelete | kReadOnly;

ArrayObject* listenersOf(Vm& vm, const Value& self) {
    Object* o = self.object();
    return o ? dynamic_cast<ArrayObject*>(o->get(vm, "_listeners").object()) : nullptr;
}

// addListener(l): l moves to the end of the list (removed first if there).
Value addListener(Vm& vm, const Value& self, std::vector<Value>& args) {
    ArrayObject* list = listenersOf(vm, self);
    if (!list) return Value(false);
    Value l = arg(args, 0);
    std::vector<Value> one{l};
    vm.callMethod(self, "removeListener", one);
    list->elements.push_back(l);
    return Value(true);
}

// removeListener(l): the first listener equal to l (as == compares) leaves the list.
Value removeListener(Vm& vm, const Value& self, std::vector<Value>& args) {
    ArrayObject* list = listenersOf(vm, self);
    if (!list) return Value(false);
    Value l = arg(args, 0);
    for (size_t i = 0; i < list->elements.size(); ++i)
        if (vm.looseEquals(list->elements[i], l)) {
            list->elements.erase(list->elements.begin() + long(i));
            return Value(true);
        }
    return Value(false);
}

// Makes `o` a broadcaster with the global AsBroadcaster's methods.
void makeBroadcaster(Vm& vm, Object* b, Object* o, uint8_t flags) {
    if (!b) return;
    o->define(vm, "_listeners", Value(vm.newArray()), flags);
    for (const char* m : {"addListener", "removeListener", "broadcastMessage"})
        o->define(vm, m, b->get(vm, m), flags);
}

// AsBroadcaster.initialize(o): o gets a fresh listener list, AsBroadcaster's addListener and
// removeListener as they are now, and broadcastMessage from ASnative(101, 12) (what a script has put in
// the global ASnative decides, as in Flash Player).
Value initialize(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* b = self.object();
    Object* o = arg(args, 0).object();
    if (!b || !o) return Value();
    constexpr uint8_t flags = kDontEnum | kDontDelete;
    std::vector<Value> number{Value(101), Value(12)};
    Value native = vm.global->get(vm, "ASnative");
    Value broadcast =
        native.object() && native.object()->isCallable() ? vm.call(native, Value(), number) : Value();
    o->define(vm, "broadcastMessage", broadcast, flags);
    o->define(vm, "addListener", b->get(vm, "addListener"), flags);
    o->define(vm, "removeListener", b->get(vm, "removeListener"), flags);
    o->define(vm, "_listeners", Value(vm.newArray()), flags);
    return Value();
}

Value broadcasterCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value returnsFalse(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(false);
}

Value keyIsDown(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value(false);
    return Value(vm.keysDown.count(int(clampToInt(vm.toNumber(args[0]), -1, 1 << 16, -1))) > 0);
}

Value keyGetCode(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(vm.lastKeyCode);
}

Value keyGetAscii(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(vm.lastAscii);
}

// The Mouse object remembers whether the pointer shows: show() and hide() answer what it was before.
class MouseObject : public Object {
  public:
    explicit MouseObject(Object* proto) : Object(proto) {}
    bool shown = true;
};

Value setPointer(const Value& self, bool show) {
    auto* m = dynamic_cast<MouseObject*>(self.object());
    if (!m) return Value();
    bool was = m->shown;
    m->shown = show;
    return Value(was ? 1 : 0);
}

Value mouseShow(Vm& vm, const Value& self, std::vector<Value>& args) {
    return setPointer(self, true);
}

Value mouseHide(Vm& vm, const Value& self, std::vector<Value>& args) {
    return setPointer(self, false);
}

// Selection keeps the object a script gave the focus to: a text field, a button, or a clip that acts as one
// (focusEnabled, or a press or roll handler); there is no keyboard to move it during a conversion. A text
// field given the focus has all its text selected, the caret at the end.
class SelectionObject : public Object {
  public:
    explicit SelectionObject(Object* proto) : Object(proto) {}
    Value focus = Value::null();
    int begin = 0, end = 0, caret = 0;  // in the focused text field
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        traceValue(focus, out);
    }
};

// The focused object while it is still on the stage, else null.
Value liveFocus(SelectionObject* s) {
    if (!s) return Value::null();
    Object* o = s->focus.object();
    if (auto* t = dynamic_cast<TextFieldObject*>(o)) return t->field() ? s->focus : Value::null();
    if (ClipObject* c = o ? o->asClip() : nullptr) return c->display() ? s->focus : Value::null();
    return Value::null();
}

EditText* focusedField(SelectionObject* s) {
    auto* t = dynamic_cast<TextFieldObject*>(liveFocus(s).object());
    return t ? t->field() : nullptr;
}

Value getFocus(Vm& vm, const Value& self, std::vector<Value>& args) {
    const Value f = liveFocus(dynamic_cast<SelectionObject*>(self.object()));
    if (ClipObject* c = f.object() ? f.object()->asClip() : nullptr) return Value(c->targetPath());
    return f.isNullish() ? Value::null() : Value(vm.toString(f));
}

// Whether a script may give `o` the focus.
bool acceptsFocus(Vm& vm, Object* o) {
    if (auto* t = dynamic_cast<TextFieldObject*>(o)) return t->field() != nullptr;
    ClipObject* c = o ? o->asClip() : nullptr;
    if (!c || !c->display() || !c->parentClip()) return false;
    if (c->isButton() || vm.toBoolean(c->get(vm, "focusEnabled"))) return true;
    for (const char* h :
         {"onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut", "onDragOver", "onDragOut"})
        if (c->get(vm, h).object()) return true;
    return false;
}

// setFocus(null) takes the focus away and answers true; an object that accepts the focus gets it, and the
// answer is false, as Flash Player gives it. The object losing the focus hears onKillFocus(new), the one
// gaining it onSetFocus(old), then Selection's listeners onSetFocus(old, new).
Value setFocus(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    if (!s || args.empty()) return Value(false);
    Value target = arg(args, 0);
    if (target.isString()) {
        // A path names a clip, or a text field inside one; a path to nothing moves no focus.
        const std::string path = target.string();
        ClipObject* base = vm.host.level(0);
        Object* found = vm.resolvePath(base, path);
        if (!found) {
            const size_t dot = path.find_last_of("./:");
            ClipObject* parent =
                dot == std::string::npos ? base : vm.resolveTarget(base, path.substr(0, dot));
            const std::string name = dot == std::string::npos ? path : path.substr(dot + 1);
            if (parent && parent->clip()) found = textFieldChild(vm, parent->clip(), name);
        }
        if (!found) return Value(false);
        target = Value(found);
    }
    const bool clearing = target.isNullish();
    if (!clearing && !acceptsFocus(vm, target.object())) return Value(false);
    const Value old = liveFocus(s);
    const Value now = clearing ? Value::null() : target;
    if (old.object() == now.object()) return Value(clearing);
    // The object losing the focus still has it while it hears so.
    std::vector<Value> a{now};
    if (!old.isNullish()) vm.callMethod(old, "onKillFocus", a);
    s->focus = now;
    if (EditText* f = focusedField(s)) {
        s->begin = 0;
        s->end = s->caret = int(std::min<size_t>(f->length(), size_t(INT32_MAX)));
    }
    a = {old};
    if (!now.isNullish()) vm.callMethod(now, "onSetFocus", a);
    a = {Value("onSetFocus"), old, now};
    broadcastMessage(vm, Value(s), a);
    return Value(clearing);
}

// The selection in the focused text field (-1 without one).
Value getBeginIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    return Value(focusedField(s) ? s->begin : -1);
}

Value getEndIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    return Value(focusedField(s) ? s->end : -1);
}

Value getCaretIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    return Value(focusedField(s) ? s->caret : -1);
}

// setSelection(begin, end) in the focused text field, within its text; the caret goes to the end given.
Value setSelection(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    EditText* f = focusedField(s);
    if (!f || args.size() < 2) return Value();
    const int64_t length = int64_t(std::min<size_t>(f->length(), size_t(INT32_MAX)));
    const int b = int(clampToInt(vm.toNumber(args[0]), 0, length));
    const int e = int(clampToInt(vm.toNumber(args[1]), 0, length));
    s->begin = std::min(b, e);
    s->end = std::max(b, e);
    s->caret = e;
    return Value();
}

void fixedMethod(Vm& vm, Object* on, const char* name, NativeFn fn) {
    on->define(vm, name, Value(vm.newFunction(fn)), kFixed);
}

}  // namespace

// broadcastMessage(name, args...): calls name on every listener, on a copy of the list so listeners may
// remove themselves. True when some listener was an object (or a value that becomes one), else undefined.
Value broadcastMessage(Vm& vm, const Value& self, std::vector<Value>& args) {
    ArrayObject* list = listenersOf(vm, self);
    if (!list || args.empty()) return Value();
    std::string name = vm.toString(args[0]);
    std::vector<Value> rest(args.begin() + 1, args.end());
    std::vector<Value> copy = list->elements;
    bool sent = false;
    for (const Value& l : copy) {
        if (l.isNullish()) continue;
        sent = true;
        std::vector<Value> a = rest;
        vm.callMethod(l, name, a);
    }
    return sent ? Value(true) : Value();
}

void installInput(Vm& vm) {
    // The broadcaster protocol; the global AsBroadcaster is there for SWF 6 movies and later.
    Object* b = vm.global->get(vm, "AsBroadcaster").object();
    if (!b) {
        b = vm.newClass(broadcasterCtor, vm.newObject());
        // Flash Player defines all but broadcastMessage in script: they have their own prototype objects.
        const std::pair<const char*, NativeFn> scripted[] = {
            {"addListener", addListener}, {"initialize", initialize}, {"removeListener", removeListener}};
        for (const auto& [name, fn] : scripted)
            b->define(vm, name, Value(scriptLikeFunction(vm, fn)), kDontEnum | kDontDelete);
        vm.method(b, "broadcastMessage", broadcastMessage);
        if (vm.version >= 6) vm.global->define(vm, "AsBroadcaster", Value(b), kDontEnum);
    }

    Object* key = vm.newObject();
    const struct {
        const char* name;
        int code;
    } codes[] = {{"ALT", 18},    {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46},
                 {"DOWN", 40},   {"END", 35},      {"ENTER", 13},    {"ESCAPE", 27},  {"HOME", 36},
                 {"INSERT", 45}, {"LEFT", 37},     {"PGDN", 34},     {"PGUP", 33},    {"RIGHT", 39},
                 {"SHIFT", 16},  {"SPACE", 32},    {"TAB", 9},       {"UP", 38}};
    for (const auto& c : codes)
        key->define(vm, c.name, Value(c.code), kFixed);
    makeBroadcaster(vm, b, key, kFixed);
    fixedMethod(vm, key, "getAscii", keyGetAscii);
    fixedMethod(vm, key, "getCode", keyGetCode);
    fixedMethod(vm, key, "isAccessible", returnsFalse);
    fixedMethod(vm, key, "isDown", keyIsDown);
    fixedMethod(vm, key, "isToggled", returnsFalse);
    vm.global->define(vm, "Key", Value(key), kDontEnum);

    Object* mouse = vm.make<MouseObject>(vm.objectProto);
    makeBroadcaster(vm, b, mouse, kFixed);
    fixedMethod(vm, mouse, "hide", mouseHide);
    fixedMethod(vm, mouse, "show", mouseShow);
    vm.global->define(vm, "Mouse", Value(mouse), kDontEnum);

    Object* selection = vm.make<SelectionObject>(vm.objectProto);
    makeBroadcaster(vm, b, selection, kFixed);
    fixedMethod(vm, selection, "getBeginIndex", getBeginIndex);
    fixedMethod(vm, selection, "getCaretIndex", getCaretIndex);
    fixedMethod(vm, selection, "getEndIndex", getEndIndex);
    fixedMethod(vm, selection, "getFocus", getFocus);
    fixedMethod(vm, selection, "setFocus", setFocus);
    fixedMethod(vm, selection, "setSelection", setSelection);
    vm.global->define(vm, "Selection", Value(selection), kDontEnum);
}

}  // namespace player::avm1
