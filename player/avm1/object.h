// Script objects: properties with ActionScript's flags, prototype chains, getters and setters
// (addProperty), watchers, and callables. Every object is a cell of the interpreter's heap, found by
// tracing from the roots the Vm knows (global object, display list, stacks, timers) and freed between
// frames when nothing reaches it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "player/avm1/value.h"

namespace player::avm1 {

class Vm;
class ClipObject;

// ASSetPropFlags bits: hidden from for..in, not deletable, read-only, and the SWF versions that see a
// property at all (built-ins added in later players are invisible to older movies).
enum PropFlag : uint16_t {
    kDontEnum = 1,
    kDontDelete = 2,
    kReadOnly = 4,
    kVersion6Up = 0x80,
    kNotVersion6 = 0x100,
    kVersion7Up = 0x400,
    kVersion8Up = 0x1000,
    kVersion9Up = 0x2000,
};
constexpr uint16_t kVersionFlags = kVersion6Up | kNotVersion6 | kVersion7Up | kVersion8Up | kVersion9Up;
bool visibleInVersion(uint16_t flags, int version);

class GcCell {
  public:
    virtual ~GcCell() = default;
    // Pushes every cell this one refers to.
    virtual void trace(std::vector<GcCell*>& out) const {}
    bool marked = false;
};

void traceValue(const Value& v, std::vector<GcCell*>& out);

class Object : public GcCell {
  public:
    enum class Kind : uint8_t {
        Plain,
        Function,
        Array,
        Boolean,
        Number,
        String,
        Date,
        Clip,
        Arguments,
        Super,
        Xml,
        Other
    };
    explicit Object(Object* proto = nullptr, Kind kind = Kind::Plain)
        : proto_(proto), kind_(kind), protoOwn_(proto != nullptr) {}

    Kind kind() const { return kind_; }
    Object* proto() const { return proto_; }
    void setProto(Object* p) {
        proto_ = p;
        protoOwn_ = p != nullptr;
        protoPrimitive_.reset();
    }

    // [[Get]]: own property, then the prototype chain; getters run with `self` as this.
    Value get(Vm& vm, const std::string& name);
    Value getFrom(Vm& vm, const std::string& name, Object* self);
    // Looks only at this object (getters run); false when it has no such property.
    virtual bool getOwn(Vm& vm, const std::string& name, Object* self, Value& out);
    // [[Put]]: a setter found on the chain runs; read-only properties stay; watchers see the change.
    virtual void set(Vm& vm, const std::string& name, const Value& value);
    virtual bool hasOwn(Vm& vm, const std::string& name);
    bool has(Vm& vm, const std::string& name);
    virtual bool remove(Vm& vm, const std::string& name);
    // Enumerable own property names, oldest first.
    virtual void ownKeys(Vm& vm, std::vector<std::string>& out);

    // Stores a property without setters or watchers, with the given flags (the way built-ins are made).
    void define(Vm& vm, const std::string& name, const Value& value, uint16_t flags = kDontEnum);
    // Object.addProperty: a virtual property.
    void defineAccessor(Vm& vm, const std::string& name, Object* getter, Object* setter, uint16_t flags = 0);
    // ASSetPropFlags on one property (false when the object lacks it).
    bool changeFlags(Vm& vm, const std::string& name, uint16_t set, uint16_t clear);
    void changeAllFlags(uint16_t set, uint16_t clear);
    bool isEnumerable(Vm& vm, const std::string& name);
    // The flags of an own data or accessor property, whatever versions see it (false when missing).
    bool ownFlags(Vm& vm, const std::string& name, uint16_t& flags);
    // An own property's value (getters run) even when its version flags hide it from this movie; what
    // for..in lists can be read this way.
    bool getOwnAnyVersion(Vm& vm, const std::string& name, Value& out);
    bool watch(Vm& vm, const std::string& name, Object* callback, const Value& userData);
    bool unwatch(Vm& vm, const std::string& name);

