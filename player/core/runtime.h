// What the timelines share while a tick runs: the clock count, the queue of actions and events, the factory
// of display objects, the script machine, the log and the FSCommand event. One per Player.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/avm1/vm.h"
#include "player/core/display_object.h"
#include "player/player.h"
#include "swf/tags.h"

namespace player {

class Stage;
class MovieClip;
class EditText;
class ButtonObject;

// Clip events (CLIPEVENTFLAGS bits as the parser stores them).
namespace clip_event {
enum : uint32_t {
    Load = 0x1,
    EnterFrame = 0x2,
    Unload = 0x4,
    MouseMove = 0x8,
    MouseDown = 0x10,
    MouseUp = 0x20,
    KeyDown = 0x40,
    KeyUp = 0x80,
    Data = 0x100,
    Initialize = 0x200,
    Press = 0x400,
    Release = 0x800,
    ReleaseOutside = 0x1000,
    RollOver = 0x2000,
    RollOut = 0x4000,
    DragOver = 0x8000,
    DragOut = 0x10000,
    KeyPress = 0x20000,
    Construct = 0x40000,
};
}

class Runtime : public avm1::Host {
  public:
    explicit Runtime(Stage& stage);
    ~Runtime() override;

    uint64_t tick = 0;

    // A display object for a placement of `movie`'s character; null (logged once) for ids the dictionary
    // lacks. Sprites and buttons are built with their first frame already shown.
    std::unique_ptr<DisplayObject> instantiate(const MovieDef* movie, const Placement& p,
                                               DisplayObject* parent = nullptr, bool named = true);

    // Frame actions run after every timeline has moved on, in the order their frames were reached.
    void queueActions(MovieClip* clip, const swf::DoAction* action);
    // A clip event (onClipEvent handlers of its placement, then the on<Event> method) queued in order.
    void queueEvent(MovieClip* clip, uint32_t event);
    // A clip duplicated by script runs its construct handlers at once, before the duplicating call
    // returns; its initialize and load events stay queued.
    void constructNow(MovieClip* clip);
    // Unload events of objects a frame removes go where that frame's actions begin, as the removal tags
    // stand before them: frameActionsStart() gives the place, unloadsAt() sets it (npos: at the end).
    size_t frameActionsStart() const { return queue_.size(); }
    void unloadsAt(size_t at) { unloadAt_ = at; }
    void runQueuedActions();
    // A button's actions for a condition (BUTTONCONDACTION bits), run in its parent clip, then (SWF 6 and
    // later) the button's own on<Event> method for the matching clip event.
    void queueButtonActions(ButtonObject* button, uint16_t condition, uint32_t event);
    // The actions of every button that answers a key press (Flash's key codes of button conditions).
    void queueKeyPress(int keyCode, int ascii);
    // `method` called on the listeners of the global broadcaster `broadcaster` (Mouse, Key).
    void queueBroadcast(const char* broadcaster, const char* method);
    // Whether a clip answers its removal: an onClipEvent(unload) handler, or (SWF 6 and later) an onUnload
    // method.
    bool hasUnloadHandler(MovieClip* clip);
    // A removed clip waiting for its unload events; it leaves its parent once the queue has run.
    void parkUnloading(MovieClip* clip);
    // Runs `frame`'s actions of a clip now, without going there (call()).
    void callFrame(MovieClip* clip, int frame);
    // The init actions of the sprites a movie defines, once each, before the frame that defines them.
    void runInitActions(MovieClip* root, const swf::DoInitAction* action);

    // Script side.
    avm1::Vm* vm() { return vm_.get(); }
    // Made when the first movie loads, for that movie's version.
    void startScripts(int swfVersion, double frameRate, int maxRecursion = 256);
    // Forgets every script object (a new movie replaces everything).
    void resetScripts() {
        queue_.clear();
        next_ = initAt_ = constructAt_ = 0;
        unloadAt_ = size_t(-1);
        unloading_.clear();
        vm_.reset();
        initDone_.clear();
        clipActionCode_.clear();
        quitRequested = false;
    }
    // Frees unreachable script objects (between frames).
    void collectGarbage();
    void duplicateClip(avm1::ClipObject* source, const std::string& name, double depth);
    void removeClip(avm1::ClipObject* clip);
    void stopAllSounds();  // stopAllSounds(): every sound of every level stops
    // startDrag: the clip follows the mouse (its centre on the pointer, or keeping its offset), within a
    // rectangle of its parent (pixels) when one is given; one clip at a time. stopDrag ends it.
    void startDrag(avm1::ClipObject* clip, bool lockCenter, const double* bounds);
    void stopDrag() { drag_ = {}; }
    // Moves the dragged clip to the mouse (on every move of the mouse and every frame).
    void followDrag();

