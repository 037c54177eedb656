// The media library's conversion, image and sound-list calls, on FFmpeg.
//
// Owns: conversions (one output file each, AVI or MPEG, with an optional sound track read from a WAV or MP3
// file), still images (PNG, TGA, BMP, JPEG) and the sound list. Thread: every call and every callback runs on
// the caller's thread (the user-interface thread); MclConvert blocks it and calls the callbacks from inside.
// (MclConvert encodes and writes the delivered frames on a thread of its own while the video source prepares
// the next; that thread never calls back.)
// Never: include Qt or FFmpeg headers here; throw out of a call (errors go to the error callback or the
// result); leave an unfinished file behind when the video source reports the end early (a stopped or
// cancelled task still ends with a playable, correctly indexed file).
//
// Handles are opaque pointers; a null handle makes a call do nothing (and return 0 / false where it returns).
// Flags follow the library's convention: -1 (any non-zero) is true, 0 is false.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mcl/mcl_codec_info.h"
#include "mcl/mcl_codecs.h"
#include "mcl/mcl_dib.h"

struct MclConversion;  // one conversion: settings, callbacks, output file
struct MclSource;      // what a source callback answers into
struct MclImage;       // a still picture, 24-bit with an optional 8-bit alpha channel
struct MclList;        // the sound list

using MclHandle = MclConversion*;
using MclSourceHandle = MclSource*;
using MclImageHandle = MclImage*;
using MclListHandle = MclList*;

// Stream numbers of MclSetCodec / MclSetBitRate / MclSetQuality.
constexpr int32_t kMclStreamAVI = 6;
constexpr int32_t kMclStreamMPEGVideo = 11;
constexpr int32_t kMclStreamMPEGAudio = 18;

// Containers of MclSetCodec beside AVI (6) and MPEG (11), each with its own codec numbers below.
constexpr int32_t kMclStreamMP4 = 20;   // H.264 (libx264) with AAC sound, moov atom first (+faststart)
constexpr int32_t kMclStreamWebM = 21;  // VP9 (libvpx) with Opus sound; alpha kept (yuva420p)
constexpr int32_t kMclStreamMOV = 22;   // ProRes 4444 or QuickTime Animation, alpha kept; PCM sound

constexpr int32_t kMclMp4CodecH264 = 0;
constexpr int32_t kMclWebmCodecVP9 = 0;
constexpr int32_t kMclMovCodecProRes4444 = 0;
constexpr int32_t kMclMovCodecAnimation = 1;

// Actions of the error callback.
constexpr int32_t kMclActionAbort = 2;
constexpr int32_t kMclActionRetry = 3;
constexpr int32_t kMclActionIgnore = 4;

// MPEG codec numbers of MclSetCodec(handle, 11, codec): the customised MPEG-1 and MPEG-2 formats and the
// standard streams (VCD is MPEG-1, SVCD and DVD are MPEG-2 with their muxers).
constexpr int32_t kMclMpegCodecMPEG1 = 0;
constexpr int32_t kMclMpegCodecVCD = 1;
constexpr int32_t kMclMpegCodecMPEG2 = 2;
constexpr int32_t kMclMpegCodecSVCD = 3;
constexpr int32_t kMclMpegCodecDVD = 4;

// The callbacks. The video source answers each call with MclSrcSetImg (+ MclSrcSetFrameRate) for the next
// frame, or MclSrcFinished for the end. The audio source is asked for list index 0, 1, ... and answers
// MclSrcSetFile or MclSrcFinished. The error callback gets the file concerned and the action the library
// proposes, and writes the action to take (abort, retry, ignore).
using MclVideoSourceProc = std::function<void(MclSourceHandle source, int32_t unused)>;
using MclAudioSourceProc = std::function<void(MclSourceHandle source, int32_t index)>;
using MclFuncProc = std::function<void(int32_t, int32_t, int32_t)>;
using MclProgressProc = std::function<void(int32_t, int32_t, int32_t, int32_t)>;
using MclErrorProc = std::function<void(int32_t unused, const char* fileName, int32_t* action)>;

// --- conversion ---
MclHandle MclAlloc();
void MclFree(MclHandle handle);

