#include "app/cmd_trace.h"

#include <cstdio>
#include <cstdlib>

#include "player/trace_run.h"

namespace cli {
namespace {

const char* kTraceUsage = "usage: tolvikan trace MOVIE [--frames N] [--input EVENTS.json]\n";

int usageError(const std::string& why) {
    std::fprintf(stderr, "tolvikan trace: %s\n%s", why.c_str(), kTraceUsage);
    return 2;
}

}  // namespace

int runTrace(const std::vector<std::string>& args) {
    std::string movie;
    int frames = 0;
    std::string input;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--frames") {
            if (i + 1 >= args.size()) return usageError("--frames needs a number");
            char* end = nullptr;
            long n = std::strtol(args[++i].c_str(), &end, 10);
            if (!end || *end || n < 1 || n > 100000000)
                return usageError("--frames takes a positive whole number");
            frames = int(n);
        } else if (a == "--input") {
            if (i + 1 >= args.size()) return usageError("--input needs a file of input events");
            input = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + a);
        } else if (movie.empty()) {
            movie = a;
        } else {
            return usageError("only one movie can be traced at a time");
        }
    }
    if (movie.empty()) return usageError("no movie given");
    player::TraceRunOptions options;
    options.frames = frames;
    options.inputFile = input;
    options.trace = [](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    };
    options.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    std::string error;
    if (!player::runTrace(movie, options, &error)) {
        std::fprintf(stderr, "tolvikan trace: %s: %s\n", movie.c_str(), error.c_str());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace cli
