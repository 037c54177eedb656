// flash.geom: Point, Rectangle, ColorTransform and Transform, registered under _global.flash.geom for
// movies of SWF 6 and later, and Matrix from SWF 8.
// Their members are ordinary properties a script may set to anything, and the methods compute with the
// language's own operators (a string member concatenates under +), as the classes Flash Player ships do.
// Transform reaches a clip's matrix and colour transform; positions are in pixels.
#include <cmath>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/movie_clip.h"

namespace player::avm1 {

namespace {

// ---- helpers ----

Value get(Vm& vm, const Value& o, const char* name) {
    Object* obj = o.object();
    return obj ? obj->get(vm, name) : Value();
}

void put(Vm& vm, const Value& o, const char* name, const Value& v) {
    if (Object* obj = o.object()) obj->set(vm, name, v);
}

double num(Vm& vm, const Value& o, const char* name) {
    return vm.toNumber(get(vm, o, name));
}

// The + operator: strings concatenate, anything else adds as numbers.
Value plus(Vm& vm, const Value& a, const Value& b) {
    Value pa = vm.toPrimitive(a), pb = vm.toPrimitive(b);
    if (pa.isString() || pb.isString()) return Value(vm.toString(pa) + vm.toString(pb));
    return Value(vm.toNumber(pa) + vm.toNumber(pb));
}

// A member as the + operator joins it to a string: valueOf first, then toString.
std::string text(Vm& vm, const Value& v) {
    return vm.toString(vm.toPrimitive(v));
}

// "(x=1, y=2)": the members converted one after another, in order, as a script's + chain does.
std::string fieldList(Vm& vm, const Value& self, std::initializer_list<const char*> names,
                      std::initializer_list<const char*> labels) {
    std::string out = "(";
    auto label = labels.begin();
    for (const char* n : names) {
        if (out.size() > 1) out += ", ";
        out += *label++;
        out += "=";
        out += text(vm, get(vm, self, n));
    }
    return out + ")";
}

Value minus(Vm& vm, const Value& a, const Value& b) {
    return Value(vm.toNumber(a) - vm.toNumber(b));
}

Object* geomPackage(Vm& vm) {
    Object* flash = vm.global->get(vm, "flash").object();
    return flash ? flash->get(vm, "geom").object() : nullptr;
}

Value construct(Vm& vm, const char* cls, std::vector<Value> args) {
    Object* geom = geomPackage(vm);
    if (!geom) return Value();
    return vm.construct(geom->get(vm, cls), args);
}

bool isA(Vm& vm, const Value& v, const char* cls) {
    Object* geom = geomPackage(vm);
    return geom && vm.instanceOf(v, geom->get(vm, cls).object());
}

// Fields of the constructor: given as they are when any argument is, else the defaults.
void initFields(Vm& vm, const Value& self, std::vector<Value>& args, std::initializer_list<const char*> names,
                std::initializer_list<double> defaults) {
    size_t i = 0;
    auto d = defaults.begin();
    for (const char* n : names) {
        put(vm, self, n, args.empty() ? Value(*d) : arg(args, i));
        ++i;
        ++d;
    }
}

// The package's methods are written in ActionScript in Flash Player: each has a prototype object of its own.
void enumerable(Vm& vm, Object* on, const char* name, NativeFn fn) {
    on->define(vm, name, Value(vm.newClass(fn, vm.newObject())), 0);
}

void accessor(Vm& vm, Object* on, const char* name, NativeFn getter, NativeFn setter) {
    on->defineAccessor(vm, name, vm.newFunction(getter), setter ? vm.newFunction(setter) : nullptr, 0);
}

// ---- Point ----

Value pointCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    initFields(vm, self, args, {"x", "y"}, {0, 0});
    return Value();
}

Value makePoint(Vm& vm, const Value& x, const Value& y) {
    return construct(vm, "Point", {x, y});
}

Value pointLength(Vm& vm, const Value& self, std::vector<Value>& args) {
    double x = num(vm, self, "x"), y = num(vm, self, "y");
    return Value(std::sqrt(x * x + y * y));
}

Value pointAdd(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value p = arg(args, 0);
    return makePoint(vm, plus(vm, get(vm, self, "x"), get(vm, p, "x")),
                     plus(vm, get(vm, self, "y"), get(vm, p, "y")));
}

Value pointSubtract(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value p = arg(args, 0);
    return makePoint(vm, minus(vm, get(vm, self, "x"), get(vm, p, "x")),
                     minus(vm, get(vm, self, "y"), get(vm, p, "y")));
}

Value pointClone(Vm& vm, const Value& self, std::vector<Value>& args) {
    return makePoint(vm, get(vm, self, "x"), get(vm, self, "y"));
}

Value pointEquals(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value p = arg(args, 0);
    if (!isA(vm, p, "Point")) return Value(false);
    // A point equals itself even when a coordinate is NaN.
    if (p.object() == self.object()) return Value(true);
    return Value(vm.looseEquals(get(vm, self, "x"), get(vm, p, "x")) &&
                 vm.looseEquals(get(vm, self, "y"), get(vm, p, "y")));
}

Value pointNormalize(Vm& vm, const Value& self, std::vector<Value>& args) {
    double x = num(vm, self, "x"), y = num(vm, self, "y");
    double length = std::sqrt(x * x + y * y);
    if (length > 0) {
        double f = vm.toNumber(arg(args, 0)) / length;
        put(vm, self, "x", Value(x * f));
        put(vm, self, "y", Value(y * f));
    }
    return Value();
}

Value pointOffset(Vm& vm, const Value& self, std::vector<Value>& args) {
    put(vm, self, "x", plus(vm, get(vm, self, "x"), arg(args, 0)));
    put(vm, self, "y", plus(vm, get(vm, self, "y"), arg(args, 1)));
    return Value();
}

Value pointToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(fieldList(vm, self, {"x", "y"}, {"x", "y"}));
}

