#include "player/avm1/clip_object.h"

#include <algorithm>
#include <cmath>

#include "player/avm1/builtins/text_support.h"
#include "player/avm1/vm.h"
#include "player/core/bounds.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/runtime.h"

namespace player::avm1 {

namespace {

const char* const kPropertyNames[] = {
    "_x",          "_y",     "_xscale",      "_yscale",    "_currentframe", "_totalframes",  "_alpha",
    "_visible",    "_width", "_height",      "_rotation",  "_target",       "_framesloaded", "_name",
    "_droptarget", "_url",   "_highquality", "_focusrect", "_soundbuftime", "_quality",      "_xmouse",
    "_ymouse"};
constexpr int kPropertyCount = 22;

constexpr double kPi = 3.14159265358979323846;

struct Decomposed {
    double scaleX, scaleY, rotX, rotY;
};

Decomposed decompose(const Matrix& m) {
    Decomposed d;
    d.scaleX = std::sqrt(m.a * m.a + m.b * m.b);
    d.scaleY = std::sqrt(m.c * m.c + m.d * m.d);
    d.rotX = std::atan2(m.b, m.a);
    d.rotY = std::atan2(-m.c, m.d);
    return d;
}

void recompose(Matrix& m, const Decomposed& d) {
    m.a = d.scaleX * std::cos(d.rotX);
    m.b = d.scaleX * std::sin(d.rotX);
    m.c = -d.scaleY * std::sin(d.rotY);
    m.d = d.scaleY * std::cos(d.rotY);
}

// Twips are whole numbers: positions set by script snap to 1/20 pixel.
double toTwips(double px) {
    return std::round(px * 20.0);
}

double roundTo(double v, double step) {
    return std::round(v / step) * step;
}

}  // namespace

ClipObject::ClipObject(Vm& vm, Object* proto, DisplayObject* obj)
    : Object(proto, Kind::Clip), vm_(&vm), handle_(obj->token()), isButton_(!obj->asClip()) {
    lastPath_ = targetPath();
}

DisplayObject* ClipObject::display() const {
    auto p = handle_.lock();
    return p ? *p : nullptr;
}

MovieClip* ClipObject::clip() const {
    DisplayObject* d = display();
    return d ? d->asClip() : nullptr;
}

ClipObject* scriptObjectOf(Vm& vm, MovieClip* clip) {
    return scriptObjectOf(vm, static_cast<DisplayObject*>(clip));
}

ClipObject* scriptObjectOf(Vm& vm, DisplayObject* obj) {
    if (!obj) return nullptr;
    if (obj->scriptObject) return static_cast<ClipObject*>(obj->scriptObject);
    Object* proto = obj->asClip() ? vm.clipProto : vm.buttonProto;
    ClipObject* o = vm.make<ClipObject>(vm, proto, obj);
    obj->scriptObject = o;
    return o;
}

ClipObject* ClipObject::parentClip() const {
    DisplayObject* c = display();
    if (!c || !c->parent) return nullptr;
    return scriptObjectOf(*vm_, c->parent);
}

ClipObject* ClipObject::root() const {
    DisplayObject* c = display();
    if (!c) return nullptr;
    while (c->parent && c->parent->asClip())
        c = c->parent->asClip();
    return c->asClip() ? scriptObjectOf(*vm_, c->asClip()) : nullptr;
}

ClipObject* ClipObject::childByName(Vm& vm, const std::string& name) const {
    if (isButton_) {
        // A button's own characters: the clips of its current state.
        auto* b = static_cast<ButtonObject*>(display());
        if (!b) return nullptr;
        for (const auto& [depth, obj] : b->children())
            if (obj->asClip() && vm.key(obj->name) == vm.key(name)) return scriptObjectOf(vm, obj->asClip());
        return nullptr;
    }
    MovieClip* c = clip();
    if (!c) return nullptr;
    DisplayObject* child = c->childByName(name, vm.caseSensitive(), vm.version >= 6);
    return child ? scriptObjectOf(vm, child) : nullptr;
}

std::string ClipObject::targetPath() const {
    DisplayObject* c = display();
    if (!c) return lastPath_;
    std::string path;
    for (int guard = 0; c->parent && guard < 256; ++guard) {
        path = "." + c->name + path;
        c = c->parent;
    }
    return "_level" + std::to_string(c->asClip() ? c->asClip()->level : 0) + path;
}

std::string ClipObject::slashPath() const {
    DisplayObject* c = display();
    if (!c) return "";
    std::string path;
    for (int guard = 0; c->parent && guard < 256; ++guard) {
        path = "/" + c->name + path;
        c = c->parent;
    }
    int level = c->asClip() ? c->asClip()->level : 0;
    if (path.empty()) return level == 0 ? "/" : "_level" + std::to_string(level);
    return level == 0 ? path : "_level" + std::to_string(level) + path;
}

int ClipObject::propertyIndex(const std::string& name) {
    if (name.size() < 2 || name[0] != '_') return -1;
    for (int i = 0; i < kPropertyCount; ++i) {
        const char* p = kPropertyNames[i];
        size_t k = 0;
        for (; k < name.size() && p[k]; ++k)
            if (std::tolower(static_cast<unsigned char>(name[k])) != p[k]) break;
        if (k == name.size() && !p[k]) return i;
    }
    return -1;
}

Value ClipObject::getProperty(Vm& vm, int index) {
    DisplayObject* c = display();
    if (!c) return Value();
    MovieClip* mc = c->asClip();
    Runtime& rt = static_cast<Runtime&>(vm.host);
    switch (index) {
        case 0:
            return Value(c->matrix.tx / 20.0);
        case 1:
            return Value(c->matrix.ty / 20.0);
        case 2:
            return Value(decompose(c->matrix).scaleX * 100.0);
        case 3:
            return Value(decompose(c->matrix).scaleY * 100.0);
        case 4:
            return mc ? Value(mc->currentFrame()) : Value(1);
        case 5:
            return mc ? Value(mc->frameCount()) : Value(1);
        case 6:
            return Value(c->cxform.am * 100.0);
        case 7:
            return Value(c->visible);
        case 8:
        case 9: {
            BoundsRect b = boundsIn(c, c->parent ? &c->matrix : nullptr);
            if (b.empty()) return Value(0);
            return Value(roundTo((index == 8 ? b.xMax - b.xMin : b.yMax - b.yMin) / 20.0, 0.05));
        }
        case 10: {
            double deg = decompose(c->matrix).rotX * 180.0 / kPi;
            return Value(deg);
        }
        case 11:
            return Value(slashPath());
        case 12:
            return mc ? Value(mc->frameCount()) : Value(1);
        case 13:
            return Value(c->name);
        case 14:
            return Value("");
        case 15:
            return Value(c->movie() ? c->movie()->url() : "");
        case 16:
            return Value(rt.quality == "LOW" ? 0 : rt.quality == "MEDIUM" ? 1 : rt.quality == "BEST" ? 2 : 1);
        case 17:
            return Value(rt.focusRect);
        case 18:
            return Value(rt.soundBufTime);
        case 19:
            return Value(rt.quality);
        case 20:
        case 21: {
            Matrix world = worldMatrix(c).inverted();
            double x, y;
            world.apply(rt.mouseX, rt.mouseY, x, y);
            return Value(std::round(index == 20 ? x / 20.0 : y / 20.0));
        }
    }
    return Value();
}

void ClipObject::setProperty(Vm& vm, int index, const Value& v) {
    DisplayObject* c = display();
    if (!c) return;
    Runtime& rt = static_cast<Runtime&>(vm.host);
    double n = vm.toNumber(v);
    bool finite = std::isfinite(n);
    switch (index) {
        case 0:
            if (finite) c->matrix.tx = toTwips(n);
            c->scriptTransformed = true;
            break;
        case 1:
            if (finite) c->matrix.ty = toTwips(n);
            c->scriptTransformed = true;
            break;
        case 2:
        case 3: {
            if (!finite) break;
            Decomposed d = decompose(c->matrix);
            (index == 2 ? d.scaleX : d.scaleY) = n / 100.0;
            recompose(c->matrix, d);
            c->scriptTransformed = true;
            break;
        }
        case 6:
            if (finite) c->cxform.am = float(std::clamp(n, -1e6, 1e6) / 100.0);
            c->scriptTransformed = true;
            break;
        case 7:
            c->visible = vm.toBoolean(v);
            break;
        case 8:
        case 9: {
            if (!finite || n < 0) break;
            BoundsRect b = boundsIn(c, nullptr);
            double size = index == 8 ? b.xMax - b.xMin : b.yMax - b.yMin;
            if (b.empty() || size <= 0) break;
            Decomposed d = decompose(c->matrix);
            (index == 8 ? d.scaleX : d.scaleY) = n * 20.0 / size;
            recompose(c->matrix, d);
            c->scriptTransformed = true;
            break;
        }
        case 10: {
            if (!finite) break;
            double deg = std::fmod(n, 360.0);
            if (deg > 180) deg -= 360;
            if (deg < -180) deg += 360;
            Decomposed d = decompose(c->matrix);
            double delta = deg * kPi / 180.0 - d.rotX;
            d.rotX += delta;
            d.rotY += delta;
            recompose(c->matrix, d);
            c->scriptTransformed = true;
            break;
        }
        case 13:
            c->name = vm.toString(v);
            break;
        case 16: {
            int q = int(clampToInt(n, -1, 3));
            rt.quality = q <= 0 ? "LOW" : q == 1 ? "HIGH" : "BEST";
            break;
        }
        case 17:
            rt.focusRect = vm.toBoolean(v);
            break;
        case 18:
            if (finite) rt.soundBufTime = n;
            break;
        case 19: {
            std::string q = vm.toString(v);
            for (char& ch : q)
                ch = char(std::toupper(static_cast<unsigned char>(ch)));
            if (q == "LOW" || q == "MEDIUM" || q == "HIGH" || q == "BEST") rt.quality = q;
            break;
        }
        default:
            break;  // read-only
    }
}

bool ClipObject::getOwn(Vm& vm, const std::string& name, Object* self, Value& out) {
    if (Object::getOwn(vm, name, self, out)) return true;
    DisplayObject* c = display();
    if (!c) return false;
    if (!name.empty() && name[0] == '_') {
        int index = propertyIndex(name);
        if (index >= 0) {
            out = getProperty(vm, index);
            return true;
        }
        std::string k = vm.key(name);
        if (k == vm.key("_parent")) {
            ClipObject* p = parentClip();
            if (!p) return false;
            out = Value(p);
            return true;
        }
        if (k == vm.key("_root")) {
            out = Value(root());
            return true;
        }
        if (k == vm.key("_global")) {
            out = Value(vm.global);
            return true;
        }
    }
    if (ClipObject* child = childByName(vm, name)) {
        out = Value(child);
        return true;
    }
    if (Object* field = textFieldChild(vm, clip(), name)) {
        out = Value(field);
        return true;
    }
    return false;
}

void ClipObject::set(Vm& vm, const std::string& name, const Value& value) {
    if (!name.empty() && name[0] == '_') {
        int index = propertyIndex(name);
        if (index >= 0) {
            setProperty(vm, index, value);
            return;
        }
    }
    if (isButton_) {
        // The mouse asks the button itself whether it takes clicks and shows the hand.
        if (auto* b = static_cast<ButtonObject*>(display())) {
            std::string k = vm.key(name);
            if (k == vm.key("enabled")) b->enabled = vm.toBoolean(value);
            if (k == vm.key("useHandCursor")) b->useHandCursor = vm.toBoolean(value);
        }
    }
    Object::set(vm, name, value);
}

bool ClipObject::hasOwn(Vm& vm, const std::string& name) {
    if (Object::hasOwn(vm, name)) return true;
    if (!display()) return false;
    if (propertyIndex(name) >= 0) return true;
    if (!name.empty() && name[0] == '_') {
        std::string k = vm.key(name);
        if (k == vm.key("_parent")) return parentClip() != nullptr;
        if (k == vm.key("_root") || k == vm.key("_global")) return true;
    }
    return childByName(vm, name) != nullptr || textFieldChild(vm, clip(), name) != nullptr;
}

}  // namespace player::avm1
