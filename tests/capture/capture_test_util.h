// Helpers for the player widget tests: movie files built on the fly in a temporary folder, pixel reads.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include <string>

#include "tests/player/player_test_util.h"

#ifndef TOLVIKAN_FRAME_EVENT_MOVIE
#error "the tests need the path of the built frame-event movie"
#endif

namespace capturetest {

using namespace playertest;

// The application object widgets need; the test environment owns it
// (tests/support_qt/qt_app_environment.cpp).
inline void ensureApp() {
    ASSERT_NE(QApplication::instance(), nullptr);
}

// Frame colours of the three-frame movie: frame 1 red, 2 green, 3 blue, each filling the 40 x 40 stage.
constexpr uint32_t kFrameColour[] = {0, 0xFF0000, 0x00FF00, 0x0000FF};

class MovieFiles {
  public:
    MovieFiles() { EXPECT_TRUE(dir_.isValid()); }

    std::string write(const std::string& name, const testswf::Bytes& bytes) {
        std::string path = dir_.filePath(QString::fromStdString(name)).toStdString();
        EXPECT_TRUE(testswf::writeFile(path, bytes)) << path;
        return path;
    }

    // Three frames, each a full-stage rectangle of kFrameColour[frame]; `rate88` frames per second in 8.8.
    std::string threeFrames(uint16_t rate88 = 25 << 8) {
        auto b = movie(40, 40, 3);
        b.header().frameRate88 = rate88;
        for (int f = 1; f <= 3; ++f) {
            auto id = static_cast<uint16_t>(f);
            b.tag(kDefineShape3, rectShape(id, 0, 0, 40, 40, kFrameColour[f]));
            if (f > 1) b.tag(kRemoveObject2, testswf::removeObject2(1));
            b.tag(kPlaceObject2, place(id, 1)).showFrame();
        }
        return write("three_" + std::to_string(rate88) + ".swf", b.end().build());
    }

    // One frame: a 20 x 20 red square in the middle of a 40 x 40 stage whose own background is 0x336699.
    std::string squareOnBackground() {
        auto b = movie(40, 40, 1, 8, kOwnBackground);
        b.tag(kDefineShape3, rectShape(1, 10, 10, 30, 30, 0xFF0000));
        b.tag(kPlaceObject2, place(1, 1)).showFrame();
        return write("square.swf", b.end().build());
    }
    static constexpr uint32_t kOwnBackground = 0x336699;

  private:
    QTemporaryDir dir_;
};

inline uint32_t rgbAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

inline QString fpsMovie() {
    return QStringLiteral(TOLVIKAN_FRAME_EVENT_MOVIE);
}

}  // namespace capturetest