Value pointDistance(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value a = arg(args, 0), b = arg(args, 1);
    double dx = num(vm, a, "x") - num(vm, b, "x"), dy = num(vm, a, "y") - num(vm, b, "y");
    return Value(std::sqrt(dx * dx + dy * dy));
}

// interpolate(a, b, f): b at f = 0, a at f = 1.
Value pointInterpolate(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value a = arg(args, 0), b = arg(args, 1);
    double f = vm.toNumber(arg(args, 2));
    double bx = num(vm, b, "x"), by = num(vm, b, "y");
    return makePoint(vm, Value(bx + (num(vm, a, "x") - bx) * f), Value(by + (num(vm, a, "y") - by) * f));
}

Value pointPolar(Vm& vm, const Value& self, std::vector<Value>& args) {
    double length = vm.toNumber(arg(args, 0)), angle = vm.toNumber(arg(args, 1));
    return makePoint(vm, Value(length * std::cos(angle)), Value(length * std::sin(angle)));
}

// ---- Rectangle ----

Value rectCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    // Without arguments the rectangle empties itself through its own (replaceable) setEmpty.
    if (args.empty()) {
        std::vector<Value> none;
        vm.callMethod(self, "setEmpty", none);
        return Value();
    }
    initFields(vm, self, args, {"x", "y", "width", "height"}, {0, 0, 0, 0});
    return Value();
}

Value makeRect(Vm& vm, const Value& x, const Value& y, const Value& w, const Value& h) {
    return construct(vm, "Rectangle", {x, y, w, h});
}

struct Box {
    double x, y, w, h;
};

Box boxOf(Vm& vm, const Value& r) {
    return {num(vm, r, "x"), num(vm, r, "y"), num(vm, r, "width"), num(vm, r, "height")};
}

bool emptyBox(const Box& b) {
    return !(b.w > 0 && b.h > 0);
}

