// Conversion benchmark: a busy 640x480 animation (many moving, turning gradient shapes) converted through the
// real conversion driver (`tolvikan convert`, in-process in a child) to uncompressed AVI, MPEG-4 AVI, VCD,
// GIF and PNG images, against the same frames pre-rendered by the player and handed straight to the same
// encoders. Prints frames per second of both, their ratio (wall clock and CPU time), the player's own CPU
// time per frame (the pre-rendering, which the driver's run includes and the encoders' does not), and the
// peak memory of the driver's run over the first 100 frames and over all of them (the same movie, so only the
// frame count differs): no output may grow with the frame count (the GIF writer holds its frames compressed,
// and past its memory limit in a temporary file).
//
// Every measurement runs in its own child process, so the peak memory (getrusage) is that run's alone.
//
// usage: convert_bench [FRAMES (default 300)] [OUTPUT...]   outputs: avi-raw avi-mpeg4 vcd gif png
#include <QImage>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "busy_movie.h"
#include "convert/gif_image.h"
#include "mcl/mcl.h"
#include "mcl/mcl_codec_catalog.h"
#include "player/player.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

namespace {

namespace fs = std::filesystem;
using namespace testswf;

using busy_movie::BusyMovie;
using busy_movie::kFps;
using busy_movie::kHeight;
using busy_movie::kShapes;
using busy_movie::kWidth;

// --- child processes ---

struct Run {
    bool ok = false;  // exited with status 0
    double wall = 0;  // seconds
    double cpu = 0;   // seconds, user + system, all threads
    long peakKB = 0;
    std::string payload;  // what the child wrote back
};

double Seconds(const timeval& tv) {
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

// Runs body in a child whose stdout and stderr go to /dev/null; body's text comes back through a pipe.
Run InChild(const std::function<std::string()>& body) {
    int fds[2];
    Run run;
    if (pipe(fds) != 0) return run;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::string text = body();
        [[maybe_unused]] ssize_t n = write(fds[1], text.data(), text.size());
        _exit(0);
    }
    close(fds[1]);
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        run.payload.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peakKB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        run.payload += " (exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
    return run;
}

double CpuSelf() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

// --- the outputs ---

struct Output {
    std::string name;
    std::vector<std::string> options;  // of `tolvikan convert`
    std::string extension;             // "" : an image folder
    int frameW, frameH;                // the size the driver captures at
};

const std::vector<Output> kOutputs = {
    {"avi-raw", {"--codec", "0"}, ".avi", kWidth, kHeight},
    {"avi-mpeg4", {"--codec", "FMP4"}, ".avi", kWidth, kHeight},
    {"vcd", {"--mpeg-preset", "vcd-ntsc"}, ".mpg", 352, 240},
    {"gif", {"--type", "gif"}, ".gif", kWidth, kHeight},
    {"png", {"--type", "images"}, "", kWidth, kHeight},
};

// The driver: the program's `tolvikan convert` on the movie.
Run Driver(const Output& o, const std::string& movie, const std::string& out, int frames) {
    return InChild([&]() -> std::string {
        std::vector<std::string> args = {
            TOLVIKAN_BIN, "convert", movie, "--output", out,
            "--sound",    "none",    "-y",  "--frames", "1-" + std::to_string(frames)};
        args.insert(args.end(), o.options.begin(), o.options.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(TOLVIKAN_BIN, argv.data());
        _exit(127);
    });
}

// Pictures of every frame as the player draws them at the output size (on its pixels' aspect, as the
// driver does), as 24-bit bitmaps.
std::vector<TDib> PreRender(const std::string& movie, int frames, int w, int h, double pixelAspect) {
    player::Player p;
    std::string error;
    std::vector<TDib> out;
    if (!p.loadFile(movie, &error)) return out;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int f = 0; f < frames; ++f) {
        if (f > 0) p.advance();
        player::RenderOptions options;
        options.pixelAspect = pixelAspect;
        p.render(reinterpret_cast<player::Pixel*>(image.bits()), w, h, int(image.bytesPerLine() / 4),
                 options);
        TDib dib(w, h, 24);
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = image.constScanLine(y);
            uint8_t* dst = dib.scanLine(y);
            for (int x = 0; x < w; ++x) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
            }
        }
        out.push_back(std::move(dib));
    }
    return out;
}

