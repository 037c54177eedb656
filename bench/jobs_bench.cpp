// Batch benchmark: eight busy movies (bench/busy_movie.h) converted by the program itself with --jobs 1 and
// with --jobs 2, the wall-clock time of each run, the frames per second over the batch and the speed-up of
// two jobs over one, and the processor time of each run (how many cores one job keeps busy bounds what two
// can gain). On two idle cores the aim is a speed-up of at least 1.7.
//
// usage: jobs_bench [FRAMES per movie (default 60)] [TYPE (default mp4: avi|mpeg|mp4|webm|mov|gif)]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "busy_movie.h"
#include "support/swf_builder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMovies = 8;

struct RunTimes {
    double wall = -1;  // negative when the run failed
    double cpu = 0;    // user + system seconds of the program and its jobs
};

// Runs the program with `args`: its wall-clock and processor seconds.
RunTimes RunProgram(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        // The status log is not part of the measurement.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(TOLVIKAN_BIN));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TOLVIKAN_BIN, argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);  // the jobs' times are in it too: the program waits for each job
    RunTimes t;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.wall = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
    auto sec = [](const timeval& v) { return static_cast<double>(v.tv_sec) + v.tv_usec / 1e6; };
    t.cpu = sec(usage.ru_utime) + sec(usage.ru_stime);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string type = argc > 2 ? argv[2] : "mp4";
    if (frames < 1) {
        std::fprintf(stderr, "usage: jobs_bench [FRAMES] [TYPE]\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("tolvikan-jobs-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const testswf::Bytes movie = busy_movie::BusyMovie(frames);
    std::vector<std::string> movies;
    for (int i = 1; i <= kMovies; ++i) {
        movies.push_back((dir / ("busy" + std::to_string(i) + ".swf")).string());
        testswf::writeFile(movies.back(), movie);
    }
    std::printf("%d movies of %d frames, %dx%d, converted to %s by %s\n", kMovies, frames, busy_movie::kWidth,
                busy_movie::kHeight, type.c_str(), TOLVIKAN_BIN);
    double seconds[2] = {}, cpu[2] = {};
    for (int jobs = 1; jobs <= 2; ++jobs) {
        std::vector<std::string> args = {"convert"};
        args.insert(args.end(), movies.begin(), movies.end());
        const std::string out = (dir / ("out" + std::to_string(jobs))).string() + "/";
        for (const std::string& a : {std::string("--type"), type, std::string("--output"), out,
                                     std::string("-y"), std::string("--jobs"), std::to_string(jobs)})
            args.push_back(a);
        const RunTimes t = RunProgram(args);
        const double s = t.wall;
        if (s < 0) {
            std::fprintf(stderr, "jobs_bench: the conversion with --jobs %d failed\n", jobs);
            fs::remove_all(dir);
            return 1;
        }
        seconds[jobs - 1] = s;
        cpu[jobs - 1] = t.cpu;
        // Processor seconds over wall seconds: how many cores the run kept busy.
        std::printf("--jobs %d: %7.2f s  %7.1f frames/s  %7.2f s of processor time (%.2f cores busy)\n", jobs,
                    s, kMovies * frames / s, t.cpu, t.cpu / s);
    }
    std::printf("speed-up of --jobs 2 over --jobs 1: %.2f (aim: 1.7 or more on two idle cores)\n",
                seconds[0] / seconds[1]);
    // One job that already keeps c cores busy leaves two cores room for at most 2 / c of its speed, unless
    // two jobs need less processor time together than one does alone.
    std::printf(
        "bound on two cores from --jobs 1's use of them: %.2f; processor time of --jobs 2 over --jobs 1: "
        "%.2f\n",
        2 * seconds[0] / cpu[0], cpu[1] / cpu[0]);
    fs::remove_all(dir);
    return 0;
}
