// The conversion calls of the media library: settings, callbacks, MclConvert and the source answers.
#include <cstring>
#include <exception>
#include <utility>

#include "mcl/mcl.h"
#include "mcl/mcl_codec_catalog.h"
#include "mcl/mcl_conversion.h"
#include "mcl/mcl_converter.h"
#include "mcl/mcl_error_state.h"

MclHandle MclAlloc() {
    return new MclConversion;
}

void MclFree(MclHandle handle) {
    if (!handle) return;
    if (handle->converting) {
        // Freed from inside one of its own callbacks: MclConvert lets it go when it returns.
        handle->freePending = true;
        return;
    }
    delete handle;
}

void MclAssignVideoSource(MclHandle handle, MclVideoSourceProc proc) {
    if (handle) handle->callbacks.videoSource = std::move(proc);
}
void MclAssignVideoFunc(MclHandle handle, MclFuncProc proc) {
    if (handle) handle->callbacks.videoFunc = std::move(proc);
}
void MclAssignAudioSource(MclHandle handle, MclAudioSourceProc proc) {
    if (handle) handle->callbacks.audioSource = std::move(proc);
}
void MclAssignAudioFunc(MclHandle handle, MclFuncProc proc) {
    if (handle) handle->callbacks.audioFunc = std::move(proc);
}
void MclAssignProgress(MclHandle handle, MclProgressProc proc) {
    if (handle) handle->callbacks.progress = std::move(proc);
}
void MclAssignError(MclHandle handle, MclErrorProc proc) {
    if (handle) handle->callbacks.error = std::move(proc);
}

void MclTruncateAudioToVideo(MclHandle handle, int32_t flag) {
    if (handle) handle->settings.truncateAudio = flag != 0;
}
void MclSetKeepDuration(MclHandle handle, int32_t flag) {
    if (handle) handle->settings.keepDuration = flag != 0;
}
void MclForceCompatibility(MclHandle handle, int32_t flag) {
    if (handle) handle->settings.forceCompatibility = flag != 0;
}

// The second path names where a separate sound file would go; the sound is always written into the video
// file here, so only the first is used.
void MclSetOutputFile(MclHandle handle, const std::string& videoPath, const std::string& /*audioPath*/) {
    if (handle) handle->settings.outputPath = videoPath;
}

void MclSetFrameRate(MclHandle handle, double framesPerSecond) {
    if (handle)
        handle->settings.frameRate = framesPerSecond > 0 && framesPerSecond < 1000 ? framesPerSecond : 0;
}

void MclSetResolution(MclHandle handle, int32_t width, int32_t height) {
    if (!handle) return;
    const bool valid = width > 0 && height > 0 && width <= kMclMaxFrameSide && height <= kMclMaxFrameSide;
    handle->settings.width = valid ? width : 0;
    handle->settings.height = valid ? height : 0;
}

void MclSetCodec(MclHandle handle, int32_t stream, int32_t codec) {
    if (!handle) return;
    MclConversionSettings& s = handle->settings;
    if (stream == kMclStreamAVI) {
        s.container = kMclStreamAVI;
        s.aviCodecID = codec;
    } else if (stream == kMclStreamMPEGVideo) {
        s.container = kMclStreamMPEGVideo;
        s.mpegCodec = codec;
    } else if (stream == kMclStreamMP4 || stream == kMclStreamWebM || stream == kMclStreamMOV) {
        s.container = stream;
        s.containerCodec = codec;
    }
}

void MclSetQualityLevel(MclHandle handle, int32_t level) {
    if (!handle) return;
    handle->settings.qualityLevel = level >= 1 && level <= 100 ? level : 0;
}

void MclSetBitRate(MclHandle handle, int32_t stream, int32_t rate, int32_t maxRate, int32_t minRate,
                   int32_t flag) {
    if (!handle) return;
    MclConversionSettings& s = handle->settings;
    MclBitRate* target = nullptr;
    if (stream == kMclStreamAVI) target = s.audioFormatSet ? &s.audioRate : &s.aviVideoRate;
    if (stream == kMclStreamMPEGVideo) target = &s.mpegVideoRate;
    if (stream == kMclStreamMPEGAudio) target = &s.audioRate;
    if (!target) return;
    *target = MclBitRate{true, rate, maxRate, minRate, flag};
}

void MclSetQuality(MclHandle handle, int32_t stream, int32_t flag) {
    if (!handle) return;
    if (stream == kMclStreamAVI) handle->settings.aviQuality = flag;
    if (stream == kMclStreamMPEGVideo) handle->settings.mpegQuality = flag;
    if (stream == kMclStreamMP4 || stream == kMclStreamWebM || stream == kMclStreamMOV)
        handle->settings.aviQuality = flag;
}

void MclSetAudioFormat(MclHandle handle, int32_t sampleRate, int32_t channels, int32_t bits) {
    if (!handle) return;
    MclConversionSettings& s = handle->settings;
    s.audioFormatSet = true;
    if (sampleRate >= 8000 && sampleRate <= 192000) s.sampleRate = sampleRate;
    if (channels >= 1 && channels <= 2) s.channels = channels;
    if (bits == 8 || bits == 16) s.bits = bits;
}

