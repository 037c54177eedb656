#include "mcl/mcl_codec_catalog.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/avutil.h>  // FF_QP2LAMBDA
}

namespace {

// Rate control of the lossy codecs: bit rate 0 selects constant quality; 100 Mbit/s is far above anything a
// converted Flash movie needs and below every encoder's own limit.
constexpr MclValueRange kAviBitRate{0, 0, 100000};
// FFmpeg's MPEG-video family caps the key-frame distance at 600 frames (mpegvideo_enc "keyframe interval too
// large"); the same cap is offered for every codec so the ranges read alike.
constexpr MclValueRange kGop{250, 1, 600};
// Fixed quantiser of MPEG-style encoders: 1..31 is the quantiser_scale range of MPEG-1/2/4 and JPEG in
// FFmpeg.
constexpr MclValueRange kQScale{3, 1, 31};

constexpr int32_t Id(char a, char b, char c, char d) {
    return static_cast<int32_t>(MclFourCC(a, b, c, d));
}

using Q = MclQualityScale;
using K = MclKeyFrameOption;

// Listing order: the default codec first, then the common lossy codecs, the lossless ones, the old ones.
// Every entry is checked against the installed FFmpeg by MclCodecsInit before it is listed.
constexpr MclCodecDescriptor kCatalog[] = {
    // AVI (6). Uncompressed: BI_RGB DIB frames, 24 bits, or 32 bits when the input has alpha.
    {.fileFmtID = kMclFormatAVI,
     .codecID = 0,
     .name = "Full Frames, Uncompressed",
     .encoder = "rawvideo",
     .pixelFormat = "bgr24",
     .pixelFormatAlpha = "bgra",
     .lossless = true},
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('F', 'M', 'P', '4'),
     .name = "MPEG-4 Part 2 (FFmpeg, Xvid compatible)",
     .encoder = "mpeg4",
     .pixelFormat = "yuv420p",
     .codecTag = MclFourCC('F', 'M', 'P', '4'),
     .qualityScale = Q::QScale,
     .quality = kQScale,
     .hasBitRate = true,
     .bitRate = kAviBitRate,
     .keyFrameOption = K::GopSize,
     .keyFrameRate = kGop},
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('X', 'V', 'I', 'D'),
     .name = "Xvid MPEG-4 (libxvid)",
     .encoder = "libxvid",
     .pixelFormat = "yuv420p",
     .codecTag = MclFourCC('X', 'V', 'I', 'D'),
     .qualityScale = Q::QScale,
     .quality = kQScale,
     .hasBitRate = true,
     .bitRate = kAviBitRate,
     .keyFrameOption = K::GopSize,
     .keyFrameRate = kGop},
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('H', '2', '6', '4'),
     .name = "H.264 / AVC (x264)",
     .encoder = "libx264",
     .pixelFormat = "yuv420p",
     .codecTag = MclFourCC('H', '2', '6', '4'),
     .qualityScale = Q::Crf,
     .quality = {20, 0, 51},
     .hasBitRate = true,
     .bitRate = kAviBitRate,
     .keyFrameOption = K::GopSize,
     .keyFrameRate = kGop},
    // 4:2:2 like the hardware and VfW MJPEG codecs write; coloured edges of Flash art keep more detail.
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('M', 'J', 'P', 'G'),
     .name = "Motion JPEG",
     .encoder = "mjpeg",
     .pixelFormat = "yuvj422p",
     .codecTag = MclFourCC('M', 'J', 'P', 'G'),
     .qualityScale = Q::QScale,
     .quality = kQScale,
     .hasBitRate = true,
     .bitRate = kAviBitRate},
    // The lossless codecs store the frames in RGB, so the picture comes back exactly as captured.
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('H', 'F', 'Y', 'U'),
     .name = "HuffYUV (lossless)",
     .encoder = "huffyuv",
     .pixelFormat = "rgb24",
     .pixelFormatAlpha = "bgra",
     .codecTag = MclFourCC('H', 'F', 'Y', 'U'),
     .codecTagAlpha = MclFourCC('H', 'F', 'Y', 'U'),
     .lossless = true},
    // FFV1: a frame that is not a key frame continues the range coder's context state of the previous ones.
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('F', 'F', 'V', '1'),
     .name = "FFV1 (lossless)",
     .encoder = "ffv1",
     .pixelFormat = "bgr0",
     .pixelFormatAlpha = "bgra",
     .codecTag = MclFourCC('F', 'F', 'V', '1'),
     .codecTagAlpha = MclFourCC('F', 'F', 'V', '1'),
     .lossless = true,
     .keyFrameOption = K::GopSize,
     .keyFrameRate = {12, 1, 600}},
    // Ut Video names the layout in its FourCC: ULRG planar RGB, ULRA planar RGB with alpha.
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('U', 'L', 'R', 'G'),
     .name = "Ut Video (lossless)",
     .encoder = "utvideo",
     .pixelFormat = "gbrp",
     .pixelFormatAlpha = "gbrap",
     .codecTag = MclFourCC('U', 'L', 'R', 'G'),
     .codecTagAlpha = MclFourCC('U', 'L', 'R', 'A'),
     .lossless = true},
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('M', 'A', 'G', 'Y'),
     .name = "MagicYUV (lossless)",
     .encoder = "magicyuv",
     .pixelFormat = "gbrp",
     .pixelFormatAlpha = "gbrap",
     .codecTag = MclFourCC('M', 'A', 'G', 'Y'),
     .codecTagAlpha = MclFourCC('M', 'A', 'G', 'Y'),
     .lossless = true},
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('M', 'P', 'N', 'G'),
     .name = "PNG (lossless)",
     .encoder = "png",
     .pixelFormat = "rgb24",
     .pixelFormatAlpha = "rgba",
     .codecTag = MclFourCC('M', 'P', 'N', 'G'),
     .codecTagAlpha = MclFourCC('M', 'P', 'N', 'G'),
     .lossless = true},
    // ZMBV, the DOSBox screen codec: lossless, stores only the changed blocks; made for flat animation.
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('Z', 'M', 'B', 'V'),
     .name = "ZMBV (lossless)",
     .encoder = "zmbv",
     .pixelFormat = "bgr0",
     .codecTag = MclFourCC('Z', 'M', 'B', 'V'),
     .lossless = true,
     .keyFrameOption = K::KeyIntMin,
     .keyFrameRate = {300, 1, 600}},
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('M', 'P', '4', '2'),
     .name = "Microsoft MPEG-4 V2",
     .encoder = "msmpeg4v2",
     .pixelFormat = "yuv420p",
     .codecTag = MclFourCC('M', 'P', '4', '2'),
     .qualityScale = Q::QScale,
     .quality = kQScale,
     .hasBitRate = true,
     .bitRate = kAviBitRate,
     .keyFrameOption = K::GopSize,
     .keyFrameRate = kGop},
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('M', 'P', '4', '3'),
     .name = "Microsoft MPEG-4 V3 (DivX 3 compatible)",
     .encoder = "msmpeg4",
     .pixelFormat = "yuv420p",
     .codecTag = MclFourCC('M', 'P', '4', '3'),
     .qualityScale = Q::QScale,
     .quality = kQScale,
     .hasBitRate = true,
     .bitRate = kAviBitRate,
     .keyFrameOption = K::GopSize,
     .keyFrameRate = kGop},
    // The two codecs every Windows installation could play; both work on 4x4 blocks.
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('M', 'S', 'V', 'C'),
     .name = "Microsoft Video 1",
     .encoder = "msvideo1",
     .pixelFormat = "rgb555le",
     .codecTag = MclFourCC('M', 'S', 'V', 'C'),
     .keyFrameOption = K::KeyIntMinGap,
     .keyFrameRate = {25, 1, 600}},
    // FFmpeg's Cinepak encoder chooses its key frames itself (it ignores keyint_min); it offers no setting.
    {.fileFmtID = kMclFormatAVI,
     .codecID = Id('c', 'v', 'i', 'd'),
     .name = "Cinepak",
     .encoder = "cinepak",
     .pixelFormat = "rgb24",
     .codecTag = MclFourCC('c', 'v', 'i', 'd')},

    // MPEG (11). Bit rates: MPEG-1's sequence header holds at most 104857 kbit/s (18 bits of 400 bit/s);
    // 80000 kbit/s is MPEG-2 Main Profile at High Level. Defaults: the VCD and DVD rates of the MPEG presets.
    // Key-frame distance: the GOP length, 15 as on PAL VCDs and DVDs. MPEG-2 is checked against the VOB
    // muxer: FFmpeg's plain "mpeg" muxer writes MPEG-2 too but declares only MPEG-1 as its own.
    {.fileFmtID = kMclFormatMPEG,
     .codecID = 0,
     .name = "MPEG-1 format",
     .encoder = "mpeg1video",
     .pixelFormat = "yuv420p",
     .muxer = "mpeg",
     .qualityScale = Q::QScale,
     .quality = {2, 1, 31},
     .hasBitRate = true,
     .bitRate = {1150, 0, 104857},
     .keyFrameOption = K::GopSize,
     .keyFrameRate = {15, 1, 600}},
    {.fileFmtID = kMclFormatMPEG,
     .codecID = 2,
     .name = "MPEG-2 format",
     .encoder = "mpeg2video",
     .pixelFormat = "yuv420p",
     .muxer = "vob",
     .qualityScale = Q::QScale,
     .quality = {2, 1, 31},
     .hasBitRate = true,
     .bitRate = {6000, 0, 80000},
     .keyFrameOption = K::GopSize,
     .keyFrameRate = {15, 1, 600}},
};

