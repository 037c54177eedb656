// Helpers shared by the tasks tests: a scratch folder, movie files written from the SWF builder, and a fake
// codec list standing in for the media library.
#pragma once

#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/swf_builder.h"
#include "tasks/cov_settings.h"

namespace taskstest {

// A movie of w x h pixels with the given 8.8 frame rate and frame count, with a background colour and one
// frame so that it is longer than the 29 bytes the classic header area covers.
inline testswf::SwfBuilder Movie(int w = 550, int h = 400, uint16_t rate88 = 12 << 8, uint16_t frames = 100) {
    testswf::Header hd;
    hd.xmax = w * 20;
    hd.ymax = h * 20;
    hd.frameRate88 = rate88;
    hd.frameCount = frames;
    testswf::SwfBuilder b(hd);
    b.backgroundColor(0x336699).showFrame().end();
    return b;
}

// A scratch folder removed with the object.
class ScratchDir {
  public:
    std::string path(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string write(const std::string& name, const testswf::Bytes& bytes) const {
        std::string p = path(name);
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) throw std::runtime_error("cannot write " + p);
        return p;
    }
    std::string root() const { return dir_.path().toStdString(); }

  private:
    QTemporaryDir dir_;
};

// Points TMPDIR (and so QDir::tempPath and GetTempDir) at a private folder for the object's life, so a test
// can count the files made there while other tests run beside it.
class PrivateTempDir {
  public:
    PrivateTempDir() {
        const char* old = std::getenv("TMPDIR");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("TMPDIR", dir_.path().toUtf8().constData(), 1);
    }
    ~PrivateTempDir() {
        if (hadOld_)
            setenv("TMPDIR", old_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    std::string path() const { return dir_.path().toStdString(); }

  private:
    QTemporaryDir dir_;
    bool hadOld_ = false;
    std::string old_;
};

inline TMclCodecInfo Codec(int32_t fmt, const std::string& name, int32_t id) {
    TMclCodecInfo c{};
    c.fileFmtID = fmt;
    std::strncpy(c.codecName, name.c_str(), sizeof c.codecName - 1);
    c.codecID = id;
    c.qualityUsed = -1;
    c.quality = 7500 + id;
    c.keyFrameRate = 12;
    return c;
}

// A codec list per format, served like MclCodecsInit / MclCodecsGetInfo. `calls` records every index visited.
struct FakeCodecs {
    std::vector<TMclCodecInfo> avi;
    std::vector<TMclCodecInfo> mpeg;
    std::vector<int> visited;
    std::vector<int> initSizes;  // width, height, bits of each init

    const std::vector<TMclCodecInfo>& list(int fmt) const { return fmt == kMclFormatAVI ? avi : mpeg; }

    TCodecSource source() {
        return {[this](int fmt, int w, int h, int bits) {
                    initSizes.insert(initSizes.end(), {w, h, bits});
                    if (fmt != kMclFormatAVI && fmt != kMclFormatMPEG) return -1;
                    return static_cast<int>(list(fmt).size());
                },
                [this](int fmt, TMclCodecInfo* info, int index) {
                    visited.push_back(index);
                    const auto& l = list(fmt);
                    if (index < 1 || index > static_cast<int>(l.size())) return 1;
                    *info = l[static_cast<size_t>(index - 1)];
                    return 0;
                }};
    }
};

// A list with the wanted codec names somewhere in the middle, as FFmpeg-based lists look.
inline FakeCodecs TypicalCodecs() {
    FakeCodecs f;
    f.avi = {Codec(6, "MPEG-4 part 2", 1), Codec(6, "Full Frames, Uncompressed", 2),
             Codec(6, "Motion JPEG", 3)};
    f.mpeg = {Codec(11, "MPEG-1 format", 10), Codec(11, "MPEG-2 format", 11)};
    return f;
}

}  // namespace taskstest
