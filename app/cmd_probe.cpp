#include "app/cmd_probe.h"

#include <cstdio>
#include <filesystem>

#include "app/json_text.h"
#include "tasks/probe_report.h"

namespace cli {

int runProbe(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            std::printf("usage: tolvikan probe [--json] FILE...\n");
            return 0;
        }
        if (a == "--json")
            json = true;
        else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr,
                         "tolvikan probe: unknown option %s\nusage: tolvikan probe [--json] FILE...\n",
                         a.c_str());
            return 2;
        } else
            files.push_back(a);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: tolvikan probe [--json] FILE...\n");
        return 2;
    }
    int status = 0;
    for (const std::string& f : files) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(f, ec)) {
            std::fprintf(stderr, "tolvikan probe: %s: %s\n", f.c_str(),
                         std::filesystem::exists(f, ec) ? "not a regular file" : "no such file");
            status = 1;
            continue;
        }
        TProbeReport r = MakeProbeReport(f);
        if (r.kind == "invalid" || !r.complete) {
            std::fprintf(stderr, "tolvikan probe: %s: %s\n", f.c_str(),
                         r.error.empty() ? "not a Flash movie or projector" : r.error.c_str());
            status = 1;
        }
        if (json) {
            std::printf(
                "{\"file\":%s,\"kind\":%s,\"compression\":%s,\"complete\":%s,\"version\":%d,"
                "\"headerLength\":%lld,\"width\":%d,\"height\":%d,\"frameRate\":%g,\"frameCount\":%d",
                jsonQuote(r.file).c_str(), jsonQuote(r.kind).c_str(), jsonQuote(r.compression).c_str(),
                r.complete ? "true" : "false", r.version, r.headerLength, r.width, r.height, r.frameRate,
                r.frameCount);
            if (!r.error.empty()) std::printf(",\"error\":%s", jsonQuote(r.error).c_str());
            std::printf("}\n");
        } else {
            std::printf("%s\t%d\t%lld\t%d\t%d\t%g\t%d\t%s\n", r.kind.c_str(), r.version, r.headerLength,
                        r.width, r.height, r.frameRate, r.frameCount, r.file.c_str());
        }
    }
    return status;
}

}  // namespace cli
