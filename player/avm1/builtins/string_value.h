// Text of a value as Flash Player's natives read it: a String object gives its own text directly,
// without asking its toString (a movie that overrides toString on a String object still sees the text in
// join, concat or new String). Anything else converts as usual.
#pragma once

#include <string>

#include "player/avm1/vm.h"

namespace player::avm1 {

inline std::string stringArg(Vm& vm, const Value& v) {
    if (Object* o = v.object(); o && o->kind() == Object::Kind::String) return vm.toString(o->primitive);
    return vm.toString(v);
}

}  // namespace player::avm1
