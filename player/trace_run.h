// Runs a movie headless for a number of frames and hands every trace() line to a sink: the engine side of
// `tolvikan trace` and of the trace corpus runner.
#pragma once

#include <functional>
#include <string>

namespace player {

struct TraceRunOptions {
    int frames = 0;  // frames to run, the first counting as 1; 0: the movie's frame count
    // A JSON list of mouse and key events to play between frames (see trace_input.h); empty for none.
    std::string inputFile;
    std::function<void(const std::string&)> trace;
    std::function<void(const std::string&)> log;
};

// Returns false (with *error) when the movie or the input file cannot be read. A movie that asks to quit ends
// the run there.
bool runTrace(const std::string& path, const TraceRunOptions& options, std::string* error);

}  // namespace player
