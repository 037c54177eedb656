// The action interpreter: runs decoded AVM1 records against a value stack, registers, a constant pool and
// a scope chain. With and Try blocks run as nested ranges of the same record list, so break, continue
// and return leave them as the bytecode says.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "player/avm1/clip_object.h"
#include "player/avm1/script_function.h"
#include "player/avm1/vm.h"
#include "player/core/movie_clip.h"
#include "player/core/runtime.h"

namespace player::avm1 {

namespace {

// TOLVIKAN_TRACE_ACTIONS=1 prints every action as it runs (for looking into scripts that misbehave).
bool debugOps() {
    static const bool on = std::getenv("TOLVIKAN_TRACE_ACTIONS") != nullptr;
    return on;
}

struct Completion {
    enum Kind { Normal, Return, JumpOut } kind = Normal;
    Value value;
    size_t target = 0;  // JumpOut: record index to continue at
};

struct Frame {
    Vm& vm;
    const std::vector<swf::Action>& acts;
    size_t begin, end;  // the whole body
    Scope* scope;
    Value self;
    ClipObject* target;    // timeline that frame actions act on (SetTarget changes it)
    ClipObject* original;  // target at the start of the block
    Value* regs;
    size_t regCount;
    std::vector<std::string>* pool;
    Object* superBase = nullptr;
};

class Interp {
  public:
    explicit Interp(Frame& f) : f_(f), vm_(f.vm) {}
    Completion run(size_t begin, size_t end);

  private:
    Value pop() {
        if (vm_.stack.size() <= base_) return Value();
        Value v = std::move(vm_.stack.back());
        vm_.stack.pop_back();
        return v;
    }
    void push(Value v) {
        if (vm_.stack.size() >= Vm::kMaxStack) throw ScriptAbort{"script stack too deep"};
        vm_.stack.push_back(std::move(v));
    }
    size_t indexOf(int64_t offset) const;
    std::vector<Value> popArgs() {
        double n = vm_.toNumber(pop());
        size_t count = size_t(clampToInt(n, 0, int64_t(Vm::kMaxStack)));
        count = std::min(count, vm_.stack.size() - std::min(vm_.stack.size(), base_));
        std::vector<Value> args;
        args.reserve(count);
        for (size_t i = 0; i < count; ++i)
            args.push_back(pop());
        return args;
    }
    // Pops b then a, and converts a first (valueOf runs in operand order).
    // The order of the valueOf calls shows: Add and Less convert the left operand first; Subtract,
    // Multiply, Divide and Modulo (like Add2) the right one, the top of the stack.
    void popNumbers(double& a, double& b, bool rightFirst = false) {
        Value vb = pop(), va = pop();
        if (rightFirst) b = vm_.toNumber(vb);
        a = vm_.toNumber(va);
        if (!rightFirst) b = vm_.toNumber(vb);
    }
    Value boolValue(bool b) const { return vm_.version < 5 ? Value(b ? 1.0 : 0.0) : Value(b); }

    Value getVariable(const std::string& name, Object** foundIn = nullptr);
    void setVariable(const std::string& name, const Value& v);
    bool lookupScope(const std::string& name, Value& out, Object** foundIn);
    void defineLocal(const std::string& name, const Value& v, bool onlyIfMissing);
    Value getMember(const Value& obj, const Value& name);
    ClipObject* targetOf(const Value& v);
    ClipObject* clipFromValue(const Value& v);
    void gotoFrame(ClipObject* clip, const Value& frame, bool play, int bias);
    void setTarget(const std::string& path);
    void defineFunction(size_t& pc, const swf::Action& a);
    Completion runTry(size_t& pc, const swf::Action& a);
    Completion runWith(size_t& pc, const swf::Action& a);
    std::string poolString(int64_t i) const {
        return f_.pool && i >= 0 && size_t(i) < f_.pool->size() ? (*f_.pool)[size_t(i)] : std::string();
    }