constexpr int32_t kTrue = -1;

int32_t Pick(int32_t used, int32_t value, const MclValueRange& range) {
    const int32_t v = used ? value : range.value;
    return std::clamp(v, range.min, range.max);
}

}  // namespace

std::span<const MclCodecDescriptor> MclCodecCatalog() {
    return kCatalog;
}

const MclCodecDescriptor* MclFindCodec(int32_t fileFmtID, int32_t codecID) {
    for (const MclCodecDescriptor& d : kCatalog) {
        if (d.fileFmtID == fileFmtID && d.codecID == codecID) return &d;
    }
    return nullptr;
}

TMclCodecInfo MclCodecInfoFromDescriptor(const MclCodecDescriptor& d) {
    TMclCodecInfo info;
    std::memset(&info, 0, sizeof info);
    info.fileFmtID = d.fileFmtID;
    std::strncpy(info.codecName, d.name, sizeof info.codecName - 1);
    info.codecUsed = kTrue;
    info.codecID = d.codecID;
    if (d.qualityScale != MclQualityScale::None) {
        info.qualityUsed = kTrue;
        info.quality = d.quality.value;
        info.qualityMin = d.quality.min;
        info.qualityMax = d.quality.max;
    }
    if (d.hasBitRate) {
        info.bitRateUsed = kTrue;
        info.bitRate = d.bitRate.value;
        info.bitRateMin = d.bitRate.min;
        info.bitRateMax = d.bitRate.max;
    }
    if (d.keyFrameOption != MclKeyFrameOption::None) {
        info.keyFrameRateUsed = kTrue;
        info.keyFrameRate = d.keyFrameRate.value;
        info.keyFrameRateMin = d.keyFrameRate.min;
        info.keyFrameRateMax = d.keyFrameRate.max;
    }
    return info;
}

