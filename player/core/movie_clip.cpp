#include "player/core/movie_clip.h"

#include <algorithm>
#include <cctype>

#include "player/core/movie_def.h"
#include "player/core/runtime.h"
#include "player/core/stage.h"
#include "player/core/style_paint.h"

namespace player {

MovieClip::MovieClip(const MovieDef* movie, const Character* character, const Timeline* timeline)
    : DisplayObject(movie, character), timeline_(timeline), self_(std::make_shared<MovieClip*>(this)) {}

MovieClip::~MovieClip() {
    *self_ = nullptr;
}

void MovieClip::initialize(Runtime& rt) {
    tickCreated_ = rt.tick;
    currentFrame_ = 1;
    applyFrameTags(1, true, rt);
    syncDisplayList(rt);
}

void MovieClip::advance(Runtime& rt) {
    // Children placed during this tick start next tick. Those already there move on before their parent, so
    // their enterFrame events and frame actions come first, as in Flash Player.
    // Advance a snapshot of the children: actions and tags may change the list while it runs.
    // Newest clips move on first.
    std::vector<std::pair<uint64_t, std::weak_ptr<MovieClip*>>> clips;
    std::vector<ButtonObject*> buttons;
    for (auto& [depth, obj] : children_) {
        if (MovieClip* c = obj->asClip()) {
            if (c->tickCreated_ != rt.tick && !c->unloading) clips.emplace_back(c->born, c->handle());
        } else if (obj->character() && obj->character()->kind == Character::Kind::Button) {
            buttons.push_back(static_cast<ButtonObject*>(obj.get()));
        }
    }
    for (ButtonObject* b : buttons)
        b->advance(rt);
    std::sort(clips.begin(), clips.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [born, h] : clips)
        if (auto p = h.lock(); p && *p) (*p)->advance(rt);
    if (rt.vm()) rt.queueEvent(this, clip_event::EnterFrame);
    if (playing && frameCount() > 1) {
        int next = currentFrame_ + 1;
        if (next > frameCount()) {
            gotoFrame(1, rt);
        } else {
            currentFrame_ = next;
            size_t start = rt.frameActionsStart();
            applyFrameTags(next, true, rt);
            rt.unloadsAt(start);
            syncDisplayList(rt);
            rt.unloadsAt(size_t(-1));
        }
    }
}

void MovieClip::gotoFrame(int frame, Runtime& rt) {
    frame = std::clamp(frame, 1, frameCount());
    if (rt.gotoDepth >= Runtime::kMaxGotoDepth) return;
    ++rt.gotoDepth;
    if (frame < currentFrame_ || currentFrame_ == 0) {
        // Going back: the timeline is replayed from its first frame, and the objects that the replay places
        // again (same placement) are kept with their state; the rest go.
        placements_.clear();
        for (int f = 1; f < frame; ++f)
            applyFrameTags(f, false, rt);
    } else {
        for (int f = currentFrame_ + 1; f < frame; ++f)
            applyFrameTags(f, false, rt);
    }
    if (frame != currentFrame_) {
        currentFrame_ = frame;
        applyFrameTags(frame, true, rt);
        syncDisplayList(rt);
    }
    --rt.gotoDepth;
}

void MovieClip::applyFrameTags(int frame, bool runActions, Runtime& rt) {
    // A frame's init actions (the classes and symbols it defines) run before its other actions, wherever
    // the tags stand.
    for (const swf::Tag* tag : timeline_->tagsOf(frame))
        if (const auto* ia = std::get_if<swf::DoInitAction>(&tag->body)) rt.runInitActions(this, ia);
    int index = 0;
    for (const swf::Tag* tag : timeline_->tagsOf(frame)) {
        ++index;
        if (const auto* po = std::get_if<swf::PlaceObject>(&tag->body)) {
            int depth = po->depth;
            auto it = placements_.find(depth);
            bool exists = it != placements_.end();
            if (po->version == 1) {
                // PlaceObject (1) always places a new character.
                Placement p;
                p.characterId = po->characterId.value_or(0);
                p.serial = (uint64_t(frame) << 20) | uint64_t(index);
                if (po->matrix) p.matrix = toMatrix(*po->matrix);
                if (po->cxform) p.cxform = toColorTransform(*po->cxform);
                placements_[depth] = p;
                continue;
            }
            if (!po->move && exists) {
                // A new placement on an occupied depth is refused by Flash Player for movies of SWF 6 and
                // later; older movies get the new object, and the old one goes without an unload event.
                if (!po->characterId || movie_->info().version >= 6) continue;
                auto child = children_.find(depth);
                if (child != children_.end() && !child->second->scriptCreated) children_.erase(child);
            }
            if (po->move && !exists) continue;  // nothing to modify
            Placement& p = placements_[depth];
            if (!po->move) p = Placement{};
            if (po->characterId) {
                if (!po->move) {
                    p.characterId = *po->characterId;
                    p.serial = (uint64_t(frame) << 20) | uint64_t(index);
                } else if (canReplace(p.characterId, *po->characterId)) {
                    // Replacing keeps the object (and its serial): only its character changes.
                    p.characterId = *po->characterId;
                }
            }
            if (po->matrix) p.matrix = toMatrix(*po->matrix);
            if (po->cxform) p.cxform = toColorTransform(*po->cxform);
            if (po->ratio) p.ratio = *po->ratio;
            if (po->name) p.name = *po->name;
            if (po->clipDepth) p.clipDepth = *po->clipDepth;
            if (po->visible) p.visible = *po->visible;
            if (po->blendMode) p.blendMode = *po->blendMode;
            if (po->filters) {
                p.filters.clear();
                for (const swf::Filter& f : *po->filters) {
                    swf::Result<swf::FilterParams> decoded = swf::decodeFilter(f);
                    if (decoded)
                        p.filters.push_back(std::move(*decoded));
                    else
                        rt.log("filter skipped: " + decoded.error().describe());
                }
            }
            if (po->cacheAsBitmap) p.cacheAsBitmap = *po->cacheAsBitmap;
            if (po->backgroundColor)
                p.opaqueBackground = Rgba{po->backgroundColor->r, po->backgroundColor->g,
                                          po->backgroundColor->b, po->backgroundColor->a};
            if (po->clipActions) p.clipActions = &*po->clipActions;
        } else if (const auto* ro = std::get_if<swf::RemoveObject>(&tag->body)) {
            placements_.erase(ro->depth);
        } else if (const auto* da = std::get_if<swf::DoAction>(&tag->body)) {
            if (runActions) rt.queueActions(this, da);
        } else if (const auto* ss = std::get_if<swf::StartSound>(&tag->body)) {
            if (runActions) rt.stage().sound.startTag(movie_, *ss, static_cast<const DisplayObject*>(this));
        } else if (const auto* bg = std::get_if<swf::SetBackgroundColor>(&tag->body)) {
            if (!rt.stageBackground)
                rt.stageBackground =
                    (uint32_t(bg->color.r) << 16) | (uint32_t(bg->color.g) << 8) | bg->color.b;
        }
    }
    // The frame is shown: its stream sound plays from here.
    if (runActions)
        rt.stage().sound.timelineFrame(*timeline_, frame, static_cast<const DisplayObject*>(this), self_,
                                       rt.tick);
}

bool MovieClip::canReplace(uint16_t oldId, uint16_t newId) const {
    // Flash Player swaps the character of a placed object only between graphics of one kind (shape for
    // shape, morph for morph, text for text); a sprite or button stays what it is.
    const Character* a = movie_->character(oldId);
    const Character* b = movie_->character(newId);
    if (!a || !b || a->kind != b->kind) return false;
    return a->kind == Character::Kind::Shape || a->kind == Character::Kind::MorphShape ||
           a->kind == Character::Kind::Text || a->kind == Character::Kind::Bitmap;
}

void MovieClip::syncDisplayList(Runtime& rt) {
    // Objects whose placement is gone, or was replaced by another placement, leave the list.
    std::vector<int> leaving;
    for (const auto& [depth, obj] : children_) {
        if (obj->scriptCreated) continue;
        auto p = placements_.find(depth);
        if (p == placements_.end() || p->second.serial != obj->serial) leaving.push_back(depth);
    }
    for (int depth : leaving)
        removeChildAt(depth, rt);
    // New objects are made in the order their tags stand (which sets the order their scripts run in).
    std::vector<std::pair<int, const Placement*>> order;
    order.reserve(placements_.size());
    for (const auto& [depth, p] : placements_)
        order.emplace_back(depth, &p);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second->serial < b.second->serial; });
    for (const auto& [depth, pp] : order) {
        const Placement& p = *pp;
        auto it = children_.find(depth);
        DisplayObject* obj = nullptr;
        if (it != children_.end() && it->second->scriptCreated) continue;
        if (it == children_.end()) {
            std::unique_ptr<DisplayObject> created = rt.instantiate(movie_, p, this);
            if (!created) continue;
            created->depth = depth;
            created->serial = p.serial;
            obj = created.get();
            children_[depth] = std::move(created);
        } else {
            obj = it->second.get();
            if (obj->character() && obj->character()->id != p.characterId)
                if (const Character* c = movie_->character(p.characterId)) obj->setCharacter(c);
        }
        if (!obj->scriptTransformed) {
            obj->matrix = p.matrix;
            obj->cxform = p.cxform;
        }
        obj->ratio = p.ratio;
        if (!obj->scriptObject && !p.name.empty()) obj->name = p.name;
        obj->clipDepth = p.clipDepth;
        obj->visible = p.visible;
        obj->filters = p.filters;
        obj->blendMode = p.blendMode.value_or(0);
        obj->cacheAsBitmap = p.cacheAsBitmap;
        obj->opaqueBackground = p.opaqueBackground;
    }
}