Value rectLeft(Vm& vm, const Value& self, std::vector<Value>& args) {
    return get(vm, self, "x");
}
Value rectSetLeft(Vm& vm, const Value& self, std::vector<Value>& args) {
    double v = vm.toNumber(arg(args, 0));
    put(vm, self, "width", Value(num(vm, self, "width") + num(vm, self, "x") - v));
    put(vm, self, "x", Value(v));
    return Value();
}
Value rectTop(Vm& vm, const Value& self, std::vector<Value>& args) {
    return get(vm, self, "y");
}
Value rectSetTop(Vm& vm, const Value& self, std::vector<Value>& args) {
    double v = vm.toNumber(arg(args, 0));
    put(vm, self, "height", Value(num(vm, self, "height") + num(vm, self, "y") - v));
    put(vm, self, "y", Value(v));
    return Value();
}
Value rectRight(Vm& vm, const Value& self, std::vector<Value>& args) {
    return plus(vm, get(vm, self, "x"), get(vm, self, "width"));
}
Value rectSetRight(Vm& vm, const Value& self, std::vector<Value>& args) {
    put(vm, self, "width", Value(vm.toNumber(arg(args, 0)) - num(vm, self, "x")));
    return Value();
}
Value rectBottom(Vm& vm, const Value& self, std::vector<Value>& args) {
    return plus(vm, get(vm, self, "y"), get(vm, self, "height"));
}
Value rectSetBottom(Vm& vm, const Value& self, std::vector<Value>& args) {
    put(vm, self, "height", Value(vm.toNumber(arg(args, 0)) - num(vm, self, "y")));
    return Value();
}
Value rectSize(Vm& vm, const Value& self, std::vector<Value>& args) {
    return makePoint(vm, get(vm, self, "width"), get(vm, self, "height"));
}
Value rectSetSize(Vm& vm, const Value& self, std::vector<Value>& args) {
    put(vm, self, "width", get(vm, arg(args, 0), "x"));
    put(vm, self, "height", get(vm, arg(args, 0), "y"));
    return Value();
}
Value rectTopLeft(Vm& vm, const Value& self, std::vector<Value>& args) {
    return makePoint(vm, get(vm, self, "x"), get(vm, self, "y"));
}
Value rectSetTopLeft(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<Value> x{get(vm, arg(args, 0), "x")}, y{get(vm, arg(args, 0), "y")};
    rectSetLeft(vm, self, x);
    rectSetTop(vm, self, y);
    return Value();
}
Value rectBottomRight(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<Value> none;
    return makePoint(vm, rectRight(vm, self, none), rectBottom(vm, self, none));
}
Value rectSetBottomRight(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<Value> x{get(vm, arg(args, 0), "x")}, y{get(vm, arg(args, 0), "y")};
    rectSetRight(vm, self, x);
    rectSetBottom(vm, self, y);
    return Value();
}

Value rectClone(Vm& vm, const Value& self, std::vector<Value>& args) {
    return makeRect(vm, get(vm, self, "x"), get(vm, self, "y"), get(vm, self, "width"),
                    get(vm, self, "height"));
}

bool boxContains(const Box& b, double x, double y) {
    return x >= b.x && y >= b.y && x < b.x + b.w && y < b.y + b.h;
}

Value rectContains(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(boxContains(boxOf(vm, self), vm.toNumber(arg(args, 0)), vm.toNumber(arg(args, 1))));
}

Value rectContainsPoint(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value p = arg(args, 0);
    return Value(boxContains(boxOf(vm, self), num(vm, p, "x"), num(vm, p, "y")));
}

Value rectContainsRectangle(Vm& vm, const Value& self, std::vector<Value>& args) {
    Box a = boxOf(vm, self), b = boxOf(vm, arg(args, 0));
    return Value(b.x >= a.x && b.y >= a.y && b.x + b.w <= a.x + a.w && b.y + b.h <= a.y + a.h);
}

Value rectEquals(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value r = arg(args, 0);
    if (!isA(vm, r, "Rectangle")) return Value(false);
    for (const char* n : {"x", "y", "width", "height"})
        if (!vm.looseEquals(get(vm, self, n), get(vm, r, n))) return Value(false);
    return Value(true);
}

Value rectInflate(Vm& vm, const Value& self, std::vector<Value>& args) {
    double dx = vm.toNumber(arg(args, 0)), dy = vm.toNumber(arg(args, 1));
    Box b = boxOf(vm, self);
    put(vm, self, "x", Value(b.x - dx));
    put(vm, self, "width", Value(b.w + 2 * dx));
    put(vm, self, "y", Value(b.y - dy));
    put(vm, self, "height", Value(b.h + 2 * dy));
    return Value();
}

Value rectInflatePoint(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<Value> d{get(vm, arg(args, 0), "x"), get(vm, arg(args, 0), "y")};
    return rectInflate(vm, self, d);
}

