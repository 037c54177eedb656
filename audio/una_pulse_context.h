// unaPulseContext: one connection to the PulseAudio server, with a threaded main loop of its own. The wave
// capture device and the mixer each open one for as long as they need it.
// Owns the main loop thread and the context; the destructor disconnects and joins the loop thread.
// Threads: created, used and destroyed on one caller thread; PulseAudio calls the callbacks registered on the
// context and its streams on the loop thread, with the loop lock held. Never spawns a sound server: when no
// server answers, connecting fails with the reason, so the caller can tell the user.
#pragma once

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <memory>
#include <string>

class unaPulseContext {
  public:
    // Connects to the default server (PULSE_SERVER and the client configuration decide which one) and
    // waits up to `timeout` for the connection to be ready. Null with `error` set when that fails.
    static std::unique_ptr<unaPulseContext> connect(const char* clientName, std::chrono::milliseconds timeout,
                                                    std::string* error);
    ~unaPulseContext();
    unaPulseContext(const unaPulseContext&) = delete;
    unaPulseContext& operator=(const unaPulseContext&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    pa_context* context() const { return context_; }
    // The server's last error as text.
    std::string lastError() const;

    // Holds the loop lock (no callback runs meanwhile).
    class Lock {
      public:
        explicit Lock(const unaPulseContext& c) : loop_(c.mainloop_) { pa_threaded_mainloop_lock(loop_); }
        ~Lock() { pa_threaded_mainloop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pa_threaded_mainloop* loop_;
    };

    // Waits (without the loop lock) until `operation` is done or `timeout` has passed, then unreferences it.
    // False on time-out or when the operation could not be started (null).
    bool waitFor(pa_operation* operation, std::chrono::milliseconds timeout);

  private:
    unaPulseContext() = default;

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};
