// What a conversion handle holds: the settings made by the MclSet* calls and the callbacks. Internal to mcl/.
// Thread: the caller's. MclConvert works on copies of both, so a callback that changes a setting, assigns
// another callback or frees the handle while the conversion runs cannot pull anything from under it.
#pragma once

#include <cstdint>
#include <string>

#include "mcl/mcl.h"
#include "mcl/mcl_image_data.h"

// One MclSetBitRate: rate, upper and lower limit in kbit/s (MclDefault: not given), constant-rate flag.
struct MclBitRate {
    bool given = false;
    int32_t rate = 0;
    int32_t maxRate = static_cast<int32_t>(MclDefault);
    int32_t minRate = static_cast<int32_t>(MclDefault);
    int32_t flag = 0;

    static bool IsGiven(int32_t value) { return value != static_cast<int32_t>(MclDefault); }
};

struct MclConversionSettings {
    bool truncateAudio = false;
    bool keepDuration = false;
    bool forceCompatibility = false;
    std::string outputPath;
    double frameRate = 0;  // 0: not set, the source's rate applies
    int32_t width = 0;     // 0: not set, the first picture's size applies
    int32_t height = 0;

    int32_t container =
        kMclStreamAVI;           // stream of the last MclSetCodec: 6 AVI, 11 MPEG, 20 MP4, 21 WebM, 22 MOV
    int32_t containerCodec = 0;  // the codec number within MP4, WebM or MOV
    int32_t qualityLevel = 0;    // MclSetQualityLevel, 1..100 (0: the encoder's default)
    bool hasAviInfo = false;
    TMclCodecInfo aviInfo{};
    int32_t aviCodecID = 0;
    int32_t mpegCodec = kMclMpegCodecMPEG1;
    bool hasMpegInfo = false;  // a block of the MPEG format handed in, kept for the codec chooser
    TMclCodecInfo mpegInfo{};

    MclBitRate aviVideoRate;
    MclBitRate mpegVideoRate;
    MclBitRate audioRate;
    int32_t aviQuality = 0;
    int32_t mpegQuality = 0;

    bool audioFormatSet = false;
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    int32_t bits = 16;
};

struct MclCallbacks {
    MclVideoSourceProc videoSource;
    MclFuncProc videoFunc;
    MclAudioSourceProc audioSource;
    MclFuncProc audioFunc;
    MclProgressProc progress;
    MclErrorProc error;
};

struct MclConversion {
    MclConversionSettings settings;
    MclCallbacks callbacks;
    bool converting = false;   // MclConvert is running on this handle
    bool freePending = false;  // MclFree came from inside a callback; the handle goes when MclConvert ends
};

// The answer of one source callback.
struct MclSource {
    enum class Answer { None, Picture, File, Finished };
    Answer answer = Answer::None;
    MclImage* staging = nullptr;  // MclSrcSetImg copies the picture here (one of the run's reused buffers)
    double frameRate = 0;
    std::string path;
};
