// player_bench: how fast the player turns movies into pictures. For each movie it loads it, then runs and
// renders every frame (up to --frames, looping as the movie does) at 640x480, and prints the frames per
// second of advance+render, the milliseconds per frame of each part, and the peak memory of the process
// that played it (each movie runs in its own child process, so one movie's memory does not hide another's).
//
// A movie shorter than --min-frames (default 24) is played on past its end for that many frames: a one-frame
// movie whose clips animate (or play a video) is timed over a second of playing, not over one picture.
//
// usage: player_bench [--frames N] [--min-frames N] [--quality high|low] [MOVIE.swf | FOLDER]...
//        with no movie: the demo movie (if built) and every .swf under ../shared/corpus/smoke
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "player/player.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Result {
    bool ok = false;
    int frames = 0;
    double advanceMs = 0, renderMs = 0;
    char error[160] = {};
};

Result runMovie(const std::string& path, int maxFrames, int minFrames, player::Quality q) {
    Result r;
    player::Player p;
    std::string error;
    if (!p.loadFile(path, &error)) {
        std::snprintf(r.error, sizeof r.error, "%s", error.c_str());
        return r;
    }
    int frames = std::min(maxFrames, std::max({1, minFrames, p.totalFrames()}));
    std::vector<player::Pixel> pixels(640 * 480);
    player::RenderOptions o;
    o.quality = q;
    // One untimed frame first: it decodes bitmaps and warms the caches, as any conversion does once.
    p.render(pixels.data(), 640, 480, 640, o);
    for (int i = 0; i < frames; ++i) {
        auto t0 = Clock::now();
        p.advance();
        auto t1 = Clock::now();
        p.render(pixels.data(), 640, 480, 640, o);
        auto t2 = Clock::now();
        r.advanceMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        r.renderMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
    }
    r.frames = frames;
    r.ok = true;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    int maxFrames = 300;
    int minFrames = 24;
    player::Quality quality = player::Quality::High;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc)
            maxFrames = std::max(1, std::atoi(argv[++i]));
        else if (a == "--min-frames" && i + 1 < argc)
            minFrames = std::max(0, std::atoi(argv[++i]));
        else if (a == "--quality" && i + 1 < argc)
            quality = std::string(argv[++i]) == "low" ? player::Quality::Low : player::Quality::High;
        else
            inputs.push_back(a);
    }
    if (inputs.empty()) {
        fs::path exe = fs::canonical("/proc/self/exe");
        fs::path demo = exe.parent_path().parent_path() / "demo" / "demo.swf";
        if (fs::exists(demo)) inputs.push_back(demo.string());
        const char* env = std::getenv("TOLVIKAN_SHARED");
        inputs.push_back(std::string(env && *env ? env : TOLVIKAN_SHARED_DIR) + "/corpus/smoke");
    }
    std::vector<std::string> movies;
    for (const std::string& in : inputs) {
        std::error_code ec;
        if (fs::is_directory(in, ec)) {
            for (const auto& e : fs::recursive_directory_iterator(in, ec))
                if (e.path().extension() == ".swf") movies.push_back(e.path().string());
        } else if (fs::exists(in, ec)) {
            movies.push_back(in);
        } else {
            std::fprintf(stderr, "player_bench: %s: no such file or folder\n", in.c_str());
        }
    }
    std::sort(movies.begin(), movies.end());
    std::printf("%-60s %7s %9s %9s %9s %10s\n", "movie (640x480)", "frames", "fps", "adv ms", "render ms",
                "peak MiB");
    double totalFrames = 0, totalMs = 0, sumFps = 0;
    int counted = 0;
    std::string slowest;
    double slowestFps = 0;
    for (const std::string& m : movies) {
        int fds[2];
        if (pipe(fds) != 0) return 1;
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            Result r = runMovie(m, maxFrames, minFrames, quality);
            ssize_t n = write(fds[1], &r, sizeof r);
            _exit(n == sizeof r ? 0 : 1);
        }
        close(fds[1]);
        Result r;
        ssize_t n = read(fds[0], &r, sizeof r);
        close(fds[0]);
        int status = 0;
        rusage ru{};
        wait4(pid, &status, 0, &ru);
        std::string name = m.size() > 60 ? "..." + m.substr(m.size() - 57) : m;
        if (n != sizeof r) {
            std::printf("%-60s crashed (%s)\n", name.c_str(),
                        WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "no result");
            continue;
        }
        if (!r.ok) {
            std::printf("%-60s not loaded: %s\n", name.c_str(), r.error);
            continue;
        }
        double ms = r.advanceMs + r.renderMs;
        totalFrames += r.frames;
        totalMs += ms;
        const double fps = r.frames * 1000.0 / ms;
        sumFps += fps;
        ++counted;
        if (slowest.empty() || fps < slowestFps) {
            slowest = name;
            slowestFps = fps;
        }
        std::printf("%-60s %7d %9.1f %9.3f %9.3f %10.1f\n", name.c_str(), r.frames, r.frames * 1000.0 / ms,
                    r.advanceMs / r.frames, r.renderMs / r.frames, ru.ru_maxrss / 1024.0);
    }
    if (totalFrames > 0)
        std::printf("\nall movies: %.0f frames, %.1f frames per second, %.3f ms per frame\n", totalFrames,
                    totalFrames * 1000.0 / totalMs, totalMs / totalFrames);
    if (counted > 0)
        std::printf("mean over %d movies: %.1f frames per second; slowest: %s at %.1f\n", counted,
                    sumFps / counted, slowest.c_str(), slowestFps);
    return 0;
}
