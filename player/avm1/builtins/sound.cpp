// Sound: scripts playing and shaping sound. A Sound made on a clip controls that clip's sound transform
// (volume, pan, the four channel levels), which applies to the sounds the clip and the clips inside it
// play; a Sound made without a target controls the global transform. attachSound takes a sound the movie
// exports, loadSound an MP3 file beside the movie (read and decoded on the next frame, as a load arrives
// in Flash Player). onSoundComplete and the load events run at the start of a frame, from the queue this
// file keeps in Vm::sounds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/movie_clip.h"
#include "player/core/runtime.h"
#include "player/core/stage.h"
#include "player/sound/id3.h"
#include "player/sound/sound_decode.h"

namespace player::avm1 {

namespace {

using sound::SoundPlayer;
using sound::SoundTransform;

class SoundObject : public Object {
  public:
    explicit SoundObject(Object* proto) : Object(proto) {}
    Value target;
    bool global = true;  // made without a target
    // attachSound's sound, decoded; the definition is kept only as a key to compare (its movie may be
    // unloaded while the Sound lives).
    const void* attached = nullptr;
    sound::PcmPtr attachedPcm;
    double attachedMs = 0;
    sound::PcmPtr loaded;  // what loadSound read
    bool loadAsked = false;
    double bytesLoaded = 0, bytesTotal = 0;
    bool bytesKnown = false;
    SoundPlayer::VoiceId voice = 0;  // the instance start() began last
    double lastPositionMs = 0;
    // After loadSound the Sound has a transform of its own for the file it plays, no longer its target's.
    bool ownTransform = false;
    // start() calls made while the file is still on its way play once it arrives.
    struct Start {
        double offset;
        int loops;
    };
    std::vector<Start> pendingStarts;
    bool loading = false;
    uint64_t loadSerial = 0;  // a later loadSound or attachSound supersedes a load on its way
    std::shared_ptr<int> alive = std::make_shared<int>(0);

    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        traceValue(target, out);
    }
    bool getOwn(Vm& vm, const std::string& name, Object* self, Value& out) override;
};

// The playing instances whose Sound objects wait for onSoundComplete, finished instances (marked by the
// mixer when it ends them), and files loadSound asked for.
class SoundQueue : public Object {
  public:
    SoundQueue() : Object(nullptr, Kind::Other) {}
    struct Playing {
        SoundObject* sound;
        SoundPlayer::VoiceId voice;
    };
    struct Load {
        SoundObject* sound;
        std::string url;
        bool streaming;
        uint64_t serial;
    };
    std::vector<Playing> playing;
    std::vector<Load> loads;
    std::shared_ptr<std::vector<SoundPlayer::VoiceId>> finished =
        std::make_shared<std::vector<SoundPlayer::VoiceId>>();
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        for (const Playing& p : playing)
            out.push_back(p.sound);
        for (const Load& l : loads)
            out.push_back(l.sound);
    }
};

Object* allocateSound(Vm& vm, Object* proto) {
    return vm.make<SoundObject>(proto);
}

SoundObject* soundOf(const Value& self) {
    return dynamic_cast<SoundObject*>(self.object());
}

// The player's sound, when the interpreter runs inside a player (tests run it alone).
SoundPlayer* playerOf(Vm& vm) {
    auto* rt = dynamic_cast<Runtime*>(&vm.host);
    return rt ? &rt->stage().sound : nullptr;
}

// What a Sound acts on: the global transform, or a clip; `ok` is false when its target is gone or never
// was (its methods then answer undefined and change nothing).
struct Target {
    bool ok = false;
    MovieClip* clip = nullptr;         // null: global
    const SoundObject* own = nullptr;  // the Sound's own transform (after loadSound)
};

Target targetOf(Vm& vm, SoundObject* s) {
    if (!s) return {};
    if (s->ownTransform) return {true, nullptr, s};
    if (s->global) return {true, nullptr};
    ClipObject* clip = s->target.object() ? s->target.object()->asClip() : nullptr;
    if (!clip && !s->target.isNullish()) clip = vm.resolveTarget(vm.host.level(0), vm.toString(s->target));
    MovieClip* mc = clip ? clip->clip() : nullptr;
    return {mc != nullptr, mc};
}

// Clips own voices and transforms as display objects.
const void* ownerKey(MovieClip* mc) {
    return static_cast<const DisplayObject*>(mc);
}

