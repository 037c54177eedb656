// Global functions: parseInt and parseFloat with Flash Player's reading of numbers, isNaN, isFinite,
// escape and unescape, the NaN and Infinity globals, and ASnative, which hands out the engine's
// numbered native functions.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "player/avm1/builtins/globals.h"
#include "player/avm1/builtins/loading.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/string_case.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

Value parseIntFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    std::string s = vm.toString(args[0]);
    if (args.size() < 2) return Value(parseInteger(s, 0));
    // A radix that is given but not 2..36 (undefined included) gives NaN.
    int radix = vm.toInt(args[1]);
    if (radix < 2 || radix > 36) return Value(kNaN);
    return Value(parseInteger(s, radix));
}

Value parseFloatFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    return Value(parseFloatPrefix(vm.toString(args[0])));
}

Value isNaNFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(std::isnan(args.empty() ? kNaN : argNumber(vm, args[0])));
}

Value isFiniteFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(std::isfinite(args.empty() ? kNaN : argNumber(vm, args[0])));
}

Value escapeFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    return Value(urlEscape(vm.toString(args[0])));
}

Value unescapeFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    return Value(urlUnescape(vm.toString(args[0])));
}

// ASnative(100, 4): trace as a function.
Value traceFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    Value v = arg(args, 0);
    vm.host.trace(v.isUndefined() ? std::string("undefined") : vm.toString(v));
    return Value();
}

// ASnative(100, 5): the escaping XML text uses.
Value xmlEscapeFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty()) return Value();
    return Value(xmlEscapeText(vm.toString(args[0])));
}

std::string thisString(Vm& vm, const Value& self) {
    if (Object* o = self.object(); o && o->kind() == Object::Kind::String) return vm.toString(o->primitive);
    return vm.toString(self);
}

// ASnative(102, 0 / 1): the case changes of Flash 5, which know only ASCII letters.
Value asciiUpper(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::string s = thisString(vm, self);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return Value(s);
}

Value asciiLower(Vm& vm, const Value& self, std::vector<Value>& args) {
    std::string s = thisString(vm, self);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return Value(s);
}

// A fresh function object that runs another function: ASnative makes a new one on every call.
class NativeAlias : public FunctionObject {
  public:
    NativeAlias(Object* proto, Value target) : FunctionObject(proto), target_(std::move(target)) {}
    Value call(Vm& vm, const Value& self, std::vector<Value>& args) override {
        return vm.call(target_, self, args);
    }
    Value construct(Vm& vm, std::vector<Value>& args) override { return vm.construct(target_, args); }
    void trace(std::vector<GcCell*>& out) const override {
        FunctionObject::trace(out);
        traceValue(target_, out);
    }

  private:
    Value target_;
};

struct NativeEntry {
    int table, index;
    const char* path;  // where the function lives, from the global object; null when `fn` is used
    NativeFn fn;
};

// The numbered natives movies reach through ASnative.
const NativeEntry kNatives[] = {
    // The engine's own functions, whatever a script has put in the globals of those names.
    {100, 0, nullptr, escapeFn},
    {100, 1, nullptr, unescapeFn},
    {100, 2, nullptr, parseIntFn},
    {100, 3, nullptr, parseFloatFn},
    {100, 4, nullptr, traceFn},
    {100, 5, nullptr, xmlEscapeFn},
    {101, 0, "Object.prototype.watch", nullptr},
    {101, 1, "Object.prototype.unwatch", nullptr},
    {101, 2, "Object.prototype.addProperty", nullptr},
    {101, 3, "Object.prototype.valueOf", nullptr},
    {101, 4, "Object.prototype.toString", nullptr},
    {101, 5, "Object.prototype.hasOwnProperty", nullptr},
    {101, 6, "Object.prototype.isPrototypeOf", nullptr},
    {101, 7, "Object.prototype.isPropertyEnumerable", nullptr},
    {101, 12, nullptr, broadcastMessage},
    {102, 0, nullptr, asciiUpper},
    {102, 1, nullptr, asciiLower},
    {106, 0, "Number.prototype.valueOf", nullptr},
    {106, 1, "Number.prototype.toString", nullptr},
    {106, 2, "Number", nullptr},
    {107, 0, "Boolean.prototype.valueOf", nullptr},
    {107, 1, "Boolean.prototype.toString", nullptr},
    {200, 0, "Math.abs", nullptr},
    {200, 1, "Math.min", nullptr},
    {200, 2, "Math.max", nullptr},
    {200, 3, "Math.sin", nullptr},
    {200, 4, "Math.cos", nullptr},
    {200, 5, "Math.atan2", nullptr},
    {200, 6, "Math.tan", nullptr},
    {200, 7, "Math.exp", nullptr},
    {200, 8, "Math.log", nullptr},
    {200, 9, "Math.sqrt", nullptr},
    {200, 10, "Math.round", nullptr},
    {200, 11, "Math.random", nullptr},
    {200, 12, "Math.floor", nullptr},
    {200, 13, "Math.ceil", nullptr},
    {200, 14, "Math.atan", nullptr},
    {200, 15, "Math.asin", nullptr},
    {200, 16, "Math.acos", nullptr},
    {200, 17, "Math.pow", nullptr},
    {252, 0, "Array", nullptr},
    {252, 1, "Array.prototype.push", nullptr},
    {252, 2, "Array.prototype.pop", nullptr},
    {252, 3, "Array.prototype.concat", nullptr},
    {252, 4, "Array.prototype.shift", nullptr},
    {252, 5, "Array.prototype.unshift", nullptr},
    {252, 6, "Array.prototype.slice", nullptr},
    {252, 7, "Array.prototype.join", nullptr},
    {252, 8, "Array.prototype.splice", nullptr},
    {252, 9, "Array.prototype.toString", nullptr},
    {252, 10, "Array.prototype.sort", nullptr},
    {252, 11, "Array.prototype.reverse", nullptr},
    {252, 12, "Array.prototype.sortOn", nullptr},
    {301, 0, nullptr, loadObjectLoad},
    {301, 1, nullptr, loadObjectSend},
    {301, 2, nullptr, loadObjectSendAndLoad},
    {301, 3, nullptr, loadObjectDecode},
    {5, 0, "Mouse.show", nullptr},
    {5, 1, "Mouse.hide", nullptr},
};

