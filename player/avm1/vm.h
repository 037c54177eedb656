// The ActionScript 1/2 virtual machine of one player: the heap of script objects, the global object and
// the built-in classes, value conversions with their per-version rules, and the interpreter that runs
// action blocks. Called from the player's thread only; reaches the display list, the clock and the
// outside world only through Host. Never reads the wall clock: time is the movie's.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "player/avm1/object.h"
#include "player/avm1/value.h"
#include "swf/actions.h"

namespace player::avm1 {

class ClipObject;
struct Scope;

// A run of decoded actions: a DoAction body, a function body, a clip event handler.
struct ActionBlock {
    const std::vector<swf::Action>* actions = nullptr;
    size_t begin = 0, end = 0;  // record indices
    int version = 0;            // SWF version of the movie the code came from
};

// What the engine around the interpreter provides.
class Host {
  public:
    virtual ~Host() = default;
    virtual void trace(const std::string& line) = 0;
    virtual void log(const std::string& line) = 0;
    // Logs "not supported yet: <what>" once.
    virtual void unsupported(const std::string& what) = 0;
    // getURL / loadMovie / loadVariables / fscommand as the action asked for them.
    virtual void getUrl(const std::string& url, const std::string& target, int method, ClipObject* from) = 0;
    // Milliseconds of movie time since the movie started.
    virtual double timeMs() = 0;
    // Root clip of a level, or null.
    virtual ClipObject* level(int n) = 0;
    // The content of a file a script loads (XML.load, LoadVars.load), its url relative to the movie;
    // false when it cannot be read (another scheme than a local file, no such file).
    virtual bool readLocalFile(const std::string& url, std::string& out) = 0;
    // MovieClipLoader.loadClip: loads `url` into a level (level >= 0) or into `clip` once the frame is over,
    // telling `loader`'s listeners how it went (onLoadStart, onLoadProgress, onLoadComplete, onLoadInit or
    // onLoadError). An empty url unloads.
    virtual void loadClip(const std::string& url, int level, ClipObject* clip, Object* loader,
                          ClipObject* from) = 0;
};

// A script error thrown with Throw (and by built-ins that throw), carried through native code.
struct ScriptThrow {
    Value value;
};
// A script cut off by a limit; unwinds every frame of the current action block.
struct ScriptAbort {
    std::string reason;
    // Cut off for nesting calls too deep: a conversion that called the script falls back to its default.
    bool recursion = false;
};

class Vm {
  public:
    Vm(Host& host, int swfVersion, uint32_t seed = 0x5eed);
    ~Vm();
    Vm(const Vm&) = delete;
    Vm& operator=(const Vm&) = delete;

    Host& host;
    // Version of the movie whose code runs now (conversion and case rules follow it).
    int version;
    bool caseSensitive() const { return version >= 7; }
    // The key a property name is stored under: lower-cased before SWF 7.
    std::string key(const std::string& name) const;

    template <class T, class... A>
    T* make(A&&... a) {
        T* cell = new T(std::forward<A>(a)...);
        adopt(cell);
        return cell;
    }
    Object* newObject();
    ArrayObject* newArray(std::vector<Value> elements = {});
    NativeFunction* newFunction(NativeFn fn, NativeFn ctor = nullptr);
    // A constructor function with its prototype object (prototype.constructor set, hidden).
    NativeFunction* newClass(NativeFn fn, Object* prototype, NativeFn ctor = nullptr);
    // Defines a native method on an object (hidden, as built-ins are).
    void method(Object* on, const std::string& name, NativeFn fn, uint16_t extraFlags = 0);

    // ECMA-262 conversions with ActionScript's version rules.
    double toNumber(const Value& v);
    std::string toString(const Value& v);
    bool toBoolean(const Value& v);
    Value toPrimitive(const Value& v, bool preferString = false);
    Object* toObject(const Value& v);  // null for undefined and null
    int32_t toInt(const Value& v) { return toInt32(toNumber(v)); }
    std::string typeOf(const Value& v);
    bool looseEquals(const Value& a, const Value& b);
    static bool strictEquals(const Value& a, const Value& b);
    // a < b: true, false, or undefined (NaN involved).
    Value lessThan(const Value& a, const Value& b);

    Value call(const Value& fn, const Value& self, std::vector<Value>& args);
    Value callMethod(const Value& object, const std::string& name, std::vector<Value>& args);
    Value construct(const Value& fn, std::vector<Value>& args);
    bool instanceOf(const Value& v, Object* ctor);

    // Runs a block of timeline code (frame actions, init actions, clip events) with `target` as this and
    // as the timeline its unqualified names resolve against. Errors and limits end the block, never the
    // player.
    void runBlock(const ActionBlock& block, ClipObject* target);
    // Runs a handler function (onEnterFrame, a listener): with `self` as this.
    Value callHandler(const Value& fn, const Value& self, std::vector<Value> args = {});

    // Resolves a target path ("/a/b", "_root.a", "../b", "_level1") against a clip.
    ClipObject* resolveTarget(ClipObject* base, const std::string& path);
    // The same walk, through any objects on the way ("a/b/..:c" where a is a plain object).
    Object* resolvePath(ClipObject* base, const std::string& path);

    // Between frames: frees objects nothing reaches. `roots` adds cells only the caller knows.
    void collect(const std::vector<GcCell*>& roots);
    size_t liveCells() const { return cells_.size(); }
    // Roots that live as long as the Vm wants them (intervals, listeners lists).
    std::vector<Value> persistentRoots;