SoundTransform transformOf(Vm& vm, const Target& t) {
    SoundPlayer* sp = playerOf(vm);
    if (!sp) return {};
    if (t.own) {
        const SoundTransform* own = sp->clipTransform(t.own);
        return own ? *own : SoundTransform{};
    }
    if (!t.clip) return sp->mixer().globalTransform();
    const SoundTransform* own = sp->clipTransform(ownerKey(t.clip));
    return own ? *own : SoundTransform{};
}

void storeTransform(Vm& vm, const Target& t, const SoundTransform& tr) {
    SoundPlayer* sp = playerOf(vm);
    if (!sp) return;
    if (t.own)
        sp->setClipTransform(t.own, t.own->alive, tr);
    else if (!t.clip)
        sp->mixer().setGlobalTransform(tr);
    else
        sp->setClipTransform(ownerKey(t.clip), t.clip->handle(), tr);
}

// Volume and pan arguments as whole numbers. A missing argument is 0. Movies of SWF 8 and before see
// ECMA's wrapping conversion (NaN and infinities are 0); later players saturate, NaN and anything out of
// range becoming the lowest integer.
int32_t levelArg(Vm& vm, std::vector<Value>& args, size_t i) {
    if (i >= args.size() || args[i].isUndefined()) return 0;
    double n = vm.toNumber(args[i]);
    if (vm.version <= 8) return toInt32(n);
    constexpr int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    if (!(n > double(lo) - 1 && n < double(hi) + 1)) return int32_t(lo);
    return int32_t(clampToInt(n, lo, hi));
}

// Levels are stored as whole numbers within 32 bits; arithmetic on them wraps as it does in the player.
double wrap32(int64_t v) {
    return double(int32_t(uint32_t(uint64_t(v))));
}

Value ctor(Vm& vm, const Value& self, std::vector<Value>& args) {
    SoundObject* s = soundOf(self);
    if (!s) return Value();
    s->global = args.empty() || args[0].isNullish();
    // A clip is kept by its path: the Sound follows whatever clip holds that path when it is used (a
    // renamed clip is no longer its target).
    if (!s->global)
        s->target = args[0].object() && args[0].object()->asClip() ? Value(vm.toString(args[0])) : args[0];
    return Value();
}

Value getVolume(Vm& vm, const Value& self, std::vector<Value>& args) {
    Target t = targetOf(vm, soundOf(self));
    if (!t.ok) return Value();
    return Value(transformOf(vm, t).volume);
}

Value setVolume(Vm& vm, const Value& self, std::vector<Value>& args) {
    Target t = targetOf(vm, soundOf(self));
    if (!t.ok) return Value();
    SoundTransform tr = transformOf(vm, t);
    tr.volume = levelArg(vm, args, 0);
    storeTransform(vm, t, tr);
    return Value();
}

// The pan a transform amounts to: how far the left level is below full, else how far the right one is.
Value getPan(Vm& vm, const Value& self, std::vector<Value>& args) {
    Target t = targetOf(vm, soundOf(self));
    if (!t.ok) return Value();
    SoundTransform tr = transformOf(vm, t);
    const int64_t ll = int64_t(tr.ll), rr = int64_t(tr.rr);
    return Value(ll != 100 ? wrap32(100 - std::llabs(ll)) : wrap32(std::llabs(rr) - 100));
}

Value setPan(Vm& vm, const Value& self, std::vector<Value>& args) {
    Target t = targetOf(vm, soundOf(self));
    if (!t.ok) return Value();
    SoundTransform tr = transformOf(vm, t);
    const int64_t pan = levelArg(vm, args, 0);
    tr.ll = pan >= 0 ? wrap32(100 - pan) : 100;
    tr.rr = pan >= 0 ? 100 : wrap32(100 + pan);
    tr.lr = tr.rl = 0;
    storeTransform(vm, t, tr);
    return Value();
}

Value getTransform(Vm& vm, const Value& self, std::vector<Value>& args) {
    Target t = targetOf(vm, soundOf(self));
    if (!t.ok) return Value();
    SoundTransform tr = transformOf(vm, t);
    Object* o = vm.newObject();
    o->set(vm, "ll", Value(tr.ll));
    o->set(vm, "lr", Value(tr.lr));
    o->set(vm, "rr", Value(tr.rr));
    o->set(vm, "rl", Value(tr.rl));
    return Value(o);
}

