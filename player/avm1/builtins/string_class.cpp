// String: the constructor (String(x) converts, new String(x) boxes), String.fromCharCode and the
// methods of String.prototype. Positions and lengths count UTF-16 units, as Flash Player's strings do;
// the methods work on any object, reading it through its toString.
#include <cmath>

#include "player/avm1/builtins/array_support.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/native_depth.h"
#include "player/avm1/builtins/string_case.h"
#include "player/avm1/builtins/string_value.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

bool given(const std::vector<Value>& args, size_t i) {
    return i < args.size() && !args[i].isUndefined();
}

std::string thisString(Vm& vm, const Value& self) {
    if (Object* o = self.object(); o && o->kind() == Object::Kind::String) return vm.toString(o->primitive);
    NativeDepth depth(vm);
    return vm.toString(self);
}

std::u16string thisUnits(Vm& vm, const Value& self) {
    return toUtf16(thisString(vm, self));
}

// A position clamped to 0..length; negative ones count from the end when `fromEnd`.
int32_t clampIndex(int32_t i, int32_t length, bool fromEnd) {
    if (i < 0) i = fromEnd ? std::max(0, length + i) : 0;
    return std::min(i, length);
}

Value substring16(const std::u16string& s, int32_t from, int32_t to) {
    if (to <= from) return Value("");
    return Value(toUtf8(s.substr(size_t(from), size_t(to - from))));
}

Value stringCall(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(args.empty() ? std::string() : stringArg(vm, args[0]));
}

Value stringConstruct(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    std::string s = args.empty() ? std::string() : stringArg(vm, args[0]);
    o->define(vm, "length", Value(double(toUtf16(s).size())), kDontEnum | kDontDelete);
    o->primitive = Value(std::move(s));
    return self;
}

Object* allocateString(Vm& vm, Object* proto) {
    return vm.make<Object>(proto, Object::Kind::String);
}

// toString and valueOf: the boxed string; another object reads as its text, a primitive `this` (as
// Function.call passes it) gives undefined.
Value valueOf(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    if (o->kind() == Object::Kind::String) return o->primitive;
    return Value(thisString(vm, self));
}

Value toUpperCase(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(upperCase(thisString(vm, self)));
}

Value toLowerCase(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(lowerCase(thisString(vm, self)));
}

Value charAt(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::u16string s = thisUnits(vm, self);
    int32_t i = vm.toInt(arg(args, 0));
    if (i < 0 || size_t(i) >= s.size()) return Value("");
    return Value(toUtf8(s.substr(size_t(i), 1)));
}

Value charCodeAt(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::u16string s = thisUnits(vm, self);
    int32_t i = vm.toInt(arg(args, 0));
    if (i < 0 || size_t(i) >= s.size()) return Value(std::nan(""));
    return Value(double(s[size_t(i)]));
}

Value concat(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::string s = thisString(vm, self);
    for (const Value& v : args)
        s += stringArg(vm, v);
    return Value(std::move(s));
}

Value indexOf(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    std::u16string s = thisUnits(vm, self);
    std::u16string what = toUtf16(stringArg(vm, args[0]));
    int32_t start = std::max(0, vm.toInt(arg(args, 1)));
    if (size_t(start) > s.size()) return Value(-1);
    size_t at = s.find(what, size_t(start));
    return Value(at == std::u16string::npos ? -1.0 : double(at));
}

Value lastIndexOf(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    std::u16string s = thisUnits(vm, self);
    std::u16string what = toUtf16(stringArg(vm, args[0]));
    size_t from = std::u16string::npos;
    if (given(args, 1)) {
        int32_t start = vm.toInt(args[1]);
        if (start < 0) return Value(-1);
        from = size_t(start);
    }
    size_t at = s.rfind(what, from);
    return Value(at == std::u16string::npos ? -1.0 : double(at));
}

Value slice(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    std::u16string s = thisUnits(vm, self);
    int32_t length = int32_t(s.size());
    int32_t from = clampIndex(vm.toInt(args[0]), length, true);
    int32_t to = given(args, 1) ? clampIndex(vm.toInt(args[1]), length, true) : length;
    return substring16(s, from, to);
}