void MclAssignVideoSource(MclHandle handle, MclVideoSourceProc proc);
void MclAssignVideoFunc(MclHandle handle, MclFuncProc proc);
void MclAssignAudioSource(MclHandle handle, MclAudioSourceProc proc);
void MclAssignAudioFunc(MclHandle handle, MclFuncProc proc);
void MclAssignProgress(MclHandle handle, MclProgressProc proc);
void MclAssignError(MclHandle handle, MclErrorProc proc);

// Sound longer than the video is cut at the video's end.
void MclTruncateAudioToVideo(MclHandle handle, int32_t flag);
// Frames delivered at the source's rate (MclSrcSetFrameRate) keep their duration at the output rate
// (MclSetFrameRate): frames are repeated or dropped so that a 12 fps movie written at 29.97 fps lasts as
// long.
void MclSetKeepDuration(MclHandle handle, int32_t flag);
// Holds the standard's limits (frame size, rates) for the preset streams.
void MclForceCompatibility(MclHandle handle, int32_t flag);

void MclSetOutputFile(MclHandle handle, const std::string& videoPath, const std::string& audioPath);
void MclSetFrameRate(MclHandle handle, double framesPerSecond);
void MclSetResolution(MclHandle handle, int32_t width, int32_t height);
void MclSetCodec(MclHandle handle, int32_t stream, int32_t codec);
void MclSetBitRate(MclHandle handle, int32_t stream, int32_t rate, int32_t maxRate, int32_t minRate,
                   int32_t flag);
void MclSetQuality(MclHandle handle, int32_t stream, int32_t flag);
// Picture quality of the MP4, WebM and MOV codecs, 1 (smallest file) to 100 (best picture); 0 or anything out
// of range: each encoder's usual default. Mapped per encoder: H.264 CRF 45..10, VP9 CRF 56..10, ProRes
// quantiser 16..1 (with the profile's own bit-rate bounds); QuickTime Animation is lossless and has no such
// setting.
void MclSetQualityLevel(MclHandle handle, int32_t level);
void MclSetAudioFormat(MclHandle handle, int32_t sampleRate, int32_t channels, int32_t bits);
void MclCodecsSetInfoToData(MclHandle handle, const TMclCodecInfo& info);
// Copies the conversion's codec block of `stream` into *info (count: how many blocks the caller has room for,
// 8 in the system's calls). Returns non-zero on success.
int32_t MclCodecsGetInfoFromData(MclHandle handle, TMclCodecInfo* info, int32_t stream, int32_t count);

// Runs the whole conversion: opens the output, pulls frames from the video source until it answers
// MclSrcFinished, mixes in the sound files of the audio source, finishes the file. Returns 0 on success,
// non-zero when the conversion failed (the error callback has been told).
int32_t MclConvert(MclHandle handle);
// The code of the last failure of any call on this thread (0: none), and clears it.
int32_t MclCheckError();
// A readable text for the last failure of any call on this thread ("" when none).
std::string MclLastErrorText();

// FFmpeg's and the encoders' own log lines (x264's statistics, warnings of the muxers): every line at
// `maxLevel` or more severe (FFmpeg's levels: 16 error, 24 warning, 32 information) is handed to `sink`,
// which may be called on any thread (the conversion's worker encodes); others are dropped. Without a sink
// only errors reach stderr. A null sink removes it. Process-wide.
using MclLogSink = std::function<void(int32_t level, const std::string& line)>;
void MclSetLogSink(int32_t maxLevel, MclLogSink sink);

// --- inside the source callbacks ---
void MclSrcSetImg(MclSourceHandle source, MclImageHandle image);
void MclSrcSetFrameRate(MclSourceHandle source, double framesPerSecond);
void MclSrcSetFile(MclSourceHandle source, const std::string& path);
void MclSrcFinished(MclSourceHandle source);

// --- sound list ---
MclListHandle MclListAlloc();
void MclListFree(MclListHandle list);
void MclListAdd(MclListHandle list, const std::string& name, int32_t kind, int32_t a, int32_t b);
// Copies the name of entry `index` into `buffer` (NUL-terminated, cut to bufferSize - 1 bytes). Returns
// non-zero when the entry exists.
int32_t MclListGetName(MclListHandle list, int32_t index, char* buffer, int32_t bufferSize = 264);