    virtual bool isCallable() const { return false; }
    virtual Value call(Vm& vm, const Value& self, std::vector<Value>& args);
    // `new`: the object made and initialised by this constructor.
    virtual Value construct(Vm& vm, std::vector<Value>& args);
    virtual ClipObject* asClip() { return nullptr; }
    // typeof.
    virtual const char* typeOf() const { return "object"; }

    // Boxed value of Boolean, Number, String and Date objects.
    Value primitive;

    void trace(std::vector<GcCell*>& out) const override;

  protected:
    struct Property {
        std::string name;
        Value value;
        Object* getter = nullptr;
        Object* setter = nullptr;
        uint16_t flags = 0;
        bool accessor = false;
    };
    // The own property `name` as this movie's version sees it; `anyVersion` finds it even when its
    // version flags hide it (ASSetPropFlags, for..in and hasOwnProperty look past them).
    Property* findOwn(Vm& vm, const std::string& name, bool anyVersion = false);
    Property& insert(Vm& vm, const std::string& name);
    // Stores into an own data property, creating it when missing (no setters looked up).
    void putOwn(Vm& vm, const std::string& name, const Value& value);

    // Whether `name` is __proto__: an own property of every object that has a prototype (hidden and
    // permanent unless ASSetPropFlags says otherwise); deleting it cuts the chain.
    static bool isProtoName(Vm& vm, const std::string& name);

    Object* proto_;
    Kind kind_;
    bool protoOwn_;
    uint16_t protoFlags_ = kDontEnum | kDontDelete;
    // What a script stored in __proto__ when it was not an object (the chain then ends here).
    std::unique_ptr<Value> protoPrimitive_;
    std::vector<Property> props_;
    std::unordered_map<std::string, uint32_t> index_;
    struct Watcher {
        Object* callback;
        Value userData;
    };
    std::unordered_map<std::string, Watcher>* watchers_ = nullptr;

  public:
    ~Object() override { delete watchers_; }
    void setProtoValue(const Value& v);
};

// A function made by the engine.
using NativeFn = Value (*)(Vm& vm, const Value& self, std::vector<Value>& args);
// Makes the object `new` initialises (an array for Array, ...); null for a plain object.
using Allocator = Object* (*)(Vm& vm, Object* proto);

class FunctionObject : public Object {
  public:
    // A function's __proto__ is hidden from SWF 5 movies.
    explicit FunctionObject(Object* proto) : Object(proto, Kind::Function) { protoFlags_ |= kVersion6Up; }
    bool isCallable() const override { return true; }
    const char* typeOf() const override { return "function"; }
    Value construct(Vm& vm, std::vector<Value>& args) override;
    // Runs the body with `self` as this (construct calls it on the new object).
    Value call(Vm& vm, const Value& self, std::vector<Value>& args) override = 0;
    Allocator allocate = nullptr;
};

class NativeFunction : public FunctionObject {
  public:
    NativeFunction(Object* proto, NativeFn fn, NativeFn ctor = nullptr)
        : FunctionObject(proto), fn_(fn), ctor_(ctor) {}
    Value call(Vm& vm, const Value& self, std::vector<Value>& args) override { return fn_(vm, self, args); }
    Value construct(Vm& vm, std::vector<Value>& args) override;

  private:
    NativeFn fn_;
    NativeFn ctor_;  // when `new` differs from a plain call (Number, String, Boolean, Date)
};

// Array: elements kept densely; holes are undefined.
class ArrayObject : public Object {
  public:
    explicit ArrayObject(Object* proto) : Object(proto, Kind::Array) {}
    std::vector<Value> elements;

    bool getOwn(Vm& vm, const std::string& name, Object* self, Value& out) override;
    void set(Vm& vm, const std::string& name, const Value& value) override;
    bool hasOwn(Vm& vm, const std::string& name) override;
    bool remove(Vm& vm, const std::string& name) override;
    void ownKeys(Vm& vm, std::vector<std::string>& out) override;
    void trace(std::vector<GcCell*>& out) const override;

    static constexpr size_t kMaxLength = 1u << 24;
};

// "123" -> 123; false for anything that is not a canonical array index.
bool arrayIndex(const std::string& name, uint32_t& index);

}  // namespace player::avm1
