// setInterval, setTimeout and their clear functions, and getTimer. Timers run on the movie's clock: once a
// frame the player asks for those due by the current movie time, and they run in the order they fall due
// (timers due at the same moment in the order they were made). An interval shorter than a frame runs
// several times in one frame, as in Flash Player; each repetition is scheduled from its previous due time,
// so intervals do not drift.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

struct Timer {
    int id = 0;
    Value function;  // the function form: called with this undefined
    Value object;    // the method form: object[method] looked up at each run
    std::string method;
    std::vector<Value> args;
    double intervalMs = 0;
    double dueMs = 0;
    bool repeat = true;
    uint64_t order = 0;  // when equal due times meet: made first, runs first
};

struct Load {
    Object* target;
    std::string url;
};

// The timer list lives in the heap so that what timers hold is traced like any other reference.
class TimerList : public Object {
  public:
    TimerList() : Object(nullptr, Kind::Other) {}
    std::vector<Timer> timers;
    std::vector<Load> loads;
    int nextId = 1;
    uint64_t nextOrder = 0;
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        for (const Timer& t : timers) {
            traceValue(t.function, out);
            traceValue(t.object, out);
            for (const Value& v : t.args)
                traceValue(v, out);
        }
        for (const Load& l : loads)
            out.push_back(l.target);
    }
};

TimerList& listOf(Vm& vm) {
    return *static_cast<TimerList*>(vm.timers);
}

// Repeating timers run at most this often (a zero interval would otherwise never let the frame end).
constexpr double kMinIntervalMs = 10;
// Runs in one frame beyond this are dropped: the timer is rescheduled from now.
constexpr int kMaxRunsPerFrame = 1000;

Value addTimer(Vm& vm, std::vector<Value>& args, bool repeat) {
    Timer t;
    size_t rest;
    Object* first = arg(args, 0).object();
    if (!first) return Value();
    if (first->isCallable()) {
        if (args.size() < 2 || args[1].isUndefined()) return Value();
        t.function = args[0];
        t.intervalMs = vm.toNumber(args[1]);
        rest = 2;
    } else {
        if (args.size() < 3 || args[2].isUndefined()) return Value();
        t.object = args[0];
        t.method = vm.toString(args[1]);
        t.intervalMs = vm.toNumber(args[2]);
        rest = 3;
    }
    if (!std::isfinite(t.intervalMs) || t.intervalMs < 0) t.intervalMs = 0;
    t.args.assign(args.begin() + long(rest), args.end());
    t.repeat = repeat;
    TimerList& list = listOf(vm);
    t.id = list.nextId++;
    t.order = list.nextOrder++;
    t.dueMs = vm.host.timeMs() + (repeat ? std::max(t.intervalMs, kMinIntervalMs) : t.intervalMs);
    list.timers.push_back(std::move(t));
    return Value(list.timers.back().id);
}

Value setIntervalFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    return addTimer(vm, args, true);
}

Value setTimeoutFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    return addTimer(vm, args, false);
}

Value clearTimerFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    double id = vm.toNumber(args[0]);
    auto& timers = listOf(vm).timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.id == id; }),
                 timers.end());
    return Value();
}

Value getTimerFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(std::floor(vm.host.timeMs()));
}

}  // namespace

void queueLoad(Vm& vm, Object* target, const std::string& url) {
    if (target && vm.timers) listOf(vm).loads.push_back({target, url});
}

void installTimers(Vm& vm) {
    vm.timers = vm.make<TimerList>();
    vm.global->define(vm, "setInterval", Value(vm.newFunction(setIntervalFn)), kDontEnum);
    vm.global->define(vm, "setTimeout", Value(vm.newFunction(setTimeoutFn)), kDontEnum);
    vm.global->define(vm, "clearInterval", Value(vm.newFunction(clearTimerFn)), kDontEnum);
    vm.global->define(vm, "clearTimeout", Value(vm.newFunction(clearTimerFn)), kDontEnum);
    vm.global->define(vm, "getTimer", Value(vm.newFunction(getTimerFn)), kDontEnum);
}

void Vm::runTimers() {
    if (!timers) return;
    TimerList& list = listOf(*this);
    // Files asked for on an earlier frame arrive first.
    std::vector<Load> loads;
    loads.swap(list.loads);
    for (const Load& l : loads) {
        std::string text;
        Value data;
        if (host.readLocalFile(l.url, text)) {
            data = Value(decodeLoadedText(text, version));
            // XML shows the counts as properties; LoadVars keeps them out of its variables.
            uint8_t flags = l.target->kind() == Object::Kind::Xml ? 0 : kDontEnum;
            l.target->define(*this, "_bytesLoaded", Value(double(text.size())), flags);
            l.target->define(*this, "_bytesTotal", Value(double(text.size())), flags);
        }
        callHandler(l.target->get(*this, "onData"), Value(l.target), {data});
    }
    double now = host.timeMs();
    for (int runs = 0; runs < kMaxRunsPerFrame; ++runs) {
        // The earliest due timer; a timer made or cleared by a callback is seen on the next pass.
        Timer* next = nullptr;
        for (Timer& t : list.timers)
            if (t.dueMs <= now &&
                (!next || t.dueMs < next->dueMs || (t.dueMs == next->dueMs && t.order < next->order)))
                next = &t;
        if (!next) return;
        Timer run = *next;
        if (next->repeat) {
            next->dueMs += std::max(next->intervalMs, kMinIntervalMs);
            next->order = list.nextOrder++;
        } else {
            list.timers.erase(list.timers.begin() + (next - list.timers.data()));
        }
        if (run.function.isObject()) {
            callHandler(run.function, Value(), run.args);
        } else if (Object* o = run.object.object()) {
            Value fn = o->get(*this, run.method);
            if (fn.object() && fn.object()->isCallable()) callHandler(fn, run.object, run.args);
        }
    }
    // A flood of runs: what is still due starts again from now.
    for (Timer& t : list.timers)
        if (t.dueMs <= now) t.dueMs = now + std::max(t.intervalMs, kMinIntervalMs);
}

}  // namespace player::avm1