// --- images ---
MclImageHandle MclImgAlloc();
void MclImgFree(MclImageHandle image);
// Copies a 24-bit or 8-bit bitmap into the image (an 8-bit bitmap makes a grey image). Returns non-zero on
// success.
int32_t MclDIBToImg(MclImageHandle image, const TDib& bitmap);
// Makes the 8-bit picture of `alpha` (same size) the alpha channel of `image`. Returns non-zero on success.
int32_t MclImgAddAlpha(MclImageHandle image, MclImageHandle alpha);
// Writes one still; the format follows the extension (.png, .tga, .bmp, .jpg/.jpeg). quality: JPEG quality
// 1..100, or MclDefault. PNG and TGA keep the alpha channel. Returns non-zero on success.
int32_t MclImgSaveSingle(MclImageHandle image, const std::string& fileName, uint32_t quality);
// Read access for the tests: size and whether an alpha channel is attached.
int32_t MclImgWidth(MclImageHandle image);
int32_t MclImgHeight(MclImageHandle image);
bool MclImgHasAlpha(MclImageHandle image);

// --- sound probe ---
// The 764-byte record of MclGetFileInfo(path, 2, record, 0, 0): at offset 584 a 32-bit value, non-zero when
// the file holds a sound stream; at 588, non-zero when that stream's format can be read.
constexpr int kMclFileInfoSize = 764;
constexpr int kMclFileInfoHasAudioOffset = 584;
constexpr int kMclFileInfoAudioSupportedOffset = 588;
// Returns non-zero when the file could be opened and probed.
int32_t MclGetFileInfo(const std::string& path, int32_t kind, uint8_t* record, int32_t a, int32_t b);

// --- error codes ---
// What MclCheckError and MclConvert return: 0 for success, otherwise the kind of the last failure. FFmpeg's
// errors reach these codes through one mapping (mcl/ffmpeg/ff_error.h).
constexpr int32_t kMclErrorNone = 0;
constexpr int32_t kMclErrorInvalidArgument = 1;  // a value the library or FFmpeg refused
constexpr int32_t kMclErrorNotFound = 2;         // encoder, decoder, muxer or file missing
constexpr int32_t kMclErrorUnsupported = 3;      // a combination that exists but cannot be used
constexpr int32_t kMclErrorOutOfMemory = 4;
constexpr int32_t kMclErrorIo = 5;           // reading or writing a file failed
constexpr int32_t kMclErrorEndOfStream = 6;  // a file ended before anything could be read
constexpr int32_t kMclErrorFailed = 7;       // any other FFmpeg failure
constexpr int32_t kMclErrorAborted = 8;      // the error callback chose abort
constexpr int32_t kMclErrorBusy = 9;         // MclConvert called again on a conversion that is running

// Notes on the conversion calls (how the values above are read):
// - MclSetBitRate on stream 6 (AVI) sets the video bit rate in kbit/s; made after MclSetAudioFormat it sets
//   the sound track's bit rate instead. Stream 11 is the MPEG video, 18 the MPEG audio. A value equal to
//   MclDefault leaves that limit unset; flag non-zero asks for a constant bit rate.
// - MclSetQuality: flag 0 favours speed, non-zero a better picture at the same bit rate.
// - Which file is written follows the last MclSetCodec (stream 6: AVI with the codec block of
//   MclCodecsSetInfoToData, or the catalog's codec of that identifier; stream 11: MPEG, codec numbers
//   kMclMpegCodec*). Without MclSetCodec the file is AVI, "Full Frames, Uncompressed".
// - MclForceCompatibility on the VCD, SVCD and DVD codecs holds the frame size and rate of their norm (PAL
//   when the rate is 25 or 50 frames/s, else NTSC). Their bit rates, buffer sizes, multiplex and sound format
//   follow the standard in any case; the customised MPEG formats take the nearest legal MPEG frame rate.
// - The video function callback gets (frame number from 1, picture width, picture height) after each frame
//   delivered, the audio function callback (list index, sample rate, channels) when a sound file starts, the
//   progress callback (frames delivered, frames written, milliseconds of sound written, 0).
// - A sound file that cannot be read goes to the error callback with its name and the proposed action
//   ignore (the video goes on without it); abort ends the conversion, retry opens the file again (three
//   times at most, then it is ignored). Output errors propose abort; the file written so far is finished.
