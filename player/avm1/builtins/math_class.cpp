// Math: the functions and constants. Every function converts up to two of the arguments it is given,
// in order, and reads a missing one as NaN; Math.random and the random() action share the
// player's seeded generator, so a movie converts the same way every run.
#include <cmath>
#include <limits>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The numbers a function works on. Flash Player converts the first two arguments, whatever the
// function takes (their valueOf runs), and reads a missing one as NaN.
std::vector<double> numbers(Vm& vm, std::vector<Value>& args, size_t wanted) {
    std::vector<double> out;
    for (size_t i = 0; i < args.size() && i < 2; ++i)
        out.push_back(argNumber(vm, args[i]));
    while (out.size() < wanted)
        out.push_back(kNaN);
    return out;
}

template <double (*F)(double)>
Value unary(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(F(numbers(vm, args, 1)[0]));
}

double round(double x) {
    return std::floor(x + 0.5);
}

Value atan2(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<double> n = numbers(vm, args, 2);
    return Value(std::atan2(n[0], n[1]));
}

Value pow(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::vector<double> n = numbers(vm, args, 2);
    // An infinite base to a fractional power is NaN in Flash Player (IEEE pow gives Infinity or 0).
    if (std::isinf(n[0]) && std::trunc(n[1]) != n[1]) return Value(std::nan(""));
    return Value(std::pow(n[0], n[1]));
}

Value min(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value(std::numeric_limits<double>::infinity());
    std::vector<double> n = numbers(vm, args, 2);
    if (std::isnan(n[0]) || std::isnan(n[1])) return Value(kNaN);
    return Value(n[1] < n[0] ? n[1] : n[0]);
}

Value max(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value(-std::numeric_limits<double>::infinity());
    std::vector<double> n = numbers(vm, args, 2);
    if (std::isnan(n[0]) || std::isnan(n[1])) return Value(kNaN);
    return Value(n[1] > n[0] ? n[1] : n[0]);
}

Value random(Vm& vm, const Value& self, std::vector<Value>& args) {
    numbers(vm, args, 0);  // its arguments are read too, though unused
    // 53 random bits from two draws of the generator: [0, 1).
    uint64_t hi = vm.random() >> 5, lo = vm.random() >> 6;
    return Value(double(hi * 67108864u + lo) / 9007199254740992.0);
}

}  // namespace

void installMath(Vm& vm) {
    Object* math = vm.newObject();
    vm.method(math, "abs", unary<std::fabs>);
    vm.method(math, "min", min);
    vm.method(math, "max", max);
    vm.method(math, "sin", unary<std::sin>);
    vm.method(math, "cos", unary<std::cos>);
    vm.method(math, "atan2", atan2);
    vm.method(math, "tan", unary<std::tan>);
    vm.method(math, "exp", unary<std::exp>);
    vm.method(math, "log", unary<std::log>);
    vm.method(math, "sqrt", unary<std::sqrt>);
    vm.method(math, "round", unary<round>);
    vm.method(math, "random", random);
    vm.method(math, "floor", unary<std::floor>);
    vm.method(math, "ceil", unary<std::ceil>);
    vm.method(math, "atan", unary<std::atan>);
    vm.method(math, "asin", unary<std::asin>);
    vm.method(math, "acos", unary<std::acos>);
    vm.method(math, "pow", pow);
    math->define(vm, "E", Value(M_E), 0);
    math->define(vm, "LN10", Value(M_LN10), 0);
    math->define(vm, "LN2", Value(M_LN2), 0);
    math->define(vm, "LOG10E", Value(M_LOG10E), 0);
    math->define(vm, "LOG2E", Value(M_LOG2E), 0);
    math->define(vm, "PI", Value(M_PI), 0);
    math->define(vm, "SQRT1_2", Value(M_SQRT1_2), 0);
    math->define(vm, "SQRT2", Value(M_SQRT2), 0);
    // Math is an object Flash Player made with Object: it keeps an own constructor.
    math->define(vm, "constructor", vm.objectProto->get(vm, "constructor"), 0);
    // As in Flash Player, everything on Math is hidden, permanent and read-only.
    math->changeAllFlags(kDontEnum | kDontDelete | kReadOnly, 0);
    vm.global->define(vm, "Math", Value(math), kDontEnum);
}

}  // namespace player::avm1
