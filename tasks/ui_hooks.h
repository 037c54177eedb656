// User-interface hooks of the tasks layer: "process pending messages" and the busy mouse cursor.
// The tasks layer links no Qt Gui or Widgets, so the window layer plugs these in at start-up
// (QCoreApplication::processEvents, QGuiApplication::setOverrideCursor / restoreOverrideCursor).
// Until then they do nothing, which is what the command line and the tests want.
// Set them once on the user-interface thread before any task work; every call comes from that thread.
#pragma once

#include <functional>

// Called where pending user-interface messages are to be processed (between codec visits,
// after each task of the task-list file). Empty: nothing happens.
extern std::function<void()> PumpMessagesHook;
// Called when a long operation starts / ends; the ends always match the starts (RAII below), so a
// stacking override cursor is the natural implementation. Empty: nothing happens.
extern std::function<void()> BeginBusyCursorHook;
extern std::function<void()> EndBusyCursorHook;

// Runs PumpMessagesHook when one is set.
void ProcessPendingMessages();

// Shows the busy cursor for its lifetime; the normal one comes back also when an exception leaves the scope.
class TBusyCursor {
  public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
