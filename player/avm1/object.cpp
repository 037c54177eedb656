#include "player/avm1/object.h"

#include "player/avm1/vm.h"

namespace player::avm1 {

void traceValue(const Value& v, std::vector<GcCell*>& out) {
    if (Object* o = v.object()) out.push_back(o);
}

void Object::trace(std::vector<GcCell*>& out) const {
    if (proto_) out.push_back(proto_);
    traceValue(primitive, out);
    for (const Property& p : props_) {
        traceValue(p.value, out);
        if (p.getter) out.push_back(p.getter);
        if (p.setter) out.push_back(p.setter);
    }
    if (watchers_)
        for (const auto& [k, w] : *watchers_) {
            if (w.callback) out.push_back(w.callback);
            traceValue(w.userData, out);
        }
}

bool visibleInVersion(uint16_t flags, int version) {
    if (!(flags & kVersionFlags)) return true;
    if ((flags & kVersion6Up) && version < 6) return false;
    if ((flags & kNotVersion6) && version == 6) return false;
    if ((flags & kVersion7Up) && version < 7) return false;
    if ((flags & kVersion8Up) && version < 8) return false;
    if ((flags & kVersion9Up) && version < 9) return false;
    return true;
}

void Object::setProtoValue(const Value& v) {
    proto_ = v.object();
    protoOwn_ = true;
    if (v.isObject())
        protoPrimitive_.reset();
    else
        protoPrimitive_ = std::make_unique<Value>(v);
}

bool Object::isProtoName(Vm& vm, const std::string& name) {
    if (name.size() != 9 || name[0] != '_') return false;
    return name == "__proto__" || vm.key(name) == "__proto__";
}

Object::Property* Object::findOwn(Vm& vm, const std::string& name) {
    if (props_.empty()) return nullptr;
    auto it = index_.find(vm.key(name));
    if (it == index_.end()) return nullptr;
    Property* p = &props_[it->second];
    return visibleInVersion(p->flags, vm.version) ? p : nullptr;
}

Object::Property& Object::insert(Vm& vm, const std::string& name) {
    index_[vm.key(name)] = static_cast<uint32_t>(props_.size());
    props_.push_back(Property{name, Value(), nullptr, nullptr, 0, false});
    return props_.back();
}

void Object::putOwn(Vm& vm, const std::string& name, const Value& value) {
    Property* p = findOwn(vm, name);
    if (!p) p = &insert(vm, name);
    p->value = value;
}

Value Object::get(Vm& vm, const std::string& name) {
    return getFrom(vm, name, this);
}

Value Object::getFrom(Vm& vm, const std::string& name, Object* self) {
    if (isProtoName(vm, name)) {
        if (!protoOwn_) return Value();
        return protoPrimitive_ ? *protoPrimitive_ : proto_ ? Value(proto_) : Value::null();
    }
    Object* o = this;
    for (int depth = 0; o; ++depth) {
        // Flash Player gives up on a script that looks further than 256 prototypes up.
        if (depth > 256) throw ScriptAbort{"a prototype chain longer than 256 objects"};
        Value out;
        if (o->getOwn(vm, name, self, out)) return out;
        o = o->proto_;
    }
    return Value();
}

bool Object::getOwn(Vm& vm, const std::string& name, Object* self, Value& out) {
    Property* p = findOwn(vm, name);
    if (!p) return false;
    if (p->accessor) {
        if (!p->getter) {
            out = Value();
            return true;
        }
        if (!vm.callAccessor(p->getter, self, nullptr, out)) out = p->value;
        return true;
    }
    out = p->value;
    return true;
}

void Object::set(Vm& vm, const std::string& name, const Value& value) {
    if (isProtoName(vm, name)) {
        if (protoOwn_ && (protoFlags_ & kReadOnly)) return;
        setProtoValue(value);
        return;
    }
    Value stored = value;
    if (watchers_) {
        auto it = watchers_->find(vm.key(name));
        if (it != watchers_->end() && it->second.callback) {
            Watcher w = it->second;
            std::vector<Value> args{Value(name), get(vm, name), value, w.userData};
            stored = vm.call(Value(w.callback), Value(this), args);
        }
    }
    if (Property* p = findOwn(vm, name)) {
        if (p->accessor) {
            Value ignored;
            if (p->setter && !vm.callAccessor(p->setter, this, &stored, ignored)) p->value = stored;
            return;
        }
        if (p->flags & kReadOnly) return;
        p->value = stored;
        return;
    }
    // A setter on the prototype chain takes the value for this object.
    Object* o = proto_;
    for (int depth = 1; o; ++depth, o = o->proto_) {
        if (depth > 256) throw ScriptAbort{"a prototype chain longer than 256 objects"};
        Property* p = o->findOwn(vm, name);
        if (p && p->accessor) {
            Value ignored;
            if (p->setter && !vm.callAccessor(p->setter, this, &stored, ignored)) p->value = stored;
            return;
        }
    }
    insert(vm, name).value = stored;
}

bool Object::hasOwn(Vm& vm, const std::string& name) {
    if (isProtoName(vm, name)) return protoOwn_;
    return findOwn(vm, name) != nullptr;
}

bool Object::has(Vm& vm, const std::string& name) {
    Object* o = this;
    for (int depth = 0; o; ++depth, o = o->proto_) {
        if (depth > 256) throw ScriptAbort{"a prototype chain longer than 256 objects"};
        if (o->hasOwn(vm, name)) return true;
    }
    return false;
}

bool Object::remove(Vm& vm, const std::string& name) {
    if (isProtoName(vm, name)) {
        if (!protoOwn_ || (protoFlags_ & kDontDelete)) return false;
        protoOwn_ = false;
        proto_ = nullptr;
        protoPrimitive_.reset();
        return true;
    }
    auto it = index_.find(vm.key(name));
    if (it == index_.end()) return false;
    uint32_t i = it->second;
    if (props_[i].flags & kDontDelete) return false;
    props_.erase(props_.begin() + i);
    index_.erase(it);
    for (auto& [k, idx] : index_)
        if (idx > i) --idx;
    return true;
}

void Object::ownKeys(Vm& vm, std::vector<std::string>& out) {
    if (protoOwn_ && !(protoFlags_ & kDontEnum)) out.push_back("__proto__");
    for (const Property& p : props_)
        if (!(p.flags & kDontEnum) && visibleInVersion(p.flags, vm.version)) out.push_back(p.name);
}

void Object::define(Vm& vm, const std::string& name, const Value& value, uint16_t flags) {
    Property* p = findOwn(vm, name);
    if (!p) p = &insert(vm, name);
    p->value = value;
    p->flags = flags;
    p->accessor = false;
    p->getter = p->setter = nullptr;
}

void Object::defineAccessor(Vm& vm, const std::string& name, Object* getter, Object* setter, uint16_t flags) {
    Property* p = findOwn(vm, name);
    if (!p) p = &insert(vm, name);
    p->value = Value();
    p->accessor = true;
    p->getter = getter;
    p->setter = setter;
    p->flags = flags;
}

bool Object::changeFlags(Vm& vm, const std::string& name, uint16_t set, uint16_t clear) {
    if (isProtoName(vm, name)) {
        if (!protoOwn_) return false;
        protoFlags_ = uint16_t((protoFlags_ & ~clear) | set);
        return true;
    }
    Property* p = findOwn(vm, name);
    if (!p) return false;
    p->flags = uint16_t((p->flags & ~clear) | set);
    return true;
}

void Object::changeAllFlags(uint16_t set, uint16_t clear) {
    protoFlags_ = uint16_t((protoFlags_ & ~clear) | set);
    for (Property& p : props_)
        p.flags = uint16_t((p.flags & ~clear) | set);
}

bool Object::isEnumerable(Vm& vm, const std::string& name) {
    if (isProtoName(vm, name)) return protoOwn_ && !(protoFlags_ & kDontEnum);
    // Asked directly, a property hidden from this version still answers.
    auto it = index_.find(vm.key(name));
    if (it == index_.end()) return false;
    return !(props_[it->second].flags & kDontEnum);
}

bool Object::watch(Vm& vm, const std::string& name, Object* callback, const Value& userData) {
    if (!callback || !callback->isCallable()) return false;
    if (!watchers_) watchers_ = new std::unordered_map<std::string, Watcher>();
    (*watchers_)[vm.key(name)] = Watcher{callback, userData};
    return true;
}

bool Object::unwatch(Vm& vm, const std::string& name) {
    return watchers_ && watchers_->erase(vm.key(name)) > 0;
}

Value Object::call(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value Object::construct(Vm& vm, std::vector<Value>& args) {
    return Value();
}

Value FunctionObject::construct(Vm& vm, std::vector<Value>& args) {
    Object* proto = get(vm, "prototype").object();
    Object* obj = allocate ? allocate(vm, proto) : vm.make<Object>(proto);
    obj->define(vm, "__constructor__", Value(this), kDontEnum);
    if (vm.version < 7) obj->define(vm, "constructor", Value(this), kDontEnum);
    Value r = call(vm, Value(obj), args);
    if (r.isObject() && !allocate) return r;
    return Value(obj);
}

Value NativeFunction::construct(Vm& vm, std::vector<Value>& args) {
    if (!ctor_) return FunctionObject::construct(vm, args);
    Object* proto = get(vm, "prototype").object();
    Object* obj = allocate ? allocate(vm, proto) : vm.make<Object>(proto);
    obj->define(vm, "__constructor__", Value(this), kDontEnum);
    if (vm.version < 7) obj->define(vm, "constructor", Value(this), kDontEnum);
    Value r = ctor_(vm, Value(obj), args);
    return r.isObject() ? r : Value(obj);
}

bool arrayIndex(const std::string& name, uint32_t& index) {
    if (name.empty() || name.size() > 10) return false;
    if (name.size() > 1 && name[0] == '0') return false;
    uint64_t v = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v >= 0xFFFFFFFFull) return false;
    index = uint32_t(v);
    return true;
}

bool ArrayObject::getOwn(Vm& vm, const std::string& name, Object* self, Value& out) {
    uint32_t i;
    if (arrayIndex(name, i)) {
        if (i < elements.size()) {
            out = elements[i];
            return true;
        }
        return Object::getOwn(vm, name, self, out);
    }
    if (name == "length") {
        out = Value(double(elements.size()));
        return true;
    }
    return Object::getOwn(vm, name, self, out);
}

void ArrayObject::set(Vm& vm, const std::string& name, const Value& value) {
    uint32_t i;
    if (arrayIndex(name, i)) {
        if (i < elements.size()) {
            elements[i] = value;
            return;
        }
        if (i < kMaxLength) {
            elements.resize(size_t(i) + 1);
            elements[i] = value;
            return;
        }
    } else if (name == "length") {
        double n = vm.toNumber(value);
        if (n >= 0 && n < double(kMaxLength)) elements.resize(size_t(n));
        return;
    }
    Object::set(vm, name, value);
}

bool ArrayObject::hasOwn(Vm& vm, const std::string& name) {
    uint32_t i;
    if (arrayIndex(name, i) && i < elements.size()) return true;
    if (name == "length") return true;
    return Object::hasOwn(vm, name);
}

bool ArrayObject::remove(Vm& vm, const std::string& name) {
    uint32_t i;
    if (arrayIndex(name, i) && i < elements.size()) {
        elements[i] = Value();
        return true;
    }
    return Object::remove(vm, name);
}

void ArrayObject::ownKeys(Vm& vm, std::vector<std::string>& out) {
    for (size_t i = 0; i < elements.size(); ++i)
        out.push_back(std::to_string(i));
    Object::ownKeys(vm, out);
}

void ArrayObject::trace(std::vector<GcCell*>& out) const {
    Object::trace(out);
    for (const Value& v : elements)
        traceValue(v, out);
}

}  // namespace player::avm1
