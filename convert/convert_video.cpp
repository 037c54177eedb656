// The video output: one AVI, MPEG, MP4, WebM or MOV file per task, the frames pulled by the media library
// through the video source callback, the sound read by the library from the task's sound file.
#include <QFile>
#include <QFileInfo>

#include <exception>
#include <stdexcept>

#include "capture/shockwave_flash_ex.h"
#include "convert/interact_frm.h"
#include "convert/movie_sound.h"
#include "convert/task_objects.h"
#include "tasks/cov_settings.h"
#include "tasks/temp_files.h"

namespace {

struct TMpegFormat {
    double rate;
    int32_t width, height;  // 0: the task's frame size
    int32_t codec;
    int32_t videoRate, videoMax, videoMin, videoFlag;
    int32_t sampleRate;
    int32_t audioRate, audioFlag;
};

constexpr double kNtscRate = 30000.0 / 1001.0;

// Indexed by TMPEGPreset.
constexpr TMpegFormat kMpegFormats[] = {
    {kNtscRate, 352, 240, kMclMpegCodecVCD, 1150, 1151, 0, -1, 44100, 224, -1},
    {25.0, 352, 288, kMclMpegCodecVCD, 1150, 1151, 0, -1, 44100, 224, -1},
    {kNtscRate, 720, 480, kMclMpegCodecDVD, 6000, 8000, 2500, 0, 48000, 384, 0},
    {25.0, 720, 576, kMclMpegCodecDVD, 6000, 8000, 2500, 0, 48000, 384, 0},
    {kNtscRate, 480, 480, kMclMpegCodecSVCD, 2376, 2420, 1982, 0, 44100, 224, 0},
    {25.0, 480, 576, kMclMpegCodecSVCD, 2376, 2420, 1982, 0, 44100, 224, 0},
    {0.0, 0, 0, kMclMpegCodecMPEG1, 1150, 1151, 0, -1, 44100, 224, 0},
    {0.0, 0, 0, kMclMpegCodecMPEG2, 6000, 8000, 2500, 0, 48000, 384, 0},
};

// destMPEGFrameRate: the item index of the settings dialog's rate list.
double CustomMpegRate(int32_t index) {
    static constexpr double kRates[] = {22.98, 24, 25, 29.97, 30, 50, 59.94, 60};
    return index >= 0 && index < 8 ? kRates[index] : 29.97;
}

// The movie's own rate; a movie that states none plays at the player's default rate.
double MovieRate(const TCovSettings& task) {
    return task.swfFrameRate > 0 ? double(task.swfFrameRate) : TShockwaveFlash::kDefaultFrameRate;
}

constexpr int32_t kDefault = static_cast<int32_t>(MclDefault);

// A sound file with at least one sample in it (a recording pass that captured nothing leaves a bare header).
bool HasSoundData(const std::string& path) {
    QFileInfo info(QString::fromStdString(path));
    return !path.empty() && info.isFile() && info.size() > 64;
}

std::string TempWavFile() {
    std::string name = GetTempFile();
    return name.substr(0, name.size() - 4) + ".wav";
}

// The status log's name of a video kind: "\" to AVI." and so on.
QString KindEnding(TDestType type) {
    switch (type) {
        case dtMPEG:
            return "\" to MPEG.";
        case dtMP4:
            return "\" to MP4.";
        case dtWebM:
            return "\" to WebM.";
        case dtMOV:
            return "\" to MOV.";
        default:
            return "\" to AVI.";
    }
}

int32_t ContainerStream(TDestType type) {
    return type == dtMP4 ? kMclStreamMP4 : type == dtWebM ? kMclStreamWebM : kMclStreamMOV;
}

}  // namespace

