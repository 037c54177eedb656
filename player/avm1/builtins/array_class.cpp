// Array: the constructor (also called as a function), the sort flags on it, and the methods of
// Array.prototype. The methods are generic: on an object that is not an array they work through its
// "length" and numbered properties, as movies that borrow them (Array.prototype.push.call(o, ...)) expect.
//
// sort and sortOn run the quicksort Flash Player uses (first element as pivot, both scans restarting
// at the elements just swapped, left part before right part), so a compare function is called in the
// same order, and elements that compare equal end in the same places, as in Flash. DESCENDING sorts
// ascending and then reverses, as Flash does.
#include <algorithm>
#include <cmath>

#include "player/avm1/builtins/array_support.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/native_depth.h"
#include "player/avm1/builtins/string_value.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

ArrayObject* asArray(const Value& v) {
    Object* o = v.object();
    return o && o->kind() == Object::Kind::Array ? dynamic_cast<ArrayObject*>(o) : nullptr;
}

size_t clampLength(double n) {
    if (!(n > 0)) return 0;
    return size_t(std::min(n, double(ArrayObject::kMaxLength)));
}

size_t lengthOf(Vm& vm, Object* o) {
    if (auto* a = asArray(Value(o))) return a->elements.size();
    return clampLength(vm.toNumber(o->get(vm, "length")));
}

// The elements of an array, or of an object used as one: there only its own numbered properties count,
// not those its prototype has (Flash Player reads them so).
std::vector<Value> readElements(Vm& vm, Object* o) {
    if (auto* a = asArray(Value(o))) return a->elements;
    size_t n = lengthOf(vm, o);
    std::vector<Value> out(n);
    for (size_t i = 0; i < n; ++i) {
        std::string key = std::to_string(i);
        if (o->hasOwn(vm, key)) o->getOwn(vm, key, o, out[i]);
    }
    return out;
}

// Stores `elements` back into an array or array-like object whose length was `oldLength`.
void writeElements(Vm& vm, Object* o, std::vector<Value> elements, size_t oldLength) {
    if (auto* a = asArray(Value(o))) {
        a->elements = std::move(elements);
        return;
    }
    for (size_t i = 0; i < elements.size(); ++i)
        o->set(vm, std::to_string(i), elements[i]);
    for (size_t i = elements.size(); i < oldLength; ++i)
        o->remove(vm, std::to_string(i));
    o->set(vm, "length", Value(double(elements.size())));
}

// A relative position (negative counts from the end) clamped to 0..length, as slice and splice take it.
size_t relativeIndex(Vm& vm, const Value& v, size_t length) {
    double n = vm.toNumber(v);
    if (std::isnan(n)) return 0;
    n = std::trunc(n);
    if (n < 0) n = std::max(0.0, double(length) + n);
    return size_t(std::min(n, double(length)));
}

std::string joinElements(Vm& vm, Object* o, const std::string& sep) {
    // An array that contains itself: the nested copy reads as empty.
    if (vm.callDepth >= vm.maxCallDepth - 1) return std::string();
    NativeDepth depth(vm);
    std::vector<Value> elements = readElements(vm, o);
    std::string out;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i) out += sep;
        out += stringArg(vm, elements[i]);
    }
    return out;
}

Value makeArray(Vm& vm, ArrayObject* into, std::vector<Value>& args) {
    ArrayObject* a = into ? into : newScriptArray(vm);
    if (args.size() == 1 && args[0].isNumber()) {
        // new Array(n): n empty slots; a length that is not a count makes an empty array.
        double n = args[0].number();
        a->elements.assign(n > 0 && n < double(ArrayObject::kMaxLength) ? size_t(n) : 0, Value());
    } else {
        a->elements = args;
    }
    return Value(a);
}

Value arrayCall(Vm& vm, const Value& self, std::vector<Value>& args) {
    return makeArray(vm, nullptr, args);
}

Value arrayConstruct(Vm& vm, const Value& self, std::vector<Value>& args) {
    return makeArray(vm, asArray(self), args);
}

Object* allocateArray(Vm& vm, Object* proto) {
    return vm.make<ArrayObject>(proto);
}

Value push(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    if (auto* a = asArray(self)) {
        for (const Value& v : args)
            if (a->elements.size() < ArrayObject::kMaxLength) a->elements.push_back(v);
        return Value(double(a->elements.size()));
    }
    size_t n = lengthOf(vm, o);
    for (const Value& v : args)
        o->set(vm, std::to_string(n++), v);
    o->set(vm, "length", Value(double(n)));
    return Value(double(n));
}

