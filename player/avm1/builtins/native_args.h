// Small helpers the native methods share for reading their call.
#pragma once

#include <cstddef>
#include <vector>

#include "player/avm1/clip_object.h"
#include "player/avm1/value.h"

namespace player {
class MovieClip;
}

namespace player::avm1 {

// The i-th argument; undefined when the call gave fewer.
inline Value arg(const std::vector<Value>& args, size_t i) {
    return i < args.size() ? args[i] : Value();
}

// The movie clip a method was called on; null for anything else (a plain object, a field, a button).
inline MovieClip* clipOf(const Value& self) {
    Object* o = self.object();
    ClipObject* c = o ? o->asClip() : nullptr;
    return c ? c->clip() : nullptr;
}

}  // namespace player::avm1
