// Player drawing cost on the conversion benchmark's busy movie: 48 moving, turning gradient shapes and
// stroked stars over a sliding full-stage gradient, 640x480, rendered through the player's public API with
// no encoder behind it. Prints the thread's CPU time per frame (the fair figure on a shared machine) and the
// wall clock, best of several passes, and a checksum of every rendered pixel so that a change to the
// rasterizer can be checked to leave the pictures alone. With --dump FILE the raw frames are written too.
//
// With --save-movie FILE the movie itself is written out (to profile other programs on it).
//
// With --threads N each picture is drawn on N threads; the checksum must stay the same, and the process's
// CPU time (all threads) is printed beside the calling thread's.
//
// usage: busy_render_bench [FRAMES (default 300)] [PASSES (default 3)] [--low] [--dump FILE]
//                          [--save-movie FILE] [--threads N]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "busy_movie.h"
#include "player/player.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

namespace {

using namespace testswf;

using busy_movie::BusyMovie;
using busy_movie::kHeight;
using busy_movie::kWidth;

double threadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double processCpu() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// FNV-1a over the frame's pixels, a pixel at a time.
uint64_t hashFrame(const std::vector<player::Pixel>& px, uint64_t h) {
    for (player::Pixel p : px)
        h = (h ^ p) * 0x100000001b3ull;
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 300, passes = 3;
    bool low = false;
    int threads = 1;
    std::string dump, saveMovie;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--low") {
            low = true;
        } else if (a == "--dump" && i + 1 < argc) {
            dump = argv[++i];
        } else if (a == "--save-movie" && i + 1 < argc) {
            saveMovie = argv[++i];
        } else if (a == "--threads" && i + 1 < argc) {
            threads = std::clamp(std::atoi(argv[++i]), 1, 64);
        } else {
            numbers.push_back(std::atoi(a.c_str()));
        }
    }
    if (numbers.size() > 0) frames = std::clamp(numbers[0], 1, 65535);
    if (numbers.size() > 1) passes = std::clamp(numbers[1], 1, 100);

    Bytes movie = BusyMovie(frames);
    if (!saveMovie.empty()) {
        FILE* f = std::fopen(saveMovie.c_str(), "wb");
        if (!f || std::fwrite(movie.data(), 1, movie.size(), f) != movie.size()) {
            std::fprintf(stderr, "cannot write %s\n", saveMovie.c_str());
            if (f) std::fclose(f);
            return 1;
        }
        std::fclose(f);
    }
    std::vector<player::Pixel> pixels(size_t(kWidth) * kHeight);
    player::RenderOptions options;
    options.quality = low ? player::Quality::Low : player::Quality::High;
    options.threads = threads;
    double bestCpu = 1e9, bestWall = 1e9, bestAll = 1e9;
    uint64_t checksum = 0;
    for (int pass = 0; pass < passes; ++pass) {
        player::Player p;
        std::string error;
        if (!p.loadBytes(movie, "busy.swf", &error)) {
            std::fprintf(stderr, "movie refused: %s\n", error.c_str());
            return 1;
        }
        FILE* out = pass == 0 && !dump.empty() ? std::fopen(dump.c_str(), "wb") : nullptr;
        uint64_t h = 0xcbf29ce484222325ull;
        double cpu = 0, all = 0;
        auto wall = std::chrono::duration<double>::zero();
        for (int f = 0; f < frames; ++f) {
            if (f > 0) p.advance();
            double c0 = threadCpu(), a0 = processCpu();
            auto w0 = std::chrono::steady_clock::now();
            p.render(pixels.data(), kWidth, kHeight, kWidth, options);
            wall += std::chrono::steady_clock::now() - w0;
            cpu += threadCpu() - c0;
            all += processCpu() - a0;
            h = hashFrame(pixels, h);
            if (out) std::fwrite(pixels.data(), sizeof(player::Pixel), pixels.size(), out);
        }
        if (out) std::fclose(out);
        checksum = h;
        bestCpu = std::min(bestCpu, cpu);
        bestAll = std::min(bestAll, all);
        bestWall = std::min(bestWall, wall.count());
    }
    std::printf("busy movie %dx%d, %d frames, %s quality, %d drawing thread%s, best of %d passes\n", kWidth,
                kHeight, frames, low ? "low" : "high", threads, threads > 1 ? "s" : "", passes);
    std::printf(
        "render: %.3f ms/frame cpu (this thread), %.3f ms/frame cpu (all threads), %.3f ms/frame wall\n",
        1000 * bestCpu / frames, 1000 * bestAll / frames, 1000 * bestWall / frames);
    std::printf("checksum: %016llx\n", static_cast<unsigned long long>(checksum));
    return 0;
}
