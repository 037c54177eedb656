// What the timelines share while a tick runs: the clock count, the queue of frame actions, the factory of
// display objects, the log and the FSCommand event. One per Player.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/core/display_object.h"
#include "player/player.h"
#include "swf/tags.h"

namespace player {

class Stage;

class Runtime {
  public:
    explicit Runtime(Stage& stage) : stage_(stage) {}

    uint64_t tick = 0;

    // A display object for a placement of `movie`'s character; null (logged once) for ids the dictionary
    // lacks. Sprites and buttons are built with their first frame already shown.
    std::unique_ptr<DisplayObject> instantiate(const MovieDef* movie, const Placement& p);

    // Frame actions run after every timeline has moved on, in the order their frames were reached.
    void queueActions(MovieClip* clip, const swf::DoAction* action);
    void runQueuedActions();

    void log(const std::string& line);
    // Logs "not supported yet: <what>" the first time a movie uses it.
    void unsupported(const std::string& what);

    Player::FsCommandHandler fsCommand;

    // Movies to load into levels when the current frame is over (level, url as the movie gave it, url of
    // the movie that asked, against which a relative url is resolved).
    struct PendingLoad {
        int level;
        std::string url;
        std::string baseUrl;
    };
    std::vector<PendingLoad> pendingLoads;

    // The stage colour: the first SetBackgroundColor any level runs sets it; later ones are ignored, as in
    // Flash Player.
    std::optional<uint32_t> stageBackground;
    uint64_t skippedActions = 0;  // actions the player could not run
    Player::LogHandler logHandler;
    std::vector<std::string> logLines;
    Stage& stage() { return stage_; }

    // Guards against hostile movies: a sprite that places itself (directly or through others) would nest
    // without end, and sprites placing several copies of each other grow exponentially; both are cut off.
    static constexpr int kMaxNesting = 64;
    static constexpr size_t kMaxDisplayObjects = 200000;
    int nesting = 0;
    size_t liveObjects = 0;

    // Guards against timelines that jump forever: nested gotos and actions per tick are bounded.
    int gotoDepth = 0;
    static constexpr int kMaxGotoDepth = 16;
    static constexpr size_t kMaxActionsPerTick = 200000;

  private:
    struct Queued {
        std::weak_ptr<MovieClip*> clip;
        const swf::DoAction* action;
    };
    Stage& stage_;
    std::vector<Queued> queue_;
    std::set<std::string> reported_;
};

// Runs one action list in the context of a clip (timeline control of SWF 3 movies; other actions are
// skipped and reported). Returns false when the clip was removed while they ran.
void runActions(Runtime& rt, MovieClip* clip, const std::vector<swf::Action>& actions);

}  // namespace player