    Frame& f_;
    Vm& vm_;
    size_t base_ = 0;
};

size_t Interp::indexOf(int64_t offset) const {
    auto first = f_.acts.begin() + static_cast<long>(f_.begin);
    auto last = f_.acts.begin() + static_cast<long>(f_.end);
    auto it = std::lower_bound(first, last, offset,
                               [](const swf::Action& a, int64_t off) { return int64_t(a.offset) < off; });
    if (it == last || int64_t(it->offset) != offset) return f_.end;
    return size_t(it - f_.acts.begin());
}

bool Interp::lookupScope(const std::string& name, Value& out, Object** foundIn) {
    for (Scope* s = f_.scope; s; s = s->parent) {
        Object* o =
            s->kind == Scope::Kind::Target && f_.target && s->object == f_.original ? f_.target : s->object;
        if (!o) continue;
        // SWF 5 looks at a function's local variables only, not through a prototype given to them.
        bool found =
            s->kind == Scope::Kind::Local && vm_.version < 6 ? o->hasOwn(vm_, name) : o->has(vm_, name);
        if (found) {
            out = o->getFrom(vm_, name, o);
            if (foundIn) *foundIn = o;
            return true;
        }
    }
    return false;
}

Value Interp::getVariable(const std::string& name, Object** foundIn) {
    if (name.empty()) return Value();
    // Paths: "/a/b:v", "a:v", "_root.a.v", "../v".
    size_t colon = name.rfind(':');
    if (colon != std::string::npos || name.find('/') != std::string::npos) {
        std::string path = colon == std::string::npos ? name : name.substr(0, colon);
        Object* clip = vm_.resolvePath(f_.target, path);
        if (colon == std::string::npos) return clip && clip->asClip() ? Value(clip) : Value();
        if (!clip) return Value();
        return clip->get(vm_, name.substr(colon + 1));
    }
    size_t dot = name.find('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size()) {
        Value cur = getVariable(name.substr(0, dot));
        size_t i = dot + 1;
        while (i <= name.size()) {
            size_t j = name.find('.', i);
            if (j == std::string::npos) j = name.size();
            std::string seg = name.substr(i, j - i);
            if (seg.empty()) break;
            Object* o = vm_.toObject(cur);
            if (!o) return Value();
            cur = o->get(vm_, seg);
            i = j + 1;
        }
        return cur;
    }
    std::string k = vm_.key(name);
    if (k == "this") return f_.self;
    if (k == vm_.key("_root")) return f_.target ? Value(f_.target->root()) : Value();
    if (k == vm_.key("_global")) return Value(vm_.global);
    if (k.size() > 6 && k.compare(0, 6, vm_.key("_level")) == 0) {
        bool digits = std::all_of(k.begin() + 6, k.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (digits && k.size() < 14) {
            ClipObject* l = vm_.host.level(std::stoi(k.substr(6)));
            return l ? Value(l) : Value();
        }
    }
    Value out;
    if (lookupScope(name, out, foundIn)) return out;
    return Value();
}

void Interp::setVariable(const std::string& name, const Value& v) {
    size_t colon = name.rfind(':');
    if (colon != std::string::npos) {
        if (Object* clip = vm_.resolvePath(f_.target, name.substr(0, colon)))
            clip->set(vm_, name.substr(colon + 1), v);
        return;
    }
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size()) {
        Value owner = getVariable(name.substr(0, dot));
        if (Object* o = owner.object()) o->set(vm_, name.substr(dot + 1), v);
        return;
    }
    for (Scope* s = f_.scope; s; s = s->parent) {
        Object* o =
            s->kind == Scope::Kind::Target && f_.target && s->object == f_.original ? f_.target : s->object;
        if (!o) continue;
        // An assignment lands on the first object of the chain that holds the name itself; one it only
        // inherits does not count.
        if (s->kind == Scope::Kind::Target || s->kind == Scope::Kind::Global || o->hasOwn(vm_, name)) {
            o->set(vm_, name, v);
            return;
        }
    }
}

void Interp::defineLocal(const std::string& name, const Value& v, bool onlyIfMissing) {
    for (Scope* s = f_.scope; s; s = s->parent) {
        if (s->kind == Scope::Kind::With) continue;
        Object* o =
            s->kind == Scope::Kind::Target && f_.target && s->object == f_.original ? f_.target : s->object;
        if (!o) continue;
        if (onlyIfMissing && o->hasOwn(vm_, name)) return;
        o->set(vm_, name, v);
        return;
    }
}

Value Interp::getMember(const Value& obj, const Value& nameValue) {
    std::string name = vm_.toString(nameValue);
    if (obj.isString()) {
        if (vm_.key(name) == "length") return Value(double(toUtf16(obj.string()).size()));
    }
    Object* o = vm_.toObject(obj);
    if (!o) return Value();
    return o->get(vm_, name);
}

ClipObject* Interp::clipFromValue(const Value& v) {
    if (Object* o = v.object()) return o->asClip();
    return nullptr;
}

ClipObject* Interp::targetOf(const Value& v) {
    if (ClipObject* c = clipFromValue(v)) return c;
    std::string path = vm_.toString(v);
    if (path.empty()) return f_.target;
    ClipObject* c = vm_.resolveTarget(f_.target, path);
    if (!c) {
        // A variable holding a clip: tellTarget(someVar) and GetProperty(someVar, ...).
        Value held = getVariable(path);
        c = clipFromValue(held);
    }
    return c;
}

void Interp::gotoFrame(ClipObject* clip, const Value& frame, bool play, int bias) {
    if (!clip || !clip->clip()) return;
    MovieClip* mc = clip->clip();
    Runtime& rt = static_cast<Runtime&>(vm_.host);
    int target = 0;
    if (frame.isString()) {
        const std::string& s = frame.string();
        size_t colon = s.rfind(':');
        std::string label = s;
        if (colon != std::string::npos) {
            ClipObject* other = vm_.resolveTarget(f_.target, s.substr(0, colon));
            if (!other || !other->clip()) return;
            mc = other->clip();
            label = s.substr(colon + 1);
        }
        double n = stringToNumber(label, vm_.version);
        if (std::isfinite(n))
            target = int(clampToInt(n, -1, 1000000));
        else
            target = mc->timeline().frameOfLabel(label);
        if (target <= 0) return;
    } else {
        double n = vm_.toNumber(frame);
        if (!std::isfinite(n)) return;
        target = int(clampToInt(n, -1000000, 1000000));
    }
    target += bias;
    if (target < 1) target = 1;
    mc->playing = play;
    mc->gotoFrame(target, rt);
    mc->playing = play;
}

void Interp::setTarget(const std::string& path) {
    if (path.empty()) {
        f_.target = f_.original;
        return;
    }
    ClipObject* c = vm_.resolveTarget(f_.original, path);
    if (!c) {
        // A missing target: actions act on nothing until the target is reset, as Flash does.
        vm_.host.log("tellTarget(\"" + path + "\"): no such clip");
        c = nullptr;
    }
    f_.target = c ? c : f_.original;
    if (!c) f_.target = nullptr;
}

void Interp::defineFunction(size_t& pc, const swf::Action& a) {
    uint32_t bodyStart = a.next();
    uint16_t size = 0;
    std::string name;
    auto* fn = vm_.make<ScriptFunction>(vm_.functionProto, ActionBlock{}, f_.scope, f_.target);
    if (const auto* d = std::get_if<swf::ActionDefineFunction>(&a.operands)) {
        size = d->codeSize;
        name = d->name;
        fn->params = d->params;
    } else if (const auto* d2 = std::get_if<swf::ActionDefineFunction2>(&a.operands)) {
        size = d2->codeSize;
        name = d2->name;
        fn->v2 = true;
        fn->def2 = *d2;
    }
    size_t bodyBegin = size_t(&a - f_.acts.data()) + 1;
    size_t bodyEnd = indexOf(int64_t(bodyStart) + size);
    if (bodyEnd < bodyBegin) bodyEnd = bodyBegin;
    if (bodyEnd == f_.end) {
        // The body may end exactly at the end of this block, or its size may be broken: take the records
        // that fall inside it.
        bodyEnd = bodyBegin;
        while (bodyEnd < f_.end && f_.acts[bodyEnd].offset < uint64_t(bodyStart) + size)
            ++bodyEnd;
    }
    fn->body = ActionBlock{&f_.acts, bodyBegin, bodyEnd, vm_.version};
    fn->name = name;
    if (f_.pool) fn->pool = *f_.pool;
    Object* proto = vm_.newObject();
    proto->define(vm_, "constructor", Value(fn), kDontEnum | kDontDelete);
    fn->define(vm_, "prototype", Value(proto), kDontEnum | kDontDelete);
    if (vm_.functionCtor) fn->define(vm_, "constructor", Value(vm_.functionCtor), kDontEnum | kDontDelete);
    pc = bodyEnd;
    if (name.empty()) {
        push(Value(fn));
    } else {
        defineLocal(name, Value(fn), false);
    }
}

Completion Interp::runWith(size_t& pc, const swf::Action& a) {
    const auto& w = std::get<swf::ActionWith>(a.operands);
    Value obj = pop();
    size_t bodyBegin = size_t(&a - f_.acts.data()) + 1;
    size_t bodyEnd = indexOf(int64_t(a.next()) + w.size);
    if (bodyEnd < bodyBegin) bodyEnd = bodyBegin;
    Object* o = vm_.toObject(obj);
    pc = bodyEnd;
    if (!o) {
        // with(undefined) skips its body.
        return Completion{};
    }
    Scope* saved = f_.scope;
    f_.scope = vm_.make<Scope>(Scope::Kind::With, o, saved);
    Completion c;
    try {
        c = run(bodyBegin, bodyEnd);
    } catch (...) {
        f_.scope = saved;
        throw;
    }
    f_.scope = saved;
    return c;
}

Completion Interp::runTry(size_t& pc, const swf::Action& a) {
    const auto& t = std::get<swf::ActionTry>(a.operands);
    int64_t tryStart = a.next();
    size_t tryBegin = size_t(&a - f_.acts.data()) + 1;
    // A block whose flag is clear has no size, whatever the size says: its code runs as what follows.
    const int64_t catchSize = t.hasCatch ? t.catchSize : 0;
    const int64_t finallySize = t.hasFinally ? t.finallySize : 0;
    size_t catchBegin = indexOf(tryStart + t.trySize);
    size_t finallyBegin = indexOf(tryStart + t.trySize + catchSize);
    size_t finallyEnd = indexOf(tryStart + t.trySize + catchSize + finallySize);
    catchBegin = std::max(catchBegin, tryBegin);
    finallyBegin = std::max(finallyBegin, catchBegin);
    finallyEnd = std::max(finallyEnd, finallyBegin);
    pc = finallyEnd;
    size_t depth = vm_.stack.size();
    int callDepth = vm_.callDepth;
    Completion c;
    bool pending = false;
    Value thrown;
    try {
        c = run(tryBegin, catchBegin);
        if (vm_.throwPending) {
            vm_.throwPending = false;
            throw ScriptThrow{Value()};
        }
    } catch (const ScriptThrow& e) {
        vm_.stack.resize(std::max(depth, base_));
        vm_.callDepth = callDepth;
        if (t.hasCatch) {
            if (t.catchInRegister) {
                if (t.catchRegister < f_.regCount) f_.regs[t.catchRegister] = e.value;
            } else {
                defineLocal(t.catchName, e.value, false);
            }
            try {
                c = run(catchBegin, finallyBegin);
            } catch (const ScriptThrow& e2) {
                pending = true;
                thrown = e2.value;
            }
        } else {
            pending = true;
            thrown = e.value;
        }
    }
    // A jump out of the try or catch block leaves the whole statement: Flash Player skips the finally block
    // then.
    if (t.hasFinally && finallyBegin < finallyEnd && !(c.kind == Completion::JumpOut && !pending)) {
        Completion fc = run(finallyBegin, finallyEnd);
        if (fc.kind == Completion::Return && pending) vm_.throwPending = true;
        if (fc.kind != Completion::Normal) return fc;
    }
    if (pending) throw ScriptThrow{thrown};
    return c;
}

Completion Interp::run(size_t begin, size_t end) {
    size_t pc = begin;
    const std::vector<swf::Action>& acts = f_.acts;
    while (pc < end) {
        if (++vm_.budget > vm_.actionsPerFrame) throw ScriptAbort{"a script ran too long"};
        const swf::Action& a = acts[pc];
        size_t next = pc + 1;
        if (debugOps()) {
            std::fprintf(stderr, "  [%zu] %5u op %02X stack %zu:", pc, a.offset, a.opcode, vm_.stack.size());
            for (size_t i = vm_.stack.size() > 4 ? vm_.stack.size() - 4 : 0; i < vm_.stack.size(); ++i)
                std::fprintf(stderr, " %s",
                             vm_.stack[i].isObject() ? "[obj]" : vm_.toString(vm_.stack[i]).c_str());
            std::fprintf(stderr, "\n");
        }
        switch (a.opcode) {
            case swf::op::End:
                return Completion{Completion::JumpOut, Value(), f_.end};
            // --- timeline control -------------------------------------------------------------------
            case swf::op::NextFrame:
                if (f_.target && f_.target->clip()) {
                    MovieClip* mc = f_.target->clip();
                    mc->gotoFrame(mc->currentFrame() + 1, static_cast<Runtime&>(vm_.host));
                    mc->playing = false;
                }
                break;
            case swf::op::PrevFrame:
                if (f_.target && f_.target->clip()) {
                    MovieClip* mc = f_.target->clip();
                    mc->gotoFrame(mc->currentFrame() - 1, static_cast<Runtime&>(vm_.host));
                    mc->playing = false;
                }
                break;
            case swf::op::Play:
                if (f_.target && f_.target->clip()) f_.target->clip()->playing = true;
                break;
            case swf::op::Stop:
                if (f_.target && f_.target->clip()) f_.target->clip()->playing = false;
                break;
            case swf::op::ToggleQuality:
                break;
            case swf::op::StopSounds:
                static_cast<Runtime&>(vm_.host).stopAllSounds();
                break;
            case swf::op::GotoFrame: {
                const auto& g = std::get<swf::ActionGotoFrame>(a.operands);
                gotoFrame(f_.target, Value(double(g.frame) + 1), false, 0);
                break;
            }
            case swf::op::GoToLabel: {
                const auto& g = std::get<swf::ActionGoToLabel>(a.operands);
                if (f_.target && f_.target->clip()) {
                    int frame = f_.target->clip()->timeline().frameOfLabel(g.label);
                    if (frame > 0)
                        gotoFrame(f_.target, Value(double(frame)), false, 0);
                    else
                        vm_.host.log("gotoAndStop(\"" + g.label + "\"): no such label");
                }
                break;
            }
            case swf::op::GotoFrame2: {
                const auto& g = std::get<swf::ActionGotoFrame2>(a.operands);
                Value frame = pop();
                gotoFrame(f_.target, frame, g.play, g.sceneBias);
                break;
            }
            case swf::op::WaitForFrame:
            case swf::op::WaitForFrame2: {
                const auto& w = std::get<swf::ActionWaitForFrame>(a.operands);
                double frame = a.opcode == swf::op::WaitForFrame ? w.frame : vm_.toNumber(pop()) - 1;
                MovieClip* mc = f_.target ? f_.target->clip() : nullptr;
                bool loaded = mc && std::isfinite(frame) && frame < mc->frameCount();
                if (!loaded) next = std::min(end, pc + 1 + w.skipCount);
                break;
            }
            case swf::op::SetTarget:
                setTarget(std::get<swf::ActionSetTarget>(a.operands).target);
                break;
            case swf::op::SetTarget2: {
                // A clip is found again by its path, as Flash does: of two clips with one name, the
                // first wins even when the second is given.
                Value t = pop();
                if (ClipObject* c = clipFromValue(t))
                    setTarget(c->targetPath());
                else
                    setTarget(vm_.toString(t));
                break;
            }
            case swf::op::GetURL: {
                const auto& g = std::get<swf::ActionGetURL>(a.operands);
                vm_.host.getUrl(g.url, g.target, 0, f_.target);
                break;
            }
            case swf::op::GetURL2: {
                const auto& g = std::get<swf::ActionGetURL2>(a.operands);
                Value target = pop();
                std::string url = vm_.toString(pop());
                int method = g.sendVarsMethod | (g.loadTarget ? 4 : 0) | (g.loadVariables ? 8 : 0);
                std::string t;
                if (ClipObject* c = clipFromValue(target))
                    t = c->targetPath();
                else
                    t = vm_.toString(target);
                vm_.host.getUrl(url, t, method, f_.target);
                break;
            }
            case swf::op::Call: {
                Value frame = pop();
                ClipObject* clip = f_.target;
                std::string s = vm_.toString(frame);
                size_t colon = s.rfind(':');
                if (colon != std::string::npos) {
                    clip = vm_.resolveTarget(f_.target, s.substr(0, colon));
                    s = s.substr(colon + 1);
                }
                if (clip && clip->clip()) {
                    MovieClip* mc = clip->clip();
                    double n = stringToNumber(s, vm_.version);
                    int fr =
                        std::isfinite(n) ? int(clampToInt(n, -1, 1000000)) : mc->timeline().frameOfLabel(s);
                    static_cast<Runtime&>(vm_.host).callFrame(mc, fr);
                }
                break;
            }
            // --- stack and registers ------------------------------------------------------------------
            case swf::op::Push: {
                const auto& p = std::get<swf::ActionPush>(a.operands);
                for (const swf::PushValue& v : p.values) {
                    switch (v.type) {
                        case swf::PushValue::Type::String:
                            push(Value(v.string));
                            break;
                        case swf::PushValue::Type::Float:
                        case swf::PushValue::Type::Double:
                            push(Value(v.number));
                            break;
                        case swf::PushValue::Type::Null:
                            push(Value::null());
                            break;
                        case swf::PushValue::Type::Undefined:
                            push(Value());
                            break;
                        case swf::PushValue::Type::Register:
                            push(v.integer >= 0 && size_t(v.integer) < f_.regCount ? f_.regs[v.integer]
                                                                                   : Value());
                            break;
                        case swf::PushValue::Type::Boolean:
                            push(Value(v.integer != 0));
                            break;
                        case swf::PushValue::Type::Integer:
                            push(Value(double(int32_t(v.integer))));
                            break;
                        case swf::PushValue::Type::Constant8:
                        case swf::PushValue::Type::Constant16:
                            push(Value(poolString(v.integer)));
                            break;
                    }
                }
                break;
            }
            case swf::op::Pop:
                pop();
                break;
            case swf::op::PushDuplicate: {
                Value v = pop();
                push(v);
                push(v);
                break;
            }
            case swf::op::StackSwap: {
                Value x = pop(), y = pop();
                push(x);
                push(y);
                break;
            }
            case swf::op::StoreRegister: {
                uint8_t r = std::get<swf::ActionStoreRegister>(a.operands).reg;
                Value v = vm_.stack.size() > base_ ? vm_.stack.back() : Value();
                if (r < f_.regCount) f_.regs[r] = v;
                break;
            }
            case swf::op::ConstantPool:
                if (f_.pool) *f_.pool = std::get<swf::ActionConstantPool>(a.operands).constants;
                break;
            // --- arithmetic ---------------------------------------------------------------------------
            case swf::op::Add: {
                double x, b;
                popNumbers(x, b);
                push(Value(x + b));
                break;
            }
            case swf::op::Subtract: {
                double x, b;
                popNumbers(x, b, true);
                push(Value(x - b));
                break;
            }
            case swf::op::Multiply: {
                double x, b;
                popNumbers(x, b, true);
                push(Value(x * b));
                break;
            }
            case swf::op::Divide: {
                double x, b;
                popNumbers(x, b, true);
                if (b == 0 && vm_.version < 5) {
                    push(Value("#ERROR#"));
                } else if (b == 0) {
                    // Flash Player ignores the sign of a zero divisor.
                    double inf = std::numeric_limits<double>::infinity();
                    push(Value(std::isnan(x) || x == 0 ? std::nan("") : x > 0 ? inf : -inf));
                } else {
                    push(Value(x / b));
                }
                break;
            }
            case swf::op::Modulo: {
                double x, b;
                popNumbers(x, b, true);
                push(Value(std::fmod(x, b)));
                break;
            }
            case swf::op::Increment:
                push(Value(vm_.toNumber(pop()) + 1));
                break;
            case swf::op::Decrement:
                push(Value(vm_.toNumber(pop()) - 1));
                break;
            case swf::op::Add2: {
                Value rb = pop(), rx = pop();
                Value b = vm_.toPrimitive(rb);
                Value x = vm_.toPrimitive(rx);
                if (x.isString() || b.isString()) {
                    push(Value(vm_.toString(x) + vm_.toString(b)));
                } else {
                    // An operand still an object after valueOf is NaN (0 before SWF 6), without asking
                    // valueOf again.
                    double nonPrimitive = vm_.version >= 6 ? std::nan("") : 0.0;
                    push(Value((x.isObject() ? nonPrimitive : vm_.toNumber(x)) +
                               (b.isObject() ? nonPrimitive : vm_.toNumber(b))));
                }
                break;
            }
            case swf::op::Equals: {
                double x, b;
                popNumbers(x, b);
                push(boolValue(x == b));
                break;
            }
            case swf::op::Less: {
                double x, b;
                popNumbers(x, b);
                push(boolValue(x < b));
                break;
            }
            case swf::op::And: {
                bool b = vm_.toBoolean(pop()), x = vm_.toBoolean(pop());
                push(boolValue(x && b));
                break;
            }
            case swf::op::Or: {
                bool b = vm_.toBoolean(pop()), x = vm_.toBoolean(pop());
                push(boolValue(x || b));
                break;
            }
            case swf::op::Not:
                push(boolValue(!vm_.toBoolean(pop())));
                break;
            case swf::op::Equals2: {
                Value b = pop(), x = pop();
                push(Value(vm_.looseEquals(x, b)));
                break;
            }
            case swf::op::StrictEquals: {
                Value b = pop(), x = pop();
                push(Value(Vm::strictEquals(x, b)));
                break;
            }
            case swf::op::Less2: {
                Value b = pop(), x = pop();
                push(vm_.lessThan(x, b));
                break;
            }
            case swf::op::Greater: {
                Value b = pop(), x = pop();
                push(vm_.lessThan(b, x));
                break;
            }
            case swf::op::ToNumber:
                push(Value(vm_.toNumber(pop())));
                break;
            case swf::op::ToString:
                push(Value(vm_.toString(pop())));
                break;
            case swf::op::ToInteger: {
                push(Value(double(vm_.toInt(pop()))));
                break;
            }
            case swf::op::BitAnd: {
                int32_t b = vm_.toInt(pop()), x = vm_.toInt(pop());
                push(Value(double(x & b)));
                break;
            }
            case swf::op::BitOr: {
                int32_t b = vm_.toInt(pop()), x = vm_.toInt(pop());
                push(Value(double(x | b)));
                break;
            }
            case swf::op::BitXor: {
                int32_t b = vm_.toInt(pop()), x = vm_.toInt(pop());
                push(Value(double(x ^ b)));
                break;
            }
            case swf::op::BitLShift: {
                int32_t b = vm_.toInt(pop()), x = vm_.toInt(pop());
                push(Value(double(int32_t(uint32_t(x) << (b & 31)))));
                break;
            }
            case swf::op::BitRShift: {
                int32_t b = vm_.toInt(pop()), x = vm_.toInt(pop());
                push(Value(double(x >> (b & 31))));
                break;
            }
            case swf::op::BitURShift: {
                int32_t b = vm_.toInt(pop());
                uint32_t x = toUint32(vm_.toNumber(pop()));
                // A shift by nothing leaves the value signed in movies up to SWF 8.
                push(Value((b & 31) == 0 && vm_.version < 9 ? double(int32_t(x)) : double(x >> (b & 31))));
                break;
            }
            // --- strings ------------------------------------------------------------------------------
            case swf::op::StringEquals: {
                std::string b = vm_.toString(pop()), x = vm_.toString(pop());
                push(boolValue(x == b));
                break;
            }
            case swf::op::StringLess: {
                std::string b = vm_.toString(pop()), x = vm_.toString(pop());
                push(boolValue(x < b));
                break;
            }
            case swf::op::StringGreater: {
                std::string b = vm_.toString(pop()), x = vm_.toString(pop());
                push(boolValue(x > b));
                break;
            }
            case swf::op::StringAdd: {
                std::string b = vm_.toString(pop()), x = vm_.toString(pop());
                push(Value(x + b));
                break;
            }
            case swf::op::StringLength:
            case swf::op::MBStringLength: {
                std::string s = vm_.toString(pop());
                // Strings of movies before SWF 6 were widened from their one-byte code page, so counting
                // characters counts the bytes Flash Player counts there.
                push(Value(double(toUtf16(s).size())));
                break;
            }
            case swf::op::StringExtract:
            case swf::op::MBStringExtract: {
                double count = vm_.toNumber(pop()), index = vm_.toNumber(pop());
                std::u16string s = toUtf16(vm_.toString(pop()));
                // Both read as 32-bit integers: an infinite count is 0.
                long start = long(toInt32(index)) - 1;
                if (start < 0) start = 0;
                long n = long(toInt32(count));
                if (n < 0 || start + n > long(s.size())) n = long(s.size()) - start;
                if (start >= long(s.size()) || n <= 0)
                    push(Value(""));
                else
                    push(Value(toUtf8(s.substr(size_t(start), size_t(n)))));
                break;
            }
            case swf::op::CharToAscii:
            case swf::op::MBCharToAscii: {
                std::u16string s = toUtf16(vm_.toString(pop()));
                push(s.empty() ? Value(0) : Value(double(s[0])));
                break;
            }
            case swf::op::AsciiToChar:
            case swf::op::MBAsciiToChar: {
                uint32_t c = toUint32(vm_.toNumber(pop())) & 0xFFFF;
                push(Value(c ? codeUnitToUtf8(c) : std::string()));
                break;
            }
            // --- variables and properties -------------------------------------------------------------
            case swf::op::GetVariable: {
                std::string name = vm_.toString(pop());
                push(getVariable(name));
                break;
            }
            case swf::op::SetVariable: {
                Value v = pop();
                setVariable(vm_.toString(pop()), v);
                break;
            }
            case swf::op::DefineLocal: {
                Value v = pop();
                defineLocal(vm_.toString(pop()), v, false);
                break;
            }
            case swf::op::DefineLocal2: {
                std::string name = vm_.toString(pop());
                bool inFunction = false;
                for (Scope* s = f_.scope; s; s = s->parent)
                    if (s->kind == Scope::Kind::Local) inFunction = true;
                if (inFunction)
                    defineLocal(name, Value(), true);
                else {
                    // Outside functions `var x;` leaves an existing x alone.
                    Value existing;
                    if (!f_.target || !f_.target->hasOwn(vm_, name)) defineLocal(name, Value(), true);
                }
                break;
            }
            case swf::op::GetProperty: {
                double index = vm_.toNumber(pop());
                ClipObject* c = targetOf(pop());
                if (c && index >= 0 && index < 22)
                    push(c->getProperty(vm_, int(index)));
                else
                    push(Value());
                break;
            }
            case swf::op::SetProperty: {
                Value v = pop();
                double index = vm_.toNumber(pop());
                ClipObject* c = targetOf(pop());
                if (c && index >= 0 && index < 22) c->setProperty(vm_, int(index), v);
                break;
            }
            case swf::op::GetMember: {
                Value name = pop();
                Value obj = pop();
                push(getMember(obj, name));
                break;
            }
            case swf::op::SetMember: {
                Value v = pop();
                std::string name = vm_.toString(pop());
                Value obj = pop();
                if (Object* o = obj.object()) o->set(vm_, name, v);
                break;
            }
            case swf::op::Delete: {
                std::string name = vm_.toString(pop());
                Value obj = pop();
                Object* o = obj.object();
                push(Value(o ? o->remove(vm_, name) : false));
                break;
            }
            case swf::op::Delete2: {
                std::string name = vm_.toString(pop());
                bool done = false;
                for (Scope* s = f_.scope; s && !done; s = s->parent)
                    if (s->object && s->object->hasOwn(vm_, name)) {
                        done = true;
                        push(Value(s->object->remove(vm_, name)));
                    }
                if (!done) push(Value(false));
                break;
            }
            case swf::op::TargetPath: {
                Value v = pop();
                ClipObject* c = clipFromValue(v);
                push(c ? Value(c->targetPath()) : Value());
                break;
            }
            case swf::op::TypeOf:
                push(Value(vm_.typeOf(pop())));
                break;
            case swf::op::InstanceOf: {
                Value ctor = pop(), obj = pop();
                push(Value(vm_.instanceOf(obj, ctor.object())));
                break;
            }
            case swf::op::Enumerate:
            case swf::op::Enumerate2: {
                Value v = pop();
                Object* o =
                    a.opcode == swf::op::Enumerate ? vm_.toObject(getVariable(vm_.toString(v))) : v.object();
                push(Value::null());
                if (o) {
                    std::vector<std::string> keys;
                    std::vector<Object*> chain;
                    for (Object* p = o; p && chain.size() < 256; p = p->proto())
                        chain.push_back(p);
                    std::vector<std::string> seen;
                    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                        std::vector<std::string> own;
                        (*it)->ownKeys(vm_, own);
                        for (std::string& k : own)
                            keys.push_back(std::move(k));
                    }
                    // A name shadowed further down the chain is listed once.
                    std::vector<std::string> unique;
                    std::unordered_map<std::string, bool> have;
                    for (const std::string& k : keys)
                        if (have.emplace(vm_.key(k), true).second) unique.push_back(k);
                    for (const std::string& k : unique)
                        push(Value(k));
                }
                break;
            }
            // --- objects and calls --------------------------------------------------------------------
            case swf::op::InitArray: {
                std::vector<Value> elems = popArgs();
                push(Value(vm_.newArray(std::move(elems))));
                break;
            }
            case swf::op::InitObject: {
                double n = vm_.toNumber(pop());
                size_t count = size_t(clampToInt(n, 0, int64_t(Vm::kMaxStack)));
                Object* o = vm_.newObject();
                std::vector<std::pair<std::string, Value>> pairs;
                for (size_t i = 0; i < count && vm_.stack.size() > base_; ++i) {
                    Value v = pop();
                    std::string name = vm_.toString(pop());
                    pairs.emplace_back(std::move(name), std::move(v));
                }
                for (auto it = pairs.rbegin(); it != pairs.rend(); ++it)
                    o->set(vm_, it->first, it->second);
                push(Value(o));
                break;
            }
            case swf::op::CallFunction: {
                std::string name = vm_.toString(pop());
                std::vector<Value> args = popArgs();
                Object* foundIn = nullptr;
                Value fn = getVariable(name, &foundIn);
                Value self = f_.target ? Value(f_.target) : Value();
                // A function found in a scope object runs with that object as this (an activation too).
                // Called plainly, on the timeline, it has no super.
                bool plain = true;
                if (foundIn && foundIn != vm_.global) {
                    self = Value(foundIn);
                    plain = foundIn == f_.target;
                }
                if (!fn.object() || !fn.object()->isCallable()) {
                    push(Value());
                    break;
                }
                vm_.plainCall = plain;
                push(vm_.call(fn, self, args));
                vm_.plainCall = false;
                break;
            }
            case swf::op::CallMethod: {
                Value nameV = pop();
                Value obj = pop();
                std::vector<Value> args = popArgs();
                std::string name = nameV.isUndefined() ? std::string() : vm_.toString(nameV);
                if (name.empty()) {
                    Value self =
                        obj.object() && obj.object()->kind() == Object::Kind::Super ? Value() : Value();
                    push(vm_.call(obj, self, args));
                    break;
                }
                if (obj.isString() && vm_.key(name) != "length") {
                    push(vm_.callMethod(obj, name, args));
                    break;
                }
                Object* o = vm_.toObject(obj);
                if (!o) {
                    push(Value());
                    break;
                }
                Value fn = o->get(vm_, name);
                Value self = obj.isObject() ? obj : Value(o);
                if (auto* sup = dynamic_cast<SuperObject*>(o)) {
                    self = Value(sup->self);
                    vm_.pendingSuperBase = sup->base ? sup->base->proto() : nullptr;
                }
                push(vm_.call(fn, self, args));
                vm_.pendingSuperBase = nullptr;
                break;
            }
            case swf::op::NewObject: {
                std::string name = vm_.toString(pop());
                std::vector<Value> args = popArgs();
                push(vm_.construct(getVariable(name), args));
                break;
            }
            case swf::op::NewMethod: {
                Value nameV = pop();
                Value obj = pop();
                std::vector<Value> args = popArgs();
                std::string name = nameV.isUndefined() ? std::string() : vm_.toString(nameV);
                Value ctor = name.empty() ? obj : getMember(obj, Value(name));
                push(vm_.construct(ctor, args));
                break;
            }
            case swf::op::Return:
                return Completion{Completion::Return, pop(), 0};
            case swf::op::DefineFunction:
            case swf::op::DefineFunction2:
                defineFunction(next, a);
                break;
            case swf::op::Extends: {
                Value superclass = pop(), subclass = pop();
                Object* sub = subclass.object();
                Object* sup = superclass.object();
                if (sub && sup) {
                    Object* proto = vm_.make<Object>(sup->get(vm_, "prototype").object());
                    proto->define(vm_, "__constructor__", Value(sup), kDontEnum);
                    sub->set(vm_, "prototype", Value(proto));
                }
                break;
            }
            case swf::op::ImplementsOp: {
                Value ctor = pop();
                std::vector<Value> interfaces = popArgs();
                if (Object* c = ctor.object())
                    if (Object* proto = c->get(vm_, "prototype").object())
                        proto->define(vm_, "__implements__", Value(vm_.newArray(std::move(interfaces))),
                                      kDontEnum);
                break;
            }
            case swf::op::CastOp: {
                Value obj = pop(), ctor = pop();
                push(vm_.instanceOf(obj, ctor.object()) ? obj : Value::null());
                break;
            }
            case swf::op::Throw:
                throw ScriptThrow{pop()};
            case swf::op::Try:
            case swf::op::With: {
                // A nested block that returned, or jumped out of this range too, ends this range as well.
                Completion c = a.opcode == swf::op::Try ? runTry(next, a) : runWith(next, a);
                if (c.kind == Completion::Return) return c;
                if (c.kind == Completion::JumpOut) {
                    if (c.target < begin || c.target >= end) return c;
                    next = c.target;
                }
                break;
            }
            // --- control flow ------------------------------------------------------------------------
            case swf::op::Jump:
            case swf::op::If: {
                const auto& b = std::get<swf::ActionBranch>(a.operands);
                bool take = a.opcode == swf::op::Jump || vm_.toBoolean(pop());
                if (take) {
                    size_t t = indexOf(b.target);
                    if (t < begin || t >= end) return Completion{Completion::JumpOut, Value(), t};
                    next = t;
                }
                break;
            }
            // --- misc ---------------------------------------------------------------------------------
            case swf::op::Trace: {
                Value v = pop();
                vm_.host.trace(v.isUndefined() ? std::string("undefined") : vm_.toString(v));
                break;
            }
            case swf::op::RandomNumber: {
                double max = vm_.toNumber(pop());
                int32_t m = int32_t(clampToInt(max, 0, 0x7FFFFFFF));
                push(Value(m > 0 ? double(vm_.random() % uint32_t(m)) : 0.0));
                break;
            }
            case swf::op::GetTime:
                push(Value(std::floor(vm_.host.timeMs())));
                break;
            case swf::op::CloneSprite: {
                double depth = vm_.toNumber(pop());
                std::string name = vm_.toString(pop());
                ClipObject* source = targetOf(pop());
                // The depth is the player's own: compilers add 16384 to what the script says.
                if (source) static_cast<Runtime&>(vm_.host).duplicateClip(source, name, depth - 16384);
                break;
            }
            case swf::op::RemoveSprite: {
                ClipObject* c = targetOf(pop());
                if (c) static_cast<Runtime&>(vm_.host).removeClip(c);
                break;
            }
            case swf::op::StartDrag: {
                ClipObject* c = targetOf(pop());
                bool lock = vm_.toBoolean(pop());
                double rect[4];
                bool constrained = vm_.toBoolean(pop());
                if (constrained)
                    for (int i = 3; i >= 0; --i)
                        rect[i] = vm_.toNumber(pop());
                static_cast<Runtime&>(vm_.host).startDrag(c, lock, constrained ? rect : nullptr);
                break;
            }
            case swf::op::EndDrag:
                static_cast<Runtime&>(vm_.host).stopDrag();
                break;
            default:
                vm_.host.unsupported("action 0x" + std::string(1, "0123456789ABCDEF"[a.opcode >> 4]) +
                                     std::string(1, "0123456789ABCDEF"[a.opcode & 15]));
                break;
        }
        pc = next;
    }
    return Completion{};
}

}  // namespace

