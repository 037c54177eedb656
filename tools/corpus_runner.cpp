// Corpus runner: renders every case of the reference corpus (manifest.tsv) with our player and compares the
// picture with Flash Player's. One line per case, then a summary: passed, failed, crashed, mean PSNR.
//
// usage: corpus_runner [--corpus DIR] [--filter TEXT] [--save DIR] [--timeout SECONDS] [--threads N]
//                      [--verbose]
// --threads draws each picture on N threads (the pictures must not change: compare them with --save).
// Each case runs in a child process, so a crash or a hang is counted against that case alone.
#include <QImage>
#include <QString>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "player/player.h"

namespace fs = std::filesystem;

namespace {

struct Case {
    std::string name, swf, expected;
    int frames = 1, tolerance = 0, maxOutliers = 0, width = 0, height = 0;
    bool high = true, knownFailure = false;
};

struct Outcome {
    enum Status : int { Pass = 0, Fail = 1, Crash = 2, Error = 3 } status = Error;
    long long outliers = 0;
    double psnr = 0;
    char message[200] = {};
};

std::vector<Case> readManifest(const fs::path& dir) {
    std::vector<Case> cases;
    std::ifstream in(dir / "manifest.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> col;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t'))
            col.push_back(cell);
        if (col.size() < 10) continue;
        Case c;
        c.name = col[0];
        c.swf = col[1];
        c.expected = col[2];
        c.frames = std::atoi(col[3].c_str());
        c.tolerance = std::atoi(col[4].c_str());
        c.maxOutliers = std::atoi(col[5].c_str());
        c.high = col[6] != "low";
        c.width = std::atoi(col[7].c_str());
        c.height = std::atoi(col[8].c_str());
        c.knownFailure = col[9] == "1";
        cases.push_back(c);
    }
    return cases;
}

// Runs in the child process.
int gThreads = 1;  // --threads

Outcome runCase(const fs::path& dir, const Case& c, const std::string& saveDir) {
    Outcome o;
    player::Player p;
    std::string error;
    if (!p.loadFile((dir / c.swf).string(), &error)) {
        o.status = Outcome::Error;
        std::snprintf(o.message, sizeof o.message, "load: %s", error.c_str());
        return o;
    }
    for (int i = 1; i < c.frames; ++i)
        p.advance();
    QImage ours(c.width, c.height, QImage::Format_ARGB32_Premultiplied);
    player::RenderOptions opt;
    opt.quality = c.high ? player::Quality::High : player::Quality::Low;
    opt.threads = gThreads;
    p.render(reinterpret_cast<player::Pixel*>(ours.bits()), c.width, c.height,
             static_cast<int>(ours.bytesPerLine() / 4), opt);
    QImage ref(QString::fromStdString((dir / c.expected).string()));
    if (ref.isNull()) {
        std::snprintf(o.message, sizeof o.message, "cannot read reference picture");
        return o;
    }
    ref = ref.convertToFormat(QImage::Format_ARGB32);
    QImage mine = ours.convertToFormat(QImage::Format_ARGB32);
    if (!saveDir.empty()) {
        std::string base = c.name;
        for (char& ch : base)
            if (ch == '/' || ch == '#') ch = '_';
        mine.save(QString::fromStdString(saveDir + "/" + base + ".png"));
    }
    if (ref.width() != mine.width() || ref.height() != mine.height()) {
        std::snprintf(o.message, sizeof o.message, "reference is %dx%d, rendered %dx%d", ref.width(),
                      ref.height(), mine.width(), mine.height());
        o.status = Outcome::Fail;
        return o;
    }
    double sq = 0;
    long long outliers = 0;
    for (int y = 0; y < ref.height(); ++y) {
        const uint32_t* a = reinterpret_cast<const uint32_t*>(ref.constScanLine(y));
        const uint32_t* b = reinterpret_cast<const uint32_t*>(mine.constScanLine(y));
        for (int x = 0; x < ref.width(); ++x) {
            for (int s = 0; s < 32; s += 8) {
                int d = std::abs(int((a[x] >> s) & 0xFF) - int((b[x] >> s) & 0xFF));
                if (d > c.tolerance) ++outliers;
                sq += double(d) * d;
            }
        }
    }
    double mse = sq / (4.0 * ref.width() * ref.height());
    o.psnr = mse == 0 ? 99.0 : std::min(99.0, 10 * std::log10(255.0 * 255.0 / mse));
    o.outliers = outliers;
    o.status = outliers <= c.maxOutliers ? Outcome::Pass : Outcome::Fail;
    // Say what the movie needs that the player lacks, so a failure can be told from a fidelity fault.
    std::string needs;
    for (const std::string& line : p.log()) {
        const std::string prefix = "not supported yet: ";
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string what = line.substr(prefix.size());
        what = what.substr(0, what.find(" ("));
        if (needs.find(what) == std::string::npos) needs += (needs.empty() ? "needs: " : ", ") + what;
    }
    std::snprintf(o.message, sizeof o.message, "%s", needs.c_str());
    return o;
}

Outcome runIsolated(const fs::path& dir, const Case& c, const std::string& saveDir, int timeoutSeconds) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        // A runaway movie must not take the machine: cap the child's memory at 4 GiB.
        rlimit lim{4ull << 30, 4ull << 30};
        setrlimit(RLIMIT_AS, &lim);
        Outcome o = runCase(dir, c, saveDir);
        ssize_t n = write(fds[1], &o, sizeof o);
        _exit(n == sizeof o ? 0 : 1);
    }
    close(fds[1]);
    auto start = std::chrono::steady_clock::now();
    int status = 0;
    bool timedOut = false;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(timeoutSeconds)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Outcome o;
    ssize_t n = read(fds[0], &o, sizeof o);
    waitpid(pid, &status, WNOHANG);
    close(fds[0]);
    if (timedOut || n != sizeof o) {
        o = Outcome{};
        o.status = Outcome::Crash;
        if (timedOut)
            std::snprintf(o.message, sizeof o.message, "hung (over %d s)", timeoutSeconds);
        else if (WIFSIGNALED(status))
            std::snprintf(o.message, sizeof o.message, "crashed (%s)", strsignal(WTERMSIG(status)));
        else
            std::snprintf(o.message, sizeof o.message, "child ended without a result");
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    std::string corpus, filter, saveDir, passList, writePassList;
    bool onlyListed = false;
    int timeout = 30;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--corpus" && i + 1 < argc)
            corpus = argv[++i];
        else if (a == "--filter" && i + 1 < argc)
            filter = argv[++i];
        else if (a == "--save" && i + 1 < argc)
            saveDir = argv[++i];
        else if (a == "--threads" && i + 1 < argc)
            gThreads = std::max(1, std::atoi(argv[++i]));
        else if (a == "--timeout" && i + 1 < argc)
            timeout = std::atoi(argv[++i]);
        else if (a == "--verbose")
            verbose = true;
        else if (a == "--pass-list" && i + 1 < argc)
            passList = argv[++i];
        else if (a == "--write-pass-list" && i + 1 < argc)
            writePassList = argv[++i];
        else if (a == "--only-listed")
            onlyListed = true;
        else {
            std::fprintf(stderr,
                         "usage: corpus_runner [--corpus DIR] [--filter TEXT] [--save DIR] [--threads N] "
                         "[--timeout SECONDS] [--verbose] [--pass-list FILE [--only-listed]] "
                         "[--write-pass-list FILE]\n");
            return 2;
        }
    }
    if (corpus.empty()) {
        const char* env = std::getenv("TOLVIKAN_SHARED");
        corpus = std::string(env && *env ? env : TOLVIKAN_SHARED_DIR) + "/corpus";
    }
    if (!fs::exists(fs::path(corpus) / "manifest.tsv")) {
        if (!passList.empty()) {
            // The ratchet run skips cleanly where the corpus is not beside the repository.
            std::printf("corpus_runner: no corpus at %s: nothing to check\n", corpus.c_str());
            return 0;
        }
        std::fprintf(stderr, "corpus_runner: no manifest.tsv in %s\n", corpus.c_str());
        return 2;
    }
    // The cases that passed before: one name a line; each must still pass.
    std::set<std::string> mustPass;
    if (!passList.empty()) {
        std::ifstream in(passList);
        std::string line;
        while (std::getline(in, line))
            if (!line.empty() && line[0] != '#') mustPass.insert(line);
    }
    std::vector<std::string> passedNames, regressions;
    if (!saveDir.empty()) fs::create_directories(saveDir);
    std::vector<Case> cases = readManifest(corpus);
    int passed = 0, failed = 0, crashed = 0, errors = 0, run = 0, knownPassing = 0;
    double psnrSum = 0;
    int psnrCount = 0;
    for (const Case& c : cases) {
        if (!filter.empty() && c.name.find(filter) == std::string::npos) continue;
        if (onlyListed && !mustPass.count(c.name)) continue;
        ++run;
        Outcome o = runIsolated(corpus, c, saveDir, timeout);
        const char* status = o.status == Outcome::Pass    ? "PASS"
                             : o.status == Outcome::Fail  ? "FAIL"
                             : o.status == Outcome::Crash ? "CRASH"
                                                          : "ERROR";
        if (o.status == Outcome::Pass)
            passedNames.push_back(c.name);
        else if (mustPass.count(c.name))
            regressions.push_back(c.name);
        switch (o.status) {
            case Outcome::Pass:
                ++passed;
                if (c.knownFailure) ++knownPassing;
                break;
            case Outcome::Fail:
                ++failed;
                break;
            case Outcome::Crash:
                ++crashed;
                break;
            case Outcome::Error:
                ++errors;
                break;
        }
        if (o.status == Outcome::Pass || o.status == Outcome::Fail) {
            psnrSum += o.psnr;
            ++psnrCount;
        }
        std::printf("%-5s %-70s outliers=%lld psnr=%.2f%s%s%s\n", status, c.name.c_str(), o.outliers, o.psnr,
                    c.knownFailure ? " [known failure]" : "", o.message[0] ? " " : "", o.message);
        if (verbose) std::fflush(stdout);
    }
    std::printf(
        "\ncorpus: %d of %d cases pass; %d failed, %d crashed or hung, %d could not load; "
        "mean PSNR %.2f dB over %d rendered cases",
        passed, run, failed, crashed, errors, psnrCount ? psnrSum / psnrCount : 0.0, psnrCount);
    if (knownPassing) std::printf("; %d marked known failures now pass", knownPassing);
    std::printf("\n");
    if (!writePassList.empty()) {
        std::ofstream out(writePassList);
        out << "# Render corpus cases that pass; CI fails when one of them stops passing.\n";
        std::sort(passedNames.begin(), passedNames.end());
        for (const std::string& n : passedNames)
            out << n << "\n";
    }
    if (!regressions.empty()) {
        std::printf("%zu listed cases no longer pass:\n", regressions.size());
        for (const std::string& n : regressions)
            std::printf("  %s\n", n.c_str());
        return 1;
    }
    return 0;
}
