// MovieClipLoader: loads movies into clips and levels like loadMovie, and tells its listeners (itself
// first) how the load goes. A broadcaster made with the global AsBroadcaster's methods.
#include <cmath>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"

namespace player::avm1 {

namespace {

// The target of loadClip/unloadClip/getProgress: a level number, a clip, or a clip's path. False when it
// names nothing.
bool targetOf(Vm& vm, const Value& t, int& level, ClipObject*& clip) {
    level = -1;
    clip = nullptr;
    if (t.isNumber()) {
        double n = t.number();
        if (!std::isfinite(n) || n < 0) return false;
        level = int(clampToInt(n, 0, 1 << 30));
        return true;
    }
    if (t.isString()) {
        // "_levelN" names the level even while nothing is loaded there.
        const std::string& s = t.string();
        if (s.size() > 6 && s.size() < 16 && vm.key(s.substr(0, 6)) == vm.key("_level") &&
            s.find_first_not_of("0123456789", 6) == std::string::npos) {
            level = int(std::stol(s.substr(6)));
            return true;
        }
        clip = vm.resolveTarget(vm.host.level(0), t.string());
        return clip != nullptr;
    }
    clip = t.object() ? t.object()->asClip() : nullptr;
    return clip != nullptr && clip->clip() != nullptr;
}

Value loaderCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Object* o = self.object())
        o->define(vm, "_listeners", Value(vm.newArray({self})), kDontEnum | kDontDelete);
    return Value();
}

Value loadClip(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.size() < 2) return Value();
    if (!args[0].isString()) return Value(false);
    int level;
    ClipObject* clip;
    if (!targetOf(vm, args[1], level, clip)) return Value(false);
    vm.host.loadClip(args[0].string(), level, clip, self.object(), vm.host.level(0));
    return Value(true);
}

Value unloadClip(Vm& vm, const Value& self, std::vector<Value>& args) {
    int level;
    ClipObject* clip;
    if (!targetOf(vm, arg(args, 0), level, clip)) return Value(false);
    vm.host.loadClip("", level, clip, nullptr, vm.host.level(0));
    return Value(true);
}

// Whether `v` is a MovieClipLoader (has its prototype on the chain).
bool isLoader(Vm& vm, const Value& v) {
    Object* cls = vm.global->get(vm, "MovieClipLoader").object();
    Object* proto = cls ? cls->get(vm, "prototype").object() : nullptr;
    int depth = 0;
    for (Object* o = v.object(); o && proto && depth < 256; o = o->proto(), ++depth)
        if (o->proto() == proto) return true;
    return false;
}

// getProgress(target): {bytesLoaded, bytesTotal} of the movie loaded there (an object outside every
// prototype chain); a clip that is not the root of a loaded movie counts 0, no target gives undefined.
Value getProgress(Vm& vm, const Value& self, std::vector<Value>& args) {
    int level;
    ClipObject* clip;
    if (!targetOf(vm, arg(args, 0), level, clip) || !isLoader(vm, self)) return Value();
    Object* out = vm.make<Object>(nullptr);
    if (level >= 0) clip = vm.host.level(level);
    MovieClip* mc = clip ? clip->clip() : nullptr;
    auto* parent = mc ? dynamic_cast<MovieClip*>(mc->parent) : nullptr;
    bool loadedRoot = mc && mc->movie() && (!parent || parent->movie() != mc->movie());
    double bytes = loadedRoot ? double(mc->movie()->byteSize()) : 0;
    out->set(vm, "bytesLoaded", Value(bytes));
    out->set(vm, "bytesTotal", Value(bytes));
    return Value(out);
}

}  // namespace

void installMovieClipLoader(Vm& vm) {
    Object* proto = vm.newObject();
    NativeFunction* ctor = vm.newFunction(loaderCtor, loaderCtor);
    ctor->define(vm, "prototype", Value(proto), kDontEnum | kDontDelete);
    // The class is there for every movie, its methods only for SWF 7 and later.
    vm.method(proto, "loadClip", loadClip, kVersion7Up);
    vm.method(proto, "unloadClip", unloadClip, kVersion7Up);
    vm.method(proto, "getProgress", getProgress, kVersion7Up);
    if (Object* b = vm.global->get(vm, "AsBroadcaster").object()) {
        proto->define(vm, "_listeners", Value(vm.newArray()), kDontEnum | kDontDelete | kVersion7Up);
        for (const char* m : {"addListener", "removeListener", "broadcastMessage"})
            proto->define(vm, m, b->get(vm, m), kDontEnum | kDontDelete | kVersion7Up);
    }
    vm.global->define(vm, "MovieClipLoader", Value(ctor), kDontEnum);
}

}  // namespace player::avm1
