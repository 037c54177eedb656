#include "player/core/runtime.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "player/avm1/clip_object.h"
#include "player/core/bounds.h"
#include "player/core/edit_text.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/movie_file.h"
#include "player/core/stage.h"

namespace player {

namespace {
// The on<Event> method a clip event calls (onPress...), or null.
const char* eventMethod(uint32_t event);
}  // namespace

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
    // (a button's hit area is never seen and takes no number; nor do text fields: the reference traces
    // number the clips around them without gaps).
    Placement named = p;
    if (named.name.empty() && c->kind != Character::Kind::Font && c->kind != Character::Kind::EditText &&
        giveName)
        named.name = "instance" + std::to_string(++instanceCounter);
    // A character imported from a shared library lives in that library's dictionary.
    return make(movie->ownerOf(p.characterId), named, c, parent);
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
            if (clip->clipActions && (clip->clipActions->allEvents & clip_event::Construct))
                queueEvent(clip.get(), clip_event::Construct);
            // The load event comes before the first frame's actions, a parent's before its children's.
            if (vm_) queueEvent(clip.get(), clip_event::Load);
            ++nesting;
            clip->initialize(*this);
            --nesting;
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
        case Character::Kind::EditText: {
            auto field = std::make_unique<EditText>(movie, static_cast<const EditTextCharacter*>(c));
            field->track(&liveObjects);
            field->parent = parent;
            field->name = p.name;
            if (!field->variable.empty()) {
                bindField(field.get());
                updateBoundField(*field);
            }
            field->applyAutoSize();
            return field;
        }
        default: {
            auto obj = std::make_unique<DisplayObject>(movie, c);
            obj->track(&liveObjects);
            obj->parent = parent;
            obj->name = p.name;
            return obj;
        }
    }
}

void Runtime::bindField(EditText* field) {
    boundFields_.push_back(field->handle());
}

void Runtime::updateBoundFields() {
    size_t kept = 0;
    for (size_t i = 0; i < boundFields_.size(); ++i) {
        auto p = boundFields_[i].lock();
        if (!p || !*p) continue;
        boundFields_[kept++] = boundFields_[i];
        updateBoundField(**p);
    }
    boundFields_.resize(kept);
}

void Runtime::updateBoundField(EditText& target) {
    if (!vm_ || target.variable.empty()) return;
    MovieClip* owner = target.parent ? target.parent->asClip() : nullptr;
    if (!owner) return;
    avm1::Vm& vm = *vm_;
    // Reading the variable may run script (getters, valueOf) that removes the field: it is looked at
    // again through its handle after each such step.
    const std::shared_ptr<EditText*> alive = target.handle().lock();
    auto field = [&]() { return alive ? *alive : nullptr; };
    try {
        // "a.b.c", "/a/b:c" and "_root.c": the variable is the last name, in the object the rest names.
        const std::string path = target.variable;
        const size_t split = path.find_last_of(".:");
        avm1::ClipObject* base = avm1::scriptObjectOf(vm, owner);
        avm1::Object* holder = base;
        std::string name = path;
        if (split != std::string::npos) {
            holder = vm.resolvePath(base, path.substr(0, split));
            name = path.substr(split + 1);
        }
        if (!holder || name.empty() || !field()) return;
        avm1::Value v = holder->get(vm, name);
        if (!field()) return;
        if (v.isUndefined()) {
            // A new binding gives an undefined variable the field's text (an empty field leaves it).
            const bool seed = !field()->boundOnce && field()->length() > 0;
            field()->boundOnce = true;
            if (seed) holder->set(vm, name, avm1::Value(field()->text()));
            return;
        }
        field()->boundOnce = true;
        std::string s = vm.toString(v);
        EditText* f = field();
        if (!f) return;
        if (s == f->boundValue && !f->boundValue.empty()) return;
        if (s == f->text() && f->boundValue.empty()) {
            f->boundValue = s;
            return;
        }
        f->boundValue = s;
        if (f->html)
            f->setHtmlText(s);
        else
            f->setText(s);
        f->applyAutoSize();
    } catch (const avm1::ScriptAbort& a) {
        unsupported(a.reason + " (reading a text field's variable)");
    } catch (const avm1::ScriptThrow&) {
        log("script error while reading the variable of a text field");
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
        constructAt_ = std::max(constructAt_ + 1, initAt_);
        if (unloadAt_ != size_t(-1) && unloadAt_ >= at) ++unloadAt_;
        return;
    }
    if (event == clip_event::Construct) {
        size_t at = std::min(std::max({next_, initAt_, constructAt_}), queue_.size());
        queue_.insert(queue_.begin() + long(at), {clip->handle(), nullptr, event, 0});
        constructAt_ = at + 1;
        if (unloadAt_ != size_t(-1) && unloadAt_ >= at) ++unloadAt_;
        return;
    }
    if (event == clip_event::Unload && unloadAt_ != size_t(-1)) {
        size_t at = std::min(std::max(next_, unloadAt_), queue_.size());
        queue_.insert(queue_.begin() + long(at), {clip->handle(), nullptr, event, 0});
        unloadAt_ = at + 1;
        return;
    }
    queue_.push_back({clip->handle(), nullptr, event, 0});
}