Value rectIntersection(Vm& vm, const Value& self, std::vector<Value>& args) {
    Box a = boxOf(vm, self), b = boxOf(vm, arg(args, 0));
    if (emptyBox(a) || emptyBox(b)) return makeRect(vm, Value(0), Value(0), Value(0), Value(0));
    double x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    double x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
    if (x1 <= x0 || y1 <= y0) return makeRect(vm, Value(0), Value(0), Value(0), Value(0));
    return makeRect(vm, Value(x0), Value(y0), Value(x1 - x0), Value(y1 - y0));
}

Value rectIntersects(Vm& vm, const Value& self, std::vector<Value>& args) {
    Box a = boxOf(vm, self), b = boxOf(vm, arg(args, 0));
    if (emptyBox(a) || emptyBox(b)) return Value(false);
    return Value(std::min(a.x + a.w, b.x + b.w) > std::max(a.x, b.x) &&
                 std::min(a.y + a.h, b.y + b.h) > std::max(a.y, b.y));
}

Value rectIsEmpty(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(emptyBox(boxOf(vm, self)));
}

Value rectOffset(Vm& vm, const Value& self, std::vector<Value>& args) {
    put(vm, self, "x", plus(vm, get(vm, self, "x"), arg(args, 0)));
    put(vm, self, "y", plus(vm, get(vm, self, "y"), arg(args, 1)));
    return Value();
}

Value rectOffsetPoint(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<Value> d{get(vm, arg(args, 0), "x"), get(vm, arg(args, 0), "y")};
    return rectOffset(vm, self, d);
}

Value rectSetEmpty(Vm& vm, const Value& self, std::vector<Value>& args) {
    for (const char* n : {"x", "y", "width", "height"})
        put(vm, self, n, Value(0));
    return Value();
}

Value rectUnion(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value other = arg(args, 0);
    Box a = boxOf(vm, self), b = boxOf(vm, other);
    std::vector<Value> none;
    if (emptyBox(a)) return makeRect(vm, Value(b.x), Value(b.y), Value(b.w), Value(b.h));
    if (emptyBox(b)) return rectClone(vm, self, none);
    double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    double x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
    return makeRect(vm, Value(x0), Value(y0), Value(x1 - x0), Value(y1 - y0));
}

Value rectToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(fieldList(vm, self, {"x", "y", "width", "height"}, {"x", "y", "w", "h"}));
}

// ---- Matrix ----

struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

Affine affineOf(Vm& vm, const Value& m) {
    return {num(vm, m, "a"), num(vm, m, "b"),  num(vm, m, "c"),
            num(vm, m, "d"), num(vm, m, "tx"), num(vm, m, "ty")};
}

void store(Vm& vm, const Value& m, const Affine& f) {
    put(vm, m, "a", Value(f.a));
    put(vm, m, "b", Value(f.b));
    put(vm, m, "c", Value(f.c));
    put(vm, m, "d", Value(f.d));
    put(vm, m, "tx", Value(f.tx));
    put(vm, m, "ty", Value(f.ty));
}

// first, then second.
Affine concat(const Affine& m, const Affine& n) {
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,          m.c * n.a + m.d * n.c,
            m.c * n.b + m.d * n.d, m.tx * n.a + m.ty * n.c + n.tx, m.tx * n.b + m.ty * n.d + n.ty};
}

Value matrixCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    initFields(vm, self, args, {"a", "b", "c", "d", "tx", "ty"}, {1, 0, 0, 1, 0, 0});
    return Value();
}

Value matrixClone(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<Value> fields;
    for (const char* n : {"a", "b", "c", "d", "tx", "ty"})
        fields.push_back(get(vm, self, n));
    return construct(vm, "Matrix", fields);
}

Value matrixConcat(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (!arg(args, 0).isObject()) return Value();
    store(vm, self, concat(affineOf(vm, self), affineOf(vm, args[0])));
    return Value();
}

// identity, rotate(rotation), scale(sx, sy), translate(tx, ty) in one step.
Affine box(double sx, double sy, double rotation, double tx, double ty) {
    double cs = std::cos(rotation), sn = std::sin(rotation);
    return {sx * cs, sy * sn, -sx * sn, sy * cs, tx, ty};
}

