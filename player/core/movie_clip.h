// A timeline in motion: the root of a level or a placed sprite. Holds its frame position, its playing state,
// what its timeline has placed at each depth, and the display objects made from those placements.
#pragma once

#include <memory>
#include <vector>

#include "player/core/display_object.h"
#include "player/core/drawing.h"

namespace player {

class Runtime;

class MovieClip : public DisplayObject {
  public:
    MovieClip(const MovieDef* movie, const Character* character, const Timeline* timeline);
    ~MovieClip() override;
    MovieClip* asClip() override { return this; }

    const Timeline& timeline() const { return *timeline_; }
    int currentFrame() const { return currentFrame_; }  // 1-based; 0 before the first frame ran
    int frameCount() const { return timeline_->frameCount(); }
    bool playing = true;

    DisplayList& children() { return children_; }
    const DisplayList& children() const { return children_; }

    // Runs frame 1 (a new clip shows its first frame at once).
    void initialize(Runtime& rt);
    // One tick: moves to the next frame when playing (wrapping to frame 1 at the end), then lets the
    // children that were already there tick too.
    void advance(Runtime& rt);
    // Jumps to a 1-based frame (clamped) as gotoAndStop/gotoAndPlay do: the display list is rebuilt to what
    // the timeline shows at that frame, and only that frame's actions run.
    void gotoFrame(int frame, Runtime& rt);

    // The clip (or, with `buttons`, the clip or button) named `name` among the children (the first in depth
    // order), or null.
    DisplayObject* childByName(const std::string& name, bool caseSensitive, bool buttons = false) const;
    // duplicateMovieClip: a copy of `child` (same character, placement and clip events) at a script depth.
    MovieClip* duplicateChild(MovieClip* child, const std::string& name, int depth, Runtime& rt);
    // attachMovie / createEmptyMovieClip: a new clip of `character` (null: empty) at a script depth.
    MovieClip* attachChild(const Character* character, const std::string& name, int depth, Runtime& rt);
    // removeMovieClip: only clips at script depths (0 and up) leave.
    bool removeScriptChild(DisplayObject* child, Runtime& rt);
    // Takes the object at a display depth off the list as Flash Player does: a clip that has an unload
    // handler, or holds one that has, stays until its unload events have run, moved to the depth
    // -32769 - depth where nothing else lands; the rest go at once.
    void removeChildAt(int depth, Runtime& rt);
    // Set while a removed clip waits for its unload events.
    bool unloading = false;
    // swapDepths: moves a child to a display depth, and what was there to the child's old depth.
    void swapChildDepth(DisplayObject* child, int depth);
    // Places an object at a display depth (script depth + 16384), replacing what was there.
    void insertChild(int depth, std::unique_ptr<DisplayObject> obj);

    // loadMovie: the clip shows `movie`'s root timeline from its first frame (its children, drawing and
    // variables go); unloadMovie leaves it empty.
    void loadMovie(const MovieDef* movie, Runtime& rt);
    void unloadContent();

    // Level number of a root timeline.
    int level = 0;
    // What the drawing API drew into this clip (made on first use).
    std::unique_ptr<Drawing> drawing;

    // A token that lives as long as this clip: queued actions hold it to notice a removed clip.
    std::weak_ptr<MovieClip*> handle() const { return self_; }

  private:
    void applyFrameTags(int frame, bool runActions, Runtime& rt);
    // Queues the unload events of this clip's tree (children first) and drops the children that have
    // no handler in their subtree; true when something in the tree waits for its event.
    bool prepareUnload(Runtime& rt);
    void syncDisplayList(Runtime& rt);
    bool canReplace(uint16_t oldId, uint16_t newId) const;

    const Timeline* timeline_;
    int currentFrame_ = 0;
    std::map<int, Placement> placements_;
    DisplayList children_;
    std::shared_ptr<MovieClip*> self_;
    uint64_t tickCreated_ = 0;
    bool enteredOnce_ = false;
};

// The timeline of a clip made empty by script (one empty frame).
const Timeline& emptyTimeline();

// Timeline depths are stored as in the file; scripts count depths from -16384 below them.
constexpr int kScriptDepthOffset = 16384;

// A button shows the characters of its state (up, over or down, as the mouse moves and presses); its
// hit area decides where the mouse reaches it.
class ButtonObject : public DisplayObject {
  public:
    enum class State { Up, Over, Down };
    ButtonObject(const MovieDef* movie, const ButtonCharacter* button, Runtime& rt);
    DisplayList& children() { return children_; }
    const DisplayList& children() const { return children_; }
    const DisplayList& hitArea() const { return hitArea_; }
    const ButtonCharacter& button() const { return *static_cast<const ButtonCharacter*>(character_); }
    void advance(Runtime& rt);
    State state() const { return state_; }
    // Shows another state's characters; a character the two states share stays as it is.
    void setState(State s, Runtime& rt);
    bool enabled = true;
    bool useHandCursor = true;

  private:
    void place(const swf::ButtonRecord& r, DisplayList& into, Runtime& rt);
    DisplayList children_;
    DisplayList hitArea_;
    State state_ = State::Up;
};

}  // namespace player
