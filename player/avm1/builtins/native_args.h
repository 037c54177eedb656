// Small helpers the native methods share for reading their call.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "player/avm1/clip_object.h"
#include "player/avm1/value.h"
#include "player/avm1/vm.h"

namespace player {
class MovieClip;
}

namespace player::avm1 {

// The i-th argument; undefined when the call gave fewer.
inline Value arg(const std::vector<Value>& args, size_t i) {
    return i < args.size() ? args[i] : Value();
}

// An argument as a native method reads a number: like the operators, except that an object with no
// primitive value (valueOf gives an object) is NaN in every version, where SWF 5 operators read 0.
inline double argNumber(Vm& vm, const Value& v) {
    if (!v.isObject() || v.object()->kind() == Object::Kind::Date) return vm.toNumber(v);
    Value p = vm.toPrimitive(v);
    return p.isObject() ? std::numeric_limits<double>::quiet_NaN() : vm.toNumber(p);
}

// The movie clip a method was called on; null for anything else (a plain object, a field, a button).
inline MovieClip* clipOf(const Value& self) {
    Object* o = self.object();
    ClipObject* c = o ? o->asClip() : nullptr;
    return c ? c->clip() : nullptr;
}

}  // namespace player::avm1
