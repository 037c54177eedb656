// Media-library encoding benchmark: 300 synthetic 640x480 frames through MclConvert into uncompressed AVI,
// MPEG-4 AVI and VCD (the pictures fitted to 352x240), each with a WAV sound track, then MPEG-4 AVI with four
// times the frames to show that memory does not grow with the frame count. Prints frames per second (of this
// thread's CPU time, which the encoders run on, and of wall time) and the peak resident memory.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/encode_frames.h"
#include "mcl/mcl_codec_catalog.h"
#include "support/tone_wav.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// A cartoon-like frame: a soft vertical gradient with a bright disc that moves, as Flash movies look.
void MakeFrame(int index, MclImage& image) {
    image.width = kWidth;
    image.height = kHeight;
    image.bgr.resize(static_cast<size_t>(kWidth) * kHeight * 3);
    image.alpha.clear();
    const int cx = (index * 7) % kWidth;
    const int cy = kHeight / 2 + static_cast<int>(100 * std::sin(index * 0.1));
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = &image.bgr[static_cast<size_t>(y) * kWidth * 3];
        for (int x = 0; x < kWidth; ++x) {
            const int dx = x - cx, dy = y - cy;
            const bool disc = dx * dx + dy * dy < 60 * 60;
            row[x * 3 + 0] = static_cast<uint8_t>(disc ? 40 : 120 + y / 4);
            row[x * 3 + 1] = static_cast<uint8_t>(disc ? 200 : 60 + y / 8);
            row[x * 3 + 2] = static_cast<uint8_t>(disc ? 250 : 30);
        }
    }
}

// A WAV tone long enough for every run: 16-bit stereo at 44.1 kHz.
bool WriteWav(const std::string& path, double seconds) {
    return testwav::WriteToneWav(path, 44100, 2, 440, static_cast<uint32_t>(seconds * 44100), 8000);
}

void ConfigureAvi(MclHandle h, uint32_t codecID) {
    const int n = MclCodecsInit(kMclFormatAVI, kWidth, kHeight, 24);
    TMclCodecInfo block{};
    for (int i = 1; i <= n; ++i) {
        if (MclCodecsGetInfo(kMclFormatAVI, &block, i) == 0 &&
            static_cast<uint32_t>(block.codecID) == codecID)
            break;
    }
    MclCodecsSetInfoToData(h, block);
    MclSetFrameRate(h, 12);
    MclSetResolution(h, kWidth, kHeight);
    MclSetCodec(h, kMclStreamAVI, block.codecID);
    MclSetBitRate(h, kMclStreamAVI, block.bitRate, block.bitRateMax, block.bitRateMin, 0);
    MclSetQuality(h, kMclStreamAVI, 0);
    MclSetAudioFormat(h, 44100, 2, 16);
    MclSetBitRate(h, kMclStreamAVI, 224, static_cast<int32_t>(MclDefault), static_cast<int32_t>(MclDefault),
                  0);
    MclForceCompatibility(h, -1);
}

void ConfigureVcdNtsc(MclHandle h) {
    MclSetFrameRate(h, 30000.0 / 1001.0);
    MclSetResolution(h, 352, 240);
    MclSetCodec(h, kMclStreamMPEGVideo, kMclMpegCodecVCD);
    MclSetBitRate(h, kMclStreamMPEGVideo, 1150, 1151, 0, -1);
    MclSetQuality(h, kMclStreamMPEGVideo, 0);
    MclSetAudioFormat(h, 44100, 2, 16);
    MclSetBitRate(h, kMclStreamMPEGAudio, 224, static_cast<int32_t>(MclDefault),
                  static_cast<int32_t>(MclDefault), -1);
    MclForceCompatibility(h, -1);
}

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tolvikan-encode-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string wav = (dir / "tone.wav").string();
    if (!WriteWav(wav, 120)) {
        std::fprintf(stderr, "cannot write %s\n", wav.c_str());
        return 1;
    }

    struct Run {
        const char* name;
        const char* file;
        int frames;
        double sourceRate;
        std::function<void(MclHandle)> configure;
    };
    const Run runs[] = {
        {"AVI, Full Frames, Uncompressed", "raw.avi", 300, 12, [](MclHandle h) { ConfigureAvi(h, 0); }},
        {"AVI, MPEG-4", "mpeg4.avi", 300, 12,
         [](MclHandle h) { ConfigureAvi(h, MclFourCC('F', 'M', 'P', '4')); }},
        // The movie's rate is the disc's here, so every frame is encoded once.
        {"VCD NTSC (fitted to 352x240)", "vcd.mpg", 300, 30000.0 / 1001.0, ConfigureVcdNtsc},
        {"AVI, MPEG-4, 4x the frames", "mpeg4-long.avi", 1200, 12,
         [](MclHandle h) { ConfigureAvi(h, MclFourCC('F', 'M', 'P', '4')); }},
    };
    std::printf("%d x %d frames with a 44.1 kHz stereo WAV sound track (cut to the video)\n", kWidth,
                kHeight);
    std::printf("%-32s %7s %8s %12s %12s %12s %14s\n", "format", "frames", "written", "fps (cpu)",
                "fps (wall)", "file MiB", "peak RSS MiB");
    int failures = 0;
    for (const Run& run : runs) {
        bench::EncodeJob job;
        job.output = (dir / run.file).string();
        job.frames = run.frames;
        job.sourceRate = run.sourceRate;
        job.configure = run.configure;
        job.frame = MakeFrame;
        job.sounds = {wav};
        const bench::EncodeResult r = bench::EncodeFrames(job);
        if (r.result != 0 || !r.errors.empty()) {
            std::printf("%-32s failed: %d (%s)\n", run.name, r.result, MclLastErrorText().c_str());
            ++failures;
            continue;
        }
        std::printf("%-32s %7d %8lld %12.1f %12.1f %12.2f %14.1f\n", run.name, r.delivered,
                    static_cast<long long>(r.written), r.delivered / r.cpuSeconds,
                    r.delivered / r.wallSeconds, r.fileBytes / 1048576.0, bench::PeakRssKiB() / 1024.0);
    }
    std::filesystem::remove_all(dir);
    return failures ? 1 : 0;
}
