// MovieClip.prototype: timeline control, clips made and removed by script, depths, bounds and coordinate
// conversions. The display properties (_x, _alpha, ...) live on the clip object itself.
#include <algorithm>
#include <cmath>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/text_support.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/bounds.h"
#include "player/core/edit_text.h"
#include "player/core/hit_test.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/runtime.h"

namespace player::avm1 {

namespace {

Runtime& runtimeOf(Vm& vm) {
    return static_cast<Runtime&>(vm.host);
}

void gotoFrame(Vm& vm, MovieClip* mc, const Value& frame, bool play) {
    int target = 0;
    if (frame.isString()) {
        double n = stringToNumber(frame.string(), vm.version);
        target =
            std::isfinite(n) ? int(clampToInt(n, -1, 1000000)) : mc->timeline().frameOfLabel(frame.string());
        if (target <= 0) return;
    } else {
        double n = vm.toNumber(frame);
        if (!std::isfinite(n)) return;
        target = int(clampToInt(n, -1, 1000000));
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
    depth = int(clampToInt(d, -2147483647 + kScriptDepthOffset, 2130690045));
    return d >= -2147483647 + kScriptDepthOffset && d <= 2130690045;
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
    Runtime& rt = runtimeOf(vm);
    MovieClip* made = mc->parent->asClip()->duplicateChild(mc, vm.toString(args[0]), depth, rt);
    if (!made) return Value();
    std::weak_ptr<MovieClip*> handle = made->handle();
    rt.constructNow(made);
    auto alive = handle.lock();
    if (!alive || !*alive) return Value();
    ClipObject* o = scriptObjectOf(vm, made);
    applyInit(vm, o, arg(args, 2));
    return Value(o);
}

Value mcRemoveMovieClip(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (mc && mc->parent && mc->parent->asClip()) mc->parent->asClip()->removeScriptChild(mc, runtimeOf(vm));
    // Called on a text field, it removes the field as removeTextField does.
    if (!mc) removeTextFieldOf(self);
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
    if (!mc || args.empty()) return Value();
    int depth;
    if (!mc->parent) {
        // A level's root has nothing to swap with; it only takes the depth it is given.
        if (!clipOf(args[0]) && validDepth(vm, args[0], depth)) mc->depth = depth + kScriptDepthOffset;
        return Value();
    }
    MovieClip* parent = mc->parent->asClip();
    if (!parent) return Value();
    // Any object of the same parent (a clip, text field or button) may be swapped with.
    ClipObject* target = args[0].object() ? args[0].object()->asClip() : nullptr;
    if (DisplayObject* other = target ? target->display() : nullptr) {
        if (other->parent != mc->parent) return Value();
        depth = other->depth;
    } else {
        // Swapping reaches depths -16384 .. 2130690044 only.
        if (!validDepth(vm, args[0], depth) || depth < -kScriptDepthOffset || depth >= 2130690045)
            return Value();
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
        bool inBox = x >= mine.xMin && x <= mine.xMax && y >= mine.yMin && y <= mine.yMax;
        // With the shape flag, the point must fall on what the clip draws, not just in its box.
        if (inBox && args.size() >= 3 && vm.toBoolean(args[2])) return Value(hitsShape(mc, x, y));
        return Value(inBox);
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
    // Text fields answer too: the version of the movie they came from.
    const DisplayObject* d = clipOf(self);
    if (auto* field = dynamic_cast<TextFieldObject*>(self.object())) d = field->field();
    if (!d || !d->movie()) return Value(-1);
    return Value(d->movie()->info().version);
}

// startDrag(lockCenter, left, top, right, bottom) and stopDrag().
Value mcStartDrag(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    ClipObject* c = o ? o->asClip() : nullptr;
    double rect[4];
    bool bounded = args.size() >= 5;
    for (size_t i = 0; bounded && i < 4; ++i)
        rect[i] = vm.toNumber(args[i + 1]);
    runtimeOf(vm).startDrag(c, vm.toBoolean(arg(args, 0)), bounded ? rect : nullptr);
    return Value();
}

Value mcStopDrag(Vm& vm, const Value& self, std::vector<Value>& args) {
    runtimeOf(vm).stopDrag();
    return Value();
}

// setMask(mask): the mask's shape, where it stands on the stage, masks this clip; the mask is no longer
// drawn. A mask masks one clip at a time; setMask(null) takes the mask away.
Value mcSetMask(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    ClipObject* me = o ? o->asClip() : nullptr;
    DisplayObject* d = me ? me->display() : nullptr;
    if (!d) return Value(false);
    if (DisplayObject* old = d->maskedBy()) old->maskee.reset();
    d->scriptMask.reset();
    Value m = arg(args, 0);
    ClipObject* mo = m.isString() ? vm.resolveTarget(me, m.string())
                     : m.object() ? m.object()->asClip()
                                  : nullptr;
    DisplayObject* md = mo ? mo->display() : nullptr;
    // A text field masks with what it draws (its background, its glyphs).
    if (auto* field = dynamic_cast<TextFieldObject*>(m.object()); field && !md) md = field->field();
    if (!md || md == d) return Value(true);
    if (auto prev = md->maskee.lock(); prev && *prev) (*prev)->scriptMask.reset();
    d->scriptMask = md->token();
    md->maskee = d->token();
    return Value(true);
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

// --- Drawing API -----------------------------------------------------------------------------------

Drawing* drawingOf(const Value& self) {
    MovieClip* mc = clipOf(self);
    if (!mc) return nullptr;
    if (!mc->drawing) mc->drawing = std::make_unique<Drawing>();
    return mc->drawing.get();
}

// Colour 0xRRGGBB and alpha 0..100 as RGBA.
swf::RGBA colorOf(Vm& vm, const Value& rgb, const Value& alpha) {
    uint32_t c = toUint32(vm.toNumber(rgb));
    double a = alpha.isUndefined() ? 100 : vm.toNumber(alpha);
    if (!std::isfinite(a)) a = 0;
    a = std::clamp(a, 0.0, 100.0);
    return swf::RGBA{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(std::lround(a * 255 / 100))};
}

double px(Vm& vm, const Value& v) {
    return vm.toNumber(v) * 20.0;
}

Value mcClear(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Drawing* d = drawingOf(self)) d->clear();
    return Value();
}

Value mcBeginFill(Vm& vm, const Value& self, std::vector<Value>& args) {
    Drawing* d = drawingOf(self);
    if (!d) return Value();
    if (args.empty() || args[0].isUndefined()) {
        d->endFill();
        return Value();
    }
    swf::FillStyle f;
    f.type = swf::FillType::Solid;
    f.color = colorOf(vm, args[0], arg(args, 1));
    d->beginFill(f);
    return Value();
}

// The gradient box of the drawing API: {matrixType: "box", x, y, w, h, r}, a flash.geom.Matrix, or the 3x3
// form {a, b, d, e, g, h}, as a SWF gradient matrix (which maps the 32768-twip gradient square).
swf::Matrix gradientMatrix(Vm& vm, Object* m) {
    swf::Matrix out;
    if (!m) return out;
    double a, b, c, d, tx, ty;
    if (vm.toString(m->get(vm, "matrixType")) == "box") {
        double x = vm.toNumber(m->get(vm, "x")), y = vm.toNumber(m->get(vm, "y"));
        double w = vm.toNumber(m->get(vm, "w")), h = vm.toNumber(m->get(vm, "h"));
        double r = vm.toNumber(m->get(vm, "r"));
        a = w / 1638.4 * std::cos(r);
        b = w / 1638.4 * std::sin(r);
        c = -h / 1638.4 * std::sin(r);
        d = h / 1638.4 * std::cos(r);
        tx = x + w / 2;
        ty = y + h / 2;
    } else if (m->has(vm, "tx")) {
        // A flash.geom.Matrix (createGradientBox) already maps the gradient square.
        a = vm.toNumber(m->get(vm, "a"));
        b = vm.toNumber(m->get(vm, "b"));
        c = vm.toNumber(m->get(vm, "c"));
        d = vm.toNumber(m->get(vm, "d"));
        tx = vm.toNumber(m->get(vm, "tx"));
        ty = vm.toNumber(m->get(vm, "ty"));
    } else {
        // The 3x3 form {a, b, d, e, g, h}: the gradient's size in pixels, its centre at (g, h).
        a = vm.toNumber(m->get(vm, "a")) / 1638.4;
        b = vm.toNumber(m->get(vm, "b")) / 1638.4;
        c = vm.toNumber(m->get(vm, "d")) / 1638.4;
        d = vm.toNumber(m->get(vm, "e")) / 1638.4;
        tx = vm.toNumber(m->get(vm, "g"));
        ty = vm.toNumber(m->get(vm, "h"));
    }
    auto fixed = [](double v) { return std::isfinite(v) ? int32_t(std::clamp(v * 65536.0, -2e9, 2e9)) : 0; };
    auto twips = [](double v) { return std::isfinite(v) ? int32_t(std::clamp(v * 20.0, -2e9, 2e9)) : 0; };
    out.scaleX = fixed(a);
    out.rotateSkew0 = fixed(b);
    out.rotateSkew1 = fixed(c);
    out.scaleY = fixed(d);
    out.translateX = twips(tx);
    out.translateY = twips(ty);
    return out;
}

// beginGradientFill(type, colors, alphas, ratios, matrix, spread, interpolation, focal) as a fill style;
// false when the arguments do not make one.
bool gradientFill(Vm& vm, std::vector<Value>& args, swf::FillStyle& f) {
    if (args.size() < 5) return false;
    std::string type = vm.toString(args[0]);
    auto* colors = dynamic_cast<ArrayObject*>(args[1].object());
    auto* alphas = dynamic_cast<ArrayObject*>(args[2].object());
    auto* ratios = dynamic_cast<ArrayObject*>(args[3].object());
    if (!colors || !alphas || !ratios) return false;
    size_t n =
        std::min({colors->elements.size(), alphas->elements.size(), ratios->elements.size(), size_t(15)});
    if (n == 0) return false;
    double focal = vm.toNumber(arg(args, 7));
    f.type = type == "radial" ? (std::isfinite(focal) && focal != 0 ? swf::FillType::FocalGradient
                                                                    : swf::FillType::RadialGradient)
                              : swf::FillType::LinearGradient;
    if (type != "radial" && type != "linear") return false;
    for (size_t i = 0; i < n; ++i) {
        swf::GradientStop s;
        s.color = colorOf(vm, colors->elements[i], alphas->elements[i]);
        double r = vm.toNumber(ratios->elements[i]);
        s.ratio = uint8_t(std::isfinite(r) ? std::clamp(r, 0.0, 255.0) : 0);
        f.gradient.stops.push_back(s);
    }
    std::string spread = vm.toString(arg(args, 5));
    f.gradient.spread = spread == "reflect"  ? swf::SpreadMode::Reflect
                        : spread == "repeat" ? swf::SpreadMode::Repeat
                                             : swf::SpreadMode::Pad;
    f.gradient.interpolation = vm.toString(arg(args, 6)) == "linearRGB" ? swf::InterpolationMode::Linear
                                                                        : swf::InterpolationMode::Normal;
    if (std::isfinite(focal)) f.gradient.focalPoint = std::clamp(focal, -1.0, 1.0);
    f.matrix = gradientMatrix(vm, args[4].object());
    return true;
}

Value mcBeginGradientFill(Vm& vm, const Value& self, std::vector<Value>& args) {
    Drawing* d = drawingOf(self);
    if (!d) return Value();
    swf::FillStyle f;
    if (gradientFill(vm, args, f))
        d->beginFill(f);
    else
        d->endFill();
    return Value();
}

Value mcLineStyle(Vm& vm, const Value& self, std::vector<Value>& args) {
    Drawing* d = drawingOf(self);
    if (!d) return Value();
    if (args.empty() || args[0].isUndefined() || std::isnan(vm.toNumber(args[0]))) {
        d->lineStyle(std::nullopt);
        return Value();
    }
    swf::LineStyle l;
    double w = std::clamp(vm.toNumber(args[0]), 0.0, 255.0);
    l.width = uint16_t(std::lround(w * 20));
    l.color = colorOf(vm, arg(args, 1), arg(args, 2));
    l.isStyle2 = true;
    l.pixelHinting = vm.toBoolean(arg(args, 3));
    std::string scale = vm.toString(arg(args, 4));
    if (scale == "none") l.noHScale = l.noVScale = true;
    if (scale == "horizontal") l.noVScale = true;
    if (scale == "vertical") l.noHScale = true;
    std::string caps = vm.toString(arg(args, 5));
    if (caps == "none") l.startCap = l.endCap = swf::CapStyle::None;
    if (caps == "square") l.startCap = l.endCap = swf::CapStyle::Square;
    std::string joints = vm.toString(arg(args, 6));
    if (joints == "bevel") l.join = swf::JoinStyle::Bevel;
    if (joints == "miter") {
        l.join = swf::JoinStyle::Miter;
        double limit = vm.toNumber(arg(args, 7));
        l.miterLimit = std::isfinite(limit) ? std::clamp(limit, 1.0, 255.0) : 3;
    }
    d->lineStyle(l);
    return Value();
}

Value mcLineGradientStyle(Vm& vm, const Value& self, std::vector<Value>& args) {
    Drawing* d = drawingOf(self);
    if (!d) return Value();
    swf::FillStyle f;
    if (!gradientFill(vm, args, f)) return Value();
    d->lineGradient(f);
    return Value();
}

Value mcMoveTo(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Drawing* d = drawingOf(self); d && args.size() >= 2) d->moveTo(px(vm, args[0]), px(vm, args[1]));
    return Value();
}

Value mcLineTo(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Drawing* d = drawingOf(self); d && args.size() >= 2) d->lineTo(px(vm, args[0]), px(vm, args[1]));
    return Value();
}

Value mcCurveTo(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Drawing* d = drawingOf(self); d && args.size() >= 4)
        d->curveTo(px(vm, args[0]), px(vm, args[1]), px(vm, args[2]), px(vm, args[3]));
    return Value();
}

Value mcEndFill(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Drawing* d = drawingOf(self)) d->endFill();
    return Value();
}