// setTransform({ll, lr, rr, rl}): the members the object itself has replace the target's (inherited ones
// are not read).
Value setTransform(Vm& vm, const Value& self, std::vector<Value>& args) {
    Target t = targetOf(vm, soundOf(self));
    Object* from = arg(args, 0).object();
    if (!t.ok || !from) return Value();
    SoundTransform tr = transformOf(vm, t);
    const struct {
        const char* name;
        double* field;
    } members[] = {{"ll", &tr.ll}, {"lr", &tr.lr}, {"rr", &tr.rr}, {"rl", &tr.rl}};
    for (const auto& m : members)
        if (from->hasOwn(vm, m.name)) *m.field = vm.toInt(from->get(vm, m.name));
    storeTransform(vm, t, tr);
    return Value();
}

// The movie whose exported sounds a Sound sees: its clip's, or level 0's.
const MovieDef* movieOf(Vm& vm, const Target& t) {
    if (t.clip) return t.clip->movie();
    ClipObject* root = vm.host.level(0);
    MovieClip* mc = root ? root->clip() : nullptr;
    return mc ? mc->movie() : nullptr;
}

Value attachSound(Vm& vm, const Value& self, std::vector<Value>& args) {
    SoundObject* s = soundOf(self);
    Target t = targetOf(vm, s);
    if (!s || args.empty()) return Value();
    const MovieDef* movie = t.ok ? movieOf(vm, t) : nullptr;
    if (t.own) movie = movieOf(vm, Target{});
    const swf::DefineSound* def = movie ? movie->exportedSound(vm.toString(args[0])) : nullptr;
    SoundPlayer* sp = playerOf(vm);
    if (!def || !sp) return Value();
    s->attached = def;
    s->attachedPcm = sp->decoded(def);
    s->attachedMs = sp->durationMs(def);
    s->loaded = nullptr;
    s->loading = false;
    s->pendingStarts.clear();
    ++s->loadSerial;
    s->voice = 0;
    s->lastPositionMs = 0;
    return Value();
}

SoundQueue& queueOf(Vm& vm) {
    return *static_cast<SoundQueue*>(vm.sounds);
}

void startInstance(Vm& vm, SoundObject* s, double offsetSeconds, int loops) {
    SoundPlayer* sp = playerOf(vm);
    Target t = targetOf(vm, s);
    if (!sp || (!s->attached && !s->loaded)) return;
    const void* owner = t.own ? static_cast<const void*>(t.own) : t.clip ? ownerKey(t.clip) : nullptr;
    SoundQueue& q = queueOf(vm);
    // The mixer marks the instance finished; the Sound hears of it at the start of the next frame.
    auto finished = q.finished;
    auto idHolder = std::make_shared<SoundPlayer::VoiceId>(0);
    auto onComplete = [finished, idHolder] { finished->push_back(*idHolder); };
    const sound::PcmPtr& pcm = s->attached ? s->attachedPcm : s->loaded;
    const void* scope = s->attached ? s->attached : s->loaded.get();
    SoundPlayer::VoiceId id =
        sp->startPcm(pcm, offsetSeconds, loops, owner, onComplete, scope, /*ownerIsDisplayObject=*/!t.own);
    if (!id) return;
    *idHolder = id;
    s->voice = id;
    s->lastPositionMs = sp->positionMs(id);
    q.playing.push_back({s, id});
}

// start(secondOffset, loops): a new instance of the sound, from that many seconds in, played `loops`
// times.
Value start(Vm& vm, const Value& self, std::vector<Value>& args) {
    SoundObject* s = soundOf(self);
    if (!s) return Value();
    double offset = args.empty() ? 0 : vm.toNumber(args[0]);
    if (!std::isfinite(offset) || offset < 0) offset = 0;
    offset = std::min(offset, 1e7);  // far beyond any sound's end
    int loops = args.size() < 2 ? 1 : int(clampToInt(vm.toNumber(args[1]), 1, 1 << 20, 1));
    if (s->loading)
        s->pendingStarts.push_back({offset, loops});
    else
        startInstance(vm, s, offset, loops);
    return Value();
}