Value matrixCreateBox(Vm& vm, const Value& self, std::vector<Value>& args) {
    double r = args.size() > 2 ? vm.toNumber(args[2]) : 0;
    double tx = args.size() > 3 ? vm.toNumber(args[3]) : 0;
    double ty = args.size() > 4 ? vm.toNumber(args[4]) : 0;
    store(vm, self, box(vm.toNumber(arg(args, 0)), vm.toNumber(arg(args, 1)), r, tx, ty));
    return Value();
}

// A gradient's box: the 1638.4-unit gradient square scaled to width x height, centred on the box.
Value matrixCreateGradientBox(Vm& vm, const Value& self, std::vector<Value>& args) {
    double w = vm.toNumber(arg(args, 0)), h = vm.toNumber(arg(args, 1));
    double r = args.size() > 2 ? vm.toNumber(args[2]) : 0;
    double tx = args.size() > 3 ? vm.toNumber(args[3]) : 0;
    double ty = args.size() > 4 ? vm.toNumber(args[4]) : 0;
    store(vm, self, box(w / 1638.4, h / 1638.4, r, tx + w / 2, ty + h / 2));
    return Value();
}

Value matrixDeltaTransformPoint(Vm& vm, const Value& self, std::vector<Value>& args) {
    Affine m = affineOf(vm, self);
    double x = num(vm, arg(args, 0), "x"), y = num(vm, arg(args, 0), "y");
    return makePoint(vm, Value(m.a * x + m.c * y), Value(m.b * x + m.d * y));
}

Value matrixTransformPoint(Vm& vm, const Value& self, std::vector<Value>& args) {
    Affine m = affineOf(vm, self);
    double x = num(vm, arg(args, 0), "x"), y = num(vm, arg(args, 0), "y");
    return makePoint(vm, Value(m.a * x + m.c * y + m.tx), Value(m.b * x + m.d * y + m.ty));
}

Value matrixIdentity(Vm& vm, const Value& self, std::vector<Value>& args) {
    store(vm, self, Affine{});
    return Value();
}

Value matrixInvert(Vm& vm, const Value& self, std::vector<Value>& args) {
    Affine m = affineOf(vm, self);
    double det = m.a * m.d - m.b * m.c;
    if (det == 0) {
        store(vm, self, Affine{});
        return Value();
    }
    Affine r{m.d / det, -m.b / det, -m.c / det, m.a / det, 0, 0};
    r.tx = -(r.a * m.tx + r.c * m.ty);
    r.ty = -(r.b * m.tx + r.d * m.ty);
    store(vm, self, r);
    return Value();
}

Value matrixRotate(Vm& vm, const Value& self, std::vector<Value>& args) {
    double r = vm.toNumber(arg(args, 0));
    double cs = std::cos(r), sn = std::sin(r);
    store(vm, self, concat(affineOf(vm, self), Affine{cs, sn, -sn, cs, 0, 0}));
    return Value();
}

Value matrixScale(Vm& vm, const Value& self, std::vector<Value>& args) {
    double sx = vm.toNumber(arg(args, 0)), sy = vm.toNumber(arg(args, 1));
    store(vm, self, concat(affineOf(vm, self), Affine{sx, 0, 0, sy, 0, 0}));
    return Value();
}

Value matrixTranslate(Vm& vm, const Value& self, std::vector<Value>& args) {
    put(vm, self, "tx", plus(vm, get(vm, self, "tx"), arg(args, 0)));
    put(vm, self, "ty", plus(vm, get(vm, self, "ty"), arg(args, 1)));
    return Value();
}

Value matrixToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(fieldList(vm, self, {"a", "b", "c", "d", "tx", "ty"}, {"a", "b", "c", "d", "tx", "ty"}));
}

// ---- ColorTransform ----

const char* const kCxNames[] = {"redMultiplier", "greenMultiplier", "blueMultiplier", "alphaMultiplier",
                                "redOffset",     "greenOffset",     "blueOffset",     "alphaOffset"};

// Its eight members are numbers kept by the object, read and written through properties of the prototype.
class ColorTransformObject : public Object {
  public:
    explicit ColorTransformObject(Object* proto) : Object(proto) {}
    double v[8] = {1, 1, 1, 1, 0, 0, 0, 0};
};

Object* allocateColorTransform(Vm& vm, Object* proto) {
    // Before SWF 8 the object is made without the native part: every member reads undefined.
    if (vm.version < 8) return vm.make<Object>(proto);
    return vm.make<ColorTransformObject>(proto);
}