// The same encoders without the player: the library's conversion fed from memory, with the settings the
// video output makes; the GIF writer; one still per frame.
bool Encode(const Output& o, const std::vector<TDib>& frames, const std::string& out) {
    if (o.name == "gif") {
        TGIFImage gif;
        for (const TDib& f : frames) {
            int i = gif.AddFrame(f.bits(), f.width(), f.height(), f.stride(), TGIFPixelFormat::BGR24);
            gif.Frame(i).SetDelay(static_cast<unsigned>(std::lround(1000.0 / kFps)));
        }
        gif.SetLooping(true);
        gif.SetRepeatCount(0);
        gif.EncodeAll();
        gif.SaveToFile(out);
        return true;
    }
    MclImageHandle image = MclImgAlloc();
    if (o.name == "png") {
        fs::create_directories(out);
        int n = 1;
        for (const TDib& f : frames) {
            MclDIBToImg(image, f);
            MclImgSaveSingle(image, out + "/" + std::to_string(n++) + ".png", MclDefault);
        }
        MclImgFree(image);
        return true;
    }
    MclHandle h = MclAlloc();
    size_t next = 0;
    MclAssignVideoSource(h, [&](MclSourceHandle source, int32_t) {
        if (next < frames.size()) {
            MclDIBToImg(image, frames[next++]);
            MclSrcSetImg(source, image);
            MclSrcSetFrameRate(source, kFps);
        } else {
            MclSrcFinished(source);
        }
    });
    MclAssignAudioSource(h, [](MclSourceHandle source, int32_t) { MclSrcFinished(source); });
    MclAssignError(h, [](int32_t, const char*, int32_t* action) { *action = kMclActionIgnore; });
    MclTruncateAudioToVideo(h, -1);
    MclSetKeepDuration(h, -1);
    MclSetOutputFile(h, out, out);
    const int w = o.frameW, hgt = o.frameH;
    if (o.name == "vcd") {
        MclSetFrameRate(h, 30000.0 / 1001.0);
        MclSetResolution(h, 352, 240);
        MclSetCodec(h, kMclStreamMPEGVideo, kMclMpegCodecVCD);
        MclSetBitRate(h, kMclStreamMPEGVideo, 1150, 1151, 0, -1);
        MclSetQuality(h, kMclStreamMPEGVideo, 0);
        MclSetAudioFormat(h, 44100, 2, 16);
        MclSetBitRate(h, kMclStreamMPEGAudio, 224, int32_t(MclDefault), int32_t(MclDefault), -1);
    } else {
        int32_t wanted = o.name == "avi-raw" ? 0 : int32_t(MclFourCC('F', 'M', 'P', '4'));
        TMclCodecInfo info{};
        bool found = false;
        int n = MclCodecsInit(kMclFormatAVI, w, hgt, 24);
        for (int i = 1; i <= n && !found; ++i)
            found = MclCodecsGetInfo(kMclFormatAVI, &info, i) == 0 && info.codecID == wanted;
        if (!found) {
            MclFree(h);
            MclImgFree(image);
            return false;
        }
        MclCodecsSetInfoToData(h, info);
        MclSetFrameRate(h, kFps);
        MclSetResolution(h, w, hgt);
        MclSetCodec(h, kMclStreamAVI, info.codecID);
        MclSetBitRate(h, kMclStreamAVI, info.bitRate, info.bitRateMax, info.bitRateMin, 0);
        MclSetQuality(h, kMclStreamAVI, 0);
        MclSetAudioFormat(h, 44100, 2, 16);
        MclSetBitRate(h, kMclStreamAVI, 224, int32_t(MclDefault), int32_t(MclDefault), 0);
    }
    MclForceCompatibility(h, -1);
    int32_t result = MclConvert(h);
    MclFree(h);
    MclImgFree(image);
    return result == 0;
}

Run EncodeOnly(const Output& o, const std::string& movie, int frames, const std::string& out) {
    return InChild([&]() -> std::string {
        double render0 = CpuSelf();
        // The disc formats' frames are seen as 4:3.
        const double aspect = o.name == "vcd" ? 4.0 * o.frameH / (3.0 * o.frameW) : 1.0;
        std::vector<TDib> pictures = PreRender(movie, frames, o.frameW, o.frameH, aspect);
        double render = CpuSelf() - render0;
        if (int(pictures.size()) != frames) return "render failed";
        double cpu0 = CpuSelf();
        auto t0 = std::chrono::steady_clock::now();
        bool ok = Encode(o, pictures, out);
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        double cpu = CpuSelf() - cpu0;
        if (!ok) return "encode failed";
        char buf[96];
        std::snprintf(buf, sizeof buf, "%.6f %.6f %.6f", wall, cpu, render);
        return buf;
    });
}

