// LoadVars: name=value pairs in url encoding, read from a file beside the movie (load, sendAndLoad) or
// from a string (decode), and written back by toString.
#include "player/avm1/builtins/globals.h"
#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

Value ctor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

// "a=1&b=two" sets a and b; a pair without '=' sets an empty value, a pair without a name is skipped.
Value decode(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) return Value();
    std::string s = vm.toString(args[0]);
    size_t i = 0;
    while (i <= s.size()) {
        size_t amp = s.find('&', i);
        if (amp == std::string::npos) amp = s.size();
        std::string pair = s.substr(i, amp - i);
        size_t eq = pair.find('=');
        std::string name = urlUnescape(pair.substr(0, eq));
        std::string value = eq == std::string::npos ? "" : urlUnescape(pair.substr(eq + 1));
        if (!name.empty()) o->set(vm, name, Value(value));
        i = amp + 1;
    }
    return Value();
}

// The enumerable properties, in the order for..in lists them (newest first).
Value toStringFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::vector<std::string> keys;
    o->ownKeys(vm, keys);
    std::string out;
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        if (!out.empty()) out += '&';
        out += urlEscape(*it) + "=" + urlEscape(vm.toString(o->get(vm, *it)));
    }
    return Value(out);
}

Value load(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || args.empty()) return Value(false);
    o->define(vm, "loaded", Value(false), kDontEnum);
    queueLoad(vm, o, vm.toString(args[0]));
    return Value(true);
}

Value sendAndLoad(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* target = arg(args, 1).object();
    if (!self.object() || !target || args.empty()) return Value(false);
    target->define(vm, "loaded", Value(false), kDontEnum);
    queueLoad(vm, target, vm.toString(args[0]));
    return Value(true);
}

Value send(Vm& vm, const Value& self, std::vector<Value>& args) {
    vm.host.unsupported("LoadVars.send (the player sends nothing over a network)");
    return Value(false);
}

Value onData(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::vector<Value> result;
    if (arg(args, 0).isUndefined()) {
        result.push_back(Value(false));
    } else {
        std::vector<Value> decodeArgs{arg(args, 0)};
        vm.callMethod(self, "decode", decodeArgs);
        o->define(vm, "loaded", Value(true), kDontEnum);
        result.push_back(Value(true));
    }
    vm.callMethod(self, "onLoad", result);
    return Value();
}

Value nothing(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

}  // namespace

void installLoadVars(Vm& vm) {
    // A class of Flash Player 6: SWF 5 movies do not see it.
    if (vm.version < 6) return;
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ctor, proto);
    vm.method(proto, "addRequestHeader", nothing);
    vm.method(proto, "decode", decode);
    vm.method(proto, "getBytesLoaded", nothing);
    vm.method(proto, "getBytesTotal", nothing);
    vm.method(proto, "load", load);
    vm.method(proto, "onData", onData);
    vm.method(proto, "onLoad", nothing);
    vm.method(proto, "send", send);
    vm.method(proto, "sendAndLoad", sendAndLoad);
    vm.method(proto, "toString", toStringFn);
    proto->define(vm, "contentType", Value("application/x-www-form-urlencoded"), kDontEnum);
    vm.global->define(vm, "LoadVars", Value(cls), kDontEnum);
}

}  // namespace player::avm1
