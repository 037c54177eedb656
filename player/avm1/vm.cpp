#include "player/avm1/vm.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "player/avm1/clip_object.h"
#include "player/avm1/script_function.h"

namespace player::avm1 {

Vm::Vm(Host& h, int swfVersion, uint32_t seed) : host(h), version(swfVersion), random(seed) {
    objectProto = make<Object>(nullptr);
    functionProto = make<Object>(objectProto);
    global = make<Object>(objectProto);
    registeredClasses = make<Object>(nullptr);
    installObject(*this);
    installFunction(*this);
    installArray(*this);
    installString(*this);
    installNumberBoolean(*this);
    installMath(*this);
    installError(*this);
    installGlobals(*this);
    installDate(*this);
    installXml(*this);
    installLoadVars(*this);
    installSharedObject(*this);
    installInput(*this);
    installStage(*this);
    installColor(*this);
    installGeom(*this);
    installTimers(*this);
    installSound(*this);
    installMovieClip(*this);
    installTextField(*this);
    installMovieClipLoader(*this);
    installFilters(*this);
    installClipEffects(*this);
    installBitmapData(*this);
    installVideo(*this);
    installContextMenu(*this);
    // Every function has its own `constructor` (Function), hidden and permanent.
    for (GcCell* c : cells_)
        if (auto* f = dynamic_cast<FunctionObject*>(c); f && !f->hasOwn(*this, "constructor"))
            f->define(*this, "constructor", Value(functionCtor), kDontEnum | kDontDelete);
}

Vm::~Vm() {
    for (GcCell* c : cells_)
        delete c;
}

std::string Vm::key(const std::string& name) const {
    if (caseSensitive()) return name;
    std::string k = name;
    for (char& c : k)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
}

void Vm::adopt(GcCell* cell) {
    cells_.push_back(cell);
    ++allocatedSinceCollect_;
    if (cells_.size() > kMaxCells) throw ScriptAbort{"script objects exceed the memory limit"};
}

Object* Vm::newObject() {
    return make<Object>(objectProto);
}

ArrayObject* Vm::newArray(std::vector<Value> elements) {
    ArrayObject* a = make<ArrayObject>(arrayProto);
    a->elements = std::move(elements);
    return a;
}

NativeFunction* Vm::newFunction(NativeFn fn, NativeFn ctor) {
    NativeFunction* f = make<NativeFunction>(functionProto, fn, ctor);
    if (functionCtor) f->define(*this, "constructor", Value(functionCtor), kDontEnum | kDontDelete);
    return f;
}

NativeFunction* Vm::newClass(NativeFn fn, Object* prototype, NativeFn ctor) {
    NativeFunction* f = newFunction(fn, ctor);
    f->define(*this, "prototype", Value(prototype), kDontEnum | kDontDelete);
    prototype->define(*this, "constructor", Value(f), kDontEnum | kDontDelete);
    return f;
}

void Vm::method(Object* on, const std::string& name, NativeFn fn, uint16_t extraFlags) {
    on->define(*this, name, Value(newFunction(fn)), uint16_t(kDontEnum | kDontDelete | extraFlags));
}

double Vm::toNumber(const Value& v) {
    switch (v.type()) {
        case Value::Type::Undefined:
        case Value::Type::Null:
            return version >= 7 ? std::numeric_limits<double>::quiet_NaN() : 0.0;
        case Value::Type::Boolean:
            return v.boolean() ? 1 : 0;
        case Value::Type::Number:
            return v.number();
        case Value::Type::String:
            return stringToNumber(v.string(), version);
        case Value::Type::Object: {
            // A number is asked for: a date gives its time (valueOf), not its text.
            Value p;
            if (v.object()->kind() == Object::Kind::Date) {
                std::vector<Value> none;
                p = callMethod(v, "valueOf", none);
            }
            if (p.isUndefined() || p.isObject()) p = toPrimitive(v);
            if (p.isObject()) return version >= 6 ? std::numeric_limits<double>::quiet_NaN() : 0.0;
            return toNumber(p);
        }
    }
    return 0;
}

std::string Vm::toString(const Value& v) {
    switch (v.type()) {
        case Value::Type::Undefined:
            return version >= 7 ? "undefined" : "";
        case Value::Type::Null:
            return "null";
        case Value::Type::Boolean:
            return v.boolean() ? "true" : "false";
        case Value::Type::Number:
            return numberToString(v.number());
        case Value::Type::String:
            return v.string();
        case Value::Type::Object: {
            Object* o = v.object();
            if (ClipObject* c = o->asClip(); c && version < 6) return c->targetPath();
            Value f = o->get(*this, "toString");
            if (Object* fo = f.object(); fo && fo->isCallable()) {
                std::vector<Value> args;
                // super converts as the object it stands for, with its base class's toString.
                Value self = v;
                if (o->kind() == Object::Kind::Super) self = Value(static_cast<SuperObject*>(o)->self);
                // A toString that recurses until the depth limit cuts it off converts as an object
                // without one; the script that asked goes on.
                try {
                    Value r = fo->call(*this, self, args);
                    if (r.isString()) return r.string();
                } catch (const ScriptAbort& a) {
                    if (!a.recursion) throw;
                }
            }
            if (ClipObject* c = o->asClip()) return c->targetPath();
            return o->isCallable() && o->kind() != Object::Kind::Super ? "[type Function]" : "[type Object]";
        }
    }
    return "";
}

namespace {
struct AccessorOverflow {
    bool setter;
};
}  // namespace

bool Vm::callAccessor(Object* fn, Object* self, const Value* value, Value& out) {
    const bool setter = value != nullptr;
    if (accessorDepth >= kMaxAccessorDepth) throw AccessorOverflow{setter};
    std::vector<Value> args;
    if (value) args.push_back(*value);
    int& sameKind = setter ? setterDepth_ : getterDepth_;
    ++accessorDepth;
    ++sameKind;
    try {
        out = call(Value(fn), Value(self), args);
    } catch (const AccessorOverflow& o) {
        --accessorDepth;
        --sameKind;
        // The outermost call of the kind refused gives up; those outside it go on.
        if (o.setter != setter || sameKind > 0) throw;
        return false;
    } catch (...) {
        --accessorDepth;
        --sameKind;
        throw;
    }
    --accessorDepth;
    --sameKind;
    return true;
}

ScriptAbort Vm::recursionAbort() const {
    return ScriptAbort{"recursion deeper than " + std::to_string(maxCallDepth) + " calls", true};
}

bool Vm::toBoolean(const Value& v) {
    switch (v.type()) {
        case Value::Type::Undefined:
        case Value::Type::Null:
            return false;
        case Value::Type::Boolean:
            return v.boolean();
        case Value::Type::Number:
            return v.number() != 0 && !std::isnan(v.number());
        case Value::Type::String: {
            if (version >= 7) return !v.string().empty();
            double n = stringToNumber(v.string(), version);
            return n != 0 && !std::isnan(n);
        }
        case Value::Type::Object:
            return true;
    }
    return false;
}

Value Vm::toPrimitive(const Value& v, bool preferString) {
    Object* o = v.object();
    if (!o) return v;
    if (o->kind() == Object::Kind::Date && version >= 6) preferString = true;
    // Without a hint Flash Player asks valueOf only: an object whose valueOf gives an object stays an
    // object (a number operation then reads it as NaN, string concatenation asks toString once).
    const char* order[2] = {"valueOf", "toString"};
    if (preferString) std::swap(order[0], order[1]);
    for (int k = 0; k < (preferString ? 2 : 1); ++k) {
        Value f = o->get(*this, order[k]);
        if (Object* fo = f.object(); fo && fo->isCallable()) {
            std::vector<Value> args;
            Value r = fo->call(*this, v, args);
            if (!r.isObject()) return r;
            if (ClipObject* c = r.object()->asClip()) return Value(c->targetPath());
        } else if (f.isUndefined() && !preferString && !o->asClip()) {
            // An object without valueOf at all (its prototype chain cut) is undefined to operators.
            return Value();
        }
    }
    if (ClipObject* c = o->asClip()) return Value(c->targetPath());
    return v;
}

Object* Vm::toObject(const Value& v) {
    switch (v.type()) {
        case Value::Type::Undefined:
        case Value::Type::Null:
            return nullptr;
        case Value::Type::Object:
            return v.object();
        case Value::Type::Boolean: {
            Object* o = make<Object>(booleanProto, Object::Kind::Boolean);
            o->primitive = v;
            return o;
        }
        case Value::Type::Number: {
            Object* o = make<Object>(numberProto, Object::Kind::Number);
            o->primitive = v;
            return o;
        }
        case Value::Type::String: {
            Object* o = make<Object>(stringProto, Object::Kind::String);
            o->primitive = v;
            return o;
        }
    }
    return nullptr;
}

std::string Vm::typeOf(const Value& v) {
    switch (v.type()) {
        case Value::Type::Undefined:
            return "undefined";
        case Value::Type::Null:
            return "null";
        case Value::Type::Boolean:
            return "boolean";
        case Value::Type::Number:
            return "number";
        case Value::Type::String:
            return "string";
        case Value::Type::Object:
            return v.object()->typeOf();
    }
    return "undefined";
}

bool Vm::strictEquals(const Value& a, const Value& b) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
        case Value::Type::Undefined:
        case Value::Type::Null:
            return true;
        case Value::Type::Boolean:
            return a.boolean() == b.boolean();
        case Value::Type::Number:
            return a.number() == b.number();
        case Value::Type::String:
            return a.string() == b.string();
        case Value::Type::Object:
            return a.object() == b.object();
    }
    return false;
}

