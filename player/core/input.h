// Mouse and keyboard reaching the movie: which button or clip the pointer is over, the transitions of
// button states with their actions, the mouse and key events of clips, and the Mouse and Key listeners.
// Each input event runs the scripts it triggers at once, as Flash Player does between frames.
#pragma once

#include <cstdint>
#include <memory>

#include "player/core/display_object.h"

namespace player {

class Stage;
class MovieClip;
class ButtonObject;

class Input {
  public:
    explicit Input(Stage& stage) : stage_(stage) {}

    // Positions in stage twips.
    void mouseMove(double x, double y);
    void mouseDown();
    void mouseUp();
    // Flash key codes (65 for A, 13 for Enter...) and the character typed (0 for none).
    void keyDown(int keyCode, int ascii);
    void keyUp(int keyCode, int ascii);
    // The pointer is over a button or clip that shows the hand.
    bool overHand() const;
    // Forgets what the pointer was over (a new movie).
    void reset();

    // Button conditions (BUTTONCONDACTION bits).
    enum Condition : uint16_t {
        IdleToOverUp = 1 << 0,
        OverUpToIdle = 1 << 1,
        OverUpToOverDown = 1 << 2,
        OverDownToOverUp = 1 << 3,
        OverDownToOutDown = 1 << 4,
        OutDownToOverDown = 1 << 5,
        OutDownToIdle = 1 << 6,
    };

  private:
    DisplayObject* pick() const;
    DisplayObject* pickIn(const DisplayList& list, int nesting) const;
    bool interactive(DisplayObject* obj) const;
    void transition(DisplayObject* target, uint16_t condition, uint32_t clipEvent);
    void broadcast(uint32_t clipEvent, const char* listenerMethod, const char* listener);
    void setButtonState(DisplayObject* obj, int state);
    void runScripts();

    Stage& stage_;
    double x_ = 0, y_ = 0;
    bool down_ = false;
    std::weak_ptr<DisplayObject*> hover_, pressed_;
};

}  // namespace player
