#include "player/trace_run.h"

#include <fstream>
#include <sstream>

#include "player/player.h"
#include "player/trace_input.h"

namespace player {

bool runTrace(const std::string& path, const TraceRunOptions& options, std::string* error) {
    Player p;
    p.setTraceHandler(options.trace);
    if (options.log) p.setLogHandler(options.log);
    std::vector<InputEvent> events;
    if (!options.inputFile.empty()) {
        std::ifstream in(options.inputFile, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string why;
        if (!in || !parseInputEvents(text.str(), events, &why)) {
            if (error) *error = options.inputFile + ": " + (in ? why : "cannot be read");
            return false;
        }
    }
    if (!p.loadFile(path, error)) return false;
    int frames = options.frames > 0 ? options.frames : p.totalFrames();
    // Each frame's events come after it has run.
    size_t next = playInputEvents(p, events, 0);
    for (int f = 1; f < frames && !p.quitRequested(); ++f) {
        p.advance();
        next = playInputEvents(p, events, next);
    }
    return true;
}

}  // namespace player