std::optional<MclEncoderSetup> MclEncoderSetupFor(const TMclCodecInfo& info, int bits) {
    const MclCodecDescriptor* d = MclFindCodec(info.fileFmtID, info.codecID);
    if (!d) return std::nullopt;

    MclEncoderSetup setup;
    setup.encoder = d->encoder;
    setup.muxer = d->muxer;
    setup.alpha = bits == 32 && d->pixelFormatAlpha != nullptr;
    setup.pixelFormat = setup.alpha ? d->pixelFormatAlpha : d->pixelFormat;
    setup.codecTag = setup.alpha ? d->codecTagAlpha : d->codecTag;

    const int32_t bitRate = d->hasBitRate ? Pick(info.bitRateUsed, info.bitRate, d->bitRate) : 0;
    if (bitRate > 0) {
        setup.options.emplace_back("b", std::to_string(static_cast<int64_t>(bitRate) * 1000));
    } else if (d->qualityScale == MclQualityScale::QScale) {
        const int32_t q = Pick(info.qualityUsed, info.quality, d->quality);
        setup.frameQuality = q * FF_QP2LAMBDA;
        setup.options.emplace_back("flags", "+qscale");
        setup.options.emplace_back("global_quality", std::to_string(setup.frameQuality));
        // FFmpeg clips the fixed quantiser to qmin, which defaults to 2.
        if (q < 2) setup.options.emplace_back("qmin", std::to_string(q));
    } else if (d->qualityScale == MclQualityScale::Crf) {
        setup.options.emplace_back("crf", std::to_string(Pick(info.qualityUsed, info.quality, d->quality)));
    }

    switch (d->keyFrameOption) {
        case MclKeyFrameOption::None:
            break;
        case MclKeyFrameOption::GopSize:
            setup.options.emplace_back(
                "g", std::to_string(Pick(info.keyFrameRateUsed, info.keyFrameRate, d->keyFrameRate)));
            break;
        case MclKeyFrameOption::KeyIntMin:
            setup.options.emplace_back(
                "keyint_min",
                std::to_string(Pick(info.keyFrameRateUsed, info.keyFrameRate, d->keyFrameRate)));
            break;
        case MclKeyFrameOption::KeyIntMinGap:
            setup.options.emplace_back(
                "keyint_min",
                std::to_string(Pick(info.keyFrameRateUsed, info.keyFrameRate, d->keyFrameRate) - 1));
            break;
    }
    return setup;
}