    // Text fields bound to variables (VariableName) show the variable's value: read after every frame's
    // scripts, and when a field is placed.
    void bindField(EditText* field);
    void updateBoundFields();
    void updateBoundField(EditText& field);

    // avm1::Host
    void trace(const std::string& line) override;
    void log(const std::string& line) override;
    void unsupported(const std::string& what) override;
    void getUrl(const std::string& url, const std::string& target, int method,
                avm1::ClipObject* from) override;
    double timeMs() override;
    avm1::ClipObject* level(int n) override;
    bool readLocalFile(const std::string& url, std::string& out) override;
    void loadClip(const std::string& url, int level, avm1::ClipObject* clip, avm1::Object* loader,
                  avm1::ClipObject* from) override;
    // How a load asked for by a MovieClipLoader went: `target` shows the movie (null when it failed).
    void reportLoad(avm1::Object* loader, MovieClip* target, size_t bytes, const std::string& error);

    Player::FsCommandHandler fsCommand;
    Player::TraceHandler traceHandler;
    bool quitRequested = false;
    uint64_t actionLimit = avm1::Vm::kActionsPerFrame;

    // Movies to load into levels when the current frame is over (level, url as the movie gave it, url of
    // the movie that asked, against which a relative url is resolved).
    struct PendingLoad {
        int level;
        std::string url;
        std::string baseUrl;
        std::weak_ptr<MovieClip*> clip;  // loadMovie into a clip: the clip, else the level
        avm1::Object* loader = nullptr;  // the MovieClipLoader to tell (kept alive until then)
    };
    std::vector<PendingLoad> pendingLoads;

    // The stage colour: the first SetBackgroundColor any level runs sets it; later ones are ignored, as in
    // Flash Player.
    std::optional<uint32_t> stageBackground;
    uint64_t skippedActions = 0;  // actions the player could not run
    Player::LogHandler logHandler;
    std::vector<std::string> logLines;
    Stage& stage() { return stage_; }

    // Settings scripts read and write.
    std::string quality = "HIGH";
    bool focusRect = true;
    double soundBufTime = 5;
    double mouseX = 0, mouseY = 0;  // stage twips
    double frameRate = 12;

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
    std::unique_ptr<DisplayObject> make(const MovieDef* movie, const Placement& p, const Character* c,
                                        DisplayObject* parent);
    uint64_t instanceCounter = 0;
    struct Queued {
        std::weak_ptr<MovieClip*> clip;
        const std::vector<swf::Action>* records = nullptr;  // a block of actions, or
        uint32_t event = 0;                                 // a clip event, or
        int version = 0;
        const char* broadcaster = nullptr;  // a message to a broadcaster's listeners
        const char* method = nullptr;
        std::weak_ptr<DisplayObject*> button;  // with `event`: a button's method
        std::function<void()> call;            // or anything else to run in turn

        Queued(std::weak_ptr<MovieClip*> c, const std::vector<swf::Action>* r, uint32_t e, int v,
               const char* b = nullptr, const char* m = nullptr)
            : clip(std::move(c)), records(r), event(e), version(v), broadcaster(b), method(m) {}
    };
    void runEvent(MovieClip* clip, uint32_t event);
    const std::vector<swf::Action>& decodedClipAction(const swf::ClipAction& a, int version);

    Stage& stage_;
    std::vector<Queued> queue_;
    // Initialize events run before what was queued earlier and has not run yet: they go at `initAt_`,
    // never before `next_`, the next entry to run.
    size_t next_ = 0;
    size_t initAt_ = 0;
    // Construct events follow the initialize events queued before them.
    size_t constructAt_ = 0;
    size_t unloadAt_ = size_t(-1);
    std::vector<std::weak_ptr<MovieClip*>> unloading_;
    struct Drag {
        std::weak_ptr<MovieClip*> clip;
        double offsetX = 0, offsetY = 0;  // clip position minus mouse, parent twips
        bool bounded = false;
        double left = 0, top = 0, right = 0, bottom = 0;  // parent twips
    } drag_;
    void finishUnloading();
    // Drops one hold of `o` among the script machine's persistent roots.
    void unroot(avm1::Object* o);
    std::set<std::string> reported_;
    std::unique_ptr<avm1::Vm> vm_;
    std::map<const swf::ClipAction*, std::vector<swf::Action>> clipActionCode_;
    std::map<const swf::ButtonCondAction*, std::vector<swf::Action>> buttonActionCode_;
    const std::vector<swf::Action>& decodedButtonAction(const swf::ButtonCondAction& a, int version);
    void collectButtons(const DisplayList& list, std::vector<ButtonObject*>& out, int nesting);
    std::set<const swf::DoInitAction*> initDone_;
    std::vector<std::weak_ptr<EditText*>> boundFields_;
};

}  // namespace player
