// Number and Boolean: conversion when called as functions, boxed values with `new`, toString (with a
// radix for numbers), valueOf and the constants on Number.
#include <cmath>
#include <limits>

#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

// The value a Number or Boolean method works on: the boxed value, or a primitive `this`. On any other
// object the methods give undefined, as in Flash Player (converting it would ask the object's valueOf,
// which may be this very method).
bool thisValue(const Value& self, Object::Kind kind, Value& out) {
    if (Object* o = self.object()) {
        if (o->kind() != kind) return false;
        out = o->primitive;
        return true;
    }
    out = self;
    return true;
}

Value numberCall(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(args.empty() ? 0.0 : vm.toNumber(args[0]));
}

Value numberConstruct(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Object* o = self.object()) o->primitive = Value(args.empty() ? 0.0 : vm.toNumber(args[0]));
    return self;
}

Object* allocateNumber(Vm& vm, Object* proto) {
    return vm.make<Object>(proto, Object::Kind::Number);
}

Value numberToStringMethod(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value v;
    if (!thisValue(self, Object::Kind::Number, v)) return Value();
    double n = vm.toNumber(v);
    int radix = args.empty() || args[0].isUndefined() ? 10 : vm.toInt(args[0]);
    return Value(numberToRadix(n, radix));
}

Value numberValueOf(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value v;
    if (!thisValue(self, Object::Kind::Number, v)) return Value();
    return Value(vm.toNumber(v));
}

Value booleanCall(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    return Value(vm.toBoolean(args[0]));
}

Value booleanConstruct(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Object* o = self.object()) o->primitive = Value(!args.empty() && vm.toBoolean(args[0]));
    return self;
}

Object* allocateBoolean(Vm& vm, Object* proto) {
    return vm.make<Object>(proto, Object::Kind::Boolean);
}

Value booleanToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value v;
    if (!thisValue(self, Object::Kind::Boolean, v)) return Value();
    return Value(vm.toBoolean(v) ? "true" : "false");
}

Value booleanValueOf(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value v;
    if (!thisValue(self, Object::Kind::Boolean, v)) return Value();
    return Value(vm.toBoolean(v));
}

}  // namespace

void installNumberBoolean(Vm& vm) {
    Object* numberProto = vm.newObject();
    vm.numberProto = numberProto;
    NativeFunction* number = vm.newClass(numberCall, numberProto, numberConstruct);
    number->allocate = allocateNumber;
    vm.method(numberProto, "toString", numberToStringMethod);
    vm.method(numberProto, "valueOf", numberValueOf);
    number->define(vm, "MAX_VALUE", Value(std::numeric_limits<double>::max()), 0);
    number->define(vm, "MIN_VALUE", Value(std::numeric_limits<double>::denorm_min()), 0);
    number->define(vm, "NaN", Value(std::numeric_limits<double>::quiet_NaN()), 0);
    number->define(vm, "NEGATIVE_INFINITY", Value(-std::numeric_limits<double>::infinity()), 0);
    number->define(vm, "POSITIVE_INFINITY", Value(std::numeric_limits<double>::infinity()), 0);
    // Everything on Number itself is hidden, permanent and read-only.
    number->changeAllFlags(kDontEnum | kDontDelete | kReadOnly, 0);
    vm.global->define(vm, "Number", Value(number), kDontEnum);

    Object* booleanProto = vm.newObject();
    vm.booleanProto = booleanProto;
    NativeFunction* boolean = vm.newClass(booleanCall, booleanProto, booleanConstruct);
    boolean->allocate = allocateBoolean;
    vm.method(booleanProto, "toString", booleanToString);
    vm.method(booleanProto, "valueOf", booleanValueOf);
    vm.global->define(vm, "Boolean", Value(boolean), kDontEnum);
}

}  // namespace player::avm1