Value mcCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value buttonGetDepth(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    ClipObject* c = o ? o->asClip() : nullptr;
    DisplayObject* d = c ? c->display() : nullptr;
    if (!d) return Value();
    return Value(d->depth - kScriptDepthOffset);
}

}  // namespace

void installMovieClip(Vm& vm) {
    Object* proto = vm.newObject();
    vm.clipProto = proto;
    NativeFunction* ctor = vm.newClass(mcCtor, proto);
    struct M {
        const char* name;
        NativeFn fn;
        uint16_t flags = 0;
    };
    const M methods[] = {{"play", mcPlay},
                         {"stop", mcStop},
                         {"gotoAndPlay", mcGotoAndPlay},
                         {"gotoAndStop", mcGotoAndStop},
                         {"nextFrame", mcNextFrame},
                         {"prevFrame", mcPrevFrame},
                         {"attachMovie", mcAttachMovie},
                         {"createEmptyMovieClip", mcCreateEmptyMovieClip, kVersion6Up},
                         {"duplicateMovieClip", mcDuplicateMovieClip},
                         {"removeMovieClip", mcRemoveMovieClip},
                         {"getDepth", mcGetDepth, kVersion6Up},
                         {"getNextHighestDepth", mcGetNextHighestDepth, kVersion7Up},
                         {"getInstanceAtDepth", mcGetInstanceAtDepth, kVersion7Up},
                         {"swapDepths", mcSwapDepths},
                         {"getBounds", mcGetBounds},
                         {"getRect", mcGetBounds, kVersion8Up},
                         {"localToGlobal", mcLocalToGlobal},
                         {"globalToLocal", mcGlobalToLocal},
                         {"hitTest", mcHitTest},
                         {"getBytesLoaded", mcBytes},
                         {"getBytesTotal", mcBytes},
                         {"getSWFVersion", mcGetSwfVersion, kVersion6Up},
                         {"startDrag", mcStartDrag},
                         {"stopDrag", mcStopDrag},
                         {"setMask", mcSetMask, kVersion6Up},
                         {"getURL", mcGetUrl},
                         {"loadMovie", mcLoadMovie},
                         {"unloadMovie", mcUnloadMovie},
                         {"clear", mcClear, kVersion6Up},
                         {"beginFill", mcBeginFill, kVersion6Up},
                         {"beginGradientFill", mcBeginGradientFill, kVersion6Up},
                         {"lineStyle", mcLineStyle, kVersion6Up},
                         {"lineGradientStyle", mcLineGradientStyle, kVersion8Up},
                         {"moveTo", mcMoveTo, kVersion6Up},
                         {"lineTo", mcLineTo, kVersion6Up},
                         {"curveTo", mcCurveTo, kVersion6Up},
                         {"endFill", mcEndFill, kVersion6Up}};
    for (const M& m : methods)
        vm.method(proto, m.name, m.fn, m.flags);
    vm.global->define(vm, "MovieClip", Value(ctor), kDontEnum);

    // Buttons are script objects from SWF 6 on.
    Object* buttonProto = vm.newObject();
    vm.buttonProto = buttonProto;
    NativeFunction* buttonCtor = vm.newClass(mcCtor, buttonProto);
    buttonProto->define(vm, "getDepth", Value(vm.newFunction(buttonGetDepth)), 0);
    for (const char* name : {"blendMode", "cacheAsBitmap", "filters", "scale9Grid", "tabIndex"})
        buttonProto->defineAccessor(vm, name, nullptr, nullptr, 0);
    buttonProto->define(vm, "enabled", Value(true), 0);
    buttonProto->define(vm, "useHandCursor", Value(true), 0);
    proto->define(vm, "enabled", Value(true), kDontEnum);
    proto->define(vm, "useHandCursor", Value(true), kDontEnum);
    vm.global->define(vm, "Button", Value(buttonCtor), kDontEnum | kVersion6Up);
}

}  // namespace player::avm1
