// Video: the class of embedded video objects as scripts see it (SWF 6). Pictures of a movie's own video
// streams come from its VideoFrame tags; attachVideo (a camera or a NetStream playing a file) has nothing
// to attach in a conversion and is logged once, clear has no picture of its own to drop.
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

Value ctor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value attachVideo(Vm& vm, const Value& self, std::vector<Value>& args) {
    vm.host.unsupported("Video.attachVideo (video from a camera or NetStream)");
    return Value();
}

Value clear(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

}  // namespace

void installVideo(Vm& vm) {
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ctor, proto, ctor);
    vm.method(proto, "attachVideo", attachVideo);
    vm.method(proto, "clear", clear);
    vm.global->define(vm, "Video", Value(cls), kDontEnum | kVersion6Up);
}

}  // namespace player::avm1
