// Key, Mouse and Selection. The keyboard state comes from the host's input (a conversion without a user
// has no key down and none pressed last); only a script moves the focus. Listeners are accepted and kept (the
// AsBroadcaster protocol: _listeners, addListener, removeListener, broadcastMessage) so movies that register
// them run on.
#include <algorithm>
#include <cmath>
#include <optional>

#include "player/avm1/builtins/focus.h"
#include "player/avm1/builtins/globals.h"
#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/text_support.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/bounds.h"
#include "player/core/edit_text.h"
#include "player/core/input.h"
#include "player/core/movie_clip.h"
#include "player/core/runtime.h"

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
    Value rolled = Value::null();  // the button or clip the focus last rolled over
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        traceValue(focus, out);
        traceValue(rolled, out);
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

TextFieldObject* focusedFieldObject(SelectionObject* s) {
    auto* t = dynamic_cast<TextFieldObject*>(liveFocus(s).object());
    return t && t->field() ? t : nullptr;
}

// Gives the focused field a selection of all its text.
void selectAll(SelectionObject* s) {
    if (TextFieldObject* t = focusedFieldObject(s)) t->select(0, t->field()->length(), t->field()->length());
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

// A clip event for a button or clip as the pointer would give it (queued with the other scripts).
void queueRoll(Vm& vm, const Value& target, bool over) {
    ClipObject* c = target.object() ? target.object()->asClip() : nullptr;
    DisplayObject* d = c ? c->display() : nullptr;
    if (!d) return;
    Runtime& rt = static_cast<Runtime&>(vm.host);
    const uint32_t event = over ? clip_event::RollOver : clip_event::RollOut;
    if (auto* b = dynamic_cast<ButtonObject*>(d))
        rt.queueButtonActions(b, over ? Input::IdleToOverUp : Input::OverUpToIdle, event);
    else if (MovieClip* clip = d->asClip())
        rt.queueEvent(clip, event);
}

// Focusing rolls the pointer's events off the object focused before and onto the new one, even when it is
// the same, as Flash Player does.
void rollFocus(Vm& vm, SelectionObject* s, const Value& now) {
    if (!s->rolled.isNullish()) queueRoll(vm, s->rolled, false);
    if (!now.isNullish()) queueRoll(vm, now, true);
    s->rolled = now;
}

// Moves the focus to `now` (null: nowhere). The object losing the focus hears onKillFocus(new), the one
// gaining it onSetFocus(old), then Selection's listeners onSetFocus(old, new). A text field that gets the
// focus has all its text selected.
void changeFocus(Vm& vm, SelectionObject* s, const Value& now) {
    const Value old = liveFocus(s);
    if (old.object() == now.object()) return;
    // The object losing the focus still has it while it hears so.
    std::vector<Value> a{now};
    if (!old.isNullish()) vm.callMethod(old, "onKillFocus", a);
    s->focus = now;
    selectAll(s);
    a = {old};
    if (!now.isNullish()) vm.callMethod(now, "onSetFocus", a);
    a = {Value("onSetFocus"), old, now};
    broadcastMessage(vm, Value(s), a);
}

// setFocus(null) takes the focus away and answers true; an object that accepts the focus gets it, and the
// answer is false, as Flash Player gives it.
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
    const Value now = clearing ? Value::null() : target;
    rollFocus(vm, s, now);
    if (liveFocus(s).object() == now.object()) {
        // Focusing the focused field again selects all its text again.
        selectAll(s);
        return Value(clearing);
    }
    changeFocus(vm, s, now);
    return Value(clearing);
}

// The selection in the focused text field (-1 without one).
int64_t selectionPart(SelectionObject* s, size_t TextFieldObject::*part) {
    TextFieldObject* t = focusedFieldObject(s);
    if (!t) return -1;
    return int64_t(std::min({t->*part, t->field()->length(), size_t(INT32_MAX)}));
}

Value getBeginIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(
        double(selectionPart(dynamic_cast<SelectionObject*>(self.object()), &TextFieldObject::selBegin)));
}

Value getEndIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(
        double(selectionPart(dynamic_cast<SelectionObject*>(self.object()), &TextFieldObject::selEnd)));
}

Value getCaretIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(
        double(selectionPart(dynamic_cast<SelectionObject*>(self.object()), &TextFieldObject::caret)));
}

