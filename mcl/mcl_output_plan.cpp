#include "mcl/mcl_output_plan.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace {

using mcl::MclError;
using mcl::MclStatus;

// The frame rates MPEG-1 and MPEG-2 video can signal (frame_rate_code 1..8).
constexpr AVRational kMpegRates[] = {{24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                                     {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};

// FFmpeg's MPEG-4 family writes the time base into 16 bits; every rate of a movie fits that.
constexpr int kMaxRateTerm = 65535;

constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 240;

int32_t Kbit(const MclBitRate& r, int32_t value, int32_t fallback) {
    return r.given && MclBitRate::IsGiven(value) && value > 0 ? value : fallback;
}

bool IsMpegVideoFamily(const std::string& encoder) {
    return encoder == "mpeg1video" || encoder == "mpeg2video" || encoder == "mpeg4" ||
           encoder == "msmpeg4v2" || encoder == "msmpeg4";
}

// "Better Quality": rate-distortion macroblock decisions and trellis quantisation, the usual quality options
// of FFmpeg's MPEG-video encoders; x264 moves from its "veryfast" preset to its default one.
void AddQualityOptions(int32_t flag, MclEncoderSetup* setup) {
    if (IsMpegVideoFamily(setup->encoder)) {
        if (flag) {
            setup->options.emplace_back("mbd", "rd");
            setup->options.emplace_back("trellis", "1");
        }
    } else if (setup->encoder == "libx264") {
        setup->options.emplace_back("preset", flag ? "medium" : "veryfast");
    }
}

AVRational RateOf(double rate) {
    AVRational q = av_d2q(rate, kMaxRateTerm);
    if (q.num <= 0 || q.den <= 0) q = AVRational{25, 1};
    return q;
}

// 4:3 display aspect on a frame of w x h: the sample aspect ratio (4 h) : (3 w).
AVRational FourByThree(int w, int h) {
    AVRational sar;
    av_reduce(&sar.num, &sar.den, 4LL * h, 3LL * w, 1 << 30);
    return sar;
}

MclStatus PlanAvi(const MclConversionSettings& s, bool alpha, MclOutputPlan* plan) {
    TMclCodecInfo info{};
    if (s.hasAviInfo && s.aviInfo.codecID == s.aviCodecID) {
        info = s.aviInfo;
    } else {
        const MclCodecDescriptor* d = MclFindCodec(kMclFormatAVI, s.aviCodecID);
        if (!d)
            return MclStatus::Error(MclError::NotFound,
                                    "no AVI codec with identifier " + std::to_string(s.aviCodecID));
        info = MclCodecInfoFromDescriptor(*d);
    }
    info.fileFmtID = kMclFormatAVI;
    if (s.aviVideoRate.given && MclBitRate::IsGiven(s.aviVideoRate.rate) && info.bitRateUsed)
        info.bitRate = s.aviVideoRate.rate;

    std::optional<MclEncoderSetup> setup = MclEncoderSetupFor(info, alpha ? 32 : 24);
    if (!setup)
        return MclStatus::Error(MclError::NotFound,
                                "no AVI codec with identifier " + std::to_string(info.codecID));
    plan->video = std::move(*setup);
    AddQualityOptions(s.aviQuality, &plan->video);
    plan->muxer = plan->video.muxer;

    // A widely playable sound track: MP3 where FFmpeg has LAME, else MPEG audio layer II, else PCM.
    MclAudioPlan& a = plan->audio;
    a.sampleRate = s.sampleRate > 0 ? s.sampleRate : 44100;
    a.channels = std::clamp(s.channels, 1, 2);
    const bool halfRate = a.sampleRate < 32000;  // MPEG-2 audio (LSF) tops out at 160 kbit/s
    a.bitRate = 1000LL * std::clamp(Kbit(s.audioRate, s.audioRate.rate, 224), 32, halfRate ? 160 : 320);
    a.encoders = {"libmp3lame", "mp2", s.bits == 8 ? "pcm_u8" : "pcm_s16le"};
    return {};
}

enum class Norm { Pal, Ntsc };

MclStatus PlanMpeg(const MclConversionSettings& s, int pictureW, int pictureH, double sourceRate,
                   MclOutputPlan* plan) {
    const int32_t codec = s.mpegCodec;
    const bool vcd = codec == kMclMpegCodecVCD;
    const bool svcd = codec == kMclMpegCodecSVCD;
    const bool dvd = codec == kMclMpegCodecDVD;
    const bool preset = vcd || svcd || dvd;
    const bool mpeg1 = vcd || codec == kMclMpegCodecMPEG1;
    if (!preset && codec != kMclMpegCodecMPEG1 && codec != kMclMpegCodecMPEG2)
        return MclStatus::Error(MclError::NotFound, "no MPEG codec number " + std::to_string(codec));

    // A rate MPEG cannot signal (22.98, 12, ...) becomes the nearest one it can; with the duration kept,
    // frames are repeated or dropped to match it.
    const double wanted = s.frameRate > 0 ? s.frameRate : (sourceRate > 0 ? sourceRate : 25.0);
    plan->frameRate = MclNearestMpegRate(wanted);
    const Norm norm = (plan->frameRate.num == 25 || plan->frameRate.num == 50) && plan->frameRate.den == 1
                          ? Norm::Pal
                          : Norm::Ntsc;
    const bool pal = norm == Norm::Pal;

    int normW = 0;
    int normH = 0;
    if (vcd) normW = 352, normH = pal ? 288 : 240;
    if (svcd) normW = 480, normH = pal ? 576 : 480;
    if (dvd) normW = 720, normH = pal ? 576 : 480;
    if (preset && s.forceCompatibility) {
        plan->width = normW;
        plan->height = normH;
        plan->frameRate = pal ? AVRational{25, 1} : AVRational{30000, 1001};
    } else if (s.width > 0 && s.height > 0) {
        plan->width = s.width;
        plan->height = s.height;
    } else if (preset) {
        plan->width = normW;
        plan->height = normH;
    }
    if (plan->width <= 0 || plan->height <= 0) {
        plan->width = pictureW > 0 ? pictureW : kDefaultWidth;
        plan->height = pictureH > 0 ? pictureH : kDefaultHeight;
    }
    // The three disc formats are 4:3 pictures on frames of non-square pixels.
    plan->sampleAspect = preset ? FourByThree(plan->width, plan->height) : AVRational{1, 1};

    MclEncoderSetup& v = plan->video;
    v.encoder = mpeg1 ? "mpeg1video" : "mpeg2video";
    v.pixelFormat = "yuv420p";
    v.muxer = vcd ? "vcd" : svcd ? "svcd" : dvd ? "dvd" : mpeg1 ? "mpeg" : "vob";
    plan->muxer = v.muxer;

    // Video rate control, kbit/s.
    const MclBitRate& r = s.mpegVideoRate;
    int64_t rate = Kbit(r, r.rate, mpeg1 ? 1150 : 6000);
    int64_t maxRate = r.given && MclBitRate::IsGiven(r.maxRate) && r.maxRate > 0 ? r.maxRate : 0;
    int64_t minRate = r.given && MclBitRate::IsGiven(r.minRate) && r.minRate > 0 ? r.minRate : 0;
    if (r.given && r.flag) maxRate = minRate = rate;  // constant bit rate
    int64_t bufferBits = 0;
    int gop = pal ? 15 : 18;
    if (vcd) {
        // VCD: constant 1150 kbit/s with a 40 KiB VBV buffer.
        rate = maxRate = minRate = 1150;
        bufferBits = 327680;
    } else if (svcd || dvd) {
        // SVCD: at most 2516 kbit/s of video beside 224 kbit/s of sound within the disc's 2778 kbit/s;
        // DVD: 9000 kbit/s of the 9800 the standard allows for video, leaving room for the sound. Both
        // have a 224 KiB VBV buffer.
        const int64_t cap = svcd ? 2516 : 9000;
        maxRate = std::min(maxRate > 0 ? maxRate : cap, cap);
        rate = std::min(rate, maxRate);
        minRate = std::min(minRate, rate);
        bufferBits = 1835008;
    } else {
        // Customised formats: the buffer of VCD (MPEG-1) or DVD (MPEG-2) at their frame sizes, grown with
        // the picture up to the largest the stream header can carry.
        const double area = static_cast<double>(plan->width) * plan->height;
        const double base = mpeg1 ? 327680.0 * std::max(1.0, area / (352.0 * 288.0))
                                  : 1835008.0 * std::max(1.0, area / (720.0 * 576.0));
        bufferBits = static_cast<int64_t>(std::min(base, mpeg1 ? 16760832.0 : 9781248.0));
        if (maxRate > 0) maxRate = std::max(maxRate, rate);
        // No floor: a lower limit only pads the stream with stuffing, and a small customised frame cannot
        // carry that much of it (FFmpeg's MPEG-2 encoder fails with "stuffing too large").
        minRate = 0;
        gop = 15;
    }
    v.options.emplace_back("b", std::to_string(rate * 1000));
    if (maxRate > 0) v.options.emplace_back("maxrate", std::to_string(maxRate * 1000));
    if (minRate > 0) v.options.emplace_back("minrate", std::to_string(minRate * 1000));
    v.options.emplace_back("bufsize", std::to_string(bufferBits));
    v.options.emplace_back("g", std::to_string(gop));
    if (svcd) v.options.emplace_back("scan_offset", "1");  // room for the SVCD scan information
    AddQualityOptions(s.mpegQuality, &v);

    // Multiplex: sectors of 2324 bytes on VCD and SVCD (Mode 2 Form 2), 2048 on DVD; the fixed mux rates of
    // VCD (75 sectors of 2352 bytes a second) and DVD; VCD's first timestamps follow the two padding packs.
    if (vcd) {
        plan->muxerOptions = {{"packetsize", "2324"}, {"muxrate", "1411200"}, {"preload", "440000"}};
    } else if (svcd) {
        plan->muxerOptions = {{"packetsize", "2324"}};
    } else if (dvd) {
        plan->muxerOptions = {{"packetsize", "2048"}, {"muxrate", "10080000"}};
    }

    // Sound: MPEG audio layer II at 44.1 kHz for VCD and SVCD (224 kbit/s on VCD); AC-3 at 48 kHz on DVD
    // (the format every DVD player decodes), MPEG audio layer II where FFmpeg has no AC-3 encoder.
    MclAudioPlan& a = plan->audio;
    a.channels = 2;
    const int32_t audioKbit = Kbit(s.audioRate, s.audioRate.rate, dvd ? 384 : 224);
    if (vcd) {
        a.sampleRate = 44100;
        a.bitRate = 224000;
        a.encoders = {"mp2"};
    } else if (svcd) {
        a.sampleRate = 44100;
        a.bitRate = 1000LL * std::clamp(audioKbit, 32, 384);
        a.encoders = {"mp2"};
    } else if (dvd) {
        a.sampleRate = 48000;
        a.bitRate = 1000LL * std::clamp(audioKbit, 64, 384);
        a.encoders = {"ac3", "mp2"};
    } else {
        a.sampleRate = s.sampleRate == 32000 || s.sampleRate == 48000 ? s.sampleRate : 44100;
        a.channels = std::clamp(s.channels, 1, 2);
        a.bitRate = 1000LL * std::clamp(audioKbit, 32, 384);
        a.encoders = {"mp2"};
    }
    return {};
}

// A quality level 1..100 spread over an encoder's scale from `worst` (level 1) to `best` (level 100).
int ScaleLevel(int32_t level, int worst, int best) {
    return static_cast<int>(std::lround(worst + (best - worst) * (level - 1) / 99.0));
}

// MP4 (H.264 + AAC), WebM (VP9 + Opus) and MOV (ProRes 4444 or QuickTime Animation + PCM): codecs FFmpeg
// drives with its usual settings; the quality level picks the point on each encoder's own scale.
MclStatus PlanContainer(const MclConversionSettings& s, bool alpha, MclOutputPlan* plan) {
    MclEncoderSetup& v = plan->video;
    MclAudioPlan& a = plan->audio;
    const int32_t level = s.qualityLevel;
    a.sampleRate = s.sampleRate > 0 ? s.sampleRate : 44100;
    a.channels = std::clamp(s.channels, 1, 2);
    if (s.container == kMclStreamMP4) {
        if (s.containerCodec != kMclMp4CodecH264)
            return MclStatus::Error(MclError::NotFound,
                                    "no MP4 codec number " + std::to_string(s.containerCodec));
        v.encoder = "libx264";
        v.pixelFormat = "yuv420p";  // what every player decodes; 4:2:0 has no alpha
        v.muxer = "mp4";
        v.options.emplace_back("crf", std::to_string(level ? ScaleLevel(level, 45, 10) : 23));
        v.options.emplace_back("preset", s.aviQuality ? "medium" : "veryfast");
        // The index (moov atom) before the media, so a browser plays the file while it loads.
        plan->muxerOptions = {{"movflags", "+faststart"}};
        a.encoders = {"aac"};
        a.bitRate = 160000;
    } else if (s.container == kMclStreamWebM) {
        if (s.containerCodec != kMclWebmCodecVP9)
            return MclStatus::Error(MclError::NotFound,
                                    "no WebM codec number " + std::to_string(s.containerCodec));
        v.encoder = "libvpx-vp9";
        v.pixelFormat = alpha ? "yuva420p" : "yuv420p";
        v.alpha = alpha;
        v.muxer = "webm";
        // Constant quality: the CRF with no bit-rate target.
        v.options.emplace_back("crf", std::to_string(level ? ScaleLevel(level, 56, 10) : 32));
        v.options.emplace_back("b", "0");
        v.options.emplace_back("deadline", "good");
        v.options.emplace_back("cpu-used", s.aviQuality ? "2" : "5");
        // Opus works at 48 kHz; the sound reader resamples.
        a.sampleRate = 48000;
        a.encoders = {"libopus", "opus"};
        a.bitRate = 128000;
    } else {
        if (s.containerCodec == kMclMovCodecProRes4444) {
            v.encoder = "prores_ks";
            v.pixelFormat = alpha ? "yuva444p10le" : "yuv444p10le";
            v.options.emplace_back("profile", "4444");
            v.options.emplace_back("vendor", "apl0");
            if (level) {
                // A fixed quantiser (1 best .. 16 small) instead of the profile's bit budget.
                v.options.emplace_back("flags", "+qscale");
                v.options.emplace_back("global_quality", std::to_string(118 * ScaleLevel(level, 16, 1)));
            }
        } else if (s.containerCodec == kMclMovCodecAnimation) {
            v.encoder = "qtrle";
            v.pixelFormat = alpha ? "argb" : "rgb24";
        } else {
            return MclStatus::Error(MclError::NotFound,
                                    "no MOV codec number " + std::to_string(s.containerCodec));
        }
        v.alpha = alpha;
        v.muxer = "mov";
        a.encoders = {s.bits == 8 ? "pcm_u8" : "pcm_s16le"};
        a.bitRate = 0;
    }
    plan->muxer = v.muxer;
    plan->marksPriming = s.container != kMclStreamWebM;  // MP4 and MOV: an edit list
    return {};
}

}  // namespace

AVRational MclNearestMpegRate(double rate) {
    AVRational best = kMpegRates[0];
    double bestDistance = HUGE_VAL;
    for (const AVRational& q : kMpegRates) {
        const double distance = std::fabs(av_q2d(q) - rate);
        if (distance < bestDistance) {
            best = q;
            bestDistance = distance;
        }
    }
    return best;
}

MclStatus MclPlanOutput(const MclConversionSettings& s, int pictureW, int pictureH, bool pictureAlpha,
                        double sourceRate, MclOutputPlan* plan) {
    *plan = MclOutputPlan{};
    if (s.container == kMclStreamMPEGVideo) return PlanMpeg(s, pictureW, pictureH, sourceRate, plan);

    const bool container =
        s.container == kMclStreamMP4 || s.container == kMclStreamWebM || s.container == kMclStreamMOV;
    MclStatus st = container ? PlanContainer(s, pictureAlpha, plan) : PlanAvi(s, pictureAlpha, plan);
    if (!st.ok()) return st;
    plan->frameRate = RateOf(s.frameRate > 0 ? s.frameRate : (sourceRate > 0 ? sourceRate : 25.0));
    if (s.width > 0 && s.height > 0) {
        plan->width = s.width;
        plan->height = s.height;
    } else {
        plan->width = pictureW > 0 ? pictureW : kDefaultWidth;
        plan->height = pictureH > 0 ? pictureH : kDefaultHeight;
    }
    if (plan->video.pixelFormat == "yuv420p" && plan->video.encoder == "libx264") {
        // H.264 4:2:0 needs even sides; the picture is fitted to the frame a pixel narrower.
        plan->width = std::max(2, plan->width & ~1);
        plan->height = std::max(2, plan->height & ~1);
    }
    return {};
}