bool TInteractFrm::ConvertToVideo(TCovSettings& task) {
    const QString folder = QString::fromStdString(task.destFilepath);
    if (!checkInputs(task, folder)) return false;
    const std::string outputFile = task.destFilepath + task.destFilename;
    const bool mpeg = task.destType == dtMPEG;
    const bool container = task.destType == dtMP4 || task.destType == dtWebM || task.destType == dtMOV;
    const QString kind = KindEnding(task.destType);

    const TFrameSizes sizes = ComputeFrameSizes(task);
    if (task.destLastFrame == 0) task.destLastFrame = task.destEndFrame;
    const int maximum = task.destLastFrame - task.destStartFrame + 1;
    beginTask(sizes, maximum);
    addStatus("Status:> Converting \"" + movieName(task) + kind + " | " + QString::fromStdString(outputFile));

    video_ = std::make_unique<TVideoJob>();
    TVideoJob& job = *video_;
    int32_t convertResult = 0;
    QString failure;
    auto cleanUp = [&] {
        endPlayback();
        // A file the library could not write was reported as an error: no "finish" line follows it.
        if (failure.isEmpty()) addEndStatus(task, kind);
        video_.reset();
        // A sound file the recording pass made is the system's own temporary file; imported ones stay.
        if (!task.adoUseFilename.empty() && IsOwnTempFile(task.adoUseFilename))
            QFile::remove(QString::fromStdString(task.adoUseFilename));
    };
    try {
        job.objects.create(sizes, WantsAlpha(task), task.destIsCrop, true);
        job.handle.reset(MclAlloc());
        job.sounds.reset(MclListAlloc());
        MclHandle handle = job.handle.get();

        // The sound comes first: its pass pumps messages, which must not tick the conversion's player.
        if (task.adoUseFilename.empty() && task.adoSource == asImport) task.adoUseFilename = task.adoFilename;
        if (task.adoUseFilename.empty() && task.adoSource == asRecord && task.adoDirect)
            takeMovieSound(task, maximum);
        // Disc players and authoring tools expect an audio stream: a disc preset without sound gets silence
        // as long as the video.
        if (mpeg && task.destMPEGCodec < mpMPEG1Custom && !HasSoundData(task.adoUseFilename)) {
            if (IsOwnTempFile(task.adoUseFilename))
                QFile::remove(QString::fromStdString(task.adoUseFilename));
            const int rate = kMpegFormats[task.destMPEGCodec].sampleRate;
            const std::string silent = TempWavFile();
            std::string error;
            if (WriteSilentWav(silent, rate, SoundSamplesForFrames(maximum, MovieRate(task), rate), &error)) {
                task.adoUseFilename = silent;
                addStatus("Status:> No sound for \"" + movieName(task) + "\": the disc gets a silent track");
            } else {
                QFile::remove(QString::fromStdString(silent));
                addStatus("Status:> " + QString::fromStdString(error));
            }
        }
        // The disc formats' frames are seen as 4:3 whatever their pixel counts: a picture grabbed at the
        // frame's size is drawn on those non-square pixels, so that the movie keeps its shape on the disc and
        // goes into the file without scaling.
        if (mpeg && task.destMPEGCodec < mpMPEG1Custom) {
            const TMpegFormat& f = kMpegFormats[task.destMPEGCodec];
            if (sizes.frameW == f.width && sizes.frameH == f.height)
                FlashCtl->setPixelAspect(4.0 * f.height / (3.0 * f.width));
        }
        CurFrame = loadMovieForConversion(task, true);

        MclAssignVideoSource(handle, [this](MclSourceHandle source, int32_t) { VideoSourceProc(source); });
        MclAssignVideoFunc(handle, [](int32_t, int32_t, int32_t) {});
        MclAssignAudioSource(
            handle, [this](MclSourceHandle source, int32_t index) { AudioSourceProc(source, index); });
        MclAssignAudioFunc(handle, [](int32_t, int32_t, int32_t) {});
        MclAssignProgress(handle, [](int32_t, int32_t, int32_t, int32_t) {});
        MclAssignError(handle, [this](int32_t unused, const char* fileName, int32_t* action) {
            ErrorProc(unused, fileName, action);
        });

        MclTruncateAudioToVideo(handle, -1);
        MclSetKeepDuration(handle, -1);
        MclListAdd(job.sounds.get(), task.adoUseFilename, 16, 0, 0);
        MclSetOutputFile(handle, outputFile, outputFile);

        const int32_t quality = priority_ == cpBetterQuality ? 1 : 0;
        if (container) {
            const int32_t stream = ContainerStream(task.destType);
            MclSetFrameRate(handle, MovieRate(task));
            MclSetResolution(handle, sizes.frameW, sizes.frameH);
            MclSetCodec(handle, stream, task.destType == dtMOV ? task.destVideoCodec : 0);
            MclSetQuality(handle, stream, quality);
            MclSetQualityLevel(handle, task.destVideoQuality);
            MclSetAudioFormat(handle, 44100, 2, 16);
        } else if (!mpeg) {
            const TMclCodecInfo& codec = task.DestAVICodecInfo;
            MclCodecsSetInfoToData(handle, codec);
            MclSetFrameRate(handle, MovieRate(task));
            MclSetResolution(handle, sizes.frameW, sizes.frameH);
            MclSetCodec(handle, kMclStreamAVI, codec.codecID);
            MclSetBitRate(handle, kMclStreamAVI, codec.bitRate, codec.bitRateMax, codec.bitRateMin, 0);
            MclSetQuality(handle, kMclStreamAVI, quality);
            MclSetAudioFormat(handle, 44100, 2, 16);
            MclSetBitRate(handle, kMclStreamAVI, 224, kDefault, kDefault, 0);
        } else if (task.destMPEGCodec <= mpMPEG2Custom) {
            const TMpegFormat& f = kMpegFormats[task.destMPEGCodec];
            const bool custom = task.destMPEGCodec >= mpMPEG1Custom;
            MclSetFrameRate(handle, custom ? CustomMpegRate(task.destMPEGFrameRate) : f.rate);
            MclSetResolution(handle, custom ? sizes.frameW : f.width, custom ? sizes.frameH : f.height);
            MclSetCodec(handle, kMclStreamMPEGVideo, f.codec);
            MclSetBitRate(handle, kMclStreamMPEGVideo, f.videoRate, f.videoMax, f.videoMin, f.videoFlag);
            MclSetQuality(handle, kMclStreamMPEGVideo, quality);
            MclSetAudioFormat(handle, f.sampleRate, 2, 16);
            MclSetBitRate(handle, kMclStreamMPEGAudio, f.audioRate, kDefault, kDefault, f.audioFlag);
        }
        const bool compatible = !mpeg || task.destMPEGCodec < mpMPEG1Custom;
        MclForceCompatibility(handle, compatible ? -1 : 0);

        startBySequenceMode(task);
        convertResult = MclConvert(handle);
        if (convertResult != 0) {
            failure = QString::fromStdString(MclLastErrorText());
            if (failure.isEmpty()) failure = "the media library could not write the file";
        }
        MclCheckError();
        if (!job.callbackError.empty()) throw std::runtime_error(job.callbackError);
    } catch (...) {
        cleanUp();
        throw;
    }
    if (!failure.isEmpty()) {
        // The library's error callback has had its say; the log and the task's result tell what happened.
        addStatus("Status:> Error converting \"" + movieName(task) + kind + " | " + failure);
        lastSkipReason_ = "error: " + failure;
    }
    cleanUp();
    return true;
}