bool Vm::looseEquals(const Value& a, const Value& b) {
    using T = Value::Type;
    if (a.type() == b.type()) {
        if (a.isObject()) {
            // Clips compare by the clip they stand for (a dead reference found again compares equal).
            ClipObject* ca = a.object()->asClip();
            ClipObject* cb = b.object()->asClip();
            if (ca && cb) return ca == cb || (ca->clip() && ca->clip() == cb->clip());
        }
        return strictEquals(a, b);
    }
    if (a.isNullish() && b.isNullish()) return true;
    if (a.isNullish() || b.isNullish()) return false;
    if (a.type() == T::Number && b.type() == T::String) return a.number() == toNumber(b);
    if (a.type() == T::String && b.type() == T::Number) return toNumber(a) == b.number();
    if (a.type() == T::Boolean) return looseEquals(Value(a.boolean() ? 1.0 : 0.0), b);
    if (b.type() == T::Boolean) return looseEquals(a, Value(b.boolean() ? 1.0 : 0.0));
    if (a.isObject() && !b.isObject()) {
        Value p = toPrimitive(a);
        if (p.isObject()) return false;
        return looseEquals(p, b);
    }
    if (b.isObject() && !a.isObject()) {
        Value p = toPrimitive(b);
        if (p.isObject()) return false;
        return looseEquals(a, p);
    }
    return false;
}

