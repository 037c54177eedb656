// The SWF 8 display effects of a movie clip as properties of MovieClip.prototype: filters, blendMode,
// cacheAsBitmap, opaqueBackground and scale9Grid. They read and write the plain data the display object
// keeps for the renderer; filters go in and come out as copies, as in Flash Player.
#include <cmath>

#include "player/avm1/builtins/filters_class.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/movie_clip.h"

namespace player::avm1 {

namespace {

// At most this many filters are kept on one object (the renderer applies no more either).
constexpr size_t kMaxFilters = 64;

Value getFilters(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    std::vector<Value> out;
    for (const filters::Filter& f : mc->filters)
        out.push_back(filterValue(vm, f));
    return Value(vm.newArray(std::move(out)));
}

Value setFilters(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    filters::FilterList list;
    if (auto* a = dynamic_cast<ArrayObject*>(arg(args, 0).object())) {
        for (const Value& v : a->elements) {
            if (list.size() >= kMaxFilters) break;
            if (auto p = filterParams(v)) list.push_back(std::move(*p));
        }
    }
    mc->filters = std::move(list);
    return Value();
}

const char* const kBlendNames[] = {"normal",  "normal", "layer",      "multiply", "screen",
                                   "lighten", "darken", "difference", "add",      "subtract",
                                   "invert",  "alpha",  "erase",      "overlay",  "hardlight"};
constexpr int kBlendModes = 15;

Value getBlendMode(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    return Value(kBlendNames[mc->blendMode < kBlendModes ? mc->blendMode : 0]);
}

// A mode's name (exactly as written) or number (its low byte); null and undefined are normal; anything
// else leaves the mode as it is.
Value setBlendMode(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    Value v = arg(args, 0);
    if (v.isNullish()) {
        mc->blendMode = 1;
    } else if (v.isNumber()) {
        int n = int(clampToInt(v.number(), INT32_MIN, INT32_MAX)) & 255;
        if (n >= 1 && n < kBlendModes) mc->blendMode = uint8_t(n);
    } else if (v.isString()) {
        for (int i = 1; i < kBlendModes; ++i)
            if (v.string() == kBlendNames[i]) mc->blendMode = uint8_t(i);
    }
    return Value();
}

Value getCacheAsBitmap(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    return mc ? Value(mc->cacheAsBitmap) : Value();
}

Value setCacheAsBitmap(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (MovieClip* mc = clipOf(self)) mc->cacheAsBitmap = vm.toBoolean(arg(args, 0));
    return Value();
}

Value getOpaqueBackground(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || !mc->opaqueBackground) return Value();
    const Rgba& c = *mc->opaqueBackground;
    return Value(double(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b));
}

// A colour 0xRRGGBB; undefined, null and NaN take the background away.
Value setOpaqueBackground(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    Value v = arg(args, 0);
    double n = vm.toNumber(v);
    if (v.isNullish() || std::isnan(n)) {
        mc->opaqueBackground.reset();
        return Value();
    }
    uint32_t rgb = toUint32(n);
    mc->opaqueBackground = Rgba{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255};
    return Value();
}

Object* rectangleClass(Vm& vm) {
    Object* flash = vm.global->get(vm, "flash").object();
    Object* geom = flash ? flash->get(vm, "geom").object() : nullptr;
    return geom ? geom->get(vm, "Rectangle").object() : nullptr;
}

Value getScale9Grid(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    const std::optional<swf::Rect> grid = mc->scalingGrid();
    Object* rect = rectangleClass(vm);
    if (!grid || !rect) return Value();
    std::vector<Value> xywh{Value(grid->xMin / 20.0), Value(grid->yMin / 20.0),
                            Value((grid->xMax - grid->xMin) / 20.0), Value((grid->yMax - grid->yMin) / 20.0)};
    return vm.construct(Value(rect), xywh);
}

// A Rectangle in the clip's own pixels; anything else turns 9-slice scaling off, the symbol's own grid too.
Value setScale9Grid(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    Value v = arg(args, 0);
    Object* rect = rectangleClass(vm);
    if (!rect || !vm.instanceOf(v, rect)) {
        mc->scriptScalingGrid.reset();
        mc->scalingGridCleared = true;
        return Value();
    }
    Object* r = v.object();
    auto twips = [&](const char* name) {
        double n = vm.toNumber(r->get(vm, name)) * 20.0;
        return std::isfinite(n) ? int32_t(clampToInt(std::round(n), -(1 << 28), 1 << 28)) : 0;
    };
    const int32_t x = twips("x"), y = twips("y"), w = twips("width"), h = twips("height");
    mc->scriptScalingGrid = swf::Rect{x, x + std::max(w, 0), y, y + std::max(h, 0)};
    mc->scalingGridCleared = false;
    return Value();
}

struct Accessor {
    const char* name;
    NativeFn get, set;
};

}  // namespace

void installClipEffects(Vm& vm) {
    if (!vm.clipProto) return;
    const Accessor accessors[] = {{"filters", getFilters, setFilters},
                                  {"blendMode", getBlendMode, setBlendMode},
                                  {"cacheAsBitmap", getCacheAsBitmap, setCacheAsBitmap},
                                  {"opaqueBackground", getOpaqueBackground, setOpaqueBackground},
                                  {"scale9Grid", getScale9Grid, setScale9Grid}};
    for (const Accessor& a : accessors)
        vm.clipProto->defineAccessor(vm, a.name, vm.newFunction(a.get), vm.newFunction(a.set),
                                     kDontEnum | kDontDelete | kVersion8Up);
}

}  // namespace player::avm1