Value Vm::execute(const ActionBlock& block, Scope* scope, const Value& self, ClipObject* target,
                  Value* registers, size_t registerCount, std::vector<std::string>* pool) {
    if (!block.actions || block.begin >= block.end) return Value();
    if (callDepth >= maxCallDepth) throw recursionAbort();
    // The call depth alone does not bound the machine stack: frames are larger in some builds and natives
    // (toString, sort callbacks) add their own. Measure it from the outermost script call.
    char probe = 0;
    const uintptr_t here = reinterpret_cast<uintptr_t>(&probe);
    if (callDepth == 0)
        stackBase_ = here;
    else if (stackBase_ > here && stackBase_ - here > kMaxStackBytes)
        throw ScriptAbort{"recursion too deep for the stack", true};
    ++callDepth;
    Frame f{*this,  *block.actions, block.begin, block.end,     scope, self,
            target, target,         registers,   registerCount, pool};
    Interp in(f);
    size_t base = stack.size();
    Completion c;
    try {
        c = in.run(block.begin, block.end);
    } catch (...) {
        // The frame is gone whoever catches: a conversion that goes on, or a try block.
        --callDepth;
        stack.resize(std::min(stack.size(), base));
        throw;
    }
    --callDepth;
    stack.resize(std::min(stack.size(), base));
    return c.kind == Completion::Return ? c.value : Value();
}