DisplayObject* MovieClip::childByName(const std::string& name, bool caseSensitive, bool buttons) const {
    auto same = [&](const std::string& n) {
        if (n.size() != name.size()) return false;
        if (caseSensitive) return n == name;
        for (size_t i = 0; i < n.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(n[i])) !=
                std::tolower(static_cast<unsigned char>(name[i])))
                return false;
        return true;
    };
    for (const auto& [depth, obj] : children_) {
        bool scriptable = obj->asClip() ||
                          (buttons && obj->character() && obj->character()->kind == Character::Kind::Button);
        if (scriptable && same(obj->name)) return obj.get();
    }
    return nullptr;
}

void MovieClip::insertChild(int depth, std::unique_ptr<DisplayObject> obj) {
    obj->depth = depth;
    obj->parent = this;
    obj->scriptCreated = true;
    placements_.erase(depth);
    children_[depth] = std::move(obj);
}

MovieClip* MovieClip::duplicateChild(MovieClip* child, const std::string& name, int depth, Runtime& rt) {
    Placement p;
    p.characterId = child->character() ? child->character()->id : 0;
    p.matrix = child->matrix;
    p.cxform = child->cxform;
    p.name = name;
    p.clipActions = child->clipActions;
    std::unique_ptr<DisplayObject> created;
    if (!child->character()) {
        created = std::make_unique<MovieClip>(movie_, nullptr, &emptyTimeline());
        created->track(&rt.liveObjects);
        created->name = name;
        created->matrix = p.matrix;
        created->cxform = p.cxform;
        created->parent = this;
        created->asClip()->initialize(rt);
    } else {
        created = rt.instantiate(child->movie(), p, this);
    }
    if (!created) return nullptr;
    created->visible = child->visible;
    MovieClip* c = created->asClip();
    insertChild(depth + kScriptDepthOffset, std::move(created));
    return c;
}

