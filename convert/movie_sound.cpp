#include "convert/movie_sound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "capture/shockwave_flash.h"
#include "player/player.h"

namespace {

struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
};

// RIFF/WAVE with a PCM "fmt " chunk; the sizes are written once the data is complete.
class TWavWriter {
  public:
    bool open(const std::string& path, int rate, std::string* error) {
        file_.reset(std::fopen(path.c_str(), "wb"));
        if (!file_) {
            if (error) *error = "cannot write \"" + path + "\"";
            return false;
        }
        rate_ = rate;
        return writeHeader();
    }
    bool write(const int16_t* samples, size_t count) {
        // WAV is little-endian, as is every machine this runs on; write bytes explicitly all the same.
        buf_.resize(count * 2);
        for (size_t i = 0; i < count; ++i) {
            buf_[2 * i] = uint8_t(uint16_t(samples[i]));
            buf_[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
        }
        dataBytes_ += count * 2;
        return std::fwrite(buf_.data(), 1, buf_.size(), file_.get()) == buf_.size();
    }
    bool finish() {
        if (!file_) return false;
        bool ok = std::fseek(file_.get(), 0, SEEK_SET) == 0 && writeHeader();
        ok = std::fclose(file_.release()) == 0 && ok;
        return ok;
    }

  private:
    bool writeHeader() {
        auto u32 = [](std::vector<uint8_t>& v, uint32_t x) {
            for (int i = 0; i < 4; ++i)
                v.push_back(uint8_t(x >> (8 * i)));
        };
        auto u16 = [](std::vector<uint8_t>& v, uint16_t x) {
            v.push_back(uint8_t(x));
            v.push_back(uint8_t(x >> 8));
        };
        std::vector<uint8_t> h;
        const uint32_t data = uint32_t(std::min<uint64_t>(dataBytes_, 0xFFFFFFFFu - 36));
        h.insert(h.end(), {'R', 'I', 'F', 'F'});
        u32(h, 36 + data);
        h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        u32(h, 16);
        u16(h, 1);  // PCM
        u16(h, 2);
        u32(h, uint32_t(rate_));
        u32(h, uint32_t(rate_) * 4);
        u16(h, 4);
        u16(h, 16);
        h.insert(h.end(), {'d', 'a', 't', 'a'});
        u32(h, data);
        return std::fwrite(h.data(), 1, h.size(), file_.get()) == h.size();
    }

    std::unique_ptr<FILE, FileClose> file_;
    std::vector<uint8_t> buf_;
    uint64_t dataBytes_ = 0;
    int rate_ = 44100;
};

}  // namespace

double TaskVideoRate(const TCovSettings& task) {
    return task.swfFrameRate > 0 ? double(task.swfFrameRate) : TShockwaveFlash::kDefaultFrameRate;
}

int64_t SoundSamplesForFrames(int64_t frameCount, double frameRate, int sampleRate) {
    const int64_t fps256 = frameRate > 0 ? std::max<int64_t>(1, std::llround(frameRate * 256)) : 12 * 256;
    return frameCount * sampleRate * 256 / fps256;
}

TMovieSoundResult WriteMovieSound(const TCovSettings& task, int frameCount, const std::string& wavPath,
                                  const std::function<bool(int, int)>& keepGoing) {
    TMovieSoundResult r;
    player::Player p;
    // Each frame's sound lasts as long as the frame does in the video, which is written at the movie's
    // whole frames per second (12.5 fps plays at 12): cut at the movie's own rate, the sound of a movie
    // with a fraction in its rate would drift from its pictures by that fraction. The conversion's player
    // runs its (silent) sound clock at the same rate, so scripts see their sounds complete on the same
    // frames in both.
    p.setSoundFrameRate(TaskVideoRate(task));
    if (!p.loadFile(task.swfPlayFilename, &r.error)) return r;
    TWavWriter wav;
    if (!wav.open(wavPath, player::Player::kSoundRate, &r.error)) return r;

    std::vector<int16_t> chunk;
    auto put = [&] {
        chunk.clear();
        p.takeSound(chunk);
        r.audible = r.audible || std::any_of(chunk.begin(), chunk.end(), [](int16_t v) { return v != 0; });
        r.samples += int64_t(chunk.size() / 2);
        ++r.frames;
        return wav.write(chunk.data(), chunk.size());
    };

    // The conversion jumps to its start frame and plays (or steps) from there; the sound follows suit.
    const int start = std::max(1, task.destStartFrame);
    const bool stepping = task.destSequenceMode == smFrameByFrame;
    if (start > 1) {
        chunk.clear();
        p.takeSound(chunk);  // frame 1 is not converted
        p.gotoFrame(start);
        p.cutSoundFrame();
    }
    if (!stepping) p.play();
    bool ok = frameCount <= 0 || put();
    for (int i = 1; ok && i < frameCount; ++i) {
        if (stepping) {
            p.gotoFrame(start + i);
            p.cutSoundFrame();
        } else {
            // "Skip goto backward" restarts a movie that stopped itself.
            if (task.destSequenceMode == smSkipBackward && !p.isPlaying()) p.play();
            p.advance();
        }
        ok = put();
        if (keepGoing && i % 64 == 0 && !keepGoing(i, frameCount)) break;
    }
    ok = wav.finish() && ok;
    if (!ok && r.error.empty()) r.error = "cannot write the sound file \"" + wavPath + "\"";
    r.ok = ok;
    return r;
}

bool WriteSilentWav(const std::string& wavPath, int sampleRate, int64_t samples, std::string* error) {
    TWavWriter wav;
    if (!wav.open(wavPath, sampleRate, error)) return false;
    std::vector<int16_t> zeros(size_t(sampleRate) * 2, 0);
    bool ok = true;
    for (int64_t left = samples; ok && left > 0; left -= sampleRate)
        ok = wav.write(zeros.data(), size_t(std::min<int64_t>(left, sampleRate)) * 2);
    ok = wav.finish() && ok;
    if (!ok && error && error->empty()) *error = "cannot write the sound file \"" + wavPath + "\"";
    return ok;
}