// stop(): the sounds of the target clip (and the clips inside it), or every sound for a Sound without
// one; stop(id): every instance of the sound the movie exports as `id`.
Value stop(Vm& vm, const Value& self, std::vector<Value>& args) {
    SoundObject* s = soundOf(self);
    SoundPlayer* sp = playerOf(vm);
    Target t = targetOf(vm, s);
    if (!sp || !t.ok) return Value();
    if (!args.empty() && !args[0].isUndefined()) {
        const MovieDef* movie = movieOf(vm, t);
        if (const swf::DefineSound* def = movie ? movie->exportedSound(vm.toString(args[0])) : nullptr)
            sp->stopDefinition(def);
        return Value();
    }
    if (t.own)
        sp->stopOwned(t.own);
    else if (t.clip)
        sp->stopOwned(ownerKey(t.clip));
    else
        sp->stopAll();
    return Value();
}

Value durationOf(Vm& vm, SoundObject* s) {
    SoundPlayer* sp = playerOf(vm);
    if (!s || !sp) return Value();
    if (s->attached) return Value(std::round(s->attachedMs));
    if (s->loaded) return Value(std::floor(double(s->loaded->frames44()) * 1000.0 / SoundPlayer::kRate));
    return Value();
}

Value positionOf(Vm& vm, SoundObject* s) {
    SoundPlayer* sp = playerOf(vm);
    if (!s || !sp || (!s->attached && !s->loaded)) return Value();
    if (s->voice) {
        double p = sp->positionMs(s->voice);
        if (p >= 0) s->lastPositionMs = p;
    }
    return Value(std::floor(s->lastPositionMs));
}

Value getDuration(Vm& vm, const Value& self, std::vector<Value>& args) {
    return durationOf(vm, soundOf(self));
}

Value getPosition(Vm& vm, const Value& self, std::vector<Value>& args) {
    return positionOf(vm, soundOf(self));
}

Value ignore(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

Value areSoundsInaccessible(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(false);
}

// loadSound(url, isStreaming): the file arrives on the next frame; a streaming sound starts playing then.
Value loadSound(Vm& vm, const Value& self, std::vector<Value>& args) {
    SoundObject* s = soundOf(self);
    if (!s || args.empty() || !vm.sounds) return Value();
    s->attached = nullptr;
    s->attachedPcm = nullptr;
    s->loaded = nullptr;
    s->voice = 0;
    s->lastPositionMs = 0;
    s->loadAsked = true;
    s->bytesKnown = false;
    s->pendingStarts.clear();
    // The file plays under a transform of the Sound's own, starting at full volume, centred (a Sound whose
    // target is gone stays without one).
    if (targetOf(vm, s).ok) {
        s->ownTransform = true;
        if (SoundPlayer* sp = playerOf(vm)) sp->setClipTransform(s, s->alive, {});
    }
    s->loading = true;
    queueOf(vm).loads.push_back({s, vm.toString(args[0]), vm.toBoolean(arg(args, 1)), ++s->loadSerial});
    return Value();
}

Value getBytesLoaded(Vm& vm, const Value& self, std::vector<Value>& args) {
    SoundObject* s = soundOf(self);
    if (!s || !s->loadAsked) return Value();
    return Value(s->bytesKnown ? s->bytesLoaded : 0.0);
}

Value getBytesTotal(Vm& vm, const Value& self, std::vector<Value>& args) {
    SoundObject* s = soundOf(self);
    if (!s || !s->loadAsked || !s->bytesKnown) return Value();
    return Value(s->bytesTotal);
}

bool SoundObject::getOwn(Vm& vm, const std::string& name, Object* self, Value& out) {
    if (Object::getOwn(vm, name, self, out)) return true;
    // duration and position read like properties from SWF 6 on, without being properties.
    if (vm.version < 6) return false;
    if (name == vm.key("duration")) {
        out = durationOf(vm, this);
        return true;
    }
    if (name == vm.key("position")) {
        out = positionOf(vm, this);
        return true;
    }
    return false;
}

// The ID3 tags of a loaded file as script sees them: each frame under its own name, and the common ones
// again under their friendly names. The object has no prototype, as in Flash Player.
Object* id3Object(Vm& vm, const sound::Id3Tags& tags) {
    Object* o = vm.make<Object>(nullptr);
    for (const auto& [frame, values] : tags.frames) {
        if (values.empty()) continue;
        if (const char* alias = sound::id3Alias(frame)) o->set(vm, alias, Value(values.back()));
        if (values.size() == 1) {
            o->set(vm, frame, Value(values[0]));
        } else {
            std::vector<Value> list;
            for (const std::string& v : values)
                list.emplace_back(v);
            o->set(vm, frame, Value(vm.newArray(std::move(list))));
        }
    }
    return o;
}

void deliverLoad(Vm& vm, const SoundQueue::Load& l) {
    SoundObject* s = l.sound;
    if (l.serial != s->loadSerial) return;
    std::string bytes;
    sound::PcmPtr pcm;
    if (vm.host.readLocalFile(l.url, bytes)) {
        std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        std::string problem;
        pcm = sound::decodeMp3(data, &problem);
        if (!problem.empty()) vm.host.log("loadSound(\"" + l.url + "\"): " + problem);
        s->bytesLoaded = s->bytesTotal = double(bytes.size());
        s->bytesKnown = true;
        sound::Id3Tags tags = sound::readId3(data);
        if (!tags.frames.empty()) {
            s->set(vm, "id3", Value(id3Object(vm, tags)));
            vm.callHandler(s->get(vm, "onID3"), Value(s));
        }
    }
    s->loaded = pcm;
    s->loading = false;
    std::vector<SoundObject::Start> starts;
    starts.swap(s->pendingStarts);
    if (pcm && l.streaming && starts.empty()) startInstance(vm, s, 0, 1);
    for (const SoundObject::Start& st : starts)
        startInstance(vm, s, st.offset, st.loops);
    vm.callHandler(s->get(vm, "onLoad"), Value(s), {Value(pcm != nullptr)});
}

}  // namespace