// setSelection(begin, end) in the focused text field, within its text; the caret goes to the end given.
Value setSelection(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* s = dynamic_cast<SelectionObject*>(self.object());
    TextFieldObject* t = focusedFieldObject(s);
    if (!t || args.size() < 2) return Value();
    const double b = vm.toNumber(args[0]), e = vm.toNumber(args[1]);
    if (!(t = focusedFieldObject(s))) return Value();
    const int64_t length = int64_t(std::min<size_t>(t->field()->length(), size_t(INT32_MAX)));
    const size_t begin = size_t(clampToInt(b, 0, length)), end = size_t(clampToInt(e, 0, length));
    t->select(begin, end, end);
    return Value();
}

// ---- Tab order ----

// One object the Tab key can give the focus to.
struct TabStop {
    Object* script;
    std::optional<int32_t> index;  // tabIndex, when set
    int64_t key;                   // 6y + x of its top-left corner on the stage, twips
};

// A script's tabEnabled, tabChildren: undefined leaves the default.
bool flagOr(Vm& vm, Object* o, const char* name, bool otherwise) {
    const Value v = o->get(vm, name);
    return v.isUndefined() ? otherwise : vm.toBoolean(v);
}

// tabIndex as the order reads it: a 32-bit whole number; unset, or -1, leaves the object to the automatic
// order.
std::optional<int32_t> tabIndexOf(Vm& vm, Object* o) {
    const Value v = o->get(vm, "tabIndex");
    if (v.isNullish()) return std::nullopt;
    const int32_t n = toInt32(vm.toNumber(v));
    if (n == -1) return std::nullopt;
    return n;
}

// A clip acts as a button (tabbed to by default) when it answers the mouse: a handler of a button event
// among its clip events, or such a method named on it (even one set to undefined).
bool buttonLike(Vm& vm, MovieClip* clip, Object* o) {
    constexpr uint32_t kMouseEvents = clip_event::Press | clip_event::Release | clip_event::ReleaseOutside |
                                      clip_event::RollOver | clip_event::RollOut | clip_event::DragOver |
                                      clip_event::DragOut;
    if (clip->clipActions && (clip->clipActions->allEvents & kMouseEvents)) return true;
    for (const char* h :
         {"onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut", "onDragOver", "onDragOut"})
        if (o->has(vm, h)) return true;
    return false;
}

int64_t cornerKey(const DisplayObject* obj) {
    const Matrix world = worldMatrix(obj);
    BoundsRect b;
    if (const auto* button = dynamic_cast<const ButtonObject*>(obj)) {
        // Buttons are placed by their hit area, which does not change as they change state.
        for (const auto& [depth, area] : button->hitArea()) {
            const Matrix m = world * area->matrix;
            b.add(boundsIn(area.get(), &m));
        }
    } else {
        b = boundsIn(obj, &world);
    }
    if (b.empty()) return 0;
    const double key = 6 * std::floor(b.yMin) + std::floor(b.xMin);
    return int64_t(std::clamp(key, -9e15, 9e15));
}

// The visible objects under `list` that take the Tab key, in display-list order.
void collectTabStops(Vm& vm, const DisplayList& list, std::vector<TabStop>& out, int nesting) {
    if (nesting > 64 || out.size() > 100000) return;
    for (const auto& [depth, child] : list) {
        DisplayObject* obj = child.get();
        if (!obj->visible) continue;
        if (auto* field = dynamic_cast<EditText*>(obj)) {
            // Only input fields take the Tab key.
            Object* o = textFieldObjectOf(vm, field);
            if (!field->readOnly && flagOr(vm, o, "tabEnabled", true))
                out.push_back({o, tabIndexOf(vm, o), cornerKey(obj)});
            continue;
        }
        if (dynamic_cast<ButtonObject*>(obj)) {
            Object* o = scriptObjectOf(vm, obj);
            if (o && flagOr(vm, o, "tabEnabled", true)) out.push_back({o, tabIndexOf(vm, o), cornerKey(obj)});
            continue;
        }
        MovieClip* clip = obj->asClip();
        if (!clip || clip->unloading) continue;
        Object* o = scriptObjectOf(vm, clip);
        if (!o) continue;
        // A clip given a tabIndex takes the Tab key unless tabEnabled says otherwise.
        const std::optional<int32_t> index = tabIndexOf(vm, o);
        if (flagOr(vm, o, "tabEnabled", index || buttonLike(vm, clip, o)))
            out.push_back({o, index, cornerKey(obj)});
        if (flagOr(vm, o, "tabChildren", true)) collectTabStops(vm, clip->children(), out, nesting + 1);
    }
}

}  // namespace

