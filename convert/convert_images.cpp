// The image sequence output: one still per captured frame, named by frame number, written by the media
// library as soon as it is captured.
#include <QFile>

#include <string>

#include "capture/shockwave_flash_ex.h"
#include "convert/interact_frm.h"
#include "convert/task_objects.h"
#include "tasks/cov_settings.h"
#include "tasks/temp_files.h"

namespace {

// Extension and quality argument by destImageType; other values write nothing.
bool ImageKind(const TCovSettings& task, const char** extension, uint32_t* quality) {
    *quality = MclDefault;
    switch (task.destImageType) {
        case itPNG:
            *extension = ".png";
            return true;
        case itTGA:
            *extension = ".tga";
            return true;
        case itBMP:
            *extension = ".bmp";
            return true;
        case itJPEG:
            *extension = ".jpg";
            *quality = static_cast<uint32_t>(task.destImageJPEGQuality);
            return true;
    }
    return false;
}

}  // namespace

bool TInteractFrm::ConvertToImageSequence(TCovSettings& task) {
    std::string folder = task.destFilepath;
    if (folder.empty() || folder.back() != '/') folder += '/';
    if (!checkInputs(task, QString::fromStdString(folder))) return false;
    const TFrameSizes sizes = ComputeFrameSizes(task);
    const int maximum = task.destEndFrame - task.destStartFrame + 1;
    beginTask(sizes, maximum);
    addStatus("Status:> Converting \"" + movieName(task) + "\" to Image Sequence. | " +
              QString::fromStdString(folder));

    TCaptureObjects objects;
    objects.create(sizes, WantsAlpha(task), task.destIsCrop, true);
    const TCaptureBitmaps bitmaps = objects.bitmaps();
    const char* extension = nullptr;
    uint32_t quality = MclDefault;
    const bool known = ImageKind(task, &extension, &quality);

    int counter = loadMovieForConversion(task, false);
    startBySequenceMode(task);
    const TGrabSource source = grabSource();
    while (counter <= task.destEndFrame && Converting && !SkipCurrent) {
        if (task.destSequenceMode != smFrameByFrame) {
            if (!FrameReady) {
                waitForFrame();
                continue;
            }
            CaptureFrame(source, task, bitmaps, -1);
            pumpMessages();
        } else {
            CaptureFrame(source, task, bitmaps, counter);
        }
        if (known) {
            const std::string file = folder + std::to_string(counter) + extension;
            if (!MclImgSaveSingle(bitmaps.frameImage, file, quality)) {
                // A full disk or a folder gone: the task fails and says where, instead of reporting a
                // sequence with holes as converted.
                lastSkipReason_ = "error: cannot write " + QString::fromStdString(file);
                addStatus("Status:> Error converting \"" + movieName(task) +
                          "\" to Image Sequence. | cannot write " + QString::fromStdString(file));
                break;
            }
        }
        setCurrentFrames(counter - task.destStartFrame + 1, maximum);
        FrameReady = false;
        pumpMessages();
        ++counter;
    }

    endPlayback();
    if (lastSkipReason_.isEmpty()) addEndStatus(task, "\" to Image Sequence.");
    objects = TCaptureObjects();
    if (IsOwnTempFile(task.swfPlayFilename)) QFile::remove(QString::fromStdString(task.swfPlayFilename));
    return true;
}
