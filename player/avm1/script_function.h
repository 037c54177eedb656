// Functions defined by movie code (DefineFunction, DefineFunction2): a body of decoded actions, the scope
// chain they closed over, the constant pool and timeline they were defined with.
#pragma once

#include <string>
#include <vector>

#include "player/avm1/vm.h"

namespace player::avm1 {

class ScriptFunction : public FunctionObject {
  public:
    ScriptFunction(Object* proto, ActionBlock body, Scope* scope, ClipObject* target)
        : FunctionObject(proto), body(body), scope(scope), target(target) {}
    Value call(Vm& vm, const Value& self, std::vector<Value>& args) override;
    void trace(std::vector<GcCell*>& out) const override;

    ActionBlock body;
    Scope* scope;
    ClipObject* target;
    std::string name;
    std::vector<std::string> pool;
    bool v2 = false;
    swf::ActionDefineFunction2 def2;
    std::vector<std::string> params;  // DefineFunction
};

// `super` inside a method: looks members up above `base` and calls them on `self`.
class SuperObject : public Object {
  public:
    SuperObject(Object* self, Object* base) : Object(nullptr, Kind::Super), self(self), base(base) {}
    bool getOwn(Vm& vm, const std::string& name, Object* self, Value& out) override;
    bool isCallable() const override { return true; }
    Value call(Vm& vm, const Value& self, std::vector<Value>& args) override;
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        if (self) out.push_back(self);
        if (base) out.push_back(base);
    }
    Object* self;
    Object* base;  // the prototype whose parent holds the members super reaches
};

}  // namespace player::avm1
