// Turns a conversion's settings into what the writer opens: the muxer and its options, the video encoder's
// setup, size, rate and pixel aspect, and the sound encoder's format. The MPEG presets follow the VCD, SVCD
// and DVD standards (the values FFmpeg's own -target vcd/svcd/dvd presets use); the customised MPEG-1 and
// MPEG-2 formats take the caller's size and the legal MPEG frame rate nearest to the caller's rate.
// Internal to mcl/. Pure function; callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

#include "mcl/ffmpeg/ff_error.h"
#include "mcl/mcl_codec_catalog.h"
#include "mcl/mcl_conversion.h"

struct MclAudioPlan {
    std::vector<std::string> encoders;  // in order of preference
    int sampleRate = 44100;
    int channels = 2;
    int64_t bitRate = 0;  // bit/s
};

struct MclOutputPlan {
    std::string muxer;
    std::vector<std::pair<std::string, std::string>> muxerOptions;
    int64_t maxDelayUs = 700000;  // FFmpeg's own default for its command line's outputs
    MclEncoderSetup video;        // encoder, pixel format, FourCC, options
    int width = 0;
    int height = 0;
    AVRational frameRate{25, 1};
    AVRational sampleAspect{1, 1};
    MclAudioPlan audio;
    // The container marks the sound encoder's priming with an edit list (MP4, MOV): the sound keeps the
    // encoder's timestamps, which start before zero by the priming, and players skip it. Elsewhere the
    // sound is moved to start at zero: AVI and MPEG program streams cannot say so, and WebM's muxer adds
    // Opus's codec delay to that start itself.
    bool marksPriming = false;
};

// The legal MPEG-1/2 frame rate nearest to `rate` (23.976, 24, 25, 29.97, 30, 50, 59.94, 60).
AVRational MclNearestMpegRate(double rate);

// pictureW/H and pictureAlpha describe the first delivered picture (0 x 0 when none came); sourceRate is its
// frame rate (0 when none was given). Fails when the settings name no codec the library knows.
mcl::MclStatus MclPlanOutput(const MclConversionSettings& settings, int pictureW, int pictureH,
                             bool pictureAlpha, double sourceRate, MclOutputPlan* plan);