Value substring(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    std::u16string s = thisUnits(vm, self);
    int32_t length = int32_t(s.size());
    int32_t from = std::max(0, vm.toInt(args[0]));
    // A start at or past the end gives nothing, even when the end lies before it.
    if (from >= length) return Value("");
    int32_t to = given(args, 1) ? clampIndex(vm.toInt(args[1]), length, false) : length;
    if (from > to) std::swap(from, to);
    return substring16(s, from, to);
}

Value substr(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    std::u16string s = thisUnits(vm, self);
    int32_t length = int32_t(s.size());
    int32_t from = clampIndex(vm.toInt(args[0]), length, true);
    int32_t count = length - from;
    if (given(args, 1)) {
        count = vm.toInt(args[1]);
        if (count < 0) {
            // A negative length counts back from the end of the string; a span reaching the end is
            // empty (Flash Player's reading of it).
            count += length;
            if (count < 0 || int64_t(from) + count >= length) return Value("");
        }
        count = std::min(count, length - from);
    }
    return substring16(s, from, from + count);
}

Value split(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::u16string s = thisUnits(vm, self);
    ArrayObject* out = newScriptArray(vm);
    if (!given(args, 0)) {
        out->elements.push_back(Value(toUtf8(s)));
        return Value(out);
    }
    std::u16string sep = toUtf16(stringArg(vm, args[0]));
    size_t limit = ArrayObject::kMaxLength;
    if (given(args, 1)) limit = size_t(std::max(0, vm.toInt(args[1])));
    if (vm.version < 6) {
        // Flash 5: an empty separator or one of several characters does not split, and a limit of 0 or
        // less gives nothing.
        if (limit == 0) return Value(out);
        if (sep.size() != 1) {
            out->elements.push_back(Value(toUtf8(s)));
            return Value(out);
        }
    } else if (s.empty()) {
        // From Flash 6 the empty string splits into one empty string whatever the limit, or into nothing
        // on an empty separator.
        if (!sep.empty()) out->elements.push_back(Value(""));
        return Value(out);
    }
    if (limit == 0) return Value(out);
    if (sep.empty()) {
        for (size_t i = 0; i < s.size() && out->elements.size() < limit; ++i)
            out->elements.push_back(Value(toUtf8(s.substr(i, 1))));
        return Value(out);
    }
    size_t start = 0;
    for (;;) {
        if (out->elements.size() >= limit) break;
        size_t at = s.find(sep, start);
        if (at == std::u16string::npos) {
            out->elements.push_back(Value(toUtf8(s.substr(start))));
            break;
        }
        out->elements.push_back(Value(toUtf8(s.substr(start, at - start))));
        start = at + sep.size();
    }
    return Value(out);
}

Value fromCharCode(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::u16string s;
    for (const Value& v : args) {
        char16_t c = char16_t(vm.toInt(v) & 0xFFFF);
        // A zero unit ends the string, as in Flash Player's C strings.
        if (c == 0) break;
        s += c;
    }
    return Value(toUtf8(s));
}

}  // namespace

void installString(Vm& vm) {
    Object* proto = vm.newObject();
    vm.stringProto = proto;
    NativeFunction* ctor = vm.newClass(stringCall, proto, stringConstruct);
    ctor->allocate = allocateString;
    vm.method(ctor, "fromCharCode", fromCharCode);
    vm.method(proto, "valueOf", valueOf);
    vm.method(proto, "toString", valueOf);
    vm.method(proto, "toUpperCase", toUpperCase);
    vm.method(proto, "toLowerCase", toLowerCase);
    vm.method(proto, "charAt", charAt);
    vm.method(proto, "charCodeAt", charCodeAt);
    vm.method(proto, "concat", concat);
    vm.method(proto, "indexOf", indexOf);
    vm.method(proto, "lastIndexOf", lastIndexOf);
    vm.method(proto, "slice", slice);
    vm.method(proto, "substring", substring);
    vm.method(proto, "split", split);
    vm.method(proto, "substr", substr);
    vm.global->define(vm, "String", Value(ctor), kDontEnum);
}

}  // namespace player::avm1