ColorTransformObject* cxOf(const Value& v) {
    return dynamic_cast<ColorTransformObject*>(v.object());
}

Value cxCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    // Fewer than eight arguments leave the identity; eight are all read, even by an SWF 6 or 7 object
    // that keeps none of them.
    if (args.size() < 8) return Value();
    double v[8];
    for (size_t i = 0; i < 8; ++i)
        v[i] = argNumber(vm, args[i]);
    if (ColorTransformObject* c = cxOf(self))
        for (size_t i = 0; i < 8; ++i)
            c->v[i] = v[i];
    return Value();
}

template <int I>
Value cxGet(Vm& vm, const Value& self, std::vector<Value>& args) {
    ColorTransformObject* c = cxOf(self);
    return c ? Value(c->v[I]) : Value();
}

template <int I>
Value cxSet(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (ColorTransformObject* c = cxOf(self))
        c->v[I] = vm.toNumber(arg(args, 0));
    else if (Object* o = self.object(); o && !o->hasOwn(vm, kCxNames[I]))
        o->define(vm, kCxNames[I], arg(args, 0), 0);  // no native part (before SWF 8): a plain member
    return Value();
}

Value cxGetRgb(Vm& vm, const Value& self, std::vector<Value>& args) {
    ColorTransformObject* c = cxOf(self);
    if (!c) return Value();
    int32_t r = toInt32(c->v[4]), g = toInt32(c->v[5]), b = toInt32(c->v[6]);
    // The offsets are not cut to bytes: out-of-range offsets overlap, and the result is signed.
    uint32_t rgb = (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
    return Value(double(int32_t(rgb)));
}

Value cxSetRgb(Vm& vm, const Value& self, std::vector<Value>& args) {
    ColorTransformObject* c = cxOf(self);
    if (!c) {
        if (Object* o = self.object(); o && !o->hasOwn(vm, "rgb")) o->define(vm, "rgb", arg(args, 0), 0);
        return Value();
    }
    int32_t rgb = vm.toInt(arg(args, 0));
    c->v[0] = c->v[1] = c->v[2] = 0;
    c->v[4] = (rgb >> 16) & 255;
    c->v[5] = (rgb >> 8) & 255;
    c->v[6] = rgb & 255;
    return Value();
}

// concat(second): this applied after second.
Value cxConcat(Vm& vm, const Value& self, std::vector<Value>& args) {
    ColorTransformObject* m = cxOf(self);
    ColorTransformObject* n = cxOf(arg(args, 0));
    if (!m || !n) return Value();
    for (int i = 0; i < 4; ++i) {
        m->v[i + 4] = m->v[i + 4] + m->v[i] * n->v[i + 4];
        m->v[i] = m->v[i] * n->v[i];
    }
    return Value();
}

Value cxToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(fieldList(vm, self,
                           {"redMultiplier", "greenMultiplier", "blueMultiplier", "alphaMultiplier",
                            "redOffset", "greenOffset", "blueOffset", "alphaOffset"},
                           {"redMultiplier", "greenMultiplier", "blueMultiplier", "alphaMultiplier",
                            "redOffset", "greenOffset", "blueOffset", "alphaOffset"}));
}

// ---- Transform ----

class TransformObject : public Object {
  public:
    explicit TransformObject(Object* proto) : Object(proto) {}
    Value clip;
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        traceValue(clip, out);
    }
};

Object* allocateTransform(Vm& vm, Object* proto) {
    return vm.make<TransformObject>(proto);
}

MovieClip* transformClip(const Value& self) {
    auto* t = dynamic_cast<TransformObject*>(self.object());
    ClipObject* c = t && t->clip.object() ? t->clip.object()->asClip() : nullptr;
    return c ? c->clip() : nullptr;
}

Value transformCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* t = dynamic_cast<TransformObject*>(self.object());
    Object* c = arg(args, 0).object();
    // Before SWF 8 a Transform is made but never reaches its clip: every member reads undefined.
    if (t && c && c->asClip() && vm.version >= 8) t->clip = args[0];
    return Value();
}

Value matrixValue(Vm& vm, const Matrix& m) {
    return construct(
        vm, "Matrix",
        {Value(m.a), Value(m.b), Value(m.c), Value(m.d), Value(m.tx / 20.0), Value(m.ty / 20.0)});
}

