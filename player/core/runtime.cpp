#include "player/core/runtime.h"

#include <algorithm>
#include <cctype>

#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"

namespace player {

std::unique_ptr<DisplayObject> Runtime::instantiate(const MovieDef* movie, const Placement& p) {
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
    switch (c->kind) {
        case Character::Kind::Sprite: {
            auto clip =
                std::make_unique<MovieClip>(movie, c, &static_cast<const SpriteCharacter*>(c)->timeline);
            clip->track(&liveObjects);
            clip->matrix = p.matrix;
            clip->cxform = p.cxform;
            clip->name = p.name;
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
            return button;
        }
        case Character::Kind::Font:
            return nullptr;
        default: {
            auto obj = std::make_unique<DisplayObject>(movie, c);
            obj->track(&liveObjects);
            return obj;
        }
    }
}

void Runtime::queueActions(MovieClip* clip, const swf::DoAction* action) {
    queue_.push_back({clip->handle(), action});
}

void Runtime::runQueuedActions() {
    // Actions may queue more (a goto reaches a frame with actions): run until the queue is empty, bounded.
    size_t ran = 0;
    for (size_t i = 0; i < queue_.size(); ++i) {
        if (++ran > 10000) {
            log("too many frame actions in one frame; the rest are skipped");
            break;
        }
        Queued q = queue_[i];
        auto p = q.clip.lock();
        if (!p || !*p) continue;
        runActions(*this, *p, q.action->records);
    }
    queue_.clear();
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

void runActions(Runtime& rt, MovieClip* clip, const std::vector<swf::Action>& actions) {
    auto handle = clip->handle();
    size_t count = 0;
    for (const swf::Action& a : actions) {
        if (++count > Runtime::kMaxActionsPerTick) break;
        auto alive = handle.lock();
        if (!alive || !*alive) return;
        switch (a.opcode) {
            case swf::op::End:
                return;
            case swf::op::Play:
                clip->playing = true;
                break;
            case swf::op::Stop:
                clip->playing = false;
                break;
            case swf::op::NextFrame:
                clip->gotoFrame(clip->currentFrame() + 1, rt);
                clip->playing = false;
                break;
            case swf::op::PrevFrame:
                clip->gotoFrame(clip->currentFrame() - 1, rt);
                clip->playing = false;
                break;
            case swf::op::GotoFrame: {
                const auto& g = std::get<swf::ActionGotoFrame>(a.operands);
                clip->gotoFrame(int(g.frame) + 1, rt);
                clip->playing = false;
                break;
            }
            case swf::op::GoToLabel: {
                const auto& g = std::get<swf::ActionGoToLabel>(a.operands);
                int frame = clip->timeline().frameOfLabel(g.label);
                if (frame > 0) clip->gotoFrame(frame, rt);
                clip->playing = false;
                break;
            }
            case swf::op::GetURL: {
                const auto& g = std::get<swf::ActionGetURL>(a.operands);
                // fscommand("cmd", "args") is stored as getURL("FSCommand:cmd", "args").
                int level = -1;
                if (startsWithNoCase(g.url, "FSCommand:")) {
                    if (rt.fsCommand) rt.fsCommand(g.url.substr(10), g.target);
                } else if (parseLevelTarget(g.target, level)) {
                    // getURL(url, "_levelN") is loadMovieNum: the movie replaces level N once this frame
                    // is over; an empty url unloads the level.
                    rt.pendingLoads.push_back({level, g.url, clip->movie() ? clip->movie()->url() : ""});
                } else {
                    rt.log("getURL(\"" + g.url + "\", \"" + g.target + "\") opens nothing here");
                }
                break;
            }
            case swf::op::ToggleQuality:
            case swf::op::StopSounds:
                break;
            default:
                ++rt.skippedActions;
                rt.unsupported("ActionScript beyond timeline control (such actions are skipped)");
                break;
        }
    }
}

}  // namespace player