// Frames in the output: images in the folder, else the file's size tells only that it was written.
std::string Written(const Output& o, const std::string& out) {
    std::error_code ec;
    if (o.extension.empty()) {
        size_t n = 0;
        for (auto it = fs::directory_iterator(out, ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            ++n;
        return std::to_string(n) + " files";
    }
    auto size = fs::file_size(out, ec);
    return ec ? "missing" : std::to_string(size / 1024) + " KiB";
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 300;
    std::vector<std::string> only;
    for (int i = 1; i < argc; ++i) {
        if (std::isdigit(static_cast<unsigned char>(argv[i][0])))
            frames = std::max(1, std::atoi(argv[i]));
        else
            only.push_back(argv[i]);
    }
    const int small = std::min(100, frames);
    fs::path dir = fs::temp_directory_path() / ("tolvikan-convert-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string movie = (dir / "busy.swf").string();
    if (!writeFile(movie, BusyMovie(frames))) {
        std::fprintf(stderr, "convert_bench: cannot write the movies into %s\n", dir.c_str());
        return 1;
    }
    std::printf("busy movie: %dx%d, %d shapes with gradients, %d frames at %d fps\n", kWidth, kHeight,
                kShapes, frames, kFps);
    std::printf("driver: `tolvikan convert` in a child process, start-up and movie loading included\n");
    std::printf(
        "render/f: the player's drawing alone (part of the driver's time, not of the encoders');\n"
        "rest/f: what the driver spends beyond drawing and encoding (grab, frame gate, start-up)\n");
    std::printf("peak: the driver's peak memory over the first %d frames and over all %d\n", small, frames);
    std::printf(
        "encode: the same frames pre-rendered by the player, handed straight to the same encoder\n\n");
    std::printf("%-10s %9s %9s %6s | %10s %10s %6s %10s %10s | %9s %9s %7s | %s\n", "output", "drv fps",
                "enc fps", "ratio", "drv cpu/f", "enc cpu/f", "ratio", "render/f", "rest/f",
                ("peak@" + std::to_string(small)).c_str(), ("peak@" + std::to_string(frames)).c_str(),
                "growth", "written");
    int status = 0;
    for (const Output& o : kOutputs) {
        if (!only.empty() && std::find(only.begin(), only.end(), o.name) == only.end()) continue;
        std::string outDriver = (dir / ("driver-" + o.name + o.extension)).string();
        std::string outSmall = (dir / ("small-" + o.name + o.extension)).string();
        std::string outEncode = (dir / ("encode-" + o.name + o.extension)).string();
        Run full = Driver(o, movie, outDriver, frames);
        Run part = Driver(o, movie, outSmall, small);
        Run enc = EncodeOnly(o, movie, frames, outEncode);
        double encWall = 0, encCpu = 0, renderCpu = 0;
        bool encOk =
            enc.ok && std::sscanf(enc.payload.c_str(), "%lf %lf %lf", &encWall, &encCpu, &renderCpu) == 3;
        if (!full.ok || !part.ok || !encOk) {
            std::printf("%-10s failed: driver exit %s / %s, encode: %s\n", o.name.c_str(),
                        full.payload.c_str(), part.payload.c_str(), enc.payload.c_str());
            status = 1;
            continue;
        }
        double drvFps = frames / full.wall, encFps = frames / encWall;
        double drvCpu = full.cpu * 1000 / frames, encCpuF = encCpu * 1000 / frames;
        double renderF = renderCpu * 1000 / frames;
        std::printf(
            "%-10s %9.1f %9.1f %6.2f | %8.2fms %8.2fms %6.2f %8.2fms %8.2fms | %7ldMB %7ldMB %+6ldMB | %s\n",
            o.name.c_str(), drvFps, encFps, encFps / drvFps, drvCpu, encCpuF, drvCpu / encCpuF, renderF,
            drvCpu - encCpuF - renderF, part.peakKB / 1024, full.peakKB / 1024,
            (full.peakKB - part.peakKB) / 1024, Written(o, outDriver).c_str());
        std::fflush(stdout);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