void Runtime::startScripts(int swfVersion, double rate, int maxRecursion) {
    frameRate = rate > 0 ? rate : 12;
    if (!vm_) {
        vm_ = std::make_unique<avm1::Vm>(*this, swfVersion);
        vm_->actionsPerFrame = actionLimit;
        vm_->maxCallDepth = maxRecursion;
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
            if (q.call) {
                q.call();
            } else if (q.broadcaster) {
                avm1::Value b = vm_->global->get(*vm_, q.broadcaster);
                std::vector<avm1::Value> args{avm1::Value(std::string(q.method))};
                if (b.object()) vm_->callMethod(b, "broadcastMessage", args);
            } else if (q.button.lock()) {
                DisplayObject* b = *q.button.lock();
                const char* method = b ? eventMethod(q.event) : nullptr;
                avm1::ClipObject* self = method ? avm1::scriptObjectOf(*vm_, b) : nullptr;
                avm1::Value fn = self ? self->get(*vm_, method) : avm1::Value();
                if (fn.object() && fn.object()->isCallable()) vm_->callHandler(fn, avm1::Value(self));
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
    next_ = initAt_ = constructAt_ = 0;
    finishUnloading();
}

const std::vector<swf::Action>& Runtime::decodedButtonAction(const swf::ButtonCondAction& a, int version) {
    auto it = buttonActionCode_.find(&a);
    if (it != buttonActionCode_.end()) return it->second;
    swf::ActionDecode d =
        swf::decodeActionsLenient(a.actions, swf::kMaxActionsPerBlock, version > 0 && version < 6);
    if (d.error) log("button actions: " + d.error->describe());
    return buttonActionCode_[&a] = std::move(d.actions);
}

void Runtime::queueButtonActions(ButtonObject* button, uint16_t condition, uint32_t event) {
    MovieClip* parent = button->parent ? button->parent->asClip() : nullptr;
    if (!vm_ || !parent) return;
    int version = button->movie() ? button->movie()->info().version : 0;
    for (const swf::ButtonCondAction& a : button->button().def->actions)
        if (a.conditions & condition & 0x1FF)
            queue_.push_back({parent->handle(), &decodedButtonAction(a, version), 0, version});
    if (version >= 6 && event) {
        Queued q{parent->handle(), nullptr, event, version};
        q.button = button->token();
        queue_.push_back(std::move(q));
    }
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
                queue_.push_back({parent->handle(), &decodedButtonAction(a, version), 0, version});
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

const std::vector<swf::Action>& Runtime::decodedClipAction(const swf::ClipAction& a, int version) {
    auto it = clipActionCode_.find(&a);
    if (it != clipActionCode_.end()) return it->second;
    swf::ActionDecode d =
        swf::decodeActionsLenient(a.actions, swf::kMaxActionsPerBlock, version > 0 && version < 6);
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

void Runtime::constructNow(MovieClip* clip) {
    if (!vm_) return;
    bool queued = false;
    for (size_t i = next_; i < queue_.size(); ++i) {
        Queued& q = queue_[i];
        if (q.event != clip_event::Construct || q.records || q.call || q.broadcaster) continue;
        auto p = q.clip.lock();
        if (p && *p == clip) {
            q.event = 0;  // left in place so the queue's positions stay as they are
            queued = true;
        }
    }
    if (queued) runEvent(clip, clip_event::Construct);
}

void Runtime::runEvent(MovieClip* clip, uint32_t event) {
    auto handle = clip->handle();
    int version = clip->movie() ? clip->movie()->info().version : 0;
    if (clip->clipActions) {
        for (const swf::ClipAction& a : clip->clipActions->records) {
            if (!(a.events & event)) continue;
            const auto& code = decodedClipAction(a, version);
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
    if (MovieClip* made = src->parent->asClip()->duplicateChild(src, name, int(depth), *this))
        constructNow(made);
}

void Runtime::removeClip(avm1::ClipObject* clip) {
    // Text fields and buttons go the same way as clips.
    DisplayObject* c = clip ? clip->display() : nullptr;
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
        pendingLoads.push_back({level, url, base, {}, nullptr});
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
            pendingLoads.push_back({tc->level, url, base, {}, nullptr});
            return;
        }
        pendingLoads.push_back({-1, url, base, tc->handle(), nullptr});
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

void Runtime::loadClip(const std::string& url, int level, avm1::ClipObject* clip, avm1::Object* loader,
                       avm1::ClipObject* from) {
    MovieClip* fromClip = from ? from->clip() : nullptr;
    std::string base = fromClip && fromClip->movie() ? fromClip->movie()->url() : "";
    MovieClip* target = clip ? clip->clip() : nullptr;
    if (target && !target->parent) {
        level = target->level;
        target = nullptr;
    }
    if (level < 0 && !target) return;
    if (loader && vm_) vm_->persistentRoots.push_back(avm1::Value(loader));
    pendingLoads.push_back(
        {level, url, base, target ? target->handle() : std::weak_ptr<MovieClip*>(), loader});
}

void Runtime::unroot(avm1::Object* o) {
    auto& roots = vm_->persistentRoots;
    for (auto it = roots.begin(); it != roots.end(); ++it)
        if (it->object() == o) {
            roots.erase(it);
            return;
        }
}

void Runtime::reportLoad(avm1::Object* loader, MovieClip* target, size_t bytes, const std::string& error) {
    if (!loader || !vm_) return;
    unroot(loader);
    auto tell = [this, loader](std::vector<avm1::Value> args) {
        try {
            vm_->callMethod(avm1::Value(loader), "broadcastMessage", args);
        } catch (const avm1::ScriptAbort& a) {
            unsupported(a.reason + " (the script was cut off)");
        } catch (const avm1::ScriptThrow&) {
            log("script error not caught in a MovieClipLoader listener");
        }
    };
    avm1::Value t = target ? avm1::Value(avm1::scriptObjectOf(*vm_, target)) : avm1::Value();
    if (!target) {
        log("MovieClipLoader: " + error);
        tell({avm1::Value(std::string("onLoadError")), t, avm1::Value(std::string("URLNotFound")),
              avm1::Value(0)});
        return;
    }
    double n = double(bytes);
    tell({avm1::Value(std::string("onLoadStart")), t});
    tell({avm1::Value(std::string("onLoadProgress")), t, avm1::Value(n), avm1::Value(n)});
    tell({avm1::Value(std::string("onLoadComplete")), t, avm1::Value(0)});
    // onLoadInit comes once the movie's first frame has run its actions; the listener stays reachable
    // through the queued call until then.
    vm_->persistentRoots.push_back(avm1::Value(loader));
    Stage::Level* base = stage_.level(0);
    Queued q{base ? base->root->handle() : target->handle(), nullptr, 0, 0};
    q.call = [this, loader, tell, handle = target->handle()] {
        unroot(loader);
        auto p = handle.lock();
        if (p && *p)
            tell({avm1::Value(std::string("onLoadInit")), avm1::Value(avm1::scriptObjectOf(*vm_, *p))});
    };
    queue_.push_back(std::move(q));
}

avm1::ClipObject* Runtime::level(int n) {
    Stage::Level* l = stage_.level(n);
    if (!l || !vm_) return nullptr;
    return avm1::scriptObjectOf(*vm_, l->root.get());
}

void Runtime::startDrag(avm1::ClipObject* clip, bool lockCenter, const double* bounds) {
    MovieClip* c = clip ? clip->clip() : nullptr;
    if (!c || !c->parent) return;
    drag_ = {};
    drag_.clip = c->handle();
    if (!lockCenter) {
        double mx, my;
        worldMatrix(c->parent).inverted().apply(mouseX, mouseY, mx, my);
        drag_.offsetX = c->matrix.tx - mx;
        drag_.offsetY = c->matrix.ty - my;
    }
    if (bounds) {
        drag_.bounded = true;
        drag_.left = std::min(bounds[0], bounds[2]) * 20;
        drag_.right = std::max(bounds[0], bounds[2]) * 20;
        drag_.top = std::min(bounds[1], bounds[3]) * 20;
        drag_.bottom = std::max(bounds[1], bounds[3]) * 20;
    }
    followDrag();
}

void Runtime::followDrag() {
    auto p = drag_.clip.lock();
    MovieClip* c = p ? *p : nullptr;
    if (!c || !c->parent) return;
    double x, y;
    worldMatrix(c->parent).inverted().apply(mouseX, mouseY, x, y);
    x += drag_.offsetX;
    y += drag_.offsetY;
    if (drag_.bounded) {
        x = std::clamp(x, drag_.left, drag_.right);
        y = std::clamp(y, drag_.top, drag_.bottom);
    }
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    c->matrix.tx = std::round(x);
    c->matrix.ty = std::round(y);
    c->scriptTransformed = true;
}

void Runtime::stopAllSounds() {
    stage_.sound.stopAll();
}

}  // namespace player
