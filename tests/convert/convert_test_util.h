// Helpers for the conversion window tests: movies built on the fly, a tone WAV, the reference picture of a
// movie frame, and a reader that opens any written file with libavformat and decodes every video frame.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "convert/interact_frm.h"
#include "tasks/cov_settings.h"

#ifndef TOLVIKAN_FRAME_EVENT_MOVIE
#error "the tests need the path of the built frame-event movie"
#endif

namespace convtest {

// Frame f (1-based) of the moving-rectangle movies: a 20 x 20 square at (4 + 8 (f - 1), 8 + 4 (f - 1)) on
// white, its colour stepping through kSquareColour so every frame differs in place and colour.
uint32_t SquareColour(int frame);
int SquareX(int frame);
int SquareY(int frame);

// Writes an uncompressed movie of w x h pixels, `frames` frames at `fps` frames per second, on its own
// background colour (0xRRGGBB). stopAt > 0: that frame's actions stop the movie.
std::string WriteMovingSquareMovie(const QString& folder, const std::string& name, int frames, int w = 80,
                                   int h = 60, int fps = 12, uint32_t background = 0xFFFFFF, int stopAt = 0);
// A 16-bit stereo 440 Hz tone of `seconds` at 44100 Hz.
std::string WriteToneWav(const std::string& path, double seconds);

// The AVI codec block whose name begins with `prefix`, as the settings dialog would store it.
bool FindAviCodec(const char* prefix, int w, int h, TMclCodecInfo* block);

// The engine's picture of `frame` at `size`, as the conversion window's player draws it (RGB888).
QImage ReferenceFrame(const std::string& movie, int frame, QSize size);
// Largest difference of any colour channel over two images of the same size (RGB888); 256 when the sizes
// differ.
int MaxChannelDifference(const QImage& a, const QImage& b);

struct Media {
    bool ok = false;
    std::string error;
    std::string videoCodec;   // FFmpeg's codec name: "rawvideo", "mpeg4", "mpeg1video", ...
    std::string pixelFormat;  // the stream's pixel format: "bgr24", "bgra", "yuv420p", ...
    std::string container;    // the demuxer's name
    int width = 0, height = 0;
    double frameRate = 0;   // the stream's average (or real) frame rate
    double duration = 0;    // seconds, the container's
    int frames = 0;         // decoded video frames
    std::string alphaMode;  // the video stream's "alpha_mode" tag (WebM's VP9 with alpha: "1")
    bool hasAudio = false;
    std::string audioCodec;
    int sampleRate = 0;
    std::vector<QImage> pictures;  // decoded frames as RGB888 when asked for
};
Media ReadMedia(const std::string& path, bool keepPictures = false);

// Messages, log lines and task ends of one conversion window, recorded through its seams and signals.
struct Journal {
    std::vector<QString> messages;
    std::vector<QString> lines;
    struct End {
        int index;
        bool done;
        QString reason;
    };
    std::vector<End> ends;
};

class ConvertTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A task for `movie` (probed, defaults filled) writing `fileName` into out/ of the test folder, no sound.
    TCovSettings Task(const std::string& movie, TDestType type, const std::string& fileName);
    std::string Out(const std::string& name) const;  // path in the output folder
    QString Folder() const { return dir.path(); }
    // Runs the tasks, all checked, through the window.
    void Run(std::vector<TCovSettings*> tasks);

    QTemporaryDir dir;
    std::unique_ptr<TInteractFrm> frm;
    Journal journal;
};

}  // namespace convtest