// ASnative(table, index). The originals of the classes made before the globals are kept at once; the
// others are looked up when a movie first asks and kept, so a script that replaces the public name
// still gets the engine's function.
class AsNativeFunction : public FunctionObject {
  public:
    AsNativeFunction(Object* proto, Object* cache) : FunctionObject(proto), cache_(cache) {}
    Value call(Vm& vm, const Value& self, std::vector<Value>& args) override {
        if (args.size() != 2 || std::isnan(vm.toNumber(args[0]))) return Value();
        int table = vm.toInt(args[0]), index = vm.toInt(args[1]);
        for (const NativeEntry& e : kNatives) {
            if (e.table != table || e.index != index) continue;
            Value target = resolve(vm, e);
            if (!target.object()) return Value();
            return Value(vm.make<NativeAlias>(vm.functionProto, target));
        }
        // An unknown number: a function that does nothing, as a movie probing for natives finds it.
        return Value(vm.newFunction([](Vm&, const Value&, std::vector<Value>&) { return Value(); }));
    }
    void trace(std::vector<GcCell*>& out) const override {
        FunctionObject::trace(out);
        out.push_back(cache_);
    }
    // Keeps the functions of the classes made so far, before any script can replace their public names.
    void resolveInstalled(Vm& vm) {
        for (const NativeEntry& e : kNatives)
            resolve(vm, e);
    }

  private:
    Value resolve(Vm& vm, const NativeEntry& e) {
        std::string key = std::to_string(e.table) + "," + std::to_string(e.index);
        Value cached;
        if (cache_->getOwn(vm, key, cache_, cached)) return cached;
        Value v;
        if (e.fn) {
            v = Value(vm.newFunction(e.fn));
        } else {
            v = Value(vm.global);
            std::string path = e.path;
            size_t i = 0;
            while (i <= path.size() && v.object()) {
                size_t dot = path.find('.', i);
                if (dot == std::string::npos) dot = path.size();
                v = v.object()->get(vm, path.substr(i, dot - i));
                i = dot + 1;
            }
        }
        if (!v.object()) return Value();
        cache_->define(vm, key, v, 0);
        return v;
    }
    Object* cache_;
};

}  // namespace

double parseInteger(const std::string& s, int radix) {
    if (radix != 0 && (radix < 2 || radix > 36)) return kNaN;
    size_t i = 0;
    auto at = [&](size_t k) { return k < s.size() ? s[k] : '\0'; };
    auto isX = [](char c) { return c == 'x' || c == 'X'; };
    // A hexadecimal prefix counts only at the very start. Behind a sign, Flash Player still skips two
    // characters, which leaves the reading on the "x".
    if (at(0) == '0' && isX(at(1))) {
        i = 2;
        if (radix == 0) radix = 16;
    } else if ((at(0) == '-' || at(0) == '+') && at(1) == '0' && isX(at(2))) {
        i = 2;
        if (radix == 0) radix = 16;
    } else if (radix == 0) {
        // A leading 0 (after an optional sign) makes the number octal when only octal digits follow.
        size_t j = at(0) == '-' || at(0) == '+' ? 1 : 0;
        bool octal = at(j) == '0';
        for (size_t k = j + 1; octal && k < s.size(); ++k)
            octal = s[k] >= '0' && s[k] <= '7';
        radix = octal ? 8 : 10;
    }
    while (i < s.size() && isSpace(s[i]))
        ++i;
    bool negative = false;
    if (at(i) == '-' || at(i) == '+') negative = s[i++] == '-';
    double n = 0;
    size_t digits = 0;
    for (; i < s.size(); ++i, ++digits) {
        int d = digitValue(s[i]);
        if (d >= radix) break;
        n = n * radix + d;
    }
    if (digits == 0) return kNaN;
    return negative ? -n : n;
}

