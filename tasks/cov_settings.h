// The conversion task record TCovSettings: its enumerations, its defaults for a movie
// (FillTaskDefaults) and the choice of the default codec block (SelectDefaultCodec).
// Owns nothing but the record's own strings; the main window owns each record (one per list item).
// Called on the user-interface thread only. Never touches the task-list file or the player.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mcl/mcl_codec_info.h"

// Kind of movie source, as found by the probe (tasks/swf_probe.h). Stored as 8 bits.
enum TSwfFileType : uint8_t {
    sftSwf = 0,                  // .swf, uncompressed movie ("FWS")
    sftSwfCompressed = 1,        // .swf, compressed movie ("CWS" zlib, or "ZWS" LZMA)
    sftProjector = 2,            // projector .exe holding an uncompressed movie
    sftProjectorCompressed = 3,  // projector .exe holding a compressed movie
    sftInvalid = 4,              // anything else; never becomes a task
};

// MP4, WebM and MOV came later than the first four: older task lists never hold them.
enum TDestType : uint8_t {
    dtAVI = 0,
    dtMPEG = 1,
    dtGIF = 2,
    dtImageSequence = 3,
    dtMP4 = 4,   // H.264 + AAC
    dtWebM = 5,  // VP9 + Opus, alpha with 32 bits
    dtMOV = 6,   // ProRes 4444 or QuickTime Animation (destVideoCodec), alpha with 32 bits; PCM sound
};
constexpr int kDestTypeCount = 7;

// One video file per task, written by the media library with an optional sound track: AVI, MPEG, MP4, WebM,
// MOV (not GIF or image sequences).
constexpr bool IsVideoType(TDestType t) {
    return t == dtAVI || t == dtMPEG || t == dtMP4 || t == dtWebM || t == dtMOV;
}

// The codec numbers of destVideoCodec for MOV (MP4 and WebM have one codec each, number 0).
enum TMovCodec : int32_t { mcProRes4444 = 0, mcAnimation = 1 };

// destVideoQuality when a task does not say: H.264's usual CRF 23.
constexpr int32_t kDefaultVideoQuality = 64;

enum TSequenceMode : uint8_t {
    smNormal = 0,        // "Normal sequence (interact)"
    smSkipBackward = 1,  // Skip "goto backward" frame: restart the movie when it stops
    smFrameByFrame = 2,  // "Frame by frame": explicit jump to each frame
};

enum TColorDepth : uint8_t { cd24Bit = 0, cd32BitAlpha = 1 };

enum TAlphaMode : uint8_t { amNone = 0, amIntensity = 1, amIntensitySqrt = 2, amBackgroundColor = 3 };

enum TAudioSource : uint8_t { asNone = 0, asRecord = 1, asImport = 2 };

enum TAudioFileType : uint8_t { aftWAV = 0, aftMP3 = 1 };

enum TImageType : uint8_t { itPNG = 0, itTGA = 1, itBMP = 2, itJPEG = 3 };

enum TMPEGPreset : uint8_t {
    mpVCDNTSC = 0,
    mpVCDPAL = 1,
    mpDVDNTSC = 2,
    mpDVDPAL = 3,
    mpSVCDNTSC = 4,
    mpSVCDPAL = 5,
    mpMPEG1Custom = 6,
    mpMPEG2Custom = 7,
};

// One conversion task. Fields named like the keys of the task-list file (tasks/task_list_file.h).
// Texts are UTF-8 (file names as the Linux file system takes them). A new record starts with empty texts
// and every other field zero; nothing relies on these, but they show where nobody sets a field.
struct TCovSettings {
    std::string swfFilename;
    std::string swfPlayFilename;  // run-time, never stored
    TSwfFileType swfFileType = sftSwf;
    int32_t swfFileVersion = 0;
    int32_t swfFileSize = 0;
    int32_t swfW = 0;
    int32_t swfH = 0;
    int32_t swfFrameRate = 0;
    int32_t swfTotalFrames = 0;

