// SharedObject: the local store a movie keeps between visits. The converter keeps it in memory for the
// run only: getLocal hands out one object per name and path, flush reports success, nothing is written
// to disk, and the next run starts empty.
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

Object* storeOf(Vm& vm) {
    Object* cls = vm.global->get(vm, "SharedObject").object();
    return cls ? cls->get(vm, "__stores").object() : nullptr;
}

Value ctor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value getLocal(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value::null();
    std::string name = vm.toString(args[0]);
    // Names with characters Flash refuses give null.
    if (name.empty() || name.find_first_of("~%&\\;:\"',<>?# ") != std::string::npos) return Value::null();
    std::string key = name + "\n" + (arg(args, 1).isUndefined() ? "" : vm.toString(args[1]));
    Object* stores = storeOf(vm);
    Object* cls = vm.global->get(vm, "SharedObject").object();
    if (!stores || !cls) return Value::null();
    // The table is keyed exactly, whatever the movie's case rules.
    Value existing = stores->get(vm, key);
    if (existing.isObject()) return existing;
    Object* proto = cls->get(vm, "prototype").object();
    Object* so = vm.make<Object>(proto);
    so->define(vm, "data", Value(vm.newObject()), kDontDelete);
    stores->define(vm, key, Value(so), kDontEnum);
    return Value(so);
}

Value flush(Vm& vm, const Value& self, std::vector<Value>& args) {
    return self.object() ? Value(true) : Value();
}

Value clear(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Object* o = self.object()) o->define(vm, "data", Value(vm.newObject()), kDontDelete);
    return Value();
}

Value nothing(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

}  // namespace

void installSharedObject(Vm& vm) {
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ctor, proto);
    vm.method(cls, "getLocal", getLocal);
    cls->define(vm, "__stores", Value(vm.make<Object>(nullptr)), kDontEnum | kDontDelete);
    vm.method(proto, "flush", flush);
    vm.method(proto, "clear", clear);
    vm.method(proto, "close", nothing);
    vm.method(proto, "connect", nothing);
    vm.method(proto, "send", nothing);
    vm.method(proto, "setFps", nothing);
    vm.global->define(vm, "SharedObject", Value(cls), kDontEnum);
}

}  // namespace player::avm1
