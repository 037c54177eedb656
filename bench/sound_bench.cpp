// Movie sound benchmark: a 5-minute 640x480 movie at 12 fps (a moving square) with a streamed MP3 soundtrack
// (22.05 kHz mono) and eight event sounds (ADPCM, 3 s, looping) that overlap all the time. Prints:
//  - the player alone over every frame: timelines only (sound off) against timelines with the mix taken
//    after each frame, CPU time per frame and the share the sound adds;
//  - `tolvikan convert` to an MPEG-4 AVI with --sound none against --sound movie (the player's mix written
//    to the video's sound file): wall clock, CPU time, the extra share, and the peak memory of each run.
// Every measurement runs in its own child process, so the peak memory (getrusage) is that run's alone.
//
// usage: sound_bench [FRAMES (default 3600: 5 minutes)]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mp3_fixture.h"
#include "player/player.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_sound.h"
#include "support/swf_tags.h"

namespace {

namespace fs = std::filesystem;
using namespace testswf;

constexpr int kFps = 12;
// A typical cartoon's stage, so the video side weighs what it does in real conversions.
constexpr int kWidth = 640, kHeight = 480;
constexpr int kEvents = 8;

struct Run {
    bool ok = false;
    double wall = 0, cpu = 0;
    long peakKB = 0;
};

double Seconds(const timeval& tv) {
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

Run InChild(const std::function<int()>& body) {
    Run run;
    std::fflush(stdout);  // or the child would print what is still buffered once more
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peakKB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

std::vector<int16_t> Tone(size_t n, double freq, double rate, double amp) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = int16_t(std::lround(amp * std::sin(2 * M_PI * freq * double(i) / rate)));
    return s;
}

Bytes Movie(int frames, std::string* error) {
    Header h;
    h.xmax = kWidth * 20;
    h.ymax = kHeight * 20;
    h.frameCount = uint16_t(std::min(frames, 65535));
    h.frameRate88 = kFps << 8;
    SwfBuilder b(h);
    b.backgroundColor(0xFFFFFF);
    ShapeBuilder square;
    square.fill0(square.fillSolid(0x3060C0FF)).rect(0, 0, 400, 400);
    b.tag(32, square.defineShape(1, 3));
    // Eight event sounds of 3 s each, 22.05 kHz 4-bit ADPCM, different pitches.
    for (int e = 0; e < kEvents; ++e) {
        std::vector<int16_t> s = Tone(22050 * 3, 220.0 * (1 + e * 0.25), 22050, 4000);
        b.tag(kTagDefineSound, defineSound(uint16_t(10 + e), {1, 2, true, false}, uint32_t(s.size()),
                                           adpcmEncode(s, 4, false)));
    }
    // The soundtrack: 22.05 kHz mono MP3 handed out to frames by the sample each MPEG frame starts at.
    const double perFrame = 22050.0 / kFps;
    mp3fixture::Encoded mp3 =
        mp3fixture::Encode(Tone(size_t(frames * perFrame) + 22050, 330, 22050, 8000), 22050, 48);
    if (!mp3.error.empty()) {
        *error = mp3.error;
        return {};
    }
    b.tag(kTagSoundStreamHead, soundStreamHead({2, 2, true, false}, uint16_t(perFrame), int16_t(0)));
    size_t next = 0;
    for (int f = 0; f < frames; ++f) {
        ByteWriter block;
        Bytes data;
        uint16_t count = 0;
        while (next < mp3.frames.size() && double(next) * mp3.samplesPerFrame < (f + 1) * perFrame) {
            data.insert(data.end(), mp3.frames[next].begin(), mp3.frames[next].end());
            count = uint16_t(count + mp3.samplesPerFrame);
            ++next;
        }
        block.u16(count).s16(0).raw(data);
        b.tag(kTagSoundStreamBlock, block.bytes());
        // Every 15 frames one of the event sounds starts again, looping twice: 6 s each, so all eight
        // overlap once the movie is under way.
        if (f % 15 == 0) {
            SoundInfoSpec info;
            info.loops = 2;
            b.tag(kTagStartSound, startSound(uint16_t(10 + (f / 15) % kEvents), info));
        }
        PlaceSpec p;
        p.depth = 1;
        p.move = f > 0;
        if (f == 0) p.characterId = 1;
        p.matrix = MatrixSpec{1, 1, 0, 0, (f * 40) % (kWidth * 20 - 400), (f * 14) % (kHeight * 20 - 400)};
        b.tag(26, placeObject(p, 2));
        b.showFrame();
    }
    b.end();
    return b.build();
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5 * 60 * kFps;
    fs::path dir = fs::temp_directory_path() / ("tolvikan-sound-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string movie = (dir / "sound.swf").string();
    std::string error;
    Bytes bytes = Movie(frames, &error);
    if (bytes.empty() || !writeFile(movie, bytes)) {
        std::fprintf(stderr, "sound_bench: cannot make the movie: %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "movie: %dx%d, %d frames at %d fps (%.1f min), streamed MP3 22.05 kHz, %d overlapping "
        "ADPCM event sounds; %.1f MB\n\n",
        kWidth, kHeight, frames, kFps, frames / double(kFps) / 60, kEvents, double(bytes.size()) / 1e6);

    auto playerRun = [&](bool sound) {
        return InChild([&] {
            player::Player p;
            p.setSoundEnabled(sound);
            std::string e;
            if (!p.loadFile(movie, &e)) return 1;
            std::vector<int16_t> out;
            size_t taken = p.takeSound(out);
            for (int f = 1; f < frames; ++f) {
                p.advance();
                out.clear();
                taken += p.takeSound(out);
            }
            return sound && taken == 0 ? 2 : 0;
        });
    };
    Run quiet = playerRun(false), loud = playerRun(true);
    std::printf("player alone      %10s %12s %10s\n", "cpu s", "cpu ms/frame", "peak MB");
    std::printf("  sound off       %10.2f %12.3f %10.1f %s\n", quiet.cpu, 1000 * quiet.cpu / frames,
                quiet.peakKB / 1024.0, quiet.ok ? "" : "(failed)");
    std::printf("  sound mixed     %10.2f %12.3f %10.1f %s\n", loud.cpu, 1000 * loud.cpu / frames,
                loud.peakKB / 1024.0, loud.ok ? "" : "(failed)");

#ifdef TOLVIKAN_BIN
    auto convert = [&](const char* sound, const std::string& out) {
        return InChild([&] {
            std::vector<std::string> args = {TOLVIKAN_BIN, "convert", movie,     "--output", out,
                                             "--codec",    "FMP4",    "--sound", sound,      "-y"};
            std::vector<char*> argv2;
            for (std::string& a : args)
                argv2.push_back(a.data());
            argv2.push_back(nullptr);
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            execv(TOLVIKAN_BIN, argv2.data());
            return 127;
        });
    };
    Run none = convert("none", (dir / "none.avi").string());
    Run with = convert("movie", (dir / "movie.avi").string());
    std::printf("\nconversion to MPEG-4 AVI (tolvikan convert, start-up included)\n");
    std::printf("                  %10s %10s %10s\n", "wall s", "cpu s", "peak MB");
    std::printf("  --sound none    %10.2f %10.2f %10.1f %s\n", none.wall, none.cpu, none.peakKB / 1024.0,
                none.ok ? "" : "(failed)");
    std::printf("  --sound movie   %10.2f %10.2f %10.1f %s\n", with.wall, with.cpu, with.peakKB / 1024.0,
                with.ok ? "" : "(failed)");
    if (none.cpu > 0)
        std::printf("  sound adds      %9.1f%% %9.1f%% (aim: under 10%%)\n",
                    100 * (with.wall / none.wall - 1), 100 * (with.cpu / none.cpu - 1));
#endif
    std::error_code ec;
    fs::remove_all(dir, ec);
    return quiet.ok && loud.ok ? 0 : 1;
}
