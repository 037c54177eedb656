// Trace corpus runner: runs every case of the ActionScript corpus (trace/manifest.tsv) with our player and
// compares what its scripts trace() with the expected output. One line per case, then a summary: passed,
// failed, crashed, timed out, the mean line match, and the failing cases grouped by area.
//
// usage: trace_corpus [--corpus DIR] [--filter TEXT] [--timeout SECONDS] [--verbose]
//                     [--pass-list FILE [--only-listed]] [--write-pass-list FILE]
// --pass-list: the cases that must pass (one name a line); the exit status is 1 when one of them fails.
// Each case runs in a child process with the movie's folder as working directory, so a crash or a hang
// counts against that case alone.
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "player/trace_run.h"

namespace fs = std::filesystem;

namespace {

struct Case {
    std::string name, swf, expected, flags;
    int frames = 1;
};

std::vector<Case> readManifest(const fs::path& dir) {
    std::vector<Case> cases;
    std::ifstream in(dir / "manifest.tsv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> col;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t'))
            col.push_back(cell);
        if (col.size() < 4) continue;
        Case c;
        c.name = col[0];
        c.swf = col[1];
        c.expected = col[2];
        c.frames = std::atoi(col[3].c_str());
        c.flags = col.size() > 4 ? col[4] : "";
        cases.push_back(c);
    }
    return cases;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// "\r\n" -> "\n", one final newline dropped.
std::string normalise(std::string s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out += s[i];
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    if (s.empty()) return out;
    size_t i = 0;
    while (true) {
        size_t j = s.find('\n', i);
        if (j == std::string::npos) {
            out.push_back(s.substr(i));
            break;
        }
        out.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

double lineMatch(const std::vector<std::string>& want, const std::vector<std::string>& got) {
    if (want.empty()) return got.empty() ? 1.0 : 0.0;
    size_t n = want.size(), m = std::min<size_t>(got.size(), 20000);
    std::vector<int> prev(m + 1, 0), cur(m + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        for (size_t j = 1; j <= m; ++j)
            cur[j] = want[i - 1] == got[j - 1] ? prev[j - 1] + 1 : std::max(prev[j], cur[j - 1]);
        std::swap(prev, cur);
    }
    return double(prev[m]) / double(n);
}

enum class Status { Pass, Fail, Crash, Timeout };

struct Result {
    Status status = Status::Fail;
    double match = 0;
    std::string output;
};

Result runCase(const fs::path& dir, const Case& c, int timeoutSeconds) {
    Result r;
    int fds[2];
    if (pipe(fds) != 0) return r;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        struct rlimit mem {
            size_t(4) << 30, size_t(4) << 30
        };
        setrlimit(RLIMIT_AS, &mem);
        fs::path movie = fs::absolute(dir / c.swf);
        if (chdir(movie.parent_path().c_str()) != 0) _exit(3);
        FILE* out = fdopen(fds[1], "w");
        player::TraceRunOptions o;
        o.frames = c.frames;
        // Cases that need a user bring their mouse and key events beside the movie.
        if (fs::exists(movie.parent_path() / "input.json"))
            o.inputFile = (movie.parent_path() / "input.json").string();
        o.trace = [out](const std::string& line) {
            std::fwrite(line.data(), 1, line.size(), out);
            std::fputc('\n', out);
        };
        std::string error;
        bool ok = player::runTrace(movie.string(), o, &error);
        std::fflush(out);
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    std::string output;
    auto start = std::chrono::steady_clock::now();
    bool timedOut = false;
    char buf[65536];
    while (true) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fds[0], &set);
        timeval tv{0, 100000};
        int ready = select(fds[0] + 1, &set, nullptr, nullptr, &tv);
        if (ready > 0) {
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            if (output.size() < (size_t(64) << 20)) output.append(buf, size_t(n));
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(timeoutSeconds)) {
            timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.output = output;
    if (timedOut) {
        r.status = Status::Timeout;
        return r;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        r.status = Status::Crash;
        return r;
    }
    std::string want = normalise(readFile(dir / c.expected));
    std::string got = normalise(output);
    r.match = lineMatch(lines(want), lines(got));
    r.status = want == got ? Status::Pass : Status::Fail;
    return r;
}

// "ruffle/avm1/array_sort" -> "ruffle/array"; "swfdec/trace/string-split-6.swf" -> "swfdec/string".
std::string areaOf(const std::string& name) {
    size_t slash = name.rfind('/');
    std::string base = name.substr(slash + 1);
    size_t cut = base.find_first_of("-_.");
    return name.substr(0, name.find('/')) + "/" + base.substr(0, cut);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path dir;
    if (const char* env = std::getenv("TOLVIKAN_SHARED"))
        dir = fs::path(env) / "corpus" / "trace";
    else
        dir = fs::path(TOLVIKAN_SHARED_DIR) / "corpus" / "trace";
    std::string filter, passList, writePassList;
    int timeout = 20;
    bool verbose = false, onlyListed = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--corpus")
            dir = next();
        else if (a == "--filter")
            filter = next();
        else if (a == "--timeout")
            timeout = std::atoi(next().c_str());
        else if (a == "--verbose")
            verbose = true;
        else if (a == "--pass-list")
            passList = next();
        else if (a == "--write-pass-list")
            writePassList = next();
        else if (a == "--only-listed")
            onlyListed = true;
        else {
            std::fprintf(stderr,
                         "usage: trace_corpus [--corpus DIR] [--filter TEXT] [--timeout S] [--verbose] "
                         "[--pass-list FILE [--only-listed]] [--write-pass-list FILE]\n");
            return 2;
        }
    }
    if (!fs::exists(dir / "manifest.tsv")) {
        std::printf("trace corpus not present at %s: nothing to run\n", dir.string().c_str());
        return 0;
    }
    std::set<std::string> mustPass;
    if (!passList.empty()) {
        std::ifstream in(passList);
        std::string line;
        while (std::getline(in, line))
            if (!line.empty() && line[0] != '#') mustPass.insert(line);
    }
    std::vector<Case> cases = readManifest(dir);
    int pass = 0, fail = 0, crash = 0, timeouts = 0, run = 0;
    double matchSum = 0;
    std::map<std::string, int> failingAreas;
    std::vector<std::string> passed, regressions;
    for (const Case& c : cases) {
        if (!filter.empty() && c.name.find(filter) == std::string::npos) continue;
        if (onlyListed && !mustPass.count(c.name)) continue;
        Result r = runCase(dir, c, timeout);
        ++run;
        matchSum += r.match;
        const char* word = "FAIL";
        switch (r.status) {
            case Status::Pass:
                ++pass;
                word = "PASS";
                passed.push_back(c.name);
                break;
            case Status::Fail:
                ++fail;
                break;
            case Status::Crash:
                ++crash;
                word = "CRASH";
                break;
            case Status::Timeout:
                ++timeouts;
                word = "TIMEOUT";
                break;
        }
        if (r.status != Status::Pass) {
            ++failingAreas[areaOf(c.name)];
            if (mustPass.count(c.name)) regressions.push_back(c.name);
        }
        std::printf("%-7s %.2f %s\n", word, r.match, c.name.c_str());
        if (verbose && r.status != Status::Pass) {
            std::printf("--- got:\n%s--- expected:\n%s---\n", r.output.c_str(),
                        readFile(dir / c.expected).c_str());
        }
        std::fflush(stdout);
    }
    std::printf("\nfailing areas (cases):");
    std::vector<std::pair<int, std::string>> areas;
    for (const auto& [a, n] : failingAreas)
        areas.emplace_back(n, a);
    std::sort(areas.rbegin(), areas.rend());
    for (size_t i = 0; i < areas.size() && i < 40; ++i)
        std::printf("%s %s %d", i ? "," : "", areas[i].second.c_str(), areas[i].first);
    std::printf("\n");
    std::printf("trace corpus: %d of %d cases pass; %d failed, %d crashed, %d timed out; line match %.3f\n",
                pass, run, fail, crash, timeouts, run ? matchSum / run : 0.0);
    if (!writePassList.empty()) {
        std::ofstream out(writePassList);
        out << "# Trace corpus cases that pass; CI fails when one of them stops passing.\n";
        std::sort(passed.begin(), passed.end());
        for (const std::string& p : passed)
            out << p << "\n";
    }
    if (!regressions.empty()) {
        std::printf("%zu listed cases no longer pass:\n", regressions.size());
        for (const std::string& r : regressions)
            std::printf("  %s\n", r.c_str());
        return 1;
    }
    return 0;
}
