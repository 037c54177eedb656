// Color: the colour transform of a movie clip as scripts see it. Multipliers are percentages (100 leaves a
// channel as it is), offsets colour units from -255 to 255. The clip stores multipliers in 8.8 fixed
// point as a movie's own transforms do, so a percentage reads back rounded to 1/256.
#include <cmath>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/text_support.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/edit_text.h"
#include "player/core/movie_clip.h"

namespace player::avm1 {

namespace {

class ColorObject : public Object {
  public:
    explicit ColorObject(Object* proto) : Object(proto) {}
    Value target;
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        traceValue(target, out);
    }
};

Object* allocateColor(Vm& vm, Object* proto) {
    return vm.make<ColorObject>(proto);
}

// What a Color acts on: a clip or a text field given directly, or a clip's target path resolved from the
// root.
DisplayObject* targetClip(Vm& vm, const Value& self) {
    auto* c = dynamic_cast<ColorObject*>(self.object());
    if (!c) return nullptr;
    if (auto* field = dynamic_cast<TextFieldObject*>(c->target.object())) return field->field();
    ClipObject* clip = c->target.object() ? c->target.object()->asClip() : nullptr;
    if (!clip && !c->target.isNullish()) clip = vm.resolveTarget(vm.host.level(0), vm.toString(c->target));
    return clip ? clip->clip() : nullptr;
}

Value ctor(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* c = dynamic_cast<ColorObject*>(self.object());
    if (!c) return Value();
    c->target = arg(args, 0);
    // The target shows as a member; it and everything else the new object has are hidden, permanent and
    // read-only.
    c->define(vm, "target", c->target, 0);
    c->changeAllFlags(kDontEnum | kDontDelete | kReadOnly, 0);
    return Value();
}

Value setRgb(Vm& vm, const Value& self, std::vector<Value>& args) {
    DisplayObject* mc = targetClip(vm, self);
    if (!mc || args.empty()) return Value();
    int32_t rgb = vm.toInt(args[0]);
    ColorTransform& cx = mc->cxform;
    cx.rm = cx.gm = cx.bm = 0;
    cx.ra = float((rgb >> 16) & 255);
    cx.ga = float((rgb >> 8) & 255);
    cx.ba = float(rgb & 255);
    mc->scriptTransformed = true;
    return Value();
}

Value getRgb(Vm& vm, const Value& self, std::vector<Value>& args) {
    DisplayObject* mc = targetClip(vm, self);
    if (!mc) return Value();
    // The offsets combine unmasked: negative ones make a negative answer, as in Flash Player.
    const ColorTransform& cx = mc->cxform;
    uint32_t r = uint32_t(int32_t(cx.ra)), g = uint32_t(int32_t(cx.ga)), b = uint32_t(int32_t(cx.ba));
    return Value(double(int32_t((r << 16) | (g << 8) | b)));
}

// The clip keeps each member in 16 bits, as a movie's own transforms are stored: multipliers in 8.8 fixed
// point, offsets whole; larger values wrap around.
double wrap16(double v) {
    return double(int16_t(uint16_t(uint32_t(toInt32(std::trunc(v))))));
}

double fixedMultiplier(double percent) {
    return wrap16(percent * 256.0 / 100.0) / 256.0;
}

// setTransform({ra, rb, ga, gb, ba, bb, aa, ab}): the members given replace those of the clip.
Value setTransform(Vm& vm, const Value& self, std::vector<Value>& args) {
    DisplayObject* mc = targetClip(vm, self);
    Object* t = arg(args, 0).object();
    if (!mc || !t) return Value();
    ColorTransform& cx = mc->cxform;
    const struct {
        const char* name;
        float* field;
        bool multiplier;
    } members[] = {{"ra", &cx.rm, true}, {"rb", &cx.ra, false}, {"ga", &cx.gm, true}, {"gb", &cx.ga, false},
                   {"ba", &cx.bm, true}, {"bb", &cx.ba, false}, {"aa", &cx.am, true}, {"ab", &cx.aa, false}};
    for (const auto& m : members) {
        if (!t->has(vm, m.name)) continue;
        double v = vm.toNumber(t->get(vm, m.name));
        if (!std::isfinite(v)) v = 0;
        *m.field = float(m.multiplier ? fixedMultiplier(v) : wrap16(v));
    }
    mc->scriptTransformed = true;
    return Value();
}

Value getTransform(Vm& vm, const Value& self, std::vector<Value>& args) {
    DisplayObject* mc = targetClip(vm, self);
    if (!mc) return Value();
    const ColorTransform& cx = mc->cxform;
    Object* t = vm.newObject();
    t->set(vm, "ra", Value(double(cx.rm) * 100.0));
    t->set(vm, "rb", Value(double(cx.ra)));
    t->set(vm, "ga", Value(double(cx.gm) * 100.0));
    t->set(vm, "gb", Value(double(cx.ga)));
    t->set(vm, "ba", Value(double(cx.bm) * 100.0));
    t->set(vm, "bb", Value(double(cx.ba)));
    t->set(vm, "aa", Value(double(cx.am) * 100.0));
    t->set(vm, "ab", Value(double(cx.aa)));
    return Value(t);
}

}  // namespace

void installColor(Vm& vm) {
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ctor, proto, ctor);
    cls->allocate = allocateColor;
    vm.method(proto, "setRGB", setRgb);
    vm.method(proto, "getRGB", getRgb);
    vm.method(proto, "setTransform", setTransform);
    vm.method(proto, "getTransform", getTransform);
    // Everything on Color.prototype is read-only, its __proto__ and constructor too.
    proto->changeAllFlags(kReadOnly, 0);
    vm.global->define(vm, "Color", Value(cls), kDontEnum);
}

}  // namespace player::avm1
