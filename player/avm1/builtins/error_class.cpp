// Error: what scripts throw. new Error(message) keeps a given message on the instance; name and the
// default message "Error" live on Error.prototype, and toString gives the message.
#include "player/avm1/builtins/native_depth.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

Value errorConstruct(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (o && !args.empty() && !args[0].isUndefined()) o->set(vm, "message", args[0]);
    return self;
}

Value errorCall(Vm& vm, const Value& self, std::vector<Value>& args) {
    // Error(message) without `new` makes an error all the same.
    Object* o = vm.make<Object>(vm.errorProto);
    return errorConstruct(vm, Value(o), args);
}

Value errorToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    NativeDepth depth(vm);
    return Value(vm.toString(o->get(vm, "message")));
}

}  // namespace

void installError(Vm& vm) {
    Object* proto = vm.newObject();
    vm.errorProto = proto;
    vm.newClass(errorCall, proto, errorConstruct);
    proto->define(vm, "message", Value("Error"), 0);
    proto->define(vm, "name", Value("Error"), 0);
    // Flash Player writes Error.prototype.toString in ActionScript: it has a prototype object of its own.
    proto->define(vm, "toString", Value(vm.newClass(errorToString, vm.newObject())), 0);
    vm.global->define(vm, "Error", proto->get(vm, "constructor"), kDontEnum);
}

}  // namespace player::avm1
