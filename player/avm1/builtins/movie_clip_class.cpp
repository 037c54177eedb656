// MovieClip.prototype: timeline control, clips made and removed by script, depths, bounds and coordinate
// conversions. The display properties (_x, _alpha, ...) live on the clip object itself.
#include <cmath>

#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/bounds.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/runtime.h"

namespace player::avm1 {

namespace {

Value arg(std::vector<Value>& args, size_t i) {
    return i < args.size() ? args[i] : Value();
}

MovieClip* clipOf(const Value& self) {
    Object* o = self.object();
    ClipObject* c = o ? o->asClip() : nullptr;
    return c ? c->clip() : nullptr;
}

Runtime& runtimeOf(Vm& vm) {
    return static_cast<Runtime&>(vm.host);
}

void gotoFrame(Vm& vm, MovieClip* mc, const Value& frame, bool play) {
    int target = 0;
    if (frame.isString()) {
        double n = stringToNumber(frame.string(), vm.version);
        target = std::isfinite(n) ? int(n) : mc->timeline().frameOfLabel(frame.string());
        if (target <= 0) return;
    } else {
        double n = vm.toNumber(frame);
        if (!std::isfinite(n)) return;
        target = int(n);
    }
    mc->playing = play;
    mc->gotoFrame(std::max(1, target), runtimeOf(vm));
    mc->playing = play;
}

Value mcPlay(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) mc->playing = true;
    return Value();
}

Value mcStop(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) mc->playing = false;
    return Value();
}

Value mcGotoAndPlay(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) gotoFrame(vm, mc, args.size() > 1 ? args[1] : arg(args, 0), true);
    return Value();
}

Value mcGotoAndStop(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) gotoFrame(vm, mc, args.size() > 1 ? args[1] : arg(args, 0), false);
    return Value();
}

Value mcNextFrame(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) gotoFrame(vm, mc, Value(mc->currentFrame() + 1), false);
    return Value();
}

Value mcPrevFrame(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) gotoFrame(vm, mc, Value(mc->currentFrame() - 1), false);
    return Value();
}

// Copies the properties of an init object onto a new clip.
void applyInit(Vm& vm, ClipObject* clip, const Value& init) {
    Object* o = init.object();
    if (!o) return;
    std::vector<std::string> keys;
    for (Object* p = o; p; p = p->proto()) {
        p->ownKeys(vm, keys);
        if (keys.size() > 100000) break;
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        clip->set(vm, *it, o->get(vm, *it));
}

// A clip whose library symbol was registered with Object.registerClass becomes an instance of that class.
void applyClass(Vm& vm, ClipObject* clip, const std::string& symbol) {
    Value ctor = vm.registeredClasses->get(vm, symbol);
    Object* c = ctor.object();
    if (!c) return;
    if (Object* proto = c->get(vm, "prototype").object()) clip->setProto(proto);
    std::vector<Value> none;
    vm.call(ctor, Value(clip), none);
}

bool validDepth(Vm& vm, const Value& v, int& depth) {
    double d = vm.toNumber(v);
    if (!std::isfinite(d)) return false;
    depth = int(d);
    return d >= -16384 && d <= 2130690045;
}

Value mcAttachMovie(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || args.size() < 3) return Value();
    std::string symbol = vm.toString(args[0]);
    std::string name = vm.toString(args[1]);
    int depth;
    if (!validDepth(vm, args[2], depth)) return Value();
    const MovieDef* movie = mc->movie();
    const Character* ch = movie ? movie->exported(symbol) : nullptr;
    if (!ch || ch->kind != Character::Kind::Sprite) return Value();
    MovieClip* made = mc->attachChild(ch, name, depth, runtimeOf(vm));
    if (!made) return Value();
    ClipObject* o = scriptObjectOf(vm, made);
    applyInit(vm, o, arg(args, 3));
    applyClass(vm, o, symbol);
    return Value(o);
}

Value mcCreateEmptyMovieClip(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || args.size() < 2) return Value();
    int depth;
    if (!validDepth(vm, args[1], depth)) return Value();
    MovieClip* made = mc->attachChild(nullptr, vm.toString(args[0]), depth, runtimeOf(vm));
    return made ? Value(scriptObjectOf(vm, made)) : Value();
}

Value mcDuplicateMovieClip(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || args.size() < 2 || !mc->parent || !mc->parent->asClip()) return Value();
    int depth;
    if (!validDepth(vm, args[1], depth)) return Value();
    MovieClip* made = mc->parent->asClip()->duplicateChild(mc, vm.toString(args[0]), depth, runtimeOf(vm));
    if (!made) return Value();
    ClipObject* o = scriptObjectOf(vm, made);
    applyInit(vm, o, arg(args, 2));
    return Value(o);
}

Value mcRemoveMovieClip(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (mc && mc->parent && mc->parent->asClip()) mc->parent->asClip()->removeScriptChild(mc);
    return Value();
}

Value mcGetDepth(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    return Value(mc->depth - kScriptDepthOffset);
}

Value mcGetNextHighestDepth(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    int next = 0;
    for (const auto& [d, obj] : mc->children())
        next = std::max(next, d - kScriptDepthOffset + 1);
    return Value(next);
}

Value mcGetInstanceAtDepth(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    int depth;
    if (!mc || !validDepth(vm, arg(args, 0), depth)) return Value();
    auto it = mc->children().find(depth + kScriptDepthOffset);
    if (it == mc->children().end()) return Value();
    MovieClip* c = it->second->asClip();
    return c ? Value(scriptObjectOf(vm, c)) : Value();
}