MovieClip* MovieClip::attachChild(const Character* character, const std::string& name, int depth,
                                  Runtime& rt) {
    std::unique_ptr<DisplayObject> created;
    if (!character) {
        created = std::make_unique<MovieClip>(movie_, nullptr, &emptyTimeline());
        created->track(&rt.liveObjects);
        created->name = name;
        created->parent = this;
        created->asClip()->initialize(rt);
    } else {
        Placement p;
        p.characterId = character->id;
        p.name = name;
        created = rt.instantiate(movie_, p, this);
    }
    if (!created || !created->asClip()) return nullptr;
    MovieClip* c = created->asClip();
    insertChild(depth + kScriptDepthOffset, std::move(created));
    return c;
}

void MovieClip::swapChildDepth(DisplayObject* child, int depth) {
    int from = child->depth;
    if (from == depth) return;
    auto it = children_.find(from);
    if (it == children_.end() || it->second.get() != child) return;
    std::unique_ptr<DisplayObject> moving = std::move(it->second);
    children_.erase(it);
    auto other = children_.find(depth);
    if (other != children_.end()) {
        std::unique_ptr<DisplayObject> displaced = std::move(other->second);
        children_.erase(other);
        displaced->depth = from;
        displaced->scriptCreated = true;
        children_[from] = std::move(displaced);
    }
    // A clip moved by script leaves the timeline's control.
    placements_.erase(from);
    placements_.erase(depth);
    moving->depth = depth;
    moving->scriptCreated = true;
    children_[depth] = std::move(moving);
}

