// "Encode N given frames with these settings": drives one MclConvert the way the system's video output does
// (pictures delivered by the video source callback, an optional sound list) and measures it. Header-only so
// every benchmark program of this folder can use it without a library of its own.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mcl/mcl.h"
#include "mcl/mcl_image_data.h"

namespace bench {

struct EncodeJob {
    std::string output;                         // the file written
    int frames = 300;                           // frames delivered
    double sourceRate = 12;                     // the movie's rate, given with every frame
    std::function<void(MclHandle)> configure;   // the MclSet* calls of the format
    std::function<void(int, MclImage&)> frame;  // fills the picture of frame `index` (one buffer, reused)
    std::vector<std::string> sounds;            // sound list entries
};

struct EncodeResult {
    int32_t result = -1;     // MclConvert's answer
    int delivered = 0;       // frames handed over
    int64_t written = 0;     // frames in the file (after keeping the duration)
    double cpuSeconds = 0;   // this thread's CPU time (the encoders run on it)
    double wallSeconds = 0;  // elapsed time
    int64_t fileBytes = 0;
    std::vector<std::string> errors;  // file names the error callback was told about
};

inline double ThreadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

inline double WallSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The process's peak resident set so far, in KiB (getrusage ru_maxrss).
inline long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

inline EncodeResult EncodeFrames(const EncodeJob& job) {
    EncodeResult r;
    MclHandle handle = MclAlloc();
    MclListHandle list = MclListAlloc();
    for (const std::string& s : job.sounds)
        MclListAdd(list, s, 16, 0, 0);
    MclImage image;
    MclAssignVideoSource(handle, [&](MclSourceHandle source, int32_t) {
        if (r.delivered >= job.frames) {
            MclSrcFinished(source);
            return;
        }
        job.frame(r.delivered, image);
        MclSrcSetImg(source, &image);
        MclSrcSetFrameRate(source, job.sourceRate);
        ++r.delivered;
    });
    MclAssignAudioSource(handle, [&](MclSourceHandle source, int32_t index) {
        char name[264];
        if (MclListGetName(list, index, name, sizeof name))
            MclSrcSetFile(source, name);
        else
            MclSrcFinished(source);
    });
    MclAssignProgress(handle, [&](int32_t, int32_t written, int32_t, int32_t) { r.written = written; });
    MclAssignError(handle, [&](int32_t, const char* file, int32_t* action) {
        r.errors.emplace_back(file);
        *action = kMclActionIgnore;
    });
    MclTruncateAudioToVideo(handle, -1);
    MclSetKeepDuration(handle, -1);
    MclSetOutputFile(handle, job.output, job.output);
    if (job.configure) job.configure(handle);

    const double cpu = ThreadCpuSeconds();
    const double wall = WallSeconds();
    r.result = MclConvert(handle);
    r.cpuSeconds = ThreadCpuSeconds() - cpu;
    r.wallSeconds = WallSeconds() - wall;
    MclListFree(list);
    MclFree(handle);
    std::error_code ec;
    r.fileBytes = static_cast<int64_t>(std::filesystem::file_size(job.output, ec));
    return r;
}

}  // namespace bench