Value mcSwapDepths(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || !mc->parent || !mc->parent->asClip() || args.empty()) return Value();
    MovieClip* parent = mc->parent->asClip();
    int depth;
    if (MovieClip* other = clipOf(args[0])) {
        if (other->parent != mc->parent) return Value();
        depth = other->depth;
    } else {
        if (!validDepth(vm, args[0], depth)) return Value();
        depth += kScriptDepthOffset;
    }
    parent->swapChildDepth(mc, depth);
    return Value();
}

Value boundsObject(Vm& vm, const BoundsRect& b) {
    Object* o = vm.newObject();
    if (b.empty()) {
        o->set(vm, "xMin", Value(6710886.35));
        o->set(vm, "xMax", Value(6710886.35));
        o->set(vm, "yMin", Value(6710886.35));
        o->set(vm, "yMax", Value(6710886.35));
        return Value(o);
    }
    o->set(vm, "xMin", Value(b.xMin / 20.0));
    o->set(vm, "xMax", Value(b.xMax / 20.0));
    o->set(vm, "yMin", Value(b.yMin / 20.0));
    o->set(vm, "yMax", Value(b.yMax / 20.0));
    return Value(o);
}

Value mcGetBounds(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    Matrix m;
    if (MovieClip* space = clipOf(arg(args, 0))) m = worldMatrix(space).inverted() * worldMatrix(mc);
    return boundsObject(vm, boundsIn(mc, &m));
}

void convertPoint(Vm& vm, const Value& pt, const Matrix& m) {
    Object* p = pt.object();
    if (!p) return;
    double x = vm.toNumber(p->get(vm, "x")) * 20, y = vm.toNumber(p->get(vm, "y")) * 20;
    double ox, oy;
    m.apply(x, y, ox, oy);
    p->set(vm, "x", Value(ox / 20.0));
    p->set(vm, "y", Value(oy / 20.0));
}

Value mcLocalToGlobal(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) convertPoint(vm, arg(args, 0), worldMatrix(mc));
    return Value();
}

Value mcGlobalToLocal(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) convertPoint(vm, arg(args, 0), worldMatrix(mc).inverted());
    return Value();
}

Value mcHitTest(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value(false);
    Matrix world = worldMatrix(mc);
    BoundsRect mine = boundsIn(mc, &world);
    if (mine.empty()) return Value(false);
    if (args.size() >= 2) {
        double x = vm.toNumber(args[0]) * 20, y = vm.toNumber(args[1]) * 20;
        return Value(x >= mine.xMin && x <= mine.xMax && y >= mine.yMin && y <= mine.yMax);
    }
    MovieClip* other = clipOf(arg(args, 0));
    if (!other) return Value(false);
    Matrix ow = worldMatrix(other);
    BoundsRect theirs = boundsIn(other, &ow);
    if (theirs.empty()) return Value(false);
    return Value(mine.xMin <= theirs.xMax && theirs.xMin <= mine.xMax && mine.yMin <= theirs.yMax &&
                 theirs.yMin <= mine.yMax);
}

Value mcBytes(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || !mc->movie()) return Value();
    return Value(double(mc->movie()->byteSize()));
}

Value mcGetSwfVersion(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || !mc->movie()) return Value(-1);
    return Value(mc->movie()->info().version);
}

Value mcNoop(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value mcGetUrl(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    vm.host.getUrl(vm.toString(arg(args, 0)), vm.toString(arg(args, 1)), 0, o ? o->asClip() : nullptr);
    return Value();
}

Value mcLoadMovie(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    ClipObject* c = o ? o->asClip() : nullptr;
    if (c) vm.host.getUrl(vm.toString(arg(args, 0)), c->targetPath(), 4, c);
    return Value();
}

Value mcUnloadMovie(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    ClipObject* c = o ? o->asClip() : nullptr;
    if (c) vm.host.getUrl("", c->targetPath(), 4, c);
    return Value();
}

Value mcCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

}  // namespace

void installMovieClip(Vm& vm) {
    Object* proto = vm.newObject();
    vm.clipProto = proto;
    NativeFunction* ctor = vm.newClass(mcCtor, proto);
    struct M {
        const char* name;
        NativeFn fn;
    };
    const M methods[] = {{"play", mcPlay},
                         {"stop", mcStop},
                         {"gotoAndPlay", mcGotoAndPlay},
                         {"gotoAndStop", mcGotoAndStop},
                         {"nextFrame", mcNextFrame},
                         {"prevFrame", mcPrevFrame},
                         {"attachMovie", mcAttachMovie},
                         {"createEmptyMovieClip", mcCreateEmptyMovieClip},
                         {"duplicateMovieClip", mcDuplicateMovieClip},
                         {"removeMovieClip", mcRemoveMovieClip},
                         {"getDepth", mcGetDepth},
                         {"getNextHighestDepth", mcGetNextHighestDepth},
                         {"getInstanceAtDepth", mcGetInstanceAtDepth},
                         {"swapDepths", mcSwapDepths},
                         {"getBounds", mcGetBounds},
                         {"getRect", mcGetBounds},
                         {"localToGlobal", mcLocalToGlobal},
                         {"globalToLocal", mcGlobalToLocal},
                         {"hitTest", mcHitTest},
                         {"getBytesLoaded", mcBytes},
                         {"getBytesTotal", mcBytes},
                         {"getSWFVersion", mcGetSwfVersion},
                         {"startDrag", mcNoop},
                         {"stopDrag", mcNoop},
                         {"setMask", mcNoop},
                         {"getURL", mcGetUrl},
                         {"loadMovie", mcLoadMovie},
                         {"unloadMovie", mcUnloadMovie}};
    for (const M& m : methods)
        vm.method(proto, m.name, m.fn);
    vm.global->define(vm, "MovieClip", Value(ctor), kDontEnum);
}

}  // namespace player::avm1
