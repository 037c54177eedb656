// A native method that converts `this` or its arguments may run script, or itself again (an object whose
// toString is String.prototype.toUpperCase). Counting it against the call depth limit cuts such a loop off
// as deep script recursion is, instead of exhausting the machine stack.
#pragma once

#include "player/avm1/vm.h"

namespace player::avm1 {

class NativeDepth {
  public:
    explicit NativeDepth(Vm& vm) : vm_(vm) {
        if (vm.callDepth >= vm.maxCallDepth) throw vm.recursionAbort();
        ++vm.callDepth;
    }
    ~NativeDepth() { --vm_.callDepth; }
    NativeDepth(const NativeDepth&) = delete;
    NativeDepth& operator=(const NativeDepth&) = delete;

  private:
    Vm& vm_;
};

}  // namespace player::avm1