void MclCodecsSetInfoToData(MclHandle handle, const TMclCodecInfo& info) {
    if (!handle) return;
    MclConversionSettings& s = handle->settings;
    if (info.fileFmtID == kMclFormatMPEG) {
        s.container = kMclStreamMPEGVideo;
        s.mpegCodec = info.codecID;
        s.hasMpegInfo = true;
        s.mpegInfo = info;
        return;
    }
    s.hasAviInfo = true;
    s.aviInfo = info;
    s.aviCodecID = info.codecID;
    s.container = kMclStreamAVI;
}

namespace {

// A block for an MPEG stream: the catalog's customised formats as MclCodecsGetInfo lists them, the disc
// formats by their names.
TMclCodecInfo MpegBlock(const MclConversionSettings& s) {
    TMclCodecInfo info{};
    if (const MclCodecDescriptor* d = MclFindCodec(kMclFormatMPEG, s.mpegCodec)) {
        info = MclCodecInfoFromDescriptor(*d);
    } else {
        info.fileFmtID = kMclFormatMPEG;
        info.codecUsed = -1;
        info.codecID = s.mpegCodec;
        const char* name = s.mpegCodec == kMclMpegCodecVCD    ? "VCD (MPEG-1)"
                           : s.mpegCodec == kMclMpegCodecSVCD ? "SVCD (MPEG-2)"
                           : s.mpegCodec == kMclMpegCodecDVD  ? "DVD (MPEG-2)"
                                                              : "";
        std::strncpy(info.codecName, name, sizeof info.codecName - 1);
    }
    const MclBitRate& r = s.mpegVideoRate;
    if (r.given && MclBitRate::IsGiven(r.rate)) {
        info.bitRateUsed = -1;
        info.bitRate = r.rate;
        if (MclBitRate::IsGiven(r.minRate)) info.bitRateMin = r.minRate;
        if (MclBitRate::IsGiven(r.maxRate)) info.bitRateMax = r.maxRate;
    }
    return info;
}

}  // namespace

int32_t MclCodecsGetInfoFromData(MclHandle handle, TMclCodecInfo* info, int32_t stream, int32_t count) {
    if (!handle || !info || count < 1) return 0;
    const MclConversionSettings& s = handle->settings;
    TMclCodecInfo block{};
    if (stream == kMclStreamAVI) {
        if (s.hasAviInfo && s.aviInfo.codecID == s.aviCodecID) {
            block = s.aviInfo;
        } else if (const MclCodecDescriptor* d = MclFindCodec(kMclFormatAVI, s.aviCodecID)) {
            block = MclCodecInfoFromDescriptor(*d);
        } else {
            return 0;
        }
        if (s.aviVideoRate.given && MclBitRate::IsGiven(s.aviVideoRate.rate) && block.bitRateUsed)
            block.bitRate = s.aviVideoRate.rate;
    } else if (stream == kMclStreamMPEGVideo) {
        // The block handed in comes back as it was (the codec chooser shows its values); otherwise the
        // codec's own description.
        block = s.hasMpegInfo && s.mpegInfo.codecID == s.mpegCodec ? s.mpegInfo : MpegBlock(s);
    } else {
        return 0;
    }
    std::memcpy(info, &block, sizeof block);
    return 1;
}

int32_t MclConvert(MclHandle handle) {
    if (!handle) return MclRecordError(kMclErrorInvalidArgument, "no conversion handle");
    if (handle->converting) return MclRecordError(kMclErrorBusy, "the conversion is already running");

    handle->converting = true;
    int32_t result = kMclErrorNone;
    try {
        // The run works on copies: a callback may change settings, reassign callbacks or free the handle.
        // Should a callback throw, the converter's destruction still finishes the file.
        MclConverter converter(handle->settings, handle->callbacks);
        result = converter.run();
    } catch (const std::exception& e) {
        result = MclRecordError(kMclErrorFailed, std::string("the conversion stopped: ") + e.what());
    } catch (...) {
        result = MclRecordError(kMclErrorFailed, "the conversion stopped on an unknown error");
    }
    handle->converting = false;
    if (handle->freePending) delete handle;
    return result;
}

void MclSrcSetImg(MclSourceHandle source, MclImageHandle image) {
    if (!source || source->answer == MclSource::Answer::Finished) return;
    source->answer = MclSource::Answer::Picture;
    if (!source->staging) return;
    MclImage& to = *source->staging;
    if (!image) {
        // No picture: the frame is kept, black.
        to.width = to.height = 0;
        to.bgr.clear();
        to.alpha.clear();
        return;
    }
    to.width = image->width;
    to.height = image->height;
    to.bgr.assign(image->bgr.begin(), image->bgr.end());  // reuses the buffer's capacity
    to.alpha.assign(image->alpha.begin(), image->alpha.end());
}

void MclSrcSetFrameRate(MclSourceHandle source, double framesPerSecond) {
    if (source && framesPerSecond > 0 && framesPerSecond < 1000) source->frameRate = framesPerSecond;
}

void MclSrcSetFile(MclSourceHandle source, const std::string& path) {
    if (!source || source->answer == MclSource::Answer::Finished) return;
    source->answer = MclSource::Answer::File;
    source->path = path;
}

void MclSrcFinished(MclSourceHandle source) {
    if (source) source->answer = MclSource::Answer::Finished;
}
