// Key, Mouse and Selection. The keyboard state comes from the host's input (a conversion without a user
// has no key down and none pressed last); only a script moves the focus. Listeners are accepted and kept (the
// AsBroadcaster protocol: _listeners, addListener, removeListener, broadcastMessage) so movies that register
// them run on.
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

constexpr uint8_t kFixed = kDontEnum | kDontDelete | kReadOnly;

Value arg(std::vector<Value>& args, size_t i) {
    return i < args.size() ? args[i] : Value();
}

ArrayObject* listenersOf(Vm& vm, const Value& self) {
    Object* o = self.object();
    return o ? dynamic_cast<ArrayObject*>(o->get(vm, "_listeners").object()) : nullptr;
}

Value addListener(Vm& vm, const Value& self, std::vector<Value>& args) {
    ArrayObject* list = listenersOf(vm, self);
    if (!list) return Value(false);
    Value l = arg(args, 0);
    for (const Value& v : list->elements)
        if (Vm::strictEquals(v, l)) return Value(true);
    list->elements.push_back(l);
    return Value(true);
}

Value removeListener(Vm& vm, const Value& self, std::vector<Value>& args) {
    ArrayObject* list = listenersOf(vm, self);
    if (!list) return Value(false);
    Value l = arg(args, 0);
    for (size_t i = 0; i < list->elements.size(); ++i)
        if (Vm::strictEquals(list->elements[i], l)) {
            list->elements.erase(list->elements.begin() + long(i));
            return Value(true);
        }
    return Value(false);
}

// broadcastMessage(name, args...): calls name on every listener, on a copy of the list so listeners may
// remove themselves.
Value broadcastMessage(Vm& vm, const Value& self, std::vector<Value>& args) {
    ArrayObject* list = listenersOf(vm, self);
    if (!list || args.empty()) return Value();
    std::string name = vm.toString(args[0]);
    std::vector<Value> rest(args.begin() + 1, args.end());
    std::vector<Value> copy = list->elements;
    for (const Value& l : copy) {
        std::vector<Value> a = rest;
        vm.callMethod(l, name, a);
    }
    return Value(!copy.empty());
}

// Makes `o` a broadcaster with the global AsBroadcaster's methods.
void makeBroadcaster(Vm& vm, Object* b, Object* o, uint8_t flags) {
    if (!b) return;
    o->define(vm, "_listeners", Value(vm.newArray()), flags);
    for (const char* m : {"addListener", "removeListener", "broadcastMessage"})
        o->define(vm, m, b->get(vm, m), flags);
}

Value initialize(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Object* o = arg(args, 0).object()) makeBroadcaster(vm, self.object(), o, kDontEnum);
    return Value();
}

Value returnsFalse(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(false);
}

Value returnsMinusOne(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(-1);
}

Value nothing(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
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

// Selection keeps the object a script gave the focus to: a clip whose focusEnabled is true (there is no
// keyboard to move it, and no text field takes it here).
class SelectionObject : public Object {
  public:
    explicit SelectionObject(Object* proto) : Object(proto) {}
    Value focus = Value::null();
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        traceValue(focus, out);
    }
};

Value getFocus(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    ClipObject* c = s && s->focus.object() ? s->focus.object()->asClip() : nullptr;
    if (!c || !c->clip()) return Value::null();
    return Value(c->targetPath());
}

// setFocus(null) takes the focus away and answers true; a clip (not a level's root) that accepts the
// focus gets it, and the answer is false, as Flash Player gives it.
Value setFocus(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    if (!s || args.empty()) return Value(false);
    Value target = arg(args, 0);
    if (target.isNullish()) {
        s->focus = Value::null();
        return Value(true);
    }
    if (target.isString()) {
        ClipObject* c = vm.resolveTarget(vm.host.level(0), target.string());
        target = c ? Value(c) : Value();
    }
    ClipObject* c = target.object() ? target.object()->asClip() : nullptr;
    if (c && c->parentClip() && vm.toBoolean(c->get(vm, "focusEnabled"))) s->focus = target;
    return Value(false);
}

void fixedMethod(Vm& vm, Object* on, const char* name, NativeFn fn) {
    on->define(vm, name, Value(vm.newFunction(fn)), kFixed);
}

}  // namespace

void installInput(Vm& vm) {
    // The broadcaster protocol; the global AsBroadcaster is there for SWF 6 movies and later.
    Object* b = vm.global->get(vm, "AsBroadcaster").object();
    if (!b) {
        b = vm.newObject();
        vm.method(b, "initialize", initialize);
        vm.method(b, "addListener", addListener);
        vm.method(b, "removeListener", removeListener);
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
    fixedMethod(vm, selection, "getBeginIndex", returnsMinusOne);
    fixedMethod(vm, selection, "getCaretIndex", returnsMinusOne);
    fixedMethod(vm, selection, "getEndIndex", returnsMinusOne);
    fixedMethod(vm, selection, "getFocus", getFocus);
    fixedMethod(vm, selection, "setFocus", setFocus);
    fixedMethod(vm, selection, "setSelection", nothing);
    vm.global->define(vm, "Selection", Value(selection), kDontEnum);
}

}  // namespace player::avm1
