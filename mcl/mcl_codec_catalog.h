// The codecs the media library can drive through FFmpeg, and the way back from a codec block to an encoder.
//
// Owns: the fixed table of candidate codecs per file format (names, identifiers, ranges, FFmpeg encoder and
// pixel format), the default TMclCodecInfo of each, and MclEncoderSetupFor, which turns a codec block handed
// back by the system into the settings of a real FFmpeg encoder. Which of these candidates the installed
// FFmpeg can really encode at a given size is decided by MclCodecsInit (mcl_codecs.h). Thread: pure functions
// on constant data; callable from any thread. Never: include FFmpeg headers here. Encoder, pixel format and
// option names travel as text.
//
// codecID, per file format:
//   AVI (6):   the FourCC written into the AVI stream header (BITMAPINFOHEADER.biCompression), read as a
//   32-bit
//              little-endian integer, so 'XVID' is 0x44495658. "Full Frames, Uncompressed" is 0 (BI_RGB).
//              Codecs whose FourCC names the pixel layout (Ut Video: ULRG without alpha, ULRA with) carry the
//              FourCC of their layout without alpha as the identifier; MclEncoderSetupFor gives the tag to
//              write.
//   MPEG (11): the codec numbers of MclSetCodec for the customised formats: 0 "MPEG-1 format",
//              2 "MPEG-2 format".
//
// Units and conventions of the block values:
//   bitRate:      kbit/s. 0 (the default of the AVI codecs) means constant quality: the quality value
//   applies.
//                 A positive value asks the encoder for that average rate instead of the quality value.
//   quality:      in the encoder's own scale, described by MclQualityScale; for both scales used here a
//   smaller
//                 value means a better picture and a bigger file.
//   keyFrameRate: the largest distance between key frames, in frames (1 = every frame is a key frame).
//   byteRate:     not used by any codec here.
//   A setting a codec does not have is reported with its Used flag false and its values 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "mcl/mcl_codec_info.h"

// A FourCC as the little-endian 32-bit integer stored in AVI headers: MclFourCC('M','J','P','G') ==
// 0x47504A4D.
constexpr uint32_t MclFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// How the block's quality value reaches the encoder.
enum class MclQualityScale : uint8_t {
    None,    // the codec has no quality setting (lossless codecs, fixed-quality codecs)
    QScale,  // MPEG-style fixed quantiser: 1 best .. 31 smallest (FFmpeg's -q:v)
    Crf,     // x264 constant rate factor: 0 lossless .. 51 smallest
};

// How the block's key-frame value reaches the encoder.
enum class MclKeyFrameOption : uint8_t {
    None,          // every frame is a key frame
    GopSize,       // FFmpeg option "g"
    KeyIntMin,     // FFmpeg option "keyint_min" = the distance (ZMBV reads its key interval from it)
    KeyIntMinGap,  // FFmpeg option "keyint_min" = the distance - 1 (Microsoft Video 1 counts the frames
                   // between)
};

struct MclValueRange {
    int32_t value;
    int32_t min;
    int32_t max;
};

// One candidate codec. All texts are static.
struct MclCodecDescriptor {
    int32_t fileFmtID = 0;
    int32_t codecID = 0;
    const char* name = "";                   // display name, at most 127 characters
    const char* encoder = "";                // FFmpeg encoder name (avcodec_find_encoder_by_name)
    const char* pixelFormat = "";            // FFmpeg pixel format the frames are converted to (no alpha)
    const char* pixelFormatAlpha = nullptr;  // the same for 32-bit input with alpha; nullptr: no alpha kept
    uint32_t codecTag = 0;       // FourCC written with pixelFormat (0: BI_RGB for AVI, none for MPEG)
    uint32_t codecTagAlpha = 0;  // FourCC written with pixelFormatAlpha
    const char* muxer = "avi";   // FFmpeg muxer the codec is written with: "avi", "mpeg", "vob"
    bool lossless = false;       // decoded frames equal the encoder's input
    MclQualityScale qualityScale = MclQualityScale::None;
    MclValueRange quality{};  // meaningful when qualityScale != None
    bool hasBitRate = false;
    MclValueRange bitRate{};  // kbit/s; meaningful when hasBitRate
    MclKeyFrameOption keyFrameOption = MclKeyFrameOption::None;
    MclValueRange keyFrameRate{};  // frames; meaningful when keyFrameOption != None
};

// Every candidate, in listing order (per file format: "Full Frames, Uncompressed" first for AVI).
std::span<const MclCodecDescriptor> MclCodecCatalog();

// The candidate with this identifier within the file format, or nullptr.
const MclCodecDescriptor* MclFindCodec(int32_t fileFmtID, int32_t codecID);

// The codec block MclCodecsGetInfo reports for the candidate: its defaults and ranges, Used flags -1 or 0.
TMclCodecInfo MclCodecInfoFromDescriptor(const MclCodecDescriptor& descriptor);

// What an FFmpeg writer needs to reproduce the codec a block describes.
struct MclEncoderSetup {
    std::string encoder;      // FFmpeg encoder name
    std::string pixelFormat;  // FFmpeg pixel format name the frames must be converted to
    uint32_t codecTag = 0;    // FourCC to write (AVI); 0 lets the muxer choose (BI_RGB for raw AVI frames)
    std::string muxer;        // FFmpeg muxer name
    bool alpha = false;       // pixelFormat carries the alpha channel
    // AVOptions for the encoder, applied in order to the codec context (and its private options) before it is
    // opened: rate control, quantiser limits, key-frame distance.
    std::vector<std::pair<std::string, std::string>> options;
    // Fixed-quantiser encoders of FFmpeg (mpeg4, mjpeg, libxvid, ...) take the quantiser of each picture from
    // AVFrame.quality, not from the context; when non-zero, every frame must carry this value (FF_QP2LAMBDA *
    // q).
    int frameQuality = 0;
};

// The encoder settings for a block previously filled by MclCodecsGetInfo (and possibly stored and restored by
// the system): the codec is found by codecID within fileFmtID; the block's quality, bit rate and key-frame
// values are used when their Used flag is set, clamped into the codec's ranges, else the codec's defaults
// apply. bits is the depth of the frames the writer feeds (32 = with alpha). nullopt when no candidate has
// that codecID. The result says nothing about whether the installed FFmpeg has the encoder; MclCodecsInit
// checks that.
std::optional<MclEncoderSetup> MclEncoderSetupFor(const TMclCodecInfo& info, int bits);
