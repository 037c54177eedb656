// The GIF animation output: every captured frame is appended to a TGIFImage and encoded on the image's own
// thread while the next frame is drawn, so only compressed frames are held (the image moves them to a
// temporary file past its memory limit); the file is written once the frame loop is over.
#include <QFile>

#include <cmath>
#include <cstdint>

#include "capture/shockwave_flash_ex.h"
#include "convert/gif_image.h"
#include "convert/interact_frm.h"
#include "convert/task_objects.h"
#include "tasks/cov_settings.h"
#include "tasks/temp_files.h"
#include "tasks/ui_hooks.h"

namespace {

// 1000 / rate milliseconds, rounded to the nearest with halves to even (16 fps: 62.5 -> 62). A rate of 0 or
// below, which the settings dialog lets through, takes the movie's own rate instead.
unsigned GifFrameDelay(const TCovSettings& task) {
    double rate = task.destGIFFrameRate;
    if (!(rate > 0)) rate = task.swfFrameRate > 0 ? task.swfFrameRate : TShockwaveFlash::kDefaultFrameRate;
    return static_cast<unsigned>(std::nearbyint(1000.0 / rate));
}

}  // namespace

bool TInteractFrm::ConvertToGIF(TCovSettings& task) {
    if (!checkInputs(task, QString::fromStdString(task.destFilepath))) return false;
    const std::string outputFile = task.destFilepath + task.destFilename;
    const TFrameSizes sizes = ComputeFrameSizes(task);
    const int maximum = task.destEndFrame - task.destStartFrame + 1;
    beginTask(sizes, maximum);
    addStatus("Status:> Converting \"" + movieName(task) + "\" to GIF Animation. | " +
              QString::fromStdString(outputFile));

    TCaptureObjects objects;
    objects.create(sizes, false, task.destIsCrop, false);
    TGIFImage gif;

    int counter = loadMovieForConversion(task, false);
    startBySequenceMode(task);
    const unsigned delay = GifFrameDelay(task);
    const TGrabSource source = grabSource();
    const int cropX = task.destIsCrop ? task.destCropX : 0;
    const int cropY = task.destIsCrop ? task.destCropY : 0;
    while (counter <= task.destEndFrame && Converting && !SkipCurrent) {
        int frameNumber = counter;
        if (task.destSequenceMode != smFrameByFrame) {
            if (!FrameReady) {
                waitForFrame();
                continue;
            }
            frameNumber = -1;
        }
        GrabFrame(source, objects.frame.get(), nullptr, objects.full.get(), -1, frameNumber, cropX, cropY);
        if (frameNumber == -1) pumpMessages();
        const TDib& dib = *objects.frame;
        const int index =
            gif.AddFrame(dib.bits(), dib.width(), dib.height(), dib.stride(), TGIFPixelFormat::BGR24);
        TGIFFrame& frame = gif.Frame(index);
        frame.SetDelay(delay);
        frame.SetTransparentColor(task.destGIFIsTransparent ? task.destGIFTransparentColor : kGIFColorNone);
        frame.SetInterlaced(task.destGIFIsInterlaced);
        gif.EncodeInBackground();
        setCurrentFrames(counter - task.destStartFrame + 1, maximum);
        FrameReady = false;
        pumpMessages();
        ++counter;
    }

    gif.SetLooping(task.destGIFIsLooping);
    gif.SetRepeatCount(task.destGIFIsLooping ? static_cast<uint16_t>(task.destGIFRepeatCount) : 1u);
    gif.SetBackgroundColor(task.destGIFIsBackground ? task.destGIFBackgroundColor : 0xFFFFFFu);

    // A task stopped or cancelled before its first frame (or with an empty frame range) has nothing to save:
    // it is reported and skipped, and the run goes on, instead of failing the whole run on an empty image.
    const bool nothing = gif.FrameCount() == 0;
    if (!nothing) {
        try {
            TBusyCursor busy;
            gif.EncodeAll();
            gif.SaveToFile(outputFile);
        } catch (...) {
            endPlayback();
            throw;
        }
    }
    endPlayback();
    if (nothing) {
        addStatus("Status:> No frame captured from \"" + movieName(task) + "\", no GIF Animation written.");
        lastSkipReason_ = "no frame captured";
    } else {
        addEndStatus(task, "\" to GIF Animation.");
    }
    objects = TCaptureObjects();
    if (IsOwnTempFile(task.swfPlayFilename)) QFile::remove(QString::fromStdString(task.swfPlayFilename));
    return !nothing;
}
