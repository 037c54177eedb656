// Built-in classes not written yet: each moves to a file of its own under builtins/ when it is.
#include "player/avm1/vm.h"

namespace player::avm1 {

void installArray(Vm& vm) {
    vm.arrayProto = vm.newObject();
}
void installString(Vm& vm) {
    vm.stringProto = vm.newObject();
}
void installNumberBoolean(Vm& vm) {
    vm.numberProto = vm.newObject();
    vm.booleanProto = vm.newObject();
}
void installMath(Vm& vm) {}
void installError(Vm& vm) {}
void installGlobals(Vm& vm) {}
void installDate(Vm& vm) {
    vm.dateProto = vm.newObject();
}
void installXml(Vm& vm) {}
void installLoadVars(Vm& vm) {}
void installSharedObject(Vm& vm) {}
void installInput(Vm& vm) {}
void installStage(Vm& vm) {}
void installColor(Vm& vm) {}
void installGeom(Vm& vm) {}
void installTimers(Vm& vm) {}
void Vm::runTimers() {}

}  // namespace player::avm1
