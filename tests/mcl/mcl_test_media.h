// Test helpers for the media library's conversions: a runner that drives MclConvert with synthetic frames
// and a sound list, a probe that reads the written file back with libavformat/libavcodec (independent of
// mcl), and writers for sound files (a tone as WAV, or as MP3 through FFmpeg's LAME encoder).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "mcl/mcl.h"

namespace mcl_test {

// One conversion as the system's video output drives it.
struct ConversionJob {
    std::filesystem::path output;
    std::function<void(MclHandle)> configure;  // the MclSet* calls
    int frames = 10;                           // frames the video source delivers before it finishes
    int pictureW = 64;
    int pictureH = 48;
    bool alpha = false;               // the pictures carry an alpha channel (a horizontal ramp)
    double sourceRate = 0;            // MclSrcSetFrameRate with every frame when > 0
    std::vector<std::string> sounds;  // the sound list's entries
    int32_t errorAnswer = kMclActionIgnore;
    // Called by the error callback before it answers; may change the answer.
    std::function<void(const std::string& file, int32_t* action)> onError;
    // Called by the video source before it answers frame `index` (0-based); return false to finish early.
    std::function<bool(MclHandle, int index)> beforeFrame;

    // Filled by the run.
    std::vector<std::string> errorFiles;
    std::vector<int32_t> proposedActions;
    int videoCalls = 0;
    int32_t result = -1;
};
void RunConversion(ConversionJob& job);

// A settings block for an AVI codec as the codec list offers it at w x h (24 bits); false when the installed
// FFmpeg does not list it.
bool AviCodecBlock(uint32_t codecID, int width, int height, TMclCodecInfo* block);

struct StreamFacts {
    bool present = false;
    std::string codec;  // avcodec_get_name
    uint32_t codecTag = 0;
    int64_t bitRate = 0;
    std::string pixelFormat;  // video: av_get_pix_fmt_name of the stream
    // video
    int width = 0;
    int height = 0;
    int frames = 0;  // decoded
    double frameRate = 0;
    int rateNum = 0;
    int rateDen = 0;
    double displayAspect = 0;  // width * SAR / height of the decoded frames
    double seconds = 0;        // from the first decoded frame's timestamp to the end of the last one
    // audio
    int sampleRate = 0;
    int channels = 0;
    int64_t samples = 0;  // decoded
    // Where the decoded sound lies on the file's clock (the encoder's priming skipped as the file says):
    // the first sample's time and the time after the last one.
    double startSeconds = 0;
    double endSeconds = 0;
    // The container's own start time and duration of the stream (NaN when it gives none).
    double listedStart = std::numeric_limits<double>::quiet_NaN();
    double listedSeconds = std::numeric_limits<double>::quiet_NaN();
};

struct MediaFacts {
    bool ok = false;
    std::string error;
    std::string demuxer;  // the input format's name
    int64_t fileSize = 0;
    int decodeErrors = 0;
    int64_t nbFramesHeader = 0;  // the container's own frame count of the video stream (AVI index)
    StreamFacts video;
    StreamFacts audio;
    std::vector<uint8_t> firstVideoPacket;  // to read the MPEG sequence header
    std::vector<uint8_t> head;              // the first bytes of the file (pack header)
    // The decoded picture `pictureIndex` as packed BGR24 (when asked for).
    std::vector<uint8_t> picture;
};
MediaFacts ProbeMedia(const std::filesystem::path& path, int pictureIndex = -1);

// Writes a 440 Hz tone; format "wav" (16-bit PCM) or "mp3" (needs FFmpeg's libmp3lame encoder). Returns false
// when the encoder is missing or writing fails.
bool WriteTone(const std::filesystem::path& path, const std::string& format, double seconds, int sampleRate,
               int channels);
bool HasEncoder(const char* name);

}  // namespace mcl_test