    // Built-in objects.
    Object* global = nullptr;
    Object* objectProto = nullptr;
    Object* functionProto = nullptr;
    Object* functionCtor = nullptr;  // every function's own `constructor`
    Object* arrayProto = nullptr;
    Object* stringProto = nullptr;
    Object* numberProto = nullptr;
    Object* booleanProto = nullptr;
    Object* dateProto = nullptr;
    Object* clipProto = nullptr;
    Object* buttonProto = nullptr;
    Object* textFieldProto = nullptr;
    Object* errorProto = nullptr;
    // Classes registered for library symbols (Object.registerClass): export name -> constructor.
    Object* registeredClasses = nullptr;

    std::mt19937 random;
    // The keyboard as scripts see it (Key.isDown, getCode, getAscii): held keys and the last key event.
    std::set<int> keysDown;
    int lastKeyCode = 0;
    int lastAscii = 0;
    // Action budget of the current frame (Flash's script time limit as a count).
    uint64_t budget = 0;
    uint64_t actionsPerFrame = kActionsPerFrame;
    static constexpr uint64_t kActionsPerFrame = 5'000'000;
    static constexpr int kMaxCallDepth = 256;
    // Nesting of script calls allowed: 256 unless the movie sets its own limit.
    int maxCallDepth = kMaxCallDepth;
    // Calls a property's getter (value null) or setter. Getters and setters nested more than 65 deep are
    // cut off: back to the outermost call of the kind refused (getter or setter), which returns false and
    // the property acts as a plain value there, as in Flash.
    bool callAccessor(Object* fn, Object* self, const Value* value, Value& out);
    int accessorDepth = 0;
    static constexpr int kMaxAccessorDepth = 65;
    // What cuts off a call nested deeper than maxCallDepth.
    ScriptAbort recursionAbort() const;
    // Machine stack nested script calls may use, measured from the outermost one.
    static constexpr size_t kMaxStackBytes = size_t(3) << 20;
    static constexpr size_t kMaxStack = 1 << 20;
    static constexpr size_t kMaxCells = 4'000'000;
    int callDepth = 0;
    // The script function running now (arguments.caller of the next one called), null at a frame's level.
    Object* runningFunction = nullptr;
    // The prototype a method reached through `super` was found above (for the callee's own super).
    Object* pendingSuperBase = nullptr;
    // A finally block that returned while an error was on its way: the error is not lost but surfaces,
    // without its value, where the enclosing try block ends.
    bool throwPending = false;
    // The interpreter's value stack, shared by nested calls.
    std::vector<Value> stack;
    // Registers of timeline code (four, shared by the blocks of one movie).
    Value globalRegisters[4];

    // Runs the intervals and timeouts that are due at the movie's current time (once a frame, builtins/
    // timers.cpp). Timer state lives in `timers`.
    void runTimers();
    Object* timers = nullptr;
    // Delivers what Sound objects wait for (loaded files, onSoundComplete), once a frame after the timers
    // (builtins/sound.cpp). The queue lives in `sounds`.
    void runSounds();
    Object* sounds = nullptr;

    // Implemented in interpreter.cpp.
    Value execute(const ActionBlock& block, Scope* scope, const Value& self, ClipObject* target,
                  Value* registers, size_t registerCount, std::vector<std::string>* pool);

  private:
    uintptr_t stackBase_ = 0;
    int getterDepth_ = 0;
    int setterDepth_ = 0;
    std::string describeThrown(const Value& v);
    void adopt(GcCell* cell);
    std::vector<GcCell*> cells_;
    size_t allocatedSinceCollect_ = 0;
};

// Scope chain link: with-objects, function activations, the target timeline, the global object.
struct Scope : GcCell {
    enum class Kind : uint8_t { Global, Target, Local, With };
    Scope(Kind k, Object* o, Scope* p) : kind(k), object(o), parent(p) {}
    Kind kind;
    Object* object;
    Scope* parent;
    void trace(std::vector<GcCell*>& out) const override {
        if (object) out.push_back(object);
        if (parent) out.push_back(parent);
    }
};

// Installs the built-in classes and global functions (one file each under builtins/).
void installObject(Vm& vm);
void installFunction(Vm& vm);
void installArray(Vm& vm);
void installString(Vm& vm);
void installNumberBoolean(Vm& vm);
void installMath(Vm& vm);
void installError(Vm& vm);
void installGlobals(Vm& vm);  // parseInt, parseFloat, isNaN, isFinite, escape, unescape, ...
void installDate(Vm& vm);
void installXml(Vm& vm);  // XML, XMLNode
void installLoadVars(Vm& vm);
void installSharedObject(Vm& vm);
void installInput(Vm& vm);  // Key, Mouse, Selection
void installStage(Vm& vm);  // Stage, System, System.capabilities
void installColor(Vm& vm);
void installGeom(Vm& vm);    // flash.geom: Matrix, Point, Rectangle, ColorTransform, Transform
void installTimers(Vm& vm);  // setInterval, clearInterval, setTimeout, clearTimeout, getTimer
void installMovieClip(Vm& vm);
void installTextField(Vm& vm);  // TextField, TextFormat, TextField.StyleSheet, MovieClip.createTextField
void installMovieClipLoader(Vm& vm);
void installFilters(Vm& vm);      // flash.filters
void installClipEffects(Vm& vm);  // MovieClip filters, blendMode, cacheAsBitmap, opaqueBackground, scale9Grid
void installBitmapData(Vm& vm);   // flash.display.BitmapData, MovieClip attachBitmap and beginBitmapFill
void installSound(Vm& vm);
void installVideo(Vm& vm);        // Video (embedded video objects)
void installContextMenu(Vm& vm);  // ContextMenu, ContextMenuItem

}  // namespace player::avm1
