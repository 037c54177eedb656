// Shared by the `tolvikan convert` tests: a scratch folder, a small movie and a fake AVI/MPEG codec list.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/swf_builder.h"
#include "tasks/cov_settings.h"

namespace converttest {

namespace fs = std::filesystem;

class ScratchDir {
  public:
    ScratchDir() {
        static std::atomic<int> counter{0};
        path_ = fs::temp_directory_path() /
                ("tolvikan-convert-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

    std::string write(const std::string& name, const testswf::Bytes& bytes) const {
        std::string p = *this / name;
        fs::create_directories(fs::path(p).parent_path());
        testswf::writeFile(p, bytes);
        return p;
    }
    std::string touch(const std::string& name) const { return write(name, {'x'}); }

  private:
    fs::path path_;
};

// An empty movie of the given size, rate and frame count (frames hold nothing but their ShowFrame).
inline testswf::Bytes EmptyMovie(int w = 320, int h = 240, int fps = 12, int frames = 10) {
    testswf::Header hd;
    hd.version = 8;
    hd.xmax = w * 20;
    hd.ymax = h * 20;
    hd.frameRate88 = static_cast<uint16_t>(fps << 8);
    hd.frameCount = static_cast<uint16_t>(frames);
    testswf::SwfBuilder b(hd);
    for (int i = 0; i < frames; ++i)
        b.showFrame();
    return b.end().build(testswf::Compression::None);
}

// A codec list that does not depend on the machine's FFmpeg: uncompressed, two compressors, and the two
// MPEG entries. Only uncompressed fits 32-bit frames. Remembers the last size asked for.
struct FakeCodecs {
    struct Entry {
        const char* name;
        int32_t id;
        bool alpha;
    };
    std::vector<Entry> avi = {{"Full Frames, Uncompressed", 0, true},
                              {"MPEG-4 Part 2 (FFmpeg, Xvid compatible)", 0x34504D46, false},
                              {"Motion JPEG", 0x47504A4D, false}};
    std::vector<Entry> mpeg = {{"MPEG-1 format", 0, false}, {"MPEG-2 format", 2, false}};
    int lastW = 0, lastH = 0, lastBits = 0;
    std::vector<Entry> listed;

    TCodecSource source() {
        TCodecSource s;
        s.init = [this](int fmt, int w, int h, int bits) {
            lastW = w;
            lastH = h;
            lastBits = bits;
            listed.clear();
            for (const Entry& e : fmt == 6 ? avi : mpeg)
                if (bits != 32 || e.alpha) listed.push_back(e);
            return static_cast<int>(listed.size());
        };
        s.getInfo = [this](int fmt, TMclCodecInfo* info, int index) {
            if (index < 1 || index > static_cast<int>(listed.size())) return -2;
            *info = TMclCodecInfo{};
            info->fileFmtID = fmt;
            std::strncpy(info->codecName, listed[index - 1].name, sizeof info->codecName - 1);
            info->codecID = listed[index - 1].id;
            info->quality = 100 + index;
            return 0;
        };
        return s;
    }
};

}  // namespace converttest