void TInteractFrm::takeMovieSound(TCovSettings& task, int frames) {
    const std::string wav = TempWavFile();
    addStatus("Status:> Taking the sound of \"" + movieName(task) + "\"");
    TMovieSoundResult r = WriteMovieSound(task, frames, wav, [this](int, int) {
        pumpMessages();
        return Converting && !SkipCurrent;
    });
    if (!r.ok) {
        QFile::remove(QString::fromStdString(wav));
        addStatus("Status:> No sound for \"" + movieName(task) + "\": " + QString::fromStdString(r.error));
        return;
    }
    if (!r.audible) {
        // Nothing to hear in the converted frames: no sound track rather than a silent one.
        QFile::remove(QString::fromStdString(wav));
        addStatus("Status:> \"" + movieName(task) + "\" plays no sound in the converted frames");
        return;
    }
    task.adoUseFilename = wav;
}

void TInteractFrm::VideoSourceProc(MclSource* source) {
    TVideoJob* job = video_.get();
    if (!job || !CurTask) {
        MclSrcFinished(source);
        return;
    }
    TCovSettings& task = *CurTask;
    try {
        bool deliver = false;
        if (task.destLastFrame >= CurFrame && Converting && !SkipCurrent) {
            const TCaptureBitmaps bitmaps = job->objects.bitmaps();
            if (task.destSequenceMode != smFrameByFrame) {
                while (!FrameReady && Converting && !SkipCurrent)
                    waitForFrame();
                if (FrameReady) {
                    CaptureFrame(grabSource(), task, bitmaps, -1);
                    job->captured = true;
                }
            } else {
                CaptureFrame(grabSource(), task, bitmaps, CurFrame);
                job->captured = true;
            }
            // Stopped while waiting: the previous picture is delivered once more. Before the first capture
            // there is no picture at all, so the file ends here instead of starting with an empty frame.
            deliver = job->captured;
        }
        if (deliver) {
            MclSrcSetImg(source, job->objects.frameImage.get());
            MclSrcSetFrameRate(source, MovieRate(task));
            ++CurFrame;
            setCurrentFrames(CurFrame - task.destStartFrame, task.destLastFrame - task.destStartFrame + 1);
            FrameReady = false;
        } else {
            MclSrcFinished(source);
        }
        pumpMessages();
    } catch (const std::exception& e) {
        // Nothing may cross the library's frame loop: the error ends this file and is raised again after it.
        job->callbackError = e.what();
        Converting = false;
        MclSrcFinished(source);
    }
}

void TInteractFrm::AudioSourceProc(MclSource* source, int32_t index) {
    char name[264] = {};
    TVideoJob* job = video_.get();
    if (job && MclListGetName(job->sounds.get(), index, name, sizeof name) != 0 && Converting)
        MclSrcSetFile(source, name);
    else
        MclSrcFinished(source);
}