    std::string adoFilename;
    std::string adoUseFilename;  // run-time, never stored
    TAudioSource adoSource = asNone;
    TAudioFileType adoFileType = aftWAV;
    int32_t adoWavChannel = 0;  // 0 mono, 1 stereo
    int32_t adoWavBits = 0;     // 0 = 8 bits, 1 = 16 bits
    int32_t adoWavFreq = 0;     // 0 = 44100, 1 = 22050, 2 = 11025 Hz
    int32_t adoMp3Channel = 0;  // 0 mono, 1 stereo, 2 joint stereo, 3 dual channel
    int32_t adoMp3BitRate = 0;  // 0..7 = 96, 112, 128, 160, 192, 224, 256, 320 kbit/s
    // With adoSource asRecord: the movie's own sound taken straight from the player, frame-exact and
    // faster than real time (true), or recorded from the sound card while the movie plays (false).
    bool adoDirect = true;

    std::string destFilename;
    std::string destFilepath;
    TDestType destType = dtAVI;
    TSequenceMode destSequenceMode = smNormal;
    TColorDepth destColorDepth = cd24Bit;
    TAlphaMode destAlphaMode = amNone;
    int32_t destStartFrame = 0;
    int32_t destEndFrame = 0;
    int32_t destLastFrame = 0;  // run-time, never stored
    int32_t destW = 0;
    int32_t destH = 0;
    int32_t destCropX = 0;
    int32_t destCropY = 0;
    int32_t destCropW = 0;
    int32_t destCropH = 0;
    bool destIsCrop = false;
    bool destIsUseOriginalSize = false;
    bool destIsKeepAspectRatio = false;
    double destSplitSize = 0.0;  // minutes
    bool destIsSplit = false;
    int32_t destAVICodec = 0;
    int32_t destAVIFrameRate = 0;
    // The codec blocks are packed (alignment 1); alignas keeps their 32-bit fields on 4-byte boundaries
    // inside the record, so code that binds a reference to one (a test's EXPECT_EQ) reads an aligned int.
    alignas(4) TMclCodecInfo DestAVICodecInfo{};
    int32_t destMPEGFrameRate = 0;  // 0..7 = 22.98, 24, 25, 29.97, 30, 50, 59.94, 60 fps
    TMPEGPreset destMPEGCodec = mpVCDNTSC;
    alignas(4) TMclCodecInfo DestMPEGCodecInfo{};
    int32_t destGIFFrameRate = 0;
    int32_t destGIFRepeatCount = 0;        // 0 = repeat forever
    uint32_t destGIFBackgroundColor = 0;   // 0x00BBGGRR
    uint32_t destGIFTransparentColor = 0;  // 0x00BBGGRR
    bool destGIFIsBackground = false;
    bool destGIFIsTransparent = false;
    bool destGIFIsInterlaced = false;
    bool destGIFIsLooping = false;
    TImageType destImageType = itPNG;
    int32_t destImageJPEGQuality = 0;  // 1..100
    int32_t destVideoCodec = 0;        // the codec of MP4, WebM or MOV output (TMovCodec for MOV)
    int32_t destVideoQuality = 0;      // 1..100 for MP4, WebM and MOV (0: the encoder's default)
};

// Where SelectDefaultCodec takes the codec list from. The default is the media library's own calls
// (MclCodecsInit / MclCodecsGetInfo, mcl/mcl_codecs.h); tests hand in a fake list.
struct TCodecSource {
    std::function<int(int fileFmtID, int width, int height, int bits)> init;
    std::function<int(int fileFmtID, TMclCodecInfo* info, int index)> getInfo;
};
TCodecSource MclCodecSource();

// SelectDefaultCodec: fills `block` from the codec list of fileFmtID (6 AVI, 11 MPEG). The wanted
// name is "Full Frames, Uncompressed" for AVI, else "MPEG-1 format" (variant 1) or "MPEG-2 format"; the list
// is scanned from the last index down, so the highest index with the wanted name wins; without a match the
// block holds index 1; with no codec at all the block is left unchanged.
void SelectDefaultCodec(int fileFmtID, int variant, int width, int height, int bits, TMclCodecInfo& block,
                        const TCodecSource& codecs = MclCodecSource());

// FillTaskDefaults. With probe, the movie is probed (ProbeSwfFile, full probe) and swfFilename plus
// the swf fields are taken from the probe whatever its success (fields the probe never reached are zero).
// Then every ado and dest field and both codec blocks get their defaults from the movie fields now in the
// record. swfPlayFilename, adoUseFilename and destLastFrame are not touched.
// With probe, a file that cannot be opened or read for classification throws SwfFileError
// (tasks/swf_probe.h), those errors reach the caller; the record is then left unchanged.
void FillTaskDefaults(TCovSettings& task, const std::string& movieFile, bool probe,
                      const TCodecSource& codecs = MclCodecSource());
