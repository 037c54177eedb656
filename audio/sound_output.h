// TSoundOutput: plays the player's sound through PulseAudio in real time, for the preview and the
// recording pass. The player hands over each frame's samples on the user-interface thread; they are queued
// and written to the server as it asks for them (on the context's loop thread), so the interface never
// waits for the sound card.
//
// Created, fed and destroyed on the user-interface thread. When no sound server answers, open() fails with
// the reason and play() drops the samples; nothing else changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TShockwaveFlash;
class unaPulseContext;
struct pa_stream;

class TSoundOutput {
  public:
    static constexpr int kRate = 44100;
    // Samples queued beyond this are dropped oldest first, so a clock that runs a little fast (or a server
    // that stalls) never builds up delay.
    static constexpr size_t kMaxQueuedFrames = kRate / 2;

    TSoundOutput();
    ~TSoundOutput();
    TSoundOutput(const TSoundOutput&) = delete;
    TSoundOutput& operator=(const TSoundOutput&) = delete;

    // Connects a playback stream (44.1 kHz 16-bit stereo) to the default sink.
    bool open(const char* streamName, std::string* error);
    void close();
    bool isOpen() const { return stream_ != nullptr; }

    // Queues interleaved 16-bit stereo samples.
    void play(const int16_t* samples, size_t frames);
    // Drops what is queued (a new movie, a stop).
    void clear();

    // Plays `flash`'s movie sound from now on. The output opens on the first samples that are not silent
    // (a movie without sound never touches the sound server); an open that fails is not tried again, and
    // *openError (when given) keeps why.
    void follow(TShockwaveFlash& flash, std::string* openError = nullptr);

  private:
    static void writeCallback(pa_stream* stream, size_t bytes, void* self);
    void drain();  // with the loop lock held

    std::unique_ptr<unaPulseContext> pulse_;
    pa_stream* stream_ = nullptr;
    std::vector<int16_t> queue_;  // guarded by the loop lock
    bool tried_ = false;
};
