// tolvikan: the command line (probe, render, convert) and, with no arguments, the desktop program.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cmd_convert.h"
#include "app/cmd_probe.h"
#include "app/cmd_render.h"
#include "app/cmd_trace.h"
#include "app/convert_options.h"
#include "app/desktop.h"

namespace {

const char* kUsage =
    "usage: tolvikan COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  probe [--json] FILE...   movie kind, version, header length, size, frame rate and frame count\n"
    "  render MOVIE --frames LIST --size WxH [--quality high|low] [--background RRGGBB] --out PATTERN\n"
    "                           pictures of the listed frames (PATTERN holds %d for the frame number)\n"
    "  trace MOVIE [--frames N]  runs the movie headless and prints what its scripts trace()\n"
    "  convert MOVIE... [OPTIONS]\n"
    "                           converts movies to AVI, MPEG, animated GIF or still images (options below)\n"
    "  convert --tasks FILE.ini runs the checked tasks of a task-list file\n"
    "  convert --list-codecs    the AVI codecs: name, a tab, identifier (--codec takes either)\n"
    "  help                     this text\n"
    "\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return RunDesktop(argc, argv);
    if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        std::fputs(cli::kConvertUsage, stdout);
        return 0;
    }
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "probe") return cli::runProbe(args);
    if (command == "render") return cli::runRender(args);
    if (command == "convert") return cli::runConvert(args);
    if (command == "trace") return cli::runTrace(args);
    std::fprintf(stderr, "tolvikan: unknown command '%s'\n%s", command.c_str(), kUsage);
    return 2;
}
