#include "player/trace_run.h"

#include "player/player.h"

namespace player {

bool runTrace(const std::string& path, const TraceRunOptions& options, std::string* error) {
    Player p;
    p.setTraceHandler(options.trace);
    if (options.log) p.setLogHandler(options.log);
    if (!p.loadFile(path, error)) return false;
    int frames = options.frames > 0 ? options.frames : p.totalFrames();
    for (int f = 1; f < frames && !p.quitRequested(); ++f)
        p.advance();
    return true;
}

}  // namespace player
