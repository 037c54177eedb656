#include "tasks/ui_hooks.h"

std::function<void()> PumpMessagesHook;
std::function<void()> BeginBusyCursorHook;
std::function<void()> EndBusyCursorHook;

void ProcessPendingMessages() {
    if (PumpMessagesHook) PumpMessagesHook();
}

TBusyCursor::TBusyCursor() {
    if (BeginBusyCursorHook) BeginBusyCursorHook();
}

TBusyCursor::~TBusyCursor() {
    // A hook that throws must not escape a destructor that may run during unwinding.
    try {
        if (EndBusyCursorHook) EndBusyCursorHook();
    } catch (...) {
    }
}
