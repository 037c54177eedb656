// Stage, System and System.capabilities. The stage is the movie's own rectangle: the converter renders
// the whole movie at the size it asks for, so Stage.width and height are the movie's, scaleMode and align
// are remembered and reported, and the "screen" System.capabilities describes is the stage. The values
// describe this player honestly: Linux, no camera, no microphone, no printer, no network.
#include <cmath>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"

namespace player::avm1 {

namespace {

// The player's version string as System.capabilities.version and $version report it.
const char* const kPlayerVersion = "LNX 8,0,0,0";

// The stage object keeps the settings scripts make.
class StageObject : public Object {
  public:
    explicit StageObject(Object* proto) : Object(proto) {}
    std::string scaleMode = "showAll";
    std::string align;
    bool showMenu = true;
    std::string displayState = "normal";
};

StageObject* stageOf(const Value& self) {
    return dynamic_cast<StageObject*>(self.object());
}

// Size of the stage in pixels: the first movie's frame rectangle.
void stageSize(Vm& vm, double& width, double& height) {
    width = height = 0;
    ClipObject* root = vm.host.level(0);
    MovieClip* clip = root ? root->clip() : nullptr;
    if (!clip || !clip->movie()) return;
    const MovieInfo& info = clip->movie()->info();
    width = std::floor(info.widthTwips / 20.0);
    height = std::floor(info.heightTwips / 20.0);
}

Value getWidth(Vm& vm, const Value& self, std::vector<Value>& args) {
    double w, h;
    stageSize(vm, w, h);
    return Value(w);
}

Value getHeight(Vm& vm, const Value& self, std::vector<Value>& args) {
    double w, h;
    stageSize(vm, w, h);
    return Value(h);
}

Value getScaleMode(Vm& vm, const Value& self, std::vector<Value>& args) {
    StageObject* s = stageOf(self);
    return s ? Value(s->scaleMode) : Value();
}

bool equalsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

Value setScaleMode(Vm& vm, const Value& self, std::vector<Value>& args) {
    StageObject* s = stageOf(self);
    if (!s) return Value();
    std::string mode = vm.toString(arg(args, 0));
    for (const char* known : {"showAll", "noBorder", "exactFit", "noScale"})
        if (equalsNoCase(mode, known)) s->scaleMode = known;
    return Value();
}

Value getAlign(Vm& vm, const Value& self, std::vector<Value>& args) {
    StageObject* s = stageOf(self);
    return s ? Value(s->align) : Value();
}

// Any of the letters L, T, R, B in any case and order; kept in the order LTRB.
Value setAlign(Vm& vm, const Value& self, std::vector<Value>& args) {
    StageObject* s = stageOf(self);
    if (!s) return Value();
    std::string given = vm.toString(arg(args, 0));
    s->align.clear();
    for (char letter : {'L', 'T', 'R', 'B'})
        for (char c : given)
            if (std::toupper(static_cast<unsigned char>(c)) == letter) {
                s->align += letter;
                break;
            }
    return Value();
}

Value getShowMenu(Vm& vm, const Value& self, std::vector<Value>& args) {
    StageObject* s = stageOf(self);
    return s ? Value(s->showMenu) : Value();
}

Value setShowMenu(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (StageObject* s = stageOf(self)) s->showMenu = vm.toBoolean(arg(args, 0));
    return Value();
}

Value getDisplayState(Vm& vm, const Value& self, std::vector<Value>& args) {
    StageObject* s = stageOf(self);
    return s ? Value(s->displayState) : Value();
}

// The movie may ask for full screen ("fullScreen" or "normal", in any case). The picture the converter
// makes keeps its size; the movie is told of the change as Flash Player tells it (onFullScreen to the
// stage's listeners).
Value setDisplayState(Vm& vm, const Value& self, std::vector<Value>& args) {
    StageObject* s = stageOf(self);
    if (!s) return Value();
    std::string state = vm.toString(arg(args, 0));
    const char* next = equalsNoCase(state, "fullScreen") ? "fullScreen"
                       : equalsNoCase(state, "normal")   ? "normal"
                                                         : nullptr;
    if (!next || s->displayState == next) return Value();
    s->displayState = next;
    std::vector<Value> message{Value("onFullScreen"), Value(s->displayState == "fullScreen")};
    vm.callMethod(self, "broadcastMessage", message);
    return Value();
}

Value nothing(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value returnsFalse(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(false);
}

Value unknownMode(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value("UNKNOWN");
}

Value setClipboard(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value serverString(Vm& vm, const Value& self, std::vector<Value>& args) {
    double w, h;
    stageSize(vm, w, h);
    return Value(
        "A=t&SA=t&SV=f&EV=f&MP3=t&AE=f&VE=f&ACC=f&PR=f&SP=f&SB=f&DEB=f&V=LNX%208%2C0%2C0%2C0"
        "&M=Tolvikan%20Linux&R=" +
        numberToString(w) + "x" + numberToString(h) +
        "&DP=72&COL=color&AR=1.0&OS=Linux&L=en&PT=StandAlone&AVD=t&LFD=f");
}

Value capabilitiesQuery(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

}  // namespace

void installStage(Vm& vm) {
    StageObject* stage = vm.make<StageObject>(vm.objectProto);
    struct Accessor {
        const char* name;
        NativeFn get;
        NativeFn set;
    };
    const Accessor props[] = {
        {"align", getAlign, setAlign},          {"displayState", getDisplayState, setDisplayState},
        {"height", getHeight, nullptr},         {"scaleMode", getScaleMode, setScaleMode},
        {"showMenu", getShowMenu, setShowMenu}, {"width", getWidth, nullptr},
    };
    for (const Accessor& a : props)
        stage->defineAccessor(vm, a.name, vm.newFunction(a.get), a.set ? vm.newFunction(a.set) : nullptr,
                              kDontEnum | kDontDelete);
    if (Object* b = vm.global->get(vm, "AsBroadcaster").object()) {
        stage->define(vm, "_listeners", Value(vm.newArray()), kDontEnum);
        for (const char* m : {"addListener", "removeListener", "broadcastMessage"})
            stage->define(vm, m, b->get(vm, m), kDontEnum);
    }
    vm.global->define(vm, "Stage", Value(stage), kDontEnum);

    Object* system = vm.newObject();
    system->define(vm, "useCodepage", Value(false), 0);
    system->define(vm, "exactSettings", Value(true), 0);
    vm.method(system, "setClipboard", setClipboard);
    vm.method(system, "showSettings", nothing);
    Object* security = vm.newObject();
    vm.method(security, "allowDomain", nothing);
    vm.method(security, "allowInsecureDomain", nothing);
    vm.method(security, "loadPolicyFile", nothing);
    system->define(vm, "security", Value(security), 0);
    // No input method editor takes part in a conversion: it is off and composes nothing.
    Object* ime = vm.newObject();
    if (Object* b = vm.global->get(vm, "AsBroadcaster").object()) {
        ime->define(vm, "_listeners", Value(vm.newArray()), kDontEnum);
        for (const char* m : {"addListener", "removeListener", "broadcastMessage"})
            ime->define(vm, m, b->get(vm, m), kDontEnum);
    }
    vm.method(ime, "getEnabled", returnsFalse);
    vm.method(ime, "setEnabled", returnsFalse);
    vm.method(ime, "getConversionMode", unknownMode);
    vm.method(ime, "setConversionMode", returnsFalse);
    vm.method(ime, "setCompositionString", returnsFalse);
    vm.method(ime, "doConversion", returnsFalse);
    system->define(vm, "IME", Value(ime), 0);

    Object* caps = vm.newObject();
    const struct {
        const char* name;
        Value value;
    } capabilities[] = {
        {"avHardwareDisable", Value(true)},
        {"hasAccessibility", Value(false)},
        {"hasAudio", Value(true)},
        {"hasAudioEncoder", Value(false)},
        {"hasEmbeddedVideo", Value(false)},
        {"hasIME", Value(false)},
        {"hasMP3", Value(true)},
        {"hasPrinting", Value(false)},
        {"hasScreenBroadcast", Value(false)},
        {"hasScreenPlayback", Value(false)},
        {"hasStreamingAudio", Value(true)},
        {"hasStreamingVideo", Value(false)},
        {"hasTLS", Value(false)},
        {"hasVideoEncoder", Value(false)},
        {"isDebugger", Value(false)},
        {"language", Value("en")},
        {"localFileReadDisable", Value(false)},
        {"manufacturer", Value("Tolvikan Linux")},
        {"os", Value("Linux")},
        {"pixelAspectRatio", Value(1)},
        {"playerType", Value("StandAlone")},
        {"screenColor", Value("color")},
        {"screenDPI", Value(72)},
        {"version", Value(kPlayerVersion)},
    };
    for (const auto& c : capabilities)
        caps->define(vm, c.name, c.value, 0);
    // The screen is the stage, known once the movie is loaded.
    caps->defineAccessor(vm, "screenResolutionX", vm.newFunction(getWidth), nullptr, 0);
    caps->defineAccessor(vm, "screenResolutionY", vm.newFunction(getHeight), nullptr, 0);
    caps->defineAccessor(vm, "serverString", vm.newFunction(serverString), nullptr, 0);
    vm.method(caps, "Query", capabilitiesQuery);
    system->define(vm, "capabilities", Value(caps), 0);
    vm.global->define(vm, "System", Value(system), kDontEnum);
    vm.global->define(vm, "$version", Value(kPlayerVersion), kDontEnum);
}

}  // namespace player::avm1
