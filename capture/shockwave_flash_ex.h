// TShockwaveFlashEx: the Flash player widget every window embeds, with a hook on the player's playback clock
// (each clock message is announced before and after it reaches the player, or swallowed, which freezes the
// movie) and a switch that turns mouse input into host events instead of handing it to the movie.
// Owns nothing beyond its base. Called on the user-interface thread only; the callbacks run there too, with
// the host as sender. It never decides on its own to swallow or release a tick: only SkipTimer does.
#pragma once

#include <functional>

#include "capture/shockwave_flash.h"

class TShockwaveFlashEx : public TShockwaveFlash {
    Q_OBJECT

  public:
    using NotifyEvent = std::function<void(TShockwaveFlashEx* sender)>;

    explicit TShockwaveFlashEx(QWidget* parent = nullptr);

    // true: mouse input gets its normal handling and reaches the movie; false: it is swallowed and turned
    // into the OnMouse* events below (a double click counts as a press).
    bool PreviewMsg = false;
    // true: clock messages are swallowed (the movie neither advances nor repaints) and OnSkipTimer fires.
    bool SkipTimer = false;

    NotifyEvent OnMouseDown;
    NotifyEvent OnMouseMove;
    NotifyEvent OnMouseUp;
    NotifyEvent OnMouseEnter;
    NotifyEvent OnMouseLeave;
    NotifyEvent OnBeforeTimer;  // a clock message is about to reach the player
    NotifyEvent OnAfterTimer;   // the player has handled a clock message
    NotifyEvent OnSkipTimer;    // a clock message was swallowed

  protected:
    // Per clock message: SkipTimer true -> OnSkipTimer only; else OnBeforeTimer, the player, OnAfterTimer.
    void timerMessage() override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // Keys reach the movie only where the mouse does.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    // PreviewMsg false: fires `handler` when assigned and keeps the event from the movie.
    void swallow(QEvent* event, const NotifyEvent& handler);
};