void MovieClip::unloadContent() {
    children_.clear();
    placements_.clear();
    drawing.reset();
    timeline_ = &emptyTimeline();
    currentFrame_ = 1;
    // Its variables go with it: scripts see a fresh object.
    scriptObject = nullptr;
}

void MovieClip::loadMovie(const MovieDef* movie, Runtime& rt) {
    unloadContent();
    movie_ = movie;
    character_ = nullptr;
    timeline_ = &movie->rootTimeline();
    currentFrame_ = 0;
    playing = true;
    initialize(rt);
}

bool MovieClip::removeScriptChild(DisplayObject* child, Runtime& rt) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->second.get() != child) continue;
        // Nothing leaves a clip that is itself on its way out.
        // removeMovieClip takes clips at script depths 0 to 1048575 only (to 2130690031 from SWF 8).
        int limit = movie_ && movie_->info().version >= 8 ? 2130690032 : 1048576;
        if (it->first < kScriptDepthOffset || it->first - kScriptDepthOffset >= limit || unloading)
            return false;
        placements_.erase(it->first);
        removeChildAt(it->first, rt);
        return true;
    }
    return false;
}

void MovieClip::removeChildAt(int depth, Runtime& rt) {
    auto it = children_.find(depth);
    if (it == children_.end()) return;
    MovieClip* clip = it->second->asClip();
    if (!clip || clip->unloading || !rt.vm() || !clip->prepareUnload(rt)) {
        if (!clip || !clip->unloading) children_.erase(it);
        return;
    }
    // Script depth d goes to -32769 - d.
    int scriptDepth = depth - kScriptDepthOffset;
    int parked = -32769 - scriptDepth + kScriptDepthOffset;
    std::unique_ptr<DisplayObject> obj = std::move(it->second);
    children_.erase(it);
    if (children_.count(parked)) {
        // Only a clip parked before could be there; it goes now.
        children_.erase(parked);
    }
    obj->depth = parked;
    obj->scriptCreated = true;
    children_[parked] = std::move(obj);
    rt.parkUnloading(clip);
}

