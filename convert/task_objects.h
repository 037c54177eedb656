// Working objects of one conversion task: the bitmaps the grab fills, the media library's images, and for
// video the conversion handle and the sound list. Each is released once, when the task ends, whatever ended
// it (a release never throws, so one failing release cannot keep the others from running).
// Internal to convert/; the user-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "capture/frame_grab.h"
#include "mcl/mcl.h"
#include "mcl/mcl_dib.h"
#include "tasks/cov_settings.h"

struct TMclImageFree {
    void operator()(MclImage* image) const { MclImgFree(image); }
};
struct TMclConversionFree {
    void operator()(MclConversion* handle) const { MclFree(handle); }
};
struct TMclListFree {
    void operator()(MclList* list) const { MclListFree(list); }
};
using TMclImagePtr = std::unique_ptr<MclImage, TMclImageFree>;
using TMclConversionPtr = std::unique_ptr<MclConversion, TMclConversionFree>;
using TMclListPtr = std::unique_ptr<MclList, TMclListFree>;

// The bitmaps and images a capturing path needs, created in the order the paths create them: alpha (when
// wanted), full (when cropping), frame. Declared so that they are released in the reverse order: the frame
// image and bitmap first, then the full bitmap, then the alpha image and bitmap.
struct TCaptureObjects {
    std::unique_ptr<TDib> alpha;
    TMclImagePtr alphaImage;
    std::unique_ptr<TDib> full;
    std::unique_ptr<TDib> frame;
    TMclImagePtr frameImage;

    // Creates and sizes them for a task; withImages: the library images as well (not for GIF output).
    void create(const TFrameSizes& sizes, bool withAlpha, bool withCrop, bool withImages) {
        if (withAlpha) {
            alpha = std::make_unique<TDib>(sizes.frameW, sizes.frameH, 8);
            if (withImages) alphaImage.reset(MclImgAlloc());
        }
        if (withCrop) full = std::make_unique<TDib>(sizes.panelW, sizes.panelH, 24);
        frame = std::make_unique<TDib>(sizes.frameW, sizes.frameH, 24);
        if (withImages) frameImage.reset(MclImgAlloc());
    }

    TCaptureBitmaps bitmaps() const {
        TCaptureBitmaps b;
        b.frame = frame.get();
        b.alpha = alpha.get();
        b.full = full.get();
        b.frameImage = frameImage.get();
        b.alphaImage = alphaImage.get();
        return b;
    }
};

// Alpha is wanted for 32-bit output with an alpha mode (both fields read as signed bytes, as stored).
inline bool WantsAlpha(const TCovSettings& task) {
    return static_cast<int8_t>(task.destColorDepth) > 0 && static_cast<int8_t>(task.destAlphaMode) > 0;
}

// What the video output's callbacks reach while the library converts.
struct TVideoJob {
    TCaptureObjects objects;
    TMclConversionPtr handle;
    TMclListPtr sounds;
    bool captured = false;      // a frame has been captured into the frame image during this task
    std::string callbackError;  // an error thrown inside a callback, raised again after MclConvert
};