Value Vm::lessThan(const Value& a, const Value& b) {
    // A comparison asks for numbers: a date compares by its time (valueOf), not by its text.
    auto primitive = [this](const Value& v) {
        if (Object* o = v.object(); o && o->kind() == Object::Kind::Date) {
            std::vector<Value> none;
            Value r = callMethod(v, "valueOf", none);
            if (!r.isObject()) return r;
        }
        return toPrimitive(v);
    };
    Value pa = primitive(a), pb = primitive(b);
    if (pa.isString() && pb.isString()) return Value(pa.string() < pb.string());
    double x = toNumber(pa), y = toNumber(pb);
    if (std::isnan(x) || std::isnan(y)) return Value();
    return Value(x < y);
}

Value Vm::call(const Value& fn, const Value& self, std::vector<Value>& args) {
    Object* f = fn.object();
    if (!f || !f->isCallable()) return Value();
    return f->call(*this, self, args);
}

Value Vm::callMethod(const Value& object, const std::string& name, std::vector<Value>& args) {
    Object* o = toObject(object);
    if (!o) return Value();
    Value f = o->get(*this, name);
    return call(f, object.isObject() ? object : Value(o), args);
}

Value Vm::construct(const Value& fn, std::vector<Value>& args) {
    Object* f = fn.object();
    if (!f || !f->isCallable()) return Value();
    return f->construct(*this, args);
}

bool Vm::instanceOf(const Value& v, Object* ctor) {
    Object* o = v.object();
    if (!o || !ctor) return false;
    Object* proto = ctor->get(*this, "prototype").object();
    if (!proto) return false;
    int depth = 0;
    for (Object* p = o->proto(); p && depth < 256; p = p->proto(), ++depth) {
        if (p == proto) return true;
        // Interfaces a class implements (ImplementsOp) are listed on its prototype.
        if (Object* list = p->get(*this, "__implements__").object())
            if (auto* arr = dynamic_cast<ArrayObject*>(list))
                for (const Value& i : arr->elements)
                    if (i.object() == ctor) return true;
    }
    return false;
}

std::string Vm::describeThrown(const Value& v) {
    // Converting the thrown value runs script (toString) that may throw or be cut off in turn.
    try {
        return toString(v);
    } catch (const ScriptThrow&) {
    } catch (const ScriptAbort&) {
    }
    return "[error]";
}