Value cxValue(Vm& vm, const ColorTransform& cx) {
    return construct(
        vm, "ColorTransform",
        {Value(double(cx.rm)), Value(double(cx.gm)), Value(double(cx.bm)), Value(double(cx.am)),
         Value(double(cx.ra)), Value(double(cx.ga)), Value(double(cx.ba)), Value(double(cx.aa))});
}

Value transformMatrix(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = transformClip(self);
    return mc ? matrixValue(vm, mc->matrix) : Value();
}

Value transformSetMatrix(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = transformClip(self);
    Value m = arg(args, 0);
    if (!mc || !isA(vm, m, "Matrix")) return Value();
    Affine f = affineOf(vm, m);
    for (double v : {f.a, f.b, f.c, f.d, f.tx, f.ty})
        if (!std::isfinite(v)) return Value();
    mc->matrix.a = f.a;
    mc->matrix.b = f.b;
    mc->matrix.c = f.c;
    mc->matrix.d = f.d;
    mc->matrix.tx = std::round(f.tx * 20.0);
    mc->matrix.ty = std::round(f.ty * 20.0);
    mc->scriptTransformed = true;
    return Value();
}

Value transformConcatenatedMatrix(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = transformClip(self);
    if (!mc) return Value();
    Matrix m = mc->matrix;
    for (DisplayObject* p = mc->parent; p; p = p->parent)
        m = p->matrix * m;
    return matrixValue(vm, m);
}

Value transformColor(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = transformClip(self);
    return mc ? cxValue(vm, mc->cxform) : Value();
}

Value transformSetColor(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = transformClip(self);
    ColorTransformObject* c = cxOf(arg(args, 0));
    if (!mc || !c) return Value();
    float* fields[] = {&mc->cxform.rm, &mc->cxform.gm, &mc->cxform.bm, &mc->cxform.am,
                       &mc->cxform.ra, &mc->cxform.ga, &mc->cxform.ba, &mc->cxform.aa};
    for (int i = 0; i < 8; ++i) {
        double v = c->v[i];
        *fields[i] = std::isfinite(v) ? float(std::clamp(v, -3e38, 3e38)) : 0.0f;
    }
    mc->scriptTransformed = true;
    return Value();
}

Value transformConcatenatedColor(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = transformClip(self);
    if (!mc) return Value();
    ColorTransform cx = mc->cxform;
    for (DisplayObject* p = mc->parent; p; p = p->parent)
        cx = p->cxform * cx;
    return cxValue(vm, cx);
}

Value transformPixelBounds(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (!transformClip(self)) return Value();
    vm.host.unsupported("Transform.pixelBounds");
    return makeRect(vm, Value(0), Value(0), Value(0), Value(0));
}

Value nothing(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Object* makeClass(Vm& vm, Object* package, const char* name, NativeFn ctor, Allocator allocate = nullptr) {
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ctor, proto, ctor);
    cls->allocate = allocate;
    package->define(vm, name, Value(cls), 0);
    return proto;
}

}  // namespace

