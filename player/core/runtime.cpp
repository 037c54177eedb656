#include "player/core/runtime.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "player/avm1/clip_object.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/movie_file.h"
#include "player/core/stage.h"

namespace player {

Runtime::Runtime(Stage& stage) : stage_(stage) {}
Runtime::~Runtime() = default;

std::unique_ptr<DisplayObject> Runtime::instantiate(const MovieDef* movie, const Placement& p,
                                                    DisplayObject* parent, bool giveName) {
    const Character* c = movie->character(p.characterId);
    if (!c) {
        log("placed character " + std::to_string(p.characterId) + " is not defined");
        return nullptr;
    }
    if (liveObjects >= kMaxDisplayObjects) {
        unsupported("more than " + std::to_string(kMaxDisplayObjects) +
                    " objects on the stage (the rest are not placed)");
        return nullptr;
    }
    bool container = c->kind == Character::Kind::Sprite || c->kind == Character::Kind::Button;
    if (container && nesting >= kMaxNesting) {
        unsupported("sprites nested deeper than " + std::to_string(kMaxNesting) + " levels (not placed)");
        return nullptr;
    }
    // Objects placed without a name are called "instanceN", counting every such object the player made
    // (a button's hit area is never seen and takes no number).
    Placement named = p;
    if (named.name.empty() && c->kind != Character::Kind::Font && giveName)
        named.name = "instance" + std::to_string(++instanceCounter);
    return make(movie, named, c, parent);
}

std::unique_ptr<DisplayObject> Runtime::make(const MovieDef* movie, const Placement& p, const Character* c,
                                             DisplayObject* parent) {
    switch (c->kind) {
        case Character::Kind::Sprite: {
            auto clip =
                std::make_unique<MovieClip>(movie, c, &static_cast<const SpriteCharacter*>(c)->timeline);
            clip->track(&liveObjects);
            clip->matrix = p.matrix;
            clip->cxform = p.cxform;
            clip->name = p.name;
            clip->parent = parent;
            clip->clipActions = p.clipActions;
            if (clip->clipActions && (clip->clipActions->allEvents & clip_event::Initialize))
                queueEvent(clip.get(), clip_event::Initialize);
            ++nesting;
            clip->initialize(*this);
            --nesting;
            if (vm_) queueEvent(clip.get(), clip_event::Load);
            return clip;
        }
        case Character::Kind::Button: {
            ++nesting;
            auto button =
                std::make_unique<ButtonObject>(movie, static_cast<const ButtonCharacter*>(c), *this);
            --nesting;
            button->track(&liveObjects);
            button->parent = parent;
            button->name = p.name;
            return button;
        }
        case Character::Kind::Font:
            return nullptr;
        default: {
            auto obj = std::make_unique<DisplayObject>(movie, c);
            obj->track(&liveObjects);
            obj->parent = parent;
            obj->name = p.name;
            return obj;
        }
    }
}

void Runtime::queueActions(MovieClip* clip, const swf::DoAction* action) {
    queue_.push_back(
        {clip->handle(), &action->records, 0, clip->movie() ? clip->movie()->info().version : 0});
}

void Runtime::queueEvent(MovieClip* clip, uint32_t event) {
    if (event == clip_event::Initialize) {
        size_t at = std::min(std::max(next_, initAt_), queue_.size());
        queue_.insert(queue_.begin() + long(at), {clip->handle(), nullptr, event, 0});
        initAt_ = at + 1;
        return;
    }
    queue_.push_back({clip->handle(), nullptr, event, 0});
}

void Runtime::startScripts(int swfVersion, double rate) {
    frameRate = rate > 0 ? rate : 12;
    if (!vm_) {
        vm_ = std::make_unique<avm1::Vm>(*this, swfVersion);
        vm_->actionsPerFrame = actionLimit;
    }
}

void Runtime::runQueuedActions() {
    // Actions may queue more (a goto reaches a frame with actions): run until the queue is empty, bounded.
    size_t ran = 0;
    for (size_t i = 0; i < queue_.size(); ++i) {
        if (++ran > kMaxActionsPerTick) {
            log("too many frame actions in one frame; the rest are skipped");
            break;
        }
        Queued q = queue_[i];
        next_ = i + 1;
        // After fscommand("quit") only the unload events of clips already removed still run.
        if (quitRequested && q.event != clip_event::Unload) continue;
        auto p = q.clip.lock();
        if (!p || !*p) continue;
        if (!vm_) continue;
        // A removed clip waiting to leave answers only its unload event.
        if ((*p)->unloading && q.event != clip_event::Unload) continue;
        try {
            if (q.broadcaster) {
                avm1::Value b = vm_->global->get(*vm_, q.broadcaster);
                std::vector<avm1::Value> args{avm1::Value(std::string(q.method))};
                if (b.object()) vm_->callMethod(b, "broadcastMessage", args);
            } else if (q.records) {
                avm1::ActionBlock block{q.records, 0, q.records->size(), q.version};
                vm_->runBlock(block, avm1::scriptObjectOf(*vm_, *p));
            } else {
                runEvent(*p, q.event);
            }
        } catch (const avm1::ScriptAbort& a) {
            // Looking a handler up can run script too (getters, long prototype chains).
            unsupported(a.reason + " (the script was cut off)");
        } catch (const avm1::ScriptThrow&) {
            log("script error not caught in an event handler");
        }
    }
    queue_.clear();
    next_ = initAt_ = 0;
    finishUnloading();
}

const std::vector<swf::Action>& Runtime::decodedButtonAction(const swf::ButtonCondAction& a) {
    auto it = buttonActionCode_.find(&a);
    if (it != buttonActionCode_.end()) return it->second;
    swf::ActionDecode d = swf::decodeActionsLenient(a.actions);
    if (d.error) log("button actions: " + d.error->describe());
    return buttonActionCode_[&a] = std::move(d.actions);
}

void Runtime::queueButtonActions(ButtonObject* button, uint16_t condition) {
    MovieClip* parent = button->parent ? button->parent->asClip() : nullptr;
    if (!vm_ || !parent) return;
    int version = button->movie() ? button->movie()->info().version : 0;
    for (const swf::ButtonCondAction& a : button->button().def->actions)
        if (a.conditions & condition & 0x1FF)
            queue_.push_back({parent->handle(), &decodedButtonAction(a), 0, version});
}

void Runtime::collectButtons(const DisplayList& list, std::vector<ButtonObject*>& out, int nesting) {
    if (nesting > kMaxNesting) return;
    for (const auto& [depth, obj] : list) {
        if (MovieClip* c = obj->asClip())
            collectButtons(c->children(), out, nesting + 1);
        else if (obj->character() && obj->character()->kind == Character::Kind::Button)
            out.push_back(static_cast<ButtonObject*>(obj.get()));
    }
}

void Runtime::queueKeyPress(int keyCode, int ascii) {
    // Button key conditions name special keys by small numbers and the rest by their character.
    static const std::pair<int, int> special[] = {{37, 1},  {39, 2},  {36, 3},  {35, 4},  {45, 5},
                                                  {46, 6},  {8, 8},   {13, 13}, {38, 14}, {40, 15},
                                                  {33, 16}, {34, 17}, {9, 18},  {27, 19}};
    int code = ascii >= 32 ? ascii : 0;
    for (const auto& [key, c] : special)
        if (key == keyCode) code = c;
    if (!vm_ || code == 0) return;
    std::vector<ButtonObject*> buttons;
    for (const auto& [n, l] : stage_.levels())
        collectButtons(l.root->children(), buttons, 0);
    for (ButtonObject* b : buttons) {
        MovieClip* parent = b->parent ? b->parent->asClip() : nullptr;
        if (!parent || !b->enabled) continue;
        int version = b->movie() ? b->movie()->info().version : 0;
        for (const swf::ButtonCondAction& a : b->button().def->actions)
            if (a.keyCode() == code)
                queue_.push_back({parent->handle(), &decodedButtonAction(a), 0, version});
    }
}

void Runtime::queueBroadcast(const char* broadcaster, const char* method) {
    Stage::Level* l = stage_.level(0);
    if (!vm_ || !l) return;
    queue_.push_back({l->root->handle(), nullptr, 0, 0, broadcaster, method});
}

bool Runtime::hasUnloadHandler(MovieClip* clip) {
    if (clip->clipActions && (clip->clipActions->allEvents & clip_event::Unload)) return true;
    int version = clip->movie() ? clip->movie()->info().version : 0;
    if (!vm_ || version < 6) return false;
    try {
        avm1::Value fn = avm1::scriptObjectOf(*vm_, clip)->get(*vm_, "onUnload");
        return fn.object() && fn.object()->isCallable();
    } catch (const avm1::ScriptAbort&) {
        return false;
    } catch (const avm1::ScriptThrow&) {
        return false;
    }
}

void Runtime::parkUnloading(MovieClip* clip) {
    unloading_.push_back(clip->handle());
}

void Runtime::finishUnloading() {
    std::vector<std::weak_ptr<MovieClip*>> leaving;
    leaving.swap(unloading_);
    for (auto& h : leaving) {
        auto p = h.lock();
        if (!p || !*p) continue;
        MovieClip* clip = *p;
        MovieClip* parent = clip->parent ? clip->parent->asClip() : nullptr;
        if (!parent) continue;
        auto& list = parent->children();
        auto it = list.find(clip->depth);
        if (it != list.end() && it->second.get() == clip) list.erase(it);
    }
}

const std::vector<swf::Action>& Runtime::decodedClipAction(const swf::ClipAction& a) {
    auto it = clipActionCode_.find(&a);
    if (it != clipActionCode_.end()) return it->second;
    swf::ActionDecode d = swf::decodeActionsLenient(a.actions);
    if (d.error) log("clip event actions: " + d.error->describe());
    return clipActionCode_[&a] = std::move(d.actions);
}

namespace {

const char* eventMethod(uint32_t event) {
    switch (event) {
        case clip_event::Load:
            return "onLoad";
        case clip_event::EnterFrame:
            return "onEnterFrame";
        case clip_event::Unload:
            return "onUnload";
        case clip_event::MouseMove:
            return "onMouseMove";
        case clip_event::MouseDown:
            return "onMouseDown";
        case clip_event::MouseUp:
            return "onMouseUp";
        case clip_event::KeyDown:
            return "onKeyDown";
        case clip_event::KeyUp:
            return "onKeyUp";
        case clip_event::Data:
            return "onData";
        case clip_event::Press:
            return "onPress";
        case clip_event::Release:
            return "onRelease";
        case clip_event::ReleaseOutside:
            return "onReleaseOutside";
        case clip_event::RollOver:
            return "onRollOver";
        case clip_event::RollOut:
            return "onRollOut";
        case clip_event::DragOver:
            return "onDragOver";
        case clip_event::DragOut:
            return "onDragOut";
        default:
            return nullptr;
    }
}

}  // namespace

void Runtime::runEvent(MovieClip* clip, uint32_t event) {
    auto handle = clip->handle();
    int version = clip->movie() ? clip->movie()->info().version : 0;
    if (clip->clipActions) {
        for (const swf::ClipAction& a : clip->clipActions->records) {
            if (!(a.events & event)) continue;
            const auto& code = decodedClipAction(a);
            vm_->runBlock(avm1::ActionBlock{&code, 0, code.size(), version},
                          avm1::scriptObjectOf(*vm_, clip));
            auto alive = handle.lock();
            if (!alive || !*alive) return;
        }
    }
    const char* method = eventMethod(event);
    if (!method || version < 6) return;
    avm1::ClipObject* self = avm1::scriptObjectOf(*vm_, clip);
    avm1::Value fn = self->get(*vm_, method);
    if (fn.object() && fn.object()->isCallable()) vm_->callHandler(fn, avm1::Value(self));
}

void Runtime::callFrame(MovieClip* clip, int frame) {
    if (!vm_ || frame < 1 || frame > clip->frameCount()) return;
    int version = clip->movie() ? clip->movie()->info().version : 0;
    for (const swf::Tag* tag : clip->timeline().tagsOf(frame))
        if (const auto* da = std::get_if<swf::DoAction>(&tag->body)) {
            avm1::ActionBlock block{&da->records, 0, da->records.size(), version};
            vm_->runBlock(block, avm1::scriptObjectOf(*vm_, clip));
        }
}

void Runtime::runInitActions(MovieClip* root, const swf::DoInitAction* action) {
    if (!vm_ || !initDone_.insert(action).second) return;
    int version = root->movie() ? root->movie()->info().version : 0;
    queue_.push_back({root->handle(), &action->records, 0, version});
}

void Runtime::collectGarbage() {
    if (!vm_) return;
    std::vector<avm1::GcCell*> roots;
    std::vector<const DisplayList*> lists;
    for (const auto& [n, l] : stage_.levels()) {
        if (l.root->scriptObject) roots.push_back(l.root->scriptObject);
        lists.push_back(&l.root->children());
    }
    while (!lists.empty()) {
        const DisplayList* list = lists.back();
        lists.pop_back();
        for (const auto& [depth, obj] : *list) {
            if (obj->scriptObject) roots.push_back(obj->scriptObject);
            if (MovieClip* c = obj->asClip()) {
                lists.push_back(&c->children());
            } else if (obj->character() && obj->character()->kind == Character::Kind::Button) {
                lists.push_back(&static_cast<ButtonObject*>(obj.get())->children());
                lists.push_back(&static_cast<ButtonObject*>(obj.get())->hitArea());
            }
        }
    }
    vm_->collect(roots);
}

void Runtime::duplicateClip(avm1::ClipObject* source, const std::string& name, double depth) {
    MovieClip* src = source ? source->clip() : nullptr;
    if (!src || !src->parent || !src->parent->asClip() || !std::isfinite(depth)) return;
    src->parent->asClip()->duplicateChild(src, name, int(depth), *this);
}

void Runtime::removeClip(avm1::ClipObject* clip) {
    MovieClip* c = clip ? clip->clip() : nullptr;
    if (!c || !c->parent || !c->parent->asClip()) return;
    c->parent->asClip()->removeScriptChild(c, *this);
}

void Runtime::trace(const std::string& line) {
    if (traceHandler) traceHandler(line);
}

void Runtime::log(const std::string& line) {
    if (logLines.size() < 10000) logLines.push_back(line);
    if (logHandler) logHandler(line);
}

void Runtime::unsupported(const std::string& what) {
    if (reported_.insert(what).second) log("not supported yet: " + what);
}

namespace {

bool startsWithNoCase(const std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// "_level7" -> 7.
bool parseLevelTarget(const std::string& target, int& level) {
    if (!startsWithNoCase(target, "_level") || target.size() == 6 || target.size() > 11) return false;
    int n = 0;
    for (size_t i = 6; i < target.size(); ++i) {
        if (target[i] < '0' || target[i] > '9') return false;
        n = n * 10 + (target[i] - '0');
    }
    level = n;
    return true;
}

}  // namespace

void Runtime::getUrl(const std::string& url, const std::string& targetName, int method,
                     avm1::ClipObject* from) {
    const std::string& target = targetName;
    MovieClip* clip = from ? from->clip() : nullptr;
    std::string base = clip && clip->movie() ? clip->movie()->url() : "";
    // fscommand("cmd", "args") is stored as getURL("FSCommand:cmd", "args").
    if (startsWithNoCase(url, "FSCommand:")) {
        std::string command = url.substr(10);
        std::string lower = command;
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (lower == "quit" || lower == "exit") quitRequested = true;
        if (fsCommand) fsCommand(command, target);
        return;
    }
    bool loadVariables = method & 8;
    int level = -1;
    if (!loadVariables && parseLevelTarget(target, level)) {
        // getURL(url, "_levelN") is loadMovieNum: the movie replaces level N once this frame is over; an
        // empty url unloads the level.
        pendingLoads.push_back({level, url, base, {}});
        return;
    }
    if (loadVariables) {
        unsupported("loadVariables");
        return;
    }
    if (method & 4) {
        // loadMovie(url, target): the movie replaces the clip's content once this frame is over.
        avm1::ClipObject* dest = vm_ ? vm_->resolveTarget(from, target) : nullptr;
        MovieClip* tc = dest ? dest->clip() : nullptr;
        if (!tc) {
            log("loadMovie(\"" + url + "\", \"" + targetName + "\"): no such clip");
            return;
        }
        if (!tc->parent) {
            pendingLoads.push_back({tc->level, url, base, {}});
            return;
        }
        pendingLoads.push_back({-1, url, base, tc->handle()});
        return;
    }
    unsupported("getURL(\"" + url + "\", \"" + target + "\") opens nothing here");
}

double Runtime::timeMs() {
    return double(tick) * 1000.0 / frameRate;
}

bool Runtime::readLocalFile(const std::string& url, std::string& out) {
    Stage::Level* base = stage_.level(0);
    std::string baseUrl = base && base->movie ? base->movie->url() : "";
    std::string path, error;
    std::vector<uint8_t> bytes;
    if (!resolveLocalUrl(url, baseUrl, path, &error) || !readMovieFile(path, bytes, &error)) {
        log("loading \"" + url + "\": " + error);
        return false;
    }
    out.assign(bytes.begin(), bytes.end());
    return true;
}

avm1::ClipObject* Runtime::level(int n) {
    Stage::Level* l = stage_.level(n);
    if (!l || !vm_) return nullptr;
    return avm1::scriptObjectOf(*vm_, l->root.get());
}

void Runtime::stopAllSounds() {
    stage_.sound.stopAll();
}

}  // namespace player