Value pop(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    if (auto* a = asArray(self)) {
        if (a->elements.empty()) return Value();
        Value last = a->elements.back();
        a->elements.pop_back();
        return last;
    }
    size_t n = lengthOf(vm, o);
    if (n == 0) return Value();
    std::string key = std::to_string(n - 1);
    Value last = o->get(vm, key);
    o->remove(vm, key);
    o->set(vm, "length", Value(double(n - 1)));
    return last;
}

Value shift(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    std::vector<Value> elements = readElements(vm, o);
    if (elements.empty()) return Value();
    size_t oldLength = elements.size();
    Value first = elements.front();
    elements.erase(elements.begin());
    writeElements(vm, o, std::move(elements), oldLength);
    return first;
}

Value unshift(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    std::vector<Value> elements = readElements(vm, o);
    size_t oldLength = elements.size();
    size_t room = ArrayObject::kMaxLength - std::min(oldLength, ArrayObject::kMaxLength);
    elements.insert(elements.begin(), args.begin(), args.begin() + std::min(args.size(), room));
    size_t n = elements.size();
    writeElements(vm, o, std::move(elements), oldLength);
    return Value(double(n));
}

Value splice(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    // splice() and a start or count given as undefined change nothing.
    if (!o || args.empty() || args[0].isUndefined() || (args.size() > 1 && args[1].isUndefined()))
        return Value();
    std::vector<Value> elements = readElements(vm, o);
    size_t length = elements.size();
    size_t start = relativeIndex(vm, args[0], length);
    size_t count = length - start;
    if (args.size() > 1) {
        // A negative count changes nothing either.
        int32_t n = vm.toInt(args[1]);
        if (n < 0) return Value();
        count = std::min(size_t(n), length - start);
    }
    std::vector<Value> removed(elements.begin() + std::ptrdiff_t(start),
                               elements.begin() + std::ptrdiff_t(start + count));
    elements.erase(elements.begin() + std::ptrdiff_t(start),
                   elements.begin() + std::ptrdiff_t(start + count));
    if (args.size() > 2) {
        size_t room = ArrayObject::kMaxLength - std::min(elements.size(), ArrayObject::kMaxLength);
        size_t add = std::min(args.size() - 2, room);
        elements.insert(elements.begin() + std::ptrdiff_t(start), args.begin() + 2,
                        args.begin() + 2 + std::ptrdiff_t(add));
    }
    writeElements(vm, o, std::move(elements), length);
    return Value(newScriptArray(vm, std::move(removed)));
}

Value slice(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    std::vector<Value> elements = readElements(vm, o);
    size_t length = elements.size();
    size_t start = relativeIndex(vm, arg(args, 0), length);
    size_t end = args.size() > 1 && !args[1].isUndefined() ? relativeIndex(vm, args[1], length) : length;
    if (end < start) end = start;
    return Value(newScriptArray(vm, std::vector<Value>(elements.begin() + std::ptrdiff_t(start),
                                                       elements.begin() + std::ptrdiff_t(end))));
}

Value concat(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    std::vector<Value> out = readElements(vm, o);
    for (const Value& v : args) {
        if (ArrayObject* a = asArray(v)) {
            out.insert(out.end(), a->elements.begin(), a->elements.end());
        } else {
            out.push_back(v);
        }
        if (out.size() > ArrayObject::kMaxLength) out.resize(ArrayObject::kMaxLength);
    }
    return Value(newScriptArray(vm, std::move(out)));
}

Value join(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    // Only a missing separator is ","; an undefined one reads as the version's text for undefined.
    std::string sep = args.empty() ? std::string(",") : vm.toString(args[0]);
    return Value(joinElements(vm, o, sep));
}

Value arrayToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    return Value(joinElements(vm, o, ","));
}

Value reverse(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    std::vector<Value> elements = readElements(vm, o);
    size_t length = elements.size();
    std::reverse(elements.begin(), elements.end());
    writeElements(vm, o, std::move(elements), length);
    return self;
}