Value ScriptFunction::call(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* superBase = vm.pendingSuperBase;
    vm.pendingSuperBase = nullptr;
    const bool plain = vm.plainCall;
    vm.plainCall = false;
    int savedVersion = vm.version;
    vm.version = body.version;
    Object* activation = vm.make<Object>(nullptr);
    Scope* local = vm.make<Scope>(Scope::Kind::Local, activation, scope);
    ClipObject* tgt = target;
    if (tgt && !tgt->clip()) {
        // The timeline the function was defined on is gone: timeline actions act on the caller's.
        tgt = self.object() && self.object()->asClip() ? self.object()->asClip() : tgt;
    }
    ArrayObject* arguments = vm.newArray(args);
    arguments->define(vm, "callee", Value(this), kDontEnum | kDontDelete);
    arguments->define(vm, "caller", vm.runningFunction ? Value(vm.runningFunction) : Value::null(),
                      kDontEnum | kDontDelete);
    Object* selfObj = self.object();
    Object* base = superBase ? superBase : (selfObj ? selfObj->proto() : nullptr);
    std::vector<Value> regs;
    std::vector<std::string> poolCopy = pool;
    Value result;
    struct Restore {
        Vm& vm;
        int v;
        Object* running;
        ~Restore() {
            vm.version = v;
            vm.runningFunction = running;
        }
    } restore{vm, savedVersion, vm.runningFunction};
    vm.runningFunction = this;
    if (!v2) {
        for (size_t i = 0; i < params.size(); ++i)
            activation->set(vm, params[i], i < args.size() ? args[i] : Value());
        activation->define(vm, "arguments", Value(arguments), kDontEnum);
        activation->define(vm, "this", self, kDontEnum);
        if (selfObj && body.version >= 6)
            activation->define(vm, "super", plain ? Value() : Value(vm.make<SuperObject>(selfObj, base)),
                               kDontEnum);
        regs.resize(4);
        result = vm.execute(body, local, self, tgt, regs.data(), regs.size(), &poolCopy);
        return result;
    }
    regs.resize(std::max<size_t>(def2.registerCount, 1));
    size_t r = 1;
    auto preload = [&](const Value& v) {
        if (r < regs.size()) regs[r] = v;
        ++r;
    };
    if (def2.preloadThis())
        preload(self);
    else if (!def2.suppressThis())
        activation->define(vm, "this", self, kDontEnum);
    if (def2.preloadArguments())
        preload(Value(arguments));
    else if (!def2.suppressArguments())
        activation->define(vm, "arguments", Value(arguments), kDontEnum);
    if (def2.preloadSuper() || !def2.suppressSuper()) {
        Value sup = selfObj && !plain ? Value(vm.make<SuperObject>(selfObj, base)) : Value();
        if (def2.preloadSuper())
            preload(sup);
        else
            activation->define(vm, "super", sup, kDontEnum);
    }
    if (def2.preloadRoot()) preload(tgt ? Value(tgt->root()) : Value());
    if (def2.preloadParent()) preload(tgt ? Value(tgt->parentClip()) : Value());
    if (def2.preloadGlobal()) preload(Value(vm.global));
    for (size_t i = 0; i < def2.params.size(); ++i) {
        Value v = i < args.size() ? args[i] : Value();
        const auto& p = def2.params[i];
        if (p.reg != 0 && p.reg < regs.size())
            regs[p.reg] = v;
        else
            activation->set(vm, p.name, v);
    }
    result = vm.execute(body, local, self, tgt, regs.data(), regs.size(), &poolCopy);
    return result;
}

void ScriptFunction::trace(std::vector<GcCell*>& out) const {
    FunctionObject::trace(out);
    if (scope) out.push_back(scope);
    if (target) out.push_back(target);
}

bool SuperObject::getOwn(Vm& vm, const std::string& name, Object* selfIgnored, Value& out) {
    Object* from = base ? base->proto() : nullptr;
    if (!from) return false;
    out = from->getFrom(vm, name, self);
    return true;
}

Value SuperObject::call(Vm& vm, const Value& ignored, std::vector<Value>& args) {
    // super(...): the superclass constructor on the same object.
    Value ctor = base ? base->get(vm, "__constructor__") : Value();
    if (base && base->proto()) vm.pendingSuperBase = base->proto();
    Value r = vm.call(ctor, Value(self), args);
    vm.pendingSuperBase = nullptr;
    return r;
}

}  // namespace player::avm1
