#include "player/core/input.h"

#include "player/avm1/builtins/focus.h"
#include "player/avm1/clip_object.h"
#include "player/core/hit_test.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/stage.h"

namespace player {

namespace {

DisplayObject* alive(const std::weak_ptr<DisplayObject*>& token) {
    auto p = token.lock();
    return p ? *p : nullptr;
}

bool isButton(const DisplayObject* obj) {
    return obj->character() && obj->character()->kind == Character::Kind::Button;
}

constexpr uint32_t kMouseClipEvents = clip_event::Press | clip_event::Release | clip_event::ReleaseOutside |
                                      clip_event::RollOver | clip_event::RollOut | clip_event::DragOver |
                                      clip_event::DragOut;

}  // namespace

void Input::reset() {
    hover_.reset();
    pressed_.reset();
    down_ = false;
}

bool Input::interactive(DisplayObject* obj) const {
    if (isButton(obj)) return static_cast<ButtonObject*>(obj)->enabled;
    MovieClip* clip = obj->asClip();
    if (!clip || clip->unloading) return false;
    if (clip->clipActions && (clip->clipActions->allEvents & kMouseClipEvents)) return true;
    avm1::Vm* vm = stage_.runtime.vm();
    int version = clip->movie() ? clip->movie()->info().version : 0;
    if (!vm || version < 6 || !clip->scriptObject) return false;
    try {
        avm1::Object* self = clip->scriptObject;
        if (!vm->toBoolean(self->get(*vm, "enabled")) && !self->get(*vm, "enabled").isUndefined())
            return false;
        for (const char* m : {"onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut",
                              "onDragOver", "onDragOut"}) {
            avm1::Value fn = self->get(*vm, m);
            if (fn.object() && fn.object()->isCallable()) return true;
        }
    } catch (const avm1::ScriptAbort&) {
    } catch (const avm1::ScriptThrow&) {
    }
    return false;
}

DisplayObject* Input::pickIn(const DisplayList& list, int nesting) const {
    if (nesting > 64) return nullptr;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        DisplayObject* obj = it->second.get();
        if (!obj->visible || obj->clipDepth) continue;
        if (isButton(obj)) {
            auto* b = static_cast<ButtonObject*>(obj);
            for (const auto& [d, area] : b->hitArea())
                if (hitsShape(area.get(), x_, y_)) return b->enabled ? obj : nullptr;
            continue;
        }
        MovieClip* clip = obj->asClip();
        if (!clip) continue;
        if (interactive(clip)) {
            if (hitsShape(clip, x_, y_)) return clip;
            continue;
        }
        if (DisplayObject* found = pickIn(clip->children(), nesting + 1)) return found;
    }
    return nullptr;
}

DisplayObject* Input::pick() const {
    const auto& levels = stage_.levels();
    for (auto it = levels.rbegin(); it != levels.rend(); ++it)
        if (DisplayObject* found = pickIn(it->second.root->children(), 0)) return found;
    return nullptr;
}

bool Input::overHand() const {
    DisplayObject* h = alive(hover_);
    if (!h) return false;
    if (isButton(h)) return static_cast<ButtonObject*>(h)->useHandCursor;
    avm1::Vm* vm = stage_.runtime.vm();
    if (!vm || !h->scriptObject) return true;
    try {
        avm1::Value v = h->scriptObject->get(*vm, "useHandCursor");
        return v.isUndefined() || vm->toBoolean(v);
    } catch (...) {
        return true;
    }
}

void Input::setButtonState(DisplayObject* obj, int state) {
    if (!obj || !isButton(obj)) return;
    static_cast<ButtonObject*>(obj)->setState(ButtonObject::State(state), stage_.runtime);
}

void Input::transition(DisplayObject* target, uint16_t condition, uint32_t clipEvent) {
    if (!target) return;
    Runtime& rt = stage_.runtime;
    if (isButton(target)) {
        rt.queueButtonActions(static_cast<ButtonObject*>(target), condition, clipEvent);
        return;
    }
    if (MovieClip* clip = target->asClip()) rt.queueEvent(clip, clipEvent);
}

void Input::broadcast(uint32_t clipEvent, const char* listenerMethod, const char* listener) {
    Runtime& rt = stage_.runtime;
    if (!rt.vm()) return;
    // Clips with the event's handler, then the listeners of the Mouse or Key object.
    std::vector<MovieClip*> clips;
    std::vector<const DisplayList*> lists;
    for (const auto& [n, l] : stage_.levels()) {
        clips.push_back(l.root.get());
        lists.push_back(&l.root->children());
    }
    for (size_t i = 0; i < lists.size() && clips.size() < Runtime::kMaxDisplayObjects; ++i)
        for (auto it = lists[i]->rbegin(); it != lists[i]->rend(); ++it)
            if (MovieClip* c = it->second->asClip()) {
                clips.push_back(c);
                lists.push_back(&c->children());
            }
    for (MovieClip* c : clips)
        if (!c->unloading) rt.queueEvent(c, clipEvent);
    rt.queueBroadcast(listener, listenerMethod);
}