void Vm::runSounds() {
    if (!sounds) return;
    SoundQueue& q = queueOf(*this);
    std::vector<SoundQueue::Load> loads;
    loads.swap(q.loads);
    for (const SoundQueue::Load& l : loads)
        deliverLoad(*this, l);
    std::vector<SoundPlayer::VoiceId> finished;
    finished.swap(*q.finished);
    std::vector<SoundObject*> complete;
    for (SoundPlayer::VoiceId id : finished)
        for (auto it = q.playing.begin(); it != q.playing.end(); ++it)
            if (it->voice == id) {
                complete.push_back(it->sound);
                q.playing.erase(it);
                break;
            }
    // Instances stopped or cut off end without an event; their Sound objects may be collected.
    SoundPlayer* sp = playerOf(*this);
    std::erase_if(q.playing,
                  [&](const SoundQueue::Playing& p) { return !sp || !sp->mixer().isPlaying(p.voice); });
    for (SoundObject* s : complete)
        callHandler(s->get(*this, "onSoundComplete"), Value(s));
}

void installSound(Vm& vm) {
    vm.sounds = vm.make<SoundQueue>();
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ctor, proto, ctor);
    cls->allocate = allocateSound;
    const uint16_t fixed = kDontDelete | kReadOnly;
    const struct {
        const char* name;
        NativeFn fn;
        uint16_t flags;
    } methods[] = {
        {"getPan", getPan, fixed},
        {"getTransform", getTransform, fixed},
        {"getVolume", getVolume, fixed},
        {"setPan", setPan, fixed},
        {"setTransform", setTransform, fixed},
        {"setVolume", setVolume, fixed},
        {"stop", stop, fixed},
        {"attachSound", attachSound, fixed},
        {"start", start, fixed},
        {"getDuration", getDuration, fixed | kVersion6Up},
        {"setDuration", ignore, fixed | kVersion6Up},
        {"getPosition", getPosition, fixed | kVersion6Up},
        {"setPosition", ignore, fixed | kVersion6Up},
        {"loadSound", loadSound, fixed | kVersion6Up},
        {"getBytesLoaded", getBytesLoaded, fixed | kVersion6Up},
        {"getBytesTotal", getBytesTotal, fixed | kVersion6Up},
        {"areSoundsInaccessible", areSoundsInaccessible, fixed | kVersion9Up},
    };
    for (const auto& m : methods)
        vm.method(proto, m.name, m.fn, m.flags);
    // A property with neither getter nor setter: it reads undefined and keeps nothing.
    proto->defineAccessor(vm, "checkPolicyFile", nullptr, nullptr, kDontEnum | kDontDelete);
    // Everything on the prototype, __proto__ and constructor too, is read-only.
    proto->changeAllFlags(kReadOnly, 0);
    vm.global->define(vm, "Sound", Value(cls), kDontEnum);
}

}  // namespace player::avm1
