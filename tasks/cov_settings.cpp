#include "tasks/cov_settings.h"

#include <cstring>

#include "mcl/mcl_codecs.h"
#include "tasks/file_names.h"
#include "tasks/swf_probe.h"
#include "tasks/ui_hooks.h"

TCodecSource MclCodecSource() {
    return {[](int fileFmtID, int width, int height, int bits) {
                return MclCodecsInit(fileFmtID, width, height, bits);
            },
            [](int fileFmtID, TMclCodecInfo* info, int index) {
                return MclCodecsGetInfo(fileFmtID, info, index);
            }};
}

void SelectDefaultCodec(int fileFmtID, int variant, int width, int height, int bits, TMclCodecInfo& block,
                        const TCodecSource& codecs) {
    const int n = codecs.init(fileFmtID, width, height, bits);
    if (n <= 0) return;
    const char* wanted = fileFmtID == kMclFormatAVI ? "Full Frames, Uncompressed"
                         : variant == 1             ? "MPEG-1 format"
                                                    : "MPEG-2 format";
    // From the last index down, so the highest index carrying the name wins; without a match the block keeps
    // index 1, the last one visited.
    for (int index = n; index >= 1; --index) {
        if (index != n) ProcessPendingMessages();
        codecs.getInfo(fileFmtID, &block, index);
        const size_t len = strnlen(block.codecName, sizeof block.codecName);
        if (len == std::strlen(wanted) && std::memcmp(block.codecName, wanted, len) == 0) return;
    }
}

void FillTaskDefaults(TCovSettings& task, const std::string& movieFile, bool probe,
                      const TCodecSource& codecs) {
    TBusyCursor busy;
    if (probe) {
        // The success indicator is not consulted: a header read only in part leaves zeros in what it missed.
        TSwfInfo info;
        ProbeSwfFile(movieFile, info);
        task.swfFilename = movieFile;
        task.swfFileType = info.fileType;
        task.swfFileVersion = info.version;
        task.swfFileSize = info.fileSize;
        task.swfW = info.width;
        task.swfH = info.height;
        task.swfFrameRate = info.frameRate;
        task.swfTotalFrames = info.totalFrames;
    }

    task.adoFilename.clear();
    task.adoSource = asRecord;
    task.adoDirect = true;
    task.adoFileType = aftMP3;
    task.adoWavChannel = 1;
    task.adoWavBits = 1;
    task.adoWavFreq = 0;
    task.adoMp3Channel = 1;
    task.adoMp3BitRate = 1;

    task.destFilename = ChangeFileExt(ExtractFileName(movieFile), ".avi");
    task.destFilepath = ExtractFilePath(movieFile);
    task.destType = dtAVI;
    task.destSequenceMode = smNormal;
    task.destColorDepth = cd24Bit;
    task.destAlphaMode = amIntensitySqrt;
    task.destStartFrame = 1;
    task.destEndFrame = task.swfTotalFrames;
    task.destW = task.swfW;
    task.destH = task.swfH;
    task.destCropX = 0;
    task.destCropY = 0;
    task.destCropW = task.swfW;
    task.destCropH = task.swfH;
    task.destIsCrop = false;
    task.destIsUseOriginalSize = true;
    task.destIsKeepAspectRatio = false;
    task.destSplitSize = 74.0;
    task.destIsSplit = false;

    SelectDefaultCodec(kMclFormatAVI, 0, task.destW, task.destH, 24, task.DestAVICodecInfo, codecs);
    SelectDefaultCodec(kMclFormatMPEG, 1, 352, 240, 24, task.DestMPEGCodecInfo, codecs);
    task.destAVICodec = task.DestAVICodecInfo.codecID;
    task.destAVIFrameRate = task.swfFrameRate;
    task.destMPEGCodec = mpVCDNTSC;
    task.destMPEGFrameRate = 3;

    task.destGIFFrameRate = task.swfFrameRate;
    task.destGIFRepeatCount = 0;
    task.destGIFBackgroundColor = 0x00FFFFFF;
    task.destGIFTransparentColor = 0x00FFFFFF;
    task.destGIFIsBackground = false;
    task.destGIFIsTransparent = false;
    task.destGIFIsInterlaced = false;
    task.destGIFIsLooping = true;
    task.destImageType = itPNG;
    task.destImageJPEGQuality = 85;
    task.destVideoCodec = 0;
    task.destVideoQuality = kDefaultVideoQuality;
}