std::vector<Object*> tabOrder(Vm& vm, const std::vector<MovieClip*>& levels) {
    std::vector<TabStop> stops;
    for (MovieClip* root : levels) {
        Object* o = root ? scriptObjectOf(vm, root) : nullptr;
        if (o && flagOr(vm, o, "tabChildren", true)) collectTabStops(vm, root->children(), stops, 0);
    }
    const bool custom = std::any_of(stops.begin(), stops.end(), [](const TabStop& t) { return t.index; });
    if (custom) {
        // Objects with a tabIndex, by it; the others are left out.
        stops.erase(std::remove_if(stops.begin(), stops.end(), [](const TabStop& t) { return !t.index; }),
                    stops.end());
        std::stable_sort(stops.begin(), stops.end(),
                         [](const TabStop& a, const TabStop& b) { return *a.index < *b.index; });
    } else {
        // By position: the next object is the next one a line of slope -1/6 sweeping down the stage
        // touches. Two objects it touches at once count as one, the first in display-list order.
        std::stable_sort(stops.begin(), stops.end(),
                         [](const TabStop& a, const TabStop& b) { return a.key < b.key; });
        stops.erase(std::unique(stops.begin(), stops.end(),
                                [](const TabStop& a, const TabStop& b) { return a.key == b.key; }),
                    stops.end());
    }
    std::vector<Object*> order;
    for (const TabStop& t : stops)
        order.push_back(t.script);
    return order;
}

namespace {

// Buttons and clips keep their tabIndex in a hidden slot behind the prototype's accessor.
constexpr const char* kTabIndexSlot = "\x01tabIndex";

Value getTabIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    return o && o->asClip() ? o->get(vm, kTabIndexSlot) : Value();
}

Value setTabIndex(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || !o->asClip()) return Value();
    Value v = arg(args, 0);
    if (!v.isUndefined()) {
        const double n = vm.toNumber(v);
        const bool fits = n >= -2147483648.0 && n < 2147483648.0;  // false for NaN
        v = Value(fits ? double(int32_t(n)) : -2147483648.0);
    }
    o->define(vm, kTabIndexSlot, v, kDontEnum);
    return Value();
}

}  // namespace

Object* focusedObject(Vm& vm) {
    return liveFocus(dynamic_cast<SelectionObject*>(vm.global->get(vm, "Selection").object())).object();
}

void installFocusProperties(Vm& vm) {
    // Listed by for-in on buttons, not on clips.
    if (vm.buttonProto)
        vm.buttonProto->defineAccessor(vm, "tabIndex", vm.newFunction(getTabIndex),
                                       vm.newFunction(setTabIndex), 0);
    if (vm.clipProto)
        vm.clipProto->defineAccessor(vm, "tabIndex", vm.newFunction(getTabIndex), vm.newFunction(setTabIndex),
                                     kDontEnum);
}

void tabFocus(Vm& vm, const std::vector<MovieClip*>& levels, bool reverse) {
    auto* s = dynamic_cast<SelectionObject*>(vm.global->get(vm, "Selection").object());
    if (!s) return;
    std::vector<Object*> order = tabOrder(vm, levels);
    if (order.empty()) return;
    if (reverse) std::reverse(order.begin(), order.end());
    const Object* current = liveFocus(s).object();
    auto at = std::find(order.begin(), order.end(), current);
    Object* next = (at == order.end() || at + 1 == order.end()) ? order.front() : *(at + 1);
    // The pointer's events of tabbing run before the focus events.
    rollFocus(vm, s, Value(next));
    static_cast<Runtime&>(vm.host).runQueuedActions();
    if (next == current) {
        // The only object in the order keeps the focus; a field has all its text selected again.
        selectAll(s);
        return;
    }
    changeFocus(vm, s, Value(next));
}

namespace {

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