double parseFloatPrefix(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && isSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    // Digits and points: the first point starts the fraction, later ones are passed over (and then an
    // exponent is not read). The fraction adds up digit by digit, as Flash Player does, which is why
    // parseFloat(".1499999") is 0.14999990000000005 there and here.
    double whole = 0, fraction = 0, scale = 1;
    size_t digits = 0, points = 0;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            if (points == 0) {
                whole = whole * 10 + (s[i] - '0');
            } else {
                scale /= 10;
                fraction += (s[i] - '0') * scale;
            }
            ++digits;
        } else if (s[i] == '.') {
            ++points;
        } else {
            break;
        }
    }
    if (digits == 0) return kNaN;
    double n = whole + fraction;
    if (points <= 1 && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s[j] == '-' || s[j] == '+')) negativeExponent = s[j++] == '-';
        // The exponent wraps as a 32-bit integer.
        uint32_t e = 0;
        size_t expDigits = 0;
        for (; j < s.size() && s[j] >= '0' && s[j] <= '9'; ++j, ++expDigits)
            e = e * 10 + uint32_t(s[j] - '0');
        if (expDigits > 0) {
            double exponent = double(int32_t(e));
            n *= std::pow(10.0, negativeExponent ? -exponent : exponent);
        }
    }
    return negative ? -n : n;
}

namespace {

// Decoded bytes that are not UTF-8, as Flash Player reads them.
std::string latin1Fallback(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80             ? 1
                     : (c & 0xE0) == 0xC0 ? 2
                     : (c & 0xF0) == 0xE0 ? 3
                     : (c & 0xF8) == 0xF0 ? 4
                                          : 0;
        bool valid = len > 0 && i + len <= s.size() && !(len > 1 && c < 0xC2);
        for (size_t k = 1; valid && k < len; ++k)
            valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (valid) {
            out.append(s, i, len);
            i += len;
        } else {
            // A lead byte without its sequence is dropped; a stray continuation byte is Latin-1.
            if (c < 0xC0) out += codeUnitToUtf8(c);
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string xmlEscapeText(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string urlEscape(const std::string& s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string urlUnescape(const std::string& s) {
    auto hexValue = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '+') {
            out += ' ';
        } else if (c != '%') {
            out += c;
        } else {
            // "%XY" with two hex digits is a byte; a broken sequence is dropped: "%" with the one
            // character after it, or with both when the first is a hex digit.
            if (i + 1 >= s.size()) break;
            int hi = hexValue(s[i + 1]);
            if (hi < 0) {
                ++i;
                continue;
            }
            if (i + 2 >= s.size()) break;
            int lo = hexValue(s[i + 2]);
            i += 2;
            if (lo < 0) continue;
            // "%00" ends the text, as the end of a C string does in Flash Player.
            if (hi == 0 && lo == 0) break;
            out += char(hi * 16 + lo);
        }
    }
    return latin1Fallback(out);
}

void installGlobals(Vm& vm) {
    Object* g = vm.global;
    g->define(vm, "parseInt", Value(vm.newFunction(parseIntFn)), kDontEnum);
    g->define(vm, "parseFloat", Value(vm.newFunction(parseFloatFn)), kDontEnum);
    g->define(vm, "isNaN", Value(vm.newFunction(isNaNFn)), kDontEnum);
    g->define(vm, "isFinite", Value(vm.newFunction(isFiniteFn)), kDontEnum);
    g->define(vm, "escape", Value(vm.newFunction(escapeFn)), kDontEnum);
    g->define(vm, "unescape", Value(vm.newFunction(unescapeFn)), kDontEnum);
    g->define(vm, "NaN", Value(kNaN), kDontEnum);
    g->define(vm, "Infinity", Value(std::numeric_limits<double>::infinity()), kDontEnum);
    auto* native = vm.make<AsNativeFunction>(vm.functionProto, vm.make<Object>(nullptr));
    native->resolveInstalled(vm);
    g->define(vm, "ASnative", Value(native), kDontEnum);
}

}  // namespace player::avm1
