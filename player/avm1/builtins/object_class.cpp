// Object and Function: the root of every prototype chain, property reflection (addProperty, watch,
// hasOwnProperty, ASSetPropFlags), registerClass, call and apply.
#include <cmath>

#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

Value objectCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (!args.empty() && args[0].isObject()) return args[0];
    if (!args.empty() && !args[0].isNullish()) return Value(vm.toObject(args[0]));
    return Value(vm.newObject());
}

// new Object(v): an object v itself, a primitive v boxed; otherwise the new object `new` made (which
// carries its constructor like any other instance).
Value objectConstruct(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (!args.empty() && args[0].isObject()) return args[0];
    if (!args.empty() && !args[0].isNullish()) return Value(vm.toObject(args[0]));
    return Value();
}

Value objectToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (o && o->isCallable()) return Value("[type Function]");
    // A clip reads as its target path.
    if (ClipObject* c = o ? o->asClip() : nullptr) return Value(c->targetPath());
    return Value("[object Object]");
}

Value objectValueOf(Vm& vm, const Value& self, std::vector<Value>& args) {
    return self;
}

Value hasOwnProperty(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) return Value(false);
    std::string name = vm.toString(args[0]);
    // A property flagged for versions other than 6 is not reported; other version flags are looked past.
    uint16_t flags = 0;
    if (o->ownFlags(vm, name, flags)) return Value(!(flags & kNotVersion6));
    return Value(o->hasOwn(vm, name));
}

Value isPropertyEnumerable(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) return Value(false);
    return Value(o->isEnumerable(vm, vm.toString(args[0])));
}

Value isPrototypeOf(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    Object* v = arg(args, 0).object();
    if (!o || !v) return Value(false);
    int depth = 0;
    for (Object* p = v->proto(); p && depth < 256; p = p->proto(), ++depth)
        if (p == o) return Value(true);
    return Value(false);
}

Value addProperty(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.size() < 3) return Value(false);
    std::string name = vm.toString(args[0]);
    Object* getter = args[1].object();
    Object* setter = args[2].object();
    if (name.empty() || !getter || !getter->isCallable()) return Value(false);
    if (setter && !setter->isCallable()) return Value(false);
    o->defineAccessor(vm, name, getter, setter, 0);
    return Value(true);
}

Value watch(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.size() < 2) return Value(false);
    return Value(o->watch(vm, vm.toString(args[0]), args[1].object(), arg(args, 2)));
}

Value unwatch(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) return Value(false);
    return Value(o->unwatch(vm, vm.toString(args[0])));
}

Value registerClass(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.size() < 2) return Value(false);
    std::string name = vm.toString(args[0]);
    if (args[1].isNullish()) {
        vm.registeredClasses->remove(vm, name);
        return Value(true);
    }
    if (!args[1].object()) return Value(false);
    vm.registeredClasses->define(vm, name, args[1], 0);
    return Value(true);
}

// ASSetPropFlags(object, names, set, clear): names a comma list, an array, or null for all.
Value asSetPropFlags(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = arg(args, 0).object();
    if (!o) return Value();
    // Version bits hide a script's own properties from the movie's version just as they hide built-ins.
    uint16_t set = uint16_t(vm.toInt(arg(args, 2)));
    uint16_t clear = uint16_t(vm.toInt(arg(args, 3)));
    Value names = arg(args, 1);
    if (names.isNull()) {
        o->changeAllFlags(set, clear);
        return Value();
    }
    std::vector<std::string> list;
    if (auto* a = dynamic_cast<ArrayObject*>(names.object())) {
        for (const Value& v : a->elements)
            list.push_back(vm.toString(v));
    } else {
        std::string s = vm.toString(names);
        size_t i = 0;
        while (i <= s.size()) {
            size_t j = s.find(',', i);
            if (j == std::string::npos) j = s.size();
            list.push_back(s.substr(i, j - i));
            i = j + 1;
        }
    }
    for (const std::string& n : list)
        o->changeFlags(vm, n, set, clear);
    return Value();
}

Value functionCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(vm.newObject());
}

Value functionCall(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value thisArg = arg(args, 0);
    std::vector<Value> rest;
    if (args.size() > 1) rest.assign(args.begin() + 1, args.end());
    return vm.call(self, thisArg.isNullish() ? Value() : thisArg, rest);
}

Value functionApply(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value thisArg = arg(args, 0);
    std::vector<Value> rest;
    if (Object* list = arg(args, 1).object()) {
        double n = vm.toNumber(list->get(vm, "length"));
        size_t count = size_t(clampToInt(n, 0, int64_t(ArrayObject::kMaxLength)));
        for (size_t i = 0; i < count; ++i)
            rest.push_back(list->get(vm, std::to_string(i)));
    }
    return vm.call(self, thisArg.isNullish() ? Value() : thisArg, rest);
}

}  // namespace

void installObject(Vm& vm) {
    Object* proto = vm.objectProto;
    NativeFunction* ctor = vm.newClass(objectCtor, proto, objectConstruct);
    vm.method(proto, "toString", objectToString);
    proto->define(vm, "toLocaleString", Value(scriptLikeFunction(vm, objectToString)),
                  kDontEnum | kDontDelete);
    vm.method(proto, "valueOf", objectValueOf);
    vm.method(proto, "hasOwnProperty", hasOwnProperty);
    vm.method(proto, "isPropertyEnumerable", isPropertyEnumerable);
    vm.method(proto, "isPrototypeOf", isPrototypeOf);
    vm.method(proto, "addProperty", addProperty);
    vm.method(proto, "watch", watch);
    vm.method(proto, "unwatch", unwatch);
    vm.method(ctor, "registerClass", registerClass);
    // Object's own properties are hidden, permanent and read-only.
    ctor->changeAllFlags(kDontEnum | kDontDelete | kReadOnly, 0);
    vm.global->define(vm, "Object", Value(ctor), kDontEnum);
    vm.global->define(vm, "ASSetPropFlags", Value(vm.newFunction(asSetPropFlags)), kDontEnum);
}

void installFunction(Vm& vm) {
    Object* proto = vm.functionProto;
    NativeFunction* ctor = vm.newClass(functionCtor, proto);
    vm.functionCtor = ctor;
    if (Object* objectClass = vm.global->get(vm, "Object").object())
        objectClass->define(vm, "constructor", Value(ctor), kDontEnum | kDontDelete | kReadOnly);
    vm.method(proto, "call", functionCall, kVersion6Up);
    vm.method(proto, "apply", functionApply, kVersion6Up);
    vm.global->define(vm, "Function", Value(ctor), kDontEnum | kVersion6Up);
}

}  // namespace player::avm1