void Input::runScripts() {
    Runtime& rt = stage_.runtime;
    if (rt.vm()) rt.vm()->budget = 0;
    rt.runQueuedActions();
}

void Input::mouseMove(double x, double y) {
    x_ = x;
    y_ = y;
    stage_.runtime.mouseX = x;
    stage_.runtime.mouseY = y;
    stage_.runtime.followDrag();
    broadcast(clip_event::MouseMove, "onMouseMove", "Mouse");
    DisplayObject* now = pick();
    DisplayObject* before = alive(hover_);
    DisplayObject* pressed = alive(pressed_);
    if (now != before) {
        if (down_ && pressed) {
            // While the button is held only the pressed object hears the mouse leave and come back.
            if (before == pressed) {
                setButtonState(pressed, int(ButtonObject::State::Over));
                transition(pressed, OverDownToOutDown, clip_event::DragOut);
            } else if (now == pressed) {
                setButtonState(pressed, int(ButtonObject::State::Down));
                transition(pressed, OutDownToOverDown, clip_event::DragOver);
            }
        } else if (!down_) {
            if (before) {
                setButtonState(before, int(ButtonObject::State::Up));
                transition(before, OverUpToIdle, clip_event::RollOut);
            }
            if (now) {
                setButtonState(now, int(ButtonObject::State::Over));
                transition(now, IdleToOverUp, clip_event::RollOver);
            }
        }
        hover_ = now ? now->token() : std::weak_ptr<DisplayObject*>();
    }
    runScripts();
}

void Input::mouseDown() {
    if (down_) return;
    down_ = true;
    broadcast(clip_event::MouseDown, "onMouseDown", "Mouse");
    DisplayObject* now = pick();
    hover_ = now ? now->token() : std::weak_ptr<DisplayObject*>();
    pressed_ = hover_;
    if (now) {
        setButtonState(now, int(ButtonObject::State::Down));
        transition(now, OverUpToOverDown, clip_event::Press);
    }
    runScripts();
}

void Input::mouseUp() {
    if (!down_) return;
    down_ = false;
    broadcast(clip_event::MouseUp, "onMouseUp", "Mouse");
    DisplayObject* pressed = alive(pressed_);
    DisplayObject* now = pick();
    pressed_.reset();
    if (pressed) {
        if (pressed == now) {
            setButtonState(pressed, int(ButtonObject::State::Over));
            transition(pressed, OverDownToOverUp, clip_event::Release);
        } else {
            setButtonState(pressed, int(ButtonObject::State::Up));
            transition(pressed, OutDownToIdle, clip_event::ReleaseOutside);
        }
    }
    if (now && now != pressed) {
        setButtonState(now, int(ButtonObject::State::Over));
        transition(now, IdleToOverUp, clip_event::RollOver);
    }
    hover_ = now ? now->token() : std::weak_ptr<DisplayObject*>();
    runScripts();
}

void Input::keyDown(int keyCode, int ascii) {
    Runtime& rt = stage_.runtime;
    if (avm1::Vm* vm = rt.vm()) {
        vm->keysDown.insert(keyCode);
        vm->lastKeyCode = keyCode;
        vm->lastAscii = ascii;
    }
    broadcast(clip_event::KeyDown, "onKeyDown", "Key");
    rt.queueKeyPress(keyCode, ascii);
    runScripts();
    // Tab moves the focus once the key's listeners have heard it.
    if (avm1::Vm* vm = rt.vm(); vm && keyCode == 9) {
        std::vector<MovieClip*> roots;
        for (const auto& [n, l] : stage_.levels())
            roots.push_back(l.root.get());
        try {
            avm1::tabFocus(*vm, roots, vm->keysDown.count(16) > 0);
        } catch (const avm1::ScriptAbort&) {
        } catch (const avm1::ScriptThrow&) {
        }
        runScripts();
    }
}

void Input::keyUp(int keyCode, int ascii) {
    Runtime& rt = stage_.runtime;
    if (avm1::Vm* vm = rt.vm()) {
        vm->keysDown.erase(keyCode);
        vm->lastKeyCode = keyCode;
        vm->lastAscii = ascii;
    }
    broadcast(clip_event::KeyUp, "onKeyUp", "Key");
    runScripts();
}

}  // namespace player