bool MovieClip::prepareUnload(Runtime& rt) {
    // A clip with its own handler keeps its whole tree until it leaves; one without keeps only the
    // children that wait for theirs.
    bool own = rt.hasUnloadHandler(this);
    bool waits = own;
    std::vector<int> quiet;
    for (auto& [depth, obj] : children_) {
        MovieClip* c = obj->asClip();
        if (!c || c->unloading) continue;
        if (c->prepareUnload(rt))
            waits = true;
        else if (!own)
            quiet.push_back(depth);
    }
    for (int depth : quiet)
        children_.erase(depth);
    if (own) rt.queueEvent(this, clip_event::Unload);
    if (waits) unloading = true;
    return waits;
}

const Timeline& emptyTimeline() {
    static const Timeline t = [] {
        Timeline e;
        e.frames.emplace_back();
        e.declaredFrameCount = 1;
        return e;
    }();
    return t;
}

namespace {

bool inState(const swf::ButtonRecord& r, ButtonObject::State s) {
    switch (s) {
        case ButtonObject::State::Up:
            return r.stateUp;
        case ButtonObject::State::Over:
            return r.stateOver;
        case ButtonObject::State::Down:
            return r.stateDown;
    }
    return false;
}

}  // namespace

ButtonObject::ButtonObject(const MovieDef* movie, const ButtonCharacter* button, Runtime& rt)
    : DisplayObject(movie, button) {
    for (const swf::ButtonRecord& r : button->def->records) {
        if (r.stateUp) place(r, children_, rt);
        if (r.stateHitTest) place(r, hitArea_, rt);
    }
}

void ButtonObject::place(const swf::ButtonRecord& r, DisplayList& into, Runtime& rt) {
    const auto* button = static_cast<const ButtonCharacter*>(character_);
    Placement p;
    p.characterId = r.characterId;
    p.matrix = toMatrix(r.matrix);
    if (r.cxform)
        p.cxform = toColorTransform(*r.cxform);
    else if (button->cxform)
        p.cxform = toColorTransform(*button->cxform);
    // The record identifies the character across states.
    p.serial = uint64_t(&r - button->def->records.data()) + 1;
    std::unique_ptr<DisplayObject> child = rt.instantiate(movie_, p, this, &into != &hitArea_);
    if (!child) return;
    child->depth = r.depth;
    child->serial = p.serial;
    child->matrix = p.matrix;
    child->cxform = p.cxform;
    child->blendMode = r.blendMode.value_or(0);
    if (r.filters) {
        for (const swf::Filter& f : *r.filters) {
            swf::Result<swf::FilterParams> decoded = swf::decodeFilter(f);
            if (decoded) child->filters.push_back(std::move(*decoded));
        }
    }
    into[r.depth] = std::move(child);
}

void ButtonObject::setState(State s, Runtime& rt) {
    if (s == state_) return;
    if (const swf::DefineButtonSound* sounds = button().sounds)
        rt.stage().sound.playButtonSound(movie_, *sounds,
                                         sound::SoundPlayer::buttonTransition(int(state_), int(s)),
                                         static_cast<const DisplayObject*>(this));
    state_ = s;
    const auto& records = button().def->records;
    for (auto it = children_.begin(); it != children_.end();) {
        size_t index = size_t(it->second->serial - 1);
        if (index < records.size() && inState(records[index], s))
            ++it;
        else
            it = children_.erase(it);
    }
    for (const swf::ButtonRecord& r : records) {
        if (!inState(r, s)) continue;
        auto it = children_.find(r.depth);
        if (it != children_.end() && it->second->serial == uint64_t(&r - records.data()) + 1) continue;
        place(r, children_, rt);
    }
}

void ButtonObject::advance(Runtime& rt) {
    std::vector<std::weak_ptr<MovieClip*>> clips;
    for (auto& [depth, obj] : children_)
        if (MovieClip* c = obj->asClip()) clips.push_back(c->handle());
    for (auto& h : clips)
        if (auto p = h.lock(); p && *p) (*p)->advance(rt);
}

}  // namespace player
