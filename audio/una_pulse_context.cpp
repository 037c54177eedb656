#include "audio/una_pulse_context.h"

#include <pulse/error.h>

#include <thread>

namespace {

// Polling step while waiting for the server; short enough to be unnoticeable, long enough to cost nothing.
constexpr std::chrono::milliseconds kPollStep{5};

}  // namespace

std::unique_ptr<unaPulseContext> unaPulseContext::connect(const char* clientName,
                                                          std::chrono::milliseconds timeout,
                                                          std::string* error) {
    std::unique_ptr<unaPulseContext> c(new unaPulseContext);
    auto fail = [&](const std::string& why) -> std::unique_ptr<unaPulseContext> {
        if (error) *error = why;
        return nullptr;
    };
    c->mainloop_ = pa_threaded_mainloop_new();
    if (!c->mainloop_) return fail("cannot create the sound system's main loop");
    c->context_ = pa_context_new(pa_threaded_mainloop_get_api(c->mainloop_), clientName);
    if (!c->context_) return fail("cannot create a sound system context");
    if (pa_context_connect(c->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return fail(std::string("cannot connect to the sound server: ") +
                    pa_strerror(pa_context_errno(c->context_)));
    if (pa_threaded_mainloop_start(c->mainloop_) < 0)
        return fail("cannot start the sound system's main loop");

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pa_context_state_t state;
        {
            Lock lock(*c);
            state = pa_context_get_state(c->context_);
        }
        if (state == PA_CONTEXT_READY) return c;
        if (!PA_CONTEXT_IS_GOOD(state))
            return fail(std::string("cannot connect to the sound server: ") + c->lastError());
        if (std::chrono::steady_clock::now() >= deadline)
            return fail("the sound server did not answer in time");
        std::this_thread::sleep_for(kPollStep);
    }
}

unaPulseContext::~unaPulseContext() {
    if (context_) {
        if (mainloop_) pa_threaded_mainloop_lock(mainloop_);
        pa_context_disconnect(context_);
        if (mainloop_) pa_threaded_mainloop_unlock(mainloop_);
    }
    if (mainloop_) pa_threaded_mainloop_stop(mainloop_);
    if (context_) pa_context_unref(context_);
    if (mainloop_) pa_threaded_mainloop_free(mainloop_);
}

std::string unaPulseContext::lastError() const {
    Lock lock(*this);
    return pa_strerror(pa_context_errno(context_));
}

bool unaPulseContext::waitFor(pa_operation* operation, std::chrono::milliseconds timeout) {
    if (!operation) return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool done = false;
    for (;;) {
        {
            Lock lock(*this);
            done = pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
            if (done || std::chrono::steady_clock::now() >= deadline) {
                if (!done) pa_operation_cancel(operation);
                pa_operation_unref(operation);
                return done;
            }
        }
        std::this_thread::sleep_for(kPollStep);
    }
}
