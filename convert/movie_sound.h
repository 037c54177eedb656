// The movie's own sound for a video conversion, taken straight from the player: a headless player plays
// the task's frames the way the conversion's sequence mode steps through them and its mix of exactly those
// frames is written to a WAV file, frame-exact and as fast as the movie's timelines allow. Also the
// silent track that disc presets need when a task has no sound.
//
// User-interface thread; `keepGoing` is asked now and then (pump messages there; false stops the pass).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tasks/cov_settings.h"

struct TMovieSoundResult {
    bool ok = false;
    std::string error;
    int64_t frames = 0;    // movie frames whose sound was written
    int64_t samples = 0;   // stereo samples written (44.1 kHz)
    bool audible = false;  // anything but silence
};

// Plays task.swfPlayFilename from destStartFrame for `frameCount` frames (in the task's sequence mode) and
// writes 44.1 kHz 16-bit stereo WAV to `wavPath`, each frame's sound as long as a frame at the task's frame
// rate (swfFrameRate, the video's).
TMovieSoundResult WriteMovieSound(const TCovSettings& task, int frameCount, const std::string& wavPath,
                                  const std::function<bool(int done, int total)>& keepGoing = {});

// The rate a video of the task is written at: the movie's whole frames per second (the task's
// swfFrameRate), or the player's default 12 when it states none.
double TaskVideoRate(const TCovSettings& task);

// A silent 16-bit stereo WAV of `samples` samples at `sampleRate`.
bool WriteSilentWav(const std::string& wavPath, int sampleRate, int64_t samples, std::string* error);

// Samples of `frameCount` frames at a movie frame rate (a rate of 0 is the player's default 12 fps), as the
// player cuts them.
int64_t SoundSamplesForFrames(int64_t frameCount, double frameRate, int sampleRate = 44100);
