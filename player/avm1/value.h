// ActionScript 1/2 values: undefined, null, booleans, numbers, strings and references to script objects.
// Objects are owned by the interpreter's heap (a tracing collector); a Value only points at them.
#pragma once

#include <cstdint>
#include <string>

namespace player::avm1 {

class Object;

class Value {
  public:
    enum class Type : uint8_t { Undefined, Null, Boolean, Number, String, Object };

    Value() = default;
    Value(bool b) : type_(Type::Boolean), b_(b) {}
    Value(double n) : type_(Type::Number), n_(n) {}
    Value(int n) : type_(Type::Number), n_(n) {}
    Value(std::string s) : type_(Type::String), s_(std::move(s)) {}
    Value(const char* s) : type_(Type::String), s_(s) {}
    // A null pointer is the null value.
    Value(Object* o) : type_(o ? Type::Object : Type::Null), o_(o) {}
    static Value null() {
        Value v;
        v.type_ = Type::Null;
        return v;
    }

    Type type() const { return type_; }
    bool isUndefined() const { return type_ == Type::Undefined; }
    bool isNull() const { return type_ == Type::Null; }
    bool isNullish() const { return type_ == Type::Undefined || type_ == Type::Null; }
    bool isBoolean() const { return type_ == Type::Boolean; }
    bool isNumber() const { return type_ == Type::Number; }
    bool isString() const { return type_ == Type::String; }
    bool isObject() const { return type_ == Type::Object; }

    bool boolean() const { return b_; }
    double number() const { return n_; }
    const std::string& string() const { return s_; }
    Object* object() const { return type_ == Type::Object ? o_ : nullptr; }

  private:
    Type type_ = Type::Undefined;
    bool b_ = false;
    double n_ = 0;
    std::string s_;
    Object* o_ = nullptr;
};

// Number to string as Flash Player prints it: integers plainly, otherwise 15 significant digits, exponent
// form ("1.5e+21", "1e-7") when the decimal exponent is below -5 or 15 and above.
std::string numberToString(double n);
// Number to string in a radix 2..36 (Number.prototype.toString(radix)); integral part as a signed int.
std::string numberToRadix(double n, int radix);
// String to number as ActionScript's ToNumber reads it: optional white space and sign, decimal with
// fraction and exponent, or 0x hexadecimal; anything else is NaN. `swfVersion` picks the old rules.
double stringToNumber(const std::string& s, int swfVersion);
// A number truncated to a whole number within [lo, hi]; NaN gives `nanValue`. Casting a double that does not
// fit straight to an integer type is undefined behaviour, so every such cast goes through here.
inline int64_t clampToInt(double n, int64_t lo, int64_t hi, int64_t nanValue = 0) {
    if (n != n) return nanValue;
    if (n <= double(lo)) return lo;
    if (n >= double(hi)) return hi;
    return int64_t(n);
}

// ECMA-262 ToInt32 / ToUint32.
int32_t toInt32(double n);
uint32_t toUint32(double n);

// UTF-8 helpers for the string methods, which count UTF-16 units as Flash does.
std::u16string toUtf16(const std::string& s);
std::string toUtf8(const std::u16string& s);
std::string codeUnitToUtf8(uint32_t unit);

}  // namespace player::avm1
