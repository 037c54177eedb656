// ContextMenu and ContextMenuItem: a conversion shows no menu, but movies build them, read them back and copy
// them, so the objects carry the fields Flash gives them. A menu's copy shares its builtInItems object and
// copies each custom item.
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

// The items Flash's own menu shows, in the order it lists them.
constexpr const char* kBuiltInItems[] = {"print", "forward_back", "rewind", "loop",
                                         "play",  "quality",      "zoom",   "save"};

// An array as `new Array()` makes it.
Value newArray(Vm& vm) {
    std::vector<Value> none;
    return vm.construct(vm.global->get(vm, "Array"), none);
}

Value menuCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    o->set(vm, "onSelect", arg(args, 0));
    // Made as `new Object()` is, with the constructor recorded on it.
    Object* builtIn = vm.newObject();
    builtIn->define(vm, "constructor", vm.global->get(vm, "Object"), kDontEnum | kDontDelete);
    for (const char* name : kBuiltInItems)
        builtIn->set(vm, name, Value(true));
    o->set(vm, "builtInItems", Value(builtIn));
    o->set(vm, "customItems", newArray(vm));
    return Value();
}

Value menuHideBuiltInItems(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    Object* builtIn = o ? o->get(vm, "builtInItems").object() : nullptr;
    if (!builtIn) return Value();
    for (const char* name : kBuiltInItems)
        builtIn->set(vm, name, Value(false));
    return Value();
}

Value menuCopy(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::vector<Value> none;
    Value copy = vm.construct(vm.global->get(vm, "ContextMenu"), none);
    Object* c = copy.object();
    if (!c) return Value();
    c->set(vm, "onSelect", o->get(vm, "onSelect"));
    c->set(vm, "builtInItems", o->get(vm, "builtInItems"));
    Value itemsValue = newArray(vm);
    auto* items = dynamic_cast<ArrayObject*>(itemsValue.object());
    if (!items) return copy;
    if (Object* from = o->get(vm, "customItems").object()) {
        double n = vm.toNumber(from->get(vm, "length"));
        int count = int(clampToInt(n, 0, 1 << 16));
        for (int i = 0; i < count; ++i) {
            Value item = from->get(vm, std::to_string(i));
            items->elements.push_back(vm.callMethod(item, "copy", none));
        }
    }
    c->set(vm, "customItems", itemsValue);
    return copy;
}

const char* const kItemFields[] = {"caption", "onSelect", "separatorBefore", "enabled", "visible"};

Value itemCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    const Value defaults[] = {Value(), Value(), Value(false), Value(true), Value(true)};
    for (size_t i = 0; i < 5; ++i)
        o->set(vm, kItemFields[i], i < args.size() ? args[i] : defaults[i]);
    return Value();
}

Value itemCopy(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::vector<Value> fields;
    for (const char* name : kItemFields)
        fields.push_back(o->get(vm, name));
    return vm.construct(vm.global->get(vm, "ContextMenuItem"), fields);
}

// Flash writes these methods in ActionScript, so each has a prototype object of its own; and it gives them
// to SWF 7 movies and later only.
void scriptMethod(Vm& vm, Object* on, const char* name, NativeFn fn) {
    on->define(vm, name, Value(vm.newClass(fn, vm.newObject())), kDontEnum | kDontDelete | kVersion7Up);
}

}  // namespace

void installContextMenu(Vm& vm) {
    Object* menuProto = vm.newObject();
    NativeFunction* menu = vm.newClass(menuCtor, menuProto, menuCtor);
    scriptMethod(vm, menuProto, "copy", menuCopy);
    scriptMethod(vm, menuProto, "hideBuiltInItems", menuHideBuiltInItems);
    vm.global->define(vm, "ContextMenu", Value(menu), kDontEnum);

    Object* itemProto = vm.newObject();
    NativeFunction* item = vm.newClass(itemCtor, itemProto, itemCtor);
    scriptMethod(vm, itemProto, "copy", itemCopy);
    vm.global->define(vm, "ContextMenuItem", Value(item), kDontEnum);
}

}  // namespace player::avm1