void Vm::runBlock(const ActionBlock& block, ClipObject* target) {
    if (!target) return;
    int saved = version;
    version = block.version;
    Scope* globalScope = make<Scope>(Scope::Kind::Global, global, nullptr);
    Scope* scope = make<Scope>(Scope::Kind::Target, target, globalScope);
    std::vector<std::string> pool;
    size_t base = stack.size();
    try {
        execute(block, scope, Value(target), target, globalRegisters, 4, &pool);
    } catch (const ScriptThrow& t) {
        host.log("script error not caught: " + describeThrown(t.value));
    } catch (const ScriptAbort& a) {
        host.unsupported(a.reason + " (the script was cut off)");
        callDepth = 0;
    }
    throwPending = false;
    stack.resize(base);
    version = saved;
}

Value Vm::callHandler(const Value& fn, const Value& self, std::vector<Value> args) {
    size_t base = stack.size();
    int saved = version;
    Value r;
    try {
        r = call(fn, self, args);
    } catch (const ScriptThrow& t) {
        host.log("script error not caught: " + describeThrown(t.value));
    } catch (const ScriptAbort& a) {
        host.unsupported(a.reason + " (the script was cut off)");
        callDepth = 0;
    }
    stack.resize(base);
    version = saved;
    return r;
}

namespace {

bool startsWithNoCase(const std::string& s, size_t at, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (at + i >= s.size()) return false;
        if (std::tolower(static_cast<unsigned char>(s[at + i])) != prefix[i]) return false;
    }
    return true;
}

}  // namespace

ClipObject* Vm::resolveTarget(ClipObject* base, const std::string& path) {
    Object* o = resolvePath(base, path);
    return o ? o->asClip() : nullptr;
}

Object* Vm::resolvePath(ClipObject* base, const std::string& path) {
    if (!base) return nullptr;
    if (path.empty()) return base;
    Object* cur = base;
    size_t i = 0;
    if (path[0] == '/') {
        cur = base->root();
        i = 1;
    }
    while (i < path.size() && cur) {
        size_t j = i;
        while (j < path.size() && path[j] != '/' && path[j] != '.' && path[j] != ':')
            ++j;
        // ".." as a segment is the parent.
        if (j == i && path.compare(i, 2, "..") == 0) {
            ClipObject* c = cur->asClip();
            cur = c ? c->parentClip() : nullptr;
            i += 2;
            if (i < path.size() && (path[i] == '/' || path[i] == '.')) ++i;
            continue;
        }
        std::string seg = path.substr(i, j - i);
        i = j < path.size() ? j + 1 : j;
        if (seg.empty()) continue;
        if (startsWithNoCase(seg, 0, "_level") && seg.size() > 6) {
            int n = 0;
            bool digits = true;
            for (size_t k = 6; k < seg.size(); ++k) {
                if (!std::isdigit(static_cast<unsigned char>(seg[k]))) digits = false;
                n = n * 10 + (seg[k] - '0');
                if (n > 1000000) digits = false;
            }
            if (digits) {
                cur = host.level(n);
                continue;
            }
        }
        std::string k = key(seg);
        ClipObject* clip = cur->asClip();
        if (k == key("_root") && clip) {
            cur = clip->root();
        } else if (k == key("_parent") && clip) {
            cur = clip->parentClip();
        } else if (k == key("this")) {
            // stays
        } else {
            ClipObject* child = clip ? clip->childByName(*this, seg) : nullptr;
            if (child) {
                cur = child;
            } else {
                Value v = cur->get(*this, seg);
                cur = v.object();
            }
        }
    }
    return cur;
}

void Vm::collect(const std::vector<GcCell*>& roots) {
    if (allocatedSinceCollect_ < 20000 && cells_.size() < 200000) return;
    std::vector<GcCell*> gray(roots);
    gray.push_back(global);
    gray.push_back(registeredClasses);
    if (timers) gray.push_back(timers);
    if (sounds) gray.push_back(sounds);
    for (Object* o : {objectProto, functionProto, functionCtor, arrayProto, stringProto, numberProto,
                      booleanProto, dateProto, clipProto, buttonProto, textFieldProto, errorProto})
        if (o) gray.push_back(o);
    for (const Value& v : persistentRoots)
        traceValue(v, gray);
    for (const Value& v : stack)
        traceValue(v, gray);
    for (const Value& v : globalRegisters)
        traceValue(v, gray);
    while (!gray.empty()) {
        GcCell* c = gray.back();
        gray.pop_back();
        if (!c || c->marked) continue;
        c->marked = true;
        c->trace(gray);
    }
    size_t kept = 0;
    for (GcCell* c : cells_) {
        if (c->marked) {
            c->marked = false;
            cells_[kept++] = c;
        } else {
            delete c;
        }
    }
    cells_.resize(kept);
    allocatedSinceCollect_ = 0;
}

}  // namespace player::avm1
