// tolvikan: the command line (probe, render, convert) and, with no arguments, the desktop program.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cmd_convert.h"
#include "app/cmd_probe.h"
#include "app/cmd_render.h"
#include "app/cmd_summary.h"
#include "app/cmd_trace.h"
#include "app/convert_options.h"
#include "app/desktop.h"

namespace {

const char* kUsage =
    "usage: tolvikan [MOVIE...]             the desktop program (the movies are added to its task list)\n"
    "       tolvikan COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  probe [--json] FILE...   movie kind, version, header length, size, frame rate and frame count\n"
    "  render MOVIE --frames LIST --size WxH [--quality high|low] [--background RRGGBB] --out PATTERN\n"
    "                           pictures of the listed frames (PATTERN holds %d for the frame number)\n"
    "  trace MOVIE [--frames N] [--input EVENTS.json]\n"
    "                           runs the movie headless and prints what its scripts trace()\n"
    "  convert MOVIE... [OPTIONS]\n"
    "                           converts movies to AVI, MPEG, MP4, WebM, MOV, animated GIF or still images\n"
    "  convert --tasks FILE.ini runs the checked tasks of a task-list file\n"
    "  convert --list-codecs    the AVI codecs: name, a tab, identifier (--codec takes either)\n"
    "  summary FILE.json...     merges the --summary files of a batch: what was converted, what failed\n"
    "  help, --help, -h         this text; --version the program's version\n"
    "\n";

bool isHelp(const std::string& a) {
    return a == "help" || a == "--help" || a == "-h";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return RunDesktop(argc, argv);
    if (isHelp(args[0])) {
        std::fputs(kUsage, stdout);
        std::fputs(cli::kConvertUsage, stdout);
        return 0;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::printf("tolvikan %s\n", TOLVIKAN_VERSION);
        return 0;
    }
    std::string command = args[0];
    if (command == "probe" || command == "render" || command == "convert" || command == "summary" ||
        command == "trace") {
        args.erase(args.begin());
        if (command == "probe") return cli::runProbe(args);
        if (command == "render") return cli::runRender(args);
        if (command == "summary") return cli::runSummary(args);
        if (command == "trace") return cli::runTrace(args);
        return cli::runConvert(args);
    }
    // Movies named on their own (a file manager's "Open with") go to the desktop program's task list.
    if (IsMovieArgument(command)) return RunDesktop(argc, argv);
    std::fprintf(stderr, "tolvikan: unknown command '%s'\n%s", command.c_str(), kUsage);
    return 2;
}