void installGeom(Vm& vm) {
    // Flash Player 8 shows the package to every movie from SWF 6 on.
    if (vm.version < 6) return;
    Object* flash = vm.global->get(vm, "flash").object();
    if (!flash) {
        flash = vm.newObject();
        vm.global->define(vm, "flash", Value(flash), kDontEnum);
    }
    Object* geom = vm.newObject();
    flash->define(vm, "geom", Value(geom), 0);

    Object* point = makeClass(vm, geom, "Point", pointCtor);
    Object* pointClass = geom->get(vm, "Point").object();
    enumerable(vm, pointClass, "distance", pointDistance);
    enumerable(vm, pointClass, "interpolate", pointInterpolate);
    enumerable(vm, pointClass, "polar", pointPolar);
    enumerable(vm, point, "add", pointAdd);
    enumerable(vm, point, "clone", pointClone);
    enumerable(vm, point, "equals", pointEquals);
    accessor(vm, point, "length", pointLength, nullptr);
    enumerable(vm, point, "normalize", pointNormalize);
    enumerable(vm, point, "offset", pointOffset);
    enumerable(vm, point, "subtract", pointSubtract);
    enumerable(vm, point, "toString", pointToString);

    Object* rect = makeClass(vm, geom, "Rectangle", rectCtor);
    accessor(vm, rect, "bottom", rectBottom, rectSetBottom);
    accessor(vm, rect, "bottomRight", rectBottomRight, rectSetBottomRight);
    enumerable(vm, rect, "clone", rectClone);
    enumerable(vm, rect, "contains", rectContains);
    enumerable(vm, rect, "containsPoint", rectContainsPoint);
    enumerable(vm, rect, "containsRectangle", rectContainsRectangle);
    enumerable(vm, rect, "equals", rectEquals);
    enumerable(vm, rect, "inflate", rectInflate);
    enumerable(vm, rect, "inflatePoint", rectInflatePoint);
    enumerable(vm, rect, "intersection", rectIntersection);
    enumerable(vm, rect, "intersects", rectIntersects);
    enumerable(vm, rect, "isEmpty", rectIsEmpty);
    accessor(vm, rect, "left", rectLeft, rectSetLeft);
    enumerable(vm, rect, "offset", rectOffset);
    enumerable(vm, rect, "offsetPoint", rectOffsetPoint);
    accessor(vm, rect, "right", rectRight, rectSetRight);
    enumerable(vm, rect, "setEmpty", rectSetEmpty);
    accessor(vm, rect, "size", rectSize, rectSetSize);
    enumerable(vm, rect, "toString", rectToString);
    accessor(vm, rect, "top", rectTop, rectSetTop);
    accessor(vm, rect, "topLeft", rectTopLeft, rectSetTopLeft);
    enumerable(vm, rect, "union", rectUnion);

    Object* cx = makeClass(vm, geom, "ColorTransform", cxCtor, allocateColorTransform);
    accessor(vm, cx, "alphaMultiplier", cxGet<3>, cxSet<3>);
    accessor(vm, cx, "redMultiplier", cxGet<0>, cxSet<0>);
    accessor(vm, cx, "greenMultiplier", cxGet<1>, cxSet<1>);
    accessor(vm, cx, "blueMultiplier", cxGet<2>, cxSet<2>);
    accessor(vm, cx, "alphaOffset", cxGet<7>, cxSet<7>);
    accessor(vm, cx, "redOffset", cxGet<4>, cxSet<4>);
    accessor(vm, cx, "greenOffset", cxGet<5>, cxSet<5>);
    accessor(vm, cx, "blueOffset", cxGet<6>, cxSet<6>);
    accessor(vm, cx, "rgb", cxGetRgb, cxSetRgb);
    cx->define(vm, "concat", Value(vm.newFunction(cxConcat)), kNotVersion6);
    enumerable(vm, cx, "toString", cxToString);

    Object* transform = makeClass(vm, geom, "Transform", transformCtor, allocateTransform);
    accessor(vm, transform, "colorTransform", transformColor, transformSetColor);
    accessor(vm, transform, "concatenatedColorTransform", transformConcatenatedColor, nothing);
    accessor(vm, transform, "concatenatedMatrix", transformConcatenatedMatrix, nothing);
    accessor(vm, transform, "matrix", transformMatrix, transformSetMatrix);
    accessor(vm, transform, "pixelBounds", transformPixelBounds, nothing);

    // Matrix is listed in the package for SWF 8 movies only.
    if (vm.version < 8) return;
    Object* matrix = makeClass(vm, geom, "Matrix", matrixCtor);
    enumerable(vm, matrix, "clone", matrixClone);
    enumerable(vm, matrix, "concat", matrixConcat);
    enumerable(vm, matrix, "createBox", matrixCreateBox);
    enumerable(vm, matrix, "createGradientBox", matrixCreateGradientBox);
    enumerable(vm, matrix, "deltaTransformPoint", matrixDeltaTransformPoint);
    enumerable(vm, matrix, "identity", matrixIdentity);
    enumerable(vm, matrix, "invert", matrixInvert);
    enumerable(vm, matrix, "rotate", matrixRotate);
    enumerable(vm, matrix, "scale", matrixScale);
    enumerable(vm, matrix, "toString", matrixToString);
    enumerable(vm, matrix, "transformPoint", matrixTransformPoint);
    enumerable(vm, matrix, "translate", matrixTranslate);
}

}  // namespace player::avm1