// Runs a sort over `elements` and applies the result flags: the array sorted in place, the sorted
// indices (RETURNINDEXEDARRAY), or 0 when UNIQUESORT finds two neighbours whose `uniqueKeys` read the
// same (the array is then left as it was).
Value finishSort(Vm& vm, Object* o, std::vector<Value>& elements, int flags, const SortCompare& compare,
                 const std::vector<Value>& uniqueKeys) {
    NativeDepth depth(vm);
    std::vector<size_t> order(elements.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    flashQuicksort(vm, order, [&](size_t a, size_t b) { return compare(elements[a], elements[b]); });
    if ((flags & kSortUnique) && hasEqualNeighbours(vm, uniqueKeys, order)) return Value(0);
    if (flags & kSortDescending) std::reverse(order.begin(), order.end());
    if (flags & kSortReturnIndexedArray) {
        std::vector<Value> indices;
        indices.reserve(order.size());
        for (size_t i : order)
            indices.push_back(Value(double(i)));
        return Value(newScriptArray(vm, std::move(indices)));
    }
    std::vector<Value> sorted;
    sorted.reserve(order.size());
    for (size_t i : order)
        sorted.push_back(elements[i]);
    writeElements(vm, o, std::move(sorted), elements.size());
    return Value(o);
}

Value sort(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o) return Value();
    Value fn;
    int flags = 0;
    size_t next = 0;
    if (Object* f = arg(args, 0).object(); f && f->isCallable()) {
        fn = args[0];
        next = 1;
    }
    // Options are read from a primitive only (the number 8 or the string "8", not an object).
    if (next < args.size() && !args[next].isObject()) flags = vm.toInt(args[next]);
    std::vector<Value> elements = readElements(vm, o);
    if (fn.isObject()) {
        return finishSort(
            vm, o, elements, flags,
            [&](const Value& a, const Value& b) {
                std::vector<Value> callArgs{a, b};
                double r = vm.toNumber(vm.call(fn, Value(), callArgs));
                return r > 0 ? 1 : r < 0 ? -1 : 0;
            },
            elements);
    }
    return finishSort(
        vm, o, elements, flags,
        [&](const Value& a, const Value& b) { return compareSortValues(vm, a, b, flags); }, elements);
}

Value sortOn(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = vm.toObject(self);
    if (!o || args.empty()) return Value();
    std::vector<std::string> fields;
    if (ArrayObject* names = asArray(args[0])) {
        for (const Value& v : names->elements)
            fields.push_back(vm.toString(v));
    } else {
        fields.push_back(vm.toString(args[0]));
    }
    if (fields.empty()) return Value(o);
    // Flags: one number for every field, or an array of one number per field.
    std::vector<int> fieldFlags(fields.size(), 0);
    int flags = 0;
    if (ArrayObject* list = asArray(arg(args, 1))) {
        if (list->elements.size() == fields.size())
            for (size_t i = 0; i < fields.size(); ++i)
                fieldFlags[i] = vm.toInt(list->elements[i]);
        // The result flags come from the first field's flags.
        flags = fieldFlags[0];
    } else if (args.size() > 1 && !args[1].isObject()) {
        flags = vm.toInt(args[1]);
        std::fill(fieldFlags.begin(), fieldFlags.end(), flags);
    }
    std::vector<Value> elements = readElements(vm, o);
    auto field = [&](const Value& v, const std::string& name) {
        Object* e = v.object();
        return e ? e->get(vm, name) : Value();
    };
    std::vector<Value> firstField;
    firstField.reserve(elements.size());
    for (const Value& e : elements)
        firstField.push_back(field(e, fields[0]));
    return finishSort(
        vm, o, elements, flags & ~kSortDescending,
        [&](const Value& a, const Value& b) {
            for (size_t i = 0; i < fields.size(); ++i) {
                int c = compareSortValues(vm, field(a, fields[i]), field(b, fields[i]), fieldFlags[i]);
                if (fieldFlags[i] & kSortDescending) c = -c;
                if (c != 0) return c;
            }
            return 0;
        },
        firstField);
}

}  // namespace

void installArray(Vm& vm) {
    Object* proto = vm.newObject();
    vm.arrayProto = proto;
    NativeFunction* ctor = vm.newClass(arrayCall, proto, arrayConstruct);
    ctor->allocate = allocateArray;
    ctor->define(vm, "CASEINSENSITIVE", Value(kSortCaseInsensitive), 0);
    ctor->define(vm, "DESCENDING", Value(kSortDescending), 0);
    ctor->define(vm, "UNIQUESORT", Value(kSortUnique), 0);
    ctor->define(vm, "RETURNINDEXEDARRAY", Value(kSortReturnIndexedArray), 0);
    ctor->define(vm, "NUMERIC", Value(kSortNumeric), 0);
    vm.method(proto, "push", push);
    vm.method(proto, "pop", pop);
    vm.method(proto, "shift", shift);
    vm.method(proto, "unshift", unshift);
    vm.method(proto, "splice", splice);
    vm.method(proto, "slice", slice);
    vm.method(proto, "concat", concat);
    vm.method(proto, "join", join);
    vm.method(proto, "reverse", reverse);
    vm.method(proto, "toString", arrayToString);
    vm.method(proto, "sort", sort);
    vm.method(proto, "sortOn", sortOn);
    vm.global->define(vm, "Array", Value(ctor), kDontEnum);
}

}  // namespace player::avm1
